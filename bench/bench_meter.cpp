// Per-record progress updates on the meter, as a firmware download makes
// them: one SetUserValue for every record of a file, the meter drawing at
// once whenever the bar moves. Against a minimal progress widget that
// computes the percentage itself and repaints (at once) only when it changes.
// A meter that redrew for every record, or painted much more than the bar,
// shows up as a large ratio.
//
// Runs both sides alternately over several rounds; prints min/median/max of
// the ratio ours / minimal, the headline ratio last. Fails when a side could
// not be measured.
// Usage: bench_meter [--records N] [--rounds R]
#include "widgets/controls/qt/meter.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The yardstick: a bar and its background, repainted at once on a change
// of the whole percent.
class MinimalBar : public QWidget {
public:
    int percent = 0;
    int paints = 0;

    void Set(long value, long max)
    {
        const int p = static_cast<int>(value * 100 / max);
        if (p == percent)
            return;
        percent = p;
        repaint();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        ++paints;
        QPainter painter(this);
        const int w = (width() - 2) * percent / 100;
        painter.fillRect(rect(), QColor(0xD4, 0xD0, 0xC8));
        painter.fillRect(1, 1, w, height() - 2, QColor(0, 0, 128));
    }
};

double Seconds(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int records = 20000;
    int rounds = 7;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--records"))
            records = std::max(100, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--rounds"))
            rounds = std::max(1, std::atoi(argv[i + 1]));
    }
    QApplication app(argc, argv);

    kyd::widgets::TDUDProgress meter;
    meter.SetStyle(kyd::widgets::TDUDProgressStyle::pgBar);
    meter.SetBarColor(5138688);
    meter.SetBounds(0, 0, 300, 20);
    meter.show();
    MinimalBar minimal;
    minimal.resize(300, 20);
    minimal.show();
    QApplication::processEvents();
    if (!meter.isVisible() || !minimal.isVisible()) {
        std::fprintf(stderr, "bench_meter: the widgets could not be shown\n");
        return 1;
    }

    std::vector<double> ratios;
    double oursBest = 1e9, minimalBest = 1e9;
    for (int r = 0; r < rounds; ++r) {
        meter.SetMaxValue(records);
        meter.SetUserValue(0);
        QApplication::processEvents();
        auto t0 = Clock::now();
        for (int i = 1; i <= records; ++i)
            meter.SetUserValue(i);
        const double ours = Seconds(t0);
        QApplication::processEvents();

        minimal.percent = -1;
        minimal.Set(0, records);
        QApplication::processEvents();
        t0 = Clock::now();
        for (long i = 1; i <= records; ++i)
            minimal.Set(i, records);
        const double plain = Seconds(t0);
        QApplication::processEvents();

        if (ours <= 0 || plain <= 0 || meter.Position() != 100 || minimal.percent != 100) {
            std::fprintf(stderr, "bench_meter: round %d could not be measured\n", r + 1);
            return 1;
        }
        oursBest = std::min(oursBest, ours);
        minimalBest = std::min(minimalBest, plain);
        ratios.push_back(ours / plain);
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("meter, %d records per run, %d rounds\n", records, rounds);
    std::printf("  meter   : best %.2f ms (%.2f us per record)\n", oursBest * 1e3, oursBest * 1e6 / records);
    std::printf("  minimal : best %.2f ms (%d paints per run)\n", minimalBest * 1e3, minimal.paints / rounds);
    std::printf("  ratio meter / minimal: min %.2f, median %.2f, max %.2f\n", ratios.front(),
                ratios[ratios.size() / 2], ratios.back());
    std::printf("meter / minimal progress bar (median): %.2f\n", ratios[ratios.size() / 2]);
    return 0;
}
