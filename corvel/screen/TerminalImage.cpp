// Charging a line image to its ledger's tally and giving the bytes back.
#include "corvel/screen/TerminalImage.h"

#include <utility>

namespace corvel {

TerminalImage::~TerminalImage()
{
    if (!tally_) return;
    tally_->bytes.fetch_sub(chargedBytes_, std::memory_order_relaxed);
    tally_->images.fetch_sub(1, std::memory_order_relaxed);
}

void TerminalImage::charge(std::shared_ptr<LineImageTally> tally, int64_t bytes)
{
    if (tally_ || !tally) return;
    tally_ = std::move(tally);
    chargedBytes_ = bytes;
    tally_->bytes.fetch_add(bytes, std::memory_order_relaxed);
    tally_->images.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace corvel
