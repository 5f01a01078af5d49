// The application's one window, "Cellwright": never smaller than the menu
// bar over the grid's minimum (480 x 320 of content, GridView), first shown
// at about 1200 x 800 within the screen. Its central widget is the
// grid's area, over which the expanded cell's overlay lies; its "파일" menu
// holds "새 터미널" (Ctrl+Shift+T: the new-terminal prompt with empty fields)
// and "프로필 열기…" (Ctrl+Shift+O: the profile launcher). Plain Ctrl+T and
// Ctrl+O stay with the focused terminal; a widget of the window that would
// take every key for itself (a terminal asks to see keys before shortcuts)
// is refused these two at the shortcut-override stage, so the menu acts;
// when their action cannot run, the key is dropped rather than typed, so it
// never reaches a terminal's program.
//
// Keyboard focus: activated with no widget to give the focus back to (at
// start, or after a sheet when no terminal had it), the window takes the
// focus itself rather than let it fall to the first control of the Tab
// chain, where it would sit unseen and a typed space would press that
// button. Its TerminalFocusKeeper then hands it on to a terminal (at start
// the first cell's); with no cell, keys reach nothing until a field is
// clicked, and Tab starts at the first control.
//
// Threads: the main thread. Ownership: made and owned by TilebayApp; it reads
// the store, which outlives it.
#pragma once

#include <QMainWindow>

class QAction;

namespace tilebay {

class ExpandedView;
class GridView;
class SessionStore;

class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(SessionStore& store, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The grid's area: the grid view fills it; the expanded overlay covers it.
    QWidget* gridArea() const { return gridArea_; }
    ExpandedView* expandedView() const { return expanded_; }
    GridView* gridView() const { return grid_; }
    QAction* newTerminalAction() const { return newTerminal_; }
    QAction* openProfileAction() const { return openProfile_; }

    // About 1200 x 800, shrunk to fit the available screen area, centred.
    void placeInitially();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    SessionStore& store_;
    QWidget* gridArea_ = nullptr;
    GridView* grid_ = nullptr;
    ExpandedView* expanded_ = nullptr;
    QAction* newTerminal_ = nullptr;
    QAction* openProfile_ = nullptr;
};

}  // namespace tilebay
