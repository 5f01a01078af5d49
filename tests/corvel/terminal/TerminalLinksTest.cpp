// Link detection: OSC 8 links, URLs and paths found in the text, rows joined
// by soft wraps and by the margin heuristic, and bounded work on hostile text.
#include "corvel/terminal/Terminal.h"
#include "corvel/platform/Dispatch.h"

#include "tests/corvel/support/TestHost.h"

#include <gtest/gtest.h>


using namespace corvel;
using corvel::testing::TestHost;

namespace {

using Mode = Terminal::LinkLookupMode;
using Range = LinkMatch::RowRange;

class Links : public ::testing::Test {
protected:
    std::shared_ptr<TestHost> host = std::make_shared<TestHost>();
    std::unique_ptr<Terminal> terminal = make(80, 6);

    std::unique_ptr<Terminal> make(int cols, int rows)
    {
        return std::make_unique<Terminal>(host, corvel::testing::sized(cols, rows, 100));
    }
    std::optional<LinkMatch> at(int col, int row, Mode mode = Mode::explicitAndImplicit)
    {
        return terminal->linkMatch(LinkLookupLocation::buffer({col, row}), mode);
    }
    std::optional<std::string> textAt(int col, int row)
    {
        return terminal->link(LinkLookupLocation::buffer({col, row}), Mode::explicitAndImplicit);
    }
};

TEST_F(Links, ExplicitLinksCoverTheirRunOfCells)
{
    terminal->feed("go \e]8;id=1;https://a.example/x;y\e\\here\u4E2D\e]8;;\e\\ now");
    const auto match = at(5, 0, Mode::explicitOnly);
    ASSERT_TRUE(match);
    EXPECT_EQ(match->text, "https://a.example/x;y");
    EXPECT_TRUE(match->isExplicit);
    EXPECT_EQ(match->range, (ColumnRange{3, 9}));
    EXPECT_EQ(match->rowRanges, (std::vector<Range>{{0, {3, 9}}}));
    EXPECT_EQ(at(8, 0, Mode::explicitOnly), match) << "the right half of a wide character";
    EXPECT_FALSE(at(2, 0, Mode::explicitOnly));
    EXPECT_FALSE(at(10, 0, Mode::explicitOnly));

    // Without a semicolon there is no URI; the text may still look like one.
    terminal->feed("\r\n\e]8;http://b.example\e\\http://c.example\e]8;;\e\\");
    EXPECT_FALSE(at(3, 1, Mode::explicitOnly));
    EXPECT_EQ(textAt(3, 1), "http://c.example");
}

TEST_F(Links, ImplicitLinksStopBeforeTrailingPunctuation)
{
    terminal->feed("~/notes/todo.txt https://example.com/a. http://x.org/p?q=1, ok\r\n");
    terminal->feed("cost $/usr/lib/x.so and src/main.cpp:12 (./run) $HOME/bin.");
    EXPECT_EQ(textAt(5, 0), "~/notes/todo.txt");
    EXPECT_EQ(textAt(20, 0), "https://example.com/a");
    EXPECT_FALSE(textAt(38, 0)) << "the full stop is not part of the link";
    EXPECT_EQ(textAt(45, 0), "http://x.org/p?q=1");
    EXPECT_FALSE(textAt(58, 0)) << "the comma is not part of the link";
    EXPECT_FALSE(textAt(60, 0));
    EXPECT_FALSE(textAt(8, 1)) << "a match right after a dollar sign is ignored";
    EXPECT_EQ(textAt(25, 1), "src/main.cpp:12");
    EXPECT_EQ(textAt(43, 1), "./run");
    EXPECT_EQ(textAt(50, 1), "$HOME/bin.");
    EXPECT_FALSE(at(20, 0, Mode::explicitOnly));
}

TEST_F(Links, SoftWrappedUrlIsOneLinkFromEitherRow)
{
    terminal = make(20, 4);
    terminal->feed("xx https://example.com/long/path end");
    const auto top = at(5, 0);
    const auto bottom = at(2, 1);
    ASSERT_TRUE(top && bottom);
    EXPECT_EQ(top->text, "https://example.com/long/path");
    EXPECT_EQ(top->rowRanges, (std::vector<Range>{{0, {3, 20}}, {1, {0, 12}}}));
    EXPECT_EQ(top->range, (ColumnRange{3, 20}));
    EXPECT_EQ(bottom->range, (ColumnRange{0, 12}));
    EXPECT_EQ(bottom->rowRanges, top->rowRanges);
}

TEST_F(Links, HardBreakAtTheMarginJoinsRows)
{
    // The first part ends in the last column; the rest follows a line break.
    const std::string first = std::string(60, ' ') + "https://example.com/abc";
    terminal->feed(first.substr(0, 80) + "\r\n    def/ghi.html\r\n");
    const auto match = at(70, 0);
    ASSERT_TRUE(match);
    EXPECT_EQ(match->text, "https://example.com/def/ghi.html");
    EXPECT_EQ(match->rowRanges, (std::vector<Range>{{0, {60, 80}}, {1, {4, 16}}}));
    EXPECT_EQ(at(6, 1)->text, match->text);
    EXPECT_EQ(at(6, 1)->range, (ColumnRange{4, 16}));

    // A row ending well before the margin is not continued.
    terminal->feed(std::string(40, ' ') + "https://example.com/abc\r\ndef/ghi.html");
    EXPECT_EQ(textAt(45, 2), "https://example.com/abc");
    EXPECT_EQ(textAt(2, 3), "def/ghi.html");
}

TEST_F(Links, ScreenLocationsCountFromTheRowsShown)
{
    for (int i = 0; i < 10; ++i) terminal->feed("line\r\n");
    terminal->feed("see /etc/hosts");
    Buffer& buffer = terminal->displayBuffer();
    buffer.setYDisp(buffer.yBase());
    const int row = buffer.y();
    EXPECT_EQ(terminal->link(LinkLookupLocation::screen({6, row}), Mode::explicitAndImplicit), "/etc/hosts");
    EXPECT_EQ(terminal->resolveLinkLocation(LinkLookupLocation::buffer({500, 900}), buffer),
              (Position{79, static_cast<int>(buffer.lines().count()) - 1}));
}

TEST_F(Links, LongAndHostileTextIsAnsweredWithinItsStepLimits)
{
    terminal = make(80, 200);
    // One logical line of 10,000 characters with a URL near its end.
    std::string words;
    while (words.size() < 9950) words += "lorem ipsum dolor ";
    terminal->feed(words + "https://example.com/end");
    const int offset = static_cast<int>(words.size()) + 10;
    EXPECT_EQ(textAt(offset % 80, offset / 80), "https://example.com/end");

    // A link longer than the text searched around the cell is not found,
    // rather than found cut short.
    std::string path;
    while (path.size() < 1500) path += "s.g/";
    terminal->feed("\r\nhttps://example.com/" + path + " tail");
    const int urlRow = offset / 80 + 1;
    EXPECT_FALSE(textAt(5, urlRow));
    EXPECT_FALSE(textAt(0, urlRow + 10));

    // Nested repetitions that backtrack without end on an unclosed bracket:
    // the match engine's step limit ends every search, so each lookup
    // returns, and returns the same answer however fast the machine is.
    terminal = make(80, 200);
    std::string hostile;
    for (int i = 0; i < 100; ++i) hostile += "http://[" + std::string(60, 'a') + " /" + std::string(30, 'b') + ": ";
    terminal->feed(hostile);
    for (int col : {0, 20, 70}) {
        for (int r : {0, 50, 99}) EXPECT_FALSE(at(col, r)) << "col " << col << " row " << r;
    }

    // The same text broken by hard line ends at the margin: the rows are
    // joined by seam tests, which end at the first that runs out of steps.
    terminal = make(80, 200);
    std::string broken;
    for (size_t i = 0; i + 80 <= hostile.size(); i += 80) broken += hostile.substr(i, 80) + "\r\n";
    terminal->feed(broken);
    // A path whole within its row is still found; the rest gives no link.
    const std::string path30 = "/" + std::string(30, 'b');
    for (int col : {0, 20, 70}) {
        for (int r : {0, 50, 99}) {
            const bool wholePath = (col == 20 && r == 99) || (col == 70 && r == 50);
            EXPECT_EQ(textAt(col, r), wholePath ? std::optional(path30) : std::nullopt) << "col " << col << " row " << r;
        }
    }

    // A URL broken at the margin after text that backtracks: with little of
    // that text the seam test sees the URL whole; with more it runs out of
    // steps, and the part before the break is not taken for a link.
    const std::string url = " https://example.com/abc";
    for (const auto& [backtracking, expected] :
         {std::pair<size_t, std::optional<std::string>>{8, "https://example.com/abcdef/ghi.html"}, {14, std::nullopt}}) {
        terminal = make(80, 6);
        std::string row = "http://[" + std::string(backtracking, 'a');
        row += std::string(80 - row.size() - url.size(), ' ') + url;
        terminal->feed(row + "\r\ndef/ghi.html");
        EXPECT_EQ(textAt(75, 0), expected) << backtracking;
    }
}

TEST_F(Links, PathsWithoutDotsOrSchemesAreFoundWhereverTheyStart)
{
    // Paths whose only mark is where their "/" stands: after punctuation, at
    // the start of the line, or after "~" or "$NAME".
    terminal->feed("x (/usr/bin) k=/opt/tool\r\n/usr/local/bin\r\n~/bin\r\nuse $HOME/bin\r\n");
    terminal->feed("12/34/56 a/b-c/d");
    EXPECT_EQ(textAt(5, 0), "/usr/bin");
    EXPECT_EQ(textAt(18, 0), "/opt/tool");
    EXPECT_EQ(textAt(3, 1), "/usr/local/bin");
    EXPECT_EQ(textAt(2, 2), "~/bin");
    EXPECT_EQ(textAt(8, 3), "$HOME/bin");
    EXPECT_FALSE(textAt(3, 4)) << "numbers and words joined by slashes are no path";
    EXPECT_FALSE(textAt(12, 4));
}

TEST_F(Links, RepeatedLookupsFollowTheTextAndAgreeWithAFreshTerminal)
{
    terminal = make(40, 50);
    // More lines than the terminal remembers searches of, each with its own link.
    std::string text;
    for (int i = 0; i < 40; ++i) text += "see https://host" + std::to_string(i) + ".example/p ok\r\n";
    terminal->feed(text);
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 40; ++i) {
            EXPECT_EQ(textAt(8, i), "https://host" + std::to_string(i) + ".example/p") << "pass " << pass;
        }
    }

    // Text rewritten in place, as long as before: the answer follows the
    // new text.
    ASSERT_EQ(terminal->displayBuffer().yDisp(), 0);
    terminal->feed("\x1b[1;1Ha https://x.example/pq ok here");
    EXPECT_EQ(textAt(8, 0), "https://x.example/pq");
    terminal->feed("\x1b[1;1Hsee plain words only now here!");
    EXPECT_FALSE(textAt(8, 0));

    // Every cell of lines holding links, a wrapped URL and text that runs the
    // searches out of steps, looked up in one order and then the other,
    // gives what a terminal that never searched before gives.
    auto fill = [](Terminal& t) {
        t.feed("a ~/x.txt b https://example.com/aa/bb/cc/dd/ee/ff/gg/hh c\r\n");
        t.feed("http://[" + std::string(60, 'a') + " /" + std::string(30, 'b') + ": \r\n");
        t.feed("k=/opt/tool $HOME/bin (./run) src/main.cpp:12");
    };
    terminal = make(40, 8);
    fill(*terminal);
    std::vector<std::pair<Position, std::optional<LinkMatch>>> cells;
    for (int row = 0; row < 8; ++row) {
        for (int col = 0; col < 40; ++col) cells.push_back({{col, row}, at(col, row)});
    }
    for (auto it = cells.rbegin(); it != cells.rend(); ++it) {
        EXPECT_EQ(at(it->first.col, it->first.row), it->second) << it->first.col << "," << it->first.row;
    }
    for (size_t i = 0; i < cells.size(); i += 7) {
        auto fresh = make(40, 8);
        fill(*fresh);
        const Position cell = cells[i].first;
        EXPECT_EQ(fresh->linkMatch(LinkLookupLocation::buffer(cell), Mode::explicitAndImplicit), cells[i].second)
            << cell.col << "," << cell.row;
    }
}

}  // namespace
