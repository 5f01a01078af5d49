// The steps of drawing one terminal row that need no widget: the line
// transform of double-width and double-height rows, backgrounds and selection
// fills, box-drawing and block-element cells, glyphs placed on the cell grid,
// and underline and strikethrough decorations. Coordinates are the painter's
// logical pixels with y down; the row's cells are whole device pixels (the
// view's cell metrics guarantee it). The view's paint event calls these per
// row in the order of drawRow(). GUI thread only; nothing is kept between
// calls except what the GlyphRunCache and the CustomGlyphTileCache hold.
#pragma once

#include <QColor>
#include <QPainter>
#include <QRawFont>

#include <array>
#include <span>

#include "corvel/screen/BufferLine.h"
#include "corvel/qt/CustomGlyphTileCache.h"
#include "corvel/qt/GlyphRunCache.h"
#include "corvel/qt/ViewLineInfo.h"

namespace corvel::qt {

// Where a row sits and how big its cells are.
struct RowGeometry {
    qreal top = 0;  // the row's top edge
    qreal cellWidth = 1;
    qreal cellHeight = 1;
    int cols = 0;        // the terminal's columns
    qreal rowWidth = 0;  // the view's width: backgrounds reaching the last column extend to it
    qreal scale = 1;     // device pixels per logical pixel
};

// Font metrics the decorations use, from the view's fonts.
struct RowTextMetrics {
    qreal descentAndLeading = 0;    // ceil(descent + leading) of the normal face: baseline above the row's bottom
    qreal underlinePosition = 1;    // below the baseline
    qreal underlineThickness = 1;   // of the normal face
    std::array<qreal, 4> xHeight{};  // per face, for the strikethrough
    std::array<qreal, 4> lineThickness{};

    static RowTextMetrics fromFonts(const GlyphRunCache& fonts);
};

namespace RowPainter {

// Saves the painter and applies the transform of a double-width or
// double-height row (double-height rows are clipped to their own row, across
// the whole row width). Returns whether it saved, so the caller restores.
bool applyLineTransform(QPainter& painter, BufferLine::RenderLineMode mode, const RowGeometry& row);

// Fills each run's background (the selection colour on selected runs); a run
// reaching the last column is filled to the row's right edge.
void fillBackgrounds(QPainter& painter, const ViewLineInfo& info, const RowGeometry& row);

// Whether the painter's units are device pixels, one to one with a
// whole-pixel offset (inside a DevicePixelScope): then an image drawn there
// lands pixel for pixel, and cached tiles may stand in for geometry. Not so
// in double-width and double-height rows.
bool mapsDevicePixelsOneToOne(const QPainter& painter);

// Box-drawing cells, whole device pixels, anti-aliasing off. With `tiles`
// each cell the cache has a tile for is one blit (where the painter maps
// device pixels one to one); the pixels are the same either way.
void drawBoxDrawings(QPainter& painter, std::span<const BoxDrawingRenderItem> items, const RowGeometry& row,
                     int baseThicknessPx, CustomGlyphTileCache* tiles = nullptr);

// Block-element cells, anti-aliased or snapped to device pixels; `tiles` as
// for box drawing.
void drawBlockElements(QPainter& painter, std::span<const BlockElementRenderItem> items, const RowGeometry& row,
                       bool antiAlias, CustomGlyphTileCache* tiles = nullptr);

// The glyphs of every run at their cells' columns, then the underline and
// strikethrough of every run, which span every column of the run (both
// columns of a wide cell). Concealed runs draw nothing here: their text and
// decorations take the background colour.
void drawText(QPainter& painter, const ViewLineInfo& info, const RowGeometry& row, GlyphRunCache& glyphs,
              const RowTextMetrics& metrics, const QColor& defaultForeground);

// Underline of one run from x0 to x1, in the run's underline style. Sets the
// painter's pen; the caller turns anti-aliasing off and the brush to none
// and restores the painter afterwards.
void drawUnderline(QPainter& painter, UnderlineStyle style, const QColor& color, qreal x0, qreal x1, qreal baseline,
                   const RowTextMetrics& metrics, qreal scale);

// Everything but images, in layer order: transform, backgrounds, box drawing,
// block elements, glyphs with decorations.
struct RowStyle {
    QColor defaultForeground = Qt::black;
    bool antiAliasBlockGlyphs = false;
};
void drawRow(QPainter& painter, const ViewLineInfo& info, BufferLine::RenderLineMode mode, const RowGeometry& row,
             GlyphRunCache& glyphs, const RowTextMetrics& metrics, const RowStyle& style,
             CustomGlyphTileCache* tiles = nullptr);

}  // namespace RowPainter

}  // namespace corvel::qt
