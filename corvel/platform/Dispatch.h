// A small dispatch layer: serial queues with one worker thread, a pluggable
// main queue, delayed and cancellable work, and a monotonic clock.
//
// The terminal core schedules work through this layer (the synchronized-output
// timeout, process-host delivery, redraw scheduling). Headless programs and
// tests use RunLoopQueue as the main queue and pump it themselves; it can run
// on a manual clock so that delayed work is driven deterministically. The
// application installs a Qt-backed main queue instead.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace corvel {

using Nanos = int64_t;

// Nanoseconds of a monotonic clock with an arbitrary origin.
Nanos monotonicNanos();

// A block that can be cancelled before it runs. Cancelling a running block
// does not stop it; it only keeps a later perform() from running it.
class DispatchWorkItem {
public:
    explicit DispatchWorkItem(std::function<void()> block) : block_(std::move(block)) {}
    void perform();
    void cancel() { cancelled_.store(true, std::memory_order_release); }
    bool isCancelled() const { return cancelled_.load(std::memory_order_acquire); }

private:
    std::function<void()> block_;
    std::atomic<bool> cancelled_{false};
};
using DispatchWorkItemPtr = std::shared_ptr<DispatchWorkItem>;

class DispatchQueue {
public:
    virtual ~DispatchQueue() = default;

    // Runs the block on this queue after everything queued before it.
    virtual void async(std::function<void()> block) = 0;
    // Runs the block on this queue once `delay` nanoseconds of this queue's clock have passed.
    virtual void asyncAfter(Nanos delay, std::function<void()> block) = 0;
    // Schedules a cancellable item; it does nothing when cancelled before its time.
    void asyncAfter(Nanos delay, const DispatchWorkItemPtr& item);
    // Runs the block on this queue and waits for it. Called from this queue's own
    // thread, the block runs at once (a serial queue would otherwise deadlock).
    virtual void sync(std::function<void()> block);
    // Whether the calling thread is the one that runs this queue's blocks.
    virtual bool isCurrent() const = 0;
    // The clock that asyncAfter counts on.
    virtual Nanos now() const { return monotonicNanos(); }

    // What the queue's consumers of bulk deliveries (program output) have
    // spent of the current turn: all of them together yield to the queue's
    // other work (timers, painting) once a turn is used up, however many
    // there are. Read and written on the queue's own thread only.
    struct DeliveryTurn {
        Nanos start = 0;    // when the current turn began
        Nanos lastEnd = 0;  // when the last delivery of the turn ended
        // Who used up the last turn, and how many deliveries wait for the
        // next one: the holder lets a waiting one go first.
        const void* holder = nullptr;
        std::atomic<int> waiting{0};
    };
    const std::shared_ptr<DeliveryTurn>& deliveryTurn() const { return deliveryTurn_; }

    // The process's main queue. Until one is installed, a RunLoopQueue owned by
    // the first thread that asks is made.
    static DispatchQueue& main();
    // Installs a main queue and returns the previous one (may be null).
    static std::shared_ptr<DispatchQueue> setMain(std::shared_ptr<DispatchQueue> queue);
    // A shared serial background queue for work that must stay ordered (writes).
    static DispatchQueue& global();

private:
    std::shared_ptr<DeliveryTurn> deliveryTurn_ = std::make_shared<DeliveryTurn>();
};

// Delayed and immediate tasks in one ordered store, shared by the queues below.
class TaskStore {
public:
    void push(Nanos due, std::function<void()> block);
    // Removes and returns the earliest task due at or before `now`, if any.
    bool popDue(Nanos now, std::function<void()>& out);
    // The earliest due time, or -1 when empty.
    Nanos nextDue() const;
    bool empty() const { return tasks_.empty(); }
    size_t size() const { return tasks_.size(); }
    void clear() { tasks_.clear(); }

private:
    // Ordered by due time, then by submission, so equal times run in order.
    std::map<std::pair<Nanos, uint64_t>, std::function<void()>> tasks_;
    uint64_t seq_ = 0;
};

// A queue with its own worker thread; blocks run one at a time in order.
class SerialQueue final : public DispatchQueue {
public:
    explicit SerialQueue(const char* name = "corvel.serial");
    ~SerialQueue() override;  // runs nothing more; waits for the running block
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    using DispatchQueue::asyncAfter;
    void async(std::function<void()> block) override;
    void asyncAfter(Nanos delay, std::function<void()> block) override;
    bool isCurrent() const override;

private:
    void run();

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    TaskStore tasks_;
    bool stopping_ = false;
    std::thread worker_;
};

// A queue whose blocks run only when its owner pumps it. Used as the main
// queue of headless programs and tests. With a manual clock, time stands still
// until advance() moves it, so delayed work can be tested exactly.
class RunLoopQueue final : public DispatchQueue {
public:
    // The constructing thread becomes the owner (see adoptCurrentThread()).
    explicit RunLoopQueue(bool manualClock = false);

    using DispatchQueue::asyncAfter;
    void async(std::function<void()> block) override;
    void asyncAfter(Nanos delay, std::function<void()> block) override;
    bool isCurrent() const override;
    Nanos now() const override;

    // Makes the calling thread the one that pumps this queue.
    void adoptCurrentThread();

    // Runs every block that is due now, including blocks they queue for now.
    // Returns how many ran.
    size_t runUntilIdle();
    // Runs due blocks, waiting for more, until `done` is true (checked after
    // each block and while idle) or `timeout` of real time passed. Returns
    // whether `done` became true.
    bool runUntil(const std::function<bool()>& done, Nanos timeout);
    // Runs blocks as they fall due for `duration` of real time.
    void runFor(Nanos duration);
    // Manual clock only: moves the clock forward step by step to each due
    // block within `by`, running blocks as they fall due.
    void advance(Nanos by);

    size_t pendingCount() const;

private:
    bool runOne();

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    TaskStore tasks_;
    std::atomic<std::thread::id> owner_;
    const bool manualClock_;
    std::atomic<Nanos> manualNow_{0};
};

}  // namespace corvel
