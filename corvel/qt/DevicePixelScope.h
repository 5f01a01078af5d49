// Switches a QPainter to device-pixel coordinates for the lifetime of the
// scope: the painter's state is saved, it is scaled by 1/scale (so one unit is
// one device pixel of a surface whose device pixel ratio is `scale`), and the
// state is restored when the scope ends. The custom-glyph renderers work in
// whole device pixels inside such a scope.
#pragma once

#include <QPainter>

namespace corvel::qt {

class DevicePixelScope {
public:
    DevicePixelScope(QPainter& painter, qreal scale) : painter_(painter)
    {
        painter_.save();
        if (scale > 0 && scale != 1.0) painter_.scale(1.0 / scale, 1.0 / scale);
    }
    ~DevicePixelScope() { painter_.restore(); }
    DevicePixelScope(const DevicePixelScope&) = delete;
    DevicePixelScope& operator=(const DevicePixelScope&) = delete;

private:
    QPainter& painter_;
};

}  // namespace corvel::qt
