#include "platform/safe_file.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace kyd::platform {

namespace {

const char* const kNotRegular = "not a regular file";

std::string errorText(const std::string& path, int err)
{
    return path + ": " + std::strerror(err);
}

bool setReason(std::string* reason, const std::string& path, int err, const char* text = nullptr)
{
    if (reason)
        *reason = text ? path + ": " + text : errorText(path, err);
    errno = err;
    return false;
}

// The folder part of a path ("." for a bare name).
std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

bool writeAll(int fd, const std::uint8_t* p, std::size_t left)
{
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// A new, empty file beside target, created with the process's umask.
int createTemporary(const std::string& target, std::string& name)
{
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        timespec ts{};
        ::clock_gettime(CLOCK_MONOTONIC, &ts);
        const unsigned tag = static_cast<unsigned>(ts.tv_nsec) ^ (counter.fetch_add(1) * 2654435761u);
        name = target + ".~" + std::to_string(::getpid()) + "-" + std::to_string(tag % 1000000u);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// Looks at a path before it is opened: true when it can be opened as a
// regular file (or does not exist and missingOk).
bool lookBeforeOpening(const std::string& path, bool missingOk, std::string* reason, bool* missing = nullptr)
{
    struct stat st {};
    if (missing)
        *missing = false;
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR) {
            if (missing)
                *missing = true;
            if (missingOk)
                return true;
        }
        return setReason(reason, path, err);
    }
    if (!S_ISREG(st.st_mode))
        return setReason(reason, path, S_ISDIR(st.st_mode) ? EISDIR : EINVAL, kNotRegular);
    return true;
}

// Opens without blocking and checks what was opened; the descriptor is
// blocking again when returned.
int openChecked(const std::string& path, int flags, std::string* reason)
{
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0)
        return setReason(reason, path, errno), -1;
    struct stat st {};
    int err = 0;
    const char* text = nullptr;
    if (::fstat(fd, &st) != 0)
        err = errno;
    else if (!S_ISREG(st.st_mode)) // replaced since it was looked at
        err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL, text = kNotRegular;
    else if (const int fl = ::fcntl(fd, F_GETFL); fl < 0 || ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK) != 0)
        err = errno;
    if (err != 0) {
        ::close(fd);
        return setReason(reason, path, err, text), -1;
    }
    return fd;
}

std::string tooLargeText(std::size_t maxSize)
{
    constexpr std::size_t mb = 1024 * 1024;
    return "larger than " + (maxSize % mb == 0 ? std::to_string(maxSize / mb) + " MB" : std::to_string(maxSize) + " bytes");
}

template <class Bytes>
ReadResult readInto(const std::string& path, std::size_t maxSize, Bytes& out, std::string* reason)
{
    bool missing = false;
    if (!lookBeforeOpening(path, false, reason, &missing))
        return missing ? ReadResult::Missing : ReadResult::Failed;
    const int fd = openChecked(path, O_RDONLY, reason);
    if (fd < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat st {};
    Bytes bytes;
    int err = 0;
    const std::string large = tooLargeText(maxSize);
    if (::fstat(fd, &st) != 0) {
        err = errno;
    } else if (static_cast<std::uint64_t>(st.st_size) > maxSize) {
        err = EFBIG;
    } else {
        bytes.reserve(static_cast<std::size_t>(st.st_size));
        char buf[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                err = errno;
                break;
            }
            if (n == 0)
                break;
            if (bytes.size() + static_cast<std::size_t>(n) > maxSize) {
                err = EFBIG; // grew while it was read
                break;
            }
            bytes.insert(bytes.end(), buf, buf + n);
        }
    }
    ::close(fd);
    if (err != 0) {
        setReason(reason, path, err, err == EFBIG ? large.c_str() : nullptr);
        return ReadResult::Failed;
    }
    out = std::move(bytes);
    return ReadResult::Ok;
}

} // namespace

void ignoreFileSizeSignal()
{
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
}

bool replaceFile(const std::string& path, const void* data, std::size_t size, std::string* error, int* errnoOut)
{
    ignoreFileSizeSignal();
    auto fail = [&](int err) {
        if (errnoOut)
            *errnoOut = err;
        return setReason(error, path, err);
    };

    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    bool existed = false;
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return fail(EISDIR);
        if (!S_ISREG(st.st_mode))
            return fail(EINVAL); // a device or FIFO is never replaced by a file
        existed = true;
    }

    std::string name;
    const int fd = createTemporary(target, name);
    if (fd < 0)
        return fail(errno);
    auto abandon = [&](int err, bool open) {
        if (open)
            ::close(fd);
        ::unlink(name.c_str());
        return fail(err);
    };
    if (!writeAll(fd, static_cast<const std::uint8_t*>(data), size))
        return abandon(errno, true);
    if (existed && ::fchmod(fd, st.st_mode & 07777) != 0)
        return abandon(errno, true);
    // A file system that cannot sync (EINVAL) has nothing to sync.
    if (::fsync(fd) != 0 && errno != EINVAL)
        return abandon(errno, true);
    if (::close(fd) != 0)
        return abandon(errno, false);
    if (::rename(name.c_str(), target.c_str()) != 0)
        return abandon(errno, false);
    // Make the rename itself durable.
    const int dfd = ::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

std::FILE* openRegularFile(const std::string& path, FileAccess access, std::string* reason)
{
    const bool creates = access == FileAccess::Create || access == FileAccess::Append;
    if (!lookBeforeOpening(path, creates, reason))
        return nullptr;
    const int flags = access == FileAccess::Read        ? O_RDONLY
                      : access == FileAccess::ReadWrite ? O_RDWR
                      : access == FileAccess::Append    ? O_WRONLY | O_CREAT | O_APPEND
                                                        : O_RDWR | O_CREAT | O_TRUNC;
    const int fd = openChecked(path, flags, reason);
    if (fd < 0)
        return nullptr;
    const char* mode = access == FileAccess::Read ? "rb" : access == FileAccess::Append ? "ab" : "r+b";
    std::FILE* f = ::fdopen(fd, mode);
    if (!f) {
        const int err = errno;
        ::close(fd);
        setReason(reason, path, err);
    }
    return f;
}

bool canAppendTo(const std::string& path, std::string* reason)
{
    bool missing = false;
    if (!lookBeforeOpening(path, true, reason, &missing))
        return false;
    if (!missing) {
        const int fd = openChecked(path, O_WRONLY | O_APPEND, reason);
        if (fd < 0)
            return false;
        ::close(fd);
        return true;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0)
        return setReason(reason, path, errno);
    ::close(fd);
    ::unlink(path.c_str());
    return true;
}

ReadResult readRegularFile(const std::string& path, std::size_t maxSize, std::vector<std::uint8_t>& out,
                           std::string* reason)
{
    return readInto(path, maxSize, out, reason);
}

ReadResult readRegularFile(const std::string& path, std::size_t maxSize, std::string& out, std::string* reason)
{
    return readInto(path, maxSize, out, reason);
}

} // namespace kyd::platform
