// Image layers of the renderer: textures of inline images (kept while their
// image object lives) and of stored Kitty images (kept while the id is
// stored and its signature holds), the quads of a row's line images and of
// its Kitty placeholder cells, their per-row buffers, and their draws.
// Every texture is premultiplied BGRA uploaded bottom row first, raw RGBA
// Kitty payloads included, so texture coordinate (0, 0) is an image's
// lower-left corner. GUI thread, inside the frame.
#include "corvel/kitty/KittyGraphicsState.h"
#include "corvel/terminal/Terminal.h"

#include "corvel/gl/MetalTerminalRenderer.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <limits>

#include "corvel/gl/MetalViewHost.h"
#include "corvel/qt/QtTerminalImage.h"
#include "corvel/qt/TerminalView.h"

namespace corvel::gl {

namespace {

QImage decodePng(const std::vector<std::uint8_t>& data)
{
    if (data.empty() || data.size() > std::size_t(std::numeric_limits<int>::max())) return {};
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    QImageReader reader(&device);
    QImage image;
    if (!reader.read(&image)) return {};
    return image;
}

// Premultiplied RGBA rows from the top, exactly width x height x 4 bytes.
QImage rawImage(const std::vector<std::uint8_t>& bytes, std::int64_t width, std::int64_t height)
{
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) return {};
    if (bytes.size() < std::size_t(width) * std::size_t(height) * 4) return {};
    return QImage(bytes.data(), int(width), int(height), int(width) * 4, QImage::Format_RGBA8888_Premultiplied).copy();
}

}  // namespace

GpuHandle MetalTerminalRenderer::uploadImage(const QImage& source)
{
    if (source.isNull()) return 0;
    const int limit = device_->maxTextureSize();
    if (source.width() > limit || source.height() > limit) return 0;
    // ARGB32 premultiplied is B, G, R, A in memory on little-endian machines.
    const QImage image = source.convertToFormat(QImage::Format_ARGB32_Premultiplied).mirrored(false, true);
    const GpuHandle texture = device_->createTexture(image.width(), image.height(), TextureFormat::bgra8);
    if (!texture) return 0;
    device_->uploadTexture(texture, 0, 0, image.width(), image.height(), image.constBits(),
                           int(image.bytesPerLine() / 4));
    return texture;
}

void MetalTerminalRenderer::pruneTextureCaches()
{
    for (auto it = imageTextureCache_.begin(); it != imageTextureCache_.end();) {
        if (it->second.image.expired()) {
            device_->deleteTexture(it->second.texture);
            it = imageTextureCache_.erase(it);
        } else {
            ++it;
        }
    }
    MetalViewHost* host = terminalView();
    auto* view = host ? qobject_cast<TerminalView*>(host->terminalWidget()) : nullptr;
    const auto* images = view ? &view->getTerminal().kittyGraphicsState.imagesById : nullptr;
    std::vector<std::uint32_t> gone;
    for (const auto& [id, entry] : kittyTextureCache_)
        if (!images || !images->contains(id)) gone.push_back(id);
    for (std::uint32_t id : gone) {
        device_->deleteTexture(kittyTextureCache_[id].texture);
        kittyTextureCache_.erase(id);
    }
}

GpuHandle MetalTerminalRenderer::textureFor(const std::shared_ptr<TerminalImage>& image)
{
    const auto* qtImage = dynamic_cast<const qt::QtTerminalImage*>(image.get());
    if (!qtImage) return 0;
    if (auto found = imageTextureCache_.find(image.get()); found != imageTextureCache_.end()) {
        if (found->second.image.lock() == image) return found->second.texture;
        device_->deleteTexture(found->second.texture);
        imageTextureCache_.erase(found);
    }
    const GpuHandle texture = uploadImage(qtImage->image());
    if (texture) imageTextureCache_.emplace(image.get(), ImageTexture{image, texture});
    return texture;
}

