// Where the terminal meets the inline-image protocols: the Kitty graphics
// entry for APC strings (chunk joining, dispatch by action, transmission into
// the image store, the reply writers), the sixel decoder for DCS q strings,
// and removing Kitty images from the screens and the image store. The
// protocol's own work lives in corvel/kitty/; runs on the terminal's thread.
#include "corvel/terminal/Terminal.h"

#include "corvel/screen/TerminalImage.h"
#include "corvel/kitty/SixelDcsHandler.h"
#include "corvel/kitty/KittyGraphicsDecoding.h"
#include "corvel/kitty/KittyGraphicsPending.h"
#include "corvel/kitty/KittyGraphicsReply.h"
#include "corvel/kitty/KittyGraphicsSources.h"
#include "corvel/kitty/KittyGraphicsStore.h"

#include <algorithm>
#include <array>
#include <limits>

namespace corvel {

void Terminal::handleKittyGraphics(std::span<const uint8_t> bytes)
{
    const KittyGraphicsJoin join = joinKittyGraphicsChunk(kittyGraphicsState, parseKittyGraphicsControl(bytes));
    switch (join.kind) {
    case KittyGraphicsJoin::Kind::waiting: return;
    case KittyGraphicsJoin::Kind::overflow: sendKittyError(join.control, kittyGraphicsError::badPayload); return;
    case KittyGraphicsJoin::Kind::run: processKittyGraphics(join.control, join.payload()); return;
    }
}

void Terminal::processKittyGraphics(const KittyGraphicsControl& control, std::span<const uint8_t> base64Payload)
{
    switch (control.action) {
    case 'q':
        // Checked as inline data whatever `t` says; nothing is kept.
        if (decodeKittyPayload(control, base64Payload)) {
            sendKittyOk(control, control.imageId, control.imageNumber, control.placementId);
        } else {
            sendKittyError(control, kittyGraphicsError::badPayload);
        }
        return;
    case 't': handleKittyTransmit(control, base64Payload, false); return;
    case 'T': handleKittyTransmit(control, base64Payload, true); return;
    case 'p': handleKittyPut(control); return;
    case 'd':
    case 'D':
        // A delete closes any open transfer (done while joining) and never
        // replies; placements to select are not kept here.
        return;
    default: sendKittyError(control, kittyGraphicsError::unsupportedAction); return;
    }
}

void Terminal::handleKittyTransmit(const KittyGraphicsControl& control, std::span<const uint8_t> base64Payload,
                                   bool display)
{
    if (control.imageId && control.imageNumber) {
        sendKittyError(control, kittyGraphicsError::idAndNumber);
        return;
    }
    KittyGraphicsLoad load = loadKittyPayload(control, base64Payload);
    if (!load.payload) {
        sendKittyError(control, load.error.empty() ? kittyGraphicsError::badPayload : load.error);
        return;
    }
    std::optional<uint32_t> imageId;
    std::optional<uint32_t> imageNumber;
    if (control.imageNumber) {
        imageId = assignKittyImageId(kittyGraphicsState);
        imageNumber = control.imageNumber;
    } else if (control.imageId) {
        imageId = control.imageId;
    } else {
        // Without an id the image is only shown, never kept or answered.
        if (display) displayKittyImage(*load.payload, control, std::nullopt, std::nullopt);
        return;
    }
    const KittyGraphicsPayload payload = *load.payload;
    storeKittyImage(kittyGraphicsState, std::move(*load.payload), *imageId, imageNumber);
    enforceKittyImageCacheLimit(
        kittyGraphicsState, options_.kittyImageCacheLimitBytes,
        [this] {
            const std::array<Buffer*, 2> buffers{normalBuffer_.get(), altBuffer_.get()};
            return collectUsedKittyImageIds(kittyGraphicsState, buffers);
        },
        imageId);
    if (display && !displayKittyImage(payload, control, imageId, imageNumber)) return;
    sendKittyOk(control, imageId, imageNumber, control.placementId);
}

void Terminal::handleKittyPut(const KittyGraphicsControl& control)
{
    std::optional<uint32_t> imageId;
    std::optional<uint32_t> imageNumber;
    if (control.imageNumber) {
        const auto mapped = kittyGraphicsState.imageNumbers.find(*control.imageNumber);
        if (mapped != kittyGraphicsState.imageNumbers.end() &&
            kittyGraphicsState.imagesById.contains(mapped->second)) {
            imageId = mapped->second;
            imageNumber = control.imageNumber;
        }
    }
    if (!imageId && control.imageId && kittyGraphicsState.imagesById.contains(*control.imageId))
        imageId = control.imageId;
    if (!imageId) {
        sendKittyError(control, kittyGraphicsError::imageNotFound);
        return;
    }
    const KittyGraphicsImage* image = updateKittyImageAccess(kittyGraphicsState, *imageId);
    const KittyGraphicsPayload payload = image->payload;
    if (displayKittyImage(payload, control, imageId, imageNumber))
        sendKittyOk(control, imageId, imageNumber, control.placementId);
}

bool Terminal::displayKittyImage(const KittyGraphicsPayload& payload, const KittyGraphicsControl& control,
                                 std::optional<uint32_t>, std::optional<uint32_t>)
{
    if (!payload.bytes) return true;
    withDelegate([&](TerminalDelegate& host) {
        if (payload.kind == KittyGraphicsPayload::Kind::rgba) {
            // The host takes the pixels in-out; the store keeps its own.
            std::vector<uint8_t> pixels = *payload.bytes;
            host.createImageFromBitmap(*this, pixels, static_cast<int>(payload.width),
                                       static_cast<int>(payload.height));
            return;
        }
        const auto cells = [](int64_t count) {
            return count > 0 ? ImageSizeRequest::cells(static_cast<int>(std::min<int64_t>(count, std::numeric_limits<int>::max())))
                             : ImageSizeRequest::automatic();
        };
        host.createImage(*this, *payload.bytes, cells(control.columns), cells(control.rows),
                         control.columns == 0 || control.rows == 0);
    });
    return true;
}

void Terminal::sendKittyOk(const KittyGraphicsControl& control, std::optional<uint32_t> imageId,
                           std::optional<uint32_t> imageNumber, std::optional<uint32_t> placementId)
{
    if (control.suppressResponses != 0) return;
    sendResponse(cc.apc(), kittyGraphicsOkBody(imageId, imageNumber, placementId), cc.st());
}

void Terminal::sendKittyError(const KittyGraphicsControl& control, std::string_view message)
{
    if (control.suppressResponses != 0) return;
    sendResponse(cc.apc(), kittyGraphicsErrorBody(control, message), cc.st());
}

// The decoder hands its bitmap to the host, which places it at the cursor.
// The parser that owns the handler belongs to this terminal, so the handler
// never outlives it.
std::unique_ptr<DcsHandler> Terminal::makeSixelDcsHandler()
{
    return std::make_unique<SixelDcsHandler>(defaultAnsiColors, [this](std::vector<uint8_t>& pixels, int width,
                                                                       int height) {
        withDelegate([&](TerminalDelegate& host) { host.createImageFromBitmap(*this, pixels, width, height); });
    });
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
    // An open chunked transfer goes too: its later chunks must not join a
    // transfer that began before the reset.
    kittyGraphicsState.pending.reset();
    kittyGraphicsState.imagesById.clear();
    kittyGraphicsState.imageNumbers.clear();
    kittyGraphicsState.placementsByKey.clear();
    kittyGraphicsState.totalImageBytes = 0;
    kittyGraphicsState.nextImageAccessTick = 1;
    ++kittyGraphicsState.mutationCount;
    updateRange(buffer_->scrollTop());
    updateRange(buffer_->scrollBottom());
}

void Terminal::clearKittyImages(Buffer& target, bool isAlternateBuffer)
{
    std::erase_if(kittyGraphicsState.placementsByKey,
                  [&](const auto& entry) { return entry.second.isAlternateBuffer == isAlternateBuffer; });
    ++kittyGraphicsState.mutationCount;
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
