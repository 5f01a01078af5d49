#include "app/ui/expanded/CardShadow.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <vector>

namespace tilebay {

namespace {

// One box-blur pass of the alpha channel along rows (`horizontal`) or columns.
void boxBlur(QImage& image, int radius, bool horizontal)
{
    const int w = image.width(), h = image.height();
    const int lines = horizontal ? h : w, length = horizontal ? w : h;
    std::vector<int> in(length), out(length);
    for (int line = 0; line < lines; ++line) {
        auto at = [&](int i) -> uchar* {
            const int x = horizontal ? i : line, y = horizontal ? line : i;
            return image.scanLine(y) + x * 4 + 3;  // alpha of ARGB32 premultiplied (little end)
        };
        for (int i = 0; i < length; ++i) in[i] = *at(i);
        int sum = 0;
        for (int i = -radius; i <= radius; ++i) sum += (i >= 0 && i < length) ? in[i] : 0;
        for (int i = 0; i < length; ++i) {
            out[i] = sum / (2 * radius + 1);
            const int add = i + radius + 1, drop = i - radius;
            if (add < length) sum += in[add];
            if (drop >= 0) sum -= in[drop];
        }
        for (int i = 0; i < length; ++i) *at(i) = static_cast<uchar>(out[i]);
    }
}

}  // namespace

const QImage& CardShadow::image(qreal ratio)
{
    if (ratio_ == ratio && !image_.isNull()) return image_;
    ratio_ = ratio;
    // Corners of (blur + radius) device pixels and a one-pixel middle to stretch.
    const int margin = static_cast<int>(std::ceil(blurRadius * ratio));
    const int corner = static_cast<int>(std::ceil(corner_ * ratio));
    const int side = 2 * (margin + corner) + 1;
    QImage alpha(side, side, QImage::Format_ARGB32);
    alpha.fill(Qt::transparent);
    {
        QPainter p(&alpha);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(margin, margin, side - 2 * margin, side - 2 * margin), corner, corner);
        p.fillPath(shape, Qt::black);
    }
    // Three box passes approach a Gaussian whose reach is the blur radius.
    const int box = std::max(1, margin / 3);
    for (int pass = 0; pass < 3; ++pass) {
        boxBlur(alpha, box, true);
        boxBlur(alpha, box, false);
    }
    // Black with the blurred coverage as alpha.
    for (int y = 0; y < side; ++y) {
        auto* row = reinterpret_cast<QRgb*>(alpha.scanLine(y));
        for (int x = 0; x < side; ++x) row[x] = qRgba(0, 0, 0, qAlpha(row[x]));
    }
    image_ = alpha.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return image_;
}

void CardShadow::paint(QPainter& painter, const QRectF& card, qreal strength)
{
    if (card.isEmpty() || strength <= 0) return;
    const qreal ratio = painter.device()->devicePixelRatioF();
    const QImage& img = image(ratio);
    const qreal margin = std::ceil(blurRadius * ratio) / ratio;
    const qreal corner = std::ceil(corner_ * ratio) / ratio;
    const int c = static_cast<int>(std::ceil(blurRadius * ratio) + std::ceil(corner_ * ratio));  // source corner
    const int s = img.width();
    const QRectF outer = card.translated(0, offsetY).adjusted(-margin, -margin, margin, margin);
    const qreal k = margin + corner;  // target corner size
    // Slices stretch only when the card is larger than two corners.
    const qreal midW = std::max<qreal>(0, outer.width() - 2 * k), midH = std::max<qreal>(0, outer.height() - 2 * k);
    const qreal xs[3] = {outer.left(), outer.left() + k, outer.left() + k + midW};
    const qreal ws[3] = {k, midW, k};
    const qreal ys[3] = {outer.top(), outer.top() + k, outer.top() + k + midH};
    const qreal hs[3] = {k, midH, k};
    const int sx[3] = {0, c, c + 1}, sw[3] = {c, 1, s - c - 1};
    painter.save();
    painter.setOpacity(painter.opacity() * opacity * strength);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) {
            if (ws[col] <= 0 || hs[row] <= 0) continue;
            painter.drawImage(QRectF(xs[col], ys[row], ws[col], hs[row]), img, QRectF(sx[col], sx[row], sw[col], sw[row]));
        }
    painter.restore();
}

}  // namespace tilebay
