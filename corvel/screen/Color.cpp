#include "corvel/screen/Color.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace corvel {

std::string Color::formatAsXcolor() const
{
    char text[32];
    std::snprintf(text, sizeof text, "rgb:%04x/%04x/%04x", red, green, blue);
    return text;
}

namespace {

int hexValue(uint8_t c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Widens a component of `digits` hexadecimal digits to 16 bits.
uint16_t scaleComponent(uint32_t value, int digits)
{
    switch (digits) {
    case 1: return uint16_t(value * 0x1010);
    case 2: return uint16_t(value * 257);
    case 3: return uint16_t((value << 4) | (value >> 4));
    default: return uint16_t(value);
    }
}

std::optional<Color> parseHashForm(std::span<const uint8_t> digits)
{
    const size_t n = digits.size();
    if (n != 3 && n != 6 && n != 9 && n != 12) return std::nullopt;
    const int per = int(n / 3);
    uint32_t values[3] = {0, 0, 0};
    for (size_t i = 0; i < n; ++i) {
        const int v = hexValue(digits[i]);
        if (v < 0) return std::nullopt;
        uint32_t& value = values[i / per];
        value = (value << 4) | uint32_t(v);
    }
    return Color(scaleComponent(values[0], per), scaleComponent(values[1], per),
                 scaleComponent(values[2], per));
}

std::optional<Color> parseRgbForm(std::span<const uint8_t> rest)
{
    uint32_t values[3] = {0, 0, 0};
    int maxDigits = 0;
    size_t pos = 0;
    for (uint32_t& value : values) {
        int digits = 0;
        while (digits < 4 && pos < rest.size()) {
            const int v = hexValue(rest[pos]);
            if (v < 0) break;
            value = (value << 4) | uint32_t(v);
            ++digits;
            ++pos;
        }
        if (pos < rest.size() && rest[pos] == '/') ++pos;
        maxDigits = std::max(maxDigits, digits);
    }
    if (maxDigits == 0) return std::nullopt;
    return Color(scaleComponent(values[0], maxDigits), scaleComponent(values[1], maxDigits),
                 scaleComponent(values[2], maxDigits));
}

}  // namespace

std::optional<Color> Color::parseColor(std::span<const uint8_t> data)
{
    if (!data.empty() && data[0] == '#') return parseHashForm(data.subspan(1));
    constexpr std::string_view rgbPrefix = "rgb:";
    if (data.size() >= rgbPrefix.size() &&
        std::equal(rgbPrefix.begin(), rgbPrefix.end(), data.begin()))
        return parseRgbForm(data.subspan(rgbPrefix.size()));
    return std::nullopt;
}

std::vector<Color> Color::generateXtermPalette(std::span<const Color> initialColors)
{
    static constexpr uint8_t levels[6] = {0, 95, 135, 175, 215, 255};
    std::vector<Color> result(initialColors.begin(), initialColors.end());
    result.reserve(initialColors.size() + 216 + 24);
    for (int i = 0; i < 216; ++i)
        result.push_back(detail::color8(levels[(i / 36) % 6], levels[(i / 6) % 6], levels[i % 6]));
    for (int i = 0; i < 24; ++i) {
        const auto v = uint8_t(8 + 10 * i);
        result.push_back(detail::color8(v, v, v));
    }
    return result;
}

namespace {

using LabColor = Color::LabColor;

LabColor lerp(const LabColor& from, const LabColor& to, double t)
{
    return {from.l + (to.l - from.l) * t, from.a + (to.a - from.a) * t, from.b + (to.b - from.b) * t};
}

}  // namespace

std::vector<Color> Color::generateBase16LabPalette(std::span<const Color> initialColors,
                                                   std::optional<Color> backgroundColor,
                                                   std::optional<Color> foregroundColor)
{
    if (initialColors.size() < 8) return generateXtermPalette(initialColors);

    LabColor base[8];
    for (int i = 0; i < 8; ++i)
        base[i] = LabColor::from(initialColors[i]);
    const LabColor bg = backgroundColor ? LabColor::from(*backgroundColor) : base[0];
    const LabColor fg = foregroundColor ? LabColor::from(*foregroundColor) : base[7];

    std::vector<Color> result(initialColors.begin(), initialColors.end());
    result.reserve(initialColors.size() + 216 + 24);
    for (int r = 0; r < 6; ++r) {
        const double tr = r / 5.0;
        // The four edges of the cube that run along red.
        const LabColor g0b0 = lerp(bg, base[1], tr);
        const LabColor g1b0 = lerp(base[2], base[3], tr);
        const LabColor g0b1 = lerp(base[4], base[5], tr);
        const LabColor g1b1 = lerp(base[6], fg, tr);
        for (int g = 0; g < 6; ++g) {
            const double tg = g / 5.0;
            const LabColor b0 = lerp(g0b0, g1b0, tg);
            const LabColor b1 = lerp(g0b1, g1b1, tg);
            for (int b = 0; b < 6; ++b)
                result.push_back(lerp(b0, b1, b / 5.0).to());
        }
    }
    for (int i = 1; i <= 24; ++i)
        result.push_back(lerp(bg, fg, i / 25.0).to());
    return result;
}

Color::LabColor Color::LabColor::from(const Color& color)
{
    auto linear = [](uint16_t c16) {
        const double c8 = std::min(255.0, std::round(c16 / 65535.0 * 255.0));
        const double c = c8 / 255.0;
        return c > 0.04045 ? std::pow((c + 0.055) / 1.055, 2.4) : c / 12.92;
    };
    const double r = linear(color.red);
    const double g = linear(color.green);
    const double b = linear(color.blue);

    const double x = (0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / 0.95047;
    const double y = 0.2126729 * r + 0.7151522 * g + 0.072175 * b;
    const double z = (0.0193339 * r + 0.119192 * g + 0.9503041 * b) / 1.08883;

    auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0; };
    const double fx = f(x), fy = f(y), fz = f(z);
    return {116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

Color Color::LabColor::to() const
{
    const double fy = (l + 16.0) / 116.0;
    const double fx = fy + a / 500.0;
    const double fz = fy - b / 200.0;

    auto t = [](double f) {
        const double cube = f * f * f;
        return cube > 0.008856 ? cube : (f - 16.0 / 116.0) / 7.787;
    };
    const double x = t(fx) * 0.95047;
    const double y = t(fy);
    const double z = t(fz) * 1.08883;

    const double r = 3.2404542 * x - 1.5371385 * y - 0.4985314 * z;
    const double g = -0.969266 * x + 1.8760108 * y + 0.041556 * z;
    const double bl = 0.0556434 * x - 0.2040259 * y + 1.0572252 * z;

    auto channel = [](double c) {
        c = c > 0.0031308 ? 1.055 * std::pow(c, 1.0 / 2.4) - 0.055 : 12.92 * c;
        if (!(c > 0)) return uint16_t(0);  // also catches NaN
        if (c >= 1) return uint16_t(255 * 257);
        return uint16_t(int(c * 255.0 + 0.5) * 257);
    };
    return Color(channel(r), channel(g), channel(bl));
}

}  // namespace corvel
