#include "platform/pty_modem.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>

namespace kyd::platform {
namespace {

std::mutex& registryMutex()
{
    static std::mutex m;
    return m;
}

std::map<std::string, PtyCtsOverride>& registry()
{
    static std::map<std::string, PtyCtsOverride> r;
    return r;
}

// Number of overrides in force: lets the lookup skip path resolution (the
// status thread asks on every poll).
std::atomic<int> g_count{0};

std::string normalise(const std::string& path)
{
    char buf[PATH_MAX];
    if (::realpath(path.c_str(), buf))
        return buf;
    return path;
}

} // namespace

void setPtyCtsOverride(const std::string& devicePath, const PtyCtsOverride& o)
{
    const std::string key = normalise(devicePath);
    std::lock_guard lock(registryMutex());
    registry()[key] = o;
    g_count = static_cast<int>(registry().size());
}

void clearPtyCtsOverride(const std::string& devicePath)
{
    const std::string key = normalise(devicePath);
    std::lock_guard lock(registryMutex());
    registry().erase(key);
    g_count = static_cast<int>(registry().size());
}

std::optional<PtyCtsOverride> ptyCtsOverride(const std::string& devicePath)
{
    if (g_count.load() == 0)
        return std::nullopt;
    const std::string key = normalise(devicePath);
    std::lock_guard lock(registryMutex());
    auto it = registry().find(key);
    if (it == registry().end())
        return std::nullopt;
    return it->second;
}

} // namespace kyd::platform
