// Inline images of TerminalView: decoding encoded images and RGBA bitmaps
// into premultiplied RGBA QImages, cutting them into row strips through the
// core's ImageInsertion (which sizes, bounds and places them), the aspect-fit
// rectangle and the placeholder image cache of the Kitty protocol. Decoding
// goes through QImageReader, so Qt's image allocation limit bounds what an
// encoded image may unpack to; a bitmap's bytes are checked against its size
// before use. Each strip tells which of its pixels the source reaches and,
// for an opaque source, which it covers whole. GUI thread, inside the
// terminal's parse.
#include "corvel/kitty/KittyGraphicsState.h"
#include "corvel/qt/TerminalView.h"

#include "corvel/terminal/ImageInsertion.h"
#include "corvel/qt/QtTerminalImage.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace corvel {

namespace {

constexpr QImage::Format kImageFormat = QImage::Format_RGBA8888_Premultiplied;
// The largest strip a one-pixel source is filled into by hand.
constexpr int64_t kFilledStripPixels = 4096;

QImage decodeImage(std::span<const uint8_t> data)
{
    if (data.empty() || data.size() > size_t(std::numeric_limits<int>::max())) return {};
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    QImageReader reader(&device);
    const QSize size = reader.size();
    if (size.isValid() && size.isEmpty()) return {};
    QImage image;
    if (!reader.read(&image) || image.isNull()) return {};
    return image.convertToFormat(kImageFormat);
}

// RGBA bytes, premultiplied, rows from the top; null unless there are at
// least width x height x 4 of them. Without `copy` the image reads the
// bytes in place, for use while they last.
QImage bitmapImage(std::span<const uint8_t> bytes, int64_t width, int64_t height, bool copy = true)
{
    if (width <= 0 || height <= 0) return {};
    const uint64_t rowBytes = uint64_t(width) * 4;
    if (rowBytes > uint64_t(std::numeric_limits<int>::max())) return {};
    if (uint64_t(height) > uint64_t(std::numeric_limits<int>::max())) return {};
    const uint64_t needed = rowBytes * uint64_t(height);
    if (bytes.size() < needed) return {};
    const QImage view(bytes.data(), int(width), int(height), int(rowBytes), kImageFormat);
    return copy ? view.copy() : view;
}

// Whether every pixel of `area` (all of the image when none is given) of a
// premultiplied RGBA image is opaque; stops at the first row that is not.
bool isOpaque(const QImage& image, std::optional<ImagePixelArea> area = std::nullopt)
{
    if (image.format() != kImageFormat) return false;
    const ImagePixelArea a = area.value_or(ImagePixelArea{0, 0, image.width(), image.height()});
    const int left = int(std::max<int64_t>(a.left, 0));
    const int right = int(std::min<int64_t>(a.right, image.width()));
    const int bottom = int(std::min<int64_t>(a.bottom, image.height()));
    for (int y = int(std::max<int64_t>(a.top, 0)); y < bottom; ++y) {
        // A row at a time, the pixels ANDed whole (no branch per pixel):
        // alpha is the fourth byte of each, whatever the byte order.
        const auto* row = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
        uint32_t all = ~uint32_t{0};
        for (int x = left; x < right; ++x) all &= row[x];
        uchar bytes[4];
        std::memcpy(bytes, &all, 4);
        if (bytes[3] != 255) return false;
    }
    return true;
}

bool sameArea(const ImagePixelArea& a, const ImagePixelArea& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Whether a rectangle's edges fall on whole pixels.
bool onWholePixels(const ImageRect& rect)
{
    const auto whole = [](double v) { return std::abs(v - std::round(v)) < 1e-9; };
    return rect.width > 0 && rect.height > 0 && whole(rect.x) && whole(rect.y) && whole(rect.x + rect.width) &&
           whole(rect.y + rect.height);
}

}  // namespace

void TerminalView::createImage(Terminal&, std::span<const uint8_t> data, ImageSizeRequest width,
                               ImageSizeRequest height, bool preserveAspectRatio)
{
    const QImage image = decodeImage(data);
    if (image.isNull()) return;
    insertImage(image, width, height, preserveAspectRatio);
}

void TerminalView::createImageFromBitmap(Terminal&, std::vector<uint8_t>& bytes, int width, int height)
{
    // The strips are drawn before this returns: the bytes are read in place.
    const QImage image = bitmapImage(bytes, width, height, false);
    if (image.isNull()) return;
    if (const auto& context = terminal_->kittyPlacementContext) {
        insertImage(image, context->widthRequest, context->heightRequest, context->preserveAspectRatio);
        return;
    }
    // Wider than the view: shown at the view's width.
    const ImageSizeRequest widthRequest =
        this->width() < width ? ImageSizeRequest::percent(100) : ImageSizeRequest::automatic();
    insertImage(image, widthRequest, ImageSizeRequest::automatic(), true);
}

void TerminalView::insertImage(const QImage& image, ImageSizeRequest width, ImageSizeRequest height,
                               bool preserveAspectRatio)
{
    if (!cellDimension_ || image.isNull()) return;
    ImageInsertionGeometry geometry;
    geometry.cellWidth = cellDimension_->width();
    geometry.cellHeight = cellDimension_->height();
    geometry.frameWidth = this->width();
    geometry.frameHeight = this->height();
    geometry.scale = feedScale_ ? *feedScale_ : devicePixelRatioF();
    ImageInsertionRequest request;
    request.sourceWidth = image.width();
    request.sourceHeight = image.height();
    request.width = width;
    request.height = height;
    request.preserveAspectRatio = preserveAspectRatio;

    const QImage source = image.format() == kImageFormat ? image : image.convertToFormat(kImageFormat);
    // A later picture that is opaque all over hides one drawn before in the
    // same cells, which then goes (see Terminal::insertLinePicture). Whether
    // it is opaque is read off the source or, when the source has more
    // pixels than the screen, off each strip as it is drawn.
    const bool readSource = int64_t(source.width()) * source.height() <= int64_t(this->width()) * this->height();
    request.sourceOpaque = readSource && isOpaque(source);
    // A one-pixel source (a colour block, a 1x1 Kitty image) stretched over
    // whole pixels of a small strip is filled without a painter, which costs
    // more than the filling there (larger strips are the painter's).
    const bool onePixel = source.width() == 1 && source.height() == 1;
    uint32_t onlyPixel = 0;
    if (onePixel) std::memcpy(&onlyPixel, source.constScanLine(0), 4);
    ImageInsertion::insert(*terminal_, request, geometry, [&](const ImageStrip& strip) -> std::shared_ptr<TerminalImage> {
        QImage pixels;
        if (onePixel && int64_t(strip.width) * strip.height <= kFilledStripPixels && onWholePixels(strip.target)) {
            const ImagePixelArea area = ImageInsertion::stripPixels(strip, true);
            pixels = filledStrip(strip.width, strip.height, onlyPixel, area);
            if (pixels.isNull()) return nullptr;
        } else {
            pixels = QImage(strip.width, strip.height, kImageFormat);
            if (pixels.isNull()) return nullptr;
            pixels.fill(Qt::transparent);
            if (strip.target.width > 0 && strip.target.height > 0) {
                QPainter painter(&pixels);
                painter.setRenderHint(QPainter::SmoothPixmapTransform);
                painter.setCompositionMode(QPainter::CompositionMode_Source);
                painter.drawImage(QRectF(strip.target.x, strip.target.y, strip.target.width, strip.target.height),
                                  source, QRectF(strip.source.x, strip.source.y, strip.source.width, strip.source.height));
            }
        }
        // Not make_shared: the terminal's ledger of line images holds strips
        // weakly, which would keep a shared block's memory past the strip.
        std::shared_ptr<qt::QtTerminalImage> made(
            new qt::QtTerminalImage(std::move(pixels), strip.width, strip.height, strip.col));
        // Opaque where the source covers pixels whole: opaque as far as it reaches.
        if (!readSource && isOpaque(made->image(), ImageInsertion::stripPixels(strip, true)))
            made->opaqueArea = ImageInsertion::stripPixels(strip);
        return made;
    });
}

QImage TerminalView::filledStrip(int width, int height, uint32_t pixel, const ImagePixelArea& area)
{
    if (const auto& last = lastFilledStrip_; last && last->pixels.width() == width &&
                                               last->pixels.height() == height && last->pixel == pixel &&
                                               sameArea(last->area, area))
        return last->pixels;
    QImage pixels(width, height, kImageFormat);
    if (pixels.isNull()) return pixels;
    // That one pixel wherever it lands (the area lies within the strip), as
    // the painter would draw it, transparent around it. The rows are written
    // through one pointer: each scanLine() call checks again that the image
    // is not shared.
    uchar* const bits = pixels.bits();
    const qsizetype stride = pixels.bytesPerLine();
    if (!area.contains(ImagePixelArea{0, 0, width, height})) std::memset(bits, 0, size_t(pixels.sizeInBytes()));
    for (int64_t y = area.top; y < area.bottom; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(bits + y * stride);
        std::fill(row + area.left, row + area.right, pixel);
    }
    lastFilledStrip_ = FilledStrip{pixels, pixel, area};
    return pixels;
}

QRectF TerminalView::kittyAspectFitRect(QSizeF imageSize, const QRectF& rect)
{
    if (!(imageSize.width() > 0 && imageSize.height() > 0 && rect.width() > 0 && rect.height() > 0)) return rect;
    const double factor = std::min(rect.width() / imageSize.width(), rect.height() / imageSize.height());
    const QSizeF fitted = imageSize * factor;
    return QRectF(rect.x() + (rect.width() - fitted.width()) * 0.5, rect.y() + (rect.height() - fitted.height()) * 0.5,
                  fitted.width(), fitted.height());
}

const QImage* TerminalView::kittyPlaceholderImage(uint32_t imageId)
{
    const auto& store = terminal_->kittyGraphicsState.imagesById;
    const auto stored = store.find(imageId);
    if (stored == store.end() || !stored->second.payload.bytes) {
        placeholderImages_.erase(imageId);
        return nullptr;
    }
    const KittyGraphicsPayload& payload = stored->second.payload;
    if (auto cached = placeholderImages_.find(imageId); cached != placeholderImages_.end()) {
        if (cached->second.source.lock() == payload.bytes) return &cached->second.image;
    }
    QImage image = payload.kind == KittyGraphicsPayload::Kind::png
                       ? decodeImage(*payload.bytes)
                       : bitmapImage(*payload.bytes, payload.width, payload.height);
    if (image.isNull()) {
        placeholderImages_.erase(imageId);
        return nullptr;
    }
    PlaceholderImage& entry = placeholderImages_[imageId];
    entry.source = payload.bytes;
    entry.image = std::move(image);
    return &entry.image;
}

}  // namespace corvel
