#include "app/ui/design/ElidedLabel.h"

#include "app/ui/design/DS.h"

#include <QFontMetrics>
#include <QPainter>

#include <cmath>

namespace tilebay {

ElidedLabel::ElidedLabel(const QString& text, QWidget* parent) : QWidget(parent), text_(text)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ElidedLabel::setText(const QString& text)
{
    if (text_ == text) return;
    text_ = text;
    updateGeometry();
    update();
}

void ElidedLabel::setTone(TextTone tone)
{
    if (tone_ == tone) return;
    tone_ = tone;
    update();
}

QString ElidedLabel::displayedText() const
{
    return QFontMetrics(font()).elidedText(text_, Qt::ElideRight, width());
}

QSize ElidedLabel::sizeHint() const
{
    // The fractional advance rounded up: a width rounded to the nearest pixel
    // can be a fraction short of the text, which then loses its tail.
    const QFontMetricsF fm(font());
    return {static_cast<int>(std::ceil(fm.horizontalAdvance(text_))), QFontMetrics(font()).height()};
}

QSize ElidedLabel::minimumSizeHint() const
{
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(QChar(0x2026)), fm.height()};
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setPen(tone_ == TextTone::secondary ? DS::secondaryText(palette())
                                          : DS::primaryText(palette()));
    p.setFont(font());
    const QFontMetrics fm(font());
    const qreal baseline = std::round((height() - fm.height()) / 2.0) + fm.ascent();
    p.drawText(QPointF(0, baseline), displayedText());
}

}  // namespace tilebay
