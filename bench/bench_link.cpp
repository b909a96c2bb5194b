// The dispenser link end to end: TPLVRCmdF::SendCommand through TCom and the
// serial library's port component to the simulator on a pseudo-terminal,
// exchanging "3" -> "030" (the simulator answers every "3" with status '0').
//
//  (a) line efficiency: the simulator paces its line at 9600 baud with 11
//      bits per character; total time divided by the line time of the bytes
//      exchanged (goal <= 1.05);
//  (b) software overhead, unpaced: exchanges per second of the link against
//      a minimal loop (write, wait, read on the same pseudo-terminal with the
//      same framing; goal: the link at least a third of it) and against a
//      pyserial client (goal: the link faster, aim twice), in alternating
//      rounds (medians);
//  (c) waiting cost: CPU time used by the process while the link waits 2 s
//      for a delayed reply (goal < 2 % of one core).
// Prints each ratio on its own line, the line-efficiency ratio last.
// Usage: bench_link [--exchanges N] [--unpaced N] [--rounds R] [--python PATH] [--qt]
// --qt runs the link on the program's Qt event loop instead of the plain one.
#include "link/AppContext.h"
#include "link/PLVRCmd.h"
#include "link/PLVRCom.h"
#include "link/Protokoll.h"
#include "link/SioLinkPort.h"
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
#include <vector>

namespace pf = kyd::platform;
namespace kl = kyd::link;
namespace sim = kyd::sim;
using SteadyClock = std::chrono::steady_clock;

namespace {

constexpr int kCom = 47;
constexpr int kWarmUp = 100;
constexpr int kBytesPerExchange = 8; // "333\r" and "030\r"

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

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
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
    bool Exchange()
    {
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

// write / poll / read on the same device with the same framing.
double MinimalSeconds(const std::string& path, int count)
{
    return kyd::bench::MinimalLoopSeconds(path, "333\r", "030\r", count, kWarmUp);
}

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

} // namespace

int main(int argc, char** argv)
{
    int exchanges = 1000;
    int unpaced = 2000;
    int rounds = 5;
    std::string python = (std::filesystem::path(__FILE__).parent_path() / "pyserial_client.py").string();
    bool qt = false;
    for (int i = 1; i < argc; ++i)
        qt = qt || !std::strcmp(argv[i], "--qt");
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "--exchanges"))
            exchanges = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--unpaced"))
            unpaced = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--rounds"))
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--python"))
            python = argv[++i];
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
    std::printf("message loop: %s\n", qt ? "Qt" : "plain");
    pf::setPortResolverUsesSharedIni(false);
    sim::Simulator simulator;
    simulator.updateFaults([](sim::SimFaults& f) {
        sim::ScriptedStatus s;
        s.pattern = "3";
        s.status = '0';
        s.always = true;
        f.scripted.push_back(s);
    });
    sim::PtyTransport transport(simulator);
    const std::string path = transport.slavePath();
    pf::setPortPathOverride(kCom, path);

    int rc = 0;
    {
        Link l;

        // (b) unpaced, in alternating rounds: link, minimal loop, pyserial.
        std::vector<double> linkRates, minimalRates, pythonRates;
        for (int r = 0; r < rounds; ++r) {
            if (!l.Open()) {
                std::fprintf(stderr, "bench_link: cannot open the simulator's port\n");
                return 1;
            }
            const double s = l.Run(unpaced);
            l.Close();
            const double m = MinimalSeconds(path, unpaced);
            if (s <= 0 || m <= 0) {
                std::fprintf(stderr, "bench_link: an exchange failed (link %g s, minimal %g s)\n", s, m);
                return 1;
            }
            linkRates.push_back(unpaced / s);
            minimalRates.push_back(unpaced / m);
            if (const double p = PythonRate(python, path, unpaced); p > 0)
                pythonRates.push_back(p);
        }
        const double linkRate = Median(linkRates);
        const double minimalRate = Median(minimalRates);
        const double pythonRate = pythonRates.empty() ? -1 : Median(pythonRates);
        std::printf("unpaced exchanges/s: link %.0f, minimal loop %.0f", linkRate, minimalRate);
        if (pythonRate > 0)
            std::printf(", pyserial %.0f", pythonRate);
        std::printf("\n");

        // (c) waiting cost.
        if (!l.Open())
            return 1;
        simulator.updateFaults([](sim::SimFaults& f) { f.delayMs = 2000; });
        const double cpu0 = CpuSeconds();
        const auto t0 = SteadyClock::now();
        const bool waitedOk = l.Exchange();
        const double waited = Seconds(t0);
        const double cpu = CpuSeconds() - cpu0;
        simulator.updateFaults([](sim::SimFaults& f) { f.delayMs = 0; });
        if (!waitedOk) {
            std::fprintf(stderr, "bench_link: the delayed exchange failed\n");
            rc = 1;
        }
        std::printf("waiting: %.3f s CPU over %.3f s\n", cpu, waited);

        // (a) line efficiency at 9600 baud, 11 bits per character.
        simulator.setPacing(sim::LinePacing{9600, 11});
        const double paced = l.Run(exchanges, 10);
        simulator.setPacing(sim::LinePacing{});
        const double lineTime = static_cast<double>(exchanges) * kBytesPerExchange * 11 / 9600.0;
        if (paced <= 0) {
            std::fprintf(stderr, "bench_link: a paced exchange failed\n");
            return 1;
        }
        std::printf("paced: %d exchanges in %.3f s, line time %.3f s\n", exchanges, paced, lineTime);

        l.Close();

        std::printf("link/minimal exchange rate ratio (goal >= 0.333): %.3f\n", linkRate / minimalRate);
        if (pythonRate > 0)
            std::printf("link/pyserial exchange rate ratio (goal > 1, aim 2): %.3f\n", linkRate / pythonRate);
        else
            std::printf("link/pyserial exchange rate ratio: pyserial client failed (%s)\n", python.c_str());
        std::printf("waiting CPU share of one core (goal < 0.02): %.4f\n", cpu / waited);
        std::printf("line efficiency total/line time (goal <= 1.05): %.4f\n", paced / lineTime);
    }
    loop.processPending();
    transport.stop();
    pf::clearPortPathOverrides();
    pf::setMessageLoop(nullptr);
    return rc;
}
