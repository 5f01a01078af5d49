// Cached tiles of box-drawing and block-element cells must draw exactly the
// pixels the direct geometry draws: every character of both blocks, several
// cell sizes and scales, over a busy background, in opaque and translucent
// colours, in plain and double-width rows.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <random>

#include "corvel/qt/BlockElementMapping.h"
#include "corvel/qt/BoxDrawingRenderer.h"
#include "corvel/qt/CustomGlyphTileCache.h"
#include "corvel/qt/RowPainter.h"

using namespace corvel;
using namespace corvel::qt;

namespace {

struct Case {
    int cellWidthPx;
    int cellHeightPx;
    qreal scale;
};

// A canvas of `cols` x 2 cells whose pixels are all different colours, so a
// blit that wrote a transparent pixel or blended differently shows.
QImage busyCanvas(int cols, const Case& c)
{
    QImage image(c.cellWidthPx * cols, c.cellHeightPx * 2, QImage::Format_ARGB32_Premultiplied);
    std::mt19937 rng(11);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) line[x] = rng() | 0xff000000u;
    }
    image.setDevicePixelRatio(c.scale);
    return image;
}

// Every character of the two blocks in one row (row 1 of the canvas), wide
// items included, drawn with or without tiles.
QImage drawAll(const Case& c, const QColor& color, BufferLine::RenderLineMode mode, CustomGlyphTileCache* tiles)
{
    std::vector<BoxDrawingRenderItem> boxes;
    std::vector<BlockElementRenderItem> blocks;
    int col = 0;
    for (char32_t cp = 0x2500; cp <= 0x257F; ++cp) boxes.push_back({col++, 1, cp, color});
    boxes.push_back({col, 2, 0x253C, color});
    col += 2;
    for (char32_t cp = 0x2580; cp <= 0x259F; ++cp) blocks.push_back({col++, 1, cp, *BlockElementMapping::rects(cp), color});
    blocks.push_back({col, 2, 0x2588, *BlockElementMapping::rects(0x2588), color});
    col += 2;

    QImage image = busyCanvas(col, c);
    const qreal cw = c.cellWidthPx / c.scale;
    const qreal ch = c.cellHeightPx / c.scale;
    const RowGeometry row{ch, cw, ch, col, cw * col, c.scale};
    QPainter painter(&image);
    const bool saved = RowPainter::applyLineTransform(painter, mode, row);
    const int base = BoxDrawingRenderer::baseThicknessPx(c.scale, 1.0);
    RowPainter::drawBoxDrawings(painter, boxes, row, base, tiles);
    RowPainter::drawBlockElements(painter, blocks, row, false, tiles);
    if (saved) painter.restore();
    return image;
}

// The first differing pixel, for the failure message.
std::string firstDifference(const QImage& a, const QImage& b, int cellWidthPx)
{
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) {
                return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") in cell column " +
                       std::to_string(x / cellWidthPx);
            }
        }
    }
    return "none";
}

}  // namespace

TEST(CustomGlyphTileCacheTest, TilesDrawTheSamePixelsAsTheGeometry)
{
    const Case cases[] = {{8, 17, 1.0}, {7, 15, 1.0}, {10, 20, 1.0}, {16, 34, 2.0}, {17, 35, 2.0}, {12, 27, 1.5}};
    const QColor colors[] = {QColor(20, 200, 90), QColor(250, 250, 250, 255), QColor(200, 40, 40, 128)};
    for (const Case& c : cases) {
        for (const QColor& color : colors) {
            for (const auto mode : {BufferLine::RenderLineMode::single, BufferLine::RenderLineMode::doubleWidth}) {
                CustomGlyphTileCache tiles;
                const QImage direct = drawAll(c, color, mode, nullptr);
                const QImage first = drawAll(c, color, mode, &tiles);   // fills the cache
                const QImage cached = drawAll(c, color, mode, &tiles);  // blits from it
                const std::string what = std::to_string(c.cellWidthPx) + "x" + std::to_string(c.cellHeightPx) +
                                         " scale " + std::to_string(c.scale) + " alpha " +
                                         std::to_string(color.alpha()) +
                                         (mode == BufferLine::RenderLineMode::single ? " single" : " double");
                EXPECT_TRUE(first == direct) << what << ": " << firstDifference(first, direct, c.cellWidthPx);
                EXPECT_TRUE(cached == direct) << what << ": " << firstDifference(cached, direct, c.cellWidthPx);
                if (mode == BufferLine::RenderLineMode::single && color.alpha() == 255) {
                    EXPECT_GT(tiles.hits(), 0u) << what;
                }
            }
        }
    }
}

