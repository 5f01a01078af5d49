// Search over the displayed buffer: matching rules, positions in cells across
// wrapped rows and wide characters, the step order with wrap-around, the line
// cache's lifetime (through an injected clock) and the view's use of a step.
#include "corvel/terminal/SearchService.h"
#include "corvel/terminal/SelectionService.h"
#include "corvel/terminal/Terminal.h"
#include "tests/corvel/support/HeadlessProgramFixture.h"
#include "tests/corvel/support/TestHost.h"

#include <gtest/gtest.h>

#include <string>

namespace corvel {
namespace {

class Search : public ::testing::Test {
protected:
    explicit Search(int cols = 10, int rows = 4, int scrollback = 100)
        : terminal(host, testing::sized(cols, rows, scrollback))
    {
    }

    std::shared_ptr<testing::TestHost> host = std::make_shared<testing::TestHost>();
    Terminal terminal;
    double now = 1000;
    SearchService search{terminal, [this] { return now; }};

    // The ring index of the first row whose text starts with `prefix`.
    int rowOf(const std::string& prefix)
    {
        Buffer& buffer = terminal.displayBuffer();
        for (int row = 0; row < buffer.lines().count(); ++row) {
            if (terminal.translateBufferLineToString(buffer, row, 0, -1).rfind(prefix, 0) == 0) return row;
        }
        ADD_FAILURE() << "no row starts with " << prefix;
        return -1;
    }
    static SearchOptions caseSensitive() { return {.caseSensitive = true}; }
    static SearchOptions regex() { return {.regex = true}; }
    static SearchOptions wholeWord() { return {.wholeWord = true}; }
};

TEST_F(Search, EmptyTermFindsNothingAndForgetsTheSearch)
{
    terminal.feed("alpha beta");
    ASSERT_TRUE(search.findNext("beta", {}));
    EXPECT_TRUE(search.lastSelection());
    EXPECT_FALSE(search.findNext("", {}));
    EXPECT_FALSE(search.lastSelection());
    EXPECT_FALSE(search.lastResult());
    EXPECT_FALSE(search.state().cachedSearchTerm);
    EXPECT_FALSE(search.state().lastSearchOptions);
}

TEST_F(Search, StepsWrapAroundBothWaysAndRepeatALoneMatch)
{
    terminal.feed("one x\r\ntwo\r\nx three\r\n");
    const int first = rowOf("one"), last = rowOf("x three");
    auto a = search.findNext("x", {});
    ASSERT_TRUE(a);
    EXPECT_EQ((std::pair{a->col, a->row}), (std::pair{4, first}));
    auto b = search.findNext("x", {});
    ASSERT_TRUE(b);
    EXPECT_EQ((std::pair{b->col, b->row}), (std::pair{0, last}));
    // Past the end the search starts again at the top.
    EXPECT_EQ(search.findNext("x", {})->row, first);
    // Backward from the first match wraps to the bottom.
    EXPECT_EQ(search.findPrevious("x", {})->row, last);
    EXPECT_EQ(search.findPrevious("x", {})->row, first);

    // A term that occurs once is found again by every step.
    auto once = search.findNext("three", {});
    ASSERT_TRUE(once);
    EXPECT_EQ(search.findNext("three", {}), once);
    EXPECT_EQ(search.findPrevious("three", {}), once);

    // Both matches on the last row: stepping back from the first wraps
    // around to the second.
    terminal.feed("ab ab");
    search.invalidate();
    ASSERT_EQ(search.findNext("ab", {})->col, 0);
    auto back = search.findPrevious("ab", {});
    ASSERT_TRUE(back);
    EXPECT_EQ((std::pair{back->col, back->row}), (std::pair{3, last + 1}));
}

TEST_F(Search, TypingATermKeepsItsMatchAndANewTermStartsThere)
{
    terminal.feed("abc abd\r\n");
    auto a = search.findNext("ab", {});
    ASSERT_TRUE(a);
    EXPECT_EQ(a->col, 0);
    // "abd" is not at the current match's start: the next one is taken.
    EXPECT_EQ(search.findNext("abd", {})->col, 4);
    EXPECT_EQ(search.findNext("ab", {})->col, 4);
}

TEST_F(Search, TermAcrossAWrappedRowEndsInTheNextRow)
{
    terminal.feed("12345678helloworld");
    const int row = rowOf("12345678he");
    auto result = search.findNext("hello", {});
    ASSERT_TRUE(result);
    EXPECT_EQ(result->row, row);
    EXPECT_EQ(result->col, 8);
    EXPECT_EQ(result->size, 5);
    EXPECT_EQ(search.lastSelection()->end, (Position{3, row + 1}));
    // And backward from below.
    search.reset();
    auto back = search.findPrevious("owor", {});
    ASSERT_TRUE(back);
    EXPECT_EQ((Position{back->col, back->row}), (Position{2, row + 1}));
}

TEST_F(Search, WideCharactersCountTwoColumns)
{
    terminal.feed("\xe4\xb8\xad" "a \xf0\x9f\x98\x80" "b");  // 中a 😀b
    auto a = search.findNext("a", caseSensitive());
    ASSERT_TRUE(a);
    EXPECT_EQ(a->col, 2);
    EXPECT_EQ(a->size, 1);
    // A character outside the BMP is two code units but one (wide) cell.
    auto b = search.findNext("b", caseSensitive());
    ASSERT_TRUE(b);
    EXPECT_EQ(b->col, 6);
    auto wide = search.findNext("\xf0\x9f\x98\x80", caseSensitive());
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->col, 4);
    EXPECT_EQ(wide->size, 2);
}

TEST_F(Search, WideCharacterPushedToTheNextRowIsFoundAcrossTheWrap)
{
    // Nine cells, then a wide character that does not fit in the tenth.
    terminal.feed("123456789\xe4\xb8\xad" "z");
    auto result = search.findNext("9\xe4\xb8\xad", caseSensitive());
    ASSERT_TRUE(result);
    EXPECT_EQ(result->col, 8);
    EXPECT_EQ(search.lastSelection()->end, (Position{2, result->row + 1}));
    EXPECT_EQ(search.findNext("z", {})->col, 2);
}

TEST_F(Search, CaseRulesAndFoldingThatChangesLength)
{
    terminal.feed("Hello stra\xc3\x9f" "e");  // straße
    EXPECT_TRUE(search.findNext("HELLO", {}));
    EXPECT_FALSE(search.findNext("HELLO", caseSensitive()));
    EXPECT_TRUE(search.findNext("Hello", caseSensitive()));
    // Seven letters of the term match six cells: the selection covers the
    // cells that matched, not the term's length.
    auto folded = search.findNext("STRASSE", {});
    ASSERT_TRUE(folded);
    EXPECT_EQ(folded->col, 6);
    EXPECT_EQ(folded->size, 6);
}

TEST_F(Search, WholeWordNeedsNonWordNeighbours)
{
    terminal.feed("foo_x\r\nfoo-y\r\nfoo.z\r\nfoo");
    auto hyphen = search.findNext("foo", wholeWord());
    ASSERT_TRUE(hyphen);
    EXPECT_EQ(hyphen->row, rowOf("foo-y"));
    EXPECT_EQ(search.findNext("foo", wholeWord())->row, rowOf("foo.z"));
    EXPECT_EQ(search.findNext("foo", wholeWord())->row, rowOf("foo") + 3);
    // Later occurrences in a line are tried when the first is not a word.
    search.reset();
    terminal.feed("\r\nfoox foo");
    auto later = search.findPrevious("foo", wholeWord());
    ASSERT_TRUE(later);
    EXPECT_EQ(later->col, 5);
    EXPECT_FALSE(SearchEngine::isNonWordCharacter(U'_'));
    EXPECT_TRUE(SearchEngine::isNonWordCharacter(U'~'));
    EXPECT_FALSE(SearchEngine::isNonWordCharacter(U'\t'));
}

TEST_F(Search, RegularExpressionsMatchTextAndBadPatternsFindNothing)
{
    terminal.feed("id=42 id=7");
    auto result = search.findNext("id=[0-9]+", regex());
    ASSERT_TRUE(result);
    EXPECT_EQ(result->term, "id=42");
    EXPECT_EQ(result->size, 5);
    // Backward from the match wraps to the last one in the buffer.
    EXPECT_EQ(search.findPrevious("id=[0-9]+", regex())->term, "id=7");
    EXPECT_FALSE(search.findNext("ID=\\d+", {.caseSensitive = true, .regex = true}));
    // A pattern that does not compile finds nothing and raises nothing.
    EXPECT_NO_THROW(EXPECT_FALSE(search.findNext("(", regex())));
    EXPECT_FALSE(search.findPrevious("(", regex()));
    // In plain mode the same text is just a character.
    terminal.feed("(");
    search.invalidate();
    EXPECT_TRUE(search.findNext("(", {}));
    // Empty matches count as none.
    EXPECT_FALSE(search.findNext("x*", regex()));
}

TEST_F(Search, RegexLineThatRunsOutOfTimeCountsAsNoMatch)
{
    // The first logical line makes the pattern backtrack without end; the
    // second matches at once.
    terminal.feed(std::string(40, 'a') + "!\r\naab");
    search.engine().regexTimeLimit = 1;
    const std::string pattern = "(a+)+(b|$)";
    auto result = search.findNext(pattern, regex());
    ASSERT_TRUE(result);
    EXPECT_EQ(result->term, "aab");
    EXPECT_EQ(search.engine().timedOutLinesInLastStep(), 1);
    // Enough time-outs end the step with nothing found.
    search.engine().maxTimedOutLines = 1;
    search.reset();
    EXPECT_FALSE(search.findNext(pattern, regex()));
}

TEST_F(Search, OldestRowThatContinuesADroppedRowIsStillSearched)
{
    // With no scrollback the first screen row continues a row that left.
    Terminal tiny(host, testing::sized(10, 2, 0));
    tiny.feed("0123456789abcdefghijKLMNO");
    ASSERT_TRUE(tiny.displayBuffer().lines()[0].isWrapped);
    SearchService s(tiny);
    auto result = s.findNext("cde", {});
    ASSERT_TRUE(result);
    EXPECT_EQ((Position{result->col, result->row}), (Position{2, 0}));
    EXPECT_EQ(s.findPrevious("KLM", {})->row, 1);
}

TEST_F(Search, LongLogicalLineIsSearchedOnce)
{
    // 400 wrapped rows without the term: one search of the line, not one per row.
    terminal.feed(std::string(4000, 'q'));
    EXPECT_FALSE(search.findNext("zz", {}));
    EXPECT_LE(search.engine().linesSearchedInLastStep(), 3u);
    EXPECT_FALSE(search.findPrevious("zz", {}));
    EXPECT_LE(search.engine().linesSearchedInLastStep(), 3u);
    // And a term deep inside it is found from any start.
    terminal.feed("zz");
    search.invalidate();
    auto found = search.findNext("zz", {});
    ASSERT_TRUE(found);
    EXPECT_EQ(found->col, 0);
    EXPECT_EQ(search.findPrevious("zz", {}), found);
}

TEST_F(Search, LineCacheLivesFifteenSecondsAndFollowsTheBuffer)
{
    terminal.feed("cached\r\nrows");
    SearchLineCache& cache = search.lineCache();
    ASSERT_TRUE(search.findNext("rows", {}));
    const size_t built = cache.builtEntries();
    EXPECT_GT(built, 0u);
    now += 14.9;
    cache.initLinesCache();
    EXPECT_EQ(cache.builtEntries(), built);  // kept: the texts are reused
    EXPECT_EQ(cache.lastAccessTimestamp(), now);
    now += 15.0;
    cache.initLinesCache();
    EXPECT_EQ(cache.builtEntries(), 0u);  // too old: started afresh

    search.findNext("rows", {});
    terminal.feed("\r\n\r\n\r\n\r\nmore");  // more lines: the cache no longer fits
    cache.initLinesCache();
    EXPECT_EQ(cache.builtEntries(), 0u);

    // invalidate keeps the term; reset forgets it.
    search.findNext("rows", {});
    search.invalidate();
    EXPECT_FALSE(cache.hasLines());
    EXPECT_FALSE(search.lastSelection());
    EXPECT_EQ(search.state().cachedSearchTerm, "rows");
    search.reset();
    EXPECT_FALSE(search.state().cachedSearchTerm);
}

TEST_F(Search, ViewStepSelectsTheMatchOrDropsTheSelection)
{
    terminal.feed("one two one");
    SelectionService selection(terminal);
    auto r = search.findAndSelect(selection, "two", {}, true);
    ASSERT_TRUE(r);
    EXPECT_TRUE(selection.active());
    EXPECT_EQ(selection.start(), (Position{4, r->row}));
    EXPECT_EQ(selection.end(), (Position{7, r->row}));
    // A selection made by the user becomes the next starting point.
    selection.setSelection({8, r->row}, {8, r->row});
    EXPECT_EQ(search.findAndSelect(selection, "one", {}, true)->col, 8);
    // Nothing found: the selection goes.
    EXPECT_FALSE(search.findAndSelect(selection, "three", {}, true));
    EXPECT_FALSE(selection.active());
    EXPECT_EQ(selection.selectionMode(), SelectionMode::character);
}

TEST_F(Search, RevealCentresAHiddenRowButNeverOnTheAlternateScreen)
{
    for (int i = 0; i < 30; ++i) terminal.feed("line " + std::to_string(i) + "\r\n");
    Buffer& buffer = terminal.displayBuffer();
    const int lines = static_cast<int>(buffer.lines().count());
    EXPECT_FALSE(search.revealScrollTarget(buffer.yDisp()));
    EXPECT_EQ(search.revealScrollTarget(10), 8);
    EXPECT_EQ(search.revealScrollTarget(0), 0);
    EXPECT_EQ(search.revealScrollTarget(buffer.yDisp() - 1), std::max(buffer.yDisp() - 3, 0));
    EXPECT_LE(*search.revealScrollTarget(1), lines - 4);
    terminal.feed("\x1b[?1049hfind me");
    auto r = search.findNext("find me", {});
    ASSERT_TRUE(r);
    EXPECT_FALSE(search.revealScrollTarget(r->row + 100));
}

// A real program: the positions a shell's output ends up in.
using SearchPrograms = testing::HeadlessProgramTest;

TEST_F(SearchPrograms, SeqFindsItsLineAndCentresItAndALetterAfterAWideCharacterIsAtColumnTwo)
{
    auto host = run<HeadlessTerminal>(80, 25, "seq 2000; echo '\xe4\xb8\xad" "a'");
    Terminal& terminal = host->terminal();
    SearchService search(terminal);
    SelectionService selection(terminal);
    auto r = search.findAndSelect(selection, "1500", {}, true);
    ASSERT_TRUE(r);
    EXPECT_EQ(terminal.translateBufferLineToString(terminal.displayBuffer(), r->row, 0, -1).substr(0, 4), "1500");
    EXPECT_EQ(r->col, 0);
    EXPECT_EQ(terminal.getDisplayText(selection.start(), selection.end()), "1500");
    auto top = search.revealScrollTarget(r->row);
    ASSERT_TRUE(top);
    EXPECT_EQ(*top, r->row - 12);

    auto letter = search.findNext("a", {});
    ASSERT_TRUE(letter);
    EXPECT_EQ(letter->col, 2);
    EXPECT_EQ(letter->size, 1);
}

}  // namespace
}  // namespace corvel
