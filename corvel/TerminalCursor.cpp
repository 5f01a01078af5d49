// C0 controls, cursor movement, scrolling, the scroll region and margins, tab
// stops and the saved cursor.
#include "corvel/Terminal.h"

#include <algorithm>
#include <string>

namespace corvel {

Attribute Terminal::eraseAttribute() const
{
    Attribute erase;
    erase.bg = curAttr.bg;
    return erase;
}

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

void Terminal::setCursor(int col, int row)
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
    if (b.marginLeft() <= x && x <= b.marginRight() && b.y() == b.scrollBottom()) {
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
    if (b.x() < b.marginLeft()) {
        if (newY <= b.scrollBottom()) b.setY(newY);
    } else if (newY <= b.scrollBottom()) {
        b.setY(newY);
    } else if (b.x() <= b.marginRight()) {
        scroll(false);
    }
}

void Terminal::scroll(bool isWrapped)
{
    Buffer& b = *buffer_;
    CircularBufferLineList& lines = b.lines();
    const Attribute erase = eraseAttribute();
    if (blankLine_.count() != b.cols() || blankLine_[0].attribute != erase) blankLine_ = b.getBlankLine(erase);
    blankLine_.isWrapped = isWrapped;

    const int64_t topRow = int64_t{b.yBase()} + b.scrollTop();
    const int64_t bottomRow = int64_t{b.yBase()} + b.scrollBottom();
    const std::string isAlternate = isCurrentBufferAlternate() ? "true" : "false";

    if (marginMode && (b.marginLeft() > 0 || b.marginRight() < cols_ - 1)) {
        // Only the strip between the margins moves; nothing enters the scrollback.
        const int left = b.marginLeft();
        const int width = b.marginRight() - left + 1;
        const CharData eraseCell(erase);
        for (int64_t row = topRow; row <= bottomRow; ++row) {
            BufferLine& line = lines[row];
            if (row < bottomRow) {
                line.copyFrom(lines[row + 1], left, left, width);
            } else {
                line.fill(eraseCell, left, width);
            }
            line.isWrapped = false;
            line.renderMode = BufferLine::RenderLineMode::single;
            b.clearImagesFromLine(row);
        }
    } else if (b.scrollTop() == 0) {
        const bool wasFull = lines.isFull();
        // A full ring gives up its oldest line, which the frozen copy of
        // synchronized output may still read through.
        if (wasFull) preserveOldestLineForSnapshot();
        if (bottomRow == lines.count() - 1) {
            if (!wasFull) {
                lines.push(BufferLine(blankLine_));
                b.setYBase(b.yBase() + 1);
            } else {
                lines.recycle(erase);
                BufferLine& reused = lines[lines.count() - 1];
                reused.isWrapped = isWrapped;
                reused.renderMode = BufferLine::RenderLineMode::single;
                if (b.hasScrollback()) ++b.linesTop;
            }
        } else {
            std::vector<BufferLine> items;
            items.push_back(BufferLine(blankLine_));
            lines.splice(bottomRow + 1, 0, std::move(items), [this, &b](int64_t index) {
                const int64_t row = index - b.yBase();
                if (row >= 0 && row < rows_) updateRange(b, row, true);
            });
            if (!wasFull) {
                b.setYBase(b.yBase() + 1);
            } else if (b.hasScrollback()) {
                ++b.linesTop;
            }
        }
    } else {
        if (lines.count() <= bottomRow) {
            log("scroll: bottomRow " + std::to_string(bottomRow) + " >= lines.count " +
                std::to_string(lines.count()) + ", state: yBase=" + std::to_string(b.yBase()) +
                " scrollTop=" + std::to_string(b.scrollTop()) + " scrollBottom=" + std::to_string(b.scrollBottom()) +
                " isAlternate=" + isAlternate);
            return;
        }
        // The region's top line is discarded, not kept in the scrollback.
        if (bottomRow > topRow && !lines.shiftElements(topRow + 1, bottomRow - topRow, -1)) {
            log("Assertion on scroll, state was: bottomRow=" + std::to_string(bottomRow) +
                " topRow=" + std::to_string(topRow) + " yDisp=" + std::to_string(b.yDisp()) +
                " linesTop=" + std::to_string(b.linesTop) + " isAlternate=" + isAlternate);
        }
        lines.set(bottomRow, BufferLine(blankLine_));
    }

    // Every scroll brings the viewport back to the bottom of the buffer.
    b.setYDisp(b.yBase());
    updateRange(b, b.scrollTop(), true);
    updateRange(b, b.scrollBottom(), true);
    if (!b.hasScrollback()) {
        updateRange(b, b.scrollTop(), false);
        updateRange(b, b.scrollBottom(), false);
    }
    if (b.hasAnyImages()) updateKittyRelativePlacementsForCurrentBuffer();
    withDelegate([&](TerminalDelegate& d) { d.scrolled(*this, b.yDisp()); });
}

void Terminal::cmdCursorPosition(Params pars)
{
    const int64_t row = std::max<int64_t>(pars.empty() ? 0 : pars[0], 1) - 1;
    const int64_t col = std::max<int64_t>(pars.size() > 1 ? pars[1] : 0, 1) - 1;
    // Clamped by setCursor; the narrowing keeps huge parameters far outside.
    setCursor(static_cast<int>(std::min<int64_t>(col, cols_)), static_cast<int>(std::min<int64_t>(row, rows_)));
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

// Not implemented yet: these sequences are accepted and change nothing.
void Terminal::cmdBackspace() {}
void Terminal::reverseIndex() {}
void Terminal::cmdCursorUp(Params) {}
void Terminal::cmdCursorDown(Params) {}
void Terminal::cursorForward(int64_t) {}
void Terminal::cursorBackward(int64_t) {}
void Terminal::cmdCursorCharAbsolute(Params) {}
void Terminal::cmdCharPosAbsolute(Params) {}
void Terminal::cmdHVPosition(Params) {}
void Terminal::cmdHPositionRelative(Params) {}
void Terminal::cmdLinePosAbsolute(Params) {}
void Terminal::cmdVPositionRelative(Params) {}
void Terminal::cmdScrollUp(Params) {}
void Terminal::cmdScrollDown(Params) {}
void Terminal::cmdTabClear(Params) {}
void Terminal::csiPHandler(Params, Collect) {}
void Terminal::cmdSetCursorStyle(Params, Collect) {}
void Terminal::cmdSetScrollRegion(Params, Collect) {}
void Terminal::cmdSetMargins(Params, Collect) {}
void Terminal::columnIndex(bool) {}
void Terminal::columnScroll(bool, int) {}

}  // namespace corvel
