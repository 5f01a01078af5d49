// The environment a terminal's child gets when its host names none.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvel {

// NAME=value entries, in this order: TERM (termName, else "xterm-256color"),
// COLORTERM=truecolor when trueColor is set, LANG=en_US.UTF-8, then the
// host's own LOGNAME, USER, DISPLAY, LC_CTYPE and HOME where they are defined.
std::vector<std::string> getEnvironmentVariables(const std::optional<std::string>& termName,
                                                 bool trueColor);

}  // namespace corvel
