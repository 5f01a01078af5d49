#include "app/ui/sheets/SheetParts.h"

#include "app/ui/design/DS.h"
#include "app/ui/design/DSPalette.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

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

namespace {

// On a dark palette: the unchecked box's fill and the colour the style
// derives its edge from (it darkens the window colour for the edge).
const QColor kDarkBoxFill(0x62, 0x62, 0x62);
const QColor kDarkBoxEdgeBase(0xB4, 0xB4, 0xB4);
// The chosen segment on a dark palette: the style fills a chosen button with
// its button colour darkened by a tenth, so this paints about #B0B0B0.
const QColor kDarkChosenSegment(0xC2, 0xC2, 0xC2);

}  // namespace

SheetCheckBox::SheetCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {}

void SheetCheckBox::paintEvent(QPaintEvent*)
{
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    if (isDarkPalette(palette())) {
        option.palette.setColor(QPalette::Base, kDarkBoxFill);
        option.palette.setColor(QPalette::Window, kDarkBoxEdgeBase);
    }
    p.drawControl(QStyle::CE_CheckBox, option);
}

SheetSegment::SheetSegment(const QString& text, QWidget* parent) : QPushButton(text, parent)
{
    setCheckable(true);
}

void SheetSegment::paintEvent(QPaintEvent*)
{
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    if (isChecked() && isDarkPalette(palette())) {
        option.palette.setColor(QPalette::Button, kDarkChosenSegment);
        option.palette.setColor(QPalette::ButtonText, DS::primaryText(lightPalette()));
    }
    p.drawControl(QStyle::CE_PushButton, option);
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
