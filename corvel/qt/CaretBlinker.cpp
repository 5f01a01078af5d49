#include "corvel/qt/CaretBlinker.h"

#include "corvel/qt/CaretView.h"

#include <QCoreApplication>
#include <QPointer>

#include <algorithm>
#include <cmath>

namespace corvel {

namespace {

// The ease-in timing curve: a cubic Bezier through (0, 0), (0.42, 0), (1, 1), (1, 1).
double easeIn(double x)
{
    constexpr double x1 = 0.42;
    auto bezierX = [](double t) { return 3 * (1 - t) * (1 - t) * t * x1 + 3 * (1 - t) * t * t + t * t * t; };
    auto bezierY = [](double t) { return t * t * t + 3 * (1 - t) * t * t; };
    double lo = 0;
    double hi = 1;
    for (int i = 0; i < 40; ++i) {
        const double mid = (lo + hi) / 2;
        (bezierX(mid) < x ? lo : hi) = mid;
    }
    return bezierY((lo + hi) / 2);
}

}  // namespace

CaretBlinker& CaretBlinker::shared()
{
    static QPointer<CaretBlinker> instance;
    if (!instance) instance = new CaretBlinker(QCoreApplication::instance());
    return *instance;
}

CaretBlinker::CaretBlinker(QObject* parent) : QObject(parent)
{
    timer_.setInterval(frameIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &CaretBlinker::tick);
}

double CaretBlinker::opacityAt(Nanos elapsed)
{
    if (elapsed <= 0) return 1.0;
    const Nanos phase = elapsed % (2 * halfPeriod);
    const Nanos into = phase < halfPeriod ? phase : 2 * halfPeriod - phase;
    return 1.0 - easeIn(double(into) / double(halfPeriod));
}

void CaretBlinker::setManual(bool manual)
{
    manual_ = manual;
    updateTimer();
}

void CaretBlinker::add(CaretView* caret)
{
    if (!contains(caret)) carets_.push_back(caret);
    updateTimer();
}

void CaretBlinker::remove(CaretView* caret)
{
    carets_.erase(std::remove(carets_.begin(), carets_.end(), caret), carets_.end());
    updateTimer();
}

bool CaretBlinker::contains(const CaretView* caret) const
{
    return std::find(carets_.begin(), carets_.end(), caret) != carets_.end();
}

void CaretBlinker::tick()
{
    ++ticks_;
    const Nanos at = now();
    // A caret may stop blinking from its step; walk a copy.
    const auto carets = carets_;
    for (CaretView* caret : carets) {
        if (contains(caret)) caret->blinkStep(at);
    }
}

void CaretBlinker::updateTimer()
{
    const bool run = !manual_ && !carets_.empty();
    if (run && !timer_.isActive()) timer_.start();
    if (!run && timer_.isActive()) timer_.stop();
}

}  // namespace corvel
