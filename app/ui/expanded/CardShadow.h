// The expanded card's drop shadow, painted without a graphics effect: a
// rounded rectangle blurred once into a small image (at the device pixel
// ratio it is painted at) and drawn in nine slices around any card rectangle:
// corners as they are, edges and middle stretched. Black at 28 % opacity,
// blur radius 30, offset 10 down.
//
// Threads: the main thread. Ownership: a value held by the overlay; the image
// is rebuilt only when the pixel ratio changes.
#pragma once

#include <QImage>
#include <QRectF>

class QPainter;

namespace tilebay {

class CardShadow {
public:
    static constexpr qreal blurRadius = 30;
    static constexpr qreal offsetY = 10;
    static constexpr qreal opacity = 0.28;

    explicit CardShadow(qreal cornerRadius) : corner_(cornerRadius) {}

    // Paints the shadow of a card at `card`, scaled by `strength` (0 to 1).
    void paint(QPainter& painter, const QRectF& card, qreal strength = 1.0);

    // The blurred slice image at a pixel ratio (built on first use).
    const QImage& image(qreal ratio);

private:
    qreal corner_;
    qreal ratio_ = 0;
    QImage image_;
};

}  // namespace tilebay
