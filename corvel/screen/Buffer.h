// One screen of the terminal: its lines (scrollback plus visible rows, in a
// line ring), the cursor, the viewport position, the scroll region, the left
// and right margins, the saved cursor, the tab stops and the drawing
// attribute. The emulator owns two of them: the normal screen, built with
// scrollback, and the alternate screen, built without.
//
// Rows are addressed three ways:
//   ring index   0 is the oldest line held (scrollback first);
//   screen row   counts from `yBase()`, the ring index of the top visible row,
//                so the cursor's line is ring index yBase() + y();
//   viewport row counts from `yDisp()`, the top row the user is looking at.
// `linesTop` + ring index gives a row number that stays fixed while a line
// moves toward the top of a full ring.
//
// The buffer also holds the two text-insertion paths of printing and resize
// with reflow of soft-wrapped text (BufferReflow.cpp).
//
// A buffer is used from the one thread that drives its terminal. The ring's
// hooks and line factory refer back to the buffer, so a buffer is neither
// copied nor moved; owners keep it behind a pointer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "corvel/screen/Attribute.h"
#include "corvel/screen/BufferLine.h"
#include "corvel/screen/CharData.h"
#include "corvel/screen/CharSets.h"
#include "corvel/screen/CircularBufferLineList.h"
#include "corvel/screen/LineImageLedger.h"
#include "corvel/screen/Position.h"
#include "corvel/screen/TerminalImage.h"

namespace corvel {

class Buffer {
public:
    // Lines that narrowing inserts below a group, committed in one sweep.
    struct InsertionSet {
        std::vector<BufferLine> lines;  // top to bottom
        int64_t start = 0;              // ring index of the first line, counted as the sweep counts it
        bool isNull = false;            // true only for the end marker
    };

    // Where the insert operations put their last cell, and the size at the
    // time: printing attaches combining marks to that cell only while the
    // size is unchanged.
    struct CellLocation {
        int64_t y = 0;  // ring index of the line
        int x = 0;
        int cols = 0;
        int rows = 0;
    };

    using ScrollCallback = std::function<void(bool isWrapped)>;

    // `scrollback` absent: no scrollback, and no reflow on resize. The ring
    // starts empty; the owner calls fillViewportRows next. Sizes below one
    // column or row are taken as one.
    Buffer(int cols, int rows, int tabStopWidth, std::optional<int> scrollback);
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    // ---- lines and cells ----

    CircularBufferLineList& lines() { return lines_; }
    const CircularBufferLineList& lines() const { return lines_; }

    // Installs the ring hooks that keep the count of lines with images.
    void setupLinesCallbacks();
    // Only on an empty ring: pushes `rows` lines of empty cells with the
    // attribute (default colours when none is given).
    void fillViewportRows(std::optional<Attribute> attribute = std::nullopt);

    // `cols` empty cells (code 0, width 1) with the attribute.
    BufferLine getBlankLine(const Attribute& attribute, bool isWrapped = false) const;
    // A space with the attribute, or with `Attribute::empty`.
    static CharData getNullCell(std::optional<Attribute> attribute = std::nullopt);

    // The cell at (col, ring index row). A row outside the lines held or a
    // column outside the line yields `CharData::Null`.
    CharData getCharAtBufferRelative(const Position& pos);
    // The same with a viewport row (ring index yDisp() + row).
    CharData getChar(const Position& at);

    // ---- clearing and reset ----

    // A fresh empty ring; cursor, viewport, linesTop, image count and scroll
    // region back to the start. Tab stops, margins and saved state stay.
    void clear();
    // Saved cursor state back to its defaults and the margins to full width.
    void softReset();

    // ---- tab stops ----

    // index -1: every stop cleared, then stops from column 0. Otherwise (the
    // old column count after a resize) stops continue from the last stop at
    // or before that column. Existing stops are never cleared in that case.
    void setupTabStops(int index = -1, int tabStopWidth = 8);
    // The greatest stop j with 1 <= j < index, else 0 (-1: the cursor column).
    int previousTabStop(int index = -1) const;
    // The first stop after index, never past the right margin (margin mode)
    // or the last column (-1: the cursor column).
    int nextTabStop(bool marginMode, int index = -1) const;
    void tabSet(int pos);
    void tabClear(int pos);

