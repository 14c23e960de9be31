#pragma once
// When the read worker hands over the chunk it is collecting, by the port's
// read time-outs: once the line has been quiet for the read interval, or once
// the chunk's total time-out (multiplier x 2048 + constant, counted from its
// first byte) has run out. A total time-out of 0 counts as DefaultTotalMs, so
// a line that never falls quiet for the interval (a slow line sending
// steadily) is still handed on within that time of its first byte. An
// interval of MAXDWORD with both totals 0 hands every read over as it came. A
// full chunk goes at once; the worker sees to that.
//
// Pure timing on an injected millisecond clock, so the rules can be checked
// without a port or a thread.
#include <cstdint>
#include <functional>

#include "platform/SerialLine.h"

namespace comm {

class ReadChunkTimer {
public:
    static constexpr uint64_t DefaultTotalMs = 20;

    // Monotonic milliseconds.
    using Clock = std::function<int64_t()>;
    static int64_t SteadyClock();

    explicit ReadChunkTimer(Clock clock = SteadyClock) : m_clock(std::move(clock)) {}

    // Before every wait: the time-outs in force (they may change while the
    // port is open) and the time now. Until the next call the decisions below
    // use that time.
    void Start(const platform::SerialTimeouts& timeouts);
    // After the wait: the time now.
    void Tick() { m_now = m_clock(); }
    int64_t Now() const { return m_now; }

    // Every read is handed over as it came.
    bool Immediate() const { return m_immediate; }
    // Bytes came in: before bytes were in the chunk before the read, after
    // bytes are in it now. A full chunk handed over in between (Handed called
    // then) leaves bytes that came with this read only.
    void Arrived(int before, int after);
    // Milliseconds the worker may wait before the chunk of pending bytes is
    // due; -1 when there is nothing to wait for.
    int WaitMs(int pending) const;
    // The chunk of pending bytes is complete.
    bool Due(int pending) const;
    // The chunk was handed over (by the timer's rules, or because it was full).
    void Handed() { m_deadline = 0; }

private:
    Clock m_clock;
    int64_t m_now = 0;
    bool m_immediate = false;
    uint32_t m_interval = 0;
    uint64_t m_total = 0;   // the total time-out of a chunk (0: none)
    int64_t m_lastByte = 0; // when the last bytes of the chunk came in
    int64_t m_deadline = 0; // end of the chunk's total time-out (0: none)
};

} // namespace comm
