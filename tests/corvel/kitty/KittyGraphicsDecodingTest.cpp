// Payload decoding: pixel formats, premultiplied alpha, PNG checks and zlib.
#include "corvel/kitty/KittyGraphicsDecoding.h"
#include "corvel/kitty/KittyGraphicsPng.h"

#include "tests/corvel/support/ProcessMemory.h"
#include "tests/corvel/support/TestPng.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <string>

using namespace corvel;
using corvel::testing::encodePng;
using corvel::testing::processMemory;

namespace {

KittyGraphicsControl rawControl(int64_t format, int64_t width, int64_t height)
{
    KittyGraphicsControl control;
    control.format = format;
    control.width = width;
    control.height = height;
    return control;
}

// zlib (windowBits 15) or raw DEFLATE (-15).
std::vector<uint8_t> deflateWith(const std::vector<uint8_t>& input, int windowBits)
{
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out(deflateBound(&stream, input.size()));
    stream.next_in = const_cast<Bytef*>(input.data());
    stream.avail_in = static_cast<uInt>(input.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::vector<uint8_t> makeZeroBomb(int copies)
{
    const std::vector<uint8_t> zeros(size_t{64} << 20);
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> scratch(size_t{1} << 20);
    const auto run = [&](const uint8_t* input, size_t length, int flush) {
        stream.next_in = const_cast<Bytef*>(input);
        stream.avail_in = static_cast<uInt>(length);
        stream.next_out = scratch.data();
        stream.avail_out = static_cast<uInt>(scratch.size());
        deflate(&stream, flush);
        return std::vector<uint8_t>(scratch.data(), stream.next_out);
    };
    run(nullptr, 0, Z_FULL_FLUSH);
    const std::vector<uint8_t> segment = run(zeros.data(), zeros.size(), Z_FULL_FLUSH);
    const std::vector<uint8_t> ending = run(nullptr, 0, Z_FINISH);
    deflateEnd(&stream);
    std::vector<uint8_t> bomb;
    for (int i = 0; i < copies; ++i) bomb.insert(bomb.end(), segment.begin(), segment.end());
    bomb.insert(bomb.end(), ending.begin(), ending.end());
    return bomb;
}

}  // namespace

TEST(KittyGraphicsDecoding, RawPixelsMustMatchTheirSidesExactly)
{
    auto payload = decodeKittyPayloadData(rawControl(24, 2, 1), {1, 2, 3, 4, 5, 6});
    ASSERT_TRUE(payload);
    EXPECT_EQ(payload->kind, KittyGraphicsPayload::Kind::rgba);
    EXPECT_EQ(*payload->bytes, (std::vector<uint8_t>{1, 2, 3, 255, 4, 5, 6, 255}));
    EXPECT_FALSE(decodeKittyPayloadData(rawControl(24, 2, 1), {1, 2, 3, 4, 5}));
    EXPECT_FALSE(decodeKittyPayloadData(rawControl(24, 2, 1), {1, 2, 3, 4, 5, 6, 7}));
    EXPECT_FALSE(decodeKittyPayloadData(rawControl(32, 10001, 1), std::vector<uint8_t>(40004)));
    EXPECT_TRUE(decodeKittyPayloadData(rawControl(32, 10000, 1), std::vector<uint8_t>(40000)));
    EXPECT_FALSE(decodeKittyPayloadData(rawControl(32, 0, 1), {}));
    EXPECT_FALSE(decodeKittyPayloadData(rawControl(7, 1, 1), {1, 2, 3, 4}));
}

TEST(KittyGraphicsDecoding, StraightAlphaIsPremultipliedOnce)
{
    // Opaque, half-transparent, fully transparent and a rounding case.
    const auto payload =
        decodeKittyPayloadData(rawControl(32, 4, 1), {200, 100, 50, 255, 200, 100, 50, 128, 9, 9, 9, 0, 255, 1, 2, 3});
    ASSERT_TRUE(payload);
    EXPECT_EQ(*payload->bytes,
              (std::vector<uint8_t>{200, 100, 50, 255, 100, 50, 25, 128, 0, 0, 0, 0, 3, 0, 0, 3}));

    // PNG pixels come out premultiplied too, so both kinds reach the host alike.
    const std::vector<uint8_t> straight{200, 100, 50, 128, 10, 20, 30, 255};
    const auto decoded = decodePngToRgba(encodePng(straight, 2, 1));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->bytes, (std::vector<uint8_t>{100, 50, 25, 128, 10, 20, 30, 255}));
}

TEST(KittyGraphicsDecoding, PngIsCheckedForSizeAndKeptEncoded)
{
    const auto png = encodePng(std::vector<uint8_t>(3 * 2 * 4, 7), 3, 2);
    EXPECT_EQ(kittyPngPixelSize(png), (KittyPixelSize{3, 2}));
    const auto payload = decodeKittyPayloadData(rawControl(100, 0, 0), png);
    ASSERT_TRUE(payload);
    EXPECT_EQ(payload->kind, KittyGraphicsPayload::Kind::png);
    EXPECT_EQ(*payload->bytes, png);

    const auto wide = encodePng(std::vector<uint8_t>(10001 * 4, 0), 10001, 1);
    EXPECT_EQ(kittyPngPixelSize(wide), (KittyPixelSize{10001, 1}));
    EXPECT_FALSE(validateKittyPngDimensions(wide));
    EXPECT_FALSE(decodePngToRgba(wide));
    const std::vector<uint8_t> notPng{'G', 'I', 'F', '8', '9', 'a', 0, 0};
    EXPECT_FALSE(decodeKittyPayloadData(rawControl(100, 0, 0), notPng));
    EXPECT_FALSE(decodePngToRgba(notPng));
}

TEST(KittyGraphicsDecoding, InflatesZlibAndRawDeflateAlikeAndRefusesCutStreams)
{
    std::vector<uint8_t> pixels(64 * 64 * 4);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7 % 251);
    const auto control = rawControl(32, 64, 64);
    const auto zlib = deflateWith(pixels, 15);
    const auto raw = deflateWith(pixels, -15);
    EXPECT_EQ(decompressZlib(zlib, kKittyGraphicsByteLimit), pixels);
    EXPECT_EQ(decompressZlib(raw, kKittyGraphicsByteLimit), pixels);

