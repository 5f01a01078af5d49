#include "corvel/screen/Buffer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "BufferTestSupport.h"

using namespace corvel;
using namespace corvel::testing;

namespace {

std::string cursorLineText(Buffer& buffer) { return rowText(buffer, int64_t{buffer.yBase()} + buffer.y()); }

}  // namespace

TEST(BufferReflow, MoreRowsPullLinesBackFromTheScrollback)
{
    auto buffer = makeBuffer(80, 24, 1000);
    for (int i = 0; i < 123; ++i) {
        type(*buffer, "L" + std::to_string(i));
        newline(*buffer);
    }
    type(*buffer, "here");
    buffer->resize(80, 30);
    EXPECT_EQ(buffer->yBase(), 94);
    EXPECT_EQ(buffer->yDisp(), 94);
    EXPECT_EQ(buffer->y(), 29);
    EXPECT_EQ(cursorLineText(*buffer), "here");
    EXPECT_EQ(rowText(*buffer, 94), "L94");
}

TEST(BufferReflow, RowsSplitAndJoinWithoutSplittingWideCharacters)
{
    auto buffer = makeBuffer(20, 5, 100);
    type(*buffer, "abcdefghi");
    buffer->insertCharacter(wideCell(U'中'));
    type(*buffer, "xyz");
    newline(*buffer);
    buffer->resize(10, 5);
    EXPECT_EQ(rowText(*buffer, 0), "abcdefghi");
    EXPECT_EQ(buffer->lines()[0][9], CharData::Null);
    EXPECT_EQ(rowText(*buffer, 1), "中xyz");
    EXPECT_TRUE(buffer->lines()[1].isWrapped);
    EXPECT_EQ(buffer->y(), 2);
    buffer->resize(20, 5);
    EXPECT_EQ(rowText(*buffer, 0), "abcdefghi中xyz");
    EXPECT_FALSE(buffer->lines()[1].isWrapped);
    EXPECT_EQ(buffer->y(), 1);

    // A wide character joined onto the new last column moves on to the next row.
    auto wider = makeBuffer(10, 5, 100);
    type(*wider, "abcdefghijklmn");
    wider->insertCharacter(wideCell(U'字'));
    newline(*wider);
    wider->resize(15, 5);
    EXPECT_EQ(rowText(*wider, 0), "abcdefghijklmn");
    EXPECT_EQ(rowText(*wider, 1), "字");
    EXPECT_TRUE(wider->lines()[1].isWrapped);

    // The alternate screen is never reflowed: narrowing cuts its rows, and
    // widening again does not bring the cut cells back.
    auto alternate = makeBuffer(20, 5, std::nullopt);
    type(*alternate, "abcdefghijklmno");
    newline(*alternate);
    alternate->resize(10, 5);
    EXPECT_EQ(rowText(*alternate, 0), "abcdefghij");
    EXPECT_EQ(alternate->lines()[0].count(), 10);
    EXPECT_FALSE(alternate->lines()[1].isWrapped);
    alternate->resize(20, 5);
    EXPECT_EQ(rowText(*alternate, 0), "abcdefghij");
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

    // Widening removes two rows above the cursor: the screen follows them up.
    buffer->resize(30, 5);
    EXPECT_EQ(rowText(*buffer, 1), "0123456789abcdefghijKLMNO");
    EXPECT_EQ(buffer->yBase(), 0);
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

    // The cursor's own group keeps its layout; narrowing only cuts it.
    type(*buffer, "0123456789");
    buffer->resize(20, 5);
    EXPECT_TRUE(buffer->lines()[int64_t{buffer->yBase()} + buffer->y()].isWrapped);
    EXPECT_EQ(cursorLineText(*buffer), "789");
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
    EXPECT_EQ(buffer->y(), 3);
    EXPECT_EQ(cursorLineText(*buffer), "cur");
    EXPECT_EQ(rowText(*buffer, 0), "def");
}

// A program that drew below the cursor keeps that text, and the cursor stays
// on its own line, whether the lines below it are split or joined.
TEST(BufferReflow, TextBelowTheCursorIsKeptAndTheCursorStaysOnItsLine)
{
    const auto shownText = [](Buffer& buffer, int64_t top) {
        std::vector<std::string> text;
        for (const std::string& line : logicalLines(buffer, top, buffer.lines().count())) {
            if (!line.empty()) text.push_back(line);
        }
        return text;
    };
    for (const int history : {0, 30}) {
        for (const int row : {2, 4}) {
            SCOPED_TRACE(::testing::Message() << "history " << history << ", row " << row);
            auto buffer = makeBuffer(20, 5, 100);
            for (int i = 0; i < history; ++i) newline(*buffer);
            buffer->setY(row);
            buffer->setX(0);
            type(*buffer, "abcdefghijklmno");
            buffer->setY(0);
            buffer->setX(0);
            type(*buffer, "$ ");
            const int64_t top = buffer->yBase();

            for (const int cols : {10, 20}) {
                buffer->resize(cols, 5);
                EXPECT_EQ(cursorLineText(*buffer), "$ ");
                EXPECT_EQ(buffer->x(), 2);
                EXPECT_EQ(shownText(*buffer, top), (std::vector<std::string>{"$ ", "abcdefghijklmno"}));
                EXPECT_GE(buffer->lines().count(), int64_t{buffer->yBase()} + 5);
            }
            // Blank rows under the text were given up rather than the text.
            EXPECT_EQ(buffer->lines().count(), int64_t{buffer->yBase()} + 5);
        }
    }

    // A group above the cursor grows while a row below the cursor holds
    // text: the screen moves down instead of dropping that row.
    for (const int scrollback : {100, 0}) {
        SCOPED_TRACE(scrollback);
        auto buffer = makeBuffer(20, 5, scrollback);
        type(*buffer, "abcdefghijklmno");
        buffer->setY(4);
        buffer->setX(0);
        type(*buffer, "status");
        buffer->setY(2);
        buffer->setX(0);
        type(*buffer, "$ ");
        buffer->resize(10, 5);
        EXPECT_EQ(cursorLineText(*buffer), "$ ");
        EXPECT_EQ(rowText(*buffer, buffer->lines().count() - 1), "status");
        EXPECT_EQ(buffer->lines().count(), int64_t{buffer->yBase()} + 5);
    }
}

