// What the lines of a terminal keep to draw, through a pixel-less host on
// 10x20-pixel cells: the bytes its line images hold in both buffers and the
// history, the oldest pictures (Kitty placements with their records, sixel
// images) dropped past the limit, and a picture dropped when a later one
// hides it in the same cells, but not when anything of it may still show.
// Also the placement records when the history is erased or shrunk, and a
// host that runs out of room while it inserts an image.
#include "corvel/terminal/ImageInsertion.h"
#include "tests/corvel/kitty/KittyImageTestSupport.h"
#include "tests/corvel/support/ScreenText.h"
#include "tests/corvel/support/TestPng.h"

#include <new>
#include <optional>
#include <string>
#include <utility>

using namespace corvel;
using namespace corvel::testing;

namespace {

// A sixel of 100 x 6n green pixels: on 10x20 cells 10 columns and
// ceil(6n / 20) strips of 100 x 20 pixels.
std::string sixel(int bands)
{
    std::string out = "\x1bPq#0;2;0;100;0";
    for (int i = 0; i < bands; ++i) out += "#0!100~-";
    return out + "\x1b\\";
}

// What one strip of the sixel above is charged: its pixels and a record.
constexpr int64_t kSixelStripBytes = 100 * 20 * 4 + 256;

TerminalOptions options(int cols, int rows, int scrollback, int64_t limit = 335544320)
{
    TerminalOptions made;
    made.cols = cols;
    made.rows = rows;
    made.scrollback = scrollback;
    made.lineImageLimitBytes = limit;
    return made;
}

// Lines of the current buffer holding at least one image.
int linesWithImages(Terminal& terminal)
{
    Buffer& b = terminal.buffer();
    int count = 0;
    for (int64_t row = 0; row < b.lines().count(); ++row)
        if (const BufferLine* line = b.peekLine(row); line && line->images && !line->images->empty()) ++count;
    return count;
}

// A host that runs out of room in the next image once armed: by default
// when every strip of it is on the lines, or, given a strip number, when the
// insertion the view uses comes to make that strip.
class FailingStripHost : public StripHost {
public:
    void arm(std::optional<int> atStrip = std::nullopt)
    {
        armed_ = true;
        atStrip_ = atStrip;
    }
    void createImageFromBitmap(Terminal& source, std::vector<uint8_t>& bytes, int width, int height) override
    {
        if (armed_ && atStrip_) {
            failPartWay(source, width, height);
            return;
        }
        StripHost::createImageFromBitmap(source, bytes, width, height);
        failIfArmed();
    }
    void createImage(Terminal& source, std::span<const uint8_t> data, ImageSizeRequest width,
                     ImageSizeRequest height, bool preserveAspectRatio) override
    {
        StripHost::createImage(source, data, width, height, preserveAspectRatio);
        failIfArmed();
    }

private:
    void failIfArmed()
    {
        if (std::exchange(armed_, false)) throw std::bad_alloc();
    }
    void failPartWay(Terminal& source, int width, int height)
    {
        armed_ = false;
        ImageInsertionRequest request;
        request.sourceWidth = width;
        request.sourceHeight = height;
        if (const auto& context = source.kittyPlacementContext) {
            request.width = context->widthRequest;
            request.height = context->heightRequest;
            request.preserveAspectRatio = context->preserveAspectRatio;
        }
        const ImageInsertionGeometry cells{double(geometry.cellWidth), double(geometry.cellHeight),
                                           double(source.cols() * geometry.cellWidth),
                                           double(source.rows() * geometry.cellHeight), 1};
        ImageInsertion::insert(source, request, cells, [&](const ImageStrip& strip) {
            if (strip.index == *atStrip_) throw std::bad_alloc();
            return std::make_shared<StripImage>(strip.width, strip.height, strip.col, strip.source.y,
                                                strip.source.height);
        });
    }

    bool armed_ = false;
    std::optional<int> atStrip_;
};

// A terminal whose host failed on the first sixel it was fed, followed by
// text on the same feed.
std::unique_ptr<StripTerminal> afterAFailedSixel(TerminalOptions made, bool opaque)
{
    auto host = std::make_shared<FailingStripHost>();
    host->opaqueImages = opaque;
    auto t = std::make_unique<StripTerminal>(made, host);
    host->arm();
    t->feed(sixel(10) + "after");
    return t;
}

}  // namespace

