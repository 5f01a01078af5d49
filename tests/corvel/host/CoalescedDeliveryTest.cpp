#include "corvel/host/CoalescedDelivery.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace corvel;

namespace {

void spin(Nanos duration)
{
    const Nanos until = monotonicNanos() + duration;
    while (monotonicNanos() < until) {
    }
}

std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace

TEST(CoalescedDelivery, DeliversEveryBlockInOrderInSlicesThatLetTheQueueRun)
{
    RunLoopQueue queue;
    std::vector<std::string> received;
    int receivedWhenOtherWorkRan = -1;
    auto delivery = CoalescedDelivery::create(
        [&](CoalescedDelivery::Block block) { queue.async(std::move(block)); },
        [&](std::span<const uint8_t> bytes) {
            received.emplace_back(bytes.begin(), bytes.end());
            spin(1'000'000);  // a consumer that takes 1 ms per block
        },
        1 << 20, 1 << 19, nullptr);

    for (int i = 0; i < 100; ++i) delivery->enqueue(bytesOf(std::to_string(i)));
    bool markerRan = false;
    delivery->enqueueMarker([&] { markerRan = received.size() == 100; });
    queue.async([&] { receivedWhenOtherWorkRan = static_cast<int>(received.size()); });
    EXPECT_EQ(delivery->pendingBytes(), 190u);

    queue.runUntilIdle();
    ASSERT_EQ(received.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(received[i], std::to_string(i));
    EXPECT_TRUE(markerRan);
    // The other work ran after the first slice, long before the last block.
    EXPECT_GT(receivedWhenOtherWorkRan, 0);
    EXPECT_LT(receivedWhenOtherWorkRan, 20);
    EXPECT_EQ(delivery->pendingBytes(), 0u);
}
