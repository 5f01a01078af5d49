// The Qt main queue: blocks from other threads run on the GUI thread, in
// order, and delayed blocks by their due time.
#include "QtTestSupport.h"

#include "corvel/platform/Dispatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace corvel {
namespace {

TEST(QtMainQueue, RunsBlocksFromAnyThreadOnTheGuiThreadInOrder)
{
    DispatchQueue& main = DispatchQueue::main();
    ASSERT_TRUE(main.isCurrent());
    std::vector<int> order;
    std::atomic<bool> allOnMain{true};
    std::thread worker([&] {
        EXPECT_FALSE(main.isCurrent());
        // Queued later but due sooner.
        main.asyncAfter(40'000'000, [&] { order.push_back(3); });
        main.asyncAfter(1'000'000, [&] { order.push_back(2); });
        for (int i = 0; i < 2; ++i) {
            main.async([&, i] {
                allOnMain = allOnMain && main.isCurrent();
                order.push_back(i);
            });
        }
    });
    worker.join();
    ASSERT_TRUE(testing::pumpUntil([&] { return order.size() == 4; }));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_TRUE(allOnMain);

    // A cancelled item never runs.
    bool ran = false;
    auto item = std::make_shared<DispatchWorkItem>([&] { ran = true; });
    main.asyncAfter(1'000'000, item);
    item->cancel();
    bool after = false;
    main.asyncAfter(5'000'000, [&] { after = true; });
    ASSERT_TRUE(testing::pumpUntil([&] { return after; }));
    EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace corvel
