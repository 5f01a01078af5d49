// Kitty placements shown through a pixel-less host insertion on 10×20-pixel
// cells: cursor movement, strips, cropping, virtual placements, parents and
// their chains, lines renumbered by a full ring, cut by a region or gone, and
// the limit on placements kept.
#include "tests/corvel/kitty/KittyImageTestSupport.h"

#include <set>

#include "tests/corvel/support/TestPng.h"

using namespace corvel;
using namespace corvel::testing;

TEST(KittyPlacementsTest, CursorMovesByTheCellsTheImageCovers)
{
    StripTerminal t;
    t.store(1, 25, 40);
    t.store(2, 100, 50);
    t.store(3, 10, 50);
    const auto placeAt = [&](std::string_view keys) {
        t.feed("\x1b[3;5H");  // column 4, row 2
        t.command(keys);
        return t.cursor();
    };
    EXPECT_EQ(placeAt("a=p,i=1,q=2"), std::pair(7, 4));
    EXPECT_EQ(placeAt("a=p,i=1,Y=5,q=2"), std::pair(7, 5));
    EXPECT_EQ(placeAt("a=p,i=2,c=4,q=2"), std::pair(8, 3));
    EXPECT_EQ(placeAt("a=p,i=2,c=10,r=3,q=2"), std::pair(14, 5));
    EXPECT_EQ(placeAt("a=p,i=1,C=1,q=2"), std::pair(4, 2));
    // Offsets beyond a cell are held inside it; huge numbers do not overflow.
    EXPECT_EQ(placeAt("a=p,i=1,Y=9223372036854775807,q=2"), std::pair(7, 5));
    EXPECT_EQ(placeAt("a=p,i=2,c=9223372036854775807,r=2,q=2"), std::pair(39, 4));

    // Half a row left over still gets its strip, showing the rest of the source.
    t.feed("\x1b[H");
    t.command("a=p,i=3,p=3,q=2");
    const auto strips = t.strips(3, 3);
    ASSERT_EQ(strips.size(), 3u);
    EXPECT_EQ(strips.rbegin()->second->sourceY, 40);
    EXPECT_EQ(strips.rbegin()->second->sourceHeight, 10);
    EXPECT_EQ(strips.rbegin()->second->kittyStripIndex(), 2);
    EXPECT_EQ(t.record(3, 3).rows, 3);
}

TEST(KittyPlacementsTest, WithoutAHostTheCursorIndexesAndScrolls)
{
    Terminal terminal(std::weak_ptr<TerminalDelegate>{}, StripTerminal::smallOptions());
    const std::vector<uint8_t> pixels(16 * 4, 0);
    terminal.feed("\x1b[10;1H\x1b_Ga=T,f=32,s=4,v=4,c=2,r=2;" + base64::encode(pixels) + "\x1b\\");
    EXPECT_EQ(terminal.buffer().yBase(), 2);
    EXPECT_EQ(terminal.buffer().x(), 2);
    EXPECT_EQ(terminal.buffer().y(), 9);
    // A huge row count scrolls no more than the ring holds.
    terminal.feed("\x1b_Ga=T,f=32,s=4,v=4,c=2,r=4000000000;" + base64::encode(pixels) + "\x1b\\");
    EXPECT_LE(terminal.buffer().yBase(), 100);
}

