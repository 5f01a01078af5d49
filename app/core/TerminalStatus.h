// What a session's screen says about it: it asks the user something (waiting),
// its output is changing (running), it sits at a prompt or has been silent long
// enough (idle), or nothing has been decided yet (unknown). Never saved.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tilebay {

enum class TerminalStatus : unsigned char { waiting, running, idle, unknown };

inline constexpr std::array<TerminalStatus, 4> allTerminalStatuses{
    TerminalStatus::waiting, TerminalStatus::running, TerminalStatus::idle,
    TerminalStatus::unknown};

std::string_view toString(TerminalStatus status);
std::optional<TerminalStatus> terminalStatusFromString(std::string_view name);

}  // namespace tilebay
