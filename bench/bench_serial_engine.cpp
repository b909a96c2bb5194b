// Serial engine figures on a pseudo-terminal:
//   idle   - CPU time of the process with a port open and no traffic, as a
//            percentage of one core (goal: under 1 %);
//   input  - bytes per second moved from the device through the I/O queue
//            into the dispatch buffer and taken out by a handler, against a
//            minimal poll/read loop on the same kind of pty (goal: 50 MB/s).
// Input runs alternate with the plain loop over several rounds; prints the
// ratio engine/plain loop and the engine's MB/s against the goal as median
// (min, max, rounds), the engine's MB/s last. Exits with 1 when the engine
// did not deliver every byte (nothing measured).
// Usage: bench_serial_engine [--seconds N] [--megabytes M] [--rounds R]
#include "bench_stats.h"
#include "platform/message_loop.h"
#include "platform/plain_message_loop.h"
#include "serial/SioPosix.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <string>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;

struct Pty {
    int master = -1;
    std::string slave;
    Pty()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || ::grantpt(master) || ::unlockpt(master))
            std::exit(2);
        char name[128];
        ::ptsname_r(master, name, sizeof name);
        slave = name;
        termios t {};
        ::tcgetattr(master, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(master, TCSANOW, &t);
    }
    ~Pty() { ::close(master); }
};

double cpuSeconds()
{
    rusage u {};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

// Writes `total` bytes to the master from a thread of its own.
std::thread feeder(int fd, std::size_t total)
{
    return std::thread([fd, total] {
        std::vector<std::uint8_t> block(4096);
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<std::uint8_t>(i * 7);
        std::size_t sent = 0;
        while (sent < total) {
            const std::size_t n = std::min(block.size(), total - sent);
            const ssize_t w = ::write(fd, block.data(), n);
            if (w > 0)
                sent += static_cast<std::size_t>(w);
            else if (w < 0 && errno != EINTR && errno != EAGAIN)
                return;
        }
    });
}

double baselineMBs(std::size_t total)
{
    Pty pty;
    const int fd = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios t {};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    const auto start = Steady::now();
    std::thread w = feeder(pty.master, total);
    std::size_t got = 0;
    std::vector<std::uint8_t> buf(4096);
    while (got < total) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            break;
        const ssize_t r = ::read(fd, buf.data(), buf.size());
        if (r > 0)
            got += static_cast<std::size_t>(r);
    }
    const double s = std::chrono::duration<double>(Steady::now() - start).count();
    w.join();
    ::close(fd);
    return got < total ? -1 : got / s / 1e6;
}

double engineMBs(std::size_t total)
{
    Pty pty;
    sio::TSioPosixDispatcher d;
    if (d.InitPort(pty.slave, 115200, sio::Parity::None, 8, 1, 4096, 4096, 3) != 0) {
        std::fprintf(stderr, "open failed\n");
        std::exit(2);
    }
    std::mutex m;
    std::condition_variable allIn;
    std::size_t got = 0;
    std::vector<std::uint8_t> buf(sio::kDispatchBufferSize);
    d.ChangeLengthTrigger(1);
    d.RegisterEventTriggerHandler(&got, [&](std::uint32_t msg, std::uint32_t n, std::int32_t) {
        if (msg == sio::kMsgTriggerAvail && d.GetBlock(buf.data(), n) == static_cast<int>(n)) {
            std::lock_guard lock(m);
            got += n;
            if (got >= total)
                allIn.notify_all();
        }
    });
    const auto start = Steady::now();
    std::thread w = feeder(pty.master, total);
    std::size_t moved;
    {
        std::unique_lock lock(m);
        allIn.wait_for(lock, std::chrono::seconds(60), [&] { return got >= total; });
        moved = got;
    }
    const double s = std::chrono::duration<double>(Steady::now() - start).count();
    w.join();
    d.DonePort();
    return moved < total ? -1 : moved / s / 1e6;
}

double idlePercent(double seconds)
{
    Pty pty;
    sio::TSioPosixDispatcher d;
    if (d.InitPort(pty.slave, 9600, sio::Parity::Even, 7, 1, 4096, 4096, 3) != 0)
        std::exit(2);
    const double c0 = cpuSeconds();
    const auto t0 = Steady::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double wall = std::chrono::duration<double>(Steady::now() - t0).count();
    const double cpu = cpuSeconds() - c0;
    d.DonePort();
    return cpu / wall * 100.0;
}

} // namespace

int main(int argc, char** argv)
{
    double seconds = 10;
    std::size_t megabytes = 64;
    int rounds = 5;
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds"))
            seconds = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--rounds"))
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--megabytes"))
            megabytes = static_cast<std::size_t>(std::atol(argv[++i]));
    }
    kyd::platform::PlainMessageLoop loop;
    kyd::platform::setMessageLoop(&loop);

    const std::size_t total = megabytes * 1000 * 1000;
    kyd::bench::Spread ratio, engineVsGoal;
    for (int r = 0; r < rounds; ++r) {
        double base, engine;
        if (r % 2) {
            engine = engineMBs(total);
            base = baselineMBs(total);
        } else {
            base = baselineMBs(total);
            engine = engineMBs(total);
        }
        if (engine <= 0 || base <= 0) {
            std::fprintf(stderr, "bench_serial_engine: round %d moved too little; nothing measured\n", r + 1);
            return 1;
        }
        ratio.add(engine / base);
        engineVsGoal.add(engine / 50.0);
    }
    const double idle = idlePercent(seconds);
    std::printf("idle cost over %.1f s: %.3f %% of one core (goal < 1 %%)\n", seconds, idle);
    kyd::bench::PrintRatio("input throughput engine/plain read loop", ratio);
    kyd::bench::PrintRatio("input throughput engine MB/s / goal of 50 MB/s", engineVsGoal);
    kyd::platform::setMessageLoop(nullptr);
    return 0;
}
