#include "app/ui/design/SymbolButton.h"

#include "app/ui/design/DS.h"

#include <QFocusEvent>
#include <QPainter>

namespace tilebay {

namespace {
constexpr int kMargin = 3;  // room around the symbol for the focus ring
}

SymbolButton::SymbolButton(const QString& symbol, SymbolScale scale, QWidget* parent)
    : QAbstractButton(parent), symbol_(symbol), size_(symbolSize(scale))
{
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolButton::setSymbol(const QString& symbol)
{
    if (symbol_ == symbol) return;
    symbol_ = symbol;
    update();
}

void SymbolButton::setTint(const QColor& colour)
{
    tint_ = colour;
    update();
}

QSize SymbolButton::sizeHint() const
{
    return {size_ + 2 * kMargin, size_ + 2 * kMargin};
}

void SymbolButton::focusInEvent(QFocusEvent* event)
{
    const auto reason = event->reason();
    keyboardFocus_ = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                     reason == Qt::ShortcutFocusReason;
    QAbstractButton::focusInEvent(event);
}

void SymbolButton::focusOutEvent(QFocusEvent* event)
{
    keyboardFocus_ = false;
    QAbstractButton::focusOutEvent(event);
}

void SymbolButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity((isEnabled() ? 1.0 : 0.4) * (isDown() ? 0.6 : 1.0));
    SymbolIcons::draw(p, QRectF(rect()), symbol_, size_,
                      tint_.isValid() ? tint_ : DS::primaryText(palette()));
    if (hasFocus() && keyboardFocus_) {
        p.setOpacity(1.0);
        p.setPen(QPen(DS::orange(), 2));
        p.setBrush(Qt::NoBrush);
        const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);
        p.drawRoundedRect(r, 4, 4);
    }
}

}  // namespace tilebay
