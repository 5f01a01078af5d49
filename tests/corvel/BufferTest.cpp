#include "corvel/Buffer.h"
#include "corvel/platform/Log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string_view>

#include "BufferTestSupport.h"

using namespace corvel;
using namespace corvel::testing;

namespace {

class TestImage : public TerminalImage {
public:
    int64_t pixelWidth() const override { return 8; }
    int64_t pixelHeight() const override { return 16; }
    int64_t col() const override { return 0; }
    void setCol(int64_t) override {}
};

std::vector<int> stops(const Buffer& buffer)
{
    std::vector<int> out;
    for (size_t i = 0; i < buffer.tabStops.size(); ++i) {
        if (buffer.tabStops[i]) out.push_back(static_cast<int>(i));
    }
    return out;
}

Attribute withBackground(uint8_t code)
{
    Attribute a;
    a.fg = Attribute::Color::ansi256(1);
    a.bg = Attribute::Color::ansi256(code);
    a.style = CharacterStyle::bold;
    return a;
}

// An empty cell carrying only the given background: what a split wide
// character's other half becomes.
void expectErased(const CharData& cell, uint8_t background)
{
    EXPECT_EQ(cell.code, 0);
    EXPECT_EQ(cell.width, 1);
    EXPECT_EQ(cell.attribute.fg, Attribute::Color::defaultColor());
    EXPECT_EQ(cell.attribute.bg, Attribute::Color::ansi256(background));
    EXPECT_TRUE(cell.attribute.style.isEmpty());
}

}  // namespace

TEST(Buffer, NewBufferHasCapacityRowsAndFullWidthMargins)
{
    Buffer normal(80, 25, 8, 500);
    EXPECT_EQ(normal.lines().maxLength(), 525);
    EXPECT_EQ(normal.lines().count(), 0);
    EXPECT_EQ(normal.scrollBottom(), 24);
    EXPECT_EQ(stops(normal), (std::vector<int>{0, 8, 16, 24, 32, 40, 48, 56, 64, 72}));
    EXPECT_TRUE(normal.isReflowEnabled());

    Buffer alternate(80, 25, 8, std::nullopt);
    EXPECT_EQ(alternate.lines().maxLength(), 25);
    EXPECT_FALSE(alternate.isReflowEnabled());
    // Both screens start with margins spanning the width, not 0..0.
    EXPECT_EQ(alternate.marginLeft(), 0);
    EXPECT_EQ(alternate.marginRight(), 79);

    alternate.fillViewportRows();
    EXPECT_EQ(alternate.lines().count(), 25);
    alternate.lines()[0].set(0, CharData(Attribute{}, 'Q'));
    alternate.fillViewportRows();  // already filled: nothing happens
    EXPECT_EQ(alternate.lines().count(), 25);
    EXPECT_EQ(alternate.lines()[0][0].code, 'Q');
}

TEST(Buffer, MarginModeInAFreshAlternateScreenWritesAcrossTheRow)
{
    auto buffer = makeBuffer(20, 5, std::nullopt);
    buffer->marginMode = true;
    type(*buffer, "abc");
    buffer->insertCharacter(CharData(Attribute{}, 'd'));
    EXPECT_EQ(rowText(*buffer, 0), "abcd");
    EXPECT_EQ(buffer->x(), 4);

    // A full-width margin follows the width; a narrower one is only clamped.
    buffer->resize(30, 5);
    EXPECT_EQ(buffer->marginRight(), 29);
    buffer->setMarginLeft(5);
    buffer->setMarginRight(12);
    buffer->resize(40, 5);
    EXPECT_EQ(buffer->marginRight(), 12);
    buffer->resize(10, 5);
    EXPECT_EQ(buffer->marginRight(), 9);
    EXPECT_EQ(buffer->marginLeft(), 5);
}

