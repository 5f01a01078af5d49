#include "corvel/screen/UnicodeUtil.h"

#include "corvel/platform/Utf8.h"

#include <gtest/gtest.h>

using namespace corvel;
using UnicodeUtil::columnWidth;

TEST(UnicodeUtil, ColumnWidthFollowsEachRule)
{
    struct Case {
        char32_t rune;
        int width;
    };
    const Case cases[] = {
        {0x0000, 0},  {0x0007, -1}, {0x001F, -1}, {0x0020, 1}, {0x0041, 1}, {0x007E, 1},
        {0x007F, -1}, {0x0085, -1}, {0x009F, -1}, {0x00A0, 1},
        // Marks of all three kinds.
        {0x0301, 0}, {0x0903, 0}, {0x20DD, 0}, {0xE0100, 0},
        // Modifier symbols: skin tones join, three fullwidth ones are wide, others go on.
        {0x1F3FB, 0}, {0x1F3FF, 0}, {0xFF3E, 2}, {0xFF40, 2}, {0xFFE3, 2}, {0x02C2, 1}, {0x309B, 2},
        // Separators and format characters; the soft hyphen is shown.
        {0x2028, 0}, {0x2029, 0}, {0x00AD, 1}, {0x200B, 0}, {0x200D, 0}, {0xFEFF, 0}, {0xE0001, 0},
        // Hangul: leading consonants are wide, medial vowels and finals join.
        {0x1100, 2}, {0x115F, 2}, {0x1160, 0}, {0x11FF, 0}, {0xD7B0, 0}, {0xD7FF, 0}, {0xAC00, 2},
        // Regional indicators.
        {0x1F1E6, 2}, {0x1F1FF, 2},
        // The wide table and its edges.
        {0x4E00, 2}, {0x2319, 1}, {0x231A, 2}, {0x231B, 2}, {0x231C, 1}, {0xA48C, 2}, {0xA48D, 1},
        {0x1F600, 2}, {0x1FAF8, 2}, {0x1FAF9, 1}, {0x2FFFD, 2}, {0x2FFFE, 1}, {0x3FFFD, 2},
        {0x3FFFE, 1},
        // Everything else is one column, including unassigned and out-of-range values.
        {0x20A9, 1}, {0x00E9, 1}, {0xE000, 1}, {0x10FFFF, 1}, {0x110000, 1}, {0xFFFFFFFF, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(columnWidth(c.rune), c.width) << std::hex << "U+" << uint32_t(c.rune);
}

TEST(UnicodeUtil, PrecomputedWidthsEqualTheRulesEverywhere)
{
    int mismatches = 0;
    for (char32_t c = 0; c <= 0x10FFFF && mismatches < 10; ++c) {
        if (columnWidth(c) != UnicodeUtil::columnWidthByRules(c)) {
            ADD_FAILURE() << std::hex << "U+" << uint32_t(c);
            ++mismatches;
        }
    }
}

TEST(UnicodeUtil, RangeTablesAndBisearch)
{
    // The search needs sorted, disjoint ranges.
    using Ranges = std::span<const UnicodeUtil::LH>;
    for (Ranges ranges : {Ranges(UnicodeUtil::wideTable), Ranges(UnicodeUtil::emojiVariationTable)}) {
        for (size_t i = 0; i < ranges.size(); ++i) {
            EXPECT_LE(ranges[i].lo, ranges[i].hi) << i;
            if (i > 0) {
                EXPECT_GT(ranges[i].lo, ranges[i - 1].hi) << i;
            }
        }
    }
    EXPECT_TRUE(UnicodeUtil::hasEmojiVariation(U'#'));
    EXPECT_TRUE(UnicodeUtil::hasEmojiVariation(0x2764));
    EXPECT_FALSE(UnicodeUtil::hasEmojiVariation(0x2765));
    EXPECT_FALSE(UnicodeUtil::hasEmojiVariation(U'a'));

    const auto& table = UnicodeUtil::wideTable;

    EXPECT_FALSE(UnicodeUtil::bisearch(0x10FF, table, 122));
    EXPECT_TRUE(UnicodeUtil::bisearch(0x1100, table, 122));
    EXPECT_TRUE(UnicodeUtil::bisearch(0x23F0, table, 122));
    EXPECT_FALSE(UnicodeUtil::bisearch(0x23F1, table, 122));
    EXPECT_TRUE(UnicodeUtil::bisearch(0x3FFFD, table, 122));
    EXPECT_FALSE(UnicodeUtil::bisearch(0x3FFFE, table, 122));
    // `max` limits the search to the first ranges.
    EXPECT_TRUE(UnicodeUtil::bisearch(0x231A, table, 1));
    EXPECT_FALSE(UnicodeUtil::bisearch(0x2329, table, 1));
    // A `max` past the end or an empty table reads nothing outside the table.
    EXPECT_TRUE(UnicodeUtil::bisearch(0x3FFFD, table, 500));
    EXPECT_FALSE(UnicodeUtil::bisearch(0x1100, std::span<const UnicodeUtil::LH>(), 0));
}

TEST(UnicodeUtil, LeadByteTableAcceptsExactlyWellFormedUtf8)
{
    const auto& first = UnicodeUtil::first;
    // Single bytes and bytes that never lead are marked as such.
    for (int byte : {0x00, 0x7F}) EXPECT_EQ(first[size_t(byte)], 0xF0) << byte;
    for (int byte : {0x80, 0xC1, 0xF5, 0xFF}) EXPECT_EQ(first[size_t(byte)], 0xF1) << byte;
    // Cross-check every lead and second byte against the UTF-8 decoder: a
    // multi-byte lead accepts exactly the second bytes that can start a
    // well-formed sequence.
    for (int lead = 0xC2; lead <= 0xF4; ++lead) {
        const uint8_t entry = first[size_t(lead)];
        const int length = entry & 0x0F;
        const auto& range = UnicodeUtil::acceptRanges[entry >> 4];
        for (int second = 0; second < 256; ++second) {
            uint8_t bytes[4] = {uint8_t(lead), uint8_t(second), 0x80, 0x80};
            const auto decoded = utf8::decodeNext(std::span<const uint8_t>(bytes, size_t(length)), 0);
            const bool accepted = second >= range.lo && second <= range.hi;
            EXPECT_EQ(accepted, decoded.valid) << std::hex << lead << " " << second;
        }
    }
}
