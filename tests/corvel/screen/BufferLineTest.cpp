#include "corvel/screen/BufferLine.h"
#include "corvel/platform/Log.h"

#include "tests/corvel/support/TestImage.h"

#include <gtest/gtest.h>

#include <string>

using namespace corvel;
using corvel::testing::TestImage;

namespace {

constexpr const char* outOfRange =
    "BufferLine: You passed an index out of range, adjusting to prevent crash, but you should debug";

CharData ch(char32_t c, int width = 1)
{
    CharData cell;
    cell.setValue(static_cast<int32_t>(c), width);
    return cell;
}

BufferLine lineOf(const std::u32string& text)
{
    BufferLine line(static_cast<int>(text.size()));
    for (size_t i = 0; i < text.size(); ++i) line.set(static_cast<int>(i), ch(text[i]));
    return line;
}

std::string text(const BufferLine& line) { return line.translateToString(); }

}  // namespace

TEST(BufferLine, InsertAndDeleteCellsStopAtTheRightMargin)
{
    const CharData f = ch(U'f');
    BufferLine line = lineOf(U"ABCDEFGHIJ");
    line.insertCells(3, 2, 9, f);
    EXPECT_EQ(text(line), "ABCffDEFGH");

    line = lineOf(U"ABCDEFGHIJ");
    line.deleteCells(3, 2, 9, f);
    EXPECT_EQ(text(line), "ABCFGHIJff");

    // More cells than fit before the margin: cleared to the margin only.
    line = lineOf(U"ABCDEFGHIJ");
    line.insertCells(2, 50, 5, f);
    EXPECT_EQ(text(line), "ABffffGHIJ");
    line = lineOf(U"ABCDEFGHIJ");
    line.deleteCells(2, 4, 5, f);
    EXPECT_EQ(text(line), "ABffffGHIJ");

    // A position beyond the margin is reduced modulo margin + 1.
    line = lineOf(U"ABCDEFGHIJ");
    line.insertCells(7, 1, 4, f);  // 7 % 5 = 2
    EXPECT_EQ(text(line), "ABfCDFGHIJ");

    // A wide character and its companion cell move together.
    line = lineOf(U"ab  cd");
    line.set(2, ch(U'中', 2));
    line.set(3, ch(0, 0));
    line.insertCells(0, 1, 5, f);
    EXPECT_EQ(line[3].code, U'中');
    EXPECT_EQ(line[3].width, 2);
    EXPECT_EQ(line[4].width, 0);
}

TEST(BufferLine, RangeOperationsClampToTheLine)
{
    const CharData f = ch(U'f');
    log::Capture capture;

    // Margins and positions outside the line touch only cells inside it.
    BufferLine line = lineOf(U"ABCDE");
    line.insertCells(1, 2, 100, f);
    EXPECT_EQ(text(line), "AffBC");
    line = lineOf(U"ABCDE");
    line.deleteCells(1, 1, 100, f);
    EXPECT_EQ(text(line), "ACDEf");
    line = lineOf(U"ABCDE");
    line.insertCells(40, 1, 50, f);  // 40 lies past the end
    line.deleteCells(-3, 1, 4, f);   // negative positions count from 0
    line.insertCells(1, -2, 4, f);
    line.deleteCells(1, 3, -1, f);
    EXPECT_EQ(text(line), "BCDEf");

    line = lineOf(U"ABCDE");
    line.fill(f, -2, 4);
    EXPECT_EQ(text(line), "ffCDE");
    line.fill(f, 4, 1000);
    line.fill(f, 2'000'000'000, 2'000'000'000);
    line.replaceCells(-5, 2, ch(U'r'));
    line.replaceCells(3, 99, ch(U'R'));
    EXPECT_EQ(text(line), "rrCRR");

    // Copies keep source and destination paired and drop what lies outside.
    BufferLine src = lineOf(U"12345");
    line = lineOf(U"abcde");
    line.copyFrom(src, -2, 0, 4);  // cells -2, -1 do not exist: 1, 2 go to columns 2, 3
    EXPECT_EQ(text(line), "ab12e");
    line.copyFrom(src, 3, 3, 100);
    line.copyFrom(src, 0, -10, 3);
    line.copyFrom(src, 9, 0, 3);
    EXPECT_EQ(text(line), "ab145");

    // Subscripts: writes past either end land on the nearest cell after a warning.
    line = lineOf(U"abcde");
    line.set(5, ch(U'X'));
    line.set(-1, ch(U'Y'));
    line.modify(1000, [](CharData& c) { c.code = U'Z'; });
    EXPECT_EQ(text(line), "YbcdZ");
    EXPECT_EQ(capture.count(outOfRange), 3u);
    EXPECT_EQ(line[99].code, U'Z');
    EXPECT_EQ(line[-4].code, U'Y');
    EXPECT_EQ(capture.count(outOfRange), 3u);  // reads are silent

    // A line of zero cells reads as an empty cell and ignores every change.
    BufferLine empty(0);
    empty.set(0, ch(U'X'));
    empty.insertCells(0, 1, 0, f);
    empty.deleteCells(0, 1, 0, f);
    empty.fill(f, 0, 1);
    empty.replaceCells(0, 1, f);
    empty.copyFrom(src, 0, 0, 5);
    EXPECT_EQ(empty[0].code, 0);
    EXPECT_EQ(empty.count(), 0);
    EXPECT_EQ(empty.translateToString(true, 0, 10, true), "");
    EXPECT_FALSE(empty.hasAnyContent());
}

