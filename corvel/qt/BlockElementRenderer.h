// Fills block-element cells (U+2580...U+259F) from their eighth-grid
// rectangles. Works on the caller's painter on the GUI thread; keeps no state.
#pragma once

#include <QColor>
#include <QPainter>
#include <QRect>

#include <span>

#include "corvel/qt/BlockElementMapping.h"

namespace corvel::qt::BlockElementRenderer {

// Fills `rects` over the item rectangle `itemPx` (every column of the item, in
// device pixels; the painter must draw in device pixels, see
// DevicePixelScope). Without anti-aliasing each rectangle is snapped outward
// to whole pixels, so neighbouring cells meet without gap or overlap; with it
// the fractional edges are blended. The colour's alpha is multiplied by the
// rectangle's coverage. The painter's anti-aliasing hint is left as `antiAlias`.
void draw(QPainter& painter, const QRect& itemPx, std::span<const BlockElementRect> rects, const QColor& color,
          bool antiAlias);

}  // namespace corvel::qt::BlockElementRenderer
