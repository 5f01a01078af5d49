#include "corvel/screen/CharSets.h"

#include <gtest/gtest.h>

using namespace corvel;

TEST(CharSets, DesignatorsLookUpTheirTablesAndOnlyAsciiIsReplaced)
{
    EXPECT_EQ(CharSets::lookup('9'), nullptr);
    const CharSet* dec = CharSets::lookup('0');
    ASSERT_EQ(dec, &CharSets::all().at('0'));
    EXPECT_EQ(CharSets::lookup('2')->map, dec->map);
    EXPECT_EQ((*dec)['q'], 0x2500u);
    EXPECT_EQ(dec->text('q'), "\u2500");
    EXPECT_FALSE(dec->contains('Q'));
    EXPECT_EQ(dec->text('Q'), "");

    const auto& all = CharSets::all();
    EXPECT_EQ(all.at('B').size(), 0u);
    EXPECT_EQ(all.at('A')['#'], 0x00A3u);
    // Aliases share one table.
    EXPECT_EQ(all.at('5').map, all.at('C').map);
    EXPECT_EQ(all.at('6').map, all.at('E').map);
    EXPECT_EQ(all.at('7').map, all.at('H').map);
    for (const auto& [designator, set] : all) {
        for (int byte = 0x80; byte <= 0xFF; ++byte) EXPECT_FALSE(set.contains(uint8_t(byte))) << designator;
        // Swiss is the only set that replaces the underscore.
        EXPECT_EQ(set.contains('_'), designator == '=') << designator;
    }
}
