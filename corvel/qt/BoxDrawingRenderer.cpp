// Box-drawing geometry. Pixel coordinates inside a cell run x to the right and
// y down from the cell's top-left corner; `Canvas::box` clips every fill to
// the cell, so no stroke leaks into a neighbour.
#include "corvel/qt/BoxDrawingRenderer.h"

#include <QPainterPath>

#include <algorithm>
#include <array>
#include <cmath>

namespace corvel::qt::BoxDrawingRenderer {

namespace {

// Weights of a line side.
enum Weight : uint8_t { none = 0, light = 1, heavy = 2, doubled = 3 };

// Four side weights packed in one word: up (bits 0-7), right (8-15), down
// (16-23), left (24-31).
struct Lines {
    uint32_t raw = 0;
    constexpr Lines() = default;
    constexpr Lines(uint8_t up, uint8_t right, uint8_t down, uint8_t left)
        : raw(uint32_t(up) | uint32_t(right) << 8 | uint32_t(down) << 16 | uint32_t(left) << 24)
    {
    }
    constexpr uint8_t up() const { return raw & 0xff; }
    constexpr uint8_t right() const { return (raw >> 8) & 0xff; }
    constexpr uint8_t down() const { return (raw >> 16) & 0xff; }
    constexpr uint8_t left() const { return (raw >> 24) & 0xff; }
};

// Side weights (up, right, down, left) of every line, corner, tee, cross and
// half line, as the characters' names state; zero for the dashed lines, the
// rounded corners and the diagonals, which are drawn elsewhere.
constexpr std::array<Lines, 128> makeLinesTable()
{
    std::array<Lines, 128> t{};
    auto set = [&t](char32_t cp, uint8_t u, uint8_t r, uint8_t d, uint8_t l) { t[cp - 0x2500] = Lines(u, r, d, l); };
    set(0x2500, 0, 1, 0, 1); set(0x2501, 0, 2, 0, 2); set(0x2502, 1, 0, 1, 0); set(0x2503, 2, 0, 2, 0);
    set(0x250C, 0, 1, 1, 0); set(0x250D, 0, 2, 1, 0); set(0x250E, 0, 1, 2, 0); set(0x250F, 0, 2, 2, 0);
    set(0x2510, 0, 0, 1, 1); set(0x2511, 0, 0, 1, 2); set(0x2512, 0, 0, 2, 1); set(0x2513, 0, 0, 2, 2);
    set(0x2514, 1, 1, 0, 0); set(0x2515, 1, 2, 0, 0); set(0x2516, 2, 1, 0, 0); set(0x2517, 2, 2, 0, 0);
    set(0x2518, 1, 0, 0, 1); set(0x2519, 1, 0, 0, 2); set(0x251A, 2, 0, 0, 1); set(0x251B, 2, 0, 0, 2);
    set(0x251C, 1, 1, 1, 0); set(0x251D, 1, 2, 1, 0); set(0x251E, 2, 1, 1, 0); set(0x251F, 1, 1, 2, 0);
    set(0x2520, 2, 1, 2, 0); set(0x2521, 2, 2, 1, 0); set(0x2522, 1, 2, 2, 0); set(0x2523, 2, 2, 2, 0);
    set(0x2524, 1, 0, 1, 1); set(0x2525, 1, 0, 1, 2); set(0x2526, 2, 0, 1, 1); set(0x2527, 1, 0, 2, 1);
    set(0x2528, 2, 0, 2, 1); set(0x2529, 2, 0, 1, 2); set(0x252A, 1, 0, 2, 2); set(0x252B, 2, 0, 2, 2);
    set(0x252C, 0, 1, 1, 1); set(0x252D, 0, 1, 1, 2); set(0x252E, 0, 2, 1, 1); set(0x252F, 0, 2, 1, 2);
    set(0x2530, 0, 1, 2, 1); set(0x2531, 0, 1, 2, 2); set(0x2532, 0, 2, 2, 1); set(0x2533, 0, 2, 2, 2);
    set(0x2534, 1, 1, 0, 1); set(0x2535, 1, 1, 0, 2); set(0x2536, 1, 2, 0, 1); set(0x2537, 1, 2, 0, 2);
    set(0x2538, 2, 1, 0, 1); set(0x2539, 2, 1, 0, 2); set(0x253A, 2, 2, 0, 1); set(0x253B, 2, 2, 0, 2);
    set(0x253C, 1, 1, 1, 1); set(0x253D, 1, 1, 1, 2); set(0x253E, 1, 2, 1, 1); set(0x253F, 1, 2, 1, 2);
    set(0x2540, 2, 1, 1, 1); set(0x2541, 1, 1, 2, 1); set(0x2542, 2, 1, 2, 1); set(0x2543, 2, 1, 1, 2);
    set(0x2544, 2, 2, 1, 1); set(0x2545, 1, 1, 2, 2); set(0x2546, 1, 2, 2, 1); set(0x2547, 2, 2, 1, 2);
    set(0x2548, 1, 2, 2, 2); set(0x2549, 2, 1, 2, 2); set(0x254A, 2, 2, 2, 1); set(0x254B, 2, 2, 2, 2);
    set(0x2550, 0, 3, 0, 3); set(0x2551, 3, 0, 3, 0); set(0x2552, 0, 3, 1, 0); set(0x2553, 0, 1, 3, 0);
    set(0x2554, 0, 3, 3, 0); set(0x2555, 0, 0, 1, 3); set(0x2556, 0, 0, 3, 1); set(0x2557, 0, 0, 3, 3);
    set(0x2558, 1, 3, 0, 0); set(0x2559, 3, 1, 0, 0); set(0x255A, 3, 3, 0, 0); set(0x255B, 1, 0, 0, 3);
    set(0x255C, 3, 0, 0, 1); set(0x255D, 3, 0, 0, 3); set(0x255E, 1, 3, 1, 0); set(0x255F, 3, 1, 3, 0);
    set(0x2560, 3, 3, 3, 0); set(0x2561, 1, 0, 1, 3); set(0x2562, 3, 0, 3, 1); set(0x2563, 3, 0, 3, 3);
    set(0x2564, 0, 3, 1, 3); set(0x2565, 0, 1, 3, 1); set(0x2566, 0, 3, 3, 3); set(0x2567, 1, 3, 0, 3);
    set(0x2568, 3, 1, 0, 1); set(0x2569, 3, 3, 0, 3); set(0x256A, 1, 3, 1, 3); set(0x256B, 3, 1, 3, 1);
    set(0x256C, 3, 3, 3, 3);
    set(0x2574, 0, 0, 0, 1); set(0x2575, 1, 0, 0, 0); set(0x2576, 0, 1, 0, 0); set(0x2577, 0, 0, 1, 0);
    set(0x2578, 0, 0, 0, 2); set(0x2579, 2, 0, 0, 0); set(0x257A, 0, 2, 0, 0); set(0x257B, 0, 0, 2, 0);
    set(0x257C, 0, 2, 0, 1); set(0x257D, 1, 0, 2, 0); set(0x257E, 0, 1, 0, 2); set(0x257F, 2, 0, 1, 0);
    return t;
}

constexpr std::array<Lines, 128> linesTable = makeLinesTable();

enum class Corner { upLeft = 0, upRight = 1, downLeft = 2, downRight = 3 };

struct Canvas {
    QPainter& painter;
    QColor color;
    int originX = 0;  // device pixels
    int originY = 0;
    int w = 1;  // widthPx
    int h = 1;  // heightPx
    int lightPx = 1;

