#include "platform/folders.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace kyd::platform {

namespace {
std::string withoutTrailingSlash(std::string s)
{
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

std::string homeDir()
{
    if (const char* h = std::getenv("HOME"); h && *h)
        return h;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}
} // namespace

std::string userConfigDir()
{
    // Only absolute paths count, as the base-directory rules say.
    if (const char* v = std::getenv("XDG_CONFIG_HOME"); v && v[0] == '/')
        return withoutTrailingSlash(v);
    return withoutTrailingSlash(homeDir()) + "/.config";
}

std::string systemConfigDir()
{
    if (const char* v = std::getenv("XDG_CONFIG_DIRS"); v && *v) {
        std::string all = v;
        std::size_t start = 0;
        while (start <= all.size()) {
            const auto end = all.find(':', start);
            std::string first = all.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (!first.empty() && first[0] == '/')
                return withoutTrailingSlash(first);
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
    }
    return "/etc/xdg";
}

} // namespace kyd::platform

#include <filesystem>

namespace kyd::platform {
bool makeFolders(const std::string& path)
{
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return std::filesystem::is_directory(path, ec);
}
} // namespace kyd::platform
