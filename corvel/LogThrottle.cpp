#include "corvel/LogThrottle.h"

#include "corvel/platform/Log.h"

namespace corvel {

bool LogThrottle::submit(Nanos now)
{
    if (auto found = lines_.find(std::string_view(scratch_)); found != lines_.end()) {
        Slot& slot = found->second;
        if (now - slot.lastWritten < interval_) {
            ++slot.suppressed;
            return false;
        }
        return writeLine(slot, now);
    }
    if (lines_.size() < maxLines_) {
        Slot& slot = lines_.emplace(scratch_, Slot{}).first->second;
        return writeLine(slot, now);
    }
    if (overflowUsed_ && now - overflow_.lastWritten < interval_) {
        ++overflow_.suppressed;
        return false;
    }
    overflowUsed_ = true;
    return writeLine(overflow_, now);
}

bool LogThrottle::writeLine(Slot& slot, Nanos now)
{
    if (slot.suppressed > 0) {
        scratch_ += " (";
        scratch_ += std::to_string(slot.suppressed);
        scratch_ += slot.suppressed == 1 ? " similar line suppressed)" : " similar lines suppressed)";
    }
    slot.lastWritten = now;
    slot.suppressed = 0;
    log::write(scratch_);
    return true;
}

}  // namespace corvel
