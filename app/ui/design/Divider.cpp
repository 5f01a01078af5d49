#include "app/ui/design/Divider.h"

#include "app/ui/design/DS.h"

#include <QPainter>

namespace tilebay {

Divider::Divider(int height, QWidget* parent) : QWidget(parent)
{
    setFixedSize(1, height);
}

QSize Divider::sizeHint() const
{
    return minimumSize();
}

void Divider::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), DS::separator(palette()));
}

}  // namespace tilebay
