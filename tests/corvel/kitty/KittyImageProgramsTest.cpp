// Real image programs (timg, chafa, img2sixel) on a pseudo-terminal whose
// host inserts their images as pixel-less strips on 10×20-pixel cells: a
// Kitty delete takes only the Kitty strips, and erasing the display keeps a
// sixel image in the scrollback.
#include "corvel/kitty/KittyGraphicsState.h"
#include "corvel/host/HeadlessTerminal.h"
#include "tests/corvel/support/PixelCellHost.h"
#include "tests/corvel/support/PixelLessImageInsertion.h"

#include <gtest/gtest.h>
#include <png.h>

#include <unistd.h>

#include <filesystem>

using namespace corvel;
using namespace corvel::testing;

namespace {

constexpr Nanos kSecond = 1'000'000'000;
const std::vector<std::string> kEnv = {"PATH=/usr/bin:/bin", "LANG=C.UTF-8", "TERM=xterm-256color", "HOME=/tmp"};

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

class KittyImageProgramsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        main_ = std::make_shared<RunLoopQueue>();
        previous_ = DispatchQueue::setMain(main_);
        char pattern[] = "/tmp/corvel-kitty-programs-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        png_ = dir_ + "/picture.png";
        std::vector<uint8_t> pixels(64 * 48 * 4);
        for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i % 4 == 3 ? 255 : i * 7);
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        image.width = 64;
        image.height = 48;
        image.format = PNG_FORMAT_RGBA;
        ASSERT_TRUE(png_image_write_to_file(&image, png_.c_str(), 0, pixels.data(), 0, nullptr));
    }
    void TearDown() override
    {
        host_.reset();
        main_->runUntilIdle();
        DispatchQueue::setMain(previous_);
        std::filesystem::remove_all(dir_);
    }

    InsertingHost& run(const std::string& script)
    {
        TerminalOptions options;
        options.cols = 80;
        options.rows = 25;
        host_ = HeadlessTerminal::create<InsertingHost>(nullptr, options, [this](std::optional<int32_t>) { ended_ = true; });
        host_->process().startProcess("/bin/sh", {"-c", script}, kEnv);
        // The bound only guards against a hang.
        EXPECT_TRUE(main_->runUntil([&] { return ended_; }, 20 * kSecond));
        return *host_;
    }

    static bool installed(const char* path) { return ::access(path, X_OK) == 0; }

    std::shared_ptr<RunLoopQueue> main_;
    std::shared_ptr<DispatchQueue> previous_;
    std::shared_ptr<InsertingHost> host_;
    std::string dir_;
    std::string png_;
    bool ended_ = false;
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
    ended_ = false;
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
