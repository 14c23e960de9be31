#include "platform/Ticks.h"

#include <time.h>

namespace platform {

namespace {
std::function<uint32_t()>& tickSource() {
    static std::function<uint32_t()> source;
    return source;
}
} // namespace

uint32_t GetTickCount() {
    if (auto& source = tickSource())
        return source();
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms = uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
    return uint32_t(ms);
}

void setTickSource(std::function<uint32_t()> source) {
    tickSource() = std::move(source);
}

namespace {
std::function<int64_t()>& realTimeSource() {
    static std::function<int64_t()> source;
    return source;
}
} // namespace

void setRealTimeSource(std::function<int64_t()> source) {
    realTimeSource() = std::move(source);
}

int64_t realTimeMs() {
    if (auto& source = realTimeSource())
        return source();
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

} // namespace platform
