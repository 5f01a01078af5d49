// Cell records drawn on the OpenGL device both ways it can read them: as one
// triangle list fetching records from a buffer texture, and one instance a
// record from vertex attributes (taken when the records pass the driver's
// buffer texture limit). Both must give the same pixels, honour the first
// record of a draw, and sample glyph texels one to a pixel without reaching
// into the atlas neighbours; neither reads records past the buffer's end. Needs an X server (suite OpenGl*).
#include <gtest/gtest.h>

#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>

#include <memory>
#include <vector>

#include "corvel/gl/BufferPool.h"
#include "corvel/gl/GlDevice.h"
#include "corvel/gl/GlyphRasterizer.h"
#include "corvel/gl/MetalTerminalRenderer.h"

namespace corvel::gl {
namespace {

constexpr int kWidth = 96, kHeight = 48;

struct FetchTarget {
    std::shared_ptr<GlDevice> device{GlDevice::create()};
    std::unique_ptr<MetalTerminalRenderer> renderer;
    std::unique_ptr<QOpenGLFramebufferObject> fbo;
    FetchTarget()
    {
        if (!device) return;
        RendererSetup setup;
        setup.makeDevice = [d = device] { return d; };
        renderer = std::make_unique<MetalTerminalRenderer>(nullptr, nullptr, setup);
        device->makeCurrent();
        fbo = std::make_unique<QOpenGLFramebufferObject>(kWidth, kHeight);
        fbo->bind();
        QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(device->context())
            ->glViewport(0, 0, kWidth, kHeight);
    }
    template <class Record>
    void draw(GpuHandle pipeline, RecordKind kind, const std::vector<Record>& records, int first, int count,
              GpuHandle texture = 0)
    {
        auto buffer = renderer->bufferPool().makeBuffer(std::span<const Record>(records));
        ASSERT_TRUE(buffer);
        device->draw(DrawCall{pipeline, buffer->id, kind, first, count, texture, texture ? renderer->sampler() : 0,
                              float(kWidth), float(kHeight)});
    }
};

// A 5 x 7 glyph whose every texel differs from its neighbours, so a sample
// one texel off shows.
GlyphBitmap patternGlyph()
{
    GlyphBitmap bitmap{5, 7, 0, 0, std::vector<std::uint8_t>(5 * 7 * 4), false};
    for (int i = 0; i < 35; ++i) {
        const auto v = static_cast<std::uint8_t>(40 + i * 6);
        for (int c = 0; c < 4; ++c) bitmap.pixels[static_cast<std::size_t>(i) * 4 + c] = v;
    }
    return bitmap;
}

// Ten filled cells in a row, and glyph cells drawn from the middle of a
// shelf of three packed glyphs (solid neighbours on both sides); draws take
// records 2...7 and 1...3.
QImage render(FetchTarget& t)
{
    MetalTerminalRenderer& r = *t.renderer;
    GlyphAtlas& atlas = r.grayscaleAtlas();
    const GlyphBitmap solid{5, 7, 0, 0, std::vector<std::uint8_t>(5 * 7 * 4, 255), false};
    const GlyphBitmap pattern = patternGlyph();
    const auto put = [&](const GlyphBitmap& b) {
        auto region = atlas.ensureRegion(b.width, b.height);
        atlas.write(*region, b.pixels, b.width, b.height);
        return *region;
    };
    put(solid);
    const AtlasRegion middle = put(pattern);
    put(solid);

    std::vector<ColorCell> fills;
    for (int i = 0; i < 10; ++i) {
        ColorCell c;
        c.position = {float(i * 9), 30};
        c.size = {8, 10};
        c.color = {float(i) / 10, 0.5f, 1.0f - float(i) / 10, 1};
        fills.push_back(c);
    }
    std::vector<TextCell> glyphs;
    const float s = float(atlas.size());
    for (int i = 0; i < 5; ++i) {
        TextCell c;
        c.position = {float(4 + i * 12), 4};
        c.size = {5, 7};
        c.texOrigin = {float(middle.x) / s, float(middle.y) / s};
        c.texSize = {5 / s, 7 / s};
        c.color = {1, 0.8f, 0.2f, 1};
        glyphs.push_back(c);
    }
    t.device->clear(0, 0, 0, 1);
    t.draw(r.cellColorPipeline(), RecordKind::colorCell, fills, 2, 6);
    t.draw(r.cellTextGrayPipeline(), RecordKind::textCell, glyphs, 1, 3, atlas.texture());
    return t.fbo->toImage().convertToFormat(QImage::Format_RGB32);
}

TEST(OpenGlRecordFetch, BothWaysOfReadingRecordsDrawTheSamePixels)
{
    FetchTarget t;
    ASSERT_TRUE(t.renderer) << "no OpenGL 3.3 core context";
    ASSERT_GE(t.device->recordFetchLimit(), 65536);
    const auto drawsBefore = t.device->counters().draws;
    const QImage fetched = render(t);
    // Records past the limit are drawn one instance each.
    t.device->setRecordFetchLimit(3 * 3);
    const QImage instanced = render(t);
    EXPECT_EQ(t.device->counters().draws - drawsBefore, 4u);
    EXPECT_EQ(fetched, instanced);

    // Only records 2...7 of the fills: cell centres at x = 9 i + 4, y = 13
    // from the top.
    for (int i = 0; i < 10; ++i) {
        const QRgb p = fetched.pixel(i * 9 + 4, kHeight - 35);
        EXPECT_EQ(p != qRgb(0, 0, 0), i >= 2 && i <= 7) << "fill " << i;
    }
    // Glyph records 1...3, each texel once, nothing of the solid neighbours:
    // the glyph's top row holds the pattern's first row.
    for (int i = 0; i < 5; ++i) {
        const int x0 = 4 + i * 12;
        const bool drawn = i >= 1 && i <= 3;
        int lit = 0;
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 5; ++x) {
                const QRgb p = fetched.pixel(x0 + x, kHeight - 4 - 7 + y);
                lit += p != qRgb(0, 0, 0);
                if (!drawn) continue;
                // Coverage 40 + 6 k of texel k, bitmap rows top first as
                // in the image, in red.
                const int k = y * 5 + x;
                EXPECT_NEAR(qRed(p), 40 + 6 * k, 2) << "glyph " << i << " texel " << x << "," << y;
            }
        EXPECT_EQ(lit, drawn ? 35 : 0) << "glyph " << i;
        // The pixels around a glyph stay black: no texel of a neighbour.
        if (drawn) {
            EXPECT_EQ(fetched.pixel(x0 - 1, kHeight - 8), qRgb(0, 0, 0));
            EXPECT_EQ(fetched.pixel(x0 + 5, kHeight - 8), qRgb(0, 0, 0));
        }
    }
}

TEST(OpenGlRecordFetch, RecordsPastTheBufferEndAreNotDrawn)
{
    FetchTarget t;
    ASSERT_TRUE(t.renderer) << "no OpenGL 3.3 core context";
    ColorCell fill;
    fill.size = {float(kWidth), float(kHeight)};
    fill.color = {1, 1, 1, 1};
    // One record in a buffer of exactly its size.
    const GpuHandle buffer = t.device->createBuffer(sizeof(ColorCell));
    ASSERT_NE(buffer, 0u);
    t.device->writeBuffer(buffer, 0, &fill, sizeof fill);
    const auto drawsBefore = t.device->counters().draws;
    t.device->clear(0, 0, 0, 1);
    for (int limit : {t.device->recordFetchLimit(), 0}) {
        t.device->setRecordFetchLimit(limit);
        for (auto [first, count] : {std::pair{0, 2}, std::pair{1, 1}})
            t.device->draw(DrawCall{t.renderer->cellColorPipeline(), buffer, RecordKind::colorCell, first, count, 0, 0,
                                    float(kWidth), float(kHeight)});
    }
    EXPECT_EQ(t.device->counters().draws, drawsBefore);
    EXPECT_EQ(t.fbo->toImage().pixel(kWidth / 2, kHeight / 2), qRgb(0, 0, 0));
    t.device->draw(DrawCall{t.renderer->cellColorPipeline(), buffer, RecordKind::colorCell, 0, 1, 0, 0, float(kWidth),
                            float(kHeight)});
    EXPECT_EQ(t.fbo->toImage().pixel(kWidth / 2, kHeight / 2), qRgb(255, 255, 255));
    t.device->deleteBuffer(buffer);
}

}  // namespace
}  // namespace corvel::gl
