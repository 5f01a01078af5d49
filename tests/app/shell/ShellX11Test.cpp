// The application under a real X server (xvfb-run), driven with xdotool: the
// hot key refused while another client holds it, the hot key hiding and
// showing the window with an open sheet (Num Lock off and on), the menu keys
// against Ctrl+T in a terminal running cat -v, the Ctrl+Shift keys whose
// command cannot run reaching no program, Escape in vim inside the
// expanded card, one window-size change per expand and per collapse, the
// card's search in seq output, where typed text goes after a new cell and
// after the card's search and collapse, a shell ending while its tile is
// dragged, the window at the smallest size a window manager allows it, and
// closing the real application's window.
// Every wait is for a condition; the bounds only guard against a hang.
#include "app/adapters/embedded/EmbeddedAdapter.h"
#include "app/adapters/embedded/HookedTerminalView.h"
#include "app/persistence/LayoutDoc.h"
#include "app/shell/HotKeyManager.h"
#include "app/shell/MainWindow.h"
#include "app/shell/TilebayApp.h"
#include "app/ui/design/DSOutlineButton.h"
#include "app/ui/design/DSPrimaryButton.h"
#include "app/ui/design/SymbolButton.h"
#include "app/ui/expanded/ExpandedCard.h"
#include "app/ui/expanded/ExpandedView.h"
#include "app/ui/grid/AddTileView.h"
#include "app/ui/grid/BroadcastBar.h"
#include "app/ui/grid/GridCellView.h"
#include "app/ui/grid/GridView.h"
#include "app/ui/toolbar/ToolbarView.h"
#include "corvel/platform/Log.h"
#include "corvel/qt/TerminalView.h"
#include "tests/app/ui/support/X11AppFixture.h"
#include "tests/app/ui/support/XdotoolSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDrag>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

using namespace tilebay;
using namespace tilebay::test;
namespace fs = std::filesystem;

namespace {

// The fixture: an empty data folder, bash as the login shell, and a home
// folder of its own, so the machine user's login profile plays no part.
class ShellX11 : public X11AppFixture {
protected:
    ~ShellX11() override { app_.reset(); }

    TilebayApp& startApp()
    {
        // A saved layout: not a first start, so no guide sheet opens over the window.
        writeLayout("{}");
        app_ = std::make_unique<TilebayApp>(*qApp, TilebayApp::standardDependencies());
        app_->start();
        EXPECT_TRUE(waitFor([&] { return QApplication::activeWindow() == &app_->window(); }));
        return *app_;
    }

    std::unique_ptr<TilebayApp> app_;
};

// Stands in for the grid's tile: shows a cell's panes while the cell is not
// expanded, taking them back when the card hands them over.
class TileStandIn final : public QWidget {
public:
    TileStandIn(SessionStore& store, QString id, QWidget* parent) : QWidget(parent), store_(store), id_(std::move(id))
    {
        layout_ = new QVBoxLayout(this);
        layout_->setContentsMargins(0, 0, 0, 0);
        refetch();
        connect(&store_, &SessionStore::expandedIDChanged, this, [this](const std::optional<QString>& id) {
            if (!id) refetch();
        });
    }
    void refetch()
    {
        delete content_;
        content_ = store_.embedded().cellContentView(id_);
        if (content_) layout_->addWidget(content_);
    }

private:
    SessionStore& store_;
    QString id_;
    QVBoxLayout* layout_;
    QPointer<QWidget> content_;
};

// The minimum size the window publishes to window managers (the minimum of
// its WM_NORMAL_HINTS), read back from the X server on a connection of its
// own; empty while it publishes none.
QSize publishedMinimum(WId window)
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, static_cast<xcb_window_t>(window), XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 0, 18),
        nullptr);
    QSize size;
    // Flags, four obsolete fields, then the minimum's width and height.
    constexpr uint32_t minimumGiven = 1u << 4;
    if (reply && xcb_get_property_value_length(reply) >= 7 * 4) {
        const auto* hints = static_cast<const uint32_t*>(xcb_get_property_value(reply));
        if (hints[0] & minimumGiven) size = QSize(static_cast<int>(hints[5]), static_cast<int>(hints[6]));
    }
    std::free(reply);
    xcb_disconnect(c);
    return size;
}

