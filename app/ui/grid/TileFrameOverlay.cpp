#include "app/ui/grid/TileFrameOverlay.h"

#include "app/ui/design/DS.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace tilebay {

TileFrameOverlay::TileFrameOverlay(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
}

void TileFrameOverlay::setHighlighted(bool on)
{
    if (highlighted_ == on) return;
    highlighted_ = on;
    update();
}

void TileFrameOverlay::paintEvent(QPaintEvent* event)
{
    // Terminals under the frame repaint often; most of their rows lie inside
    // the band the frame draws on, and then there is nothing to do.
    const int band = static_cast<int>(radius) + 2;
    if (!event->region().intersects(QRegion(rect()) - QRegion(rect().adjusted(band, band, -band, -band)))) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect());
    QPainterPath outside;
    outside.addRect(box);
    QPainterPath rounded;
    rounded.addRoundedRect(box, radius, radius);
    p.fillPath(outside.subtracted(rounded), DS::windowBackground(palette()));

    // The line covers whole device pixels at any scale (1, 1.5, 2), so it
    // stays crisp: its width is rounded to device pixels.
    const qreal ratio = p.device()->devicePixelRatioF();
    const qreal width = std::max(1.0, std::round((highlighted_ ? 2.0 : 1.0) * ratio)) / ratio;
    const QRectF inner = box.adjusted(width / 2, width / 2, -width / 2, -width / 2);
    p.setPen(QPen(highlighted_ ? DS::orange() : DS::separator(palette()), width));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(inner, radius - width / 2, radius - width / 2);
}

}  // namespace tilebay