    // ---- capacity ----
    //
    // Invariant: the ring's capacity is getCorrectBufferLength(rows()) after
    // construction, clear, changeHistorySize and resize, whether the ring
    // holds lines or not. Without scrollback (the alternate screen) that is
    // exactly the rows, so nothing is ever kept above the first row.

    // The ring capacity for `rows` screen rows under the scrollback setting.
    int64_t getCorrectBufferLength(int rows) const;
    // Changes the scrollback (absent: none, which also turns reflow off).
    // Shrinking drops the oldest lines.
    void changeHistorySize(std::optional<int> newScrollback);
    bool isReflowEnabled() const { return hasScrollback_; }
    bool hasScrollback() const { return hasScrollback_; }
    std::optional<int> scrollback() const { return scrollback_; }

    // ---- images ----

    bool hasAnyImages() const { return linesWithImagesCount_ > 0; }
    int64_t linesWithImagesCount() const { return linesWithImagesCount_; }
    // Drops the image list of the line at ring index `row`.
    void clearImagesFromLine(int64_t row);
    // Recounts the lines that hold an image list.
    void recalculateLinesWithImagesCount();
    // Appends the image to the list of the line at ring index `row`; a row
    // outside the lines held is ignored. An image attached for the first
    // time is charged to the ledger, when one is set.
    void attachImage(std::shared_ptr<TerminalImage> image, int64_t row);
    // The ledger of the terminal's line images (not owned; it outlives the
    // buffer's use of it) and whether this is the alternate buffer in it.
    void setImageLedger(LineImageLedger* ledger, bool isAlternate)
    {
        imageLedger_ = ledger;
        isAlternateInLedger_ = isAlternate;
    }

    // ---- text insertion (the print path) ----

    // Writes one cell of width 1 or 2 at the cursor, with autowrap, insert
    // mode and margins.
    void insertCharacter(const CharData& ch);
    // Writes printable bytes below 0x80, one cell each, and returns how many
    // it wrote: fewer than given only when autowrap is off and the right edge
    // was reached; 0 in insert mode (the caller then prints cell by cell).
    int insertAsciiRun(std::span<const uint8_t> bytes, const Attribute& attribute);

    // ---- resize and reflow (BufferReflow.cpp) ----

    // Changes the size in place: adapts the capacity, adds or drops rows at
    // the bottom or pulls rows back from the scrollback, clamps the cursor and
    // margins, resizes the tab-stop list and, with scrollback, re-wraps the
    // soft-wrapped text at the new width. The emulator rebuilds the tab stops
    // afterwards with setupTabStops(oldCols, width).
    void resize(int newCols, int newRows);

    // Pairs (first ring index, number of lines) of the lines that widening
    // empties, in increasing order. Joins the groups' cells as it goes.
    std::vector<int64_t> getLinesToRemove(int oldCols, int newCols, int64_t bufferAbsoluteY,
                                          const CharData& nullChar);
    // The length of each line of a group after narrowing to newCols.
    static std::vector<int> getNewLineLengths(const std::vector<BufferLine*>& wrappedLines, int oldCols,
                                              int newCols);
    // The cells that line `index` of a group holds at width `cols`: the whole
    // width, less the gap a wide character left when it wrapped; the last line
    // of the group counts its trimmed length.
    static int getWrappedLineTrimmedLength(const std::vector<BufferLine*>& lines, int index, int cols);
    static int getWrappedLineTrimmedLength(const BufferLine& line, const BufferLine* nextLine, int cols);

    // ---- cursor, viewport, region ----

    int cols() const { return cols_; }
    int rows() const { return rows_; }

    // Negative values are ignored by these five setters.
    int x() const { return x_; }
    // A negative value is ignored (the setters guard the cursor).
    void setX(int value)
    {
        if (value >= 0) x_ = value;
    }
    int y() const { return y_; }
    void setY(int value)
    {
        if (value >= 0) y_ = value;
    }
    int yDisp() const { return yDisp_; }
    void setYDisp(int value);
    int scrollTop() const { return scrollTop_; }
    void setScrollTop(int value);
    int scrollBottom() const { return scrollBottom_; }
    void setScrollBottom(int value);

