// kydsim: the dispenser simulator on a pseudo-terminal.
//
// Prints the device path on the first line of standard output and answers
// the dispenser protocol on it until SIGINT or SIGTERM.

#include "platform/pty.h"
#include "platform/safe_file.h"
#include "sim/boot_main.h"
#include "sim/cli_option.h"
#include "sim/pty_run.h"
#include "sim/pty_transport.h"
#include "sim/simulator.h"

#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

using namespace kyd;

namespace {

const char* const kUsage = R"(Usage: kydsim [options]

Starts the simulated dispenser on a pseudo-terminal, prints the device path
and runs until interrupted (Ctrl+C, SIGTERM).

  --link PATH            also make PATH a symlink to the device (PATH must be
                         free or such a link; only that link is removed at exit)
  --com N --ini FILE     register the device as COMn in section
                         [SerialDevices] of the tool's ini file
                         (FILE defaults to $KYD_INI)
  --feeders N|LIST       note feeders fitted: 1..N (0..8, default 4), or a
                         comma list such as 1,2,5
  --empty-cassette LIST  these cassettes start empty (comma list of 1..8)
  --jam-exit-sensor LIST the exit sensor of these feeders is stuck: their
                         dispenses fail with 'J', the status check and the
                         self-test data show it
  --reject-vault LEVEL   the reject vault starts almost-full, full, or
                         holding the given number of notes (almost full
                         from 250, full at 300: dispenses refused with 'Q')
  --throat-checks N      check-throat commands answered 'M' before the notes
                         are taken (default 2)
  --take-notes-ms MS     the notes are taken MS milliseconds after they were
                         presented, checked or not (instead of --throat-checks)
  --reject-every N       reject every N-th note fed (default 0: none)
  --short-program-id     answer "A" with the short program id form
  --pace [BAUD[:BITS]]   pace the line at BAUD with BITS per character (10 or
                         11); without BAUD at the rate the line is set to
  --log-frames           log every frame received and sent on standard error
  --bootloader[=BAUD]    start in the CMC's bootstrap loader and stay there
                         (kydsim --bootloader --help lists its options)

The CMC enters its bootstrap loader when a zero byte arrives while the line
is set to 8N1 at six times the rate the dispenser was last spoken to at
(9600 before), and runs the dispenser again once the line is set to
anything else; the program id then is the one of the firmware flashed (the
eight characters after "KYD-PID:" in the CMC's flash). The loader takes the
flash, node and fault options of kydsim --bootloader --help; its --silent
and --delay-ms are given as --boot-silent and --boot-delay-ms here.

Faults (a COUNT of -1 or none means always, N the next N replies):
  --silent[=COUNT]       do not answer
  --delay-ms MS          wait MS milliseconds before every reply
  --late-ms MS[:COUNT]   answer COUNT replies (default all) MS milliseconds
                         late, after the tester has given up on them
  --bad-checksum[=COUNT] corrupt the reply checksum
  --bare-cr[=COUNT]      send a bare carriage return instead of the reply
  --hang-up[=COUNT]      hang the line up half-way through the reply
  --fragment N[:GAP]     send replies in pieces of N bytes, GAP ms apart (default 20)
  --noise TEXT           send TEXT before every reply
  --notes-left[=COUNT]   the operator leaves the next bundles in the throat:
                         check throat answers 'M' until they are retracted
  --status P:N:C[:always]
                         answer status C (without running the command) to the
                         N-th command matching pattern P ('*' and '?' wildcards);
                         with :always also to every later match
  --cts-low, --cts-delay-ms MS
                         accepted for completeness: modem-line faults reach only
                         a tester running in the same process as the simulator
)";


constexpr sim::CliHelp kHelp{"kydsim --help"};

constexpr sim::CountOption<sim::SimFaults> kFaultCounts[] = {
    {"--silent", &sim::SimFaults::silent},
    {"--bad-checksum", &sim::SimFaults::badChecksum},
    {"--bare-cr", &sim::SimFaults::bareCr},
    {"--hang-up", &sim::SimFaults::hangUp},
};

[[noreturn]] void usageError(const std::string& text)
{
    sim::cliUsageError(text, kHelp);
}

int toInt(const std::string& text, const std::string& option, int min, int max)
{
    return static_cast<int>(sim::cliNumber(text, option, 10, min, max, kHelp));
}

// "3" or "1,2,5": feeder positions 1..8.
std::vector<int> positions(const std::string& text, const std::string& option)
{
    std::vector<int> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        out.push_back(toInt(item, option, 1, 8));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return out;
}

std::string printable(const std::string& s)
{
    std::string out;
    for (char c : s) {
        auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F) {
            out += c;
        } else if (c == '\r') {
            out += "\\r";
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", u);
            out += buf;
        }
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    // Before any thread starts, so that only sigwait() below sees them.
    platform::blockTerminationSignals();
    // A file-size limit makes writes fail with an error, never kills us.
    platform::ignoreFileSizeSignal();

    sim::SimConfig config;
    sim::SimFaults faults;
    sim::PtyRunOptions run;
    sim::BootConfig bootConfig;
    sim::BootFaults bootFaults;
    bool modemFaults = false;

    std::vector<std::string> args(argv + 1, argv + argc);
    if (sim::isBootloaderRun(args))
        return sim::bootloaderMain(args);
    for (std::size_t i = 0; i < args.size(); ++i) {
        sim::CliOption option(args, i);
        const std::string& opt = option.name;
        const std::optional<std::string>& inlineValue = option.inlineValue;
        auto value = [&] { return sim::cliValue(option, kHelp); };
        auto count = [&]() { return inlineValue ? toInt(*inlineValue, opt, -1, 1000000) : -1; };

        if (opt == "--help" || opt == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (sim::parseRunOption(option, run, kHelp) ||
                   sim::parseCountOption(opt, inlineValue, kFaultCounts, faults, kHelp)) {
        } else if (opt == "--feeders") {
            const std::string v = value();
            if (v.find(',') == std::string::npos) {
                config.feeders = toInt(v, opt, 0, 8);
                config.fittedFeeders.clear();
            } else {
                config.fittedFeeders = positions(v, opt);
            }
        } else if (opt == "--empty-cassette") {
            for (int pos : positions(value(), opt))
                config.emptyCassettes.push_back(pos);
        } else if (opt == "--jam-exit-sensor") {
            for (int pos : positions(value(), opt))
                config.jammedExitSensors.push_back(pos);
        } else if (opt == "--reject-vault") {
            const std::string v = value();
            if (v == "almost-full")
                config.rejectVaultNotes = config.rejectVaultAlmostFull;
            else if (v == "full")
                config.rejectVaultNotes = config.rejectVaultCapacity;
            else
                config.rejectVaultNotes = toInt(v, opt, 0, 1000000);
        } else if (opt == "--throat-checks") {
            config.throatChecksToRemove = toInt(value(), opt, 0, 1000000);
        } else if (opt == "--take-notes-ms") {
            config.takeNotesAfterMs = toInt(value(), opt, 0, 86400000);
        } else if (opt == "--notes-left") {
            config.notesLeftInThroat = count();
        } else if (opt == "--reject-every") {
            config.rejectEvery = toInt(value(), opt, 0, 1000000);
        } else if (opt == "--short-program-id") {
            config.longProgramId = false;
        } else if (opt == "--delay-ms") {
            faults.delayMs = toInt(value(), opt, 0, 600000);
        } else if (opt == "--late-ms") {
            const sim::ColonPair v = sim::splitAtColon(value());
            faults.lateMs = toInt(v.head, opt, 1, 600000);
            faults.late = v.tail ? toInt(*v.tail, opt, -1, 1000000) : -1;
        } else if (opt == "--fragment") {
            const sim::ColonPair v = sim::splitAtColon(value());
            faults.fragmentBytes = toInt(v.head, opt, 1, 1000);
            faults.fragmentGapMs = v.tail ? toInt(*v.tail, opt, 0, 600000) : 20;
        } else if (opt == "--noise") {
            faults.noise = value();
            if (faults.noise.find('\r') != std::string::npos)
                usageError("--noise must not contain a carriage return");
        } else if (opt == "--status") {
            sim::ScriptedStatus s;
            if (!sim::parseScriptedStatus(value(), s))
                usageError("--status wants PATTERN:N:C or PATTERN:N:C:always");
            faults.scripted.push_back(s);
        } else if (opt == "--cts-low") {
            faults.ctsLow = true;
            modemFaults = true;
        } else if (opt == "--cts-delay-ms") {
            faults.ctsDelayMs = toInt(value(), opt, 0, 600000);
            modemFaults = true;
        } else if (sim::parseBootOption(option, bootConfig, bootFaults)) {
        } else {
            usageError("unknown option " + opt);
        }
    }
    sim::finishRunOptions(run, kHelp);

    sim::Simulator simulator(config, bootConfig);
    simulator.setFaults(faults);
    simulator.setPacing(run.pacing);
    simulator.boot().withCore([&](sim::BootCore& c) { c.faults() = bootFaults; });
    simulator.boot().setPacing(run.pacing);
    std::mutex logMutex;
    if (run.logFrames) {
        sim::logBootTo(simulator.boot(), logMutex);
        simulator.setFrameLogger([&logMutex](bool incoming, const std::string& text) {
            std::lock_guard lock(logMutex);
            std::cerr << (incoming ? "In : " : "Out: ") << printable(text) << std::endl;
        });
    }

    return sim::serveOnPty<sim::PtyTransport>(simulator, run, [&](const sim::OpenedPty& pty) {
        std::cerr << "kydsim: dispenser simulator on " << pty.device;
        if (pty.device != pty.slave)
            std::cerr << " (" << pty.slave << ")";
        if (run.com != 0)
            std::cerr << ", registered as COM" << run.com << " in " << run.iniPath;
        std::cerr << "\n";
        if (modemFaults)
            std::cerr << "kydsim: note: --cts-low/--cts-delay-ms only reach a tester in the same process; "
                         "a separate tester ignores them\n";
    });
}
