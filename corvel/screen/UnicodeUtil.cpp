#include "corvel/screen/UnicodeUtil.h"

#include "corvel/platform/Unicode.h"

#include <cstring>
#include <map>
#include <vector>

namespace corvel::UnicodeUtil {

const std::array<LH, 123> wideTable{{
    {0x1100, 0x115F}, {0x231A, 0x231B}, {0x2329, 0x232A}, {0x23E9, 0x23EC}, {0x23F0, 0x23F0}, {0x23F3, 0x23F3},
    {0x25FD, 0x25FE}, {0x2614, 0x2615}, {0x2630, 0x2637}, {0x2648, 0x2653}, {0x267F, 0x267F}, {0x268A, 0x268F},
    {0x2693, 0x2693}, {0x26A1, 0x26A1}, {0x26AA, 0x26AB}, {0x26BD, 0x26BE}, {0x26C4, 0x26C5}, {0x26CE, 0x26CE},
    {0x26D4, 0x26D4}, {0x26EA, 0x26EA}, {0x26F2, 0x26F3}, {0x26F5, 0x26F5}, {0x26FA, 0x26FA}, {0x26FD, 0x26FD},
    {0x2705, 0x2705}, {0x270A, 0x270B}, {0x2728, 0x2728}, {0x274C, 0x274C}, {0x274E, 0x274E}, {0x2753, 0x2755},
    {0x2757, 0x2757}, {0x2795, 0x2797}, {0x27B0, 0x27B0}, {0x27BF, 0x27BF}, {0x2B1B, 0x2B1C}, {0x2B50, 0x2B50},
    {0x2B55, 0x2B55}, {0x2E80, 0x2E99}, {0x2E9B, 0x2EF3}, {0x2F00, 0x2FD5}, {0x2FF0, 0x303E}, {0x3041, 0x3096},
    {0x3099, 0x30FF}, {0x3105, 0x312F}, {0x3131, 0x318E}, {0x3190, 0x31E5}, {0x31EF, 0x321E}, {0x3220, 0x3247},
    {0x3250, 0xA48C}, {0xA490, 0xA4C6}, {0xA960, 0xA97C}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF}, {0xFE10, 0xFE19},
    {0xFE30, 0xFE52}, {0xFE54, 0xFE66}, {0xFE68, 0xFE6B}, {0xFF01, 0xFF60}, {0xFFE0, 0xFFE6}, {0x16FE0, 0x16FE4},
    {0x16FF0, 0x16FF6}, {0x17000, 0x18CD5}, {0x18CFF, 0x18D1E}, {0x18D80, 0x18DF2}, {0x1AFF0, 0x1AFF3}, {0x1AFF5, 0x1AFFB},
    {0x1AFFD, 0x1AFFE}, {0x1B000, 0x1B122}, {0x1B132, 0x1B132}, {0x1B150, 0x1B152}, {0x1B155, 0x1B155}, {0x1B164, 0x1B167},
    {0x1B170, 0x1B2FB}, {0x1D300, 0x1D356}, {0x1D360, 0x1D376}, {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E},
    {0x1F191, 0x1F19A}, {0x1F200, 0x1F202}, {0x1F210, 0x1F23B}, {0x1F240, 0x1F248}, {0x1F250, 0x1F251}, {0x1F260, 0x1F265},
    {0x1F300, 0x1F320}, {0x1F32D, 0x1F335}, {0x1F337, 0x1F37C}, {0x1F37E, 0x1F393}, {0x1F3A0, 0x1F3CA}, {0x1F3CF, 0x1F3D3},
    {0x1F3E0, 0x1F3F0}, {0x1F3F4, 0x1F3F4}, {0x1F3F8, 0x1F43E}, {0x1F440, 0x1F440}, {0x1F442, 0x1F4FC}, {0x1F4FF, 0x1F53D},
    {0x1F54B, 0x1F54E}, {0x1F550, 0x1F567}, {0x1F57A, 0x1F57A}, {0x1F595, 0x1F596}, {0x1F5A4, 0x1F5A4}, {0x1F5FB, 0x1F64F},
    {0x1F680, 0x1F6C5}, {0x1F6CC, 0x1F6CC}, {0x1F6D0, 0x1F6D2}, {0x1F6D5, 0x1F6D8}, {0x1F6DC, 0x1F6DF}, {0x1F6EB, 0x1F6EC},
    {0x1F6F4, 0x1F6FC}, {0x1F7E0, 0x1F7EB}, {0x1F7F0, 0x1F7F0}, {0x1F90C, 0x1F93A}, {0x1F93C, 0x1F945}, {0x1F947, 0x1F9FF},
    {0x1FA70, 0x1FA7C}, {0x1FA80, 0x1FA8A}, {0x1FA8E, 0x1FAC6}, {0x1FAC8, 0x1FAC8}, {0x1FACD, 0x1FADC}, {0x1FADF, 0x1FAEA},
    {0x1FAEF, 0x1FAF8}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
}};

