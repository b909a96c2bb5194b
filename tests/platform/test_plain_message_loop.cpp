#include "message_loop_cases.h"

#include "platform/plain_message_loop.h"

namespace kyd::platform::testing {

struct MakePlainLoop {
    static std::unique_ptr<MessageLoop> make() { return std::make_unique<PlainMessageLoop>(); }
};
INSTANTIATE_TYPED_TEST_SUITE_P(Plain, MessageLoopCases, MakePlainLoop);

TEST(PlainMessageLoop, ProcessOneReportsTheMessageNumber)
{
    PlainMessageLoop loop;
    TargetId t = loop.createTarget([](const Message&) -> std::intptr_t { return 0; });
    loop.post(t, Message{0x401, 0, 0});
    loop.postCall([] {});
    EXPECT_EQ(loop.processOne(), 0x401u);
    EXPECT_EQ(loop.processOne(), 1u);
    EXPECT_EQ(loop.processOne(), 0u);
    // A dropped message is skipped, not reported.
    loop.post(t, Message{0x402, 0, 0});
    loop.destroyTarget(t);
    EXPECT_EQ(loop.processOne(), 0u);
}

TEST(PlainMessageLoop, ProcessPendingLeavesWhatHandlersQueueForLater)
{
    PlainMessageLoop loop;
    int runs = 0;
    std::function<void()> again = [&] {
        ++runs;
        loop.postCall(again);
    };
    loop.postCall(again);
    EXPECT_TRUE(loop.processPending());
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(loop.processPending());
    EXPECT_EQ(runs, 2);
}

TEST(PlainMessageLoop, PumpNoticesAnEarlierDelayedPostAddedWhileWaiting)
{
    ScopedFakeClock fake;
    PlainMessageLoop loop;
    std::vector<int> seen;
    std::mutex m;
    TargetId t = loop.createTarget([&](const Message& msg) -> std::intptr_t {
        std::lock_guard<std::mutex> g(m);
        seen.push_back(static_cast<int>(msg.wParam));
        return 0;
    });
    loop.postDelayed(t, Message{1, 1000, 0}, 1000);
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        loop.postDelayed(t, Message{1, 50, 0}, 50);
        while (!stop.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            fake->advance(10);
        }
    });
    EXPECT_TRUE(loop.pumpUntil([&] {
        std::lock_guard<std::mutex> g(m);
        return !seen.empty();
    }));
    stop = true;
    worker.join();
    EXPECT_EQ(seen.front(), 50);
}

// A quit or an earlier delayed post from another thread while the pump is
// on its way into poll() on a watch still ends that wait. Raced many times;
// a lost wake-up would leave the pump in poll() until its (generous) limit.
TEST(PlainMessageLoop, QuitOrDelayedPostRacingTheWaitOnAWatchIsNeverLost)
{
    WatchedPipe pipe;
    for (int round = 0; round < 3000; ++round) {
        PlainMessageLoop loop;
        const MessageLoop::WatchId w = loop.watchReadable(pipe.fds[0], [] {});
        std::atomic<bool> fired{false};
        const TargetId t = loop.createTarget([&](const Message&) -> std::intptr_t {
            fired = true;
            return 0;
        });
        const bool quit = round % 2 == 0;
        loop.postDelayed(t, Message{2, 0, 0}, 600000); // the pump waits for this one
        // Both sides start together; the other side's small delay sweeps
        // the moments between the pump's last check and its poll().
        std::atomic<bool> ready{false}, go{false};
        std::thread other([&] {
            ready = true;
            while (!go.load()) {
            }
            for (volatile int spin = 0; spin < (round / 2) % 200; spin = spin + 1) {
            }
            if (quit)
                loop.requestQuit();
            else
                loop.postDelayed(t, Message{1, 0, 0}, 1);
        });
        while (!ready.load()) {
        }
        go = true;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(!quit, loop.pumpUntil([&] { return fired.load(); }, 20000));
        other.join();
        ASSERT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << "round " << round;
        loop.unwatchReadable(w);
        loop.destroyTarget(t);
    }
}

} // namespace kyd::platform::testing
