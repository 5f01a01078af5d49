// The texts that a search reads: one entry per logical line of the displayed
// buffer (a row and every following row that continues it), built on first
// use and kept for later steps of the same search.
//
// Texts are UTF-16, so regular expressions and plain matching work on them
// directly. Each entry keeps where every row's text begins and, for rows
// where a cell does not give exactly one code unit (wide characters, clusters,
// characters outside the BMP), where every cell's text begins; a match's
// range of code units therefore maps back to exactly the cells that hold it.
//
// The cache lives while the view's searches go on: it is replaced when the
// number of lines or the displayed buffer changes, or when it has not been
// used for `lifetimeSeconds`, and dropped by the owner on every output chunk
// and resize. Time comes from an injected clock (seconds, monotonic), so the
// lifetime can be tested without waiting.
//
// Rows are ring indexes of Terminal::displayBuffer(). The oldest row held
// always starts a logical line, even when its wrap flag says it continued a
// row that scrolled out of the ring: otherwise its text could never be found.
//
// Main thread only; the owner keeps the terminal alive for the cache's life.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace corvel {

class Buffer;
class Terminal;

// The text of one logical line.
struct SearchLineText {
    std::u16string lineAsString;
    // The code-unit offset at which each row's text begins; [0] for one row.
    std::vector<int> offsets;
    // Per row: the number of cells whose text was taken (the trimmed length
    // for the last row).
    std::vector<int> rowCells;
    // Per row: the offset within the row's text at which each of those cells
    // begins, plus one entry for the end; empty when cell i begins at offset i
    // for every cell (the common case), which saves the table.
    std::vector<std::vector<int32_t>> cellStarts;
    // Every code unit is ASCII.
    bool ascii = true;

    int rowCount() const { return static_cast<int>(offsets.size()); }
    // The offset within the whole text at which cell `col` of row `rowIndex`
    // begins; a column past the row's cells gives the end of the row's text.
    int offsetOfCell(int rowIndex, int col) const;
    // The cell of row `rowIndex` whose text holds `offset` (counted within the
    // row's text): the last cell that begins at or before it.
    int cellAtOffset(int rowIndex, int offset) const;
    // The length of row `rowIndex`'s text.
    int rowLength(int rowIndex) const;
};

class SearchLineCache {
public:
    using Clock = std::function<double()>;
    static constexpr double lifetimeSeconds = 15.0;

    // Without a clock, a steady clock is used.
    explicit SearchLineCache(Terminal& terminal, Clock clock = {});
    SearchLineCache(const SearchLineCache&) = delete;
    SearchLineCache& operator=(const SearchLineCache&) = delete;

    Terminal& terminal() const { return terminal_; }
    double lastAccessTimestamp() const { return lastAccessTimestamp_; }
    bool hasLines() const { return linesCache_.has_value(); }
    // Entries built so far (for tests and diagnostics).
    size_t builtEntries() const;

    // At the start of every search step: keeps the cache when it is younger
    // than the lifetime and still matches the displayed buffer, else starts an
    // empty one; either way records the time.
    void initLinesCache();
    // Forgets every entry and the time.
    void drop();

    // The entry of the logical line that starts at `row` (which must be a row
    // of the displayed buffer), built now when it is not cached yet.
    const SearchLineText& line(int row);
    // Stores an entry; a row outside the cache is ignored.
    void setLineInCache(int row, SearchLineText entry);

    // Whether `row` continues the row above it within the displayed buffer.
    bool continuesAbove(int row) const;
    // The number of rows of the displayed buffer.
    int rowCount() const;

    // The text of the logical line that starts at `lineIndex`, with trailing
    // blank cells of its last row left out when `trimRight` is set. A row
    // outside the buffer gives the empty text.
    SearchLineText translateBufferLineToStringWithWrap(int lineIndex, bool trimRight) const;

private:
    Buffer& buffer() const;

    Terminal& terminal_;
    Clock clock_;
    std::optional<std::vector<std::optional<SearchLineText>>> linesCache_;
    const Buffer* cachedBuffer_ = nullptr;
    double lastAccessTimestamp_ = 0;
    SearchLineText scratch_;  // an entry built outside the cache, for one use
};

}  // namespace corvel
