// The records the renderer hands the shaders, copied byte for byte into GPU
// buffers. The layouts are shared with the shader source (Shaders.glsl) and
// fixed: 32-bit floats, two-float vectors on 8 bytes, four-float vectors on
// 16. Positions are device pixels with y growing upwards from the drawable's
// lower-left corner; texture fields are normalised texture coordinates where
// t = 0 is the texture's first row in memory. Plain value types.
#pragma once

#include <cstddef>
#include <cstdint>

#include "corvel/qt/MetalBufferingMode.h"

namespace corvel::gl {

struct alignas(8) Float2 {
    float x = 0, y = 0;
};
struct alignas(16) Float4 {
    float r = 0, g = 0, b = 0, a = 0;
};

// One textured rectangle, drawn as six vertices.
struct TextCell {
    Float2 position;   // lower-left corner
    Float2 size;
    Float2 texOrigin;  // texture coordinates of the lower-left corner
    Float2 texSize;
    Float4 color;      // glyph colour for the single-channel atlas
};

// One filled rectangle, drawn as six vertices.
struct ColorCell {
    Float2 position;
    Float2 size;
    Float4 color;
};

// One vertex of a textured triangle list.
struct GlyphVertex {
    Float2 position;
    Float2 texCoord;
    Float4 color;
};

// One vertex of a filled triangle list.
struct ColorVertex {
    Float2 position;
    Float2 padding;
    Float4 color;
};

static_assert(sizeof(TextCell) == 48 && alignof(TextCell) == 16);
static_assert(offsetof(TextCell, position) == 0 && offsetof(TextCell, size) == 8 &&
              offsetof(TextCell, texOrigin) == 16 && offsetof(TextCell, texSize) == 24 &&
              offsetof(TextCell, color) == 32);
static_assert(sizeof(ColorCell) == 32 && offsetof(ColorCell, size) == 8 && offsetof(ColorCell, color) == 16);
static_assert(sizeof(GlyphVertex) == 32 && offsetof(GlyphVertex, texCoord) == 8 &&
              offsetof(GlyphVertex, color) == 16);
static_assert(sizeof(ColorVertex) == 32 && offsetof(ColorVertex, color) == 16);

using MetalBufferingMode = qt::MetalBufferingMode;

}  // namespace corvel::gl
