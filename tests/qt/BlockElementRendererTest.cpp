// Block elements: the rectangle table and pixel-exact fills.
#include <gtest/gtest.h>

#include <QFont>
#include <QRawFont>

#include <cmath>

#include "corvel/qt/BlockElementRenderer.h"
#include "corvel/qt/DevicePixelScope.h"
#include "tests/qt/PixelProbe.h"

using namespace corvel::qt;
using corvel::qt::test::blankImage;
using corvel::qt::test::describe;
using corvel::qt::test::sameRgb;

namespace {

std::span<const BlockElementRect> rectsOf(char32_t cp)
{
    auto r = BlockElementMapping::rects(cp);
    return r ? *r : std::span<const BlockElementRect>();
}

}  // namespace

TEST(BlockElementMappingTest, TableCoversTheBlockAndNothingElse)
{
    ASSERT_EQ(rectsOf(0x2588).size(), 1u);
    EXPECT_EQ(rectsOf(0x2588)[0], (BlockElementRect{0, 8, 0, 8, BlockAlpha::full}));
    // The upper half covers the TOP half (y runs down from the top edge).
    EXPECT_EQ(rectsOf(0x2580)[0], (BlockElementRect{0, 8, 0, 4, BlockAlpha::full}));
    EXPECT_FALSE(BlockElementMapping::rects(0x25A0));
    EXPECT_FALSE(BlockElementMapping::rects(0x257F));
    for (char32_t cp = 0x2580; cp <= 0x259F; ++cp) EXPECT_FALSE(rectsOf(cp).empty()) << std::hex << uint32_t(cp);
    EXPECT_FALSE(blockAlphaFromCoverage(0.6));
}

// Ten full blocks in a row, in a half-transparent colour so an overlap shows
// darker and a gap shows the background, at the cell widths DejaVu Sans Mono
// gives at scales 1, 1.5 and 2.
TEST(BlockElementRendererTest, FullBlocksTileWithoutGapOrOverlap)
{
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(13);
    const QRawFont raw = QRawFont::fromFont(font);
    ASSERT_TRUE(raw.isValid());
    const double advance = raw.averageCharWidth();
    ASSERT_GT(advance, 0);
    const double lineHeight = std::ceil(raw.ascent() + raw.descent() + raw.leading());
    for (const double scale : {1.0, 1.5, 2.0}) {
        const int cw = static_cast<int>(std::ceil(advance * scale));
        const int ch = static_cast<int>(std::ceil(lineHeight * scale));
        QImage image = blankImage(cw * 10 + 4, ch, Qt::white, scale);
        {
            QPainter painter(&image);
            DevicePixelScope px(painter, scale);
            for (int col = 0; col < 10; ++col) {
                BlockElementRenderer::draw(painter, QRect(cw * col, 0, cw, ch), rectsOf(0x2588),
                                           QColor(0, 0, 255, 128), false);
            }
        }
        const QRgb first = image.pixel(0, 0);
        EXPECT_FALSE(sameRgb(first, qRgb(255, 255, 255))) << "scale " << scale;
        for (int y = 0; y < ch; ++y) {
            for (int x = 0; x < cw * 10; ++x) {
                ASSERT_TRUE(sameRgb(image.pixel(x, y), first))
                    << "scale " << scale << " at " << x << "," << y << ": " << describe(image.pixel(x, y));
            }
        }
        for (int x = cw * 10; x < image.width(); ++x) {
            ASSERT_TRUE(sameRgb(image.pixel(x, 0), qRgb(255, 255, 255))) << "spill at " << x << ", scale " << scale;
        }
        corvel::qt::test::saveRender(image, ("blocks-" + std::to_string(int(scale * 10)) + ".png").c_str());
    }
}

// One block element filling a w x h device-pixel cell of a white image whose
// device pixel ratio is `scale`.
QImage drawBlock(char32_t cp, int w, int h, QColor color = Qt::black, qreal scale = 1.0)
{
    QImage image = blankImage(w, h, Qt::white, scale);
    {
        QPainter painter(&image);
        DevicePixelScope px(painter, scale);
        BlockElementRenderer::draw(painter, QRect(0, 0, w, h), rectsOf(cp), color, false);
    }
    return image;
}

TEST(BlockElementRendererTest, GeometryCoverageAndSnapping)
{
    // Upper half in a 16 x 34 cell: rows 0..16, nothing below.
    const QImage upper = drawBlock(0x2580, 16, 34);
    EXPECT_EQ(upper.pixel(8, 16), qRgb(0, 0, 0));
    EXPECT_EQ(upper.pixel(8, 17), qRgb(255, 255, 255));
    // Medium shade: opaque red at half coverage; a half-transparent red at a quarter.
    for (const auto& [alpha, expectGreen] : {std::pair{255, 128}, std::pair{128, 191}}) {
        const QImage image = drawBlock(0x2592, 8, 16, QColor(255, 0, 0, alpha));
        EXPECT_NEAR(qGreen(image.pixel(4, 8)), expectGreen, 2) << describe(image.pixel(4, 8));
        EXPECT_EQ(qRed(image.pixel(4, 8)), 255);
    }
    // A wide item stretches the eighths over both columns: the left half of a
    // two-column 8-pixel cell is 8 pixels wide.
    const QImage wide = drawBlock(0x258C, 16, 16);
    EXPECT_EQ(wide.pixel(7, 8), qRgb(0, 0, 0));
    EXPECT_EQ(wide.pixel(8, 8), qRgb(255, 255, 255));
    // A cell 7.5 logical pixels wide at scale 2 is 15 device pixels; its left
    // half (7.5 pixels) snaps outward to 8 whole pixels.
    const QImage snapped = drawBlock(0x258C, 15, 30, Qt::black, 2.0);
    EXPECT_EQ(snapped.pixel(7, 10), qRgb(0, 0, 0));
    EXPECT_EQ(snapped.pixel(8, 10), qRgb(255, 255, 255));
    // The lower half of an odd-height cell covers whole pixels only.
    const QImage lower = drawBlock(0x2584, 8, 17);
    for (int y = 0; y < 17; ++y) {
        const QRgb c = lower.pixel(3, y);
        EXPECT_TRUE(c == qRgb(0, 0, 0) || c == qRgb(255, 255, 255)) << y << ": " << describe(c);
    }
    EXPECT_EQ(lower.pixel(3, 8), qRgb(0, 0, 0));  // floor(8.5): the snapped top edge
    EXPECT_EQ(lower.pixel(3, 7), qRgb(255, 255, 255));
}
