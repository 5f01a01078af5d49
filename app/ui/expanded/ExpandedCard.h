// The card of the expanded cell: a header (status symbol, label, status tag,
// "iTerm2 창 열기" for iTerm2 cells, "복귀"), the cell's live content or its
// text preview, a search bar for embedded cells while the search is open,
// and a command field for iTerm2 cells. It paints its own rounded background
// with a one-pixel inside border; the overlay that holds it paints the scrim
// and the shadow.
//
// The live content is the adapter's pane layout for the cell, borrowed: the
// card hands the pane widgets back (detaches them) before the layout goes,
// whether the card is destroyed or the cell's panes change, and never deletes
// a pane.
//
// Keys: a focused terminal takes every key it encodes, Escape included. An
// Escape that bubbles up to the card (from the search field, a control, or
// the card itself) closes the search while it is open and otherwise asks to
// collapse. Ctrl+Shift+F is routed to toggleSearch() by the overlay before
// any shortcut sees it.
//
// Focus: the card never takes the keyboard focus on a click (a click on its
// header or a button leaves it in the terminal). When the search closes
// while the focus is in it, the window's TerminalFocusKeeper gives it back to
// the terminal that had it, so typing goes on there (and so does an Escape).
//
// Threads: the main thread only. Ownership: a child of the overlay; it shares
// the cell's record with the store and reads the store, which outlives it.
#pragma once

#include "app/store/SessionStore.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QVBoxLayout;

namespace tilebay {

class DSOutlineButton;
class DSPrimaryButton;
class SymbolView;

class ExpandedCard final : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal cornerRadius = 18;

    ExpandedCard(SessionStore& store, std::shared_ptr<TerminalSession> cell, QWidget* parent = nullptr);
    ~ExpandedCard() override;

    const std::shared_ptr<TerminalSession>& cell() const { return cell_; }

    // Opens the search with the keyboard focus in its field, or closes it.
    void toggleSearch();
    // Closes the search and clears the search highlight of the cell's first
    // pane; the term stays for the next opening. A focus in the search bar
    // goes back to the terminal.
    void closeSearch();
    bool searchOpen() const { return showSearch_; }
    // Sends the command field's text to the cell's iTerm2 session (the store
    // trims it and ignores an empty one) and empties the field.
    void send();
    // Detaches the borrowed pane widgets and drops the layout that held them.
    void handBack();

    // The borrowed live content, or null while the preview is shown.
    QWidget* liveContent() const { return live_; }
    QWidget* searchBar() const { return searchBar_; }
    QLineEdit* searchField() const { return searchField_; }
    QWidget* commandBar() const { return commandBar_; }
    QLineEdit* commandField() const { return commandField_; }
    DSPrimaryButton* sendButton() const { return sendButton_; }
    DSOutlineButton* openITerm2Button() const { return openITerm2_; }
    DSOutlineButton* collapseButton() const { return collapseButton_; }
    QWidget* preview() const { return preview_; }

    // Run by "복귀" and by an Escape that reaches the card while the search is closed.
    std::function<void()> onCollapse;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    // A new palette (the appearance changed while the card is open) recolours
    // the parts tinted from the palette when they were made.
    void changeEvent(QEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeSearchBar();
    QWidget* makeCommandBar();
    QWidget* makeDivider();
    void showContent();
    void showPreviewText();
    void showStatus();
    void openITerm2();

    SessionStore& store_;
    std::shared_ptr<TerminalSession> cell_;
    bool showSearch_ = false;

    QVBoxLayout* column_ = nullptr;
    QWidget* contentArea_ = nullptr;
    QVBoxLayout* contentLayout_ = nullptr;
    QPointer<QWidget> live_;
    QWidget* preview_ = nullptr;
    QLabel* previewEmpty_ = nullptr;
    QPlainTextEdit* previewText_ = nullptr;
    QHBoxLayout* headerRow_ = nullptr;
    SymbolView* statusSymbol_ = nullptr;
    QLabel* label_ = nullptr;
    QLabel* tag_ = nullptr;
    DSOutlineButton* openITerm2_ = nullptr;
    DSOutlineButton* collapseButton_ = nullptr;
    QWidget* searchBar_ = nullptr;
    QWidget* searchDivider_ = nullptr;
    QLineEdit* searchField_ = nullptr;
    SymbolView* searchGlass_ = nullptr;
    QWidget* commandBar_ = nullptr;
    QLineEdit* commandField_ = nullptr;
    DSPrimaryButton* sendButton_ = nullptr;
};

}  // namespace tilebay
