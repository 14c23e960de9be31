#include "util/Ticks.h"

#include "platform/Ticks.h"

uint32_t TickDiff(uint32_t tick, uint32_t start) {
    return tick - start;
}

bool TickElapsedAt(uint32_t start, uint32_t ms, uint32_t now) {
    if (now >= start)
        return ms < now - start;
    // now below start: either the counter wrapped (start in the upper half,
    // now in the lower) or the start lies in the future, which counts as elapsed.
    if (start >= 0x80000000u && now < 0x80000000u)
        return ms < uint32_t(now - start);
    return true;
}

bool TickElapsed(uint32_t start, uint32_t ms) {
    return TickElapsedAt(start, ms, platform::GetTickCount());
}