int countOf(const QString& text, const QString& what) { return static_cast<int>(text.count(what)); }

// Lines that are exactly `pattern` (a regular expression).
int linesMatching(const QString& text, const QString& pattern)
{
    return static_cast<int>(text.count(QRegularExpression(QStringLiteral("(?m)^") + pattern + QStringLiteral("$"))));
}

}  // namespace

// First in the file: the hot key is not registered yet in this process.
TEST_F(ShellX11, HotKeyHeldByAnotherClientLogsOneLineAndTheAppRunsOn)
{
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    const KeyCode o = XKeysymToKeycode(other, XK_o);
    XGrabKey(other, o, ControlMask | Mod1Mask, DefaultRootWindow(other), True, GrabModeAsync, GrabModeAsync);
    XSync(other, False);
    {
        corvel::log::Capture log;
        EXPECT_FALSE(HotKeyManager::shared().registerHotKey());
        EXPECT_EQ(log.count("Tilebay: 전역 단축키 등록 실패 — "), 1u);
        EXPECT_TRUE(log.contains("BadAccess"));
    }
    XCloseDisplay(other);
    EXPECT_FALSE(HotKeyManager::shared().registered());
}

TEST_F(ShellX11, HotKeyHidesAndShowsTheWindowAndItsOpenSheet)
{
    TilebayApp& app = startApp();
    ASSERT_TRUE(HotKeyManager::shared().registered());
    MainWindow& window = app.window();
    QDialog sheet(&window);
    sheet.setWindowModality(Qt::WindowModal);
    sheet.resize(300, 200);
    int finished = 0;
    QObject::connect(&sheet, &QDialog::finished, [&] { ++finished; });
    sheet.open();
    ASSERT_TRUE(waitFor([&] { return QApplication::activeWindow() == &sheet; }));

    for (const bool numLock : {false, true}) {
        if (numLock) {
            ASSERT_TRUE(key(QStringLiteral("Num_Lock")));
        }
        ASSERT_TRUE(key(QStringLiteral("ctrl+alt+o")));
        EXPECT_TRUE(waitFor([&] { return !window.isVisible() && !sheet.isVisible(); })) << numLock;
        ASSERT_TRUE(waitFor([&] { return QGuiApplication::applicationState() != Qt::ApplicationActive; }));
        ASSERT_TRUE(key(QStringLiteral("ctrl+alt+o")));
        EXPECT_TRUE(waitFor([&] { return window.isVisible() && sheet.isVisible(); })) << numLock;
        EXPECT_TRUE(waitFor([&] { return QApplication::activeWindow() == &sheet; })) << numLock;
        if (numLock) {
            ASSERT_TRUE(key(QStringLiteral("Num_Lock")));
        }
    }
    EXPECT_EQ(finished, 0);
    sheet.reject();
}

TEST_F(ShellX11, MenuKeysGoToTheWindowAndCtrlTToTheShell)
{
    TilebayApp& app = startApp();
    SessionStore& store = app.store();
    const auto cell = store.newEmbeddedSession(QStringLiteral("cat"), std::nullopt, std::nullopt);
    ASSERT_TRUE(cell);
    const QString id = cell->id();
    app.window().expandedView()->setDuration(0);
    store.toggleExpand(id);
    corvel::TerminalView* pane = app.window().expandedView()->card()->liveContent()->findChild<corvel::TerminalView*>();
    ASSERT_NE(pane, nullptr);
    ASSERT_TRUE(waitFor([&] { return pane->hasFocus() && QApplication::activeWindow() == &app.window(); }));
    store.embedded().sendText(id, QStringLiteral("cat -v\r"));
    ASSERT_TRUE(waitFor([&] { return store.embedded().visibleText(id).contains(QStringLiteral("cat -v")); }));

    // A sheet the menu opens is closed again by lowering its flag, which
    // gives the pane its focus back.
    auto closeSheet = [&] {
        store.setShowNewTerminalPrompt(false);
        store.setShowProfileLauncher(false);
        ASSERT_TRUE(waitFor([&] { return !QApplication::activeModalWidget(); }));
        app.window().activateWindow();
        pane->setFocus();
        ASSERT_TRUE(waitFor([&] { return pane->hasFocus() && QApplication::activeWindow() == &app.window(); }));
    };
    store.setNewTerminalName(QStringLiteral("typed before"));
    ASSERT_TRUE(key(QStringLiteral("ctrl+shift+t")));
    EXPECT_TRUE(waitFor([&] { return store.showNewTerminalPrompt(); }));
    EXPECT_TRUE(store.newTerminalName().isEmpty());
    closeSheet();
    ASSERT_TRUE(key(QStringLiteral("ctrl+shift+o")));
    EXPECT_TRUE(waitFor([&] { return store.showProfileLauncher(); }));
    closeSheet();
    ASSERT_TRUE(key(QStringLiteral("ctrl+t")));
    ASSERT_TRUE(waitFor([&] { return store.embedded().visibleText(id).contains(QStringLiteral("^T")); }));
    // Only Ctrl+T reached cat: Ctrl+Shift+T would have shown a ^T first.
    EXPECT_EQ(countOf(store.embedded().visibleText(id), QStringLiteral("^T")), 1);
    EXPECT_FALSE(store.embedded().visibleText(id).contains(QStringLiteral("^O")));
}