    int yBase() const { return yBase_; }
    void setYBase(int value) { yBase_ = value; }
    int marginLeft() const { return marginLeft_; }
    void setMarginLeft(int value) { marginLeft_ = value; }
    int marginRight() const { return marginRight_; }
    void setMarginRight(int value) { marginRight_ = value; }

    // ---- plain state ----

    int xDisp = 0;  // horizontal viewport origin; reset by clear
    int xBase = 0;  // reset by clear
    // Lines recycled off the top of a full ring since creation or clear; the
    // emulator's scroll raises it.
    int64_t linesTop = 0;

    std::vector<bool> tabStops;

    // The saved cursor (DECSC). Until something is saved it holds the
    // defaults, so that restoring then gives the default modes.
    int savedX = 0;
    int savedY = 0;
    bool savedOriginMode = false;
    bool savedMarginMode = false;
    bool savedWraparound = true;
    bool savedReverseWraparound = false;
    Attribute savedAttr;
    const CharSet* savedCharset = nullptr;  // null: no character set

    // Attribute of the placeholder behind a wide character and of the cells
    // that insert mode opens; the emulator keeps it in step with its own.
    Attribute curAttr = Attribute::empty;
    bool insertMode = false;
    bool marginMode = false;
    bool wraparound = false;

    // The emulator's scroll-up-one-line, called when printing wraps at the
    // bottom of the scroll region. Until it is installed such a wrap stops
    // the process.
    ScrollCallback scroll;

    std::optional<CellLocation> lastBufferStorage;
    // Lines [first, last] of the ring moved `by` places and the lines in
    // [goneFirst, goneLast] left it: the last cell written follows its line,
    // and is forgotten with it.
    void moveLastStorage(int64_t first, int64_t last, int64_t by, int64_t goneFirst = 1, int64_t goneLast = 0);

private:
    // The cell insertAsciiRun copies, with the last attribute it printed.
    CharData asciiCell_;

public:
    // The line in the slot of ring index `row` if one exists, without
    // creating it: walks over every line (image searches) leave the slots
    // that were never written empty.
    BufferLine* peekLine(int64_t row);

private:
    void installRing();
    // The line at ring index `row` for writing, created if its slot is empty.
    // A row outside the lines held is clamped into them after a logged
    // warning (out of line); null only when the ring holds no lines.
    BufferLine* rowForWrite(int64_t row)
    {
        if (row >= 0 && row < lines_.count()) [[likely]] return &lines_[row];
        return rowForWriteClamped(row);
    }
    BufferLine* rowForWriteClamped(int64_t row);
    // Drops the lines that linger in slots past the last line, so a later
    // read makes a fresh line of the current width.
    void releaseLinesPastEnd();
    // Moves the cursor to the start of the next row (scrolling at the bottom
    // of the region), marking the row as a continuation.
    void wrapToNextRow(int left);
    int rightEdge() const { return marginMode ? marginRight_ : cols_ - 1; }
    int leftEdge() const { return marginMode ? marginLeft_ : 0; }
    // Trims `excess` oldest lines and moves the screen up by as many.
    void trimOldest(int64_t excess);

    void reflowWider(int oldCols, int newCols, int newRows);
    // Cuts every line longer than `newCols` to that width.
    void cutLinesTo(int newCols);
    // After a reflow: puts the cursor back on the line it was on.
    void keepCursorOnLine(const BufferLine& cursorLine, int newRows);
    void reflowNarrower(int oldCols, int newCols, int newRows);
    void rearrange(std::vector<InsertionSet>& toInsert, int64_t countToInsert);

    CircularBufferLineList lines_;
    int yDisp_ = 0;
    int x_ = 0;
    int y_ = 0;
    int yBase_ = 0;
    int64_t linesWithImagesCount_ = 0;
    LineImageLedger* imageLedger_ = nullptr;
    bool isAlternateInLedger_ = false;
    int scrollBottom_ = 0;
    int scrollTop_ = 0;
    int marginLeft_ = 0;
    int marginRight_ = 0;
    bool hasScrollback_ = false;
    int cols_ = 0;
    int rows_ = 0;
    std::optional<int> scrollback_;
};

}  // namespace corvel
