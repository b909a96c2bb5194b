// kydsim's --com: the simulated device entered as COMn in section
// [SerialDevices] of the tool's ini file while the simulator runs.
#pragma once

#include <optional>
#include <string>

namespace kyd::sim {

// The ini file --com writes to: the one given, else $KYD_INI; none when
// there is neither.
std::optional<std::string> comIniPath(const std::string& given);
// Writes COMn = device; false (with the reason on standard error) when the
// file could not be written.
bool registerComDevice(const std::string& iniPath, int com, const std::string& device);
// Removes COMn again, unless someone has pointed the port elsewhere meanwhile.
void unregisterComDevice(const std::string& iniPath, int com, const std::string& device);

} // namespace kyd::sim
