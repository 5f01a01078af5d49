// Glyph rasterizing with QPainter into a transparent premultiplied image.
#include "corvel/gl/GlyphRasterizer.h"

#include <QGlyphRun>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstring>
#include <limits>

namespace corvel::gl {

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "premultiplied ARGB32 is BGRA in memory only on little-endian machines");

std::optional<GlyphBitmap> GlyphRasterizer::rasterize(const QRawFont& font, quint32 glyph)
{
    return rasterize(font, glyph, 1.0, 1.0);
}

std::optional<GlyphBitmap> GlyphRasterizer::rasterize(const QRawFont& font, quint32 glyph, double scaleX,
                                                      double scaleY)
{
    if (!font.isValid() || !(scaleX > 0) || !(scaleY > 0)) return std::nullopt;
    const QRectF unscaled = font.boundingRect(glyph);  // y downwards from the baseline
    const QRectF bounds(unscaled.left() * scaleX, unscaled.top() * scaleY, unscaled.width() * scaleX,
                        unscaled.height() * scaleY);
    if (!(bounds.width() > 0) || !(bounds.height() > 0)) return std::nullopt;

    // Bounds with y upwards from the baseline.
    const double minX = bounds.left();
    const double minY = -bounds.bottom();
    const double maxX = bounds.right();
    const double maxY = -bounds.top();
    const double x0 = std::floor(minX);
    const double y0 = std::floor(minY);
    const double w = std::ceil(maxX) - x0;
    const double h = std::ceil(maxY) - y0;
    // A corrupt font can report absurd bounds; nothing sensible fits an atlas
    // beyond this anyway.
    constexpr double limit = 4096;
    if (!(w >= 1) || !(h >= 1) || w > limit || h > limit) return std::nullopt;
    const int width = static_cast<int>(w);
    const int height = static_cast<int>(h);

    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return std::nullopt;
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setRenderHint(QPainter::TextAntialiasing, true);
        painter.setPen(Qt::white);
        QGlyphRun run;
        run.setRawFont(font);
        run.setGlyphIndexes({glyph});
        // The bounds' lower-left corner lands on the image's lower-left pixel.
        painter.translate(-x0, height + y0);
        painter.scale(scaleX, scaleY);
        run.setPositions({QPointF(0, 0)});
        painter.drawGlyphRun(QPointF(0, 0), run);
    }

    GlyphBitmap bitmap;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.bearingX = static_cast<int>(x0);
    bitmap.bearingY = static_cast<int>(y0);
    bitmap.pixels.resize(static_cast<std::size_t>(width) * height * 4);
    // Format_ARGB32_Premultiplied is B, G, R, A in memory on little-endian
    // machines, which is the bitmap's byte order.
    for (int y = 0; y < height; ++y)
        std::memcpy(&bitmap.pixels[static_cast<std::size_t>(y) * width * 4], image.constScanLine(y),
                    static_cast<std::size_t>(width) * 4);
    for (std::size_t i = 0; i < bitmap.pixels.size(); i += 4) {
        const auto* p = &bitmap.pixels[i];
        if (p[0] != p[1] || p[1] != p[2]) {
            bitmap.isColor = true;
            break;
        }
    }
    return bitmap;
}

}  // namespace corvel::gl
