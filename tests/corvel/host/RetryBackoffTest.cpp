#include "corvel/host/RetryBackoff.h"

#include <gtest/gtest.h>

using namespace corvel;

TEST(RetryBackoff, PausesNeverZeroDoubleUpToTheLongestAndStartOverOnceWorkWent)
{
    RetryBackoff backoff;
    Nanos previous = backoff.next();
    EXPECT_EQ(previous, RetryBackoff::firstNs);
    EXPECT_GT(previous, 0);
    int steps = 1;
    for (; previous < RetryBackoff::longestNs && steps < 64; ++steps) {
        const Nanos pause = backoff.next();
        EXPECT_EQ(pause, std::min(2 * previous, RetryBackoff::longestNs));
        previous = pause;
    }
    EXPECT_LE(steps, 10);  // a lasting refusal reaches the longest pause soon
    EXPECT_EQ(backoff.next(), RetryBackoff::longestNs);
    backoff.reset();
    EXPECT_EQ(backoff.next(), RetryBackoff::firstNs);
}
