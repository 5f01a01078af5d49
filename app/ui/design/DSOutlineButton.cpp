#include "app/ui/design/DSOutlineButton.h"

#include "app/ui/design/DS.h"

#include <QPainter>

namespace tilebay {

DSOutlineButton::DSOutlineButton(const QString& text, QWidget* parent)
    : DSCapsuleButton(14, 6, QFont::DemiBold, parent)
{
    setText(text);
}

void DSOutlineButton::setTint(const QColor& colour)
{
    if (tint_ == colour) return;
    tint_ = colour;
    update();
}

void DSOutlineButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(enabledOpacity() * (isDown() ? 0.6 : 1.0));
    // Half a pixel in, so the 1 px stroke covers whole pixels.
    const QRectF r = capsuleRect().adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = r.height() / 2;
    p.setPen(QPen(DS::separator(palette()), 1.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r, radius, radius);
    paintLabel(p, tint_.isValid() ? tint_ : DS::primaryText(palette()));
    if (showsFocusRing()) paintFocusRing(p, QColor());
}

}  // namespace tilebay
