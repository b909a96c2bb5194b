// The timer pool, the application object's timers and single-instance
// lock, and the millisecond timer in both modes, on a plain message loop
// and a fake clock.
#include "platform/clock.h"
#include "platform/message_loop.h"
#include "platform/plain_message_loop.h"
#include "platform/exception_sink.h"
#include "platform/session_shutdown.h"
#include "platform/thread_priority.h"
#include "widgets/services/application.h"
#include "widgets/services/timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <vector>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <memory>
#include <mutex>
#include <string>
#include <condition_variable>
#include <grp.h>
#include <mutex>
#include <sys/wait.h>
#include <unistd.h>

using namespace kyd::widgets;
namespace pf = kyd::platform;

namespace {

class Loop : public ::testing::Test {
protected:
    void SetUp() override { pf::setMessageLoop(&loop); }
    void TearDown() override { pf::setMessageLoop(nullptr); }
    // Moves fake time in steps of step ms, delivering what falls due.
    void run(std::int64_t ms, std::int64_t step = 1)
    {
        for (std::int64_t t = 0; t < ms; t += step) {
            clock->advance(step);
            loop.processPending();
        }
    }
    pf::ScopedFakeClock clock;
    pf::PlainMessageLoop loop;
};

using TimerPool = Loop;
using HiTimer = Loop;

} // namespace

TEST_F(TimerPool, ItemsFireAtTheirMultiplesOfThePoolInterval)
{
    TDUDTimerPool pool(50);
    int a = 0, b = 0, c = 0;
    pool.AddTimer(1, 50, [&](void*) { ++a; });
    pool.AddTimer(2, 100, [&](void*) { ++b; });
    pool.AddTimer(3, 150, [&](void*) { ++c; });
    run(300);
    EXPECT_EQ(a, 6);
    EXPECT_EQ(b, 3);
    EXPECT_EQ(c, 2);

    EXPECT_THROW(pool.AddTimer(1, 50, nullptr), EDUDException);  // id present
    EXPECT_THROW(pool.AddTimer(4, 75, nullptr), EDUDException);  // not a multiple
    EXPECT_THROW(pool.AddTimer(4, 25, nullptr), EDUDException);  // below the pool's
    EXPECT_THROW(pool.SetInterval(0), EDUDException);
}

TEST_F(TimerPool, CallCountsDisableAndThePoolEventGetsTheCount)
{
    TDUDTimerPool pool(50);
    std::vector<int> counts;
    pool.OnTimer = [&](void*, std::int32_t n) { counts.push_back(n); };
    pool.AddTimerExt(7, 50, nullptr, true, 3);
    run(500);
    EXPECT_EQ(counts, (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(pool.GetTimer(7)->Enabled());
    EXPECT_FALSE(pool.MainTimerActive()); // nothing enabled: no ticks
    pool.GetTimer(7)->SetCallCount(0);
    pool.GetTimer(7)->SetEnabled(true); // a call count of 0 cannot be enabled
    EXPECT_FALSE(pool.GetTimer(7)->Enabled());
    pool.GetTimer(7)->SetCallCount(-5);
    EXPECT_EQ(pool.GetTimer(7)->CallCount(), -1);
    pool.GetTimer(7)->SetInterval(70); // not a multiple: ignored
    EXPECT_EQ(pool.GetTimer(7)->Interval(), 50);
    pool.GetTimer(7)->SetInterval(0);
    EXPECT_EQ(pool.GetTimer(7)->Interval(), 50);
}

TEST_F(TimerPool, HandlersMayRemoveAnyItemDuringAPass)
{
    TDUDTimerPool pool(10);
    int first = 0, second = 0, third = 0;
    pool.AddTimer(1, 10, [&](void*) {
        ++first;
        pool.RemoveTimer(1); // itself
        pool.RemoveTimer(2); // one not yet called in this pass
    });
    pool.AddTimer(2, 10, [&](void*) { ++second; });
    pool.AddTimer(3, 10, [&](void*) { ++third; });
    run(30);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(third, 3);
    pool.RemoveTimer(3);
    EXPECT_EQ(pool.GetCount(), 0);
    EXPECT_FALSE(pool.MainTimerActive());
}

TEST_F(TimerPool, AHandlerMayDestroyThePool)
{
    // From an item's own event (with items after it in the pass), from the
    // pool's event and from a failing handler's exception event: the pass
    // ends there (ASan sees any later use of the pool).
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way);
        TDUDApplication app({}, false);
        auto pool = std::make_unique<TDUDTimerPool>(10);
        int later = 0, calls = 0;
        TDUDTimerEvent destroy = [&](void*) {
            ++calls;
            if (way == 2)
                throw std::runtime_error("failed");
            pool.reset();
        };
        if (way == 1)
            pool->OnTimer = [&](void*, std::int32_t) { destroy(nullptr); };
        if (way == 2)
            app.OnException = [&](const TDUDSender&, std::exception_ptr, bool& handled) {
                handled = true;
                pool.reset();
            };
        pool->AddTimer(1, 10, way == 1 ? TDUDTimerEvent{} : destroy);
        pool->AddTimer(2, 10, [&](void*) { ++later; });
        pool->AddTimer(3, 20, [&](void*) { ++later; });
        run(50);
        EXPECT_EQ(pool, nullptr);
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(later, 0);
    }
}

