// Process clock: 64-bit monotonic milliseconds and wall time.
//
// Everything that measures time (ticks, timers, delays, reply waits, script
// delays) reads the process clock, so a test can install a FakeClock and run
// "DELAY_SEC 10" in no time at all.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace kyd::platform {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary fixed point; never goes backwards.
    virtual std::int64_t monotonicMs() const = 0;
    // Local wall-clock time (for log stamps).
    virtual std::chrono::system_clock::time_point wallNow() const = 0;
    // True for a clock that only moves when told to.
    virtual bool isFake() const { return false; }
};

class SystemClock final : public Clock {
public:
    std::int64_t monotonicMs() const override;
    std::chrono::system_clock::time_point wallNow() const override;
};

// A clock that moves only through advance()/set(). Waiters that block with a
// deadline on the process clock register a listener so that advancing the
// fake clock wakes them (see MessageLoop::pumpUntil).
class FakeClock final : public Clock {
public:
    explicit FakeClock(std::int64_t startMs = 1'000'000,
                       std::chrono::system_clock::time_point wall = std::chrono::system_clock::time_point{});
    std::int64_t monotonicMs() const override;
    std::chrono::system_clock::time_point wallNow() const override;
    bool isFake() const override { return true; }

    void advance(std::int64_t ms);
    void setMs(std::int64_t ms);

    // Listeners run on the thread that moves the clock, after the new time
    // is visible, without the clock's lock held. removeListener() returns
    // only when the listener is no longer running on another thread, so a
    // listener may refer to the remover's objects. Never move a fake clock
    // while holding a lock that one of its listeners takes.
    using Listener = std::function<void()>;
    int addListener(Listener l);
    void removeListener(int id);

private:
    void notify();
    mutable std::mutex mutex_;
    std::recursive_mutex notifyMutex_; // held while listeners run
    std::int64_t nowMs_;
    std::chrono::system_clock::time_point wallBase_;
    std::int64_t startMs_;
    std::vector<std::pair<int, Listener>> listeners_;
    int nextListener_ = 1;
};

// The process clock: a SystemClock unless a test installed another one.
Clock& clock();
// Installs a clock (nullptr restores the system clock). The caller keeps
// ownership and must restore before destroying it.
void setClock(Clock* c);

// Waits on cv until pred() is true or the process clock reaches deadlineMs
// (< 0: no deadline). lock holds the mutex that guards pred's state and that
// notifiers of cv take. When the process clock is a FakeClock, advancing it
// wakes the wait, so deadlines run on fake time. Returns pred().
bool waitUntilMs(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, std::int64_t deadlineMs,
                 const std::function<bool()>& pred);

// While it lives, advancing a fake process clock calls wake (on the
// advancing thread); with the system clock it does nothing. Waits that
// block on something other than a condition variable use it.
class FakeClockWaker {
public:
    explicit FakeClockWaker(std::function<void()> wake)
    {
        Clock& c = clock();
        if (c.isFake()) {
            fake_ = static_cast<FakeClock*>(&c);
            id_ = fake_->addListener(std::move(wake));
        }
    }
    ~FakeClockWaker()
    {
        if (fake_)
            fake_->removeListener(id_);
    }
    FakeClockWaker(const FakeClockWaker&) = delete;
    FakeClockWaker& operator=(const FakeClockWaker&) = delete;

private:
    FakeClock* fake_ = nullptr;
    int id_ = 0;
};

// RAII helper for tests: installs a FakeClock for the scope.
class ScopedFakeClock {
public:
    explicit ScopedFakeClock(std::int64_t startMs = 1'000'000);
    ~ScopedFakeClock();
    FakeClock& operator*() { return clock_; }
    FakeClock* operator->() { return &clock_; }

private:
    FakeClock clock_;
    Clock* previous_;
};

} // namespace kyd::platform
