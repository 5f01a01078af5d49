// A linear scan over a few dozen keys: comparing texts of different length
// or with different first units ends at once, so a miss costs far less than
// the search it may save.
#include "corvel/terminal/LinkSearchMemo.h"

#include <utility>

namespace corvel {

const LinkSearchMemo::Outcome* LinkSearchMemo::find(std::u16string_view text, int32_t timeLimit) const
{
    for (const Entry& entry : entries_) {
        if (entry.timeLimit == timeLimit && entry.text == text) return &entry.outcome;
    }
    return nullptr;
}

const LinkSearchMemo::Outcome& LinkSearchMemo::remember(std::u16string_view text, int32_t timeLimit,
                                                        Outcome outcome)
{
    Entry entry{std::u16string(text), timeLimit, std::move(outcome)};
    if (entries_.size() < kCapacity) {
        entries_.push_back(std::move(entry));
        return entries_.back().outcome;
    }
    Entry& slot = entries_[oldest_];
    oldest_ = (oldest_ + 1) % kCapacity;
    slot = std::move(entry);
    return slot.outcome;
}

}  // namespace corvel
