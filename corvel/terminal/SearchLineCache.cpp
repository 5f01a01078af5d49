// Builds and keeps the UTF-16 texts of logical lines for search.
#include "corvel/terminal/SearchLineCache.h"

#include "corvel/platform/Utf8.h"
#include "corvel/screen/Buffer.h"
#include "corvel/terminal/Terminal.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <numeric>

namespace corvel {

namespace {

double steadySeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Appends the text of one cell code; an empty cell reads as a space.
void appendCell(std::u16string& out, int32_t code, const Terminal& terminal)
{
    if (code < 0x80) {
        out.push_back(code == 0 ? u' ' : static_cast<char16_t>(code));
        return;
    }
    if (code <= 0x400000) {
        const auto scalar = static_cast<char32_t>(code);
        if (scalar > 0x10FFFF || (scalar >= 0xD800 && scalar <= 0xDFFF)) {
            out.push_back(u' ');
        } else if (scalar <= 0xFFFF) {
            out.push_back(static_cast<char16_t>(scalar));
        } else {
            const char32_t v = scalar - 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        }
        return;
    }
    // A grapheme cluster; the terminal gives a space for an unknown id.
    out += utf8::toUtf16(terminal.character(code));
}

}  // namespace

int SearchLineText::offsetOfCell(int rowIndex, int col) const
{
    const size_t r = static_cast<size_t>(rowIndex);
    const int cells = rowCells[r];
    const int c = std::clamp(col, 0, cells);
    const auto& starts = cellStarts[r];
    return offsets[r] + (starts.empty() ? c : starts[static_cast<size_t>(c)]);
}

int SearchLineText::cellAtOffset(int rowIndex, int offset) const
{
    const size_t r = static_cast<size_t>(rowIndex);
    const int cells = rowCells[r];
    if (cells == 0) return 0;
    const auto& starts = cellStarts[r];
    if (starts.empty()) return std::clamp(offset, 0, cells - 1);
    // The last cell that begins at or before the offset; a placeholder cell
    // begins where the next cell does, so the next cell wins.
    const auto first = starts.begin();
    const auto last = first + cells;
    auto it = std::upper_bound(first, last, offset);
    if (it == first) return 0;
    return static_cast<int>(it - first) - 1;
}

int SearchLineText::rowLength(int rowIndex) const
{
    const size_t r = static_cast<size_t>(rowIndex);
    const int end = r + 1 < offsets.size() ? offsets[r + 1] : static_cast<int>(lineAsString.size());
    return end - offsets[r];
}

SearchLineCache::SearchLineCache(Terminal& terminal, Clock clock)
    : terminal_(terminal), clock_(clock ? std::move(clock) : Clock(steadySeconds))
{
}

Buffer& SearchLineCache::buffer() const { return terminal_.displayBuffer(); }

int SearchLineCache::rowCount() const
{
    return static_cast<int>(std::min<int64_t>(buffer().lines().count(), std::numeric_limits<int>::max()));
}

bool SearchLineCache::continuesAbove(int row) const
{
    if (row <= 0 || row >= rowCount()) return false;
    return buffer().lines()[row].isWrapped;
}

size_t SearchLineCache::builtEntries() const
{
    if (!linesCache_) return 0;
    return static_cast<size_t>(
        std::count_if(linesCache_->begin(), linesCache_->end(), [](const auto& e) { return e.has_value(); }));
}

void SearchLineCache::initLinesCache()
{
    const double now = clock_();
    const Buffer* shown = &buffer();
    const bool fresh = linesCache_ && now - lastAccessTimestamp_ < lifetimeSeconds && now >= lastAccessTimestamp_ &&
                       static_cast<int64_t>(linesCache_->size()) == rowCount() && cachedBuffer_ == shown;
    if (!fresh) {
        linesCache_.emplace(static_cast<size_t>(rowCount()));
        cachedBuffer_ = shown;
    }
    lastAccessTimestamp_ = now;
}

void SearchLineCache::drop()
{
    linesCache_.reset();
    cachedBuffer_ = nullptr;
    lastAccessTimestamp_ = 0;
}

void SearchLineCache::setLineInCache(int row, SearchLineText entry)
{
    if (!linesCache_ || row < 0 || static_cast<size_t>(row) >= linesCache_->size()) return;
    (*linesCache_)[static_cast<size_t>(row)] = std::move(entry);
}

const SearchLineText& SearchLineCache::line(int row)
{
    if (linesCache_ && row >= 0 && static_cast<size_t>(row) < linesCache_->size()) {
        auto& slot = (*linesCache_)[static_cast<size_t>(row)];
        if (!slot) slot = translateBufferLineToStringWithWrap(row, true);
        return *slot;
    }
    // Without a cache (or outside it) the entry is built for this one use.
    scratch_ = translateBufferLineToStringWithWrap(row, true);
    return scratch_;
}

SearchLineText SearchLineCache::translateBufferLineToStringWithWrap(int lineIndex, bool trimRight) const
{
    SearchLineText result;
    auto& lines = buffer().lines();
    const int total = rowCount();
    if (lineIndex < 0 || lineIndex >= total) {
        result.offsets = {0};
        result.rowCells = {0};
        result.cellStarts.emplace_back();
        return result;
    }
    std::u16string& text = result.lineAsString;
    for (int row = lineIndex; row < total; ++row) {
        const BufferLine& line = lines[row];
        const bool continues = row + 1 < total && lines[row + 1].isWrapped;
        int length = line.count();
        if (trimRight && !continues) length = std::clamp(line.getTrimmedLength(), 0, line.count());

        const size_t rowStart = text.size();
        result.offsets.push_back(static_cast<int>(rowStart));
        text.reserve(rowStart + static_cast<size_t>(length));
        const CharData* cells = line.storage().data();

        bool identity = true;
        std::vector<int32_t> starts;
        auto noteStart = [&](int col) {
            const auto rel = static_cast<int32_t>(text.size() - rowStart);
            if (identity && rel != col) {
                identity = false;
                starts.resize(static_cast<size_t>(col));
                std::iota(starts.begin(), starts.end(), 0);
            }
            if (!identity) starts.push_back(rel);
        };
        for (int col = 0; col < length; ++col) {
            noteStart(col);
            const int32_t code = cells[col].code;
            // The placeholder behind a wide character adds nothing.
            if (code == 0 && col > 0 && cells[col - 1].width == 2) continue;
            appendCell(text, code, terminal_);
        }
        // A wide character that did not fit went to the next row and left an
        // empty last cell here, which is not part of the text.
        if (continues && length > 0 && cells[length - 1].code == 0 && cells[length - 1].width < 2 &&
            lines[row + 1].count() > 0 && lines[row + 1][0].width == 2 && text.size() > rowStart) {
            text.pop_back();
        }
        noteStart(length);

        result.rowCells.push_back(length);
        result.cellStarts.push_back(std::move(starts));
        if (!continues) break;
    }
    for (char16_t unit : text) {
        if (unit >= 0x80) {
            result.ascii = false;
            break;
        }
    }
    return result;
}

}  // namespace corvel