TEST(KittyPlacementsTest, CroppingHandsTheHostTheRectangle)
{
    StripTerminal t;
    std::vector<uint8_t> pixels(4 * 4 * 4);
    for (size_t i = 0; i < pixels.size(); i += 4) {
        pixels[i] = static_cast<uint8_t>(i / 4);  // red = pixel index
        pixels[i + 3] = 255;
    }
    t.command("a=t,f=32,q=2,i=1,s=4,v=4", base64::encode(pixels));
    t.command("a=p,i=1,x=1,y=2,w=2,q=2");
    EXPECT_EQ(t.host->lastBitmap, std::pair(2, 2));
    ASSERT_EQ(t.host->lastBitmapBytes.size(), 16u);
    EXPECT_EQ(t.host->lastBitmapBytes[0], 9);
    EXPECT_EQ(t.host->lastBitmapBytes[4], 10);
    EXPECT_EQ(t.host->lastBitmapBytes[8], 13);
    t.command("a=p,i=1,x=0,y=0,w=0,h=0,q=2");
    EXPECT_EQ(t.host->lastBitmap, std::pair(4, 4));
    t.command("a=p,i=1,x=9");
    EXPECT_EQ(t.lastReply(), "Gi=1;EINVAL: bad crop");

    // A PNG that passes the header check but does not decode.
    std::vector<uint8_t> png = encodePng(std::vector<uint8_t>(8 * 8 * 4, 200), 8, 8);
    const std::string_view text(reinterpret_cast<const char*>(png.data()), png.size());
    const size_t data = text.find("IDAT") + 4;
    ASSERT_LT(data + 2, png.size() - 12);
    std::fill(png.begin() + static_cast<ptrdiff_t>(data), png.end() - 12, uint8_t{0x5a});  // garbage pixel data
    t.command("a=t,f=100,i=2", base64::encode(png));
    ASSERT_TRUE(t.terminal.kittyGraphicsState.imagesById.contains(2)) << t.host->replies;
    t.command("a=p,i=2,x=1");
    EXPECT_EQ(t.lastReply(), "Gi=2;ENOTSUP: cannot crop png");
}

TEST(KittyPlacementsTest, VirtualPlacementsOnlyKeepARecord)
{
    StripTerminal t;
    t.store(1, 20, 20);
    t.feed("\x1b[4;6H");
    t.command("a=p,i=1,U=1,q=2");
    t.command("a=p,i=1,U=1,c=3,r=2,q=2");
    ASSERT_TRUE(t.hasRecord(1, 1));
    ASSERT_TRUE(t.hasRecord(1, 2));
    EXPECT_TRUE(t.record(1, 1).isVirtual);
    EXPECT_EQ(t.record(1, 2).cols, 3);
    EXPECT_EQ(t.record(1, 2).row, t.yBase() + 3);
    EXPECT_EQ(t.record(1, 2).col, 5);
    EXPECT_EQ(t.cursor(), std::pair(5, 3));
    EXPECT_TRUE(t.strips(1, 1).empty());
    t.command("a=p,i=1,U=1,p=2,c=7,q=2");
    EXPECT_EQ(t.record(1, 2).cols, 7);

    t.command("a=p,i=1,U=1,P=3");
    EXPECT_EQ(t.lastReply(), "Gi=1;EINVAL: virtual placement cannot refer to parent");
    const size_t replies = t.host->replies.size();
    t.command("a=T,f=32,s=1,v=1,U=1", base64::encode(std::vector<uint8_t>(4, 0)));
    EXPECT_EQ(t.host->replies.size(), replies);
    EXPECT_EQ(t.terminal.kittyGraphicsState.placementsByKey.size(), 2u);
}

