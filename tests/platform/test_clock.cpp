#include "platform/clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace kyd::platform {

TEST(Clock, SystemClockIsMonotonicMilliseconds)
{
    SystemClock c;
    std::int64_t a = c.monotonicMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    std::int64_t b = c.monotonicMs();
    EXPECT_GE(b - a, 3);
    EXPECT_LT(b - a, 1000);
    auto wall = c.wallNow();
    EXPECT_LT(std::chrono::abs(wall - std::chrono::system_clock::now()), std::chrono::seconds(1));
    EXPECT_FALSE(c.isFake());
}

TEST(Clock, FakeClockMovesOnlyWhenTold)
{
    using namespace std::chrono;
    FakeClock c(5000, system_clock::time_point{} + hours(24));
    EXPECT_TRUE(c.isFake());
    EXPECT_EQ(c.monotonicMs(), 5000);
    c.advance(250);
    EXPECT_EQ(c.monotonicMs(), 5250);
    EXPECT_EQ(c.wallNow(), system_clock::time_point{} + hours(24) + milliseconds(250));
    c.setMs(100); // never backwards
    EXPECT_EQ(c.monotonicMs(), 5250);
    c.advance(-10);
    EXPECT_EQ(c.monotonicMs(), 5250);
    // Far beyond 32 bits of milliseconds.
    c.setMs(std::int64_t{1} << 40);
    EXPECT_EQ(c.monotonicMs(), std::int64_t{1} << 40);
}

TEST(Clock, ListenersHearEveryMoveUntilRemoved)
{
    FakeClock c;
    int a = 0, b = 0;
    int ida = c.addListener([&] { ++a; });
    int idb = 0;
    idb = c.addListener([&] {
        ++b;
        c.removeListener(idb); // a listener may remove itself
    });
    c.advance(1);
    c.setMs(c.monotonicMs() + 5);
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 1);
    c.removeListener(ida);
    c.advance(1);
    EXPECT_EQ(a, 2);
}

TEST(Clock, ScopedFakeClockInstallsAndRestores)
{
    EXPECT_FALSE(clock().isFake());
    {
        ScopedFakeClock outer(100);
        EXPECT_EQ(clock().monotonicMs(), 100);
        {
            ScopedFakeClock inner(7);
            EXPECT_EQ(clock().monotonicMs(), 7);
        }
        outer->advance(1);
        EXPECT_EQ(clock().monotonicMs(), 101);
    }
    EXPECT_FALSE(clock().isFake());
}

TEST(Clock, WaitUntilRunsOnFakeTime)
{
    ScopedFakeClock fake(0);
    std::mutex m;
    std::condition_variable cv;
    bool flag = false;
    std::atomic<bool> stop{false};
    std::thread ticker([&] {
        while (!stop.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            fake->advance(300'000);
        }
    });
    std::unique_lock<std::mutex> lk(m);
    // An hour of fake time passes in a few real milliseconds.
    EXPECT_FALSE(waitUntilMs(cv, lk, 3'600'000, [&] { return flag; }));
    EXPECT_GE(fake->monotonicMs(), 3'600'000);
    lk.unlock();
    stop = true;
    ticker.join();

    // A notifier ends the wait before the deadline.
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::lock_guard<std::mutex> g(m);
        flag = true;
        cv.notify_all();
    });
    lk.lock();
    EXPECT_TRUE(waitUntilMs(cv, lk, -1, [&] { return flag; }));
    lk.unlock();
    setter.join();
}

TEST(Clock, WaitUntilOnSystemClockTimesOut)
{
    std::mutex m;
    std::condition_variable cv;
    std::unique_lock<std::mutex> lk(m);
    std::int64_t start = clock().monotonicMs();
    EXPECT_FALSE(waitUntilMs(cv, lk, start + 20, [] { return false; }));
    EXPECT_GE(clock().monotonicMs(), start + 20);
}

} // namespace kyd::platform
