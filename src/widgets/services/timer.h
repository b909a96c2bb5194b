// A millisecond timer component: OnTimer at a fixed interval, either from a
// periodic timer on the message layer (message mode, on the main thread) or
// from a thread of its own (thread mode; OnTimer on the main thread through
// the message layer's synchronize, or on the timer thread).
//
// The component owns its thread: disabling, switching modes and destroying
// wake the thread's wait and join it, and a tick that was on its way to the
// main thread is cancelled, so no OnTimer runs once any of these returned.
// Interval 0 starts nothing. Used from the main thread only (OnTimer may
// change or destroy the component).
//
// An exception from OnTimer goes to DUDHandleException (on the main thread;
// from the timer thread it is posted there) and the timer ticks on.
#pragma once

#include "widgets/framework/object.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace kyd::platform {
class PeriodicTimer;
}

namespace kyd::widgets {

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TDUDHiTimer : public TDUDCustomComponent {
public:
    explicit TDUDHiTimer(std::uint32_t interval = 1000);
    ~TDUDHiTimer() override;

    bool Enabled() const { return enabled_; }
    // Thread mode with Synchronize needs the program's message loop: without
    // one, starting raises EDUDException and the timer stays disabled.
    void SetEnabled(bool v);
    std::uint32_t Interval() const { return interval_.load(); }
    // Clamped to MinPeriod..MaxPeriod.
    void SetInterval(std::uint32_t v);
    const TNotifyEvent& OnTimer() const { return onTimer_; }
    void SetOnTimer(TNotifyEvent ev);
    bool UseThread() const { return useThread_; }
    void SetUseThread(bool v);
    TThreadPriority ThreadPriority() const { return priority_; }
    // The timer thread's priority, applied when the thread starts (a change
    // restarts a running thread): relative to the priority of the thread
    // that starts it, as thread priorities are relative to their process's,
    // by a nice offset from +19 (tpIdle) through +10, +5, 0 (tpNormal), -5,
    // -10 to -20 (tpTimeCritical), kept to -20..19. A priority the process
    // may not take is kept as the setting; the thread then runs at the
    // normal priority and the refusal is reported once per component
    // through the exception sink.
    void SetThreadPriority(TThreadPriority p);
    // The nice offset of a priority.
    static int NiceOf(TThreadPriority p);
    bool Synchronize() const { return synchronize_.load(); }
    void SetSynchronize(bool v) { synchronize_ = v; }

    // 0: MaxPeriod, 1: MinPeriod, anything else 0.
    std::uint32_t GetInteger(int index) const;
    static constexpr std::uint32_t kMinPeriod = 1;
    static constexpr std::uint32_t kMaxPeriod = 1'000'000;

    // Raises OnTimer when assigned.
    virtual void Timer();

    bool ThreadRunning() const { return static_cast<bool>(thread_); }
    bool MessageTimerRunning() const;

private:
    struct ThreadState;
    void UpdateTimer();
    void stopThread();
    void onMessageTick();

    bool enabled_ = false;
    std::atomic<std::uint32_t> interval_;
    TNotifyEvent onTimer_;
    bool useThread_ = true;
    TThreadPriority priority_ = TThreadPriority::tpNormal;
    std::atomic<bool> synchronize_{true};
    bool inTimer_ = false;
    std::shared_ptr<std::atomic<bool>> priorityReported_ = std::make_shared<std::atomic<bool>>(false);
    bool destroying_ = false;
    std::shared_ptr<bool> alive_;
    std::unique_ptr<platform::PeriodicTimer> messageTimer_;
    std::shared_ptr<ThreadState> thread_;
    // Threads stopped from inside their own OnTimer: joined later.
    std::vector<std::shared_ptr<ThreadState>> retired_;
};

} // namespace kyd::widgets
