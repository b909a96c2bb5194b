// Mutation testing of the picture and sound loaders: the stored list files
// (data/lists/) and hand-made run-length pictures, each mutated a few
// hundred times by a fixed-seed generator, are loaded into their
// containers and through the single-item readers. Each load either
// succeeds with whole items that save and load again, or fails with the
// library's own error; the suite runs under AddressSanitizer too, in a
// child process whose memory is bounded.
#include "support_held_pictures.h"
#include "support_list_file_bytes.h"
#include "memory_bound.h"
#include "widgets/painting/qt/bitmap_stream.h"
#include "widgets/painting/qt/image_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <unistd.h>

using namespace kyd::widgets;
using namespace kyd::widgets::test;
namespace fs = std::filesystem;

namespace {

constexpr int kMutationsPerSeed = 400;

struct Seed {
    std::string name;
    int type;
    Bytes bytes;
};

Bytes ReadAll(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::vector<Seed> Seeds()
{
    std::vector<Seed> seeds;
    const fs::path lists = fs::path(KYD_TEST_DATA_DIR) / "lists";
    for (const char* name : {"bitmaps.bml", "bitmaps-compressed.bml", "images.iml", "images-compressed.iml",
                             "waves.wvl", "waves-compressed.wvl"}) {
        Bytes bytes = ReadAll(lists / name);
        TMemoryStream s(bytes);
        std::vector<std::int32_t> offsets;
        seeds.push_back({name, DUDListGetFileType(s, offsets), std::move(bytes)});
    }
    // Run-length pictures with every kind of code: runs, an end of line, an
    // absolute run, a jump and the end of the picture.
    const Bytes rle8 = RunLengthPicture(6, 3, 8, {3, 1, 3, 0, 0, 0, 0, 3, 1, 0, 1, 0, 0, 0, 0, 2, 2, 0, 0, 1});
    const Bytes rle4 = RunLengthPicture(6, 2, 4, {6, 0x10, 0, 0, 0, 4, 0x01, 0x10, 0, 1});
    seeds.push_back({"run-length 8 bml", lftBitmapList, SharedOffsetList(lftBitmapList, 1, ifData, BitmapBody(rle8))});
    seeds.push_back({"run-length 4 bml", lftBitmapList, SharedOffsetList(lftBitmapList, 1, ifData, BitmapBody(rle4))});
    seeds.push_back({"run-length iml", lftImageList,
                     SharedOffsetList(lftImageList, 1, ifData, ImageBody(3, 3, RunLengthPicture(6, 3, 8, {6, 1, 0, 1}), 2))});
    // Many offsets at one small run-length picture: a mutated size makes
    // every copy large, which only the containers' budget keeps in bounds.
    seeds.push_back({"shared offsets bml", lftBitmapList,
                     SharedOffsetList(lftBitmapList, 16, ifData, BitmapBody(RunLengthPicture(512, 512)))});
    return seeds;
}

// One to four changes: bits flipped, bytes and 32-bit numbers set to
// values at the edges, the end cut off, a piece repeated or taken out.
Bytes Mutate(Bytes b, std::mt19937& rng)
{
    auto pick = [&](std::size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    static const std::uint32_t edges[] = {0,          1,          2,          0x7F,       0x80,       0xFF,
                                          0x100,      0x7FFF,     0x8000,     0xFFFF,     0x10000,    0x7FFFFFFF,
                                          0x80000000, 0xFFFFFFFF, 0xFFFFFFFE, 32768,      32769};
    const int changes = 1 + static_cast<int>(pick(4));
    for (int c = 0; c < changes && !b.empty(); ++c) {
        const std::size_t at = pick(b.size());
        switch (pick(7)) {
        case 0: b[at] ^= static_cast<std::uint8_t>(1u << pick(8)); break;
        case 1: b[at] = static_cast<std::uint8_t>(edges[pick(6)]); break;
        case 2: {
            const std::uint32_t v = edges[pick(std::size(edges))];
            for (std::size_t i = 0; i < 4 && at + i < b.size(); ++i)
                b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
            break;
        }
        case 3: b.resize(at); break;
        case 4: {
            const std::size_t n = std::min<std::size_t>(1 + pick(64), b.size() - at);
            const Bytes piece(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + n));
            b.insert(b.begin() + static_cast<std::ptrdiff_t>(pick(b.size())), piece.begin(), piece.end());
            break;
        }
        case 5: {
            const std::size_t n = std::min<std::size_t>(1 + pick(64), b.size() - at);
            b.erase(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + n));
            break;
        }
        default: b[at] = static_cast<std::uint8_t>(pick(256)); break;
        }
    }
    return b;
}

std::unique_ptr<TDUDCustomImageList> PictureList(int type)
{
    if (type == lftBitmapList)
        return std::make_unique<TDUDBitmapList>();
    if (type == lftImageList)
        return std::make_unique<TDUDImageList>();
    return nullptr;
}

std::unique_ptr<TDUDCustomContainer> ListOf(int type)
{
    if (auto pictures = PictureList(type))
        return pictures;
    return std::make_unique<TDUDWaveList>();
}

// What is wrong with the loaded list's items: a picture item must hold its
// whole picture.
std::string BrokenItems(const TDUDCustomContainer& c)
{
    for (int i = 0; i < c.Count(); ++i) {
        if (auto* b = dynamic_cast<const TDUDBitmapListItem*>(c.GetItem(i))) {
            if (!b->GetEmpty() && (b->Bitmap().width() < 1 || b->Bitmap().height() < 1))
                return "bitmap item " + std::to_string(i) + " without a picture";
        } else if (auto* m = dynamic_cast<const TDUDImageListItem*>(c.GetItem(i))) {
            if (m->Count() > 0 && (m->Images().width() != m->Count() * m->Width() || m->Images().height() != m->Height() ||
                                   (m->Masked() && m->Mask().size() != m->Images().size())))
                return "image item " + std::to_string(i) + " with strips of the wrong size";
        }
    }
    return {};
}

// Loads the bytes every way; "" when each load either worked soundly or
// failed with the library's error. `loaded`: the whole list loaded.
std::string LoadEveryWay(int type, const Bytes& bytes, bool& loaded)
{
    try {
        // The whole list.
        auto list = ListOf(type);
        loaded = false;
        try {
            TMemoryStream s(bytes);
            if (s.Size() >= 9)
                stReadString(s);
            list->LoadFromStream(s);
            loaded = true;
        } catch (const EDUDException&) {
        }
        if (loaded) {
            if (std::string broken = BrokenItems(*list); !broken.empty())
                return broken;
            if (const std::int64_t held = PictureBytesHeld(*list); held > kyd::test::kMemoryBoundBytes)
                return "the pictures hold " + std::to_string(held >> 20) + " MB";
            TMemoryStream saved;
            list->SaveToStream(saved);
            saved.SetPosition(0);
            auto again = ListOf(type);
            again->LoadFromStream(saved);
            if (again->Count() != list->Count())
                return "saved and loaded again: another count";
        }
        // Each item on its own, at its offset.
        try {
            TMemoryStream s(bytes);
            std::vector<std::int32_t> offsets;
            if (DUDListGetFileType(s, offsets) == type)
                for (int i = 0; i < static_cast<int>(offsets.size()) && i < 8; ++i) {
                    auto item = ListOf(type)->NewItem();
                    try {
                        DUDListGetItemFromStream(s, offsets, i, *item);
                    } catch (const EDUDException&) {
                    }
                }
        } catch (const EDUDException&) {
        }
        // Every picture block found in the bytes, decoded on its own.
        for (std::size_t at = 0; at + 2 < bytes.size(); ++at)
            if (bytes[at] == 'B' && bytes[at + 1] == 'M')
                try {
                    DUDDecodeBmp(bytes.data() + at, bytes.size() - at);
                } catch (const EDUDException&) {
                }
        return {};
    } catch (const std::exception& e) {
        return std::string("not the library's error: ") + e.what();
    }
}

} // namespace

TEST(ListFileMutations, EveryLoaderRefusesOrLoadsSoundly)
{
    // One load at a time stays within the containers' budget, with room
    // for the program.
    const auto r = kyd::test::runWithinMemoryBound([]() -> std::string {
        ::alarm(600); // a load that hangs ends here
        std::string failures;
        int found = 0;
        for (const Seed& seed : Seeds()) {
            bool loaded = false;
            if (std::string first = LoadEveryWay(seed.type, seed.bytes, loaded); !first.empty() || !loaded)
                failures += seed.name + " as it stands: " + (loaded ? first : "refused") + "\n";
            std::mt19937 rng(20261207u);
            for (int i = 0; i < kMutationsPerSeed && found < 10; ++i) {
                const std::string what = LoadEveryWay(seed.type, Mutate(seed.bytes, rng), loaded);
                if (!what.empty()) {
                    failures += seed.name + " mutation " + std::to_string(i) + ": " + what + "\n";
                    ++found;
                }
            }
        }
        return failures;
    }, 2 * kyd::test::kMemoryBoundBytes);
    EXPECT_EQ(r.report, "");
}
