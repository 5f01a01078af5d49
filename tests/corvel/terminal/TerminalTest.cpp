// Terminal behaviour the data-driven emulator cases cannot reach: options,
// the host held weakly, colour notifications, log lines, margins, and the
// frozen copy of synchronized output over a long history.
#include "corvel/terminal/Terminal.h"
#include "corvel/platform/Dispatch.h"
#include "corvel/platform/Log.h"
#include "corvel/platform/LogThrottle.h"

#include "tests/corvel/support/MainQueueScope.h"
#include "tests/corvel/support/ScreenText.h"
#include "tests/corvel/support/TestHost.h"

#include <gtest/gtest.h>

using namespace corvel;
using corvel::testing::TestHost;
using corvel::testing::sized;
using corvel::testing::MainQueueScope;
using corvel::testing::allLines;
using corvel::testing::feedLines;
using corvel::testing::lineText;

TEST(Terminal, SizeIsClampedAndTabStopsFollowTheOptions)
{
    auto host = std::make_shared<TestHost>();
    Terminal tiny(host, sized(1, 0));
    EXPECT_EQ(tiny.getDims(), std::make_pair(2, 1));

    // Default stops reach across a terminal made wider than 80 columns, at
    // the distance the options ask for.
    TerminalOptions wide = sized(100, 5);
    wide.tabStopWidth = 4;
    Terminal terminal(host, wide);
    terminal.feed("\e[1;78H\t");
    EXPECT_EQ(terminal.getCursorLocation().first, 80);
    terminal.feed("\t");
    EXPECT_EQ(terminal.getCursorLocation().first, 84);
}

TEST(Terminal, HostIsHeldWeaklyAndEveryReplyIsOneSend)
{
    auto host = std::make_shared<TestHost>();
    Terminal terminal(host, sized(10, 4));
    terminal.sendResponse(terminal.cc.csi(), "12", uint8_t('t'), std::string(";x"));
    terminal.sendResponse();
    ASSERT_EQ(host->sent.size(), 2u);
    EXPECT_EQ(host->sent[0], "\x1b[12t;x");
    EXPECT_EQ(host->sent[1], "");

    host.reset();
    terminal.feed("ab\e[6n\e]2;gone\a\e[?1049h");  // no host: replies and callbacks are skipped
    EXPECT_TRUE(terminal.isCurrentBufferAlternate());
    EXPECT_EQ(terminal.terminalTitle, "gone");
}

TEST(Terminal, ColourNotificationsAndPalette)
{
    auto host = std::make_shared<TestHost>();
    Terminal terminal(host, sized(10, 4));
    host->events.clear();
    const Color red(0xFFFF, 0, 0);
    terminal.setForegroundColor(red);
    // The host stores the colour back; the guard keeps that from going round again.
    EXPECT_EQ(host->events, (std::vector<std::string>{"setForegroundColor " + red.formatAsXcolor(), "colorChanged all"}));
    EXPECT_EQ(terminal.foregroundColor(), red);

    host->events.clear();
    terminal.setAnsi256PaletteStrategy(Ansi256PaletteStrategy::base16Lab);
    EXPECT_TRUE(host->events.empty());
    terminal.setAnsi256PaletteStrategy(Ansi256PaletteStrategy::xterm);
    EXPECT_EQ(host->events, (std::vector<std::string>{"colorChanged all"}));

    const std::vector<Color> before = terminal.ansiColors;
    terminal.installPalette(std::vector<Color>(15, red));
    EXPECT_EQ(terminal.ansiColors, before);
    terminal.installPalette(std::vector<Color>(16, red));
    EXPECT_EQ(terminal.ansiColors[3], red);
    EXPECT_EQ(terminal.ansiColors.size(), 256u);

    // A host that keeps only `send` still gets the colour stored.
    struct SendOnly : TerminalDelegate {
        void send(Terminal&, std::span<const uint8_t>) override {}
    };
    auto plain = std::make_shared<SendOnly>();
    Terminal other(plain);
    other.feed("\e]112\a");
    other.setCursorColor(red);
    EXPECT_EQ(other.cursorColor(), red);
    other.feed("\e]112\a");
    EXPECT_EQ(other.cursorColor(), std::nullopt);
}

TEST(Terminal, FullResetKeepsColoursAndSomeModes)
{
    auto host = std::make_shared<TestHost>();
    Terminal terminal(host, sized(10, 4));
    const Color blue(0, 0, 0xFFFF);
    terminal.setBackgroundColor(blue);
    terminal.feed("\e[?1h\e[?1004h\e[?1006h\e[?45h\e[?2004h\e[?69h\e[?1000h\ec");
    EXPECT_EQ(terminal.backgroundColor(), blue);
    EXPECT_TRUE(terminal.sendFocus);
    EXPECT_TRUE(terminal.reverseWraparound);
    EXPECT_EQ(terminal.mouseProtocol, Terminal::MouseProtocolEncoding::sgr);
    EXPECT_FALSE(terminal.applicationCursor);
    EXPECT_FALSE(terminal.bracketedPasteMode);
    EXPECT_FALSE(terminal.marginMode);
    EXPECT_EQ(terminal.mouseMode(), Terminal::MouseMode::off);
}

