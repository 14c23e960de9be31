#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/SerialLine.h"

namespace platform {

// A serial line in memory, for tests: the component talks to it as to a tty
// while the test plays the device behind it. It records, in order, every call
// that moves a modem line, switches the RS-485 mode, writes or drains; it lets
// the test raise or drop CTS, DSR, RI and CD and send bytes to the component;
// and it can stand for a line without modem lines (a pseudo-terminal: the
// calls on the modem lines fail with ENOTTY) or one whose driver has the
// RS-485 mode.
// Like a USB adapter that is being pulled, it can hold every request that
// goes to the device (the modem lines and the settings) until the test lets
// them go, and it tells on which threads they were made. Every member is safe
// to call from any thread.
class FakeSerialLine final : public SerialLine {
public:
    struct Behaviour {
        bool modemLines = true; // false: the calls on the modem lines fail with ENOTTY
        bool rtsOnSend = false; // the driver offers the kernel's RS-485 mode
        int openError = 0;      // open() fails with this errno
        // Called as open() begins, on the thread that opens: a test holds
        // the open there, as a slow or vanishing USB device does.
        std::function<void()> onOpen;
        // When set, counts the lines of this behaviour open now.
        std::shared_ptr<std::atomic<int>> openLines;
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
    // The modem calls are the requests a USB adapter answers over the bus:
    // those that read or move the modem lines (status, DTR, RTS, break,
    // RS-485 mode) and applyDcb. While held, each waits until they are let
    // go, at most timeoutMs; then it fails with ETIMEDOUT, as a USB adapter's
    // request does when the adapter is pulled meanwhile.
    void holdModemCalls(bool hold, int timeoutMs = 5000);
    // From now on the modem calls fail with this errno (0: they work again).
    void failModemCalls(int error);
    // Modem calls waiting now.
    int heldModemCalls() const;
    // Modem calls made so far on the given thread.
    int modemCallsOn(std::thread::id thread) const;

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
    // Notes a modem call and waits while they are held (the caller's lock
    // is released meanwhile); 0, or the errno the call fails with.
    int modemCall(std::unique_lock<std::mutex>& lock) const;

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
    bool m_holdModem = false;
    int m_holdTimeoutMs = 5000;
    int m_modemError = 0;
    mutable int m_heldModem = 0;
    mutable std::condition_variable m_released;
    mutable std::vector<std::thread::id> m_modemThreads; // one entry per modem call
};

} // namespace platform
