// The dispenser link end to end: TPLVRCmdF::SendCommand through TCom and the
// serial library's port component to the simulator on a pseudo-terminal,
// exchanging "3" -> "030" (the simulator answers every "3" with status '0').
// Every round of every client gets a fresh pseudo-terminal, and the order
// of the clients alternates from round to round.
//
//  (a) paced: the simulator behaves like a UART at 9600 baud, 7E1 (10 bits
//      per character): a command is taken when its last character would have
//      arrived, reply character k is readable (k + 1) character times after
//      the reply starts. The link and a minimal loop (write, wait, read on
//      the device) each take their time over the line time of the bytes
//      exchanged (goal: link <= 1.05), and the link over the minimal loop
//      (goal <= 1.02). Any dawdling of a client between exchanges shows in
//      full: --client-delay-us 1000 makes the link about 1.12.
//  (b) unpaced, exchanges per second: the link over the minimal loop (goal
//      >= 0.85) and over a pyserial client (goal >= 1.25).
//  (c) waiting cost: CPU time used while the link waits 2 s for a delayed
//      reply (goal < 2 % of one core).
// Prints every ratio as median (min, max, rounds), the paced link/line time
// ratio last; exits with 1 when a round of any client fails.
// Usage: bench_link [--exchanges N] [--unpaced N] [--rounds R] [--python PATH]
//                   [--client-delay-us US] [--no-python] [--qt]
// --qt runs the link on the program's Qt event loop instead of the plain one.
#include "link/AppContext.h"
#include "link/PLVRCmd.h"
#include "link/PLVRCom.h"
#include "link/Protokoll.h"
#include "link/SioLinkPort.h"
#include "bench_stats.h"
#include "minimal_loop.h"
#include "platform/dialogs.h"
#include "platform/plain_message_loop.h"
#include "platform/port_resolver.h"
#include "platform/process.h"
#include "platform/serial_device.h"
#include "sim/pty_transport.h"
#include "sim/simulator.h"

#ifdef KYD_BENCH_QT
#include "platform/qt/qt_message_loop.h"

#include <QCoreApplication>
#endif

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace pf = kyd::platform;
namespace kl = kyd::link;
namespace sim = kyd::sim;
using SteadyClock = std::chrono::steady_clock;
using kyd::bench::Spread;

namespace {

constexpr int kCom = 47;
constexpr int kWarmUp = 100;
constexpr int kBytesPerExchange = 8; // "333\r" and "030\r"
constexpr int kBaud = 9600;
constexpr int kBitsPerChar = 10; // 7E1: start, 7 data, parity, stop

double Seconds(SteadyClock::time_point t0)
{
    return std::chrono::duration<double>(SteadyClock::now() - t0).count();
}

double CpuSeconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The command layer on its own port, as the tester builds it.
struct Link {
    pf::FakeDialogs dialogs;
    kl::FakeMainWindow mainWindow;
    kl::FakeComStrings comStrings;
    kl::FakeOptions options;
    kl::Protokoll model;
    kl::AppContext ctx;
    std::unique_ptr<kl::TCom> com;
    std::unique_ptr<kl::TPLVRCmdF> cmd;

