// Placeholder cells: the diacritic table, decoding cells printed by the
// terminal, and how a cell continues its left neighbour.
#include "corvel/kitty/KittyPlaceholderDecoder.h"
#include "tests/corvel/kitty/KittyImageTestSupport.h"

using namespace corvel;
using namespace corvel::testing;

namespace {

const std::string kPlaceholder = "\xf4\x8e\xbb\xae";  // U+10EEEE
const std::string kRow0 = "\xcc\x85";                 // U+0305, index 0
const std::string kIndex1 = "\xcc\x8d";               // U+030D
const std::string kIndex2 = "\xcc\x8e";               // U+030E

std::optional<KittyPlaceholderCell> decodeCell(const std::string& text, const Attribute& attribute, int64_t col = 0,
                                               const std::optional<KittyPlaceholderCell>& previous = std::nullopt,
                                               const std::optional<Attribute>& previousAttribute = std::nullopt)
{
    return KittyPlaceholderDecoder::decode(text, attribute, 0, col, previous, previousAttribute);
}

}  // namespace

TEST(KittyPlaceholderDecoderTest, TableHoldsTheDiacriticsInOrder)
{
    const auto table = KittyPlaceholderDecoder::diacritics();
    ASSERT_EQ(table.size(), 297u);
    EXPECT_EQ(table[0], U'\u0305');
    EXPECT_EQ(table[296], U'\U0001D244');
    for (size_t i = 0; i < table.size(); ++i) EXPECT_EQ(KittyPlaceholderDecoder::diacriticIndex(table[i]), int64_t(i));
    EXPECT_FALSE(KittyPlaceholderDecoder::diacriticIndex(U'A'));
}

TEST(KittyPlaceholderDecoderTest, CellsPrintedByTheTerminalDecode)
{
    StripTerminal t;
    t.command("a=t,i=42,f=32,s=2,v=1,q=2", base64::encode(std::vector<uint8_t>(8, 255)));
    t.command("a=p,i=42,U=1,c=2,r=1,q=2");
    ASSERT_TRUE(t.hasRecord(42, 1));
    t.feed("\x1b[H\x1b[38;5;42m" + kPlaceholder + kRow0 + kRow0 + kPlaceholder);
    std::optional<KittyPlaceholderCell> previous;
    std::optional<Attribute> previousAttribute;
    std::vector<KittyPlaceholderCell> cells;
    for (int col = 0; col < 3; ++col) {
        const auto text = t.terminal.getCharacter(col, 0);
        const auto cell = t.terminal.getCharData(col, 0);
        ASSERT_TRUE(text && cell);
        const auto decoded =
            KittyPlaceholderDecoder::decode(*text, cell->attribute, 0, col, previous, previousAttribute);
        if (decoded) cells.push_back(*decoded);
        previous = decoded;
        previousAttribute = cell->attribute;
    }
    ASSERT_EQ(cells.size(), 2u);
    EXPECT_EQ(cells[0], (KittyPlaceholderCell{0, 0, 42, 0, 0, 0, 0}));
    EXPECT_EQ(cells[1], (KittyPlaceholderCell{0, 1, 42, 0, 0, 1, 0}));
}

TEST(KittyPlaceholderDecoderTest, IdsComeFromColoursAndTheThirdDiacritic)
{
    Attribute rgb;
    rgb.fg = Attribute::Color::trueColor(1, 2, 3);
    EXPECT_EQ(decodeCell(kPlaceholder + kRow0 + kIndex1, rgb)->imageId, 66051u);
    const auto high = decodeCell(kPlaceholder + kRow0 + kIndex1 + kIndex2, rgb);
    EXPECT_EQ(high->imageId, 33620483u);
    EXPECT_EQ(high->msb, 2);
    EXPECT_EQ(high->placementId, 0u);
    // The last diacritic's index is kept whole; the id's top byte stops at 255.
    const std::string last = "\xf0\x9d\x89\x84";  // U+1D244, index 296
    const auto top = decodeCell(kPlaceholder + kRow0 + kRow0 + last, rgb);
    EXPECT_EQ(top->msb, 296);
    EXPECT_EQ(top->imageId, (255u << 24) + 66051u);
    Attribute underlined = rgb;
    underlined.underlineColor = Attribute::Color::ansi256(7);
    EXPECT_EQ(decodeCell(kPlaceholder, underlined)->placementId, 7u);
    EXPECT_FALSE(decodeCell("A", rgb));
    EXPECT_FALSE(decodeCell("", rgb));
}

TEST(KittyPlaceholderDecoderTest, BareCellsContinueTheirNeighbour)
{
    Attribute attribute;
    attribute.fg = Attribute::Color::ansi256(9);
    const auto first = decodeCell(kPlaceholder + kIndex1 + kIndex2 + kIndex1, attribute, 4);  // row 1, col 2, msb 1
    ASSERT_TRUE(first);
    const auto next = decodeCell(kPlaceholder, attribute, 5, first, attribute);
    EXPECT_EQ(next->placeholderRow, 1);
    EXPECT_EQ(next->placeholderCol, 3);
    EXPECT_EQ(next->msb, 1);
    // Same row diacritic continues; a different one restarts the column.
    EXPECT_EQ(decodeCell(kPlaceholder + kIndex1, attribute, 5, first, attribute)->placeholderCol, 3);
    EXPECT_EQ(decodeCell(kPlaceholder + kIndex2, attribute, 5, first, attribute)->placeholderCol, 0);
    // Row and column given: the high byte carries on only when they follow on.
    EXPECT_EQ(decodeCell(kPlaceholder + kIndex1 + "\xcc\x90", attribute, 5, first, attribute)->msb, 1);
    EXPECT_EQ(decodeCell(kPlaceholder + kIndex1 + kIndex1, attribute, 5, first, attribute)->msb, 0);
    // A gap, another colour or another underline colour restarts at (0, 0).
    Attribute other = attribute;
    other.fg = Attribute::Color::ansi256(10);
    Attribute underlined = attribute;
    underlined.underlineColor = Attribute::Color::ansi256(1);
    for (const auto& [col, cellAttribute] : {std::pair{6, attribute}, {5, other}, {5, underlined}}) {
        const auto restarted = decodeCell(kPlaceholder, cellAttribute, col, first, attribute);
        EXPECT_EQ(restarted->placeholderRow, 0);
        EXPECT_EQ(restarted->placeholderCol, 0);
        EXPECT_EQ(restarted->msb, 0);
    }
}
