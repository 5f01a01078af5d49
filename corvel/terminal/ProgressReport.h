// A progress report a program sends with OSC 9 ; 4, as handed to the host.
#pragma once

#include <cstdint>
#include <optional>

namespace corvel {

enum class ProgressReportState : uint8_t {
    remove = 0,
    set = 1,
    error = 2,
    indeterminate = 3,
    pause = 4,
};

// The state with raw value `raw`, or none for any other value.
constexpr std::optional<ProgressReportState> progressReportStateFromRaw(int64_t raw)
{
    if (raw < 0 || raw > 4) return std::nullopt;
    return static_cast<ProgressReportState>(raw);
}

struct ProgressReport {
    ProgressReportState state = ProgressReportState::remove;
    std::optional<uint8_t> progress;  // 0...100 when present

    bool operator==(const ProgressReport&) const = default;
};

}  // namespace corvel