TEST(Buffer, WrapAtTheRightEdgeWithAndWithoutWraparound)
{
    auto buffer = makeBuffer(80, 25);
    const std::string line80(80, 'a');

    // Filling the last column leaves a pending wrap: the cursor rests past it.
    EXPECT_EQ(type(*buffer, line80), 80);
    EXPECT_EQ(buffer->x(), 80);
    EXPECT_EQ(buffer->y(), 0);
    EXPECT_FALSE(buffer->lines()[1].isWrapped);
    ASSERT_TRUE(buffer->lastBufferStorage);
    EXPECT_EQ(buffer->lastBufferStorage->x, 79);

    // The next character wraps first and marks the new row as a continuation.
    buffer->insertCharacter(CharData(Attribute{}, 'b'));
    EXPECT_EQ(buffer->y(), 1);
    EXPECT_EQ(buffer->x(), 1);
    EXPECT_TRUE(buffer->lines()[1].isWrapped);
    EXPECT_EQ(buffer->lastBufferStorage->y, 1);
    EXPECT_EQ(buffer->lastBufferStorage->x, 0);

    // A run longer than the row continues on the next one.
    newline(*buffer);
    EXPECT_EQ(type(*buffer, std::string(85, 'c')), 85);
    EXPECT_EQ(rowText(*buffer, 3), "ccccc");
    EXPECT_TRUE(buffer->lines()[3].isWrapped);
    EXPECT_EQ(buffer->x(), 5);

    // Without wraparound the run stops at the edge and a single character
    // overwrites the last column; a wide one does not fit and is dropped.
    buffer->wraparound = false;
    newline(*buffer);
    EXPECT_EQ(type(*buffer, std::string(100, 'd')), 80);
    EXPECT_EQ(buffer->x(), 80);
    EXPECT_EQ(type(*buffer, "e"), 0);
    buffer->insertCharacter(CharData(Attribute{}, 'E'));
    EXPECT_EQ(buffer->lines()[4][79].code, 'E');
    EXPECT_EQ(buffer->x(), 80);
    buffer->setX(79);
    buffer->insertCharacter(wideCell(U'中'));
    EXPECT_EQ(buffer->lines()[4][79].code, 'E');
    EXPECT_EQ(buffer->x(), 79);
    EXPECT_EQ(buffer->y(), 4);

    // With wraparound a wide character at the last column moves whole to the
    // next row, leaving the column it did not fit in untouched.
    buffer->wraparound = true;
    buffer->setY(6);
    buffer->insertCharacter(wideCell(U'中'));
    EXPECT_EQ(buffer->lines()[6][79].code, 0);
    EXPECT_EQ(buffer->lines()[7][0].code, U'中');
    EXPECT_EQ(buffer->lines()[7][1].width, 0);
    EXPECT_TRUE(buffer->lines()[7].isWrapped);
    EXPECT_EQ(buffer->x(), 2);
}

TEST(Buffer, WrapAtTheBottomScrollsIntoTheScrollback)
{
    auto buffer = makeBuffer(10, 3, 5);
    for (int i = 0; i < 3; ++i) {
        type(*buffer, "0123456789");
    }
    type(*buffer, "x");
    // Three full rows and one more character: the screen scrolled once and the
    // new bottom row continues the one above.
    EXPECT_EQ(buffer->yBase(), 1);
    EXPECT_EQ(buffer->yDisp(), 1);
    EXPECT_EQ(buffer->y(), 2);
    EXPECT_TRUE(buffer->lines()[3].isWrapped);
    EXPECT_EQ(rowText(*buffer, 3), "x");

    // On a full ring the oldest line is reused and linesTop counts it.
    for (int i = 0; i < 80; ++i) type(*buffer, "y");
    EXPECT_EQ(buffer->lines().count(), 8);
    EXPECT_EQ(buffer->yBase(), 5);
    EXPECT_GT(buffer->linesTop, 0);
}

TEST(BufferDeathTest, WrapAtTheBottomBeforeTheScrollIsInstalledStops)
{
    Buffer buffer(5, 1, 8, std::nullopt);
    buffer.fillViewportRows();
    buffer.wraparound = true;
    type(buffer, "12345");
    // Log lines go to standard output; the death test reads standard error.
    const auto toStderr = [](std::string_view line) { std::fprintf(stderr, "%.*s\n", int(line.size()), line.data()); };
    EXPECT_DEATH(
        {
            log::setSink(toStderr);
            type(buffer, "6");
        },
        "This should be set after creating a buffer");
}

