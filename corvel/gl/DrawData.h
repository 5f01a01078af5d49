// What one frame of the GPU renderer draws, as built by the renderer's frame
// build: per-row lists of cell records and image quads, their persistent GPU
// buffers, the frame-wide aggregate, the cursor's vertices, and the keys that
// decide when cached rows go stale. Value types, except RowDrawBuffers, which
// owns the GPU buffers it names and deletes them through its device when it
// dies (GUI thread, like the device).
#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "corvel/gl/GpuDevice.h"
#include "corvel/gl/GpuRecords.h"

namespace corvel::gl {

// Textured triangles of one image: six vertices per quad.
struct ImageDraw {
    GpuHandle texture = 0;
    std::vector<GlyphVertex> vertices;
};

// An ImageDraw copied into a GPU buffer of its own.
struct ImageDrawBuffer {
    GpuHandle texture = 0;
    GpuHandle buffer = 0;
    int vertexCount = 0;
};

// The eight lists of a row (RowDrawData) or of a whole frame (FrameDrawData),
// in drawing order apart from the images: under images lie between the
// backgrounds and the glyphs; placeholder, over and other images lie on top.
struct RowDrawData {
    std::vector<ColorCell> backgroundCells;
    std::vector<TextCell> glyphCellsGray;
    std::vector<TextCell> glyphCellsColor;
    std::vector<ColorCell> decorationCells;
    std::vector<ImageDraw> underImageDraws;
    std::vector<ImageDraw> placeholderImageDraws;
    std::vector<ImageDraw> overImageDraws;
    std::vector<ImageDraw> otherImageDraws;

    // Appends every list of `row` to the list of the same name.
    void append(const RowDrawData& row);
};
using FrameDrawData = RowDrawData;

// A row's persistent GPU buffers: one per non-empty cell list (0 and count 0
// for an empty list or a buffer the device could not make), and one per
// image quad list entry.
class RowDrawBuffers {
public:
    explicit RowDrawBuffers(GpuDevice& device) : device_(&device) {}
    ~RowDrawBuffers();
    RowDrawBuffers(const RowDrawBuffers&) = delete;
    RowDrawBuffers& operator=(const RowDrawBuffers&) = delete;

    GpuHandle backgroundBuffer = 0;
    int backgroundCount = 0;
    bool backgroundOpaque = false;  // every background fill is opaque
    GpuHandle glyphGrayBuffer = 0;
    int glyphGrayCount = 0;
    GpuHandle glyphColorBuffer = 0;
    int glyphColorCount = 0;
    GpuHandle decorationBuffer = 0;
    int decorationCount = 0;
    std::vector<ImageDrawBuffer> underImageBuffers;
    std::vector<ImageDrawBuffer> placeholderImageBuffers;
    std::vector<ImageDrawBuffer> overImageBuffers;
    std::vector<ImageDrawBuffer> otherImageBuffers;

    // Buffers made for this row.
    int bufferCount() const;

private:
    GpuDevice* device_;
};

// Everything a frame draws. Per-row buffering fills `rows` (top row first)
// and leaves `frame` empty; per-frame buffering fills `frame` only.
struct DrawData {
    std::vector<std::shared_ptr<const RowDrawBuffers>> rows;
    std::optional<FrameDrawData> frame;
    std::vector<ColorVertex> cursorColorVertices;
    std::vector<GlyphVertex> cursorGlyphVerticesGray;
    std::vector<GlyphVertex> cursorGlyphVerticesColor;
};

// A cheap summary of a terminal's Kitty graphics state. The mutation count
// moves with every change of the store, so an image re-sent under its id
// (same counts) still changes the stamp.
struct KittyCacheStamp {
    std::int64_t imagesCount = 0;
    std::int64_t placementsCount = 0;
    std::uint32_t nextImageId = 0;
    std::uint32_t nextPlacementId = 0;
    std::uint64_t mutationCount = 0;

    bool operator==(const KittyCacheStamp&) const = default;
};

// Everything that makes every cached row stale when it changes.
struct CacheSignature {
    double scale = 1;
    double cellWidth = 0;
    double cellHeight = 0;
    double viewWidth = 0;
    double viewHeight = 0;
    std::int64_t yDisp = 0;
    int rows = 0;
    int cols = 0;
    QString fontName;  // a unique key of the normal face
    double fontSize = 0;
    bool isAltBuffer = false;
    KittyCacheStamp kittyStamp;

    bool operator==(const CacheSignature&) const = default;
};

// Identifies a Kitty image's content for its cached texture: kind (1 PNG,
// 2 raw RGBA), pixel size of raw images, payload length, the FNV-1a hash of
// the first 64 payload bytes, and the store's generation of the image (a
// payload re-sent under the same id with the same length and head is still
// a new image).
struct KittyImageSignature {
    std::uint8_t kind = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t byteCount = 0;
    std::uint32_t headHash = 0;
    std::uint64_t generation = 0;

    bool operator==(const KittyImageSignature&) const = default;
};

// Whether every fill is fully opaque (true for none).
bool allOpaque(const std::vector<ColorCell>& cells);

// 32-bit FNV-1a over the first min(limit, size) bytes.
std::uint32_t hashBytes(const std::uint8_t* bytes, std::size_t size, std::size_t limit);

}  // namespace corvel::gl
