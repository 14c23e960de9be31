#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// The serial port as the communication component sees it: a device control
// block with the classic field meanings, classic timeouts and modem-status bits,
// and a line behind it that the component reads, writes and signals through.
// Two lines implement it: the tty (platform/SerialDevice.h) and an in-memory
// line for tests (platform/FakeSerialLine.h). Nothing here exposes a POSIX type.

namespace platform {

// Device control block. Field names and values follow the classic serial API so
// that the component can build and read it without caring about termios.
struct SerialDcb {
    uint32_t DCBlength = sizeof(SerialDcb);
    uint32_t BaudRate = 0;
    bool fBinary = false;
    bool fParity = false;
    bool fOutxCtsFlow = false;
    bool fOutxDsrFlow = false;
    uint8_t fDtrControl = 0; // 0 disable, 1 enable, 2 handshake
    bool fDsrSensitivity = false;
    bool fTXContinueOnXoff = false;
    bool fOutX = false;
    bool fInX = false;
    bool fErrorChar = false;
    bool fNull = false;
    uint8_t fRtsControl = 0; // 0 disable, 1 enable, 2 handshake, 3 toggle
    bool fAbortOnError = false;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 0;
    uint8_t Parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t StopBits = 0; // 0 one, 1 one and a half, 2 two
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;

    // The packed flag word (bit 0 fBinary ... bit 14 fAbortOnError).
    uint32_t flags() const;
    void setFlags(uint32_t flags);
};

constexpr uint8_t kDtrControlDisable = 0;
constexpr uint8_t kDtrControlEnable = 1;
constexpr uint8_t kDtrControlHandshake = 2;
constexpr uint8_t kRtsControlDisable = 0;
constexpr uint8_t kRtsControlEnable = 1;
constexpr uint8_t kRtsControlHandshake = 2;
constexpr uint8_t kRtsControlToggle = 3;

struct SerialTimeouts {
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
};

// Modem-status bits as the classic API reports them.
constexpr uint32_t kModemCtsOn = 0x10;
constexpr uint32_t kModemDsrOn = 0x20;
constexpr uint32_t kModemRingOn = 0x40;
constexpr uint32_t kModemRlsdOn = 0x80;

// Purge flags.
constexpr unsigned kPurgeTxAbort = 0x1;
constexpr unsigned kPurgeRxAbort = 0x2;
constexpr unsigned kPurgeTxClear = 0x4;
constexpr unsigned kPurgeRxClear = 0x8;

// Line counters of the driver (TIOCGICOUNT); differences show line changes,
// breaks and errors that happened between two looks.
struct SerialCounters {
    uint32_t cts = 0, dsr = 0, rng = 0, dcd = 0;
    uint32_t rx = 0, tx = 0;
    uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};

// A manual-reset event other threads can wait on together with a port: once
// set it stays set for every waiter.
class Event {
public:
    Event();
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    bool valid() const { return m_fd >= 0; }
    int error() const { return m_error; } // errno when creation failed
    void set();
    bool isSet() const;
    // Waits until set; true when set, false on time-out. timeoutMs < 0 waits forever.
    bool wait(int timeoutMs) const;
    int handle() const { return m_fd; }

private:
    int m_fd = -1;
    int m_error = 0;
};

// An auto-reset wake-up signal (counts posts, drained by the waiter).
class WakeSignal {
public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    bool valid() const { return m_fd >= 0; }
    int error() const { return m_error; }
    void post();
    void drain();
    int handle() const { return m_fd; }

private:
    int m_fd = -1;
    int m_error = 0;
};

// What a wait on the port came back with. Several flags can be set at once.
struct WaitResult {
    bool cancelled = false; // the cancel event is set (checked first)
    bool woken = false;     // the wake signal was posted
    bool readable = false;
    bool writable = false;
    bool hangup = false; // device removed or its other end closed
    bool timedOut = false;
    int error = 0; // errno when the wait itself failed
};

// Output flow control the line has no driver flag for (DSR handshake): before
// each chunk of a write, the write waits while one of these modem lines is off,
// looking at the lines every pollMs, within the write's time-out.
struct OutputHold {
    uint32_t lines = 0; // kModem* bits that must be on; 0 holds nothing
    int pollMs = 10;
};

class SerialLine {
public:
    SerialLine() = default;
    virtual ~SerialLine() = default;
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // Opens the port exclusively, applies no settings yet. 0 or errno.
    virtual int open(const std::string& portName) = 0;
    // Gives the port up at once (it can be opened again when this returns)
    // and never waits for the device: what can wait is done in the background.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Current settings read back from the driver / applied to it; 0 or errno.
    virtual int readDcb(SerialDcb& dcb) const = 0;
    virtual int applyDcb(const SerialDcb& dcb) = 0;
    // Timeouts are kept here and used by the read and write helpers.
    // Safe to call while another thread reads or writes.
    SerialTimeouts timeouts() const;
    void setTimeouts(const SerialTimeouts& timeouts);

