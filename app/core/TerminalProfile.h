// A saved recipe for starting an embedded terminal: a name, an optional working
// folder (the home folder when absent) and an optional start command.
#pragma once

#include <optional>
#include <string>

namespace tilebay {

struct TerminalProfile {
    std::string id;  // 14 characters from NanoID::make when the store creates it
    std::string name;
    std::optional<std::string> cwd;
    std::optional<std::string> startCommand;

    bool operator==(const TerminalProfile&) const = default;
};

}  // namespace tilebay
