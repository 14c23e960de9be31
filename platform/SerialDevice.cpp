#include "platform/SerialDevice.h"

#include "platform/SysCall.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <linux/serial.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

bool startsWithNoCase(const std::string& text, const char* prefix) {
    for (size_t i = 0; prefix[i]; ++i) {
        if (i >= text.size())
            return false;
        char a = text[i], b = prefix[i];
        if (a >= 'a' && a <= 'z')
            a = char(a - 'a' + 'A');
        if (a != b)
            return false;
    }
    return true;
}

// Closes the descriptors of closed ports on a thread of its own. Closing a tty
// can wait: for the output to drain (up to the driver's closing time, with
// output held by flow control) and, on a USB adapter that is being pulled, for
// the driver's time-outs. The queue is never destroyed: its thread may still
// be inside close() when the program ends.
class BackgroundCloser {
public:
    static BackgroundCloser& instance() {
        static BackgroundCloser* closer = new BackgroundCloser;
        return *closer;
    }
    void close(int fd) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_fds.push_back(fd);
        }
        m_wake.notify_one();
    }

private:
    BackgroundCloser() {
        std::thread([this] { run(); }).detach();
    }
    void run() {
        for (;;) {
            int fd = -1;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [this] { return !m_fds.empty(); });
                fd = m_fds.front();
                m_fds.pop_front();
            }
            // What is still queued for output goes: close() would otherwise
            // wait for the driver's closing time to send it.
            tcflush(fd, TCOFLUSH);
            ::close(fd);
        }
    }
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<int> m_fds;
};

} // namespace

// ---- Event / WakeSignal -----------------------------------------------------

Event::Event() {
    m_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_fd < 0)
        m_error = errno;
}

Event::~Event() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void Event::set() {
    // Written once and never read: the counter stays non-zero, so the event
    // stays readable for every poller (manual reset).
    uint64_t one = 1;
    if (m_fd >= 0 && !isSet())
        (void)!::write(m_fd, &one, sizeof one);
}

bool Event::isSet() const {
    return wait(0);
}

bool Event::wait(int timeoutMs) const {
    if (m_fd < 0)
        return false;
    pollfd p{m_fd, POLLIN, 0};
    const int rc = pollRetrying(&p, 1, timeoutMs);
    return rc > 0 && (p.revents & POLLIN);
}

WakeSignal::WakeSignal() {
    m_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_fd < 0)
        m_error = errno;
}

WakeSignal::~WakeSignal() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void WakeSignal::post() {
    uint64_t one = 1;
    if (m_fd >= 0)
        (void)!::write(m_fd, &one, sizeof one);
}

void WakeSignal::drain() {
    uint64_t value;
    if (m_fd >= 0)
        (void)!::read(m_fd, &value, sizeof value);
}

// ---- SerialDevice -----------------------------------------------------------

SerialDevice::SerialDevice() = default;

SerialDevice::~SerialDevice() {
    close();
}

std::string SerialDevice::devicePath(const std::string& portName) {
    std::string name = portName;
    if (startsWithNoCase(name, "\\\\?\\") || startsWithNoCase(name, "\\\\.\\"))
        name.erase(0, 4);
    if (!name.empty() && name[0] == '/')
        return name;
    if (name.size() > 3 && startsWithNoCase(name, "COM")) {
        bool digits = true;
        for (size_t i = 3; i < name.size(); ++i)
            digits = digits && name[i] >= '0' && name[i] <= '9';
        if (digits && name.size() <= 8) {
            long n = std::stol(name.substr(3));
            if (n >= 1)
                return "/dev/ttyS" + std::to_string(n - 1);
        }
    }
    return "/dev/" + name;
}

int SerialDevice::open(const std::string& portName) {
    close();
    const std::string path = devicePath(portName);
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = 0;
    struct stat st {};
    termios tio{};
    if (fstat(fd, &st) != 0)
        error = errno;
    else if (!S_ISCHR(st.st_mode))
        error = ENOTTY;
    else if (tcgetattr(fd, &tio) != 0)
        error = errno;
    else if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        error = errno;
    else if (ioctl(fd, TIOCEXCL) != 0 && !isUnsupported(errno))
        error = errno;
    if (error) {
        ::close(fd);
        return error;
    }
    // Raw at once: a tty that is new (a USB adapter plugged in again) starts
    // cooked, and until the settings are applied what the device sends would
    // have its carriage returns turned into line feeds and be echoed back to it.
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &tio);
    // Only output left by an earlier owner goes. A serial driver keeps no input
    // while its port is closed, so flushing the input here could only drop what
    // the device sent since the open, and a device that is back on a replugged
    // cable sends at once.
    tcflush(fd, TCOFLUSH);
    m_fd = fd;
    m_path = path;
    return 0;
}

