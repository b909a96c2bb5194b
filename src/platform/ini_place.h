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
// program. False when the folder or the copy could not be made; when the
// seed exists but cannot be read (another user's, unreadable to us; not a
// regular file), seedError (when given) holds "<seed>: <reason>".
bool seedIniFile(const IniPlace& place, std::string* seedError = nullptr);

// The settings file settled on, and what the operator is told about it.
struct IniChoice {
    std::string path;
    std::string notice; // said once, at the start that made the choice; "" when nothing to say
};

// Seeds the place (seedIniFile) and says which file to use: place.path.
// A file beside the program that cannot be read is not used: the user's
// file starts empty (made at once, so the notice that says so is given at
// this start only). Where the user's folder cannot be made, or the copy
// cannot be written, the file beside the program is used as it stands.
IniChoice settleIniPlace(const IniPlace& place);

} // namespace kyd::platform
