// List files of every kind, stored once by this library (data/lists/):
// loading one and saving it again gives the same bytes, pictures of every
// depth included, plain and compressed. The files are also what today's
// writer makes of the same content, so stored compressed data keep
// expanding and the writer's output does not drift.
//
// KYD_WRITE_GOLDEN_LISTS=<folder> writes the files afresh into that folder.
#include "widgets/storage/containers.h"
#include "widgets/painting/qt/bmp.h"
#include "widgets/painting/qt/image_list.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <unistd.h>

using namespace kyd::widgets;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadAll(const std::string& name)
{
    std::ifstream f(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

QImage Ramp(int w, int h)
{
    QImage img = DUDBmpCreate24(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixelColor(x, y, QColor(x * 23 % 256, y * 41 % 256, (x * y) % 256));
    return img;
}

// A 1-bit picture with the given two colours, a checker of 3-pixel cells
// and a width that is no multiple of 8.
QImage Mono(QRgb first, QRgb second)
{
    QImage img(13, 7, QImage::Format_Mono);
    img.setColorTable({first, second});
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, ((x / 3) + (y / 3)) % 2);
    return img;
}

Bytes WaveFile()
{
    Bytes w;
    auto put = [&](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            w.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    auto tag = [&](const char* t) { w.insert(w.end(), t, t + 4); };
    const int samples = 40;
    tag("RIFF");
    put(36 + samples, 4);
    tag("WAVE");
    tag("fmt ");
    put(16, 4);
    put(1, 2);     // PCM
    put(1, 2);     // mono
    put(8000, 4);  // rate
    put(8000, 4);  // bytes per second
    put(1, 2);     // block
    put(8, 2);     // bits
    tag("data");
    put(samples, 4);
    for (int i = 0; i < samples; ++i)
        w.push_back(static_cast<std::uint8_t>(128 + (i % 10) * 9));
    return w;
}

struct Golden {
    std::string file;
    std::function<std::unique_ptr<TDUDCustomContainer>()> make; // empty list of the kind
    std::function<std::unique_ptr<TDUDCustomContainer>(bool compressed)> fill;
};

std::unique_ptr<TDUDCustomContainer> Bitmaps(bool compressed)
{
    auto list = std::make_unique<TDUDBitmapList>();
    list->DefaultCompressed = compressed;
    auto add = [&](QImage img, int format, const char* name) {
        auto* b = static_cast<TDUDBitmapListItem*>(list->Add());
        b->SetBitmap(std::move(img));
        b->SetSavePixelFormat(format);
        b->SetDescription(name);
    };
    add(Mono(qRgb(0, 0, 0), qRgb(255, 255, 255)), 0, "mono black first");
    add(Mono(qRgb(255, 255, 255), qRgb(0, 0, 0)), 0, "mono white first");
    add(Mono(qRgb(200, 0, 0), qRgb(0, 0, 90)), 0, "mono red and blue");
    add(Ramp(11, 6), 1, "as mono");
    add(Ramp(11, 6), 2, "16 colours");
    add(Ramp(11, 6), 3, "256 colours");
    add(Ramp(11, 6), 0, "24 bits");
    list->Add(); // empty
    return list;
}

std::unique_ptr<TDUDCustomContainer> Images(bool compressed)
{
    auto list = std::make_unique<TDUDImageList>();
    list->DefaultCompressed = compressed;
    auto* masked = static_cast<TDUDImageListItem*>(list->Add());
    masked->SetWidth(8);
    masked->SetHeight(6);
    masked->SetMasked(true);
    masked->AddMasked(Ramp(8, 6), RGB(0, 0, 0));
    masked->Add(Ramp(8, 6), Mono(qRgb(0, 0, 0), qRgb(255, 255, 255)).copy(0, 0, 8, 6));
    masked->SetDescription("masked");
    auto* plain = static_cast<TDUDImageListItem*>(list->Add());
    plain->SetWidth(5);
    plain->SetHeight(5);
    plain->SetSavePixelFormat(2);
    plain->Add(Ramp(5, 5));
    return list;
}

std::unique_ptr<TDUDCustomContainer> Strings(bool compressed)
{
    auto list = std::make_unique<TDUDStringList>();
    list->DefaultCompressed = compressed;
    auto* s = static_cast<TDUDStringListItem*>(list->Add());
    s->SetDescription("lines");
    s->SetIdent(3);
    for (int i = 0; i < 40; ++i)
        s->Items.push_back("line " + std::to_string(i) + " of the list, line of the list");
    return list;
}

std::unique_ptr<TDUDCustomContainer> Generic(bool compressed)
{
    auto list = std::make_unique<TDUDGenericList>();
    list->DefaultCompressed = compressed;
    auto* g = static_cast<TDUDGenericListItem*>(list->Add());
    for (int i = 0; i < 300; ++i)
        g->Data.push_back(static_cast<std::uint8_t>(i % 7 == 0 ? i : 'a' + i % 5));
    g->FileName = "data.bin";
    return list;
}

std::unique_ptr<TDUDCustomContainer> Waves(bool compressed)
{
    auto list = std::make_unique<TDUDWaveList>();
    list->DefaultCompressed = compressed;
    auto* w = static_cast<TDUDWaveListItem*>(list->Add());
    TMemoryStream s(WaveFile());
    w->Wave.LoadFromStream(s);
    w->SetDescription("beep");
    return list;
}

std::vector<Golden> Files()
{
    std::vector<Golden> files;
    for (bool c : {false, true}) {
        const std::string tag = c ? "-compressed" : "";
        files.push_back({"bitmaps" + tag + ".bml", [] { return std::make_unique<TDUDBitmapList>(); },
                         Bitmaps});
        files.push_back({"images" + tag + ".iml", [] { return std::make_unique<TDUDImageList>(); }, Images});
        files.push_back({"strings" + tag + ".sll", [] { return std::make_unique<TDUDStringList>(); }, Strings});
        files.push_back({"generic" + tag + ".gll", [] { return std::make_unique<TDUDGenericList>(); }, Generic});
        files.push_back({"waves" + tag + ".wvl", [] { return std::make_unique<TDUDWaveList>(); }, Waves});
    }
    return files;
}

const std::string kDir = std::string(KYD_TEST_DATA_DIR) + "/lists/";

struct TempDir {
    fs::path path = fs::temp_directory_path() / ("kyd_golden_lists_" + std::to_string(::getpid()));
    TempDir() { fs::create_directories(path); }
    ~TempDir() { fs::remove_all(path); }
    std::string File(const std::string& name) const { return (path / name).string(); }
};

} // namespace

TEST(WidgetListFiles, EveryGoldenListFileSavesAgainByteForByte)
{
    if (const char* out = std::getenv("KYD_WRITE_GOLDEN_LISTS")) {
        for (const auto& g : Files())
            g.fill(g.file.find("-compressed") != std::string::npos)->SaveToFile(std::string(out) + "/" + g.file);
        GTEST_SKIP() << "golden list files written to " << out;
    }
    TempDir dir;
    for (const auto& g : Files()) {
        SCOPED_TRACE(g.file);
        const Bytes golden = ReadAll(kDir + g.file);
        ASSERT_FALSE(golden.empty());
        auto list = g.make();
        list->LoadFromFile(kDir + g.file);
        list->SaveToFile(dir.File(g.file));
        EXPECT_TRUE(golden == ReadAll(dir.File(g.file))) << "load and save changed the file";
        // Saved twice over, still the same.
        auto again = g.make();
        again->LoadFromFile(dir.File(g.file));
        again->SaveToFile(dir.File("again-" + g.file));
        EXPECT_TRUE(golden == ReadAll(dir.File("again-" + g.file)));
        // Today's writer makes the same file of the same content.
        g.fill(g.file.find("-compressed") != std::string::npos)->SaveToFile(dir.File("fresh-" + g.file));
        EXPECT_TRUE(golden == ReadAll(dir.File("fresh-" + g.file))) << "the writer's output changed";
    }
}

TEST(WidgetListFiles, OneBitPicturesKeepTheirStoredPaletteOrder)
{
    for (QRgb first : {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(200, 0, 0)}) {
        const QRgb second = first == qRgb(0, 0, 0) ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
        TDUDBitmapList list;
        static_cast<TDUDBitmapListItem*>(list.Add())->SetBitmap(Mono(first, second));
        TMemoryStream once;
        list.SaveToStream(once);
        once.SetPosition(0);
        TDUDBitmapList back;
        back.LoadFromStream(once);
        const QImage& pic = static_cast<TDUDBitmapListItem*>(back.GetItem(0))->Bitmap();
        ASSERT_EQ(2, pic.colorTable().size());
        EXPECT_EQ(first, pic.colorTable()[0] | 0xFF000000u);
        EXPECT_EQ(Mono(first, second).convertToFormat(QImage::Format_RGB32), pic.convertToFormat(QImage::Format_RGB32));
        TMemoryStream twice;
        back.SaveToStream(twice);
        EXPECT_TRUE(once.Bytes() == twice.Bytes());
    }
}
