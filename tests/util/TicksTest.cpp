#include "platform/Ticks.h"
#include "util/Ticks.h"

#include <gtest/gtest.h>

TEST(Ticks, ElapsedIsStrictlyMoreThanTheInterval) {
    EXPECT_FALSE(TickElapsedAt(100, 50, 150));
    EXPECT_TRUE(TickElapsedAt(100, 50, 151));
    EXPECT_FALSE(TickElapsedAt(100, 0, 100));
    EXPECT_TRUE(TickElapsedAt(100, 0, 101));
}

TEST(Ticks, WrapOfTheCounterCountsTheDistanceModulo32Bits) {
    EXPECT_EQ(TickDiff(0x10, 0xFFFFFFF0u), 0x20u);
    EXPECT_FALSE(TickElapsedAt(0xFFFFFFF0u, 0x20, 0x10));
    EXPECT_TRUE(TickElapsedAt(0xFFFFFFF0u, 0x1F, 0x10));
    EXPECT_TRUE(TickElapsedAt(0xFFFFFFFFu, 0, 0));
    EXPECT_FALSE(TickElapsedAt(0xFFFFFFFFu, 1, 0));
}

TEST(Ticks, NowBelowStartWithoutAWrapCountsAsElapsed) {
    // Start in the lower half, now below it.
    EXPECT_TRUE(TickElapsedAt(1000, 0xFFFFFFFFu, 500));
    // Both in the upper half.
    EXPECT_TRUE(TickElapsedAt(0x90000000u, 0xFFFFFFFFu, 0x80000001u));
}

TEST(Ticks, ElapsedUsesTheInjectedClock) {
    uint32_t now = 0xFFFFFF00u;
    platform::setTickSource([&now] { return now; });
    const uint32_t start = platform::GetTickCount();
    now += 300; // wraps
    EXPECT_TRUE(TickElapsed(start, 299));
    EXPECT_FALSE(TickElapsed(start, 300));
    platform::setTickSource({});
}
