// Erasing, inserting and deleting characters, lines and columns, and repeating
// the preceding character.
//
// Erased cells keep the current background colour and nothing else of the
// current attribute. Inserting and deleting whole lines without margins moves
// lines in the ring; only margin-bounded edits copy cells.
#include "corvel/terminal/Terminal.h"

#include "corvel/terminal/ListForm.h"

#include <algorithm>

namespace corvel {

namespace {

// The first parameter, with 0, negative values and no parameter read as 1.
int64_t countOf(Terminal::Params pars)
{
    return std::max<int64_t>(pars.empty() ? 1 : pars[0], 1);
}

int64_t firstParameter(Terminal::Params pars)
{
    return pars.empty() ? 0 : pars[0];
}

// A count narrowed to a column or row count; larger counts act alike.
int narrowCount(int64_t count, int limit)
{
    return static_cast<int>(std::min<int64_t>(count, int64_t{limit} + 1));
}

}  // namespace

void Terminal::resetBufferLine(int y, bool clearImages)
{
    Buffer& b = *buffer_;
    const int64_t row = int64_t{b.yBase()} + y;
    if (clearImages) b.clearImagesFromLine(row);
    BufferLine& line = b.lines()[row];
    line.replaceCells(0, std::min(cols_, line.count()), CharData(eraseAttribute()));
    line.isWrapped = false;
    updateRange(y);
}

void Terminal::cmdEraseInDisplay(Params pars)
{
    Buffer& b = *buffer_;
    const CharData erase(eraseAttribute());
    const int x = b.x();
    const int y = b.y();
    switch (firstParameter(pars)) {
    case 0: {
        updateRange(y);
        BufferLine& line = cursorLine();
        line.replaceCells(x, std::min(cols_, line.count()), erase);
        if (x == 0) line.isWrapped = false;
        int last = y;
        for (int row = y + 1; row < rows_; ++row) {
            resetBufferLine(row, false);
            last = row;
        }
        updateRange(last);
        break;
    }
    case 1: {
        updateRange(y);
        BufferLine& line = cursorLine();
        line.replaceCells(0, std::min(x + 1, line.count()), erase);
        line.isWrapped = false;
        if (x >= cols_ - 1 && y + 1 < rows_) b.lines()[int64_t{b.yBase()} + y + 1].isWrapped = false;
        for (int row = y - 1; row >= 0; --row) resetBufferLine(row, false);
        updateRange(0);
        break;
    }
    case 2:
        updateRange(rows_ - 1);
        for (int row = rows_ - 1; row >= 0; --row) resetBufferLine(row, true);
        // Sixel and other inline images in the scrollback stay.
        clearKittyStateForErase();
        updateRange(0);
        break;
    case 3: {
        const int64_t n = b.lines().count() - rows_;
        if (n < 1) {
            garbageCollectPayload();
            break;
        }
        markOpenHyperlink(false);
        // The frozen copy of synchronized output may still read these lines.
        if (snapshotSource_ == &b) preserveSnapshotHistory();
        const bool hadImages = b.hasAnyImages();
        b.lines().trimStart(n);
        b.moveLastStorage(n, INT64_MAX, -n, 0, n - 1);
        if (hadImages) b.recalculateLinesWithImagesCount();
        shiftKittyRecordRows(isCurrentBufferAlternate(), std::numeric_limits<int64_t>::max(), -n);
        b.linesTop = 0;
        b.setYBase(static_cast<int>(std::max<int64_t>(b.yBase() - n, 0)));
        b.setYDisp(static_cast<int>(std::max<int64_t>(b.yDisp() - n, 0)));
        restartOpenHyperlink();
        garbageCollectPayload();
        // Every row number moved: the host redraws and learns the new position.
        updateRange(0);
        updateRange(rows_ - 1);
        withDelegate([&](TerminalDelegate& d) { d.scrolled(*this, b.yDisp()); });
        break;
    }
    default: break;
    }
}

void Terminal::cmdEraseInLine(Params pars)
{
    Buffer& b = *buffer_;
    const CharData erase(eraseAttribute());
    BufferLine& line = cursorLine();
    const int x = b.x();
    switch (firstParameter(pars)) {
    case 0: line.replaceCells(x, std::min(cols_, line.count()), erase); break;
    case 1: line.replaceCells(0, std::min(x + 1, line.count()), erase); break;
    case 2: line.replaceCells(0, std::min(cols_, line.count()), erase); break;
    default: break;
    }
    updateRange(b.y());
}

void Terminal::cmdEraseChars(Params pars)
{
    Buffer& b = *buffer_;
    BufferLine& line = cursorLine();
    const int64_t end = std::min<int64_t>(int64_t{b.x()} + countOf(pars), line.count());
    line.replaceCells(b.x(), static_cast<int>(end), CharData(eraseAttribute()));
    updateRange(b.y());
}

void Terminal::cmdInsertChars(Params pars)
{
    Buffer& b = *buffer_;
    const int x = b.x();
    if (marginMode && (x < b.marginLeft() || x > b.marginRight())) return;
    if (x == b.cols()) return;
    cursorLine().insertCells(x, narrowCount(countOf(pars), cols_), rightMargin(), CharData(eraseAttribute()));
    updateRange(b.y());
}

void Terminal::cmdDeleteChars(Params pars)
{
    Buffer& b = *buffer_;
    const int x = b.x();
    int64_t n = countOf(pars);
    if (marginMode) {
        if (x < b.marginLeft() || x > b.marginRight()) return;
        if (x + n > b.marginRight()) n = b.marginRight() - x + 1;
    }
    if (x == b.cols()) return;
    cursorLine().deleteCells(x, narrowCount(n, cols_), rightMargin(), CharData(eraseAttribute()));
    updateRange(b.y());
}

void Terminal::cmdInsertLines(Params pars)
{
    Buffer& b = *buffer_;
    const int y = b.y();
    if (y < b.scrollTop() || y > b.scrollBottom()) return;
    const int64_t p = firstParameter(pars);
    const int64_t n = p < 2 ? 1 : std::min<int64_t>(p, 2 * b.lines().maxLength());
    const CharData erase(eraseAttribute());
    if (marginMode) {
        const int x = b.x();
        if (b.marginLeft() <= x && x <= b.marginRight()) {
            moveStrips(y, b.scrollBottom(), b.marginLeft(), b.marginRight(), n, false, erase, false);
        }
    } else {
        // The region's bottom lines go; fresh lines open at the cursor row.
        const int64_t top = int64_t{b.yBase()} + y;
        const int64_t bottom = std::min<int64_t>(int64_t{b.yBase()} + b.scrollBottom(), b.lines().count() - 1);
        const int64_t times = std::min<int64_t>(n, bottom - top + 1);
        for (int64_t i = 0; i < times; ++i) rotateLines(top, bottom, false, erase);
    }
    updateRange(y);
    updateRange(b.scrollBottom());
}

void Terminal::cmdDeleteLines(Params pars)
{
    restrictCursor(true);
    Buffer& b = *buffer_;
    const int y = b.y();
    const int64_t p = firstParameter(pars);
    const int64_t n = p < 2 ? 1 : std::min<int64_t>(p, int64_t{b.rows()} + 1);
    if (b.scrollTop() <= y && y <= b.scrollBottom()) {
        const CharData erase(eraseAttribute());
        if (marginMode) {
            const int x = b.x();
            if (b.marginLeft() <= x && x <= b.marginRight()) {
                moveStrips(y, b.scrollBottom(), b.marginLeft(), b.marginRight(), n, true, erase, false);
            }
        } else {
            // The cursor row and those below it go; fresh lines enter at the
            // bottom of the region.
            const int64_t top = int64_t{b.yBase()} + y;
            const int64_t bottom = std::min<int64_t>(int64_t{b.yBase()} + b.scrollBottom(), b.lines().count() - 1);
            const int64_t times = std::min<int64_t>(n, bottom - top + 1);
            for (int64_t i = 0; i < times; ++i) rotateLines(top, bottom, true, erase);
        }
    }
    updateRange(y);
    updateRange(b.scrollBottom());
}

void Terminal::cmdRepeatPrecedingCharacter(Params pars)
{
    Buffer& b = *buffer_;
    const int64_t p = firstParameter(pars);
    const int64_t n = p < 2 ? 1 : std::min<int64_t>(p, 2 * int64_t{cols_} * rows_);
    CharData repeated = CharData::Null;
    if (b.x() > 0) {
        const BufferLine& line = cursorLine();
        const int col = std::min(b.x() - 1, line.count() - 1);
        repeated = line[col];
        // Right after a wide character the cell before the cursor is its
        // empty second half; the character itself is repeated.
        if (repeated.width == 0 && col >= 1 && line[col - 1].width == 2) repeated = line[col - 1];
    }
    b.curAttr = curAttr;
    updateRange(b.y());
    for (int64_t i = 0; i < n; ++i) b.insertCharacter(repeated);
    updateRange(b.y());
}

void Terminal::csiCloseBrace(Params pars, Collect collect)
{
    if (collect.size() != 1 || collect[0] != '\'') {
        log("CSI # } not implemented- XTPOPSGR with " + listForm(pars));
        return;
    }
    // DECIC: columns open at the cursor column in every row of the region.
    Buffer& b = *buffer_;
    const int x = b.x();
    if (marginMode && x < b.marginLeft()) return;
    if (x > rightMargin()) return;
    const int n = narrowCount(countOf(pars), cols_);
    const CharData space(Attribute::empty, ' ', 1);
    for (int row = b.scrollTop(); row <= b.scrollBottom(); ++row) {
        BufferLine& line = b.lines()[int64_t{b.yBase()} + row];
        line.insertCells(x, n, rightMargin(), space);
        line.isWrapped = false;
    }
    updateRange(b.scrollTop());
    updateRange(b.scrollBottom());
}

void Terminal::cmdDeleteColumns(Params pars)
{
    Buffer& b = *buffer_;
    const int x = b.x();
    const int y = b.y();
    if (y < b.scrollTop() || y > b.scrollBottom() || x == b.cols()) return;
    if (marginMode && (x < b.marginLeft() || x > b.marginRight())) return;
    const int n = narrowCount(countOf(pars), cols_);
    const CharData eraseSpace(eraseAttribute(), ' ', 1);
    for (int row = b.scrollTop(); row <= b.scrollBottom(); ++row) {
        BufferLine& line = b.lines()[int64_t{b.yBase()} + row];
        line.deleteCells(x, n, rightMargin(), eraseSpace);
        line.isWrapped = false;
    }
    updateRange(b.scrollTop());
    updateRange(b.scrollBottom());
}

}  // namespace corvel
