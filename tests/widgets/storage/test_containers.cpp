// Containers, item records and list files: golden bytes, round trips, and
// damaged files that are refused without touching the container.
#include "widgets/storage/color_lists.h"
#include "widgets/storage/containers.h"
#include "widgets/painting/frames.h"
#include "widgets/painting/utils.h"
#include "widgets/painting/gradient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

using namespace kyd::widgets;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Hex(const std::string& text)
{
    Bytes out;
    for (std::size_t i = 0; i + 1 < text.size() + 1; i += 3)
        out.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

struct TempDir {
    fs::path path = fs::temp_directory_path() / ("kyd_cont_" + std::to_string(::getpid()));
    TempDir() { fs::create_directories(path); }
    ~TempDir() { fs::remove_all(path); }
    std::string File(const std::string& name) const { return (path / name).string(); }
};

Bytes ReadAll(const std::string& name)
{
    std::ifstream f(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& name, const Bytes& b)
{
    std::ofstream f(name, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

Bytes Saved(const TDUDCustomContainer& c)
{
    TMemoryStream s;
    stWriteString(s, DUDICGetSignature(c.FileType()));
    c.SaveToStream(s);
    return s.Bytes();
}

} // namespace

TEST(WidgetContainers, GoldenStringAndGenericListFiles)
{
    TempDir dir;
    TDUDStringList strings;
    auto* s = static_cast<TDUDStringListItem*>(strings.Add());
    s->SetDescription("ab");
    s->SetIdent(7);
    s->Items = {"x", "y"};
    strings.SaveToFile(dir.File("s.sll"));
    EXPECT_EQ(Hex("08 44 55 44 53 4C 4C 33 30 01 00 00 00 11 00 00 00 0E 02 61 62 07 00 00 00 06 00 00 00 78 0D 0A "
                  "79 0D 0A"),
              ReadAll(dir.File("s.sll")));

    WriteAll(dir.File("f.bin"), {'A', 'B'});
    TDUDGenericList generic;
    static_cast<TDUDGenericListItem*>(generic.Add())->LoadFromFile(dir.File("f.bin"));
    generic.SaveToFile(dir.File("g.gll"));
    EXPECT_EQ(Hex("08 44 55 44 47 4C 4C 35 30 01 00 00 00 11 00 00 00 08 02 00 00 00 41 42 05 66 2E 62 69 6E"),
              ReadAll(dir.File("g.gll")));

    // A missing file empties a generic item.
    auto* g = static_cast<TDUDGenericListItem*>(generic.GetItem(0));
    g->LoadFromFile(dir.File("none"));
    EXPECT_TRUE(g->GetEmpty());
    // An empty item writes its flag byte and the (empty) file name only.
    TMemoryStream rec;
    g->WriteData(rec);
    EXPECT_EQ(Hex("00 00"), rec.Bytes());

    TDUDStringList empty;
    TMemoryStream e;
    empty.SaveToStream(e);
    EXPECT_EQ(Hex("00 00 00 00"), e.Bytes());
}

TEST(WidgetContainers, EveryKindRoundTripsPlainAndCompressed)
{
    TempDir dir;
    for (bool compressed : {false, true}) {
        TDUDStringList strings;
        strings.DefaultCompressed = compressed;
        for (int i = 0; i < 3; ++i) {
            auto* item = static_cast<TDUDStringListItem*>(strings.Add());
            item->SetDescription("item " + std::to_string(i));
            item->SetIdent(static_cast<std::uint16_t>(i * 100));
            item->Items = TStringList(static_cast<std::size_t>(i * 50), std::string(i + 1, 'q'));
        }
        strings.SaveToFile(dir.File("a.sll"));
        TDUDStringList back;
        back.LoadFromFile(dir.File("a.sll"));
        ASSERT_EQ(3, back.Count());
        EXPECT_EQ(Saved(strings), Saved(back));
        EXPECT_EQ(100, back.GetItem(1)->Ident());
        EXPECT_EQ(compressed, back.GetItem(2)->Compressed());
        EXPECT_EQ(back.GetItem(2), back.GetItemByName("item 2"));

        TDUDGenericList generic;
        generic.DefaultCompressed = compressed;
        auto* gi = static_cast<TDUDGenericListItem*>(generic.Add());
        gi->Data.assign(5000, 0x5A);
        gi->FileName = "data.bin";
        generic.Add(); // an empty item
        generic.SaveToFile(dir.File("a.gll"));
        TDUDGenericList gback;
        gback.LoadFromFile(dir.File("a.gll"));
        EXPECT_EQ(Saved(generic), Saved(gback));

        // The form's own property carries no offsets.
        TMemoryStream plain;
        strings.WriteData(plain, false);
        plain.SetPosition(0);
        TDUDStringList fromPlain;
        fromPlain.ReadData(plain, false);
        EXPECT_EQ(Saved(strings), Saved(fromPlain));
    }
}

TEST(WidgetContainers, DamagedOrForeignFilesChangeNothing)
{
    TempDir dir;
    TDUDStringList strings;
    auto* item = static_cast<TDUDStringListItem*>(strings.Add());
    item->SetDescription("d");
    item->Items = {"one", "two"};
    strings.Add()->SetIdent(3);
    strings.SaveToFile(dir.File("ok.sll"));
    const Bytes good = ReadAll(dir.File("ok.sll"));

    TDUDStringList target;
    static_cast<TDUDStringListItem*>(target.Add())->Items = {"keep"};
    const Bytes before = Saved(target);
    for (std::size_t cut = 0; cut < good.size(); ++cut) {
        WriteAll(dir.File("cut.sll"), Bytes(good.begin(), good.begin() + static_cast<long>(cut)));
        try {
            target.LoadFromFile(dir.File("cut.sll"));
            ADD_FAILURE() << "a file cut at " << cut << " was accepted";
        } catch (const EDUDException& e) {
            EXPECT_EQ("Cannot open file " + dir.File("cut.sll"), e.what());
        }
        ASSERT_EQ(before, Saved(target)) << cut;
    }
    // A count or an offset pointing past the end.
    Bytes bad = good;
    bad[9] = 0xFF;
    WriteAll(dir.File("bad.sll"), bad);
    EXPECT_THROW(target.LoadFromFile(dir.File("bad.sll")), EDUDException);
    bad = good;
    bad[13] = 0xF0;
    WriteAll(dir.File("bad.sll"), bad);
    EXPECT_THROW(target.LoadFromFile(dir.File("bad.sll")), EDUDException);
    EXPECT_EQ(before, Saved(target));

    // Another type's file.
    TDUDGenericList generic;
    EXPECT_THROW(generic.LoadFromFile(dir.File("ok.sll")), EDUDException);
    std::vector<std::int32_t> offsets{1, 2};
    Bytes unknown = good;
    unknown[1] = 'X';
    WriteAll(dir.File("u.sll"), unknown);
    EXPECT_EQ(lftUnknown, DUDListGetFileType(dir.File("u.sll"), offsets));
    EXPECT_TRUE(offsets.empty());

    // Single items.
    EXPECT_EQ(lftStringList, DUDListGetFileType(dir.File("ok.sll"), offsets));
    ASSERT_EQ(2u, offsets.size());
    TDUDStringListItem one;
    EXPECT_TRUE(DUDListGetItemFromFile(dir.File("ok.sll"), lftStringList, one, 0));
    EXPECT_EQ((TStringList{"one", "two"}), one.Items);
    EXPECT_FALSE(DUDListGetItemFromFile(dir.File("ok.sll"), lftStringList, one, 2));
    EXPECT_THROW(DUDListGetItemFromFile(dir.File("ok.sll"), lftWaveList, one, 0), EDUDException);
    EXPECT_EQ(".sll", DUDICGetSuffix(lftStringList, true));
    EXPECT_EQ("*", DUDICGetItemSuffix(lftGenericList, false));
}

TEST(WidgetContainers, ChangesReachLinksAndDestroyedContainersDetach)
{
    auto list = std::make_unique<TDUDStringList>();
    TDUDChangeLink link;
    int changes = 0, removed = 0;
    link.OnChange = [&] { ++changes; };
    link.OnRemoved = [&] { ++removed; };
    list->RegisterChanges(&link);
    list->Add();
    list->GetItem(0)->SetDescription("x");
    list->Add();
    list->Move(0, 1);
    EXPECT_EQ(1, list->IndexOf(list->GetItemByName("x")));
    list->Delete(0);
    EXPECT_EQ(5, changes);
    EXPECT_THROW(list->Add(std::make_unique<TDUDGenericListItem>()), EDUDException);
    list.reset();
    EXPECT_EQ(1, removed);
    EXPECT_EQ(nullptr, link.Sender());
}

TEST(WidgetGradients, ColourListsAndSegments)
{
    TDUDColorList list;
    DUDGradientCreateColorList(clBlack, clWhite, 3, list, true);
    EXPECT_EQ((TDUDColorList{0x000000, 0x808080, 0xFFFFFF}), list);
    DUDGradientCreateColorList(clWhite, clRed, 2, list, false); // continues without the joint colour
    EXPECT_EQ((TDUDColorList{0x000000, 0x808080, 0xFFFFFF, 0x0000FF}), list);
    DUDGradientCreateColorList(clRed, clBlue, 1, list, true);
    EXPECT_EQ((TDUDColorList{clRed}), list);
    DUDGradientCreateColorList(clRed, clBlue, 0, list, true);
    EXPECT_EQ((TDUDColorList{clRed}), list);
    EXPECT_EQ(clRed, DUDGradientGetColor(clRed, clBlue, 3, 0));

    TDUDGradient g;
    EXPECT_EQ(16u, g.Steps().size());
    int changes = 0;
    g.OnChange = [&](void*) { ++changes; };
    g.SetTwoColors(false);
    EXPECT_TRUE(g.Steps().empty()); // no key colours: nothing to paint
    g.SetColors({clRed, clLime, clBlue});
    EXPECT_EQ(9u, g.Steps().size()); // two segments of 5, the joint once
    EXPECT_EQ(clRed, g.Steps().front());
    EXPECT_EQ(clLime, g.Steps()[4]);
    EXPECT_EQ(clBlue, g.Steps().back());
    g.SetColorCount(2); // fewer steps than keys
    EXPECT_TRUE(g.Steps().empty());
    EXPECT_EQ(3, changes);
    EXPECT_EQ("vertical, Col: 2, mult. col mode", g.GetSetStr());
}

TEST(WidgetUtilities, DividersAlignmentAndPlacement)
{
    using V = std::vector<std::string>;
    EXPECT_EQ((V{"1", "2", "3", "4", "6", "12"}), DUDGetDivider(12));
    EXPECT_EQ((V{"1", "2", "4", "8", "16"}), DUDGetDivider(16));
    EXPECT_EQ((V{"1"}), DUDGetDivider(1));
    EXPECT_TRUE(DUDGetDivider(0).empty());
    EXPECT_TRUE(DUDGetDivider(-4).empty());
    const V big = DUDGetDivider(1000000);
    ASSERT_EQ(49u, big.size());
    EXPECT_EQ("100", big[14]); // numerically sorted, not as text
    EXPECT_EQ("1000000", big.back());

    const TRect item{0, 0, 10, 4};
    const TRect area{10, 20, 41, 31};
    EXPECT_EQ((TRect{10, 20, 20, 24}), DUDAlignRect(TDUDAlignment::agTopLeft, item, area));
    EXPECT_EQ((TRect{20, 23, 30, 27}), DUDAlignRect(TDUDAlignment::agCenter, item, area));
    EXPECT_EQ((TRect{31, 27, 41, 31}), DUDAlignRect(TDUDAlignment::agBottomRight, item, area));

    const TRect screen{0, 0, 800, 600};
    EXPECT_EQ((TPoint{0, 0}), DUDCenterWindowPos(screen, 1000, 700, false));
    EXPECT_EQ((TPoint{300, 200}), DUDCenterWindowPos(screen, 200, 200, false));
    EXPECT_EQ((TPoint{300, 133}), DUDCenterWindowPos(screen, 200, 200, true));
    EXPECT_EQ((TPoint{550, 450}), DUDPositionWindowPos({0, 0, 750, 650}, screen, 200, 200,
                                                       TDUDDlgPosition::bpBottomRight));
    EXPECT_EQ((TPoint{0, 0}), DUDPositionWindowPos({-50, -50, 100, 100}, screen, 20, 20, TDUDDlgPosition::bpTopLeft));
    EXPECT_EQ((TPoint{600, 300}), DUDCenterChildPos({500, 200, 900, 500}, screen, 200, 100));
}

TEST(WidgetUtilities, CustomColourListsInIniFiles)
{
    TempDir dir;
    const std::string file = dir.File("colors.ini");
    WriteAll(file, {'[', 'x', ']', '\n', 'k', '=', '1', '\n'});
    EXPECT_TRUE(DUDSaveCustomColorToIniFile(file, "Custom Colors", {"ColorA=FFFFFF", "no equals", "ColorB=a=b", "=x"}));
    TStringList back{"stale"};
    DUDLoadCustomColorFromIniFile(file, "Custom Colors", back);
    EXPECT_EQ((TStringList{"ColorA=FFFFFF", "ColorB=a=b"}), back);
    DUDLoadCustomColorFromIniFile(file, "x", back); // other sections are kept
    EXPECT_EQ((TStringList{"k=1"}), back);
    DUDLoadCustomColorFromIniFile(dir.File("missing.ini"), "Custom Colors", back);
    EXPECT_TRUE(back.empty());
}

TEST(WidgetUtilities, GlyphAndTextPlacedTogether)
{
    using A = TDUDTextArrange;
    const TRect area{0, 0, 100, 40};
    const TPoint glyph{16, 16}, text{30, 10};
    auto p = DUDGlyphTextPlace(A::taRight, TDUDAlignment::agCenter, 2, {}, glyph, text, area);
    EXPECT_EQ((TRect{26, 12, 42, 28}), p.Glyph); // block 48 x 16 centred
    EXPECT_EQ((TRect{44, 15, 74, 25}), p.Text);
    p = DUDGlyphTextPlace(A::taTopLeft, TDUDAlignment::agTopLeft, 4, {1, 2}, glyph, text, area);
    EXPECT_EQ((TRect{1, 2, 31, 12}), p.Text);
    EXPECT_EQ((TRect{1, 16, 17, 32}), p.Glyph);
    p = DUDGlyphTextPlace(A::taLeft, TDUDAlignment::agBottomRight, 2, {}, {}, text, area);
    EXPECT_EQ((TRect{70, 30, 100, 40}), p.Text); // no glyph, no spacing
    EXPECT_TRUE(p.Glyph.IsEmpty());
}

TEST(WidgetGradients, TiesRoundUpWhicheverWayTheGradientRuns)
{
    TDUDColorList list;
    DUDGradientCreateColorList(clWhite, clBlack, 3, list, true);
    EXPECT_EQ((TDUDColorList{0xFFFFFF, 0x808080, 0x000000}), list);
    DUDGradientCreateColorList(clRed, clBlue, 3, list, true);
    EXPECT_EQ(RGB(0x80, 0, 0x80), list[1]);
    // Any gradient read backwards is the reverse gradient.
    const TColor keys[] = {clBlack, clWhite, clRed, clBlue, RGB(3, 200, 77), RGB(250, 1, 128)};
    for (TColor a : keys)
        for (TColor b : keys)
            for (int n = 2; n <= 9; ++n) {
                TDUDColorList ab, ba;
                DUDGradientCreateColorList(a, b, n, ab, true);
                DUDGradientCreateColorList(b, a, n, ba, true);
                std::reverse(ba.begin(), ba.end());
                EXPECT_EQ(ab, ba) << std::hex << a << " " << b << " " << std::dec << n;
            }
}

TEST(WidgetContainers, ItemsCopyAndTakeOnlyTheDataOfTheirOwnKind)
{
    TDUDGenericListItem generic;
    generic.Data = {1, 2, 3};
    generic.FileName = "f.bin";
    generic.SetDescription("d");
    generic.SetIdent(7);

    auto copy = generic.NewEmpty();
    ASSERT_NE(nullptr, dynamic_cast<TDUDGenericListItem*>(copy.get()));
    EXPECT_TRUE(copy->GetEmpty());
    copy->Assign(generic);
    auto& g = static_cast<TDUDGenericListItem&>(*copy);
    EXPECT_EQ(generic.Data, g.Data);
    EXPECT_EQ("f.bin", g.FileName);
    EXPECT_EQ("d", g.Description());
    EXPECT_EQ(7, g.Ident());
    g.FreeData(); // the data goes, the file name it came from stays
    EXPECT_TRUE(g.GetEmpty());
    EXPECT_EQ("f.bin", g.FileName);

    // From another kind only the description, ident and flag are taken.
    TDUDStringListItem strings;
    strings.Items = {"x"};
    strings.Assign(generic);
    EXPECT_EQ(TStringList{"x"}, strings.Items);
    EXPECT_EQ("d", strings.Description());
    EXPECT_EQ(7, strings.Ident());

    // A record read back whole replaces the data; a cut one leaves it.
    TMemoryStream s;
    generic.WriteData(s);
    Bytes record = s.Bytes();
    TDUDGenericListItem read;
    read.Data = {9};
    TMemoryStream cut(Bytes(record.begin(), record.end() - 2));
    EXPECT_THROW(read.ReadData(cut), EReadError);
    EXPECT_EQ(Bytes{9}, read.Data);
    TMemoryStream whole(record);
    read.ReadData(whole);
    EXPECT_EQ(generic.Data, read.Data);
    EXPECT_EQ("f.bin", read.FileName);
}

namespace {

// A string list of `n` items "s<i>" with ident i + 1 and one line each.
std::unique_ptr<TDUDStringList> Numbered(int n, const std::string& prefix = "s")
{
    auto list = std::make_unique<TDUDStringList>();
    for (int i = 0; i < n; ++i) {
        auto* item = static_cast<TDUDStringListItem*>(list->Add());
        item->SetDescription(prefix + std::to_string(i));
        item->SetIdent(static_cast<std::uint16_t>(i + 1));
        item->Items = {prefix + " line " + std::to_string(i)};
    }
    return list;
}

} // namespace

TEST(WidgetContainers, AddListAssignAndPrefix)
{
    auto source = Numbered(2, "a");
    auto target = Numbered(1, "b");
    int changes = 0;
    target->OnChange = [&](void*) { ++changes; };

    // AddList appends copies, in one change.
    target->AddList(*source);
    EXPECT_EQ(1, changes);
    ASSERT_EQ(3, target->Count());
    EXPECT_EQ("b0", target->GetItem(0)->Description());
    EXPECT_EQ("a1", target->GetItem(2)->Description());
    EXPECT_EQ(2, target->GetItem(2)->Ident());
    auto* copy = static_cast<TDUDStringListItem*>(target->GetItem(1));
    EXPECT_EQ(TStringList{"a line 0"}, copy->Items);
    EXPECT_EQ(target.get(), copy->Container());
    copy->Items = {"changed"};
    EXPECT_EQ(TStringList{"a line 0"}, static_cast<TDUDStringListItem*>(source->GetItem(0))->Items);
    // The copies report to their new container.
    copy->SetDescription("renamed");
    EXPECT_EQ(2, changes);
    // Added to itself, a container takes a copy of each item it had, in
    // one change.
    changes = 0;
    target->AddList(*target);
    EXPECT_EQ(1, changes);
    ASSERT_EQ(6, target->Count());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(target->GetItem(i)->Description(), target->GetItem(i + 3)->Description());
        EXPECT_NE(target->GetItem(i), target->GetItem(i + 3));
        EXPECT_EQ(target.get(), target->GetItem(i + 3)->Container());
    }
    EXPECT_EQ(TStringList{"changed"}, static_cast<TDUDStringListItem*>(target->GetItem(4))->Items);
    target->AddList(TDUDStringList()); // nothing to add
    EXPECT_EQ(6, target->Count());

    // Assign replaces the items and takes the defaults, in one change.
    source->DefaultCompressed = true;
    source->DefaultPixelFormat = 2;
    changes = 0;
    target->Assign(*source);
    EXPECT_EQ(1, changes);
    ASSERT_EQ(2, target->Count());
    EXPECT_EQ("a0", target->GetItem(0)->Description());
    EXPECT_TRUE(target->DefaultCompressed);
    EXPECT_EQ(2, target->DefaultPixelFormat);
    EXPECT_EQ(Saved(*source), Saved(*target));

    // SetPrefix stores the prefix and reports; prefix 3 finds the sources
    // beside the list file.
    TDUDStringList bitmaps;
    bitmaps.FileName = "/data/lists/pictures.bml";
    bitmaps.Source = 4;
    changes = 0;
    bitmaps.OnChange = [&](void*) { ++changes; };
    bitmaps.SetPrefix(3);
    EXPECT_EQ(3, bitmaps.PathPrefix);
    EXPECT_EQ(1, changes);
    EXPECT_EQ("/data/lists/pic12.bmp", DUDBitmapItemSourceName(bitmaps, 12));
    bitmaps.SetSource(1);
    EXPECT_EQ("/data/lists/pictures.bml", DUDBitmapItemSourceName(bitmaps, 12));
}

TEST(WidgetContainers, OneItemAtATimeWithTheTableReadOnce)
{
    TempDir dir;
    const std::string file = dir.File("three.sll");
    Numbered(3)->SaveToFile(file);

    // Without a table the type is checked and the table filled.
    std::vector<std::int32_t> offsets;
    TDUDStringListItem item;
    ASSERT_TRUE(DUDListGetItemFromFile(file, lftStringList, &offsets, item, 1));
    EXPECT_EQ("s1", item.Description());
    ASSERT_EQ(3u, offsets.size());
    std::vector<std::int32_t> fromType;
    EXPECT_EQ(lftStringList, DUDListGetFileType(file, fromType));
    EXPECT_EQ(fromType, offsets);

    // With the table the items are read at their offsets.
    ASSERT_TRUE(DUDListGetItemFromFile(file, lftStringList, &offsets, item, 2));
    EXPECT_EQ("s2", item.Description());
    EXPECT_EQ(TStringList{"s line 2"}, item.Items);
    EXPECT_FALSE(DUDListGetItemFromFile(file, lftStringList, &offsets, item, 3));
    EXPECT_EQ("s2", item.Description());

    // A file of another type, without a table: refused, the table left empty.
    std::vector<std::int32_t> none;
    TDUDWaveListItem wave;
    try {
        DUDListGetItemFromFile(file, lftWaveList, &none, wave, 0);
        ADD_FAILURE() << "accepted";
    } catch (const EDUDException& e) {
        EXPECT_EQ("Cannot open file " + file, std::string(e.what()));
    }
    EXPECT_TRUE(none.empty());
    // A table that points outside the file reads nothing.
    std::vector<std::int32_t> wrong = {1 << 20};
    EXPECT_FALSE(DUDListGetItemFromFile(file, lftStringList, &wrong, item, 0));
}
