#include "platform/os_info.h"

#include <cstring>
#include <system_error>

#include <sys/utsname.h>

namespace kyd::platform {

std::string operatingSystemName()
{
    utsname u {};
    if (::uname(&u) != 0)
        return "Unknown";
    return std::string(u.sysname) + " " + u.release;
}

std::string systemErrorText(int code)
{
    // The C library makes up "Unknown error N" for numbers it does not know.
    if (code <= 0 || ::strerrordesc_np(code) == nullptr)
        return {};
    return std::generic_category().message(code);
}

} // namespace kyd::platform
