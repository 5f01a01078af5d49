// Installs a pumpable main queue for a benchmark and measures how late a
// repeating timer on it runs while the benchmark works: the figure that tells
// whether delivery of output leaves the main thread responsive.
#pragma once

#include "corvel/platform/Dispatch.h"

#include <algorithm>
#include <functional>
#include <memory>

namespace corvel::bench {

class MainQueueLatenessProbe {
public:
    explicit MainQueueLatenessProbe(Nanos period)
        : period_(period), queue_(std::make_shared<RunLoopQueue>()), previous_(DispatchQueue::setMain(queue_))
    {
        // Each chain checks its generation, so a tick of an earlier chain
        // still queued after stop() ends there.
        tick_ = [this](int chain) {
            if (chain != generation_) return;
            const Nanos now = monotonicNanos();
            worst_ = std::max(worst_, now - due_);
            due_ = now + period_;
            queue_->asyncAfter(period_, [this, chain] { tick_(chain); });
        };
    }

    ~MainQueueLatenessProbe()
    {
        stop();
        queue_->runFor(2 * period_);  // lets the last queued tick run before the probe goes
        DispatchQueue::setMain(previous_);
    }

    MainQueueLatenessProbe(const MainQueueLatenessProbe&) = delete;
    MainQueueLatenessProbe& operator=(const MainQueueLatenessProbe&) = delete;

    RunLoopQueue& queue() { return *queue_; }

    // Starts a new timer chain (one per benchmark iteration).
    void start()
    {
        const int chain = ++generation_;
        due_ = monotonicNanos() + period_;
        queue_->asyncAfter(period_, [this, chain] { tick_(chain); });
    }

    void stop() { ++generation_; }

    // The largest delay past its due time of any tick so far.
    Nanos worstLateness() const { return worst_; }

private:
    const Nanos period_;
    std::shared_ptr<RunLoopQueue> queue_;
    std::shared_ptr<DispatchQueue> previous_;
    std::function<void(int)> tick_;
    int generation_ = 0;
    Nanos due_ = 0;
    Nanos worst_ = 0;
};

}  // namespace corvel::bench
