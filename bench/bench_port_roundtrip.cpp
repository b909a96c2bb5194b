// Round trip through the port component and its reply packet on a
// pseudo-terminal, against a peer thread on the master side that echoes each
// line as soon as its carriage return arrives; compared with a minimal loop
// (write, wait for input, read) on the same pseudo-terminal against the same
// peer. Both sides send the same line, wait for the same echo and check it.
// The two run interleaved for several rounds (alternating which goes first)
// so that a change of load on the machine hits both alike; the figures are
// the medians over the rounds. Prints exchanges per second for both and, as
// the last line, the median ratio of the component's time per exchange to
// the minimal loop's.
// Usage: bench_port_roundtrip [--rounds N] [--exchanges M]
#include "bench_stats.h"
#include "minimal_loop.h"
#include "platform/plain_message_loop.h"
#include "platform/port_resolver.h"
#include "platform/pty.h"
#include "platform/serial_device.h"
#include "serial/SioPacket.h"
#include "serial/SioPort.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace pf = kyd::platform;
using SteadyClock = std::chrono::steady_clock;

namespace {

constexpr int kCom = 41;
constexpr int kWarmUp = 100;
const std::string kCommand = "333\r";

// Echoes every complete line back at once.
void EchoPeer(pf::PtyMaster& pty, std::atomic<bool>& stop)
{
    std::string pending;
    char buf[4096];
    while (!stop.load()) {
        const auto w = pty.waitReadable(100);
        if (w == pf::PtyMaster::Wait::Stopped)
            return;
        if (w != pf::PtyMaster::Wait::Ready)
            continue;
        const long n = pty.readSome(buf, sizeof buf);
        if (n <= 0)
            continue;
        pending.append(buf, static_cast<std::size_t>(n));
        std::size_t cr;
        while ((cr = pending.find('\r')) != std::string::npos) {
            const std::string line = pending.substr(0, cr + 1);
            pending.erase(0, cr + 1);
            std::size_t off = 0;
            while (off < line.size()) {
                const long m = pty.writeSome(line.data() + off, line.size() - off);
                if (m > 0)
                    off += static_cast<std::size_t>(m);
                else if (pty.waitWritable(100) == pf::PtyMaster::Wait::Stopped)
                    return;
            }
        }
    }
}

double ComponentSeconds(pf::PlainMessageLoop& loop, int count, bool& ok)
{
    sio::TSioComPort port;
    port.SetAutoOpen(false);
    port.SetPromptForPort(false);
    port.SetComNumber(kCom);
    port.SetBaud(9600);
    port.SetParity(sio::pEven);
    port.SetDataBits(7);
    port.SetStopBits(1);
    port.SetRTS(false);

    sio::TSioDataPacket packet;
    packet.SetStartCond(sio::scAnyData);
    packet.SetEndCond(sio::ecString);
    packet.SetEndString("\r");
    packet.SetIncludeStrings(false);
    packet.SetAutoEnable(false);
    packet.SetTimeOut(18 * 5 + 9);
    int replies = 0;
    bool wrong = false;
    packet.SetOnStringPacket([&](sio::TSioDataPacket&, const std::string& s) {
        if (s != "333")
            wrong = true;
        ++replies;
    });
    packet.SetOnTimeout([&](sio::TSioDataPacket&) { wrong = true; });
    packet.SetComPort(&port);
    port.SetOpen(true);

    const auto exchange = [&]() -> bool {
        const int before = replies;
        port.FlushInBuffer();
        packet.SetEnabled(true);
        port.PutString(kCommand);
        return loop.pumpUntil([&] { return replies != before || wrong; }, 5000) && !wrong;
    };
    for (int i = 0; i < kWarmUp; ++i)
        if (!exchange()) {
            ok = false;
            return 0;
        }
    const auto t0 = SteadyClock::now();
    for (int i = 0; i < count; ++i)
        if (!exchange()) {
            ok = false;
            return 0;
        }
    const double s = std::chrono::duration<double>(SteadyClock::now() - t0).count();
    port.SetOpen(false);
    packet.SetComPort(nullptr);
    loop.processPending();
    return s;
}

double MinimalSeconds(const std::string& path, int count, bool& ok)
{
    const double s = kyd::bench::MinimalLoopSeconds(path, kCommand, kCommand, count, kWarmUp);
    ok = ok && s >= 0;
    return s < 0 ? 0 : s;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    int rounds = 7;
    int exchanges = 1000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "--rounds"))
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--exchanges"))
            exchanges = std::max(1, std::atoi(argv[++i]));
    }
    pf::PlainMessageLoop loop;
    pf::setMessageLoop(&loop);
    pf::setPortResolverUsesSharedIni(false);
    pf::PtyMaster pty;
    pf::setPortPathOverride(kCom, pty.slavePath());
    std::atomic<bool> stop{false};
    std::thread peer([&] { EchoPeer(pty, stop); });

    bool ok = true;
    std::vector<double> minimalUs, componentUs, ratios;
    std::printf("rounds: %d of %d exchanges of \"333\\r\" echoed by the peer\n", rounds, exchanges);
    for (int r = 0; r < rounds && ok; ++r) {
        double minimal = 0, component = 0;
        if (r % 2 == 0) {
            minimal = MinimalSeconds(pty.slavePath(), exchanges, ok);
            if (ok)
                component = ComponentSeconds(loop, exchanges, ok);
        } else {
            component = ComponentSeconds(loop, exchanges, ok);
            if (ok)
                minimal = MinimalSeconds(pty.slavePath(), exchanges, ok);
        }
        if (!ok || minimal <= 0 || component <= 0) {
            ok = false;
            break;
        }
        minimalUs.push_back(1e6 * minimal / exchanges);
        componentUs.push_back(1e6 * component / exchanges);
        ratios.push_back(component / minimal);
        std::printf("round %d: minimal %.1f us, component %.1f us, ratio %.2f\n", r + 1, minimalUs.back(),
                    componentUs.back(), ratios.back());
    }

    stop = true;
    pty.stop();
    peer.join();
    pf::clearPortPathOverrides();
    pf::setMessageLoop(nullptr);
    if (!ok) {
        std::fprintf(stderr, "bench_port_roundtrip: a round trip failed; nothing measured\n");
        return 1;
    }
    const double m = Median(minimalUs), c = Median(componentUs);
    std::printf("minimal loop (write + poll + read): %.0f exchanges/s (%.1f us each, median)\n", 1e6 / m, m);
    std::printf("port component + reply packet:     %.0f exchanges/s (%.1f us each, median)\n", 1e6 / c, c);
    kyd::bench::PrintRatio("component/minimal time per exchange (goal <= 3)", kyd::bench::Spread{ratios});
    return 0;
}
