#include "platform/port_resolver.h"

#include "platform/ini_file.h"

#include <cstdlib>
#include <map>
#include <mutex>

namespace kyd::platform {
namespace {

struct ResolverState {
    std::mutex mutex;
    std::map<int, std::string> overrides;
    IniFile* ini = nullptr;
    bool useShared = true;
};

ResolverState& state()
{
    static ResolverState s;
    return s;
}

std::string comKey(int n)
{
    return "COM" + std::to_string(n);
}

} // namespace

std::string defaultPortPath(int n)
{
    if (n >= 1 && n <= 8)
        return "/dev/ttyS" + std::to_string(n - 1);
    if (n >= 9 && n <= 24)
        return "/dev/ttyUSB" + std::to_string(n - 9);
    if (n >= 25 && n <= 40)
        return "/dev/ttyACM" + std::to_string(n - 25);
    return {};
}

std::string resolvePortPath(int n)
{
    if (n < 1)
        return {};
    IniFile* ini = nullptr;
    bool useShared = true;
    {
        auto& s = state();
        std::lock_guard lock(s.mutex);
        if (auto it = s.overrides.find(n); it != s.overrides.end())
            return it->second;
        ini = s.ini;
        useShared = s.useShared;
    }
    const std::string envName = "KYD_" + comKey(n);
    if (const char* env = std::getenv(envName.c_str()); env && *env)
        return env;
    if (!ini && useShared)
        ini = &sharedIni();
    if (ini) {
        const std::string v = ini->readString("SerialDevices", comKey(n), "");
        if (!v.empty())
            return v;
    }
    return defaultPortPath(n);
}

void setPortPathOverride(int n, const std::string& path)
{
    auto& s = state();
    std::lock_guard lock(s.mutex);
    if (path.empty())
        s.overrides.erase(n);
    else
        s.overrides[n] = path;
}

void clearPortPathOverrides()
{
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.overrides.clear();
}

void setPortResolverIni(IniFile* ini)
{
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.ini = ini;
}

void setPortResolverUsesSharedIni(bool use)
{
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.useShared = use;
}

} // namespace kyd::platform
