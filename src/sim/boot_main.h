// kydsim --bootloader: the simulated bootstrap loader in place of the
// dispenser on the pseudo-terminal.
#pragma once

#include <string>
#include <vector>

namespace kyd::sim {

// True when the arguments ask for the bootloader mode.
bool isBootloaderRun(const std::vector<std::string>& args);
// Runs the bootloader mode until SIGINT or SIGTERM; returns the exit code.
// Termination signals must already be blocked.
int bootloaderMain(const std::vector<std::string>& args);

} // namespace kyd::sim
