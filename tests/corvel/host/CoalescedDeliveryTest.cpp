#include "corvel/host/CoalescedDelivery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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
        ReadAheadBound::fixed(1 << 20), nullptr, [&] { return now; });

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
            ReadAheadBound::fixed(1 << 20), nullptr, [&] { return now; });
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
            ReadAheadBound::fixed(1 << 20), nullptr, [&] { return now; });
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

namespace {

// Producers that always have more (a program such as `yes`) read by readers
// that enqueue a 64 KiB block each millisecond unless asked to pause, and one
// consumer that takes 1 ms for each 16 KiB piece, all on a simulated clock.
class BusyProducers {
public:
    BusyProducers(int count, ReadAheadBound bound)
    {
        for (int p = 0; p < count; ++p) {
            auto delivery = CoalescedDelivery::create(
                [this](CoalescedDelivery::Block block) { queue_.emplace(now_, std::move(block)); },
                [this](std::span<const uint8_t> bytes) {
                    delivered += bytes.size();
                    now_ += 1'000'000;
                },
                bound, nullptr, [this] { return now_; });
            delivery->shareTurn(turn_, [this](Nanos delay, CoalescedDelivery::Block block) {
                queue_.emplace(now_ + delay, std::move(block));
            });
            deliveries.push_back(delivery);
            read(delivery);
        }
    }

    // Runs the queue until the simulated clock passes `until` or `done` holds.
    void runUntil(Nanos until, const std::function<bool()>& done = [] { return false; })
    {
        while (!queue_.empty() && now_ < until && !done()) {
            auto first = queue_.begin();
            now_ = std::max(now_, first->first);
            auto block = std::move(first->second);
            queue_.erase(first);
            block();
        }
    }

    // The time until a producer's marker, enqueued now, runs: until what it
    // had read before is delivered.
    Nanos catchUp(const std::shared_ptr<CoalescedDelivery>& delivery)
    {
        stopped_ = delivery.get();
        const Nanos start = now_;
        Nanos ranAt = -1;
        delivery->enqueueMarker([&] { ranAt = now_; });
        runUntil(start + 60'000'000'000, [&] { return ranAt >= 0; });
        return ranAt - start;
    }

    Nanos now() const { return now_; }

    std::vector<std::shared_ptr<CoalescedDelivery>> deliveries;
    size_t delivered = 0;

private:
    void read(const std::shared_ptr<CoalescedDelivery>& delivery)
    {
        queue_.emplace(now_ + 1'000'000, [this, delivery] {
            if (stopped_ == delivery.get()) return;  // interrupted: writes no more
            if (!delivery->producerShouldPause()) delivery->enqueue(std::vector<uint8_t>(65536, 'y'));
            read(delivery);
        });
    }

    Nanos now_ = 0;
    std::multimap<Nanos, CoalescedDelivery::Block> queue_;
    std::shared_ptr<DispatchQueue::DeliveryTurn> turn_ = std::make_shared<DispatchQueue::DeliveryTurn>();
    const CoalescedDelivery* stopped_ = nullptr;
};

constexpr Nanos kSimSecond = 1'000'000'000;

}  // namespace

TEST(CoalescedDelivery, AProducerAmongManyHasNoMoreWaitingThanTheConsumerTakesOfItInAQuarterSecond)
{
    const ReadAheadBound adaptive(256 << 10, 16 << 20);
    // Eight busy producers share the consumer: when one stops, what it read
    // before is delivered in about a quarter of a second, where with the
    // bound fixed at its ceiling it takes many seconds.
    BusyProducers eight(8, adaptive);
    eight.runUntil(3 * kSimSecond);
    const size_t waiting = eight.deliveries[0]->pendingBytes();
    EXPECT_LE(waiting, eight.deliveries[0]->highWater() + 65536);
    EXPECT_LT(eight.deliveries[0]->highWater(), size_t{1} << 20);
    const Nanos catchUp = eight.catchUp(eight.deliveries[0]);
    EXPECT_LE(catchUp, kSimSecond / 2) << waiting << " bytes waited";
    EXPECT_GE(catchUp, kSimSecond / 10);  // the bound is not needlessly small

    BusyProducers eightFixed(8, ReadAheadBound::fixed(16 << 20));
    eightFixed.runUntil(3 * kSimSecond);
    EXPECT_GT(eightFixed.catchUp(eightFixed.deliveries[0]), 2 * kSimSecond);

    // A producer alone keeps the consumer as busy as with the ceiling, and
    // its bound grows toward a quarter second of what the consumer takes.
    BusyProducers one(1, adaptive);
    one.runUntil(3 * kSimSecond);
    BusyProducers oneFixed(1, ReadAheadBound::fixed(16 << 20));
    oneFixed.runUntil(3 * kSimSecond);
    EXPECT_GE(double(one.delivered), 0.99 * double(oneFixed.delivered));
    EXPECT_GT(one.deliveries[0]->highWater(), size_t{2} << 20);
    EXPECT_LE(one.catchUp(one.deliveries[0]), kSimSecond / 2);
}

namespace {

// One producer whose blocks a consumer takes at a cost set per byte, on a
// simulated clock; records each piece with what it cost.
struct CostedPieces {
    explicit CostedPieces(std::function<Nanos(uint8_t)> costOf) : costOf(std::move(costOf))
    {
        delivery = CoalescedDelivery::create(
            [this](CoalescedDelivery::Block block) { queue.async(std::move(block)); },
            [this](std::span<const uint8_t> bytes) {
                Nanos cost = 0;
                for (uint8_t byte : bytes) cost += this->costOf(byte);
                now += cost;
                pieces.push_back({std::string(bytes.begin(), bytes.end()), cost});
            },
            ReadAheadBound::fixed(64 << 20), nullptr, [this] { return now; });
    }

