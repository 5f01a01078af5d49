// Row quad geometry.
#include "corvel/gl/RowQuads.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace corvel::gl::quads {

Float4 toFloat4(const QColor& color)
{
    if (!color.isValid()) return {0, 0, 0, 1};
    const QColor rgb = color.spec() == QColor::Rgb ? color : color.toRgb();
    return {static_cast<float>(rgb.redF()), static_cast<float>(rgb.greenF()), static_cast<float>(rgb.blueF()),
            static_cast<float>(rgb.alphaF())};
}

PxRect transform(const PxRect& r, const QuadTransform& t)
{
    using Mode = BufferLine::RenderLineMode;
    double x0 = r.x0, x1 = r.x1, y0 = r.y0, y1 = r.y1;
    if (t.mode != Mode::single) {
        x0 *= 2;
        x1 *= 2;
    }
    if (t.mode == Mode::doubledTop || t.mode == Mode::doubledDown) {
        y0 = t.pivotY + 2 * (y0 - t.pivotY);
        y1 = t.pivotY + 2 * (y1 - t.pivotY);
    }
    return {std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)};
}

namespace {

bool intersect(PxRect& rect, const PxRect& clip)
{
    const PxRect cut{std::max(rect.x0, clip.x0), std::max(rect.y0, clip.y0), std::min(rect.x1, clip.x1),
                     std::min(rect.y1, clip.y1)};
    if (!(cut.x0 < cut.x1) || !(cut.y0 < cut.y1)) return false;
    rect = cut;
    return true;
}

}  // namespace

bool clipTextured(PxRect& rect, PxRect& uv, const std::optional<PxRect>& clip)
{
    if (!clip) return true;
    if (!(rect.width() > 0) || !(rect.height() > 0)) return false;
    const PxRect whole = rect;
    if (!intersect(rect, *clip)) return false;
    const auto u = [&](double x) { return uv.x0 + uv.width() * (x - whole.x0) / whole.width(); };
    const auto v = [&](double y) { return uv.y0 + uv.height() * (y - whole.y0) / whole.height(); };
    uv = {u(rect.x0), v(rect.y0), u(rect.x1), v(rect.y1)};
    return true;
}

bool clipPlain(PxRect& rect, const std::optional<PxRect>& clip)
{
    return !clip || intersect(rect, *clip);
}

void appendColorCell(std::vector<ColorCell>& out, const PxRect& rect, const Float4& color, const QuadTransform& t)
{
    PxRect r = transform(rect, t);
    if (!clipPlain(r, t.clip)) return;
    if (!(r.width() > 0) || !(r.height() > 0)) return;
    ColorCell cell;
    cell.position = {static_cast<float>(r.x0), static_cast<float>(r.y0)};
    cell.size = {static_cast<float>(r.width()), static_cast<float>(r.height())};
    cell.color = color;
    out.push_back(cell);
}

void appendTextCell(std::vector<TextCell>& out, const PxRect& rect, const PxRect& uv, const Float4& color,
                    const QuadTransform& t)
{
    PxRect r = transform(rect, t);
    PxRect tex = uv;
    if (!clipTextured(r, tex, t.clip)) return;
    TextCell cell;
    cell.position = {static_cast<float>(r.x0), static_cast<float>(r.y0)};
    cell.size = {static_cast<float>(r.width()), static_cast<float>(r.height())};
    cell.texOrigin = {static_cast<float>(tex.x0), static_cast<float>(tex.y0)};
    cell.texSize = {static_cast<float>(tex.width()), static_cast<float>(tex.height())};
    cell.color = color;
    out.push_back(cell);
}

void appendUnderlineSegments(double x0, double x1, double yCenter, double thickness, const Float4& color,
                             UnderlineStyle style, double unit, const QuadTransform& t, std::vector<ColorCell>& out)
{
    if (!(x1 > x0) || !(thickness > 0)) return;
    const double half = thickness / 2;
    unit = std::max(unit, thickness);
    const auto bar = [&](double a, double b, double centre) {
        appendColorCell(out, {a, centre - half, std::min(b, x1), centre + half}, color, t);
    };
    switch (style) {
    case UnderlineStyle::none: return;
    case UnderlineStyle::single:
    case UnderlineStyle::double_: bar(x0, x1, yCenter); return;
    case UnderlineStyle::curly:
        for (double x = x0; x < x1; x += unit)
            bar(x, x + unit, yCenter + unit * std::sin(2 * std::numbers::pi * (x - x0) / (4 * unit)));
        return;
    case UnderlineStyle::dotted:
        for (double x = x0; x < x1; x += 3 * unit) bar(x, x + unit, yCenter);
        return;
    case UnderlineStyle::dashed:
        for (double x = x0; x < x1; x += 4 * unit) bar(x, x + 2 * unit, yCenter);
        return;
    }
}

std::optional<ImageDraw> imageDraw(GpuHandle texture, const PxRect& rect, const PxRect& uv, const QuadTransform& t)
{
    PxRect r = transform(rect, t);
    PxRect tex = uv;
    if (t.clip) {
        if (!clipTextured(r, tex, t.clip)) return std::nullopt;
    } else if (!(r.width() > 0) || !(r.height() > 0)) {
        return std::nullopt;
    }
    const auto vertex = [&](double x, double y, double u, double v) {
        GlyphVertex g;
        g.position = {static_cast<float>(x), static_cast<float>(y)};
        g.texCoord = {static_cast<float>(u), static_cast<float>(v)};
        g.color = {1, 1, 1, 1};
        return g;
    };
    ImageDraw draw;
    draw.texture = texture;
    draw.vertices = {vertex(r.x0, r.y0, tex.x0, tex.y0), vertex(r.x1, r.y0, tex.x1, tex.y0),
                     vertex(r.x0, r.y1, tex.x0, tex.y1), vertex(r.x1, r.y0, tex.x1, tex.y0),
                     vertex(r.x1, r.y1, tex.x1, tex.y1), vertex(r.x0, r.y1, tex.x0, tex.y1)};
    return draw;
}

}  // namespace corvel::gl::quads
