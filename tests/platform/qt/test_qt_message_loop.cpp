#include "message_loop_cases.h"

#include "platform/clock.h"
#include "platform/periodic_timer.h"
#include "platform/qt/qt_message_loop.h"

#include <QCoreApplication>
#include <QTimer>

namespace kyd::platform::testing {

struct MakeQtLoop {
    static std::unique_ptr<MessageLoop> make() { return std::make_unique<QtMessageLoop>(); }
};
INSTANTIATE_TYPED_TEST_SUITE_P(Qt, MessageLoopCases, MakeQtLoop);

TEST(QtMessageLoop, QtEventsRunWhilePumping)
{
    QtMessageLoop loop;
    bool timerFired = false;
    QTimer::singleShot(5, [&] { timerFired = true; });
    EXPECT_TRUE(loop.pumpUntil([&] { return timerFired; }, 2000));
}

TEST(QtMessageLoop, DelayedPostFiresOnTheSystemClockInsideExec)
{
    QtMessageLoop loop;
    int fired = 0;
    TargetId t = loop.createTarget([&](const Message&) -> std::intptr_t {
        ++fired;
        QCoreApplication::exit(0);
        return 0;
    });
    loop.postDelayed(t, Message{1, 0, 0}, 15);
    // No pumpUntil: the program's own exec() delivers it.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(3000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_EQ(fired, 1);
    loop.destroyTarget(t);
}

TEST(QtMessageLoop, SynchronizeWhileMainThreadRunsExec)
{
    QtMessageLoop loop;
    std::atomic<int> runs{0};
    std::thread worker([&] {
        for (int i = 0; i < 20; ++i)
            loop.synchronize([&] { runs.fetch_add(1); });
        loop.postCall([] { QCoreApplication::exit(0); });
    });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    worker.join();
    EXPECT_EQ(runs.load(), 20);
}

TEST(QtMessageLoop, PeriodicTimerKeepsTickingOnTheSystemClock)
{
    // A tick schedules the next one from its handler; the loop must not
    // re-arm its delay timer with a due time read before the handler ran.
    // Load only makes ticks late, so the check is the count before a
    // generous deadline and a mean period no shorter than the interval.
    QtMessageLoop loop;
    setMessageLoop(&loop);
    for (bool catchUp : {false, true}) {
        int ticks = 0;
        PeriodicTimer timer([&] { ++ticks; }, catchUp);
        const std::int64_t start = clock().monotonicMs();
        timer.start(10);
        EXPECT_TRUE(loop.pumpUntil([&] { return ticks >= 100; }, 10'000)) << ticks << " ticks";
        const std::int64_t elapsed = clock().monotonicMs() - start;
        EXPECT_GE(ticks, 100);
        EXPECT_GE(static_cast<double>(elapsed) / std::max(ticks, 1), 9.0) << ticks << " ticks in " << elapsed << " ms";
    }
    setMessageLoop(nullptr);
}

} // namespace kyd::platform::testing