TEST(Buffer, InsertModeShiftsCellsAndKeepsWideCharactersWhole)
{
    auto buffer = makeBuffer(10, 2);
    type(*buffer, "abcdefghij");
    buffer->insertMode = true;
    EXPECT_EQ(type(*buffer, "z"), 0);  // the run refuses insert mode

    buffer->setX(2);
    buffer->insertCharacter(wideCell(U'中'));
    EXPECT_EQ(rowText(*buffer, 0), "ab中cdefgh");
    EXPECT_EQ(buffer->lines()[0][2].width, 2);
    EXPECT_EQ(buffer->lines()[0][3].width, 0);
    EXPECT_EQ(buffer->x(), 4);

    // A wide character pushed onto the last column is cut off whole.
    buffer->setX(0);
    buffer->setY(1);
    buffer->insertMode = false;
    type(*buffer, "abcdefgh");
    buffer->insertCharacter(wideCell(U'字'));
    buffer->insertMode = true;
    buffer->setX(0);
    buffer->insertCharacter(CharData(Attribute{}, 'X'));
    EXPECT_EQ(buffer->lines()[1][9].code, 0);
    EXPECT_EQ(buffer->lines()[1][9].width, 1);
    EXPECT_EQ(rowText(*buffer, 1), "Xabcdefgh");

    // Inserting at the second half of a wide character blanks the character
    // instead of splitting it.
    buffer->setX(3);
    buffer->setY(0);
    buffer->insertCharacter(CharData(withBackground(4), 'Y'));
    const BufferLine& row = buffer->lines()[0];
    expectErased(row[2], 4);
    EXPECT_EQ(row[3].code, 'Y');
    expectErased(row[4], 4);
    for (int col = 0; col < row.count(); ++col) {
        if (row[col].width == 0) {
            EXPECT_EQ(row[col - 1].width, 2) << "orphaned half at " << col;
        }
    }
}

TEST(Buffer, OverwritingHalfAWideCharacterBlanksTheOtherHalf)
{
    const Attribute red = withBackground(1);
    auto buffer = makeBuffer(12, 2);

    // Single cells through both paths: the second half, then the first half.
    buffer->insertCharacter(wideCell(U'中'));
    buffer->insertCharacter(wideCell(U'字'));
    buffer->setX(1);
    buffer->insertCharacter(CharData(red, 'a'));
    expectErased(buffer->lines()[0][0], 1);
    EXPECT_EQ(buffer->lines()[0][1].code, 'a');
    buffer->setX(2);
    type(*buffer, "b", red);
    EXPECT_EQ(buffer->lines()[0][2].code, 'b');
    expectErased(buffer->lines()[0][3], 1);

    // A run whose both ends fall inside wide characters.
    buffer->setX(0);
    buffer->setY(1);
    for (int i = 0; i < 4; ++i) buffer->insertCharacter(wideCell(U'中'));
    buffer->setX(1);
    type(*buffer, "xyzw", red);
    const BufferLine& row = buffer->lines()[1];
    expectErased(row[0], 1);
    EXPECT_EQ(row.translateToString(false, 1, 5), "xyzw");
    expectErased(row[5], 1);
    EXPECT_EQ(row[6].code, U'中');

    // A wide character over the first half of another.
    buffer->setX(5);
    buffer->insertCharacter(wideCell(U'字', red));
    EXPECT_EQ(row[5].code, U'字');
    EXPECT_EQ(row[6].width, 0);
    expectErased(row[7], 1);
}

TEST(Buffer, TabStops)
{
    Buffer buffer(80, 25, 8, 500);
    EXPECT_EQ(buffer.previousTabStop(0), 0);
    EXPECT_EQ(buffer.previousTabStop(1), 0);
    EXPECT_EQ(buffer.previousTabStop(17), 16);
    EXPECT_EQ(buffer.previousTabStop(200), 72);
    EXPECT_EQ(buffer.nextTabStop(false, 79), 79);
    EXPECT_EQ(buffer.nextTabStop(false, 3), 8);
    buffer.setMarginRight(20);
    EXPECT_EQ(buffer.nextTabStop(true, 17), 20);
    EXPECT_EQ(buffer.nextTabStop(true, 30), 20);
    buffer.setMarginRight(79);

    buffer.tabSet(-1);
    buffer.tabSet(80);
    buffer.tabClear(500);
    EXPECT_EQ(buffer.tabStops.size(), 80u);
    for (int col = 0; col < 80; ++col) buffer.tabClear(col);
    EXPECT_EQ(buffer.nextTabStop(false, 3), 79);
    buffer.setX(10);
    buffer.tabSet(40);
    EXPECT_EQ(buffer.nextTabStop(false), 40);
    EXPECT_EQ(buffer.previousTabStop(), 0);
}

