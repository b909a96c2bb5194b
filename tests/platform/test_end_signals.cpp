// The limit a program sets itself once it was asked to end: wherever it is
// held by then, the process is gone, with exit status 0.
#include "platform/end_signals.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sys/wait.h>
#include <unistd.h>

namespace kyd::platform {
namespace {

using namespace std::chrono_literals;

// Runs body in a child that then waits for signals forever; how it ended.
int EndOfAHeldChild(void (*body)())
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        body();
        for (;;)
            ::pause(); // held: nothing of its own ends it
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return -1;
    return status;
}

TEST(EndProcessWithin, AHeldProcessIsGoneWithExitStatusZero)
{
    const int status = EndOfAHeldChild([] { endProcessWithin(20ms); });
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(EndProcessWithin, ALaterCallSetsANewLimitAndZeroIsNoneLeft)
{
    // An hour, then a few milliseconds: the later limit is the one.
    int status = EndOfAHeldChild([] {
        endProcessWithin(1h);
        endProcessWithin(20ms);
    });
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // No time left ends it too (it does not cancel the limit).
    status = EndOfAHeldChild([] {
        endProcessWithin(1h);
        endProcessWithin(0ms);
    });
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
} // namespace kyd::platform
