// What an embedded pane runs: the executable, its argument zero and further
// arguments, the whole environment and the working folder. A value; the pane
// view hands it to its process host unchanged.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tilebay {

struct LaunchCommand {
    std::string executable;
    // argv[0]; the process host puts it before `args`.
    std::string execName;
    std::vector<std::string> args;
    // Every variable as "NAME=value".
    std::vector<std::string> environment;
    // Absent: the application's own working folder.
    std::optional<std::string> currentDirectory;

    bool operator==(const LaunchCommand&) const = default;
};

}  // namespace tilebay
