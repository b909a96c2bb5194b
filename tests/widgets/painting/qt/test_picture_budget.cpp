// What pictures decode to is counted before they are decoded: a tiny list
// file whose offsets all name one small run-length picture loads or is
// refused within the containers' 256 MB, and a decode that fails is an
// error, never an item without its picture.
#include "support_held_pictures.h"
#include "support_list_file_bytes.h"
#include "memory_bound.h"
#include "widgets/painting/bmp_format.h"
#include "widgets/painting/qt/image_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

using namespace kyd::widgets;
using namespace kyd::widgets::test;
namespace fs = std::filesystem;

namespace {

// Loads the file into the list in a child whose heap may grow by the
// containers' 256 MB at most. Reports anything but a load that succeeded
// with every item whole, or a refusal with the library's error; "peak"
// when the load took more than 256 MB at its peak or holds more at its end.
std::string LoadInBoundedChild(const std::string& path, TDUDCustomImageList& list)
{
    const auto r = kyd::test::runWithinMemoryBound([&]() -> std::string {
        ::alarm(120); // a runaway load ends here rather than hanging the suite
        std::string report;
        try {
            list.LoadFromFile(path);
            for (int i = 0; i < list.Count(); ++i)
                if (!list.IsValidItem(i, 0))
                    report += "item " + std::to_string(i) + " loaded without its picture; ";
        } catch (const EDUDException& e) {
            if (std::string(e.what()) != "Cannot open file " + path)
                report += std::string("unexpected error: ") + e.what() + "; ";
        } catch (const std::exception& e) {
            report += std::string("not the library's error: ") + e.what() + "; ";
        }
        if (const std::int64_t held = PictureBytesHeld(list); held > kyd::test::kMemoryBoundBytes)
            report += "peak: the pictures hold " + std::to_string(held >> 20) + " MB";
        return report;
    });
    return r.report;
}

} // namespace

TEST(PictureBudget, TheDecodedSizeIsKnownBeforeDecoding)
{
    const Bytes rle = RunLengthPicture(32000, 1000);
    EXPECT_EQ(DUDBmpDecodedBytes(rle.data(), rle.size()), 4LL * 32000 * 1000);
    // A run-length picture decoding past the bound of one picture is
    // refused whatever it takes to store.
    const Bytes huge = RunLengthPicture(10000, 7000);
    EXPECT_THROW(DUDCheckBmp(huge.data(), huge.size()), EReadError);
}

TEST(PictureBudget, ImageListWhoseOffsetsShareOneRunLengthPicture)
{
    const TempListDir dir("kyd_picbudget_");
    // 8 offsets at an image of 32768 x 800: 105 MB a copy once held at four
    // bytes a pixel, 917 MB in all.
    const std::string path = dir.Write(
        "shared.iml", SharedOffsetList(lftImageList, 8, ifData, ImageBody(32768, 800, RunLengthPicture(32768, 800))));
    ASSERT_LT(fs::file_size(path), 1200u);
    TDUDImageList list;
    EXPECT_EQ(LoadInBoundedChild(path, list), "");
}

TEST(PictureBudget, BitmapListWhoseOffsetsShareOneRunLengthPicture)
{
    const TempListDir dir("kyd_picbudget_");
    // 16 offsets at a picture of 32 million pixels: 512 MB in all even at
    // the one byte a pixel it is held at.
    const std::string path = dir.Write(
        "shared.bml", SharedOffsetList(lftBitmapList, 16, ifData, BitmapBody(RunLengthPicture(32000, 1000))));
    ASSERT_LT(fs::file_size(path), 1200u);
    TDUDBitmapList list;
    EXPECT_EQ(LoadInBoundedChild(path, list), "");
}

TEST(PictureBudget, PicturesWithinTheBudgetLoad)
{
    // Two offsets at a picture of 20 million pixels: 160 MB in all.
    TDUDBitmapList list;
    TMemoryStream s(SharedOffsetList(lftBitmapList, 2, ifData, BitmapBody(RunLengthPicture(4000, 5000))));
    EXPECT_EQ(stReadString(s), DUDICGetSignature(lftBitmapList));
    list.LoadFromStream(s);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Dimensions(1, 0), 4000);
    EXPECT_EQ(list.Dimensions(1, 1), 5000);
}

namespace {

// A 24-bit picture of w x h whose pixels tell where they are.
QImage Gradient(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgb(x & 255, y & 255, (x + y) & 255);
    }
    return img;
}

std::string FileBytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Saving the list over a file that holds "old" is refused with the
// library's error before anything is written.
std::string SaveIsRefused(const TDUDCustomContainer& list, const std::string& path)
{
    std::ofstream(path, std::ios::binary) << "old";
    try {
        list.SaveToFile(path);
        return "saved";
    } catch (const EWriteError&) {
    } catch (const std::exception& e) {
        return std::string("not the library's error: ") + e.what();
    }
    return FileBytes(path) == "old" ? "" : "the old file was changed";
}

} // namespace

