// The serial component on real drivers, where a pseudo-terminal has nothing to
// show: modem lines that reach the chip (16550) or the device (cdc_acm), the
// driver's own rule for cdc_acm, modem-line events when the gadget's side
// opens, the handshakes the component provides itself, breaks and rates.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QString>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

#include "comm/VOXComm32.h"
#include "platform/SerialDevice.h"
#include "platform/SerialPortMap.h"
#include "tests/support/WaitUntil.h"
#include "tests/vm/Lab.h"

namespace vmlab {
namespace {

using testsupport::WaitUntil;

// The component with its trace texts kept (the workers trace on their own threads).
class Comm : public TVOXComm32 {
public:
    explicit Comm(const char* port, TBaudRate rate = TBaudRate::_115200) {
        SetAutoReconnect(false);
        SetCommPort(QString::fromLatin1(port));
        SetBaudRate(rate);
        SetOnReceiveData([this](QObject*, const char* data, uint16_t count) {
            std::lock_guard<std::mutex> lock(mutex);
            received.append(data, count);
        });
    }
    ~Comm() override { StopComm(); }
    void TraceText(const QString& text) override {
        std::lock_guard<std::mutex> lock(mutex);
        texts.push_back(text);
    }
    bool traced(const QString& text) {
        std::lock_guard<std::mutex> lock(mutex);
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    bool open() {
        return StartComm() && WaitUntil([&] { return IsCommOpen(); }, 5000);
    }
    std::mutex mutex;
    std::vector<QString> texts;
    std::string received;
};

bool mcrBit(int bit) {
    return (uartRegister(UartMcr) & bit) != 0;
}
constexpr int McrDtr = 0x01, McrRts = 0x02, LcrBreak = 0x40;

// Reads what arrives at a far end until it holds text.
bool arrives(int fd, const std::string& text, std::string* got) {
    return WaitUntil(
        [&] {
            char buffer[4096];
            for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                got->append(buffer, size_t(n));
            return got->find(text) != std::string::npos;
        },
        10000, 2);
}

TEST(Uart, ModemLinesReachTheChip) {
    // Read on the chip itself: a second open of the tty, even a non-blocking
    // one, would raise both lines again.
    Comm comm(UartNode);
    comm.Signals()->SetDTR(false);
    ASSERT_TRUE(comm.open());
    // The open raised both lines; the settings are on the chip right after it.
    EXPECT_TRUE(WaitUntil([] { return !mcrBit(McrDtr) && mcrBit(McrRts); }, 3000))
        << "MCR " << uartRegister(UartMcr);
    comm.Signals()->SetDTR(true);
    comm.Signals()->SetRTS(false);
    EXPECT_TRUE(WaitUntil([] { return mcrBit(McrDtr) && !mcrBit(McrRts); }, 3000))
        << "MCR " << uartRegister(UartMcr);
}

TEST(Uart, RtsToggleTakesTheWorkersPath) {
    const int peer = openRaw(UartPeer);
    ASSERT_GE(peer, 0);
    Comm comm(UartNode);
    comm.Signals()->SetRTSControl(VOxaSignalControl_RTSToggle);
    ASSERT_TRUE(comm.open());
    // The 8250 driver has no RS-485 mode on this port.
    EXPECT_TRUE(WaitUntil(
        [&] { return comm.traced("RTS toggle: the write worker raises RTS while sending"); },
        3000));
    EXPECT_FALSE(mcrBit(McrRts)) << "RTS is down while nothing is sent";
    const std::string block(2000, 'r');
    ASSERT_TRUE(comm.WriteCommData(block.data(), int(block.size())));
    std::string got;
    EXPECT_TRUE(arrives(peer, block, &got)) << got.size() << " bytes came";
    // Down again once the last byte has left the chip.
    EXPECT_TRUE(WaitUntil([] { return !mcrBit(McrRts); }, 3000));
    ::close(peer);
}

TEST(Uart, BreakSetAndCleared) {
    platform::SerialDevice device;
    ASSERT_EQ(device.open(UartNode), 0);
    ASSERT_EQ(device.setBreak(true), 0);
    EXPECT_TRUE(uartRegister(UartLcr) & LcrBreak);
    ASSERT_EQ(device.setBreak(false), 0);
    EXPECT_FALSE(uartRegister(UartLcr) & LcrBreak);
}

// Each rate as the driver holds it after the component set it.
void expectRates(const char* node, std::initializer_list<TBaudRate> rates,
                 std::initializer_list<uint32_t> values) {
    Comm comm(node);
    ASSERT_TRUE(comm.open());
    Observer line(node);
    ASSERT_TRUE(line.ok());
    auto value = values.begin();
    for (TBaudRate rate : rates) {
        comm.SetBaudRate(rate);
        const uint32_t want = *value++;
        EXPECT_TRUE(WaitUntil([&] { return line.baudRate() == want; }, 3000))
            << node << ": " << want << " set, " << line.baudRate() << " read back";
    }
}

TEST(Uart, BaudRatesReadBack) {
    // 14400 has no termios constant; a 16550 at 1.8432 MHz ends at 115200.
    expectRates(UartNode, {TBaudRate::__14400, TBaudRate::__57600, TBaudRate::_115200},
                {14400, 57600, 115200});
}

TEST(Ftdi, BaudRatesReadBack) {
    expectRates(FtdiNode, {TBaudRate::__14400, TBaudRate::_921600, TBaudRate::_1000000},
                {14400, 921600, 1000000});
}

TEST(Acm, BaudRatesReadBack) {
    expectRates(AcmNode, {TBaudRate::__14400, TBaudRate::_230400, TBaudRate::_1000000},
                {14400, 230400, 1000000});
}

TEST(Acm, DtrNeverDropped) {
    // The lines as the driver last sent them to the device, seen through a
    // descriptor opened first (every open of a tty raises both lines).
    Observer line(AcmNode);
    ASSERT_TRUE(line.ok());
    Comm comm(AcmNode);
    comm.Signals()->SetDTR(false);
    comm.Signals()->SetRTS(false);
    ASSERT_TRUE(comm.open());
    // RTS follows the settings, DTR stays up on this driver.
    EXPECT_TRUE(WaitUntil([&] { return !(line.modemBits() & TIOCM_RTS); }, 3000));
    EXPECT_TRUE(line.modemBits() & TIOCM_DTR) << "DTR was dropped on cdc_acm";
    comm.Signals()->SetRTS(true);
    EXPECT_TRUE(WaitUntil([&] { return (line.modemBits() & TIOCM_RTS) != 0; }, 3000));
    EXPECT_TRUE(line.modemBits() & TIOCM_DTR) << "DTR was dropped on cdc_acm";
}

TEST(Acm, ModemEventsWhenTheGadgetOpens) {
    std::atomic<int> dsrOn{0}, dsrOff{0}, cdOn{0};
    Comm comm(AcmNode);
    comm.OnChangedDSR = [&](QObject*, bool on) { ++(on ? dsrOn : dsrOff); };
    comm.OnChangedRLSD = [&](QObject*, bool on) { cdOn += on; };
    ASSERT_TRUE(comm.open());
    // Opening the gadget's tty raises DSR and CD on the host's side.
    const int gadget = openRaw(GadgetNode);
    ASSERT_GE(gadget, 0);
    EXPECT_TRUE(WaitUntil([&] { return dsrOn > 0 && cdOn > 0; }, 5000));
    ::close(gadget);
    EXPECT_TRUE(WaitUntil([&] { return dsrOff > 0; }, 5000));
}

TEST(Acm, DsrHandshakeHoldsOutput) {
    Comm comm(AcmNode);
    comm.Signals()->SetDSRHandshake(true);
    ASSERT_TRUE(comm.open());
    EXPECT_TRUE(WaitUntil(
        [&] { return comm.traced("DSR handshake: output waits while DSR is off"); }, 3000));
    // The gadget's tty is closed: DSR is off, and what reached it now would be
    // dropped by the gadget. Held, it goes once the tty opens and DSR rises.
    ASSERT_TRUE(comm.WriteCommString("held\r"));
    const int gadget = openRaw(GadgetNode);
    ASSERT_GE(gadget, 0);
    std::string got;
    EXPECT_TRUE(arrives(gadget, "held\r", &got)) << "got: " << got;
    ::close(gadget);
}

TEST(Acm, RtsToggleTakesTheWorkersPath) {
    // The lines as the driver last sent them to the device.
    Observer line(AcmNode);
    ASSERT_TRUE(line.ok());
    const int gadget = openRaw(GadgetNode);
    ASSERT_GE(gadget, 0);
    Comm comm(AcmNode);
    comm.Signals()->SetRTSControl(VOxaSignalControl_RTSToggle);
    ASSERT_TRUE(comm.open());
    // cdc_acm has no RS-485 mode: the write worker raises and drops RTS.
    EXPECT_TRUE(WaitUntil(
        [&] { return comm.traced("RTS toggle: the write worker raises RTS while sending"); },
        3000));
    EXPECT_TRUE(WaitUntil([&] { return !(line.modemBits() & TIOCM_RTS); }, 3000))
        << "RTS is up while nothing is sent";
    // More than the gadget and the ttys on its way hold: while the far end
    // reads nothing, the block cannot leave and RTS stays up.
    const std::string block(512 * 1024, 'r');
    ASSERT_TRUE(comm.WriteCommData(block.data(), int(block.size())));
    EXPECT_TRUE(WaitUntil([&] { return (line.modemBits() & TIOCM_RTS) != 0; }, 5000))
        << "RTS did not rise for the block";
    std::string got;
    EXPECT_TRUE(arrives(gadget, block, &got)) << got.size() << " bytes came";
    // Down again once the last byte has left.
    EXPECT_TRUE(WaitUntil([&] { return !(line.modemBits() & TIOCM_RTS); }, 5000))
        << "RTS stayed up after the block";
    ::close(gadget);
}

TEST(Acm, BreakFromTheModule) {
    // A break the module sends (the gadget's tty) reaches the host's driver
    // as a line-state notice, which its line counters keep.
    std::atomic<int> breaks{0};
    Comm comm(AcmNode);
    comm.OnBreak = [&](QObject*) { ++breaks; };
    ASSERT_TRUE(comm.open());
    // The read worker counts breaks from the counters it finds as it starts:
    // a break before that would be one of them.
    ASSERT_TRUE(
        WaitUntil([&] { return comm.traced("Waiting for a CommEvent (Error) to occur."); }, 5000));
    const int gadget = openRaw(GadgetNode);
    ASSERT_GE(gadget, 0);
    ASSERT_EQ(::ioctl(gadget, TIOCSBRK), 0) << errno;
    ::usleep(20000);
    ASSERT_EQ(::ioctl(gadget, TIOCCBRK), 0) << errno;
    EXPECT_TRUE(WaitUntil([&] { return breaks > 0; }, 5000)) << "no break event";
    ::close(gadget);
}

TEST(Acm, BreakToTheModule) {
    // The host's driver sends a break only to a device that says it takes
    // one; the gadget does not, so the driver refuses it at once, without a
    // request on the bus.
    platform::SerialDevice device;
    ASSERT_EQ(device.open(AcmNode), 0);
    EXPECT_EQ(device.setBreak(true), EOPNOTSUPP);
    EXPECT_EQ(device.setBreak(false), EOPNOTSUPP);
}

TEST(Ftdi, DescriptionInThePortList) {
    const auto map = platform::serialPortMap();
    const auto entry =
        std::find_if(map.begin(), map.end(), [](const auto& e) { return e.portName == "ttyUSB0"; });
    ASSERT_NE(entry, map.end());
    EXPECT_EQ(entry->driver, "ftdi_sio");
    EXPECT_EQ(entry->vendorId, "0403");
    EXPECT_EQ(entry->productId, "6001");
    EXPECT_EQ(entry->serial, "LAB0001");
    EXPECT_EQ(entry->product, "QEMU USB SERIAL");
    // As the port box and the port dialog show it.
    Comm comm(FtdiNode);
    QComboBox box;
    comm.FillPortList(&box);
    const int item = box.findText(QStringLiteral("ttyUSB0"));
    ASSERT_GE(item, 0);
    const QString hint = box.itemData(item, Qt::ToolTipRole).toString();
    EXPECT_TRUE(hint.contains(QStringLiteral("QEMU USB SERIAL"))) << hint.toStdString();
    EXPECT_TRUE(hint.contains(QStringLiteral("USB 0403:6001"))) << hint.toStdString();
    EXPECT_TRUE(hint.contains(QStringLiteral("serial LAB0001"))) << hint.toStdString();
}

} // namespace
} // namespace vmlab