TEST_F(TimerPool, AnItemAddedOrEnabledWhileThePoolRunsWaitsItsWholeInterval)
{
    TDUDTimerPool pool(50);
    const std::int64_t t0 = pf::clock().monotonicMs();
    std::vector<std::int64_t> a, b;
    pool.AddTimer(1, 100, [&](void*) { a.push_back(pf::clock().monotonicMs() - t0); });
    run(60);
    pool.AddTimer(2, 150, [&](void*) { b.push_back(pf::clock().monotonicMs() - t0); });
    run(300);
    // The new item is first called 150 ms after it came; the running one
    // keeps its count of ticks (its call falls on the restarted timer's
    // first tick) rather than starting its interval again.
    EXPECT_EQ(b, (std::vector<std::int64_t>{210, 360}));
    EXPECT_EQ(a, (std::vector<std::int64_t>{110, 210, 310}));

    // Disabled and enabled again 30 ms into a pool interval: a whole item
    // interval again, counted from the enabling.
    pool.GetTimer(2)->SetEnabled(false);
    run(20);
    b.clear();
    pool.GetTimer(2)->SetEnabled(true); // at 380
    run(310);
    EXPECT_EQ(b, (std::vector<std::int64_t>{530, 680}));

    // Enabled again from inside a pass, by an item called before it: it
    // waits for its interval too, and the next tick is tick 1.
    pool.GetTimer(2)->SetEnabled(false);
    b.clear();
    std::int64_t enabledAt = -1;
    pool.GetTimer(1)->OnTimer = [&](void*) {
        if (enabledAt < 0) {
            enabledAt = pf::clock().monotonicMs() - t0;
            pool.GetTimer(2)->SetEnabled(true);
        }
    };
    run(400);
    EXPECT_EQ(b, (std::vector<std::int64_t>{enabledAt + 150, enabledAt + 300}));
}

TEST_F(TimerPool, EnablingAnEnabledItemOnlyResetsItsCalls)
{
    // A caller that keeps an item on, more often than the pool ticks,
    // neither holds that item back nor stops the pool's ticks.
    TDUDTimerPool pool(50);
    const std::int64_t t0 = pf::clock().monotonicMs();
    std::vector<std::int64_t> a, b;
    pool.AddTimerExt(1, 100, [&](void*) { a.push_back(pf::clock().monotonicMs() - t0); }, true, 5);
    pool.AddTimer(2, 150, [&](void*) { b.push_back(pf::clock().monotonicMs() - t0); });
    for (int i = 0; i < 10; ++i) {
        run(30);
        pool.GetTimer(1)->SetEnabled(true);
    }
    EXPECT_EQ(a, (std::vector<std::int64_t>{100, 200, 300}));
    EXPECT_EQ(b, (std::vector<std::int64_t>{150, 300}));
    EXPECT_EQ(pool.TickCounter(), 7);
    // Its calls so far start again: five more before its call count ends it.
    EXPECT_EQ(pool.GetTimer(1)->Calls(), 0);
    run(600);
    EXPECT_EQ(a.size(), 8u);
    EXPECT_FALSE(pool.GetTimer(1)->Enabled());

    // A main timer stopped by hand starts again when an item is enabled.
    pool.GetTimer(2)->SetEnabled(true);
    pool.UpdateMainTimer(false);
    b.clear();
    pool.GetTimer(2)->SetEnabled(true);
    EXPECT_TRUE(pool.MainTimerActive());
    const std::int64_t at = pf::clock().monotonicMs() - t0;
    run(150);
    EXPECT_EQ(b, (std::vector<std::int64_t>{at + 150}));
}

