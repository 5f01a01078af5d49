// How far the reading of a producer's output may run ahead of its consumer:
// about what the consumer takes of this producer's bytes in `catchUpNs`, so
// that whatever else shares the consumer's thread, the consumer catches up
// with the producer within that time once the producer stops (a program
// interrupted, say). The rate is measured, not assumed: bytes taken over the
// time during which some waited, so the producer's share of a thread that
// serves many is part of it. The bound is kept between a floor, enough for a
// producer that has the consumer to itself to keep it busy, and a ceiling.
//
// A plain stateful object without a lock: its owner guards it.
#pragma once

#include "corvel/platform/Dispatch.h"

#include <cstddef>
#include <optional>

namespace corvel {

class ReadAheadBound {
public:
    // What waits is parsed in about this long at the measured rate.
    static constexpr Nanos catchUpNs = 250'000'000;
    // Busy time gathered into one measurement of the rate; the first, and
    // one that shows a fall, is taken sooner, so that a producer that has
    // the consumer to itself leaves the floor early and one that comes to
    // share it is held back soon.
    static constexpr Nanos sampleNs = 100'000'000;
    static constexpr Nanos firstSampleNs = 20'000'000;

    // Until the first measurement the bound is `floor`.
    ReadAheadBound(size_t floor, size_t ceiling);
    // A bound that never moves from `bytes`.
    static ReadAheadBound fixed(size_t bytes) { return ReadAheadBound(bytes, bytes); }

    // `bytes` were taken over `busyNs` during which bytes waited. Short
    // stretches are gathered until they make a sample's time; each
    // measurement then counts as much as all before it together. A rate
    // that fell counts at once, from a gathering of `firstSampleNs`: when
    // other producers start to share the consumer, the bound drops before
    // much more is read at the old rate.
    void taken(size_t bytes, Nanos busyNs);

    // Reading pauses above this many waiting bytes...
    size_t highWater() const { return highWater_; }
    // ...and goes on once they are down to this.
    size_t lowWater() const { return highWater_ / 2; }
    // Measured bytes a second; absent before the first measurement.
    std::optional<double> rate() const { return rate_; }

private:
    size_t floor_;
    size_t ceiling_;
    size_t highWater_;
    std::optional<double> rate_;
    size_t gatheredBytes_ = 0;
    Nanos gatheredNs_ = 0;
};

}  // namespace corvel
