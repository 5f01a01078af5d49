// The outcomes of the latest searches of the link pattern, each kept with
// the exact text searched and its step limit. Link lookup runs on every
// pointer move; a pointer that stays on the same line searches the same text
// again and again, and gets the remembered outcome instead of a new search.
// Keyed by the text itself rather than by a change counter, an outcome can
// never outlive the text it was found in: a changed cell changes the key.
//
// Owned by one Terminal and used on its thread. Holds at most kCapacity
// entries, replacing the oldest; each key is a searched window of a few
// hundred UTF-16 code units, so the memo stays small.
#pragma once

#include "corvel/platform/Regex.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvel {

class LinkSearchMemo {
public:
    // What one search found: the matches from left to right, and whether it
    // ran out of steps after them.
    struct Outcome {
        std::vector<RegexMatch> matches;
        bool timedOut = false;
    };

    // The outcome remembered for this text and step limit, or null.
    const Outcome* find(std::u16string_view text, int32_t timeLimit) const;
    // Remembers an outcome, replacing the oldest entry when full; returns the
    // stored copy.
    const Outcome& remember(std::u16string_view text, int32_t timeLimit, Outcome outcome);
    size_t size() const { return entries_.size(); }

    // A lookup searches one window of the line and tests up to a few dozen
    // row seams: enough room for all of them.
    static constexpr size_t kCapacity = 32;

private:
    struct Entry {
        std::u16string text;
        int32_t timeLimit = 0;
        Outcome outcome;
    };
    std::vector<Entry> entries_;
    size_t oldest_ = 0;  // the entry replaced next once full
};

}  // namespace corvel
