// Kept apart from SerialDevice.cpp: the kernel's termios2 headers clash with
// the C library's <termios.h>.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>
#include <cstring>
#include <sys/ioctl.h>

#include "platform/SerialDevice.h"

namespace platform {

static_assert(sizeof(TermiosFields::cc) >= NCCS, "control characters do not fit");

namespace {

void toFields(const termios2& t, TermiosFields& f) {
    f.iflag = t.c_iflag;
    f.oflag = t.c_oflag;
    f.cflag = t.c_cflag;
    f.lflag = t.c_lflag;
    std::memcpy(f.cc, t.c_cc, NCCS);
    f.ispeed = t.c_ispeed;
    f.ospeed = t.c_ospeed;
}

void fromFields(const TermiosFields& f, termios2& t) {
    t.c_iflag = f.iflag;
    t.c_oflag = f.oflag;
    t.c_cflag = f.cflag;
    t.c_lflag = f.lflag;
    std::memcpy(t.c_cc, f.cc, NCCS);
    t.c_ispeed = f.ispeed;
    t.c_ospeed = f.ospeed;
}

} // namespace

int dcbToTermios(const SerialDcb& dcb, TermiosFields& f) {
    tcflag_t size;
    switch (dcb.ByteSize) {
    case 5:
        size = CS5;
        break;
    case 6:
        size = CS6;
        break;
    case 7:
        size = CS7;
        break;
    case 8:
        size = CS8;
        break;
    default:
        return EINVAL;
    }
    if (dcb.Parity > 4 || dcb.StopBits > 2 || dcb.BaudRate == 0)
        return EINVAL;
    // 1.5 stop bits exist on the wire only with 5 data bits, where the UART
    // turns "two stop bits" into one and a half. With more data bits the
    // nearest the line can do is two stop bits, which any receiver expecting
    // one and a half still reads; refusing would leave the whole block unset.

    // Raw mode. Line errors and breaks are counted by the driver, so the data
    // stream stays untouched (no PARMRK).
    f.iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                         IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
    f.oflag &= ~tcflag_t(OPOST);
    f.lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    // CLOCAL: a carrier drop must not hang the line up. HUPCL stays as the
    // driver has it, so closing drops DTR/RTS.
    f.cflag &=
        ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
    f.cflag |= CLOCAL | CREAD | size | BOTHER;
    f.cc[VMIN] = 0;
    f.cc[VTIME] = 0;
    f.ispeed = dcb.BaudRate;
    f.ospeed = dcb.BaudRate;

    switch (dcb.Parity) {
    case 1:
        f.cflag |= PARENB | PARODD;
        break;
    case 2:
        f.cflag |= PARENB;
        break;
    case 3:
        f.cflag |= PARENB | CMSPAR | PARODD;
        break;
    case 4:
        f.cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (dcb.fParity)
        f.iflag |= INPCK;
    if (dcb.StopBits != 0)
        f.cflag |= CSTOPB;
    // Hardware flow control covers both directions on Linux.
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == kRtsControlHandshake)
        f.cflag |= CRTSCTS;
    if (dcb.fOutX)
        f.iflag |= IXON;
    if (dcb.fInX)
        f.iflag |= IXOFF;
    f.cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    f.cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    return 0;
}

void termiosToDcb(const TermiosFields& f, SerialDcb& dcb) {
    dcb.BaudRate = f.ospeed;
    switch (f.cflag & CSIZE) {
    case CS5:
        dcb.ByteSize = 5;
        break;
    case CS6:
        dcb.ByteSize = 6;
        break;
    case CS7:
        dcb.ByteSize = 7;
        break;
    default:
        dcb.ByteSize = 8;
        break;
    }
    if (!(f.cflag & PARENB))
        dcb.Parity = 0;
    else if (f.cflag & CMSPAR)
        dcb.Parity = (f.cflag & PARODD) ? 3 : 4;
    else
        dcb.Parity = (f.cflag & PARODD) ? 1 : 2;
    dcb.StopBits = (f.cflag & CSTOPB) ? (dcb.ByteSize == 5 ? 1 : 2) : 0;
    dcb.fParity = (f.iflag & INPCK) != 0;
    const bool hw = (f.cflag & CRTSCTS) != 0;
    dcb.fOutxCtsFlow = hw;
    if (hw)
        dcb.fRtsControl = kRtsControlHandshake;
    dcb.fOutX = (f.iflag & IXON) != 0;
    dcb.fInX = (f.iflag & IXOFF) != 0;
    dcb.XonChar = static_cast<char>(f.cc[VSTART]);
    dcb.XoffChar = static_cast<char>(f.cc[VSTOP]);
    dcb.fBinary = true;
}

int SerialDevice::readDcb(SerialDcb& dcb) const {
    if (m_fd < 0)
        return EBADF;
    termios2 t{};
    if (ioctl(m_fd, TCGETS2, &t) != 0)
        return errno;
    TermiosFields f;
    toFields(t, f);
    termiosToDcb(f, dcb);
    return 0;
}

int SerialDevice::applyDcb(const SerialDcb& dcb) {
    if (m_fd < 0)
        return EBADF;
    termios2 t{};
    if (ioctl(m_fd, TCGETS2, &t) != 0)
        return errno;
    TermiosFields f;
    toFields(t, f);
    if (int rc = dcbToTermios(dcb, f))
        return rc;
    fromFields(f, t);
    if (ioctl(m_fd, TCSETS2, &t) != 0)
        return errno;
    const uint32_t bits = 1u + dcb.ByteSize + (dcb.Parity ? 1u : 0u) + (dcb.StopBits ? 2u : 1u);
    m_charMicros.store(uint32_t(uint64_t(bits) * 1000000u / dcb.BaudRate),
                       std::memory_order_relaxed);
    return 0;
}

} // namespace platform
