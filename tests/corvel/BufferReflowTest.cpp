#include "corvel/Buffer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "BufferTestSupport.h"

using namespace corvel;
using namespace corvel::testing;

namespace {

// Writes `count` numbered lines ("L0", "L1", ...) and leaves the cursor on the
// row below the last one.
void writeNumberedLines(Buffer& buffer, int count)
{
    for (int i = 0; i < count; ++i) {
        type(buffer, "L" + std::to_string(i));
        newline(buffer);
    }
}

std::string cursorLineText(Buffer& buffer) { return rowText(buffer, int64_t{buffer.yBase()} + buffer.y()); }

}  // namespace

TEST(BufferResize, EmptyBufferOnlyTakesTheNewSize)
{
    Buffer buffer(80, 25, 8, 500);
    buffer.setX(50);
    buffer.resize(40, 10);
    EXPECT_EQ(buffer.lines().count(), 0);
    EXPECT_EQ(buffer.scrollBottom(), 9);
    EXPECT_EQ(buffer.tabStops.size(), 40u);
    EXPECT_EQ(buffer.cols(), 40);
    EXPECT_EQ(buffer.rows(), 10);
    EXPECT_EQ(buffer.x(), 50);  // the cursor is left alone
    buffer.fillViewportRows();
    EXPECT_EQ(buffer.lines()[9].count(), 40);
}

TEST(BufferResize, FewerRowsDropBlankRowsOrMoveTheScreenDown)
{
    // Cursor on the last row of a full screen: the screen moves down over it.
    auto full = makeBuffer(80, 25, 100);
    full->setY(24);
    type(*full, "cursor");
    full->resize(80, 24);
    EXPECT_EQ(full->yBase(), 1);
    EXPECT_EQ(full->yDisp(), 1);
    EXPECT_EQ(full->y(), 23);
    EXPECT_EQ(full->lines().count(), 25);
    EXPECT_EQ(cursorLineText(*full), "cursor");

    // Cursor on row 0 with blank rows below: the last row goes.
    auto top = makeBuffer(80, 25, 100);
    type(*top, "cursor");
    top->resize(80, 24);
    EXPECT_EQ(top->yBase(), 0);
    EXPECT_EQ(top->y(), 0);
    EXPECT_EQ(top->lines().count(), 24);
    EXPECT_EQ(top->scrollBottom(), 23);
}

TEST(BufferResize, MoreRowsPullLinesBackFromTheScrollback)
{
    auto buffer = makeBuffer(80, 24, 1000);
    writeNumberedLines(*buffer, 123);
    type(*buffer, "here");
    ASSERT_EQ(buffer->yBase(), 100);
    ASSERT_EQ(buffer->y(), 23);
    buffer->resize(80, 30);
    EXPECT_EQ(buffer->yBase(), 94);
    EXPECT_EQ(buffer->yDisp(), 94);
    EXPECT_EQ(buffer->y(), 29);
    EXPECT_EQ(buffer->lines().count(), 124);
    EXPECT_EQ(cursorLineText(*buffer), "here");
    EXPECT_EQ(rowText(*buffer, 94), "L94");

    // Without lines above the screen, blank rows are added below.
    auto fresh = makeBuffer(80, 24, 1000);
    fresh->setY(5);
    fresh->resize(80, 30);
    EXPECT_EQ(fresh->yBase(), 0);
    EXPECT_EQ(fresh->y(), 5);
    EXPECT_EQ(fresh->lines().count(), 30);
}

TEST(BufferResize, SmallerCapacityTrimsTheOldestLinesButNotTheSavedCursor)
{
    auto buffer = makeBuffer(80, 25, 100);
    writeNumberedLines(*buffer, 124);
    type(*buffer, "here");
    ASSERT_TRUE(buffer->lines().isFull());
    buffer->savedY = 12;
    buffer->savedX = 70;
    buffer->resize(60, 20);
    EXPECT_EQ(buffer->lines().maxLength(), 120);
    EXPECT_EQ(buffer->lines().count(), 120);
    EXPECT_EQ(buffer->yBase(), 100);
    EXPECT_EQ(buffer->yDisp(), 100);
    EXPECT_EQ(buffer->y(), 19);
    EXPECT_EQ(cursorLineText(*buffer), "here");
    EXPECT_EQ(rowText(*buffer, 0), "L5");
    EXPECT_EQ(buffer->savedY, 12);
    EXPECT_EQ(buffer->savedX, 59);
}

