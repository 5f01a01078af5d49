#include "corvel/screen/CircularBufferLineList.h"
#include "corvel/screen/CircularList.h"
#include "corvel/platform/Log.h"

#include "tests/corvel/support/TestImage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace corvel;
using corvel::testing::TestImage;

namespace {

// A one-cell line whose cell holds `c`; lines are told apart by that letter.
BufferLine named(char c, bool withImage = false)
{
    CharData cell;
    cell.code = c;
    BufferLine line(1, cell);
    if (withImage) line.images = BufferLine::ImageList{std::make_shared<TestImage>(1, 1)};
    return line;
}

struct Ring {
    CircularBufferLineList lines;
    std::vector<int64_t> made;
    std::vector<bool> pushed;
    std::vector<bool> recycled;

    explicit Ring(int64_t capacity) : lines(capacity)
    {
        lines.makeEmpty = [this](int64_t slot) {
            made.push_back(slot);
            return named('.');
        };
        lines.onLinePushed = [this](bool has) { pushed.push_back(has); };
        lines.onLineRecycled = [this](bool had) { recycled.push_back(had); };
    }

    void push(const std::string& names)
    {
        for (char c : names) lines.push(named(c));
    }

    // The logical lines by name.
    std::string names()
    {
        std::string out;
        for (int64_t i = 0; i < lines.count(); ++i) out += static_cast<char>(lines[i][0].code);
        return out;
    }

    // No two slots may hold the same line object.
    bool ownsDistinctLines() const
    {
        auto all = lines.getArray();
        for (size_t i = 0; i < all.size(); ++i) {
            for (size_t j = i + 1; j < all.size(); ++j) {
                if (all[i] && all[i] == all[j]) return false;
            }
        }
        return true;
    }
};

}  // namespace

TEST(CircularBufferLineList, PushDropsTheOldestLineOfAFullRing)
{
    Ring ring(3);
    ring.lines.push(named('A', true));
    ring.push("BCD");
    EXPECT_EQ(ring.names(), "BCD");
    EXPECT_EQ(ring.lines.count(), 3);
    EXPECT_EQ(ring.pushed, (std::vector<bool>{true, false, false, false}));
    EXPECT_TRUE(ring.recycled.empty());

    // After dropping lines from the start, refilling and pushing onto the full
    // ring still drops the oldest line.
    ring.lines.trimStart(2);
    EXPECT_EQ(ring.names(), "D");
    ring.push("EF");
    ring.push("G");
    EXPECT_EQ(ring.names(), "EFG");
    ring.lines.trimStart(5);
    EXPECT_TRUE(ring.lines.isEmpty());
}

TEST(CircularBufferLineList, EmptySlotsAreFilledOnFirstRead)
{
    Ring ring(10);
    BufferLine& line = ring.lines[5];
    EXPECT_EQ(&ring.lines[5], &line);
    EXPECT_EQ(ring.made, (std::vector<int64_t>{5}));
    EXPECT_EQ(ring.lines.count(), 0);

    ring.lines.setCount(7);
    ring.lines.trimStart(7);
    ring.made.clear();
    ring.lines[4];
    EXPECT_EQ(ring.made, (std::vector<int64_t>{1}));
}

TEST(CircularBufferLineList, CapacityChangesKeepTheLogicalOrder)
{
    Ring ring(3);
    ring.push("ABCDE");  // start is now slot 2
    ring.lines.setMaxLength(5);
    EXPECT_EQ(ring.lines.getStartIndex(), 0);
    EXPECT_EQ(ring.lines.count(), 3);
    EXPECT_EQ(ring.names(), "CDE");
    auto slots = ring.lines.getArray();
    EXPECT_EQ(slots[3], nullptr);
    EXPECT_EQ(slots[4], nullptr);

    Ring small(5);
    small.push("XY");
    small.lines.setMaxLength(2);
    EXPECT_EQ(small.names(), "XY");
    EXPECT_TRUE(small.lines.isFull());
}

TEST(CircularBufferLineList, RecycleClearsTheOldestLineInPlace)
{
    Ring ring(3);
    ring.lines.push(named('A', true));
    ring.push("BC");
    BufferLine* oldest = &ring.lines[0];
    oldest->isWrapped = true;
    Attribute blue;
    blue.bg = Attribute::Color::ansi256(4);

    ring.lines.recycle(blue);
    EXPECT_EQ(ring.recycled, (std::vector<bool>{true}));
    EXPECT_EQ(&ring.lines[2], oldest);
    EXPECT_FALSE(oldest->images.has_value());
    EXPECT_EQ((*oldest)[0], CharData(blue));
    EXPECT_TRUE(oldest->isWrapped);  // the caller sets the new line's flags
    EXPECT_EQ(ring.names().substr(0, 2), "BC");

    ring.lines.recycle(blue);
    EXPECT_EQ(ring.recycled, (std::vector<bool>{true, false}));
}

TEST(CircularBufferLineListDeathTest, ProgrammingErrorsStopTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto toStderr = [] {
        log::setSink([](std::string_view line) { std::fprintf(stderr, "%.*s\n", int(line.size()), line.data()); });
    };
    EXPECT_DEATH(
        {
            toStderr();
            Ring ring(3);
            ring.push("AB");
            ring.lines.recycle(Attribute{});
        },
        "can only recycle when the buffer is full");
    EXPECT_DEATH(
        {
            toStderr();
            CircularBufferLineList ring(3);
            ring.setCount(4);
        },
        "count 4");
    EXPECT_DEATH(
        {
            toStderr();
            CircularBufferLineList ring(3);
            ring[0];
        },
        "without a line factory");
}

