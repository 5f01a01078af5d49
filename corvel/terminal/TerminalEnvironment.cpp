#include "corvel/terminal/TerminalEnvironment.h"

#include <cstdlib>

namespace corvel {

std::vector<std::string> getEnvironmentVariables(const std::optional<std::string>& termName,
                                                 bool trueColor)
{
    std::vector<std::string> env;
    env.push_back("TERM=" + termName.value_or("xterm-256color"));
    if (trueColor) env.emplace_back("COLORTERM=truecolor");
    env.emplace_back("LANG=en_US.UTF-8");
    // Each inherited variable once; LC_CTYPE is the locale category that
    // decides how the child reads and writes characters.
    for (const char* name : {"LOGNAME", "USER", "DISPLAY", "LC_CTYPE", "HOME"}) {
        if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    }
    return env;
}

}  // namespace corvel
