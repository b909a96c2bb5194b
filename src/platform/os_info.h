// The running operating system's name, as diagnostic headers show it.
#pragma once

#include <string>

namespace kyd::platform {

// "<system> <release>" from uname(), for example "Linux 6.1.0-18-amd64".
std::string operatingSystemName();

} // namespace kyd::platform
