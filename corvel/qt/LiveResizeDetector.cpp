// Live resizes inferred from a window's resize events. See LiveResizeDetector.h.
#include "corvel/qt/LiveResizeDetector.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <algorithm>

namespace corvel {

LiveResizeDetector::LiveResizeDetector(Clock clock, QObject* parent)
    : QObject(parent), clock_(clock ? std::move(clock) : Clock(monotonicNanos)), quiet_(new QTimer(this))
{
    quiet_->setSingleShot(true);
    connect(quiet_, &QTimer::timeout, this, &LiveResizeDetector::check);
}

LiveResizeDetector* LiveResizeDetector::of(QWidget* window)
{
    if (!window) return nullptr;
    auto* detector = window->findChild<LiveResizeDetector*>(QString(), Qt::FindDirectChildrenOnly);
    if (!detector) detector = new LiveResizeDetector({}, window);
    detector->watch(window);
    return detector;
}

void LiveResizeDetector::watch(QWidget* window)
{
    if (window_ == window) return;
    // Application-wide, so the resize is seen before the window's layout
    // passes the new size on to its children.
    if (!window_ && window) qApp->installEventFilter(this);
    if (window_ && !window) qApp->removeEventFilter(this);
    window_ = window;
    lastResize_.reset();
    // A live resize of the old window ends with it.
    if (live_) {
        live_ = false;
        quiet_->stop();
        emit liveChanged(false);
    }
}

bool LiveResizeDetector::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_ && event->type() == QEvent::Resize && event->spontaneous()) noteResize();
    return QObject::eventFilter(watched, event);
}

void LiveResizeDetector::noteResize()
{
    const Nanos now = clock_();
    const bool closeToLast = lastResize_ && now - *lastResize_ < startWithin;
    lastResize_ = now;
    if (live_ || closeToLast) {
        armQuietTimer(quietEnd);
        if (!live_) {
            live_ = true;
            emit liveChanged(true);
        }
    }
}

void LiveResizeDetector::check()
{
    if (!live_ || !lastResize_) return;
    const Nanos quietFor = clock_() - *lastResize_;
    if (quietFor < quietEnd) {
        armQuietTimer(quietEnd - quietFor);
        return;
    }
    live_ = false;
    emit liveChanged(false);
}

void LiveResizeDetector::armQuietTimer(Nanos after)
{
    const auto ms = static_cast<int>(std::max<Nanos>(after / 1'000'000, 0)) + 1;
    quiet_->start(ms);
}

}  // namespace corvel