// The most a list may take read back: pictures at the four bytes a pixel
// they are held at, counted once, coming to 256,000,000 bytes, and the 12 MB
// of one stored picture while it is decoded (268,000,054 of 268,435,456).
// Such a list saves and loads again; with one picture of 400 x 400 more it
// would not, and saving refuses it up front.
TEST(PictureBudget, AListThatSavesLoadsRightUpToTheBudget)
{
    const TempListDir dir("kyd_picbudget_");
    const QImage picture = Gradient(2000, 2000); // shared by every item
    {
        // Sixteen bitmaps of 2000 x 2000 (16 MB each held, a file of 192 MB).
        TDUDBitmapList list;
        for (int i = 0; i < 16; ++i) {
            auto* item = static_cast<TDUDBitmapListItem*>(list.Add());
            item->SetBitmap(picture);
            item->SetDescription("picture " + std::to_string(i));
        }
        const std::string path = (dir.path / "most.bml").string();
        list.SaveToFile(path);
        EXPECT_GT(fs::file_size(path), 192'000'000u);
        TDUDBitmapList back;
        ASSERT_NO_THROW(back.LoadFromFile(path));
        ASSERT_EQ(back.Count(), 16);
        for (int i = 0; i < 16; i += 5) {
            EXPECT_EQ(back.GetItem(i)->Description(), "picture " + std::to_string(i));
            const QImage& b = back.Item(i)->Bitmap();
            ASSERT_EQ(b.size(), QSize(2000, 2000));
            EXPECT_EQ(b.pixel(1999, 1234) & 0xFFFFFF, picture.pixel(1999, 1234) & 0xFFFFFF);
        }
        back.Clear();
        static_cast<TDUDBitmapListItem*>(list.Add())->SetBitmap(Gradient(400, 400));
        EXPECT_EQ(SaveIsRefused(list, path), "");
    }
    {
        // Eight masked image items of one 2000 x 2000 image: the strip and
        // the mask each held at 16 MB (a file of 100 MB).
        TDUDImageListItem made;
        made.ConvertBmpToIML(picture, 1, true);
        TDUDImageList list;
        for (int i = 0; i < 8; ++i)
            list.Add()->Assign(made);
        const std::string path = (dir.path / "most.iml").string();
        list.SaveToFile(path);
        TDUDImageList back;
        ASSERT_NO_THROW(back.LoadFromFile(path));
        ASSERT_EQ(back.Count(), 8);
        for (int i = 0; i < 8; i += 7) {
            ASSERT_EQ(back.ItemCount(i), 1);
            EXPECT_TRUE(back.Masked(i));
            EXPECT_EQ(back.Item(i)->Images().pixel(1234, 1999) & 0xFFFFFF, picture.pixel(1234, 1999) & 0xFFFFFF);
        }
        back.Clear();
        auto* more = static_cast<TDUDImageListItem*>(list.Add());
        more->ConvertBmpToIML(Gradient(400, 400), 1, false);
        EXPECT_EQ(SaveIsRefused(list, path), "");
    }
}

namespace {

// Reads the item's record back under a budget of `bytes`: whether it fit.
bool ReadsBackWithin(const TDUDListItem& item, std::int64_t bytes)
{
    TMemoryStream s;
    item.WriteData(s);
    s.SetPosition(0);
    const auto back = item.NewEmpty();
    TDUDReadBudget budget(bytes);
    try {
        back->ReadData(s);
        return true;
    } catch (const EReadError&) {
        return false;
    }
}

} // namespace

// What a save counts for an item is what reading it back takes: a record
// reads within it, and (where the read holds all of it at its peak) not
// within a byte less.
TEST(PictureBudget, EveryItemReadsBackWithinWhatItsSaveCounted)
{
    std::vector<std::unique_ptr<TDUDListItem>> exact;
    for (const bool compressed : {false, true}) {
        for (const int format : {0, 1, 3}) {
            auto b = std::make_unique<TDUDBitmapListItem>();
            b->SetBitmap(Gradient(301, 77));
            b->SetSavePixelFormat(format);
            b->SetCompressed(compressed);
            exact.push_back(std::move(b));
        }
        auto image = std::make_unique<TDUDImageListItem>();
        image->ConvertBmpToIML(Gradient(90, 30), 3, false);
        image->SetCompressed(compressed);
        exact.push_back(std::move(image));
        auto strings = std::make_unique<TDUDStringListItem>();
        strings->Items = {"one", "", "three lines"};
        strings->SetCompressed(compressed);
        exact.push_back(std::move(strings));
        auto data = std::make_unique<TDUDGenericListItem>();
        data->Data.assign(5000, 7);
        data->SetCompressed(compressed);
        exact.push_back(std::move(data));
    }
    for (const auto& item : exact) {
        const TDUDReadCost cost = item->ReadCost();
        EXPECT_GT(cost.Held, 0);
        EXPECT_TRUE(ReadsBackWithin(*item, cost.Held + cost.Passing)) << typeid(*item).name();
        EXPECT_FALSE(ReadsBackWithin(*item, cost.Held + cost.Passing - 1)) << typeid(*item).name();
    }
    // A masked item holds its two strips (each a picture object too), and
    // one stored strip at a time.
    TDUDImageListItem masked;
    masked.ConvertBmpToIML(Gradient(90, 30), 3, true);
    const TDUDReadCost cost = masked.ReadCost();
    EXPECT_EQ(cost.Held, 2 * (4 * 90 * 30 + kDUDPictureObjectBytes));
    EXPECT_TRUE(ReadsBackWithin(masked, cost.Held + cost.Passing));
    // An empty item costs nothing.
    EXPECT_EQ(TDUDBitmapListItem().ReadCost().Held + TDUDImageListItem().ReadCost().Passing, 0);
}
