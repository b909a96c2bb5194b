#include "platform/end_signals.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <sys/time.h>
#include <unistd.h>

namespace kyd::platform {

namespace {

int g_pipe[2] = {-1, -1};

void OnEndSignal(int sig)
{
    const int saved = errno;
    const unsigned char n = static_cast<unsigned char>(sig);
    // A full pipe already holds a request: losing this one loses nothing.
    [[maybe_unused]] const ssize_t w = ::write(g_pipe[1], &n, 1);
    errno = saved;
}

constexpr int kSignals[] = {SIGTERM, SIGHUP};
// What each signal did before it was caught, restored on release.
struct sigaction g_before[std::size(kSignals)];
bool g_caught[std::size(kSignals)] = {};

void Catch()
{
    struct sigaction sa {};
    sa.sa_handler = &OnEndSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        if (g_caught[i])
            continue;
        struct sigaction before {};
        if (::sigaction(kSignals[i], nullptr, &before) != 0)
            continue;
        // A signal ignored by whoever started the program (nohup for
        // SIGHUP) stays ignored: it was not meant to end it.
        if (before.sa_handler == SIG_IGN)
            continue;
        if (::sigaction(kSignals[i], &sa, nullptr) == 0) {
            g_before[i] = before;
            g_caught[i] = true;
        }
    }
}

void Release()
{
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        if (g_caught[i] && ::sigaction(kSignals[i], &g_before[i], nullptr) == 0)
            g_caught[i] = false;
}

void OnEndLimit(int)
{
    ::_exit(0);
}

} // namespace

int catchEndSignals()
{
    if (g_pipe[0] < 0) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
            return -1;
        g_pipe[0] = fds[0];
        g_pipe[1] = fds[1];
    }
    Catch();
    return g_pipe[0];
}

int takeEndSignal()
{
    if (g_pipe[0] < 0)
        return 0;
    unsigned char n = 0;
    ssize_t r;
    do
        r = ::read(g_pipe[0], &n, 1);
    while (r < 0 && errno == EINTR);
    return r == 1 ? n : 0;
}

void releaseEndSignals()
{
    Release();
}

void endProcessWithin(std::chrono::milliseconds limit)
{
    struct sigaction sa {};
    sa.sa_handler = &OnEndLimit;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGALRM, &sa, nullptr);
    // At least a millisecond: a zero time would cancel the limit instead.
    const long long ms = std::max<long long>(1, limit.count());
    struct itimerval t {};
    t.it_value.tv_sec = static_cast<time_t>(ms / 1000);
    t.it_value.tv_usec = static_cast<suseconds_t>(ms % 1000 * 1000);
    ::setitimer(ITIMER_REAL, &t, nullptr);
}

} // namespace kyd::platform
