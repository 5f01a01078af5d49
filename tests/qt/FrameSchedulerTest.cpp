// The frame scheduler on a run-loop queue with a manual clock: one frame's
// coalescing, grants within the paint budget in the order of asking, no
// starvation of expensive or slow views, cost estimates, removal, and frames
// that follow the main queue when it is replaced.
#include "corvel/qt/FrameScheduler.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace corvel {
namespace {

constexpr Nanos kMs = 1'000'000;
constexpr Nanos kFrame = FrameScheduler::frameInterval;

struct FrameSchedulerFixture : ::testing::Test {
    std::shared_ptr<RunLoopQueue> queue = std::make_shared<RunLoopQueue>(true);
    DispatchQueue* current = queue.get();
    std::shared_ptr<FrameScheduler> scheduler =
        FrameScheduler::create([this]() -> DispatchQueue& { return *current; }, 6 * kMs);
    std::vector<FrameScheduler::ClientId> ids;
    std::vector<int> granted;  // client indexes, in grant order

    // `count` clients, each measured at `cost`.
    void addClients(int count, Nanos cost)
    {
        for (int i = 0; i < count; ++i) {
            const int index = int(ids.size());
            ids.push_back(scheduler->add([this, index] { granted.push_back(index); }));
            scheduler->reportCost(ids.back(), cost);
        }
    }
    void requestAll()
    {
        for (const auto id : ids) scheduler->request(id);
    }
    // The grants of the next frame.
    std::vector<int> nextFrame()
    {
        granted.clear();
        queue->advance(kFrame);
        return granted;
    }
};

TEST_F(FrameSchedulerFixture, RequestsWithinAFrameShareOneGrantAFrameAhead)
{
    addClients(1, kMs);
    scheduler->request(ids[0]);
    queue->advance(kFrame - 1);
    EXPECT_TRUE(granted.empty());
    for (int i = 0; i < 100; ++i) scheduler->request(ids[0]);
    queue->advance(1);
    EXPECT_EQ(granted, std::vector<int>{0});
    EXPECT_FALSE(scheduler->isWaiting(ids[0]));
    // Nothing waits: no more frames run.
    EXPECT_EQ(nextFrame(), std::vector<int>{});
    EXPECT_EQ(scheduler->frames(), 1u);
}

TEST_F(FrameSchedulerFixture, ClientsAreGrantedInTurnWithinTheBudgetAndNoneStarves)
{
    // Five views at 2.5 ms: two fit a 6 ms frame.
    addClients(5, 2'500'000);
    // Views 0 and 1 ask again from every grant, as a view under constant output does.
    for (int busy = 0; busy < 2; ++busy) {
        const auto id = ids[size_t(busy)];
        scheduler->remove(id);
        ids[size_t(busy)] = scheduler->add([this, busy] {
            granted.push_back(busy);
            scheduler->request(ids[size_t(busy)]);
        });
        scheduler->reportCost(ids[size_t(busy)], 2'500'000);
    }
    requestAll();
    EXPECT_EQ(nextFrame(), (std::vector<int>{0, 1}));
    EXPECT_EQ(nextFrame(), (std::vector<int>{2, 3}));
    EXPECT_EQ(nextFrame(), (std::vector<int>{4, 0}));
    EXPECT_EQ(nextFrame(), (std::vector<int>{1, 0}));
    // Each client is granted at most once per frame.
    EXPECT_EQ(nextFrame(), (std::vector<int>{1, 0}));
}

TEST_F(FrameSchedulerFixture, AViewDearerThanTheBudgetIsGrantedAloneWhenFirstAndCheaperOnesFillTheRest)
{
    addClients(1, 1 * kMs);   // 0
    addClients(1, 20 * kMs);  // 1: more than a whole budget
    addClients(3, 2 * kMs);   // 2, 3, 4
    requestAll();
    // 0 and the cheap ones that fit; 1 keeps its place at the front.
    EXPECT_EQ(nextFrame(), (std::vector<int>{0, 2, 3}));
    scheduler->request(ids[0]);
    EXPECT_EQ(nextFrame(), (std::vector<int>{1}));
    EXPECT_EQ(nextFrame(), (std::vector<int>{4, 0}));
    EXPECT_EQ(scheduler->waitingCount(), 0u);
}

TEST_F(FrameSchedulerFixture, EstimatesRiseAtOnceAndFallHalfway)
{
    const auto first = scheduler->add({});
    // Nothing measured yet: a third of the budget.
    EXPECT_EQ(scheduler->estimatedCost(first), 2 * kMs);
    scheduler->reportCost(first, 8 * kMs);
    EXPECT_EQ(scheduler->estimatedCost(first), 8 * kMs);
    scheduler->reportCost(first, 2 * kMs);
    EXPECT_EQ(scheduler->estimatedCost(first), 5 * kMs);
    scheduler->reportCost(first, 7 * kMs);
    EXPECT_EQ(scheduler->estimatedCost(first), 7 * kMs);
    scheduler->reportCost(first, -1);  // a clock step back counts as nothing
    EXPECT_EQ(scheduler->estimatedCost(first), 3'500'000);
}

TEST_F(FrameSchedulerFixture, NewViewsCountAsTheDearestMeasuredOne)
{
    // A window of new views: a third of the budget each, three a frame.
    for (int i = 0; i < 5; ++i) ids.push_back(scheduler->add([this, i] { granted.push_back(i); }));
    requestAll();
    EXPECT_EQ(nextFrame(), (std::vector<int>{0, 1, 2}));
    // One of them measured dear: the new ones left count as much.
    scheduler->reportCost(ids[0], 4 * kMs);
    scheduler->reportCost(ids[1], kMs);
    EXPECT_EQ(nextFrame(), (std::vector<int>{3}));
    scheduler->request(ids[1]);
    EXPECT_EQ(nextFrame(), (std::vector<int>{4, 1}));
}

TEST_F(FrameSchedulerFixture, RemovedClientsAreNotGrantedEvenWhenAGrantRemovesThem)
{
    addClients(3, kMs);
    const auto remover = scheduler->add([this] {
        granted.push_back(99);
        scheduler->remove(ids[2]);
    });
    scheduler->reportCost(remover, kMs);
    scheduler->request(remover);
    requestAll();
    scheduler->remove(ids[0]);
    scheduler->request(ids[0]);  // unknown now: ignored
    EXPECT_EQ(nextFrame(), (std::vector<int>{99, 1}));
    EXPECT_EQ(scheduler->waitingCount(), 0u);
}

TEST_F(FrameSchedulerFixture, AFrameFollowsTheMainQueueWhenItIsReplaced)
{
    addClients(2, kMs);
    scheduler->request(ids[0]);
    // Another main queue is installed before the frame ran; the old one is
    // pumped no more.
    auto other = std::make_shared<RunLoopQueue>(true);
    current = other.get();
    scheduler->request(ids[1]);
    other->advance(kFrame);
    EXPECT_EQ(granted, (std::vector<int>{0, 1}));
    // The frame left on the old queue does nothing when it is pumped after all.
    granted.clear();
    queue->advance(kFrame);
    EXPECT_TRUE(granted.empty());
}

}  // namespace
}  // namespace corvel