TEST_F(ShellX11, CtrlShiftKeysWhoseCommandCannotRunReachNoProgram)
{
    TilebayApp& app = startApp();
    SessionStore& store = app.store();
    MainWindow& window = app.window();
    const auto cell = store.newEmbeddedSession(QStringLiteral("keys"), std::nullopt, std::nullopt);
    ASSERT_TRUE(cell);
    const QString id = cell->id();
    auto* pane = window.gridView()->tile(id)->findChild<corvel::TerminalView*>();
    ASSERT_NE(pane, nullptr);
    ASSERT_TRUE(waitFor([&] { return pane->hasFocus() && QApplication::activeWindow() == &window; }));
    // Nothing is selected, so copy cannot run; the commands of the other
    // keys are made unable to.
    ASSERT_FALSE(pane->copyAction()->isEnabled());
    for (QAction* action : {pane->pasteAction(), pane->selectAllAction(), pane->findAction(),
                            window.newTerminalAction(), window.openProfileAction()})
        action->setEnabled(false);

    // cat -v shows every byte that reached the program; a ^C during the
    // sleep would end the command line before the file is written.
    const fs::path written = folder_.path() / "f";
    store.embedded().sendText(id, QStringLiteral("stty -echo -icanon -ixon -iexten; printf 'REA''DY\\n'; sleep 2; "
                                                 "echo finished > '%1'; cat -v\r")
                                      .arg(QString::fromStdString(written.string())));
    ASSERT_TRUE(waitFor([&] { return linesMatching(store.embedded().visibleText(id), QStringLiteral("READY")) == 1; }));
    for (const char* keys : {"ctrl+shift+c", "ctrl+shift+v", "ctrl+shift+a", "ctrl+shift+f", "ctrl+shift+t",
                             "ctrl+shift+o"})
        ASSERT_TRUE(key(QString::fromLatin1(keys)));
    EXPECT_TRUE(waitFor([&] { return fs::exists(written); }));
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("done")}));
    EXPECT_TRUE(waitFor([&] { return linesMatching(store.embedded().visibleText(id), QStringLiteral("done")) == 1; }));
    EXPECT_FALSE(store.embedded().visibleText(id).contains(QLatin1Char('^')));
    EXPECT_FALSE(store.showNewTerminalPrompt());
    EXPECT_FALSE(store.showProfileLauncher());
}

