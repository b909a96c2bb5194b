#include "platform/os_info.h"

#include <sys/utsname.h>

namespace kyd::platform {

std::string operatingSystemName()
{
    utsname u {};
    if (::uname(&u) != 0)
        return "Unknown";
    return std::string(u.sysname) + " " + u.release;
}

} // namespace kyd::platform
