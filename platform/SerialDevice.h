#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// The serial port as the communication component sees it: a device control
// block with the classic field meanings, classic timeouts and modem-status bits,
// and a Linux tty behind it. Nothing here exposes a POSIX type.

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

class SerialDevice {
public:
    SerialDevice();
    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Maps a port name to a device path: a leading \\?\ or \\.\ is dropped,
    // a name starting with '/' is used as is, COMn is /dev/ttyS{n-1}, any
    // other name is /dev/<name>.
    static std::string devicePath(const std::string& portName);

    // Opens the port exclusively (flock + TIOCEXCL), checks that it is a tty,
    // applies no settings yet. Returns 0 or the errno of the failing call.
    int open(const std::string& portName);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    const std::string& path() const { return m_path; }

    // Current settings read back from the driver / applied to it; 0 or errno.
    int readDcb(SerialDcb& dcb) const;
    int applyDcb(const SerialDcb& dcb);
    // Timeouts are kept here and used by the read and write helpers.
    // Safe to call while another thread reads or writes.
    SerialTimeouts timeouts() const;
    void setTimeouts(const SerialTimeouts& timeouts);

    // Modem lines. Return 0 or errno (ENOTTY/EINVAL: the driver has no lines).
    int setDtr(bool on);
    int setRts(bool on);
    int modemStatus(uint32_t& status) const; // kModem* bits
    int counters(SerialCounters& counters) const;
    int outputQueue(int& bytes) const;
    int inputQueue(int& bytes) const;
    int purge(unsigned flags);
    int setBreak(bool on);

    // Waits until the port is readable/writable, the cancel event is set, the
    // wake signal is posted, the device hangs up or timeoutMs elapses
    // (timeoutMs < 0 waits forever). Either of cancel and wake may be null.
    // A hang-up is seen while waiting for reading or writing, or, with
    // forHangup, while waiting for neither.
    WaitResult wait(bool forRead, bool forWrite, int timeoutMs, const Event* cancel,
                    const WakeSignal* wake = nullptr, bool forHangup = false) const;

    // Non-blocking read/write: bytes transferred (>= 0) or -errno. A read of 0
    // bytes means the device hung up; -EAGAIN means nothing there now.
    long readSome(char* buffer, size_t size) const;
    long writeSome(const char* buffer, size_t size) const;

    // Writes all bytes under the classic write time-out; returns the number
    // written (a time-out gives a partial count, not an error) or -errno;
    // -ECANCELED when cancel is set while waiting.
    long writeAll(const char* buffer, size_t size, const Event* cancel) const;

    // True when errno means "the driver has no such feature".
    static bool isUnsupported(int error);
    // True when errno means "the device went away".
    static bool isRemoved(int error);

private:
    int m_fd = -1;
    std::string m_path;
    std::atomic<uint32_t> m_timeouts[5] = {};
};

// The termios translation of a device control block, on our own copy of the
// termios2 fields so it can be checked without a device.
struct TermiosFields {
    uint32_t iflag = 0, oflag = 0, cflag = 0, lflag = 0;
    uint8_t cc[19] = {};
    uint32_t ispeed = 0, ospeed = 0;
};

// Applies the DCB to fields read from the driver: raw mode, CLOCAL|CREAD,
// VMIN = VTIME = 0, the rate through BOTHER, frame, flow control. Settings the
// line cannot carry are applied as closely as it can (1.5 stop bits with more
// than 5 data bits become 2). Returns 0, or EINVAL for values outside the
// block's ranges (byte size other than 5..8, parity above 4, rate 0).
int dcbToTermios(const SerialDcb& dcb, TermiosFields& fields);
// Reads the DCB members that termios can express back from the fields.
void termiosToDcb(const TermiosFields& fields, SerialDcb& dcb);

} // namespace platform
