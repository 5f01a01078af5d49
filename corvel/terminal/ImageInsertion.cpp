// Image placement at the cursor. The steps, in order: the target size from
// the request (bounded), the cells it covers, then one strip per covered row,
// each attached to the cursor's line followed by a basic line feed with the
// column put back, and the whole screen marked dirty when the strips
// scrolled it. A placement record for the Kitty protocol, when one is being
// displayed, belongs between sizing and the strips (see insert()).
#include "corvel/terminal/ImageInsertion.h"
#include "corvel/terminal/KittyPlacementInsertion.h"

#include "corvel/terminal/Terminal.h"

#include <algorithm>
#include <cmath>

namespace corvel::ImageInsertion {

namespace {

// Absorbs rounding noise, so 34 / 17 counts two rows and not three.
constexpr double kSlack = 1e-9;

bool positive(double value)
{
    return std::isfinite(value) && value > 0;
}

double requested(const ImageSizeRequest& request, double cell, double frame, double source, double scale)
{
    switch (request.kind) {
    case ImageSizeRequest::Kind::cells: return request.value * cell;
    case ImageSizeRequest::Kind::pixels: return request.value;
    case ImageSizeRequest::Kind::percent: return request.value * 0.01 * frame;
    case ImageSizeRequest::Kind::automatic: return source / scale;
    }
    return 0;
}

int countCeil(double length, double unit)
{
    const double n = std::ceil(length / unit - kSlack);
    return n < 1 ? 0 : static_cast<int>(std::min(n, 1e9));
}

}  // namespace

std::pair<double, double> targetSize(const ImageInsertionRequest& request, const ImageInsertionGeometry& geometry,
                                     int64_t maxRows)
{
    const double sw = request.sourceWidth;
    const double sh = request.sourceHeight;
    if (!positive(sw) || !positive(sh) || !positive(geometry.cellWidth) || !positive(geometry.cellHeight))
        return {0, 0};
    const double scale = positive(geometry.scale) ? geometry.scale : 1.0;
    double w = requested(request.width, geometry.cellWidth, geometry.frameWidth, sw, scale);
    double h = requested(request.height, geometry.cellHeight, geometry.frameHeight, sh, scale);
    const bool widthAuto = request.width.kind == ImageSizeRequest::Kind::automatic;
    const bool heightAuto = request.height.kind == ImageSizeRequest::Kind::automatic;
    // One side follows the other; with both given the image is fitted into
    // the box later, so the box keeps its size.
    const bool linked = request.preserveAspectRatio && widthAuto != heightAuto;
    if (request.preserveAspectRatio) {
        if (heightAuto && !widthAuto) h = w * sh / sw;
        if (widthAuto && !heightAuto) w = h * sw / sh;
    }
    if (!positive(w) || !positive(h)) return {0, 0};

    const double maxWidth = std::max(geometry.frameWidth, geometry.cellWidth);
    const double maxHeight = double(std::max<int64_t>(maxRows, 1)) * geometry.cellHeight;
    if (linked || (request.preserveAspectRatio && widthAuto && heightAuto)) {
        const double factor = std::min({1.0, maxWidth / w, maxHeight / h});
        w *= factor;
        h *= factor;
    } else {
        w = std::min(w, maxWidth);
        h = std::min(h, maxHeight);
    }
    return {w, h};
}

ImagePixelArea stripPixels(const ImageStrip& strip, bool wholeOnly)
{
    const ImageRect& t = strip.target;
    if (!positive(t.width) || !positive(t.height)) return {};
    const auto low = [&](double v) { return wholeOnly ? std::ceil(v - kSlack) : std::round(v); };
    const auto high = [&](double v) { return wholeOnly ? std::floor(v + kSlack) : std::round(v); };
    const auto at = [](double v, int most) { return static_cast<int64_t>(std::clamp(v, 0.0, double(most))); };
    return {at(low(t.x), strip.width), at(low(t.y), strip.height), at(high(t.x + t.width), strip.width),
            at(high(t.y + t.height), strip.height)};
}

ImageInsertionResult insert(Terminal& terminal, const ImageInsertionRequest& request,
                            const ImageInsertionGeometry& geometry, const ImageStripFactory& makeStrip)
{
    ImageInsertionResult result;
    Buffer& buffer = terminal.buffer();
    const int64_t maxRows = int64_t(buffer.rows()) + buffer.scrollback().value_or(0);
    const auto [w, h] = targetSize(request, geometry, maxRows);
    if (!positive(w) || !positive(h)) return result;

    const double cellHeight = geometry.cellHeight;
    result.width = w;
    result.height = h;
    result.cols = countCeil(w, geometry.cellWidth);
    result.rows = countCeil(h, cellHeight);
    result.startCol = buffer.x();
    result.startRow = int64_t(buffer.y()) + buffer.yBase();

    // Where the source lands in the w x h box: all of it, or fitted and
    // centred when both sides were given and the aspect ratio is kept.
    ImageRect placed{0, 0, w, h};
    const bool bothGiven = request.width.kind != ImageSizeRequest::Kind::automatic &&
                           request.height.kind != ImageSizeRequest::Kind::automatic;
    if (request.preserveAspectRatio && bothGiven) {
        const double factor = std::min(w / request.sourceWidth, h / request.sourceHeight);
        placed.width = request.sourceWidth * factor;
        placed.height = request.sourceHeight * factor;
        placed.x = (w - placed.width) / 2;
        placed.y = (h - placed.height) / 2;
    }

    // While a Kitty placement is being shown the protocol records it and its
    // strips carry the placement's fields.
    const auto kitty =
        KittyPlacementInsertion::begin(terminal, result.startCol, result.startRow, result.cols, result.rows);

    const int stripWidth = std::max(1, static_cast<int>(std::lround(w)));
    const int stripHeight = std::max(1, static_cast<int>(std::lround(cellHeight)));
    for (int i = 0; i < result.rows; ++i) {
        const double bandTop = i * cellHeight;
        const double top = std::max(bandTop, placed.y);
        const double bottom = std::min(bandTop + cellHeight, placed.y + placed.height);
        ImageStrip strip;
        strip.index = i;
        strip.width = stripWidth;
        strip.height = stripHeight;
        strip.col = buffer.x();
        if (bottom > top) {
            const double sy = request.sourceHeight / placed.height;
            strip.source = {0, (top - placed.y) * sy, request.sourceWidth, (bottom - top) * sy};
            strip.target = {placed.x, top - bandTop, placed.width, bottom - top};
        }
        std::shared_ptr<TerminalImage> image = makeStrip(strip);
        if (!image) continue;
        image->paintedArea = stripPixels(strip);
        if (request.sourceOpaque) image->opaqueArea = image->paintedArea;
        if (kitty) KittyPlacementInsertion::stamp(terminal, image, *kitty, i);
        buffer.attachImage(std::move(image), int64_t(buffer.y()) + buffer.yBase());
        terminal.updateRange(buffer.y());
        ++result.attached;

        const int x = buffer.x();
        const int yBase = buffer.yBase();
        const int64_t linesTop = buffer.linesTop;
        const int64_t shifts = terminal.lineShiftCount();
        terminal.cmdLineFeedBasic();
        buffer.setX(x);
        if (buffer.yBase() != yBase || buffer.linesTop != linesTop || terminal.lineShiftCount() != shifts) {
            result.scrolled = true;
        }
    }
    if (result.scrolled) terminal.updateFullScreen();
    if (kitty) KittyPlacementInsertion::finish(terminal, *kitty);
    return result;
}

}  // namespace corvel::ImageInsertion
