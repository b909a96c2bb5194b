#include "platform/version_block.h"

#include "platform/program_path.h"

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace kyd::platform {

namespace {

std::mutex gMutex;
std::optional<VersionBlock> gProgramBlock;

bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    return !a.empty() && !b.empty() && std::filesystem::equivalent(a, b, ec) && !ec;
}

} // namespace

std::string versionValuePath(std::uint32_t translation, const std::string& name)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%08lx", static_cast<unsigned long>(translation));
    return std::string("\\StringFileInfo\\") + buf + "\\" + name;
}

void setProgramVersionBlock(VersionBlock block)
{
    std::lock_guard<std::mutex> g(gMutex);
    gProgramBlock = std::move(block);
}

std::optional<VersionBlock> programVersionBlock()
{
    std::lock_guard<std::mutex> g(gMutex);
    return gProgramBlock;
}

std::optional<VersionBlock> fileVersionInfo(const std::string& fileName)
{
    if (SameFile(fileName, executablePath()))
        return programVersionBlock();
    return std::nullopt;
}

std::optional<std::string> verQueryValue(const VersionBlock& block, const std::string& subBlock)
{
    if (subBlock == "\\VarFileInfo\\Translation") {
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

} // namespace kyd::platform
