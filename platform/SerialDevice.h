#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/SerialLine.h"

// The serial line on a Linux tty: termios for the device control block,
// TIOCM* for the modem lines, TIOCGICOUNT for line changes and errors, the
// kernel's RS-485 mode for RTS toggling, poll() with the cancel event for
// every wait. Nothing here exposes a POSIX type.

namespace platform {

class SerialDevice final : public SerialLine {
public:
    SerialDevice();
    ~SerialDevice() override;

    // Maps a port name to a device path: a leading \\?\ or \\.\ is dropped,
    // a name starting with '/' is used as is, COMn is /dev/ttyS{n-1}, any
    // other name is /dev/<name>.
    static std::string devicePath(const std::string& portName);

    // Opens the port exclusively (flock + TIOCEXCL), checks that it is a tty,
    // applies no settings yet. Returns 0 or the errno of the failing call.
    int open(const std::string& portName) override;
    void close() override;
    bool isOpen() const override { return m_fd >= 0; }
    const std::string& path() const { return m_path; }

    int readDcb(SerialDcb& dcb) const override;
    int applyDcb(const SerialDcb& dcb) override;

    int setDtr(bool on) override;
    int setRts(bool on) override;
    int modemStatus(uint32_t& status) const override;
    int counters(SerialCounters& counters) const override;
    int outputQueue(int& bytes) const override;
    int inputQueue(int& bytes) const override;
    int purge(unsigned flags) override;
    int setBreak(bool on) override;
    int setRtsOnSend(bool on) override;
    int drainOutput(const Event* cancel) override;

    WaitResult wait(bool forRead, bool forWrite, int timeoutMs, const Event* cancel,
                    const WakeSignal* wake = nullptr, bool forHangup = false) const override;
    long readSome(char* buffer, size_t size) const override;
    long writeSome(const char* buffer, size_t size) const override;

private:
    // The RS-485 settings the port had before setRtsOnSend(true).
    struct Rs485Saved {
        bool valid = false;
        uint32_t flags = 0, delayBefore = 0, delayAfter = 0;
    };
    int restoreRs485();

    int m_fd = -1;
    std::string m_path;
    Rs485Saved m_rs485;
    // Time of one character on the wire at the applied settings. Set by
    // applyDcb on the thread that writes the settings (the opener, then the
    // write worker), read by drainOutput on the write worker.
    std::atomic<uint32_t> m_charMicros{0};
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
