// Line building from a real terminal: cells at their columns, runs split by
// attribute, link and selection, concealed text, padding of short lines,
// custom-glyph cells, placeholders; the selection, payload and highlight
// queries.
// The core headers come before any Qt header: Qt defines `emit` as a macro.
#include "corvel/terminal/Terminal.h"

#include <gtest/gtest.h>
#include "corvel/qt/LineBuilder.h"
#include "corvel/qt/LineQueries.h"
#include "tests/qt/FakeRunStyles.h"
#include "tests/corvel/support/TestHost.h"

using namespace corvel;
using namespace corvel::qt;
using corvel::testing::TestHost;

namespace {

class LineBuilding : public ::testing::Test {
protected:
    std::shared_ptr<TestHost> host = std::make_shared<TestHost>();
    std::unique_ptr<Terminal> terminal = [this] {
        TerminalOptions options;
        options.cols = 20;
        options.rows = 5;
        options.scrollback = 10;
        return std::make_unique<Terminal>(host, options);
    }();
    test::FakeRunStyles styles;
    LineBuilder builder{*terminal, styles};

    ViewLineInfo row(int screenRow)
    {
        Buffer& buffer = terminal->displayBuffer();
        const int r = buffer.yDisp() + screenRow;
        return builder.build(r, buffer.lines()[r], terminal->cols());
    }
    static std::string text(const ViewLineInfo& info, int cell)
    {
        return info.cellText(info.cells.at(cell)).toString().toStdString();
    }
    static std::vector<int> columns(const ViewLineInfo& info)
    {
        std::vector<int> cols;
        for (const auto& c : info.cells) cols.push_back(c.column);
        return cols;
    }
};

}  // namespace

TEST_F(LineBuilding, CellsSitOnTheirColumnsWhateverTheirText)
{
    terminal->feed("hello");
    const ViewLineInfo plain = row(0);
    ASSERT_EQ(plain.runs.size(), 1u);
    EXPECT_EQ(plain.runs[0].column, 0);
    EXPECT_EQ(plain.runs[0].endColumn, 20);
    EXPECT_EQ(plain.cells.size(), 20u);
    EXPECT_EQ(plain.text, QStringLiteral("hello"));
    EXPECT_EQ(text(plain, 4), "o");
    EXPECT_EQ(plain.cells[5].textLength, 0) << "an empty cell draws no glyph";

    // A wide character takes two columns; the next cell follows it.
    terminal->feed("\r\na\u4E2Db");
    const ViewLineInfo wide = row(1);
    const std::vector<int> wideColumns = columns(wide);
    EXPECT_EQ((std::vector<int>(wideColumns.begin(), wideColumns.begin() + 4)), (std::vector<int>{0, 1, 3, 4}));
    EXPECT_EQ(wide.cells[1].width, 2);
    EXPECT_EQ(text(wide, 1), "\u4E2D");
    EXPECT_EQ(wide.cells.size(), 19u);

    // A combining mark stays in its cell: X is still in column 1.
    terminal->feed("\r\ne\u0301X");
    const ViewLineInfo combined = row(2);
    EXPECT_EQ(text(combined, 0), "e\u0301");
    EXPECT_EQ(combined.cells[1].column, 1);
    EXPECT_EQ(text(combined, 1), "X");

    // So does an emoji outside the basic plane, and a joined sequence.
    terminal->feed("\r\n\U0001F44Dx\U0001F469\u200D\U0001F4BBy");
    const ViewLineInfo emoji = row(3);
    EXPECT_EQ(text(emoji, 0), "\U0001F44D");
    EXPECT_EQ(emoji.cells[1].column, 2);
    EXPECT_EQ(text(emoji, 1), "x");
    EXPECT_EQ(text(emoji, 2), "\U0001F469\u200D\U0001F4BB");
    EXPECT_EQ(emoji.cells[3].column, 5);
    EXPECT_EQ(text(emoji, 3), "y");
}

