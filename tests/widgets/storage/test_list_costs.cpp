// What reading a list counts against the read budget is what the read holds
// in memory: each line of a string list and each item, even an empty one,
// at what it takes there, not only its stored bytes. A small file that
// would take far more is refused with the library's error before it is
// allocated, a load that memory cannot hold ends in the same error, and a
// list that saves loads again.
#include "support_list_file_bytes.h"
#include "memory_bound.h"
#include "widgets/storage/containers.h"
#include "widgets/storage/lzrw.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace kyd::widgets;
using namespace kyd::widgets::test;
namespace fs = std::filesystem;

namespace {

// A compressed stream of `count` bytes equal to `byte`, each block
// compressed once and repeated: small however large the count.
Bytes CompressedRun(std::int64_t count, std::uint8_t byte)
{
    const std::vector<std::uint8_t> full(kLZRWBlockSize, byte);
    const auto block = [&](std::int32_t n) { return DUDLZRWCompressBlock(full.data(), n); };
    const Bytes whole = block(kLZRWBlockSize);
    const auto rest = static_cast<std::int32_t>(count % kLZRWBlockSize);
    const Bytes tail = rest > 0 ? block(rest) : Bytes();
    Bytes out;
    const std::int64_t blocks = count / kLZRWBlockSize;
    const std::int64_t total = blocks * (4 + static_cast<std::int64_t>(whole.size())) +
                               (rest > 0 ? 4 + static_cast<std::int64_t>(tail.size()) : 0);
    Put32(out, static_cast<std::uint32_t>(total));
    for (std::int64_t b = 0; b < blocks; ++b) {
        Put32(out, static_cast<std::uint32_t>(whole.size()));
        out.insert(out.end(), whole.begin(), whole.end());
    }
    if (rest > 0) {
        Put32(out, static_cast<std::uint32_t>(tail.size()));
        out.insert(out.end(), tail.begin(), tail.end());
    }
    return out;
}

// Whether the record or data in s reads back under a budget of `bytes`.
template <class Read>
bool ReadsWithin(std::int64_t bytes, Read read)
{
    TDUDReadBudget budget(bytes);
    try {
        read();
        return true;
    } catch (const EReadError&) {
        return false;
    }
}

bool ItemReadsBackWithin(const TDUDListItem& item, std::int64_t bytes)
{
    TMemoryStream s;
    item.WriteData(s);
    s.SetPosition(0);
    const auto back = item.NewEmpty();
    return ReadsWithin(bytes, [&] { back->ReadData(s); });
}

std::string Loads(TDUDCustomContainer& list, const std::string& path)
{
    try {
        list.LoadFromFile(path);
        return "loaded " + std::to_string(list.Count()) + " items";
    } catch (const EDUDException& e) {
        if (std::string(e.what()) != "Cannot open file " + path)
            return std::string("unexpected error: ") + e.what();
        return "";
    } catch (const std::exception& e) {
        return std::string("not the library's error: ") + e.what();
    }
}

} // namespace

