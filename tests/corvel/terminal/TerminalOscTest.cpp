// OSC, mode, SGR and report behaviour that the data-driven emulator cases do
// not reach: log lines, hosts that answer for themselves, bounded payloads.
#include "corvel/terminal/Terminal.h"
#include "corvel/terminal/TerminalInternals.h"
#include "corvel/platform/Log.h"

#include "tests/corvel/support/MainQueueScope.h"
#include "tests/corvel/support/TestHost.h"

#include <gtest/gtest.h>

#include <any>

using namespace corvel;
using corvel::testing::TestHost;
using corvel::testing::sized;

TEST(TerminalOsc, ColourQueriesReportWhatTheHostShows)
{
    auto host = std::make_shared<TestHost>();
    host->shown = {Color(1, 2, 3), Color(4, 5, 6)};
    Terminal terminal(host, sized(10, 3));
    terminal.feed("\x1b]10;?;?;?\x07");
    EXPECT_EQ(host->sent, (std::vector<std::string>{"\x1b]10;rgb:0001/0002/0003\x1b\\",
                                                    "\x1b]11;rgb:0004/0005/0006\x1b\\",
                                                    "\x1b]12;rgb:0001/0002/0003\x1b\\"}));
}

TEST(TerminalOsc, HyperlinkPayloadsAndTheirUri)
{
    EXPECT_EQ(Terminal::parseHyperlinkPayload("id=1;http://a;b"), "http://a;b");
    EXPECT_EQ(Terminal::parseHyperlinkPayload(";"), "");
    EXPECT_FALSE(Terminal::parseHyperlinkPayload("no-separator"));

    auto host = std::make_shared<TestHost>();
    Terminal terminal(host, sized(10, 3));
    terminal.feed("\x1b]8;;http://\xC3\xA9\x07x\x1b]8;;\x07");
    const std::any payload = terminal.getCharData(0, 0)->getPayload();
    ASSERT_TRUE(std::any_cast<std::string>(&payload));
    EXPECT_EQ(std::any_cast<std::string>(payload), "");  // not ASCII: no URI
}

TEST(TerminalOsc, HyperlinkWhoseStartScrolledOutOfTheHistoryKeepsTheRest)
{
    auto host = std::make_shared<TestHost>();
    TerminalOptions options = sized(4, 2);
    options.scrollback = 1;
    Terminal terminal(host, options);
    terminal.feed("\x1b]8;;u\x07" "a\r\nb\r\nc\r\nd\x1b]8;;\x07");
    // The ring holds three lines: b, c and d; the line of a is gone.
    ASSERT_EQ(terminal.buffer().lines().count(), 3);
    for (int64_t row = 0; row < 3; ++row) {
        EXPECT_TRUE(terminal.buffer().lines()[row][0].hasPayload()) << row;
    }
    EXPECT_FALSE(terminal.buffer().lines()[2][1].hasPayload());
}

TEST(TerminalSgr, UnknownAttributesAreReportedAlwaysButRepeatsAreHeldBack)
{
    corvel::testing::MainQueueScope main(true);  // the throttle's clock stands still
    auto host = std::make_shared<TestHost>();
    Terminal terminal(host, sized(10, 3));
    ASSERT_TRUE(terminal.silentLog);
    log::Capture capture;
    terminal.feed("\x1b[6m\x1b[1;50m");
    std::string flood;
    for (int i = 0; i < 20000; ++i) flood += "\x1b[6m";
    terminal.feed(flood);
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"Unknown SGR attribute: 6 [6]",
                                                         "Unknown SGR attribute: 50 [1, 50]"}));
    EXPECT_EQ(terminal.currentAttribute().style, CharacterStyle::bold);
}

TEST(TerminalSgr, AHugeParameterListIsListedShort)
{
    corvel::testing::MainQueueScope main(true);
    auto host = std::make_shared<TestHost>();
    Terminal terminal(host, sized(10, 3));
    log::Capture capture;
    // Parameters past the parser's cap are ignored, the last "4" among them.
    std::string sequence = "\x1b[1;";
    for (int i = 0; i < 100000; ++i) sequence += std::to_string(200 + i % 1000) + ";";
    sequence += "4m";
    terminal.feed(sequence);
    auto lines = capture.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.size(), 257u);  // each distinct line once, then one shared slot
    EXPECT_EQ(lines[0].rfind("Unknown SGR attribute: 200 [1, 200, 201, ", 0), 0u);
    EXPECT_TRUE(lines[0].ends_with(", 230, ...]"));
    EXPECT_EQ(terminal.currentAttribute().style, CharacterStyle::bold);

    // Once the window has passed, a line of the shared slot is written with
    // the count it held back: the parser keeps 1023 of the codes, the 256
    // distinct ones listed first have slots of their own, and the 744 after
    // them share one, less the one written.
    main.queue->advance(LogThrottle::kDefaultInterval);
    terminal.feed("\x1b[200m");
    lines = capture.lines();
    ASSERT_EQ(lines.size(), 258u);
    EXPECT_EQ(lines.back(), "Unknown SGR attribute: 200 [200] (743 similar lines suppressed)");
}

TEST(TerminalReports, SettingRequestsAreBoundedAndTheCursorStyleIsReal)
{
    auto host = std::make_shared<TestHost>();
    Terminal terminal(host, sized(10, 3));
    Terminal::DECRQSS request(terminal);
    request.hook({}, {}, 'q');
    const std::vector<uint8_t> chunk(1 << 20, 'm');
    for (int i = 0; i < 8; ++i) request.put(chunk);
    EXPECT_LE(request.data.size(), 64u);
    request.unhook();
    ASSERT_EQ(host->sent.size(), 1u);
    EXPECT_EQ(host->sent[0], "\x1bP0$r\x1b\\");

    for (const auto& [style, number] : {std::pair{CursorStyle::steadyBlock, "2"}, {CursorStyle::blinkUnderline, "3"},
                                        {CursorStyle::steadyBar, "6"}}) {
        TerminalOptions options = terminal.options();
        options.cursorStyle = style;
        terminal.setOptions(options);
        host->sent.clear();
        terminal.feed("\x1bP$q q\x1b\\");
        EXPECT_EQ(host->sent, std::vector<std::string>{"\x1bP1$r" + std::string(number) + " q\x1b\\"});
    }
}
