// The list form the emulator's log lines use for parameters and intermediate
// bytes: decimal values in brackets, separated by a comma and a blank, e.g.
// "[1, 2]" and "[]".
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace corvel {

template <class T>
std::string listForm(std::span<const T> values)
{
    std::string out = "[";
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out += ", ";
        out += std::to_string(values[i]);
    }
    out += "]";
    return out;
}

inline std::string listForm(std::span<const int64_t> values) { return listForm<int64_t>(values); }
inline std::string listForm(std::span<const uint8_t> values) { return listForm<uint8_t>(values); }

}  // namespace corvel
