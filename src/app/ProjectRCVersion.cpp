#include "app/ProjectRCVersion.h"

#include "app/VersionInfo.h"
#include "platform/program_path.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace kyd::app {

namespace {

constexpr const char* kTranslationPath = "\\VarFileInfo\\Translation";

std::string PathFor(std::uint32_t translation, const std::string& name)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%08lx", static_cast<unsigned long>(translation));
    return std::string("\\StringFileInfo\\") + buf + "\\" + name;
}

// Language id low, code page high, as a translation table stores them.
constexpr std::uint32_t Stored(std::uint32_t languageHighCodePageLow)
{
    return (languageHighCodePageLow >> 16) | ((languageHighCodePageLow & 0xFFFFu) << 16);
}

VersionBlock MakeProgramBlock()
{
    VersionBlock b;
    b.Translation.push_back(Stored(KYD_VERSION_TRANSLATION));
    auto put = [&](const char* name, const char* value) { b.Values[PathFor(KYD_VERSION_TRANSLATION, name)] = value; };
    put("ProductName", KYD_PRODUCT_NAME);
    put("ProductVersion", KYD_PRODUCT_VERSION);
    put("FileVersion", KYD_FILE_VERSION);
    put("LegalCopyright", KYD_LEGAL_COPYRIGHT);
    put("FileDescription", KYD_FILE_DESCRIPTION);
    return b;
}

bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return !a.empty() && !b.empty() && std::filesystem::equivalent(a, b, ec) && !ec;
}

} // namespace

const VersionBlock& ProgramVersionBlock()
{
    static const VersionBlock block = MakeProgramBlock();
    return block;
}

std::optional<VersionBlock> GetFileVersionInfo(const std::string& fileName)
{
    if (SameFile(fileName, platform::executablePath()))
        return ProgramVersionBlock();
    return std::nullopt;
}

std::optional<std::string> VerQueryValue(const VersionBlock& block, const std::string& subBlock)
{
    if (subBlock == kTranslationPath) {
        if (block.Translation.empty())
            return std::nullopt;
        char buf[16];
        std::snprintf(buf, sizeof buf, "%08lx", static_cast<unsigned long>(block.Translation.front()));
        return std::string(buf);
    }
    auto it = block.Values.find(subBlock);
    if (it == block.Values.end())
        return std::nullopt;
    return it->second;
}

ProjectRCVersion::ProjectRCVersion(const std::string& fileName)
{
    Read(GetFileVersionInfo(fileName));
}

ProjectRCVersion::ProjectRCVersion(std::optional<VersionBlock> block)
{
    Read(std::move(block));
}

ProjectRCVersion::~ProjectRCVersion() = default;

void ProjectRCVersion::Read(std::optional<VersionBlock> block)
{
    if (!block || block->Translation.empty())
        return; // no block: every getter answers false
    // Swap the halves so that the language id is the high half.
    translation_ = Stored(block->Translation.front());
    block_ = std::make_unique<VersionBlock>(std::move(*block));
}

std::string ProjectRCVersion::SubBlockPath(const std::string& name) const
{
    return PathFor(translation_, name);
}

bool ProjectRCVersion::Get(const std::string& name, std::string& value) const
{
    if (!block_)
        return false;
    std::optional<std::string> v = VerQueryValue(*block_, SubBlockPath(name));
    if (!v)
        return false;
    value = *v;
    return true;
}

} // namespace kyd::app
