#include "app/DemoFiles.h"

#include "platform/safe_file.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace kyd::app {

namespace {

bool IsDemoName(const std::string& name)
{
    if (name.size() != 9)
        return false;
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.compare(0, 4, "demo") == 0 && lower.compare(5, 4, ".tdl") == 0;
}

} // namespace

std::vector<std::string> FindDemoFiles(const std::string& dir)
{
    std::vector<std::string> names;
    std::error_code ec;
    std::filesystem::directory_iterator it(dir.empty() ? "." : dir, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::error_code fec;
        // Only regular files (or links to them): a FIFO or a device of that
        // name would block or never end when read.
        if (IsDemoName(name) && it->is_regular_file(fec))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string DemoCaption(const std::string& dir, const std::string& fileName)
{
    const std::string path = (std::filesystem::path(dir.empty() ? "." : dir) / fileName).string();
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(
        platform::openRegularFile(path, platform::FileAccess::Read), &std::fclose);
    if (!in)
        return fileName;
    // Only the start of the first line matters.
    char buf[256];
    if (!std::fgets(buf, sizeof buf, in.get()))
        return fileName;
    std::string line(buf);
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.compare(0, 2, "//") != 0)
        return fileName;
    std::size_t pos = line.find_first_not_of(" \t", 2);
    if (pos == std::string::npos)
        return fileName;
    return line.substr(pos, 19);
}

DemoGrid DemoLayout(int count)
{
    if (count <= 0)
        return {};
    int rows = count < 4 ? 1 : count < 9 ? 2 : count < 16 ? 3 : 4;
    return {rows, (count + rows - 1) / rows};
}

} // namespace kyd::app
