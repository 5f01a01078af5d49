// The pauses between attempts at work the machine had no memory for: the
// first is short, each one after it twice the one before, up to a longest,
// so that a refusal that lasts costs one attempt every `longestNs` and never
// a busy loop, and one that passes at once costs a millisecond.
//
// A plain value without a lock: the one thread that retries keeps it.
#pragma once

#include "corvel/platform/Dispatch.h"

#include <algorithm>

namespace corvel {

class RetryBackoff {
public:
    static constexpr Nanos firstNs = 1'000'000;
    static constexpr Nanos longestNs = 256'000'000;

    // The pause before the next attempt; the one after it is twice as long,
    // up to `longestNs`.
    Nanos next()
    {
        const Nanos pause = next_;
        next_ = std::min(next_ * 2, longestNs);
        return pause;
    }
    // The work went through: a later refusal starts again from `firstNs`.
    void reset() { next_ = firstNs; }

private:
    Nanos next_ = firstNs;  // always within [firstNs, longestNs]
};

}  // namespace corvel
