#include "corvel/screen/BufferLine.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "corvel/platform/Log.h"
#include "corvel/platform/Utf8.h"

namespace corvel {

namespace {

constexpr const char* outOfRangeMessage =
    "BufferLine: You passed an index out of range, adjusting to prevent crash, but you should debug";

// What a line of zero cells reads as.
constexpr CharData emptyCell{};

// [start, end) cut to [0, limit); the arguments may be any 64-bit values.
struct Span {
    int64_t start;
    int64_t end;
    bool empty() const { return start >= end; }
    int64_t length() const { return end - start; }
};

Span clampSpan(int64_t start, int64_t end, int64_t limit)
{
    // A start past the end gives an empty span at the end, never an index
    // beyond the storage.
    start = std::clamp<int64_t>(start, 0, std::max<int64_t>(limit, 0));
    end = std::min<int64_t>(end, limit);
    return {start, std::max(start, end)};
}

void appendCell(std::string& out, const CharData& cell, const BufferLine::CharacterProvider& provider)
{
    if (provider) {
        out += provider(cell);
    } else if (cell.code == 0) {
        out += ' ';
    } else {
        utf8::append(out, cell.getCharacter());
    }
}

}  // namespace

BufferLine::BufferLine(int cols, const std::optional<CharData>& fillData, bool isWrapped)
    : isWrapped(isWrapped),
      cells_(static_cast<size_t>(std::max(cols, 0)), fillData.value_or(CharData::Null)),
      size_(std::max(cols, 0)),
      fillCharacter_(fillData.value_or(CharData::Null)),
      mayHoldWide_(fillCharacter_.width > 1)
{
}

BufferLine::BufferLine(const BufferLine& from)
    : isWrapped(from.isWrapped),
      renderMode(from.renderMode),
      images(from.images),
      cells_(from.cells_.begin(), from.cells_.begin() + from.size_),
      size_(from.size_),
      fillCharacter_(from.fillCharacter_),
      mayHoldWide_(from.mayHoldWide_)
{
}

BufferLine::BufferLine(BufferLine&& other) noexcept
    : isWrapped(other.isWrapped),
      renderMode(other.renderMode),
      images(std::exchange(other.images, std::nullopt)),
      cells_(std::exchange(other.cells_, {})),
      size_(std::exchange(other.size_, 0)),
      fillCharacter_(other.fillCharacter_),
      mayHoldWide_(std::exchange(other.mayHoldWide_, false))
{
}

BufferLine& BufferLine::operator=(BufferLine&& other) noexcept
{
    if (this != &other) {
        isWrapped = other.isWrapped;
        renderMode = other.renderMode;
        images = std::exchange(other.images, std::nullopt);
        cells_ = std::exchange(other.cells_, {});
        size_ = std::exchange(other.size_, 0);
        fillCharacter_ = other.fillCharacter_;
        mayHoldWide_ = std::exchange(other.mayHoldWide_, false);
    }
    return *this;
}

const CharData& BufferLine::clampedCell(int index) const
{
    if (size_ == 0) return emptyCell;
    return cells_[static_cast<size_t>(std::clamp(index, 0, size_ - 1))];
}

CharData* BufferLine::clampedCellForWrite(int index)
{
    log::write(outOfRangeMessage);
    if (size_ == 0) return nullptr;
    return &cells_[static_cast<size_t>(index < 0 ? 0 : size_ - 1)];
}

std::vector<CharData> BufferLine::getData() const
{
    return {cells_.begin(), cells_.begin() + size_};
}

void BufferLine::resize(int cols, const CharData& fillData)
{
    cols = std::max(cols, 0);
    if (cols == size_) return;
    std::vector<CharData> block;
    if (cols > 0) {
        block.reserve(static_cast<size_t>(cols));
        const int kept = std::min(cols, size_);
        block.assign(cells_.begin(), cells_.begin() + kept);
        block.resize(static_cast<size_t>(cols), fillData);
    }
    cells_ = std::move(block);
    size_ = cols;
    noteWidth(fillData);
}

int BufferLine::getTrimmedLength() const
{
    for (int i = size_ - 1; i >= 0; --i) {
        const CharData& cell = cells_[static_cast<size_t>(i)];
        if (cell.code != 0) return i + cell.width;
    }
    return 0;
}

bool BufferLine::hasContent(int index) const
{
    if (size_ == 0) return false;
    const CharData& cell = (*this)[index];
    const Attribute& a = cell.attribute;
    return cell.code != 0 || !a.style.isEmpty() || a.underlineColor.has_value() ||
           a.underlineStyle != UnderlineStyle::none || a.fg != Attribute::Color::defaultColor() ||
           a.bg != Attribute::Color::defaultColor();
}

bool BufferLine::hasAnyContent() const
{
    for (int i = 0; i < size_; ++i) {
        if (hasContent(i)) return true;
    }
    return false;
}

std::string BufferLine::translateToString(bool trimRight, int startCol, int endCol,
                                          bool skipNullCellsFollowingWide,
                                          const CharacterProvider& characterProvider) const
{
    int64_t start = std::max(startCol, 0);
    int64_t end = endCol == -1 ? size_ : std::min(endCol, size_);
    if (trimRight) end = std::max<int64_t>(start, std::min<int64_t>(getTrimmedLength(), end));
    std::string out;
    if (start >= end) return out;
    out.reserve(static_cast<size_t>(end - start));

    if (!skipNullCellsFollowingWide) {
        for (int64_t col = start; col < end; ++col) appendCell(out, cells_[static_cast<size_t>(col)], characterProvider);
        return out;
    }
    int64_t col = start;
    while (col < end) {
        const CharData& cell = cells_[static_cast<size_t>(col)];
        if (cell.code == 0 && col >= 1 && cells_[static_cast<size_t>(col - 1)].width == 2) {
            ++col;
            continue;
        }
        appendCell(out, cell, characterProvider);
        if (cell.width == 2 && col + 1 < end && cells_[static_cast<size_t>(col + 1)].code == 0) {
            col += 2;
        } else {
            ++col;
        }
    }
    return out;
}

void BufferLine::copyFrom(const BufferLine& src, int srcCol, int dstCol, int len)
{
    int64_t from = srcCol;
    int64_t to = dstCol;
    int64_t n = len;
    // Drop the parts of the range that lie before either line's start, keeping
    // cell from + k paired with cell to + k.
    const int64_t before = std::max<int64_t>({0, -from, -to});
    from += before;
    to += before;
    n -= before;
    n = std::min({n, src.size_ - from, size_ - to});
    if (n <= 0 || (from == to && &src == this)) return;

    const CharData* source = src.cells_.data() + from;
    CharData* dest = cells_.data() + to;
    mayHoldWide_ = mayHoldWide_ || src.mayHoldWide_;
    if (&src == this && from < to) {
        std::copy_backward(source, source + n, dest + n);
    } else {
        std::copy(source, source + n, dest);
    }
}

void BufferLine::copyFrom(const BufferLine& line)
{
    if (&line == this) return;
    if (capacity() >= line.size_) {
        std::copy(line.cells_.begin(), line.cells_.begin() + line.size_, cells_.begin());
        // The cells past the copied ones stay as they were.
        mayHoldWide_ = line.mayHoldWide_ || (mayHoldWide_ && capacity() > line.size_);
    } else {
        cells_.assign(line.cells_.begin(), line.cells_.begin() + line.size_);
        mayHoldWide_ = line.mayHoldWide_;
    }
    size_ = line.size_;
    isWrapped = line.isWrapped;
}

void BufferLine::insertCells(int pos, int n, int rightMargin, const CharData& fillData)
{
    if (rightMargin < 0 || n <= 0 || size_ == 0) return;
    const int64_t p = std::max(pos, 0) % (int64_t{rightMargin} + 1);
    const int64_t right = std::min(rightMargin, size_ - 1);
    if (p > right) return;
    noteWidth(fillData);
    CharData* cells = cells_.data();
    const int64_t span = right + 1 - p;
    if (n >= span) {
        std::fill(cells + p, cells + right + 1, fillData);
        return;
    }
    std::copy_backward(cells + p, cells + right + 1 - n, cells + right + 1);
    std::fill(cells + p, cells + p + n, fillData);
}

void BufferLine::deleteCells(int pos, int n, int rightMargin, const CharData& fillData)
{
    if (rightMargin < 0 || n <= 0 || size_ == 0) return;
    const int64_t p = std::max(pos, 0) % (int64_t{rightMargin} + 1);
    const int64_t right = std::min(rightMargin, size_ - 1);
    if (p > right) return;
    noteWidth(fillData);
    CharData* cells = cells_.data();
    const int64_t span = right + 1 - p;
    if (n >= span) {
        std::fill(cells + p, cells + right + 1, fillData);
        return;
    }
    std::copy(cells + p + n, cells + right + 1, cells + p);
    std::fill(cells + right + 1 - n, cells + right + 1, fillData);
}

void BufferLine::replaceCells(int start, int end, const CharData& fillData)
{
    const Span s = clampSpan(start, end, size_);
    if (!s.empty()) noteWidth(fillData);
    std::fill(cells_.begin() + s.start, cells_.begin() + s.end, fillData);
}

void BufferLine::fill(const CharData& cell)
{
    std::fill(cells_.begin(), cells_.end(), cell);
    // Every allocated cell is now `cell`: the flag is exact again.
    mayHoldWide_ = cell.width > 1;
}

void BufferLine::fill(const CharData& cell, int atCol, int len)
{
    const Span s = clampSpan(atCol, int64_t{atCol} + len, size_);
    if (!s.empty()) noteWidth(cell);
    std::fill(cells_.begin() + s.start, cells_.begin() + s.end, cell);
}

void BufferLine::clear(const Attribute& attribute)
{
    // Build the empty cell once; constructing it inside the fill loop costs a
    // store-forwarding stall per cell.
    const CharData blank(attribute);
    fill(blank);
    images.reset();
}

std::string BufferLine::debugDescription() const
{
    std::string out;
    for (int i = 0; i < size_; ++i) utf8::append(out, cells_[static_cast<size_t>(i)].getCharacter());
    return out;
}

}  // namespace corvel
