// One row of the screen or of the scrollback: a flat block of cells plus the
// row's flags and the images anchored on it.
//
// Column arguments are clamped to the line: an out-of-range subscript write
// goes to the nearest cell after a logged warning, reads of out-of-range
// columns read the nearest cell, and ranges that reach outside the line are
// cut to the part inside it. A line of zero cells ignores writes.
//
// A line knows whether it may hold a wide character (a cell wider than one
// column): printing skips the check for split wide characters on lines that
// cannot hold one. Every write of a cell keeps that flag.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "corvel/screen/CharData.h"
#include "corvel/screen/TerminalImage.h"

namespace corvel {

class BufferLine {
public:
    enum class RenderLineMode : uint8_t {
        single = 0,
        doubleWidth = 1,  // DECDWL
        doubledTop = 2,   // DECDHL, top half
        doubledDown = 3,  // DECDHL, bottom half
    };

    using ImageList = std::vector<std::shared_ptr<TerminalImage>>;
    // Gives the text of one cell (a grapheme cluster, UTF-8).
    using CharacterProvider = std::function<std::string(const CharData&)>;

    // `cols` cells, each `fillData` or `CharData::Null` when no fill is given.
    explicit BufferLine(int cols, const std::optional<CharData>& fillData = std::nullopt, bool isWrapped = false);
    // A deep copy: flags, fill character, the image list (sharing its images)
    // and the cells in use, in a block of exactly that size.
    BufferLine(const BufferLine& from);
    // A moved-from line is left valid and empty (zero cells, no images).
    BufferLine(BufferLine&& other) noexcept;
    BufferLine& operator=(BufferLine&& other) noexcept;
    // Whole-line copies go through the copy constructor or copyFrom(line).
    BufferLine& operator=(const BufferLine&) = delete;

    // This row continues the previous one (the text ran past the right edge).
    bool isWrapped = false;
    RenderLineMode renderMode = RenderLineMode::single;
    // Images anchored on this row; absent when there are none.
    std::optional<ImageList> images;

    // Cells in use.
    int count() const { return size_; }
    // Cells allocated; at least `count()`.
    int capacity() const { return static_cast<int>(cells_.size()); }
    const CharData& fillCharacter() const { return fillCharacter_; }

    // The cell at `index`; an index past the end reads the last cell, a
    // negative one the first. A line of zero cells reads as an empty cell.
    const CharData& operator[](int index) const
    {
        if (index >= 0 && index < size_) [[likely]] return cells_[static_cast<size_t>(index)];
        return clampedCell(index);
    }
    // Writes the cell at `index`. An index outside the line is logged and the
    // nearest cell is written instead; a line of zero cells drops the write.
    void set(int index, const CharData& cell)
    {
        if (CharData* target = cellForWrite(index)) {
            *target = cell;
            noteWidth(cell);
        }
    }
    // Changes the cell at `index` in place, with the same clamping as `set`.
    template <class F>
    void modify(int index, F&& change)
    {
        if (CharData* cell = cellForWrite(index)) {
            change(*cell);
            noteWidth(*cell);
        }
    }
    // Writes `codes.size()` cells from `start` on, each a copy of `cell` with
    // its code set to one byte of `codes`. `cell` must be one column wide,
    // and the cells must lie inside the line (start >= 0, start + size <= count()).
    //
    // The cell is held as three machine words in registers and each cell is
    // three word stores: copying a cell built in memory made the compiler
    // rebuild it with narrow stores and read it back at once, a
    // store-forwarding stall that cost more than the rest of printing. The
    // cells are one column wide, so the wide-cell flag stays as it is.
    void writeNarrowRun(int start, std::span<const uint8_t> codes, const CharData& cell)
    {
        static_assert(sizeof(CharData) == 24 && offsetof(CharData, code) == 0 && sizeof(CharData::code) == 4);
        static_assert(std::endian::native == std::endian::little);
        uint64_t words[3];
        std::memcpy(words, &cell, sizeof words);
        const uint64_t high = words[0] & ~uint64_t{0xFFFFFFFF};
        auto* out = reinterpret_cast<unsigned char*>(cells_.data() + start);
        for (const uint8_t code : codes) {
            const uint64_t first = high | code;
            std::memcpy(out, &first, 8);
            std::memcpy(out + 8, &words[1], 8);
            std::memcpy(out + 16, &words[2], 8);
            out += sizeof(CharData);
        }
    }

