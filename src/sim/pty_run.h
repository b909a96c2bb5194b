// What both of kydsim's modes (the dispenser, the bootstrap loader) do
// alike: the options for where the device appears and how the line runs, and
// the run itself — open the pseudo-terminal, register it, print its path,
// serve until SIGINT or SIGTERM, close and unregister.
#pragma once

#include "sim/cli_option.h"
#include "sim/pacing.h"

#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace kyd::sim {

class BootSimulator;

struct PtyRunOptions {
    std::string linkPath;
    std::string iniPath;
    int com = 0;
    bool logFrames = false;
    LinePacing pacing;
};

// The two modes name different help commands in their usage errors, since
// each mode lists its own options.
struct CliHelp {
    const char* command; // "kydsim --help"
};

// Reports a bad command line with the way to the help and exits with 2.
[[noreturn]] void cliUsageError(const std::string& text, CliHelp help);
// The option's value as a number in [min, max]; a usage error otherwise.
long cliNumber(const std::string& text, const std::string& option, int base, long min, long max, CliHelp help);
// The option's value; a usage error when it has none.
std::string cliValue(CliOption& option, CliHelp help);

// A fault counter's option, "--NAME[=COUNT]": COUNT (-1 .. 1000000), or
// -1 (always) without one, stored in the member.
template <class Faults>
struct CountOption {
    const char* name;
    int Faults::*member;
};
// Takes the option when the table names it; false otherwise.
template <class Faults, std::size_t N>
bool parseCountOption(const std::string& name, const std::optional<std::string>& inlineValue,
                      const CountOption<Faults> (&table)[N], Faults& faults, CliHelp help)
{
    for (const CountOption<Faults>& c : table) {
        if (name == c.name) {
            faults.*c.member =
                inlineValue ? static_cast<int>(cliNumber(*inlineValue, name, 10, -1, 1000000, help)) : -1;
            return true;
        }
    }
    return false;
}

// Takes --link, --com, --ini, --pace and --log-frames ("--pace BAUD[:BITS]",
// or "--pace" alone: pace at the line's own rate); false when the option is
// none of them.
bool parseRunOption(CliOption& option, PtyRunOptions& run, CliHelp help);
// After the whole command line: --com's ini file settled (a usage error when
// there is none).
void finishRunOptions(PtyRunOptions& run, CliHelp help);

// With --log-frames, the loader's log on standard error, each line behind
// "boot: " and under logMutex (shared with the dispenser's frame log).
void logBootTo(BootSimulator& boot, std::mutex& logMutex);

// The device opened: its paths, and how to close it again.
struct OpenedPty {
    std::string device; // the link when there is one, else the slave path
    std::string slave;
    std::function<void()> close;
};
// Says why the pseudo-terminal could not be opened (a --link refused, or
// another failure) on standard error.
void reportPtyOpenFailure(std::exception_ptr error, const std::string& linkPath);
// The banner stays each mode's own: the dispenser names its slave path,
// its COM registration and the modem-line faults it cannot pass on, the
// loader the line rate it expects.
using Announce = std::function<void(const OpenedPty&)>;
// Registers the device (with --com), prints its path on standard output,
// calls announce for the banner on standard error, waits for SIGINT or
// SIGTERM, closes the device and unregisters it; returns the exit code.
// Termination signals must already be blocked.
int servePty(const PtyRunOptions& run, const OpenedPty& pty, const Announce& announce);

// Opens Transport(sim, linkPath) and serves it as servePty does.
template <class Transport, class Sim>
int serveOnPty(Sim& sim, const PtyRunOptions& run, const Announce& announce)
{
    std::optional<Transport> transport;
    try {
        transport.emplace(sim, run.linkPath);
    } catch (...) {
        reportPtyOpenFailure(std::current_exception(), run.linkPath);
        return 1;
    }
    const OpenedPty pty{transport->devicePath(), transport->slavePath(), [&transport] { transport.reset(); }};
    return servePty(run, pty, announce);
}

} // namespace kyd::sim