TEST(Buffer, TabStopsAfterAWidthChange)
{
    // Widening keeps the stops and continues from the last stop before the old width.
    Buffer buffer(80, 25, 8, 500);
    buffer.tabSet(5);
    buffer.resize(100, 25);
    buffer.setupTabStops(80, 8);
    EXPECT_EQ(stops(buffer), (std::vector<int>{0, 5, 8, 16, 24, 32, 40, 48, 56, 64, 72, 80, 88, 96}));

    // An irregular stop near the old edge sets the rhythm of the new columns.
    Buffer irregular(80, 25, 8, 500);
    irregular.tabClear(72);
    irregular.tabSet(77);
    irregular.resize(100, 25);
    irregular.setupTabStops(80, 8);
    EXPECT_EQ(irregular.tabStops.size(), 100u);
    EXPECT_TRUE(irregular.tabStops[77]);
    EXPECT_TRUE(irregular.tabStops[85]);
    EXPECT_TRUE(irregular.tabStops[93]);
    EXPECT_FALSE(irregular.tabStops[80]);

    // Narrowing cuts the list; the stops that remain stay.
    irregular.resize(40, 25);
    irregular.setupTabStops(100, 8);
    EXPECT_EQ(stops(irregular), (std::vector<int>{0, 8, 16, 24, 32}));
    EXPECT_EQ(irregular.nextTabStop(false, 33), 39);
}

TEST(Buffer, NegativeCursorAndRegionValuesAreIgnored)
{
    Buffer buffer(80, 25, 8, 500);
    buffer.setX(5);
    buffer.setY(6);
    buffer.setYDisp(7);
    buffer.setScrollTop(2);
    buffer.setScrollBottom(20);
    buffer.setX(-1);
    buffer.setY(-1);
    buffer.setYDisp(-1);
    buffer.setScrollTop(-1);
    buffer.setScrollBottom(-3);
    EXPECT_EQ(buffer.x(), 5);
    EXPECT_EQ(buffer.y(), 6);
    EXPECT_EQ(buffer.yDisp(), 7);
    EXPECT_EQ(buffer.scrollTop(), 2);
    EXPECT_EQ(buffer.scrollBottom(), 20);
    buffer.setYBase(-4);  // unguarded
    EXPECT_EQ(buffer.yBase(), -4);
}

TEST(Buffer, RowAccessStaysInsideTheLinesHeld)
{
    auto buffer = makeBuffer(10, 3, 2);
    // Fill the ring (capacity 5) so that every slot holds a line.
    for (int i = 0; i < 5; ++i) {
        type(*buffer, std::string(1, static_cast<char>('A' + i)));
        if (i < 4) newline(*buffer);
    }
    ASSERT_TRUE(buffer->lines().isFull());
    EXPECT_EQ(buffer->getCharAtBufferRelative({0, 0}).code, 'A');
    // Ring index 5 would map onto the slot of index 0.
    EXPECT_EQ(buffer->getCharAtBufferRelative({0, 5}), CharData::Null);
    EXPECT_EQ(buffer->getCharAtBufferRelative({0, -1}), CharData::Null);
    EXPECT_EQ(buffer->getCharAtBufferRelative({-1, 0}), CharData::Null);
    EXPECT_EQ(buffer->getCharAtBufferRelative({10, 0}), CharData::Null);
    EXPECT_EQ(buffer->getChar({0, 2}).code, 'E');
    EXPECT_EQ(buffer->getChar({0, 3}), CharData::Null);

    // A cursor row below the lines held writes the last line, not the slot
    // the ring would wrap it to.
    log::Capture capture;
    buffer->setY(3);
    buffer->setX(0);
    type(*buffer, "z");
    EXPECT_EQ(capture.count("Buffer: row 5 is outside the 5 lines held"), 1u);
    EXPECT_EQ(buffer->lines()[4][0].code, 'z');
    EXPECT_EQ(buffer->lines()[0][0].code, 'A');

    // Images too: a row outside the lines held is ignored.
    buffer->attachImage(std::make_shared<TestImage>(), 5);
    buffer->attachImage(std::make_shared<TestImage>(), -1);
    buffer->clearImagesFromLine(7);
    EXPECT_EQ(buffer->linesWithImagesCount(), 0);
    EXPECT_FALSE(buffer->lines()[0].images);

    // Nothing is written into a buffer that holds no lines yet.
    Buffer empty(10, 3, 8, std::nullopt);
    empty.wraparound = true;
    EXPECT_EQ(type(empty, "abc"), 0);
    empty.insertCharacter(CharData(Attribute{}, 'a'));
    EXPECT_EQ(empty.lines().count(), 0);
}

