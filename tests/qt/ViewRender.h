// Rendering a TerminalView's grid (without its caret, scroll bar and progress
// strip) into an image of device pixels, and reading cells of it back.
#pragma once

#include "corvel/qt/TerminalView.h"

#include <QImage>
#include <QPainter>

#include <cmath>

namespace corvel::testing {

// The whole view, or `dirty` of it over `base` when given.
inline QImage renderView(TerminalView& view, std::optional<QRect> dirty = std::nullopt, QImage base = {})
{
    const qreal dpr = view.devicePixelRatioF();
    QImage image = base;
    if (image.isNull()) {
        image = QImage(QSize(std::lround(view.width() * dpr), std::lround(view.height() * dpr)),
                       QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::magenta);
    }
    image.setDevicePixelRatio(dpr);
    QPainter painter(&image);
    view.drawTerminalContents(painter, dirty.value_or(view.rect()));
    return image;
}

// The device-pixel rectangle of the cell at (col, screen row).
inline QRect cellPixels(const TerminalView& view, int col, int row, int width = 1)
{
    const qreal dpr = view.devicePixelRatioF();
    const QSizeF cell = *view.cellDimension();
    const int cw = static_cast<int>(std::lround(cell.width() * dpr));
    const int ch = static_cast<int>(std::lround(cell.height() * dpr));
    return QRect(cw * col, ch * row, cw * width, ch);
}

// Pixels of `area` within `tolerance` of `color`.
inline int countColor(const QImage& image, const QRect& area, QColor color, int tolerance = 24)
{
    int count = 0;
    const QRgb want = color.rgb();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb c = image.pixel(x, y);
            if (std::abs(qRed(c) - qRed(want)) <= tolerance && std::abs(qGreen(c) - qGreen(want)) <= tolerance &&
                std::abs(qBlue(c) - qBlue(want)) <= tolerance)
                ++count;
        }
    }
    return count;
}

}  // namespace corvel::testing