bool bisearch(char32_t rune, std::span<const LH> table, int max)
{
    if (table.empty() || max < 0) return false;
    if (size_t(max) >= table.size()) max = int(table.size()) - 1;
    if (rune < table[0].lo || rune > table[size_t(max)].hi) return false;
    int lo = 0;
    int hi = max;
    while (lo <= hi) {
        const int mid = lo + (hi - lo) / 2;
        if (rune > table[size_t(mid)].hi)
            lo = mid + 1;
        else if (rune >= table[size_t(mid)].lo)
            return true;
        else
            hi = mid - 1;
    }
    return false;
}

int columnWidthByRules(char32_t rune)
{
    if (rune == 0) return 0;
    if (rune < 0x20) return -1;
    if (rune < 0x7F) return 1;
    if (rune < 0xA0) return -1;

    using unicode::GeneralCategory;
    const GeneralCategory category = unicode::generalCategory(rune);
    if (unicode::isMark(category)) return 0;
    if (category == GeneralCategory::ModifierSymbol) {
        if (unicode::isEmojiModifier(rune)) return 0;  // skin tones join the emoji before them
        if (rune == 0xFF3E || rune == 0xFF40 || rune == 0xFFE3) return 2;
    } else if (category == GeneralCategory::LineSeparator ||
               category == GeneralCategory::ParagraphSeparator) {
        return 0;
    } else if (category == GeneralCategory::Format) {
        return rune == 0x00AD ? 1 : 0;  // the soft hyphen is shown
    }
    // Hangul medial vowels and final consonants join the leading consonant.
    if ((rune >= 0x1160 && rune <= 0x11FF) || (rune >= 0xD7B0 && rune <= 0xD7FF)) return 0;
    if (rune >= 0x1F1E6 && rune <= 0x1F1FF) return 2;  // regional indicators
    return bisearch(rune, wideTable, int(wideTable.size()) - 1) ? 2 : 1;
}

namespace {

// The rules' answer for every scalar, precomputed once: the scalar's top bits
// pick a block of 256 widths, and identical blocks are stored once, so the
// whole code space fits in a few dozen kilobytes and a lookup is two loads.
struct WidthTable {
    static constexpr char32_t limit = 0x40000;
    static constexpr int blockBits = 8;
    static constexpr size_t blockSize = size_t(1) << blockBits;

    std::array<uint16_t, (limit >> blockBits)> blockIndex{};
    std::vector<int8_t> blocks;

    WidthTable()
    {
        std::map<std::array<int8_t, blockSize>, uint16_t> seen;
        std::array<int8_t, blockSize> block{};
        for (size_t b = 0; b < blockIndex.size(); ++b) {
            const char32_t base = char32_t(b << blockBits);
            for (size_t i = 0; i < blockSize; ++i)
                block[i] = int8_t(columnWidthByRules(base + char32_t(i)));
            auto [it, inserted] = seen.try_emplace(block, uint16_t(seen.size()));
            if (inserted) blocks.insert(blocks.end(), block.begin(), block.end());
            blockIndex[b] = it->second;
        }
    }

    int lookup(char32_t rune) const
    {
        return blocks[(size_t(blockIndex[rune >> blockBits]) << blockBits) | (rune & (blockSize - 1))];
    }
};

const WidthTable& widthTable()
{
    static const WidthTable table;  // built once, safe against concurrent first use
    return table;
}

}  // namespace

int columnWidth(char32_t rune)
{
    if (rune >= 0x20 && rune < 0x7F) return 1;
    if (rune >= WidthTable::limit) return columnWidthByRules(rune);
    return widthTable().lookup(rune);
}

}  // namespace corvel::UnicodeUtil