TEST_F(ShellX11, EscapeReachesVimInTheCardAndAScrimClickCollapses)
{
    TilebayApp& app = startApp();
    SessionStore& store = app.store();
    const QString id = store.newEmbeddedSession(QStringLiteral("vim"), std::nullopt, std::nullopt)->id();
    ExpandedView& overlay = *app.window().expandedView();
    store.toggleExpand(id);
    ASSERT_TRUE(waitFor([&] { return overlay.phase() == ExpandedView::Phase::open; }));
    store.embedded().sendText(id, QStringLiteral("vim -u NONE -N -c 'set showmode'\r"));
    auto screen = [&] { return store.embedded().visibleText(id); };
    ASSERT_TRUE(waitFor([&] { return screen().count(QStringLiteral("\n~")) > 3; })) << screen().toStdString();
    ASSERT_TRUE(waitFor([&] { return QApplication::activeWindow() == &app.window(); }));

    ASSERT_TRUE(key(QStringLiteral("i")));
    ASSERT_TRUE(waitFor([&] { return screen().contains(QStringLiteral("-- INSERT --")); }));
    ASSERT_TRUE(key(QStringLiteral("Escape")));
    EXPECT_TRUE(waitFor([&] { return !screen().contains(QStringLiteral("-- INSERT --")); }));
    EXPECT_EQ(store.expandedID(), id);
    EXPECT_EQ(overlay.phase(), ExpandedView::Phase::open);

    // A click on the dimmed area outside the card collapses it; vim runs on.
    ASSERT_TRUE(xdotool(pointerTo(&overlay, QPoint(8, overlay.height() - 8)) << QStringLiteral("click") << QStringLiteral("1")));
    EXPECT_TRUE(waitFor([&] { return !store.expandedID().has_value(); }));
    EXPECT_TRUE(screen().count(QStringLiteral("\n~")) > 3);
    store.embedded().sendText(id, QStringLiteral(":q!\r"));
}

TEST_F(ShellX11, EachExpandAndEachCollapseChangesTheWindowSizeOnce)
{
    TilebayApp& app = startApp();
    SessionStore& store = app.store();
    const QString id = store.newEmbeddedSession(QStringLiteral("winch"), std::nullopt, std::nullopt)->id();
    auto* tile = new TileStandIn(store, id, app.window().gridArea());
    tile->setGeometry(20, 20, 360, 240);
    tile->show();
    auto screen = [&] { return store.embedded().visibleText(id); };
    // Counts window-size signals; USR1 prints a mark.
    const fs::path script = folder_.path() / "winch.sh";
    std::ofstream(script) << "trap 'n=$((n+1)); echo W$n' WINCH\ntrap 'echo M' USR1\necho P$$\n"
                             "while :; do sleep 0.05; done\n";
    store.embedded().sendText(id, QStringLiteral("clear; bash ") + QString::fromStdString(script.string()) + "\r");
    const QRegularExpression pidLine(QStringLiteral("(^|\\n)P(\\d+)(\\n|$)"));
    ASSERT_TRUE(waitFor([&] { return screen().contains(pidLine); })) << screen().toStdString();
    const auto pidMatch = pidLine.match(screen());
    const pid_t pid = pidMatch.captured(2).toInt();
    ASSERT_GT(pid, 0);
    // Two marks in a row: a window-size signal pending before the first has run by the second.
    auto marks = [&](int before) {
        kill(pid, SIGUSR1);
        EXPECT_TRUE(waitFor([&] { return linesMatching(screen(), QStringLiteral("M")) >= before + 1; }));
        kill(pid, SIGUSR1);
        EXPECT_TRUE(waitFor([&] { return linesMatching(screen(), QStringLiteral("M")) >= before + 2; }));
    };
    auto winches = [&] { return linesMatching(screen(), QStringLiteral("W\\d+")); };

    ExpandedView& overlay = *app.window().expandedView();
    store.toggleExpand(id);
    ASSERT_TRUE(waitFor([&] { return overlay.phase() == ExpandedView::Phase::open; }));
    ASSERT_TRUE(waitFor([&] { return winches() >= 1; }));
    marks(0);
    EXPECT_EQ(winches(), 1);

    overlay.card()->collapseButton()->click();
    ASSERT_TRUE(waitFor([&] { return overlay.phase() == ExpandedView::Phase::hidden; }));
    ASSERT_TRUE(waitFor([&] { return winches() >= 2; }));
    marks(2);
    EXPECT_EQ(winches(), 2);
    kill(pid, SIGTERM);
}

