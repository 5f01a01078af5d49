#include "corvel/platform/Dispatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

using namespace corvel;

TEST(SerialQueue, RunsBlocksInOrderOnItsOwnThread)
{
    SerialQueue queue;
    std::vector<int> seen;
    std::atomic<bool> offCaller{true};
    const auto caller = std::this_thread::get_id();
    for (int i = 0; i < 100; ++i)
        queue.async([&, i] {
            if (std::this_thread::get_id() == caller) offCaller = false;
            seen.push_back(i);
        });
    queue.sync([] {});
    ASSERT_EQ(seen.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[i], i);
    EXPECT_TRUE(offCaller);
}

TEST(SerialQueue, SyncFromItsOwnThreadDoesNotDeadlock)
{
    SerialQueue queue;
    int value = 0;
    queue.sync([&] { queue.sync([&] { value = 7; }); });
    EXPECT_EQ(value, 7);
}

TEST(SerialQueue, DelayedBlocksWaitAndCancelledItemsDoNotRun)
{
    SerialQueue queue;
    std::atomic<int> ran{0};
    auto item = std::make_shared<DispatchWorkItem>([&] { ran += 100; });
    queue.asyncAfter(1'000'000, item);
    item->cancel();
    const Nanos start = monotonicNanos();
    std::atomic<Nanos> at{0};
    queue.asyncAfter(20'000'000, [&] {
        at = monotonicNanos();
        ran += 1;
    });
    while (ran.load() == 0 && monotonicNanos() - start < 20'000'000'000) std::this_thread::yield();
    EXPECT_EQ(ran.load(), 1);
    EXPECT_GE(at.load() - start, 20'000'000);
}

TEST(RunLoopQueue, ManualClockRunsDelayedWorkOnlyWhenAdvanced)
{
    RunLoopQueue queue(/*manualClock=*/true);
    std::vector<int> order;
    queue.asyncAfter(1'000'000'000, [&] { order.push_back(2); });
    queue.asyncAfter(500'000'000, [&] {
        order.push_back(1);
        // Work queued from a delayed block at its own time runs in the same advance.
        queue.async([&] { order.push_back(11); });
    });
    queue.async([&] { order.push_back(0); });
    EXPECT_EQ(queue.runUntilIdle(), 1u);
    queue.advance(499'999'999);
    EXPECT_EQ(order, (std::vector<int>{0}));
    queue.advance(1);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 11}));
    EXPECT_EQ(queue.now(), 500'000'000);
    queue.advance(10'000'000'000);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 11, 2}));
    EXPECT_EQ(queue.pendingCount(), 0u);
}

TEST(RunLoopQueue, RunUntilSeesBlocksQueuedFromOtherThreads)
{
    RunLoopQueue queue;
    SerialQueue other;
    bool done = false;
    other.asyncAfter(5'000'000, [&] { queue.async([&] { done = true; }); });
    EXPECT_TRUE(queue.runUntil([&] { return done; }, 2'000'000'000));
    EXPECT_TRUE(queue.isCurrent());
    EXPECT_FALSE(other.isCurrent());
}
