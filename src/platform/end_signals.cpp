#include "platform/end_signals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
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

void SetAction(void (*handler)(int))
{
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
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
    SetAction(&OnEndSignal);
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
    SetAction(SIG_DFL);
}

} // namespace kyd::platform
