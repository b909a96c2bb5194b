#include "app/ProjectRCVersion.h"

#include "app/VersionInfo.h"

#include <cstdio>
#include <mutex>

namespace kyd::app {

namespace {

// Language id low, code page high, as a translation table stores them.
constexpr std::uint32_t Stored(std::uint32_t languageHighCodePageLow)
{
    return (languageHighCodePageLow >> 16) | ((languageHighCodePageLow & 0xFFFFu) << 16);
}

VersionBlock MakeProgramBlock()
{
    VersionBlock b;
    b.Translation.push_back(Stored(KYD_VERSION_TRANSLATION));
    auto put = [&](const char* name, const char* value) {
        b.Values[platform::versionValuePath(KYD_VERSION_TRANSLATION, name)] = value;
    };
    put("ProductName", KYD_PRODUCT_NAME);
    put("ProductVersion", KYD_PRODUCT_VERSION);
    put("FileVersion", KYD_FILE_VERSION);
    put("LegalCopyright", KYD_LEGAL_COPYRIGHT);
    put("FileDescription", KYD_FILE_DESCRIPTION);
    return b;
}

} // namespace

const VersionBlock& ProgramVersionBlock()
{
    static const VersionBlock block = MakeProgramBlock();
    return block;
}

void InstallProgramVersionBlock()
{
    platform::setProgramVersionBlock(ProgramVersionBlock());
}

std::optional<VersionBlock> GetFileVersionInfo(const std::string& fileName)
{
    static std::once_flag installed;
    std::call_once(installed, InstallProgramVersionBlock);
    return platform::fileVersionInfo(fileName);
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
    return platform::versionValuePath(translation_, name);
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
