// Whether a serial device is present, decided without opening it (opening a
// port raises DTR and RTS, which can reset the equipment attached to it).
//
// A device is present when its path (after resolving symlinks) is a
// character device of one of the kernel's tty drivers, as listed in
// /proc/tty/drivers. A ttyS port must also have a real UART behind it: the
// kernel creates ttyS nodes for every possible port, and those without
// hardware report the UART type 0 in /sys/class/tty/ttyS<n>/type. A port
// that another program has open is present all the same.
#pragma once

#include <string>

namespace kyd::platform {

struct SerialPresenceRoots {
    // The kernel's table of tty drivers (name, node, major, minor range).
    std::string ttyDrivers = "/proc/tty/drivers";
    // The tty class directory of sysfs.
    std::string sysClassTty = "/sys/class/tty";
};

bool serialDevicePresent(const std::string& path, const SerialPresenceRoots& roots = {});

// True when the device's bytes really take their line time: a UART on the
// board or in a USB-serial converter. False for pseudo-terminals, USB
// communication-class devices (ttyACM), which hand over whole packets at
// once whatever the rate set, and for anything that is not a line.
bool serialDeviceClocksBytes(const std::string& path, const SerialPresenceRoots& roots = {});

} // namespace kyd::platform