TEST_F(TimerPool, AHandlerThatPumpsIsNotReentered)
{
    TDUDTimerPool pool(10);
    int calls = 0, depth = 0, maxDepth = 0;
    pool.AddTimer(1, 10, [&](void*) {
        ++calls;
        maxDepth = std::max(maxDepth, ++depth);
        if (calls == 1) {
            clock->advance(50);
            loop.processPending();
        }
        --depth;
    });
    run(20, 10);
    EXPECT_EQ(maxDepth, 1);
    EXPECT_GE(calls, 2);
}

TEST_F(TimerPool, ApplicationTimersUseSlotsAndRefuseWhenFull)
{
    TDUDApplication app("kyd-test-slots", false);
    EXPECT_EQ(app.TimerPool().Interval(), 50);
    int ticks = 0;
    const auto id = app.AddTimer(100, [&](void*) { ++ticks; });
    EXPECT_EQ(id, 64769);
    EXPECT_EQ(app.AddTimer(75, nullptr), 0); // refused by the pool
    run(200, 50);
    EXPECT_EQ(ticks, 2);
    app.RemoveTimer(64768);  // below the range: ignored
    app.RemoveTimer(65019);  // above it: ignored, no slot freed elsewhere
    EXPECT_NE(app.GetTimer(id), nullptr);
    for (int i = 1; i < 250; ++i)
        EXPECT_EQ(app.AddTimer(50, nullptr), 64769 + i);
    EXPECT_EQ(app.AddTimer(50, nullptr), 0);
    app.RemoveTimer(id);
    EXPECT_EQ(app.AddTimer(50, nullptr), id);

    app.STWStart();
    clock->advance(123);
    EXPECT_EQ(app.STWStop(), 123);
    EXPECT_EQ(app.STWStop(), 0);

    app.Title = "Tester";
    app.RegCompany = "Maker";
    EXPECT_EQ(app.GetDefaultRegPath(), "Software\\Maker\\Tester\\");
    app.SetLogPrefix(TDUDPathPrefix::ppFixed);
    app.SetLogName("/tmp/x/run");
    EXPECT_EQ(app.LogName(), "/tmp/x/run.LOG");
}

TEST_F(TimerPool, QuitWindowsGoesThroughTheShutdownInterface)
{
    struct Recorder : pf::SessionShutdown {
        std::string calls;
        bool answer = false;
        bool powerOff() override { calls += "P"; return answer; }
        bool reboot() override { calls += "R"; return answer; }
        bool logOff() override { calls += "L"; return answer; }
    } rec;
    TDUDApplication app("kyd-test-quit", false);
    EXPECT_FALSE(app.QuitWindows(0, rec));
    EXPECT_FALSE(loop.quitRequested());
    rec.answer = true;
    EXPECT_TRUE(app.QuitWindows(1, rec));
    EXPECT_TRUE(app.QuitWindows(2, rec));
    EXPECT_TRUE(app.QuitWindows(7, rec));
    EXPECT_EQ(rec.calls, "PRLL");
    EXPECT_TRUE(loop.quitRequested());
}

