// Behaviour every MessageLoop implementation shares. A test file
// instantiates the suite with a factory:
//   struct MakePlain { static std::unique_ptr<MessageLoop> make(); };
//   INSTANTIATE_TYPED_TEST_SUITE_P(Plain, MessageLoopCases, MakePlain);
#pragma once

#include "platform/clock.h"
#include "platform/exception_sink.h"
#include "platform/message_loop.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace kyd::platform::testing {

template <class Factory>
class MessageLoopCases : public ::testing::Test {
protected:
    void SetUp() override { loop = Factory::make(); }
    void TearDown() override { loop.reset(); }
    std::unique_ptr<MessageLoop> loop;

    // Pumps until cond() holds; fails the test after a generous limit.
    void pumpFor(const std::function<bool()>& cond)
    {
        ASSERT_TRUE(loop->pumpUntil(cond, 5000));
    }

    // A delayed post falls due and a fake time-out expires without real
    // waits while another thread moves the fake clock.
    void expectPumpFollowsFakeClock(FakeClock& fake)
    {
        const std::int64_t start = fake.monotonicMs();
        std::atomic<bool> fired{false};
        TargetId t = loop->createTarget([&](const Message&) -> std::intptr_t {
            fired = true;
            return 0;
        });
        loop->postDelayed(t, Message{1, 0, 0}, 500);
        std::atomic<bool> stop{false};
        std::thread ticker([&] {
            while (!stop.load()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                fake.advance(100);
            }
        });
        EXPECT_TRUE(loop->pumpUntil([&] { return fired.load(); }));
        EXPECT_GE(fake.monotonicMs(), start + 500);
        const std::int64_t before = fake.monotonicMs();
        EXPECT_FALSE(loop->pumpUntil([] { return false; }, 300));
        EXPECT_GE(fake.monotonicMs(), before + 300);
        stop = true;
        ticker.join();
        loop->destroyTarget(t);
    }
};

TYPED_TEST_SUITE_P(MessageLoopCases);

TYPED_TEST_P(MessageLoopCases, SynchronizeFromWorkerRunsOnMainThreadWhileItPumps)
{
    auto& loop = *this->loop;
    std::atomic<int> ranOnMain{0};
    std::atomic<bool> finished{false};
    std::atomic<int> okCount{0};
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) {
            int seen = ranOnMain.load();
            bool ok = loop.synchronize([&] {
                if (loop.isMainThread())
                    ranOnMain.fetch_add(1);
            });
            // synchronize returns only after fn has run.
            if (ok && ranOnMain.load() == seen + 1)
                okCount.fetch_add(1);
        }
        finished = true;
        loop.wakeUp();
    });
    this->pumpFor([&] { return finished.load(); });
    worker.join();
    EXPECT_EQ(ranOnMain.load(), 50);
    EXPECT_EQ(okCount.load(), 50);
    EXPECT_TRUE(loop.isMainThread());
}

TYPED_TEST_P(MessageLoopCases, SynchronizeOnMainThreadRunsDirectly)
{
    auto& loop = *this->loop;
    int ran = 0;
    EXPECT_TRUE(loop.synchronize([&] { ++ran; }));
    EXPECT_EQ(ran, 1);
    SyncToken cancelled;
    cancelled.cancel();
    EXPECT_FALSE(loop.synchronize([&] { ++ran; }, &cancelled));
    EXPECT_EQ(ran, 1);
}

TYPED_TEST_P(MessageLoopCases, CancelWakesBlockedSynchronizeAndCallNeverRuns)
{
    auto& loop = *this->loop;
    SyncToken token;
    std::atomic<bool> started{false};
    std::atomic<int> ran{0};
    std::atomic<int> result{-1};
    std::thread worker([&] {
        started = true;
        result = loop.synchronize([&] { ran.fetch_add(1); }, &token) ? 1 : 0;
    });
    while (!started.load())
        std::this_thread::yield();
    // Give the worker time to block; the outcome is the same either way.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    token.cancel(); // the main thread does not pump: only the cancel can free it
    worker.join();
    EXPECT_EQ(result.load(), 0);
    loop.processPending();
    EXPECT_EQ(ran.load(), 0);

    // A cancelled token refuses further calls until reset.
    std::thread again([&] { result = loop.synchronize([&] { ran.fetch_add(1); }, &token) ? 1 : 0; });
    again.join();
    EXPECT_EQ(result.load(), 0);
    token.reset();
    std::atomic<bool> done{false};
    std::thread after([&] {
        result = loop.synchronize([&] { ran.fetch_add(1); }, &token) ? 1 : 0;
        done = true;
        loop.wakeUp();
    });
    this->pumpFor([&] { return done.load(); });
    after.join();
    EXPECT_EQ(result.load(), 1);
    EXPECT_EQ(ran.load(), 1);
}

