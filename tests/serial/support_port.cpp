#include "support_port.h"

#include "platform/baud_termios2.h"

#include <chrono>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace sio::test {

SlaveProbe::SlaveProbe(const std::string& slavePath)
{
    fd_ = ::open(slavePath.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
}

SlaveProbe::~SlaveProbe()
{
    if (fd_ >= 0)
        ::close(fd_);
}

SlaveLine SlaveProbe::read() const
{
    SlaveLine l;
    termios t {};
    if (fd_ < 0 || ::tcgetattr(fd_, &t) != 0)
        return l;
    std::uint32_t baud = 0;
    if (kyd::platform::detail::termios2GetBaud(fd_, baud) == 0)
        l.baud = baud;
    l.raw = !(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) && !(t.c_oflag & OPOST)
        && !(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP));
    l.twoStop = (t.c_cflag & CSTOPB) != 0;
    return l;
}

void PollCounter::count()
{
    {
        std::lock_guard lock(mutex_);
        ++polls_;
    }
    cv_.notify_all();
}

std::uint64_t PollCounter::polls()
{
    std::lock_guard lock(mutex_);
    return polls_;
}

bool PollCounter::waitFor(std::uint64_t n, int maxSeconds)
{
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, std::chrono::seconds(maxSeconds), [&] { return polls_ >= n; });
}

} // namespace sio::test
