#include "corvel/platform/Trace.h"

#include "corvel/platform/Dispatch.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace corvel::trace {

namespace {
constexpr size_t kCapacity = 4096;

std::atomic<bool>& flag()
{
    static std::atomic<bool> on = [] {
        const char* value = std::getenv("CORVEL_PROFILE");
        return value != nullptr && std::strcmp(value, "1") == 0;
    }();
    return on;
}

struct Ring {
    std::mutex mutex;
    std::vector<Event> events;
    size_t next = 0;
};
Ring& ring()
{
    static Ring r;
    return r;
}

void record(const char* name, bool isBegin)
{
    auto& r = ring();
    std::lock_guard<std::mutex> lock(r.mutex);
    Event e{name, isBegin, monotonicNanos()};
    if (r.events.size() < kCapacity) {
        r.events.push_back(e);
    } else {
        r.events[r.next] = e;
    }
    r.next = (r.next + 1) % kCapacity;
}
}  // namespace

bool enabled() { return flag().load(std::memory_order_relaxed); }
void setEnabled(bool on) { flag().store(on); }

void begin(const char* name)
{
    if (enabled()) record(name, true);
}
void end(const char* name)
{
    if (enabled()) record(name, false);
}

std::vector<Event> recentEvents()
{
    auto& r = ring();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (r.events.size() < kCapacity) return r.events;
    std::vector<Event> out(r.events.begin() + static_cast<long>(r.next), r.events.end());
    out.insert(out.end(), r.events.begin(), r.events.begin() + static_cast<long>(r.next));
    return out;
}

void clearEvents()
{
    auto& r = ring();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.events.clear();
    r.next = 0;
}

}  // namespace corvel::trace
