#pragma once
#include <cstdint>

// Wrap-safe arithmetic on the 32-bit millisecond tick counter.

// tick - start modulo 2^32.
uint32_t TickDiff(uint32_t tick, uint32_t start);

// True when strictly more than ms milliseconds lie between start and now.
bool TickElapsedAt(uint32_t start, uint32_t ms, uint32_t now);

// TickElapsedAt against the current tick.
bool TickElapsed(uint32_t start, uint32_t ms);
