// Image-list files on a full or size-limited file system, and image-list
// loads of what is not a regular file.
#include "support/child_process.h"
#include "widgets/painting/qt/bmp.h"
#include "widgets/painting/qt/image_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

using namespace kyd::widgets;
namespace fs = std::filesystem;

namespace {

struct TempDir {
    fs::path path = fs::temp_directory_path() / ("kyd_imlfiles_" + std::to_string(::getpid()));
    TempDir()
    {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
};

std::string ReadAll(const std::string& name)
{
    std::ifstream f(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// width x 16 pixels that do not compress.
QImage Noise(int width)
{
    QImage img = DUDBmpCreate24(width, 16);
    unsigned seed = 1;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1103515245u + 12345u;
            img.setPixelColor(x, y, QColor((seed >> 8) & 255, (seed >> 16) & 255, (seed >> 24) & 255));
        }
    return img;
}

} // namespace

TEST(ImageListFiles, SavesOnATinyFileSystemFailAndKeepTheOldFile)
{
    TempDir dir;
    const auto results = kyd::test::runOnTinyFileSystems(dir.path.string(), [](const std::string& at) {
        std::string failures;
        auto check = [&](const std::string& what, const std::string& file, const std::function<void(int)>& save) {
            try {
                save(32);
            } catch (const std::exception& e) {
                failures += what + ": the small save failed: " + e.what() + "\n";
                return;
            }
            const std::string before = ReadAll(file);
            try {
                save(3200);
                failures += what + ": the large save reported success\n";
            } catch (const EWriteError&) {
            } catch (const std::exception& e) {
                failures += what + ": not the write error: " + e.what() + "\n";
            }
            if (ReadAll(file) != before)
                failures += what + ": the old file was changed\n";
            if (std::distance(fs::directory_iterator(at), fs::directory_iterator()) != 1)
                failures += what + ": something was left behind\n";
            fs::remove(file);
        };
        check("image list item", at + "/one.iml", [&](int width) {
            TDUDImageListItem item;
            item.SetWidth(16);
            item.Add(Noise(width));
            item.SaveToFile(at + "/one.iml");
        });
        check("bitmap list", at + "/b.bml", [&](int width) {
            TDUDBitmapList list;
            static_cast<TDUDBitmapListItem*>(list.Add())->SetBitmap(Noise(width));
            list.SaveToFile(at + "/b.bml");
        });
        return failures;
    });
    EXPECT_EQ(kyd::test::tinyFileSystemFailures(results), "");
}

TEST(ImageListFiles, OnlyRegularFilesAreLoaded)
{
    TempDir dir;
    const std::string fifo = (dir.path / "pipe.iml").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {dir.path.string(), fifo, std::string("/dev/zero")}) {
        const auto r = kyd::test::runInChild([&]() -> std::string {
            ::alarm(30); // a load that blocks ends here
            TDUDImageListItem item;
            try {
                item.LoadFromFile(path);
                return "accepted";
            } catch (const EDUDException& e) {
                return std::string(e.what()) == "Cannot open file " + path ? "" : e.what();
            }
        });
        EXPECT_EQ(r.report, "") << path;
    }
}

TEST(ImageListFiles, BitmapFilesAreReadOnlyWhenRegular)
{
    TempDir dir;
    // Bitmap source 4 of a list "abc.bml" in this folder reads "abc7.bmp".
    const std::string fifo = (dir.path / "abc7.bmp").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {dir.path.string(), fifo, std::string("/dev/zero")}) {
        const auto r = kyd::test::runInChild([&]() -> std::string {
            ::alarm(30); // a load that blocks ends here
            std::string report;
            TDUDImageListItem item;
            try {
                item.LoadFromBitmap(path, 1, false);
                report += "LoadFromBitmap accepted; ";
            } catch (const EDUDException& e) {
                if (std::string(e.what()) != "Cannot open file " + path)
                    report += std::string("LoadFromBitmap: ") + e.what() + "; ";
            }
            return report;
        });
        EXPECT_EQ(r.report, "") << path;
    }
    const auto r = kyd::test::runInChild([&]() -> std::string {
        ::alarm(30);
        TDUDBitmapList list;
        list.FileName = (dir.path / "abc.bml").string();
        list.PathPrefix = 3;
        list.Source = 4;
        auto* item = static_cast<TDUDBitmapListItem*>(list.Add());
        item->SetIdent(7);
        return item->Bitmap().isNull() ? "" : "a picture from a FIFO";
    });
    EXPECT_EQ(r.report, "");
}