TEST(BufferResize, MarginsFollowTheWidth)
{
    Buffer buffer(80, 25, 8, 500);
    buffer.fillViewportRows();
    buffer.setMarginLeft(79);
    buffer.setMarginRight(79);
    buffer.resize(40, 25);
    EXPECT_EQ(buffer.marginLeft(), 39);
    EXPECT_EQ(buffer.marginRight(), 39);
}

TEST(BufferReflow, WideningJoinsWrappedRows)
{
    auto buffer = makeBuffer(10, 5, 100);
    type(*buffer, "abcdefghijklmno");
    newline(*buffer);
    type(*buffer, "x");
    ASSERT_TRUE(buffer->lines()[1].isWrapped);
    buffer->resize(20, 5);
    EXPECT_EQ(rowText(*buffer, 0), "abcdefghijklmno");
    EXPECT_FALSE(buffer->lines()[1].isWrapped);
    EXPECT_EQ(buffer->y(), 1);
    EXPECT_EQ(cursorLineText(*buffer), "x");
    EXPECT_EQ(buffer->lines().count(), 5);  // a blank row took the removed one's place
    for (int64_t i = 0; i < 5; ++i) EXPECT_EQ(buffer->lines()[i].count(), 20);
}

TEST(BufferReflow, NarrowingSplitsLongRows)
{
    auto buffer = makeBuffer(20, 5, 100);
    type(*buffer, "abcdefghijklmno");
    newline(*buffer);
    type(*buffer, "x");
    buffer->savedY = 1;
    buffer->resize(10, 5);
    EXPECT_EQ(rowText(*buffer, 0), "abcdefghij");
    EXPECT_EQ(rowText(*buffer, 1), "klmno");
    EXPECT_TRUE(buffer->lines()[1].isWrapped);
    EXPECT_EQ(buffer->y(), 2);
    EXPECT_EQ(buffer->savedY, 2);
    EXPECT_EQ(cursorLineText(*buffer), "x");
    EXPECT_EQ(buffer->lines().count(), 5);
    for (int64_t i = 0; i < 5; ++i) EXPECT_EQ(buffer->lines()[i].count(), 10);
}

TEST(BufferReflow, WideCharactersAreNeverSplit)
{
    // Narrowing: the wide character that would straddle the edge moves down
    // and the row it left ends in an empty cell.
    auto buffer = makeBuffer(20, 5, 100);
    type(*buffer, "abcdefghi");
    buffer->insertCharacter(wideCell(U'中'));
    type(*buffer, "xyz");
    newline(*buffer);
    buffer->resize(10, 5);
    EXPECT_EQ(rowText(*buffer, 0), "abcdefghi");
    EXPECT_EQ(buffer->lines()[0][9], CharData::Null);
    EXPECT_EQ(rowText(*buffer, 1), "中xyz");
    EXPECT_EQ(buffer->lines()[1][1].width, 0);

    // Widening back joins across the gap.
    buffer->resize(20, 5);
    EXPECT_EQ(rowText(*buffer, 0), "abcdefghi中xyz");
    EXPECT_FALSE(buffer->lines()[1].isWrapped);

    // Widening: a wide character that lands on the new last column moves on.
    auto wider = makeBuffer(10, 5, 100);
    type(*wider, "abcdefghijklmn");
    wider->insertCharacter(wideCell(U'字'));
    type(*wider, "o");
    newline(*wider);
    wider->resize(15, 5);
    EXPECT_EQ(rowText(*wider, 0), "abcdefghijklmn");
    EXPECT_EQ(wider->lines()[0][14], CharData::Null);
    EXPECT_EQ(rowText(*wider, 1), "字o");
    EXPECT_TRUE(wider->lines()[1].isWrapped);
    EXPECT_EQ(wider->lines()[1][1].width, 0);
}

