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

} // namespace kyd::platform::testing
