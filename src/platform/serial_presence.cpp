#include "platform/serial_presence.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kyd::platform {

namespace {

// True when major:minor belongs to a driver listed in the tty driver table.
// Lines look like "serial  /dev/ttyS  4 64-111 serial" (the minor part may
// be a single number). The system entries (/dev/tty, the console, ptmx),
// virtual consoles and pty masters are not serial lines.
bool isTtyDevice(unsigned maj, unsigned min, const std::string& table)
{
    std::ifstream in(table);
    if (!in)
        return false;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name, node, minors, type;
        unsigned driverMajor = 0;
        if (!(fields >> name >> node >> driverMajor >> minors))
            continue;
        fields >> type;
        if (driverMajor != maj || type.rfind("system", 0) == 0 || type == "pty:master" ||
            type == "console")
            continue;
        unsigned lo = 0, hi = 0;
        const auto dash = minors.find('-');
        try {
            lo = static_cast<unsigned>(std::stoul(minors.substr(0, dash)));
            hi = dash == std::string::npos ? lo : static_cast<unsigned>(std::stoul(minors.substr(dash + 1)));
        } catch (...) {
            continue;
        }
        if (min >= lo && min <= hi)
            return true;
    }
    return false;
}

bool isNumber(const std::string& s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

} // namespace

bool serialDevicePresent(const std::string& path, const SerialPresenceRoots& roots)
{
    if (path.empty())
        return false;
    char real[PATH_MAX];
    if (!::realpath(path.c_str(), real))
        return false;
    struct stat st {};
    if (::stat(real, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    if (!isTtyDevice(major(st.st_rdev), minor(st.st_rdev), roots.ttyDrivers))
        return false;

    std::string name = real;
    name = name.substr(name.rfind('/') + 1);
    if (name.rfind("ttyS", 0) == 0 && isNumber(name.substr(4))) {
        // A ttyS node without a UART has type 0 (unknown).
        std::ifstream typeFile(roots.sysClassTty + "/" + name + "/type");
        int type = -1;
        if (typeFile >> type)
            return type != 0;
        // Without the sysfs entry the kernel's word is all we have.
    }
    return true;
}

} // namespace kyd::platform
