#include "platform/serial_presence.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <utility>
#include <sstream>

namespace kyd::platform {

namespace {

struct TtyDriver {
    std::string name; // "serial", "usbserial", "acm", "pty_slave", ...
    std::string node; // "/dev/ttyS", "/dev/ttyUSB", ...
    std::string type; // "serial", "pty:slave", ...
};

// The driver of major:minor in the tty driver table, when it is one of a
// line. Lines look like "serial  /dev/ttyS  4 64-111 serial" (the minor part
// may be a single number). The system entries (/dev/tty, the console,
// ptmx), virtual consoles and pty masters are not serial lines.
std::optional<TtyDriver> ttyDriverOf(unsigned maj, unsigned min, const std::string& table)
{
    std::ifstream in(table);
    if (!in)
        return std::nullopt;
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
            return TtyDriver{name, node, type};
    }
    return std::nullopt;
}

// The real path of a character device and its driver, when it is a line.
std::optional<std::pair<std::string, TtyDriver>> lineDevice(const std::string& path,
                                                           const SerialPresenceRoots& roots)
{
    if (path.empty())
        return std::nullopt;
    char real[PATH_MAX];
    if (!::realpath(path.c_str(), real))
        return std::nullopt;
    struct stat st {};
    if (::stat(real, &st) != 0 || !S_ISCHR(st.st_mode))
        return std::nullopt;
    auto driver = ttyDriverOf(major(st.st_rdev), minor(st.st_rdev), roots.ttyDrivers);
    if (!driver)
        return std::nullopt;
    return std::make_pair(std::string(real), std::move(*driver));
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
    const auto device = lineDevice(path, roots);
    if (!device)
        return false;
    std::string name = device->first;
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


bool serialDeviceClocksBytes(const std::string& path, const SerialPresenceRoots& roots)
{
    const auto device = lineDevice(path, roots);
    if (!device)
        return false;
    const TtyDriver& d = device->second;
    // USB devices that speak serial themselves (communication-class modems
    // and gadgets) take and give whole USB packets at once, whatever rate
    // the line is set to.
    if (d.name == "acm" || d.node == "/dev/ttyACM" || d.node == "/dev/ttyGS")
        return false;
    // Everything else of type serial drives a UART: one on the board, or
    // the one in a USB-serial converter.
    return d.type == "serial";
}

} // namespace kyd::platform
