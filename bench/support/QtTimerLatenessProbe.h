// The Qt twin of MainQueueLatenessProbe: a 16 ms precise timer on the GUI
// thread's event loop, re-armed after every tick, whose lateness past each
// due time is recorded while a benchmark works. Long stretches of work on
// the GUI thread (feeding, drawing, pasting) show up as late ticks.
//
// On a loaded machine a tick is also late while the GUI thread waits for a
// processor. The probe reads the thread's run-queue wait (schedstat) at every
// arm and tick; a tick's lateness less that wait is the part the thread's own
// work must explain (a lower bound of it: the wait may fall before the due
// time), reported apart as ownPercentile / ownWorst.
// GUI thread only; the Qt event loop must be pumped for ticks to run.
#pragma once

#include "corvel/platform/Dispatch.h"

#include <QObject>
#include <QTimer>

#include <algorithm>
#include <cstddef>
#include <fstream>
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
        ownSamples_.clear();
        arm();
    }
    void stop() { timer_.stop(); }

    size_t ticks() const { return samples_.size(); }
    // Lateness in nanoseconds at quantile q (0 ... 1); 0 without ticks.
    Nanos percentile(double q) const { return percentileOf(samples_, q); }
    Nanos worst() const { return worstOf(samples_); }
    // The same of the lateness less the time the thread waited for a processor.
    Nanos ownPercentile(double q) const { return percentileOf(ownSamples_, q); }
    Nanos ownWorst() const { return worstOf(ownSamples_); }

private:
    static Nanos percentileOf(const std::vector<Nanos>& samples, double q)
    {
        if (samples.empty()) return 0;
        std::vector<Nanos> sorted = samples;
        std::sort(sorted.begin(), sorted.end());
        const size_t index = std::min(sorted.size() - 1, size_t(q * double(sorted.size())));
        return sorted[index];
    }
    static Nanos worstOf(const std::vector<Nanos>& samples)
    {
        return samples.empty() ? 0 : *std::max_element(samples.begin(), samples.end());
    }
    // Nanoseconds this thread has waited on a run queue (0 without schedstat).
    static Nanos runQueueWait()
    {
        std::ifstream stat("/proc/thread-self/schedstat");
        long long onCpu = 0;
        long long waited = 0;
        stat >> onCpu >> waited;
        return stat ? Nanos(waited) : 0;
    }
    void arm()
    {
        due_ = monotonicNanos() + period_;
        waitedAtArm_ = runQueueWait();
        timer_.start(int(period_ / 1'000'000));
    }
    void tick()
    {
        const Nanos late = std::max<Nanos>(0, monotonicNanos() - due_);
        samples_.push_back(late);
        ownSamples_.push_back(std::max<Nanos>(0, late - (runQueueWait() - waitedAtArm_)));
        arm();
    }

    const Nanos period_;
    QTimer timer_;
    Nanos due_ = 0;
    Nanos waitedAtArm_ = 0;
    std::vector<Nanos> samples_;
    std::vector<Nanos> ownSamples_;
};

}  // namespace corvel::bench
