#include "corvel/host/ReadAheadBound.h"

#include <algorithm>

namespace corvel {

ReadAheadBound::ReadAheadBound(size_t floor, size_t ceiling)
    : floor_(floor), ceiling_(std::max(floor, ceiling)), highWater_(floor)
{
}

void ReadAheadBound::taken(size_t bytes, Nanos busyNs)
{
    gatheredBytes_ += bytes;
    gatheredNs_ += std::max<Nanos>(busyNs, 0);
    if (gatheredNs_ < firstSampleNs) return;
    const double sample = double(gatheredBytes_) * 1e9 / double(gatheredNs_);
    // A rate that fell (other producers now share the consumer) counts at
    // once, from a short sample: what waits meanwhile is what the producer
    // would have to catch up with. A rate that rose is averaged in over full
    // samples, so one quick stretch does not raise the bound far.
    const bool fell = rate_ && sample < *rate_;
    if (rate_ && !fell && gatheredNs_ < sampleNs) return;
    gatheredBytes_ = 0;
    gatheredNs_ = 0;
    rate_ = rate_ && !fell ? (*rate_ + sample) / 2 : sample;
    const double bound = *rate_ * double(catchUpNs) / 1e9;
    highWater_ = bound >= double(ceiling_) ? ceiling_ : std::max(floor_, size_t(bound));
}

}  // namespace corvel