TEST(KittyPlacementsTest, ChildrenFollowTheirParents)
{
    StripTerminal t;
    t.store(1, 20, 20);  // one row, two columns
    t.feed("\x1b[6;3H");
    t.command("a=p,i=1,p=1,q=2");  // parent at row 5, column 2
    t.feed("\x1b[1;1H");
    t.command("a=p,i=1,p=2,P=1,Q=1,H=3,V=1,q=2");
    EXPECT_EQ(t.cursor(), std::pair(0, 0));
    ASSERT_EQ(t.strips(1, 2).size(), 1u);
    EXPECT_EQ(t.strips(1, 2).begin()->first, t.yBase() + 6);
    EXPECT_EQ(t.strips(1, 2).begin()->second->col(), 5);

    // A region that holds only the parent scrolls: the child follows.
    t.feed("\x1b[3;6r\x1b[6;1H\n\x1b[r");
    ASSERT_EQ(t.yBase(), 0);
    EXPECT_EQ(t.strips(1, 1).begin()->first, t.yBase() + 4);
    EXPECT_EQ(t.strips(1, 2).begin()->first, t.yBase() + 5);
    EXPECT_EQ(t.record(1, 2).row, t.yBase() + 5);

    // Below the screen: refused, the old placement and the cursor stay.
    t.feed("\x1b[2;2H");
    t.command("a=p,i=1,p=2,P=1,Q=1,V=10");
    EXPECT_EQ(t.lastReply(), "Gi=1;EINVAL: placement out of range");
    EXPECT_EQ(t.cursor(), std::pair(1, 1));
    EXPECT_TRUE(t.hasRecord(1, 2));
    EXPECT_EQ(t.strips(1, 2).size(), 1u);

    t.command("a=p,i=1,p=3,P=1,Q=9");
    EXPECT_EQ(t.lastReply(), "Gi=1;ENOPARENT: parent placement not found");
    t.command("a=p,i=1,p=3,P=1,q=2");  // P alone: absolute
    EXPECT_TRUE(t.hasRecord(1, 3));
    t.feed("\x1b[?1049h");
    t.command("a=p,i=1,p=4,P=1,Q=1");
    EXPECT_EQ(t.lastReply(), "Gi=1;ENOPARENT: parent placement not in current buffer");
    t.feed("\x1b[?1049l");

    // Two placements naming each other never resolve.
    auto& records = t.terminal.kittyGraphicsState.placementsByKey;
    records[{5, 1}] = KittyPlacementRecord{5, 1, 5, 2, 0, 0, 0, 0, 0, 0, 1, 1, 0, true, false};
    records[{5, 2}] = KittyPlacementRecord{5, 2, 5, 1, 0, 0, 0, 0, 0, 0, 1, 1, 0, true, false};
    t.command("a=p,i=1,p=5,P=5,Q=1");
    EXPECT_EQ(t.lastReply(), "Gi=1;ENOPARENT: parent placement not found");
}

TEST(KittyPlacementsTest, AChainOfAHundredThousandResolvesWithoutRecursion)
{
    TerminalOptions options = StripTerminal::smallOptions();
    options.kittyPlacementLimit = 200000;
    StripTerminal t(options);
    t.store(1, 20, 20);
    t.feed("\x1b[3;4H");
    t.command("a=p,i=1,p=1,q=2");
    const KittyPlacementRecord root = t.record(1, 1);
    auto& records = t.terminal.kittyGraphicsState.placementsByKey;
    constexpr uint32_t depth = 100000;
    for (uint32_t i = 1; i <= depth; ++i) {
        KittyPlacementRecord link;
        link.imageId = 2;
        link.placementId = i;
        link.parentImageId = i == 1 ? 1 : 2;
        link.parentPlacementId = i == 1 ? 1 : i - 1;
        link.parentOffsetH = i == 1 ? 1 : 0;
        link.row = root.row;
        link.col = root.col + 1;
        link.isVirtual = true;
        records[{2, i}] = link;
    }
    t.feed("\x1b[1;1H");
    t.command("a=p,i=1,p=2,P=2,Q=100000,V=2,q=2");
    ASSERT_EQ(t.strips(1, 2).size(), 1u);
    EXPECT_EQ(t.strips(1, 2).begin()->first, root.row + 2);
    EXPECT_EQ(t.strips(1, 2).begin()->second->col(), root.col + 1);
    // Scrolling resolves the whole chain again.
    t.feed("\x1b[10;1H\n\n");
    EXPECT_EQ(t.record(2, depth).row, t.strips(1, 1).begin()->first);
}

