// A program's version information: a translation table (each entry as
// stored, language id in the low 16 bits, code page in the high 16 bits)
// and named values under sub-block paths such as
// "\StringFileInfo\040904e4\ProductName". The running program registers
// its own block at start; other files carry none here.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kyd::platform {

struct VersionBlock {
    std::vector<std::uint32_t> Translation;
    std::map<std::string, std::string> Values; // sub-block path -> value
};

// "\StringFileInfo\<translation as 8 hex digits>\<name>", the translation
// with the language id in the high 16 bits.
std::string versionValuePath(std::uint32_t languageHighCodePageLow, const std::string& name);

// The running program's block (set once at start; empty until then).
void setProgramVersionBlock(VersionBlock block);
std::optional<VersionBlock> programVersionBlock();

// The version block of a file: the program's when fileName names the
// running program, nothing otherwise.
std::optional<VersionBlock> fileVersionInfo(const std::string& fileName);

// Looks a sub-block path up; the translation table answers to
// "\VarFileInfo\Translation" (its first entry, as stored).
std::optional<std::string> verQueryValue(const VersionBlock& block, const std::string& subBlock);

} // namespace kyd::platform