TEST(Terminal, UnhandledInputIsLoggedOnlyWhenNotSilent)
{
    auto host = std::make_shared<TestHost>();
    Terminal terminal(host, sized(10, 4));
    const std::string unknown = "\e[1;2j\eZ\e]99;x\a\e_Xy\e\\\e[?8888h\e[3h\e>t"
                                "\e[3l\e[?41h\e[?41l\e[?2l\e[?63l\e[?63h\e[>5h\e[>5l\e[?8h\e[#p\e[3#}"
                                "\e[1c\e[>2c\eP$qzz\e\\\eP$q\xC3\xA9\e\\";
    {
        log::Capture capture;
        terminal.feed(unknown);
        EXPECT_TRUE(capture.lines().empty());
    }
    terminal.silentLog = false;
    log::Capture capture;
    terminal.feed(unknown);
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{
                                   "Info: Corvel: Unknown CSI Code (collect=[] code=j pars=[1, 2])",
                                   "Info: Corvel: Unknown ESC Code: ESC + Z txt=[]",
                                   "Info: Corvel: Unknown OSC code: 99",
                                   "Info: Corvel: Unknown APC code: X",
                                   "Info: Unhandled DEC Private Mode Set (DECSET) with 8888",
                                   "Info: Unhandled verbatim setMode with 3 and []",
                                   "Info: Unhandled DEC Private Mode Set (DECSET) with 41",
                                   "Info: Unhandled DEC Private Mode Reset (DECRST) with 2",
                                   "Info: Unhandled DEC Private Mode Reset (DECRST) with 63",
                                   "Info: Unhandled setMode (SM) with 5 and [62]",
                                   "Info: Unhandled DEC Private Mode Set (DECSET) with 8",
                                   "Info: Unhandled CSI 35 with pars=[0]",
                                   "Info: CSI # } not implemented- XTPOPSGR with [3]",
                                   "Info: SendDeviceAttributes got [1] and ",
                                   "Info: SendDeviceAttributes got [2] and >",
                                   "Info: Unknown DCS + zz",
                               }));
}

// A program repeating a sequence that is logged cannot flood the log: the
// DECELR line (printed whatever `silentLog` says) and, with `silentLog` off,
// the unhandled-input lines are each written once a window, the first of the
// next window with how many were held back.
TEST(Terminal, RepeatedLogLinesAreHeldBackForAWindow)
{
    MainQueueScope main(true);  // the throttle's clock moves only when advanced
    auto host = std::make_shared<TestHost>();
    Terminal terminal(host, sized(10, 4));
    log::Capture capture;
    std::string flood;
    for (int i = 0; i < 1000; ++i) flood += "\e[1'z";
    terminal.feed(flood);
    terminal.silentLog = false;
    for (int i = 0; i < 1000; ++i) terminal.feed("\e[1'z\e[9j");
    main.queue->advance(LogThrottle::kDefaultInterval - 1);
    terminal.feed("\e[1'z\e[9j");
    std::vector<std::string> expected = {"TODO: Enable Locator Reporting (DECELR)",
                                         "Info: Corvel: Unknown CSI Code (collect=[] code=j pars=[9])"};
    EXPECT_EQ(capture.lines(), expected);

    main.queue->advance(1);
    terminal.feed("\e[1'z\e[9j\e[1'z");
    expected.push_back("TODO: Enable Locator Reporting (DECELR) (2000 similar lines suppressed)");
    expected.push_back("Info: Corvel: Unknown CSI Code (collect=[] code=j pars=[9]) (1000 similar lines suppressed)");
    EXPECT_EQ(capture.lines(), expected);
}

TEST(Terminal, OscHandlerRegisteredByTheHostWins)
{
    auto host = std::make_shared<TestHost>();
    Terminal terminal(host, sized(10, 4));
    std::string seen;
    terminal.registerOscHandler(2, [&](std::span<const uint8_t> data) { seen.assign(data.begin(), data.end()); });
    terminal.feed("\e]2;mine\a");
    EXPECT_EQ(seen, "mine");
    EXPECT_EQ(terminal.terminalTitle, "");
}

