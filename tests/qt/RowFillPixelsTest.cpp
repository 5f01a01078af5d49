// The fast fills of a row must put down the pixels the plain drawing would:
// straight underlines and strikethroughs filled as rectangles against
// flat-capped strokes of the same lines, and many-colour backgrounds blitted
// line by line against one fill per span, at whole and fractional device
// pixel ratios and over a busy surface.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <cmath>
#include <random>

#include "corvel/qt/RowPainter.h"

using namespace corvel;
using namespace corvel::qt;

namespace {

QImage busySurface(int w, int h, qreal scale)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    std::mt19937 rng(5);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) line[x] = rng() | 0xff000000u;
    }
    image.setDevicePixelRatio(scale);
    return image;
}

ViewLineRun run(int column, int endColumn)
{
    ViewLineRun r;
    r.column = column;
    r.endColumn = endColumn;
    return r;
}

}  // namespace

TEST(RowFillPixelsTest, StraightDecorationsCoverTheirStrokesPixels)
{
    const QColor red(220, 20, 20), blue(20, 20, 220), green(20, 160, 20);
    ViewLineInfo info;
    info.runs.push_back(run(0, 3));
    info.runs.back().style.underline = UnderlineStyle::single;
    info.runs.back().style.underlineColor = red;
    info.runs.push_back(run(3, 5));  // continues the red underline
    info.runs.back().style.underline = UnderlineStyle::single;
    info.runs.back().style.underlineColor = red;
    info.runs.push_back(run(6, 9));
    info.runs.back().style.underline = UnderlineStyle::double_;
    info.runs.back().style.underlineColor = blue;
    info.runs.push_back(run(9, 12));
    info.runs.back().style.strikethrough = true;
    info.runs.back().style.strikethroughColor = green;

    // The runs hold no cells, so no glyph is looked up.
    const QFont font(QStringLiteral("DejaVu Sans Mono"));
    GlyphRunCache glyphs({font, font, font, font});
    for (const qreal scale : {1.0, 1.25, 1.5, 2.0}) {
        for (const qreal thickness : {0.6, 1.0, 1.3, 2.0}) {
            for (int eighth = 0; eighth < 16; ++eighth) {
                RowTextMetrics metrics;
                metrics.descentAndLeading = 4;
                metrics.underlinePosition = eighth / 8.0;
                metrics.underlineThickness = thickness;
                metrics.xHeight.fill(7 + eighth / 16.0);
                metrics.lineThickness.fill(thickness);
                const int cw = static_cast<int>(std::ceil(8 * scale));
                const int ch = static_cast<int>(std::ceil(17 * scale));
                const RowGeometry row{ch / scale, cw / scale, ch / scale, 12, 12 * cw / scale, scale};
                QImage fast = busySurface(cw * 12, ch * 3, scale);
                QImage stroked = fast;
                {
                    QPainter painter(&fast);
                    RowPainter::drawText(painter, info, row, glyphs, metrics, Qt::black);
                }
                {
                    // The same lines stroked with a flat-capped pen.
                    QPainter painter(&stroked);
                    painter.setRenderHint(QPainter::Antialiasing, false);
                    const auto stroke = [&](const QColor& color, qreal width, qreal x0, qreal x1, qreal y) {
                        QPen pen(color);
                        pen.setWidthF(width);
                        pen.setCapStyle(Qt::FlatCap);
                        painter.setPen(pen);
                        painter.drawLine(QLineF(x0, y, x1, y));
                    };
                    const qreal baseline = row.top + row.cellHeight - metrics.descentAndLeading;
                    const qreal w = std::max(0.5, std::round(scale * thickness) / scale);
                    const qreal y = baseline + metrics.underlinePosition;
                    stroke(red, w, 0, 5 * row.cellWidth, y);
                    stroke(blue, w, 6 * row.cellWidth, 9 * row.cellWidth, y);
                    stroke(blue, w, 6 * row.cellWidth, 9 * row.cellWidth, y + w + 1);
                    stroke(green, w, 9 * row.cellWidth, 12 * row.cellWidth, baseline - (metrics.xHeight[0] + w) / 2);
                }
                EXPECT_TRUE(fast == stroked) << "scale " << scale << " thickness " << thickness << " position "
                                             << metrics.underlinePosition;
            }
        }
    }
}

TEST(RowFillPixelsTest, ManyColourBackgroundsMatchOneFillPerSpan)
{
    // Ten spans of different colours, the last reaching the final column, so
    // the row is blitted and filled to the view's edge: with a gap and a
    // translucent span, and all opaque without gaps.
    ViewLineInfo info;
    const QColor colors[] = {QColor(200, 0, 0),   QColor(0, 200, 0),    QColor(0, 0, 200),   QColor(200, 200, 0),
                             QColor(0, 200, 200), QColor(200, 0, 200),  QColor(90, 90, 90, 128), QColor(10, 20, 30),
                             QColor(250, 250, 250), QColor(120, 60, 30)};
    const int cols = 20;
    for (int i = 0; i < 10; ++i) {
        info.runs.push_back(run(2 * i, 2 * i + 2));
        info.runs.back().style.background = colors[i];
    }
    ViewLineInfo opaque = info;
    opaque.runs[6].style.background = QColor(90, 90, 90);
    info.runs[3].style.background = QColor();  // a gap: not filled
    for (const auto& [line, scale] : {std::pair(&info, 1.0), std::pair(&info, 1.5), std::pair(&info, 2.0),
                                      std::pair(&opaque, 1.0), std::pair(&opaque, 2.0)}) {
        const int cw = static_cast<int>(std::ceil(7 * scale));
        const int ch = static_cast<int>(std::ceil(15 * scale));
        const int extra = 5;  // the view is wider than the grid
        const RowGeometry row{ch / scale, cw / scale, ch / scale, cols, (cols * cw + extra) / scale, scale};
        QImage blitted = busySurface(cols * cw + extra, ch * 3, scale);
        QImage filled = blitted;
        {
            QPainter painter(&blitted);
            RowPainter::fillBackgrounds(painter, *line, row);
        }
        {
            QPainter painter(&filled);
            for (const ViewLineRun& r : line->runs) {
                if (!r.style.background.isValid()) continue;
                const qreal right = r.endColumn >= cols ? row.rowWidth : r.endColumn * row.cellWidth;
                painter.fillRect(QRectF(r.column * row.cellWidth, row.top, right - r.column * row.cellWidth,
                                        row.cellHeight),
                                 r.style.background);
            }
        }
        EXPECT_TRUE(blitted == filled) << "scale " << scale << (line == &opaque ? " opaque" : "");
    }
}
