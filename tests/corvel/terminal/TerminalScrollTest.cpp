// Scrolling, erasing and cursor commands as the host sees them: the viewport
// and scroll callbacks, the history bookkeeping of a full ring, erasing the
// scrollback under synchronized output, images leaving the screen and the
// cursor style callback.
#include "corvel/terminal/Terminal.h"
#include "corvel/platform/Dispatch.h"
#include "corvel/platform/Log.h"

#include "tests/corvel/support/MainQueueScope.h"
#include "tests/corvel/support/ScreenText.h"
#include "tests/corvel/support/TestHost.h"
#include "tests/corvel/support/TestImage.h"

#include <gtest/gtest.h>

using namespace corvel;
using corvel::testing::TestImage;
using corvel::testing::TestHost;
using corvel::testing::sized;
using corvel::testing::feedLines;
using corvel::testing::lineText;

TEST(TerminalScroll, FullRingKeepsYBaseRaisesLinesTopAndBringsTheViewBack)
{
    auto host = std::make_shared<TestHost>();
    Terminal terminal(host, sized(80, 24));
    feedLines(terminal, 0, 600);
    Buffer& b = terminal.buffer();
    ASSERT_TRUE(b.lines().isFull());
    const int yBase = b.yBase();
    const int64_t linesTop = b.linesTop;

    b.setYDisp(10);  // the host scrolled back
    host->scrolls.clear();
    terminal.feed("\n");
    EXPECT_EQ(b.yBase(), yBase);
    EXPECT_EQ(b.linesTop, linesTop + 1);
    EXPECT_EQ(b.yDisp(), yBase);
    EXPECT_EQ(host->scrolls, std::vector<int>{yBase});
    EXPECT_FALSE(b.lines()[b.lines().count() - 1].isWrapped);
    EXPECT_EQ(lineText(terminal, b.lines()[b.yBase() - 1]), "line 577");
}

TEST(TerminalScroll, ErasingTheScrollbackTellsTheHostAndSparesTheFrozenCopy)
{
    corvel::testing::MainQueueScope main(true);
    {
        auto host = std::make_shared<TestHost>();
        Terminal terminal(host, sized(20, 24));
        feedLines(terminal, 0, 123);  // 100 lines of scrollback, the cursor on the last row
        Buffer& b = terminal.buffer();
        ASSERT_EQ(b.lines().count(), 124);
        terminal.feed("\e[?2026h");
        Buffer& frozen = terminal.displayBuffer();

        terminal.clearUpdateRange();
        host->scrolls.clear();
        terminal.feed("\e[3J");
        EXPECT_EQ(b.lines().count(), 24);
        EXPECT_EQ(b.yBase(), 0);
        EXPECT_EQ(b.yDisp(), 0);
        EXPECT_EQ(b.linesTop, 0);
        EXPECT_EQ(host->scrolls, std::vector<int>{0});
        EXPECT_EQ(terminal.getUpdateRange(), std::make_pair(int64_t{0}, int64_t{23}));
        EXPECT_EQ(lineText(terminal, b.lines()[0]), "line 100");

        // The host still shows the history as it was when the frame began.
        EXPECT_EQ(lineText(terminal, frozen.lines()[0]), "line 0");
        EXPECT_EQ(lineText(terminal, frozen.lines()[99]), "line 99");
        terminal.feed("\e[?2026l");
    }
}

// Lines that leave the screen or a region take their images with them; the
// buffer's count of lines with images must follow.
TEST(TerminalScroll, ImagesLeaveWithTheirLines)
{
    auto host = std::make_shared<TestHost>();
    Terminal terminal(host, sized(10, 6));
    Buffer& b = terminal.buffer();
    const auto attach = [&](int row) { b.attachImage(std::make_shared<TestImage>(1, 1), int64_t{b.yBase()} + row); };

    terminal.feed("\e[2;4r\e[2;1H");  // region rows 1..3
    attach(1);
    terminal.feed("\e[4;1H\n");  // the region's top line is discarded
    EXPECT_FALSE(b.hasAnyImages());

    attach(3);
    terminal.feed("\e[2;1H\eM");  // reverse index loses the region's bottom line
    EXPECT_FALSE(b.hasAnyImages());

    attach(3);
    terminal.feed("\e[2;1H\e[L");  // so does inserting a line
    EXPECT_FALSE(b.hasAnyImages());

    attach(1);
    terminal.feed("\e[2;1H\e[M");  // deleting the line holding it
    EXPECT_FALSE(b.hasAnyImages());

    attach(2);
    terminal.feed("\e[r\e[2J");
    EXPECT_FALSE(b.hasAnyImages());
}

