// Where the terminal meets the inline-image protocols: the Kitty graphics
// entry for APC strings (chunk joining, dispatch by action, transmission into
// the image store, the reply writers), the sixel decoder for DCS q strings,
// and removing Kitty images from the screens and the image store. The
// protocol's own work lives in corvel/kitty/; runs on the terminal's thread.
#include "corvel/terminal/Terminal.h"
#include "corvel/terminal/TerminalInternals.h"

#include "corvel/screen/TerminalImage.h"
#include "corvel/kitty/SixelDcsHandler.h"
#include "corvel/kitty/KittyGraphicsDecoding.h"
#include "corvel/kitty/KittyGraphicsPending.h"
#include "corvel/kitty/KittyGraphicsPng.h"
#include "corvel/kitty/KittyGraphicsReply.h"
#include "corvel/kitty/KittyGraphicsSources.h"
#include "corvel/kitty/KittyGraphicsStore.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <new>

namespace corvel {

void Terminal::handleKittyGraphics(std::span<const uint8_t> bytes)
{
    // Any command may store, place or delete: the GPU renderer redraws
    // images and placeholders when this moves.
    ++kittyGraphicsState.mutationCount;
    const KittyGraphicsJoin join = joinKittyGraphicsChunk(kittyGraphicsState, parseKittyGraphicsControl(bytes));
    switch (join.kind) {
    case KittyGraphicsJoin::Kind::waiting: return;
    case KittyGraphicsJoin::Kind::overflow: sendKittyError(join.control, kittyGraphicsError::badPayload); return;
    case KittyGraphicsJoin::Kind::run:
        // Loading and decoding answer a refused allocation themselves; one
        // later on (a cropped copy, the host's image) still ends only this
        // command, answered as a payload the terminal could not take.
        try {
            processKittyGraphics(join.control, join.payload());
        } catch (const std::bad_alloc&) {
            sendKittyError(join.control, kittyGraphicsError::badPayload);
        }
        return;
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
    case 'D': handleKittyDelete(control); return;
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
    KittyPlacementIndex& index = kittyIndex();
    enforceKittyImageCacheLimit(
        kittyGraphicsState, options_.kittyImageCacheLimitBytes,
        [&](uint32_t id) { return index.showsImage(id) || kittyImageOnLines(kittyGraphicsState, id); }, imageId);
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

namespace {

// Numbers that reach cursor and cell arithmetic are held to +-2^31 first, so
// sums and products of them cannot overflow.
constexpr int64_t kKittyNumberLimit = int64_t{1} << 31;

int64_t clampKittyNumber(int64_t value)
{
    return std::clamp(value, -kKittyNumberLimit, kKittyNumberLimit);
}

ImageSizeRequest cellsOrAuto(int64_t count)
{
    return count > 0 ? ImageSizeRequest::cells(static_cast<int>(std::min<int64_t>(count, std::numeric_limits<int>::max())))
                     : ImageSizeRequest::automatic();
}

int cursorValue(int64_t value)
{
    return static_cast<int>(std::min<int64_t>(value, std::numeric_limits<int>::max()));
}

// Holds the terminal's placement context for as long as a Kitty image is
// being inserted, and clears it on every way out, a host's failure
// included: an image inserted later is never taken for this placement.
class PlacementContextScope {
public:
    PlacementContextScope(std::optional<KittyPlacementContext>& slot, const KittyPlacementContext& context)
        : slot_(slot)
    {
        slot_ = context;
    }
    ~PlacementContextScope() { slot_.reset(); }
    PlacementContextScope(const PlacementContextScope&) = delete;
    PlacementContextScope& operator=(const PlacementContextScope&) = delete;

private:
    std::optional<KittyPlacementContext>& slot_;
};

}  // namespace

bool Terminal::displayKittyImage(const KittyGraphicsPayload& payload, const KittyGraphicsControl& control,
                                 std::optional<uint32_t> callImageId, std::optional<uint32_t> callImageNumber)
{
    const std::optional<uint32_t> imageId = callImageId ? callImageId : control.imageId;
    const std::optional<uint32_t> imageNumber = callImageNumber ? callImageNumber : control.imageNumber;
    std::optional<TerminalDelegate::CellSize> cell;
    withDelegate([&](TerminalDelegate& host) { cell = host.cellSizeInPixels(*this); });
    if (cell && (cell->width < 1 || cell->height < 1)) cell.reset();

    // Pixel offsets never reach the next cell.
    int64_t offsetX = clampKittyNumber(control.pixelOffsetX);
    int64_t offsetY = clampKittyNumber(control.pixelOffsetY);
    if (offsetX < 1 && offsetY < 1) {
        offsetX = 0;
        offsetY = 0;
    } else {
        offsetX = std::max<int64_t>(offsetX, 0);
        offsetY = std::max<int64_t>(offsetY, 0);
        if (cell) {
            offsetX = std::min<int64_t>(offsetX, std::max(cell->width - 1, 0));
            offsetY = std::min<int64_t>(offsetY, std::max(cell->height - 1, 0));
        }
    }
    const int64_t columns = clampKittyNumber(control.columns);
    const int64_t rows = clampKittyNumber(control.rows);
    Buffer& b = *buffer_;

    if (control.unicodePlaceholder == 1) {
        if (control.parentImageId || control.parentPlacementId) {
            sendKittyError(control, kittyGraphicsError::virtualWithParent);
            return false;
        }
        if (!imageId) return true;
        const KittyPlacementOrigin origin = resolveKittyPlacementOrigin(control);
        if (!origin.error.empty()) {
            sendKittyError(control, origin.error);
            return false;
        }
        uint32_t placementId = 0;
        if (control.placementId) {
            placementId = *control.placementId;
        } else {
            KittyGraphicsState& state = kittyGraphicsState;
            placementId = state.nextPlacementId == 0 ? 1 : state.nextPlacementId;
            state.nextPlacementId = state.nextPlacementId == 0 ? 2 : state.nextPlacementId + 1;
        }
        removeKittyPlacement(*imageId, placementId);
        KittyPlacementRecord record;
        record.imageId = *imageId;
        record.placementId = placementId;
        record.pixelOffsetX = offsetX;
        record.pixelOffsetY = offsetY;
        record.col = b.x();
        record.row = int64_t{b.y()} + b.yBase();
        record.cols = std::max<int64_t>(columns, 0);
        record.rows = std::max<int64_t>(rows, 0);
        record.zIndex = control.zIndex;
        record.isVirtual = true;
        record.isAlternateBuffer = isCurrentBufferAlternate();
        storeKittyPlacementRecord(record);
        return true;
    }

    KittyPlacementContext context;
    context.imageId = imageId;
    context.imageNumber = imageNumber;
    context.placementId = control.placementId;
    context.parentImageId = control.parentImageId;
    context.parentPlacementId = control.parentPlacementId;
    context.parentOffsetH = clampKittyNumber(control.offsetH);
    context.parentOffsetV = clampKittyNumber(control.offsetV);
    context.zIndex = control.zIndex;
    context.widthRequest = cellsOrAuto(columns);
    context.heightRequest = cellsOrAuto(rows);
    context.preserveAspectRatio = columns == 0 || rows == 0;
    context.cursorPolicy = control.cursorPolicy;
    context.pixelOffsetX = offsetX;
    context.pixelOffsetY = offsetY;

    const KittyPlacementOrigin origin = resolveKittyPlacementOrigin(control);
    if (!origin.error.empty()) {
        sendKittyError(control, origin.error);
        return false;
    }
    context.isRelative = origin.isRelative;

    // Cropping works on pixels: an encoded image is decoded first.
    std::optional<KittyRgbaImage> pixels;
    if (payload.kind == KittyGraphicsPayload::Kind::rgba && payload.bytes)
        pixels = KittyRgbaImage{*payload.bytes, payload.width, payload.height};
    const int64_t cropX = clampKittyNumber(control.cropX);
    const int64_t cropY = clampKittyNumber(control.cropY);
    if (cropX != 0 || cropY != 0 || control.cropWidth != 0 || control.cropHeight != 0) {
        if (!pixels && payload.bytes) pixels = decodePngToRgba(*payload.bytes);
        if (!pixels) {
            sendKittyError(control, kittyGraphicsError::cannotCropPng);
            return false;
        }
        const int64_t fullWidth = pixels->width;
        const int64_t fullHeight = pixels->height;
        const int64_t left = std::clamp<int64_t>(cropX, 0, fullWidth);
        const int64_t top = std::clamp<int64_t>(cropY, 0, fullHeight);
        const int64_t width =
            control.cropWidth >= 1 ? std::min(control.cropWidth, fullWidth - left) : fullWidth - left;
        const int64_t height =
            control.cropHeight >= 1 ? std::min(control.cropHeight, fullHeight - top) : fullHeight - top;
        if (left != 0 || top != 0 || width != fullWidth || height != fullHeight) {
            if (width < 1 || height < 1) {
                sendKittyError(control, kittyGraphicsError::badCrop);
                return false;
            }
            KittyRgbaImage cropped;
            cropped.width = width;
            cropped.height = height;
            cropped.bytes.resize(static_cast<size_t>(width * height * 4));
            for (int64_t row = 0; row < height; ++row) {
                const auto from = pixels->bytes.begin() + ((top + row) * fullWidth + left) * 4;
                std::copy(from, from + width * 4, cropped.bytes.begin() + row * width * 4);
            }
            pixels = std::move(cropped);
        }
    }

    // A relative placement must land on the screen; checked before anything
    // changes, so a refused one keeps the placement it would replace.
    std::optional<int64_t> relativeRow;
    if (origin.col && origin.row) {
        const int64_t screenRow = *origin.row - b.yBase();
        if (screenRow < 0 || screenRow >= rows_) {
            sendKittyError(control, kittyGraphicsError::outOfRange);
            return false;
        }
        relativeRow = screenRow;
    }

    const PlacementContextScope placing(kittyPlacementContext, context);
    const int savedX = b.x();
    const int savedY = b.y();
    if (imageId && control.placementId) removeKittyPlacement(*imageId, *control.placementId);
    if (relativeRow) {
        b.setY(static_cast<int>(*relativeRow));
        b.setX(static_cast<int>(std::clamp<int64_t>(*origin.col, 0, cols_ - 1)));
    }
    const int64_t originCol = b.x();
    const int64_t originLine = int64_t{b.y()} + b.yBase();
    const int64_t shiftsBefore = lineShiftCount_;

    std::optional<std::pair<int64_t, int64_t>> pixelSize;
    if (pixels) {
        pixelSize = std::pair{pixels->width, pixels->height};
    } else if (payload.bytes) {
        if (const auto size = kittyPngPixelSize(*payload.bytes)) pixelSize = std::pair{size->width, size->height};
    }
    try {
        insertLinePicture([&] {
            withDelegate([&](TerminalDelegate& host) {
                if (pixels) {
                    host.createImageFromBitmap(*this, pixels->bytes, static_cast<int>(pixels->width),
                                               static_cast<int>(pixels->height));
                } else if (payload.bytes) {
                    host.createImage(*this, *payload.bytes, context.widthRequest, context.heightRequest,
                                     context.preserveAspectRatio);
                }
            });
        });
    } catch (...) {
        // The host could not finish the image: its strips are gone already,
        // and a record made for them before the first one goes too, so a
        // refused placement leaves nothing (the one it replaced went above).
        if (imageId && control.placementId) removeKittyPlacement(*imageId, *control.placementId);
        throw;
    }
    // Lines the insertion pushed out of a full ring moved the origin up.
    placeCursorAfterKittyImage(control, context, originCol, originLine - (lineShiftCount_ - shiftsBefore), savedX,
                               savedY, pixelSize);
    return true;
}

void Terminal::placeCursorAfterKittyImage(const KittyGraphicsControl& control, const KittyPlacementContext& context,
                                          int64_t originCol, int64_t originLine, int savedX, int savedY,
                                          std::optional<std::pair<int64_t, int64_t>> pixelSize)
{
    Buffer& b = *buffer_;
    if (context.cursorPolicy == 1 || context.isRelative) {
        if (savedX >= 0) b.setX(savedX);
        if (savedY >= 0) b.setY(savedY);
        return;
    }
    std::optional<TerminalDelegate::CellSize> cell;
    withDelegate([&](TerminalDelegate& host) { cell = host.cellSizeInPixels(*this); });
    if (cell && (cell->width < 1 || cell->height < 1)) cell.reset();
    const int64_t c = clampKittyNumber(control.columns);
    const int64_t r = clampKittyNumber(control.rows);
    int64_t moveCols = 0;
    int64_t moveRows = 0;
    if (c >= 1 && r >= 1) {
        moveCols = c;
        moveRows = r;
    } else if (cell && pixelSize && pixelSize->first >= 1 && pixelSize->second >= 1) {
        const double pw = static_cast<double>(pixelSize->first);
        const double ph = static_cast<double>(pixelSize->second);
        double dw = c >= 1 ? static_cast<double>(c) * cell->width : pw;
        double dh = r >= 1 ? static_cast<double>(r) * cell->height : ph;
        if (context.preserveAspectRatio) {
            const double aspect = pw / ph;
            if (c < 1 && r >= 1) dw = aspect * dh;
            if (c >= 1 && r < 1) dh = dw / aspect;
        }
        const double limit = static_cast<double>(kKittyNumberLimit);
        moveCols = std::max<int64_t>(
            1, static_cast<int64_t>(std::min(std::ceil((dw + context.pixelOffsetX) / cell->width), limit)));
        moveRows = std::max<int64_t>(
            1, static_cast<int64_t>(std::min(std::ceil((dh + context.pixelOffsetY) / cell->height), limit)));
    } else {
        return;
    }
    if (cell) {
        // The insertion has already scrolled as far as the image needed.
        const int64_t x = originCol + moveCols;
        const int64_t y = originLine + moveRows - b.yBase();
        if (x >= 0) b.setX(cursorValue(x));
        if (y >= 0) b.setY(cursorValue(y));
    } else {
        const int64_t y = originLine - b.yBase();
        if (originCol >= 0) b.setX(cursorValue(originCol));
        if (y >= 0) b.setY(cursorValue(y));
        restrictCursor(true);
        // More index steps than rows plus scrollback would only scroll blank
        // lines through a ring that already holds nothing else.
        const int64_t steps = std::min<int64_t>(moveRows, int64_t{rows_} + b.scrollback().value_or(0));
        for (int64_t i = 0; i < steps; ++i) cmdIndex();
        if (originCol + moveCols >= 0) b.setX(cursorValue(originCol + moveCols));
    }
    restrictCursor(true);
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
        insertLinePicture([&] {
            withDelegate([&](TerminalDelegate& host) { host.createImageFromBitmap(*this, pixels, width, height); });
        });
    });
}

}  // namespace corvel
