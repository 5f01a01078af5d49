#include "corvel/qt/TerminalProgressBarView.h"

#include <QApplication>
#include <QEasingCurve>
#include <QPainter>
#include <QPalette>

namespace corvel {

namespace {

// The ease-in-ease-out timing curve: a cubic Bezier with control points
// (0.42, 0) and (0.58, 1).
QEasingCurve easeInEaseOut()
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.42, 0.0), QPointF(0.58, 1.0), QPointF(1.0, 1.0));
    return curve;
}

const DeviceColor kOrange{255 / 255.0, 149 / 255.0, 0.0, 1.0};
const DeviceColor kRed{255 / 255.0, 59 / 255.0, 48 / 255.0, 1.0};

}  // namespace

TerminalProgressBarView::TerminalProgressBarView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();

    determinate_.setDuration(determinateDurationMs);
    determinate_.setEasingCurve(easeInEaseOut());
    connect(&determinate_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        barFrame_ = value.toRectF();
        update();
    });

    // One run is there and back; the block's position follows the eased
    // fraction of each half.
    indeterminate_.setDuration(2 * indeterminateDurationMs);
    indeterminate_.setStartValue(0.0);
    indeterminate_.setEndValue(1.0);
    indeterminate_.setLoopCount(-1);
    connect(&indeterminate_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        const double run = value.toDouble();
        const double half = run < 0.5 ? run * 2.0 : (1.0 - run) * 2.0;
        const double eased = easeInEaseOut().valueForProgress(half);
        const double blockWidth = barFrame_.width();
        const double travel = width() - blockWidth;
        barFrame_.moveLeft(travel * eased);
        update();
    });
}

void TerminalProgressBarView::apply(ProgressReportState state, std::optional<uint8_t> progress)
{
    state_ = state;
    progress_ = progress;
    if (state == ProgressReportState::remove) {
        stopSliding();
        determinate_.stop();
        hide();
        return;
    }
    show();
    if (state == ProgressReportState::pause) {
        barColor_ = kOrange;
    } else if (state == ProgressReportState::error) {
        barColor_ = kRed;
    } else {
        barColor_ = DeviceColor::fromQColor(QApplication::palette().color(QPalette::Highlight));
    }
    if (progress) {
        updateDeterminate(*progress, true);
    } else {
        updateIndeterminate();
    }
    update();
}

void TerminalProgressBarView::updateDeterminate(uint8_t progress, bool animated)
{
    trackShown_ = false;
    stopSliding();
    const QRectF target(0, 0, width() * progress / 100.0, height());
    determinate_.stop();
    if (animated) {
        determinate_.setStartValue(barFrame_);
        determinate_.setEndValue(target);
        determinate_.start();
    } else {
        barFrame_ = target;
    }
    update();
}

void TerminalProgressBarView::updateIndeterminate()
{
    trackShown_ = true;
    determinate_.stop();
    const double blockWidth = width() * barWidthRatio;
    barFrame_ = QRectF(0, 0, blockWidth, height());
    if (blockWidth > 0 && blockWidth < width()) {
        indeterminate_.stop();
        indeterminate_.start();
    } else {
        stopSliding();
    }
    update();
}

void TerminalProgressBarView::stopSliding()
{
    indeterminate_.stop();
}

void TerminalProgressBarView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (isHidden()) return;
    if (progress_) {
        updateDeterminate(*progress_, false);
    } else {
        updateIndeterminate();
    }
}

void TerminalProgressBarView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setClipRect(rect());
    if (trackShown_) {
        DeviceColor track = barColor_;
        track.alpha = trackAlpha;
        painter.fillRect(rect(), track.toQColor());
    }
    painter.fillRect(barFrame_, barColor_.toQColor());
}

}  // namespace corvel