TEST(ListCosts, TheLinesOfAStringListAreCountedAtWhatTheyHold)
{
    // 100,000 empty lines are stored in 200 KB but held as 100,000 string
    // objects.
    TDUDStringListItem many;
    many.Items.assign(100'000, std::string());
    many.SetDescription("kept");
    TMemoryStream s;
    many.WriteData(s);
    ASSERT_LT(s.Size(), 210'000);
    TDUDStringListItem back;
    back.Items = {"as it was"};
    s.SetPosition(0);
    EXPECT_FALSE(ReadsWithin(1 << 20, [&] { back.ReadData(s); }));
    EXPECT_EQ(back.Items, TStringList{"as it was"});
    EXPECT_GE(many.ReadCost().Held, 100'000 * static_cast<std::int64_t>(sizeof(std::string)));

    // Lines too long to be kept inside their object, and lines holding line
    // ends (they read back as more lines), read back within what their save
    // counted, and not within a byte less.
    for (const bool compressed : {false, true}) {
        TDUDStringListItem item;
        item.SetCompressed(compressed);
        item.SetDescription(std::string(200, 'd'));
        item.Items = {"short", std::string(100, 'x'), "two\r\nlines", "", "cr\r", std::string(5000, 'y'), "\n"};
        const TDUDReadCost cost = item.ReadCost();
        EXPECT_TRUE(ItemReadsBackWithin(item, cost.Held + cost.Passing));
        EXPECT_FALSE(ItemReadsBackWithin(item, cost.Held + cost.Passing - 1));
    }
}

TEST(ListCosts, EveryItemIsCountedAtWhatItTakesEvenEmpty)
{
    // 10,000 empty items: 50 KB stored, each an object in the list.
    TDUDStringList list;
    for (int i = 0; i < 10'000; ++i)
        list.Add();
    TMemoryStream s;
    list.SaveToStream(s);
    ASSERT_LT(s.Size(), 60'000);
    TDUDStringList back;
    back.Add()->SetDescription("kept");
    s.SetPosition(0);
    EXPECT_FALSE(ReadsWithin(500'000, [&] { back.LoadFromStream(s); }));
    ASSERT_EQ(back.Count(), 1);
    EXPECT_EQ(back.GetItem(0)->Description(), "kept");

    // A list reads back within what its save counted (the item with the
    // most passing bytes last, so that the peak is all of it).
    TDUDStringList mixed;
    for (int i = 0; i < 50; ++i) {
        auto* item = static_cast<TDUDStringListItem*>(mixed.Add());
        item->SetDescription(i % 2 ? "d" + std::string(i * 4, 'n') : "");
        item->Items.assign(static_cast<std::size_t>(i), std::string(static_cast<std::size_t>(i), 'l'));
    }
    TMemoryStream m;
    mixed.SaveToStream(m);
    const TDUDReadCost cost = mixed.ReadCost();
    m.SetPosition(0);
    EXPECT_TRUE(ReadsWithin(cost.Held + cost.Passing, [&] { back.LoadFromStream(m); }));
    EXPECT_EQ(back.Count(), 50);
    m.SetPosition(0);
    EXPECT_FALSE(ReadsWithin(cost.Held + cost.Passing - 1, [&] { TDUDStringList().LoadFromStream(m); }));
}

// A 256-million-line file of a few hundred KB: a compressed run of line
// feeds. Refused within the budget, in the library's error.
TEST(ListCosts, AStringListOfLineFeedsIsRefusedWithinTheBudget)
{
    const TempListDir dir("kyd_listcosts_");
    Bytes body = CompressedRun(256'000'000, '\n');
    const std::string path = dir.Write("feeds.sll", SharedOffsetList(lftStringList, 1, ifData | ifCompressed, body));
    ASSERT_LT(fs::file_size(path), 400'000u);
    const auto r = kyd::test::runWithinMemoryBound([&]() -> std::string {
        TDUDStringList list;
        return Loads(list, path);
    });
    EXPECT_EQ(r.report, "");
}

// 10 million offsets naming one empty string item: a file of 50 MB (a byte
// for each item after the table, as a list of empty items takes) that
// would make 10 million items.
TEST(ListCosts, ManyOffsetsAtOneEmptyItemAreRefusedWithinTheBudget)
{
    const TempListDir dir("kyd_listcosts_");
    const std::string path =
        dir.Write("offsets.sll", SharedOffsetList(lftStringList, 10'000'000, 0, Bytes(10'000'000, 0)));
    const auto r = kyd::test::runWithinMemoryBound([&]() -> std::string {
        TDUDStringList list;
        std::string report = Loads(list, path);
        std::vector<std::int32_t> offsets;
        TDUDStringListItem item;
        // One item at a time is read as it is.
        if (!DUDListGetItemFromFile(path, lftStringList, &offsets, item, 9'999'999))
            report += "the last item could not be read";
        return report;
    });
    EXPECT_EQ(r.report, "");
}

// A list the budget allows but memory does not hold ends in the library's
// error, the list as it was.
TEST(ListCosts, ALoadThatMemoryCannotHoldEndsInTheLibrarysError)
{
#ifdef KYD_TEST_UNDER_ASAN
    GTEST_SKIP() << "a failed allocation ends the process under AddressSanitizer";
#else
    const TempListDir dir("kyd_listcosts_");
    const std::string path = (dir.path / "lines.sll").string();
    // Made in a child of its own, so that the heap the test's child starts
    // with has no room left over from making it.
    const auto made = kyd::test::runInChild([&]() -> std::string {
        TDUDStringList list;
        auto* item = static_cast<TDUDStringListItem*>(list.Add());
        item->SetCompressed(true);
        item->Items.assign(1'000'000, std::string(40, 'w'));
        list.SaveToFile(path);
        return "";
    });
    ASSERT_EQ(made.report, "");
    const auto r = kyd::test::runInChild([&]() -> std::string {
        TDUDStringList list;
        list.Add()->SetDescription("kept");
        std::string report;
        {
            const kyd::test::HeapGrowthLimit limit(64 << 20);
            if (!limit.ok())
                return kyd::test::kChildUnavailable;
            report = Loads(list, path);
        }
        if (list.Count() != 1 || list.GetItem(0)->Description() != "kept")
            report += "; the list was changed";
        // With memory it loads.
        if (Loads(list, path) != "loaded 1 items")
            report += "; it does not load with memory";
        return report;
    });
    if (r.skipped)
        GTEST_SKIP() << "the heap cannot be limited here";
    EXPECT_EQ(r.report, "");
#endif
}