TYPED_TEST_P(MessageLoopCases, CancelRacingTheMainThreadRunsEachCallAtMostOnce)
{
    auto& loop = *this->loop;
    for (int round = 0; round < 30; ++round) {
        SyncToken token;
        std::atomic<int> ran{0};
        std::atomic<int> result{-1};
        std::thread worker([&] {
            result = loop.synchronize([&] { ran.fetch_add(1); }, &token) ? 1 : 0;
            loop.wakeUp();
        });
        std::thread canceller([&] { token.cancel(); });
        this->pumpFor([&] { return result.load() >= 0; });
        worker.join();
        canceller.join();
        loop.processPending();
        ASSERT_EQ(ran.load(), result.load()) << "round " << round;
    }
}

TYPED_TEST_P(MessageLoopCases, SendTimeoutReturnsTheHandlersResult)
{
    auto& loop = *this->loop;
    std::thread::id handlerThread;
    TargetId t = loop.createTarget([&](const Message& m) -> std::intptr_t {
        handlerThread = std::this_thread::get_id();
        return static_cast<std::intptr_t>(m.wParam) * 2 + m.lParam;
    });
    std::optional<std::intptr_t> r;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        r = loop.sendTimeout(t, Message{1234, 20, 2}, 5000);
        done = true;
        loop.wakeUp();
    });
    this->pumpFor([&] { return done.load(); });
    worker.join();
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(*r, 42);
    EXPECT_EQ(handlerThread, std::this_thread::get_id());
    // On the main thread the handler runs directly.
    EXPECT_EQ(loop.sendTimeout(t, Message{1234, 1, 1}, 0), std::optional<std::intptr_t>(3));
    loop.destroyTarget(t);
}

TYPED_TEST_P(MessageLoopCases, SendTimeoutExpiresAndTheAbandonedCallNeverRuns)
{
    auto& loop = *this->loop;
    std::atomic<int> calls{0};
    TargetId t = loop.createTarget([&](const Message&) -> std::intptr_t {
        calls.fetch_add(1);
        return 7;
    });
    std::optional<std::intptr_t> r = 99;
    std::thread worker([&] { r = loop.sendTimeout(t, Message{1234, 0, 0}, 20); });
    worker.join(); // nobody pumps: it must give up by itself
    EXPECT_FALSE(r.has_value());
    loop.processPending();
    loop.pumpUntil([] { return false; }, 20);
    EXPECT_EQ(calls.load(), 0);
    loop.destroyTarget(t);
}

TYPED_TEST_P(MessageLoopCases, SendToMissingOrDestroyedTargetFailsAtOnce)
{
    auto& loop = *this->loop;
    TargetId t = loop.createTarget([](const Message&) -> std::intptr_t { return 1; });
    std::optional<std::intptr_t> r = 99;
    std::atomic<bool> entered{false};
    std::thread worker([&] {
        entered = true;
        r = loop.sendTimeout(t, Message{1234, 0, 0}, 5000);
    });
    while (!entered.load())
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    loop.destroyTarget(t); // frees the waiting sender without the 5 s wait
    worker.join();
    EXPECT_FALSE(r.has_value());
    std::thread late([&] { r = loop.sendTimeout(t, Message{1234, 0, 0}, 5000); });
    late.join();
    EXPECT_FALSE(r.has_value());
}

TYPED_TEST_P(MessageLoopCases, PostToDestroyedTargetIsDropped)
{
    auto& loop = *this->loop;
    std::vector<std::uint32_t> seenA, seenB;
    TargetId a = loop.createTarget([&](const Message& m) -> std::intptr_t {
        seenA.push_back(m.msg);
        return 0;
    });
    TargetId b = loop.createTarget([&](const Message& m) -> std::intptr_t {
        seenB.push_back(m.msg);
        return 0;
    });
    EXPECT_NE(a, b);
    EXPECT_TRUE(loop.post(a, Message{100, 0, 0}));
    EXPECT_TRUE(loop.post(b, Message{200, 0, 0}));
    std::thread worker([&] { loop.post(a, Message{101, 0, 0}); });
    worker.join();
    loop.destroyTarget(a);
    EXPECT_FALSE(loop.post(a, Message{102, 0, 0}));
    EXPECT_FALSE(loop.postDelayed(a, Message{103, 0, 0}, 5));
    EXPECT_FALSE(loop.post(0, Message{104, 0, 0}));
    loop.processPending();
    EXPECT_TRUE(seenA.empty());
    EXPECT_EQ(seenB, std::vector<std::uint32_t>{200});
    loop.destroyTarget(b);
}

