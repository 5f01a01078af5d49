#include "corvel/host/CoalescedDelivery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
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

    // A large block goes in pieces, and the slice may end inside it.
    received.clear();
    std::string large;
    for (size_t i = 0; i < 10 * CoalescedDelivery::pieceBytes; ++i) large += char('a' + i % 26);
    delivery->enqueue(bytesOf(large));
    delivery->enqueue(bytesOf("after"));
    queue.async([&] { receivedWhenOtherWorkRan = static_cast<int>(received.size()); });
    queue.runUntilIdle();
    ASSERT_EQ(received.size(), 11u);
    EXPECT_EQ(received[0].size(), CoalescedDelivery::pieceBytes);
    std::string joined;
    for (size_t i = 0; i < 10; ++i) joined += received[i];
    EXPECT_EQ(joined, large);
    EXPECT_EQ(received[10], "after");
    EXPECT_EQ(receivedWhenOtherWorkRan, 4);
}

TEST(CoalescedDelivery, DeliveriesSharingATurnLetTimersRunHoweverManyThereAre)
{
    // Four producers, each with far more than a slice of work: without a
    // shared turn their slices follow one another and the queue's timer
    // waits for all of them. The queue here runs blocks in order of their
    // due time on a clock that the consumer moves: 1 ms per block.
    Nanos now = 0;
    std::multimap<Nanos, CoalescedDelivery::Block> queue;
    auto turn = std::make_shared<DispatchQueue::DeliveryTurn>();
    int delivered = 0;
    std::vector<std::shared_ptr<CoalescedDelivery>> deliveries;
    for (int p = 0; p < 4; ++p) {
        auto delivery = CoalescedDelivery::create(
            [&](CoalescedDelivery::Block block) { queue.emplace(now, std::move(block)); },
            [&](std::span<const uint8_t>) {
                ++delivered;
                now += 1'000'000;
            },
            1 << 20, 1 << 19, nullptr, [&] { return now; });
        delivery->shareTurn(turn, [&](Nanos delay, CoalescedDelivery::Block block) {
            queue.emplace(now + delay, std::move(block));
        });
        for (int i = 0; i < 50; ++i) delivery->enqueue(bytesOf("x"));
        deliveries.push_back(delivery);
    }
    int deliveredWhenTimerRan = -1;
    queue.emplace(2'000'000, [&] { deliveredWhenTimerRan = delivered; });

    for (int steps = 0; !queue.empty() && steps < 10000; ++steps) {
        auto first = queue.begin();
        now = std::max(now, first->first);
        auto block = std::move(first->second);
        queue.erase(first);
        block();
    }
    EXPECT_EQ(delivered, 200);
    // The timer ran once the shared turn was used up (one block per ms): not
    // after the four producers' first slices (16 blocks), nor after all of it.
    EXPECT_EQ(deliveredWhenTimerRan, CoalescedDelivery::turnNs / 1'000'000);
}

TEST(CoalescedDelivery, ABusyDeliveryLetsOneThatWaitedForTheTurnGoFirst)
{
    // One producer always has more than a turn of work; the other's single
    // block arrives while the first holds the turn. Each turn's holder lets
    // a waiting one go first, so that block does not wait for all the rest.
    Nanos now = 0;
    std::multimap<Nanos, CoalescedDelivery::Block> queue;
    auto turn = std::make_shared<DispatchQueue::DeliveryTurn>();
    std::vector<std::string> received;
    const auto make = [&] {
        auto delivery = CoalescedDelivery::create(
            [&](CoalescedDelivery::Block block) { queue.emplace(now, std::move(block)); },
            [&](std::span<const uint8_t> bytes) {
                received.emplace_back(bytes.begin(), bytes.end());
                now += 3'000'000;  // 3 ms a block
            },
            1 << 20, 1 << 19, nullptr, [&] { return now; });
        delivery->shareTurn(turn, [&](Nanos delay, CoalescedDelivery::Block block) {
            queue.emplace(now + delay, std::move(block));
        });
        return delivery;
    };
    auto busy = make();
    auto quiet = make();
    for (int i = 0; i < 100; ++i) busy->enqueue(bytesOf("busy"));
    queue.emplace(4'000'000, [&] { quiet->enqueue(bytesOf("quiet")); });

    for (int steps = 0; !queue.empty() && steps < 10000; ++steps) {
        auto first = queue.begin();
        now = std::max(now, first->first);
        auto block = std::move(first->second);
        queue.erase(first);
        block();
    }
    ASSERT_EQ(received.size(), 101u);
    const auto at = std::find(received.begin(), received.end(), "quiet") - received.begin();
    EXPECT_LE(at, 4) << "the quiet block came after " << at << " busy ones";
}
