// The serial ports that exist on the machine, free or in use, for the
// options dialog's port list. Ports 1 to 49 are looked up through the port
// resolver; a port is listed when its device is present, which is decided
// without opening it.
#pragma once

#include "platform/serial_presence.h"

#include <string>
#include <vector>

namespace kyd::link {

class TSerialDeviceList {
public:
    TSerialDeviceList() = default;
    // For tests: where the kernel's tty tables are read from.
    explicit TSerialDeviceList(platform::SerialPresenceRoots roots) : roots_(std::move(roots)) {}

    // Fills the list with "COM<n>" for every present port, in port order;
    // returns the number of entries.
    int GetPortList(std::vector<std::string>& list) const;
    // The device path of port n ("" when the port has none).
    static std::string DeviceName(int n);

private:
    platform::SerialPresenceRoots roots_;
};

} // namespace kyd::link
