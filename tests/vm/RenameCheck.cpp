// An adapter that comes back under another name: while a descriptor of the
// old node is still open (another program, a forgotten terminal), the kernel
// gives the re-plugged adapter the next number. A /dev/serial/by-id link,
// which udev moves to the new node, still names it; the guest runs no udev,
// so the check moves the link as udev would.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "tests/support/WaitUntil.h"
#include "tests/vm/Lab.h"
#include "tests/vm/Program.h"

namespace vmlab {
namespace {

namespace fs = std::filesystem;
using testsupport::WaitUntil;

const char* const ById = "/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_LAB0001-if00-port0";

void pointLink(const char* target) {
    std::error_code ec;
    fs::create_directories(fs::path(ById).parent_path(), ec);
    const std::string temp = std::string(ById) + ".new";
    fs::remove(temp, ec);
    fs::create_symlink(target, temp, ec);
    fs::rename(temp, ById, ec);
}

bool logHas(const Program& program, const QByteArray& text) {
    QFile log(program.logPath());
    return log.open(QIODevice::ReadOnly) && log.readAll().contains(text);
}

// Prints a numbered line at the far end until it is in the log.
bool linesGetThrough(const Program& program, int peer, int n) {
    const QByteArray mark = "MARK " + QByteArray::number(n);
    return WaitUntil(
        [&] {
            const QByteArray line = mark + "\r\n";
            if (::write(peer, line.data(), size_t(line.size())) < 0)
                return false;
            return logHas(program, mark);
        },
        15000, 50);
}

TEST(Ftdi, ComesBackUnderANewNameThroughItsLink) {
    Monitor monitor;
    ASSERT_TRUE(monitor.ok());
    const int peer = openRaw(FtdiPeer);
    ASSERT_GE(peer, 0);
    pointLink("../../ttyUSB0");
    Program program;
    ASSERT_TRUE(program.start(QString::fromLatin1(ById)));
    ASSERT_TRUE(WaitUntil([&] { return holdsDevice(program.pid(), FtdiNode); }, 20000, 5));
    EXPECT_TRUE(linesGetThrough(program, peer, 1));

    // Something else still holds the old node when the cable is pulled.
    const int holder = openRaw(FtdiNode);
    ASSERT_GE(holder, 0);
    std::string error;
    ASSERT_TRUE(pullFtdi(monitor, &error)) << error;
    std::error_code ec;
    fs::remove(ById, ec); // udev removes the link with the device
    ASSERT_TRUE(plugFtdi(monitor, &error)) << error;
    ASSERT_TRUE(WaitUntil([] { return exists("/dev/ttyUSB1"); }, 10000, 5))
        << "the adapter did not come back as ttyUSB1";
    EXPECT_FALSE(exists(FtdiNode));
    pointLink("../../ttyUSB1");
    EXPECT_TRUE(WaitUntil([&] { return holdsDevice(program.pid(), "/dev/ttyUSB1"); }, 10000, 5))
        << "the program did not follow the link to the new node";
    EXPECT_TRUE(linesGetThrough(program, peer, 2));
    EXPECT_TRUE(logHas(program, "\": Failed"));

    // Back to ttyUSB0 for the other checks: the old node is let go, and the
    // adapter plugged in again takes the first free number.
    ::close(holder);
    ASSERT_TRUE(pullFtdi(monitor, &error)) << error;
    fs::remove(ById, ec);
    ASSERT_TRUE(plugFtdi(monitor, &error)) << error;
    EXPECT_TRUE(WaitUntil([] { return exists(FtdiNode); }, 10000, 5));
    pointLink("../../ttyUSB0");
    EXPECT_TRUE(WaitUntil([&] { return holdsDevice(program.pid(), FtdiNode); }, 10000, 5));
    EXPECT_TRUE(linesGetThrough(program, peer, 3));
    ::close(peer);
}

} // namespace
} // namespace vmlab
