// Modem lines of pseudo-terminals.
//
// A pseudo-terminal has no RTS/CTS/DTR/DSR/RI/DCD. The serial device layer
// emulates them for a pty slave: CTS follows RTS, DSR and DCD follow DTR, RI
// is off. This process-wide registry lets a test or the in-process simulator
// override CTS for one device path: hold it low, or have it follow RTS only
// after a delay. Paths are compared after resolving symlinks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kyd::platform {

struct PtyCtsOverride {
    // When set, CTS reads this value whatever RTS is.
    std::optional<bool> forcedCts;
    // When forcedCts is empty: CTS follows RTS going high only after this many
    // milliseconds on the process clock (0 = at once).
    std::int64_t riseDelayMs = 0;
};

// Sets or replaces the override for a device path.
void setPtyCtsOverride(const std::string& devicePath, const PtyCtsOverride& o);
void clearPtyCtsOverride(const std::string& devicePath);
// The override in force for a path, if any (used by the device layer).
std::optional<PtyCtsOverride> ptyCtsOverride(const std::string& devicePath);

} // namespace kyd::platform