TEST(CustomGlyphTileCacheTest, OnlyWhollyCoveredTilesAreHandedOut)
{
    CustomGlyphTileCache tiles;
    const QColor opaque(Qt::black);
    // Straight strokes and solid blocks cover whole pixels.
    const auto* cross = tiles.boxTile(0x253C, QSize(16, 34), 2.0, opaque, 2);
    ASSERT_NE(cross, nullptr);
    EXPECT_EQ(cross->offset, QPoint(0, 0));
    EXPECT_EQ(cross->image.size(), QSize(16, 34));
    EXPECT_EQ(qAlpha(cross->image.pixel(8, 17)), 255);
    EXPECT_EQ(qAlpha(cross->image.pixel(0, 0)), 0);
    // A tile is cut to its painted part, kept without alpha when solid.
    const auto* line = tiles.boxTile(0x2500, QSize(16, 34), 2.0, opaque, 2);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->offset, QPoint(0, 16));
    EXPECT_EQ(line->image.size(), QSize(16, 2));
    EXPECT_FALSE(line->image.hasAlphaChannel());
    EXPECT_NE(tiles.blockTile(0x2580, QSize(8, 17), *BlockElementMapping::rects(0x2580), opaque, false), nullptr);
    // Rounded corners, diagonals, shades, anti-aliased fractional edges and
    // translucent colours blend, so they are drawn directly.
    EXPECT_EQ(tiles.boxTile(0x256D, QSize(16, 34), 2.0, opaque, 2), nullptr);
    EXPECT_EQ(tiles.boxTile(0x2571, QSize(16, 34), 2.0, opaque, 2), nullptr);
    EXPECT_EQ(tiles.blockTile(0x2592, QSize(8, 17), *BlockElementMapping::rects(0x2592), opaque, false), nullptr);
    EXPECT_EQ(tiles.blockTile(0x2584, QSize(8, 17), *BlockElementMapping::rects(0x2584), opaque, true), nullptr);
    EXPECT_EQ(tiles.boxTile(0x2500, QSize(8, 17), 1.0, QColor(0, 0, 0, 100), 1), nullptr);
    // A second request is answered from the cache, null answers included.
    const uint64_t misses = tiles.misses();
    EXPECT_EQ(tiles.boxTile(0x253C, QSize(16, 34), 2.0, opaque, 2), cross);
    EXPECT_EQ(tiles.boxTile(0x256D, QSize(16, 34), 2.0, opaque, 2), nullptr);
    EXPECT_EQ(tiles.misses(), misses);
    // A different colour, size or stroke is another tile.
    EXPECT_NE(tiles.boxTile(0x253C, QSize(16, 34), 2.0, QColor(Qt::red), 2), cross);
    EXPECT_NE(tiles.boxTile(0x253C, QSize(16, 34), 2.0, opaque, 3), cross);
    EXPECT_EQ(tiles.boxTile(0x253C, QSize(0, 34), 2.0, opaque, 2), nullptr);
}

TEST(CustomGlyphTileCacheTest, ManyColoursDoNotGrowTheCacheWithoutBound)
{
    CustomGlyphTileCache tiles;
    for (int i = 0; i < int(CustomGlyphTileCache::maxEntries) + 500; ++i)
        tiles.boxTile(0x2500, QSize(4, 6), 1.0, QColor::fromRgb(QRgb(0xff000000u | uint32_t(i))), 1);
    EXPECT_LE(tiles.size(), CustomGlyphTileCache::maxEntries);
}
