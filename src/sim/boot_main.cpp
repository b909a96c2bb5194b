#include "sim/boot_main.h"

#include "sim/boot_transport.h"
#include "sim/cli_option.h"
#include "sim/pty_run.h"

#include <iostream>
#include <mutex>
#include <optional>

namespace kyd::sim {

namespace {

const char* const kUsage = R"(Usage: kydsim --bootloader[=BAUD] [options]

Starts the simulated bootstrap loader of the CMC on a pseudo-terminal, prints
the device path and runs until interrupted. BAUD is the rate configured in
the tool (default 9600); the tool must set the line to 8N1 at six times it.

  --link PATH            also make PATH a symlink to the device
  --com N --ini FILE     register the device as COMn in section
                         [SerialDevices] of the tool's ini file
  --pace [BAUD[:BITS]]   pace the line at BAUD with BITS per character;
                         without BAUD at the rate the line is set to
  --log-frames           log what happens on standard error
  --cpu-id HEX           CPU id byte (default C5)
  --flash-id HEX         id of the CMC's flash (default 22AB; CAxx: CAN module)
  --flash-size BYTES     size of the CMC's flash (default: the chip's, 524288
                         for a 29F400, 1048576 for a 29F800)
  --fill HEX             content of every flash at start (default 00)
  --erase-ms MS          time an erase takes
  --nodes HEX            NFC nodes fitted, bit 0 = node 1 (default 0F)
  --jumper-node          an NFC board is selected by jumper

Faults (a COUNT of -1 or none means always, N the next N occasions):
  --no-cpu-id[=COUNT]    ROM boots without the CPU id
  --no-ready[=COUNT]     command characters not answered with ready
  --corrupt-blocks[=COUNT] routine blocks answered with a resend request
  --erase-error HEX[:COUNT] erases answered with the error byte HEX
  --record-resends[=COUNT] records answered with a resend request
  --record-error HEX:N   the N-th record of a transfer answered with HEX
  --silent[=COUNT]       routine and record replies not sent
  --delay-ms MS          wait before every answer
  --spurious[=COUNT]     answers preceded by FF F7
  --absent-nodes HEX     fitted nodes that do not answer
  --keep-alive-silent[=COUNT] keep-alive polls not answered
  --hang-up-after N      hang the line up after the N-th record
)";

constexpr CliHelp kHelp{"kydsim --bootloader --help"};

} // namespace

bool parseBootOption(CliOption& option, BootConfig& config, BootFaults& faults)
{
    // "--boot-silent" is "--silent" of the loader, for the dispenser's
    // command line, where the plain name is the dispenser's own.
    const std::string opt =
        option.name.rfind("--boot-", 0) == 0 ? "--" + option.name.substr(7) : option.name;
    auto value = [&] { return cliValue(option, kHelp); };
    auto toNumber = [&](const std::string& text, const std::string& name, int base, long min, long max) {
        return cliNumber(text, name, base, min, max, kHelp);
    };
    auto hexByte = [&](const std::string& v) { return static_cast<std::uint8_t>(toNumber(v, opt, 16, 0, 255)); };

    static constexpr CountOption<BootFaults> kCounts[] = {
        {"--no-cpu-id", &BootFaults::noCpuId},
        {"--no-ready", &BootFaults::noReady},
        {"--corrupt-blocks", &BootFaults::corruptBlocks},
        {"--record-resends", &BootFaults::recordResends},
        {"--silent", &BootFaults::silent},
        {"--spurious", &BootFaults::spurious},
        {"--keep-alive-silent", &BootFaults::keepAliveSilent},
    };
    if (parseCountOption(opt, option.inlineValue, kCounts, faults, kHelp)) {
    } else if (opt == "--cpu-id") {
        config.cpuId = hexByte(value());
    } else if (opt == "--flash-id") {
        config.flashId = static_cast<std::uint16_t>(toNumber(value(), opt, 16, 0, 0xFFFF));
    } else if (opt == "--flash-size") {
        config.flashSize = static_cast<std::size_t>(toNumber(value(), opt, 10, 16, 16 * 1024 * 1024));
    } else if (opt == "--fill") {
        config.initialFill = hexByte(value());
    } else if (opt == "--erase-ms") {
        config.eraseMs = static_cast<int>(toNumber(value(), opt, 10, 0, 600000));
    } else if (opt == "--nodes") {
        config.nodeMask = hexByte(value());
    } else if (opt == "--jumper-node") {
        config.jumperNode = true;
    } else if (opt == "--erase-error") {
        const ColonPair v = splitAtColon(value());
        faults.eraseError = hexByte(v.head);
        faults.eraseErrors = v.tail ? static_cast<int>(toNumber(*v.tail, opt, 10, -1, 1000000)) : -1;
    } else if (opt == "--record-error") {
        const ColonPair v = splitAtColon(value());
        if (!v.tail)
            cliUsageError("--record-error wants HEX:N", kHelp);
        faults.recordError = hexByte(v.head);
        faults.recordErrorAt = static_cast<int>(toNumber(*v.tail, opt, 10, 1, 100000000));
    } else if (opt == "--delay-ms") {
        faults.delayMs = static_cast<int>(toNumber(value(), opt, 10, 0, 600000));
    } else if (opt == "--absent-nodes") {
        faults.absentNodes = hexByte(value());
    } else if (opt == "--hang-up-after") {
        faults.hangUpAfterRecords = static_cast<int>(toNumber(value(), opt, 10, 1, 100000000));
    } else {
        return false;
    }
    return true;
}

bool isBootloaderRun(const std::vector<std::string>& args)
{
    for (const std::string& a : args)
        if (a == "--bootloader" || a.rfind("--bootloader=", 0) == 0)
            return true;
    return false;
}

int bootloaderMain(const std::vector<std::string>& args)
{
    BootConfig config;
    BootFaults faults;
    PtyRunOptions run;

    for (std::size_t i = 0; i < args.size(); ++i) {
        CliOption option(args, i);
        const std::string& opt = option.name;

        if (opt == "--help" || opt == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (opt == "--bootloader") {
            if (option.inlineValue)
                config.linkBaud = static_cast<int>(cliNumber(*option.inlineValue, opt, 10, 50, 1000000, kHelp));
        } else if (parseRunOption(option, run, kHelp) || parseBootOption(option, config, faults)) {
        } else {
            cliUsageError("unknown option " + opt, kHelp);
        }
    }
    finishRunOptions(run, kHelp);

    BootSimulator simulator(config);
    simulator.withCore([&](BootCore& c) { c.faults() = faults; });
    simulator.setPacing(run.pacing);
    std::mutex logMutex;
    if (run.logFrames)
        logBootTo(simulator, logMutex);

    return serveOnPty<BootPtyTransport>(simulator, run, [&](const OpenedPty& pty) {
        std::cerr << "kydsim: bootstrap loader simulator on " << pty.device << ", expecting 8N1 at "
                  << config.linkBaud * 6 << " baud\n";
    });
}

} // namespace kyd::sim
