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
    if (gatheredNs_ < (rate_ ? sampleNs : firstSampleNs)) return;
    const double sample = double(gatheredBytes_) * 1e9 / double(gatheredNs_);
    gatheredBytes_ = 0;
    gatheredNs_ = 0;
    rate_ = rate_ ? (*rate_ + sample) / 2 : sample;
    const double bound = *rate_ * double(catchUpNs) / 1e9;
    highWater_ = bound >= double(ceiling_) ? ceiling_ : std::max(floor_, size_t(bound));
}

}  // namespace corvel
