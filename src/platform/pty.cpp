#include "platform/pty.h"

#include "platform/baud_termios2.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <climits>
#include <cstdint>
#include <fcntl.h>
#include <pthread.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace kyd::platform {

namespace {

[[noreturn]] void fail(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

void closeFd(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// What a symbolic link points at; empty when path is not one.
std::string linkTarget(const std::string& path)
{
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

bool isSymlink(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// A link as this program makes them.
bool isPtyLink(const std::string& path)
{
    return isSymlink(path) && linkTarget(path).rfind("/dev/pts/", 0) == 0;
}

// Points linkPath at target, replacing what was there in one rename.
void makeLink(const std::string& linkPath, const std::string& target)
{
    std::string tmp = linkPath + ".tmp" + std::to_string(::getpid());
    if (isSymlink(tmp))
        ::unlink(tmp.c_str()); // left behind by an earlier run of ours
    if (::symlink(target.c_str(), tmp.c_str()) != 0)
        fail("symlink");
    if (::rename(tmp.c_str(), linkPath.c_str()) != 0) {
        int e = errno;
        ::unlink(tmp.c_str());
        errno = e;
        fail("rename");
    }
}

} // namespace

PtyMaster::PtyMaster(std::string linkPath) : linkPath_(std::move(linkPath))
{
    if (!linkPath_.empty()) {
        struct stat st {};
        if (::lstat(linkPath_.c_str(), &st) == 0 && !isPtyLink(linkPath_)) {
            throw std::system_error(EEXIST, std::generic_category(),
                                    linkPath_ + " is in the way (not a link to a pseudo-terminal)");
        }
        // A pseudo-terminal's device exists only while its line is open: a
        // link to one that exists belongs to a running simulator (or another
        // program's line) and is not taken over.
        if (isPtyLink(linkPath_) && ::stat(linkPath_.c_str(), &st) == 0) {
            throw std::system_error(EEXIST, std::generic_category(),
                                    linkPath_ + " points at a live pseudo-terminal (" + linkTarget(linkPath_) + ")");
        }
    }
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd_ < 0)
        fail("eventfd");
    try {
        openPair();
    } catch (...) {
        closeFd(stopFd_);
        throw;
    }
}

PtyMaster::~PtyMaster()
{
    closePair();
    if (!linkPath_.empty()) {
        // Remove the link only while it still points at our device.
        std::lock_guard lock(pathMutex_);
        if (isSymlink(linkPath_) && linkTarget(linkPath_) == slavePath_)
            ::unlink(linkPath_.c_str());
    }
    closeFd(stopFd_);
}

void PtyMaster::openPair()
{
    int m = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m < 0)
        fail("posix_openpt");
    if (::grantpt(m) != 0 || ::unlockpt(m) != 0) {
        int e = errno;
        ::close(m);
        errno = e;
        fail("grantpt/unlockpt");
    }
    char name[128];
    if (::ptsname_r(m, name, sizeof name) != 0) {
        int e = errno;
        ::close(m);
        errno = e;
        fail("ptsname_r");
    }
    int s = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s < 0) {
        int e = errno;
        ::close(m);
        errno = e;
        fail("open pty slave");
    }
    termios t{};
    if (::tcgetattr(s, &t) == 0) {
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        ::tcsetattr(s, TCSANOW, &t);
    }
    int flags = ::fcntl(m, F_GETFL);
    ::fcntl(m, F_SETFL, flags | O_NONBLOCK);
    master_ = m;
    slave_ = s;
    std::string previous;
    {
        std::lock_guard lock(pathMutex_);
        previous = slavePath_;
        slavePath_ = name;
    }
    if (!linkPath_.empty()) {
        // Re-pointed after a hang-up only while it is still ours (or gone):
        // whatever was put there meanwhile stays.
        struct stat st {};
        const bool free = ::lstat(linkPath_.c_str(), &st) != 0 && errno == ENOENT;
        if (previous.empty() || free || (isSymlink(linkPath_) && linkTarget(linkPath_) == previous))
            makeLink(linkPath_, name);
    }
}

bool PtyMaster::lineState(LineState& out) const
{
    termios t{};
    if (master_ < 0 || ::tcgetattr(master_, &t) != 0)
        return false;
    std::uint32_t baud = 0;
    if (detail::termios2GetBaud(master_, baud) != 0)
        return false;
    out.baud = baud;
    switch (t.c_cflag & CSIZE) {
    case CS5: out.dataBits = 5; break;
    case CS6: out.dataBits = 6; break;
    case CS7: out.dataBits = 7; break;
    default: out.dataBits = 8; break;
    }
    out.parity = (t.c_cflag & PARENB) != 0;
    out.stopBits = (t.c_cflag & CSTOPB) != 0 ? 2 : 1;
    out.raw = (t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0 &&
              (t.c_iflag & (ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF)) == 0 && (t.c_oflag & OPOST) == 0;
    return true;
}

void PtyMaster::closePair()
{
    closeFd(master_);
    closeFd(slave_);
}

std::string PtyMaster::slavePath() const
{
    std::lock_guard lock(pathMutex_);
    return slavePath_;
}

std::string PtyMaster::devicePath() const
{
    return linkPath_.empty() ? slavePath() : linkPath_;
}

PtyMaster::Wait PtyMaster::waitFor(short events, int timeoutMs)
{
    pollfd fds[2] = {{stopFd_, POLLIN, 0}, {master_, events, 0}};
    for (;;) {
        int r = ::poll(fds, 2, timeoutMs < 0 ? -1 : timeoutMs);
        if (r < 0) {
            if (errno == EINTR)
                continue; // a signal; the caller's deadline logic re-computes on Timeout only
            return Wait::HungUp;
        }
        if (fds[0].revents & POLLIN)
            return Wait::Stopped;
        if (r == 0)
            return Wait::Timeout;
        if (fds[1].revents & events)
            return Wait::Ready;
        if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))
            return Wait::HungUp;
        return Wait::Timeout;
    }
}

