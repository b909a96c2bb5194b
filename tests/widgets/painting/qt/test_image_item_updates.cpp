// Image items change all or nothing: a conversion, a load or a move that
// fails leaves the item's images as they were, and no update is left open,
// so later changes still reach the container.
#include "memory_bound.h"
#include "widgets/painting/qt/bitmap_stream.h"
#include "widgets/painting/qt/bmp.h"
#include "widgets/painting/qt/image_list.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace kyd::widgets;
namespace fs = std::filesystem;

namespace {

const QRgb kColours[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};

// Three images of w x h, red, green and blue.
QImage ThreeColours(int w, int h)
{
    QImage img = DUDBmpCreate24(3 * w, h);
    QPainter p(&img);
    for (int i = 0; i < 3; ++i)
        p.fillRect(i * w, 0, w, h, QColor(kColours[i]));
    return img;
}

// The colours of the item's images, in order, as "RGB" letters.
std::string Order(const TDUDImageListItem& item)
{
    std::string order;
    for (int i = 0; i < item.Count(); ++i) {
        const QRgb c = item.Images().pixel(i * item.Width() + item.Width() / 2, item.Height() / 2) & 0xFFFFFF;
        order += c == (kColours[0] & 0xFFFFFF) ? 'R' : c == (kColours[1] & 0xFFFFFF) ? 'G' : c == (kColours[2] & 0xFFFFFF) ? 'B' : '?';
    }
    return order;
}

// An image list with one item of three 16 x 16 images, counting the changes
// that reach it.
struct Listed {
    TDUDImageList list;
    TDUDImageListItem* item;
    int changes = 0;
    Listed()
    {
        item = static_cast<TDUDImageListItem*>(list.Add());
        item->ConvertBmpToIML(ThreeColours(16, 16), 3, false);
        list.OnChange = [this](void*) { ++changes; };
    }
    // A later change of the item reaches the list.
    bool StillReported()
    {
        const int before = changes;
        item->SetDescription(item->Description() + "+");
        return changes == before + 1;
    }
};

std::string TempFile(const std::string& name)
{
    const fs::path dir = fs::temp_directory_path() / ("kyd_imlupd_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return (dir / name).string();
}

} // namespace

TEST(ImageItemUpdates, AFailedConversionKeepsTheImagesAndReportsLaterChanges)
{
    Listed l;
    // One image wider than a strip may grow.
    EXPECT_THROW(l.item->ConvertBmpToIML(DUDBmpCreate24(40000, 1), 1, false), EInvalidGraphicOperation);
    EXPECT_EQ(l.item->Count(), 3);
    EXPECT_EQ(l.item->Width(), 16);
    EXPECT_EQ(Order(*l.item), "RGB");
    EXPECT_EQ(l.changes, 0);
    EXPECT_TRUE(l.StillReported());

    // A good conversion is one change.
    l.changes = 0;
    l.item->ConvertBmpToIML(ThreeColours(8, 4), 6, true);
    EXPECT_EQ(l.changes, 1);
    EXPECT_EQ(l.item->Count(), 6);
    EXPECT_EQ(l.item->Width(), 4);
    EXPECT_TRUE(l.item->Masked());
}

TEST(ImageItemUpdates, AFailedLoadFromBitmapKeepsTheItem)
{
    const std::string wide = TempFile("wide.bmp");
    {
        const auto bytes = DUDBmpImage(DUDBmpCreate24(40000, 1), bfOwnDepth);
        std::ofstream(wide, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
    }
    Listed l;
    l.item->SetDescription("kept");
    l.changes = 0;
    try {
        l.item->LoadFromBitmap(wide, 1, false);
        ADD_FAILURE() << "accepted";
    } catch (const EDUDException& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + wide);
    }
    EXPECT_EQ(Order(*l.item), "RGB");
    EXPECT_EQ(l.item->Description(), "kept");
    EXPECT_EQ(l.changes, 0);
    EXPECT_TRUE(l.StillReported());

    // A good load: the images and the file's name, in one change.
    const std::string good = TempFile("three.bmp");
    {
        const auto bytes = DUDBmpImage(ThreeColours(8, 8), bfOwnDepth);
        std::ofstream(good, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
    }
    l.changes = 0;
    l.item->LoadFromBitmap(good, 3, false);
    EXPECT_EQ(l.changes, 1);
    EXPECT_EQ(l.item->Description(), "three.bmp");
    EXPECT_EQ(l.item->Width(), 8);
    EXPECT_EQ(Order(*l.item), "RGB");
    fs::remove_all(fs::path(good).parent_path());
}

TEST(ImageItemUpdates, AMoveThatRunsOutOfMemoryKeepsTheOrder)
{
    const auto r = kyd::test::runInChild([]() -> std::string {
        Listed l;
        // Three images of 4000 x 1000: a strip of 48 MB.
        l.item->ConvertBmpToIML(ThreeColours(4000, 1000), 3, false);
        l.changes = 0;
        std::string report;
        {
            // Room for one image, not for another strip.
            const kyd::test::HeapGrowthLimit limit(40 << 20);
            if (!limit.ok())
                return kyd::test::kChildUnavailable;
            try {
                l.item->Move(0, 2);
                report += "the move succeeded without memory; ";
            } catch (const EDUDException&) {
            }
        }
        if (Order(*l.item) != "RGB")
            report += "order " + Order(*l.item) + "; ";
        if (l.changes != 0)
            report += "a change was reported; ";
        if (!l.StillReported())
            report += "later changes are not reported; ";
        // With memory the move is one change.
        l.changes = 0;
        l.item->Move(0, 2);
        if (Order(*l.item) != "GBR" || l.changes != 1)
            report += "the move with memory gave " + Order(*l.item);
        return report;
    });
    if (r.skipped)
        GTEST_SKIP() << "the heap cannot be limited here";
    EXPECT_EQ(r.report, "");
}

TEST(ImageItemUpdates, NewItemsTakeTheListsDefaultPixelFormat)
{
    TDUDBitmapList bitmaps;
    bitmaps.DefaultPixelFormat = 1;
    auto* b = static_cast<TDUDBitmapListItem*>(bitmaps.Add());
    EXPECT_EQ(b->SavePixelFormat(), 1);
    b->SetBitmap(ThreeColours(4, 4));
    TMemoryStream s;
    b->SaveToStream(s);
    EXPECT_EQ(s.Bytes()[0], ifData | (1u << ifFormatShift)); // the record says 1 bit a pixel
    EXPECT_EQ(s.Bytes()[1 + 4 + 28], 1);                      // and so does the picture

    TDUDImageList images;
    images.DefaultPixelFormat = 3;
    EXPECT_EQ(static_cast<TDUDImageListItem*>(images.Add())->SavePixelFormat(), 3);
    // An item given to the list keeps its own.
    auto own = std::make_unique<TDUDImageListItem>();
    EXPECT_EQ(static_cast<TDUDImageListItem*>(images.Add(std::move(own)))->SavePixelFormat(), 0);
    // Read items take what their records say.
    TDUDImageList read;
    read.DefaultPixelFormat = 2;
    TMemoryStream saved;
    images.SaveToStream(saved);
    saved.SetPosition(0);
    read.LoadFromStream(saved);
    EXPECT_EQ(read.Item(0)->SavePixelFormat(), 3);
    EXPECT_EQ(read.Item(1)->SavePixelFormat(), 0);
}

// A move grows nothing: a strip filled to its last pixel under a growth
// step that would round it past the limit still reorders. Adding to it
// still grows by the step and is refused.
TEST(ImageItemUpdates, AFullStripMovesWhateverItsGrowthStep)
{
    TDUDImageListItem item;
    item.SetWidth(100);
    item.SetHeight(2);
    item.SetAllocBy(1);
    // 327 images of 100 pixels: 32,700 of the 32,768 a strip may take.
    QImage strip = DUDBmpCreate24(32700, 2);
    strip.fill(Qt::white);
    QPainter(&strip).fillRect(0, 0, 100, 2, QColor(kColours[0]));
    QPainter(&strip).fillRect(32600, 0, 100, 2, QColor(kColours[2]));
    item.Add(strip);
    ASSERT_EQ(item.Count(), 327);
    item.SetAllocBy(4); // 328 images would be too many
    int changes = 0;
    item.OnChange = [&](void*) { ++changes; };
    ASSERT_NO_THROW(item.Move(0, 326));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(item.Count(), 327);
    EXPECT_EQ(item.Images().width(), 32700);
    EXPECT_EQ(item.GetBitmap(326).pixel(50, 1) & 0xFFFFFF, kColours[0] & 0xFFFFFF);
    EXPECT_EQ(item.GetBitmap(325).pixel(50, 1) & 0xFFFFFF, kColours[2] & 0xFFFFFF);
    EXPECT_EQ(item.GetBitmap(0).pixel(50, 1) & 0xFFFFFF, 0xFFFFFFu);
    item.Move(326, 0);
    EXPECT_EQ(item.GetBitmap(0).pixel(50, 1) & 0xFFFFFF, kColours[0] & 0xFFFFFF);
    EXPECT_EQ(item.GetBitmap(326).pixel(50, 1) & 0xFFFFFF, kColours[2] & 0xFFFFFF);
    // Growing is held to the step.
    QImage one = DUDBmpCreate24(100, 2);
    EXPECT_THROW(item.Add(one), EInvalidGraphicOperation);
    EXPECT_EQ(item.Count(), 327);
}

// A strip made from one bitmap is made at its width: one image wider than
// a quarter of the limit fits (the growth step of 4 images does not count
// it four times over), one wider than the limit does not.
TEST(ImageItemUpdates, OneBitmapMakesAStripOfItsOwnWidth)
{
    for (const int width : {8193, 32768}) {
        TDUDImageListItem item;
        ASSERT_EQ(item.AllocBy(), 4);
        ASSERT_NO_THROW(item.ConvertBmpToIML(DUDBmpCreate24(width, 3), 1, true)) << width;
        EXPECT_EQ(item.Count(), 1);
        EXPECT_EQ(item.Width(), width);
        EXPECT_EQ(item.Mask().width(), width);
    }
    TDUDImageListItem item;
    EXPECT_THROW(item.ConvertBmpToIML(DUDBmpCreate24(32769, 1), 1, false), EInvalidGraphicOperation);
    EXPECT_EQ(item.Count(), 0);

    const std::string wide = TempFile("wide9000.bmp");
    {
        const auto bytes = DUDBmpImage(ThreeColours(3000, 4), bfOwnDepth);
        std::ofstream(wide, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
    }
    ASSERT_NO_THROW(item.LoadFromBitmap(wide, 1, false));
    EXPECT_EQ(item.Width(), 9000);
    EXPECT_EQ(item.Count(), 1);
    EXPECT_EQ(item.GetBitmap(0).pixel(8999, 3) & 0xFFFFFF, kColours[2] & 0xFFFFFF);
    fs::remove_all(fs::path(wide).parent_path());
}
