// Window regions at the sizes that used to be slow: decoding 60,000
// rectangles of region data that are not in bands, and building the sharp
// shield of a 32767-pixel window. Each against a reference built with the
// GUI library's own region operations: the rectangles united pairwise (as a
// tree) and the shield from its ellipse regions.
//
// Runs both sides alternately over several rounds; prints each side's
// median time, min/median/max of the ratio ours / reference, and whether
// ours met its goal (a median under 100 ms). Fails when a side could not be measured
// or the decoded region differs from the reference.
// Usage: bench_regions [--rects N] [--rounds R] [--size S]
#include "widgets/shapes/qt/region_data.h"
#include "widgets/shapes/qt/window_regions.h"

#include "bench_stats.h"

#include <QGuiApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

using Clock = std::chrono::steady_clock;
using namespace kyd::widgets;

double Seconds(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

QRegion PairwiseReference(const std::vector<TRect>& rects)
{
    std::vector<QRegion> level;
    for (const TRect& r : rects)
        if (!r.IsEmpty())
            level.emplace_back(r.Left, r.Top, r.Width(), r.Height());
    while (level.size() > 1) {
        std::vector<QRegion> next;
        for (std::size_t i = 0; i + 1 < level.size(); i += 2)
            next.push_back(level[i] + level[i + 1]);
        if (level.size() % 2)
            next.push_back(level.back());
        level.swap(next);
    }
    return level.empty() ? QRegion() : level.front();
}

QRegion QtEllipse(int l, int t, int r, int b)
{
    return QRegion(QRect(QPoint(l, t), QPoint(r - 1, b - 1)).normalized(), QRegion::Ellipse);
}

QRegion QtSharpShield(int w, int h)
{
    const int e = 8 * h / 7;
    QRegion arch = QtEllipse(-w, -e, w, e) & QtEllipse(0, -e, 2 * w, e);
    QRegion cut = QtEllipse(-(w / 2), -(h / 5), w / 2, h / 5) + QtEllipse(w / 2, -(h / 5), w / 2 + w, h / 5);
    cut += QRect(0, -2 * h, w, 2 * h);
    return arch - cut;
}

struct Side {
    kyd::bench::Spread ours, reference;
};

void Report(const char* what, const Side& s)
{
    std::printf("%s: ours median %.1f ms (max %.1f ms), reference median %.1f ms; goal under 100 ms %s\n", what,
                s.ours.median() * 1000, s.ours.max() * 1000, s.reference.median() * 1000,
                s.ours.median() < 0.1 ? "met" : "MISSED");
    kyd::bench::PrintRatio(std::string(what) + " ratio ours/reference", kyd::bench::Quotient(s.ours, s.reference));
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int count = 60000, rounds = 5, size = 32767;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--rects"))
            count = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--rounds"))
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--size"))
            size = std::clamp(std::atoi(argv[i + 1]), 1, 32767);
    }
    QGuiApplication app(argc, argv);

    // Rectangles scattered over a traced picture, in no band order.
    std::mt19937 rng(60000);
    std::vector<TRect> rects;
    for (int i = 0; i < count; ++i) {
        const int x = static_cast<int>(rng() % 4000), y = static_cast<int>(rng() % 4000);
        rects.push_back({x, y, x + 1 + static_cast<int>(rng() % 40), y + 1 + static_cast<int>(rng() % 40)});
    }
    const std::vector<std::uint8_t> data = DUDEncodeRegionData(rects);
    if (DUDRegionRectsBanded(rects)) {
        std::fprintf(stderr, "bench_regions: the rectangles came out banded\n");
        return 1;
    }

    Side decode, shield;
    for (int r = 0; r < rounds; ++r) {
        auto t0 = Clock::now();
        const auto ours = DUDRegionFromData(data);
        decode.ours.add(Seconds(t0));
        t0 = Clock::now();
        const QRegion ref = PairwiseReference(rects);
        decode.reference.add(Seconds(t0));
        if (!ours || *ours != ref || ref.isEmpty()) {
            std::fprintf(stderr, "bench_regions: round %d: the decoded region differs from the reference\n", r + 1);
            return 1;
        }

        t0 = Clock::now();
        const QRegion s = DUDCreateSharpShieldRgn({0, 0, size, size});
        shield.ours.add(Seconds(t0));
        t0 = Clock::now();
        const QRegion q = QtSharpShield(size, size);
        shield.reference.add(Seconds(t0));
        if (s.isEmpty() || !s.contains(QPoint(size / 2, size / 2))) {
            std::fprintf(stderr, "bench_regions: round %d: the sharp shield is not whole\n", r + 1);
            return 1;
        }
        if (r == 0)
            std::printf("sharp shield %d: ours %d rectangles, reference %d rectangles%s\n", size, s.rectCount(),
                        q.rectCount(), q.isEmpty() ? " (the reference comes out empty)" : "");
    }
    std::printf("decode %d rectangles not in bands (%d in the region)\n", count,
                static_cast<int>(DUDRegionFromData(data)->rectCount()));
    Report("decode", decode);
    Report("sharp shield", shield);
    return 0;
}
