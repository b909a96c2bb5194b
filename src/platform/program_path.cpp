#include "platform/program_path.h"

#include <climits>
#include <unistd.h>

namespace kyd::platform {

std::string executablePath()
{
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string executableDir()
{
    std::string exe = executablePath();
    std::size_t slash = exe.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return exe.substr(0, slash);
}

} // namespace kyd::platform