    Link()
    {
        pf::setDialogs(&dialogs);
        com = std::make_unique<kl::TCom>(std::make_unique<kl::SioLinkPort>());
        ctx.MainWindow = &mainWindow;
        ctx.ComStrings = &comStrings;
        ctx.Options = &options;
        ctx.Com = com.get();
        cmd = std::make_unique<kl::TPLVRCmdF>(&model, &ctx);
        options.settings.Handshake = false;
    }
    ~Link()
    {
        cmd.reset();
        com.reset();
        pf::setDialogs(nullptr);
    }
    bool Open() { return com->Open(kCom, 9600, kl::TParity::pEven, 7, 1, false) == kCom; }
    void Close()
    {
        com->Port().Close();
        // A close that met a notice on its way to this thread finishes once
        // the library's threads have ended; the device is free only then.
        auto& port = static_cast<kl::SioLinkPort&>(com->Port()).Port();
        pf::messageLoop().pumpUntil([&port] { return port.GetPortState() == sio::psClosed; }, 2000);
    }
    std::chrono::microseconds clientDelay{0}; // dawdling after each exchange
    bool Exchange()
    {
        if (clientDelay.count() > 0)
            std::this_thread::sleep_for(clientDelay);
        comStrings.Lines.clear(); // the window keeps its own 100 lines
        mainWindow.BusyCalls.clear();
        mainWindow.StatusTexts.clear();
        cmd->SendCommand("3", 5);
        return cmd->Reply == "0" && model.StatusClass == 195;
    }
    // Seconds for count exchanges after a warm-up; negative on a failure.
    double Run(int count, int warmUp = kWarmUp)
    {
        for (int i = 0; i < warmUp; ++i)
            if (!Exchange())
                return -1;
        const auto t0 = SteadyClock::now();
        for (int i = 0; i < count; ++i)
            if (!Exchange())
                return -1;
        return Seconds(t0);
    }
};

// Exchanges per second of the pyserial client; negative on a failure.
double PythonRate(const std::string& script, const std::string& path, int count)
{
    const std::string out =
        (std::filesystem::temp_directory_path() / ("kyd_bench_py_" + std::to_string(::getpid()))).string();
    std::filesystem::remove(out);
    if (pf::runAndWait("/usr/bin/python3", {script, path, std::to_string(count), out}) != 0)
        return -1;
    std::ifstream in(out);
    double rate = -1;
    in >> rate;
    std::filesystem::remove(out);
    return rate;
}

[[noreturn]] void Fail(const char* what, int round)
{
    std::fprintf(stderr, "bench_link: %s failed in round %d; nothing measured\n", what, round + 1);
    std::fflush(stdout);
    std::exit(1);
}

} // namespace

int main(int argc, char** argv)
{
    int exchanges = 300;
    int unpaced = 2000;
    int rounds = 5;
    long clientDelayUs = 0;
    bool withPython = true;
    std::string python = KYD_BENCH_DIR "/pyserial_client.py";
    bool qt = false;
    for (int i = 1; i < argc; ++i) {
        qt = qt || !std::strcmp(argv[i], "--qt");
        withPython = withPython && std::strcmp(argv[i], "--no-python") != 0;
    }
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "--exchanges"))
            exchanges = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--unpaced"))
            unpaced = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--rounds"))
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--python"))
            python = argv[++i];
        else if (!std::strcmp(argv[i], "--client-delay-us"))
            clientDelayUs = std::max(0L, std::atol(argv[++i]));
    }

#ifdef KYD_BENCH_QT
    std::unique_ptr<QCoreApplication> app; // outlives the loop
#endif
    std::unique_ptr<pf::MessageLoop> loopOwner;
#ifdef KYD_BENCH_QT
    if (qt) {
        app = std::make_unique<QCoreApplication>(argc, argv);
        loopOwner = std::make_unique<pf::QtMessageLoop>();
    }
#else
    if (qt) {
        std::fprintf(stderr, "bench_link: built without Qt\n");
        return 2;
    }
