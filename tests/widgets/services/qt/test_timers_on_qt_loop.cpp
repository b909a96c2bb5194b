// The library's timers on the program's real message loop (the Qt event
// loop and the system clock), where the fake-clock tests cannot look: they
// must keep ticking, and a timer may be destroyed from its own handler.
//
// Each run waits for a number of ticks with a generous deadline. A loaded
// machine can only make ticks late or skip some, so the checks are that the
// ticks keep coming until the count is reached, that on average they came
// no faster than the interval, and that nearly as many came as a plain Qt
// timer of the same interval on the same loop gave meanwhile: a busy
// machine holds both up alike, a timer running at a fraction of its rate
// falls behind it.
#include "platform/clock.h"
#include "platform/message_loop.h"
#include "platform/qt/qt_message_loop.h"
#include "widgets/services/application.h"
#include "widgets/services/timer.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>

using namespace kyd::widgets;
namespace pf = kyd::platform;

namespace {

constexpr int kInterval = 10;
constexpr int kTicks = 100;
constexpr std::int64_t kDeadlineMs = 10'000;

class QtLoopTimers : public ::testing::Test {
protected:
    void TearDown() override { pf::setMessageLoop(nullptr); }

    void SetUp() override
    {
        pf::setMessageLoop(&loop);
        reference.setTimerType(Qt::PreciseTimer);
        reference.setInterval(kInterval);
        QObject::connect(&reference, &QTimer::timeout, [this] { ++referenceTicks; });
    }

    // Starts the yardstick: call right before starting the timer under test.
    void startReference() { reference.start(); }

    // Pumps until ticks reached kTicks (or the deadline passed) and checks
    // the count, the mean period since start and the count against the
    // yardstick's.
    void expectSteadyTicks(const std::atomic<int>& ticks, std::int64_t start)
    {
        EXPECT_TRUE(loop.pumpUntil([&] { return ticks.load() >= kTicks; }, kDeadlineMs))
            << ticks.load() << " ticks in " << pf::clock().monotonicMs() - start << " ms";
        const std::int64_t elapsed = pf::clock().monotonicMs() - start;
        ASSERT_GE(ticks.load(), kTicks);
        // The n-th tick is due n intervals after the start; ms rounding aside.
        EXPECT_GE(static_cast<double>(elapsed) / ticks.load(), kInterval * 0.9)
            << ticks.load() << " ticks in " << elapsed << " ms";
        reference.stop();
        EXPECT_GE(ticks.load() * 10, referenceTicks * 9)
            << ticks.load() << " ticks while a plain timer gave " << referenceTicks;
    }

    pf::QtMessageLoop loop;
    QTimer reference;
    int referenceTicks = 0;
};

} // namespace

TEST_F(QtLoopTimers, MessageModeMillisecondTimerKeepsTicking)
{
    TDUDHiTimer t(kInterval);
    t.SetUseThread(false);
    std::atomic<int> ticks{0};
    t.SetOnTimer([&](void*) { ++ticks; });
    const std::int64_t start = pf::clock().monotonicMs();
    startReference();
    t.SetEnabled(true);
    expectSteadyTicks(ticks, start);
}

TEST_F(QtLoopTimers, TimerPoolItemsKeepTicking)
{
    TDUDTimerPool pool(kInterval);
    std::atomic<int> ticks{0};
    const std::int64_t start = pf::clock().monotonicMs();
    startReference();
    pool.AddTimer(1, kInterval, [&](void*) { ++ticks; });
    expectSteadyTicks(ticks, start);
}

TEST_F(QtLoopTimers, ApplicationPoolTimersKeepTicking)
{
    TDUDApplication app({}, false);
    app.TimerPool().SetInterval(kInterval);
    std::atomic<int> ticks{0};
    const std::int64_t start = pf::clock().monotonicMs();
    startReference();
    ASSERT_NE(app.AddTimer(kInterval, [&](void*) { ++ticks; }), 0);
    expectSteadyTicks(ticks, start);
}

TEST_F(QtLoopTimers, TimerDeletedFromItsOwnHandlerInBothModes)
{
    // Message mode, and thread mode with the handler run on the main thread.
    for (int mode = 0; mode < 2; ++mode) {
        for (int i = 0; i < 100; ++i) {
            SCOPED_TRACE(::testing::Message() << "mode " << mode << " round " << i);
            auto* t = new TDUDHiTimer(1);
            t->SetUseThread(mode != 0);
            bool deleted = false;
            t->SetOnTimer([&deleted](void* sender) {
                delete static_cast<TDUDHiTimer*>(sender);
                deleted = true;
            });
            t->SetEnabled(true);
            ASSERT_TRUE(loop.pumpUntil([&] { return deleted; }, kDeadlineMs));
        }
    }
}
