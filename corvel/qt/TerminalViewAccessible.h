// The terminal view as assistive technology sees it: a multi-line text area
// whose text is the visible screen, with the selection and the cursor as
// offsets into that text and each character at its cell.
//
// ScreenText is the visible screen of a view as one string: the rows joined
// by "\n", each without its trailing blanks; a wide character is one
// character over two columns. Positions and offsets map both ways, clamped
// to the screen. It is rebuilt for every question (one screen of cells).
//
// TerminalViewAccessible is the QAccessibleInterface Qt hands out for every
// TerminalView (subclasses included) once installTerminalViewAccessibility()
// has registered its factory; Qt owns the interfaces it makes. GUI thread.
#pragma once

#include <QAccessibleWidget>
#include <QString>

#include <vector>

#include "corvel/screen/Position.h"

namespace corvel {

class TerminalView;

class ScreenText {
public:
    explicit ScreenText(TerminalView& view);

    const QString& text() const { return text_; }
    // The offset of a buffer position (absolute row; the column's cell
    // starts there); before the screen gives 0, after it the text's length.
    int offsetOf(Position position) const;
    // The buffer position of the character at `offset` (clamped).
    Position positionAt(int offset) const;

private:
    struct Row {
        int start = 0;                 // offset of the row's first character
        int length = 0;                // characters kept (trailing blanks dropped)
        std::vector<int> columnStart;  // offset within the row where each column's cell starts
    };
    QString text_;
    std::vector<Row> rows_;
    int firstRow_ = 0;  // absolute buffer row shown at the top
    int cols_ = 0;
};

class TerminalViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TerminalViewAccessible(TerminalView* view);

    QAccessible::State state() const override;
    QString text(QAccessible::Text kind) const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    // QAccessibleTextInterface: offsets into ScreenText.
    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    // The cursor belongs to the program in the terminal: not moved.
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    // The text is the visible screen: every part of it is in view.
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

private:
    TerminalView& view() const;
};

// The selection as offsets into the screen text (start before end), or the
// cursor's offset twice when nothing is selected.
std::pair<int, int> accessibleSelection(TerminalView& view, const ScreenText& screen);

// Registers the factory that makes TerminalViewAccessible; once per process,
// any later call does nothing.
void installTerminalViewAccessibility();

}  // namespace corvel
