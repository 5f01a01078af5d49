// Keeps the keyboard focus of the application's window with its terminals,
// so typing goes to a terminal and never to a control that took the focus
// unseen. Qt hands the focus of a widget that is hidden, disabled or deleted
// on along the Tab chain, perhaps to a toolbar button where a typed space
// presses it, and a window activated with nothing focused gives it to the
// first control of that chain (the window parks it on itself instead).
//
// The keeper remembers the terminal view that last took the focus, with its
// cell and the cell's place in the grid. Whenever the focus lands where the
// user did not put it (passed along the Tab chain without a Tab key, on the
// window itself, or on nothing while the window is active) it gives the focus
// back to that terminal; when that terminal is gone, to the first shown pane
// of the same cell, else to the first pane of the nearest cell in grid order
// (with none remembered, as at start, the first cell's). While the expanded
// card is shown only its panes count. When the remembered terminal lives on
// but is hidden (the tiles show placeholders during a live resize), the
// window holds the focus and passes the keys typed meanwhile to that
// terminal, which takes the focus back when it shows again. With no terminal
// at all the window holds the focus and keys go nowhere.
//
// Fields and the label editor keep the focus they are given; when they go,
// the rules above bring it back. A control takes the focus by Tab only.
//
// Threads: the main thread. Ownership: a child of the window it keeps; it
// reads the store, which outlives it.
#pragma once

#include "app/store/SessionStore.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace corvel {
class TerminalView;
}

namespace tilebay {

class TerminalFocusKeeper final : public QObject {
    Q_OBJECT
public:
    TerminalFocusKeeper(SessionStore& store, QWidget* window);
    ~TerminalFocusKeeper() override;

    // Gives the focus to the terminal the rules choose now, or parks it on
    // the window when none is shown.
    void restore();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void remember(corvel::TerminalView* view);
    void focusChanged(QWidget* now);
    // The terminal to focus now; null when none is shown.
    corvel::TerminalView* choose() const;
    // The remembered terminal is still in the window but hidden.
    bool lastIsHidden() const;
    // Where the candidates are: the expanded card's overlay while it holds a
    // card, else the window.
    QWidget* scope() const;
    // The id of the cell whose tile or card holds `widget`, or empty.
    static QString cellOf(const QWidget* widget);
    bool unclaimed() const;
    void scheduleRestore();
    void setFocusTo(QWidget* widget);
    bool forwardKey(QObject* watched, QEvent* event);

    SessionStore& store_;
    QWidget* window_;
    QPointer<corvel::TerminalView> last_;
    QString lastCell_;
    qsizetype lastIndex_ = 0;
    // A Tab or Backtab key is being handled: the focus it moves is the user's.
    bool userTab_ = false;
    // The keeper itself is moving the focus.
    bool steering_ = false;
    bool restorePending_ = false;
};

}  // namespace tilebay
