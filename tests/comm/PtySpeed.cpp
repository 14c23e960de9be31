#include "PtySpeed.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

termios2Speed ReadPtySpeed(int fd) {
    termios2 t{};
    termios2Speed speed;
    if (ioctl(fd, TCGETS2, &t) == 0) {
        speed.ispeed = t.c_ispeed;
        speed.ospeed = t.c_ospeed;
    }
    return speed;
}
