// Ticks, timers and delays on the process clock.
#include "platform/clock.h"
#include "platform/message_loop.h"
#include "platform/plain_message_loop.h"
#include "serial/SioMisc.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <limits>
#include <thread>

using namespace sio;
using kyd::platform::ScopedFakeClock;

TEST(SioTicks, ConversionsMatchTheKnownValues)
{
    EXPECT_EQ(Secs2Ticks(20), 364);
    EXPECT_EQ(Secs2Ticks(5), 91);
    EXPECT_EQ(Secs2Ticks(0), 0);
    EXPECT_EQ(MSecs2Ticks(1000), 18);
    EXPECT_EQ(MSecs2Ticks(54), 0);
    EXPECT_EQ(Ticks2Secs(2184), 120);
    EXPECT_EQ(Ticks2Secs(0), 0);
    // The link's packet time-out: seconds * 18 + 9 ticks back to seconds.
    EXPECT_EQ(Ticks2Secs(5 * 18 + 9), 5);
    // Truncating division for negative values.
    EXPECT_EQ(Secs2Ticks(-5), -91);
}

TEST(SioTicks, ConversionsDoNotOverflowBeyond32Bits)
{
    // 3e9 s would overflow a 32-bit product many times over.
    EXPECT_EQ(Secs2Ticks(3'000'000'000LL), 3'000'000'000LL * 1675 / 92);
    EXPECT_EQ(MSecs2Ticks(4'000'000'000LL), 4'000'000'000LL * 1675 / 92000);
    EXPECT_EQ(Ticks2Secs(2'000'000'000LL), (2'000'000'000LL + 9) * 92 / 1675);
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(Secs2Ticks(kMax), kMax); // saturates
    EXPECT_EQ(MSecs2Ticks(kMax), static_cast<std::int64_t>(static_cast<__int128>(kMax) * 1675 / 92000));
    EXPECT_EQ(Ticks2Secs(kMax), static_cast<std::int64_t>((static_cast<__int128>(kMax) + 9) * 92 / 1675));
}

TEST(SioTicks, TickClockIsMillisecondsOver55)
{
    ScopedFakeClock fake(1'000'000);
    EXPECT_EQ(SioTimeGetTime(), 1'000'000);
    EXPECT_EQ(NowTicks(), 1'000'000 / 55);
    fake->advance(55);
    EXPECT_EQ(NowTicks(), 1'000'055 / 55);
}

TEST(SioTimer, ZeroTickTimerExpiresOneTickLater)
{
    ScopedFakeClock fake(55 * 1000); // at the very start of a tick
    EventTimer t;
    NewTimer(t, 0);
    EXPECT_FALSE(TimerExpired(t));
    fake->advance(54);
    EXPECT_FALSE(TimerExpired(t)) << "still the same tick";
    fake->advance(1);
    EXPECT_TRUE(TimerExpired(t));
}

TEST(SioTimer, ExpiresAfterItsTicksAndReportsTimes)
{
    ScopedFakeClock fake(55 * 5000 + 20);
    EventTimer t;
    NewTimerSecs(t, 5); // 91 ticks
    EXPECT_EQ(t.ExpireTicks - t.StartTicks, 91);
    EXPECT_EQ(RemainingTime(t), 91);
    EXPECT_EQ(ElapsedTime(t), 0);
    fake->advance(55 * 50);
    EXPECT_EQ(ElapsedTime(t), 50);
    EXPECT_EQ(RemainingTime(t), 41);
    EXPECT_EQ(ElapsedTimeInSecs(t), Ticks2Secs(50));
    EXPECT_EQ(RemainingTimeInSecs(t), Ticks2Secs(41));
    fake->advance(55 * 41);
    EXPECT_FALSE(TimerExpired(t)) << "the expiry tick itself is not past";
    EXPECT_EQ(RemainingTime(t), 0);
    fake->advance(55);
    EXPECT_TRUE(TimerExpired(t));
    fake->advance(55 * 1000);
    EXPECT_EQ(RemainingTime(t), 0) << "never negative";
}

TEST(SioTimer, LongRequestsAreCutToTheMaximum)
{
    ScopedFakeClock fake(1'000'000);
    EventTimer t;
    NewTimer(t, 1'000'000'000'000LL);
    EXPECT_EQ(t.ExpireTicks - t.StartTicks, kMaxTimerTicks);
    fake->advance((kMaxTimerTicks - 1) * 55);
    EXPECT_FALSE(TimerExpired(t));
    fake->advance(2 * 55);
    EXPECT_TRUE(TimerExpired(t));
}

TEST(SioTimer, NoWrapWhereA32BitMillisecondCounterWouldWrap)
{
    // 100 ms before 2^32 ms (49.7 days of uptime).
    ScopedFakeClock fake((std::int64_t(1) << 32) - 100);
    EventTimer t;
    NewTimer(t, MSecs2Ticks(10'000));
    fake->advance(200); // crosses 2^32
    EXPECT_FALSE(TimerExpired(t));
    EXPECT_GT(RemainingTime(t), 0);
    EXPECT_LE(ElapsedTime(t), 5);
    fake->advance(11'000);
    EXPECT_TRUE(TimerExpired(t));
}

TEST(SioTimer, DeadlineIsTheFirstMillisecondOfExpiry)
{
    ScopedFakeClock fake(1'000'003);
    EventTimer t;
    NewTimer(t, 3);
    std::int64_t deadline = TimerDeadlineMs(t);
    fake->setMs(deadline - 1);
    EXPECT_FALSE(TimerExpired(t));
    fake->setMs(deadline);
    EXPECT_TRUE(TimerExpired(t));
}

TEST(SioDelay, NonYieldingDelayFollowsAFakeClock)
{
    ScopedFakeClock fake(1'000'000);
    std::atomic<bool> done{false};
    std::int64_t endMs = 0;
    std::thread waiter([&] {
        DelayTicks(10, false);
        endMs = SioTimeGetTime();
        done = true;
    });
    // Advance in small steps until the waiter has returned; it may only
    // return once ten ticks have passed.
    while (!done) {
        fake->advance(5);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    waiter.join();
    EXPECT_GE(endMs / 55, 1'000'000 / 55 + 11);
}

TEST(SioDelay, NothingForZeroOrNegativeTicks)
{
    ScopedFakeClock fake; // would hang if a wait were attempted
    EXPECT_EQ(DelayTicks(0, false), 0u);
    EXPECT_EQ(DelayTicks(-5, true), 0u);
    DelayMS(0);
}

TEST(SioDelay, DelayMSFollowsAFakeClock)
{
    ScopedFakeClock fake(1'000'000);
    std::atomic<bool> done{false};
    std::thread waiter([&] {
        DelayMS(100);
        done = true;
    });
    while (!done) {
        EXPECT_LT(SioTimeGetTime(), 1'000'000 + 200);
        fake->advance(1);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    waiter.join();
    EXPECT_GE(SioTimeGetTime(), 1'000'100);
}

class SioYield : public ::testing::Test {
protected:
    void SetUp() override { kyd::platform::setMessageLoop(&loop); }
    void TearDown() override { kyd::platform::setMessageLoop(nullptr); }
    kyd::platform::PlainMessageLoop loop;
};

TEST_F(SioYield, QuitEndsTheDelayAndStaysPending)
{
    ScopedFakeClock fake(1'000'000);
    loop.postCall([this] { loop.requestQuit(); });
    EXPECT_EQ(DelayTicks(1000, true), kyd::platform::kQuitMessage);
    EXPECT_TRUE(loop.quitRequested());
    EXPECT_EQ(SafeYield(), kyd::platform::kQuitMessage) << "the main loop still sees the quit";
}

TEST_F(SioYield, EventsRunWhileWaitingAndTheDelayEndsOnTime)
{
    ScopedFakeClock fake(1'000'000);
    int ran = 0;
    loop.postCall([&] { ++ran; });
    loop.postCall([&] {
        ++ran;
        fake->advance(55 * 3);
    });
    EXPECT_EQ(DelayTicks(2, true), 0u);
    EXPECT_EQ(ran, 2);
    EXPECT_FALSE(loop.quitRequested());
}

TEST_F(SioYield, WorkerAdvancingTheClockEndsAYieldingDelay)
{
    ScopedFakeClock fake(1'000'000);
    std::atomic<bool> done{false};
    std::thread ticker([&] {
        while (!done) {
            fake->advance(10);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    EXPECT_EQ(DelayTicks(20, true), 0u);
    done = true;
    ticker.join();
    EXPECT_GE(SioTimeGetTime(), 55 * (1'000'000 / 55 + 21));
}

TEST_F(SioYield, SafeYieldReportsNothingPendingAsZero)
{
    EXPECT_EQ(SafeYield(), 0u);
    bool ran = false;
    loop.postCall([&] { ran = true; });
    EXPECT_NE(SafeYield(), 0u);
    EXPECT_TRUE(ran);
}
