// Real programs on a pseudo-terminal: the screens, cursor and hyperlinks they
// leave behind.
#include "tests/corvel/support/HeadlessProgramFixture.h"
#include "tests/corvel/support/ScreenText.h"

#include <unistd.h>

#include <any>
#include <fstream>

using namespace corvel;

namespace {

std::string rowText(Terminal& terminal, int row)
{
    return corvel::testing::screenRows(terminal)[static_cast<size_t>(row)];
}

std::string uriAt(Terminal& terminal, int col, int row)
{
    const auto cell = terminal.getCharData(col, row);
    if (!cell || !cell->hasPayload()) return {};
    const std::any payload = cell->getPayload();
    const auto* text = std::any_cast<std::string>(&payload);
    return text ? Terminal::parseHyperlinkPayload(*text).value_or("") : std::string();
}

bool haveProgram(const char* path)
{
    return access(path, X_OK) == 0;
}

using TerminalPrograms = corvel::testing::HeadlessProgramTest;

}  // namespace

TEST_F(TerminalPrograms, QuittingVimRestoresTheNormalScreenAndTheCursor)
{
    if (!haveProgram("/usr/bin/vim")) GTEST_SKIP() << "vim is not installed";
    auto host = start<HeadlessTerminal>(40, 10, "printf 'hello\\nworld'; exec vim -u NONE -i NONE -n -N");
    Terminal& terminal = host->terminal();
    ASSERT_TRUE(pumpUntil([&] { return terminal.isCurrentBufferAlternate(); }));
    // Vim has drawn its empty buffer once the filler lines show.
    ASSERT_TRUE(pumpUntil([&] { return rowText(terminal, 1).starts_with("~"); }));

    host->send(":q\r");
    ASSERT_TRUE(pumpUntil([&] { return ended; }));
    EXPECT_FALSE(terminal.isCurrentBufferAlternate());
    EXPECT_EQ(rowText(terminal, 0), "hello");
    EXPECT_EQ(rowText(terminal, 1), "world");
    EXPECT_EQ(terminal.getCursorLocation(), std::make_pair(5, 1));
}

TEST_F(TerminalPrograms, LsHyperlinksCoverExactlyTheNames)
{
    if (!haveProgram("/usr/bin/ls") && !haveProgram("/bin/ls")) GTEST_SKIP() << "ls is not installed";
    const std::vector<std::string> names = {"alpha.txt", "b c.txt", "zeta"};
    for (const auto& name : names) std::ofstream(dir + "/" + name) << "x";

    auto host = run<HeadlessTerminal>(30, 8, "ls -1 --hyperlink=always --color=never --quoting-style=literal");
    Terminal& terminal = host->terminal();

    const std::vector<std::string> encoded = {"alpha.txt", "b%20c.txt", "zeta"};
    for (int row = 0; row < static_cast<int>(names.size()); ++row) {
        SCOPED_TRACE(names[row]);
        ASSERT_EQ(rowText(terminal, row), names[row]);
        const int length = static_cast<int>(names[row].size());
        for (int col = 0; col < length; ++col) {
            const std::string uri = uriAt(terminal, col, row);
            EXPECT_TRUE(uri.starts_with("file://")) << col << ": " << uri;
            EXPECT_TRUE(uri.ends_with(dir + "/" + encoded[row])) << col << ": " << uri;
        }
        EXPECT_EQ(uriAt(terminal, length, row), "") << "the cell after the name";
    }
}
