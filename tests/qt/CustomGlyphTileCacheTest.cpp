// The fast paths of row drawing must put down exactly the pixels the plain
// drawing does, over a busy surface where any stray or differently blended
// pixel shows: cached box-drawing and block tiles against their geometry,
// straight decorations filled as rectangles against flat-capped strokes, and
// many-colour backgrounds blitted line by line against one fill per span.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <cmath>
#include <random>

#include "corvel/qt/BlockElementMapping.h"
#include "corvel/qt/BoxDrawingRenderer.h"
#include "corvel/qt/CustomGlyphTileCache.h"
#include "corvel/qt/RowPainter.h"

using namespace corvel;
using namespace corvel::qt;

namespace {

QImage busySurface(int w, int h, qreal scale)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    std::mt19937 rng(11);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) line[x] = rng() | 0xff000000u;
    }
    image.setDevicePixelRatio(scale);
    return image;
}

// Every character of both blocks, and a wide one of each, in row 1.
QImage drawAllCustomGlyphs(int cw, int ch, qreal scale, const QColor& color, BufferLine::RenderLineMode mode,
                           CustomGlyphTileCache* tiles)
{
    std::vector<BoxDrawingRenderItem> boxes;
    std::vector<BlockElementRenderItem> blocks;
    int col = 0;
    for (char32_t cp = 0x2500; cp <= 0x257F; ++cp) boxes.push_back({col++, 1, cp, color});
    boxes.push_back({col, 2, 0x253C, color});
    col += 2;
    for (char32_t cp = 0x2580; cp <= 0x259F; ++cp)
        blocks.push_back({col++, 1, cp, *BlockElementMapping::rects(cp), color});
    blocks.push_back({col, 2, 0x2588, *BlockElementMapping::rects(0x2588), color});
    col += 2;
    QImage image = busySurface(cw * col, ch * 2, scale);
    const RowGeometry row{ch / scale, cw / scale, ch / scale, col, cw * col / scale, scale};
    QPainter painter(&image);
    const bool saved = RowPainter::applyLineTransform(painter, mode, row);
    RowPainter::drawBoxDrawings(painter, boxes, row, BoxDrawingRenderer::baseThicknessPx(scale, 1.0), tiles);
    RowPainter::drawBlockElements(painter, blocks, row, false, tiles);
    if (saved) painter.restore();
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

TEST(CustomGlyphTileCacheTest, TilesDrawTheSamePixelsAsTheGeometry)
{
    struct Case {
        int cw, ch;
        qreal scale;
    };
    for (const Case& c : {Case{8, 17, 1.0}, Case{7, 15, 1.0}, Case{10, 20, 1.0}, Case{16, 34, 2.0},
                          Case{17, 35, 2.0}, Case{12, 27, 1.5}}) {
        for (const QColor& color : {QColor(20, 200, 90), QColor(200, 40, 40, 128)}) {
            for (const auto mode : {BufferLine::RenderLineMode::single, BufferLine::RenderLineMode::doubleWidth}) {
                CustomGlyphTileCache tiles;
                const QImage direct = drawAllCustomGlyphs(c.cw, c.ch, c.scale, color, mode, nullptr);
                // Keys are noted on the first pass, rendered on the second
                // and blitted from the cache on the third.
                const QImage first = drawAllCustomGlyphs(c.cw, c.ch, c.scale, color, mode, &tiles);
                const QImage rendered = drawAllCustomGlyphs(c.cw, c.ch, c.scale, color, mode, &tiles);
                const QImage cached = drawAllCustomGlyphs(c.cw, c.ch, c.scale, color, mode, &tiles);
                const std::string what = std::to_string(c.cw) + "x" + std::to_string(c.ch) + " scale " +
                                         std::to_string(c.scale) + " alpha " + std::to_string(color.alpha()) +
                                         (mode == BufferLine::RenderLineMode::single ? " single" : " double");
                EXPECT_TRUE(first == direct) << what;
                EXPECT_TRUE(rendered == direct) << what;
                EXPECT_TRUE(cached == direct) << what;
                if (mode == BufferLine::RenderLineMode::single && color.alpha() == 255) {
                    EXPECT_GT(tiles.hits(), 0u) << what;
                }
            }
        }
    }
}

TEST(CustomGlyphTileCacheTest, OnlyWhollyCoveredTilesAreHandedOutCutToTheirPaintedPart)
{
    CustomGlyphTileCache tiles;
    // The first request for a key is drawn directly; the second renders.
    const auto box = [&](char32_t cp, QSize size, qreal scale, const QColor& color, int base) {
        EXPECT_EQ(tiles.boxTile(cp, size, scale, color, base), nullptr);
        return tiles.boxTile(cp, size, scale, color, base);
    };
    const auto block = [&](char32_t cp, bool antiAlias) {
        const auto rects = *BlockElementMapping::rects(cp);
        EXPECT_EQ(tiles.blockTile(cp, QSize(8, 17), rects, Qt::black, antiAlias), nullptr);
        return tiles.blockTile(cp, QSize(8, 17), rects, Qt::black, antiAlias);
    };
    const QColor black(Qt::black);
    const auto* cross = box(0x253C, QSize(16, 34), 2.0, black, 2);
    ASSERT_NE(cross, nullptr);
    EXPECT_EQ(cross->offset, QPoint(0, 0));
    EXPECT_EQ(cross->image.size(), QSize(16, 34));
    const auto* line = box(0x2500, QSize(16, 34), 2.0, black, 2);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->offset, QPoint(0, 16));
    EXPECT_EQ(line->image.size(), QSize(16, 2));
    EXPECT_FALSE(line->image.hasAlphaChannel());  // solid: copied, not blended
    EXPECT_NE(block(0x2580, false), nullptr);
    // Rounded corners, shades, anti-aliased edges and translucent colours
    // blend, so they are drawn directly.
    EXPECT_EQ(box(0x256D, QSize(16, 34), 2.0, black, 2), nullptr);
    EXPECT_EQ(block(0x2592, false), nullptr);
    EXPECT_EQ(block(0x2584, true), nullptr);
    EXPECT_EQ(box(0x2500, QSize(8, 17), 1.0, QColor(0, 0, 0, 100), 1), nullptr);
    // Answers are remembered; another colour or stroke is another tile.
    const uint64_t misses = tiles.misses();
    EXPECT_EQ(tiles.boxTile(0x253C, QSize(16, 34), 2.0, black, 2), cross);
    EXPECT_EQ(tiles.boxTile(0x256D, QSize(16, 34), 2.0, black, 2), nullptr);
    EXPECT_EQ(tiles.misses(), misses);
    EXPECT_NE(box(0x253C, QSize(16, 34), 2.0, QColor(Qt::red), 2), cross);
    EXPECT_NE(box(0x253C, QSize(16, 34), 2.0, black, 3), cross);
    // An ever-changing palette (true-colour half blocks) renders no tile for
    // a colour seen once; a full cache draws further keys directly.
    const size_t held = tiles.size();
    for (uint32_t i = 0; i < 3 * CustomGlyphTileCache::maxEntries; ++i)
        EXPECT_EQ(tiles.boxTile(0x2500, QSize(4, 6), 1.0, QColor::fromRgb(0xff000000u | i), 1), nullptr);
    EXPECT_EQ(tiles.size(), held);
    for (uint32_t i = 0; i < CustomGlyphTileCache::maxEntries + 10; ++i)
        box(0x2500, QSize(4, 6), 1.0, QColor::fromRgb(i), 1);
    EXPECT_EQ(tiles.size(), CustomGlyphTileCache::maxEntries);
    EXPECT_EQ(box(0x2502, QSize(4, 6), 1.0, black, 1), nullptr);
    tiles.clear();
    EXPECT_NE(box(0x2502, QSize(4, 6), 1.0, black, 1), nullptr);
}

