#include "corvel/host/ReadAheadBound.h"

#include <gtest/gtest.h>

using namespace corvel;

namespace {

constexpr size_t kFloor = 256 << 10;
constexpr size_t kCeiling = 16 << 20;
constexpr Nanos kMs = 1'000'000;

}  // namespace

TEST(ReadAheadBound, FollowsWhatTheConsumerTakesInAQuarterSecondBetweenFloorAndCeiling)
{
    ReadAheadBound bound(kFloor, kCeiling);
    // Nothing measured yet: the floor.
    EXPECT_FALSE(bound.rate());
    EXPECT_EQ(bound.highWater(), kFloor);
    EXPECT_EQ(bound.lowWater(), kFloor / 2);

    // Stretches shorter than a sample are gathered: 400 kB over 20 ms for
    // the first, which is taken soonest.
    bound.taken(200'000, 12 * kMs);
    EXPECT_FALSE(bound.rate());
    bound.taken(200'000, 8 * kMs);
    ASSERT_TRUE(bound.rate());
    EXPECT_DOUBLE_EQ(*bound.rate(), 20e6);
    EXPECT_EQ(bound.highWater(), 5'000'000u);
    EXPECT_EQ(bound.lowWater(), 2'500'000u);
    // A rate that rises is gathered over a sample's time: 30 MB/s over
    // 20 ms waits, and with the rest makes 20 MB/s over 100 ms.
    bound.taken(600'000, 20 * kMs);
    EXPECT_DOUBLE_EQ(*bound.rate(), 20e6);
    bound.taken(1'400'000, 80 * kMs);
    EXPECT_DOUBLE_EQ(*bound.rate(), 20e6);
    // ...and weighs as much as all before it.
    bound.taken(4'000'000, 100 * kMs);
    EXPECT_DOUBLE_EQ(*bound.rate(), 30e6);

    // A rate that falls counts at once, from a short stretch: the consumer
    // now takes 4 MB/s of this producer (others share its thread), and
    // what waits must be caught up with at that rate.
    bound.taken(80'000, 20 * kMs);
    EXPECT_DOUBLE_EQ(*bound.rate(), 4e6);
    EXPECT_EQ(bound.highWater(), 1'000'000u);
    // Rising again goes halfway a sample at a time.
    bound.taken(1'200'000, 100 * kMs);
    EXPECT_DOUBLE_EQ(*bound.rate(), 8e6);
    EXPECT_EQ(bound.highWater(), 2'000'000u);
    for (int i = 0; i < 20; ++i) bound.taken(400'000, 100 * kMs);
    EXPECT_NEAR(double(bound.highWater()), 1'000'000, 1000);

    // A slow consumer gets the floor, a fast one the ceiling.
    for (int i = 0; i < 40; ++i) bound.taken(1000, 100 * kMs);
    EXPECT_EQ(bound.highWater(), kFloor);
    for (int i = 0; i < 40; ++i) bound.taken(100'000'000, 100 * kMs);
    EXPECT_EQ(bound.highWater(), kCeiling);

    // A busy time that went backwards counts as none.
    bound.taken(0, -5 * kMs);
    EXPECT_EQ(bound.highWater(), kCeiling);
}

TEST(ReadAheadBound, AFixedBoundNeverMoves)
{
    ReadAheadBound bound = ReadAheadBound::fixed(1 << 20);
    EXPECT_EQ(bound.highWater(), 1u << 20);
    for (int i = 0; i < 10; ++i) bound.taken(10, 100 * kMs);
    EXPECT_EQ(bound.highWater(), 1u << 20);
    EXPECT_EQ(bound.lowWater(), 1u << 19);
}