    void box(int x0, int y0, int x1, int y1) const
    {
        x0 = std::clamp(x0, 0, w);
        x1 = std::clamp(x1, 0, w);
        y0 = std::clamp(y0, 0, h);
        y1 = std::clamp(y1, 0, h);
        if (x1 <= x0 || y1 <= y0) return;
        painter.fillRect(QRect(originX + x0, originY + y0, x1 - x0, y1 - y0), color);
    }
    void hline(int x1, int x2, int y, int t) const { box(x1, y, x2, y + t); }
    void vline(int y1, int y2, int x, int t) const { box(x, y1, x + t, y2); }
};

// Light, heavy and double bands across one dimension of length `len`.
struct Bands {
    int l0, l1, h0, h1;
    Bands(int len, int t)
    {
        l0 = std::max(len - t, 0) / 2;
        l1 = std::min(l0 + t, len);
        h0 = std::max(len - 2 * t, 0) / 2;
        h1 = std::min(h0 + 2 * t, len);
    }
};

// Where the strokes along one axis stop at the centre, given the weights of
// the two crossing sides (a, b) and of the two sides along the axis (p, q).
std::pair<int, int> centreEnds(uint8_t a, uint8_t b, uint8_t p, uint8_t q, const Bands& bands, int t, int len)
{
    if (a == heavy || b == heavy) return {bands.h1, bands.h0};
    if (a == b && p != q && a != none) return {bands.l0, bands.l1};
    if (a == none && b == none && p != q) return {bands.l1, bands.l0};
    if (a == doubled || b == doubled) return {std::min(bands.l1 + t, len), std::max(bands.l0 - t, 0)};
    return {bands.l1, bands.l0};
}

void linesChar(Lines lines, const Canvas& c, int t)
{
    const int W = c.w;
    const int H = c.h;
    const Bands ys(H, t);
    const Bands xs(W, t);
    const uint8_t up = lines.up(), right = lines.right(), down = lines.down(), left = lines.left();
    const auto [upEnd, downStart] = centreEnds(left, right, up, down, ys, t, H);
    const auto [leftEnd, rightStart] = centreEnds(up, down, left, right, xs, t, W);

    switch (up) {
    case light: c.box(xs.l0, 0, xs.l1, upEnd); break;
    case heavy: c.box(xs.h0, 0, xs.h1, upEnd); break;
    case doubled:
        c.box(std::max(xs.l0 - t, 0), 0, xs.l0, left == doubled ? ys.l0 : upEnd);
        c.box(xs.l1, 0, std::min(xs.l1 + t, W), right == doubled ? ys.l0 : upEnd);
        break;
    default: break;
    }
    switch (right) {
    case light: c.box(rightStart, ys.l0, W, ys.l1); break;
    case heavy: c.box(rightStart, ys.h0, W, ys.h1); break;
    case doubled:
        c.box(up == doubled ? xs.l1 : rightStart, std::max(ys.l0 - t, 0), W, ys.l0);
        c.box(down == doubled ? xs.l1 : rightStart, ys.l1, W, std::min(ys.l1 + t, H));
        break;
    default: break;
    }
    switch (down) {
    case light: c.box(xs.l0, downStart, xs.l1, H); break;
    case heavy: c.box(xs.h0, downStart, xs.h1, H); break;
    case doubled:
        c.box(std::max(xs.l0 - t, 0), left == doubled ? ys.l1 : downStart, xs.l0, H);
        c.box(xs.l1, right == doubled ? ys.l1 : downStart, std::min(xs.l1 + t, W), H);
        break;
    default: break;
    }
    switch (left) {
    case light: c.box(0, ys.l0, leftEnd, ys.l1); break;
    case heavy: c.box(0, ys.h0, leftEnd, ys.h1); break;
    case doubled:
        c.box(0, std::max(ys.l0 - t, 0), up == doubled ? xs.l0 : leftEnd, ys.l0);
        c.box(0, ys.l1, down == doubled ? xs.l0 : leftEnd, std::min(ys.l1 + t, H));
        break;
    default: break;
    }
}

// One solid centred line across the cell, for cells too short to dash.
void solidCentred(const Canvas& c, bool horizontal, int baseThicknessPx)
{
    const int b = std::max(baseThicknessPx, 1);
    if (horizontal) {
        c.hline(0, c.w, std::max(c.h - b, 0) / 2, b);
    } else {
        c.vline(0, c.h, std::max(c.w - b, 0) / 2, b);
    }
}

void dashed(const Canvas& c, bool horizontal, int count, int thickness, int desiredGap, int baseThicknessPx)
{
    if (count < 2 || count > 4) return;
    const int len = horizontal ? c.w : c.h;
    if (len < 2 * count) {
        solidCentred(c, horizontal, baseThicknessPx);
        return;
    }
    const int gap = std::min(len / (2 * count), desiredGap);
    const int rest = len - count * gap;
    const int seg = rest / count;
    int extra = rest - count * seg;
    int pos = horizontal ? gap / 2 : 0;
    const int across = horizontal ? std::max(c.h - thickness, 0) / 2 : std::max(c.w - thickness, 0) / 2;
    for (int i = 0; i < count; ++i) {
        int dash = seg;
        if (extra > 0) {
            ++dash;
            --extra;
        }
        if (horizontal) {
            c.hline(pos, pos + dash, across, thickness);
        } else {
            c.vline(pos, pos + dash, across, thickness);
        }
        pos += dash + gap;
    }
}

void arc(const Canvas& c, Corner corner, int thickness)
{
    const int t = std::max(thickness, 1);
    const int W = c.w;
    const int H = c.h;
    const int y = std::max(H - t, 0) / 2;
    const int x = std::max(W - t, 0) / 2;
    const double half = t / 2.0;
    const double m = std::min(W, H);
    const double R = std::min(std::max(m / 2 - half, 0.0), 0.3 * m);
    const bool joinsUp = corner == Corner::upLeft || corner == Corner::upRight;
    const bool joinsLeft = corner == Corner::upLeft || corner == Corner::downLeft;
    const double cx = half + x + (joinsLeft ? -R : R);
    const double cy = half + y + (joinsUp ? -R : R);

    if (joinsUp) {
        c.vline(0, std::clamp(static_cast<int>(half + y - R), 0, H), x, t);
    } else {
        c.vline(std::clamp(static_cast<int>(half + y + R), 0, H), H, x, t);
    }
    if (joinsLeft) {
        c.hline(0, std::clamp(static_cast<int>(half + x - R), 0, W), y, t);
    } else {
        c.hline(std::clamp(static_cast<int>(half + x + R), 0, W), W, y, t);
    }
    if (half + R <= 0) return;

    QPainter& p = c.painter;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.translate(c.originX, c.originY);
    // The quadrant from the arc's centre away from the joined sides.
    const double big = 2.0 * std::max(W, H) + 4.0;
    const double qx = joinsLeft ? cx : cx - big;
    const double qy = joinsUp ? cy : cy - big;
    p.setClipRect(QRectF(qx, qy, big, big), Qt::IntersectClip);
    QPainterPath ring;
    ring.setFillRule(Qt::OddEvenFill);
    const double outer = R + half;
    const double inner = std::max(R - half, 0.0);
    ring.addEllipse(QPointF(cx, cy), outer, outer);
    if (inner > 0) ring.addEllipse(QPointF(cx, cy), inner, inner);
    p.fillPath(ring, c.color);
    p.restore();
}

void diagonal(const Canvas& c, bool upperRightToLowerLeft, int thickness)
{
    int width = std::max(thickness, c.lightPx);
    if (width >= 2) width += 1;
    const double W = c.w;
    const double H = c.h;
    const double dx = std::min(W / H, 1.0) / 2;
    const double dy = std::min(H / W, 1.0) / 2;
    QPainter& p = c.painter;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.translate(c.originX, c.originY);
    QPen pen(c.color);
    pen.setWidthF(width);
    pen.setCapStyle(Qt::FlatCap);
    p.setPen(pen);
    if (upperRightToLowerLeft) {
        p.drawLine(QPointF(W + dx, -dy), QPointF(-dx, H + dy));
    } else {
        p.drawLine(QPointF(-dx, -dy), QPointF(W + dx, H + dy));
    }
    p.restore();
}

}  // namespace

int baseThicknessPx(qreal scale, qreal underlineThickness)
{
    const int scaled = static_cast<int>(std::lround(scale * underlineThickness * 1.35));
    return std::max({scaled, static_cast<int>(std::lround(scale)), 1});
}

void draw(QPainter& painter, char32_t codePoint, const QRect& cellPx, qreal scale, const QColor& color,
          int baseThicknessPx)
{
    if (!handles(codePoint)) return;
    const Canvas c{painter,
                   color,
                   cellPx.x(),
                   cellPx.y(),
                   std::max(cellPx.width(), 1),
                   std::max(cellPx.height(), 1),
                   std::max(static_cast<int>(std::lround(scale)), 1)};
    const int t = std::max(c.lightPx, baseThicknessPx);
    const int gap4 = std::max(t, 4);

    switch (codePoint) {
    case 0x2504: dashed(c, true, 3, t, gap4, baseThicknessPx); return;
    case 0x2505: dashed(c, true, 3, 2 * t, gap4, baseThicknessPx); return;
    case 0x2506: dashed(c, false, 3, t, gap4, baseThicknessPx); return;
    case 0x2507: dashed(c, false, 3, 2 * t, gap4, baseThicknessPx); return;
    case 0x2508: dashed(c, true, 4, t, gap4, baseThicknessPx); return;
    case 0x2509: dashed(c, true, 4, 2 * t, gap4, baseThicknessPx); return;
    case 0x250A: dashed(c, false, 4, t, gap4, baseThicknessPx); return;
    case 0x250B: dashed(c, false, 4, 2 * t, gap4, baseThicknessPx); return;
    case 0x254C: dashed(c, true, 2, t, t, baseThicknessPx); return;
    case 0x254D: dashed(c, true, 2, 2 * t, 2 * t, baseThicknessPx); return;
    case 0x254E: dashed(c, false, 2, t, 2 * t, baseThicknessPx); return;
    case 0x254F: dashed(c, false, 2, 2 * t, 2 * t, baseThicknessPx); return;
    case 0x256D: arc(c, Corner::downRight, t); return;
    case 0x256E: arc(c, Corner::downLeft, t); return;
    case 0x256F: arc(c, Corner::upLeft, t); return;
    case 0x2570: arc(c, Corner::upRight, t); return;
    case 0x2571: diagonal(c, true, t); return;
    case 0x2572: diagonal(c, false, t); return;
    case 0x2573:
        diagonal(c, true, t);
        diagonal(c, false, t);
        return;
    default: break;
    }
    const Lines lines = linesTable[codePoint - 0x2500];
    if (lines.raw != 0) linesChar(lines, c, t);
}

}  // namespace corvel::qt::BoxDrawingRenderer
