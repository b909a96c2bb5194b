// The program's version information, compiled in from the build's version
// settings, and the reader of a version block (the block itself and its
// look-ups are the platform layer's).
#pragma once

#include "platform/version_block.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kyd::app {

using VersionBlock = platform::VersionBlock;

// The block compiled into this program.
const VersionBlock& ProgramVersionBlock();
// Registers it with the platform layer as the running program's block, for
// everything that asks the program's file for its version.
void InstallProgramVersionBlock();
// The version block of a file: this program's compiled-in block for the
// program's own file (installed on first use), nothing for others.
std::optional<VersionBlock> GetFileVersionInfo(const std::string& fileName);
inline std::optional<std::string> VerQueryValue(const VersionBlock& block, const std::string& subBlock)
{
    return platform::verQueryValue(block, subBlock);
}

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
