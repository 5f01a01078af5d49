// Glyph rasterizing: monochrome glyphs stay grey, emoji are colour, blank
// glyphs give nothing, and bearings are measured upwards from the baseline.
#include <gtest/gtest.h>

#include <QFont>
#include <QRawFont>

#include <cstring>

#include "corvel/gl/GlyphAtlas.h"
#include "corvel/gl/GlyphRasterizer.h"
#include "corvel/gl/RecordingGpuDevice.h"

namespace corvel::gl {
namespace {

quint32 glyphOf(const QRawFont& font, const QString& text)
{
    const auto glyphs = font.glyphIndexesForString(text);
    return glyphs.isEmpty() ? 0 : glyphs.first();
}

TEST(GlyphRasterizer, MonochromeGlyphIsGreyAndSitsOnTheBaseline)
{
    const QRawFont font(QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"), 26.0);
    ASSERT_TRUE(font.isValid());
    auto a = GlyphRasterizer::rasterize(font, glyphOf(font, "A"));
    ASSERT_TRUE(a);
    EXPECT_FALSE(a->isColor);
    EXPECT_EQ(a->pixels.size(), static_cast<std::size_t>(a->width * a->height * 4));
    EXPECT_EQ(a->bearingY, 0);  // "A" stands on the baseline
    EXPECT_GE(a->height, 17);   // about the cap height at 26 px
    bool partial = false, full = false;
    for (std::size_t i = 3; i < a->pixels.size(); i += 4) {
        partial |= a->pixels[i] > 0 && a->pixels[i] < 255;
        full |= a->pixels[i] == 255;
    }
    EXPECT_TRUE(partial && full);  // anti-aliased edges, solid strokes

    // The legs of "A" are at the bottom of the bitmap: its top row first.
    const auto alphaAt = [&](int x, int y) { return a->pixels[(y * a->width + x) * 4 + 3]; };
    EXPECT_GT(alphaAt(1, a->height - 1) + alphaAt(0, a->height - 1), 0);
    EXPECT_EQ(alphaAt(0, 0), 0);

    auto g = GlyphRasterizer::rasterize(font, glyphOf(font, "g"));
    ASSERT_TRUE(g);
    EXPECT_LT(g->bearingY, 0);  // descender
    EXPECT_FALSE(GlyphRasterizer::rasterize(font, glyphOf(font, " ")));
}

TEST(GlyphRasterizer, EmojiIsColourAndGoesIntoTheColourAtlasUnchanged)
{
    QRawFont font = QRawFont::fromFont(QFont("Noto Color Emoji"));
    ASSERT_TRUE(font.isValid());
    ASSERT_TRUE(font.familyName().contains("Emoji")) << font.familyName().toStdString();
    font.setPixelSize(32);
    auto smile = GlyphRasterizer::rasterize(font, glyphOf(font, QString::fromUtf8("\xF0\x9F\x98\x80")));
    ASSERT_TRUE(smile);
    EXPECT_TRUE(smile->isColor);

    RecordingGpuDevice device;
    auto atlas = GlyphAtlas::create(device, 1024, 2048, GlyphAtlasFormat::bgra);
    auto region = atlas->ensureRegion(smile->width, smile->height);
    ASSERT_TRUE(region);
    atlas->write(*region, smile->pixels, smile->width, smile->height);
    const std::size_t row = static_cast<std::size_t>(smile->width) * 4;
    EXPECT_EQ(0, std::memcmp(&atlas->data()[(region->y * 1024 + region->x) * 4],
                             &smile->pixels[(smile->height - 1) * row], row));
}

}  // namespace
}  // namespace corvel::gl
