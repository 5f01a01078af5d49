// Glyph atlas on the recording device: shelf packing, growth, reset, the
// row flip of writes and the mirror staying equal to the texture.
#include <gtest/gtest.h>

#include "corvel/gl/GlyphAtlas.h"
#include "corvel/gl/RecordingGpuDevice.h"

namespace corvel::gl {
namespace {

std::vector<std::uint8_t> bgraBitmap(int width, int height, std::uint8_t seed)
{
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(seed + i);
    return pixels;
}

TEST(GlyphAtlas, CreationRoundsSizesUpAndFailsWithoutTexture)
{
    RecordingGpuDevice device;
    auto small = GlyphAtlas::create(device, 100, 2048, GlyphAtlasFormat::grayscale);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->size(), 256);
    EXPECT_EQ(GlyphAtlas::create(device, 1024, 100, GlyphAtlasFormat::bgra)->maxSize(), 1024);

    // The device's largest texture bounds the growth.
    device.maxTextureEdge = 1500;
    EXPECT_EQ(GlyphAtlas::create(device, 1024, 2048, GlyphAtlasFormat::grayscale)->maxSize(), 1500);

    device.texturesBeforeFailure = 0;
    EXPECT_FALSE(GlyphAtlas::create(device, 1024, 2048, GlyphAtlasFormat::grayscale));
}

TEST(GlyphAtlas, PacksEdgeToEdgeInShelvesAndRefusesBadRequests)
{
    RecordingGpuDevice device;
    auto atlas = GlyphAtlas::create(device, 256, 256, GlyphAtlasFormat::grayscale);
    EXPECT_EQ(atlas->ensureRegion(10, 12), (AtlasRegion{0, 0, 10, 12}));
    EXPECT_EQ(atlas->ensureRegion(20, 8), (AtlasRegion{10, 0, 20, 8}));
    EXPECT_EQ(atlas->ensureRegion(230, 5), (AtlasRegion{0, 12, 230, 5}));  // 30 + 230 > 256: new shelf
    EXPECT_EQ(atlas->rowHeight(), 5);
    EXPECT_FALSE(atlas->ensureRegion(0, 5));
    EXPECT_FALSE(atlas->ensureRegion(5, -1));
    EXPECT_FALSE(atlas->ensureRegion(257, 1));
    EXPECT_EQ(atlas->nextY(), 12);  // the refused requests left the shelves alone
}

TEST(GlyphAtlas, GrowsTo2048KeepingContentThenRefusesOversizeAndResetsWhenFull)
{
    RecordingGpuDevice device;
    auto atlas = GlyphAtlas::create(device, 1024, 2048, GlyphAtlasFormat::grayscale);
    const GpuHandle firstTexture = atlas->texture();
    EXPECT_EQ(atlas->ensureRegion(1024, 1024), (AtlasRegion{0, 0, 1024, 1024}));
    auto marker = bgraBitmap(1, 1, 0);
    marker[3] = 77;
    atlas->write(AtlasRegion{3, 5, 1, 1}, marker, 1, 1);

    EXPECT_EQ(atlas->ensureRegion(10, 10), (AtlasRegion{0, 1024, 10, 10}));
    EXPECT_EQ(atlas->size(), 2048);
    EXPECT_FALSE(atlas->didReset());
    EXPECT_NE(atlas->texture(), firstTexture);
    EXPECT_FALSE(device.textures.contains(firstTexture));
    EXPECT_EQ(atlas->data()[5 * 2048 + 3], 77);
    // The whole grown mirror was uploaded to the new texture.
    EXPECT_EQ(device.textures.at(atlas->texture()).pixels, atlas->data());

    const auto uploads = device.uploads.size();
    EXPECT_FALSE(atlas->ensureRegion(3000, 10));
    EXPECT_EQ(atlas->size(), 2048);
    EXPECT_EQ(atlas->data()[5 * 2048 + 3], 77);
    EXPECT_EQ(device.uploads.size(), uploads);

    // Full at 2048: the next region that does not fit empties the atlas.
    EXPECT_TRUE(atlas->ensureRegion(2048, 1000));
    auto region = atlas->ensureRegion(40, 30);
    ASSERT_TRUE(region);
    EXPECT_EQ(*region, (AtlasRegion{0, 0, 40, 30}));
    EXPECT_TRUE(atlas->didReset());
    EXPECT_EQ(atlas->size(), 2048);
    EXPECT_EQ(atlas->data()[5 * 2048 + 3], 0);
    EXPECT_EQ(device.textures.at(atlas->texture()).pixels, atlas->data());
    atlas->ensureRegion(1, 1);
    EXPECT_FALSE(atlas->didReset());
}

TEST(GlyphAtlas, FailedGrowthKeepsTheNewShelfAndTheOldAtlas)
{
    RecordingGpuDevice device;
    device.texturesBeforeFailure = 1;
    auto atlas = GlyphAtlas::create(device, 1024, 2048, GlyphAtlasFormat::grayscale);
    ASSERT_TRUE(atlas->ensureRegion(1024, 1000));
    EXPECT_FALSE(atlas->ensureRegion(10, 30));  // new shelf at 1000 does not fit; growth fails
    EXPECT_EQ(atlas->size(), 1024);
    EXPECT_EQ(atlas->nextY(), 1000);
    EXPECT_EQ(atlas->nextX(), 0);
    EXPECT_EQ(atlas->rowHeight(), 0);
    EXPECT_EQ(atlas->ensureRegion(10, 20), (AtlasRegion{0, 1000, 10, 20}));
}

TEST(GlyphAtlas, WritesTurnRowsOverAndUploadOnlyTheRegion)
{
    RecordingGpuDevice device;
    auto gray = GlyphAtlas::create(device, 256, 256, GlyphAtlasFormat::grayscale);
    const auto pixels = bgraBitmap(2, 3, 1);  // alpha of row r, column c: 1 + (r * 2 + c) * 4 + 3
    const AtlasRegion region{5, 7, 2, 3};
    gray->write(region, pixels, 2, 3);
    const auto& data = gray->data();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 2; ++c)
            EXPECT_EQ(data[(7 + r) * 256 + 5 + c], pixels[((2 - r) * 2 + c) * 4 + 3]) << r << "," << c;
    EXPECT_EQ(data[7 * 256 + 4], 0);
    EXPECT_EQ(data[10 * 256 + 5], 0);
    ASSERT_FALSE(device.uploads.empty());
    const auto& upload = device.uploads.back();
    EXPECT_EQ(upload.x, 5);
    EXPECT_EQ(upload.y, 7);
    EXPECT_EQ(upload.width, 2);
    EXPECT_EQ(upload.height, 3);
    EXPECT_EQ(device.textures.at(gray->texture()).pixels, data);

    auto color = GlyphAtlas::create(device, 256, 256, GlyphAtlasFormat::bgra);
    color->write(region, pixels, 2, 3);
    for (int b = 0; b < 8; ++b) EXPECT_EQ(color->data()[(9 * 256 + 5) * 4 + b], pixels[b]);  // first row last
    EXPECT_EQ(device.textures.at(color->texture()).pixels, color->data());

    // A bitmap of another size, or one too short for its size, is ignored.
    const auto before = device.uploads.size();
    gray->write(region, pixels, 3, 2);
    gray->write(region, std::span(pixels).first(8), 2, 3);
    gray->write(AtlasRegion{255, 0, 2, 3}, pixels, 2, 3);
    EXPECT_EQ(device.uploads.size(), before);
}

}  // namespace
}  // namespace corvel::gl
