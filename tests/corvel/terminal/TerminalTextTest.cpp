// Text extraction: logical lines across wrapped and blank rows, wide
// characters, the frozen screen of synchronized output, and buffer dumps.
#include "corvel/terminal/Terminal.h"

#include "tests/corvel/support/TestHost.h"

#include <gtest/gtest.h>

using namespace corvel;
using corvel::testing::TestHost;

namespace {

class TextExtraction : public ::testing::Test {
protected:
    std::shared_ptr<TestHost> host = std::make_shared<TestHost>();
    Terminal terminal{host, corvel::testing::sized(10, 4, 0)};

    BufferLine& row(int index) { return terminal.buffer().lines()[index]; }
    std::string text(int col1, int row1, int col2, int row2) { return terminal.getText({col1, row1}, {col2, row2}); }
    std::string dump(TextEncoding encoding = TextEncoding::utf8)
    {
        const auto bytes = terminal.getBufferAsData(Terminal::BufferKind::active, encoding);
        return std::string(bytes.begin(), bytes.end());
    }
};

TEST_F(TextExtraction, WrappedRowsJoinOtherBreaksAreLineFeeds)
{
    terminal.feed("ab\r\ncd\r\nef");
    row(1).isWrapped = true;
    EXPECT_EQ(text(0, 0, 2, 2), "abcd\nef");
    EXPECT_EQ(text(2, 2, 0, 0), "abcd\nef");
    EXPECT_EQ(text(1, 0, 1, 0), "");
    EXPECT_EQ(text(1, 0, 2, 0), "b");
    EXPECT_EQ(text(0, 4, 5, 4), "") << "first row past the ring";
    EXPECT_EQ(text(0, 2, 9, 99), "ef") << "the last row is clamped";
}

TEST_F(TextExtraction, BlankRowsAtTheEdgesOfARange)
{
    terminal.feed("ab\r\n\r\ncd");
    EXPECT_EQ(text(0, 0, 0, 3), "ab\n\ncd") << "blank rows between content keep their breaks";
    EXPECT_EQ(text(0, 1, 5, 2), "\ncd") << "a range that starts on a blank row";
    EXPECT_EQ(text(0, 2, 0, 3), "cd") << "blank rows at the end add nothing";

    const auto lines = terminal._getSelectedLines({0, 0}, {5, 2}, terminal.buffer());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].toString(), "ab\n");
    EXPECT_EQ(lines[1].toString(), "\n");
    EXPECT_EQ(lines[2].toString(), "cd");
    EXPECT_EQ(lines[2].fragments[0].line, 2);
    EXPECT_EQ(lines[2].fragments[0].length, 2);
}

TEST_F(TextExtraction, WideCharactersAndGapsBetweenCharacters)
{
    terminal.feed("\u4E2Dx\r\na\e[Cb");
    EXPECT_EQ(text(0, 0, 10, 0), "\u4E2Dx");
    EXPECT_EQ(text(0, 1, 10, 1), "a b");
    EXPECT_EQ(terminal.translateBufferLineToString(terminal.buffer(), 0, 1, -1), "x");
}

TEST_F(TextExtraction, NarrowedBufferReturnsNothingPastTheRightEdge)
{
    terminal.changeScrollback(std::nullopt);
    terminal.feed("abcdefghij");
    terminal.resize(5, 4);
    EXPECT_EQ(row(0).count(), 5) << "without scrollback the line is cut to the new width as well";
    EXPECT_EQ(text(0, 0, 10, 0), "abcde");
    EXPECT_EQ(dump(), "abcde\n\n\n\n");
}

TEST_F(TextExtraction, DisplayTextReadsTheFrozenScreen)
{
    terminal.feed("old\e[?2026h\rnew");
    EXPECT_EQ(terminal.getDisplayText({0, 0}, {10, 0}), "old");
    EXPECT_EQ(terminal.getText({0, 0}, {10, 0}), "new");
    terminal.feed("\e[?2026l");
}

TEST_F(TextExtraction, BufferDumpWritesEveryRow)
{
    terminal.feed("x\r\n\r\na\e[Cb\r\n\u4E2D");
    EXPECT_EQ(dump(), "x\n\na b\n\u4E2D\n") << "empty cells are spaces, the wide character's gap is skipped";

    const int32_t cluster = terminal.code(std::string_view("e\u0301"));
    row(1).set(0, CharData(Attribute::empty, cluster, 1));
    EXPECT_EQ(dump(), "x\ne\u0301\na b\n\u4E2D\n");
    EXPECT_EQ(dump(TextEncoding::ascii), "x\ne?\na b\n?\n") << "unencodable characters are substituted";
    EXPECT_EQ(dump(TextEncoding::isoLatin1), "x\ne?\na b\n?\n");
    EXPECT_EQ(dump(TextEncoding::utf16BigEndian).substr(0, 6), std::string("\0x\0\n\0e", 6));
    EXPECT_EQ(dump(TextEncoding::utf16LittleEndian).size(), 2u * 11);
    EXPECT_TRUE(terminal.getBufferAsData(Terminal::BufferKind::alt).empty()) << "never shown, so no lines";
}

}  // namespace