const MetalTerminalRenderer::KittyTexture* MetalTerminalRenderer::kittyTexture(std::uint32_t imageId)
{
    MetalViewHost* host = terminalView();
    auto* view = host ? qobject_cast<TerminalView*>(host->terminalWidget()) : nullptr;
    if (!view) return nullptr;
    const auto& store = view->getTerminal().kittyGraphicsState.imagesById;
    const auto stored = store.find(imageId);
    if (stored == store.end() || !stored->second.payload.bytes) return nullptr;
    const KittyGraphicsPayload& payload = stored->second.payload;
    const auto& bytes = *payload.bytes;
    const bool png = payload.kind == KittyGraphicsPayload::Kind::png;
    const KittyImageSignature signature{std::uint8_t(png ? 1 : 2),
                                        png ? 0 : payload.width,
                                        png ? 0 : payload.height,
                                        std::int64_t(bytes.size()),
                                        hashBytes(bytes.data(), bytes.size(), 64),
                                        stored->second.generation};
    auto cached = kittyTextureCache_.find(imageId);
    if (cached != kittyTextureCache_.end() && cached->second.signature == signature) return &cached->second;
    const QImage image = png ? decodePng(bytes) : rawImage(bytes, payload.width, payload.height);
    const GpuHandle texture = uploadImage(image);
    if (!texture) return nullptr;
    if (cached != kittyTextureCache_.end()) device_->deleteTexture(cached->second.texture);
    KittyTexture& entry = kittyTextureCache_[imageId];
    entry = {signature, texture, image.width(), image.height()};
    return &entry;
}

void MetalTerminalRenderer::appendLineImages(RowDrawData& out, const RowInputs& in, std::int64_t screenRow,
                                             const std::optional<std::vector<std::shared_ptr<TerminalImage>>>& images,
                                             const QuadTransform& transform)
{
    if (!images || images->empty()) return;
    using Entry = std::pair<const qt::QtTerminalImage*, const std::shared_ptr<TerminalImage>*>;
    std::vector<Entry> under, over, other;
    for (const auto& image : *images) {
        const auto* qtImage = dynamic_cast<const qt::QtTerminalImage*>(image.get());
        if (!qtImage) continue;
        if (!qtImage->kittyIsKitty()) {
            other.emplace_back(qtImage, &image);
        } else {
            (qtImage->kittyZIndex() < 0 ? under : over).emplace_back(qtImage, &image);
        }
    }
    const auto byLayer = [](const Entry& a, const Entry& b) {
        return std::pair(a.first->kittyZIndex(), a.first->kittyImageId().value_or(0)) <
               std::pair(b.first->kittyZIndex(), b.first->kittyImageId().value_or(0));
    };
    std::stable_sort(under.begin(), under.end(), byLayer);
    std::stable_sort(over.begin(), over.end(), byLayer);

    const double s = in.scale;
    const double rowTop = in.viewHeight - in.cellHeight * double(screenRow);
    const auto add = [&](const std::vector<Entry>& list, std::vector<ImageDraw>& layer) {
        for (const auto& [image, shared] : list) {
            const GpuHandle texture = textureFor(*shared);
            if (!texture) continue;
            double left = in.cellWidth * double(image->col());
            double bottom = rowTop - double(image->pixelHeight());
            // Pixel offsets are device pixels; a positive offset moves the
            // image right and down, as in the CPU drawing.
            if (image->kittyIsKitty()) {
                left += double(image->kittyPixelOffsetX()) / s;
                bottom -= double(image->kittyPixelOffsetY()) / s;
            }
            const PxRect rect{s * left, s * bottom, s * (left + double(image->pixelWidth())),
                              s * (bottom + double(image->pixelHeight()))};
            if (auto draw = quads::imageDraw(texture, rect, {0, 0, 1, 1}, transform)) layer.push_back(std::move(*draw));
        }
    };
    add(under, out.underImageDraws);
    add(over, out.overImageDraws);
    add(other, out.otherImageDraws);
}

