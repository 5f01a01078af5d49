// The Kitty steps of an image insertion.
#include "corvel/terminal/KittyPlacementInsertion.h"

#include "corvel/kitty/KittyGraphicsStore.h"
#include "corvel/screen/TerminalImage.h"
#include "corvel/terminal/Terminal.h"
#include "corvel/terminal/TerminalInternals.h"

#include <algorithm>
#include <limits>

namespace corvel::KittyPlacementInsertion {

std::optional<KittyPlacementInsert> begin(Terminal& terminal, int64_t startCol, int64_t startRow, int64_t cols,
                                          int64_t rows)
{
    if (!terminal.kittyPlacementContext) return std::nullopt;
    KittyPlacementInsert placement{*terminal.kittyPlacementContext, startCol, startRow, cols, rows,
                                   terminal.lineShiftCount()};
    const KittyPlacementContext& context = placement.context;
    if (context.imageId && context.placementId) {
        KittyPlacementRecord record;
        record.imageId = *context.imageId;
        record.placementId = *context.placementId;
        record.parentImageId = context.parentImageId;
        record.parentPlacementId = context.parentPlacementId;
        record.parentOffsetH = context.parentOffsetH;
        record.parentOffsetV = context.parentOffsetV;
        record.pixelOffsetX = context.pixelOffsetX;
        record.pixelOffsetY = context.pixelOffsetY;
        record.col = startCol;
        record.row = startRow;
        record.cols = cols;
        record.rows = rows;
        record.zIndex = context.zIndex;
        record.isVirtual = false;
        record.isAlternateBuffer = terminal.isCurrentBufferAlternate();
        terminal.storeKittyPlacementRecord(record);
    }
    return placement;
}

void stamp(Terminal& terminal, const std::shared_ptr<TerminalImage>& strip, const KittyPlacementInsert& placement,
           int64_t index)
{
    KittyPlacementImage* kitty = strip ? strip->asKittyPlacementImage() : nullptr;
    if (!kitty) return;
    const KittyPlacementContext& context = placement.context;
    kitty->setKittyIsKitty(true);
    kitty->setKittyImageId(context.imageId);
    kitty->setKittyImageNumber(context.imageNumber);
    kitty->setKittyPlacementId(context.placementId);
    kitty->setKittyZIndex(context.zIndex);
    kitty->setKittyPixelOffsetX(context.pixelOffsetX);
    kitty->setKittyPixelOffsetY(context.pixelOffsetY);
    kitty->setKittyCol(placement.startCol);
    kitty->setKittyRow(placement.startRow);
    kitty->setKittyCols(placement.cols);
    kitty->setKittyRows(placement.rows);
    kitty->setKittyStripIndex(index);
    // A strip of a placement with a record is found through the record;
    // one without (no placement id) is noted as showing its image.
    if (!context.imageId) return;
    if (context.placementId) {
        terminal.kittyGraphicsState.placementIndex.noteLineImage({*context.imageId, *context.placementId}, strip);
    } else {
        noteKittyLineImage(terminal.kittyGraphicsState, *context.imageId, strip);
    }
}

void finish(Terminal& terminal, const KittyPlacementInsert& placement)
{
    const KittyPlacementContext& context = placement.context;
    if (context.cursorPolicy != 0 || context.isRelative) return;
    Buffer& buffer = terminal.buffer();
    // Lines a full ring dropped during the strips moved the start up.
    const int64_t startRow = placement.startRow - (terminal.lineShiftCount() - placement.lineShiftCount);
    const int64_t x = placement.startCol + std::max<int64_t>(placement.cols, 1);
    const int64_t y = startRow + std::max<int64_t>(placement.rows, 1) - buffer.yBase();
    constexpr int64_t most = std::numeric_limits<int>::max();
    if (x >= 0) buffer.setX(static_cast<int>(std::min(x, most)));
    if (y >= 0) buffer.setY(static_cast<int>(std::min(y, most)));
    terminal.restrictCursor(true);
}

}  // namespace corvel::KittyPlacementInsertion
