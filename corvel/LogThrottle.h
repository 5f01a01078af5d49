// Keeps a diagnostic that a program can trigger at will from flooding the log:
// the first occurrence of each distinct line is written at once; a line seen
// again is written at most once per interval, carrying the number of copies
// held back since it was last written.
//
// The table of distinct lines is bounded. Once it is full, every line not in
// it shares one slot, so a stream of ever-new lines is written at most once
// per interval too, with the count of the lines held back.
//
// Composing a line and looking it up allocate nothing once the scratch text
// and the table have grown, so a program that repeats the same fault costs
// little more than the fault itself. Single-threaded, like its terminal.
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
        return submit(now);
    }
    bool write(Nanos now, std::string_view line)
    {
        return write(now, [&](std::string& out) { out.append(line); });
    }

private:
    struct Slot {
        Nanos lastWritten = 0;
        uint64_t suppressed = 0;
    };
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };

    bool submit(Nanos now);
    // Writes the scratch line, with the held-back count when there is one.
    bool writeLine(Slot& slot, Nanos now);

    Nanos interval_;
    size_t maxLines_;
    std::string scratch_;
    std::unordered_map<std::string, Slot, Hash, std::equal_to<>> lines_;
    Slot overflow_;
    bool overflowUsed_ = false;
};

}  // namespace corvel
