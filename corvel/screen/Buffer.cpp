#include "corvel/screen/Buffer.h"

#include <algorithm>
#include <cstring>
#include <cstddef>
#include <bit>
#include <climits>
#include <cstdlib>
#include <string>
#include <utility>

#include "corvel/platform/Log.h"

namespace corvel {

namespace {

int64_t capacityFor(int rows, std::optional<int> scrollback)
{
    if (!scrollback) return rows;
    // A negative scrollback would leave the ring smaller than the screen.
    return std::min<int64_t>(int64_t{rows} + std::max(*scrollback, 0), INT_MAX);
}

// What the blanked half of a split wide character becomes: an empty cell that
// keeps only the background of the text being written.
CharData eraseCell(const Attribute& current)
{
    Attribute erase;
    erase.bg = current.bg;
    return CharData(erase);
}

// Before cells [start, end) of `line` are overwritten: a wide character that
// straddles either end loses its other half, which becomes an erase cell, so
// no half of a wide character is left behind on its own. A line that holds no
// wide character needs no look at its cells.
inline void blankSplitWideCharacters(BufferLine& line, int start, int end, const Attribute& current)
{
    if (!line.mayHoldWideCells()) return;
    const int count = line.count();
    if (start >= end || start >= count) return;
    if (start > 0 && line[start].width == 0 && line[start - 1].width == 2) line.set(start - 1, eraseCell(current));
    const int last = std::min(end, count) - 1;
    if (last + 1 < count && line[last].width == 2 && line[last + 1].width == 0) {
        line.set(last + 1, eraseCell(current));
    }
}

}  // namespace

Buffer::Buffer(int cols, int rows, int tabStopWidth, std::optional<int> scrollback)
    : lines_(capacityFor(std::max(rows, 1), scrollback)),
      scrollBottom_(std::max(rows, 1) - 1),
      marginRight_(std::max(cols, 1) - 1),
      hasScrollback_(scrollback.has_value()),
      cols_(std::max(cols, 1)),
      rows_(std::max(rows, 1)),
      scrollback_(scrollback)
{
    scroll = [](bool) {
        log::write("This should be set after creating a buffer");
        std::abort();
    };
    lines_.makeEmpty = [this](int64_t) { return BufferLine(cols_); };
    setupLinesCallbacks();
    setupTabStops(-1, tabStopWidth);
}

void Buffer::installRing()
{
    lines_ = CircularBufferLineList(getCorrectBufferLength(rows_));
    lines_.makeEmpty = [this](int64_t) { return BufferLine(cols_); };
    setupLinesCallbacks();
}

void Buffer::setupLinesCallbacks()
{
    // The ring belongs to this buffer and dies with it, so the hooks may hold it.
    lines_.onLineRecycled = [this](bool had) {
        if (had) --linesWithImagesCount_;
    };
    lines_.onLinePushed = [this](bool has) {
        if (has) ++linesWithImagesCount_;
    };
}

void Buffer::fillViewportRows(std::optional<Attribute> attribute)
{
    if (lines_.count() != 0) return;
    const CharData cell(attribute.value_or(Attribute{}));
    for (int i = 0; i < rows_; ++i) lines_.push(BufferLine(cols_, cell));
}

BufferLine Buffer::getBlankLine(const Attribute& attribute, bool isWrapped) const
{
    return BufferLine(cols_, CharData(attribute), isWrapped);
}

CharData Buffer::getNullCell(std::optional<Attribute> attribute)
{
    return CharData(attribute.value_or(Attribute::empty), ' ', 1);
}

CharData Buffer::getCharAtBufferRelative(const Position& pos)
{
    if (pos.row < 0 || pos.row >= lines_.count()) return CharData::Null;
    const BufferLine& line = lines_[pos.row];
    if (pos.col < 0 || pos.col >= line.count()) return CharData::Null;
    return line[pos.col];
}

CharData Buffer::getChar(const Position& at)
{
    return getCharAtBufferRelative(Position{at.col, yDisp_ + at.row});
}

BufferLine* Buffer::rowForWriteClamped(int64_t row)
{
    const int64_t count = lines_.count();
    if (count == 0) return nullptr;
    const int64_t clamped = std::clamp<int64_t>(row, 0, count - 1);
    log::write("Buffer: row " + std::to_string(row) + " is outside the " + std::to_string(count) +
               " lines held, writing row " + std::to_string(clamped) + " instead");
    return &lines_[clamped];
}

BufferLine* Buffer::peekLine(int64_t row)
{
    // Taking the slot's line and putting it straight back reads the slot
    // without letting the line factory fill it.
    std::unique_ptr<BufferLine> line = lines_.take(row);
    BufferLine* found = line.get();
    lines_.set(row, std::move(line));
    return found;
}

void Buffer::releaseLinesPastEnd()
{
    for (int64_t i = lines_.count(); i < lines_.maxLength(); ++i) lines_.take(i);
}

// ---- clearing and reset ----

void Buffer::clear()
{
    yDisp_ = 0;
    linesTop = 0;
    xBase = 0;
    x_ = 0;
    y_ = 0;
    yBase_ = 0;
    linesWithImagesCount_ = 0;
    scrollTop_ = 0;
    installRing();
    scrollBottom_ = rows_ - 1;
}

void Buffer::softReset()
{
    savedAttr = Attribute{};
    savedX = 0;
    savedY = 0;
    savedCharset = nullptr;
    marginLeft_ = 0;
    marginRight_ = cols_ - 1;
    savedOriginMode = false;
    savedMarginMode = false;
    savedWraparound = true;
    savedReverseWraparound = false;
}

// ---- tab stops ----

void Buffer::setupTabStops(int index, int tabStopWidth)
{
    if (tabStopWidth < 1) {
        log::write("Buffer: tab stop width " + std::to_string(tabStopWidth) + " is below 1");
        std::abort();
    }
    int start = 0;
    if (index < 0) {
        tabStops.assign(static_cast<size_t>(cols_), false);
    } else {
        tabStops.resize(static_cast<size_t>(cols_), false);
        const int i = std::min(cols_ - 1, index);
        start = tabStops[static_cast<size_t>(i)] ? index : previousTabStop(i);
    }
    for (int col = start; col < cols_; col += tabStopWidth) tabStops[static_cast<size_t>(col)] = true;
}

int Buffer::previousTabStop(int index) const
{
    if (index == -1) index = x_;
    const int size = static_cast<int>(tabStops.size());
    // Columns past the list hold no stop.
    int j = std::min(index, size);
    while (--j > 0 && !tabStops[static_cast<size_t>(j)]) {
    }
    j = std::max(j, 0);
    return j >= cols_ ? cols_ - 1 : j;
}

int Buffer::nextTabStop(bool marginMode, int index) const
{
    if (index == -1) index = x_;
    const int limit = marginMode ? marginRight_ : cols_ - 1;
    if (index >= limit) return limit;
    const int size = static_cast<int>(tabStops.size());
    int j = index + 1;
    while (j < limit && !(j >= 0 && j < size && tabStops[static_cast<size_t>(j)])) ++j;
    return std::min(j, limit);
}

void Buffer::tabSet(int pos)
{
    if (pos >= 0 && pos < static_cast<int>(tabStops.size())) tabStops[static_cast<size_t>(pos)] = true;
}

void Buffer::tabClear(int pos)
{
    if (pos >= 0 && pos < static_cast<int>(tabStops.size())) tabStops[static_cast<size_t>(pos)] = false;
}

// ---- capacity ----

int64_t Buffer::getCorrectBufferLength(int rows) const
{
    if (!hasScrollback_) return capacityFor(rows, std::nullopt);
    return capacityFor(rows, scrollback_.value_or(0));
}

void Buffer::moveLastStorage(int64_t first, int64_t last, int64_t by, int64_t goneFirst, int64_t goneLast)
{
    if (!lastBufferStorage) return;
    int64_t& row = lastBufferStorage->y;
    if (goneFirst <= row && row <= goneLast) {
        lastBufferStorage.reset();
    } else if (first <= row && row <= last) {
        row += by;
    }
}

void Buffer::trimOldest(int64_t excess)
{
    if (excess < 1) return;
    lines_.trimStart(excess);
    moveLastStorage(excess, INT64_MAX, -excess, 0, excess - 1);
    yBase_ = static_cast<int>(std::max<int64_t>(yBase_ - excess, 0));
    yDisp_ = static_cast<int>(std::max<int64_t>(yDisp_ - excess, 0));
    // savedY counts from the top of the screen, which trimming the history
    // above it does not move.
}

void Buffer::changeHistorySize(std::optional<int> newScrollback)
{
    scrollback_ = newScrollback;
    hasScrollback_ = newScrollback.has_value();
    const int64_t newCapacity = getCorrectBufferLength(rows_);
    if (newCapacity == lines_.maxLength()) return;
    if (newCapacity < lines_.maxLength()) trimOldest(lines_.count() - newCapacity);
    lines_.setMaxLength(newCapacity);
}

// ---- images ----

void Buffer::clearImagesFromLine(int64_t row)
{
    if (row < 0 || row >= lines_.count()) return;
    BufferLine& line = lines_[row];
    if (line.images) {
        --linesWithImagesCount_;
        line.images.reset();
    }
}

void Buffer::recalculateLinesWithImagesCount()
{
    int64_t count = 0;
    for (int64_t i = 0; i < lines_.count(); ++i) {
        // An empty slot would be filled with a line without images.
        if (const BufferLine* line = peekLine(i); line && line->images) ++count;
    }
    linesWithImagesCount_ = count;
}

void Buffer::attachImage(std::shared_ptr<TerminalImage> image, int64_t row)
{
    if (row < 0 || row >= lines_.count()) return;
    if (imageLedger_) imageLedger_->charge(image, isAlternateInLedger_, linesTop + row);
    BufferLine& line = lines_[row];
    if (!line.images) {
        line.images.emplace();
        ++linesWithImagesCount_;
    }
    line.images->push_back(std::move(image));
}

// ---- text insertion ----

void Buffer::wrapToNextRow(int left)
{
    x_ = left;
    if (y_ >= scrollBottom_) {
        scroll(true);
    } else {
        ++y_;
        if (BufferLine* line = rowForWrite(int64_t{yBase_} + y_)) line->isWrapped = true;
    }
}

void Buffer::insertCharacter(const CharData& ch)
{
    const int right = rightEdge();
    const int left = leftEdge();
    const int width = std::max<int>(ch.width, 1);
    if (x_ + width - 1 > right) {
        if (!wraparound) {
            if (width >= 2) return;
            x_ = right;
        } else {
            wrapToNextRow(left);
        }
    }
    BufferLine* line = rowForWrite(int64_t{yBase_} + y_);
    if (!line) return;

    if (insertMode) {
        const CharData fill(curAttr);
        // Inserting inside a wide character would split it: blank it whole first.
        if (x_ > 0 && x_ < line->count() && (*line)[x_].width == 0 && (*line)[x_ - 1].width == 2) {
            const CharData erase = eraseCell(ch.attribute);
            line->set(x_ - 1, erase);
            line->set(x_, erase);
        }
        line->insertCells(x_, width, right, fill);
        // A wide character pushed onto the last column of the shifted span
        // would lose its second half past it.
        const int edge = std::min({right, cols_ - 1, line->count() - 1});
        if (edge >= 0 && (*line)[edge].width == 2) line->set(edge, fill);
    }

    lastBufferStorage = CellLocation{int64_t{yBase_} + y_, x_, cols_, rows_};
    if (x_ >= cols_) x_ = cols_ - 1;
    if (!insertMode) blankSplitWideCharacters(*line, x_, x_ + width, ch.attribute);
    line->set(x_, ch);
    ++x_;
    for (int i = 1; i < ch.width; ++i) {
        if (x_ >= cols_) break;
        line->set(x_, CharData(curAttr, 0, 0));
        ++x_;
    }
    // Without autowrap no wrap is pending: the cursor stays on the last column.
    if (!wraparound && x_ > right) x_ = std::max(right, 0);
}

int Buffer::insertAsciiRun(std::span<const uint8_t> bytes, const Attribute& attribute)
{
    if (insertMode || bytes.empty()) return 0;
    const int right = rightEdge();
    const int left = leftEdge();
    const size_t total = bytes.size();
    // The cell template lives in the buffer and is rebuilt only when the
    // attribute changes: a cell built on the stack right before it is copied
    // is read back while its narrow stores are still in flight.
    if (!(asciiCell_.attribute == attribute) || asciiCell_.width != 1) asciiCell_ = CharData(attribute);
    const CharData& cell = asciiCell_;
    size_t done = 0;
    int lastCol = 0;
    while (done < total) {
        if (x_ > right) {
            if (!wraparound) break;
            wrapToNextRow(left);
            // A left margin beyond the right one leaves no room on any row.
            if (x_ > right) break;
        }
        const int n = static_cast<int>(std::min<size_t>(total - done, static_cast<size_t>(right - x_ + 1)));
        BufferLine* line = rowForWrite(int64_t{yBase_} + y_);
        if (!line) break;
        const uint8_t* src = bytes.data() + done;

        const int fit = std::clamp(line->count() - x_, 0, n);
        if (fit > 0) {
            blankSplitWideCharacters(*line, x_, x_ + fit, attribute);
            // A line's cells are one block: the span is written through its first cell.
            line->writeNarrowRun(x_, {src, static_cast<size_t>(fit)}, cell);
        }
        // Columns past a short line go to its last cell, with the line's warning.
        for (int k = fit; k < n; ++k) {
            CharData past = cell;
            past.code = src[k];
            line->set(x_ + k, past);
        }
        x_ += n;
        done += static_cast<size_t>(n);
        lastCol = x_ - 1;
        if (!wraparound && x_ > right) {
            // Without autowrap the cursor stays on the last column and the
            // rest of the run overwrites it: only its last byte remains.
            x_ = right;
            if (done < total) {
                CharData last = cell;
                last.code = bytes[total - 1];
                line->set(right, last);
                done = total;
            }
            break;
        }
    }
    if (done > 0) lastBufferStorage = CellLocation{int64_t{yBase_} + y_, lastCol, cols_, rows_};
    return static_cast<int>(done);
}

// ---- guarded setters ----

void Buffer::setYDisp(int value)
{
    if (value >= 0) yDisp_ = value;
}

void Buffer::setScrollTop(int value)
{
    if (value >= 0) scrollTop_ = value;
}

void Buffer::setScrollBottom(int value)
{
    if (value >= 0) scrollBottom_ = value;
}

}  // namespace corvel
