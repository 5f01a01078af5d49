#include "corvel/platform/Dispatch.h"

#include <chrono>
#include <future>

namespace corvel {

Nanos monotonicNanos()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void DispatchWorkItem::perform()
{
    if (!isCancelled() && block_) block_();
}

void DispatchQueue::asyncAfter(Nanos delay, const DispatchWorkItemPtr& item)
{
    asyncAfter(delay, [item] { item->perform(); });
}

void DispatchQueue::sync(std::function<void()> block)
{
    if (isCurrent()) {
        block();
        return;
    }
    std::promise<void> done;
    auto finished = done.get_future();
    async([&] {
        block();
        done.set_value();
    });
    finished.wait();
}

namespace {
std::mutex& mainMutex()
{
    static std::mutex m;
    return m;
}
std::shared_ptr<DispatchQueue>& mainSlot()
{
    static std::shared_ptr<DispatchQueue> queue;
    return queue;
}
}  // namespace

DispatchQueue& DispatchQueue::main()
{
    std::lock_guard<std::mutex> lock(mainMutex());
    auto& slot = mainSlot();
    if (!slot) slot = std::make_shared<RunLoopQueue>();
    return *slot;
}

std::shared_ptr<DispatchQueue> DispatchQueue::setMain(std::shared_ptr<DispatchQueue> queue)
{
    std::lock_guard<std::mutex> lock(mainMutex());
    auto previous = std::move(mainSlot());
    mainSlot() = std::move(queue);
    return previous;
}

DispatchQueue& DispatchQueue::global()
{
    static SerialQueue queue("corvel.global");
    return queue;
}

// ---- TaskStore ----

void TaskStore::push(Nanos due, std::function<void()> block)
{
    tasks_.emplace(std::make_pair(due, seq_++), std::move(block));
}

bool TaskStore::popDue(Nanos now, std::function<void()>& out)
{
    if (tasks_.empty()) return false;
    auto first = tasks_.begin();
    if (first->first.first > now) return false;
    out = std::move(first->second);
    tasks_.erase(first);
    return true;
}

Nanos TaskStore::nextDue() const
{
    return tasks_.empty() ? -1 : tasks_.begin()->first.first;
}

// ---- SerialQueue ----

SerialQueue::SerialQueue(const char* /*name*/) : worker_([this] { run(); }) {}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        tasks_.clear();
    }
    cv_.notify_all();
    if (worker_.get_id() == std::this_thread::get_id()) {
        worker_.detach();
    } else if (worker_.joinable()) {
        worker_.join();
    }
}

void SerialQueue::async(std::function<void()> block)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) return;
        // Immediate blocks are due "now"; the store keeps submission order for
        // blocks with equal due times, and a due time of the current clock
        // sorts after every earlier delayed block that is already due.
        tasks_.push(monotonicNanos(), std::move(block));
    }
    cv_.notify_one();
}

void SerialQueue::asyncAfter(Nanos delay, std::function<void()> block)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) return;
        tasks_.push(monotonicNanos() + std::max<Nanos>(delay, 0), std::move(block));
    }
    cv_.notify_one();
}

bool SerialQueue::isCurrent() const
{
    return std::this_thread::get_id() == worker_.get_id();
}

void SerialQueue::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        std::function<void()> block;
        if (tasks_.popDue(monotonicNanos(), block)) {
            lock.unlock();
            block();
            block = nullptr;  // destroy captures outside the lock
            lock.lock();
            continue;
        }
        Nanos due = tasks_.nextDue();
        if (due < 0) {
            cv_.wait(lock);
        } else {
            cv_.wait_for(lock, std::chrono::nanoseconds(due - monotonicNanos()));
        }
    }
}

// ---- RunLoopQueue ----

RunLoopQueue::RunLoopQueue(bool manualClock)
    : owner_(std::this_thread::get_id()), manualClock_(manualClock)
{
}

Nanos RunLoopQueue::now() const
{
    return manualClock_ ? manualNow_.load() : monotonicNanos();
}

void RunLoopQueue::async(std::function<void()> block)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push(now(), std::move(block));
    }
    cv_.notify_all();
}

void RunLoopQueue::asyncAfter(Nanos delay, std::function<void()> block)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push(now() + std::max<Nanos>(delay, 0), std::move(block));
    }
    cv_.notify_all();
}

bool RunLoopQueue::isCurrent() const
{
    return std::this_thread::get_id() == owner_.load();
}

void RunLoopQueue::adoptCurrentThread()
{
    owner_.store(std::this_thread::get_id());
}

bool RunLoopQueue::runOne()
{
    std::function<void()> block;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!tasks_.popDue(now(), block)) return false;
    }
    block();
    return true;
}

size_t RunLoopQueue::runUntilIdle()
{
    size_t count = 0;
    while (runOne()) ++count;
    return count;
}

bool RunLoopQueue::runUntil(const std::function<bool()>& done, Nanos timeout)
{
    const Nanos deadline = monotonicNanos() + timeout;
    for (;;) {
        while (runOne()) {
            if (done()) return true;
        }
        if (done()) return true;
        Nanos left = deadline - monotonicNanos();
        if (left <= 0) return false;
        std::unique_lock<std::mutex> lock(mutex_);
        Nanos wait = left;
        if (!manualClock_) {
            Nanos due = tasks_.nextDue();
            if (due >= 0) wait = std::min(wait, std::max<Nanos>(due - monotonicNanos(), 0));
        }
        // Blocks queued from other threads wake the wait; a short cap keeps
        // conditions that change without a block (other threads' state) polled.
        wait = std::min<Nanos>(wait, 5'000'000);
        cv_.wait_for(lock, std::chrono::nanoseconds(wait));
    }
}

void RunLoopQueue::runFor(Nanos duration)
{
    runUntil([] { return false; }, duration);
}

void RunLoopQueue::advance(Nanos by)
{
    const Nanos target = now() + by;
    for (;;) {
        runUntilIdle();
        Nanos due;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            due = tasks_.nextDue();
        }
        if (due < 0 || due > target) break;
        if (manualClock_ && due > manualNow_.load()) manualNow_.store(due);
    }
    if (manualClock_) manualNow_.store(target);
    runUntilIdle();
}

size_t RunLoopQueue::pendingCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return tasks_.size();
}

}  // namespace corvel
