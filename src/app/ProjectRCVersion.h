// The version information of a program and the operations that look values
// up in it.
//
// A version block holds a translation table (each entry as stored: language
// id in the low 16 bits, code page in the high 16 bits) and named values
// under sub-block paths such as "\StringFileInfo\040904e4\ProductName". The
// running program carries one block, compiled in from the build's version
// settings; other files have none.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kyd::app {

struct VersionBlock {
    std::vector<std::uint32_t> Translation;
    std::map<std::string, std::string> Values; // sub-block path -> value
};

// The version block of a file: the compiled-in block when fileName names the
// running program, nothing otherwise.
std::optional<VersionBlock> GetFileVersionInfo(const std::string& fileName);
// The block compiled into this program.
const VersionBlock& ProgramVersionBlock();
// Looks a sub-block path up; the translation table answers to
// "\VarFileInfo\Translation" (its first entry).
std::optional<std::string> VerQueryValue(const VersionBlock& block, const std::string& subBlock);

class ProjectRCVersion {
public:
    explicit ProjectRCVersion(const std::string& fileName);
    // Reads a given block (or none).
    explicit ProjectRCVersion(std::optional<VersionBlock> block);
    virtual ~ProjectRCVersion();

    bool GetProductName(std::string& value) const { return Get("ProductName", value); }
    bool GetProductVersion(std::string& value) const { return Get("ProductVersion", value); }
    bool GetLegalCopyright(std::string& value) const { return Get("LegalCopyright", value); }
    bool GetFileDescription(std::string& value) const { return Get("FileDescription", value); }

    // The translation in use: language id in the high 16 bits, code page in
    // the low 16 bits (0 without a block).
    std::uint32_t Translation() const { return translation_; }
    // "\StringFileInfo\<translation as 8 hex digits>\<name>".
    std::string SubBlockPath(const std::string& name) const;

private:
    void Read(std::optional<VersionBlock> block);
    bool Get(const std::string& name, std::string& value) const;

    std::uint32_t translation_ = 0;
    std::unique_ptr<VersionBlock> block_;
};

} // namespace kyd::app
