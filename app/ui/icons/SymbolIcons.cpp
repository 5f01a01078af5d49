#include "app/ui/icons/SymbolIcons.h"

#include "app/ui/icons/SymbolArtwork.h"

#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <cmath>

namespace tilebay {

int symbolSize(SymbolScale scale)
{
    switch (scale) {
    case SymbolScale::small: return 13;
    case SymbolScale::medium: return 15;
    case SymbolScale::large: return 24;
    }
    return 15;
}

namespace SymbolIcons {

namespace {

QString cacheKey(const QString& name, int size, const QColor& colour, qreal ratio)
{
    // The ratio is kept to 1/100; fractional screens use values such as 1.25.
    return QStringLiteral("tb.sym/%1/%2/%3/%4")
        .arg(name)
        .arg(size)
        .arg(colour.rgba(), 8, 16, QLatin1Char('0'))
        .arg(qRound(ratio * 100));
}

void renderSvg(const QByteArray& svg, QImage& into)
{
    QSvgRenderer renderer(svg);
    QPainter p(&into);
    p.setRenderHint(QPainter::Antialiasing);
    renderer.render(&p, QRectF(0, 0, into.width(), into.height()));
}

QPixmap rasterise(const SymbolArtwork& art, int size, const QColor& colour, qreal ratio)
{
    const int device = std::max(1, static_cast<int>(std::ceil(size * ratio)));
    QImage ink(device, device, QImage::Format_ARGB32_Premultiplied);
    ink.fill(Qt::transparent);
    renderSvg(art.ink, ink);
    if (!art.cutout.isEmpty()) {
        QImage cut(device, device, QImage::Format_ARGB32_Premultiplied);
        cut.fill(Qt::transparent);
        renderSvg(art.cutout, cut);
        QPainter p(&ink);
        p.setCompositionMode(QPainter::CompositionMode_DestinationOut);
        p.drawImage(0, 0, cut);
    }
    {
        // The artwork is black; keep its coverage and take the caller's colour.
        QPainter p(&ink);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(ink.rect(), colour);
    }
    QPixmap pm = QPixmap::fromImage(std::move(ink));
    pm.setDevicePixelRatio(ratio);
    return pm;
}

}  // namespace

bool has(const QString& name)
{
    return symbolNames().contains(name);
}

QPixmap pixmap(const QString& name, int size, const QColor& colour, qreal ratio)
{
    if (size < 1 || !(ratio > 0)) return {};
    const QString key = cacheKey(name, size, colour, ratio);
    QPixmap pm;
    if (QPixmapCache::find(key, &pm)) return pm;
    const auto art = symbolArtwork(name);
    if (!art) return {};
    pm = rasterise(*art, size, colour, ratio);
    QPixmapCache::insert(key, pm);
    return pm;
}

void draw(QPainter& painter, const QRectF& target, const QString& name, int size,
          const QColor& colour)
{
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QPixmap pm = pixmap(name, size, colour, ratio);
    if (pm.isNull()) return;
    // Snap the top-left corner to a device pixel so the artwork stays crisp.
    const QPointF centre = target.center();
    QPointF topLeft(centre.x() - size / 2.0, centre.y() - size / 2.0);
    topLeft.setX(std::round(topLeft.x() * ratio) / ratio);
    topLeft.setY(std::round(topLeft.y() * ratio) / ratio);
    painter.drawPixmap(topLeft, pm);
}

}  // namespace SymbolIcons

}  // namespace tilebay
