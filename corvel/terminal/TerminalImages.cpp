// Where the terminal meets the inline-image protocols: the Kitty graphics
// entry for APC strings, the sixel decoder for DCS q strings, and removing
// Kitty images from the screens and the image store.
#include "corvel/terminal/Terminal.h"
#include "corvel/terminal/TerminalInternals.h"

#include "corvel/screen/TerminalImage.h"

#include <algorithm>

namespace corvel {

// Not implemented yet: Kitty graphics commands are accepted and change nothing.
void Terminal::handleKittyGraphics(std::span<const uint8_t>) {}

// No sixel decoder exists yet: the parser drops the string's payload.
std::unique_ptr<DcsHandler> Terminal::makeSixelDcsHandler()
{
    return nullptr;
}

// Not implemented yet: placements anchored to lines do not follow a scroll.
void Terminal::updateKittyRelativePlacementsForCurrentBuffer() {}

void Terminal::clearAllKittyImages()
{
    // Removing images changes history lines the frozen copy may read through.
    if (snapshotSource_ && snapshotSource_->hasAnyImages()) preserveSnapshotHistory();
    for (Buffer* each : {normalBuffer_.get(), altBuffer_.get()}) {
        // The buffer counts its lines with images, so a buffer without any
        // is not walked.
        if (!each->hasAnyImages()) continue;
        for (int64_t row = 0; row < each->lines().count(); ++row) each->clearImagesFromLine(row);
    }
    kittyGraphicsState.imagesById.clear();
    kittyGraphicsState.imageNumbers.clear();
    kittyGraphicsState.placementsByKey.clear();
    kittyGraphicsState.totalImageBytes = 0;
    kittyGraphicsState.nextImageAccessTick = 1;
    updateRange(buffer_->scrollTop());
    updateRange(buffer_->scrollBottom());
}

void Terminal::clearKittyImages(Buffer& target, bool isAlternateBuffer)
{
    std::erase_if(kittyGraphicsState.placementsByKey,
                  [&](const auto& entry) { return entry.second.isAlternateBuffer == isAlternateBuffer; });
    if (!target.hasAnyImages()) return;
    if (snapshotSource_ == &target) preserveSnapshotHistory();
    for (int64_t row = 0; row < target.lines().count(); ++row) {
        BufferLine& line = target.lines()[row];
        if (!line.images) continue;
        std::erase_if(*line.images, [](const std::shared_ptr<TerminalImage>& image) {
            const auto* kitty = dynamic_cast<const KittyPlacementImage*>(image.get());
            return kitty && kitty->kittyIsKitty();
        });
        if (line.images->empty()) target.clearImagesFromLine(row);
    }
}

}  // namespace corvel
