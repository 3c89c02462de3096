// termios2 lives in the kernel headers, which clash with <termios.h>: this file includes only them.
#include "tnc/serial_speed.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace gw {

bool setLineSpeed(int fd, int baud) {
    struct termios2 tio {};
    speed_t standard = 0;
    switch (baud) {
    case 110:
        standard = B110;
        break;
    case 300:
        standard = B300;
        break;
    case 600:
        standard = B600;
        break;
    case 1200:
        standard = B1200;
        break;
    case 2400:
        standard = B2400;
        break;
    case 4800:
        standard = B4800;
        break;
    case 9600:
        standard = B9600;
        break;
    case 19200:
        standard = B19200;
        break;
    case 38400:
        standard = B38400;
        break;
    case 57600:
        standard = B57600;
        break;
    case 115200:
        standard = B115200;
        break;
    default:
        break;
    }
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    // A rate with its own constant is set as one, so every termios reader sees it.
    tio.c_cflag |= standard != 0 ? standard : BOTHER;
    tio.c_ispeed = static_cast<speed_t>(baud);
    tio.c_ospeed = static_cast<speed_t>(baud);
    return ioctl(fd, TCSETS2, &tio) == 0;
}

} // namespace gw
