// Port numbers to device paths.
//
// Ports are known everywhere by their number ("COM5"); only the device layer
// needs a path. The path of COMn is, in this order:
//   1. a programmatic override (tests, the in-process simulator);
//   2. the environment variable KYD_COM<n> (for example KYD_COM5=/dev/pts/3);
//   3. the ini section [SerialDevices], key COM<n> (COM5=/dev/ttyUSB0), of
//      the injected ini object or else the program's shared ini file;
//   4. the default table: COM1-8 -> /dev/ttyS0-7, COM9-24 -> /dev/ttyUSB0-15,
//      COM25-40 -> /dev/ttyACM0-15; COM41-49 (and anything else) only by
//      override.
// Ports are never numbered by enumeration order.
#pragma once

#include <string>

namespace kyd::platform {

class IniFile;

inline constexpr int kMaxComNumber = 49;

// The path for COMn, or an empty string when the port has none.
std::string resolvePortPath(int comNumber);
// The default table alone.
std::string defaultPortPath(int comNumber);

// Programmatic overrides; an empty path removes one.
void setPortPathOverride(int comNumber, const std::string& path);
void clearPortPathOverrides();

// Ini object to read [SerialDevices] from (nullptr: the shared ini file).
// The caller keeps ownership.
void setPortResolverIni(IniFile* ini);
// When false, the shared ini file is not consulted (tests that must not read
// the program's ini). Default true.
void setPortResolverUsesSharedIni(bool use);

} // namespace kyd::platform