TEST(TerminalLineImagesTest, BytesFollowTheImagesOfBothBuffersAndTheHistory)
{
    StripTerminal t(options(80, 10, 20));
    t.feed(sixel(10));  // 60 pixels: 3 strips
    EXPECT_EQ(t.terminal.lineImages().bytes(), 3 * kSixelStripBytes);
    EXPECT_EQ(t.terminal.lineImages().imageCount(), 3);

    t.feed("\x1b[?1049h" + sixel(4));  // the alternate screen: 2 strips
    EXPECT_EQ(t.terminal.lineImages().bytes(), 5 * kSixelStripBytes);
    t.feed("\x1b[?1049l");  // leaving clears the alternate screen
    EXPECT_EQ(t.terminal.lineImages().bytes(), 3 * kSixelStripBytes);

    // Into the history and then out of the ring, with the lines.
    for (int i = 0; i < 12; ++i) t.feed("text\r\n");
    EXPECT_EQ(t.terminal.lineImages().bytes(), 3 * kSixelStripBytes);
    for (int i = 0; i < 30; ++i) t.feed("text\r\n");
    EXPECT_EQ(t.terminal.lineImages().bytes(), 0);
    EXPECT_EQ(t.terminal.lineImages().imageCount(), 0);

    // A Kitty placement counts alike, and its delete gives the bytes back.
    t.store(1, 10, 20);
    t.command("a=p,i=1,p=1,c=3,r=2,q=2");
    EXPECT_EQ(t.terminal.lineImages().bytes(), 2 * (30 * 20 * 4 + 256));
    t.command("a=d,d=i,i=1,q=2");
    EXPECT_EQ(t.terminal.lineImages().bytes(), 0);
}

TEST(TerminalLineImagesTest, OldestPicturesGoPastTheLimitTheNewestLast)
{
    // Room for three sixels of three strips each.
    StripTerminal t(options(80, 40, 100, 9 * kSixelStripBytes));
    for (int i = 0; i < 5; ++i) t.feed(sixel(10) + "\r\n");  // on lines 4i ..< 4i + 3
    EXPECT_LE(t.terminal.lineImages().bytes(), 9 * kSixelStripBytes);
    EXPECT_EQ(t.otherImageLines(t.terminal.buffer()), (std::set<int64_t>{8, 9, 10, 12, 13, 14, 16, 17, 18}));

    // The newest stays, even alone above the limit, until another comes.
    StripTerminal tight(options(80, 40, 100, 100));
    tight.feed(sixel(10) + "\r\n");
    EXPECT_EQ(tight.otherImageLines(tight.terminal.buffer()), (std::set<int64_t>{0, 1, 2}));
    tight.feed(sixel(10) + "\r\n");
    EXPECT_EQ(tight.otherImageLines(tight.terminal.buffer()), (std::set<int64_t>{4, 5, 6}));

    // Pictures in the history and on the alternate screen are counted too:
    // the oldest goes wherever it is.
    StripTerminal both(options(80, 10, 100, 6 * kSixelStripBytes));
    both.feed(sixel(10) + "\r\n");
    for (int i = 0; i < 20; ++i) both.feed("text\r\n");
    both.feed("\x1b[?1049h" + sixel(10) + "\r\n" + sixel(10));
    EXPECT_TRUE(both.otherImageLines(both.terminal.normalBuffer()).empty());
    EXPECT_EQ(both.otherImageLines(both.terminal.altBuffer()).size(), 6u);
}

TEST(TerminalLineImagesTest, KittyPlacementsPastTheLimitGoWithTheirRecords)
{
    // A 3x2-cell placement is two strips of 30 x 20 pixels: room for two.
    constexpr int64_t placement = 2 * (30 * 20 * 4 + 256);
    StripTerminal t(options(40, 20, 100, 2 * placement));
    t.store(1, 10, 20);
    for (int p = 1; p <= 4; ++p) {
        t.feed("\x1b[" + std::to_string(3 * p) + ";1H");
        t.command("a=p,i=1,p=" + std::to_string(p) + ",c=3,r=2,q=2");
    }
    EXPECT_FALSE(t.hasRecord(1, 1));
    EXPECT_FALSE(t.hasRecord(1, 2));
    EXPECT_TRUE(t.strips(1, 1).empty());
    EXPECT_TRUE(t.strips(1, 2).empty());
    ASSERT_TRUE(t.hasRecord(1, 3));
    EXPECT_EQ(t.strips(1, 3).size(), 2u);
    EXPECT_EQ(t.strips(1, 4).size(), 2u);
    EXPECT_EQ(t.terminal.lineImages().bytes(), 2 * placement);

    // The records left still name their strips: a delete by cell finds one.
    t.command("a=d,d=p,x=1,y=9,q=2");
    EXPECT_FALSE(t.hasRecord(1, 3));
    EXPECT_TRUE(t.strips(1, 3).empty());
}

