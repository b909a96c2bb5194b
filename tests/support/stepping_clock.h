// Script time for tests of long-running loops: every look at the process
// clock moves the fake clock on by 1 ms, so a loop that never waits still
// sees time pass.
#pragma once

#include "platform/clock.h"

#include <chrono>
#include <cstdint>

namespace kyd::test {

struct SteppingClock final : platform::Clock {
    explicit SteppingClock(platform::FakeClock& c) : base(c) {}
    std::int64_t monotonicMs() const override
    {
        base.advance(1);
        return base.monotonicMs();
    }
    std::chrono::system_clock::time_point wallNow() const override { return base.wallNow(); }
    platform::FakeClock& base;
};

// Puts the given clock back as the process clock when the scope ends.
struct ClockRestore {
    platform::Clock* c;
    ~ClockRestore() { platform::setClock(c); }
};

} // namespace kyd::test