void MetalTerminalRenderer::appendPlaceholderImages(RowDrawData& out, const RowInputs& in, std::int64_t screenRow,
                                                    const qt::ViewLineInfo& info, const QuadTransform& transform)
{
    if (info.placeholderCells.empty() || !in.virtualPlacements || in.virtualPlacements->empty()) return;
    const double s = in.scale;
    const double cw = in.cellWidth, ch = in.cellHeight;
    const double rowBottom = in.viewHeight - ch * double(screenRow + 1);
    const double rowTop = rowBottom + ch;
    for (const KittyPlaceholderCell& cell : info.placeholderCells) {
        const auto list = in.virtualPlacements->find(cell.imageId);
        if (list == in.virtualPlacements->end()) continue;
        const auto record = std::find_if(list->second.begin(), list->second.end(), [&](const KittyPlacementRecord& p) {
            return (cell.placementId == 0 || cell.placementId == p.placementId) && p.cols >= 1 && p.rows >= 1 &&
                   cell.placeholderCol < p.cols && cell.placeholderRow < p.rows;
        });
        if (record == list->second.end()) continue;
        const KittyTexture* texture = kittyTexture(cell.imageId);
        if (!texture) continue;
        // The whole placement, this cell at (placeholderCol, placeholderRow)
        // of it; a positive Y offset moves it down.
        const double left = double(record->pixelOffsetX) / s + cw * double(cell.col - cell.placeholderCol);
        const double top = rowTop - double(record->pixelOffsetY) / s + ch * double(cell.placeholderRow);
        const double width = cw * double(record->cols);
        const double height = ch * double(record->rows);
        if (!(width > 0) || !(height > 0)) continue;
        const QRectF fit = TerminalView::kittyAspectFitRect(QSizeF(texture->width / s, texture->height / s),
                                                            QRectF(left, top - height, width, height));
        const double cellLeft = cw * double(cell.col);
        const PxRect visible{std::max(fit.left(), cellLeft), std::max(fit.top(), rowBottom),
                             std::min(fit.right(), cellLeft + cw), std::min(fit.bottom(), rowTop)};
        if (!(visible.x0 < visible.x1) || !(visible.y0 < visible.y1)) continue;
        // QRectF's top() is its smaller y: here the fitted image's bottom.
        const PxRect uv{(visible.x0 - fit.left()) / fit.width(), (visible.y0 - fit.top()) / fit.height(),
                        (visible.x1 - fit.left()) / fit.width(), (visible.y1 - fit.top()) / fit.height()};
        const PxRect rect{s * visible.x0, s * visible.y0, s * visible.x1, s * visible.y1};
        if (auto draw = quads::imageDraw(texture->texture, rect, uv, transform))
            out.placeholderImageDraws.push_back(std::move(*draw));
    }
}

void MetalTerminalRenderer::makeImageDrawBuffers(const std::vector<ImageDraw>& draws,
                                                 std::vector<ImageDrawBuffer>& out)
{
    for (const ImageDraw& draw : draws) {
        if (draw.vertices.empty()) continue;
        const std::size_t bytes = draw.vertices.size() * sizeof(GlyphVertex);
        const GpuHandle buffer = device_->createBuffer(bytes);
        if (!buffer) continue;
        device_->writeBuffer(buffer, 0, draw.vertices.data(), bytes);
        out.push_back({draw.texture, buffer, int(draw.vertices.size())});
        ++building_.rowBuffersMade;
    }
}

void MetalTerminalRenderer::encodeImageRows(const DrawData& data, std::vector<ImageDrawBuffer> RowDrawBuffers::*list,
                                            float w, float h)
{
    for (const auto& row : data.rows) {
        if (!row) continue;
        for (const ImageDrawBuffer& image : (*row).*list)
            device_->draw(DrawCall{textPipeline_, image.buffer, RecordKind::glyphVertex, 0, image.vertexCount,
                                   image.texture, sampler_, w, h});
    }
}

void MetalTerminalRenderer::encodeImageBatches(const std::vector<ImageDraw>& draws, float w, float h)
{
    for (const ImageDraw& draw : draws) {
        if (draw.vertices.empty()) continue;
        const auto buffer = bufferPool_->makeBuffer(std::span<const GlyphVertex>(draw.vertices));
        if (!buffer) continue;
        device_->draw(DrawCall{textPipeline_, buffer->id, RecordKind::glyphVertex, 0, int(draw.vertices.size()),
                               draw.texture, sampler_, w, h});
    }
}

}  // namespace corvel::gl
