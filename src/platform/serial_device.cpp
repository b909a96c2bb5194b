#include "platform/serial_device.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace kyd::platform {

const char* deviceErrorText(int err)
{
    switch (err) {
    case kDevOk: return "OK";
    case kDevNotFound: return "no such device";
    case kDevBusy: return "device in use";
    case kDevPermission: return "permission denied";
    case kDevNotSerial: return "not a serial device";
    case kDevNoMemory: return "out of memory";
    case kDevHangup: return "device hung up";
    case kDevIo: return "device I/O error";
    case kDevRefused: return "setting refused by the device";
    case kDevInvalid: return "invalid argument";
    case kDevNotOpen: return "device not open";
    default: return "unknown device error";
    }
}

WakeEvent::WakeEvent()
{
    fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

WakeEvent::~WakeEvent()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void WakeEvent::signal()
{
    const std::uint64_t one = 1;
    ssize_t r;
    do {
        r = ::write(fd_, &one, sizeof one);
    } while (r < 0 && errno == EINTR);
}

bool WakeEvent::consume()
{
    std::uint64_t v = 0;
    ssize_t r;
    do {
        r = ::read(fd_, &v, sizeof v);
    } while (r < 0 && errno == EINTR);
    return r == sizeof v && v > 0;
}

bool WakeEvent::wait(int timeoutMs)
{
    WakeEvent* self = this;
    return waitAny(&self, 1, timeoutMs) == 0;
}

int waitAny(WakeEvent* const* events, int count, int timeoutMs)
{
    if (count <= 0 || count > 8)
        return -1;
    pollfd fds[8];
    for (int i = 0; i < count; ++i)
        fds[i] = pollfd{events[i]->fd(), POLLIN, 0};
    for (;;) {
        const int r = ::poll(fds, static_cast<nfds_t>(count), timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return -1;
        for (int i = 0; i < count; ++i) {
            if ((fds[i].revents & POLLIN) && events[i]->consume())
                return i;
        }
        // Someone else took the signal between poll and read: wait again.
    }
}

} // namespace kyd::platform
