#include "comm/VOXComm32Chunk.h"

#include <algorithm>
#include <chrono>
#include <climits>

namespace comm {

namespace {
constexpr uint32_t kMaxDword = 0xFFFFFFFFu;
// The size of a chunk, by which the total time-out's multiplier counts.
constexpr uint64_t kChunkBytes = 2048;

// Milliseconds until deadline, clamped to [0, INT_MAX].
int until(int64_t deadline, int64_t now) {
    return int(std::clamp<int64_t>(deadline - now, 0, INT_MAX));
}
} // namespace

int64_t ReadChunkTimer::SteadyClock() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void ReadChunkTimer::Start(const platform::SerialTimeouts& t) {
    m_immediate = t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutConstant == 0 &&
                  t.ReadTotalTimeoutMultiplier == 0;
    m_interval = m_immediate ? 0 : t.ReadIntervalTimeout;
    m_total = uint64_t(t.ReadTotalTimeoutMultiplier) * kChunkBytes + t.ReadTotalTimeoutConstant;
    if (m_total == 0 && !m_immediate)
        m_total = DefaultTotalMs;
    m_now = m_clock();
}

void ReadChunkTimer::Arrived(int before, int after) {
    m_lastByte = m_now;
    // The total time-out runs from the first byte of a chunk: bytes that
    // follow a hand-over (a full chunk may go in the middle of a read) begin
    // a new one, even when the chunk before them was not empty.
    if ((before == 0 || m_deadline == 0) && after > 0)
        m_deadline = m_total ? m_now + int64_t(m_total) : 0;
}

int ReadChunkTimer::WaitMs(int pending) const {
    int timeout = -1;
    if (pending > 0 && m_interval > 0)
        timeout = until(m_lastByte + m_interval, m_now);
    if (pending > 0 && m_deadline) {
        const int total = until(m_deadline, m_now);
        timeout = timeout < 0 ? total : std::min(timeout, total);
    }
    return timeout;
}

bool ReadChunkTimer::Due(int pending) const {
    return pending > 0 && ((m_interval > 0 && m_now - m_lastByte >= m_interval) ||
                           (m_deadline && m_now >= m_deadline));
}

} // namespace comm
