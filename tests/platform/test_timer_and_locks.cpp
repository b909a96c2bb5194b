// The periodic timer on the message layer, the single-instance lock and the
// advisory file lock.
#include "platform/clock.h"
#include "platform/instance_lock.h"
#include "platform/message_loop.h"
#include "platform/periodic_timer.h"
#include "platform/plain_message_loop.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace kyd::platform;

TEST(PeriodicTimer, SkipsOrCatchesUpTicksMissedWhileBusy)
{
    ScopedFakeClock clock;
    PlainMessageLoop loop;
    setMessageLoop(&loop);
    int skipping = 0, catching = 0;
    {
        PeriodicTimer a([&] { ++skipping; });
        PeriodicTimer b([&] { ++catching; }, true);
        a.start(10);
        b.start(10);
        clock->advance(10);
        loop.processPending();
        EXPECT_EQ(skipping, 1);
        EXPECT_EQ(catching, 1);
        clock->advance(50); // busy: four more ticks fell due
        while (loop.processPending()) {
        }
        EXPECT_EQ(skipping, 2);
        EXPECT_EQ(catching, 6);
        clock->advance(10); // both keep their phase
        loop.processPending();
        EXPECT_EQ(skipping, 3);
        EXPECT_EQ(catching, 7);
        PeriodicTimer* self = nullptr;
        int once = 0;
        auto c = std::make_unique<PeriodicTimer>([&] {
            ++once;
            self->stop(); // a tick may stop its own timer
        });
        self = c.get();
        c->start(5);
        clock->advance(20);
        loop.processPending();
        EXPECT_EQ(once, 1);
        EXPECT_FALSE(c->active());
        a.start(0); // below 1 ms: stopped
        EXPECT_FALSE(a.active());
    }
    clock->advance(100);
    loop.processPending(); // ticks of destroyed timers are dropped
    setMessageLoop(nullptr);
}

TEST(Locks, InstancesAndFileLocksAmongThreads)
{
    const std::string name = "kyd-lock-test-" + std::to_string(::getpid());
    {
        InstanceLock first(name);
        InstanceLock second(name);
        EXPECT_TRUE(first.held());
        EXPECT_FALSE(first.anotherInstance());
        EXPECT_TRUE(second.anotherInstance());
        // The later one asks the first to come forward.
        EXPECT_GE(first.wakeDescriptor(), 0);
        EXPECT_EQ(-1, second.wakeDescriptor());
        EXPECT_FALSE(first.takeWakeRequests());
        EXPECT_TRUE(second.wakeFirstInstance());
        EXPECT_TRUE(first.takeWakeRequests());
        EXPECT_FALSE(first.takeWakeRequests());
    }
    InstanceLock again(name);
    EXPECT_FALSE(again.anotherInstance());
    std::filesystem::remove(again.path());

    // Read-modify-write cycles under the lock lose no update.
    const auto file = std::filesystem::temp_directory_path() / (name + ".count");
    { std::ofstream(file) << 0; }
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                FileLock lock(file.string());
                ASSERT_TRUE(lock.held());
                int n = 0;
                std::ifstream(file) >> n;
                std::ofstream(file) << n + 1;
            }
        });
    for (auto& t : threads)
        t.join();
    int n = 0;
    std::ifstream(file) >> n;
    EXPECT_EQ(n, 800);
    std::filesystem::remove(file);
    std::filesystem::remove(file.string() + ".lock");
}
