#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/SerialLine.h"

namespace platform {

// A serial line in memory, for tests: the component talks to it as to a tty
// while the test plays the device behind it. It records, in order, every call
// that moves a modem line, switches the RS-485 mode, writes or drains; it lets
// the test raise or drop CTS, DSR, RI and CD and send bytes to the component;
// and it can stand for a line without modem lines (a pseudo-terminal: the
// modem calls fail with ENOTTY) or one whose driver has the RS-485 mode.
// Every member is safe to call from any thread.
class FakeSerialLine final : public SerialLine {
public:
    struct Behaviour {
        bool modemLines = true; // false: the modem calls fail with ENOTTY
        bool rtsOnSend = false; // the driver offers the kernel's RS-485 mode
        int openError = 0;      // open() fails with this errno
    };

    FakeSerialLine();
    explicit FakeSerialLine(const Behaviour& behaviour);
    ~FakeSerialLine() override;

    // ---- the test's side ----------------------------------------------------
    // The device sends bytes: the component reads them.
    void deviceSends(const std::string& bytes);
    // Raises or drops a line the device drives (kModemCtsOn, kModemDsrOn, ...).
    void setLine(uint32_t modemBit, bool on);
    // The device goes away: reads give 0 bytes, everything else EIO.
    void unplug();
    // Everything the component wrote, in order.
    std::string written() const;
    // "DTR on", "DTR off", "RTS on", "RTS off", "RS-485 on", "RS-485 off",
    // "write <bytes>", "drain", in the order they were made.
    std::vector<std::string> calls() const;
    bool dtr() const;
    bool rts() const;
    // Bytes the device sent that the component has not read yet.
    size_t unread() const;

    // ---- SerialLine -----------------------------------------------------------
    int open(const std::string& portName) override;
    void close() override;
    bool isOpen() const override;
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
    // errno of a modem call: ENOTTY without lines, EIO once unplugged.
    int lineError() const;
    // Wakes every wait under way (the caller holds the mutex).
    void changed() const;

    const Behaviour m_behaviour;
    mutable std::mutex m_mutex;
    bool m_open = false;
    bool m_unplugged = false;
    SerialDcb m_dcb;
    bool m_dtr = false;
    bool m_rts = false;
    uint32_t m_lines = 0;
    mutable SerialCounters m_counters;
    mutable std::string m_input; // sent by the device, not yet read
    mutable std::string m_written;
    mutable std::vector<std::string> m_calls;
    mutable std::vector<int> m_waiters; // a wake-up descriptor per wait under way
};

} // namespace platform