TEST_F(ShellX11, SearchInTheCardFindsShowsAndClearsTheMatch)
{
    TilebayApp& app = startApp();
    SessionStore& store = app.store();
    const QString id = store.newEmbeddedSession(QStringLiteral("seq"), std::nullopt, std::nullopt)->id();
    store.embedded().sendText(id, QStringLiteral("seq 1 1000\r"));
    ASSERT_TRUE(waitFor([&] { return store.embedded().visibleText(id).contains(QStringLiteral("\n1000")); }));
    ExpandedView& overlay = *app.window().expandedView();
    overlay.setDuration(0);
    store.toggleExpand(id);
    ExpandedCard* card = overlay.card();
    auto* pane = card->liveContent()->findChild<corvel::TerminalView*>();
    ASSERT_TRUE(waitFor([&] { return pane->hasFocus() && QApplication::activeWindow() == &app.window(); }));

    ASSERT_TRUE(key(QStringLiteral("ctrl+shift+f")));
    ASSERT_TRUE(waitFor([&] { return card->searchOpen() && card->searchField()->hasFocus(); }));
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("777")}));
    ASSERT_TRUE(waitFor([&] { return card->searchField()->text() == QStringLiteral("777"); }));
    ASSERT_TRUE(key(QStringLiteral("Return")));
    ASSERT_TRUE(waitFor([&] { return pane->selection().active(); }));
    EXPECT_EQ(pane->getSelection().value_or(""), "777");
    corvel::Terminal& terminal = pane->getTerminal();
    const int row = pane->selection().start().row;
    const int top = terminal.getTopVisibleRow();
    EXPECT_GE(row, top);
    EXPECT_LT(row, top + terminal.rows());

    // The same keys close the search and clear the match.
    ASSERT_TRUE(key(QStringLiteral("ctrl+shift+f")));
    ASSERT_TRUE(waitFor([&] { return !card->searchOpen(); }));
    EXPECT_FALSE(pane->selection().active());
}

TEST_F(ShellX11, TypedTextReachesTheNewCellAndTheCellAfterItsCardsSearchAndCollapse)
{
    TilebayApp& app = startApp();
    SessionStore& store = app.store();
    MainWindow& window = app.window();
    window.expandedView()->setDuration(0);
    auto click = [](QWidget* w) {
        return xdotool(pointerTo(w, w->rect().center()) << QStringLiteral("click") << QStringLiteral("1"));
    };
    QString id;
    // Types a command; true once its output line shows in the cell's first pane.
    auto typedIntoTheCell = [&](const QString& word) {
        return xdotool({QStringLiteral("type"), QStringLiteral("echo ") + word}) && key(QStringLiteral("Return")) &&
               waitFor([&] { return linesMatching(store.embedded().visibleText(id), word) >= 1; });
    };

    // "새 터미널", Return, then typing: the new shell gets it, no sheet opens again.
    ASSERT_TRUE(click(window.gridView()->toolbar()->newTerminalButton()));
    ASSERT_TRUE(waitFor([&] { return QApplication::activeModalWidget() != nullptr; }));
    ASSERT_TRUE(key(QStringLiteral("Return")));
    ASSERT_TRUE(waitFor([&] { return store.cells().size() == 1 && !QApplication::activeModalWidget(); }));
    id = store.cells()[0]->id();
    EXPECT_TRUE(typedIntoTheCell(QStringLiteral("hi")));
    EXPECT_FALSE(store.showNewTerminalPrompt());

    // Expanded from the tile's button: Escape in the open search closes the
    // search only and the shell takes the typing; "복귀" collapses, and the
    // shell takes the typing again.
    ASSERT_TRUE(click(window.gridView()->tile(id)->control(GridCellView::Control::expand)));
    ExpandedView& overlay = *window.expandedView();
    ASSERT_TRUE(waitFor([&] { return overlay.phase() == ExpandedView::Phase::open; }));
    ASSERT_TRUE(key(QStringLiteral("ctrl+shift+f")));
    ExpandedCard* card = overlay.card();
    ASSERT_TRUE(waitFor([&] { return card->searchOpen() && card->searchField()->hasFocus(); }));
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("hi")}));
    ASSERT_TRUE(key(QStringLiteral("Return")));
    ASSERT_TRUE(key(QStringLiteral("Escape")));
    ASSERT_TRUE(waitFor([&] { return !card->searchOpen(); }));
    EXPECT_EQ(store.expandedID(), id);
    EXPECT_TRUE(typedIntoTheCell(QStringLiteral("inTheCard")));
    ASSERT_TRUE(click(card->collapseButton()));
    ASSERT_TRUE(waitFor([&] { return overlay.phase() == ExpandedView::Phase::hidden; }));
    EXPECT_TRUE(typedIntoTheCell(QStringLiteral("back")));
}

