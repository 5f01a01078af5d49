// Renders one glyph of a raw font into a premultiplied BGRA bitmap for the
// glyph atlases. The font is already at device pixel size (scale times point
// size). Glyphs are drawn in white with grayscale anti-aliasing, so a
// monochrome glyph keeps equal blue, green and red bytes and only colour
// glyphs (emoji) count as colour. Stateless; GUI thread (fonts are not
// thread-safe in Qt).
#pragma once

#include <QRawFont>

#include <cstdint>
#include <optional>
#include <vector>

namespace corvel::gl {

struct GlyphBitmap {
    int width = 0;   // at least 1
    int height = 0;  // at least 1
    // Floor of the glyph bounds' minimum x and minimum y in pixels, y upwards
    // from the baseline.
    int bearingX = 0;
    int bearingY = 0;
    // width * height * 4 bytes, premultiplied BGRA, top row first.
    std::vector<std::uint8_t> pixels;
    // Some pixel's blue, green and red bytes are not all equal.
    bool isColor = false;
};

class GlyphRasterizer {
public:
    // Nothing for a glyph with empty bounds (a space) or when no bitmap can
    // be made.
    static std::optional<GlyphBitmap> rasterize(const QRawFont& font, quint32 glyph);
    // The glyph stretched by the given factors (double-width and
    // double-height lines), drawn from its outline at that size.
    static std::optional<GlyphBitmap> rasterize(const QRawFont& font, quint32 glyph, double scaleX, double scaleY);
};

}  // namespace corvel::gl
