#include "app/ui/TerminalFocusKeeper.h"

#include "app/ui/expanded/ExpandedCard.h"
#include "app/ui/expanded/ExpandedView.h"
#include "app/ui/grid/GridCellView.h"

#include "corvel/qt/TerminalView.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QTimer>

#include <cstdlib>
#include <limits>

namespace tilebay {

TerminalFocusKeeper::TerminalFocusKeeper(SessionStore& store, QWidget* window)
    : QObject(window), store_(store), window_(window)
{
    qApp->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { focusChanged(now); });
}

TerminalFocusKeeper::~TerminalFocusKeeper()
{
    qApp->removeEventFilter(this);
}

QString TerminalFocusKeeper::cellOf(const QWidget* widget)
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (auto* tile = qobject_cast<const GridCellView*>(w)) return tile->cellId();
        if (auto* card = qobject_cast<const ExpandedCard*>(w)) return card->cell()->id();
    }
    return {};
}

void TerminalFocusKeeper::remember(corvel::TerminalView* view)
{
    if (last_ != view) {
        if (last_) disconnect(last_, &QObject::destroyed, this, nullptr);
        // Held for it while hidden, the focus goes on when it goes.
        connect(view, &QObject::destroyed, this, [this] {
            if (QApplication::focusWidget() == window_) scheduleRestore();
        });
    }
    last_ = view;
    lastCell_ = cellOf(view);
    if (const auto index = store_.index(lastCell_)) lastIndex_ = *index;
}

QWidget* TerminalFocusKeeper::scope() const
{
    for (ExpandedView* overlay : window_->findChildren<ExpandedView*>())
        if (overlay->isVisible() && overlay->card()) return overlay;
    return window_;
}

bool TerminalFocusKeeper::lastIsHidden() const
{
    if (!last_ || last_->window() != window_ || last_->isVisible()) return false;
    const QWidget* within = scope();
    return within == window_ || within->isAncestorOf(last_);
}

corvel::TerminalView* TerminalFocusKeeper::choose() const
{
    QWidget* within = scope();
    auto shown = [&](const corvel::TerminalView* view) {
        return view && view->window() == window_ && view->isVisible() && view->isEnabled() &&
               (within == window_ || within->isAncestorOf(view));
    };
    if (shown(last_)) return last_;
    corvel::TerminalView* nearest = nullptr;
    qsizetype nearestDistance = std::numeric_limits<qsizetype>::max();
    qsizetype nearestIndex = 0;
    // In widget order: a cell's first pane comes before its others.
    for (corvel::TerminalView* view : within->findChildren<corvel::TerminalView*>()) {
        if (!shown(view)) continue;
        const QString cell = cellOf(view);
        if (!cell.isEmpty() && cell == lastCell_) return view;
        const auto index = store_.index(cell);
        if (!index) continue;
        const qsizetype distance = std::abs(*index - lastIndex_);
        // Equally near: the cell before wins.
        if (distance < nearestDistance || (distance == nearestDistance && *index < nearestIndex)) {
            nearest = view;
            nearestDistance = distance;
            nearestIndex = *index;
        }
    }
    return nearest;
}

void TerminalFocusKeeper::setFocusTo(QWidget* widget)
{
    if (QApplication::focusWidget() == widget) return;
    steering_ = true;
    widget->setFocus(Qt::OtherFocusReason);
    steering_ = false;
}

void TerminalFocusKeeper::restore()
{
    restorePending_ = false;
    if (!window_->isVisible()) return;
    if (corvel::TerminalView* target = lastIsHidden() ? nullptr : choose()) {
        setFocusTo(target);
        return;
    }
    // Nothing to type into now: the window holds the focus, so no control
    // does, and a remembered terminal that shows again takes it back.
    setFocusTo(window_);
}

bool TerminalFocusKeeper::unclaimed() const
{
    const QWidget* focused = QApplication::focusWidget();
    return QApplication::activeWindow() == window_ && (!focused || focused == window_);
}

void TerminalFocusKeeper::scheduleRestore()
{
    if (restorePending_) return;
    restorePending_ = true;
    // On a later turn: the change that took the focus away (a layout handing
    // its panes back, a tile going) has finished by then.
    QMetaObject::invokeMethod(
        this, [this] {
            if (restorePending_ && unclaimed()) restore();
            restorePending_ = false;
        },
        Qt::QueuedConnection);
}

void TerminalFocusKeeper::focusChanged(QWidget* now)
{
    if (!now && QApplication::activeWindow() == window_) scheduleRestore();
}

bool TerminalFocusKeeper::forwardKey(QObject* watched, QEvent* event)
{
    // Keys typed while the window holds the focus for a hidden terminal.
    if (watched != window_ || QApplication::focusWidget() != window_ || !lastIsHidden()) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->nativeScanCode(), key->nativeVirtualKey(),
                   key->nativeModifiers(), key->text(), key->isAutoRepeat(), key->count(), key->device());
    QCoreApplication::sendEvent(last_, &copy);
    return true;
}

bool TerminalFocusKeeper::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        if (forwardKey(watched, event)) return true;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (event->type() == QEvent::KeyPress && (key == Qt::Key_Tab || key == Qt::Key_Backtab)) {
            // Qt moves the focus for the key while the key is handled; the
            // mark goes on the next turn.
            userTab_ = true;
            QTimer::singleShot(0, this, [this] { userTab_ = false; });
        }
        break;
    }
    case QEvent::FocusIn: {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (steering_ || !widget || widget->window() != window_) break;
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if ((reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) && !userTab_) {
            // Handed on by Qt from a widget that went: the widget never sees it.
            restore();
            return true;
        }
        if (widget == window_) {
            restore();
            break;
        }
        if (auto* view = qobject_cast<corvel::TerminalView*>(widget)) remember(view);
        break;
    }
    case QEvent::Show:
        // Terminals that show again (the remembered one among them) take
        // back the focus the window held while none was shown.
        if (QApplication::focusWidget() == window_ && watched->isWidgetType() &&
            (qobject_cast<corvel::TerminalView*>(watched) || watched->findChild<corvel::TerminalView*>()))
            scheduleRestore();
        break;
    case QEvent::ParentChange:
        // Taken out of its layout (a pane that ended): the focus held for it goes on.
        if (watched == last_ && QApplication::focusWidget() == window_) scheduleRestore();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace tilebay