TEST(RowFillPixelsTest, StraightDecorationsCoverTheirStrokesPixels)
{
    const QColor red(220, 20, 20), blue(20, 20, 220), green(20, 160, 20);
    ViewLineInfo info;  // runs without cells: decorations only
    for (const auto& [from, to, style, color] :
         {std::tuple(0, 3, UnderlineStyle::single, red), std::tuple(3, 5, UnderlineStyle::single, red),
          std::tuple(6, 9, UnderlineStyle::double_, blue)}) {
        info.runs.push_back(run(from, to));
        info.runs.back().style.underline = style;
        info.runs.back().style.underlineColor = color;
    }
    info.runs.push_back(run(9, 12));
    info.runs.back().style.strikethrough = true;
    info.runs.back().style.strikethroughColor = green;
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
                QPainter painter(&stroked);
                const auto stroke = [&](const QColor& color, qreal width, int col0, int col1, qreal y) {
                    QPen pen(color);
                    pen.setWidthF(width);
                    pen.setCapStyle(Qt::FlatCap);
                    painter.setPen(pen);
                    painter.drawLine(QLineF(col0 * row.cellWidth, y, col1 * row.cellWidth, y));
                };
                const qreal baseline = row.top + row.cellHeight - metrics.descentAndLeading;
                const qreal w = std::max(0.5, std::round(scale * thickness) / scale);
                const qreal y = baseline + metrics.underlinePosition;
                stroke(red, w, 0, 5, y);
                stroke(blue, w, 6, 9, y);
                stroke(blue, w, 6, 9, y + w + 1);
                stroke(green, w, 9, 12, baseline - (metrics.xHeight[0] + w) / 2);
                painter.end();
                EXPECT_TRUE(fast == stroked) << "scale " << scale << " thickness " << thickness << " position "
                                             << metrics.underlinePosition;
            }
        }
    }
}

