// Symbol images by name: the artwork of SymbolArtwork rasterised at a logical
// size, in the caller's colour, at the device pixel ratio of the surface it is
// drawn on. Rasterised pixmaps live in Qt's pixmap cache, keyed by name, size,
// colour and ratio, so repeated headers cost a lookup. Main thread only (the
// pixmap cache and QPixmap are main-thread objects).
#pragma once

#include <QColor>
#include <QPixmap>
#include <QRectF>
#include <QString>

class QPainter;

namespace tilebay {

// Logical pixel sizes of the three image scales next to text of 11 to 13 px.
enum class SymbolScale : unsigned char { small, medium, large };
int symbolSize(SymbolScale scale);

namespace SymbolIcons {

bool has(const QString& name);

// The symbol as a pixmap of size * ratio device pixels with that device pixel
// ratio; a null pixmap for an unknown name or a size below 1.
QPixmap pixmap(const QString& name, int size, const QColor& colour, qreal ratio);

// Draws the symbol centred in `target` (a square of `size` logical pixels) at
// the ratio of the painter's device. Nothing is drawn for an unknown name.
void draw(QPainter& painter, const QRectF& target, const QString& name, int size,
          const QColor& colour);

}  // namespace SymbolIcons

}  // namespace tilebay
