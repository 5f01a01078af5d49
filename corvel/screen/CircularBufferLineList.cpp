#include "corvel/screen/CircularBufferLineList.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "corvel/platform/Log.h"

namespace corvel {

namespace {

[[noreturn]] void fatal(const std::string& message)
{
    log::write(message);
    std::abort();
}

int64_t positiveModulo(int64_t value, int64_t modulus)
{
    const int64_t r = value % modulus;
    return r < 0 ? r + modulus : r;
}

}  // namespace

CircularBufferLineList::CircularBufferLineList(int64_t maxLength)
{
    if (maxLength < 0) fatal("CircularBufferLineList: negative capacity " + std::to_string(maxLength));
    array_.resize(static_cast<size_t>(maxLength));
    maxLength_ = maxLength;
}

int64_t CircularBufferLineList::slotOf(int64_t index) const
{
    const auto slots = static_cast<int64_t>(array_.size());
    if (slots == 0) fatal("CircularBufferLineList: indexed a ring without slots");
    // startIndex_ always lies in [0, slots); an index inside the ring needs
    // no division, which matters because every row access comes through here.
    if (index >= 0 && index < slots) {
        const int64_t slot = startIndex_ + index;
        return slot >= slots ? slot - slots : slot;
    }
    return positiveModulo(startIndex_ + positiveModulo(index, slots), slots);
}

void CircularBufferLineList::placeLine(std::unique_ptr<BufferLine>& target, BufferLine&& line)
{
    // Reuse the slot's line object when there is one.
    if (target) {
        *target = std::move(line);
    } else {
        target = std::make_unique<BufferLine>(std::move(line));
    }
}

void CircularBufferLineList::moveSlot(int64_t from, int64_t to)
{
    const int64_t source = slotOf(from);
    const int64_t dest = slotOf(to);
    if (source == dest) return;
    array_[static_cast<size_t>(dest)] = std::move(array_[static_cast<size_t>(source)]);
}

BufferLine& CircularBufferLineList::lineAtSlow(int64_t index)
{
    const int64_t physical = slotOf(index);
    auto& line = array_[static_cast<size_t>(physical)];
    if (!line) {
        if (!makeEmpty) fatal("CircularBufferLineList: read an empty slot without a line factory");
        line = std::make_unique<BufferLine>(makeEmpty(physical));
    }
    return *line;
}

void CircularBufferLineList::set(int64_t index, BufferLine line)
{
    placeLine(slot(index), std::move(line));
}

void CircularBufferLineList::set(int64_t index, std::unique_ptr<BufferLine> line)
{
    slot(index) = std::move(line);
}

std::unique_ptr<BufferLine> CircularBufferLineList::take(int64_t index)
{
    return std::move(slot(index));
}

void CircularBufferLineList::setCount(int64_t n)
{
    if (n < 0 || n > maxLength_) {
        fatal("CircularBufferLineList: count " + std::to_string(n) + " outside 0..." + std::to_string(maxLength_));
    }
    count_ = n;
}

void CircularBufferLineList::setMaxLength(int64_t newMaxLength)
{
    if (newMaxLength == maxLength_) return;
    if (newMaxLength < 0) fatal("CircularBufferLineList: negative capacity " + std::to_string(newMaxLength));
    std::vector<std::unique_ptr<BufferLine>> relaid(static_cast<size_t>(newMaxLength));
    const int64_t kept = std::min(static_cast<int64_t>(array_.size()), newMaxLength);
    for (int64_t i = 0; i < kept; ++i) relaid[static_cast<size_t>(i)] = std::move(slot(i));
    array_ = std::move(relaid);
    startIndex_ = 0;
    maxLength_ = newMaxLength;
    // Callers trim before shrinking; this only keeps count within capacity.
    count_ = std::min(count_, newMaxLength);
}

void CircularBufferLineList::push(BufferLine line)
{
    auto& target = slot(count_);
    placeLine(target, std::move(line));
    const bool hasImages = target->images.has_value();
    const auto slots = static_cast<int64_t>(array_.size());
    if (count_ >= slots) {
        // The new line replaced the oldest one: logical 0 moves one slot on.
        startIndex_ = positiveModulo(startIndex_ + 1, slots);
    } else {
        ++count_;
    }
    if (onLinePushed) onLinePushed(hasImages);
}

void CircularBufferLineList::recycle(const Attribute& clearAttribute)
{
    if (count_ != maxLength_) fatal("can only recycle when the buffer is full");
    auto& oldest = slot(count_);
    startIndex_ = positiveModulo(startIndex_ + 1, count_);
    bool hadImages = false;
    if (oldest) {
        hadImages = oldest->images.has_value();
        oldest->clear(clearAttribute);
    }
    if (onLineRecycled) onLineRecycled(hadImages);
}

std::unique_ptr<BufferLine> CircularBufferLineList::pop()
{
    if (count_ <= 0) return nullptr;
    auto line = std::move(slot(count_ - 1));
    --count_;
    return line;
}

void CircularBufferLineList::trimStart(int64_t n)
{
    const int64_t dropped = std::clamp<int64_t>(n, 0, count_);
    if (dropped == 0) return;
    // The dropped lines are released, so neither their cells nor the codes
    // and payload ids those cells name outlive them.
    for (int64_t i = 0; i < dropped; ++i) slot(i).reset();
    startIndex_ = positiveModulo(startIndex_ + dropped, static_cast<int64_t>(array_.size()));
    count_ -= dropped;
}

void CircularBufferLineList::splice(int64_t start, int64_t deleteCount, std::vector<BufferLine> items,
                                    const ChangeCallback& change)
{
    start = std::clamp<int64_t>(start, 0, count_);
    deleteCount = std::clamp<int64_t>(deleteCount, 0, count_ - start);
    const auto n = static_cast<int64_t>(items.size());
    if (deleteCount == 0 && n == 0) return;
    const auto report = [&](int64_t index) {
        if (change) change(index);
    };

    if (deleteCount >= 1) {
        for (int64_t i = start; i < count_ - deleteCount; ++i) {
            moveSlot(i + deleteCount, i);
            report(i);
        }
        count_ -= deleteCount;
    }
    if (n > 0) {
        for (int64_t i = count_ - 1; i >= start; --i) {
            moveSlot(i, i + n);
            report(i + n);
        }
        for (int64_t i = 0; i < n; ++i) {
            placeLine(slot(start + i), std::move(items[static_cast<size_t>(i)]));
            report(start + i);
        }
        const auto slots = static_cast<int64_t>(array_.size());
        if (count_ + n > slots) {
            startIndex_ = positiveModulo(startIndex_ + (count_ + n - slots), slots);
            count_ = slots;
        } else {
            count_ += n;
        }
    }
}

bool CircularBufferLineList::shiftElements(int64_t start, int64_t count, int64_t offset)
{
    const auto refuse = [&](const char* reason) {
        log::write("Assertion at start=" + std::to_string(start) + " count=" + std::to_string(count) +
                   " offset=" + std::to_string(offset) + ": " + reason);
        return false;
    };
    if (count < 0) return refuse("count < 0");
    if (start < 0) return refuse("start < 0");
    if (start >= count_) return refuse("start >= self.count");
    if (offset <= -start) return refuse("start+offset <= 0");  // start + offset <= 0, without overflow

    if (offset < 0) {
        for (int64_t i = 0; i < count; ++i) moveSlot(start + i, start + i + offset);
    } else if (offset > 0) {
        for (int64_t i = count - 1; i >= 0; --i) moveSlot(start + i, start + i + offset);
        const int64_t end = start + count + offset;
        if (end > count_) {
            if (end <= maxLength_) {
                count_ = end;
            } else {
                startIndex_ = positiveModulo(startIndex_ + (end - maxLength_), static_cast<int64_t>(array_.size()));
                count_ = maxLength_;
            }
        }
    }
    return true;
}

std::vector<const BufferLine*> CircularBufferLineList::getArray() const
{
    std::vector<const BufferLine*> lines;
    lines.reserve(array_.size());
    for (const auto& line : array_) lines.push_back(line.get());
    return lines;
}

}  // namespace corvel
