// Real sixel encoders on a pseudo-terminal: what they write decodes to the
// picture they were given, at the size they announce, however the output
// is cut.
#include "tests/corvel/support/HeadlessProgramFixture.h"

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <regex>
#include <string>

using namespace corvel;
using corvel::testing::RecordingTerminal;

namespace {

bool haveProgram(const char* path)
{
    return access(path, X_OK) == 0;
}

using Rgba = std::array<int, 4>;

Rgba pixel(const HeadlessTerminal::Image& image, int x, int y)
{
    const size_t i = (static_cast<size_t>(y) * image.width + x) * 4;
    return {image.bytes[i], image.bytes[i + 1], image.bytes[i + 2], image.bytes[i + 3]};
}

// The test picture: a 16 x 12 image of four 8 x 6 quarters, red, green
// (top), blue, white (bottom).
Rgba expectedPixel(int x, int y)
{
    if (y < 6) return x < 8 ? Rgba{255, 0, 0, 255} : Rgba{0, 255, 0, 255};
    return x < 8 ? Rgba{0, 0, 255, 255} : Rgba{255, 255, 255, 255};
}

class ImageHost : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t>) override {}
    void createImageFromBitmap(Terminal&, std::vector<uint8_t>& bytes, int width, int height) override
    {
        images.push_back({bytes, width, height});
    }
    std::vector<HeadlessTerminal::Image> images;
};

// The program's recorded output, fed again in two pieces split at every
// offset, gives the same bitmap as it did on the pseudo-terminal.
void expectSameImageAtEverySplit(const RecordingTerminal& program)
{
    ASSERT_EQ(program.images().size(), 1u);
    const auto& expected = program.images().front();
    const std::string_view output = program.output;
    auto host = std::make_shared<ImageHost>();
    Terminal terminal(host);
    for (size_t cut = 0; cut <= output.size(); ++cut) {
        terminal.feed(output.substr(0, cut));
        terminal.feed(output.substr(cut));
        ASSERT_EQ(host->images.size(), 1u) << cut;
        ASSERT_EQ(host->images[0].width, expected.width) << cut;
        ASSERT_EQ(host->images[0].height, expected.height) << cut;
        ASSERT_TRUE(host->images[0].bytes == expected.bytes) << cut;
        host->images.clear();
    }
}

class SixelProgramsTest : public corvel::testing::HeadlessProgramTest {
protected:
    // Writes the four-colour picture with ImageMagick; false when it is missing.
    bool makePicture()
    {
        if (!haveProgram("/usr/bin/convert-im6.q16")) return false;
        const std::string im = "/usr/bin/convert-im6.q16";
        const std::string command = "cd '" + dir + "' && " + im + " -size 8x6 xc:red xc:lime +append top.png && " +
                                    im + " -size 8x6 xc:blue xc:white +append bottom.png && " + im +
                                    " top.png bottom.png -append four.png";
        return std::system(command.c_str()) == 0;
    }

    // Runs `command` in the picture's folder on a 40 x 12 pseudo-terminal until it exits.
    std::shared_ptr<RecordingTerminal> run(const std::string& command)
    {
        return HeadlessProgramTest::run<RecordingTerminal>(40, 12, command);
    }
};

}  // namespace

TEST_F(SixelProgramsTest, ImageMagickAndImg2sixelPicturesDecodeToTheirPixels)
{
    if (!makePicture()) GTEST_SKIP() << "ImageMagick is not installed";

    const auto magick = run("/usr/bin/convert-im6.q16 four.png sixel:-");
    ASSERT_EQ(magick->images().size(), 1u) << magick->output;
    const auto& exact = magick->images().front();
    ASSERT_EQ(exact.width, 16);
    ASSERT_EQ(exact.height, 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(pixel(exact, x, y), expectedPixel(x, y)) << x << "," << y;

    if (!haveProgram("/usr/bin/img2sixel")) GTEST_SKIP() << "img2sixel is not installed";
    const auto libsixel = run("/usr/bin/img2sixel -d none four.png");
    ASSERT_EQ(libsixel->images().size(), 1u) << libsixel->output;
    const auto& near = libsixel->images().front();
    ASSERT_EQ(near.width, 16);
    ASSERT_EQ(near.height, 12);
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 16; ++x) {
            const Rgba got = pixel(near, x, y);
            const Rgba want = expectedPixel(x, y);
            for (int c = 0; c < 4; ++c) ASSERT_LE(std::abs(got[c] - want[c]), 8) << x << "," << y << " channel " << c;
        }
    }
    expectSameImageAtEverySplit(*magick);
    expectSameImageAtEverySplit(*libsixel);
}

TEST_F(SixelProgramsTest, ChafaAndGnuplotImagesHaveTheSizeTheyName)
{
    if (!makePicture()) GTEST_SKIP() << "ImageMagick is not installed";
    if (haveProgram("/usr/bin/chafa")) {
        const auto chafa = run("/usr/bin/chafa -f sixel --size 10x5 four.png");
        std::smatch raster;
        ASSERT_TRUE(std::regex_search(chafa->output, raster, std::regex("\"1;1;([0-9]+);([0-9]+)")))
            << chafa->output;
        ASSERT_EQ(chafa->images().size(), 1u);
        EXPECT_EQ(chafa->images().front().width, std::stoi(raster[1]));
        EXPECT_EQ(chafa->images().front().height, std::stoi(raster[2]));
        EXPECT_GT(chafa->images().front().width, 0);
        expectSameImageAtEverySplit(*chafa);
    }
    if (haveProgram("/usr/bin/gnuplot")) {
        const auto plot = run("/usr/bin/gnuplot -e \"set terminal sixelgd size 200,100; plot sin(x)\"");
        ASSERT_EQ(plot->images().size(), 1u);
        EXPECT_EQ(plot->images().front().width, 200);
        EXPECT_EQ(plot->images().front().height, 100);
        expectSameImageAtEverySplit(*plot);
    }
}