// Margins left narrow on a screen while margin mode is off must not limit
// anything: the full width counts.
TEST(TerminalScroll, StaleMarginsDoNotCountWhileMarginModeIsOff)
{
    auto host = std::make_shared<TestHost>();
    Terminal terminal(host, sized(10, 3, 0));
    terminal.feed("\e[?1049htop\e[3;9H");
    Buffer& alt = terminal.buffer();
    alt.setMarginLeft(2);
    alt.setMarginRight(5);
    terminal.feed("\n");
    EXPECT_EQ(lineText(terminal, alt.lines()[0]), "");  // scrolled
    terminal.feed("\eD\e[1;9H\eM\e[1;1Hx");
    EXPECT_EQ(lineText(terminal, alt.lines()[0]), "x");  // scrolled down over it
    terminal.feed("\e[1;5H\e[E");
    EXPECT_EQ(terminal.getCursorLocation(), std::make_pair(0, 1));
    terminal.feed("\e[2;1H\e6");
    EXPECT_EQ(lineText(terminal, alt.lines()[0]), " x");  // DECBI at column 0 scrolls the whole width
}

TEST(TerminalScroll, CursorStyleIsReportedOnlyWhenItChanges)
{
    auto host = std::make_shared<TestHost>();
    Terminal terminal(host);
    terminal.feed("\e[1 q\e[0 q\e[6 q\e[6 q\e[7 q\e[2q\e[4 q");
    EXPECT_EQ(host->styles, (std::vector<CursorStyle>{CursorStyle::steadyBar, CursorStyle::steadyUnderline}));
    EXPECT_EQ(terminal.options().cursorStyle, CursorStyle::steadyUnderline);
}

TEST(TerminalScroll, TheAlternateScreenKeepsNothingAboveItsFirstRowAcrossResizes)
{
    auto host = std::make_shared<TestHost>();
    Terminal terminal(host, sized(80, 25));
    Buffer& alternate = terminal.altBuffer();
    Buffer& normal = terminal.normalBuffer();
    auto expectOnlyTheScreen = [&](int rows, const std::string& top) {
        ASSERT_TRUE(terminal.isCurrentBufferAlternate());
        EXPECT_EQ(alternate.lines().maxLength(), rows);
        EXPECT_EQ(alternate.lines().count(), rows);
        EXPECT_EQ(alternate.yBase(), 0);
        EXPECT_EQ(alternate.yDisp(), 0);
        EXPECT_EQ(lineText(terminal, *terminal.getLine(0)), top);
        EXPECT_EQ(normal.lines().maxLength(), rows + 500);
    };

    // Fitted to its tile before a program first enters the alternate screen.
    terminal.resize(34, 17);
    EXPECT_EQ(alternate.lines().maxLength(), 17);
    terminal.feed("\e[?1049h");
    feedLines(terminal, 1, 101);
    expectOnlyTheScreen(17, "line 85");

    // Resized while it is in use, and back.
    terminal.resize(40, 20);
    feedLines(terminal, 101, 201);
    expectOnlyTheScreen(20, "line 182");
    terminal.resize(34, 17);
    feedLines(terminal, 201, 301);
    expectOnlyTheScreen(17, "line 285");

    // Left (and cleared), resized on the normal screen and entered again.
    terminal.feed("\e[?1049l");
    terminal.resize(80, 25);
    terminal.resize(34, 17);
    EXPECT_EQ(alternate.lines().maxLength(), 17);
    EXPECT_EQ(normal.lines().maxLength(), 517);
    terminal.feed("\e[?1049h");
    feedLines(terminal, 301, 401);
    expectOnlyTheScreen(17, "line 385");
}
