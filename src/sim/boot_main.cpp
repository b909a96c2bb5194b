#include "sim/boot_main.h"

#include "platform/pty.h"
#include "sim/boot_transport.h"
#include "sim/cli_option.h"
#include "sim/com_registration.h"

#include <cerrno>
#include <cstdlib>
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
  --flash-size BYTES     size of the CMC's flash (default 1048576)
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

[[noreturn]] void usageError(const std::string& text)
{
    std::cerr << "kydsim: " << text << "\nTry kydsim --bootloader --help.\n";
    std::exit(2);
}

long toNumber(const std::string& text, const std::string& option, int base, long min, long max)
{
    const std::optional<long> v = parseCliNumber(text, base, min, max);
    if (!v)
        usageError("bad value '" + text + "' for " + option);
    return *v;
}

} // namespace

bool parseBootOption(CliOption& option, BootConfig& config, BootFaults& faults)
{
    // "--boot-silent" is "--silent" of the loader, for the dispenser's
    // command line, where the plain name is the dispenser's own.
    const std::string opt =
        option.name.rfind("--boot-", 0) == 0 ? "--" + option.name.substr(7) : option.name;
    const std::optional<std::string>& inlineValue = option.inlineValue;
    auto value = [&]() -> std::string {
        std::optional<std::string> v = option.takeValue();
        if (!v)
            usageError(option.name + " needs a value");
        return *v;
    };
    auto count = [&]() {
        return inlineValue ? static_cast<int>(toNumber(*inlineValue, opt, 10, -1, 1000000)) : -1;
    };
    auto hexByte = [&](const std::string& v) { return static_cast<std::uint8_t>(toNumber(v, opt, 16, 0, 255)); };

    if (opt == "--cpu-id") {
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
    } else if (opt == "--no-cpu-id") {
        faults.noCpuId = count();
    } else if (opt == "--no-ready") {
        faults.noReady = count();
    } else if (opt == "--corrupt-blocks") {
        faults.corruptBlocks = count();
    } else if (opt == "--erase-error") {
        std::string v = value();
        auto colon = v.find(':');
        faults.eraseError = hexByte(v.substr(0, colon));
        faults.eraseErrors = colon == std::string::npos
                                 ? -1
                                 : static_cast<int>(toNumber(v.substr(colon + 1), opt, 10, -1, 1000000));
    } else if (opt == "--record-resends") {
        faults.recordResends = count();
    } else if (opt == "--record-error") {
        std::string v = value();
        auto colon = v.find(':');
        if (colon == std::string::npos)
            usageError("--record-error wants HEX:N");
        faults.recordError = hexByte(v.substr(0, colon));
        faults.recordErrorAt = static_cast<int>(toNumber(v.substr(colon + 1), opt, 10, 1, 100000000));
    } else if (opt == "--silent") {
        faults.silent = count();
    } else if (opt == "--delay-ms") {
        faults.delayMs = static_cast<int>(toNumber(value(), opt, 10, 0, 600000));
    } else if (opt == "--spurious") {
        faults.spurious = count();
    } else if (opt == "--absent-nodes") {
        faults.absentNodes = hexByte(value());
    } else if (opt == "--keep-alive-silent") {
        faults.keepAliveSilent = count();
    } else if (opt == "--hang-up-after") {
        faults.hangUpAfterRecords = static_cast<int>(toNumber(value(), opt, 10, 1, 100000000));
    } else {
        return false;
    }
    return true;
}

void parsePaceOption(CliOption& option, LinePacing& pacing)
{
    const std::optional<std::string> v = option.takeOptionalValue();
    if (!v) {
        pacing.followLine = true;
        return;
    }
    const auto colon = v->find(':');
    pacing.followLine = false;
    pacing.baud = static_cast<int>(toNumber(v->substr(0, colon), option.name, 10, 50, 4000000));
    if (colon != std::string::npos)
        pacing.bitsPerChar = static_cast<int>(toNumber(v->substr(colon + 1), option.name, 10, 10, 11));
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
    LinePacing pacing;
    std::string linkPath, iniPath;
    int com = 0;
    bool logFrames = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        CliOption option(args, i);
        const std::string& opt = option.name;
        const std::optional<std::string>& inlineValue = option.inlineValue;
        auto value = [&]() -> std::string {
            std::optional<std::string> v = option.takeValue();
            if (!v)
                usageError(opt + " needs a value");
            return *v;
        };

        if (opt == "--help" || opt == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (opt == "--bootloader") {
            if (inlineValue)
                config.linkBaud = static_cast<int>(toNumber(*inlineValue, opt, 10, 50, 1000000));
        } else if (opt == "--link") {
            linkPath = value();
        } else if (opt == "--com") {
            com = static_cast<int>(toNumber(value(), opt, 10, 1, 49));
        } else if (opt == "--ini") {
            iniPath = value();
        } else if (opt == "--pace") {
            parsePaceOption(option, pacing);
        } else if (opt == "--log-frames") {
            logFrames = true;
        } else if (parseBootOption(option, config, faults)) {
        } else {
            usageError("unknown option " + opt);
        }
    }
    if (com != 0) {
        const std::optional<std::string> ini = comIniPath(iniPath);
        if (!ini)
            usageError("--com needs --ini FILE (or KYD_INI)");
        iniPath = *ini;
    }

    BootSimulator simulator(config);
    simulator.withCore([&](BootCore& c) { c.faults() = faults; });
    simulator.setPacing(pacing);
    std::mutex logMutex;
    if (logFrames) {
        simulator.setLogger([&logMutex](const std::string& text) {
            std::lock_guard lock(logMutex);
            std::cerr << "boot: " << text << std::endl;
        });
    }

    std::optional<BootPtyTransport> transport;
    try {
        transport.emplace(simulator, linkPath);
    } catch (const std::exception& e) {
        std::cerr << "kydsim: cannot open a pseudo-terminal: " << e.what() << "\n";
        return 1;
    }
    const std::string device = transport->devicePath();
    if (com != 0 && !registerComDevice(iniPath, com, device))
        return 1;
    std::cout << device << std::endl;
    std::cerr << "kydsim: bootstrap loader simulator on " << device << ", expecting 8N1 at "
              << config.linkBaud * 6 << " baud\n";

    platform::waitForTerminationSignal();
    transport.reset();
    if (com != 0)
        unregisterComDevice(iniPath, com, device);
    return 0;
}

} // namespace kyd::sim
