// Rendered box-drawing and block-element cells, so a repaint blits one image
// per cell instead of repeating each character's geometry (a cross is four
// fills, a double-line corner four more). A tile is the character drawn by
// BoxDrawingRenderer or BlockElementRenderer into a transparent image of the
// cell's device-pixel size in one colour, cut to its painted part; it is
// keyed by everything the drawing depends on (code point, size, stroke,
// lightest stroke, colour, anti-aliasing).
//
// Invariant: only tiles whose every pixel is either fully transparent or
// fully opaque are handed out. Blitting such a tile writes exactly the pixels
// the direct drawing writes, whatever lies beneath. A tile with partly
// covered pixels (shades, rounded corners, diagonals, translucent colours)
// would blend differently from the direct drawing, so for it the cache
// answers null and the caller draws the character directly (as it does for
// a character that paints nothing); the answer is remembered like a tile.
//
// A tile is rendered on the second request for its key; the first is only
// noted in a small table of key hashes and answered null. A screen of
// ever-new keys (an image of half blocks in true colour, every cell its own
// colour) thus costs a hash per cell instead of a rendered tile per cell.
// Once maxEntries tiles are held, further keys are drawn directly until the
// cache is cleared (the view clears it when its fonts change): memory stays
// bounded, and a full cache never thrashes.
//
// Owned by the view (or whoever draws rows), GUI thread only.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QSize>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>

#include "corvel/qt/BlockElementMapping.h"

namespace corvel::qt {

class CustomGlyphTileCache {
public:
    static constexpr size_t maxEntries = 4096;

    // The painted part of a character: the bounding box of its opaque
    // pixels, at `offset` from the cell's top-left corner (blending the
    // transparent rest would be wasted work). A box wholly painted is kept
    // without alpha, which the raster engine copies instead of blending.
    struct Tile {
        QImage image;
        QPoint offset;
    };

    // The tile of a box-drawing character over `sizePx`, drawn as
    // BoxDrawingRenderer::draw draws it; null when the character must be
    // drawn directly (always on the first request).
    const Tile* boxTile(char32_t codePoint, QSize sizePx, qreal scale, const QColor& color, int baseThicknessPx);

    // The tile of a block element over `sizePx` (`rects` are the code
    // point's rectangles from BlockElementMapping), drawn as
    // BlockElementRenderer::draw draws them; null when it must be drawn
    // directly.
    const Tile* blockTile(char32_t codePoint, QSize sizePx, std::span<const BlockElementRect> rects,
                          const QColor& color, bool antiAlias);

    void clear()
    {
        tiles_.clear();
        recent_.fill({});
        seen_.fill(0);
    }
    size_t size() const { return tiles_.size(); }
    uint64_t hits() const { return hits_; }
    uint64_t misses() const { return misses_; }

private:
    struct Key {
        uint64_t color = 0;  // QRgba64
        char32_t codePoint = 0;
        int width = 0;
        int height = 0;
        int param = 0;  // box: the base stroke; block: anti-aliasing
        int lightPx = 0;  // box: the lightest stroke
        bool box = false;

        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const noexcept;
    };

    template <typename Draw>
    const Tile* lookup(const Key& key, Draw&& draw);

    std::unordered_map<Key, std::optional<Tile>, KeyHash> tiles_;
    // Recent answers by code point, so a repaint mostly skips hashing the
    // whole key; pointers into tiles_ (whose nodes stay put), dropped with it.
    struct Recent {
        Key key;
        const std::optional<Tile>* slot = nullptr;
    };
    std::array<Recent, 256> recent_{};
    // Hashes of keys requested once, by hash; 0 for none.
    std::array<size_t, 2048> seen_{};
    uint64_t hits_ = 0;
    uint64_t misses_ = 0;
};

}  // namespace corvel::qt