    // Modem lines. Return 0 or errno (ENOTTY/EINVAL: the driver has no lines).
    virtual int setDtr(bool on) = 0;
    virtual int setRts(bool on) = 0;
    virtual int modemStatus(uint32_t& status) const = 0; // kModem* bits
    virtual int counters(SerialCounters& counters) const = 0;
    virtual int outputQueue(int& bytes) const = 0;
    virtual int inputQueue(int& bytes) const = 0;
    virtual int purge(unsigned flags) = 0;
    virtual int setBreak(bool on) = 0;

    // The driver raises RTS while it sends and drops it once the bytes have
    // left (the kernel's RS-485 mode). 0, or errno: unsupported where the
    // driver has no such mode. Switching it off restores what the port had
    // before it was switched on; closing does the same.
    virtual int setRtsOnSend(bool on) = 0;
    // Waits until what was written has left the wire. 0, ECANCELED when
    // cancel is set first, or errno (EIO: the device went away).
    virtual int drainOutput(const Event* cancel) = 0;

    // Waits until the port is readable/writable, the cancel event is set, the
    // wake signal is posted, the device hangs up or timeoutMs elapses
    // (timeoutMs < 0 waits forever). Either of cancel and wake may be null.
    // A hang-up is seen while waiting for reading or writing, or, with
    // forHangup, while waiting for neither.
    virtual WaitResult wait(bool forRead, bool forWrite, int timeoutMs, const Event* cancel,
                            const WakeSignal* wake = nullptr, bool forHangup = false) const = 0;

    // Non-blocking read/write: bytes transferred (>= 0) or -errno. A read of 0
    // bytes means the device hung up; -EAGAIN means nothing there now.
    virtual long readSome(char* buffer, size_t size) const = 0;
    virtual long writeSome(const char* buffer, size_t size) const = 0;

    // Writes all bytes under the classic write time-out; returns the number
    // written (a time-out gives a partial count, not an error) or -errno;
    // -ECANCELED when cancel is set while waiting. With a hold, output waits
    // before each chunk while a held line is off.
    long writeAll(const char* buffer, size_t size, const Event* cancel,
                  const OutputHold& hold = {}) const;

    // True when errno means "the driver has no such feature".
    static bool isUnsupported(int error);
    // True when errno means "the device went away".
    static bool isRemoved(int error);

private:
    // Waits while a held line is off: 0 when released, ETIMEDOUT at the
    // deadline (0: none), ECANCELED, or the error reading the lines gave.
    int waitForLines(const OutputHold& hold, uint64_t deadline, const Event* cancel) const;

    std::atomic<uint32_t> m_timeouts[5] = {};
};

// Milliseconds of a monotonic clock, for the deadlines of the lines.
uint64_t monotonicMs();

} // namespace platform
