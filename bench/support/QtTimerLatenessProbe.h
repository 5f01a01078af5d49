// The Qt twin of MainQueueLatenessProbe: a 16 ms precise timer on the GUI
// thread's event loop, re-armed after every tick, whose lateness past each
// due time is recorded while a benchmark works. Long stretches of work on
// the GUI thread (feeding, drawing, pasting) show up as late ticks.
// GUI thread only; the Qt event loop must be pumped for ticks to run.
#pragma once

#include "corvel/platform/Dispatch.h"

#include <QObject>
#include <QTimer>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

namespace corvel::bench {

class QtTimerLatenessProbe {
public:
    explicit QtTimerLatenessProbe(Nanos period = 16'000'000) : period_(period)
    {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    }

    void start()
    {
        samples_.clear();
        arm();
    }
    void stop() { timer_.stop(); }

    size_t ticks() const { return samples_.size(); }
    // Lateness in nanoseconds at quantile q (0 ... 1); 0 without ticks.
    Nanos percentile(double q) const
    {
        if (samples_.empty()) return 0;
        std::vector<Nanos> sorted = samples_;
        std::sort(sorted.begin(), sorted.end());
        const size_t index = std::min(sorted.size() - 1, size_t(q * double(sorted.size())));
        return sorted[index];
    }
    Nanos worst() const { return samples_.empty() ? 0 : *std::max_element(samples_.begin(), samples_.end()); }

private:
    void arm()
    {
        due_ = monotonicNanos() + period_;
        timer_.start(int(period_ / 1'000'000));
    }
    void tick()
    {
        samples_.push_back(std::max<Nanos>(0, monotonicNanos() - due_));
        arm();
    }

    const Nanos period_;
    QTimer timer_;
    Nanos due_ = 0;
    std::vector<Nanos> samples_;
};

}  // namespace corvel::bench
