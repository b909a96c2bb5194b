// Per-user and system-wide configuration folders (the XDG base directories).
#pragma once

#include <string>

namespace kyd::platform {

// $XDG_CONFIG_HOME, else ~/.config; no trailing separator.
std::string userConfigDir();
// The first entry of $XDG_CONFIG_DIRS, else /etc/xdg; no trailing separator.
std::string systemConfigDir();

} // namespace kyd::platform

namespace kyd::platform {
// Creates a folder and its missing parents; true when it exists afterwards.
bool makeFolders(const std::string& path);
} // namespace kyd::platform
