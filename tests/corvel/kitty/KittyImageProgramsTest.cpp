// Real image programs (timg, chafa, img2sixel) on a pseudo-terminal whose
// host inserts their images as pixel-less strips on 10×20-pixel cells: a
// Kitty delete takes only the Kitty strips, and erasing the display keeps a
// sixel image in the scrollback.
#include "corvel/kitty/KittyGraphicsState.h"
#include "tests/corvel/support/HeadlessProgramFixture.h"
#include "tests/corvel/support/PixelCellHost.h"
#include "tests/corvel/support/PixelLessImageInsertion.h"
#include "tests/corvel/support/TestPng.h"

#include <unistd.h>

using namespace corvel;
using namespace corvel::testing;

namespace {

class InsertingHost : public corvel::testing::PixelCellHost {
public:
    explicit InsertingHost(EndCallback onEnd) : PixelCellHost(std::move(onEnd)) {}

    void createImageFromBitmap(Terminal& source, std::vector<uint8_t>&, int width, int height) override
    {
        ImageSizeRequest widthRequest = ImageSizeRequest::automatic();
        ImageSizeRequest heightRequest = ImageSizeRequest::automatic();
        bool keep = true;
        if (const auto& context = source.kittyPlacementContext) {
            ++kittyImages;
            widthRequest = context->widthRequest;
            heightRequest = context->heightRequest;
            keep = context->preserveAspectRatio;
        } else {
            ++otherImages;
        }
        insertPixelLess(source, width, height, widthRequest, heightRequest, keep, {});
    }
    void createImage(Terminal& source, std::span<const uint8_t> data, ImageSizeRequest width,
                     ImageSizeRequest height, bool preserveAspectRatio) override
    {
        const auto size = kittyPngPixelSize(data);
        if (!size) return;
        if (source.kittyPlacementContext) ++kittyImages;
        insertPixelLess(source, double(size->width), double(size->height), width, height, preserveAspectRatio, {});
    }

    int kittyImages = 0;
    int otherImages = 0;
};

// Counts the strips on lines from..<to of the normal buffer, Kitty or not.
std::pair<int, int> countStrips(Buffer& buffer, int64_t from, int64_t to)
{
    int kitty = 0;
    int other = 0;
    for (int64_t row = from; row < to; ++row) {
        const BufferLine* line = buffer.peekLine(row);
        if (!line || !line->images) continue;
        for (const auto& image : *line->images) {
            const auto* strip = dynamic_cast<const StripImage*>(image.get());
            if (strip) ++(strip->kittyIsKitty() ? kitty : other);
        }
    }
    return {kitty, other};
}

class KittyImageProgramsTest : public HeadlessProgramTest {
protected:
    void SetUp() override
    {
        std::vector<uint8_t> pixels(64 * 48 * 4);
        for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i % 4 == 3 ? 255 : i * 7);
        ASSERT_TRUE(writePng(png_, pixels, 64, 48));
    }

    InsertingHost& run(const std::string& script) { return *HeadlessProgramTest::run<InsertingHost>(80, 25, script); }

    static bool installed(const char* path) { return ::access(path, X_OK) == 0; }

    std::string png_ = dir + "/picture.png";
};

}  // namespace

TEST_F(KittyImageProgramsTest, KittyDeleteTakesKittyStripsAndLeavesSixel)
{
    if (!installed("/usr/bin/timg") || !installed("/usr/bin/chafa") || !installed("/usr/bin/img2sixel"))
        GTEST_SKIP() << "timg, chafa or img2sixel is not installed";
    const std::string shown = "timg -pk " + png_ + "; chafa -f kitty --size 10x5 " + png_ + "; img2sixel " + png_ + ";";
    {
        InsertingHost& host = run(shown);
        Buffer& buffer = host.terminal().normalBuffer();
        const auto [kitty, other] = countStrips(buffer, 0, buffer.lines().count());
        EXPECT_EQ(host.kittyImages, 2);
        EXPECT_GT(kitty, 0);
        EXPECT_GT(other, 0);
    }
    InsertingHost& host = run(shown + "printf '\\033_Ga=d,d=A\\033\\\\'");
    Buffer& buffer = host.terminal().normalBuffer();
    const auto [kitty, other] = countStrips(buffer, 0, buffer.lines().count());
    EXPECT_EQ(kitty, 0);
    EXPECT_GT(other, 0);
    EXPECT_TRUE(host.terminal().kittyGraphicsState.imagesById.empty());
}

TEST_F(KittyImageProgramsTest, EraseOfTheDisplayKeepsSixelInTheScrollback)
{
    if (!installed("/usr/bin/img2sixel")) GTEST_SKIP() << "img2sixel is not installed";
    InsertingHost& host = run("img2sixel " + png_ + "; seq 40; printf '\\033[H\\033[2J'");
    Buffer& buffer = host.terminal().normalBuffer();
    ASSERT_EQ(host.otherImages, 1);
    ASSERT_GT(buffer.yBase(), 0);
    EXPECT_EQ(countStrips(buffer, 0, buffer.yBase()).second, 3);  // 48 pixels: three rows of 20
    EXPECT_EQ(countStrips(buffer, buffer.yBase(), buffer.lines().count()).second, 0);
}
