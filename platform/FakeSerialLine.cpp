#include "platform/FakeSerialLine.h"

#include "platform/SysCall.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {

FakeSerialLine::FakeSerialLine() : FakeSerialLine(Behaviour{}) {}

FakeSerialLine::FakeSerialLine(const Behaviour& behaviour) : m_behaviour(behaviour) {}

FakeSerialLine::~FakeSerialLine() = default;

// ---- the test's side ----------------------------------------------------------

void FakeSerialLine::deviceSends(const std::string& bytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_unplugged)
        return;
    m_input += bytes;
    m_counters.rx += uint32_t(bytes.size());
    changed();
}

void FakeSerialLine::setLine(uint32_t modemBit, bool on) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const uint32_t before = m_lines;
    m_lines = on ? (m_lines | modemBit) : (m_lines & ~modemBit);
    const uint32_t edges = before ^ m_lines;
    m_counters.cts += (edges & kModemCtsOn) ? 1 : 0;
    m_counters.dsr += (edges & kModemDsrOn) ? 1 : 0;
    m_counters.rng += (edges & kModemRingOn) ? 1 : 0;
    m_counters.dcd += (edges & kModemRlsdOn) ? 1 : 0;
    changed();
}

void FakeSerialLine::unplug() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_unplugged = true;
    m_input.clear();
    changed();
}

std::string FakeSerialLine::written() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_written;
}

std::vector<std::string> FakeSerialLine::calls() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

bool FakeSerialLine::dtr() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dtr;
}

bool FakeSerialLine::rts() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rts;
}

size_t FakeSerialLine::unread() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_input.size();
}

void FakeSerialLine::holdModemCalls(bool hold, int timeoutMs) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_holdModem = hold;
    m_holdTimeoutMs = timeoutMs;
    if (!hold)
        m_released.notify_all();
}

void FakeSerialLine::failModemCalls(int error) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_modemError = error;
}

int FakeSerialLine::heldModemCalls() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_heldModem;
}

int FakeSerialLine::modemCallsOn(std::thread::id thread) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return int(std::count(m_modemThreads.begin(), m_modemThreads.end(), thread));
}

int FakeSerialLine::modemCall(std::unique_lock<std::mutex>& lock) const {
    m_modemThreads.push_back(std::this_thread::get_id());
    if (!m_holdModem)
        return m_modemError;
    ++m_heldModem;
    const bool released = m_released.wait_for(lock, std::chrono::milliseconds(m_holdTimeoutMs),
                                              [this] { return !m_holdModem; });
    --m_heldModem;
    return released ? m_modemError : ETIMEDOUT;
}

// ---- SerialLine ------------------------------------------------------------------

int FakeSerialLine::lineError() const {
    if (!m_behaviour.modemLines)
        return ENOTTY;
    return m_unplugged ? EIO : 0;
}

void FakeSerialLine::changed() const {
    const uint64_t one = 1;
    for (int fd : m_waiters)
        (void)!::write(fd, &one, sizeof one);
}

int FakeSerialLine::open(const std::string&) {
    if (m_behaviour.onOpen)
        m_behaviour.onOpen();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_behaviour.openError)
        return m_behaviour.openError;
    if (!m_open && m_behaviour.openLines)
        ++*m_behaviour.openLines;
    m_open = true;
    return 0;
}

void FakeSerialLine::close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_open && m_behaviour.openLines)
        --*m_behaviour.openLines;
    m_open = false;
}

bool FakeSerialLine::isOpen() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_open;
}

int FakeSerialLine::readDcb(SerialDcb& dcb) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_unplugged)
        return EIO;
    dcb = m_dcb;
    return 0;
}

int FakeSerialLine::applyDcb(const SerialDcb& dcb) {
    // A USB adapter is sent the settings over the bus, as the modem requests.
    std::unique_lock<std::mutex> lock(m_mutex);
    if (int error = modemCall(lock))
        return error;
    if (m_unplugged)
        return EIO;
    m_dcb = dcb;
    return 0;
}

int FakeSerialLine::setDtr(bool on) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (int error = modemCall(lock))
        return error;
    if (int error = lineError())
        return error;
    m_dtr = on;
    m_calls.push_back(on ? "DTR on" : "DTR off");
    return 0;
}

