#include "app/ui/design/SymbolView.h"

#include "app/ui/design/DS.h"

#include <QPainter>

namespace tilebay {

SymbolView::SymbolView(const QString& symbol, SymbolScale scale, QWidget* parent)
    : QWidget(parent), symbol_(symbol), size_(symbolSize(scale))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolView::setColour(const QColor& colour)
{
    colour_ = colour;
    update();
}

QSize SymbolView::sizeHint() const
{
    return {size_, size_};
}

void SymbolView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    SymbolIcons::draw(p, QRectF(rect()), symbol_, size_,
                      colour_.isValid() ? colour_ : DS::secondaryText(palette()));
}

}  // namespace tilebay
