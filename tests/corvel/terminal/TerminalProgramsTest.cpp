// Real programs on a pseudo-terminal: the screens, cursor and hyperlinks they
// leave behind.
#include "tests/corvel/support/PtyTerminalRunner.h"
#include "tests/corvel/support/ScreenText.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <any>
#include <filesystem>
#include <fstream>

using namespace corvel;
using corvel::testing::PtyTerminalRunner;

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

}  // namespace

TEST(TerminalPrograms, QuittingVimRestoresTheNormalScreenAndTheCursor)
{
    if (!haveProgram("/usr/bin/vim")) GTEST_SKIP() << "vim is not installed";
    PtyTerminalRunner runner(40, 10);
    runner.startShell("printf 'hello\\nworld'; exec vim -u NONE -i NONE -n -N");
    Terminal& terminal = runner.terminal();
    ASSERT_TRUE(runner.runUntil([&] { return terminal.isCurrentBufferAlternate(); }));
    // Vim has drawn its empty buffer once the filler lines show.
    ASSERT_TRUE(runner.runUntil([&] { return rowText(terminal, 1).starts_with("~"); }));

    runner.send(":q\r");
    ASSERT_TRUE(runner.runUntilExit());
    EXPECT_FALSE(terminal.isCurrentBufferAlternate());
    EXPECT_EQ(rowText(terminal, 0), "hello");
    EXPECT_EQ(rowText(terminal, 1), "world");
    EXPECT_EQ(terminal.getCursorLocation(), std::make_pair(5, 1));
}

TEST(TerminalPrograms, LsHyperlinksCoverExactlyTheNames)
{
    if (!haveProgram("/usr/bin/ls") && !haveProgram("/bin/ls")) GTEST_SKIP() << "ls is not installed";
    const auto directory = std::filesystem::temp_directory_path() / ("osc-links-" + std::to_string(getpid()));
    std::filesystem::create_directories(directory);
    const std::vector<std::string> names = {"alpha.txt", "b c.txt", "zeta"};
    for (const auto& name : names) std::ofstream(directory / name) << "x";

    PtyTerminalRunner runner(30, 8);
    runner.startShell("ls -1 --hyperlink=always --color=never --quoting-style=literal", directory.string());
    ASSERT_TRUE(runner.runUntilExit());
    Terminal& terminal = runner.terminal();

    const std::vector<std::string> encoded = {"alpha.txt", "b%20c.txt", "zeta"};
    for (int row = 0; row < static_cast<int>(names.size()); ++row) {
        SCOPED_TRACE(names[row]);
        ASSERT_EQ(rowText(terminal, row), names[row]);
        const int length = static_cast<int>(names[row].size());
        for (int col = 0; col < length; ++col) {
            const std::string uri = uriAt(terminal, col, row);
            EXPECT_TRUE(uri.starts_with("file://")) << col << ": " << uri;
            EXPECT_TRUE(uri.ends_with(directory.string() + "/" + encoded[row])) << col << ": " << uri;
        }
        EXPECT_EQ(uriAt(terminal, length, row), "") << "the cell after the name";
    }
    std::filesystem::remove_all(directory);
}
