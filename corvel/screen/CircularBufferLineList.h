// The fixed-capacity ring of lines behind a screen buffer: scrollback lines
// first (logical index 0 is the oldest), then the visible rows. Appending to a
// full ring drops the oldest line by moving the ring's start, so scrolling
// costs constant time whatever the scrollback length.
//
// The ring owns its lines: every slot holds its own line or nothing, and no
// two slots ever share a line. Moving lines inside the ring (splice, shift)
// moves ownership; a slot that gives its line away is left empty and is filled
// by the line factory when next read. Recycling clears the oldest line in
// place and reuses it, so a scrolling full ring allocates nothing.
//
// A slot that has never held a line is filled on first read by `makeEmpty`.
// Two hooks report lines with images entering and leaving, so the buffer can
// keep its count of such lines without scanning.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "corvel/screen/BufferLine.h"

namespace corvel {

class CircularBufferLineList {
public:
    // Makes the line for an empty slot; given the physical slot number.
    using LineFactory = std::function<BufferLine(int64_t slot)>;
    using ImageHook = std::function<void(bool hasImages)>;
    using ChangeCallback = std::function<void(int64_t index)>;

    explicit CircularBufferLineList(int64_t maxLength);
    CircularBufferLineList(CircularBufferLineList&&) noexcept = default;
    CircularBufferLineList& operator=(CircularBufferLineList&&) noexcept = default;
    CircularBufferLineList(const CircularBufferLineList&) = delete;
    CircularBufferLineList& operator=(const CircularBufferLineList&) = delete;

    LineFactory makeEmpty;
    // Called by `recycle` with whether the reused line held images.
    ImageHook onLineRecycled;
    // Called after `push` with whether the pushed line holds images.
    ImageHook onLinePushed;

    // The line at logical `index` (any index maps to a slot; it is not
    // compared with `count`). An empty slot is filled by `makeEmpty` first.
    BufferLine& operator[](int64_t index)
    {
        // An index inside the ring needs no division, and a slot that holds
        // a line needs no factory: every row access comes through here.
        const auto slotCount = static_cast<int64_t>(array_.size());
        if (index >= 0 && index < slotCount) [[likely]] {
            int64_t physical = startIndex_ + index;
            if (physical >= slotCount) physical -= slotCount;
            if (auto& line = array_[static_cast<size_t>(physical)]) [[likely]] return *line;
        }
        return lineAtSlow(index);
    }
    // Stores a line at logical `index`, replacing the slot's line; `count` is unchanged.
    void set(int64_t index, BufferLine line);
    void set(int64_t index, std::unique_ptr<BufferLine> line);
    // Moves the line at logical `index` out of the ring, leaving its slot empty
    // (null when the slot was empty). For moving lines between rings.
    std::unique_ptr<BufferLine> take(int64_t index);

    int64_t count() const { return count_; }
    // Sets the number of logical lines; no line is created or released.
    // A value above `maxLength` (or below 0) is a programming error that stops
    // the process.
    void setCount(int64_t n);

    int64_t maxLength() const { return maxLength_; }
    // Re-lays the slots for a new capacity, keeping the logical order of the
    // first lines that fit; the start moves to slot 0.
    void setMaxLength(int64_t newMaxLength);

    bool isFull() const { return count_ == maxLength_; }
    bool isEmpty() const { return count_ == 0; }

    // Appends a line; on a full ring it replaces the oldest one.
    void push(BufferLine line);
    // Reuses the oldest line of a full ring as the new last line, cleared with
    // `clearAttribute`. Recycling a ring that is not full is a programming
    // error that stops the process.
    void recycle(const Attribute& clearAttribute);
    // Removes the last line and hands it back (null when its slot was empty or
    // the ring holds no lines).
    std::unique_ptr<BufferLine> pop();
    // Drops the `n` oldest lines.
    void trimStart(int64_t n);
    // Removes `deleteCount` lines at `start`, inserts `items` there and reports
    // every logical index it wrote through `change`. When the ring overflows,
    // the oldest lines are dropped. `start` and `deleteCount` are clamped to
    // the lines present.
    void splice(int64_t start, int64_t deleteCount, std::vector<BufferLine> items,
                const ChangeCallback& change = {});
    // Moves the run of `count` lines at `start` by `offset` and returns true;
    // refuses with a logged assertion and returns false for a negative run or
    // start, a start at or past the end, or a destination at or before 0. The
    // slots the run leaves are emptied.
    bool shiftElements(int64_t start, int64_t count, int64_t offset);

    // Inspection: the lines in physical slot order (null for empty slots), the
    // start slot, and the physical slot of a logical index.
    std::vector<const BufferLine*> getArray() const;
    int64_t getStartIndex() const { return startIndex_; }
    int64_t debugGetCyclicIndex(int64_t index) const { return slotOf(index); }

private:
    BufferLine& lineAtSlow(int64_t index);
    int64_t slotOf(int64_t index) const;
    std::unique_ptr<BufferLine>& slot(int64_t index) { return array_[static_cast<size_t>(slotOf(index))]; }
    void moveSlot(int64_t from, int64_t to);
    static void placeLine(std::unique_ptr<BufferLine>& target, BufferLine&& line);

    std::vector<std::unique_ptr<BufferLine>> array_;
    int64_t startIndex_ = 0;
    int64_t count_ = 0;
    int64_t maxLength_ = 0;
};

}  // namespace corvel
