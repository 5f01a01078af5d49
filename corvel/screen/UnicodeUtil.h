// How many columns a Unicode scalar takes on the screen, which characters have
// an emoji variation sequence, and the lead-byte table of the print path's
// UTF-8 decoder.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace corvel::UnicodeUtil {

// An inclusive range of scalars.
struct LH {
    uint32_t lo;
    uint32_t hi;
};

// The East Asian Wide and Fullwidth ranges, including the emoji with a wide
// default presentation, in increasing order.
extern const std::array<LH, 123> wideTable;

// The characters that have an emoji variation sequence, in increasing order:
// only these change width with U+FE0E / U+FE0F.
extern const std::array<LH, 183> emojiVariationTable;
bool hasEmojiVariation(char32_t rune);

// Columns taken by `rune`: 0 (joins the previous cell, or takes no room), 1, 2,
// or -1 for a control character that takes no cell.
int columnWidth(char32_t rune);

// The width by the rules themselves, without the precomputed table that
// `columnWidth` answers from; for tests and for building that table.
int columnWidthByRules(char32_t rune);

// Whether `rune` lies in one of `table[0 ... max]` (sorted, disjoint ranges).
// An empty table, or a `max` outside it, finds nothing beyond the table's end.
bool bisearch(char32_t rune, std::span<const LH> table, int max);

// Indexed by the first byte of a UTF-8 sequence. The low nibble is the length
// of the sequence; the high nibble picks the accepted range of the second byte
// from `acceptRanges`, or is 0xF for a byte that stands alone (ASCII as 0xF0,
// a byte that cannot start a sequence as 0xF1).
inline constexpr std::array<uint8_t, 256> first = [] {
    std::array<uint8_t, 256> t{};
    for (int b = 0x00; b <= 0x7F; ++b) t[b] = 0xF0;
    for (int b = 0x80; b <= 0xC1; ++b) t[b] = 0xF1;
    for (int b = 0xC2; b <= 0xDF; ++b) t[b] = 0x02;
    t[0xE0] = 0x13;
    for (int b = 0xE1; b <= 0xEC; ++b) t[b] = 0x03;
    t[0xED] = 0x23;
    t[0xEE] = 0x03;
    t[0xEF] = 0x03;
    t[0xF0] = 0x34;
    for (int b = 0xF1; b <= 0xF3; ++b) t[b] = 0x04;
    t[0xF4] = 0x44;
    for (int b = 0xF5; b <= 0xFF; ++b) t[b] = 0xF1;
    return t;
}();

// Accepted second-byte ranges by the high nibble of `first`; they refuse
// overlong forms, surrogates and scalars above U+10FFFF.
struct AcceptRange {
    uint8_t lo;
    uint8_t hi;
};
inline constexpr std::array<AcceptRange, 5> acceptRanges{{
    {0x80, 0xBF},
    {0xA0, 0xBF},
    {0x80, 0x9F},
    {0x90, 0xBF},
    {0x80, 0x8F},
}};

}  // namespace corvel::UnicodeUtil
