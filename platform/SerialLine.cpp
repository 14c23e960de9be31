#include "platform/SerialLine.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>

namespace platform {

uint64_t monotonicMs() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// ---- SerialDcb --------------------------------------------------------------

uint32_t SerialDcb::flags() const {
    uint32_t f = 0;
    f |= uint32_t(fBinary) << 0;
    f |= uint32_t(fParity) << 1;
    f |= uint32_t(fOutxCtsFlow) << 2;
    f |= uint32_t(fOutxDsrFlow) << 3;
    f |= uint32_t(fDtrControl & 3) << 4;
    f |= uint32_t(fDsrSensitivity) << 6;
    f |= uint32_t(fTXContinueOnXoff) << 7;
    f |= uint32_t(fOutX) << 8;
    f |= uint32_t(fInX) << 9;
    f |= uint32_t(fErrorChar) << 10;
    f |= uint32_t(fNull) << 11;
    f |= uint32_t(fRtsControl & 3) << 12;
    f |= uint32_t(fAbortOnError) << 14;
    return f;
}

void SerialDcb::setFlags(uint32_t f) {
    fBinary = f & (1u << 0);
    fParity = f & (1u << 1);
    fOutxCtsFlow = f & (1u << 2);
    fOutxDsrFlow = f & (1u << 3);
    fDtrControl = uint8_t((f >> 4) & 3);
    fDsrSensitivity = f & (1u << 6);
    fTXContinueOnXoff = f & (1u << 7);
    fOutX = f & (1u << 8);
    fInX = f & (1u << 9);
    fErrorChar = f & (1u << 10);
    fNull = f & (1u << 11);
    fRtsControl = uint8_t((f >> 12) & 3);
    fAbortOnError = f & (1u << 14);
}

// ---- SerialLine ---------------------------------------------------------------

SerialTimeouts SerialLine::timeouts() const {
    SerialTimeouts t;
    t.ReadIntervalTimeout = m_timeouts[0].load(std::memory_order_relaxed);
    t.ReadTotalTimeoutMultiplier = m_timeouts[1].load(std::memory_order_relaxed);
    t.ReadTotalTimeoutConstant = m_timeouts[2].load(std::memory_order_relaxed);
    t.WriteTotalTimeoutMultiplier = m_timeouts[3].load(std::memory_order_relaxed);
    t.WriteTotalTimeoutConstant = m_timeouts[4].load(std::memory_order_relaxed);
    return t;
}

void SerialLine::setTimeouts(const SerialTimeouts& t) {
    m_timeouts[0].store(t.ReadIntervalTimeout, std::memory_order_relaxed);
    m_timeouts[1].store(t.ReadTotalTimeoutMultiplier, std::memory_order_relaxed);
    m_timeouts[2].store(t.ReadTotalTimeoutConstant, std::memory_order_relaxed);
    m_timeouts[3].store(t.WriteTotalTimeoutMultiplier, std::memory_order_relaxed);
    m_timeouts[4].store(t.WriteTotalTimeoutConstant, std::memory_order_relaxed);
}

int SerialLine::waitForLines(const OutputHold& hold, uint64_t deadline, const Event* cancel) const {
    // Polled rather than waited for with TIOCMIWAIT, which only a signal can
    // end: the close event must always be able to stop a held write.
    for (;;) {
        uint32_t status = 0;
        if (int rc = modemStatus(status))
            return isUnsupported(rc) ? 0 : rc; // no lines to wait for
        if ((status & hold.lines) == hold.lines)
            return 0;
        int timeout = std::max(1, hold.pollMs);
        if (deadline) {
            const uint64_t now = monotonicMs();
            if (now >= deadline)
                return ETIMEDOUT;
            timeout = int(std::min<uint64_t>(uint64_t(timeout), deadline - now));
        }
        const WaitResult w = wait(false, false, timeout, cancel);
        if (w.cancelled)
            return ECANCELED;
        if (w.error)
            return w.error;
    }
}

long SerialLine::writeAll(const char* buffer, size_t size, const Event* cancel,
                          const OutputHold& hold) const {
    // Classic write time-out: multiplier x bytes + constant, 0/0 = none.
    const SerialTimeouts t = timeouts();
    const uint64_t total =
        uint64_t(t.WriteTotalTimeoutMultiplier) * size + t.WriteTotalTimeoutConstant;
    const uint64_t deadline = total ? monotonicMs() + total : 0;
    size_t done = 0;
    while (done < size) {
        if (hold.lines) {
            const int rc = waitForLines(hold, deadline, cancel);
            if (rc == ETIMEDOUT)
                break;
            if (rc)
                return -rc;
        }
        long n = writeSome(buffer + done, size - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n == 0 || n != -EAGAIN)
            return n == 0 ? -EIO : n;
        int timeout = -1;
        if (deadline) {
            uint64_t now = monotonicMs();
            if (now >= deadline)
                break;
            timeout = int(std::min<uint64_t>(deadline - now, INT_MAX));
        }
        WaitResult w = wait(false, true, timeout, cancel);
        if (w.cancelled)
            return -ECANCELED;
        if (w.error)
            return -w.error;
        if (w.timedOut)
            break;
        if (w.hangup && !w.writable)
            return -EIO;
    }
    return long(done);
}

bool SerialLine::isUnsupported(int error) {
    return error == ENOTTY || error == EINVAL;
}

bool SerialLine::isRemoved(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

} // namespace platform
