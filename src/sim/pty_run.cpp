#include "sim/pty_run.h"

#include "platform/pty.h"
#include "sim/boot_simulator.h"
#include "sim/com_registration.h"

#include <cstdlib>
#include <iostream>
#include <system_error>

namespace kyd::sim {

void cliUsageError(const std::string& text, CliHelp help)
{
    std::cerr << "kydsim: " << text << "\nTry " << help.command << ".\n";
    std::exit(2);
}

long cliNumber(const std::string& text, const std::string& option, int base, long min, long max, CliHelp help)
{
    const std::optional<long> v = parseCliNumber(text, base, min, max);
    if (!v)
        cliUsageError("bad value '" + text + "' for " + option, help);
    return *v;
}

std::string cliValue(CliOption& option, CliHelp help)
{
    std::optional<std::string> v = option.takeValue();
    if (!v)
        cliUsageError(option.name + " needs a value", help);
    return *v;
}

namespace {

void parsePaceOption(CliOption& option, LinePacing& pacing, CliHelp help)
{
    const std::optional<std::string> v = option.takeOptionalValue();
    if (!v) {
        pacing.followLine = true;
        return;
    }
    const ColonPair parts = splitAtColon(*v);
    pacing.followLine = false;
    pacing.baud = static_cast<int>(cliNumber(parts.head, option.name, 10, 50, 4000000, help));
    if (parts.tail)
        pacing.bitsPerChar = static_cast<int>(cliNumber(*parts.tail, option.name, 10, 10, 11, help));
}

} // namespace

bool parseRunOption(CliOption& option, PtyRunOptions& run, CliHelp help)
{
    const std::string& opt = option.name;
    if (opt == "--link")
        run.linkPath = cliValue(option, help);
    else if (opt == "--com")
        run.com = static_cast<int>(cliNumber(cliValue(option, help), opt, 10, 1, 49, help));
    else if (opt == "--ini")
        run.iniPath = cliValue(option, help);
    else if (opt == "--pace")
        parsePaceOption(option, run.pacing, help);
    else if (opt == "--log-frames")
        run.logFrames = true;
    else
        return false;
    return true;
}

void finishRunOptions(PtyRunOptions& run, CliHelp help)
{
    if (run.com == 0)
        return;
    const std::optional<std::string> ini = comIniPath(run.iniPath);
    if (!ini)
        cliUsageError("--com needs --ini FILE (or KYD_INI)", help);
    run.iniPath = *ini;
}

void logBootTo(BootSimulator& boot, std::mutex& logMutex)
{
    boot.setLogger([&logMutex](const std::string& text) {
        std::lock_guard lock(logMutex);
        std::cerr << "boot: " << text << std::endl;
    });
}

void reportPtyOpenFailure(std::exception_ptr error, const std::string& linkPath)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::system_error& e) {
        if (e.code() == std::errc::file_exists)
            std::cerr << "kydsim: refusing --link " << linkPath << ": " << e.what() << "\n";
        else
            std::cerr << "kydsim: cannot open a pseudo-terminal: " << e.what() << "\n";
    } catch (const std::exception& e) {
        std::cerr << "kydsim: cannot open a pseudo-terminal: " << e.what() << "\n";
    }
}

int servePty(const PtyRunOptions& run, const OpenedPty& pty, const Announce& announce)
{
    if (run.com != 0 && !registerComDevice(run.iniPath, run.com, pty.device))
        return 1;
    std::cout << pty.device << std::endl;
    announce(pty);

    platform::waitForTerminationSignal();
    pty.close();

    if (run.com != 0)
        unregisterComDevice(run.iniPath, run.com, pty.device);
    return 0;
}

} // namespace kyd::sim