    // Both cut short fail rather than wait for the rest.
    for (const auto* stream : {&zlib, &raw}) {
        const std::vector<uint8_t> cut(stream->begin(), stream->begin() + static_cast<long>(stream->size() / 2));
        EXPECT_FALSE(decompressZlib(cut, kKittyGraphicsByteLimit));
        EXPECT_FALSE(decompressZlib(std::vector<uint8_t>(stream->begin(), stream->end() - 1), kKittyGraphicsByteLimit));
    }
    EXPECT_FALSE(decompressZlib({}, kKittyGraphicsByteLimit));

    // Raw pixels may not inflate past their expected size; the output stops there.
    EXPECT_EQ(kittyInflateLimit(control), 64 * 64 * 4);
    EXPECT_FALSE(decompressZlib(zlib, kittyInflateLimit(control) - 1));
    EXPECT_EQ(kittyInflateLimit(rawControl(100, 0, 0)), kKittyGraphicsByteLimit);
    auto compressed = control;
    compressed.compression = 'z';
    EXPECT_EQ(decompressKittyData(zlib, compressed), pixels);
    EXPECT_EQ(decompressKittyData(raw, compressed), pixels);
    compressed.height = 63;  // expects less than the stream holds
    EXPECT_FALSE(decompressKittyData(zlib, compressed));
    compressed.compression = 'x';
    EXPECT_FALSE(decompressKittyData(zlib, compressed));
    EXPECT_EQ(decompressKittyData(zlib, control), zlib);
}

TEST(KittyGraphicsDecoding, ABombIsRefusedWithinTheByteLimit)
{
    // About 1 MB of raw DEFLATE that would inflate to 1 GiB of zeros: 64 MiB
    // compressed after a full flush is independent of what came before, so
    // sixteen copies of it and a final empty block make a valid stream.
    std::vector<uint8_t> bomb = makeZeroBomb(16);
    ASSERT_GT(bomb.size(), 900'000u);
    // The same construction is a valid stream: two copies give 128 MiB of zeros.
    const auto small = decompressZlib(makeZeroBomb(2), kKittyGraphicsByteLimit);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->size(), size_t{128} << 20);

    // Restart the peak count (Linux): only this decode counts.
    std::ofstream("/proc/self/clear_refs") << "5";
    [[maybe_unused]] const size_t before = processMemory("VmHWM:");
    EXPECT_FALSE(decompressZlib(bomb, kKittyGraphicsByteLimit));
#ifndef CORVEL_SANITIZED
    // A sanitizer holds freed memory back, so the peak says nothing there.
    EXPECT_LT(processMemory("VmHWM:") - std::min(before, processMemory("VmHWM:")), size_t{450} << 20);
#endif
}
