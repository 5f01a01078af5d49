// A colour of the view in device RGB with double components (0...1) and an
// alpha. The view keeps its colours in this form and converts to QColor only
// to paint, so arithmetic on components (inverting, dimming, the 16-bit
// conversions to and from the terminal's Color) is exact: QColor would round
// each component to 16 bits on the way in.
#pragma once

#include <QColor>

namespace corvel {

struct DeviceColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    bool operator==(const DeviceColor&) const = default;

    QColor toQColor() const { return QColor::fromRgbF(float(red), float(green), float(blue), float(alpha)); }
    static DeviceColor fromQColor(const QColor& color)
    {
        const QColor rgb = color.toRgb();
        return {rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF()};
    }
};

}  // namespace corvel
