// The selection of one terminal view: a range of the displayed buffer from a
// start to an end (either order; readers order them), and the rules by which
// it grows — a plain range, a word or bracketed expression (double click), a
// whole row (triple click), shift-click and drag extension, and everything.
//
// Rows are ring indexes of the displayed buffer (Terminal::displayBuffer():
// the frozen copy while synchronized output holds one, else the active
// buffer), counted from its oldest scrollback line.
//
// Every operation that changes the selection tells the terminal's delegate
// once through `selectionChanged`, so the view can redraw. The service holds
// a reference to the terminal, which its owner (the view) keeps alive for the
// service's life. Main thread only, like the terminal.
#pragma once

#include "corvel/screen/Position.h"

#include <optional>
#include <string>

namespace corvel {

class Buffer;
class Terminal;

enum class SelectionMode { character, word, row };

class SelectionService {
public:
    explicit SelectionService(Terminal& terminal);
    SelectionService(const SelectionService&) = delete;
    SelectionService& operator=(const SelectionService&) = delete;

    bool active() const { return active_; }
    // A change is reported; setting false (changed or not) also clears the pivot.
    void setActive(bool value);

    bool hasSelectionRange() const { return hasSelectionRange_; }
    Position start() const { return start_; }
    Position end() const { return end_; }
    std::optional<Position> pivot() const { return pivot_; }
    bool selectingRows() const { return selectingRows_; }
    SelectionMode selectionMode() const { return selectionMode_; }
    void setSelectionMode(SelectionMode mode) { selectionMode_ = mode; }

    // Clamps columns to the last column and rows to the last line (from above only).
    void setSelection(Position start, Position end);
    // An empty selection at the start, character mode.
    void startSelection();
    // An empty selection at the position; the mode stays.
    void setSoftStart(Position bufferPosition);
    // Shift-click: extends to the position, swapping the anchor when the
    // position lies on the other side of the start.
    void shiftExtend(Position bufferPosition);
    // Drag: the end follows the position.
    void dragExtend(Position bufferPosition);
    // From (0, 0) to the last column of the last slot of the ring's capacity;
    // text reads clamp that to the lines held.
    void selectAll();
    // A triple click: the whole row.
    void select(int row);
    // A double click: a word, a run of spaces or empty cells, or a bracketed
    // expression.
    void selectWordOrExpression(Position at, Buffer& buffer);
    // Steps of the double click; they leave the report to their caller.
    void balancedSearchForward(Position from, Buffer& buffer);
    void balancedSearchBackward(Position from, Buffer& buffer);

    std::string debugDescription() const;

    // Letters and numbers (any script) and ".", "_", "-".
    static bool isWordCharacter(char32_t scalar);

private:
    enum class CharClass { null, space, word, other };

    Buffer& displayBuffer() const;
    // The first scalar of the cell's character; U+0000 for an empty cell.
    // The spacer right of a wide character gives that character.
    char32_t scalarAt(Buffer& buffer, Position at) const;
    static CharClass classify(char32_t scalar);
    Position snapToWordBoundary(Position position);
    void notify();

    Terminal& terminal_;
    bool active_ = false;
    bool hasSelectionRange_ = false;
    Position start_;
    std::optional<Position> pivot_ = Position{};
    Position end_;
    bool selectingRows_ = false;
    SelectionMode selectionMode_ = SelectionMode::character;
};

}  // namespace corvel