void SerialDevice::close() {
    if (m_fd < 0)
        return;
    // The port is given up at once, so it can be opened again straight away;
    // the descriptor itself is closed in the background (BackgroundCloser).
    // The write worker has switched the RS-485 mode off already; this is for
    // a line closed without one.
    restoreRs485();
    ioctl(m_fd, TIOCNXCL);
    flock(m_fd, LOCK_UN);
    BackgroundCloser::instance().close(m_fd);
    m_fd = -1;
    m_path.clear();
}

int SerialDevice::setDtr(bool on) {
    int bits = TIOCM_DTR;
    if (ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bits) != 0)
        return errno;
    return 0;
}

int SerialDevice::setRts(bool on) {
    int bits = TIOCM_RTS;
    if (ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bits) != 0)
        return errno;
    return 0;
}

int SerialDevice::modemStatus(uint32_t& status) const {
    int bits = 0;
    if (ioctl(m_fd, TIOCMGET, &bits) != 0)
        return errno;
    status = 0;
    if (bits & TIOCM_CTS)
        status |= kModemCtsOn;
    if (bits & TIOCM_DSR)
        status |= kModemDsrOn;
    if (bits & TIOCM_RI)
        status |= kModemRingOn;
    if (bits & TIOCM_CD)
        status |= kModemRlsdOn;
    return 0;
}

int SerialDevice::counters(SerialCounters& c) const {
    serial_icounter_struct ic{};
    if (ioctl(m_fd, TIOCGICOUNT, &ic) != 0)
        return errno;
    c.cts = uint32_t(ic.cts);
    c.dsr = uint32_t(ic.dsr);
    c.rng = uint32_t(ic.rng);
    c.dcd = uint32_t(ic.dcd);
    c.rx = uint32_t(ic.rx);
    c.tx = uint32_t(ic.tx);
    c.frame = uint32_t(ic.frame);
    c.overrun = uint32_t(ic.overrun);
    c.parity = uint32_t(ic.parity);
    c.brk = uint32_t(ic.brk);
    c.bufOverrun = uint32_t(ic.buf_overrun);
    return 0;
}

int SerialDevice::outputQueue(int& bytes) const {
    if (ioctl(m_fd, TIOCOUTQ, &bytes) != 0)
        return errno;
    return 0;
}

int SerialDevice::inputQueue(int& bytes) const {
    if (ioctl(m_fd, TIOCINQ, &bytes) != 0)
        return errno;
    return 0;
}

int SerialDevice::purge(unsigned flags) {
    if (m_fd < 0)
        return EBADF;
    const bool rx = flags & (kPurgeRxAbort | kPurgeRxClear);
    const bool tx = flags & (kPurgeTxAbort | kPurgeTxClear);
    if (!rx && !tx)
        return 0;
    if (tcflush(m_fd, rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH) != 0)
        return errno;
    return 0;
}

int SerialDevice::setBreak(bool on) {
    if (ioctl(m_fd, on ? TIOCSBRK : TIOCCBRK) != 0)
        return errno;
    return 0;
}

int SerialDevice::setRtsOnSend(bool on) {
    if (m_fd < 0)
        return EBADF;
    if (!on)
        return restoreRs485();
    serial_rs485 conf{};
    if (ioctl(m_fd, TIOCGRS485, &conf) != 0)
        return errno;
    if (!m_rs485.valid)
        m_rs485 =
            Rs485Saved{true, conf.flags, conf.delay_rts_before_send, conf.delay_rts_after_send};
    conf.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    conf.flags &= ~uint32_t(SER_RS485_RTS_AFTER_SEND | SER_RS485_RX_DURING_TX);
    int error = 0;
    if (ioctl(m_fd, TIOCSRS485, &conf) != 0)
        error = errno;
    // A driver may take the call and adjust the flags to what its hardware
    // can do: only RTS raised for sending and dropped after it will serve.
    else if (ioctl(m_fd, TIOCGRS485, &conf) != 0)
        error = errno;
    else if (!(conf.flags & SER_RS485_ENABLED) || !(conf.flags & SER_RS485_RTS_ON_SEND) ||
             (conf.flags & SER_RS485_RTS_AFTER_SEND))
        error = EINVAL;
    if (error)
        restoreRs485();
    return error;
}

