// Placing images at the cursor with strips that record what they would show:
// sizes from requests, one strip per covered row (a partial last row
// included), line feeds and scrolling, and requests that must stay bounded.
#include "corvel/terminal/ImageInsertion.h"
#include "corvel/terminal/Terminal.h"
#include "tests/corvel/support/TestHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace corvel;

namespace {

// A strip without pixels: what it was asked to show.
class RecordedStrip final : public TerminalImage {
public:
    explicit RecordedStrip(const ImageStrip& strip) : strip(strip), col_(strip.col) {}
    ImageStrip strip;
    int64_t pixelWidth() const override { return strip.width; }
    int64_t pixelHeight() const override { return strip.height; }
    int64_t col() const override { return col_; }
    void setCol(int64_t col) override { col_ = col; }

private:
    int64_t col_;
};

struct Fixture {
    std::shared_ptr<corvel::testing::TestHost> host = std::make_shared<corvel::testing::TestHost>();
    Terminal terminal{host, corvel::testing::sized(20, 5, 10)};
    ImageInsertionGeometry geometry{8, 17, 160, 85, 1};
    std::vector<ImageStrip> made;

    ImageInsertionResult insert(double w, double h, ImageSizeRequest width = ImageSizeRequest::automatic(),
                                ImageSizeRequest height = ImageSizeRequest::automatic(), bool keepAspect = true)
    {
        ImageInsertionRequest request{w, h, width, height, keepAspect};
        return ImageInsertion::insert(terminal, request, geometry, [this](const ImageStrip& strip) {
            made.push_back(strip);
            return std::make_shared<RecordedStrip>(strip);
        });
    }
    const RecordedStrip* stripOn(int64_t row)
    {
        const BufferLine& line = terminal.buffer().lines()[row];
        if (!line.images || line.images->empty()) return nullptr;
        return dynamic_cast<const RecordedStrip*>(line.images->front().get());
    }
};

}  // namespace

TEST(ImageInsertion, StripsCoverEveryRowOnConsecutiveLines)
{
    Fixture f;
    f.terminal.feed("ab");
    // 40 x 34 pixels in 8 x 17 cells: exactly two rows.
    ImageInsertionResult two = f.insert(40, 34);
    EXPECT_EQ(two.rows, 2);
    EXPECT_EQ(two.cols, 5);
    ASSERT_NE(f.stripOn(0), nullptr);
    ASSERT_NE(f.stripOn(1), nullptr);
    EXPECT_EQ(f.stripOn(0)->col(), 2);
    EXPECT_EQ(f.stripOn(1)->strip.source, (ImageRect{0, 17, 40, 17}));
    // The cursor stays in the start column, one line below the last strip.
    EXPECT_EQ(f.terminal.buffer().x(), 2);
    EXPECT_EQ(f.terminal.buffer().y(), 2);

    // 3.5 rows: the half row is a fourth strip showing the rest of the source
    // in its upper half.
    f.made.clear();
    ImageInsertionResult partial = f.insert(16, 59.5);
    EXPECT_EQ(partial.rows, 4);
    ASSERT_EQ(f.made.size(), 4u);
    EXPECT_EQ(f.made[3].source, (ImageRect{0, 51, 16, 8.5}));
    EXPECT_EQ(f.made[3].target, (ImageRect{0, 0, 16, 8.5}));
    EXPECT_EQ(f.made[3].height, 17);
    // The screen scrolled for the strips past its bottom: all of it is dirty.
    EXPECT_TRUE(partial.scrolled);
    EXPECT_EQ(f.terminal.getUpdateRange(), (std::pair<int64_t, int64_t>{0, 5}));
}

TEST(ImageInsertion, SizesFollowTheRequestAndKeepTheAspect)
{
    Fixture f;
    // Cells: 10 x 2 cells = 80 x 34 points; a 100 x 100 source is fitted and
    // centred in that box.
    ImageInsertionResult boxed = f.insert(100, 100, ImageSizeRequest::cells(10), ImageSizeRequest::cells(2));
    EXPECT_EQ(boxed.width, 80);
    EXPECT_EQ(boxed.height, 34);
    EXPECT_EQ(f.made[0].target, (ImageRect{23, 0, 34, 17}));
    // Percent of the frame with the height following: 200 x 100 at 50 % of 160.
    EXPECT_EQ(ImageInsertion::targetSize({200, 100, ImageSizeRequest::percent(50), ImageSizeRequest::automatic(), true},
                                         f.geometry, 100),
              (std::pair<double, double>{80, 40}));
    // Aspect not kept: the sizes stand as asked.
    EXPECT_EQ(ImageInsertion::targetSize({200, 100, ImageSizeRequest::pixels(30), ImageSizeRequest::pixels(50), false},
                                         f.geometry, 100),
              (std::pair<double, double>{30, 50}));
}

TEST(ImageInsertion, BadRequestsAreBoundedOrInsertNothing)
{
    Fixture f;
    // 100000 cells wide: bounded by the frame width, the height scaled with it.
    ImageInsertionResult wide = f.insert(100, 10, ImageSizeRequest::cells(100000));
    EXPECT_EQ(wide.width, 160);
    EXPECT_EQ(wide.rows, 1);
    // Far too tall: at most the screen plus its scrollback in strips.
    f.made.clear();
    ImageInsertionResult tall = f.insert(10, 10, ImageSizeRequest::automatic(), ImageSizeRequest::cells(100000), false);
    EXPECT_EQ(tall.rows, 15);
    EXPECT_EQ(f.made.size(), 15u);

    // No source size, a zero request, non-finite sizes: nothing, cursor kept.
    f.terminal.feed("\x1b[H\x1b[2J\x1b[3;4H");
    f.made.clear();
    for (auto [w, h] : {std::pair{0.0, 34.0}, {40.0, 0.0}, {std::nan(""), 34.0}, {std::numeric_limits<double>::infinity(), 34.0}}) {
        EXPECT_EQ(f.insert(w, h).attached, 0);
    }
    EXPECT_EQ(f.insert(40, 34, ImageSizeRequest::cells(0)).attached, 0);
    EXPECT_TRUE(f.made.empty());
    EXPECT_EQ(f.terminal.buffer().x(), 3);
    EXPECT_EQ(f.terminal.buffer().y(), 2);

    // A strip the host cannot make is skipped without a line feed.
    ImageInsertionRequest request{40, 34, ImageSizeRequest::automatic(), ImageSizeRequest::automatic(), true};
    const ImageInsertionResult skipped =
        ImageInsertion::insert(f.terminal, request, f.geometry, [](const ImageStrip&) { return nullptr; });
    EXPECT_EQ(skipped.attached, 0);
    EXPECT_EQ(f.terminal.buffer().y(), 2);
}
