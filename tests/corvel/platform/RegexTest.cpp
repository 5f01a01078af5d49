#include "corvel/platform/Regex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace corvel;

TEST(Regex, InvalidPatternsAreReportedNotThrown)
{
    std::string error;
    EXPECT_FALSE(Regex::compile(u"(unbalanced", {}, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(Regex::compile("[z-a]"));
    EXPECT_FALSE(Regex::compile(std::string_view("\xff(", 2)));  // malformed UTF-8
    EXPECT_TRUE(Regex::compile(""));
}

TEST(Regex, RangesAreInUtf16CodeUnitsWithCaptureGroups)
{
    // U+1F600 takes two code units, U+276F one; the UTF-8 pattern is converted.
    auto re = Regex::compile("(\\d+)-(x)?(❯)");
    ASSERT_TRUE(re);
    EXPECT_EQ(re->groupCount(), 3u);
    const std::u16string text = u"\U0001F600 ab 42-❯";
    auto m = re->firstMatch(text);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->range, (RegexRange{6, 4}));
    ASSERT_EQ(m->groups.size(), 3u);
    EXPECT_EQ(m->groups[0], (RegexRange{6, 2}));
    EXPECT_FALSE(m->groups[1]);  // the optional group took no part
    EXPECT_EQ(m->groups[2], (RegexRange{9, 1}));
}

TEST(Regex, OptionsChangeCaseLineAndDotHandling)
{
    const std::u16string text = u"first\nSecond line";
    EXPECT_EQ(Regex::compile("second")->test(text), RegexOutcome::noMatch);
    EXPECT_EQ(Regex::compile("second", {.caseInsensitive = true})->test(text),
              RegexOutcome::matched);
    EXPECT_EQ(Regex::compile("^Second")->test(text), RegexOutcome::noMatch);
    EXPECT_EQ(Regex::compile("^Second", {.multiline = true})->test(text), RegexOutcome::matched);
    EXPECT_EQ(Regex::compile("first.Second")->test(text), RegexOutcome::noMatch);
    EXPECT_EQ(Regex::compile("first.Second", {.dotAll = true})->test(text), RegexOutcome::matched);
    // Without the multiline option $ matches only at the end of the text.
    EXPECT_EQ(Regex::compile("\\$\\s*$")->test(u"echo $HOME"), RegexOutcome::noMatch);
    EXPECT_EQ(Regex::compile("\\$\\s*$")->test(u"user@host $  "), RegexOutcome::matched);
}

TEST(Regex, AllMatchesAndSearchBounds)
{
    auto re = Regex::compile("a+");
    ASSERT_TRUE(re);
    std::vector<RegexMatch> all;
    EXPECT_EQ(re->allMatches(u"aa b aaa c a", all), RegexOutcome::matched);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].range, (RegexRange{0, 2}));
    EXPECT_EQ(all[1].range, (RegexRange{5, 3}));
    EXPECT_EQ(all[2].range, (RegexRange{11, 1}));

    // A search limited to [6, 11) sees only part of the second run; the end
    // bound is clamped to the text.
    EXPECT_EQ(re->allMatches(u"aa b aaa c a", all, {.from = 6, .to = 11}), RegexOutcome::matched);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].range, (RegexRange{6, 2}));
    EXPECT_EQ(re->test(u"aa", {.from = 1, .to = 999}), RegexOutcome::matched);
    EXPECT_EQ(re->test(u"aa", {.from = 5}), RegexOutcome::noMatch);

    // Empty matches advance instead of looping forever.
    EXPECT_EQ(Regex::compile("x*")->allMatches(u"ab", all), RegexOutcome::matched);
    EXPECT_EQ(all.size(), 3u);
    EXPECT_EQ(re->allMatches(u"bbb", all), RegexOutcome::noMatch);
    EXPECT_TRUE(all.empty());
}

TEST(Regex, TimeLimitIsReportedAsATimeOut)
{
    auto re = Regex::compile("(a+)+$");
    ASSERT_TRUE(re);
    const std::u16string text = std::u16string(40, u'a') + u"!";
    RegexMatch m;
    EXPECT_EQ(re->firstMatch(text, m, {.timeLimit = 1}), RegexOutcome::timedOut);
    std::vector<RegexMatch> all;
    EXPECT_EQ(re->allMatches(text, all, {.timeLimit = 1}), RegexOutcome::timedOut);
    // The limit belongs to the search, not to the compiled pattern.
    EXPECT_EQ(re->test(u"aaa"), RegexOutcome::matched);
}

TEST(Regex, SharedPatternSearchesConcurrently)
{
    auto re = Regex::compile("needle(\\d)");
    ASSERT_TRUE(re);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            const std::u16string text =
                u"hay hay needle" + std::u16string(1, static_cast<char16_t>(u'0' + t));
            for (int i = 0; i < 2000; ++i) {
                auto m = re->firstMatch(text);
                if (!m || m->groups[0] != RegexRange{14, 1}) ++wrong;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
}
