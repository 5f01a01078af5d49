#include "corvel/screen/Attribute.h"
#include "corvel/screen/CharData.h"
#include "corvel/screen/TinyAtom.h"
#include "corvel/screen/UnderlineStyle.h"

#include <gtest/gtest.h>

#include <string>

using namespace corvel;
using Color = Attribute::Color;

namespace {

Attribute withColors(Color fg, Color bg, CharacterStyle style = {})
{
    Attribute a;
    a.fg = fg;
    a.bg = bg;
    a.style = style;
    return a;
}

}  // namespace

TEST(Attribute, ToSgrRecreatesStylesAndColors)
{
    EXPECT_EQ(Attribute::empty.toSgr(), "0m");
    EXPECT_EQ(withColors(Color::ansi256(1), Color::defaultColor(), CharacterStyle::bold).toSgr(), "0;1;31m");
    EXPECT_EQ(withColors(Color::ansi256(9), Color::ansi256(4)).toSgr(), "0;91;44m");
    EXPECT_EQ(withColors(Color::ansi256(7), Color::ansi256(15)).toSgr(), "0;37;107m");
    EXPECT_EQ(withColors(Color::ansi256(16), Color::ansi256(255)).toSgr(), "0;38;5;16;48;5;255m");
    EXPECT_EQ(withColors(Color::trueColor(255, 0, 10), Color::trueColor(1, 2, 3)).toSgr(), "0;38;2;255;0;10;48;2;1;2;3m");
    EXPECT_EQ(withColors(Color::defaultInvertedColor(), Color::defaultInvertedColor()).toSgr(), "0m");

    // Every represented style in its fixed order; the others are not represented.
    CharacterStyle all{CharacterStyle::invisible, CharacterStyle::inverse, CharacterStyle::blink,
                       CharacterStyle::underline, CharacterStyle::bold, CharacterStyle::italic,
                       CharacterStyle::dim, CharacterStyle::crossedOut};
    EXPECT_EQ(withColors(Color::defaultColor(), Color::defaultColor(), all).toSgr(), "0;1;4;5;7;8m");
    Attribute italicUnderlined = withColors(Color::defaultColor(), Color::defaultColor(), CharacterStyle::italic);
    italicUnderlined.underlineStyle = UnderlineStyle::curly;
    italicUnderlined.underlineColor = Color::ansi256(3);
    EXPECT_EQ(italicUnderlined.toSgr(), "0m");
}

TEST(Attribute, EqualityAndHashCoverEveryFieldAndColorPayload)
{
    Attribute a;
    Attribute b;
    b.underlineColor = Color::defaultColor();
    EXPECT_NE(a, b);
    b.underlineColor.reset();
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<Attribute>{}(a), std::hash<Attribute>{}(b));

    EXPECT_NE(Color::ansi256(1), Color::ansi256(2));
    EXPECT_NE(Color::ansi256(1), Color::trueColor(1, 0, 0));
    EXPECT_NE(Color::trueColor(1, 2, 3), Color::trueColor(1, 2, 4));
    EXPECT_NE(Color::defaultColor(), Color::defaultInvertedColor());
    EXPECT_NE(std::hash<Color>{}(Color::ansi256(1)), std::hash<Color>{}(Color::trueColor(1, 0, 0)));
}

TEST(CellTypes, CharactersThatAreNoScalarReadAsSpaces)
{
    CharData cell;
    cell.setValue(U'\u00e9', 1);
    EXPECT_EQ(cell.getCharacter(), U'\u00e9');
    for (int32_t code : {CharData::firstGraphemeId, 0xD800, 0x110000}) {
        cell.setValue(code, 1);
        EXPECT_EQ(cell.getCharacter(), U' ') << code;
    }
}

// The atom table is process-wide; each test starts and ends with a fresh one
// so that test order does not matter.
class TinyAtomTest : public ::testing::Test {
protected:
    void SetUp() override { detail::resetTinyAtomTable(); }
    void TearDown() override { detail::resetTinyAtomTable(); }
};

TEST_F(TinyAtomTest, ReleasedIdsAreHandedOutAgainAndTheTableRunsOutAt65534)
{
    auto first = TinyAtom::lookup(std::string("https://a.example"));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->code, 1);
    CharData cell;
    cell.setPayload(*first);
    EXPECT_TRUE(cell.hasPayload());
    EXPECT_EQ(std::any_cast<std::string>(cell.getPayload()), "https://a.example");

    TinyAtom::release(first->code);
    EXPECT_FALSE(cell.getPayload().has_value());
    EXPECT_FALSE(TinyAtom{}.target().has_value());

    for (int i = 1; i <= TinyAtom::maxCode; ++i) ASSERT_TRUE(TinyAtom::lookup(i));
    EXPECT_FALSE(TinyAtom::lookup(std::string("one too many")).has_value());
    EXPECT_EQ(TinyAtom::usedCount(), 65534);
    // A released id is the next one handed out.
    TinyAtom::release(300);
    const auto again = TinyAtom::lookup(std::string("again"));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->code, 300);
}

TEST_F(TinyAtomTest, CollectionReleasesOnlyTheOwnersIdsThatNoCellHolds)
{
    int owner = 0;
    int other = 0;

    const auto a1 = *TinyAtom::lookup(1, &owner);
    const auto a2 = *TinyAtom::lookup(2, &owner);
    const auto a3 = *TinyAtom::lookup(3, &owner);
    const auto foreign = *TinyAtom::lookup(4, &other);
    TinyAtom::IdsInUse inUse;
    inUse.set(a2.code);
    inUse.set(a3.code);

    // Ids after one in use go too; another owner's id stays.
    EXPECT_EQ(TinyAtom::collectUnused(&owner, inUse), 2);
    EXPECT_FALSE(a1.target().has_value());
    EXPECT_TRUE(a2.target().has_value());
    EXPECT_TRUE(a3.target().has_value());
    EXPECT_TRUE(foreign.target().has_value());

    inUse.reset(a3.code);
    EXPECT_EQ(TinyAtom::collectUnused(&owner, inUse), 1);
    EXPECT_TRUE(a2.target().has_value());
    EXPECT_FALSE(a3.target().has_value());

    inUse.reset();
    EXPECT_EQ(TinyAtom::collectUnused(&owner, inUse), 0);
    EXPECT_EQ(TinyAtom::usedCount(&owner), 0);
    TinyAtom::releaseAll(&other);
    EXPECT_EQ(TinyAtom::usedCount(), 0);
}
