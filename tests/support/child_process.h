// Test helpers that run a piece of a test in a child process: to apply a
// file-size or memory limit to it alone, to mount a tiny file system in a
// mount namespace of its own, or to have two writers run at once.
#pragma once

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define KYD_TEST_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KYD_TEST_UNDER_ASAN 1
#endif
#endif

namespace kyd::test {

struct ChildResult {
    // What the child reported: empty when all went well; otherwise its
    // message, or how it ended ("killed by signal 25").
    std::string report;
    bool skipped = false; // the child found what it needs unavailable
    long maxRssKb = 0;    // the child's peak resident memory
};

// A child's body returns this to say it could not run here.
inline const std::string kChildUnavailable = "\x01unavailable";

// A child started by startChild, to be collected by finishChild.
struct Child {
    pid_t pid = -1;
    int reportFd = -1;
    std::string error; // why it could not be started
};

// Starts body in a forked child; it reports through a pipe.
inline Child startChild(const std::function<std::string()>& body)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {-1, -1, std::string("pipe: ") + std::strerror(errno)};
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return {-1, -1, std::string("fork: ") + std::strerror(errno)};
    }
    if (pid == 0) {
        ::close(fds[0]);
        std::string r;
        try {
            r = body();
        } catch (const std::exception& e) {
            r = std::string("exception: ") + e.what();
        } catch (...) {
            r = "unknown exception";
        }
        const char* p = r.data();
        std::size_t left = r.size();
        while (left > 0) {
            const ssize_t n = ::write(fds[1], p, left);
            if (n <= 0)
                break;
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    return {pid, fds[0], {}};
}

// Waits for the child's report and its end.
inline ChildResult finishChild(Child& child)
{
    if (child.pid < 0)
        return {child.error};
    ChildResult result;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(child.reportFd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        result.report.append(buf, static_cast<std::size_t>(n));
    }
    ::close(child.reportFd);
    int status = 0;
    rusage usage{};
    while (::wait4(child.pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    child.pid = -1;
    result.maxRssKb = usage.ru_maxrss;
    if (WIFSIGNALED(status))
        result.report += "killed by signal " + std::to_string(WTERMSIG(status));
    else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        result.report += "exit status " + std::to_string(WEXITSTATUS(status));
    if (result.report == kChildUnavailable) {
        result.report.clear();
        result.skipped = true;
    }
    return result;
}

// Runs body in a forked child and collects its report.
inline ChildResult runInChild(const std::function<std::string()>& body)
{
    Child c = startChild(body);
    return finishChild(c);
}

// The tiny file systems a save can meet: a 64 KiB tmpfs (only where the
// test may mount one: it is mounted in a private mount namespace of the
// child, so nothing outlives it) and a 32 KiB file-size limit
// (RLIMIT_FSIZE), which without care kills a writer with SIGXFSZ.
constexpr std::size_t kTinyFsBytes = 64 * 1024;
constexpr std::size_t kFileSizeLimit = 32 * 1024;

// Runs body(dir) in a child on each tiny file system that can be had here
// (the empty folder dir exists). Returns (name of the file system, result)
// for each one tried; the file-size limit can always be had.
inline std::vector<std::pair<std::string, ChildResult>> runOnTinyFileSystems(
    const std::string& dir, const std::function<std::string(const std::string&)>& body)
{
    std::vector<std::pair<std::string, ChildResult>> results;
    results.emplace_back("64 KiB tmpfs", runInChild([&]() -> std::string {
                             if (::unshare(CLONE_NEWNS) != 0 ||
                                 ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                                 ::mount("tmpfs", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") != 0)
                                 return kChildUnavailable;
                             return body(dir);
                         }));
    results.emplace_back("32 KiB file-size limit", runInChild([&]() -> std::string {
                             const rlimit limit{kFileSizeLimit, kFileSizeLimit};
                             if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                                 return std::string("setrlimit: ") + std::strerror(errno);
                             return body(dir);
                         }));
    return results;
}

// What went wrong on the tiny file systems tried: each one's report under
// its name; empty when all went well and at least one could be tried.
inline std::string tinyFileSystemFailures(const std::vector<std::pair<std::string, ChildResult>>& results)
{
    std::string failures;
    int tried = 0;
    for (const auto& [name, r] : results) {
        tried += r.skipped ? 0 : 1;
        if (!r.report.empty())
            failures += name + ": " + r.report + "\n";
    }
    return tried == 0 ? "no tiny file system could be had" : failures;
}

} // namespace kyd::test
