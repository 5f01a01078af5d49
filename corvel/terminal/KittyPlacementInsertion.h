// What the Kitty protocol adds to the host's insertion of an inline image
// while the terminal holds a placement context: the placement record (when
// the context names an image and a placement), the Kitty fields of every
// strip, and the cursor right of and below the image. The host's insertion
// sizes the image in cells and attaches one strip per line; it calls begin()
// after sizing, stamp() on each strip before attaching it and finish() after
// the last one. Runs on the terminal's thread inside a host image callback.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "corvel/kitty/KittyPlacementContext.h"

namespace corvel {

class Terminal;
class TerminalImage;

// One Kitty placement being inserted: the context it was shown with and the
// cell rectangle the insertion gives it.
struct KittyPlacementInsert {
    KittyPlacementContext context;
    int64_t startCol = 0;
    int64_t startRow = 0;  // line index of the first strip's line
    int64_t cols = 0;
    int64_t rows = 0;
    int64_t lineShiftCount = 0;  // the terminal's count when the insertion began
};

namespace KittyPlacementInsertion {

// None unless the terminal holds a placement context (the image is not a
// Kitty placement). Otherwise records the placement when the context has an
// image id and a placement id, and returns what stamp() and finish() need.
std::optional<KittyPlacementInsert> begin(Terminal& terminal, int64_t startCol, int64_t startRow, int64_t cols,
                                          int64_t rows);

// Marks strip `index` (0 the top one) as part of the placement, and notes it
// with the placement's record, or without one as showing the placement's
// image; a strip that is not a KittyPlacementImage is left as it is.
void stamp(Terminal& terminal, const std::shared_ptr<TerminalImage>& strip, const KittyPlacementInsert& placement,
           int64_t index);

// With cursor policy 0 and no parent the cursor goes right of and below the
// image, brought back inside the screen; otherwise it stays where the line
// feeds left it.
void finish(Terminal& terminal, const KittyPlacementInsert& placement);

}  // namespace KittyPlacementInsertion

}  // namespace corvel
