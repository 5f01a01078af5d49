// Installs a run-loop queue as the main dispatch queue for the life of one
// scope and puts the previous one back at its end. With `manualClock` the
// queue's time moves only when the test advances it, so timeouts are tested
// without waiting. Single-threaded, like the tests that use it.
#pragma once

#include "corvel/platform/Dispatch.h"

#include <memory>

namespace corvel::testing {

class MainQueueScope {
public:
    explicit MainQueueScope(bool manualClock = false)
        : queue(std::make_shared<RunLoopQueue>(manualClock)), previous_(DispatchQueue::setMain(queue))
    {
    }
    ~MainQueueScope() { DispatchQueue::setMain(previous_); }
    MainQueueScope(const MainQueueScope&) = delete;
    MainQueueScope& operator=(const MainQueueScope&) = delete;

    std::shared_ptr<RunLoopQueue> queue;

private:
    std::shared_ptr<DispatchQueue> previous_;
};

}  // namespace corvel::testing
