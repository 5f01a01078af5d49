// Rectangle commands and line attributes where the emulator cases cannot
// look: the attributes and codes written, render modes, the dirty range and
// the host's trust.
#include "corvel/terminal/Terminal.h"

#include "tests/corvel/support/TestHost.h"

#include <gtest/gtest.h>

using namespace corvel;
using corvel::testing::TestHost;

namespace {

class Rectangles : public ::testing::Test {
protected:
    std::shared_ptr<TestHost> host = std::make_shared<TestHost>();
    Terminal terminal{host, corvel::testing::sized(10, 4)};

    const CharData& cell(int col, int row) { return terminal.buffer().lines()[terminal.buffer().yBase() + row][col]; }
};

TEST_F(Rectangles, FillAndEraseWriteTheCurrentAttribute)
{
    terminal.feed("\e[1;31;44m\e[88;1;1;2;3$x");
    const Attribute written = terminal.curAttr;
    EXPECT_EQ(cell(2, 1), CharData(written, 'X', 1));
    EXPECT_EQ(cell(3, 1).code, 0);

    // Controls and non-scalars fill with spaces.
    terminal.feed("\e[0m\e[7;1;1;1;1$x\e[55296;1;2;1;2$x\e[127;1;3;1;3$x\e[155;1;4;1;4$x");
    for (int col = 0; col < 4; ++col) EXPECT_EQ(cell(col, 0), CharData(Attribute::empty, ' ', 1)) << col;

    terminal.feed("\e[4m\e[2;2;2;2$z");
    EXPECT_EQ(cell(1, 1), CharData(terminal.curAttr, ' ', 1));
}

TEST_F(Rectangles, SelectiveEraseKeepsAttributeAndHyperlink)
{
    terminal.feed("\e[32mab");
    terminal.buffer().lines()[terminal.buffer().yBase()].modify(1, [](CharData& c) { c.payload.code = 7; });
    CharData expected = cell(1, 0);
    terminal.feed("\e[0m\e[1;2;1;2${");
    expected.code = ' ';
    EXPECT_EQ(cell(1, 0), expected);
    EXPECT_EQ(cell(0, 0).code, 'a');
}

TEST_F(Rectangles, AlignmentPatternKeepsColoursAndRenderModes)
{
    terminal.feed("\e[2;1H\e#6\e[1;4;33;45m\e[3;1H\e#8");
    Attribute expected = terminal.curAttr;
    expected.style = CharacterStyle::none;
    expected.underlineStyle = UnderlineStyle::none;
    EXPECT_EQ(cell(9, 3), CharData(expected, 'E', 1));
    const BufferLine& second = terminal.buffer().lines()[terminal.buffer().yBase() + 1];
    EXPECT_EQ(second.renderMode, BufferLine::RenderLineMode::doubleWidth);
    EXPECT_FALSE(second.isWrapped);
}

TEST_F(Rectangles, RenderModesChangeOnlyTheCursorRow)
{
    auto mode = [&](int row) { return terminal.buffer().lines()[terminal.buffer().yBase() + row].renderMode; };
    terminal.feed("ab\e#3\r\n\e#4");
    EXPECT_EQ(mode(0), BufferLine::RenderLineMode::doubledTop);
    EXPECT_EQ(mode(1), BufferLine::RenderLineMode::doubledDown);
    terminal.feed("\e[1;1H");
    terminal.clearUpdateRange();
    terminal.feed("\e#6\e#5");
    EXPECT_EQ(mode(0), BufferLine::RenderLineMode::single);
    EXPECT_EQ(cell(1, 0).code, 'b');
    EXPECT_EQ(terminal.getUpdateRange(), std::make_pair(int64_t{0}, int64_t{0}));

    // Rectangle edits redraw the rows they wrote.
    terminal.clearUpdateRange();
    terminal.feed("\e[88;2;1;3;3$x\e[1;1;1;1;1;4;1;1$v");
    EXPECT_EQ(terminal.getUpdateRange(), std::make_pair(int64_t{1}, int64_t{3}));
}

TEST_F(Rectangles, ChecksumNeedsATrustedHost)
{
    terminal.feed("AB\e[1;1;1;1;1;2*y");
    host->trusted = false;
    terminal.feed("\e[1;1;1;1;1;2*y");
    EXPECT_EQ(host->sent, (std::vector<std::string>{"\eP1!~0083\e\\", "\eP1!~0000\e\\"}));
}

}  // namespace
