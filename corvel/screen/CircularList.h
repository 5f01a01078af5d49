// A fixed-capacity circular list of values: the same ring as the line ring
// (CircularBufferLineList) for plain element types, without the image hooks.
// Elements are copied between slots; reflow keeps lists of ring indices in it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "corvel/platform/Log.h"

namespace corvel {

template <class T>
class CircularList {
public:
    // Makes the element for an empty slot; given the physical slot number.
    using Factory = std::function<T(int64_t slot)>;

    explicit CircularList(int64_t maxLength)
    {
        if (maxLength < 0) fatal("CircularList: negative capacity " + std::to_string(maxLength));
        array_.resize(static_cast<size_t>(maxLength));
        maxLength_ = maxLength;
    }

    Factory makeEmpty;

    // The element at logical `index`; an empty slot is filled by `makeEmpty` first.
    T& operator[](int64_t index)
    {
        const int64_t physical = slotOf(index);
        auto& element = array_[static_cast<size_t>(physical)];
        if (!element) {
            if (!makeEmpty) fatal("CircularList: read an empty slot without a factory");
            element = makeEmpty(physical);
        }
        return *element;
    }
    void set(int64_t index, T value) { slot(index) = std::move(value); }

    int64_t count() const { return count_; }
    void setCount(int64_t n)
    {
        if (n < 0 || n > maxLength_) {
            fatal("CircularList: count " + std::to_string(n) + " outside 0..." + std::to_string(maxLength_));
        }
        count_ = n;
    }

    int64_t maxLength() const { return maxLength_; }
    void setMaxLength(int64_t newMaxLength)
    {
        if (newMaxLength == maxLength_) return;
        if (newMaxLength < 0) fatal("CircularList: negative capacity " + std::to_string(newMaxLength));
        std::vector<std::optional<T>> relaid(static_cast<size_t>(newMaxLength));
        const int64_t kept = std::min(static_cast<int64_t>(array_.size()), newMaxLength);
        for (int64_t i = 0; i < kept; ++i) relaid[static_cast<size_t>(i)] = std::move(slot(i));
        array_ = std::move(relaid);
        startIndex_ = 0;
        maxLength_ = newMaxLength;
        count_ = std::min(count_, newMaxLength);
    }

    bool isFull() const { return count_ == maxLength_; }
    bool isEmpty() const { return count_ == 0; }

    void push(T value)
    {
        slot(count_) = std::move(value);
        const auto slotCount = static_cast<int64_t>(array_.size());
        if (count_ >= slotCount) {
            startIndex_ = positiveModulo(startIndex_ + 1, slotCount);
        } else {
            ++count_;
        }
    }

    // Makes the oldest element the last one, keeping its value. Only on a full list.
    void recycle()
    {
        if (count_ != maxLength_) fatal("can only recycle when the buffer is full");
        startIndex_ = positiveModulo(startIndex_ + 1, count_);
    }

    // Removes the last element and returns it; nothing for an empty list.
    std::optional<T> pop()
    {
        if (count_ <= 0) return std::nullopt;
        T value = (*this)[count_ - 1];
        --count_;
        return value;
    }

    void trimStart(int64_t n)
    {
        const int64_t dropped = std::clamp<int64_t>(n, 0, count_);
        if (dropped == 0) return;
        startIndex_ = positiveModulo(startIndex_ + dropped, static_cast<int64_t>(array_.size()));
        count_ -= dropped;
    }

    void splice(int64_t start, int64_t deleteCount, const std::vector<T>& items,
                const std::function<void(int64_t)>& change = {})
    {
        start = std::clamp<int64_t>(start, 0, count_);
        deleteCount = std::clamp<int64_t>(deleteCount, 0, count_ - start);
        const auto n = static_cast<int64_t>(items.size());
        const auto report = [&](int64_t index) {
            if (change) change(index);
        };
        if (deleteCount >= 1) {
            for (int64_t i = start; i < count_ - deleteCount; ++i) {
                slot(i) = slot(i + deleteCount);
                report(i);
            }
            count_ -= deleteCount;
        }
        if (n > 0) {
            for (int64_t i = count_ - 1; i >= start; --i) {
                slot(i + n) = slot(i);
                report(i + n);
            }
            for (int64_t i = 0; i < n; ++i) {
                slot(start + i) = items[static_cast<size_t>(i)];
                report(start + i);
            }
            const auto slotCount = static_cast<int64_t>(array_.size());
            if (count_ + n > slotCount) {
                startIndex_ = positiveModulo(startIndex_ + (count_ + n - slotCount), slotCount);
                count_ = slotCount;
            } else {
                count_ += n;
            }
        }
    }

    bool shiftElements(int64_t start, int64_t count, int64_t offset)
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
        if (offset <= 0) {
            for (int64_t i = 0; i < count; ++i) slot(start + i + offset) = slot(start + i);
        } else {
            for (int64_t i = count - 1; i >= 0; --i) slot(start + i + offset) = slot(start + i);
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

    int64_t getStartIndex() const { return startIndex_; }
    int64_t debugGetCyclicIndex(int64_t index) const { return slotOf(index); }

private:
    [[noreturn]] static void fatal(const std::string& message)
    {
        log::write(message);
        std::abort();
    }
    static int64_t positiveModulo(int64_t value, int64_t modulus)
    {
        const int64_t r = value % modulus;
        return r < 0 ? r + modulus : r;
    }
    int64_t slotOf(int64_t index) const
    {
        const auto slotCount = static_cast<int64_t>(array_.size());
        if (slotCount == 0) fatal("CircularList: indexed a list without slotCount");
        return positiveModulo(positiveModulo(startIndex_, slotCount) + positiveModulo(index, slotCount), slotCount);
    }
    std::optional<T>& slot(int64_t index) { return array_[static_cast<size_t>(slotOf(index))]; }

    std::vector<std::optional<T>> array_;
    int64_t startIndex_ = 0;
    int64_t count_ = 0;
    int64_t maxLength_ = 0;
};

}  // namespace corvel
