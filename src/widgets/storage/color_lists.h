// Custom colour lists kept in ini files: a list of "name=value" lines,
// stored as the keys and values of one section.
#pragma once

#include "platform/ini_file.h"
#include "widgets/storage/stream.h"

#include <string>

namespace kyd::widgets {

// The section's keys as "name=value" lines; the list is cleared first.
void DUDLoadCustomColorList(const platform::IniFile& ini, const std::string& section, TStringList& list);
// Writes, for every line holding "=", the text after the first "=" under
// the name before it (in memory; the caller updates the file).
void DUDSaveCustomColorList(platform::IniFile& ini, const std::string& section, const TStringList& list);

void DUDLoadCustomColorFromIniFile(const std::string& fileName, const std::string& section, TStringList& list);
// False (with the reason in error) when the file could not be written.
bool DUDSaveCustomColorToIniFile(const std::string& fileName, const std::string& section, const TStringList& list,
                                 std::string* error = nullptr);

// The shared colour file "IDE32.INI" (in the user's configuration folder),
// section "Custom Colors".
std::string DUDIdeCustomColorFile();
void DUDLoadIdeCustomColor(TStringList& list);
bool DUDSaveIdeCustomColor(const TStringList& list, std::string* error = nullptr);

} // namespace kyd::widgets
