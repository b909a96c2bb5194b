// SIGTERM and SIGHUP reach the main thread's event loop as calls, and the
// signals' default actions come back when the watch goes.
#include "platform/qt/qt_end_signals.h"

#include "support/end_signal_defaults.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <vector>

namespace kyd::platform {
namespace {

void (*Disposition(int sig))(int)
{
    struct sigaction sa {};
    ::sigaction(sig, nullptr, &sa);
    return sa.sa_handler;
}

TEST(QtEndSignalWatch, SignalsArriveAsCallsOnTheEventLoop)
{
    const kyd::test::DefaultEndSignals defaults;
    std::vector<int> seen;
    {
        QtEndSignalWatch watch([&](int sig) { seen.push_back(sig); });
        ASSERT_EQ(std::raise(SIGHUP), 0);
        ASSERT_EQ(std::raise(SIGTERM), 0);
        // Not from inside the handler: only once the loop runs.
        EXPECT_TRUE(seen.empty());
        EXPECT_TRUE(QTest::qWaitFor([&] { return seen.size() == 2; }, 30000));
        EXPECT_EQ(seen, (std::vector<int>{SIGHUP, SIGTERM}));
    }
    EXPECT_EQ(Disposition(SIGTERM), SIG_DFL);
    EXPECT_EQ(Disposition(SIGHUP), SIG_DFL);
}

// Started under nohup: a hang-up is not meant to end the program, so it
// stays ignored while SIGTERM is caught, and stays so afterwards.
TEST(QtEndSignalWatch, ASignalIgnoredAtStartStaysIgnored)
{
    const kyd::test::DefaultEndSignals defaults;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ASSERT_EQ(::sigaction(SIGHUP, &ignore, nullptr), 0);
    std::vector<int> seen;
    {
        QtEndSignalWatch watch([&](int sig) { seen.push_back(sig); });
        EXPECT_EQ(Disposition(SIGHUP), SIG_IGN);
        ASSERT_EQ(std::raise(SIGHUP), 0);
        ASSERT_EQ(std::raise(SIGTERM), 0);
        // The pipe keeps the order: a caught hang-up would come first.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !seen.empty(); }, 30000));
        EXPECT_EQ(seen, std::vector<int>{SIGTERM});
    }
    EXPECT_EQ(Disposition(SIGHUP), SIG_IGN);
    EXPECT_EQ(Disposition(SIGTERM), SIG_DFL);
}

} // namespace
} // namespace kyd::platform