TEST(RowFillPixelsTest, ManyColourBackgroundsMatchOneFillPerSpan)
{
    // Ten spans, the last reaching the final column of a view wider than the
    // grid: with a gap and a translucent span, and all opaque without gaps.
    const int cols = 20;
    ViewLineInfo opaque;
    for (int i = 0; i < 10; ++i) {
        opaque.runs.push_back(run(2 * i, 2 * i + 2));
        opaque.runs.back().style.background = QColor::fromHsv(36 * i, 200, 100 + 15 * i);
    }
    ViewLineInfo gaps = opaque;
    gaps.runs[3].style.background = QColor();
    gaps.runs[6].style.background = QColor(90, 90, 90, 128);
    for (const auto& [line, scale] : {std::pair(&gaps, 1.0), std::pair(&gaps, 1.5), std::pair(&gaps, 2.0),
                                      std::pair(&opaque, 1.0), std::pair(&opaque, 2.0)}) {
        const int cw = static_cast<int>(std::ceil(7 * scale));
        const int ch = static_cast<int>(std::ceil(15 * scale));
        const RowGeometry row{ch / scale, cw / scale, ch / scale, cols, (cols * cw + 5) / scale, scale};
        QImage blitted = busySurface(cols * cw + 5, ch * 3, scale);
        QImage filled = blitted;
        {
            QPainter painter(&blitted);
            RowPainter::fillBackgrounds(painter, *line, row);
        }
        QPainter painter(&filled);
        for (const ViewLineRun& r : line->runs) {
            const qreal right = r.endColumn >= cols ? row.rowWidth : r.endColumn * row.cellWidth;
            if (r.style.background.isValid())
                painter.fillRect(QRectF(r.column * row.cellWidth, row.top, right - r.column * row.cellWidth,
                                        row.cellHeight),
                                 r.style.background);
        }
        painter.end();
        EXPECT_TRUE(blitted == filled) << "scale " << scale << (line == &opaque ? " opaque" : " gaps");
    }
}
