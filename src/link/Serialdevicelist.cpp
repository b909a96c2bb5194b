#include "link/Serialdevicelist.h"

#include "platform/port_resolver.h"

namespace kyd::link {

int TSerialDeviceList::GetPortList(std::vector<std::string>& list) const
{
    list.clear();
    for (int n = 1; n <= platform::kMaxComNumber; ++n)
        if (platform::serialDevicePresent(DeviceName(n), roots_))
            list.push_back("COM" + std::to_string(n));
    return static_cast<int>(list.size());
}

std::string TSerialDeviceList::DeviceName(int n)
{
    return platform::resolvePortPath(n);
}

} // namespace kyd::link
