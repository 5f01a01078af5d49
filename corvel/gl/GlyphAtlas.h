// A square texture of glyph bitmaps packed in shelves, with a CPU mirror of
// its whole content. Shelves advance downwards in the mirror; regions are
// packed edge to edge. When a region does not fit, the atlas doubles its edge
// up to `maxSize` (old regions keep their coordinates), and once at
// `maxSize` it empties itself (`didReset`), which makes every region handed
// out before stale. Mirror row 0 is texture row 0, which the shaders sample at
// t = 0. Owned by the renderer; used only by the thread that builds frames.
// Invariants: size <= maxSize; the mirror is what was last uploaded; regions
// handed out since the last reset never overlap.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "corvel/gl/GpuDevice.h"

namespace corvel::gl {

enum class GlyphAtlasFormat : std::uint8_t { grayscale = 0, bgra = 1 };

// A rectangle of atlas pixels; (x, y) is its first column and first row in
// the mirror.
struct AtlasRegion {
    std::int64_t x = 0;
    std::int64_t y = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;

    bool operator==(const AtlasRegion&) const = default;
};

class GlyphAtlas {
public:
    // Nothing when the device cannot make the texture. The start edge is at
    // least 256; maxSize is at least the start edge and at most what the
    // device accepts.
    static std::unique_ptr<GlyphAtlas> create(GpuDevice& device, int size, int maxSize, GlyphAtlasFormat format);
    ~GlyphAtlas();
    GlyphAtlas(const GlyphAtlas&) = delete;
    GlyphAtlas& operator=(const GlyphAtlas&) = delete;

    // A free region of the given size, growing or emptying the atlas when
    // needed; nothing for an empty request or one larger than maxSize.
    std::optional<AtlasRegion> ensureRegion(int width, int height);
    // Copies a BGRA bitmap (rows of width * 4 bytes, top row first) into the
    // region, turning it over so its bottom row lands on the region's first
    // row, and uploads the region. The grayscale atlas keeps only alpha.
    // Ignored when the size differs from the region's.
    void write(const AtlasRegion& region, std::span<const std::uint8_t> pixels, int width, int height);

    GlyphAtlasFormat format() const { return format_; }
    int bytesPerPixel() const { return bytesPerPixel_; }
    int maxSize() const { return maxSize_; }
    int size() const { return size_; }
    GpuHandle texture() const { return texture_; }
    const std::vector<std::uint8_t>& data() const { return data_; }
    int nextX() const { return nextX_; }
    int nextY() const { return nextY_; }
    int rowHeight() const { return rowHeight_; }
    // Whether the last ensureRegion had to empty the atlas.
    bool didReset() const { return didReset_; }

private:
    GlyphAtlas(GpuDevice& device, GlyphAtlasFormat format, int size, int maxSize, GpuHandle texture);
    std::optional<AtlasRegion> reserve(int width, int height);
    void grow(int newSize);
    void reset();
    void uploadAll();

    GpuDevice& device_;
    GlyphAtlasFormat format_;
    int bytesPerPixel_;
    int maxSize_;
    int size_;
    GpuHandle texture_;
    std::vector<std::uint8_t> data_;
    int nextX_ = 0;
    int nextY_ = 0;
    int rowHeight_ = 0;
    bool didReset_ = false;
};

}  // namespace corvel::gl
