// The dispatcher with its four threads on a pseudo-terminal; the test holds
// the master side and pumps a PlainMessageLoop by hand.
#include "platform/message_loop.h"
#include "platform/plain_message_loop.h"
#include "platform/pty_modem.h"
#include "serial/SioExcept.h"
#include "serial/SioPosix.h"
#include "support_pty.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace sio::test {
namespace {

namespace pf = kyd::platform;
using Clock = std::chrono::steady_clock;

class PtyEngine : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.ok());
        pf::setMessageLoop(&loop);
    }
    void TearDown() override
    {
        d.reset();
        pf::setMessageLoop(nullptr);
    }
    void open(std::uint32_t baud = 9600, Parity parity = Parity::None, std::uint16_t bits = 8)
    {
        d = std::make_unique<TSioPosixDispatcher>();
        ASSERT_EQ(0, d->InitPort(pty.slavePath(), baud, parity, bits, 1, 4096, 4096, 3));
    }
    // Collects every byte announced, on the dispatch thread.
    void collect()
    {
        d->ChangeLengthTrigger(1);
        d->RegisterEventTriggerHandler(this, [this](std::uint32_t m, std::uint32_t n, std::int32_t) {
            if (m != kMsgTriggerAvail)
                return;
            std::vector<std::uint8_t> buf(n);
            if (d->GetBlock(buf.data(), n) == static_cast<int>(n)) {
                std::lock_guard lock(mutex);
                received.insert(received.end(), buf.begin(), buf.end());
            }
            loop.wakeUp();
        });
    }
    std::size_t receivedCount()
    {
        std::lock_guard lock(mutex);
        return received.size();
    }

    TestPty pty;
    pf::PlainMessageLoop loop;
    std::unique_ptr<TSioPosixDispatcher> d;
    std::mutex mutex;
    std::vector<std::uint8_t> received;
};

std::vector<std::uint8_t> allBytes()
{
    std::vector<std::uint8_t> v(256);
    for (int i = 0; i < 256; ++i)
        v[i] = static_cast<std::uint8_t>(i);
    return v;
}

TEST_F(PtyEngine, AllByteValuesBothWays)
{
    open();
    collect();
    EXPECT_EQ(4, d->ThreadCount());
    ASSERT_TRUE(pty.write(allBytes()));
    EXPECT_TRUE(loop.pumpUntil([&] { return receivedCount() >= 256; }, 5000));
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(allBytes(), received);
    }
    const auto bytes = allBytes();
    ASSERT_EQ(0, d->PutBlock(bytes.data(), 256));
    EXPECT_EQ(allBytes(), pty.read(256, 5000));
    EXPECT_EQ(0, d->DonePort());
    EXPECT_EQ(0, d->ThreadCount());
}

TEST_F(PtyEngine, CloseWhileASynchronisedEventIsQueued)
{
    open();
    std::mutex m;
    std::condition_variable cv;
    bool reached = false;
    std::atomic<int> syncRuns{0};
    d->ChangeLengthTrigger(1);
    d->RegisterEventTriggerHandler(&m, [&](std::uint32_t, std::uint32_t, std::int32_t) {
        std::lock_guard lock(m);
        reached = true;
        cv.notify_all();
    });
    d->RegisterSyncEventTriggerHandler(&cv, [&](std::uint32_t, std::uint32_t, std::int32_t) { ++syncRuns; });
    ASSERT_TRUE(pty.write("data"));
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return reached; }));
    }
    const auto start = Clock::now();
    EXPECT_EQ(0, d->DonePort());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(0, d->ThreadCount());
    EXPECT_FALSE(d->IsOpen());
    EXPECT_LE(syncRuns.load(), 1);
}

TEST_F(PtyEngine, CloseFromInsideASynchronisedHandlerFinishesLater)
{
    open();
    bool closedInside = false;
    bool done = false;
    d->ChangeLengthTrigger(1);
    d->SetCloseDoneCallback([&] {
        d->FinishDeferredClose();
        done = true;
    });
    d->RegisterSyncEventTriggerHandler(this, [&](std::uint32_t, std::uint32_t, std::int32_t) {
        if (closedInside)
            return;
        closedInside = true;
        EXPECT_EQ(0, d->DonePort());
        EXPECT_TRUE(d->ClosePending());
        // Left: the dispatch thread and, when the reader ran this pass
        // itself, the reader (it ends once the handler returned).
        EXPECT_GE(2, d->ThreadCount());
    });
    ASSERT_TRUE(pty.write("x"));
    EXPECT_TRUE(loop.pumpUntil([&] { return done; }, 5000));
    EXPECT_TRUE(closedInside);
    EXPECT_FALSE(d->ClosePending());
    EXPECT_FALSE(d->IsOpen());
    EXPECT_EQ(0, d->ThreadCount());
}

