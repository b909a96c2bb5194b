#include "platform/instance_lock.h"

#include <cerrno>
#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <fcntl.h>
#include <cstring>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace kyd::platform {

namespace {

int openLockFile(const std::string& path)
{
    return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

int flockRetry(int fd, int op)
{
    int r;
    do
        r = ::flock(fd, op);
    while (r != 0 && errno == EINTR);
    return r;
}

std::string lockFolder()
{
    const char* run = std::getenv("XDG_RUNTIME_DIR");
    if (run && *run)
        return run;
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

// The wake-up socket's address in the abstract namespace (nothing on disk),
// named after the lock file, which is unique for the user.
socklen_t wakeAddress(const std::string& lockPath, sockaddr_un& a)
{
    std::memset(&a, 0, sizeof a);
    a.sun_family = AF_UNIX;
    const std::string name = lockPath + ".wake";
    const std::size_t n = std::min(name.size(), sizeof a.sun_path - 1);
    std::memcpy(a.sun_path + 1, name.data(), n); // sun_path[0] == 0: abstract
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
}

} // namespace

InstanceLock::InstanceLock(const std::string& name)
{
    std::string file = name.empty() ? std::string("kyd") : name;
    for (char& c : file)
        if (c == '/')
            c = '_';
    const char* run = std::getenv("XDG_RUNTIME_DIR");
    if (run && *run)
        path_ = lockFolder() + "/" + file + ".lock";
    else
        path_ = lockFolder() + "/" + file + "-" + std::to_string(::getuid()) + ".lock";
    fd_ = openLockFile(path_);
    if (fd_ < 0)
        return;
    if (flockRetry(fd_, LOCK_EX | LOCK_NB) != 0) {
        another_ = true;
    } else {
        wakeFd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_un a;
        const socklen_t len = wakeAddress(path_, a);
        if (wakeFd_ >= 0 && ::bind(wakeFd_, reinterpret_cast<sockaddr*>(&a), len) != 0) {
            ::close(wakeFd_);
            wakeFd_ = -1;
        }
    }
    // Every instance holds the lock shared from now on; a starting one that
    // still holds it exclusively is waited for.
    flockRetry(fd_, LOCK_SH);
}

InstanceLock::~InstanceLock()
{
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
    if (fd_ >= 0)
        ::close(fd_);
}

bool InstanceLock::takeWakeRequests()
{
    bool any = false;
    char byte;
    while (wakeFd_ >= 0 && ::recv(wakeFd_, &byte, 1, MSG_DONTWAIT) >= 0)
        any = true;
    return any;
}

bool InstanceLock::wakeFirstInstance() const
{
    const int s = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return false;
    sockaddr_un a;
    const socklen_t len = wakeAddress(path_, a);
    const char byte = 1;
    const bool sent = ::sendto(s, &byte, 1, MSG_DONTWAIT | MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&a), len) == 1;
    ::close(s);
    return sent;
}

namespace {
// The lock files this thread holds: a flock taken through a second
// descriptor would wait for the first one for ever.
thread_local std::vector<std::string> t_heldLocks;
} // namespace

FileLock::FileLock(const std::string& path, Mode mode)
{
    // The folder is locked, not a file beside the one guarded: that leaves
    // nothing behind, and the guarded file itself is replaced by renames.
    const std::size_t slash = path.find_last_of('/');
    path_ = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (std::find(t_heldLocks.begin(), t_heldLocks.end(), path_) != t_heldLocks.end()) {
        nested_ = true;
        return;
    }
    fd_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ >= 0 && flockRetry(fd_, mode == Mode::Shared ? LOCK_SH : LOCK_EX) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (fd_ >= 0)
        t_heldLocks.push_back(path_);
}

FileLock::~FileLock()
{
    if (fd_ < 0)
        return;
    t_heldLocks.erase(std::find(t_heldLocks.begin(), t_heldLocks.end(), path_));
    ::close(fd_);
}

} // namespace kyd::platform
