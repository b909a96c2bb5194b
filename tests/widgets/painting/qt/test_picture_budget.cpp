// What pictures decode to is counted before they are decoded: a tiny list
// file whose offsets all name one small run-length picture loads or is
// refused within the containers' 256 MB, and a decode that fails is an
// error, never an item without its picture.
#include "support/child_process.h"
#include "widgets/painting/bmp_format.h"
#include "widgets/painting/qt/image_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

using namespace kyd::widgets;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::uint32_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// A 64-byte 8-bit run-length picture of width x height whose pixels end at
// once (the end-of-picture escape): tiny stored, width x height decoded.
Bytes RunLengthPicture(std::uint32_t width, std::uint32_t height)
{
    Bytes b;
    Put16(b, 0x4D42);
    Put32(b, 64); // file size
    Put32(b, 0);
    Put32(b, 14 + 40 + 8); // pixels after a palette of two colours
    Put32(b, 40);
    Put32(b, width);
    Put32(b, height);
    Put16(b, 1);
    Put16(b, 8);
    Put32(b, 1); // 8-bit run-length compression
    Put32(b, 2);
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, 2); // colours used
    Put32(b, 0);
    Put32(b, 0x000000);
    Put32(b, 0xFFFFFF);
    b.push_back(0);
    b.push_back(1); // end of picture
    return b;
}

// A list file of the type whose `refs` offsets all name one record: the
// flag byte and `body`.
Bytes SharedOffsetList(int type, int refs, std::uint8_t flag, const Bytes& body)
{
    TMemoryStream s;
    stWriteString(s, DUDICGetSignature(type));
    stWriteInteger(s, refs);
    const auto record = static_cast<std::int32_t>(s.Position() + 4 * refs);
    for (int i = 0; i < refs; ++i)
        stWriteInteger(s, record);
    stWriteByte(s, flag);
    s.WriteBuffer(body.data(), body.size());
    return s.Bytes();
}

// A bitmap item's data: the picture as an uncompressed block.
Bytes BitmapBody(const Bytes& picture)
{
    TMemoryStream s;
    stWriteInteger(s, static_cast<std::int32_t>(picture.size()));
    s.WriteBuffer(picture.data(), picture.size());
    return s.Bytes();
}

// An image item's data: one image of the picture's size.
Bytes ImageBody(std::int32_t width, std::int32_t height, const Bytes& picture)
{
    TMemoryStream s;
    stWriteInteger(s, height);
    stWriteInteger(s, width);
    stWriteInteger(s, 4);
    stWriteByte(s, 0);
    stWriteInteger(s, 1);
    const Bytes block = BitmapBody(picture);
    s.WriteBuffer(block.data(), block.size());
    return s.Bytes();
}

long StatusKb(const char* key)
{
    std::ifstream f("/proc/self/status");
    std::string word;
    while (f >> word)
        if (word == key) {
            long kb = 0;
            f >> kb;
            return kb;
        }
    return -1;
}

// The bytes the list's pictures hold (decoded pages count whether or not
// they were written yet: painting or saving the list writes them).
std::int64_t HeldBytes(const TDUDCustomImageList& list)
{
    std::int64_t held = 0;
    for (int i = 0; i < list.Count(); ++i) {
        if (auto* b = dynamic_cast<const TDUDBitmapList*>(&list))
            held += b->Item(i)->Bitmap().sizeInBytes();
        else if (auto* m = dynamic_cast<const TDUDImageList*>(&list))
            held += m->Item(i)->Images().sizeInBytes() + m->Item(i)->Mask().sizeInBytes();
    }
    return held;
}

// Loads the file into the list in a child whose peak memory is measured
// from the start of the load (and, where the address space can be limited,
// limited to 600 MB more). Reports anything but a load that succeeded with
// every item whole, or a refusal with the library's error; "peak <n> MB"
// when the load took more than 256 MB at its peak or holds more at its end.
std::string LoadInBoundedChild(const std::string& path, TDUDCustomImageList& list)
{
    const auto r = kyd::test::runInChild([&]() -> std::string {
        ::alarm(120); // a runaway load ends here rather than hanging the suite
        std::ofstream("/proc/self/clear_refs") << "5"; // the peak starts now
        const long before = StatusKb("VmRSS:");
#ifndef KYD_TEST_UNDER_ASAN
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const auto limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (600u << 20);
        const rlimit as{limit, limit};
        ::setrlimit(RLIMIT_AS, &as);
#endif
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
        const long peakMb =
            std::max<long>((StatusKb("VmHWM:") - before) / 1024, static_cast<long>(HeldBytes(list) >> 20));
        if (peakMb > 256)
            report += "peak " + std::to_string(peakMb) + " MB";
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
