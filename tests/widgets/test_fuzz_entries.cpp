// Runs each fuzz entry point over the seed files (data/fuzz/<entry>/), and
// over every other entry's seeds too, so that the entries stay built and the
// seeds stay valid.
#include "support_fuzz_entries.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace kyd::widgets::fuzz;

namespace {

using Entry = int (*)(const std::uint8_t*, std::size_t);

const std::map<std::string, Entry>& Entries()
{
    static const std::map<std::string, Entry> entries = {
        {"FuzzLZRWExpand", FuzzLZRWExpand},
        {"FuzzLoadCompressedStream", FuzzLoadCompressedStream},
        {"FuzzStreamReaders", FuzzStreamReaders},
        {"FuzzWaveHeader", FuzzWaveHeader},
        {"FuzzCompressExpand", FuzzCompressExpand},
        {"FuzzMeminfo", FuzzMeminfo},
        {"FuzzMountTable", FuzzMountTable},
        {"FuzzOsRelease", FuzzOsRelease},
        {"FuzzIniConversions", FuzzIniConversions},
        {"FuzzListFile", FuzzListFile},
        {"FuzzContainerData", FuzzContainerData},
        {"FuzzListItemReaders", FuzzListItemReaders},
    };
    return entries;
}

std::vector<std::uint8_t> ReadFile(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(FuzzEntries, EverySeedRunsThroughEveryEntry)
{
    const fs::path root = fs::path(KYD_TEST_DATA_DIR) / "fuzz";
    std::vector<fs::path> seeds;
    for (const auto& [name, entry] : Entries()) {
        const fs::path dir = root / name;
        ASSERT_TRUE(fs::is_directory(dir)) << dir;
        const auto before = seeds.size();
        for (const auto& f : fs::directory_iterator(dir))
            seeds.push_back(f.path());
        EXPECT_GT(seeds.size(), before) << "no seeds for " << name;
    }
    for (const auto& seed : seeds) {
        const std::vector<std::uint8_t> bytes = ReadFile(seed);
        for (const auto& [name, entry] : Entries()) {
            SCOPED_TRACE(name + " on " + seed.string());
            EXPECT_EQ(entry(bytes.data(), bytes.size()), 0);
        }
    }
}