TEST_F(ShellX11, ShellEndingWhileItsTileIsDraggedLeavesTheGridAndTheLayout)
{
    TilebayApp& app = startApp();
    SessionStore& store = app.store();
    auto& shells = static_cast<EmbeddedAdapter&>(store.embedded());
    auto pid = [&](const QString& id) {
        return static_cast<HookedTerminalView*>(shells.primary(id))->process().shellPid();
    };
    auto shell = [&](const QString& label) {
        const QString id = store.newEmbeddedSession(label, std::nullopt, std::nullopt)->id();
        EXPECT_TRUE(waitFor([&] { return store.embedded().visibleText(id).trimmed().endsWith(u'#') ||
                                         store.embedded().visibleText(id).trimmed().endsWith(u'$'); }));
        return id;
    };
    const QString dragged = shell(QStringLiteral("dragged")), b = shell(QStringLiteral("b")),
                  c = shell(QStringLiteral("c"));
    GridView& grid = *app.window().gridView();
    grid.relayout();
    const pid_t pids[] = {pid(b), pid(c)};

    // The end is handled inside the drag's own event loop; a mark tells the
    // pointer that it may go on to the drop.
    const fs::path mark = folder_.path() / "ended";
    bool duringDrag = false;
    QObject::connect(&store, &SessionStore::cellsChanged, &grid, [&] {
        if (store.cell(dragged) || fs::exists(mark)) return;
        duringDrag = grid.findChild<QDrag*>() != nullptr;
        tilebay::testing::writeFile(mark, "");
    });
    GridCellView* source = grid.tile(dragged);
    GridCellView* target = grid.tile(c);
    QStringList args = pointerTo(source, {150, 12});
    args << QStringLiteral("mousedown") << QStringLiteral("1");
    for (int step = 1; step <= 8; ++step) {
        const QPoint local(150 + (target->x() - source->x()) * step / 8, 12 + step);
        args << QStringLiteral("sleep") << QStringLiteral("0.1") << pointerTo(source, local);
    }
    args << QStringLiteral("exec") << QStringLiteral("--sync") << QStringLiteral("--terminator") << QStringLiteral("END")
         << QStringLiteral("sh") << QStringLiteral("-c")
         << QStringLiteral("kill -9 %1; n=0; while [ ! -e '%2' ] && [ $n -lt 2000 ]; do sleep 0.01; n=$((n+1)); done")
                .arg(pid(dragged))
                .arg(QString::fromStdString(mark.string()))
         << QStringLiteral("END");
    args << QStringLiteral("sleep") << QStringLiteral("0.2") << pointerTo(target, {150, 40});
    args << QStringLiteral("sleep") << QStringLiteral("0.2") << QStringLiteral("mouseup") << QStringLiteral("1");
    QProcess gesture;
    gesture.start(QStringLiteral("xdotool"), args);
    ASSERT_TRUE(gesture.waitForStarted(20000));
    ASSERT_TRUE(waitFor([&] { return gesture.state() == QProcess::NotRunning; }));

    EXPECT_TRUE(duringDrag);
    ASSERT_TRUE(waitFor([&] { return !grid.tile(dragged) && grid.tiles().size() == 2; }));
    const auto doc = LayoutDoc::decode(tilebay::testing::readFile(data() / "Tilebay" / "layout.json"));
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->cells.size(), 2u);
    EXPECT_EQ(QString::fromStdString(doc->cells[0].internalId), b);
    EXPECT_EQ(QString::fromStdString(doc->cells[1].internalId), c);
    EXPECT_EQ(pid(b), pids[0]);
    EXPECT_EQ(pid(c), pids[1]);
}

