#include "app/shell/MainWindow.h"

#include "app/store/SessionStore.h"
#include "app/ui/TerminalFocusKeeper.h"
#include "app/ui/expanded/ExpandedView.h"
#include "app/ui/grid/GridCellView.h"
#include "app/ui/grid/GridView.h"
#include "app/ui/panel/ITerm2ImportPanel.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace tilebay {

MainWindow::MainWindow(SessionStore& store, QWidget* parent) : QMainWindow(parent), store_(store)
{
    setWindowTitle(QStringLiteral("Cellwright"));

    // The grid's area. The grid view goes into its layout; the expanded
    // overlay is its child and follows its size.
    gridArea_ = new QWidget(this);
    gridArea_->setObjectName(QStringLiteral("gridArea"));
    auto* gridLayout = new QVBoxLayout(gridArea_);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    setCentralWidget(gridArea_);
    grid_ = new GridView(store_, gridArea_);
    gridLayout->addWidget(grid_);
    grid_->setImportPanel(new ITerm2ImportPanel(store_, grid_));
    // The expanded card lies over the whole grid area and grows from its tile.
    expanded_ = new ExpandedView(store_, gridArea_);
    expanded_->raise();
    expanded_->tileRect = [this](const QString& id) -> std::optional<QRect> {
        GridCellView* tile = grid_->tile(id);
        if (!tile || !tile->isVisible()) return std::nullopt;
        // Through the grid area, the one ancestor of both.
        return QRect(expanded_->mapFrom(gridArea_, tile->mapTo(gridArea_, QPoint(0, 0))), tile->size());
    };

    QMenu* file = menuBar()->addMenu(QStringLiteral("파일"));
    newTerminal_ = file->addAction(QStringLiteral("새 터미널"));
    newTerminal_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
    connect(newTerminal_, &QAction::triggered, this, [this] { store_.promptNewTerminal(); });
    openProfile_ = file->addAction(QStringLiteral("프로필 열기\u2026"));
    openProfile_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    connect(openProfile_, &QAction::triggered, this, [this] { store_.setShowProfileLauncher(true); });
    // The window sets no minimum of its own: its layout makes it the menu
    // bar over the grid's minimum and follows the menu bar's height. (A
    // minimum set on the window would win over the layout's, and the menu
    // bar would then take its height out of the grid's minimum, cutting off
    // the grid's bottom.) Laid out now, so the minimum holds before the
    // window first shows.
    layout()->activate();
    qApp->installEventFilter(this);
    // A child of the window: keeps its keyboard focus with the terminals.
    new TerminalFocusKeeper(store_, this);
}

MainWindow::~MainWindow()
{
    qApp->removeEventFilter(this);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return QMainWindow::eventFilter(watched, event);
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const QKeySequence pressed(QKeyCombination(key->modifiers() & ~Qt::KeypadModifier, Qt::Key(key->key())));
    if (pressed != newTerminal_->shortcut() && pressed != openProfile_->shortcut()) return false;
    if (type == QEvent::ShortcutOverride) {
        // Left unaccepted, the key goes to the window's shortcuts.
        event->ignore();
        return true;
    }
    // A press that arrives as a key is one no shortcut took (its action
    // could not run): it does nothing, and neither it nor its release
    // reaches a terminal's program.
    return true;
}

void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // Sent before Qt chooses a widget for the focus of a newly active window.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !focusWidget())
        setFocus(Qt::ActiveWindowFocusReason);
}

void MainWindow::placeInitially()
{
    QSize size(1200, 800);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        size = size.boundedTo(area.size() * 0.95).expandedTo(minimumSize());
        resize(size);
        move(area.center() - QPoint(size.width() / 2, size.height() / 2));
        return;
    }
    resize(size);
}

}  // namespace tilebay