TYPED_TEST_P(MessageLoopCases, PostsRunInOrderAndPostCallRunsOnMainThread)
{
    auto& loop = *this->loop;
    std::vector<int> order;
    TargetId t = loop.createTarget([&](const Message& m) -> std::intptr_t {
        order.push_back(static_cast<int>(m.wParam));
        return 0;
    });
    std::atomic<bool> onMain{false};
    std::thread worker([&] {
        for (int i = 1; i <= 5; ++i)
            loop.post(t, Message{1234, static_cast<std::uintptr_t>(i), 0});
        loop.postCall([&] { onMain = loop.isMainThread(); });
    });
    worker.join();
    this->pumpFor([&] { return onMain.load(); });
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5}));
    loop.destroyTarget(t);
}

TYPED_TEST_P(MessageLoopCases, DelayedPostsFollowTheFakeClock)
{
    ScopedFakeClock fake;
    auto& loop = *this->loop;
    std::vector<int> order;
    TargetId t = loop.createTarget([&](const Message& m) -> std::intptr_t {
        order.push_back(static_cast<int>(m.wParam));
        return 0;
    });
    loop.postDelayed(t, Message{1, 30, 0}, 30);
    loop.postDelayed(t, Message{1, 10, 0}, 10);
    loop.postDelayed(t, Message{1, 20, 0}, 20);
    loop.postDelayed(t, Message{1, 21, 0}, 20); // same due time: posting order
    loop.post(t, Message{1, 0, 0});
    loop.processPending();
    EXPECT_EQ(order, std::vector<int>{0});
    fake->advance(9);
    loop.processPending();
    EXPECT_EQ(order, std::vector<int>{0});
    fake->advance(1);
    loop.processPending();
    EXPECT_EQ(order, (std::vector<int>{0, 10}));
    fake->advance(100);
    loop.processPending();
    EXPECT_EQ(order, (std::vector<int>{0, 10, 20, 21, 30}));
    loop.destroyTarget(t);
}

TYPED_TEST_P(MessageLoopCases, PumpUntilWakesOnFakeClockAdvance)
{
    ScopedFakeClock fake;
    this->expectPumpFollowsFakeClock(*fake);
}

TYPED_TEST_P(MessageLoopCases, PumpUntilWakesOnWakeUpFromWorker)
{
    auto& loop = *this->loop;
    std::atomic<bool> flag{false};
    std::thread worker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        flag = true; // no message: only wakeUp tells the pump
        loop.wakeUp();
    });
    EXPECT_TRUE(loop.pumpUntil([&] { return flag.load(); }));
    worker.join();
}

TYPED_TEST_P(MessageLoopCases, PumpUntilTimesOut)
{
    auto& loop = *this->loop;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(loop.pumpUntil([] { return false; }, 20));
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GE(ms, 19);
    EXPECT_TRUE(loop.pumpUntil([] { return true; }, 0));
}

TYPED_TEST_P(MessageLoopCases, QuitEndsPumpAndStaysPending)
{
    auto& loop = *this->loop;
    EXPECT_FALSE(loop.quitRequested());
    EXPECT_NE(loop.processOne(), kQuitMessage);
    std::thread worker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        loop.requestQuit();
    });
    EXPECT_FALSE(loop.pumpUntil([] { return false; }));
    worker.join();
    EXPECT_TRUE(loop.quitRequested());
    EXPECT_EQ(loop.processOne(), kQuitMessage);
    EXPECT_EQ(loop.processOne(), kQuitMessage);
    // A pump whose condition already holds still reports it.
    EXPECT_TRUE(loop.pumpUntil([] { return true; }));
}

TYPED_TEST_P(MessageLoopCases, ExceptionsFromHandlersReachTheSink)
{
    auto& loop = *this->loop;
    ExceptionRecorder rec;
    TargetId t = loop.createTarget([](const Message&) -> std::intptr_t { throw std::runtime_error("handler broke"); });
    loop.post(t, Message{1, 0, 0});
    loop.postCall([] { throw std::runtime_error("call broke"); });
    loop.processPending();
    std::atomic<bool> ok{false};
    std::thread worker([&] {
        ok = loop.synchronize([] { throw std::runtime_error("sync broke"); });
        loop.wakeUp();
    });
    this->pumpFor([&] { return ok.load(); });
    worker.join();
    EXPECT_EQ(rec.messages(), (std::vector<std::string>{"handler broke", "call broke", "sync broke"}));
    loop.destroyTarget(t);
}

// A non-blocking pipe whose read end a test watches.
struct WatchedPipe {
    int fds[2] = {-1, -1};
    WatchedPipe() { EXPECT_EQ(0, ::pipe2(fds, O_NONBLOCK | O_CLOEXEC)); }
    ~WatchedPipe()
    {
        for (int fd : fds)
            if (fd >= 0)
                ::close(fd);
    }
    void write(const std::string& s) { EXPECT_EQ(static_cast<ssize_t>(s.size()), ::write(fds[1], s.data(), s.size())); }
    void closeWriteEnd()
    {
        ::close(fds[1]);
        fds[1] = -1;
    }
    // Reads what is there; false at end of file.
    bool drain(std::string& into)
    {
        char buf[64];
        for (;;) {
            const ssize_t n = ::read(fds[0], buf, sizeof buf);
            if (n > 0)
                into.append(buf, static_cast<std::size_t>(n));
            else
                return n != 0;
        }
    }
};

