// The flag by which a line tells that it may hold a wide character: printing
// trusts a clear flag and skips the check for split wide characters, so every
// way a wide cell can reach a line must raise it.
#include "corvel/screen/BufferLine.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace corvel;

namespace {

CharData cellOf(char32_t c, int width)
{
    CharData cell;
    cell.setValue(static_cast<int32_t>(c), width);
    return cell;
}

const CharData narrow = cellOf(U'a', 1);
const CharData wide = cellOf(U'\u6F22', 2);

BufferLine narrowLine(int cols = 6)
{
    return BufferLine(cols, narrow);
}

BufferLine lineWithWide(int cols = 6)
{
    BufferLine line = narrowLine(cols);
    line.set(1, wide);
    line.set(2, cellOf(0, 0));
    return line;
}

}  // namespace

TEST(BufferLineWideCells, EveryWayAWideCellArrivesRaisesTheFlag)
{
    const std::vector<std::pair<std::string, std::function<BufferLine()>>> ways = {
        {"set", [] { return lineWithWide(); }},
        {"modify", [] {
             BufferLine line = narrowLine();
             line.modify(3, [](CharData& cell) { cell.width = 2; });
             return line;
         }},
        {"copy of a range", [] {
             const BufferLine source = lineWithWide();
             BufferLine line = narrowLine();
             line.copyFrom(source, 1, 3, 2);
             return line;
         }},
        {"copy of a line into a larger block", [] {
             const BufferLine source = lineWithWide(4);
             BufferLine line = narrowLine(8);
             line.copyFrom(source);
             return line;
         }},
        {"copy of a line into a smaller block", [] {
             const BufferLine source = lineWithWide(8);
             BufferLine line = narrowLine(4);
             line.copyFrom(source);
             return line;
         }},
        {"copy construction", [] {
             const BufferLine source = lineWithWide();
             return BufferLine(source);
         }},
        {"move assignment", [] {
             BufferLine line = narrowLine();
             line = lineWithWide();
             return line;
         }},
        {"resize with a wide fill", [] {
             BufferLine line = narrowLine(2);
             line.resize(4, wide);
             return line;
         }},
        {"construction with a wide fill", [] { return BufferLine(3, wide); }},
    };
    EXPECT_FALSE(narrowLine().mayHoldWideCells());
    for (const auto& [name, make] : ways) EXPECT_TRUE(make().mayHoldWideCells()) << name;
}

TEST(BufferLineWideCells, OnlyWritingTheWholeBlockClearsTheFlag)
{
    BufferLine line = lineWithWide();
    // Narrow cells over the wide one leave the flag raised: it may be stale,
    // never wrong.
    line.fill(narrow, 0, 6);
    const uint8_t codes[] = {'x', 'y'};
    line.writeNarrowRun(1, codes, narrow);
    EXPECT_TRUE(line.mayHoldWideCells());

    line.fill(narrow);
    EXPECT_FALSE(line.mayHoldWideCells());

    line = lineWithWide();
    line.clear(Attribute{});
    EXPECT_FALSE(line.mayHoldWideCells());

    // A narrow line copied over the whole block clears it; over part of a
    // larger block the cells past the copy still count.
    line = lineWithWide();
    line.copyFrom(narrowLine());
    EXPECT_FALSE(line.mayHoldWideCells());
    line = lineWithWide(8);
    line.copyFrom(narrowLine(4));
    EXPECT_TRUE(line.mayHoldWideCells());
}
