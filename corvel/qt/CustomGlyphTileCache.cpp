// Tile rendering: the renderers draw into a transparent ARGB32 premultiplied
// image with the same device-pixel geometry they use on the view, then the
// image is checked for partly covered pixels and cut to its painted part.
#include "corvel/qt/CustomGlyphTileCache.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <functional>

#include "corvel/qt/BlockElementRenderer.h"
#include "corvel/qt/BoxDrawingRenderer.h"

namespace corvel::qt {

namespace {

// The tile of a drawn cell image: nothing when a pixel is partly covered or
// nothing is painted, else the opaque pixels' bounding box, without alpha
// when every pixel in it is painted.
std::optional<CustomGlyphTileCache::Tile> tileOf(const QImage& image)
{
    int left = image.width(), right = -1, top = image.height(), bottom = -1;
    bool holes = false;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int alpha = qAlpha(line[x]);
            if (alpha == 0) continue;
            if (alpha != 255) return std::nullopt;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0) return std::nullopt;
    const QRect box(QPoint(left, top), QPoint(right, bottom));
    for (int y = box.top(); y <= box.bottom() && !holes; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = box.left(); x <= box.right(); ++x) holes = holes || qAlpha(line[x]) == 0;
    }
    QImage part = image.copy(box);
    if (!holes) part = part.convertToFormat(QImage::Format_RGB32);
    return CustomGlyphTileCache::Tile{std::move(part), box.topLeft()};
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
const CustomGlyphTileCache::Tile* CustomGlyphTileCache::lookup(const Key& key, Draw&& draw)
{
    Recent& recent = recent_[key.codePoint & 0xff];
    if (recent.slot && recent.key == key) {
        ++hits_;
        return *recent.slot ? &**recent.slot : nullptr;
    }
    if (auto found = tiles_.find(key); found != tiles_.end()) {
        ++hits_;
        recent = {key, &found->second};
        return found->second ? &*found->second : nullptr;
    }
    ++misses_;
    // First request: noted only. (Two keys of one hash merely render early.)
    const size_t hash = KeyHash{}(key) | 1;
    size_t& seen = seen_[hash % seen_.size()];
    if (seen != hash) {
        seen = hash;
        return nullptr;
    }
    if (tiles_.size() >= maxEntries) return nullptr;
    std::optional<Tile> tile;
    if (key.width > 0 && key.height > 0) {
        QImage image(key.width, key.height, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            draw(painter);
        }
        tile = tileOf(image);
    }
    auto& slot = tiles_.emplace(key, std::move(tile)).first->second;
    recent = {key, &slot};
    return slot ? &*slot : nullptr;
}

const CustomGlyphTileCache::Tile* CustomGlyphTileCache::boxTile(char32_t codePoint, QSize sizePx, qreal scale,
                                                                const QColor& color, int baseThicknessPx)
{
    // The drawing depends on the scale only through the lightest stroke.
    const int lightPx = std::max(static_cast<int>(std::lround(scale)), 1);
    const Key key{color.rgba64(), codePoint, sizePx.width(), sizePx.height(), baseThicknessPx, lightPx, true};
    return lookup(key, [&](QPainter& painter) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        BoxDrawingRenderer::draw(painter, codePoint, QRect(QPoint(0, 0), sizePx), scale, color, baseThicknessPx);
    });
}

const CustomGlyphTileCache::Tile* CustomGlyphTileCache::blockTile(char32_t codePoint, QSize sizePx,
                                                                  std::span<const BlockElementRect> rects,
                                                                  const QColor& color, bool antiAlias)
{
    const Key key{color.rgba64(), codePoint, sizePx.width(), sizePx.height(), antiAlias ? 1 : 0, 0, false};
    return lookup(key, [&](QPainter& painter) {
        BlockElementRenderer::draw(painter, QRect(QPoint(0, 0), sizePx), rects, color, antiAlias);
    });
}

}  // namespace corvel::qt