TEST(TerminalLineImagesTest, APictureHiddenInTheSameCellsGoes)
{
    // The placements of a program that draws one opaque image over and over
    // at the top left, leaving the cursor there: one is left.
    StripTerminal t(options(80, 50, 100));
    t.host->opaqueImages = true;
    t.command("a=t,f=32,s=1,v=1,i=1,q=2", "AAD//w==");
    for (int p = 1; p <= 300; ++p) t.feed("\x1b[H" + kittyCommand("a=p,q=2,i=1,c=77,r=40,C=1,p=" + std::to_string(p)));
    EXPECT_EQ(t.terminal.kittyGraphicsState.placementsByKey.size(), 1u);
    EXPECT_TRUE(t.hasRecord(1, 300));
    EXPECT_EQ(t.strips(1, 300).size(), 40u);
    EXPECT_EQ(t.terminal.lineImages().bytes(), 40 * (770 * 20 * 4 + 256));

    // Sixels drawn over and over at the top left.
    StripTerminal s(options(80, 50, 100));
    s.host->opaqueImages = true;
    for (int i = 0; i < 300; ++i) s.feed("\x1b[H" + sixel(10));
    EXPECT_EQ(s.terminal.lineImages().bytes(), 3 * kSixelStripBytes);
    EXPECT_EQ(linesWithImages(s.terminal), 3);

    // A sixel hides a Kitty placement in its cells: images of other
    // protocols are drawn over every Kitty layer.
    StripTerminal k(options(80, 50, 100));
    k.host->opaqueImages = true;
    k.store(2, 100, 60);
    k.command("a=p,i=2,p=1,C=1,q=2");
    k.feed(sixel(10));
    EXPECT_FALSE(k.hasRecord(2, 1));
    EXPECT_TRUE(k.strips(2, 1).empty());
}