TEST_F(LineBuilding, RunsSplitByAttributeSelectionAndLink)
{
    terminal->feed("\e[31mred\e[0m ok");
    const ViewLineInfo coloured = row(0);
    ASSERT_EQ(coloured.runs.size(), 2u);
    EXPECT_EQ(coloured.runs[0].endColumn, 3);
    EXPECT_EQ(coloured.runs[0].style.foreground, test::FakeRunStyles::palette(1));
    EXPECT_EQ(coloured.runs[1].style.foreground, QColor(Qt::black));
    EXPECT_EQ(coloured.runs[1].cellBegin, 3);

    // Equal cells, one selected and one not, are separate runs; only the
    // selected one is filled with the selection colour.
    builder.settings.selection = {Position{4, 0}, Position{5, 0}};
    builder.settings.selectionBackground = QColor(10, 20, 30);
    styles.lookups = 0;
    const ViewLineInfo selected = row(0);
    ASSERT_EQ(selected.runs.size(), 4u);
    EXPECT_EQ(selected.runs[2].column, 4);
    EXPECT_EQ(selected.runs[2].endColumn, 5);
    EXPECT_TRUE(selected.runs[2].selected);
    EXPECT_EQ(selected.runs[2].fillColor(), QColor(10, 20, 30));
    EXPECT_EQ(selected.runs[2].style.foreground, QColor(Qt::black)) << "selected text keeps its colour";
    EXPECT_FALSE(selected.runs[3].selected);
    EXPECT_EQ(selected.runs[3].fillColor(), QColor(Qt::white));
    EXPECT_EQ(styles.lookups, 4) << "one style lookup per run, not per cell";
    builder.settings.selection.reset();

    // Hyperlinks: `always` marks every payload cell, hover modes only the
    // hovered columns, modifier modes only while the modifier is held.
    terminal->feed("\r\ngo \e]8;;http://x.example\e\\link\e]8;;\e\\ end");
    const int linkRow = terminal->displayBuffer().yDisp() + 1;
    auto linkedColumns = [&](const ViewLineInfo& info) {
        std::vector<int> cols;
        for (const auto& run : info.runs) {
            if (!run.link) continue;
            EXPECT_EQ(run.style.underline, UnderlineStyle::dashed);
            for (int c = run.cellBegin; c < run.cellEnd; ++c) cols.push_back(info.cells[c].column);
        }
        return cols;
    };
    builder.settings.linkHighlightMode = LinkHighlightMode::always;
    EXPECT_EQ(linkedColumns(row(1)), (std::vector<int>{3, 4, 5, 6}));
    builder.settings.linkHighlightMode = LinkHighlightMode::alwaysWithModifier;
    EXPECT_TRUE(linkedColumns(row(1)).empty());
    builder.settings.commandActive = true;
    EXPECT_EQ(linkedColumns(row(1)), (std::vector<int>{3, 4, 5, 6}));
    builder.settings.linkHighlightRange = std::vector<LinkMatch::RowRange>{{linkRow - 1, {0, 20}}, {linkRow, {3, 5}}};
    builder.settings.linkHighlightMode = LinkHighlightMode::hover;
    EXPECT_EQ(linkedColumns(row(1)), (std::vector<int>{3, 4}));
    EXPECT_TRUE(linkedColumns(row(2)).empty());
    builder.settings.linkHighlightMode = LinkHighlightMode::hoverWithModifier;
    EXPECT_EQ(linkedColumns(row(1)), (std::vector<int>{3, 4}));
    builder.settings.commandActive = false;
    EXPECT_TRUE(linkedColumns(row(1)).empty());
}

