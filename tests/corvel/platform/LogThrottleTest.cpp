#include "corvel/platform/LogThrottle.h"

#include "corvel/platform/Log.h"

#include <gtest/gtest.h>

using namespace corvel;

namespace {

constexpr Nanos kMs = 1'000'000;

}  // namespace

TEST(LogThrottle, FirstOfEachLineAtOnceRepeatsOncePerIntervalWithTheirCount)
{
    log::Capture capture;
    LogThrottle throttle(1000 * kMs, 8);
    EXPECT_TRUE(throttle.write(0, "a"));
    EXPECT_TRUE(throttle.write(1, "b"));
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(throttle.write(10 + i, "a"));
    EXPECT_FALSE(throttle.write(999 * kMs, "a"));
    EXPECT_TRUE(throttle.write(1000 * kMs, "a"));
    EXPECT_FALSE(throttle.write(1500 * kMs, "a"));
    EXPECT_TRUE(throttle.write(2000 * kMs, "a"));
    EXPECT_TRUE(throttle.write(2000 * kMs, "b"));  // nothing held back for b
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"a", "b", "a (6 similar lines suppressed)",
                                                         "a (1 similar line suppressed)", "b"}));
}

TEST(LogThrottle, NewLinesBeyondTheTableShareOneSlot)
{
    log::Capture capture;
    LogThrottle throttle(1000 * kMs, 2);
    throttle.write(0, "one");
    throttle.write(0, "two");
    EXPECT_TRUE(throttle.write(0, "three"));  // the shared slot's first line
    for (int i = 0; i < 100; ++i) EXPECT_FALSE(throttle.write(1, "new " + std::to_string(i)));
    EXPECT_FALSE(throttle.write(2, "one"));  // a known line keeps its own slot
    EXPECT_TRUE(throttle.write(1000 * kMs, "later"));
    EXPECT_EQ(capture.lines(),
              (std::vector<std::string>{"one", "two", "three", "later (100 similar lines suppressed)"}));
}
