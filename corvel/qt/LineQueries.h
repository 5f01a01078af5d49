// Small queries that line building and the view's pointer code share: the
// selected columns of a row, the hyperlink payload of a cell, and marking the
// rows of a changed link highlight dirty. Stateless; main thread only, like
// the terminal they read.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "corvel/terminal/LinkMatch.h"
#include "corvel/screen/Position.h"

namespace corvel {
class Terminal;
}

namespace corvel::qt {

// The selected half-open column range on absolute buffer row `row` of a
// selection from `start` (where it began) to `end` (either may come first) on
// a screen `cols` wide, or nothing. The selection's end column is exclusive,
// except that a selection reaching into the last column includes it, in
// whichever direction it was made.
std::optional<ColumnRange> selectedColumnsRange(Position start, Position end, int row, int cols);

// The hyperlink payload text of the cell at an absolute buffer position of
// the display buffer; the right half of a wide character gives the wide
// character's payload. Nothing outside the buffer or without a text payload.
std::optional<std::string> payloadString(Terminal& terminal, Position at);

// Marks the on-screen rows of both highlight ranges dirty so the view redraws
// them; rows scrolled out of view are ignored.
void invalidateLinkHighlight(Terminal& terminal, const std::optional<std::vector<LinkMatch::RowRange>>& oldRange,
                             const std::optional<std::vector<LinkMatch::RowRange>>& newRange);

}  // namespace corvel::qt
