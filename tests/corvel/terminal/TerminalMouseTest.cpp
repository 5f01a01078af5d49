// Mouse reports: button codes per mode, and each report encoding.
#include "corvel/terminal/Terminal.h"

#include "tests/corvel/support/TestHost.h"

#include <gtest/gtest.h>

using namespace corvel;
using corvel::testing::TestHost;

namespace {

class MouseReports : public ::testing::Test {
protected:
    std::shared_ptr<TestHost> host = std::make_shared<TestHost>();
    Terminal terminal{host};

    // Sets the modes and returns what the events sent, one string per send.
    template <class F>
    std::vector<std::string> reports(const std::string& modes, F&& events)
    {
        terminal.feed(modes);
        host->sent.clear();
        events();
        return host->sent;
    }
};

TEST_F(MouseReports, ButtonCodesAndModifiers)
{
    terminal.feed("\e[?9h");
    EXPECT_EQ(terminal.encodeButton(0, false, false, false, false), 0);
    EXPECT_EQ(terminal.encodeButton(3, false, false, false, false), 0);
    EXPECT_EQ(terminal.encodeButton(4, false, false, false, false), 64);
    EXPECT_EQ(terminal.encodeButton(5, false, false, false, false), 65);
    EXPECT_EQ(terminal.encodeButton(2, false, true, true, true), 2) << "x10 sends no modifiers";
    EXPECT_EQ(terminal.encodeButton(2, true, false, false, false), 3);
    terminal.feed("\e[?1000h");
    EXPECT_EQ(terminal.encodeButton(2, false, true, true, true), 30);
    EXPECT_EQ(terminal.encodeButton(1, true, false, false, true), 19);
}

TEST_F(MouseReports, DefaultAndUrxvtEncodings)
{
    EXPECT_EQ(reports("\e[?1000h", [&] {
                  terminal.sendEvent(0, 0, 0);
                  terminal.sendEvent(3, 9, 4);
              }),
              (std::vector<std::string>{"\e[M\x20\x21\x21", "\e[M\x23\x2A\x25"}));
    EXPECT_EQ(reports("\e[?1015h", [&] { terminal.sendEvent(81, 9, 4); }),
              std::vector<std::string>{"\e[113;10;5M"});
    EXPECT_EQ(reports("\e G", [&] { terminal.sendEvent(81, 9, 4); }), std::vector<std::string>{"\x9B" "113;10;5M"});

    // Reports of what the user did are never answers, which a host may drop
    // for a program that does not read them; a position report is one.
    terminal.feed("\e F\e[?1015l\e[?1004h");
    host->answers = 0;
    terminal.setTerminalFocus(true);
    terminal.sendEvent(0, 1, 1);
    EXPECT_EQ(host->answers, 0u);
    EXPECT_EQ(host->sent.back(), "\e[M\x20\x22\x22");
    terminal.feed("\e[6n");
    EXPECT_EQ(host->answers, 1u);
}

TEST_F(MouseReports, CoordinatesThatDoNotFitAreDropped)
{
    // The three-byte form carries values up to 255: column 222 is the last.
    EXPECT_EQ(reports("\e[?1002h", [&] {
                  terminal.sendEvent(0, 222, 0);
                  terminal.sendEvent(0, 223, 0);
                  terminal.sendEvent(0, 0, 300);
                  terminal.sendEvent(224, 0, 0);
                  terminal.sendEvent(0, -1, 0);
              }),
              std::vector<std::string>{"\e[M\x20\xFF\x21"});
    // Mode 1005: two-byte values, 2047 as the past-the-end marker 0.
    EXPECT_EQ(reports("\e[?1005h", [&] {
                  terminal.sendEvent(0, 94, 0);
                  terminal.sendEvent(0, 2014, 0);
                  terminal.sendEvent(0, 3000, 0);
              }),
              (std::vector<std::string>{std::string("\e[M\x20\xC1\xBF\x21"), std::string("\e[M\x20\0\x21", 6)}));
    std::vector<uint8_t> bytes;
    Terminal::encodeMouseUtf(bytes, 3000);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0xDF, 0xBF}));
}

TEST_F(MouseReports, SgrReleasesNameTheButtonAndMotionIsNotARelease)
{
    EXPECT_EQ(reports("\e[?1003h\e[?1006h", [&] {
                  terminal.sendEvent(0, 0, 0);
                  terminal.sendEvent(3, 0, 0);
                  terminal.sendEvent(2 + 4, 5, 6);
                  terminal.sendMotion(2 + 4, 6, 6, 0, 0);
                  terminal.sendEvent(3 + 4, 6, 6);
                  terminal.sendMotion(3, 0, 0, 0, 0);
                  terminal.sendEvent(65 + 16, 9, 4);
                  terminal.sendEvent(3, 1, 1);
              }),
              (std::vector<std::string>{"\e[<0;1;1M", "\e[<0;1;1m", "\e[<6;6;7M", "\e[<38;7;7M", "\e[<6;7;7m",
                                        "\e[<35;1;1M", "\e[<81;10;5M", "\e[<2;2;2m"}));
    // The pixel form passes the pointer position as it is.
    EXPECT_EQ(reports("\e[?1016h", [&] {
                  terminal.sendEvent(3 + 8, 1, 1, 120, 37);
                  terminal.sendEvent(1, 1, 1, -5, 37);
              }),
              std::vector<std::string>{"\e[<10;120;37m"});
}

}  // namespace
