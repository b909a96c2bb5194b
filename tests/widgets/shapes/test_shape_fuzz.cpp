// Runs the shape and region fuzz entries over their seeds (every seed through
// every entry) and over a fixed sweep of pseudo-random inputs.
#include "support_shape_fuzz.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;
using namespace kyd::widgets::fuzz;

namespace {

using Entry = int (*)(const std::uint8_t*, std::size_t);
const std::pair<const char*, Entry> kEntries[] = {
    {"FuzzRegionData", FuzzRegionData},
    {"FuzzRegionMaskReaders", FuzzRegionMaskReaders},
    {"FuzzShapeOutline", FuzzShapeOutline},
    {"FuzzRegionGeometry", FuzzRegionGeometry},
    {"FuzzRegionBands", FuzzRegionBands},
    {"FuzzPointListRegion", FuzzPointListRegion},
    {"FuzzRegionOutlines", FuzzRegionOutlines},
    {"FuzzShapeSettings", FuzzShapeSettings},
};

TEST(ShapeFuzzEntries, SeedsAndARandomSweepRunThroughEveryEntry)
{
    std::vector<std::vector<std::uint8_t>> inputs;
    for (const auto& [name, entry] : kEntries) {
        const fs::path dir = fs::path(KYD_TEST_DATA_DIR) / "fuzz" / name;
        ASSERT_TRUE(fs::is_directory(dir)) << dir;
        for (const auto& f : fs::directory_iterator(dir)) {
            std::ifstream in(f.path(), std::ios::binary);
            inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    std::mt19937 rng(26);
    for (int i = 0; i < 300; ++i) {
        std::vector<std::uint8_t> b(rng() % 96);
        for (auto& c : b)
            c = static_cast<std::uint8_t>(rng());
        if (b.size() >= 12 && i % 2) { // a plausible region header now and then
            b[0] = 32; b[1] = b[2] = b[3] = 0;
            b[4] = 1; b[5] = b[6] = b[7] = 0;
            b[8] %= 5; b[9] = b[10] = b[11] = 0;
        }
        inputs.push_back(std::move(b));
    }
    for (const auto& in : inputs)
        for (const auto& [name, entry] : kEntries)
            ASSERT_EQ(entry(in.data(), in.size()), 0) << name;
}

} // namespace