TEST(KittyPlacementsTest, StripsOfAFullRingAreFoundWhereTheyAre)
{
    StripTerminal t;
    std::string lines;
    for (int i = 1; i <= 500; ++i) lines += std::to_string(i) + "\r\n";
    t.feed(lines);
    ASSERT_EQ(t.terminal.buffer().lines().count(), 110);
    t.store(1, 20, 40);
    t.command("a=p,i=1,q=2");  // no p: strips without a record
    t.feed("a\r\nb\r\nc\r\n");
    const auto strips = t.strips(1, std::nullopt);
    ASSERT_EQ(strips.size(), 2u);
    const int64_t screenRow = strips.begin()->first - t.yBase();
    ASSERT_GE(screenRow, 0);
    t.command("a=d,d=p,x=1,y=" + std::to_string(screenRow + 1));
    EXPECT_TRUE(t.strips(1, std::nullopt).empty());
    EXPECT_FALSE(t.terminal.buffer().hasAnyImages());

    // A record keeps naming the lines its strips are on.
    t.command("a=p,i=1,p=4,q=2");
    t.feed("x\r\ny\r\nz\r\n");
    const auto placed = t.strips(1, 4);
    ASSERT_EQ(placed.size(), 2u);
    EXPECT_EQ(t.record(1, 4).row, placed.begin()->first);
    t.command("a=d,d=y,y=" + std::to_string(placed.rbegin()->first - t.yBase() + 1));
    EXPECT_FALSE(t.hasRecord(1, 4));
    EXPECT_TRUE(t.strips(1, 4).empty());
}

TEST(KittyPlacementsTest, TheOldestPlacementsAndThoseWhoseLinesLeftGo)
{
    TerminalOptions options = StripTerminal::smallOptions();
    options.kittyPlacementLimit = 3;
    StripTerminal t(options);
    t.store(1, 20, 20);  // one row, two columns
    for (int p = 1; p <= 4; ++p) t.command("a=p,i=1,q=2,p=" + std::to_string(p));
    // Past the limit the oldest went, its strips with it.
    EXPECT_FALSE(t.hasRecord(1, 1));
    EXPECT_TRUE(t.strips(1, 1).empty());
    for (uint32_t p = 2; p <= 4; ++p) EXPECT_EQ(t.strips(1, p).size(), 1u) << "placement " << p;

    // Lines that leave the buffer take their placements along; a virtual
    // placement has no lines and stays.
    t.command("a=p,i=1,U=1,p=9,q=2");
    t.feed(std::string(120, '\n'));
    EXPECT_FALSE(t.terminal.normalBuffer().hasAnyImages());
    EXPECT_EQ(t.terminal.kittyGraphicsState.placementsByKey.size(), 1u);
    EXPECT_TRUE(t.hasRecord(1, 9));
}

TEST(KittyPlacementsTest, APlacementARegionCutsThroughIsStillReplacedWhole)
{
    StripTerminal t;
    t.store(1, 20, 60);  // three rows
    t.feed("\x1b[4;1H");
    t.command("a=p,i=1,p=1,q=2");  // lines 3 to 5
    // A region from line 4 scrolls down: the strips inside it move, the one
    // above it stays.
    t.feed("\x1b[5;8r\x1b[5;1H\x1bM\x1b[r");
    std::set<int64_t> lines;
    for (const auto& [line, strip] : t.strips(1, 1)) lines.insert(line);
    EXPECT_EQ(lines, (std::set<int64_t>{3, 5, 6}));

    t.feed("\x1b[1;10H");
    t.command("a=p,i=1,p=1,q=2");
    lines.clear();
    for (const auto& [line, strip] : t.strips(1, 1)) {
        lines.insert(line);
        EXPECT_EQ(strip->col(), 9);
    }
    EXPECT_EQ(lines, (std::set<int64_t>{0, 1, 2}));
}

