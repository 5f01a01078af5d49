// A host's image insertion without pixels, for tests and benchmarks of the
// image protocols: images are sized in cells as a view would size them (cell
// size and frame in pixels, scale 1), cut into one strip per row (the last,
// partial row included), each strip attached to its line with a line feed,
// and the Kitty steps run around them. A strip records which rectangle of
// the source it shows instead of holding pixels.
#pragma once

#include "corvel/kitty/KittyGraphicsPng.h"
#include "corvel/terminal/KittyPlacementInsertion.h"
#include "corvel/terminal/Terminal.h"
#include "corvel/terminal/TerminalDelegate.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <string>

namespace corvel::testing {

class StripImage final : public KittyPlacementImage {
public:
    StripImage(int64_t width, int64_t height, int64_t col, double sourceY, double sourceHeight)
        : width_(width), height_(height), col_(col), sourceY(sourceY), sourceHeight(sourceHeight)
    {
    }

    int64_t pixelWidth() const override { return width_; }
    int64_t pixelHeight() const override { return height_; }
    int64_t col() const override { return col_; }
    void setCol(int64_t col) override { col_ = col; }
    bool kittyIsKitty() const override { return isKitty_; }
    void setKittyIsKitty(bool value) override { isKitty_ = value; }
    std::optional<uint32_t> kittyImageId() const override { return imageId_; }
    void setKittyImageId(std::optional<uint32_t> value) override { imageId_ = value; }
    std::optional<uint32_t> kittyImageNumber() const override { return imageNumber_; }
    void setKittyImageNumber(std::optional<uint32_t> value) override { imageNumber_ = value; }
    std::optional<uint32_t> kittyPlacementId() const override { return placementId_; }
    void setKittyPlacementId(std::optional<uint32_t> value) override { placementId_ = value; }
    int64_t kittyZIndex() const override { return zIndex_; }
    void setKittyZIndex(int64_t value) override { zIndex_ = value; }
    int64_t kittyCol() const override { return kittyCol_; }
    void setKittyCol(int64_t value) override { kittyCol_ = value; }
    int64_t kittyRow() const override { return kittyRow_; }
    void setKittyRow(int64_t value) override { kittyRow_ = value; }
    int64_t kittyCols() const override { return kittyCols_; }
    void setKittyCols(int64_t value) override { kittyCols_ = value; }
    int64_t kittyRows() const override { return kittyRows_; }
    void setKittyRows(int64_t value) override { kittyRows_ = value; }
    int64_t kittyPixelOffsetX() const override { return offsetX_; }
    void setKittyPixelOffsetX(int64_t value) override { offsetX_ = value; }
    int64_t kittyPixelOffsetY() const override { return offsetY_; }
    void setKittyPixelOffsetY(int64_t value) override { offsetY_ = value; }
    int64_t kittyStripIndex() const override { return stripIndex_; }
    void setKittyStripIndex(int64_t value) override { stripIndex_ = value; }

private:
    int64_t width_;
    int64_t height_;
    int64_t col_;

public:
    double sourceY;  // the source rows this strip shows
    double sourceHeight;

private:
    bool isKitty_ = false;
    std::optional<uint32_t> imageId_;
    std::optional<uint32_t> imageNumber_;
    std::optional<uint32_t> placementId_;
    int64_t zIndex_ = 0;
    int64_t kittyCol_ = 0;
    int64_t kittyRow_ = 0;
    int64_t kittyCols_ = 0;
    int64_t kittyRows_ = 0;
    int64_t offsetX_ = 0;
    int64_t offsetY_ = 0;
    int64_t stripIndex_ = 0;
};

struct StripGeometry {
    int cellWidth = 10;
    int cellHeight = 20;
};

inline double requestedLength(const ImageSizeRequest& request, double cell, double frame, double source)
{
    switch (request.kind) {
    case ImageSizeRequest::Kind::cells: return request.value * cell;
    case ImageSizeRequest::Kind::pixels: return request.value;
    case ImageSizeRequest::Kind::percent: return request.value * 0.01 * frame;
    case ImageSizeRequest::Kind::automatic: return source;
    }
    return 0;
}

// Inserts a source of sw x sh pixels at the cursor; returns the strips made.
// With `opaque` the source counts as opaque all over, as the view tells of
// its strips.
inline int insertPixelLess(Terminal& terminal, double sw, double sh, ImageSizeRequest widthRequest,
                           ImageSizeRequest heightRequest, bool preserveAspectRatio, StripGeometry cell,
                           bool opaque = false)
{
    if (!(sw > 0 && sh > 0)) return 0;
    Buffer& buffer = terminal.buffer();
    const double w = cell.cellWidth;
    const double h = cell.cellHeight;
    double width = requestedLength(widthRequest, w, terminal.cols() * w, sw);
    double height = requestedLength(heightRequest, h, terminal.rows() * h, sh);
    const bool widthAuto = widthRequest.kind == ImageSizeRequest::Kind::automatic;
    const bool heightAuto = heightRequest.kind == ImageSizeRequest::Kind::automatic;
    if (preserveAspectRatio && heightAuto && !widthAuto) height = width * sh / sw;
    if (preserveAspectRatio && widthAuto && !heightAuto) width = height * sw / sh;
    if (!(width > 0 && height > 0)) return 0;
    const int64_t maxRows = int64_t{terminal.rows()} + buffer.scrollback().value_or(0);
    const int64_t rows = std::min<int64_t>(static_cast<int64_t>(std::ceil(height / h - 1e-9)), maxRows);
    const int64_t cols = static_cast<int64_t>(std::ceil(width / w - 1e-9));
    const int64_t startCol = buffer.x();
    const int64_t startRow = int64_t{buffer.y()} + buffer.yBase();

    const auto kitty = KittyPlacementInsertion::begin(terminal, startCol, startRow, cols, rows);
    bool scrolled = false;
    for (int64_t i = 0; i < rows; ++i) {
        const double top = static_cast<double>(i) * h;
        const double band = std::min(h, height - top);
        auto strip = std::make_shared<StripImage>(static_cast<int64_t>(width), static_cast<int64_t>(h), buffer.x(),
                                                  top * sh / height, band * sh / height);
        strip->paintedArea = ImagePixelArea{0, 0, static_cast<int64_t>(width), static_cast<int64_t>(std::ceil(band))};
        if (opaque)
            strip->opaqueArea = ImagePixelArea{0, 0, static_cast<int64_t>(width), static_cast<int64_t>(std::floor(band))};
        if (kitty) KittyPlacementInsertion::stamp(terminal, strip, *kitty, i);
        buffer.attachImage(strip, int64_t{buffer.y()} + buffer.yBase());
        terminal.updateRange(buffer.y());
        const int x = buffer.x();
        const int yBase = buffer.yBase();
        const int64_t shifts = terminal.lineShiftCount();
        terminal.cmdLineFeedBasic();
        buffer.setX(x);
        if (buffer.yBase() != yBase || terminal.lineShiftCount() != shifts) scrolled = true;
    }
    if (scrolled) terminal.updateFullScreen();
    if (kitty) KittyPlacementInsertion::finish(terminal, *kitty);
    return static_cast<int>(rows);
}

// A host with a cell size of 10 x 20 pixels (or none) that inserts every
// image it is handed (as opaque ones with `opaqueImages`) and records the
// replies.
class StripHost : public TerminalDelegate {
public:
    void send(Terminal&, std::span<const uint8_t> data) override { replies.append(data.begin(), data.end()); }
    std::optional<CellSize> cellSizeInPixels(Terminal&) override
    {
        if (!hasCellSize) return std::nullopt;
        return CellSize{geometry.cellWidth, geometry.cellHeight};
    }
    void createImageFromBitmap(Terminal& source, std::vector<uint8_t>& bytes, int width, int height) override
    {
        lastBitmap = {width, height};
        lastBitmapBytes = bytes;
        ImageSizeRequest widthRequest = ImageSizeRequest::automatic();
        ImageSizeRequest heightRequest = ImageSizeRequest::automatic();
        bool keep = true;
        if (const auto& context = source.kittyPlacementContext) {
            widthRequest = context->widthRequest;
            heightRequest = context->heightRequest;
            keep = context->preserveAspectRatio;
        } else if (source.cols() * geometry.cellWidth < width) {
            widthRequest = ImageSizeRequest::percent(100);
        }
        insertPixelLess(source, width, height, widthRequest, heightRequest, keep, geometry, opaqueImages);
    }
    void createImage(Terminal& source, std::span<const uint8_t> data, ImageSizeRequest width,
                     ImageSizeRequest height, bool preserveAspectRatio) override
    {
        const auto size = kittyPngPixelSize(data);
        if (!size) return;
        insertPixelLess(source, static_cast<double>(size->width), static_cast<double>(size->height), width, height,
                        preserveAspectRatio, geometry, opaqueImages);
    }

    StripGeometry geometry;
    bool hasCellSize = true;
    bool opaqueImages = false;  // every image inserted counts as opaque all over
    std::string replies;
    std::pair<int, int> lastBitmap{0, 0};
    std::vector<uint8_t> lastBitmapBytes;
};

}  // namespace corvel::testing
