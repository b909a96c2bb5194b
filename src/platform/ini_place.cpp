#include "platform/ini_place.h"

#include "platform/folders.h"
#include "platform/ini_file.h"
#include "platform/safe_file.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace kyd::platform {

namespace {

// The settings file of an executable: its path with the extension replaced.
std::string besideExecutable(const std::string& exePath)
{
    std::string path = exePath.empty() ? std::string("kydtest") : exePath;
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1))
        path.erase(dot);
    return path + ".INI";
}

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

bool folderWritable(const std::string& folder)
{
    std::string name = (folder.empty() ? std::string(".") : folder) + "/.kydtest-write-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(name.c_str());
    return true;
}

IniPlace chooseIniPlace(const std::string& exePath, const std::string& userConfig,
                        const std::function<bool(const std::string& folder)>& writable)
{
    const std::string beside = besideExecutable(exePath);
    if (writable(folderOf(beside)))
        return {beside, {}};
    const std::string name = beside.substr(beside.find_last_of('/') + 1);
    return {userConfig + "/kydtest/" + name, beside};
}

bool seedIniFile(const IniPlace& place, std::string* seedError)
{
    if (place.seedFrom.empty())
        return true;
    // Made also when there is nothing to copy: the settings are saved there
    // on the way out, and a save does not make folders.
    if (!makeFolders(folderOf(place.path)))
        return false;
    std::error_code ec;
    if (std::filesystem::exists(place.path, ec) || !std::filesystem::exists(place.seedFrom, ec))
        return true;
    std::string text, reason;
    switch (readRegularFile(place.seedFrom, IniFile::kMaxFileSize, text, &reason)) {
    case ReadResult::Ok:
        break;
    case ReadResult::Missing:
        return true;
    case ReadResult::Failed:
        if (seedError)
            *seedError = reason;
        return false;
    }
    return replaceFile(place.path, text);
}

IniChoice settleIniPlace(const IniPlace& place)
{
    std::string seedError;
    if (seedIniFile(place, &seedError))
        return {place.path, {}};
    if (seedError.empty())
        return {place.seedFrom, {}};
    // Made now, empty: from the next start on it is simply the user's file.
    replaceFile(place.path, std::string());
    // The names on lines of their own: a box would break them anywhere.
    return {place.path, "The settings file beside the program cannot be read:\n" + seedError +
                            "\n\nThe settings start empty and are kept in:\n" + place.path};
}

} // namespace kyd::platform