TEST(CircularBufferLineList, SpliceMovesLinesWithoutSharingThem)
{
    Ring ring(3);
    ring.push("ABC");
    std::vector<int64_t> changed;
    std::vector<BufferLine> items;
    items.push_back(named('X'));
    ring.lines.splice(1, 0, std::move(items), [&](int64_t i) { changed.push_back(i); });
    EXPECT_EQ(ring.names(), "XBC");
    EXPECT_EQ(changed, (std::vector<int64_t>{3, 2, 1}));
    EXPECT_TRUE(ring.ownsDistinctLines());

    // Delete one line, then insert one lower down: the scroll-up pattern.
    Ring screen(5);
    screen.push("ABCDE");
    changed.clear();
    screen.lines.splice(1, 1, {}, [&](int64_t i) { changed.push_back(i); });
    EXPECT_EQ(screen.names(), "ACDE");
    EXPECT_EQ(changed, (std::vector<int64_t>{1, 2, 3}));
    std::vector<BufferLine> blank;
    blank.push_back(named('n'));
    screen.lines.splice(3, 0, std::move(blank));
    EXPECT_EQ(screen.names(), "ACDnE");
    EXPECT_TRUE(screen.ownsDistinctLines());

    // Arguments outside the lines present are clamped.
    screen.lines.splice(4, 10, {});
    EXPECT_EQ(screen.names(), "ACDn");
    screen.lines.splice(-3, 1, {});
    EXPECT_EQ(screen.names(), "CDn");
    std::vector<BufferLine> tail;
    tail.push_back(named('z'));
    screen.lines.splice(99, 0, std::move(tail));
    EXPECT_EQ(screen.names(), "CDnz");
}

TEST(CircularBufferLineList, ShiftMovesRunsAndEmptiesTheSlotsLeftBehind)
{
    Ring ring(3);
    ring.push("ABC");
    {
        log::Capture capture;
        EXPECT_FALSE(ring.lines.shiftElements(0, 1, 0));
        EXPECT_FALSE(ring.lines.shiftElements(1, -1, 1));
        EXPECT_FALSE(ring.lines.shiftElements(-1, 1, 2));
        EXPECT_FALSE(ring.lines.shiftElements(3, 1, 1));
        EXPECT_EQ(capture.lines(), (std::vector<std::string>{
                                       "Assertion at start=0 count=1 offset=0: start+offset <= 0",
                                       "Assertion at start=1 count=-1 offset=1: count < 0",
                                       "Assertion at start=-1 count=1 offset=2: start < 0",
                                       "Assertion at start=3 count=1 offset=1: start >= self.count",
                                   }));
    }
    EXPECT_EQ(ring.names(), "ABC");

    // B and C move down one line; the oldest line is dropped and the slot B
    // left is empty, so it reads as a fresh line.
    EXPECT_TRUE(ring.lines.shiftElements(1, 2, 1));
    EXPECT_EQ(ring.lines.count(), 3);
    EXPECT_EQ(ring.names(), ".BC");
    EXPECT_TRUE(ring.ownsDistinctLines());

    // Shift up within a region: lines 2...3 move to 1...2, slot 3 is vacated.
    Ring region(5);
    region.push("ABCDE");
    EXPECT_TRUE(region.lines.shiftElements(2, 2, -1));
    EXPECT_EQ(region.names(), "ACD.E");
    EXPECT_TRUE(region.ownsDistinctLines());
}

TEST(CircularBufferLineList, PopAndTakeHandLinesBack)
{
    Ring ring(3);
    ring.push("AB");
    auto last = ring.lines.pop();
    ASSERT_TRUE(last);
    EXPECT_EQ((*last)[0].code, 'B');
    EXPECT_EQ(ring.names(), "A");
    ring.lines.pop();
    EXPECT_EQ(ring.lines.pop(), nullptr);
    EXPECT_EQ(ring.lines.count(), 0);

    Ring other(2);
    other.push("XY");
    ring.push("Q");
    ring.lines.set(0, other.lines.take(1));
    EXPECT_EQ(ring.names(), "Y");
    EXPECT_EQ(other.names(), "X.");
}

TEST(CircularList, KeepsValuesInARing)
{
    CircularList<int> list(3);
    list.makeEmpty = [](int64_t) { return 0; };
    for (int v : {1, 2, 3, 4}) list.push(v);
    EXPECT_EQ(list[0], 2);
    EXPECT_EQ(list[2], 4);
    EXPECT_EQ(list.debugGetCyclicIndex(-2), 2);  // indices wrap as the line ring's do
    EXPECT_EQ(list[-1], 4);
    EXPECT_EQ(list[-2], 3);
    EXPECT_EQ(list[5], 4);
    list.splice(1, 0, {9});
    EXPECT_EQ(list[0], 9);
    EXPECT_EQ(list[1], 3);
    EXPECT_EQ(list.pop(), 4);
    list.trimStart(9);
    EXPECT_TRUE(list.isEmpty());
    EXPECT_EQ(list.pop(), std::nullopt);
}

TEST(CircularBufferLineList, IndicesOutsideTheRingWrapOntoItsSlots)
{
    // After the start has moved, an index below 0 or past the slots still
    // names a slot of the ring, counted from the start in either direction.
    Ring ring(3);
    ring.push("abcd");
    ASSERT_EQ(ring.names(), "bcd");
    EXPECT_EQ(ring.lines.debugGetCyclicIndex(-2), 2);
    EXPECT_EQ(ring.lines.debugGetCyclicIndex(-4), 0);
    EXPECT_EQ(ring.lines.debugGetCyclicIndex(7), 2);
    EXPECT_EQ(ring.lines[-1][0].code, 'd');
    EXPECT_EQ(ring.lines[-2][0].code, 'c');
    EXPECT_EQ(ring.lines[-3][0].code, 'b');
}
