// Where the program keeps its settings file when nothing names one: beside
// the program, as it always has, unless the program's folder cannot be
// written (a system-wide install); then in the user's configuration folder,
// starting from the file beside the program.
#pragma once

#include <functional>
#include <string>

namespace kyd::platform {

// Whether a file can be made in the folder, found out by making one and
// removing it again: the permission bits do not tell it for root, nor for a
// read-only file system.
bool folderWritable(const std::string& folder);

struct IniPlace {
    std::string path;     // the settings file to use
    std::string seedFrom; // the file it starts from when it does not exist yet ("" when none)
};

// The executable's path with its extension replaced by ".INI" when the
// executable's folder is writable; else a file of that name in
// <userConfig>/kydtest/, which starts from the file beside the program when
// there is one.
IniPlace chooseIniPlace(const std::string& exePath, const std::string& userConfig,
                        const std::function<bool(const std::string& folder)>& writable);

// For a place in the user's configuration folder (seedFrom named): makes
// the folder of place.path, and place.path a copy of place.seedFrom when it
// does not exist yet and the seed does. Nothing to do for a file beside the
// program. False when the folder or the copy could not be made.
bool seedIniFile(const IniPlace& place);

} // namespace kyd::platform
