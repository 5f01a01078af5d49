// This process's memory as Linux reports it in /proc/self/status, for tests
// that check work stays within a memory bound.
#pragma once

#include <fstream>
#include <string>

namespace corvel::testing {

// The value of a field such as "VmRSS:" (resident now) or "VmHWM:" (the peak),
// in bytes; 0 when it cannot be read.
inline size_t processMemory(const std::string& field)
{
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field, 0) == 0) return std::stoull(line.substr(field.size())) * 1024;
    return 0;
}

}  // namespace corvel::testing