    std::string joined() const
    {
        std::string all;
        for (const auto& piece : pieces) all += piece.bytes;
        return all;
    }

    struct Piece {
        std::string bytes;
        Nanos cost;
    };
    std::function<Nanos(uint8_t)> costOf;
    RunLoopQueue queue;
    Nanos now = 0;
    std::vector<Piece> pieces;
    std::shared_ptr<CoalescedDelivery> delivery;
};

std::string numbered(size_t size, size_t seed)
{
    std::string text;
    for (size_t i = 0; i < size; ++i) text += char('a' + (i * 7 + seed) % 26);
    return text;
}

}  // namespace

TEST(CoalescedDelivery, PiecesAreSizedByWhatTheirBytesCostTheConsumer)
{
    // Output that costs 2 us a byte (pictures): after the first piece, which
    // nothing measured before, the pieces hold what the consumer takes in
    // about a millisecond, so a slice or a turn can end between them.
    CostedPieces costly([](uint8_t) { return Nanos{2'000}; });
    std::string sent;
    for (size_t i = 0; i < 4; ++i) {
        sent += numbered(65536, i);
        costly.delivery->enqueue(bytesOf(numbered(65536, i)));
    }
    bool markerInOrder = false;
    costly.delivery->enqueueMarker([&] { markerInOrder = costly.joined() == sent; });
    costly.delivery->enqueue(bytesOf("after"));
    costly.queue.runUntilIdle();
    EXPECT_EQ(costly.joined(), sent + "after");
    EXPECT_TRUE(markerInOrder);
    EXPECT_EQ(costly.delivery->pendingBytes(), 0u);
    ASSERT_GT(costly.pieces.size(), 3u);
    EXPECT_EQ(costly.pieces[0].bytes.size(), CoalescedDelivery::pieceBytes);
    for (size_t i = 1; i < costly.pieces.size(); ++i) {
        EXPECT_LE(costly.pieces[i].bytes.size(), CoalescedDelivery::minPieceBytes) << "piece " << i;
        EXPECT_LE(costly.pieces[i].cost, 2 * CoalescedDelivery::pieceNs) << "piece " << i;
    }

    // Plain text at 10 ns a byte keeps the largest pieces.
    CostedPieces cheap([](uint8_t) { return Nanos{10}; });
    for (size_t i = 0; i < 4; ++i) cheap.delivery->enqueue(bytesOf(numbered(65536, i)));
    cheap.queue.runUntilIdle();
    ASSERT_EQ(cheap.pieces.size(), 16u);
    for (const auto& piece : cheap.pieces) EXPECT_EQ(piece.bytes.size(), CoalescedDelivery::pieceBytes);
}

TEST(CoalescedDelivery, OutputWhoseCostComesInLumpsIsMeasuredAtItsAverage)
{
    // Pictures of about 930 bytes whose end ('!') costs 2.4 ms and the rest
    // almost nothing, as an image is stored when its last byte arrives: a
    // piece measured alone would seem cheap or dear by where it was cut; the
    // pieces are sized from the average, so none holds two image ends.
    CostedPieces lumpy([](uint8_t byte) { return byte == '!' ? Nanos{2'400'000} : Nanos{20}; });
    std::string picture(929, 'p');
    picture += '!';
    std::string stream;
    while (stream.size() < 256 * 1024) stream += picture;
    lumpy.delivery->enqueue(bytesOf(stream));
    lumpy.queue.runUntilIdle();
    EXPECT_EQ(lumpy.joined(), stream);
    for (size_t i = 1; i < lumpy.pieces.size(); ++i)
        EXPECT_LE(std::count(lumpy.pieces[i].bytes.begin(), lumpy.pieces[i].bytes.end(), '!'), 1) << "piece " << i;

    // When the stream turns cheap again, its pieces grow back to the largest
    // within a few measured windows (what was dear weighs less with every
    // piece, the more so the larger the pieces grow).
    lumpy.pieces.clear();
    std::string text = numbered(256 * 1024, 3);
    lumpy.delivery->enqueue(bytesOf(text));
    lumpy.queue.runUntilIdle();
    EXPECT_EQ(lumpy.joined(), text);
    size_t grownAfter = 0;
    while (grownAfter < lumpy.pieces.size() && lumpy.pieces[grownAfter].bytes.size() < CoalescedDelivery::pieceBytes)
        ++grownAfter;
    size_t bytesBefore = 0;
    for (size_t i = 0; i < grownAfter; ++i) bytesBefore += lumpy.pieces[i].bytes.size();
    EXPECT_LE(bytesBefore, 6 * CoalescedDelivery::pieceBytes);
    for (size_t i = grownAfter; i + 1 < lumpy.pieces.size(); ++i)
        EXPECT_EQ(lumpy.pieces[i].bytes.size(), CoalescedDelivery::pieceBytes) << "piece " << i;
}

TEST(CoalescedDelivery, RefusedPostsAndAFailingConsumerLoseAndStrandNothing)
{
    RunLoopQueue queue;
    Nanos now = 0;
    int refuse = 0;
    std::string received;
    bool resumed = false;
    auto delivery = CoalescedDelivery::create(
        [&](CoalescedDelivery::Block block) {
            if (refuse > 0) {
                --refuse;
                throw std::bad_alloc();
            }
            queue.async(std::move(block));
        },
        [&](std::span<const uint8_t> bytes) {
            now += 1'000'000;  // 1 ms a block: a slice ends every four
            if (bytes.size() == 3 && bytes[0] == '!') throw std::bad_alloc();
            received.append(bytes.begin(), bytes.end());
        },
        ReadAheadBound::fixed(8), [&] { resumed = true; }, [&] { return now; });

    // An enqueue whose drain the queue refuses leaves nothing behind: no
    // bytes, no pause; the producer offers them again.
    refuse = 1;
    EXPECT_THROW(delivery->enqueue(bytesOf("0123456789")), std::bad_alloc);
    EXPECT_EQ(delivery->pendingBytes(), 0u);
    EXPECT_FALSE(delivery->producerShouldPause());
    for (char c = 'a'; c <= 'j'; ++c) delivery->enqueue(bytesOf(std::string(1, c)));

    // A drain that may not post its next slice goes on until the list is
    // empty, and strands nothing: the next enqueue schedules a drain again.
    refuse = 100;
    queue.runUntilIdle();
    EXPECT_EQ(received, "abcdefghij");
    refuse = 0;
    delivery->enqueue(bytesOf("k"));
    queue.runUntilIdle();
    EXPECT_EQ(received, "abcdefghijk");

    // A consumer's failure goes on to the queue; the failed piece counts as
    // delivered (nothing stays pending, the paused producer is resumed) and
    // the rest still comes.
    bool markerRan = false;
    resumed = false;
    for (const char* block : {"l", "!!!", "mnopqrst", "u"}) delivery->enqueue(bytesOf(block));
    delivery->enqueueMarker([&] { markerRan = true; });
    EXPECT_TRUE(delivery->producerShouldPause());
    EXPECT_THROW(queue.runUntilIdle(), std::bad_alloc);
    queue.runUntilIdle();
    EXPECT_EQ(received, "abcdefghijklmnopqrstu");
    EXPECT_TRUE(markerRan);
    EXPECT_TRUE(resumed);
    EXPECT_EQ(delivery->pendingBytes(), 0u);
}