namespace {

// Everything a run leaves of the placements: each record's rectangle and
// parent, and the lines each key's strips are on, in both buffers.
std::string placementState(StripTerminal& t)
{
    std::map<std::pair<uint32_t, uint32_t>, std::string> records;
    for (const auto& [key, r] : t.terminal.kittyGraphicsState.placementsByKey) {
        records[{key.imageId, key.placementId}] =
            std::to_string(r.row) + "," + std::to_string(r.col) + " " + std::to_string(r.cols) + "x" +
            std::to_string(r.rows) + (r.isVirtual ? " virtual" : "") + (r.isAlternateBuffer ? " alternate" : "");
    }
    std::string all;
    for (const auto& [key, text] : records)
        all += std::to_string(key.first) + "/" + std::to_string(key.second) + ": " + text + "\n";
    for (Buffer* b : {&t.terminal.normalBuffer(), &t.terminal.altBuffer()}) {
        all += "lines:";
        for (int64_t row = 0; row < b->lines().count(); ++row) {
            const BufferLine* line = b->peekLine(row);
            if (!line || !line->images) continue;
            for (const auto& image : *line->images) {
                const auto* strip = dynamic_cast<const StripImage*>(image.get());
                if (strip && strip->kittyIsKitty())
                    all += " " + std::to_string(row) + "=" + std::to_string(strip->kittyImageId().value_or(0)) + "/" +
                           std::to_string(strip->kittyPlacementId().value_or(0));
            }
        }
        all += "\n";
    }
    return all + "cursor " + std::to_string(t.cursor().first) + "," + std::to_string(t.cursor().second) + " yBase " +
           std::to_string(t.yBase()) + "\nreplies " + t.host->replies;
}

}  // namespace

TEST(KittyPlacementsTest, RecordsAgreeHoweverTheOutputIsCut)
{
    // Full rings drop lines through the whole screen and through a region,
    // while placements are added, resolved against parents and deleted
    // between the drops, on both screens.
    std::string lines;
    for (int i = 1; i <= 200; ++i) lines += std::to_string(i) + "\r\n";
    const auto apc = [](std::string_view keys) { return kittyCommand(keys); };
    const std::string script =
        lines + "\x1b[3;3H" + apc("a=p,i=2,p=1,q=2") + apc("a=p,i=1,p=2,P=2,Q=1,H=4,V=1") +
        apc("a=p,i=1,U=1,p=7,c=2,r=1,q=2") + "\x1b[10;1H" + lines.substr(0, 12) + "\x1b[1;5r\x1b[5;1H\n\n\n\x1b[r" +
        apc("a=p,i=1,p=3,P=2,Q=1,V=3") + "\x1b[3J" + lines + "\x1b[2;2H" + apc("a=p,i=2,p=4,q=2") +
        apc("a=p,i=1,p=5,P=2,Q=4,H=3,V=1") + "\x1b[10;1H" + lines.substr(0, 9) + apc("a=d,d=y,y=9") +
        "\x1b[1;8r\x1b[8;1H\n\x1b[r" + apc("a=p,i=1,p=6,P=2,Q=4,H=6,V=12") + "\x1b[?1049h\x1b[4;1H" +
        apc("a=p,i=2,p=8,q=2") + apc("a=p,i=1,p=9,P=2,Q=8,H=3") + "\x1b[10;1H" + lines.substr(0, 9) +
        apc("a=d,d=p,x=1,y=1") + "\x1b[?1049l\x1b[10;1H" + lines.substr(0, 6) + "\x1b[5;1H" +
        apc("a=p,i=1,p=10,P=2,Q=4,V=8") + apc("a=d,d=x,x=8") +
        "\x1b[6;3H" + apc("a=p,i=1,U=1,p=11,q=2") + "\x1b[10;1H" + lines.substr(0, 12) + "\x1b[1;1H" +
        apc("a=p,i=1,p=12,P=1,Q=11,V=3");

    const auto run = [&](size_t piece) {
        auto t = std::make_unique<StripTerminal>();
        t->store(1, 20, 20);
        t->store(2, 20, 40);
        for (size_t at = 0; at < script.size(); at += piece) t->feed(std::string_view(script).substr(at, piece));
        return placementState(*t);
    };
    const std::string whole = run(script.size());
    EXPECT_NE(whole.find("2/4"), std::string::npos) << whole;
    EXPECT_NE(whole.find("1/12: 104,2"), std::string::npos) << whole;
    EXPECT_EQ(run(1), whole);
    EXPECT_EQ(run(7), whole);
}
