// kydsim --bootloader: the simulated bootstrap loader in place of the
// dispenser on the pseudo-terminal.
#pragma once

#include "sim/boot_core.h"
#include "sim/cli_option.h"

#include <string>
#include <vector>

namespace kyd::sim {

// Takes one of the loader's options (flash model, nodes, faults; each also
// as "--boot-NAME"); false when the option is none of them. Exits with a
// usage error on a bad value.
bool parseBootOption(CliOption& option, BootConfig& config, BootFaults& faults);

// True when the arguments ask for the bootloader mode.
bool isBootloaderRun(const std::vector<std::string>& args);
// Runs the bootloader mode until SIGINT or SIGTERM; returns the exit code.
// Termination signals must already be blocked.
int bootloaderMain(const std::vector<std::string>& args);

} // namespace kyd::sim
