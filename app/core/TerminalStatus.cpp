#include "app/core/TerminalStatus.h"

namespace tilebay {

std::string_view toString(TerminalStatus status)
{
    switch (status) {
    case TerminalStatus::waiting: return "waiting";
    case TerminalStatus::running: return "running";
    case TerminalStatus::idle: return "idle";
    case TerminalStatus::unknown: return "unknown";
    }
    return "unknown";
}

std::optional<TerminalStatus> terminalStatusFromString(std::string_view name)
{
    for (TerminalStatus s : allTerminalStatuses)
        if (toString(s) == name) return s;
    return std::nullopt;
}

}  // namespace tilebay
