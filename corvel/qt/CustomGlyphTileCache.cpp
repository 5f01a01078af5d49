// Tile rendering: the renderers draw into a transparent ARGB32 premultiplied
// image with the same device-pixel geometry they use on the view, then the
// image is checked for partly covered pixels.
#include "corvel/qt/CustomGlyphTileCache.h"

#include <QPainter>

#include <cmath>
#include <functional>

#include "corvel/qt/BlockElementRenderer.h"
#include "corvel/qt/BoxDrawingRenderer.h"

namespace corvel::qt {

namespace {

// Whether every pixel is fully transparent or fully opaque.
bool coverageIsWhole(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int alpha = qAlpha(line[x]);
            if (alpha != 0 && alpha != 255) return false;
        }
    }
    return true;
}

}  // namespace

size_t CustomGlyphTileCache::KeyHash::operator()(const Key& k) const noexcept
{
    size_t h = std::hash<uint64_t>{}(k.color);
    const auto mix = [&h](uint64_t v) { h ^= std::hash<uint64_t>{}(v) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
    mix(uint64_t(k.codePoint) | uint64_t(k.box) << 32);
    mix(uint64_t(uint32_t(k.width)) | uint64_t(uint32_t(k.height)) << 32);
    mix(uint64_t(uint32_t(k.param)) | uint64_t(uint32_t(k.lightPx)) << 32);
    return h;
}

template <typename Draw>
const QImage* CustomGlyphTileCache::lookup(const Key& key, Draw&& draw)
{
    if (auto found = tiles_.find(key); found != tiles_.end()) {
        ++hits_;
        return found->second ? &*found->second : nullptr;
    }
    ++misses_;
    if (tiles_.size() >= maxEntries) tiles_.clear();
    std::optional<QImage> tile;
    if (key.width > 0 && key.height > 0) {
        QImage image(key.width, key.height, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            draw(painter);
        }
        if (coverageIsWhole(image)) tile = std::move(image);
    }
    auto& slot = tiles_.emplace(key, std::move(tile)).first->second;
    return slot ? &*slot : nullptr;
}

const QImage* CustomGlyphTileCache::boxTile(char32_t codePoint, QSize sizePx, qreal scale, const QColor& color,
                                           int baseThicknessPx)
{
    // The drawing depends on the scale only through the lightest stroke.
    const int lightPx = std::max(static_cast<int>(std::lround(scale)), 1);
    const Key key{color.rgba64(), codePoint, sizePx.width(), sizePx.height(), baseThicknessPx, lightPx, true};
    return lookup(key, [&](QPainter& painter) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        BoxDrawingRenderer::draw(painter, codePoint, QRect(QPoint(0, 0), sizePx), scale, color, baseThicknessPx);
    });
}

const QImage* CustomGlyphTileCache::blockTile(char32_t codePoint, QSize sizePx,
                                             std::span<const BlockElementRect> rects, const QColor& color,
                                             bool antiAlias)
{
    const Key key{color.rgba64(), codePoint, sizePx.width(), sizePx.height(), antiAlias ? 1 : 0, 0, false};
    return lookup(key, [&](QPainter& painter) {
        BlockElementRenderer::draw(painter, QRect(QPoint(0, 0), sizePx), rects, color, antiAlias);
    });
}

}  // namespace corvel::qt
