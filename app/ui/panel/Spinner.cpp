#include "app/ui/panel/Spinner.h"

#include "app/ui/design/DS.h"

#include <QPainter>

namespace tilebay {

namespace {
constexpr int kSpokes = 12;
}

Spinner::Spinner(QWidget* parent) : QWidget(parent)
{
    setFixedSize(sizeHint());
    timer_.setInterval(80);
    connect(&timer_, &QTimer::timeout, this, [this] {
        step_ = (step_ + 1) % kSpokes;
        update();
    });
}

void Spinner::showEvent(QShowEvent* event)
{
    timer_.start();
    QWidget::showEvent(event);
}

void Spinner::hideEvent(QHideEvent* event)
{
    timer_.stop();
    QWidget::hideEvent(event);
}

void Spinner::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(width() / 2.0, height() / 2.0);
    const qreal outer = std::min(width(), height()) / 2.0;
    QColor colour = DS::primaryText(palette());
    for (int i = 0; i < kSpokes; ++i) {
        // The spoke at the current step is the darkest; the others fade behind it.
        const int age = (step_ - i + kSpokes) % kSpokes;
        colour.setAlphaF(static_cast<float>(0.85 - 0.06 * age));
        p.setPen(QPen(colour, outer * 0.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(0, -outer * 0.45), QPointF(0, -outer * 0.9));
        p.rotate(360.0 / kSpokes);
    }
}

}  // namespace tilebay