TYPED_TEST_P(MessageLoopCases, WatchedDescriptorIsServedOnTheMainThreadBesidePostedWork)
{
    auto& loop = *this->loop;
    WatchedPipe pipe;
    std::string got;
    bool offMain = false;
    std::atomic<int> calls{0};
    const MessageLoop::WatchId w = loop.watchReadable(pipe.fds[0], [&] {
        offMain = offMain || !loop.isMainThread();
        pipe.drain(got);
    });
    std::thread worker([&] {
        pipe.write("ab");
        loop.postCall([&] { calls.fetch_add(1); });
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        pipe.write("cd");
        loop.synchronize([&] { calls.fetch_add(1); });
    });
    this->pumpFor([&] { return got == "abcd" && calls.load() == 2; });
    worker.join();
    EXPECT_FALSE(offMain);
    loop.unwatchReadable(w);
}

TYPED_TEST_P(MessageLoopCases, UnwatchedFromItsOwnCallbackItNeverRunsAgain)
{
    auto& loop = *this->loop;
    WatchedPipe pipe;
    int runs = 0;
    MessageLoop::WatchId w = 0;
    w = loop.watchReadable(pipe.fds[0], [&] {
        ++runs;
        loop.unwatchReadable(w); // the input stays unread
    });
    pipe.write("x");
    this->pumpFor([&] { return runs == 1; });
    pipe.write("y");
    EXPECT_FALSE(loop.pumpUntil([] { return false; }, 20));
    EXPECT_EQ(1, runs);
    loop.unwatchReadable(w); // twice is harmless
}

TYPED_TEST_P(MessageLoopCases, HangUpReachesTheWatchAndWakeUpsStillEndThePump)
{
    auto& loop = *this->loop;
    WatchedPipe pipe;
    std::string got;
    bool ended = false;
    MessageLoop::WatchId w = 0;
    w = loop.watchReadable(pipe.fds[0], [&] {
        if (!pipe.drain(got)) {
            ended = true;
            loop.unwatchReadable(w);
        }
    });
    // Nothing to read: a wake-up from a worker ends the wait.
    std::atomic<bool> flag{false};
    std::thread worker([&] {
        flag = true;
        loop.wakeUp();
    });
    EXPECT_TRUE(loop.pumpUntil([&] { return flag.load(); }, 5000));
    worker.join();
    pipe.write("last");
    pipe.closeWriteEnd();
    this->pumpFor([&] { return ended; });
    EXPECT_EQ("last", got);
}

TYPED_TEST_P(MessageLoopCases, PumpWithAWatchFollowsTheFakeClockAndQuits)
{
    ScopedFakeClock fake;
    auto& loop = *this->loop;
    WatchedPipe pipe;
    const MessageLoop::WatchId w = loop.watchReadable(pipe.fds[0], [] {});
    this->expectPumpFollowsFakeClock(*fake);
    std::thread quitter([&] { loop.requestQuit(); });
    EXPECT_FALSE(loop.pumpUntil([] { return false; }));
    quitter.join();
    loop.unwatchReadable(w);
}

REGISTER_TYPED_TEST_SUITE_P(MessageLoopCases, SynchronizeFromWorkerRunsOnMainThreadWhileItPumps,
                            SynchronizeOnMainThreadRunsDirectly, CancelWakesBlockedSynchronizeAndCallNeverRuns,
                            CancelRacingTheMainThreadRunsEachCallAtMostOnce, SendTimeoutReturnsTheHandlersResult,
                            SendTimeoutExpiresAndTheAbandonedCallNeverRuns, SendToMissingOrDestroyedTargetFailsAtOnce,
                            PostToDestroyedTargetIsDropped, PostsRunInOrderAndPostCallRunsOnMainThread,
                            DelayedPostsFollowTheFakeClock, PumpUntilWakesOnFakeClockAdvance,
                            PumpUntilWakesOnWakeUpFromWorker, PumpUntilTimesOut, QuitEndsPumpAndStaysPending,
                            ExceptionsFromHandlersReachTheSink,
                            WatchedDescriptorIsServedOnTheMainThreadBesidePostedWork,
                            UnwatchedFromItsOwnCallbackItNeverRunsAgain,
                            HangUpReachesTheWatchAndWakeUpsStillEndThePump, PumpWithAWatchFollowsTheFakeClockAndQuits);

} // namespace kyd::platform::testing