TEST(BufferLine, CopyWithinOneLineHandlesOverlap)
{
    BufferLine line = lineOf(U"abcdefgh");
    line.copyFrom(line, 0, 2, 5);
    EXPECT_EQ(text(line), "ababcdeh");
    line = lineOf(U"abcdefgh");
    line.copyFrom(line, 2, 0, 5);
    EXPECT_EQ(text(line), "cdefgfgh");
}

TEST(BufferLine, WholeLineCopiesReuseTheBlockWhenItIsLargeEnough)
{
    BufferLine wide = lineOf(U"0123456789");
    wide.renderMode = BufferLine::RenderLineMode::doubleWidth;
    BufferLine narrow = lineOf(U"abc");
    narrow.isWrapped = true;

    wide.copyFrom(narrow);
    EXPECT_EQ(wide.count(), 3);
    EXPECT_EQ(wide.capacity(), 10);
    EXPECT_TRUE(wide.isWrapped);
    EXPECT_EQ(wide.renderMode, BufferLine::RenderLineMode::doubleWidth);
    EXPECT_EQ(text(wide), "abc");
    EXPECT_EQ(wide.getData().size(), 3u);

    BufferLine copy(wide);
    EXPECT_EQ(copy.capacity(), 3);
    EXPECT_EQ(copy.renderMode, BufferLine::RenderLineMode::doubleWidth);

    narrow.copyFrom(lineOf(U"0123456"));
    EXPECT_EQ(narrow.capacity(), 7);
    EXPECT_EQ(text(narrow), "0123456");

    // Growing a line past its count keeps the cells in use and fills the rest.
    wide.resize(5, ch(U'.'));
    EXPECT_EQ(text(wide), "abc..");
    wide.resize(0, ch(U'.'));
    EXPECT_EQ(wide.count(), 0);
    EXPECT_EQ(wide.capacity(), 0);
    wide.resize(3, ch(U'+'));
    EXPECT_EQ(text(wide), "+++");
}

TEST(BufferLine, ClearKeepsFlagsAndDropsImages)
{
    BufferLine line = lineOf(U"abc");
    line.isWrapped = true;
    line.renderMode = BufferLine::RenderLineMode::doubledTop;
    line.images = BufferLine::ImageList{std::make_shared<TestImage>()};
    BufferLine copy(line);
    EXPECT_EQ(copy.images->front(), line.images->front());  // images are shared, not copied

    Attribute red;
    red.bg = Attribute::Color::ansi256(1);
    line.clear(red);
    EXPECT_FALSE(line.images.has_value());
    EXPECT_TRUE(line.isWrapped);
    EXPECT_EQ(line.renderMode, BufferLine::RenderLineMode::doubledTop);
    EXPECT_EQ(line[1], CharData(red));
    EXPECT_TRUE(line.hasContent(1));  // a coloured background is content

    line.fill(CharData(Attribute::empty));
    EXPECT_FALSE(line.hasAnyContent());
    Attribute inverted;
    inverted.bg = Attribute::Color::defaultInvertedColor();
    line.set(2, CharData(inverted));
    EXPECT_TRUE(line.hasAnyContent());
}

TEST(BufferLine, TranslateToString)
{
    BufferLine line(8);
    line.set(0, ch(U'a'));
    line.set(1, ch(U'b'));
    line.set(3, ch(U'c'));
    // Empty cells read as spaces, never as U+0000.
    EXPECT_EQ(line.translateToString(), std::string("ab c    "));
    EXPECT_EQ(line.translateToString(true), "ab c");
    EXPECT_EQ(line.translateToString(true, 3), "c");
    EXPECT_EQ(line.translateToString(true, 6), "");
    EXPECT_EQ(line.translateToString(false, 1, 3), "b ");
    EXPECT_EQ(line.translateToString(false, -5, 100), "ab c    ");
    EXPECT_EQ(line.translateToString(false, 5, 2), "");

    // A wide character at column 5 ends the trimmed text at column 7.
    line.set(5, ch(U'中', 2));
    line.set(6, ch(0, 0));
    EXPECT_EQ(line.getTrimmedLength(), 7);
    EXPECT_EQ(line.translateToString(true), "ab c 中 ");
    EXPECT_EQ(line.translateToString(true, 0, -1, true), "ab c 中");
    EXPECT_EQ(line.translateToString(false, 6, -1, true), " ");

    // Grapheme ids read as spaces unless a provider resolves them.
    line.set(7, ch(CharData::firstGraphemeId));
    EXPECT_EQ(line.translateToString(false, 7), " ");
    auto provider = [](const CharData& c) {
        return c.code == CharData::firstGraphemeId ? std::string("e\u0301") : std::string("_");
    };
    EXPECT_EQ(line.translateToString(false, 6, -1, false, provider), "_e\u0301");
}
