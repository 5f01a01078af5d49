#include "corvel/host/CoalescedDelivery.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace corvel;

namespace {

std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace

TEST(CoalescedDelivery, DeliversEveryBlockInOrderInSlicesThatLetTheQueueRun)
{
    RunLoopQueue queue;
    Nanos now = 0;
    std::vector<std::string> received;
    int receivedWhenOtherWorkRan = -1;
    auto delivery = CoalescedDelivery::create(
        [&](CoalescedDelivery::Block block) { queue.async(std::move(block)); },
        [&](std::span<const uint8_t> bytes) {
            received.emplace_back(bytes.begin(), bytes.end());
            now += 1'000'000;  // a consumer that takes 1 ms per block
        },
        1 << 20, 1 << 19, nullptr, [&] { return now; });

    for (int i = 0; i < 100; ++i) delivery->enqueue(bytesOf(std::to_string(i)));
    bool markerRan = false;
    delivery->enqueueMarker([&] { markerRan = received.size() == 100; });
    queue.async([&] { receivedWhenOtherWorkRan = static_cast<int>(received.size()); });
    EXPECT_EQ(delivery->pendingBytes(), 190u);

    queue.runUntilIdle();
    ASSERT_EQ(received.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(received[i], std::to_string(i));
    EXPECT_TRUE(markerRan);
    // The other work ran after the first slice of 4 ms, long before the last block.
    EXPECT_EQ(receivedWhenOtherWorkRan, 4);
    EXPECT_EQ(delivery->pendingBytes(), 0u);
}
