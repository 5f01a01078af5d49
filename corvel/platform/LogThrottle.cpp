// LogThrottle: finding a line (the last one first) and writing it with its
// held-back count.
#include "corvel/platform/LogThrottle.h"

#include "corvel/platform/Log.h"

namespace corvel {

bool LogThrottle::submit(Nanos now, std::string_view line)
{
    if (!last_ || last_->first != line) {
        if (auto found = lines_.find(line); found != lines_.end()) {
            last_ = &*found;
        } else if (lines_.size() < maxLines_) {
            last_ = &*lines_.emplace(std::string(line), Slot{}).first;
            return admit(last_->second, now, line);
        } else {
            if (overflowUsed_ && now - overflow_.lastWritten < interval_) {
                ++overflow_.suppressed;
                return false;
            }
            overflowUsed_ = true;
            return admit(overflow_, now, line);
        }
    }
    Slot& slot = last_->second;
    if (now - slot.lastWritten < interval_) {
        ++slot.suppressed;
        return false;
    }
    return admit(slot, now, line);
}

bool LogThrottle::admit(Slot& slot, Nanos now, std::string_view line)
{
    std::string out(line);
    if (slot.suppressed > 0) {
        out += " (";
        out += std::to_string(slot.suppressed);
        out += slot.suppressed == 1 ? " similar line suppressed)" : " similar lines suppressed)";
    }
    slot.lastWritten = now;
    slot.suppressed = 0;
    log::write(out);
    return true;
}

}  // namespace corvel