TEST_F(LineBuilding, ConcealedTextIsDrawnInItsBackgroundColour)
{
    terminal->feed("\e[8;4;9;41msecret\e[0m");
    const ViewLineInfo info = row(0);
    const ViewLineRun& run = info.runs[0];
    EXPECT_TRUE(run.concealed);
    EXPECT_EQ(run.style.foreground, test::FakeRunStyles::palette(1));
    EXPECT_EQ(run.style.foreground, run.fillColor());
    EXPECT_EQ(run.style.underline, UnderlineStyle::none);
    EXPECT_FALSE(run.style.strikethrough);
    EXPECT_EQ(info.text, QStringLiteral("secret")) << "the text stays for copying";

    builder.settings.selection = {Position{0, terminal->displayBuffer().yDisp()}, Position{3, terminal->displayBuffer().yDisp()}};
    const ViewLineInfo selected = row(0);
    EXPECT_EQ(selected.runs[0].style.foreground, builder.settings.selectionBackground)
        << "invisible on the selection too";
}

TEST_F(LineBuilding, ShortLinesArePaddedWithBlankCells)
{
    BufferLine line(3);
    Attribute red;
    red.bg = Attribute::Color::ansi256(1);
    for (int i = 0; i < 3; ++i) line.set(i, CharData(red, 'x', 1));
    const ViewLineInfo info = builder.build(0, line, 6);
    ASSERT_EQ(info.cells.size(), 6u);
    EXPECT_EQ(info.text, QStringLiteral("xxx"));
    ASSERT_EQ(info.runs.size(), 2u);
    EXPECT_EQ(info.runs[0].fillColor(), test::FakeRunStyles::palette(1));
    EXPECT_EQ(info.runs[1].column, 3);
    EXPECT_EQ(info.runs[1].endColumn, 6);
    EXPECT_EQ(info.runs[1].fillColor(), QColor(Qt::white));

    EXPECT_TRUE(builder.build(0, line, 0).cells.empty());
    EXPECT_EQ(builder.build(0, BufferLine(0), 4).cells.size(), 4u) << "a line without cells reads blank";
}

TEST_F(LineBuilding, BoxAndBlockCellsBecomeGeometry)
{
    terminal->feed("\e[31m\u2500\u2588\u2592\e[0mA");
    const ViewLineInfo info = row(0);
    ASSERT_EQ(info.boxDrawings.size(), 1u);
    EXPECT_EQ(info.boxDrawings[0].codePoint, 0x2500u);
    EXPECT_EQ(info.boxDrawings[0].foregroundColor, test::FakeRunStyles::palette(1));
    ASSERT_EQ(info.blockElements.size(), 2u);
    EXPECT_EQ(info.blockElements[0].column, 1);
    EXPECT_EQ(info.blockElements[0].rects.data(), BlockElementMapping::rects(0x2588)->data());
    EXPECT_EQ(info.blockElements[1].column, 2);
    EXPECT_EQ(info.text, QStringLiteral("A"));
    EXPECT_EQ(info.cells[3].column, 3);
    EXPECT_EQ(info.runs[0].endColumn, 3) << "the geometry cells keep their run for the background";

    builder.settings.customBlockGlyphs = false;
    const ViewLineInfo asText = row(0);
    EXPECT_TRUE(asText.boxDrawings.empty());
    EXPECT_TRUE(asText.blockElements.empty());
    EXPECT_EQ(asText.text, QString::fromUtf8("\u2500\u2588\u2592A"));
}

