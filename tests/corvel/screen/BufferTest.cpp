#include "corvel/screen/Buffer.h"
#include "corvel/platform/Log.h"

#include "tests/corvel/support/TestImage.h"

#include <gtest/gtest.h>

#include "BufferTestSupport.h"

using namespace corvel;
using corvel::testing::TestImage;
using namespace corvel::testing;

namespace {

Attribute background(uint8_t code)
{
    Attribute a;
    a.fg = Attribute::Color::ansi256(1);
    a.bg = Attribute::Color::ansi256(code);
    a.style = CharacterStyle::bold;
    return a;
}

// The blanked half of a split wide character: empty, keeping only the background.
void expectErased(const CharData& cell, uint8_t bg)
{
    EXPECT_EQ(cell.code, 0);
    EXPECT_EQ(cell.width, 1);
    EXPECT_EQ(cell.attribute.fg, Attribute::Color::defaultColor());
    EXPECT_EQ(cell.attribute.bg, Attribute::Color::ansi256(bg));
    EXPECT_TRUE(cell.attribute.style.isEmpty());
}

}  // namespace

TEST(Buffer, MarginsStartAtFullWidthAndStayThereAcrossResizes)
{
    // The alternate screen never gets a soft reset before its first use.
    auto buffer = makeBuffer(20, 5, std::nullopt);
    buffer->marginMode = true;
    type(*buffer, "abc");
    buffer->insertCharacter(CharData(Attribute{}, 'd'));
    EXPECT_EQ(rowText(*buffer, 0), "abcd");

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

// Autowrap on and off through the emulator is in the print-wrap cases; here
// the count a run reports and the last cell written.
TEST(Buffer, WrapAtTheRightEdge)
{
    auto buffer = makeBuffer(80, 25);
    // Filling the last column leaves a pending wrap; the next character wraps.
    EXPECT_EQ(type(*buffer, std::string(80, 'a')), 80);
    EXPECT_EQ(buffer->x(), 80);
    EXPECT_FALSE(buffer->lines()[1].isWrapped);
    EXPECT_EQ(buffer->lastBufferStorage->x, 79);
    buffer->insertCharacter(CharData(Attribute{}, 'b'));
    EXPECT_EQ(buffer->y(), 1);
    EXPECT_EQ(buffer->x(), 1);
    EXPECT_TRUE(buffer->lines()[1].isWrapped);
    EXPECT_EQ(buffer->lastBufferStorage->y, 1);
}

TEST(Buffer, InsertModeKeepsWideCharactersWhole)
{
    auto buffer = makeBuffer(10, 2);
    type(*buffer, "abcdefgh");
    buffer->insertCharacter(wideCell(U'字'));
    buffer->insertMode = true;
    EXPECT_EQ(type(*buffer, "z"), 0);

    // The wide character pushed onto the last column is cut off whole.
    buffer->setX(0);
    buffer->insertCharacter(CharData(Attribute{}, 'X'));
    EXPECT_EQ(buffer->lines()[0][9].code, 0);
    EXPECT_EQ(buffer->lines()[0][9].width, 1);

    buffer->setX(2);
    buffer->insertCharacter(wideCell(U'中'));
    EXPECT_EQ(rowText(*buffer, 0), "Xa中bcdefg");
    EXPECT_EQ(buffer->lines()[0][3].width, 0);
    EXPECT_EQ(buffer->x(), 4);

    // Inserting at the second half of a wide character blanks it.
    buffer->setX(3);
    buffer->insertCharacter(CharData(background(4), 'Y'));
    const BufferLine& row = buffer->lines()[0];
    expectErased(row[2], 4);
    EXPECT_EQ(row[3].code, 'Y');
    expectErased(row[4], 4);
    EXPECT_EQ(row[5].code, 'b');
}

TEST(Buffer, OverwritingHalfAWideCharacterBlanksTheOtherHalf)
{
    const Attribute red = background(1);
    auto buffer = makeBuffer(12, 2);
    for (int i = 0; i < 6; ++i) buffer->insertCharacter(wideCell(U'中'));
    const BufferLine& row = buffer->lines()[0];

    buffer->setX(1);
    buffer->insertCharacter(CharData(red, 'a'));  // second half of the first
    expectErased(row[0], 1);
    buffer->setX(2);
    buffer->insertCharacter(CharData(red, 'b'));  // first half of the second
    expectErased(row[3], 1);

    // A run whose both ends fall inside wide characters.
    buffer->setX(5);
    type(*buffer, "xyzw", red);
    expectErased(row[4], 1);
    expectErased(row[9], 1);
    EXPECT_EQ(row[10].code, U'中');

    // A wide character over the first half of another.
    buffer->setX(9);
    buffer->insertCharacter(wideCell(U'字', red));
    EXPECT_EQ(row[10].width, 0);
    expectErased(row[11], 1);
}

TEST(Buffer, TabStopsAfterAWidthChange)
{
    // New columns continue from the last stop before the old width.
    Buffer buffer(80, 25, 8, 500);
    buffer.tabSet(5);
    buffer.tabClear(72);
    buffer.tabSet(77);
    buffer.resize(100, 25);
    buffer.setupTabStops(80, 8);
    ASSERT_EQ(buffer.tabStops.size(), 100u);
    EXPECT_TRUE(buffer.tabStops[5]);
    EXPECT_FALSE(buffer.tabStops[80]);
    EXPECT_EQ(buffer.nextTabStop(false, 77), 85);
    EXPECT_EQ(buffer.nextTabStop(false, 85), 93);
    EXPECT_EQ(buffer.nextTabStop(false, 93), 99);

    // Narrowing cuts the list.
    buffer.resize(40, 25);
    buffer.setupTabStops(100, 8);
    ASSERT_EQ(buffer.tabStops.size(), 40u);
    EXPECT_EQ(buffer.previousTabStop(200), 32);
}

TEST(Buffer, RowAccessStaysInsideTheLinesHeld)
{
    auto buffer = makeBuffer(10, 3, 2);  // a ring of 5 lines
    for (char c : std::string("ABCDE")) {
        type(*buffer, std::string(1, c));
        if (c != 'E') newline(*buffer);
    }
    ASSERT_TRUE(buffer->lines().isFull());
    // Ring index 5 would map onto the slot of index 0.
    EXPECT_EQ(buffer->getCharAtBufferRelative({0, 5}), CharData::Null);
    EXPECT_EQ(buffer->getCharAtBufferRelative({0, -1}), CharData::Null);
    EXPECT_EQ(buffer->getCharAtBufferRelative({-1, 0}), CharData::Null);
    EXPECT_EQ(buffer->getChar({0, 2}).code, 'E');
    EXPECT_EQ(buffer->getChar({0, 3}), CharData::Null);

    // A cursor below the lines held writes the last line, not a wrapped slot.
    log::Capture capture;
    buffer->setY(3);
    buffer->setX(0);
    type(*buffer, "z");
    EXPECT_EQ(capture.count("Buffer: row 5 is outside the 5 lines held"), 1u);
    EXPECT_EQ(buffer->lines()[4][0].code, 'z');
    EXPECT_EQ(buffer->lines()[0][0].code, 'A');
    buffer->attachImage(std::make_shared<TestImage>(8, 16), 5);
    EXPECT_FALSE(buffer->lines()[0].images);
}

TEST(Buffer, TrimmingTheScrollbackKeepsTheSavedCursor)
{
    auto buffer = makeBuffer(80, 25, 500);
    for (int i = 0; i < 600; ++i) {
        type(*buffer, std::to_string(i));
        newline(*buffer);
    }
    buffer->setY(10);
    buffer->savedY = 7;
    ASSERT_EQ(buffer->yBase(), 500);
    buffer->changeHistorySize(100);
    EXPECT_EQ(buffer->lines().maxLength(), 125);
    EXPECT_EQ(buffer->lines().count(), 125);
    EXPECT_EQ(buffer->yBase(), 100);
    EXPECT_EQ(buffer->yDisp(), 100);
    EXPECT_EQ(rowText(*buffer, 110), "586");
    EXPECT_EQ(buffer->savedY, 7);  // counts from the top of the screen, which did not move

    // The same through a resize that lowers the capacity.
    buffer->setY(24);
    buffer->resize(80, 20);
    EXPECT_EQ(buffer->lines().count(), 120);
    EXPECT_EQ(buffer->yBase(), 100);
    EXPECT_EQ(buffer->y(), 19);
    EXPECT_EQ(rowText(*buffer, 118), "599");
    EXPECT_EQ(buffer->savedY, 7);
}

TEST(Buffer, LinesWithImagesAreCounted)
{
    auto buffer = makeBuffer(10, 3, 2);
    buffer->attachImage(std::make_shared<TestImage>(8, 16), 0);
    buffer->attachImage(std::make_shared<TestImage>(8, 16), 0);
    buffer->attachImage(std::make_shared<TestImage>(8, 16), 2);
    EXPECT_EQ(buffer->linesWithImagesCount(), 2);
    EXPECT_EQ(buffer->lines()[0].images->size(), 2u);
    buffer->clearImagesFromLine(1);
    buffer->clearImagesFromLine(2);
    EXPECT_EQ(buffer->linesWithImagesCount(), 1);

    // Scrolling a full ring recycles the line with the image.
    buffer->setY(2);
    newline(*buffer);
    newline(*buffer);
    EXPECT_EQ(buffer->linesWithImagesCount(), 1);
    newline(*buffer);
    EXPECT_FALSE(buffer->hasAnyImages());
}

TEST(Buffer, EveryResizeLeavesTheRingAtTheCapacityOfItsRowsEvenWhenEmpty)
{
    // Made at one size and fitted to another before a line is pushed, as the
    // alternate screen is before its first use.
    Buffer alternate(80, 25, 8, std::nullopt);
    Buffer normal(80, 25, 8, 500);
    for (Buffer* buffer : {&alternate, &normal}) {
        buffer->resize(34, 17);
        EXPECT_EQ(buffer->lines().maxLength(), buffer->getCorrectBufferLength(17));
        EXPECT_EQ(buffer->lines().count(), 0);
        EXPECT_EQ(buffer->scrollBottom(), 16);
        buffer->resize(40, 30);
        EXPECT_EQ(buffer->lines().maxLength(), buffer->getCorrectBufferLength(30));
        buffer->resize(34, 17);
    }
    EXPECT_EQ(alternate.lines().maxLength(), 17);
    EXPECT_EQ(normal.lines().maxLength(), 517);
}
