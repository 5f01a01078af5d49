// Runs one AppleScript through the `osascript` program: the script goes to
// its standard input, the result is read from its standard output (one line
// feed that osascript adds at the end is dropped) and an error from its
// standard error. A run that does not end within the time limit (120 s by
// default, AppleScript's own event time-out) is killed and reaped.
//
// Every failure is written to the log as "Tilebay: iTerm2 AppleScript 오류 — "
// and a description, and gives no value; a missing osascript is logged once
// per runner. Nothing is raised.
//
// Threads: run() blocks its caller and may be called from any one thread at a
// time (the AppleScript queue); the time limit may be changed from any thread.
#pragma once

#include "corvel/platform/Dispatch.h"

#include <atomic>
#include <optional>
#include <string>

namespace tilebay {

class OsascriptRunner {
public:
    static constexpr corvel::Nanos kDefaultTimeLimit = 120'000'000'000;

    explicit OsascriptRunner(std::string program = "osascript",
                             corvel::Nanos timeLimit = kDefaultTimeLimit);

    // The result of `source`, or no value on any failure.
    std::optional<std::string> run(const std::string& source);

    void setTimeLimit(corvel::Nanos limit) { timeLimit_.store(limit, std::memory_order_relaxed); }
    corvel::Nanos timeLimit() const { return timeLimit_.load(std::memory_order_relaxed); }

private:
    const std::string program_;
    std::atomic<corvel::Nanos> timeLimit_;
    std::atomic<bool> missingLogged_{false};
};

}  // namespace tilebay
