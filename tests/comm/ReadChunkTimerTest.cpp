#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "comm/VOXComm32Chunk.h"

namespace {

using Chunks = std::vector<std::pair<int, int64_t>>; // byte count, when handed over

// Plays the read worker's loop on a clock the test moves: each pass waits for
// the next bytes or for the timer's own time-out, whichever comes first, and
// hands the chunk over when the timer says so, or at once when it holds full
// bytes. Bytes arrive as (time, count).
Chunks play(const platform::SerialTimeouts& timeouts,
            const std::vector<std::pair<int64_t, int>>& arrivals, int64_t end = 100000,
            int full = 2048) {
    int64_t clock = 0;
    comm::ReadChunkTimer timer([&] { return clock; });
    Chunks handed;
    int pending = 0;
    size_t next = 0;
    // A timer that asks for a wait of 0 without the chunk being due would
    // spin the worker; here it ends the play.
    for (int passes = 0; passes < 1000; ++passes) {
        timer.Start(timeouts);
        const int wait = timer.WaitMs(pending);
        int64_t wake = wait >= 0 ? std::min(end, timer.Now() + wait) : end;
        const bool bytes = next < arrivals.size() && arrivals[next].first <= wake;
        if (bytes)
            wake = arrivals[next].first;
        else if (wake >= end)
            return handed;
        clock = wake;
        timer.Tick();
        if (bytes) {
            const int before = pending;
            pending += arrivals[next++].second;
            if (pending >= full) { // the worker hands a full chunk over in the read
                handed.emplace_back(full, clock);
                pending -= full;
                timer.Handed();
            }
            timer.Arrived(before, pending);
            if (timer.Immediate()) {
                handed.emplace_back(pending, clock);
                pending = 0;
            }
        }
        if (timer.Due(pending)) {
            handed.emplace_back(pending, clock);
            pending = 0;
            timer.Handed();
        }
    }
    ADD_FAILURE() << "the worker would spin";
    return handed;
}

TEST(ReadChunkTimer, QuietIntervalEndsAChunkAndTwentyMillisecondsBoundIt) {
    platform::SerialTimeouts t;
    t.ReadIntervalTimeout = 10;
    EXPECT_EQ(play(t, {{0, 1}, {3, 1}, {6, 1}}), (Chunks{{3, 16}}))
        << "3 ms gaps: one chunk, 10 ms after the last byte";
    EXPECT_EQ(play(t, {{100, 1}, {130, 1}, {160, 1}}), (Chunks{{1, 110}, {1, 140}, {1, 170}}))
        << "30 ms gaps: a chunk each";
    // A line that is never quiet for the interval (8 bytes every 8 ms, as at
    // 9600 baud): without a total time-out a chunk still goes 20 ms after its
    // first byte.
    std::vector<std::pair<int64_t, int>> steady;
    for (int64_t at = 0; at < 100; at += 8)
        steady.emplace_back(at, 8);
    EXPECT_EQ(play(t, steady), (Chunks{{24, 20}, {24, 44}, {24, 68}, {24, 92}, {8, 106}}));
    // Without an interval as well: the same bound.
    t.ReadIntervalTimeout = 0;
    EXPECT_EQ(play(t, {{0, 5}, {50, 1}}), (Chunks{{5, 20}, {1, 70}}));
}

TEST(ReadChunkTimer, TotalTimeOutRunsFromTheFirstByteOfAChunk) {
    platform::SerialTimeouts t;
    t.ReadIntervalTimeout = 0;
    t.ReadTotalTimeoutConstant = 20;
    t.ReadTotalTimeoutMultiplier = 1; // per byte of a full chunk: 2048 ms more
    EXPECT_EQ(play(t, {{0, 1}, {1000, 1}, {2067, 1}, {3000, 1}}), (Chunks{{3, 2068}, {1, 5068}}));
    // With an interval as well, whichever runs out first.
    t.ReadIntervalTimeout = 50;
    t.ReadTotalTimeoutMultiplier = 0;
    EXPECT_EQ(play(t, {{0, 1}, {10, 1}, {100, 1}}), (Chunks{{2, 20}, {1, 120}}));
    // A chunk that fills up in a read goes at once; what that read brought
    // beyond it begins a chunk of its own, bound by 20 ms from then (neither
    // handed on at once nor left without a bound while the line goes on
    // slowly, never quiet for the interval).
    t = platform::SerialTimeouts{};
    t.ReadIntervalTimeout = 10;
    std::vector<std::pair<int64_t, int>> stream;
    for (int64_t at = 0; at <= 20; at += 2)
        stream.emplace_back(at, 100);
    for (int64_t at = 28; at <= 100; at += 8)
        stream.emplace_back(at, 1);
    EXPECT_EQ(play(t, stream, 100000, 1050),
              (Chunks{{1050, 20}, {52, 40}, {3, 64}, {3, 88}, {2, 110}}));
}

TEST(ReadChunkTimer, IntervalOfMaxDwordWithoutTotalsHandsEveryReadOver) {
    platform::SerialTimeouts t;
    t.ReadIntervalTimeout = 0xFFFFFFFFu;
    EXPECT_EQ(play(t, {{0, 3}, {0, 2}, {7, 1}}), (Chunks{{3, 0}, {2, 0}, {1, 7}}));
    // With a total it is a plain (very long) interval again.
    t.ReadTotalTimeoutConstant = 5;
    EXPECT_EQ(play(t, {{10, 1}, {12, 1}}), (Chunks{{2, 15}}));
}

} // namespace
