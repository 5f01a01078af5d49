#include "app/ui/design/DSPrimaryButton.h"

#include "app/ui/design/DS.h"

#include <QPainter>

namespace tilebay {

DSPrimaryButton::DSPrimaryButton(const QString& text, QWidget* parent)
    : DSCapsuleButton(16, 7, QFont::Bold, parent)
{
    setText(text);
}

void DSPrimaryButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(enabledOpacity());
    const QRectF r = capsuleRect();
    const qreal radius = r.height() / 2;
    QColor fill = DS::orange();
    if (isDown()) fill.setAlphaF(0.82f);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(r, radius, radius);
    paintLabel(p, Qt::white);
    if (showsFocusRing()) paintFocusRing(p, Qt::white);
}

}  // namespace tilebay