TEST_F(ShellX11, AtTheSmallestSizeAWindowManagerAllowsTheGridBarAndLastRowAreWhole)
{
    TilebayApp& app = startApp();
    SessionStore& store = app.store();
    MainWindow& window = app.window();
    // One cell and the add tile: two rows that scroll at the smallest size.
    store.newEmbeddedSession(QStringLiteral("a"), std::nullopt, std::nullopt);
    store.toggleBroadcastMode();
    // A window manager keeps a resize at the minimum the window publishes:
    // the menu bar over the grid's whole minimum.
    QSize smallest;
    EXPECT_TRUE(waitFor([&] {
        smallest = publishedMinimum(window.winId());
        return smallest == QSize(480, window.menuBar()->height() + 320);
    })) << smallest.width() << " x " << smallest.height();
    ASSERT_FALSE(smallest.isEmpty());
    // There is none here: the size it would give is asked for directly.
    ASSERT_TRUE(xdotool({QStringLiteral("windowsize"), QString::number(window.winId()), QString::number(smallest.width()),
                         QString::number(smallest.height())}));
    ASSERT_TRUE(waitFor([&] { return window.size() == smallest; }));
    QCoreApplication::processEvents();

    GridView& grid = *window.gridView();
    auto shown = [&](QWidget* w) { return QRect(w->mapTo(&window, QPoint(0, 0)), w->size()); };
    EXPECT_EQ(grid.size(), QSize(480, 320));
    EXPECT_TRUE(window.rect().contains(shown(&grid)));
    BroadcastBar& bar = *grid.broadcastBar();
    ASSERT_TRUE(bar.isVisible());
    EXPECT_TRUE(window.rect().contains(shown(&bar)));
    EXPECT_TRUE(shown(&bar).contains(shown(bar.sendButton())));
    EXPECT_GE(bar.sendButton()->width(), bar.sendButton()->sizeHint().width());
    // Scrolled to the end, the add tile's row shows whole in the viewport.
    QScrollArea& area = *grid.scrollArea();
    ASSERT_TRUE(grid.geometry().scrolls);
    area.verticalScrollBar()->setValue(area.verticalScrollBar()->maximum());
    EXPECT_TRUE(shown(area.viewport()).contains(shown(grid.addTile())));
    EXPECT_TRUE(window.rect().contains(shown(area.viewport())));
    // As the X server shows it, once the scrolled grid is drawn.
    QCoreApplication::processEvents();
    if (shotsWanted())
        saveShot(window.screen()->grabWindow(window.winId()).toImage(), QStringLiteral("window-smallest-broadcast-x11"));
}

TEST_F(ShellX11, ClosingTheWindowQuitsWithStatusZeroAndEndsTheShells)
{
    // One saved cell, so a shell runs.
    LayoutDoc doc;
    CellRecord record;
    record.internalId = "closeTestCell1";
    record.adapterKind = AdapterKind::embedded;
    record.projectLabel = "shell";
    doc.cells.push_back(record);
    writeLayout(doc.encode().value());

    QProcess app;
    app.setProcessChannelMode(QProcess::ForwardedChannels);
    app.start(QStringLiteral(TILEBAY_BINARY), {});
    ASSERT_TRUE(app.waitForStarted(20000));
    const QString appPid = QString::number(app.processId());
    QString shellPid;
    ASSERT_TRUE(waitFor([&] {
        QProcess children;
        // The login shell ("-bash"), not a short lookup the store may run meanwhile.
        children.start(QStringLiteral("pgrep"), {QStringLiteral("-P"), appPid, QStringLiteral("-f"), QStringLiteral("^-bash")});
        children.waitForFinished(20000);
        shellPid = QString::fromUtf8(children.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts).value(0);
        return !shellPid.isEmpty();
    }));
    const QString windowId = windowOf(app.processId(), QStringLiteral("Cellwright"));
    ASSERT_FALSE(windowId.isEmpty());

    sendWindowClose(windowId);
    ASSERT_TRUE(app.state() == QProcess::NotRunning || app.waitForFinished(kHangGuardMs));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
    const pid_t shell = shellPid.toInt();
    EXPECT_TRUE(waitFor([&] { return kill(shell, 0) != 0; })) << "shell " << shell << " is still there";
}
