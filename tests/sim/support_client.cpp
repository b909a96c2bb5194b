#include "support_client.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace simtest {

std::string cs(const std::string& text)
{
    unsigned char x = 0;
    for (unsigned char c : text)
        x ^= c;
    std::string r;
    r += static_cast<char>(0x30 | (x >> 4));
    r += static_cast<char>(0x30 | (x & 0x0F));
    return r;
}

std::string framed(const std::string& command)
{
    return command + cs(command) + "\r";
}

std::string unframe(const std::string& raw, bool& ok)
{
    ok = raw.size() >= 3 && raw.back() == '\r';
    if (!ok)
        return raw;
    std::string body = raw.substr(0, raw.size() - 1);
    std::string text = body.substr(0, body.size() - 2);
    ok = cs(text) == body.substr(body.size() - 2);
    return text;
}

long long nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

PtyClient::PtyClient(const std::string& path)
{
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        return;
    termios t{};
    ::tcgetattr(fd_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd_, TCSANOW, &t);
}

PtyClient::~PtyClient()
{
    close();
}

void PtyClient::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void PtyClient::write(const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EAGAIN) {
                pollfd p{fd_, POLLOUT, 0};
                ::poll(&p, 1, 100);
                continue;
            }
            throw std::runtime_error(std::string("write: ") + std::strerror(errno));
        }
        done += static_cast<std::size_t>(n);
    }
}

std::string PtyClient::readReply(int timeoutMs, bool* complete)
{
    const long long deadline = nowMs() + timeoutMs;
    for (;;) {
        auto cr = pending_.find('\r');
        if (cr != std::string::npos) {
            std::string r = pending_.substr(0, cr + 1);
            pending_.erase(0, cr + 1);
            if (complete)
                *complete = true;
            return r;
        }
        long long left = deadline - nowMs();
        if (left <= 0)
            break;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        char buf[256];
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n <= 0)
            break;
        pending_.append(buf, static_cast<std::size_t>(n));
    }
    if (complete)
        *complete = false;
    std::string r;
    r.swap(pending_);
    return r;
}

std::string PtyClient::readFor(int timeoutMs)
{
    const long long deadline = nowMs() + timeoutMs;
    std::string r;
    r.swap(pending_);
    for (;;) {
        long long left = deadline - nowMs();
        if (left <= 0)
            return r;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        char buf[256];
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n <= 0)
            return r;
        r.append(buf, static_cast<std::size_t>(n));
    }
}

bool PtyClient::waitHangUp(int timeoutMs)
{
    const long long deadline = nowMs() + timeoutMs;
    for (;;) {
        long long left = deadline - nowMs();
        if (left <= 0)
            return false;
        pollfd p{fd_, POLLIN, 0};
        int r = ::poll(&p, 1, static_cast<int>(left));
        if (r <= 0)
            continue;
        if (p.revents & (POLLHUP | POLLERR))
            return true;
        char buf[256];
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n == 0 || (n < 0 && errno == EIO))
            return true;
        if (n > 0)
            pending_.append(buf, static_cast<std::size_t>(n));
    }
}

std::string PtyClient::exchange(const std::string& command, int timeoutMs)
{
    write(framed(command));
    bool complete = false;
    std::string raw = readReply(timeoutMs, &complete);
    if (!complete)
        return {};
    bool ok = false;
    std::string text = unframe(raw, ok);
    return ok ? text : "<bad checksum: " + raw + ">";
}

Child spawn(const std::string& program, const std::vector<std::string>& args)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    Child c;
    int rc = ::posix_spawn(&c.pid, program.c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        c.pid = -1;
        return c;
    }
    c.out = fds[0];
    return c;
}

std::string readLine(Child& c, int timeoutMs)
{
    const long long deadline = nowMs() + timeoutMs;
    std::string line;
    for (;;) {
        long long left = deadline - nowMs();
        if (left <= 0)
            return line;
        pollfd p{c.out, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        char ch;
        ssize_t n = ::read(c.out, &ch, 1);
        if (n <= 0 || ch == '\n')
            return line;
        line += ch;
    }
}

int stopChild(Child& c, int signal, int timeoutMs)
{
    if (c.pid <= 0)
        return -1;
    ::kill(c.pid, signal);
    const long long deadline = nowMs() + timeoutMs;
    int status = 0;
    // The child ends within a few milliseconds; poll its state in short
    // blocking sleeps rather than hang forever on a broken child.
    while (::waitpid(c.pid, &status, WNOHANG) == 0) {
        if (nowMs() > deadline) {
            ::kill(c.pid, SIGKILL);
            ::waitpid(c.pid, &status, 0);
            c.pid = -1;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    c.pid = -1;
    if (c.out >= 0)
        ::close(c.out);
    c.out = -1;
    return status;
}

std::string selfDir()
{
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return ".";
    std::string p(buf, static_cast<std::size_t>(n));
    return p.substr(0, p.rfind('/'));
}

} // namespace simtest
