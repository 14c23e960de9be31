#pragma once
// What the lab's checks share inside the guest: the devices the lab machine
// has, a look at a port that another process holds, the machine's own monitor
// (to pull and plug the USB adapter) and the gadget's controller binding.
#include <chrono>
#include <cstdint>
#include <string>

namespace vmlab {

using Clock = std::chrono::steady_clock;
double secondsSince(Clock::time_point t);

// The lab machine's ports (tests/vm/vmlab.sh wires them).
inline constexpr const char* FtdiNode = "/dev/ttyUSB0";
inline constexpr const char* FtdiPeer = "/dev/virtio-ports/ftdi-peer"; // the adapter's far end
inline constexpr const char* UartNode = "/dev/ttyS1";                  // a 16550 at 0x2f8
inline constexpr const char* UartPeer = "/dev/virtio-ports/uart-peer";
inline constexpr const char* AcmNode = "/dev/ttyACM0"; // the gadget seen through cdc_acm
inline constexpr const char* GadgetNode = "/dev/ttyGS0";
inline constexpr const char* MonitorPort = "/dev/virtio-ports/qmp";
inline constexpr int UartBase = 0x2f8;

// A number from the environment, or fallback.
int envInt(const char* name, int fallback);

bool exists(const std::string& path);

// Opens a device raw and non-blocking (no echo, no line editing); -1 on failure.
int openRaw(const std::string& path);

// A second descriptor of a port that the code under test holds: opened
// non-blocking, so the open itself changes no modem line.
class Observer {
public:
    explicit Observer(const std::string& path);
    ~Observer();
    Observer(const Observer&) = delete;
    Observer& operator=(const Observer&) = delete;
    bool ok() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    // TIOCM_* bits, or -1 with errno.
    int modemBits() const;
    // The output rate the driver holds (TCGETS2), 0 on failure.
    uint32_t baudRate() const;

private:
    int m_fd = -1;
};

// A register of the 16550 as the chip holds it (through /dev/port), -1 on failure.
int uartRegister(int offset);
inline constexpr int UartMcr = 4, UartLcr = 3;

// The lab machine's monitor, through the guest port wired to it.
class Monitor {
public:
    Monitor();
    ~Monitor();
    bool ok() const { return m_fd >= 0; }
    // Sends one command (a JSON object) and waits for its answer; false with the
    // error text on failure.
    bool execute(const std::string& command, std::string* error);
    // Waits for the event DEVICE_DELETED of that device.
    bool waitDeleted(const std::string& id, int timeoutMs);

private:
    bool readLine(std::string& line, int timeoutMs);
    int m_fd = -1;
    std::string m_pending;
    bool m_deletedSeen = false;
    std::string m_deletedId;
};

// Pulls the FTDI adapter out of the machine's USB port and plugs it in again.
bool pullFtdi(Monitor& monitor, std::string* error);
bool plugFtdi(Monitor& monitor, std::string* error);

// Unbinds the gadget from its controller (the host side sees the cable pulled)
// or binds it again.
bool bindGadget(bool bound, std::string* error);

// Whether process pid has path (a device node, compared by device number) open.
bool holdsDevice(long long pid, const std::string& path);
// The same, for a device number seen before the node went.
bool holdsDevice(long long pid, unsigned long long rdev);
unsigned long long deviceNumber(const std::string& path);

} // namespace vmlab
