#include <gtest/gtest.h>

#include <cerrno>

#include "app/PortOpenReason.h"

namespace {

TPortOpenFacts facts(const QString& port, const QString& device, int error) {
    TPortOpenFacts f;
    f.Port = port;
    f.DevicePath = device;
    f.Error = error;
    return f;
}

TEST(PortOpenReason, TellsWhatTheUserCanDoAboutEachKindOfFailure) {
    EXPECT_EQ(PortOpenReasonText(facts("ttyUSB0", "/dev/ttyUSB0", 0)), "");

    TPortOpenFacts missing = facts("ttyUSB0", "/dev/ttyUSB0", ENOENT);
    EXPECT_EQ(PortOpenReasonText(missing),
              "COM port \"ttyUSB0\": no such device (/dev/ttyUSB0). No serial port is present.");
    missing.PresentPorts = QStringList{"ttyACM0", "ttyS4"};
    EXPECT_EQ(PortOpenReasonText(missing), "COM port \"ttyUSB0\": no such device (/dev/ttyUSB0). "
                                           "Ports present: ttyACM0, ttyS4.");

    TPortOpenFacts denied = facts("COM1", "/dev/ttyS0", EACCES);
    denied.Group = "dialout";
    EXPECT_EQ(PortOpenReasonText(denied),
              "COM port \"COM1\": permission denied on /dev/ttyS0. Read and write access is "
              "needed, through the \"dialout\" group: sudo adduser $USER dialout, then log out "
              "and in again.");
    denied.Group = "root"; // no hint in the node: the usual group
    EXPECT_TRUE(PortOpenReasonText(denied).contains("usually through the \"dialout\" group"));

    TPortOpenFacts busy = facts("/dev/ttyACM0", "/dev/ttyACM0", EWOULDBLOCK);
    EXPECT_EQ(PortOpenReasonText(busy),
              "COM port \"/dev/ttyACM0\": busy, another program has /dev/ttyACM0 open.");
    busy.Holders = QStringList{"ModemManager (pid 812)"};
    EXPECT_EQ(PortOpenReasonText(busy),
              "COM port \"/dev/ttyACM0\": busy, another program has /dev/ttyACM0 open: "
              "ModemManager (pid 812). ModemManager probes GSM modules; stop it with \"sudo "
              "systemctl stop ModemManager\".");
    EXPECT_TRUE(PortOpenReasonText(facts("x", "/dev/x", EBUSY)).contains("busy"));

    EXPECT_EQ(PortOpenReasonText(facts("/dev/null", "/dev/null", ENOTTY)),
              "COM port \"/dev/null\": /dev/null is not a serial device.");
    EXPECT_EQ(PortOpenReasonText(facts("ttyS3", "/dev/ttyS3", EIO)),
              "COM port \"ttyS3\": cannot open /dev/ttyS3: Input/output error.");
}

} // namespace
