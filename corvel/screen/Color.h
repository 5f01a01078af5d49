// The colour value of the terminal: default foreground and background, the
// 256-entry palette, the cursor colour and the colours that programs set and
// query. Components are 16-bit; colours given as 8-bit values are stored
// multiplied by 257, so 0xFF becomes 0xFFFF.
#pragma once

#include "corvel/screen/Ansi256PaletteStrategy.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvel {

struct Color {
    uint16_t red = 0;
    uint16_t green = 0;
    uint16_t blue = 0;

    constexpr Color() = default;
    constexpr Color(uint16_t red, uint16_t green, uint16_t blue) : red(red), green(green), blue(blue) {}

    bool operator==(const Color&) const = default;

    static const Color defaultForeground;
    static const Color defaultBackground;
    // The built-in 16 base colours.
    static const std::array<Color, 16> terminalAppColors;

    // "rgb:rrrr/gggg/bbbb" in lower-case hexadecimal, as colour query replies carry it.
    std::string formatAsXcolor() const;

    // Reads "#" followed by 3, 6, 9 or 12 hexadecimal digits, or "rgb:" with three
    // "/"-separated components of up to four digits each. Anything else is absent.
    static std::optional<Color> parseColor(std::span<const uint8_t> data);
    static std::optional<Color> parseColor(std::string_view text)
    {
        return parseColor({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    }

    // The initial colours followed by the 6x6x6 cube and the 24 greys.
    static std::vector<Color> generateXtermPalette(std::span<const Color> initialColors);
    // The initial colours followed by a cube and greys interpolated in L*a*b*
    // between the base colours; the background and foreground default to base
    // colours 0 and 7. Fewer than 8 initial colours give the xterm palette.
    static std::vector<Color> generateBase16LabPalette(std::span<const Color> initialColors,
                                                       std::optional<Color> backgroundColor = std::nullopt,
                                                       std::optional<Color> foregroundColor = std::nullopt);

    // A colour in CIE L*a*b* with the D65 white point. Conversions go through
    // 8-bit sRGB; out-of-gamut results are clamped per channel.
    struct LabColor {
        double l = 0;
        double a = 0;
        double b = 0;

        static LabColor from(const Color& color);
        Color to() const;
    };
};

namespace detail {
constexpr Color color8(uint8_t r, uint8_t g, uint8_t b)
{
    return Color(uint16_t(r * 257), uint16_t(g * 257), uint16_t(b * 257));
}
}  // namespace detail

inline constexpr Color Color::defaultForeground{35389, 35389, 35389};
inline constexpr Color Color::defaultBackground{0, 0, 0};
inline constexpr std::array<Color, 16> Color::terminalAppColors{
    detail::color8(0, 0, 0),       detail::color8(194, 54, 33),   detail::color8(37, 188, 36),
    detail::color8(173, 173, 39),  detail::color8(73, 46, 225),   detail::color8(211, 56, 211),
    detail::color8(51, 187, 200),  detail::color8(203, 204, 205), detail::color8(129, 131, 131),
    detail::color8(252, 57, 31),   detail::color8(49, 231, 34),   detail::color8(234, 236, 35),
    detail::color8(88, 51, 255),   detail::color8(249, 53, 248),  detail::color8(20, 240, 240),
    detail::color8(233, 235, 235),
};

}  // namespace corvel

template <>
struct std::hash<corvel::Color> {
    size_t operator()(const corvel::Color& c) const noexcept
    {
        return std::hash<uint64_t>{}((uint64_t(c.red) << 32) | (uint64_t(c.green) << 16) | c.blue);
    }
};
