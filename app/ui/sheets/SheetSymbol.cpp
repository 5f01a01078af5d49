#include "app/ui/sheets/SheetSymbol.h"

#include "app/ui/design/DS.h"
#include "app/ui/icons/SymbolIcons.h"

#include <QPainter>

#include <algorithm>

namespace tilebay {

SheetSymbol::SheetSymbol(const QString& symbol, int size, QWidget* parent, int frameWidth)
    : QWidget(parent), symbol_(symbol), size_(size), frameWidth_(std::max(frameWidth, size))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFixedSize(sizeHint());
}

void SheetSymbol::setColour(const QColor& colour)
{
    colour_ = colour;
    update();
}

QSize SheetSymbol::sizeHint() const
{
    return {frameWidth_, size_};
}

void SheetSymbol::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRectF square((width() - size_) / 2.0, (height() - size_) / 2.0, size_, size_);
    SymbolIcons::draw(p, square, symbol_, size_, colour_.isValid() ? colour_ : DS::secondaryText(palette()));
}

}  // namespace tilebay