int FakeSerialLine::setRts(bool on) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (int error = modemCall(lock))
        return error;
    if (int error = lineError())
        return error;
    m_rts = on;
    m_calls.push_back(on ? "RTS on" : "RTS off");
    return 0;
}

int FakeSerialLine::modemStatus(uint32_t& status) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (int error = modemCall(lock))
        return error;
    if (int error = lineError())
        return error;
    status = m_lines;
    return 0;
}

int FakeSerialLine::counters(SerialCounters& counters) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (int error = lineError())
        return error;
    counters = m_counters;
    return 0;
}

int FakeSerialLine::outputQueue(int& bytes) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_unplugged)
        return EIO;
    bytes = 0; // the fake's wire takes every byte at once
    return 0;
}

int FakeSerialLine::inputQueue(int& bytes) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_unplugged)
        return EIO;
    bytes = int(m_input.size());
    return 0;
}

int FakeSerialLine::purge(unsigned flags) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (flags & (kPurgeRxAbort | kPurgeRxClear))
        m_input.clear();
    return 0;
}

int FakeSerialLine::setBreak(bool) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (int error = modemCall(lock))
        return error;
    return m_unplugged ? EIO : 0;
}

int FakeSerialLine::setRtsOnSend(bool on) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (int error = modemCall(lock))
        return error;
    if (!m_behaviour.rtsOnSend)
        return ENOTTY;
    m_calls.push_back(on ? "RS-485 on" : "RS-485 off");
    return 0;
}

int FakeSerialLine::drainOutput(const Event* cancel) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (cancel && cancel->isSet())
        return ECANCELED;
    if (m_unplugged)
        return EIO;
    m_calls.push_back("drain");
    return 0;
}

WaitResult FakeSerialLine::wait(bool forRead, bool forWrite, int timeoutMs, const Event* cancel,
                                const WakeSignal* wake, bool forHangup) const {
    WaitResult result;
    const int own = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (own < 0) {
        result.error = errno;
        return result;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_waiters.push_back(own);
    }
    const uint64_t deadline = timeoutMs >= 0 ? monotonicMs() + uint64_t(timeoutMs) : 0;
    for (;;) {
        bool ready = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            result.readable = forRead && !m_input.empty();
            result.writable = forWrite && !m_unplugged;
            result.hangup = (forRead || forWrite || forHangup) && m_unplugged;
            ready = result.readable || result.writable || result.hangup;
        }
        int timeout = -1;
        if (ready)
            timeout = 0;
        else if (timeoutMs >= 0) {
            const uint64_t now = monotonicMs();
            timeout = now >= deadline ? 0 : int(deadline - now);
        }
        pollfd fds[3] = {{own, POLLIN, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}};
        if (cancel && cancel->valid())
            fds[1].fd = cancel->handle();
        if (wake && wake->valid())
            fds[2].fd = wake->handle();
        const int rc = pollRetrying(fds, 3, timeout);
        if (rc < 0) {
            result.error = errno;
            break;
        }
        result.cancelled = fds[1].revents & POLLIN;
        result.woken = fds[2].revents & POLLIN;
        if (ready || result.cancelled || result.woken)
            break;
        if (rc == 0) {
            result.timedOut = true;
            break;
        }
        uint64_t value;
        (void)!::read(own, &value, sizeof value); // something changed: look again
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_waiters.erase(std::find(m_waiters.begin(), m_waiters.end(), own));
    }
    ::close(own);
    return result;
}

long FakeSerialLine::readSome(char* buffer, size_t size) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_unplugged)
        return 0;
    if (m_input.empty())
        return -EAGAIN;
    const size_t n = std::min(size, m_input.size());
    std::memcpy(buffer, m_input.data(), n);
    m_input.erase(0, n);
    return long(n);
}

long FakeSerialLine::writeSome(const char* buffer, size_t size) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_unplugged)
        return -EIO;
    m_written.append(buffer, size);
    m_calls.push_back("write " + std::string(buffer, size));
    m_counters.tx += uint32_t(size);
    return long(size);
}

} // namespace platform
