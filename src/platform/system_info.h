// Facts about the machine, the operating system and the user, read from
// the kernel's files and the C library. The parsers take the files' text so
// that they can be tested and fuzzed on any input.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kyd::platform {

// "/proc/meminfo": every "Name: <number> [kB]" line as bytes (a figure
// with a "kB" unit times 1024). Lines that do not parse are skipped.
std::map<std::string, std::uint64_t> parseMeminfo(const std::string& text);

struct MountEntry {
    std::string device;
    std::string mountPoint;
    std::string fsType;
};
// "/proc/self/mounts" (or /etc/mtab): the escapes \040, \011, \012, \134
// of device and mount point are decoded; malformed lines are skipped.
std::vector<MountEntry> parseMounts(const std::string& text);

// "/etc/os-release": KEY=value lines, values unquoted ('...' or "..." with
// backslash escapes in double quotes); comments and bad lines skipped.
std::map<std::string, std::string> parseOsRelease(const std::string& text);

// The whole of a (small, possibly virtual) file; empty when unreadable.
std::string readSmallFile(const std::string& path, std::size_t limit = 1 << 20);

struct MemoryStatus {
    std::uint32_t loadPercent = 0;
    std::uint64_t totalPhys = 0, availPhys = 0;
    std::uint64_t totalPageFile = 0, availPageFile = 0; // RAM + swap
    std::uint64_t totalVirtual = 0, availVirtual = 0;   // the address space
};
MemoryStatus memoryStatus();

struct DiskSpace {
    std::uint64_t total = 0, free = 0;
    std::uint32_t blockSize = 0;
    std::uint32_t fragmentSize = 0;
};
// statvfs of a path; empty when it fails.
std::optional<DiskSpace> diskSpace(const std::string& path);
// The mount table of the running process.
std::vector<MountEntry> mountTable();

struct KernelVersion {
    int major = 0, minor = 0, build = 0;
    std::string release; // uname's release text
};
KernelVersion kernelVersion();

// The login name of the user running the process (passwd, then $USER);
// empty when unknown.
std::string currentUserName();
// The host name; empty when unknown.
std::string hostName();
int processorCount();
// uname's machine ("x86_64", "aarch64").
std::string machineName();
// $TMPDIR or /tmp, with a trailing '/'.
std::string tempPath();
// The zone's abbreviation for standard time and its offset from UTC in
// minutes as the C library sees it (bias = UTC - local, as the system's
// time-zone information counts it).
std::string timeZoneName();
int timeZoneBiasMinutes();
// The locale of messages/numbers ("de_DE.UTF-8"), "C" when none is set.
std::string localeName();

} // namespace kyd::platform
