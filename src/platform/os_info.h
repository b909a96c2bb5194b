// The running operating system's name, as diagnostic headers show it, and
// its texts for error numbers.
#pragma once

#include <string>

namespace kyd::platform {

// "<system> <release>" from uname(), for example "Linux 6.1.0-18-amd64".
std::string operatingSystemName();

// The system's text for error number code, or an empty string when the
// system knows no error of that number.
std::string systemErrorText(int code);

} // namespace kyd::platform
