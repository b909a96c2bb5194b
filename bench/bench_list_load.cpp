// Loading a bitmap list of 40,000 pictures of 32 x 32 (24 bits a pixel, as
// the library saves them) from memory, against a reference that only
// decodes the same 40,000 stored pictures with the GUI library's own BMP
// reader: the least a load has to do.
//
// Runs both sides alternately over several rounds; prints each side's
// min/median/max time and min/median/max of the ratio ours / reference.
// Every load is checked to give back every picture; fails when a side could
// not be measured.
// Usage: bench_list_load [--pictures N] [--rounds R]
#include "widgets/painting/qt/bitmap_stream.h"
#include "widgets/painting/qt/image_list.h"

#include "bench_stats.h"

#include <QGuiApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;
using namespace kyd::widgets;
using kyd::bench::Spread;

double Seconds(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// Picture i: a gradient shifted by i, so that no two are alike.
QImage Picture(int i)
{
    QImage img(32, 32, QImage::Format_RGB32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            img.setPixel(x, y, qRgb((x * 8 + i) & 255, (y * 8 + i / 256) & 255, (x + y + i) & 255));
    return img;
}

void Line(const char* what, const Spread& s)
{
    std::printf("  %-28s min %7.1f ms  median %7.1f ms  max %7.1f ms\n", what, s.min() * 1000, s.median() * 1000,
                s.max() * 1000);
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int pictures = 40000, rounds = 7;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--pictures"))
            pictures = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--rounds"))
            rounds = std::max(3, std::atoi(argv[i + 1]));
    }
    QGuiApplication app(argc, argv);

    std::vector<std::uint8_t> saved;
    std::vector<std::vector<std::uint8_t>> stored;
    {
        TDUDBitmapList list;
        for (int i = 0; i < pictures; ++i) {
            const QImage p = Picture(i);
            static_cast<TDUDBitmapListItem*>(list.Add())->SetBitmap(p);
            stored.push_back(DUDBmpImage(p, bfOwnDepth));
        }
        TMemoryStream s;
        list.SaveToStream(s);
        saved = s.TakeBytes();
    }
    const QImage last = Picture(pictures - 1);

    Spread ours, reference;
    for (int r = 0; r < rounds; ++r) {
        for (int side = 0; side < 2; ++side) {
            const bool oursNow = (side == 0) == (r % 2 == 0);
            if (oursNow) {
                TMemoryStream s(saved);
                TDUDBitmapList list;
                const auto t0 = Clock::now();
                try {
                    list.LoadFromStream(s);
                } catch (const std::exception& e) {
                    std::fprintf(stderr, "bench_list_load: round %d: ours could not be measured: %s\n", r + 1,
                                 e.what());
                    return 1;
                }
                const double t = Seconds(t0);
                if (list.Count() != pictures || list.Item(pictures - 1)->Bitmap().pixel(31, 17) != last.pixel(31, 17)) {
                    std::fprintf(stderr, "bench_list_load: round %d: ours did not give the pictures back\n", r + 1);
                    return 1;
                }
                ours.add(t);
            } else {
                std::vector<QImage> decoded(stored.size());
                const auto t0 = Clock::now();
                for (std::size_t i = 0; i < stored.size(); ++i)
                    decoded[i].loadFromData(stored[i].data(), static_cast<int>(stored[i].size()), "BMP");
                const double t = Seconds(t0);
                if (decoded.back().isNull() || decoded.back().pixel(31, 17) != last.pixel(31, 17)) {
                    std::fprintf(stderr, "bench_list_load: round %d: the reference could not be measured\n", r + 1);
                    return 1;
                }
                reference.add(t);
            }
        }
    }
    std::printf("bitmap list of %d pictures of 32 x 32 (%zu bytes), %d rounds\n", pictures, saved.size(), rounds);
    Line("ours (LoadFromStream)", ours);
    Line("reference (decode only)", reference);
    kyd::bench::PrintRatio("list load ratio ours/reference", kyd::bench::Quotient(ours, reference));
    return 0;
}
