// C0 controls, cursor movement, scrolling, the scroll region and margins, tab
// stops, the saved cursor, the cursor style and the soft reset.
//
// Full-width scrolling never copies cells: lines change places in the ring,
// and the line that leaves the region is blanked and reused as the one that
// enters it. Only scrolls bounded by the left and right margins copy the
// strip between them.
#include "corvel/terminal/Terminal.h"

#include "corvel/terminal/ListForm.h"

#include <algorithm>
#include <string>

namespace corvel {

namespace {

// A count parameter: the first parameter, with 0, negative values and no
// parameter read as 1.
int64_t countOf(Terminal::Params pars)
{
    return std::max<int64_t>(pars.empty() ? 1 : pars[0], 1);
}

const char* yesNo(bool value)
{
    return value ? "true" : "false";
}

}  // namespace

Attribute Terminal::eraseAttribute() const
{
    Attribute erase;
    erase.bg = curAttr.bg;
    return erase;
}

int Terminal::leftMargin() const
{
    return marginMode ? buffer_->marginLeft() : 0;
}

int Terminal::rightMargin() const
{
    return marginMode ? buffer_->marginRight() : cols_ - 1;
}

bool Terminal::marginsNarrowerThanScreen() const
{
    return marginMode && (buffer_->marginLeft() > 0 || buffer_->marginRight() < cols_ - 1);
}

bool Terminal::wrapPendingAtMargin() const
{
    Buffer& b = *buffer_;
    if (!marginMode || b.marginRight() >= cols_ - 1 || b.x() != b.marginRight() + 1) return false;
    // Only the last cell written tells this from a cursor placed there.
    const auto& last = b.lastBufferStorage;
    if (!last || last->cols != cols_ || last->rows != rows_ || last->y != int64_t{b.yBase()} + b.y()) return false;
    if (last->x == b.marginRight()) return true;
    if (last->x != b.marginRight() - 1 || last->y < 0 || last->y >= b.lines().count()) return false;
    const BufferLine& line = b.lines()[last->y];
    return last->x < line.count() && line[last->x].width == 2;
}

BufferLine& Terminal::cursorLine()
{
    return buffer_->lines()[int64_t{buffer_->yBase()} + buffer_->y()];
}

BufferLine& Terminal::rotateLines(int64_t first, int64_t last, bool up, const CharData& fill)
{
    Buffer& b = *buffer_;
    CircularBufferLineList& lines = b.lines();
    followKittyRotation(first, last, up);
    const int64_t leaving = up ? first : last;
    const int64_t entering = up ? last : first;
    if (up) {
        b.moveLastStorage(first + 1, last, -1, first, first);
    } else {
        b.moveLastStorage(first, last - 1, 1, last, last);
    }
    // The line that leaves is dropped from the image count before it is reused.
    b.clearImagesFromLine(leaving);
    std::unique_ptr<BufferLine> spare = lines.take(leaving);
    if (up) {
        for (int64_t i = first; i < last; ++i) lines.set(i, lines.take(i + 1));
    } else {
        for (int64_t i = last; i > first; --i) lines.set(i, lines.take(i - 1));
    }
    if (spare && spare->count() == b.cols()) {
        spare->fill(fill);
        spare->isWrapped = false;
        spare->renderMode = BufferLine::RenderLineMode::single;
    } else {
        spare = std::make_unique<BufferLine>(b.cols(), fill);
    }
    BufferLine& line = *spare;
    lines.set(entering, std::move(spare));
    return line;
}

void Terminal::moveStrips(int top, int bottom, int left, int right, int64_t count, bool up, const CharData& fill,
                          bool resetLines)
{
    Buffer& b = *buffer_;
    CircularBufferLineList& lines = b.lines();
    const int width = right - left + 1;
    const int64_t base = b.yBase();
    const int64_t last = std::min<int64_t>(bottom, lines.count() - 1 - base);
    if (width <= 0 || top > last) return;
    const int64_t height = last - top + 1;
    const int64_t n = std::min(count, height);
    // Each row takes the strip `n` rows below (up) or above (down); the rows
    // with nothing left to take are filled.
    for (int64_t k = 0; k < height; ++k) {
        const int64_t row = up ? top + k : last - k;
        const int64_t source = up ? row + n : row - n;
        BufferLine& line = lines[base + row];
        if (k + n < height) {
            line.copyFrom(lines[base + source], left, left, width);
        } else {
            line.fill(fill, left, width);
        }
        if (resetLines) {
            line.isWrapped = false;
            line.renderMode = BufferLine::RenderLineMode::single;
            b.clearImagesFromLine(base + row);
        }
    }
}

// ---- clamping and absolute placement ----

void Terminal::restrictCursor(bool limitCol)
{
    Buffer& b = *buffer_;
    b.setX(std::clamp(b.x(), 0, limitCol ? cols_ - 1 : cols_));
    if (originMode) {
        b.setY(std::clamp(b.y(), b.scrollTop(), std::max(b.scrollTop(), b.scrollBottom())));
    } else {
        b.setY(std::clamp(b.y(), 0, rows_ - 1));
    }
    updateRange(b, b.y());
}

// setCursor's general case: origin mode, or a negative coordinate (which
// leaves that coordinate where it was).
void Terminal::setCursorClamped(int col, int row)
{
    Buffer& b = *buffer_;
    updateRange(b, b.y());
    if (originMode) {
        b.setX(col + (marginMode ? b.marginLeft() : 0));
        b.setY(b.scrollTop() + row);
    } else {
        b.setX(col);
        b.setY(row);
    }
    restrictCursor(true);
}

// HVP is the same command as CUP: origin mode, clamping and dirty rows alike.
void Terminal::cmdHVPosition(Params pars)
{
    cmdCursorPosition(pars);
}

// ---- relative motion ----

// CNL: down, then to the left margin while margin mode is on, else column 0.
void Terminal::cmdCursorNextLine(Params pars)
{
    cmdCursorDown(pars);
    buffer_->setX(marginMode ? buffer_->marginLeft() : 0);
}

// CPL: up, then to the left margin while margin mode is on, else column 0.
void Terminal::cmdCursorPrecedingLine(Params pars)
{
    cmdCursorUp(pars);
    buffer_->setX(marginMode ? buffer_->marginLeft() : 0);
}

void Terminal::cmdCursorUp(Params pars)
{
    Buffer& b = *buffer_;
    const int top = b.y() < b.scrollTop() ? 0 : b.scrollTop();
    b.setY(static_cast<int>(std::max<int64_t>(b.y() - countOf(pars), top)));
}

void Terminal::cmdCursorDown(Params pars)
{
    Buffer& b = *buffer_;
    const int bottom = b.y() > b.scrollBottom() ? b.rows() - 1 : b.scrollBottom();
    b.setY(static_cast<int>(std::min<int64_t>(b.y() + countOf(pars), bottom)));
    if (b.x() >= cols_) b.setX(b.x() - 1);
}

void Terminal::cursorForward(int64_t count)
{
    Buffer& b = *buffer_;
    int right = rightMargin();
    if (b.x() > right) right = b.cols() - 1;
    b.setX(static_cast<int>(std::min<int64_t>(b.x() + std::max<int64_t>(count, 1), right)));
}

void Terminal::cursorBackward(int64_t count)
{
    Buffer& b = *buffer_;
    int left = leftMargin();
    if (b.x() < left) left = 0;
    b.setX(static_cast<int>(std::max<int64_t>(b.x() - std::max<int64_t>(count, 1), left)));
}

void Terminal::cmdCursorCharAbsolute(Params pars)
{
    const int left = originMode && marginMode ? buffer_->marginLeft() : 0;
    // With a left margin the column would otherwise land past the screen.
    const int64_t col = left + std::min<int64_t>(cols_ - 1, countOf(pars) - 1);
    buffer_->setX(static_cast<int>(std::min<int64_t>(col, cols_ - 1)));
}

void Terminal::cmdCharPosAbsolute(Params pars)
{
    const int64_t n = countOf(pars);
    buffer_->setX(n > cols_ ? cols_ - 1 : static_cast<int>(n - 1));
}

void Terminal::cmdHPositionRelative(Params pars)
{
    Buffer& b = *buffer_;
    const int64_t x = b.x() + countOf(pars);
    b.setX(x >= cols_ ? cols_ - 1 : static_cast<int>(x));
}

void Terminal::cmdLinePosAbsolute(Params pars)
{
    const int64_t n = countOf(pars);
    buffer_->setY(n <= rows_ ? static_cast<int>(n - 1) : rows_ - 1);
}

void Terminal::cmdVPositionRelative(Params pars)
{
    Buffer& b = *buffer_;
    b.setY(static_cast<int>(std::min<int64_t>(b.y() + countOf(pars), rows_ - 1)));
    if (b.x() >= cols_) b.setX(b.x() - 1);
}

// ---- tabs ----

void Terminal::cmdHorizontalTab()
{
    buffer_->setX(buffer_->nextTabStop(marginMode, -1));
}

void Terminal::cmdTabSet()
{
    buffer_->tabSet(buffer_->x());
}

// CHT: forward `count` tab stops, at most one per column.
void Terminal::cmdCursorForwardTab(Params pars)
{
    Buffer& b = *buffer_;
    const int64_t limit = cols_ - 1;
    const int64_t p = pars.empty() ? 0 : pars[0];
    const int64_t count = p >= 2 ? std::min(p, limit) : std::min<int64_t>(limit, 1);
    for (int64_t i = 0; i < count; ++i) b.setX(b.nextTabStop(marginMode, -1));
}

// CBT: back `count` tab stops; nothing while the cursor is past the screen.
void Terminal::cmdCursorBackwardTab(Params pars)
{
    Buffer& b = *buffer_;
    if (b.x() > cols_) return;
    const int64_t p = pars.empty() ? 0 : pars[0];
    const int64_t count = p > 1 ? std::min<int64_t>(p, b.cols()) : 1;
    for (int64_t i = 0; i < count; ++i) b.setX(b.previousTabStop(-1));
}

void Terminal::cmdTabClear(Params pars)
{
    Buffer& b = *buffer_;
    const int64_t p = pars.empty() ? 0 : pars[0];
    if (p == 0) {
        b.tabClear(b.x());
    } else if (p == 3) {
        b.tabStops.assign(b.tabStops.size(), false);
    }
}

// ---- C0 controls ----

void Terminal::cmdBell()
{
    withDelegate([&](TerminalDelegate& d) { d.bell(*this); });
}

void Terminal::cmdBackspace()
{
    // A wrap pending at the margin counts from the margin column, as one
    // pending at the full width counts from the last column.
    if (wrapPendingAtMargin() && !reverseWraparound) buffer_->setX(buffer_->marginRight());
    restrictCursor(!reverseWraparound);
    Buffer& b = *buffer_;
    const int left = leftMargin();
    const int right = marginMode ? b.marginRight() : b.cols() - 1;
    const int x = b.x();
    const int y = b.y();
    if (x > left) {
        b.setX(x - 1);
        return;
    }
    if (!reverseWraparound) {
        if (x < left && x >= 1) b.setX(x - 1);
        return;
    }
    // Reverse wraparound: back over the start of the row to the end of the one above.
    if (b.scrollTop() < y && y <= b.scrollBottom()) {
        BufferLine& line = b.lines()[int64_t{b.yBase()} + y];
        if (!marginMode && line.isWrapped) line.isWrapped = false;
        b.setY(y - 1);
        b.setX(right);
    } else if (y == b.scrollTop()) {
        b.setX(right);
        b.setY(b.scrollBottom());
    } else if (y >= 1) {
        b.setX(right);
        b.setY(y - 1);
    }
}

void Terminal::cmdCarriageReturn()
{
    Buffer& b = *buffer_;
    b.setX(marginMode && b.x() >= b.marginLeft() ? b.marginLeft() : 0);
}

void Terminal::emitLineFeed()
{
    withDelegate([&](TerminalDelegate& d) { d.linefeed(*this); });
}

void Terminal::cmdLineFeedBasic()
{
    Buffer& b = *buffer_;
    const int x = b.x();
    if (leftMargin() <= x && x <= rightMargin() && b.y() == b.scrollBottom()) {
        scroll(false);
    } else if (b.y() != b.scrollBottom() && b.y() != rows_ - 1) {
        b.setY(b.y() + 1);
    }
    if (b.x() >= cols_) b.setX(b.x() - 1);
    emitLineFeed();
    if (lineFeedMode) b.setX(originMode && marginMode ? b.marginLeft() : 0);
}

void Terminal::cmdIndex()
{
    restrictCursor(true);
    Buffer& b = *buffer_;
    const int newY = b.y() + 1;
    if (b.x() < leftMargin()) {
        if (newY <= b.scrollBottom()) b.setY(newY);
    } else if (newY <= b.scrollBottom()) {
        b.setY(newY);
    } else if (b.x() <= rightMargin()) {
        scroll(false);
    }
}

// NEL and ESC E: to the left margin in origin mode with margins on (a
// negative margin leaves the column), else to column 0; then index.
void Terminal::cmdNextLine()
{
    Buffer& b = *buffer_;
    if (originMode && marginMode) {
        b.setX(b.marginLeft());
    } else {
        b.setX(0);
    }
    cmdIndex();
}

void Terminal::reverseIndex()
{
    restrictCursor(true);
    Buffer& b = *buffer_;
    const int x = b.x();
    const int y = b.y();
    if (x < leftMargin()) {
        if (y != b.scrollTop() && y != 0) b.setY(y - 1);
        return;
    }
    if (y != b.scrollTop()) {
        if (y > 0) b.setY(y - 1);
        return;
    }
    if (x > rightMargin()) return;

    // At the top of the region: the region scrolls down one line.
    CircularBufferLineList& lines = b.lines();
    const int64_t top = int64_t{b.yBase()} + b.scrollTop();
    int64_t bottom = int64_t{b.yBase()} + b.scrollBottom();
    if (top >= lines.count()) {
        log("reverseIndex: start index " + std::to_string(top) + " >= lines.count " + std::to_string(lines.count()) +
            ", state: y=" + std::to_string(y) + " yBase=" + std::to_string(b.yBase()) +
            " scrollTop=" + std::to_string(b.scrollTop()) + " scrollBottom=" + std::to_string(b.scrollBottom()) +
            " isAlternate=" + yesNo(isCurrentBufferAlternate()));
        return;
    }
    const CharData erase(eraseAttribute());
    if (marginsNarrowerThanScreen()) {
        moveStrips(b.scrollTop(), b.scrollBottom(), b.marginLeft(), b.marginRight(), 1, false, erase, true);
    } else {
        if (bottom >= lines.count()) {
            log("Assertion on reverseIndex, state was: y=" + std::to_string(y) +
                " scrollTop=" + std::to_string(b.scrollTop()) + "  yDisp=" + std::to_string(b.yDisp()) +
                " linesTop=" + std::to_string(b.linesTop) + " isAlternate=" + yesNo(isCurrentBufferAlternate()));
            bottom = lines.count() - 1;
        }
        // The region's bottom line is lost; the scrollback is untouched.
        rotateLines(top, bottom, false, erase);
    }
    updateRange(b.scrollTop());
    updateRange(b.scrollBottom());
}

// ---- scrolling ----

void Terminal::scroll(bool isWrapped)
{
    Buffer& b = *buffer_;
    CircularBufferLineList& lines = b.lines();
    const Attribute erase = eraseAttribute();
    if (blankLine_.count() != b.cols() || blankLine_[0].attribute != erase) blankLine_ = b.getBlankLine(erase);
    blankLine_.isWrapped = isWrapped;

    const int64_t topRow = int64_t{b.yBase()} + b.scrollTop();
    const int64_t bottomRow = int64_t{b.yBase()} + b.scrollBottom();
    // Only a full-width scroll from the top of a buffer with scrollback keeps
    // every row's number; otherwise an open link marks what it covered so far
    // (the cursor's row to its end, as the rows between a link's ends are)
    // and starts again after the scroll.
    const bool rowsRenumbered = b.scrollTop() != 0 || !b.hasScrollback() || marginsNarrowerThanScreen();
    if (rowsRenumbered) markOpenHyperlink(true);
    bool droppedLine = false;
    // Every line moved alike (or kept its index): placements keep their
    // places relative to each other.
    const bool wholeScreenScroll =
        b.scrollTop() == 0 && bottomRow == lines.count() - 1 && !marginsNarrowerThanScreen();
    // Whether the lines kept their content and only changed places, so only
    // the screen rows need redrawing.
    bool linesMoved = true;

    if (marginsNarrowerThanScreen()) {
        // Only the strip between the margins moves; nothing enters the scrollback.
        moveStrips(b.scrollTop(), b.scrollBottom(), b.marginLeft(), b.marginRight(), 1, true, CharData(erase), true);
        linesMoved = false;
    } else if (b.scrollTop() == 0) {
        if (lines.isFull()) {
            // The oldest line, which the frozen copy of synchronized output may
            // still read through, is cleared and reused as the region's new
            // bottom line; the lines below the region keep their screen rows.
            preserveOldestLineForSnapshot();
            // The oldest line leaves; the lines up to the region's bottom move up one.
            b.moveLastStorage(1, bottomRow, -1, 0, 0);
            lines.recycle(erase);
            droppedLine = true;
            const int64_t last = lines.count() - 1;
            if (bottomRow < last) {
                std::unique_ptr<BufferLine> reused = lines.take(last);
                for (int64_t i = last; i > bottomRow; --i) lines.set(i, lines.take(i - 1));
                lines.set(bottomRow, std::move(reused));
            }
            BufferLine& line = lines[bottomRow];
            line.isWrapped = isWrapped;
            line.renderMode = BufferLine::RenderLineMode::single;
            if (b.hasScrollback()) ++b.linesTop;
        } else {
            if (bottomRow == lines.count() - 1) {
                lines.push(BufferLine(blankLine_));
            } else {
                followKittyLinesBelow(bottomRow, 1);
                b.moveLastStorage(bottomRow + 1, lines.count() - 1, 1);
                std::vector<BufferLine> items;
                items.push_back(BufferLine(blankLine_));
                lines.splice(bottomRow + 1, 0, std::move(items));
            }
            b.setYBase(b.yBase() + 1);
        }
    } else {
        if (lines.count() <= bottomRow) {
            log("scroll: bottomRow " + std::to_string(bottomRow) + " >= lines.count " +
                std::to_string(lines.count()) + ", state: yBase=" + std::to_string(b.yBase()) +
                " scrollTop=" + std::to_string(b.scrollTop()) + " scrollBottom=" + std::to_string(b.scrollBottom()) +
                " isAlternate=" + yesNo(isCurrentBufferAlternate()));
            return;
        }
        // The region's top line is discarded, not kept in the scrollback.
        rotateLines(topRow, bottomRow, true, CharData(erase)).isWrapped = isWrapped;
        linesMoved = false;
    }

    // Every scroll brings the viewport back to the bottom of the buffer.
    b.setYDisp(b.yBase());
    updateRange(b, b.scrollTop(), true);
    updateRange(b, b.scrollBottom(), true);
    if (!b.hasScrollback() || !linesMoved) {
        updateRange(b, b.scrollTop(), false);
        updateRange(b, b.scrollBottom(), false);
    }
    // A full ring renumbered every line down to the region's bottom: records
    // of line indices follow, even those whose images have gone.
    if (droppedLine) ++lineShiftCount_;
    if (droppedLine || b.hasAnyImages())
        updateKittyRelativePlacementsForCurrentBuffer(droppedLine ? bottomRow : -1, wholeScreenScroll);
    if (rowsRenumbered) restartOpenHyperlink();
    if (droppedLine) noteLinesDropped(1);
    withDelegate([&](TerminalDelegate& d) { d.scrolled(*this, b.yDisp()); });
}

void Terminal::cmdScrollUp(Params pars)
{
    Buffer& b = *buffer_;
    const int64_t p = pars.empty() ? 0 : pars[0];
    const int64_t count = p < 2 ? 1 : std::min<int64_t>(p, 2 * int64_t{rows_});
    if (marginMode) {
        moveStrips(b.scrollTop(), b.scrollBottom(), b.marginLeft(), b.marginRight(), count, true, CharData::Null,
                   false);
    } else if (b.scrollTop() <= b.scrollBottom()) {
        // Lines leaving the top are discarded, never kept in the scrollback.
        const int64_t top = int64_t{b.yBase()} + b.scrollTop();
        const int64_t bottom = std::min<int64_t>(int64_t{b.yBase()} + b.scrollBottom(), b.lines().count() - 1);
        const int64_t times = std::min<int64_t>(count, bottom - top + 1);
        for (int64_t i = 0; i < times; ++i) rotateLines(top, bottom, true, CharData::Null);
    }
    updateRange(b.scrollTop());
    updateRange(b.scrollBottom());
}

void Terminal::cmdScrollDown(Params pars)
{
    Buffer& b = *buffer_;
    const int64_t count = std::min<int64_t>(countOf(pars), rows_);
    // Only the strip between the margins (the whole width while margin mode
    // is off) moves; line flags stay.
    moveStrips(b.scrollTop(), b.scrollBottom(), leftMargin(), rightMargin(), count, false, CharData::Null, false);
    updateRange(b.scrollTop());
    updateRange(b.scrollBottom());
}

// CSI T scrolls down; CSI > Ps T resets title modes.
void Terminal::csiScrollDownOrTitleModes(Params pars, Collect collect)
{
    if (collect.empty()) {
        cmdScrollDown(pars);
    } else if (collect.size() == 1 && collect[0] == '>') {
        setTitleModes(pars, false);
    }
}

// ---- column scrolling (DECBI, DECFI) ----

void Terminal::columnIndex(bool back)
{
    Buffer& b = *buffer_;
    if (back) {
        if (b.x() != leftMargin()) {
            cursorBackward(1);
        } else {
            columnScroll(true, b.x());
        }
        return;
    }
    if (b.x() == rightMargin()) {
        columnScroll(false, leftMargin());
    } else if (b.x() != b.cols()) {
        cursorForward(1);
    }
}

void Terminal::columnScroll(bool back, int at)
{
    Buffer& b = *buffer_;
    const int x = b.x();
    const int y = b.y();
    if (y < b.scrollTop() || y > b.scrollBottom() || x < leftMargin() || x > rightMargin()) return;
    const int right = rightMargin();
    const CharData space(Attribute::empty, ' ', 1);
    const CharData eraseSpace(eraseAttribute(), ' ', 1);
    for (int row = b.scrollTop(); row <= b.scrollBottom(); ++row) {
        BufferLine& line = b.lines()[int64_t{b.yBase()} + row];
        if (back) {
            line.insertCells(at, 1, right, space);
        } else {
            line.deleteCells(at, 1, right, eraseSpace);
        }
    }
    updateRange(b.scrollTop());
    updateRange(b.scrollBottom());
}

// ---- scroll region and margins ----

void Terminal::cmdSetScrollRegion(Params pars, Collect collect)
{
    if (!collect.empty()) return;
    Buffer& b = *buffer_;
    const int64_t p1 = pars.empty() ? 0 : pars[0];
    const int top = static_cast<int>(std::clamp<int64_t>(p1 - 1, 0, rows_));
    int bottom = rows_;
    if (pars.size() > 1 && pars[1] != 0 && pars[1] <= rows_) bottom = static_cast<int>(pars[1]);
    bottom -= 1;
    if (top < bottom) {
        b.setScrollTop(top);
        b.setScrollBottom(bottom);
    }
    setCursor(0, 0);
}

void Terminal::cmdSetMargins(Params pars, Collect collect)
{
    if (!collect.empty()) return;
    Buffer& b = *buffer_;
    const int64_t p1 = pars.empty() ? 0 : pars[0];
    const int64_t left = std::max<int64_t>(p1 - 1, 0);
    // A right margin of 0 is the default, like one left out.
    int64_t right = cols_ - 1;
    if (pars.size() > 1 && pars[1] != 0) right = pars[1] - 1;
    right = std::clamp<int64_t>(right, 0, cols_ - 1);
    b.setMarginRight(static_cast<int>(right));
    b.setMarginLeft(static_cast<int>(std::min(left, right)));
}

// ---- saved cursor ----

// CSI s sets the left and right margins while margin mode is on and saves
// the cursor otherwise; forms with intermediates do nothing.
void Terminal::csiSaveCursorOrMargins(Params pars, Collect collect)
{
    if (!collect.empty()) return;
    if (marginMode) {
        cmdSetMargins(pars, collect);
    } else {
        cmdSaveCursor(pars, collect);
    }
}

// CSI u: a keyboard-protocol command when it is one, else (without
// intermediates) the cursor is restored.
void Terminal::csiRestoreCursorOrKeyboard(Params pars, Collect collect)
{
    if (!handleKittyKeyboardProtocol(pars, collect) && collect.empty()) cmdRestoreCursor(pars, collect);
}

void Terminal::cmdSaveCursor(Params, Collect collect)
{
    if (!collect.empty()) return;
    Buffer& b = *buffer_;
    b.savedX = b.x();
    b.savedY = b.y();
    b.savedAttr = curAttr;
    b.savedCharset = charset;
    b.savedOriginMode = originMode;
    b.savedMarginMode = marginMode;
    b.savedWraparound = wraparound;
    b.savedReverseWraparound = reverseWraparound;
}

void Terminal::cmdRestoreCursor(Params, Collect collect)
{
    if (!collect.empty()) return;
    Buffer& b = *buffer_;
    b.setX(std::clamp(b.savedX, 0, cols_ - 1));
    b.setY(std::clamp(b.savedY, 0, rows_ - 1));
    curAttr = b.savedAttr;
    charset = b.savedCharset;
    originMode = b.savedOriginMode;
    reverseWraparound = b.savedReverseWraparound;
    marginMode = b.savedMarginMode;
    wraparound = b.savedWraparound;
    for (Buffer* each : {normalBuffer_.get(), altBuffer_.get()}) {
        each->marginMode = marginMode;
        each->wraparound = wraparound;
    }
    fitMarginsToWidth();
}

// ---- cursor style, CSI p, conformance level and soft reset ----

void Terminal::cmdSetCursorStyle(Params pars, Collect collect)
{
    if (collect.size() != 1 || collect[0] != ' ') return;
    switch (pars.empty() ? 0 : pars[0]) {
    case 0:
    case 1: setCursorStyle(CursorStyle::blinkBlock); break;
    case 2: setCursorStyle(CursorStyle::steadyBlock); break;
    case 3: setCursorStyle(CursorStyle::blinkUnderline); break;
    case 4: setCursorStyle(CursorStyle::steadyUnderline); break;
    case 5: setCursorStyle(CursorStyle::blinkBar); break;
    case 6: setCursorStyle(CursorStyle::steadyBar); break;
    default: break;
    }
}

void Terminal::setCursorStyle(CursorStyle style)
{
    if (style == options_.cursorStyle) return;
    withDelegate([&](TerminalDelegate& d) { d.cursorStyleChanged(*this, style); });
    options_.cursorStyle = style;
}

void Terminal::csiPHandler(Params pars, Collect collect)
{
    const std::string_view text(reinterpret_cast<const char*>(collect.data()), collect.size());
    if (text == "!") {
        cmdSoftReset();
    } else if (text == "\"") {
        cmdSetConformanceLevel(pars);
    } else if (text == "?$") {
        cmdDecRqm(pars, true);
    } else if (text == "$") {
        cmdDecRqm(pars, false);
    } else if (!silentLog) {
        std::string bytes;
        for (uint8_t byte : collect) bytes += std::to_string(byte);
        log("Unhandled CSI " + bytes + " with pars=" + listForm(pars));
    }
}

void Terminal::cmdSetConformanceLevel(Params pars)
{
    if (pars.empty()) return;
    switch (pars[0]) {
    case 61:
        conformance = TerminalConformance::vt100;
        cc.send8bit = false;
        return;
    case 62: conformance = TerminalConformance::vt200; break;
    case 63: conformance = TerminalConformance::vt300; break;
    case 64: conformance = TerminalConformance::vt400; break;
    default: conformance = TerminalConformance::vt500; break;
    }
    if (pars.size() > 1) cc.send8bit = pars[1] == 0 || pars[1] == 2;
}

void Terminal::softReset()
{
    cmdSoftReset();
}

void Terminal::cmdSoftReset()
{
    cursorHidden = false;
    originMode = false;
    insertMode = false;
    wraparound = true;
    for (Buffer* each : {normalBuffer_.get(), altBuffer_.get()}) {
        each->insertMode = false;
        each->wraparound = true;
    }
    reverseWraparound = false;
    applicationKeypad = false;
    applicationCursor = false;
    Buffer& b = *buffer_;
    b.setScrollTop(0);
    b.setScrollBottom(rows_ - 1);
    curAttr = Attribute::empty;
    b.softReset();
    charset = nullptr;
    setgLevel(0);
    conformance = TerminalConformance::vt500;
    hyperLinkTracking.reset();
    lineFeedMode = options_.convertEol;
    resetAllColors();
    withDelegate([&](TerminalDelegate& d) { d.showCursor(*this); });
}

}  // namespace corvel
