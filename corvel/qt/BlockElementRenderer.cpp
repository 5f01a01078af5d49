// Geometry of the block elements in device pixels.
#include "corvel/qt/BlockElementRenderer.h"

#include <algorithm>
#include <cmath>

namespace corvel::qt::BlockElementRenderer {

void draw(QPainter& painter, const QRect& itemPx, std::span<const BlockElementRect> rects, const QColor& color,
          bool antiAlias)
{
    if (rects.empty()) return;
    if (painter.testRenderHint(QPainter::Antialiasing) != antiAlias) {
        painter.setRenderHint(QPainter::Antialiasing, antiAlias);
    }
    const double eighthAcross = itemPx.width() * 0.125;
    const double eighthDown = itemPx.height() * 0.125;
    const double left0 = itemPx.x();
    const double top0 = itemPx.y();
    for (const BlockElementRect& r : rects) {
        double left = left0 + eighthAcross * r.x0;
        double right = left0 + eighthAcross * r.x1;
        double top = top0 + eighthDown * r.y0;
        double bottom = top0 + eighthDown * r.y1;
        if (!antiAlias) {
            left = std::floor(left);
            top = std::floor(top);
            right = std::ceil(right);
            bottom = std::ceil(bottom);
        }
        const double width = std::max(right - left, 0.0);
        const double height = std::max(bottom - top, 0.0);
        if (width <= 0 || height <= 0) continue;
        QColor fill = color;
        fill.setAlphaF(static_cast<float>(std::clamp(color.alphaF() * coverage(r.alpha), 0.0, 1.0)));
        if (antiAlias) {
            painter.fillRect(QRectF(left, top, width, height), fill);
        } else {
            painter.fillRect(QRect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(width),
                                   static_cast<int>(height)),
                             fill);
        }
    }
}

}  // namespace corvel::qt::BlockElementRenderer
