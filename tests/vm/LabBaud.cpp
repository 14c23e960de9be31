// The rate a driver holds, read with the termios2 ioctl, which needs the
// kernel's own headers (they clash with <termios.h>, so this file has its own).
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "tests/vm/Lab.h"

namespace vmlab {

uint32_t Observer::baudRate() const {
    termios2 t{};
    return ::ioctl(m_fd, TCGETS2, &t) == 0 ? t.c_ospeed : 0;
}

} // namespace vmlab
