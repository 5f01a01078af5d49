// Profiling trace events. When the environment variable CORVEL_PROFILE is
// exactly "1" (read once per process), begin/end events are recorded into a
// bounded in-memory ring that tools can read; otherwise every call is a single
// predictable branch on a cached flag.
#pragma once

#include <cstdint>
#include <vector>

namespace corvel::trace {

struct Event {
    const char* name;  // a string literal
    bool begin;
    int64_t nanos;
};

// Whether tracing is on for this process.
bool enabled();
// For tests and tools: switch tracing on or off regardless of the environment.
void setEnabled(bool on);

void begin(const char* name);
void end(const char* name);

// The most recent events, oldest first (at most the ring's capacity).
std::vector<Event> recentEvents();
void clearEvents();

// Begin on construction, end on destruction, when tracing is on.
class Scope {
public:
    explicit Scope(const char* name) : name_(enabled() ? name : nullptr)
    {
        if (name_) begin(name_);
    }
    ~Scope()
    {
        if (name_) end(name_);
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    const char* name_;
};

}  // namespace corvel::trace