TEST_F(PtyEngine, MasterClosingMidTrafficEndsTheDeviceThreadsWithALineError)
{
    open();
    collect();
    std::atomic<int> lineStatus{0};
    const int h = d->AddStatusTrigger(stLine);
    d->SetStatusTrigger(static_cast<std::uint32_t>(h), 15, true);
    d->RegisterEventTriggerHandler(&lineStatus, [&](std::uint32_t m, std::uint32_t s, std::int32_t) {
        if (m == kMsgTriggerStatus && s == static_cast<std::uint32_t>(h)) {
            ++lineStatus;
            loop.wakeUp();
        }
    });
    ASSERT_TRUE(pty.write(std::vector<std::uint8_t>(3000, 'q')));
    const auto out = std::vector<std::uint8_t>(2000, 'w');
    d->PutBlock(out.data(), 2000);
    pty.closeMaster();
    // The dispatch thread stays for the timers until the port is closed.
    EXPECT_TRUE(loop.pumpUntil([&] { return d->ThreadCount() == 1 && lineStatus.load() == 1; }, 5000));
    EXPECT_TRUE(d->ThreadsActive());
    EXPECT_EQ(1, lineStatus.load());
    EXPECT_EQ(10, d->GetLineError());
    EXPECT_EQ(0, d->DonePort());
    EXPECT_FALSE(d->IsOpen());
}

// Data that arrives while the dispatch thread is busy in a handler waits in
// the I/O queue; data that arrives while it is idle is dispatched by the
// reader itself. Mixed, every byte comes out once and in order.
TEST_F(PtyEngine, ReaderPassAndQueuedBlocksKeepOrderAndCompleteness)
{
    open(115200);
    std::mutex m;
    std::condition_variable cv;
    bool inTimer = false, release = false;
    std::thread::id dispatchThread;
    std::vector<std::thread::id> availThreads;
    d->ChangeLengthTrigger(1);
    const auto timer = static_cast<std::uint32_t>(d->AddTimerTrigger());
    d->RegisterEventTriggerHandler(this, [&](std::uint32_t msg, std::uint32_t n, std::int32_t) {
        if (msg == kMsgTriggerTimer) {
            // Keeps the dispatch thread busy until the test lets go.
            std::unique_lock lock(m);
            dispatchThread = std::this_thread::get_id();
            inTimer = true;
            cv.notify_all();
            cv.wait_for(lock, std::chrono::seconds(5), [&] { return release; });
            inTimer = false;
            return;
        }
        if (msg != kMsgTriggerAvail)
            return;
        std::vector<std::uint8_t> buf(n);
        if (d->GetBlock(buf.data(), n) == static_cast<int>(n)) {
            std::lock_guard lock(mutex);
            received.insert(received.end(), buf.begin(), buf.end());
            std::lock_guard l2(m);
            availThreads.push_back(std::this_thread::get_id());
        }
        loop.wakeUp();
    });

    std::vector<std::uint8_t> sent;
    const auto send = [&](std::size_t n) {
        std::vector<std::uint8_t> chunk(n);
        for (auto& c : chunk)
            c = static_cast<std::uint8_t>(sent.size() % 251 + (&c - chunk.data()) % 3);
        sent.insert(sent.end(), chunk.begin(), chunk.end());
        ASSERT_TRUE(pty.write(chunk));
    };
    const auto settled = [&] { return loop.pumpUntil([&] { return receivedCount() == sent.size(); }, 5000); };

    for (int round = 0; round < 4; ++round) {
        // The dispatch thread is idle: the reader dispatches this itself.
        send(37 + round);
        ASSERT_TRUE(settled());
        // Now the dispatch thread sits in the timer handler: what arrives
        // is queued behind it (more than the dispatch buffer holds in the
        // last rounds, so it also waits for room there).
        {
            std::unique_lock lock(m);
            release = false;
        }
        ASSERT_EQ(0, d->SetTimerTrigger(timer, 1, true));
        {
            std::unique_lock lock(m);
            ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return inTimer; }));
        }
        send(round < 2 ? 500 : 12000);
        send(5);
        for (int i = 0; i < 2000 && d->InQueueUsed() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_LT(0u, d->InQueueUsed());
        {
            std::lock_guard lock(m);
            release = true;
        }
        cv.notify_all();
        // More while the dispatch thread works through the queue.
        send(700);
        ASSERT_TRUE(settled());
    }
    std::lock_guard lock(mutex);
    ASSERT_EQ(sent.size(), received.size());
    EXPECT_TRUE(sent == received);
    std::lock_guard l2(m);
    const auto onDispatch = std::count(availThreads.begin(), availThreads.end(), dispatchThread);
    EXPECT_GT(onDispatch, 0); // queued blocks
    EXPECT_GT(static_cast<long>(availThreads.size()) - onDispatch, 0); // the reader's own passes
    d->DeregisterEventTriggerHandler(this);
}

TEST_F(PtyEngine, RepeatedOpenAndCloseLeaksNothing)
{
    // Warm up once so lazily created process-wide objects do not count.
    open();
    d->DonePort();
    d.reset();
    const int fds = openFdCount();
    const int threads = threadCount();
    for (int i = 0; i < 200; ++i) {
        open();
        ASSERT_EQ(0, d->PutString("ping"));
        ASSERT_TRUE(pty.write("pong"));
        if (i % 20 == 0) {
            EXPECT_GE(pty.read(4, 2000).size(), 4u);
        }
        ASSERT_EQ(0, d->DonePort());
        d.reset();
    }
    pty.read(100000, 50); // drain
    EXPECT_EQ(fds, openFdCount());
    EXPECT_EQ(threads, threadCount());
}

} // namespace
} // namespace sio::test
