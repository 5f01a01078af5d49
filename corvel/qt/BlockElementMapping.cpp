// The rectangle table of the block elements, indexed by code point - U+2580.
#include "corvel/qt/BlockElementMapping.h"

#include <array>
#include <vector>

namespace corvel::qt {

double coverage(BlockAlpha alpha)
{
    switch (alpha) {
    case BlockAlpha::full: return 1.0;
    case BlockAlpha::dark: return 0.75;
    case BlockAlpha::medium: return 0.5;
    case BlockAlpha::light: return 0.25;
    }
    return 1.0;
}

std::optional<BlockAlpha> blockAlphaFromCoverage(double value)
{
    for (BlockAlpha a : {BlockAlpha::full, BlockAlpha::dark, BlockAlpha::medium, BlockAlpha::light}) {
        if (coverage(a) == value) return a;
    }
    return std::nullopt;
}

namespace {

constexpr char32_t firstBlock = 0x2580;
constexpr char32_t lastBlock = 0x259F;

using Table = std::array<std::vector<BlockElementRect>, lastBlock - firstBlock + 1>;

Table makeTable()
{
    using A = BlockAlpha;
    const BlockElementRect ul{0, 4, 0, 4, A::full};  // upper left quadrant
    const BlockElementRect ur{4, 8, 0, 4, A::full};
    const BlockElementRect ll{0, 4, 4, 8, A::full};
    const BlockElementRect lr{4, 8, 4, 8, A::full};
    Table t;
    t[0x00] = {{0, 8, 0, 4, A::full}};  // upper half
    for (int i = 1; i <= 8; ++i) {       // lower one eighth ... full block
        t[i] = {{0, 8, static_cast<uint8_t>(8 - i), 8, A::full}};
    }
    for (int i = 1; i <= 7; ++i) {  // left seven eighths ... left one eighth
        t[8 + i] = {{0, static_cast<uint8_t>(8 - i), 0, 8, A::full}};
    }
    t[0x10] = {{4, 8, 0, 8, A::full}};  // right half
    t[0x11] = {{0, 8, 0, 8, A::light}};
    t[0x12] = {{0, 8, 0, 8, A::medium}};
    t[0x13] = {{0, 8, 0, 8, A::dark}};
    t[0x14] = {{0, 8, 0, 1, A::full}};  // upper one eighth
    t[0x15] = {{7, 8, 0, 8, A::full}};  // right one eighth
    t[0x16] = {ll};
    t[0x17] = {lr};
    t[0x18] = {ul};
    t[0x19] = {ul, ll, lr};
    t[0x1A] = {ul, lr};
    t[0x1B] = {ul, ur, ll};
    t[0x1C] = {ul, ur, lr};
    t[0x1D] = {ur};
    t[0x1E] = {ur, ll};
    t[0x1F] = {ur, ll, lr};
    return t;
}

}  // namespace

std::optional<std::span<const BlockElementRect>> BlockElementMapping::rects(char32_t codePoint)
{
    if (codePoint < firstBlock || codePoint > lastBlock) return std::nullopt;
    static const Table table = makeTable();
    const auto& list = table[codePoint - firstBlock];
    if (list.empty()) return std::nullopt;
    return std::span<const BlockElementRect>(list);
}

}  // namespace corvel::qt