#endif
    if (!loopOwner)
        loopOwner = std::make_unique<pf::PlainMessageLoop>();
    pf::MessageLoop& loop = *loopOwner;
    pf::setMessageLoop(&loop);
    std::printf("message loop: %s; client delay %ld us per link exchange\n", qt ? "Qt" : "plain", clientDelayUs);
    pf::setPortResolverUsesSharedIni(false);
    sim::Simulator simulator;
    simulator.updateFaults([](sim::SimFaults& f) {
        sim::ScriptedStatus s;
        s.pattern = "3";
        s.status = '0';
        s.always = true;
        f.scripted.push_back(s);
    });

    int rc = 0;
    {
        Link l;
        l.clientDelay = std::chrono::microseconds(clientDelayUs);
        // One round of one client on a pseudo-terminal of its own.
        enum class Client { Link, Minimal, Python };
        const auto runOn = [&](Client c, int count, int warmUp) -> double {
            sim::PtyTransport transport(simulator);
            const std::string path = transport.slavePath();
            double seconds = -1;
            if (c == Client::Link) {
                pf::setPortPathOverride(kCom, path);
                if (l.Open()) {
                    seconds = l.Run(count, warmUp);
                    l.Close();
                }
            } else if (c == Client::Minimal) {
                seconds = kyd::bench::MinimalLoopSeconds(path, "333\r", "030\r", count, warmUp);
            } else {
                const double rate = PythonRate(python, path, count);
                seconds = rate > 0 ? count / rate : -1;
            }
            transport.stop();
            return seconds;
        };
        const char* names[] = {"the link", "the minimal loop", "the pyserial client"};

        // (a) paced, link and minimal loop in alternating order.
        const double lineTime = static_cast<double>(exchanges) * kBytesPerExchange * kBitsPerChar / kBaud;
        simulator.setPacing(sim::LinePacing{kBaud, kBitsPerChar});
        Spread pacedLink, pacedMinimal;
        for (int r = 0; r < rounds; ++r) {
            const Client order[2] = {r % 2 ? Client::Minimal : Client::Link, r % 2 ? Client::Link : Client::Minimal};
            for (Client c : order) {
                const double s = runOn(c, exchanges, 10);
                if (s <= 0)
                    Fail(names[static_cast<int>(c)], r);
                (c == Client::Link ? pacedLink : pacedMinimal).add(s / lineTime);
            }
        }
        simulator.setPacing(sim::LinePacing{});
        std::printf("paced %d baud 7E1, %d exchanges per round, line time %.3f s\n", kBaud, exchanges, lineTime);

        // (b) unpaced, rounds alternating the order of the clients.
        Spread linkRates, minimalRates, pythonRates;
        std::vector<Client> clients = {Client::Link, Client::Minimal};
        if (withPython)
            clients.push_back(Client::Python);
        for (int r = 0; r < rounds; ++r) {
            for (std::size_t i = 0; i < clients.size(); ++i) {
                const Client c = clients[r % 2 ? clients.size() - 1 - i : i];
                const double s = runOn(c, unpaced, kWarmUp);
                if (s <= 0)
                    Fail(names[static_cast<int>(c)], r);
                (c == Client::Link ? linkRates : c == Client::Minimal ? minimalRates : pythonRates).add(unpaced / s);
            }
        }
        std::printf("unpaced exchanges/s (median): link %.0f, minimal loop %.0f", linkRates.median(),
                    minimalRates.median());
        if (!pythonRates.empty())
            std::printf(", pyserial %.0f", pythonRates.median());
        std::printf("\n");

        // (c) waiting cost.
        {
            sim::PtyTransport transport(simulator);
            pf::setPortPathOverride(kCom, transport.slavePath());
            if (!l.Open())
                Fail("opening the link", 0);
            simulator.updateFaults([](sim::SimFaults& f) { f.delayMs = 2000; });
            const double cpu0 = CpuSeconds();
            const auto t0 = SteadyClock::now();
            const bool waitedOk = l.Exchange();
            const double waited = Seconds(t0);
            const double cpu = CpuSeconds() - cpu0;
            simulator.updateFaults([](sim::SimFaults& f) { f.delayMs = 0; });
            l.Close();
            transport.stop();
            if (!waitedOk)
                Fail("the delayed exchange", 0);
            std::printf("waiting CPU share of one core (goal < 0.02): %.4f (%.3f s CPU over %.3f s)\n", cpu / waited,
                        cpu, waited);
        }

        kyd::bench::PrintRatio("unpaced link/minimal exchange rate (goal >= 0.85)",
                               kyd::bench::Quotient(linkRates, minimalRates));
        if (withPython)
            kyd::bench::PrintRatio("unpaced link/pyserial exchange rate (goal >= 1.25)",
                                   kyd::bench::Quotient(linkRates, pythonRates));
        kyd::bench::PrintRatio("paced minimal loop/line time", pacedMinimal);
        kyd::bench::PrintRatio("paced link/minimal loop time (goal <= 1.02)",
                               kyd::bench::Quotient(pacedLink, pacedMinimal));
        kyd::bench::PrintRatio("paced link/line time (goal <= 1.05)", pacedLink);
    }
    loop.processPending();
    pf::clearPortPathOverrides();
    pf::setMessageLoop(nullptr);
    return rc;
}