// Margins set while margin mode was on must not keep limiting line feeds once
// it is off, on either screen and after a resize.
TEST(Terminal, MarginsSpanTheWidthWhileMarginModeIsOff)
{
    auto host = std::make_shared<TestHost>();
    Terminal terminal(host, sized(10, 3, 0));
    terminal.feed("\e[?69h");
    for (Buffer* b : {&terminal.normalBuffer(), &terminal.altBuffer()}) {
        b->setMarginLeft(2);
        b->setMarginRight(5);
    }
    terminal.feed("\e[?69l");
    for (Buffer* b : {&terminal.normalBuffer(), &terminal.altBuffer()}) {
        EXPECT_EQ(b->marginLeft(), 0);
        EXPECT_EQ(b->marginRight(), 9);
    }
    terminal.feed("top\e[3;8H\n");  // right of the old margin, on the bottom row: scrolls
    EXPECT_EQ(lineText(terminal, terminal.buffer().lines()[0]), "");

    // Restoring a cursor saved with margin mode off turns it off the same way.
    terminal.feed("\e7\e[?69h");
    terminal.buffer().setMarginRight(4);
    terminal.feed("\e8");
    EXPECT_FALSE(terminal.marginMode);
    EXPECT_EQ(terminal.buffer().marginRight(), 9);

    terminal.resize(16, 3);
    EXPECT_EQ(terminal.normalBuffer().marginRight(), 15);
    EXPECT_EQ(terminal.altBuffer().marginRight(), 15);
}

TEST(Terminal, DirtyRangeEdges)
{
    auto host = std::make_shared<TestHost>();
    Terminal terminal(host, sized(10, 24));
    feedLines(terminal, 0, 40);  // yDisp 17
    terminal.clearUpdateRange();
    terminal.updateRange(-1);
    EXPECT_EQ(terminal.getUpdateRange(), std::nullopt);
    terminal.updateRange(3, true);
    EXPECT_EQ(terminal.getScrollInvariantUpdateRange(), std::nullopt);
    terminal.updateRange(3, false);
    EXPECT_EQ(terminal.getScrollInvariantUpdateRange(), std::make_pair(int64_t{20}, int64_t{20}));
    terminal.updateFullScreen();
    EXPECT_EQ(terminal.getUpdateRange(), std::make_pair(int64_t{0}, int64_t{24}));

    EXPECT_EQ(terminal.getLine(-1), nullptr);
    EXPECT_EQ(terminal.getLine(24), nullptr);
    EXPECT_EQ(terminal.getCharData(10, 0), std::nullopt);
    EXPECT_EQ(terminal.getCharacter(5, 22), "3");  // "line 39"
    const int64_t top = terminal.buffer().linesTop;
    EXPECT_EQ(terminal.getScrollInvariantLine(top - 1), nullptr);
    EXPECT_EQ(lineText(terminal, *terminal.getScrollInvariantLine(top)), "line 0");
}

// The frozen copy must show the history as it was when the mode began, also
// when the live ring is full and recycles its oldest lines, when the view was
// scrolled back, and when the scrollback is trimmed meanwhile.
TEST(Terminal, FrozenCopyKeepsTheHistory)
{
    MainQueueScope main(true);
    auto host = std::make_shared<TestHost>();
    Terminal terminal(host, sized(20, 5, 30));
    feedLines(terminal, 0, 60);  // a full ring: 35 lines, linesTop 25
    terminal.buffer().setYDisp(10);  // the view scrolled back
    const std::vector<std::string> before = allLines(terminal, terminal.buffer());
    host->events.clear();

    terminal.feed("\e[?2026h");
    Buffer& frozen = terminal.displayBuffer();
    ASSERT_NE(&frozen, &terminal.buffer());
    EXPECT_EQ(frozen.yDisp(), 10);
    EXPECT_EQ(frozen.yBase(), terminal.buffer().yBase());
    EXPECT_EQ(frozen.linesTop, terminal.buffer().linesTop);

    feedLines(terminal, 60, 63);  // recycles 3 of the 10 lines the copy still reads through
    EXPECT_EQ(lineText(terminal, frozen.lines()[7]), before[7]);  // one read before it is trimmed
    terminal.changeScrollback(3);  // drops the rest
    feedLines(terminal, 63, 80);
    EXPECT_EQ(allLines(terminal, frozen), before);
    EXPECT_EQ(host->events, (std::vector<std::string>{"synchronizedOutput on"}));

    terminal.feed("\e[?2026l");
    EXPECT_EQ(&terminal.displayBuffer(), &terminal.buffer());
}

TEST(Terminal, TimeoutAfterTheTerminalIsGoneDoesNothing)
{
    MainQueueScope main(true);
    auto host = std::make_shared<TestHost>();
    {
        Terminal terminal(host, sized(10, 4));
        host->events.clear();
        terminal.feed("\e[?2026h");
    }
    main.queue->advance(2'000'000'000);
    EXPECT_EQ(host->events, (std::vector<std::string>{"synchronizedOutput on"}));
}
