// The process's main queue on the Qt GUI thread: blocks posted from any
// thread run in the GUI thread's event loop, delayed blocks on precise
// single-shot timers. The application and the Qt test main install one with
// DispatchQueue::setMain once the QApplication exists.
//
// Construct and destroy it on the GUI thread. Blocks still pending when it is
// destroyed never run (their context object goes with it).
#pragma once

#include "corvel/platform/Dispatch.h"

#include <memory>

class QObject;

namespace corvel {

class QtMainQueue final : public DispatchQueue {
public:
    QtMainQueue();
    ~QtMainQueue() override;
    QtMainQueue(const QtMainQueue&) = delete;
    QtMainQueue& operator=(const QtMainQueue&) = delete;

    using DispatchQueue::asyncAfter;
    void async(std::function<void()> block) override;
    // The delay is rounded up to whole milliseconds, so a block never runs early.
    void asyncAfter(Nanos delay, std::function<void()> block) override;
    bool isCurrent() const override;

private:
    void startTimer(Nanos due, std::function<void()> block);

    std::unique_ptr<QObject> context_;
};

}  // namespace corvel
