// Baud rates without a termios constant (14400, 56000, 128000, 256000), set
// through the kernel's termios2 interface.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

namespace astrel::posix {

bool SetCustomBaudRate(int fd, uint32_t baud) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) return false;
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD);
    t.c_cflag |= BOTHER;
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    return ::ioctl(fd, TCSETS2, &t) == 0;
}

}  // namespace astrel::posix
