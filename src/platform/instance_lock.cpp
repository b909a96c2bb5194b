#include "platform/instance_lock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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
    if (flockRetry(fd_, LOCK_EX | LOCK_NB) != 0)
        another_ = true;
    // Every instance holds the lock shared from now on; a starting one that
    // still holds it exclusively is waited for.
    flockRetry(fd_, LOCK_SH);
}

InstanceLock::~InstanceLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

FileLock::FileLock(const std::string& path)
{
    fd_ = openLockFile(path + ".lock");
    if (fd_ >= 0 && flockRetry(fd_, LOCK_EX) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

FileLock::~FileLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

} // namespace kyd::platform
