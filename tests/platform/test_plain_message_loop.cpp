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
// on its way into poll() on a watch still ends that wait. Raced a few
// thousand times, the other side's small delay sweeping the moments between
// the pump's last check and its poll(); a lost wake-up would leave the pump
// in poll() until its (generous) limit.
TEST(PlainMessageLoop, QuitOrDelayedPostRacingTheWaitOnAWatchIsNeverLost)
{
    constexpr int kRounds = 3000;
    WatchedPipe pipe;
    std::atomic<PlainMessageLoop*> current{nullptr};
    std::atomic<TargetId> target{0};
    std::atomic<int> go{-1}, done{-1};
    auto quitRound = [](int round) { return round % 6 != 0; };
    std::thread other([&] {
        for (int round = 0; round < kRounds; ++round) {
            while (go.load() < round)
                std::this_thread::yield();
            for (volatile int spin = 0; spin < (round * 7) % 300; spin = spin + 1) {
            }
            if (PlainMessageLoop* loop = current.exchange(nullptr)) {
                if (quitRound(round))
                    loop->requestQuit();
                else
                    loop->postDelayed(target.load(), Message{1, 0, 0}, 1);
            }
            done = round;
        }
    });
    for (int round = 0; round < kRounds; ++round) {
        PlainMessageLoop loop;
        const MessageLoop::WatchId w = loop.watchReadable(pipe.fds[0], [] {});
        std::atomic<bool> fired{false};
        const TargetId t = loop.createTarget([&](const Message&) -> std::intptr_t {
            fired = true;
            return 0;
        });
        loop.postDelayed(t, Message{2, 0, 0}, 600000); // the pump waits for this one
        current = &loop;
        target = t;
        const auto start = std::chrono::steady_clock::now();
        go = round;
        EXPECT_EQ(!quitRound(round), loop.pumpUntil([&] { return fired.load(); }, 20000));
        while (done.load() < round)
            std::this_thread::yield();
        const bool late = std::chrono::steady_clock::now() - start > std::chrono::seconds(10);
        loop.unwatchReadable(w);
        loop.destroyTarget(t);
        if (late) {
            ADD_FAILURE() << "round " << round << " missed its wake-up";
            go = kRounds; // let the other side run out
            break;
        }
    }
    other.join();
}

} // namespace kyd::platform::testing