int SerialDevice::restoreRs485() {
    if (!m_rs485.valid || m_fd < 0)
        return 0;
    m_rs485.valid = false;
    serial_rs485 conf{};
    if (ioctl(m_fd, TIOCGRS485, &conf) != 0)
        return errno;
    conf.flags = m_rs485.flags;
    conf.delay_rts_before_send = m_rs485.delayBefore;
    conf.delay_rts_after_send = m_rs485.delayAfter;
    if (ioctl(m_fd, TIOCSRS485, &conf) != 0)
        return errno;
    return 0;
}

int SerialDevice::drainOutput(const Event* cancel) {
    // tcdrain() would wait the same way, but only a signal can end it: with
    // output stalled by flow control the worker could never be stopped. So
    // the queue is watched instead, with the cancel event in every wait.
    for (;;) {
        int queued = 0;
        if (ioctl(m_fd, TIOCOUTQ, &queued) != 0)
            return errno;
        int waitMs = 1;
        if (queued > 0) {
            // Sleep about as long as the queue needs, in steps short enough
            // to notice a queue that empties early.
            const uint64_t us = uint64_t(queued) * m_charMicros.load(std::memory_order_relaxed);
            waitMs = int(std::clamp<uint64_t>(us / 1000, 1, 20));
        } else {
            unsigned int lsr = 0;
            if (ioctl(m_fd, TIOCSERGETLSR, &lsr) == 0) {
                if (lsr & TIOCSER_TEMT)
                    return 0;
            } else if (isUnsupported(errno)) {
                // The driver cannot tell when its transmitter is empty: give
                // the last character its time on the wire.
                const uint32_t charMicros = m_charMicros.load(std::memory_order_relaxed);
                const WaitResult w = wait(false, false, int(charMicros / 1000 + 1), cancel);
                return w.cancelled ? ECANCELED : w.error;
            } else {
                return errno;
            }
        }
        const WaitResult w = wait(false, false, waitMs, cancel);
        if (w.cancelled)
            return ECANCELED;
        if (w.error)
            return w.error;
    }
}

WaitResult SerialDevice::wait(bool forRead, bool forWrite, int timeoutMs, const Event* cancel,
                              const WakeSignal* wake, bool forHangup) const {
    WaitResult result;
    pollfd fds[3];
    int n = 0;
    int cancelIndex = -1, wakeIndex = -1, portIndex = -1;
    if (cancel && cancel->valid()) {
        cancelIndex = n;
        fds[n++] = pollfd{cancel->handle(), POLLIN, 0};
    }
    if (wake && wake->valid()) {
        wakeIndex = n;
        fds[n++] = pollfd{wake->handle(), POLLIN, 0};
    }
    if ((forRead || forWrite || forHangup) && m_fd >= 0) {
        // With no events asked for, poll still reports POLLHUP and POLLERR.
        portIndex = n;
        short events = short((forRead ? POLLIN : 0) | (forWrite ? POLLOUT : 0));
        fds[n++] = pollfd{m_fd, events, 0};
    }
    const int rc = pollRetrying(fds, (unsigned long)n, timeoutMs);
    if (rc < 0) {
        result.error = errno;
        return result;
    }
    if (rc == 0) {
        result.timedOut = true;
        return result;
    }
    if (cancelIndex >= 0 && (fds[cancelIndex].revents & POLLIN))
        result.cancelled = true;
    if (wakeIndex >= 0 && (fds[wakeIndex].revents & POLLIN))
        result.woken = true;
    if (portIndex >= 0) {
        short re = fds[portIndex].revents;
        result.readable = re & POLLIN;
        result.writable = re & POLLOUT;
        result.hangup = re & (POLLHUP | POLLERR | POLLNVAL);
    }
    return result;
}

long SerialDevice::readSome(char* buffer, size_t size) const {
    const ssize_t n = retryInterrupted([&] { return ::read(m_fd, buffer, size); });
    if (n >= 0)
        return long(n);
    return errno == EWOULDBLOCK ? -EAGAIN : -errno;
}

long SerialDevice::writeSome(const char* buffer, size_t size) const {
    const ssize_t n = retryInterrupted([&] { return ::write(m_fd, buffer, size); });
    if (n >= 0)
        return long(n);
    return errno == EWOULDBLOCK ? -EAGAIN : -errno;
}

} // namespace platform
