// Picture lists count each item at what it takes in memory, its object and
// its decoded picture's, not only the picture's pixels: a list file whose
// millions of offsets all name one tiny picture is refused within the
// budget, in the library's error.
#include "support_list_file_bytes.h"
#include "memory_bound.h"
#include "widgets/painting/bmp_format.h"
#include "widgets/painting/qt/image_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace kyd::widgets;
using namespace kyd::widgets::test;
namespace fs = std::filesystem;

namespace {

// Loads in a child whose memory may grow by the budget at most: "" for the
// library's refusal.
std::string RefusedWithinTheBudget(TDUDCustomContainer& list, const std::string& path)
{
    return kyd::test::runWithinMemoryBound([&]() -> std::string {
               try {
                   list.LoadFromFile(path);
                   return "loaded " + std::to_string(list.Count()) + " items";
               } catch (const EDUDException& e) {
                   return std::string(e.what()) == "Cannot open file " + path ? ""
                                                                              : std::string("unexpected: ") + e.what();
               } catch (const std::exception& e) {
                   return std::string("not the library's error: ") + e.what();
               }
           })
        .report;
}

} // namespace

TEST(PictureListCosts, ManyOffsetsAtOneTinyPictureAreRefusedWithinTheBudget)
{
    const TempListDir dir("kyd_piccosts_");
    // A byte for each item after the table, as a list of empty items takes.
    const Bytes tiny = RunLengthPicture(1, 1);
    Bytes bitmap = BitmapBody(tiny), image = ImageBody(1, 1, tiny);
    bitmap.resize(5'000'000);
    image.resize(5'000'000);
    const std::string bml = dir.Write("tiny.bml", SharedOffsetList(lftBitmapList, 5'000'000, ifData, bitmap));
    TDUDBitmapList bitmaps;
    EXPECT_EQ(RefusedWithinTheBudget(bitmaps, bml), "");
    const std::string iml =
        dir.Write("tiny.iml", SharedOffsetList(lftImageList, 5'000'000, ifData, image));
    TDUDImageList images;
    EXPECT_EQ(RefusedWithinTheBudget(images, iml), "");
}

TEST(PictureListCosts, APictureCountsItsObjectBesidesItsPixels)
{
    // 1,000 offsets at one 1 x 1 picture: 4 KB of pixels, but 1,000
    // pictures and items.
    Bytes body = BitmapBody(RunLengthPicture(1, 1));
    body.resize(1000);
    TMemoryStream s(SharedOffsetList(lftBitmapList, 1000, ifData, body));
    ASSERT_EQ(stReadString(s), DUDICGetSignature(lftBitmapList));
    TDUDBitmapList list;
    {
        TDUDReadBudget budget(1000 * (kDUDPictureObjectBytes + 4));
        EXPECT_THROW(list.LoadFromStream(s), EReadError);
    }
    EXPECT_EQ(list.Count(), 0);
    // A bitmap list reads back within what its save counted.
    TMemoryStream saved;
    s.SetPosition(9);
    list.LoadFromStream(s);
    list.SaveToStream(saved);
    const TDUDReadCost cost = list.ReadCost();
    saved.SetPosition(0);
    TDUDBitmapList back;
    TDUDReadBudget budget(cost.Held + cost.Passing);
    EXPECT_NO_THROW(back.LoadFromStream(saved));
    EXPECT_EQ(back.Count(), 1000);
}
