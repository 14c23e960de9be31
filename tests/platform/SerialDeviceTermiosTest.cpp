// The translation of a device control block into termios fields, checked
// against the kernel's own constants.
#include <asm/termbits.h>
#include <gtest/gtest.h>

#include "platform/SerialDevice.h"

namespace {

platform::SerialDcb base() {
    platform::SerialDcb dcb;
    dcb.BaudRate = 115200;
    dcb.ByteSize = 8;
    dcb.fBinary = true;
    dcb.XonChar = 17;
    dcb.XoffChar = 19;
    return dcb;
}

TEST(SerialDcbToTermios, RawModeRateAndFrame) {
    platform::TermiosFields f;
    // Whatever the driver had: canonical, echo, CR mapping, parity marking.
    f.iflag = ICRNL | IXON | PARMRK | ISTRIP | BRKINT;
    f.oflag = OPOST;
    f.lflag = ICANON | ECHO | ISIG;
    f.cflag = CS7 | PARENB | B9600 | HUPCL;
    ASSERT_EQ(platform::dcbToTermios(base(), f), 0);
    EXPECT_EQ(f.iflag & (ICRNL | IXON | PARMRK | ISTRIP | BRKINT), 0u);
    EXPECT_EQ(f.oflag & OPOST, 0u);
    EXPECT_EQ(f.lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(f.cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(f.cflag & PARENB, 0u);
    EXPECT_EQ(f.cflag & CBAUD, tcflag_t(BOTHER));
    EXPECT_NE(f.cflag & CLOCAL, 0u);
    EXPECT_NE(f.cflag & CREAD, 0u);
    EXPECT_NE(f.cflag & HUPCL, 0u) << "closing still drops the lines";
    EXPECT_EQ(f.ispeed, 115200u);
    EXPECT_EQ(f.ospeed, 115200u);
    EXPECT_EQ(f.cc[VMIN], 0);
    EXPECT_EQ(f.cc[VTIME], 0);
}

TEST(SerialDcbToTermios, TableOfFrames) {
    struct Case {
        uint8_t byteSize, parity, stopBits;
        tcflag_t expected;
        int rc;
    } cases[] = {
        {5, 0, 0, CS5, 0},
        {6, 1, 0, CS6 | PARENB | PARODD, 0},
        {7, 2, 2, CS7 | PARENB | CSTOPB, 0},
        {8, 3, 0, CS8 | PARENB | CMSPAR | PARODD, 0},
        {8, 4, 0, CS8 | PARENB | CMSPAR, 0},
        {5, 0, 1, CS5 | CSTOPB, 0}, // 1.5 stop bits with 5 data bits
        {8, 0, 1, CS8 | CSTOPB, 0}, // the nearest: two stop bits
        {4, 0, 0, 0, EINVAL},
        {8, 5, 0, 0, EINVAL},
    };
    const tcflag_t frameBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
    for (const Case& c : cases) {
        platform::SerialDcb dcb = base();
        dcb.ByteSize = c.byteSize;
        dcb.Parity = c.parity;
        dcb.StopBits = c.stopBits;
        platform::TermiosFields f;
        EXPECT_EQ(platform::dcbToTermios(dcb, f), c.rc) << int(c.byteSize) << int(c.parity);
        if (c.rc)
            continue;
        EXPECT_EQ(f.cflag & frameBits, c.expected) << int(c.byteSize) << int(c.parity);
        platform::SerialDcb back;
        platform::termiosToDcb(f, back);
        EXPECT_EQ(back.ByteSize, c.byteSize);
        EXPECT_EQ(back.Parity, c.parity);
        EXPECT_EQ(back.StopBits, c.stopBits == 1 && c.byteSize != 5 ? 2 : c.stopBits);
    }
}

TEST(SerialDcbToTermios, FlowControl) {
    platform::SerialDcb dcb = base();
    platform::TermiosFields f;
    ASSERT_EQ(platform::dcbToTermios(dcb, f), 0);
    EXPECT_EQ(f.cflag & CRTSCTS, 0u);
    EXPECT_EQ(f.iflag & (IXON | IXOFF | INPCK), 0u);

    dcb.fOutxCtsFlow = true;
    dcb.fOutX = true;
    dcb.fInX = true;
    dcb.fParity = true;
    dcb.XonChar = 'Q';
    dcb.XoffChar = 'S';
    ASSERT_EQ(platform::dcbToTermios(dcb, f), 0);
    EXPECT_NE(f.cflag & CRTSCTS, 0u);
    EXPECT_NE(f.iflag & IXON, 0u);
    EXPECT_NE(f.iflag & IXOFF, 0u);
    EXPECT_NE(f.iflag & INPCK, 0u);
    EXPECT_EQ(f.iflag & PARMRK, 0u) << "the data stream is never marked";
    EXPECT_EQ(f.cc[VSTART], 'Q');
    EXPECT_EQ(f.cc[VSTOP], 'S');

    dcb = base();
    dcb.fRtsControl = platform::kRtsControlHandshake;
    ASSERT_EQ(platform::dcbToTermios(dcb, f), 0);
    EXPECT_NE(f.cflag & CRTSCTS, 0u) << "RTS handshake alone also means hardware flow";
}

} // namespace
