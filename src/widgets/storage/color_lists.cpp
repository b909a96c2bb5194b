#include "widgets/storage/color_lists.h"

#include "platform/folders.h"

#include <filesystem>

namespace kyd::widgets {

void DUDLoadCustomColorList(const platform::IniFile& ini, const std::string& section, TStringList& list)
{
    list.clear();
    for (const std::string& key : ini.readSection(section))
        list.push_back(key + "=" + ini.readString(section, key, ""));
}

void DUDSaveCustomColorList(platform::IniFile& ini, const std::string& section, const TStringList& list)
{
    for (const std::string& line : list) {
        const auto eq = line.find('=');
        if (eq == std::string::npos || eq == 0)
            continue;
        ini.writeString(section, line.substr(0, eq), line.substr(eq + 1));
    }
}

void DUDLoadCustomColorFromIniFile(const std::string& fileName, const std::string& section, TStringList& list)
{
    const platform::IniFile ini(fileName);
    DUDLoadCustomColorList(ini, section, list);
}

bool DUDSaveCustomColorToIniFile(const std::string& fileName, const std::string& section, const TStringList& list,
                                 std::string* error)
{
    platform::IniFile ini(fileName);
    DUDSaveCustomColorList(ini, section, list);
    return ini.updateFile(error);
}

std::string DUDIdeCustomColorFile()
{
    return (std::filesystem::path(platform::userConfigDir()) / "IDE32.INI").string();
}

void DUDLoadIdeCustomColor(TStringList& list)
{
    DUDLoadCustomColorFromIniFile(DUDIdeCustomColorFile(), "Custom Colors", list);
}

bool DUDSaveIdeCustomColor(const TStringList& list, std::string* error)
{
    return DUDSaveCustomColorToIniFile(DUDIdeCustomColorFile(), "Custom Colors", list, error);
}

} // namespace kyd::widgets
