// Baud rates through termios2 (BOTHER), kept apart from <termios.h>: the
// kernel's <asm/termbits.h> and glibc's <termios.h> cannot share a
// translation unit.
#pragma once

#include <cstdint>

namespace kyd::platform::detail {

// Sets an arbitrary output and input baud rate; 0 or -1 with errno set.
int termios2SetBaud(int fd, std::uint32_t baud);
// Reads the output baud rate the driver holds; 0 or -1 with errno set.
int termios2GetBaud(int fd, std::uint32_t& baud);

} // namespace kyd::platform::detail
