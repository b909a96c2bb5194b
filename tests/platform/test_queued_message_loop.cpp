// The queue shared by the message loops, through a loop of the test's own
// whose announcement of new work (queueChanged) stops where the test says.
#include "platform/clock.h"
#include "platform/queued_message_loop.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace kyd::platform::testing {
namespace {

// The steps of one sender and of the loop's end; outlives the loop.
struct Steps {
    std::mutex m;
    std::condition_variable cv;
    bool held = false; // a sender stopped inside its announcement
    bool ending = false; // the loop's destruction has begun
    bool announced = false; // the held sender finished its announcement

    void set(bool Steps::*step)
    {
        {
            std::lock_guard<std::mutex> g(m);
            this->*step = true;
        }
        cv.notify_all();
    }
    void waitFor(bool Steps::*step)
    {
        std::unique_lock<std::mutex> l(m);
        cv.wait(l, [&] { return this->*step; });
    }
    bool seen(bool Steps::*step)
    {
        std::lock_guard<std::mutex> g(m);
        return this->*step;
    }
};

// A worker's announcement stops until the loop is being destroyed and then
// reads the loop once more, as a real loop's wake-up uses the loop.
class HeldLoop final : public QueuedMessageLoop {
public:
    explicit HeldLoop(Steps& steps) : steps_(steps) {}
    ~HeldLoop() override { steps_.set(&Steps::ending); }

    using QueuedMessageLoop::runNext;

    void wakeUp() override {}
    std::uint32_t processOne() override { return runNext(); }
    bool processPending() override { return runReady(); }
    bool pumpUntil(const std::function<bool()>& done, std::int64_t) override { return done(); }
    WatchId watchReadable(int, std::function<void()>) override { return 0; }
    void unwatchReadable(WatchId) override {}

private:
    void queueChanged(std::size_t) override { hold(); }
    void quitRequestedHook() override { hold(); }

    void hold()
    {
        if (QueuedMessageLoop::isMainThread())
            return;
        Steps& steps = steps_;
        steps.set(&Steps::held);
        steps.waitFor(&Steps::ending);
        // Not under the lock: only the loop's lifetime orders this read.
        [[maybe_unused]] volatile bool more = hasReadyLocked();
        steps.set(&Steps::announced);
    }

    Steps& steps_;
};

enum class Sender { Post, PostDelayed, PostCall, SendTimeout, Synchronize, RequestQuit };

class FreeingTheLoop : public ::testing::TestWithParam<Sender> {};

// What a worker queued has run, so its owner frees the loop while the worker
// is still announcing it: the loop's end waits for the worker to be done.
TEST_P(FreeingTheLoop, WaitsForASenderStillAnnouncingWhatRanAlready)
{
    ScopedFakeClock fake;
    Steps steps;
    auto loop = std::make_unique<HeldLoop>(steps);
    bool ran = false; // main thread only
    const TargetId target = loop->createTarget([&](const Message&) -> std::intptr_t {
        ran = true;
        return 7;
    });
    const Sender kind = GetParam();
    std::thread worker([&, l = loop.get()] {
        switch (kind) {
        case Sender::Post: l->post(target, Message{0x401, 0, 0}); break;
        case Sender::PostDelayed: l->postDelayed(target, Message{0x401, 0, 0}, 10); break;
        case Sender::PostCall: l->postCall([&] { ran = true; }); break;
        case Sender::SendTimeout: l->sendTimeout(target, Message{0x401, 0, 0}, -1); break;
        case Sender::Synchronize: l->synchronize([&] { ran = true; }); break;
        case Sender::RequestQuit: l->requestQuit(); break;
        }
    });
    steps.waitFor(&Steps::held);
    if (kind == Sender::RequestQuit) {
        EXPECT_TRUE(loop->quitRequested());
    } else {
        if (kind == Sender::PostDelayed)
            fake->advance(10);
        EXPECT_NE(0u, loop->runNext());
        EXPECT_TRUE(ran);
    }
    loop.reset();
    EXPECT_TRUE(steps.seen(&Steps::announced)) << "the loop was freed while a worker still used it";
    worker.join();
}

std::string senderName(const ::testing::TestParamInfo<Sender>& info)
{
    static const char* const names[] = {"Post", "PostDelayed", "PostCall", "SendTimeout", "Synchronize", "RequestQuit"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Senders, FreeingTheLoop,
                         ::testing::Values(Sender::Post, Sender::PostDelayed, Sender::PostCall, Sender::SendTimeout,
                                           Sender::Synchronize, Sender::RequestQuit),
                         senderName);

} // namespace
} // namespace kyd::platform::testing
