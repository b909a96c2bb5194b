// A periodic timer on the message layer: a hidden message target that
// receives a tick message every interval of the process clock, so it runs
// on the main thread and follows a FakeClock in tests.
//
// Ticks keep their phase (the n-th tick is due at start + n * interval).
// Ticks that fell due while the main thread was busy are not made up, the
// next one is simply the first due time still ahead, as a window timer
// behaves; with catchUp they are delivered one after the other, as a
// periodic multimedia timer's posts would queue up, unless the timer fell
// more than kMaxCatchUpMs behind (a suspended machine), when it skips ahead. Created, started, stopped and destroyed on the main thread. The
// tick callback may stop, restart or destroy the timer.
#pragma once

#include "platform/message_loop.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace kyd::platform {

class PeriodicTimer {
public:
    explicit PeriodicTimer(std::function<void()> onTick, bool catchUp = false);
    static constexpr std::int64_t kMaxCatchUpMs = 1000;
    ~PeriodicTimer();
    PeriodicTimer(const PeriodicTimer&) = delete;
    PeriodicTimer& operator=(const PeriodicTimer&) = delete;

    // Starts (or restarts) with the first tick one interval from now.
    // intervalMs below 1 stops the timer instead.
    void start(std::int64_t intervalMs);
    void stop();
    bool active() const { return active_; }
    std::int64_t interval() const { return interval_; }

    // Message number of the ticks (the window timer message).
    static constexpr std::uint32_t kTickMessage = 275;

private:
    void schedule();
    std::intptr_t handle(const Message& m);

    std::function<void()> onTick_;
    TargetId target_ = 0;
    std::uint64_t generation_ = 0; // bumped by every start/stop: stale ticks are dropped
    std::int64_t interval_ = 0;
    std::int64_t due_ = 0;
    bool active_ = false;
    bool catchUp_ = false;
};

} // namespace kyd::platform