TEST(TerminalLineImagesTest, APictureThatMayStillShowStays)
{
    const auto placeTwice = [](std::string_view first, std::string_view second, bool opaque = true) {
        auto t = std::make_unique<StripTerminal>(options(80, 20, 100));
        t->host->opaqueImages = opaque;
        t->store(1, 10, 20);
        t->store(2, 10, 20);
        t->feed("\x1b[H");
        t->command(first);
        t->feed("\x1b[H");
        t->command(second);
        return t;
    };
    // Not known to be opaque.
    EXPECT_TRUE(placeTwice("a=p,i=1,p=1,c=4,r=2,q=2", "a=p,i=1,p=2,c=4,r=2,q=2", false)->hasRecord(1, 1));
    // Smaller, narrower or lower than the first.
    EXPECT_TRUE(placeTwice("a=p,i=1,p=1,c=4,r=2,q=2", "a=p,i=1,p=2,c=4,r=1,q=2")->hasRecord(1, 1));
    EXPECT_TRUE(placeTwice("a=p,i=1,p=1,c=4,r=2,q=2", "a=p,i=1,p=2,c=3,r=2,q=2")->hasRecord(1, 1));
    EXPECT_TRUE(placeTwice("a=p,i=1,p=1,c=4,r=2,q=2", "a=p,i=1,p=2,c=4,r=2,z=-1,q=2")->hasRecord(1, 1));
    // Drawn under it: a lower image id in the same layer.
    EXPECT_TRUE(placeTwice("a=p,i=2,p=1,c=4,r=2,q=2", "a=p,i=1,p=2,c=4,r=2,q=2")->hasRecord(2, 1));
    // Moved by other pixel offsets.
    EXPECT_TRUE(placeTwice("a=p,i=1,p=1,c=4,r=2,q=2", "a=p,i=1,p=2,c=4,r=2,X=3,q=2")->hasRecord(1, 1));
    // Larger, a higher layer or a higher id hide it.
    EXPECT_FALSE(placeTwice("a=p,i=1,p=1,c=4,r=2,q=2", "a=p,i=1,p=2,c=5,r=2,q=2")->hasRecord(1, 1));
    EXPECT_FALSE(placeTwice("a=p,i=1,p=1,c=4,r=2,z=-1,q=2", "a=p,i=1,p=2,c=4,r=2,q=2")->hasRecord(1, 1));
    EXPECT_FALSE(placeTwice("a=p,i=1,p=1,c=4,r=2,q=2", "a=p,i=2,p=2,c=4,r=2,q=2")->hasRecord(1, 1));

    // A placement others are placed from stays, with its relatives.
    auto parent = placeTwice("a=p,i=1,p=1,c=4,r=2,q=2", "a=p,i=1,p=3,c=4,r=2,q=2");
    EXPECT_FALSE(parent->hasRecord(1, 1));
    auto kept = std::make_unique<StripTerminal>(options(80, 20, 100));
    kept->host->opaqueImages = true;
    kept->store(1, 10, 20);
    kept->feed("\x1b[H");
    kept->command("a=p,i=1,p=1,c=4,r=2,q=2");
    kept->command("a=p,i=1,p=2,P=1,Q=1,H=10,c=1,r=1,q=2");
    kept->feed("\x1b[H");
    kept->command("a=p,i=1,p=3,c=4,r=2,q=2");
    EXPECT_TRUE(kept->hasRecord(1, 1));
    EXPECT_EQ(kept->strips(1, 1).size(), 2u);

    // Nor does a sixel hide a Kitty placement its pixel offset moves beyond
    // the sixel's cells: to the right, or down (its 60 pixels then start 3
    // below the top of the first row and reach into the row below the
    // sixel's three).
    for (const char* offset : {"X=3", "Y=3"}) {
        StripTerminal moved(options(80, 20, 100));
        moved.host->opaqueImages = true;
        moved.store(2, 100, 60);
        moved.feed("\x1b[H");
        moved.command(std::string("a=p,i=2,p=1,") + offset + ",C=1,q=2");
        moved.feed("\x1b[H" + sixel(10));
        EXPECT_TRUE(moved.hasRecord(2, 1)) << offset;
        EXPECT_EQ(moved.strips(2, 1).size(), 3u) << offset;
        EXPECT_EQ(moved.otherImageLines(moved.terminal.buffer()), (std::set<int64_t>{0, 1, 2})) << offset;
    }

    // A Kitty placement does not hide a sixel: the sixel is drawn over it.
    StripTerminal s(options(80, 20, 100));
    s.host->opaqueImages = true;
    s.store(2, 100, 60);
    s.feed(sixel(10) + "\x1b[H");
    s.command("a=p,i=2,p=1,C=1,q=2");
    EXPECT_EQ(s.otherImageLines(s.terminal.buffer()), (std::set<int64_t>{0, 1, 2}));

    // A picture whose strips moved away from the place it was drawn (the
    // lines of a scroll region rotated) is not taken for hidden.
    StripTerminal moved(options(80, 20, 100));
    moved.host->opaqueImages = true;
    moved.feed("\x1b[2;10r\x1b[2;1H" + sixel(10) + "\x1b[2;1H\x1bM\x1b[2;1H" + sixel(10));
    EXPECT_EQ(moved.otherImageLines(moved.terminal.buffer()), (std::set<int64_t>{1, 2, 3, 4}));
    EXPECT_EQ(moved.terminal.lineImages().bytes(), 6 * kSixelStripBytes);
}

TEST(TerminalLineImagesTest, ErasingOrShrinkingTheHistoryDropsTheRecordsOfItsPlacements)
{
    for (const bool erase : {true, false}) {
        SCOPED_TRACE(erase ? "erased" : "shrunk");
        StripTerminal t(options(40, 10, 100));
        t.store(1, 10, 20);
        t.command("a=p,i=1,p=1,c=2,r=2,q=2");
        for (int i = 0; i < 30; ++i) t.feed("text\r\n");
        t.command("a=p,i=1,p=2,c=2,r=2,q=2");
        ASSERT_TRUE(t.hasRecord(1, 1));
        const int64_t above = t.record(1, 2).row - t.yBase();
        if (erase) {
            t.feed("\x1b[3J");
        } else {
            t.terminal.changeHistorySize(5);
        }
        // Placement 1 went with the history; placement 2 keeps its place on
        // the screen and its record names its lines.
        EXPECT_FALSE(t.hasRecord(1, 1));
        EXPECT_TRUE(t.strips(1, 1).empty());
        ASSERT_TRUE(t.hasRecord(1, 2));
        const auto strips = t.strips(1, 2);
        ASSERT_EQ(strips.size(), 2u);
        EXPECT_EQ(t.record(1, 2).row, strips.begin()->first);
        EXPECT_EQ(t.record(1, 2).row - t.yBase(), above);
        t.command("a=d,d=p,x=1,y=" + std::to_string(above + 2) + ",q=2");
        EXPECT_FALSE(t.hasRecord(1, 2));
        EXPECT_TRUE(t.strips(1, 2).empty());
    }
}