PtyMaster::Wait PtyMaster::waitReadable(int timeoutMs)
{
    return waitFor(POLLIN, timeoutMs);
}

PtyMaster::Wait PtyMaster::waitWritable(int timeoutMs)
{
    return waitFor(POLLOUT, timeoutMs);
}

PtyMaster::Wait PtyMaster::sleep(int timeoutMs)
{
    pollfd fd{stopFd_, POLLIN, 0};
    for (;;) {
        int r = ::poll(&fd, 1, timeoutMs < 0 ? -1 : timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        return r > 0 ? Wait::Stopped : Wait::Timeout;
    }
}

long PtyMaster::readSome(void* buffer, std::size_t size)
{
    ssize_t n = ::read(master_, buffer, size);
    if (n < 0)
        return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? 0 : -1;
    return static_cast<long>(n);
}

long PtyMaster::writeSome(const void* data, std::size_t size)
{
    ssize_t n = ::write(master_, data, size);
    if (n < 0)
        return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? 0 : -1;
    return static_cast<long>(n);
}

void PtyMaster::stop()
{
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(stopFd_, &one, sizeof one);
}

bool PtyMaster::stopped() const
{
    pollfd fd{stopFd_, POLLIN, 0};
    return ::poll(&fd, 1, 0) > 0;
}

void PtyMaster::hangUp()
{
    closePair();
    openPair();
}

bool isPseudoTerminalDevice(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    // The kernel's pseudo-terminal slaves have the majors 136 to 143.
    const unsigned maj = major(st.st_rdev);
    return maj >= 136 && maj <= 143;
}

void blockTerminationSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int waitForTerminationSignal()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    int sig = 0;
    if (sigwait(&set, &sig) != 0)
        return SIGTERM; // only with an invalid set, which cannot happen here
    return sig;
}

} // namespace kyd::platform
