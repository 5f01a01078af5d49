// Keeps a diagnostic that a program can trigger at will from flooding the log:
// the first occurrence of each distinct line is written at once; a line seen
// again is written at most once per interval, carrying the number of copies
// held back since it was last written.
//
// The table of distinct lines is bounded. Once it is full, every line not in
// it shares one slot, so a stream of ever-new lines is written at most once
// per interval too, with the count of the lines held back.
//
// The throttle reads no clock: each write is handed the time by its caller
// (the terminal's main-queue clock, the process host's monotonic clock, a
// test's manual one). Composing a line and looking it up allocate nothing
// once the scratch text and the table have grown, so a program that repeats
// the same fault costs little more than the fault itself. Not thread-safe:
// its owner serialises the writes (the terminal by its thread, the process
// host by a mutex).
#pragma once

#include "corvel/platform/Dispatch.h"

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace corvel {

class LogThrottle {
public:
    static constexpr Nanos kDefaultInterval = 1'000'000'000;
    static constexpr size_t kDefaultMaxLines = 256;

    explicit LogThrottle(Nanos interval = kDefaultInterval, size_t maxLines = kDefaultMaxLines)
        : interval_(interval), maxLines_(maxLines)
    {
    }

    // `compose(std::string&)` appends the line to an empty scratch text. The
    // line goes to log::write unless held back; returns whether it was written.
    template <class Compose>
        requires std::invocable<Compose&, std::string&>
    bool write(Nanos now, Compose&& compose)
    {
        scratch_.clear();
        compose(scratch_);
        return submit(now, scratch_);
    }
    bool write(Nanos now, std::string_view line) { return submit(now, line); }

private:
    struct Slot {
        Nanos lastWritten = 0;
        uint64_t suppressed = 0;
    };
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    using Table = std::unordered_map<std::string, Slot, Hash, std::equal_to<>>;

    bool submit(Nanos now, std::string_view line);
    // Writes the line, with the held-back count when there is one.
    static bool admit(Slot& slot, Nanos now, std::string_view line);

    Nanos interval_;
    size_t maxLines_;
    std::string scratch_;
    Table lines_;
    // The entry of the line submitted last, so that a repeat of one line, the
    // usual flood, is found without hashing it. The table only grows and
    // keeps its entries in place, so the pointer stays valid.
    Table::value_type* last_ = nullptr;
    Slot overflow_;
    bool overflowUsed_ = false;
};

}  // namespace corvel