TEST(BufferReflow, TheCursorsGroupKeepsItsLayout)
{
    auto buffer = makeBuffer(10, 5, 100);
    type(*buffer, "abcdefghijklmno");
    buffer->resize(20, 5);
    EXPECT_EQ(rowText(*buffer, 0), "abcdefghij");
    EXPECT_TRUE(buffer->lines()[1].isWrapped);
    EXPECT_EQ(rowText(*buffer, 1), "klmno");
    EXPECT_EQ(buffer->y(), 1);
    EXPECT_EQ(buffer->x(), 5);

    // Narrowing cuts the cursor's row instead of splitting it.
    auto narrow = makeBuffer(20, 5, 100);
    type(*narrow, "abcdefghijklmno");
    narrow->resize(10, 5);
    EXPECT_EQ(rowText(*narrow, 0), "abcdefghij");
    EXPECT_FALSE(narrow->lines()[1].isWrapped);
    EXPECT_EQ(narrow->x(), 9);
}

TEST(BufferReflow, WithoutScrollbackRowsAreNeverReflowed)
{
    auto buffer = makeBuffer(20, 5, std::nullopt);
    type(*buffer, "abcdefghijklmno");
    newline(*buffer);
    buffer->resize(10, 5);
    EXPECT_EQ(buffer->lines()[0].count(), 20);
    EXPECT_EQ(rowText(*buffer, 0), "abcdefghijklmno");
    EXPECT_FALSE(buffer->lines()[1].isWrapped);
    buffer->resize(30, 5);
    EXPECT_EQ(buffer->lines()[0].count(), 30);
    EXPECT_EQ(buffer->lines()[4].count(), 30);
}

TEST(BufferReflow, CursorAndSavedCursorFollowTheirText)
{
    auto buffer = makeBuffer(10, 5, 100);
    type(*buffer, "short");
    newline(*buffer);
    type(*buffer, "0123456789abcdefghijKLMNO");
    newline(*buffer);
    type(*buffer, "tail");
    newline(*buffer);
    type(*buffer, "cur");
    buffer->savedY = 2;
    ASSERT_EQ(buffer->yBase(), 1);
    ASSERT_EQ(buffer->y(), 4);

    // Widening removes two rows above the cursor: the screen follows them up.
    buffer->resize(30, 5);
    EXPECT_EQ(rowText(*buffer, 1), "0123456789abcdefghijKLMNO");
    EXPECT_EQ(buffer->yBase(), 0);
    EXPECT_EQ(buffer->yDisp(), 0);
    EXPECT_EQ(buffer->y(), 3);
    EXPECT_EQ(cursorLineText(*buffer), "cur");
    EXPECT_EQ(buffer->savedY, 0);

    // Narrowing back inserts them again.
    buffer->resize(10, 5);
    EXPECT_EQ(buffer->yBase(), 1);
    EXPECT_EQ(buffer->yDisp(), 1);
    EXPECT_EQ(buffer->y(), 4);
    EXPECT_EQ(cursorLineText(*buffer), "cur");
    EXPECT_EQ(buffer->savedY, 2);
    EXPECT_EQ(rowText(*buffer, 3), "KLMNO");
    EXPECT_EQ(rowText(*buffer, 4), "tail");
}

TEST(BufferReflow, NarrowingAFullRingKeepsTheScreenInsideIt)
{
    // No room for scrollback: splitting the top row gives up the blank rows
    // below the cursor and then pushes the oldest row out; the screen must
    // still end at the ring's last line.
    auto buffer = makeBuffer(10, 4, 0);
    type(*buffer, "abcdefghij");
    newline(*buffer);
    type(*buffer, "cur");
    ASSERT_TRUE(buffer->lines().isFull());
    buffer->resize(3, 4);
    EXPECT_EQ(buffer->lines().count(), 4);
    EXPECT_EQ(buffer->yBase(), 0);
    EXPECT_EQ(buffer->yDisp(), 0);
    EXPECT_EQ(buffer->y(), 3);
    EXPECT_EQ(cursorLineText(*buffer), "cur");
    EXPECT_EQ(rowText(*buffer, 0), "def");
    EXPECT_EQ(rowText(*buffer, 2), "j");
}