    // False only when no cell of the line is wider than one column, so no
    // wide character can be split by a write. True may be stale: it is
    // cleared only when the whole line is filled.
    bool mayHoldWideCells() const { return mayHoldWide_; }

    std::vector<CharData> getData() const;
    // Every allocated cell, including those past `count()` after copyFrom(line)
    // from a shorter line.
    std::span<const CharData> storage() const { return cells_; }

    // Grows or shrinks the line to `cols` cells; new cells are `fillData`.
    void resize(int cols, const CharData& fillData);

    // The column after the last cell whose code is not 0, counting that
    // cell's width; 0 when every cell is empty.
    int getTrimmedLength() const;
    // Whether the cell shows anything: a code, a style, an underline, or a
    // colour other than the plain default (an inverted default counts).
    bool hasContent(int index) const;
    bool hasAnyContent() const;
    int getWidth(int index) const { return (*this)[index].width; }

    // The text of cells `startCol ..< endCol` (an `endCol` of -1 means the
    // whole line). Empty cells read as spaces; codes that are not scalars
    // read as spaces unless a provider resolves them.
    std::string translateToString(bool trimRight = false, int startCol = 0, int endCol = -1,
                                  bool skipNullCellsFollowingWide = false,
                                  const CharacterProvider& characterProvider = {}) const;

    // Copies `len` cells of `src` from `srcCol` to this line at `dstCol`;
    // overlapping ranges within one line are copied safely.
    void copyFrom(const BufferLine& src, int srcCol, int dstCol, int len);
    // Makes this line's cells and wrap flag a copy of `line`'s, reusing the
    // block when it is large enough. Render mode, fill character and images
    // stay.
    void copyFrom(const BufferLine& line);

    // Inserts `n` cells of `fillData` at `pos` (reduced modulo
    // `rightMargin + 1`), pushing cells right; cells pushed past `rightMargin`
    // are lost and cells beyond it are untouched.
    void insertCells(int pos, int n, int rightMargin, const CharData& fillData);
    // Deletes `n` cells at `pos` (reduced modulo `rightMargin + 1`), pulling
    // cells left and filling the freed cells before `rightMargin` with `fillData`.
    void deleteCells(int pos, int n, int rightMargin, const CharData& fillData);
    // Cells `start ..< min(end, count)` become `fillData`.
    void replaceCells(int start, int end, const CharData& fillData);
    // Every allocated cell becomes `cell`.
    void fill(const CharData& cell);
    // Cells `atCol ..< atCol + len` become `cell`.
    void fill(const CharData& cell, int atCol, int len);
    // Every allocated cell becomes an empty cell with `attribute`, and the
    // images go. Wrap flag and render mode stay.
    void clear(const Attribute& attribute);

    // The characters of all cells joined.
    std::string debugDescription() const;

private:
    // The cell at `index`; inline for the hot path, the rest out of line.
    CharData* cellForWrite(int index)
    {
        if (index >= 0 && index < size_) [[likely]] return &cells_[static_cast<size_t>(index)];
        return clampedCellForWrite(index);
    }
    CharData* clampedCellForWrite(int index);
    const CharData& clampedCell(int index) const;
    void noteWidth(const CharData& cell)
    {
        if (cell.width > 1) mayHoldWide_ = true;
    }

    std::vector<CharData> cells_;  // the allocated block; its size is the capacity
    int size_ = 0;                 // cells in use
    CharData fillCharacter_;
    // Invariant: true whenever some allocated cell is wider than one column.
    bool mayHoldWide_ = false;
};

}  // namespace corvel
