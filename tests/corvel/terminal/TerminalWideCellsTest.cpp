// Printing over half of a wide character that reached its line by a copy
// rather than by printing: the line must know it holds one, or the other half
// is left behind on its own.
#include "corvel/terminal/Terminal.h"

#include "tests/corvel/support/TestHost.h"

#include <gtest/gtest.h>

using namespace corvel;
using corvel::testing::TestHost;

namespace {

class WideCells : public ::testing::Test {
protected:
    std::shared_ptr<TestHost> host = std::make_shared<TestHost>();
    Terminal terminal{host, [] {
                          TerminalOptions options;
                          options.cols = 10;
                          options.rows = 4;
                          return options;
                      }()};

    const CharData& cell(int col, int row) { return terminal.buffer().lines()[terminal.buffer().yBase() + row][col]; }
};

}  // namespace

TEST_F(WideCells, TextOverACopiedWideCharacterBlanksItsOtherHalf)
{
    // Columns 2 to 9 scroll up inside the margins: the strip of row 1, with
    // its wide character, is copied into row 0.
    terminal.feed("\e[?69h\e[2;9s\e[2;3H\xE6\xBC\xA2\e[S");
    ASSERT_EQ(cell(2, 0).width, 2);
    ASSERT_EQ(cell(3, 0).width, 0);

    // Text over the second half, then over the first half of a second copy.
    terminal.feed("\e[1;4Hx");
    EXPECT_EQ(cell(2, 0).code, 0);
    EXPECT_EQ(cell(2, 0).width, 1);
    EXPECT_EQ(cell(3, 0).code, 'x');

    terminal.feed("\e[2;3H\xE6\xBC\xA2\e[S\e[1;3Hy");
    EXPECT_EQ(cell(2, 0).code, 'y');
    EXPECT_EQ(cell(3, 0).code, 0);
    EXPECT_EQ(cell(3, 0).width, 1);
}
