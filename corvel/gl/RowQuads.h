// Stateless geometry of the renderer's row content: the transform of
// double-width and double-height rows, clipping of quads to a row with their
// texture coordinates cut in proportion, underline and strikethrough pieces,
// image quads, and colour conversion. Device pixels, y up.
#pragma once

#include <QColor>

#include <optional>
#include <vector>

#include "corvel/gl/DrawData.h"
#include "corvel/gl/GpuRecords.h"
#include "corvel/screen/BufferLine.h"
#include "corvel/screen/UnderlineStyle.h"

namespace corvel::gl {

// A rectangle by its lower-left (x0, y0) and upper-right (x1, y1) corners.
struct PxRect {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    double width() const { return x1 - x0; }
    double height() const { return y1 - y0; }
    bool operator==(const PxRect&) const = default;
};

// How a row's quads are placed: double-width rows double x, double-height
// rows also map y to pivot + 2 (y - pivot) and are clipped to their row.
struct QuadTransform {
    BufferLine::RenderLineMode mode = BufferLine::RenderLineMode::single;
    double pivotY = 0;
    std::optional<PxRect> clip;
};

namespace quads {

// The colour as four floats (r, g, b, a); an invalid colour is opaque black.
Float4 toFloat4(const QColor& color);

// The transformed rectangle, smaller corner first.
PxRect transform(const PxRect& rect, const QuadTransform& t);

// Clips a textured quad: without a clip it passes unchanged; with one, an
// empty quad or an empty intersection gives false, and the texture
// rectangle moves in proportion with the edges.
bool clipTextured(PxRect& rect, PxRect& uv, const std::optional<PxRect>& clip);
// Clips a plain quad; false only for an empty intersection.
bool clipPlain(PxRect& rect, const std::optional<PxRect>& clip);

// A filled rectangle, transformed and clipped, appended unless clipped away.
void appendColorCell(std::vector<ColorCell>& out, const PxRect& rect, const Float4& color, const QuadTransform& t);
// A textured rectangle, likewise.
void appendTextCell(std::vector<TextCell>& out, const PxRect& rect, const PxRect& uv, const Float4& color,
                    const QuadTransform& t);

// The pieces of an underline from x0 to x1 centred on yCenter. `unit` is
// the pattern length unit (dots, dashes, the curl's step). `double_` draws
// one bar here; the caller adds the second.
void appendUnderlineSegments(double x0, double x1, double yCenter, double thickness, const Float4& color,
                             UnderlineStyle style, double unit, const QuadTransform& t, std::vector<ColorCell>& out);

// Six vertices of an image quad with texture corners uv, or nothing when
// the quad is clipped away.
std::optional<ImageDraw> imageDraw(GpuHandle texture, const PxRect& rect, const PxRect& uv, const QuadTransform& t);

}  // namespace quads

}  // namespace corvel::gl
