// Printing beyond what the screen text of the emulator cases shows: grapheme
// ids, the three-byte designation, and real programs: recordings of vim and
// less at 80x24, replayed in chunks of several sizes, must leave the screen
// text that a tmux pane of the same size showed for the same bytes.
#include "corvel/terminal/Terminal.h"

#include "tests/corvel/support/ScreenText.h"
#include "tests/corvel/support/TestHost.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

using namespace corvel;
using corvel::testing::TestHost;
using corvel::testing::screenRows;

namespace {

std::string readFile(const std::string& name)
{
    std::ifstream in(std::string(CORVEL_TEST_DATA_DIR) + "/recordings/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string trimRight(std::string text)
{
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::vector<std::string> captureText(const std::string& capture, int rows)
{
    std::vector<std::string> lines;
    std::istringstream in(capture);
    for (std::string line; std::getline(in, line);) lines.push_back(trimRight(line));
    lines.resize(static_cast<size_t>(rows));
    return lines;
}

}  // namespace

TEST(TerminalPrint, GraphemeIdsAreHandedOutOncePerTerminal)
{
    auto host = std::make_shared<TestHost>();
    Terminal terminal(host);
    terminal.feed("\U0001F600\U0001F600e\u0301\U0001F601");
    const CharData first = *terminal.getCharData(0, 0);
    EXPECT_EQ(first.code, CharData::firstGraphemeId);
    EXPECT_EQ(terminal.getCharData(2, 0)->code, first.code);
    EXPECT_EQ(terminal.getCharData(4, 0)->code, CharData::firstGraphemeId + 1);  // e with its mark
    EXPECT_EQ(terminal.getCharData(5, 0)->code, CharData::firstGraphemeId + 2);
    EXPECT_EQ(terminal.getCharacter(first), "\U0001F600");
    EXPECT_EQ(first.getCharacter(), U' ');
    EXPECT_EQ(terminal.character(0x500000), " ");
    EXPECT_EQ(terminal.code("\r\n"), 10);
    EXPECT_EQ(terminal.code("\u4E2D"), 0x4E2D);

    // Another terminal starts its own numbering.
    Terminal other(host);
    other.feed("\U0001F601");
    EXPECT_EQ(other.getCharData(0, 0)->code, CharData::firstGraphemeId);
}

TEST(TerminalPrint, DesignationWithATwoByteNameClearsG0AndInvokesIt)
{
    auto host = std::make_shared<TestHost>();
    Terminal terminal(host);
    terminal.feed("\e(0\e)0\x0E");
    const uint8_t designation[3] = {'(', '%', '5'};
    terminal.selectCharset(designation);
    EXPECT_EQ(terminal.gLevel, 0);
    EXPECT_EQ(terminal.charset, nullptr);
    EXPECT_EQ(terminal.gCharsets[0], nullptr);
    EXPECT_NE(terminal.gCharsets[1], nullptr);
}

TEST(TerminalPrint, RecordedProgramsLeaveTheScreenATmuxPaneShowed)
{
    // The cursor positions are those the pane reported at the capture.
    const std::pair<std::string, std::pair<int, int>> recordings[] = {{"vim-edit", {4, 8}}, {"less-paging", {1, 23}}};
    for (const auto& [name, cursor] : recordings) {
        const std::string bytes = readFile(name + ".raw");
        const std::vector<std::string> expected = captureText(readFile(name + ".screen"), 24);
        ASSERT_FALSE(bytes.empty()) << name;
        for (size_t chunk : {size_t{1}, size_t{7}, size_t{64}, size_t{4096}}) {
            SCOPED_TRACE(name + " in chunks of " + std::to_string(chunk));
            auto host = std::make_shared<TestHost>();
            TerminalOptions options;
            options.cols = 80;
            options.rows = 24;
            Terminal terminal(host, options);
            for (size_t at = 0; at < bytes.size(); at += chunk) {
                terminal.feed(std::string_view(bytes).substr(at, chunk));
            }
            EXPECT_EQ(screenRows(terminal), expected);
            EXPECT_EQ(terminal.getCursorLocation(), cursor);
            EXPECT_TRUE(terminal.isCurrentBufferAlternate());
        }
    }
}
