#include "app/ui/design/DSCapsuleButton.h"

#include "app/ui/design/DS.h"
#include "app/ui/design/DSFont.h"
#include "app/ui/icons/SymbolIcons.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace tilebay {

namespace {
constexpr int kIconTextGap = 5;
}

DSCapsuleButton::DSCapsuleButton(int padX, int padY, QFont::Weight weight, QWidget* parent)
    : QAbstractButton(parent), padX_(padX), padY_(padY)
{
    setFont(dsFont(13, weight));
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
}

void DSCapsuleButton::setSymbol(const QString& name)
{
    if (symbol_ == name) return;
    symbol_ = name;
    updateGeometry();
    update();
}

QSize DSCapsuleButton::labelSize(const QString& title) const
{
    const QFontMetrics fm(font());
    const int iconSize = symbol_.isEmpty() ? 0 : symbolSize(SymbolScale::medium);
    const int textWidth = title.isEmpty() ? 0 : fm.horizontalAdvance(title);
    const int gap = iconSize > 0 && textWidth > 0 ? kIconTextGap : 0;
    const int height = std::max(iconSize, title.isEmpty() && iconSize > 0 ? 0 : fm.height());
    return {iconSize + gap + textWidth, height};
}

QSize DSCapsuleButton::sizeHint() const
{
    return sizeHintFor(text());
}

QSize DSCapsuleButton::sizeHintFor(const QString& title) const
{
    const QSize label = labelSize(title);
    return {label.width() + 2 * padX_, label.height() + 2 * padY_};
}

QSize DSCapsuleButton::minimumSizeHint() const
{
    // A title can shrink to an ellipsis; symbol and padding stay.
    const QSize full = sizeHint();
    if (text().isEmpty()) return full;
    const QFontMetrics fm(font());
    const int shrinkable = fm.horizontalAdvance(text()) - fm.horizontalAdvance(QChar(0x2026));
    return {full.width() - std::max(0, shrinkable), full.height()};
}

QRectF DSCapsuleButton::capsuleRect() const
{
    return QRectF(rect());
}

bool DSCapsuleButton::hitButton(const QPoint& pos) const
{
    const QRectF r = capsuleRect();
    const qreal radius = std::min(r.width(), r.height()) / 2;
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path.contains(QPointF(pos) + QPointF(0.5, 0.5));
}

void DSCapsuleButton::focusInEvent(QFocusEvent* event)
{
    const auto reason = event->reason();
    keyboardFocus_ = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                     reason == Qt::ShortcutFocusReason;
    QAbstractButton::focusInEvent(event);
}

void DSCapsuleButton::focusOutEvent(QFocusEvent* event)
{
    keyboardFocus_ = false;
    QAbstractButton::focusOutEvent(event);
}

void DSCapsuleButton::paintLabel(QPainter& painter, const QColor& colour) const
{
    const QRectF r = capsuleRect();
    const QFontMetrics fm(font());
    const QSize label = labelSize(text());
    // Narrower than its label: the title is cut at the tail.
    const int room = static_cast<int>(r.width()) - 2 * padX_;
    QString title = text();
    int labelWidth = label.width();
    if (labelWidth > room && !title.isEmpty()) {
        const int textRoom = std::max(0, fm.horizontalAdvance(title) - (labelWidth - room));
        title = fm.elidedText(title, Qt::ElideRight, textRoom);
        labelWidth = labelWidth - fm.horizontalAdvance(text()) + fm.horizontalAdvance(title);
    }
    const qreal left = r.left() + (r.width() - labelWidth) / 2.0;
    const qreal midY = r.center().y();
    qreal x = left;
    if (!symbol_.isEmpty()) {
        const int s = symbolSize(SymbolScale::medium);
        SymbolIcons::draw(painter, QRectF(x, midY - s / 2.0, s, s), symbol_, s, colour);
        x += s + (text().isEmpty() ? 0 : kIconTextGap);
    }
    if (!title.isEmpty()) {
        painter.setFont(font());
        painter.setPen(colour);
        const qreal baseline = std::round(midY - fm.height() / 2.0) + fm.ascent();
        painter.drawText(QPointF(x, baseline), title);
    }
}

void DSCapsuleButton::paintFocusRing(QPainter& painter, const QColor& inner) const
{
    const QRectF r = capsuleRect().adjusted(1, 1, -1, -1);
    const qreal radius = r.height() / 2;
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(DS::orange(), 2));
    painter.drawRoundedRect(r, radius, radius);
    if (inner.isValid()) {
        const QRectF in = r.adjusted(1.5, 1.5, -1.5, -1.5);
        painter.setPen(QPen(inner, 1));
        painter.drawRoundedRect(in, in.height() / 2, in.height() / 2);
    }
}

}  // namespace tilebay
