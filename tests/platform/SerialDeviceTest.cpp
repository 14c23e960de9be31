#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

#include "platform/SerialDevice.h"
#include "tests/support/Pty.h"

using platform::SerialDevice;

namespace {

// The test holds the slave end too: it locks it, and the node stays while the
// device is closed and opened again.
constexpr testsupport::PtyOptions HeldSlave{.keepSlave = true};

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

platform::SerialDcb dcb8N1(uint32_t rate) {
    platform::SerialDcb dcb;
    dcb.BaudRate = rate;
    dcb.ByteSize = 8;
    dcb.fBinary = true;
    return dcb;
}

TEST(SerialDevicePath, NameRule) {
    EXPECT_EQ(SerialDevice::devicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(SerialDevice::devicePath("com12"), "/dev/ttyS11");
    EXPECT_EQ(SerialDevice::devicePath("\\\\?\\COM2"), "/dev/ttyS1");
    EXPECT_EQ(SerialDevice::devicePath("\\\\.\\ttyACM0"), "/dev/ttyACM0");
    EXPECT_EQ(SerialDevice::devicePath("\\\\?\\/dev/pts/3"), "/dev/pts/3");
    EXPECT_EQ(SerialDevice::devicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(SerialDevice::devicePath("/dev/serial/by-id/x"), "/dev/serial/by-id/x");
    EXPECT_EQ(SerialDevice::devicePath("COM"), "/dev/COM");
    EXPECT_EQ(SerialDevice::devicePath("COM0"), "/dev/COM0");
    EXPECT_EQ(SerialDevice::devicePath("COMX"), "/dev/COMX");
}

TEST(SerialDeviceOpen, RefusesMissingBusyAndNonTty) {
    SerialDevice dev;
    EXPECT_EQ(dev.open("/nonexistent/port"), ENOENT);
    EXPECT_FALSE(dev.isOpen());

    char file[] = "/tmp/serialdevXXXXXX";
    int fd = mkstemp(file);
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_EQ(dev.open(file), ENOTTY);
    unlink(file);
    EXPECT_EQ(dev.open("/dev/null"), ENOTTY);

    testsupport::Pty pty(HeldSlave);
    ASSERT_GE(pty.master(), 0);
    ASSERT_EQ(flock(pty.slave(), LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(dev.open(pty.path().toStdString()), EWOULDBLOCK);
    flock(pty.slave(), LOCK_UN);
    EXPECT_EQ(dev.open(pty.path().toStdString()), 0);
    EXPECT_TRUE(dev.isOpen());
    SerialDevice second;
    EXPECT_EQ(second.open(pty.path().toStdString()), EWOULDBLOCK) << "the port is exclusive";
    dev.close();
    EXPECT_EQ(second.open(pty.path().toStdString()), 0) << "closing releases it";
}

TEST(SerialDeviceOpen, PtyHasNoModemLines) {
    testsupport::Pty pty(HeldSlave);
    SerialDevice dev;
    ASSERT_EQ(dev.open(pty.path().toStdString()), 0);
    uint32_t status = 0;
    int rc = dev.modemStatus(status);
    EXPECT_TRUE(SerialDevice::isUnsupported(rc)) << rc;
    platform::SerialCounters counters;
    EXPECT_TRUE(SerialDevice::isUnsupported(dev.counters(counters)));
    EXPECT_TRUE(SerialDevice::isUnsupported(dev.setDtr(true)));
    int queued = -1;
    EXPECT_EQ(dev.outputQueue(queued), 0);
    EXPECT_EQ(queued, 0);
}

TEST(SerialDeviceOpen, LineIsRawFromTheOpen) {
    // A line left cooked, as a newly plugged adapter's is: what the device sends
    // right after the open keeps its carriage returns and is not echoed back.
    testsupport::Pty pty(HeldSlave);
    SerialDevice dev;
    ASSERT_EQ(dev.open(pty.path().toStdString()), 0);
    ASSERT_TRUE(pty.write("AT\r"));
    std::string got;
    const int64_t end = nowMs() + 5000;
    while (got.size() < 3 && nowMs() < end) {
        char buffer[16];
        const long n = dev.readSome(buffer, sizeof buffer);
        if (n > 0)
            got.append(buffer, size_t(n));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(got, "AT\r");
    ASSERT_EQ(dev.writeSome("X", 1), 1);
    QByteArray echoed;
    while (!echoed.contains('X') && nowMs() < end)
        echoed += pty.readNow();
    EXPECT_EQ(echoed, "X") << "nothing but what the device side wrote";
}

TEST(SerialDeviceSettings, AppliedAndReadBack) {
    testsupport::Pty pty(HeldSlave);
    SerialDevice dev;
    ASSERT_EQ(dev.open(pty.path().toStdString()), 0);
    for (uint32_t rate : {9600u, 56000u, 1000000u}) {
        platform::SerialDcb dcb = dcb8N1(rate);
        dcb.StopBits = 2;
        dcb.fOutX = true;
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        ASSERT_EQ(dev.applyDcb(dcb), 0) << rate;
        platform::SerialDcb back;
        ASSERT_EQ(dev.readDcb(back), 0);
        EXPECT_EQ(back.BaudRate, rate);
        EXPECT_EQ(back.StopBits, 2);
        EXPECT_TRUE(back.fOutX);
        EXPECT_EQ(back.ByteSize, 8);
    }
    // 1.5 stop bits need 5 data bits; with 8 the rest of the block still
    // applies, with the nearest stop bits.
    platform::SerialDcb odd = dcb8N1(19200);
    odd.StopBits = 1;
    EXPECT_EQ(dev.applyDcb(odd), 0);
    platform::SerialDcb back;
    ASSERT_EQ(dev.readDcb(back), 0);
    EXPECT_EQ(back.BaudRate, 19200u);
    EXPECT_EQ(back.StopBits, 2);
    platform::SerialDcb bad = dcb8N1(9600);
    bad.ByteSize = 9;
    EXPECT_EQ(dev.applyDcb(bad), EINVAL);
}

TEST(SerialDeviceWait, ReadableCancelAndHangup) {
    testsupport::Pty pty(HeldSlave);
    SerialDevice dev;
    ASSERT_EQ(dev.open(pty.path().toStdString()), 0);
    ASSERT_EQ(dev.applyDcb(dcb8N1(115200)), 0);
    platform::Event cancel;
    ASSERT_TRUE(cancel.valid());

    platform::WaitResult w = dev.wait(true, false, 20, &cancel);
    EXPECT_TRUE(w.timedOut);
    ASSERT_EQ(write(pty.master(), "hello", 5), 5);
    w = dev.wait(true, false, 1000, &cancel);
    EXPECT_TRUE(w.readable);
    char buf[16];
    EXPECT_EQ(dev.readSome(buf, sizeof buf), 5);
    EXPECT_EQ(std::string(buf, 5), "hello");

    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        cancel.set();
    });
    const int64_t start = nowMs();
    w = dev.wait(true, false, -1, &cancel);
    setter.join();
    EXPECT_TRUE(w.cancelled);
    EXPECT_LT(nowMs() - start, 2000);
    EXPECT_TRUE(cancel.isSet());
    EXPECT_TRUE(cancel.wait(0)) << "manual reset: stays set";

    platform::Event none;
    pty.unplug();
    w = dev.wait(true, false, 1000, &none);
    EXPECT_TRUE(w.hangup || w.readable);
    EXPECT_EQ(dev.readSome(buf, sizeof buf), 0) << "a hung-up tty reads 0 bytes";
    EXPECT_LT(dev.writeSome("x", 1), 0);
}

TEST(SerialDeviceWrite, TimeoutGivesPartialCountAndCancelStops) {
    testsupport::Pty pty(HeldSlave);
    SerialDevice dev;
    ASSERT_EQ(dev.open(pty.path().toStdString()), 0);
    ASSERT_EQ(dev.applyDcb(dcb8N1(115200)), 0);
    const std::string big(256 * 1024, 'z');
    platform::SerialTimeouts t;
    t.WriteTotalTimeoutConstant = 100;
    dev.setTimeouts(t);
    EXPECT_EQ(dev.timeouts().WriteTotalTimeoutConstant, 100u);
    platform::Event cancel;
    int64_t start = nowMs();
    long n = dev.writeAll(big.data(), big.size(), &cancel);
    EXPECT_GT(n, 0);
    EXPECT_LT(size_t(n), big.size()) << "nobody reads the master: partial write";
    EXPECT_GE(nowMs() - start, 90);

    dev.setTimeouts(platform::SerialTimeouts{});
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        cancel.set();
    });
    start = nowMs();
    n = dev.writeAll(big.data(), big.size(), &cancel);
    setter.join();
    EXPECT_EQ(n, -ECANCELED);
    EXPECT_LT(nowMs() - start, 2000);
    EXPECT_EQ(dev.purge(platform::kPurgeTxAbort | platform::kPurgeTxClear), 0);
}

TEST(SerialDeviceWait, WakeSignalWakesAndDrains) {
    platform::WakeSignal wake;
    ASSERT_TRUE(wake.valid());
    SerialDevice closed;
    wake.post();
    wake.post();
    platform::WaitResult w = closed.wait(false, false, 1000, nullptr, &wake);
    EXPECT_TRUE(w.woken);
    wake.drain();
    w = closed.wait(false, false, 10, nullptr, &wake);
    EXPECT_TRUE(w.timedOut);
}

TEST(SerialDcbFlags, PackedWordRoundTrips) {
    platform::SerialDcb dcb;
    dcb.setFlags(0x81);
    EXPECT_TRUE(dcb.fBinary);
    EXPECT_TRUE(dcb.fTXContinueOnXoff);
    EXPECT_FALSE(dcb.fParity);
    EXPECT_EQ(dcb.flags(), 0x81u);
    dcb.fDtrControl = 2;
    dcb.fRtsControl = 3;
    dcb.fInX = true;
    EXPECT_EQ(dcb.flags(), 0x81u | (2u << 4) | (3u << 12) | (1u << 9));
    platform::SerialDcb copy;
    copy.setFlags(dcb.flags());
    EXPECT_EQ(copy.flags(), dcb.flags());
    EXPECT_EQ(copy.fRtsControl, 3);
}

} // namespace