// A full ring whose history holds text: a group below the cursor that grows
// when narrowed takes the blank rows under it, and the history loses nothing.
TEST(BufferReflow, AGroupBelowTheCursorGrowsIntoBlankRowsNotIntoTheHistory)
{
    auto buffer = makeBuffer(20, 5, 10);
    for (int i = 0; i < 14; ++i) {
        type(*buffer, "h" + std::to_string(i));
        newline(*buffer);
    }
    ASSERT_TRUE(buffer->lines().isFull());
    // The screen: a prompt, a long line under it, then blank rows.
    const int64_t top = buffer->yBase();
    for (int row = 0; row < 5; ++row) buffer->lines()[top + row] = buffer->getBlankLine(Attribute{});
    buffer->setY(1);
    buffer->setX(0);
    type(*buffer, "abcdefghijklmno");
    buffer->setY(0);
    buffer->setX(0);
    type(*buffer, "$ ");
    const std::vector<std::string> history = logicalLines(*buffer, 0, top);
    ASSERT_EQ(history.size(), 10u);

    buffer->resize(10, 5);
    EXPECT_EQ(cursorLineText(*buffer), "$ ");
    EXPECT_EQ(logicalLines(*buffer, 0, buffer->yBase()), history);
    EXPECT_EQ(logicalLines(*buffer, buffer->yBase() + 1, buffer->yBase() + 3),
              std::vector<std::string>{"abcdefghijklmno"});
}

// Random text of ASCII and wide characters, wrapped at one width, keeps its
// logical lines when the width changes and changes back.
TEST(BufferReflow, RoundTripsKeepTheLogicalLines)
{
    std::mt19937 rng(20240611);
    const auto pick = [&](int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1)); };
    for (int trial = 0; trial < 200 && !HasFailure(); ++trial) {
        const int cols = pick(4, 40);
        const int rows = pick(2, 10);
        auto buffer = makeBuffer(cols, rows, 5000);
        for (int line = pick(1, 40); line > 0; --line) {
            for (int i = pick(0, 3 * cols); i > 0; --i) {
                buffer->insertCharacter(pick(0, 5) == 0 ? wideCell(static_cast<char32_t>(0x4E00 + pick(0, 200)))
                                                        : CharData(Attribute{}, 'a' + pick(0, 25)));
            }
            newline(*buffer);
        }
        const auto text = [&] { return logicalLines(*buffer, 0, int64_t{buffer->yBase()} + buffer->y()); };
        const auto before = text();
        const int other = pick(3, 2 * cols);
        SCOPED_TRACE(std::to_string(cols) + " -> " + std::to_string(other) + " columns, " + std::to_string(rows) +
                     " rows");
        buffer->resize(other, rows);
        EXPECT_EQ(text(), before);
        buffer->resize(cols, rows);
        EXPECT_EQ(text(), before);
        EXPECT_EQ(cursorLineText(*buffer), "");
    }
}

// Random edits and resizes, run under the sanitizers too: no access outside a
// line or the ring, and the screen stays inside the lines held.
TEST(BufferReflow, RandomEditsAndResizesKeepTheBufferConsistent)
{
    std::mt19937 rng(7);
    const auto pick = [&](int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1)); };
    for (int trial = 0; trial < 40; ++trial) {
        const std::optional<int> scrollback = trial % 4 ? std::optional<int>(pick(0, 30)) : std::nullopt;
        auto buffer = makeBuffer(pick(2, 30), pick(1, 8), scrollback);
        for (int step = 0; step < 300; ++step) {
            switch (pick(0, 8)) {
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
                buffer->insertMode = pick(0, 3) == 0;
                buffer->wraparound = pick(0, 3) != 0;
                break;
            case 5:
                buffer->resize(pick(1, 40), pick(1, 12));
                break;
            case 6:
                buffer->resize(std::max(1, buffer->cols() + pick(-3, 3)), buffer->rows());
                break;
            case 7:
                if (scrollback) buffer->changeHistorySize(pick(0, 40));
                break;
            default:
                buffer->attachImage(nullptr, pick(0, static_cast<int>(buffer->lines().count()) - 1));
                break;
            }
            ASSERT_EQ(buffer->tabStops.size(), static_cast<size_t>(buffer->cols()));
            ASSERT_LT(buffer->y(), buffer->rows());
            ASSERT_GE(buffer->yBase(), 0);
            ASSERT_LE(int64_t{buffer->yBase()} + buffer->rows(), buffer->lines().count()) << "step " << step;
            for (int64_t i = 0; i < buffer->lines().count(); ++i) {
                ASSERT_GE(buffer->lines()[i].count(), buffer->cols()) << "line " << i << " at step " << step;
            }
        }
    }
}
