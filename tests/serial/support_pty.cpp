#include "support_pty.h"

#include "platform/port_resolver.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

namespace sio::test {

TestPty::TestPty()
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master_ < 0)
        return;
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        closeMaster();
        return;
    }
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0) {
        closeMaster();
        return;
    }
    slave_ = name;
    termios t {};
    if (::tcgetattr(master_, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(master_, TCSANOW, &t);
    }
    // Without an open slave the master reports a hang-up between opens.
    keepSlave_ = ::open(slave_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (keepSlave_ >= 0 && ::tcgetattr(keepSlave_, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(keepSlave_, TCSANOW, &t);
    }
}

TestPty::~TestPty()
{
    closeMaster();
    if (keepSlave_ >= 0)
        ::close(keepSlave_);
}

void TestPty::closeMaster()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

bool TestPty::write(const std::vector<std::uint8_t>& bytes)
{
    std::size_t off = 0;
    while (off < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + off, bytes.size() - off);
        if (n > 0) {
            off += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd p{master_, POLLOUT, 0};
        if (::poll(&p, 1, 5000) <= 0)
            return false;
    }
    return true;
}

std::vector<std::uint8_t> TestPty::read(std::size_t n, int timeoutMs)
{
    std::vector<std::uint8_t> out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < n) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            break;
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            break;
        std::uint8_t buf[4096];
        const ssize_t r = ::read(master_, buf, sizeof buf);
        if (r > 0)
            out.insert(out.end(), buf, buf + r);
        else if (r < 0 && errno != EAGAIN && errno != EINTR)
            break;
    }
    return out;
}

namespace {

int countEntries(const char* dir)
{
    DIR* d = ::opendir(dir);
    if (!d)
        return -1;
    int n = 0;
    while (dirent* e = ::readdir(d))
        if (e->d_name[0] != '.')
            ++n;
    ::closedir(d);
    return n;
}

} // namespace

int openFdCount() { return countEntries("/proc/self/fd"); }
int threadCount() { return countEntries("/proc/self/task"); }

FlockHolder::FlockHolder(const std::string& path)
{
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    locked_ = fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
}

FlockHolder::~FlockHolder()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void RouteComToPty(kyd::platform::MessageLoop& loop, int com, const TestPty& pty)
{
    kyd::platform::setMessageLoop(&loop);
    kyd::platform::setPortResolverUsesSharedIni(false);
    kyd::platform::setPortPathOverride(com, pty.slavePath());
}

void UnrouteComs()
{
    kyd::platform::clearPortPathOverrides();
    kyd::platform::setMessageLoop(nullptr);
}

bool pumpWithWatchdog(kyd::platform::MessageLoop& loop, const std::function<bool()>& done, int maxSeconds)
{
    std::mutex m;
    std::condition_variable cv;
    bool finished = false;
    std::atomic<bool> gaveUp{false};
    std::thread watchdog([&] {
        std::unique_lock lock(m);
        if (!cv.wait_for(lock, std::chrono::seconds(maxSeconds), [&] { return finished; })) {
            gaveUp = true;
            loop.wakeUp();
        }
    });
    loop.pumpUntil([&] { return done() || gaveUp.load(); });
    {
        std::lock_guard lock(m);
        finished = true;
    }
    cv.notify_all();
    watchdog.join();
    return done();
}

} // namespace sio::test