TEST_F(LineBuilding, PlaceholderCellsGoThroughTheDecoder)
{
    std::vector<std::optional<KittyPlaceholderCell>> previousSeen;
    builder.settings.placeholderDecoder = [&](const std::string& character, const Attribute&, int row, int col,
                                              const std::optional<KittyPlaceholderCell>& previous,
                                              const std::optional<Attribute>&) -> std::optional<KittyPlaceholderCell> {
        previousSeen.push_back(previous);
        EXPECT_EQ(character.substr(0, 4), "\U0010EEEE");
        KittyPlaceholderCell cell;
        cell.row = row;
        cell.col = col;
        cell.imageId = 7;
        cell.placeholderCol = previous ? previous->placeholderCol + 1 : 0;
        return cell;
    };
    terminal->feed("\U0010EEEE\u0305\U0010EEEE\u0305z\U0010EEEE\u0305");
    const ViewLineInfo info = row(0);
    ASSERT_EQ(info.placeholderCells.size(), 3u);
    EXPECT_EQ(info.placeholderCells[1].placeholderCol, 1);
    EXPECT_EQ(info.placeholderCells[2].col, 3);
    ASSERT_EQ(previousSeen.size(), 3u);
    EXPECT_FALSE(previousSeen[0]);
    EXPECT_TRUE(previousSeen[1]);
    EXPECT_FALSE(previousSeen[2]) << "a text cell ends the chain";
    EXPECT_EQ(info.text, QStringLiteral("z"));
}

TEST(LineQueriesTest, SelectedColumnsOfARow)
{
    auto cols = [](Position s, Position e, int row) { return selectedColumnsRange(s, e, row, 80); };
    EXPECT_EQ(cols({5, 3}, {10, 3}, 3), (ColumnRange{5, 10}));
    EXPECT_EQ(cols({5, 3}, {79, 3}, 3), (ColumnRange{5, 80}));
    EXPECT_EQ(cols({10, 3}, {5, 3}, 3), (ColumnRange{5, 10}));
    EXPECT_EQ(cols({79, 3}, {5, 3}, 3), (ColumnRange{5, 80})) << "leftward from the last column keeps it";
    EXPECT_FALSE(cols({5, 3}, {5, 3}, 3));
    EXPECT_FALSE(cols({5, 3}, {10, 3}, 4));
    EXPECT_EQ(cols({70, 2}, {3, 4}, 2), (ColumnRange{70, 80}));
    EXPECT_EQ(cols({70, 2}, {3, 4}, 3), (ColumnRange{0, 80}));
    EXPECT_EQ(cols({70, 2}, {3, 4}, 4), (ColumnRange{0, 3}));
    EXPECT_FALSE(cols({70, 2}, {3, 4}, 5));
    EXPECT_EQ(cols({3, 4}, {70, 2}, 2), (ColumnRange{70, 80}));
    EXPECT_EQ(cols({79, 4}, {70, 2}, 4), (ColumnRange{0, 80}));
    EXPECT_EQ(cols({200, 3}, {300, 3}, 3), std::nullopt) << "positions past the edge select nothing";
}

TEST_F(LineBuilding, PayloadAndHighlightInvalidation)
{
    terminal->feed("go \e]8;;http://x.example\e\\l\u4E2D\e]8;;\e\\ end");
    const int top = terminal->displayBuffer().yDisp();
    // The payload keeps the link's parameters before the URI.
    EXPECT_EQ(payloadString(*terminal, {3, top}), ";http://x.example");
    EXPECT_EQ(payloadString(*terminal, {5, top}), ";http://x.example") << "right half of a wide character";
    EXPECT_FALSE(payloadString(*terminal, {1, top}));
    EXPECT_FALSE(payloadString(*terminal, {3, -1}));
    EXPECT_FALSE(payloadString(*terminal, {3, 100000}));
    EXPECT_EQ(payloadString(*terminal, {-4, top}), std::nullopt);

    terminal->clearUpdateRange();
    invalidateLinkHighlight(*terminal, std::vector<LinkMatch::RowRange>{{top + 1, {0, 3}}},
                            std::vector<LinkMatch::RowRange>{{top + 3, {0, 3}}});
    EXPECT_EQ(terminal->getUpdateRange(), (std::pair<int64_t, int64_t>{1, 3}));
    terminal->clearUpdateRange();
    invalidateLinkHighlight(*terminal, std::nullopt, std::vector<LinkMatch::RowRange>{{top + 50, {0, 3}}, {top - 1, {0, 1}}});
    EXPECT_FALSE(terminal->getUpdateRange()) << "rows out of view mark nothing";
}
