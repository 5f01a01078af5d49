#include "corvel/screen/CharSets.h"

#include <gtest/gtest.h>

using namespace corvel;

TEST(CharSets, HoldsEveryDesignatorWithItsTableSize)
{
    const std::map<uint8_t, size_t> expected = {
        {'0', 31}, {'2', 31}, {'A', 1},  {'B', 0},  {'4', 9},  {'5', 9},
        {'C', 9},  {'R', 9},  {'Q', 10}, {'K', 8},  {'Y', 10}, {'6', 10},
        {'E', 10}, {'Z', 8},  {'7', 10}, {'H', 10}, {'=', 12},
    };
    std::map<uint8_t, size_t> actual;
    for (const auto& [designator, set] : CharSets::all())
        actual[designator] = set.size();
    EXPECT_EQ(actual, expected);

    EXPECT_EQ(CharSets::lookup('9'), nullptr);
    EXPECT_EQ(CharSets::all().count('9'), 0u);
    EXPECT_EQ(CharSets::lookup('0'), &CharSets::all().at('0'));
}

TEST(CharSets, DecSpecialGraphicsDrawsLines)
{
    const CharSet* dec = CharSets::lookup('0');
    ASSERT_NE(dec, nullptr);
    EXPECT_EQ(CharSets::lookup('2')->map, dec->map);
    EXPECT_EQ((*dec)['`'], 0x25C6u);
    EXPECT_EQ((*dec)['j'], 0x2518u);
    EXPECT_EQ((*dec)['q'], 0x2500u);
    EXPECT_EQ((*dec)['x'], 0x2502u);
    EXPECT_EQ((*dec)['~'], 0x00B7u);
    EXPECT_EQ(dec->text('q'), "\u2500");
    EXPECT_FALSE(dec->contains('Q'));
    EXPECT_EQ(dec->text('Q'), "");
    EXPECT_FALSE(dec->contains(0xE2));  // bytes beyond ASCII are never replaced
}

TEST(CharSets, NationalSetsReplaceTheirBytes)
{
    const auto& all = CharSets::all();
    EXPECT_EQ(all.at('B').size(), 0u);
    EXPECT_EQ(all.at('A')['#'], 0x00A3u);
    EXPECT_EQ(all.at('4')['|'], U'f');
    EXPECT_EQ(all.at('4')[']'], U'|');
    EXPECT_EQ(all.at('4')['['], 0x0133u);
    EXPECT_EQ(all.at('K')['~'], 0x00DFu);
    EXPECT_EQ(all.at('Z')['{'], 0x00B0u);
    EXPECT_EQ(all.at('Q')['^'], 0x00EEu);
    EXPECT_EQ(all.at('Y')['`'], 0x00F9u);
    EXPECT_EQ(all.at('6')['\\'], 0x00D8u);
    EXPECT_EQ(all.at('7')['@'], 0x00C9u);
    EXPECT_EQ(all.at('5').map, all.at('C').map);
    EXPECT_EQ(all.at('6').map, all.at('E').map);
    EXPECT_EQ(all.at('7').map, all.at('H').map);
    EXPECT_EQ(all.at('R')['~'], 0x00A8u);
    EXPECT_EQ(all.at('=')['#'], 0x00F9u);

    // Swiss is the only set that replaces the underscore.
    for (const auto& [designator, set] : all)
        EXPECT_EQ(set.contains('_'), designator == '=') << designator;
    EXPECT_EQ(all.at('=')['_'], 0x00E8u);
}
