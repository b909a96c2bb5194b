// The millisecond timer's pace: mean period and 99th-percentile lateness at
// 1 ms and 10 ms, in message mode (ticks through the message loop on the
// main thread) and thread mode (handler on the timer thread), beside a
// minimal thread that sleeps until each due time.
//
// Lateness of tick k is its time less (time of the first tick + k * interval),
// so a timer that drifts or stalls shows a growing lateness. Sides run one
// after the other, alternating, over several rounds; each ratio is printed
// as min / median / max, the headline (message mode's p99 lateness less the
// minimal loop's, at 1 ms) last. Fails when a side could not be measured or
// message mode misses its goals (mean period within 1 % of the interval, p99
// lateness within 0.5 ms of the minimal loop's).
// Usage: bench_hitimer [--ticks N] [--rounds R]
#include "bench_stats.h"

#include "platform/message_loop.h"
#include "platform/plain_message_loop.h"
#include "widgets/services/timer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace pf = kyd::platform;
namespace kw = kyd::widgets;

struct Figures {
    double meanPeriodMs = 0;
    double p99LateMs = 0;
    bool ok = false;
};

Figures Evaluate(const std::vector<Clock::time_point>& t, int intervalMs)
{
    Figures f;
    if (t.size() < 2)
        return f;
    const double total = std::chrono::duration<double, std::milli>(t.back() - t.front()).count();
    f.meanPeriodMs = total / static_cast<double>(t.size() - 1);
    std::vector<double> late;
    late.reserve(t.size());
    for (std::size_t k = 0; k < t.size(); ++k) {
        const double ideal = static_cast<double>(k) * intervalMs;
        late.push_back(std::chrono::duration<double, std::milli>(t[k] - t.front()).count() - ideal);
    }
    std::sort(late.begin(), late.end());
    f.p99LateMs = late[static_cast<std::size_t>(0.99 * static_cast<double>(late.size() - 1))];
    f.ok = true;
    return f;
}

Figures Minimal(int intervalMs, int ticks)
{
    std::vector<Clock::time_point> t;
    t.reserve(static_cast<std::size_t>(ticks));
    std::thread th([&] {
        const auto start = Clock::now();
        for (int k = 1; k <= ticks; ++k) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(k * intervalMs));
            t.push_back(Clock::now());
        }
    });
    th.join();
    return Evaluate(t, intervalMs);
}

Figures Ours(pf::PlainMessageLoop& loop, bool thread, int intervalMs, int ticks)
{
    std::vector<Clock::time_point> t;
    t.reserve(static_cast<std::size_t>(ticks));
    std::atomic<int> n{0};
    {
        kw::TDUDHiTimer timer(static_cast<std::uint32_t>(intervalMs));
        timer.SetUseThread(thread);
        timer.SetSynchronize(false);
        timer.SetOnTimer([&](void*) {
            if (n.load() < ticks) {
                t.push_back(Clock::now());
                n.fetch_add(1);
                if (n.load() == ticks)
                    loop.wakeUp();
            }
        });
        timer.SetEnabled(true);
        if (thread) {
            // The handler runs on the timer thread; the main thread only waits.
            loop.pumpUntil([&] { return n.load() >= ticks; }, static_cast<std::int64_t>(ticks) * intervalMs * 4 + 2000);
        } else {
            loop.pumpUntil([&] { return n.load() >= ticks; }, static_cast<std::int64_t>(ticks) * intervalMs * 4 + 2000);
        }
        timer.SetEnabled(false);
    }
    if (n.load() < ticks)
        return {};
    return Evaluate(t, intervalMs);
}

} // namespace

int main(int argc, char** argv)
{
    int ticks = 2000, rounds = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--ticks"))
            ticks = std::max(10, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--rounds"))
            rounds = std::max(1, std::atoi(argv[i + 1]));
    }
    pf::PlainMessageLoop loop;
    pf::setMessageLoop(&loop);
    bool failed = false;
    kyd::bench::Spread headline;
    for (int interval : {10, 1}) {
        kyd::bench::Spread msgMean, thrMean, minMean, msgLate, thrLate, minLate, msgLateDiff;
        for (int r = 0; r < rounds; ++r) {
            const Figures m = Minimal(interval, ticks);
            const Figures a = Ours(loop, false, interval, ticks);
            const Figures b = Ours(loop, true, interval, ticks);
            if (!m.ok || !a.ok || !b.ok) {
                std::printf("round %d at %d ms: a side could not be measured (minimal %d, message %d, thread %d)\n",
                            r, interval, m.ok, a.ok, b.ok);
                failed = true;
                continue;
            }
            minMean.add(m.meanPeriodMs / interval);
            msgMean.add(a.meanPeriodMs / interval);
            thrMean.add(b.meanPeriodMs / interval);
            minLate.add(m.p99LateMs);
            msgLate.add(a.p99LateMs);
            thrLate.add(b.p99LateMs);
            msgLateDiff.add(a.p99LateMs - m.p99LateMs);
            if (interval == 1)
                headline.add(a.p99LateMs - m.p99LateMs);
        }
        const std::string at = " at " + std::to_string(interval) + " ms, " + std::to_string(ticks) + " ticks";
        kyd::bench::PrintRatio("minimal loop: mean period / interval" + at, minMean);
        kyd::bench::PrintRatio("message mode: mean period / interval" + at, msgMean);
        kyd::bench::PrintRatio("thread mode: mean period / interval" + at, thrMean);
        kyd::bench::PrintRatio("minimal loop: p99 lateness (ms)" + at, minLate);
        kyd::bench::PrintRatio("message mode: p99 lateness (ms)" + at, msgLate);
        kyd::bench::PrintRatio("thread mode: p99 lateness (ms)" + at, thrLate);
        if (msgMean.empty() || std::fabs(msgMean.median() - 1.0) > 0.01) {
            std::printf("FAIL: message mode's mean period is not within 1%% of %d ms\n", interval);
            failed = true;
        }
        if (msgLateDiff.empty() || msgLateDiff.median() > 0.5) {
            std::printf("FAIL: message mode's p99 lateness is not within 0.5 ms of the minimal loop's at %d ms\n",
                        interval);
            failed = true;
        }
    }
    pf::setMessageLoop(nullptr);
    kyd::bench::PrintRatio("headline: message mode p99 lateness less the minimal loop's (ms) at 1 ms", headline);
    return failed || headline.empty() ? 1 : 0;
}
