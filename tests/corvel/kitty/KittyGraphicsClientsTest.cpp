// Real Kitty graphics clients (chafa, timg) on a pseudo-terminal whose host
// reports 10×20-pixel cells: the images they transmit reach the host whole.
#include "corvel/kitty/KittyGraphicsState.h"
#include "corvel/kitty/KittyGraphicsPng.h"
#include "tests/corvel/support/HeadlessProgramFixture.h"
#include "tests/corvel/support/PixelCellHost.h"
#include "tests/corvel/support/TestPng.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <regex>

using namespace corvel;

namespace {

class ImageHost : public corvel::testing::PixelCellHost {
public:
    explicit ImageHost(EndCallback onEnd) : PixelCellHost(std::move(onEnd)) {}

    void send(Terminal& source, std::span<const uint8_t> data) override
    {
        replies.append(data.begin(), data.end());
        HeadlessTerminal::send(source, data);
    }
    void dataReceived(std::span<const uint8_t> slice) override
    {
        if (output.size() < 4096) output.append(slice.begin(), slice.end());
        HeadlessTerminal::dataReceived(slice);
    }
    void createImageFromBitmap(Terminal&, std::vector<uint8_t>& bytes, int width, int height) override
    {
        bitmaps.push_back({bytes, width, height});
    }
    void createImage(Terminal&, std::span<const uint8_t> data, ImageSizeRequest, ImageSizeRequest, bool) override
    {
        encoded.emplace_back(data.begin(), data.end());
    }

    std::string replies;
    std::string output;  // the first bytes the program wrote
    std::vector<Image> bitmaps;
    std::vector<std::vector<uint8_t>> encoded;
};

class KittyGraphicsClientsTest : public corvel::testing::HeadlessProgramTest {
protected:
    // Runs the program to its end on an 80×25 terminal.
    ImageHost& run(const std::string& command) { return *HeadlessProgramTest::run<ImageHost>(80, 25, command); }

    // A gradient, opaque, red at the left and blue at the bottom right.
    std::string writeGradient(int width, int height)
    {
        std::vector<uint8_t> pixels(static_cast<size_t>(width * height * 4));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                uint8_t* p = &pixels[static_cast<size_t>((y * width + x) * 4)];
                p[0] = static_cast<uint8_t>(255 - x * 255 / (width - 1));
                p[1] = static_cast<uint8_t>((x * 7 + y * 13) & 0xFF);
                p[2] = static_cast<uint8_t>(y * 255 / (height - 1));
                p[3] = 255;
            }
        const std::string path = dir + "/gradient.png";
        EXPECT_TRUE(corvel::testing::writePng(path, pixels, width, height));
        return path;
    }
};

}  // namespace

TEST_F(KittyGraphicsClientsTest, ChafaChunksJoinIntoOneImageOfTheAnnouncedSize)
{
    if (::access("/usr/bin/chafa", X_OK) != 0) GTEST_SKIP() << "chafa is not installed";
    const std::string png = writeGradient(37, 23);
    ImageHost& host = run("/usr/bin/chafa -f kitty --size 10x5 " + png);

    // A control-only first chunk announces the size; payload chunks and an
    // empty last chunk follow.
    std::smatch match;
    ASSERT_TRUE(std::regex_search(host.output, match, std::regex("\x1b_Ga=T,f=32,s=(\\d+),v=(\\d+)[^;]*m=1\x1b")))
        << host.output.substr(0, 200);
    const int width = std::stoi(match[1]);
    const int height = std::stoi(match[2]);
    ASSERT_EQ(host.bitmaps.size(), 1u);
    const auto& image = host.bitmaps.front();
    EXPECT_EQ(image.width, width);
    EXPECT_EQ(image.height, height);
    ASSERT_EQ(image.bytes.size(), static_cast<size_t>(width * height * 4));
    const uint8_t* topLeft = &image.bytes[0];
    const uint8_t* bottomRight = &image.bytes[image.bytes.size() - 4];
    EXPECT_GT(topLeft[0], topLeft[2]);
    EXPECT_GT(bottomRight[2], bottomRight[0]);
    EXPECT_EQ(host.replies.find("\x1b_G"), std::string::npos);
    EXPECT_TRUE(host.terminal().kittyGraphicsState.imagesById.empty());
}

TEST_F(KittyGraphicsClientsTest, TimgPngChunksCarryTheSourcePixels)
{
    if (::access("/usr/bin/timg", X_OK) != 0) GTEST_SKIP() << "timg is not installed";
    // Large enough to need several 4096-byte chunks, small enough to fit unscaled.
    const std::string png = writeGradient(160, 90);
    ImageHost& host = run("/usr/bin/timg -pk " + png);

    ASSERT_EQ(host.encoded.size(), 1u);
    EXPECT_NE(host.output.find("m=1"), std::string::npos);
    const auto shown = decodePngToRgba(host.encoded.front());
    std::ifstream file(png, std::ios::binary);
    const std::vector<uint8_t> sourceBytes(std::istreambuf_iterator<char>(file), {});
    const auto source = decodePngToRgba(sourceBytes);
    ASSERT_TRUE(shown);
    ASSERT_TRUE(source);
    EXPECT_EQ(shown->width, 160);
    EXPECT_EQ(shown->height, 90);
    EXPECT_TRUE(shown->bytes == source->bytes);
    EXPECT_EQ(host.replies.find("\x1b_G"), std::string::npos);
}
