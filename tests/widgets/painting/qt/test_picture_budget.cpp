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

struct TempDir {
    fs::path path = fs::temp_directory_path() / ("kyd_picbudget_" + std::to_string(::getpid()));
    TempDir() { fs::create_directories(path); }
    ~TempDir() { fs::remove_all(path); }
    std::string Write(const std::string& name, const Bytes& bytes) const
    {
        const std::string file = (path / name).string();
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return file;
    }
};

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
    TempDir dir;
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
    TempDir dir;
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
