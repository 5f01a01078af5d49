#include "app/ui/sheets/SheetParts.h"

#include "app/ui/design/DS.h"

#include <QPainter>

namespace tilebay {

SheetText::SheetText(const QString& text, const QFont& font, bool secondary, QWidget* parent)
    : QLabel(text, parent), secondary_(secondary)
{
    setFont(font);
    setTextFormat(Qt::PlainText);
    applyTone();
}

void SheetText::paintEvent(QPaintEvent* event)
{
    applyTone();
    QLabel::paintEvent(event);
}

void SheetText::applyTone()
{
    if (!secondary_) return;
    const QColor colour = DS::secondaryText(parentWidget() ? parentWidget()->palette() : palette());
    QPalette p = palette();
    if (p.color(QPalette::WindowText) == colour) return;
    p.setColor(QPalette::WindowText, colour);
    setPalette(p);
}

SheetRule::SheetRule(QWidget* parent) : QWidget(parent)
{
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SheetRule::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), DS::separator(palette()));
}

namespace SheetParts {

void paintRowBackground(QPainter& painter, const QRectF& rect, const QPalette& palette, bool focused)
{
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = DS::secondaryText(palette);
    fill.setAlphaF(fill.alphaF() * 0.08f);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(rect, 10, 10);
    if (focused) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(DS::orange(), 2));
        painter.drawRoundedRect(rect.adjusted(1, 1, -1, -1), 9, 9);
    }
}

}  // namespace SheetParts

}  // namespace tilebay