TEST(TerminalLineImagesTest, DuringSynchronizedOutputOnlyTheOldestPicturesGo)
{
    // The frozen copy of the screen holds the strips of a picture taken off
    // the lines, so the bytes do not fall with each one dropped: what each
    // held is counted instead, and the pictures newer than that stay.
    StripTerminal t(options(80, 40, 100, 9 * kSixelStripBytes));
    for (int i = 0; i < 3; ++i) t.feed(sixel(10) + "\r\n");  // on lines 4i ..< 4i + 3
    t.feed("\x1b[?2026h" + sixel(10) + "\r\n");
    EXPECT_EQ(t.otherImageLines(t.terminal.buffer()), (std::set<int64_t>{4, 5, 6, 8, 9, 10, 12, 13, 14}));
    t.feed("\x1b[?2026l");
    EXPECT_EQ(t.terminal.lineImages().bytes(), 9 * kSixelStripBytes);
}

TEST(TerminalLineImagesTest, AHostOutOfRoomLeavesNothingOfItsImageAndTheRulesGoOn)
{
    // Nothing of the failed sixel stays on the lines, and the text after it
    // is read from where the insertion left the cursor.
    auto failed = afterAFailedSixel(options(80, 40, 100, 9 * kSixelStripBytes), false);
    StripTerminal& t = *failed;
    EXPECT_EQ(t.terminal.lineImages().bytes(), 0);
    EXPECT_EQ(linesWithImages(t.terminal), 0);
    EXPECT_EQ(screenRows(t.terminal).at(3), "after");

    // The byte limit still drops the oldest pictures.
    t.feed("\x1b[5H");
    for (int i = 0; i < 5; ++i) t.feed(sixel(10) + "\r\n");  // on lines 4 + 4i ..< 4 + 4i + 3
    EXPECT_EQ(t.terminal.lineImages().bytes(), 9 * kSixelStripBytes);
    EXPECT_EQ(t.otherImageLines(t.terminal.buffer()), (std::set<int64_t>{12, 13, 14, 16, 17, 18, 20, 21, 22}));

    // A picture hidden in the same cells still goes.
    auto covered = afterAFailedSixel(options(80, 50, 100), true);
    for (int i = 0; i < 20; ++i) covered->feed("\x1b[H" + sixel(10));
    EXPECT_EQ(covered->terminal.lineImages().bytes(), 3 * kSixelStripBytes);
    EXPECT_EQ(linesWithImages(covered->terminal), 3);

    // An inline image of OSC 1337 alike.
    auto host = std::make_shared<FailingStripHost>();
    StripTerminal osc(options(80, 40, 100, 9 * kSixelStripBytes), host);
    const std::vector<uint8_t> png = encodePng(std::vector<uint8_t>(100 * 60 * 4, 0xFF), 100, 60);
    const std::string image =
        "\x1b]1337;File=inline=1:" + base64::encode(std::string_view(reinterpret_cast<const char*>(png.data()),
                                                                     png.size())) + "\x07";
    host->arm();
    osc.feed(image + "after\r\n");
    EXPECT_EQ(osc.terminal.lineImages().bytes(), 0);
    EXPECT_EQ(screenRows(osc.terminal).at(3), "after");
    for (int i = 0; i < 4; ++i) osc.feed(image + "\r\n");
    EXPECT_EQ(osc.terminal.lineImages().bytes(), 9 * kSixelStripBytes);
}

TEST(TerminalLineImagesTest, AKittyPlacementTheHostCannotFinishLeavesNoRecordAndNoContext)
{
    // The host fails once all its strips are on the lines, before it made
    // one (after the placement was recorded), and after one of two.
    for (const std::optional<int> atStrip : {std::optional<int>(), std::optional<int>(0), std::optional<int>(1)}) {
        SCOPED_TRACE(atStrip ? "at strip " + std::to_string(*atStrip) : "after the strips");
        auto host = std::make_shared<FailingStripHost>();
        StripTerminal t(options(80, 20, 100), host);
        t.store(1, 10, 20);
        host->arm(atStrip);
        t.command("a=p,i=1,p=1,c=3,r=2");
        EXPECT_EQ(t.lastReply(), "Gi=1;EINVAL: bad payload");
        EXPECT_FALSE(t.hasRecord(1, 1));
        EXPECT_TRUE(t.strips(1, 1).empty());
        EXPECT_EQ(t.terminal.lineImages().bytes(), 0);

        // The next sixel is a sixel of its own, not a part of that placement.
        t.feed(sixel(10));
        EXPECT_EQ(t.otherImageLines(t.terminal.buffer()).size(), 3u);
        EXPECT_FALSE(t.hasRecord(1, 1));
    }
}
