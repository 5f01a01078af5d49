// The cluster rules on sequences whose reading has been stable across Unicode
// versions: marks, Hangul syllable parts, flags, joined emoji, controls.
#include "corvel/platform/Grapheme.h"

#include <gtest/gtest.h>

using corvel::grapheme::isSingleCluster;

TEST(Grapheme, SequencesThatReadAsOneCharacter)
{
    EXPECT_TRUE(isSingleCluster(U"e\u0301"));
    EXPECT_TRUE(isSingleCluster(U"a\u0301\u0323\u0302"));
    EXPECT_TRUE(isSingleCluster(U"\r\n"));
    EXPECT_TRUE(isSingleCluster(U"\u1100\u1161\u11A8"));  // L V T
    EXPECT_TRUE(isSingleCluster(U"\uAC00\u11A8"));        // LV T
    EXPECT_TRUE(isSingleCluster(U"\U0001F1F0\U0001F1F7"));
    EXPECT_TRUE(isSingleCluster(U"\U0001F44D\U0001F3FD"));
    EXPECT_TRUE(isSingleCluster(U"\U0001F468\u200D\U0001F469\u200D\U0001F467"));
    EXPECT_TRUE(isSingleCluster(U"\U0001F468\U0001F3FD\u200D\U0001F469"));  // a skin tone before the joiner
    EXPECT_TRUE(isSingleCluster(U"\u2764\uFE0F"));
    EXPECT_TRUE(isSingleCluster(U"\u0915\u093F"));  // a spacing mark
    EXPECT_TRUE(isSingleCluster(U"\u0600a"));       // a prepended sign
    EXPECT_TRUE(isSingleCluster(U"x"));
}

TEST(Grapheme, SequencesThatBreak)
{
    EXPECT_FALSE(isSingleCluster(U""));
    EXPECT_FALSE(isSingleCluster(U"ab"));
    EXPECT_FALSE(isSingleCluster(U"\ra"));
    EXPECT_FALSE(isSingleCluster(U"a\n"));
    EXPECT_FALSE(isSingleCluster(U"\n\u0301"));
    EXPECT_FALSE(isSingleCluster(U"\u11A8\u1100"));  // T L
    EXPECT_FALSE(isSingleCluster(U"\U0001F1F0\U0001F1F7\U0001F1FA"));
    EXPECT_FALSE(isSingleCluster(U"a\u200D\u2764"));  // the joiner joins only after a pictograph
    EXPECT_FALSE(isSingleCluster(U"\U0001F468\u200D\u0301\U0001F469"));
    EXPECT_FALSE(isSingleCluster(U"\U0001F468\u200D\u4E2D"));
}
