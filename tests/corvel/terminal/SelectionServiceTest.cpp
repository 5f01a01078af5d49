// Selection rules on the output of a real shell: word and expression runs,
// whole rows, extension, clamping and the change reports.
#include "corvel/terminal/SelectionService.h"
#include "corvel/terminal/Terminal.h"
#include "tests/corvel/support/HeadlessProgramFixture.h"
#include "tests/corvel/support/TestHost.h"

#include <gtest/gtest.h>

#include <string>

namespace corvel {
namespace {

// The screen a shell script left behind.
class ShellScreen {
public:
    explicit ShellScreen(std::shared_ptr<HeadlessTerminal> host) : host_(std::move(host)) {}
    Terminal& terminal() { return host_->terminal(); }
    // The ring index of the first row whose text starts with `prefix`.
    int rowStarting(const std::string& prefix)
    {
        Buffer& buffer = terminal().displayBuffer();
        for (int row = 0; row < buffer.lines().count(); ++row) {
            if (terminal().translateBufferLineToString(buffer, row, 0, -1).rfind(prefix, 0) == 0) return row;
        }
        ADD_FAILURE() << "no row starts with " << prefix;
        return 0;
    }
    std::string selected(const SelectionService& selection)
    {
        return terminal().getDisplayText(selection.start(), selection.end());
    }

private:
    std::shared_ptr<HeadlessTerminal> host_;
};

class SelectionPrograms : public testing::HeadlessProgramTest {
protected:
    // Runs `script` in /bin/sh on a terminal of the given size until the shell has ended.
    ShellScreen shell(int cols, int rows, const std::string& script)
    {
        return ShellScreen(run<HeadlessTerminal>(cols, rows, script));
    }
};

TEST_F(SelectionPrograms, DoubleClickSelectsWordRunsSpaceRunsAndEmptyCells)
{
    ShellScreen screen = shell(40, 10, "printf 'cat my-file_name.v2.txt   next ;\\n'");
    SelectionService selection(screen.terminal());
    Buffer& buffer = screen.terminal().displayBuffer();
    const int row = screen.rowStarting("cat ");

    // Letters, digits, ".", "_" and "-" form one word; the space ends it.
    selection.selectWordOrExpression({9, row}, buffer);
    EXPECT_EQ(selection.start(), (Position{4, row}));
    EXPECT_EQ(selection.end(), (Position{23, row}));
    EXPECT_EQ(screen.selected(selection), "my-file_name.v2.txt");
    EXPECT_EQ(selection.selectionMode(), SelectionMode::word);
    EXPECT_TRUE(selection.active());

    // The run of three spaces.
    selection.selectWordOrExpression({24, row}, buffer);
    EXPECT_EQ(selection.start(), (Position{23, row}));
    EXPECT_EQ(selection.end(), (Position{26, row}));

    // Empty cells after the text run to the end of the row.
    selection.selectWordOrExpression({35, row}, buffer);
    EXPECT_EQ(selection.start(), (Position{32, row}));
    EXPECT_EQ(selection.end(), (Position{40, row}));

    // Punctuation of its own selects nothing.
    selection.selectWordOrExpression({31, row}, buffer);
    EXPECT_FALSE(selection.hasSelectionRange());
    EXPECT_EQ(selection.start(), (Position{31, row}));
}

TEST_F(SelectionPrograms, WideCharactersFormOneWordWhicheverHalfIsClicked)
{
    // Columns: 한글테스트 0-9, foo 11-13, 漢字テスト 15-24, bar 26-28.
    ShellScreen screen = shell(40, 6, "printf '한글테스트 foo 漢字テスト bar\\n'");
    SelectionService selection(screen.terminal());
    Buffer& buffer = screen.terminal().displayBuffer();
    const int row = screen.rowStarting("한");

    for (int col : {0, 1, 7}) {
        selection.selectWordOrExpression({col, row}, buffer);
        EXPECT_EQ(selection.start(), (Position{0, row})) << "clicked at " << col;
        EXPECT_EQ(selection.end(), (Position{10, row})) << "clicked at " << col;
    }
    EXPECT_EQ(screen.selected(selection), "한글테스트");
    selection.selectWordOrExpression({18, row}, buffer);
    EXPECT_EQ(selection.start(), (Position{15, row}));
    EXPECT_EQ(selection.end(), (Position{25, row}));

    // Word-mode drags and shift-clicks on a right half snap to the edges of
    // the whole wide word.
    selection.selectWordOrExpression({12, row}, buffer);
    selection.dragExtend({20, row});
    EXPECT_EQ(selection.end(), (Position{25, row}));
    selection.dragExtend({5, row});
    EXPECT_EQ(selection.end(), (Position{0, row}));
    selection.selectWordOrExpression({12, row}, buffer);
    selection.shiftExtend({24, row});
    EXPECT_EQ(selection.end(), (Position{25, row}));
    EXPECT_EQ(screen.selected(selection), "foo 漢字テスト");
}

TEST_F(SelectionPrograms, BracketsPairAcrossRowsAndCollapseWhenThePartnerIsOffScreen)
{
    ShellScreen screen = shell(30, 8, "printf 'call(a, [b],\\n  {c: d]},\\n  e)\\n(x ] y)\\n'");
    SelectionService selection(screen.terminal());
    Buffer& buffer = screen.terminal().displayBuffer();
    const int first = screen.rowStarting("call(");
    const int stray = screen.rowStarting("(x");

    // The opening parenthesis pairs with the one two rows down; the stray
    // "]" inside the braces does not end anything.
    selection.selectWordOrExpression({4, first}, buffer);
    EXPECT_EQ(selection.start(), (Position{4, first}));
    EXPECT_EQ(selection.end(), (Position{4, first + 2}));
    EXPECT_EQ(screen.selected(selection), "(a, [b],\n  {c: d]},\n  e)");

    // From a closing bracket the walk goes back to its opening partner.
    selection.selectWordOrExpression({10, first}, buffer);
    EXPECT_EQ(selection.start(), (Position{8, first}));
    EXPECT_EQ(selection.end(), (Position{11, first}));

    selection.selectWordOrExpression({0, stray}, buffer);
    EXPECT_EQ(screen.selected(selection), "(x ] y)");

    // Scrolled so that the closing partner lies below the visible rows: the
    // forward walk stops at the screen's end and the selection collapses.
    ShellScreen tall = shell(20, 4, "printf '(start\\n1\\n2\\n3\\n4\\n5\\nend)\\n'");
    SelectionService other(tall.terminal());
    Buffer& scrolled = tall.terminal().displayBuffer();
    const int open = tall.rowStarting("(start");
    const int close = tall.rowStarting("end)");
    scrolled.setYDisp(open);
    other.selectWordOrExpression({0, open}, scrolled);
    EXPECT_FALSE(other.hasSelectionRange());
    EXPECT_EQ(other.start(), (Position{0, open}));
    EXPECT_EQ(other.end(), (Position{0, open}));
    // The backward walk is not bound to the screen: it reaches into the scrollback.
    scrolled.setYDisp(scrolled.yBase());
    other.selectWordOrExpression({3, close}, scrolled);
    EXPECT_EQ(other.start(), (Position{0, open}));
    EXPECT_EQ(other.end(), (Position{4, close}));
}

TEST_F(SelectionPrograms, RowsExtensionAndClamping)
{
    ShellScreen screen = shell(80, 6, "printf 'alpha beta gamma\\n'");
    SelectionService selection(screen.terminal());
    const int row = screen.rowStarting("alpha");

    selection.select(row);
    EXPECT_EQ(selection.start(), (Position{0, row}));
    EXPECT_EQ(selection.end(), (Position{79, row}));
    EXPECT_TRUE(selection.selectingRows());
    EXPECT_EQ(selection.selectionMode(), SelectionMode::row);
    EXPECT_EQ(screen.selected(selection), "alpha beta gamma");

    // Shift-click before the start of a forward selection: the old end
    // becomes the anchor.
    selection.setSelection({6, row}, {10, row});
    selection.shiftExtend({2, row});
    EXPECT_EQ(selection.start(), (Position{10, row}));
    EXPECT_EQ(selection.end(), (Position{2, row}));
    // Backward now; a click after the start swaps back.
    selection.shiftExtend({14, row});
    EXPECT_EQ(selection.start(), (Position{2, row}));
    EXPECT_EQ(selection.end(), (Position{14, row}));
    // Same side: only the end moves.
    selection.shiftExtend({16, row});
    EXPECT_EQ(selection.start(), (Position{2, row}));

    // In word mode a shift-click or a drag snaps to the word's edge.
    selection.selectWordOrExpression({7, row}, screen.terminal().displayBuffer());
    selection.shiftExtend({13, row});
    EXPECT_EQ(selection.end(), (Position{16, row}));
    selection.dragExtend({1, row});
    EXPECT_EQ(selection.end(), (Position{0, row}));
    EXPECT_EQ(selection.start(), (Position{6, row}));

    // Columns and rows are clamped from above only.
    const auto lines = static_cast<int>(screen.terminal().displayBuffer().lines().count());
    selection.setSelection({200, 100000}, {-3, 1});
    EXPECT_EQ(selection.start(), (Position{79, lines - 1}));
    EXPECT_EQ(selection.end(), (Position{-3, 1}));

    // Select all runs to the ring's capacity; reading the text clamps it.
    selection.selectAll();
    const auto capacity = screen.terminal().displayBuffer().lines().maxLength();
    EXPECT_EQ(selection.end(), (Position{79, static_cast<int>(capacity - 1)}));
    EXPECT_NE(screen.selected(selection).find("alpha beta gamma"), std::string::npos);
}

struct CountingHost : TerminalDelegate {
    int selectionChanges = 0;
    void send(Terminal&, std::span<const uint8_t>) override {}
    void selectionChanged(Terminal&) override { ++selectionChanges; }
};

TEST(SelectionService, EveryChangeIsReportedOnce)
{
    auto host = std::make_shared<CountingHost>();
    Terminal terminal(host, testing::sized(20, 4));
    terminal.feed("word (pair)");
    SelectionService selection(terminal);

    selection.setActive(false);  // already inactive
    EXPECT_EQ(host->selectionChanges, 0);
    selection.setActive(true);
    selection.setActive(true);
    EXPECT_EQ(host->selectionChanges, 1);

    auto once = [&](auto&& operation) {
        const int before = host->selectionChanges;
        operation();
        EXPECT_EQ(host->selectionChanges - before, 1);
    };
    once([&] { selection.setSelection({0, 0}, {3, 0}); });
    once([&] { selection.startSelection(); });
    once([&] { selection.setSoftStart({2, 0}); });
    once([&] { selection.shiftExtend({5, 0}); });
    once([&] { selection.dragExtend({6, 0}); });
    once([&] { selection.selectAll(); });
    once([&] { selection.select(1); });
    once([&] { selection.selectWordOrExpression({5, 0}, terminal.displayBuffer()); });
    EXPECT_EQ(selection.end(), (Position{11, 0}));
    once([&] { selection.setActive(false); });
    EXPECT_FALSE(selection.pivot().has_value());
    EXPECT_EQ(selection.debugDescription(),
              "[Selection (active=false, start=col=5 row=0 end=col=11 row=0 hasSR=true pivot=nil]");
}

}  // namespace
}  // namespace corvel