// Random text of ASCII and wide characters, wrapped at one width, keeps its
// logical lines when the width changes and changes back.
TEST(BufferReflow, RoundTripsKeepTheLogicalLines)
{
    std::mt19937 rng(20240611);
    const auto pick = [&](int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1)); };
    for (int trial = 0; trial < 200; ++trial) {
        const int cols = pick(4, 40);
        const int rows = pick(2, 10);
        auto buffer = makeBuffer(cols, rows, 5000);
        const int lineCount = pick(1, 40);
        for (int line = 0; line < lineCount; ++line) {
            const int length = pick(0, 3 * cols);
            for (int i = 0; i < length; ++i) {
                if (pick(0, 5) == 0) {
                    buffer->insertCharacter(wideCell(static_cast<char32_t>(0x4E00 + pick(0, 200))));
                } else {
                    buffer->insertCharacter(CharData(Attribute{}, 'a' + pick(0, 25)));
                }
            }
            newline(*buffer);
        }
        const auto before = logicalLines(*buffer, 0, int64_t{buffer->yBase()} + buffer->y());
        const int other = pick(3, 2 * cols);
        SCOPED_TRACE("trial " + std::to_string(trial) + ": " + std::to_string(cols) + " -> " +
                     std::to_string(other) + " columns, " + std::to_string(rows) + " rows");

        buffer->resize(other, rows);
        EXPECT_EQ(logicalLines(*buffer, 0, int64_t{buffer->yBase()} + buffer->y()), before);
        EXPECT_EQ(cursorLineText(*buffer), "");
        buffer->resize(cols, rows);
        EXPECT_EQ(logicalLines(*buffer, 0, int64_t{buffer->yBase()} + buffer->y()), before);
        EXPECT_EQ(cursorLineText(*buffer), "");
        if (::testing::Test::HasFailure()) break;
    }
}

// Random edits and resizes, run under the sanitizers: no access outside a
// line or the ring, and the size invariants hold after every resize.
TEST(BufferReflow, RandomEditsAndResizesKeepTheBufferConsistent)
{
    std::mt19937 rng(7);
    const auto pick = [&](int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1)); };
    for (int trial = 0; trial < 40; ++trial) {
        const bool withScrollback = trial % 4 != 3;
        auto buffer = makeBuffer(pick(2, 30), pick(1, 8), withScrollback ? std::optional<int>(pick(0, 30)) : std::nullopt);
        for (int step = 0; step < 300; ++step) {
            switch (pick(0, 9)) {
            case 0:
            case 1:
                type(*buffer, std::string(static_cast<size_t>(pick(1, 50)), static_cast<char>('a' + pick(0, 25))));
                break;
            case 2:
                buffer->insertCharacter(wideCell(U'中'));
                break;
            case 3:
                newline(*buffer);
                break;
            case 4:
                buffer->setX(pick(0, buffer->cols()));
                buffer->setY(pick(0, buffer->rows() - 1));
                break;
            case 5:
                buffer->insertMode = !buffer->insertMode;
                buffer->wraparound = pick(0, 3) != 0;
                break;
            case 6:
                buffer->savedY = pick(0, buffer->rows() - 1);
                buffer->resize(pick(2, 40), pick(1, 12));
                break;
            case 7:
                buffer->resize(buffer->cols() + pick(-3, 3) > 1 ? buffer->cols() + pick(-3, 3) : 2, buffer->rows());
                break;
            case 8:
                if (withScrollback) buffer->changeHistorySize(pick(0, 40));
                break;
            default:
                buffer->attachImage(nullptr, pick(0, static_cast<int>(buffer->lines().count()) - 1));
                break;
            }
            ASSERT_EQ(buffer->tabStops.size(), static_cast<size_t>(buffer->cols()));
            ASSERT_LE(buffer->x(), buffer->cols());
            ASSERT_GE(buffer->yBase(), 0);
            for (int64_t i = 0; i < buffer->lines().count(); ++i) {
                ASSERT_GE(buffer->lines()[i].count(), buffer->cols()) << "line " << i << " at step " << step;
            }
        }
    }
}