TEST(Buffer, HistorySizeChangesTrimTheOldestLines)
{
    Buffer noHistory(80, 25, 8, 500);
    noHistory.changeHistorySize(std::nullopt);
    EXPECT_EQ(noHistory.lines().maxLength(), 25);
    EXPECT_FALSE(noHistory.isReflowEnabled());
    noHistory.changeHistorySize(1000);
    EXPECT_EQ(noHistory.lines().maxLength(), 1025);
    EXPECT_TRUE(noHistory.isReflowEnabled());

    auto buffer = makeBuffer(80, 25, 500);
    for (int i = 0; i < 600; ++i) {
        type(*buffer, std::to_string(i));
        newline(*buffer);
    }
    ASSERT_EQ(buffer->lines().count(), 525);
    ASSERT_EQ(buffer->yBase(), 500);
    buffer->setY(10);
    buffer->savedY = 7;
    const std::string cursorLine = rowText(*buffer, 510);
    buffer->changeHistorySize(100);
    EXPECT_EQ(buffer->lines().maxLength(), 125);
    EXPECT_EQ(buffer->lines().count(), 125);
    EXPECT_EQ(buffer->yBase(), 100);
    EXPECT_EQ(buffer->yDisp(), 100);
    EXPECT_EQ(rowText(*buffer, 110), cursorLine);
    // The saved cursor counts from the top of the screen, which did not move.
    EXPECT_EQ(buffer->savedY, 7);
    EXPECT_EQ(buffer->y(), 10);
}

TEST(Buffer, LinesWithImagesAreCounted)
{
    auto buffer = makeBuffer(10, 3, 2);
    EXPECT_FALSE(buffer->hasAnyImages());
    buffer->attachImage(std::make_shared<TestImage>(), 0);
    buffer->attachImage(std::make_shared<TestImage>(), 0);
    buffer->attachImage(std::make_shared<TestImage>(), 2);
    EXPECT_EQ(buffer->linesWithImagesCount(), 2);
    EXPECT_EQ(buffer->lines()[0].images->size(), 2u);
    EXPECT_TRUE(buffer->hasAnyImages());

    buffer->clearImagesFromLine(1);  // no images there: nothing changes
    EXPECT_EQ(buffer->linesWithImagesCount(), 2);
    buffer->clearImagesFromLine(2);
    EXPECT_EQ(buffer->linesWithImagesCount(), 1);

    // Scrolling a full ring recycles the line with the image.
    buffer->setY(2);
    for (int i = 0; i < 2; ++i) newline(*buffer);
    ASSERT_TRUE(buffer->lines().isFull());
    EXPECT_EQ(buffer->linesWithImagesCount(), 1);
    newline(*buffer);
    EXPECT_EQ(buffer->linesWithImagesCount(), 0);

    buffer->attachImage(std::make_shared<TestImage>(), 4);
    buffer->lines()[4].images.reset();  // behind the buffer's back
    buffer->recalculateLinesWithImagesCount();
    EXPECT_EQ(buffer->linesWithImagesCount(), 0);
}

TEST(Buffer, ClearAndSoftReset)
{
    auto buffer = makeBuffer(10, 3, 5);
    for (int i = 0; i < 6; ++i) newline(*buffer);
    buffer->setX(4);
    buffer->setScrollTop(1);
    buffer->setMarginLeft(2);
    buffer->setMarginRight(6);
    buffer->savedX = 3;
    buffer->savedY = 2;
    buffer->savedWraparound = true;
    buffer->linesTop = 9;
    buffer->attachImage(std::make_shared<TestImage>(), 1);

    buffer->clear();
    EXPECT_EQ(buffer->lines().count(), 0);
    EXPECT_EQ(buffer->lines().maxLength(), 8);
    EXPECT_EQ(buffer->x(), 0);
    EXPECT_EQ(buffer->yBase(), 0);
    EXPECT_EQ(buffer->yDisp(), 0);
    EXPECT_EQ(buffer->linesTop, 0);
    EXPECT_EQ(buffer->scrollTop(), 0);
    EXPECT_EQ(buffer->scrollBottom(), 2);
    EXPECT_FALSE(buffer->hasAnyImages());
    EXPECT_EQ(buffer->marginRight(), 6);  // margins and saved state stay
    EXPECT_EQ(buffer->savedX, 3);

    buffer->softReset();
    EXPECT_EQ(buffer->marginLeft(), 0);
    EXPECT_EQ(buffer->marginRight(), 9);
    EXPECT_EQ(buffer->savedX, 0);
    EXPECT_EQ(buffer->savedY, 0);
    EXPECT_FALSE(buffer->savedWraparound);

    EXPECT_EQ(Buffer::getNullCell().code, ' ');
    EXPECT_EQ(Buffer::getNullCell(withBackground(3)).attribute, withBackground(3));
}
