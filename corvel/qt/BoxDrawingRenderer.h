// Draws the box-drawing characters U+2500...U+257F as pixel-exact geometry
// instead of font glyphs, so the lines of neighbouring cells meet without
// gaps or overlaps at any cell size and device pixel ratio. All geometry is
// whole device pixels inside the cell; straight strokes are plain rectangle
// fills without anti-aliasing, only rounded corners and diagonals are
// anti-aliased paths. Stateless; runs on the caller's thread.
#pragma once

#include <QColor>
#include <QPainter>
#include <QRect>

#include <cstdint>

namespace corvel::qt::BoxDrawingRenderer {

// Whether `codePoint` is one of the characters drawn here.
constexpr bool handles(char32_t codePoint) { return codePoint >= 0x2500 && codePoint <= 0x257F; }

// Draws one character into the cell `cellPx` (device pixels; the painter must
// draw in device pixels, see DevicePixelScope). `scale` is the device pixel
// ratio, which sets the lightest stroke (one logical pixel); the light stroke
// is max(that, baseThicknessPx) pixels, heavy twice that, and a double line is
// two light rails with a light gap. Other code points draw nothing. Straight
// strokes are whole-pixel fills that expect the painter's anti-aliasing off
// (the row pass turns it off once); rounded corners and diagonals turn it on
// for themselves. The painter's state is unchanged afterwards.
void draw(QPainter& painter, char32_t codePoint, const QRect& cellPx, qreal scale, const QColor& color,
          int baseThicknessPx);

// The base stroke the row drawing passes: max(round(scale x underline
// thickness x 1.35), round(scale), 1) device pixels.
int baseThicknessPx(qreal scale, qreal underlineThickness);

}  // namespace corvel::qt::BoxDrawingRenderer
