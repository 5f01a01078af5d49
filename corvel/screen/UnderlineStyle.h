// How a cell's underline is drawn. The raw values travel in attributed text
// and in the renderer's cell data, so they are fixed.
#pragma once

#include <cstdint>
#include <optional>

namespace corvel {

enum class UnderlineStyle : uint8_t {
    none = 0,
    single = 1,
    double_ = 2,
    curly = 3,
    dotted = 4,
    dashed = 5,
};

// The style with the given raw value, or nothing for a value outside 0...5.
constexpr std::optional<UnderlineStyle> underlineStyleFromRawValue(int rawValue)
{
    if (rawValue < 0 || rawValue > 5) return std::nullopt;
    return static_cast<UnderlineStyle>(rawValue);
}

constexpr uint8_t rawValue(UnderlineStyle style) { return static_cast<uint8_t>(style); }

}  // namespace corvel