TEST(ApplicationInstance, ASecondObjectSeesTheFirstAndAKilledHolderLeavesNone)
{
    const std::string name = "kyd-test-instance-" + std::to_string(::getpid());
    {
        TDUDApplication first(name);
        EXPECT_FALSE(first.AnotherInstance());
        TDUDApplication second(name);
        EXPECT_TRUE(second.AnotherInstance());
    }
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TDUDApplication holder(name);
        char c = holder.AnotherInstance() ? 'n' : 'y';
        (void)!::write(ready[1], &c, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(c, 'y');
    {
        TDUDApplication other(name);
        EXPECT_TRUE(other.AnotherInstance());
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    TDUDApplication after(name);
    EXPECT_FALSE(after.AnotherInstance());
}

TEST_F(HiTimer, MessageModeTicksOnTheClockAndIsNotReentered)
{
    TDUDHiTimer t(10);
    t.SetUseThread(false);
    int ticks = 0, depth = 0, maxDepth = 0;
    t.SetOnTimer([&](void*) {
        ++ticks;
        maxDepth = std::max(maxDepth, ++depth);
        if (ticks == 3) { // a handler that pumps messages while ticks fall due
            clock->advance(30);
            loop.processPending();
        }
        --depth;
    });
    t.SetEnabled(true);
    EXPECT_TRUE(t.MessageTimerRunning());
    run(100);
    EXPECT_EQ(maxDepth, 1);
    // 130 ms of fake time in all: 13 ticks, less those that fell due while
    // the handler pumped (dropped, not queued for later).
    EXPECT_GE(ticks, 8);
    EXPECT_LT(ticks, 13);

    TDUDHiTimer u(10);
    u.SetUseThread(false);
    int n = 0;
    u.SetOnTimer([&](void*) { ++n; });
    u.SetEnabled(true);
    run(100);
    EXPECT_EQ(n, 10);
}

TEST_F(HiTimer, IntervalClampsAndNothingStartsWithoutHandlerOrInterval)
{
    TDUDHiTimer t;
    EXPECT_EQ(t.Interval(), 1000u);
    t.SetInterval(0);
    EXPECT_EQ(t.Interval(), TDUDHiTimer::kMinPeriod);
    t.SetInterval(0xFFFFFFFFu);
    EXPECT_EQ(t.Interval(), TDUDHiTimer::kMaxPeriod);
    EXPECT_EQ(t.GetInteger(0), TDUDHiTimer::kMaxPeriod);
    EXPECT_EQ(t.GetInteger(1), TDUDHiTimer::kMinPeriod);
    EXPECT_EQ(t.GetInteger(2), 0u);
    t.SetInterval(70000); // kept in full: no 16-bit copy
    t.SetEnabled(true);
    EXPECT_FALSE(t.ThreadRunning());
    int n = 0;
    t.SetOnTimer([&](void*) { ++n; });
    EXPECT_TRUE(t.ThreadRunning());
    EXPECT_FALSE(t.MessageTimerRunning());
    t.SetUseThread(false); // moves to message mode, no thread left
    EXPECT_FALSE(t.ThreadRunning());
    EXPECT_TRUE(t.MessageTimerRunning());
    run(69990, 6999);
    EXPECT_EQ(n, 0);
    run(10);
    EXPECT_EQ(n, 1);
    t.SetUseThread(true);
    EXPECT_TRUE(t.ThreadRunning());
    EXPECT_FALSE(t.MessageTimerRunning());
    t.SetEnabled(false);
    EXPECT_FALSE(t.ThreadRunning());

    TDUDHiTimer z(0); // interval 0 (unclamped at creation) starts nothing
    z.SetOnTimer([&](void*) { ++n; });
    z.SetEnabled(true);
    EXPECT_FALSE(z.ThreadRunning());
}

TEST_F(HiTimer, ThreadModeSynchronizedRunsOnTheMainThreadUntilDisabled)
{
    TDUDHiTimer t(10);
    std::atomic<int> n{0};
    bool onMain = true;
    t.SetOnTimer([&](void*) {
        onMain = onMain && loop.isMainThread();
        ++n;
        if (n == 5)
            t.SetEnabled(false); // from inside the handler
    });
    t.SetEnabled(true);
    while (n < 5) { // each 10 ms of fake time gives one tick
        const int before = n;
        clock->advance(10);
        loop.pumpUntil([&] { return n > before; });
    }
    EXPECT_EQ(n, 5);
    EXPECT_TRUE(onMain);
    EXPECT_FALSE(t.ThreadRunning());
    run(100, 10);
    EXPECT_EQ(n, 5);
}

TEST(HiTimerThreads, ManyCyclesRunNoLateHandler)
{
    pf::PlainMessageLoop loop;
    pf::setMessageLoop(&loop);
    std::atomic<int> late{0};
    for (int i = 0; i < 1000; ++i) {
        auto alive = std::make_shared<std::atomic<bool>>(true);
        {
            TDUDHiTimer t(1);
            t.SetSynchronize(i % 2 == 0);
            t.SetOnTimer([alive, &late](void*) {
                if (!alive->load())
                    ++late;
            });
            t.SetEnabled(true);
            if (i % 3 == 0)
                loop.processPending();
        }
        alive->store(false);
        loop.processPending(); // anything still queued must not call the handler
    }
    EXPECT_EQ(late.load(), 0);
    pf::setMessageLoop(nullptr);
}

TEST_F(TimerPool, ALaterInstanceAsksTheFirstToComeForward)
{
    const std::string name = "kyd-test-activate-" + std::to_string(::getpid());
    TDUDApplication first(name);
    int asked = 0;
    first.OnActivateRequest = [&](void* sender) { asked += sender == &first; };
    EXPECT_FALSE(first.ActivatePrevInstance()); // it is the first
    TDUDApplication second(name);
    ASSERT_TRUE(second.ActivatePrevInstance());
    EXPECT_TRUE(loop.pumpUntil([&] { return asked > 0; }, 1000));
    EXPECT_EQ(1, asked);
}

namespace {

// Runs a thread-mode timer of the priority until `ticks` ticks ran on its
// thread and gives the nice value the thread had in its handler.
int NiceOfTicks(TThreadPriority priority, int ticks, TThreadPriority* kept = nullptr)
{
    std::mutex m;
    std::condition_variable cv;
    int seen = 0, nice = 1000;
    {
        TDUDHiTimer t(1);
        t.SetSynchronize(false);
        t.SetThreadPriority(priority);
        t.SetOnTimer([&](void*) {
            std::lock_guard<std::mutex> g(m);
            nice = pf::currentThreadNice();
            ++seen;
            cv.notify_all();
        });
        t.SetEnabled(true);
        std::unique_lock<std::mutex> lock(m);
        cv.wait_for(lock, std::chrono::seconds(20), [&] { return seen >= ticks; });
        if (kept)
            *kept = t.ThreadPriority();
        lock.unlock();
        t.SetEnabled(false);
    }
    return seen >= ticks ? nice : 1000;
}

} // namespace

TEST(HiTimerThreads, ThePriorityIsTheThreadsNiceValue)
{
    // Relative to the thread that starts the timer (the test may itself run
    // at a lowered priority).
    const int base = pf::currentThreadNice();
    EXPECT_EQ(19, NiceOfTicks(TThreadPriority::tpIdle, 1));
    EXPECT_EQ(std::min(19, base + 5), NiceOfTicks(TThreadPriority::tpLower, 1));
    EXPECT_EQ(base, NiceOfTicks(TThreadPriority::tpNormal, 1));
    if (::geteuid() == 0) {
        EXPECT_EQ(std::max(-20, base - 10), NiceOfTicks(TThreadPriority::tpHighest, 1));
    }

    // A process that may not raise priorities keeps the setting, runs at
    // the normal priority and hears of the refusal once.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        pf::ExceptionRecorder rec;
        TThreadPriority kept = TThreadPriority::tpNormal;
        const int nice = NiceOfTicks(TThreadPriority::tpTimeCritical, 3, &kept);
        const auto messages = rec.messages();
        if (nice != base)
            ::_exit(4);
        if (kept != TThreadPriority::tpTimeCritical)
            ::_exit(5);
        if (messages.size() != 1 || messages[0].find("priority") == std::string::npos)
            ::_exit(6);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(HiTimerThreads, DeletedFromItsOwnHandlerInEveryMode)
{
    // The system clock: the timer thread's own wait is what is under test.
    pf::PlainMessageLoop loop;
    pf::setMessageLoop(&loop);
    struct Done {
        std::mutex m;
        std::condition_variable cv;
        bool deleted = false;
    };
    for (int mode = 0; mode < 3; ++mode) {
        for (int i = 0; i < 100; ++i) {
            SCOPED_TRACE(::testing::Message() << "mode " << mode << " round " << i);
            auto* t = new TDUDHiTimer(1);
            t->SetUseThread(mode != 0);
            t->SetSynchronize(mode != 2); // mode 2: the handler runs on the timer thread
            // Shared with the handler, which may still be returning on the
            // timer thread when this round ends.
            auto done = std::make_shared<Done>();
            t->SetOnTimer([done](void* sender) {
                delete static_cast<TDUDHiTimer*>(sender);
                std::lock_guard<std::mutex> g(done->m);
                done->deleted = true;
                done->cv.notify_all();
            });
            t->SetEnabled(true);
            if (mode == 2) {
                std::unique_lock<std::mutex> l(done->m);
                ASSERT_TRUE(done->cv.wait_for(l, std::chrono::seconds(10), [&] { return done->deleted; }));
            } else {
                ASSERT_TRUE(loop.pumpUntil([&] { return done->deleted; }, 10'000));
            }
        }
    }
    pf::setMessageLoop(nullptr);
}

namespace {

// The application object's exception event, recording what reaches it.
struct HandlerFailures {
    HandlerFailures()
    {
        app.OnException = [this](const TDUDSender& sender, std::exception_ptr e, bool& handled) {
            std::lock_guard<std::mutex> g(m);
            seen.push_back(sender.ClassName + ": " + pf::describeException(e));
            offMain = offMain || !pf::messageLoop().isMainThread();
            handled = true;
        };
    }
    std::vector<std::string> list()
    {
        std::lock_guard<std::mutex> g(m);
        return seen;
    }
    TDUDApplication app{{}, false};
    std::mutex m;
    std::vector<std::string> seen;
    bool offMain = false;
};

// Runs body in a child process (a fault there may abort it) and gives its
// exit code, or 128 + the signal that ended it.
int exitOfChild(const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(body());
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

TEST_F(HiTimer, AThrowingHandlerIsReportedAndTheMessageTimerTicksOn)
{
    HandlerFailures failures;
    ASSERT_EQ(DUDApplication(), &failures.app);
    TDUDHiTimer t(10);
    t.SetName("Beat");
    t.SetUseThread(false);
    int ticks = 0;
    t.SetOnTimer([&](void*) {
        if (++ticks == 1)
            throw std::runtime_error("first tick failed");
    });
    t.SetEnabled(true);
    run(100);
    EXPECT_EQ(ticks, 10);
    EXPECT_TRUE(t.MessageTimerRunning());
    EXPECT_EQ(failures.list(), (std::vector<std::string>{"TDUDHiTimer: first tick failed"}));
}

TEST_F(HiTimer, AThrowingSynchronizedHandlerIsReportedAndTheThreadTicksOn)
{
    HandlerFailures failures;
    pf::ExceptionRecorder sink;
    TDUDHiTimer t(10);
    std::atomic<int> n{0};
    t.SetOnTimer([&](void*) {
        if (++n == 1)
            throw std::runtime_error("first tick failed");
    });
    t.SetEnabled(true);
    while (n < 4) {
        const int before = n;
        clock->advance(10);
        loop.pumpUntil([&] { return n > before; });
    }
    t.SetEnabled(false); // joins the thread: its handler mark was cleared
    EXPECT_FALSE(t.ThreadRunning());
    EXPECT_EQ(failures.list(), (std::vector<std::string>{"TDUDHiTimer: first tick failed"}));
    EXPECT_TRUE(sink.messages().empty());
}

TEST_F(HiTimer, AThrowingHandlerOnTheTimerThreadIsReportedOnTheMainThread)
{
    HandlerFailures failures;
    TDUDHiTimer t(10);
    t.SetSynchronize(false);
    std::atomic<int> n{0};
    t.SetOnTimer([&](void*) {
        if (++n == 1)
            throw std::runtime_error("first tick failed");
    });
    t.SetEnabled(true);
    clock->advance(10);
    loop.pumpUntil([&] { return !failures.list().empty(); }); // the report is a posted call
    t.SetEnabled(false);
    EXPECT_EQ(failures.list(), (std::vector<std::string>{"TDUDHiTimer: first tick failed"}));
    EXPECT_FALSE(failures.offMain);
}

TEST(HiTimerThreads, AThrowingHandlerOnTheTimerThreadIsReportedAndTheTimerTicksOn)
{
    // Without a message loop the report goes straight to the sink.
    const int code = exitOfChild([] {
        pf::ExceptionRecorder sink;
        std::mutex m;
        std::condition_variable cv;
        int ticks = 0;
        TDUDHiTimer t(1);
        t.SetSynchronize(false);
        t.SetOnTimer([&](void*) {
            std::lock_guard<std::mutex> g(m);
            cv.notify_all();
            if (++ticks == 1)
                throw std::runtime_error("first tick failed");
        });
        t.SetEnabled(true);
        {
            std::unique_lock<std::mutex> l(m);
            if (!cv.wait_for(l, std::chrono::seconds(20), [&] { return ticks >= 4; }))
                return 2;
        }
        t.SetEnabled(false);
        const auto messages = sink.messages();
        return messages == std::vector<std::string>{"first tick failed"} ? 0 : 3;
    });
    EXPECT_EQ(code, 0);
}

TEST(HiTimerThreads, SynchronizedWithoutAMessageLoopIsRefusedWhenEnabled)
{
    const int code = exitOfChild([] {
        if (pf::hasMessageLoop())
            return 4;
        TDUDHiTimer t(1);
        t.SetOnTimer([](void*) {});
        try {
            t.SetEnabled(true);
            return 2;
        } catch (const EDUDException&) {
        }
        if (t.Enabled() || t.ThreadRunning())
            return 3;
        t.SetSynchronize(false); // the timer thread runs the handler itself: fine
        t.SetEnabled(true);
        return t.ThreadRunning() ? 0 : 5;
    });
    EXPECT_EQ(code, 0);
}

TEST_F(TimerPool, AThrowingItemIsReportedAndThePassGoesOn)
{
    HandlerFailures failures;
    TDUDTimerPool pool(50);
    int a = 0, b = 0;
    pool.AddTimer(1, 50, [&](void*) {
        ++a;
        throw std::runtime_error("item failed");
    });
    pool.AddTimer(2, 50, [&](void*) { ++b; });
    run(150);
    EXPECT_EQ(a, 3);
    EXPECT_EQ(b, 3);
    EXPECT_EQ(failures.list().size(), 3u);
    EXPECT_EQ(failures.list().at(0), "TDUDTimerPool: item failed");
}

TEST_F(HiTimer, AnExceptionEventThatThrowsStopsNeitherTheTimerNorThePoolPass)
{
    // The program's own exception event fails as well: that failure goes to
    // the exception sink and the timers go on.
    pf::ExceptionRecorder sink;
    TDUDApplication app({}, false);
    app.OnException = [](const TDUDSender&, std::exception_ptr, bool&) {
        throw std::runtime_error("the exception event failed");
    };
    TDUDHiTimer t(10);
    t.SetUseThread(false);
    int ticks = 0;
    t.SetOnTimer([&](void*) {
        if (++ticks == 1)
            throw std::runtime_error("first tick failed");
    });
    TDUDTimerPool pool(50);
    int a = 0, b = 0;
    pool.AddTimer(1, 50, [&](void*) {
        ++a;
        throw std::runtime_error("item failed");
    });
    pool.AddTimer(2, 50, [&](void*) { ++b; });
    t.SetEnabled(true);
    run(100);
    EXPECT_EQ(ticks, 10);
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(sink.messages(), (std::vector<std::string>(3, "the exception event failed")));
}
