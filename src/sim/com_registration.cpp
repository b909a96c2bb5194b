#include "sim/com_registration.h"

#include "platform/ini_file.h"

#include <cstdlib>
#include <iostream>

namespace kyd::sim {

std::optional<std::string> comIniPath(const std::string& given)
{
    if (!given.empty())
        return given;
    if (const char* env = std::getenv("KYD_INI"))
        return env;
    return std::nullopt;
}

namespace {

std::string comKey(int com) { return "COM" + std::to_string(com); }

} // namespace

bool registerComDevice(const std::string& iniPath, int com, const std::string& device)
{
    platform::IniFile ini(iniPath);
    ini.writeString("SerialDevices", comKey(com), device);
    std::string error;
    if (!ini.updateFile(&error)) {
        std::cerr << "kydsim: cannot register " << comKey(com) << ": " << error << "\n";
        return false;
    }
    return true;
}

void unregisterComDevice(const std::string& iniPath, int com, const std::string& device)
{
    platform::IniFile ini(iniPath);
    if (ini.readString("SerialDevices", comKey(com), "") == device) {
        ini.deleteKey("SerialDevices", comKey(com));
        ini.updateFile();
    }
}

} // namespace kyd::sim
