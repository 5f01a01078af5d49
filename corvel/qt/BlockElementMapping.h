// The block elements U+2580...U+259F (halves, eighths, quadrants, shades) as
// rectangles on an 8 x 8 grid laid over a cell, so the view fills them as
// geometry instead of taking the font's glyphs and neighbouring cells join
// without gaps. The table is process-wide, built once on first use and
// read-only afterwards, so it may be read from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace corvel::qt {

// How much of a rectangle's colour covers the cell: the shades are a full
// cell at partial coverage, not a dot pattern.
enum class BlockAlpha : uint8_t { full, dark, medium, light };

// The coverage of a case: 1.0, 0.75, 0.5, 0.25.
double coverage(BlockAlpha alpha);
// The case with exactly this coverage, or nothing.
std::optional<BlockAlpha> blockAlphaFromCoverage(double value);

// [x0, x1) x [y0, y1) in eighths of the cell; x from the left edge, y from the
// top edge.
struct BlockElementRect {
    uint8_t x0 = 0;
    uint8_t x1 = 0;
    uint8_t y0 = 0;
    uint8_t y1 = 0;
    BlockAlpha alpha = BlockAlpha::full;

    constexpr bool operator==(const BlockElementRect&) const = default;
};

namespace BlockElementMapping {

// The rectangles of a block element, or nothing for any other code point.
std::optional<std::span<const BlockElementRect>> rects(char32_t codePoint);

}  // namespace BlockElementMapping

}  // namespace corvel::qt
