// Only the kernel's terminal structures here (see baud_termios2.h).
#include "platform/baud_termios2.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace kyd::platform::detail {

int termios2SetBaud(int fd, std::uint32_t baud)
{
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return -1;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ospeed = baud;
    t.c_ispeed = baud;
    return ioctl(fd, TCSETS2, &t) == 0 ? 0 : -1;
}

int termios2GetBaud(int fd, std::uint32_t& baud)
{
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return -1;
    baud = t.c_ospeed;
    return 0;
}

} // namespace kyd::platform::detail
