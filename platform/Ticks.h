#pragma once
#include <cstdint>
#include <functional>

namespace platform {

// Milliseconds of the monotonic clock truncated to 32 bits, so the counter wraps
// after about 49.7 days exactly like the classic system tick count.
uint32_t GetTickCount();

// Tests replace the clock to drive time-dependent logic without sleeping.
// Passing an empty function restores the real clock.
void setTickSource(std::function<uint32_t()> source);

// The wall clock: milliseconds since 1970-01-01 00:00 UTC.
int64_t realTimeMs();
// Tests replace the wall clock the same way; set it before the threads that
// read it start, and restore it (empty function) after they have ended.
void setRealTimeSource(std::function<int64_t()> source);

} // namespace platform
