#pragma once
#include <cstdint>

// The line speed a tty reports through termios2 (kept apart: the kernel's
// termios2 header clashes with <termios.h>).
struct termios2Speed {
    uint32_t ispeed = 0;
    uint32_t ospeed = 0;
};
termios2Speed ReadPtySpeed(int fd);
