#include "corvel/qt/ColorHelpers.h"

#include <QRect>

#include <algorithm>
#include <cstdio>
#include <string>

namespace corvel::colors {

DeviceColor inverseColor(const DeviceColor& color)
{
    return {1.0 - color.red, 1.0 - color.green, 1.0 - color.blue, color.alpha};
}

DeviceColor dimmedColor(const DeviceColor& color, const DeviceColor& other)
{
    return {(color.red + other.red) / 2.0, (color.green + other.green) / 2.0, (color.blue + other.blue) / 2.0,
            color.alpha};
}

namespace {

uint16_t toComponent(double value)
{
    // n / 65535 times 65535 can land a hair below n in doubles; the nudge is
    // far smaller than the 0.5 a rounding would add, so truncation still
    // turns 0.5 into 32767.
    const double scaled = std::clamp(value, 0.0, 1.0) * 65535.0 + 1e-7;
    return static_cast<uint16_t>(std::min(scaled, 65535.0));
}

}  // namespace

Color getTerminalColor(const DeviceColor& color)
{
    return Color(toComponent(color.red), toComponent(color.green), toComponent(color.blue));
}

DeviceColor deviceColor(const Color& color)
{
    return {color.red / 65535.0, color.green / 65535.0, color.blue / 65535.0, 1.0};
}

void pending(std::string_view text, const QRegion& region)
{
    std::string out(text);
    out += "\n   -> ";
    for (const QRect& rect : region) {
        out += "(" + std::to_string(rect.x()) + ", " + std::to_string(rect.y()) + ", " +
               std::to_string(rect.width()) + ", " + std::to_string(rect.height()) + ") ";
    }
    out += '\n';
    std::fputs(out.c_str(), stdout);
}

}  // namespace corvel::colors
