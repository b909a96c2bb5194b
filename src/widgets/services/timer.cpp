#include "widgets/services/timer.h"

#include "platform/clock.h"
#include "platform/message_loop.h"
#include "platform/exception_sink.h"
#include "platform/periodic_timer.h"
#include "platform/thread_priority.h"
#include "widgets/services/application.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace kyd::widgets {

namespace pf = kyd::platform;

namespace {

// An exception from OnTimer goes the library's way for handler exceptions
// and the timer ticks on. From the timer thread it is handed to the main
// thread when there is a message loop, else straight to the sink.
void reportHandlerException(const TDUDSender& sender, std::exception_ptr e)
{
    if (!pf::hasMessageLoop()) {
        pf::reportException(e, sender.ClassName);
        return;
    }
    try {
        pf::MessageLoop& loop = pf::messageLoop();
        if (loop.isMainThread())
            DUDHandleException(sender, e);
        else
            loop.postCall([sender, e] { DUDHandleException(sender, e); });
    } catch (...) { // the loop went meanwhile
        pf::reportException(e, sender.ClassName);
    }
}

std::string noLoopError()
{
    return "The timer cannot run its handler on the main thread: the program has no message loop";
}

} // namespace

struct TDUDHiTimer::ThreadState {
    std::mutex mutex;
    std::condition_variable cv;
    std::atomic<bool> stop{false};
    // Set while OnTimer runs for this thread (on either thread).
    std::atomic<std::thread::id> handlerThread{};
    pf::SyncToken token;
    std::thread thread;
};

TDUDHiTimer::TDUDHiTimer(std::uint32_t interval) : interval_(interval), alive_(std::make_shared<bool>(true)) {}

TDUDHiTimer::~TDUDHiTimer()
{
    destroying_ = true;
    *alive_ = false;
    enabled_ = false;
    stopThread(); // first: a handler on the timer thread reads OnTimer
    onTimer_ = nullptr;
    messageTimer_.reset(); // a message-mode timer stops with its component
    for (auto& t : retired_) {
        if (!t->thread.joinable())
            continue;
        // Destroyed from inside that thread's OnTimer: on the timer thread
        // itself, or on the main thread while the timer thread waits in its
        // synchronised call for the handler to return. A join here would
        // never return; the thread sees its stop flag when the handler is
        // over and ends by itself without touching the component again.
        if (t->thread.get_id() == std::this_thread::get_id() || t->handlerThread.load() == std::this_thread::get_id())
            t->thread.detach();
        else
            t->thread.join();
    }
}

void TDUDHiTimer::SetEnabled(bool v)
{
    if (v == enabled_)
        return;
    enabled_ = v;
    UpdateTimer();
}

void TDUDHiTimer::SetInterval(std::uint32_t v)
{
    if (v == interval_.load())
        return;
    if (v < kMinPeriod)
        v = kMinPeriod;
    if (v > kMaxPeriod)
        v = kMaxPeriod;
    interval_ = v;
    UpdateTimer();
}

void TDUDHiTimer::SetOnTimer(TNotifyEvent ev)
{
    stopThread(); // a handler running on the timer thread reads it
    onTimer_ = std::move(ev);
    UpdateTimer();
}

void TDUDHiTimer::SetUseThread(bool v)
{
    if (v == useThread_)
        return;
    useThread_ = v;
    UpdateTimer();
}

void TDUDHiTimer::SetThreadPriority(TThreadPriority p)
{
    if (p == priority_)
        return;
    priority_ = p;
    if (useThread_)
        UpdateTimer();
}

int TDUDHiTimer::NiceOf(TThreadPriority p)
{
    switch (p) {
    case TThreadPriority::tpIdle: return 19;
    case TThreadPriority::tpLowest: return 10;
    case TThreadPriority::tpLower: return 5;
    case TThreadPriority::tpNormal: return 0;
    case TThreadPriority::tpHigher: return -5;
    case TThreadPriority::tpHighest: return -10;
    case TThreadPriority::tpTimeCritical: return -20;
    }
    return 0;
}

std::uint32_t TDUDHiTimer::GetInteger(int index) const
{
    switch (index) {
    case 0: return kMaxPeriod;
    case 1: return kMinPeriod;
    default: return 0;
    }
}

void TDUDHiTimer::Timer()
{
    if (onTimer_) {
        auto ev = onTimer_; // the handler may replace itself or destroy this
        ev(this);
    }
}

bool TDUDHiTimer::MessageTimerRunning() const { return messageTimer_ && messageTimer_->active(); }

void TDUDHiTimer::stopThread()
{
    if (!thread_)
        return;
    std::shared_ptr<ThreadState> st = std::move(thread_);
    {
        std::lock_guard<std::mutex> g(st->mutex);
        st->stop = true;
    }
    st->cv.notify_all();
    st->token.cancel(); // a tick on its way to the main thread never runs
    // From inside this thread's own OnTimer (on the timer thread, or on the
    // main thread while the timer thread waits for it) a join would never
    // return: that thread is joined later instead.
    if (st->handlerThread.load() == std::this_thread::get_id()) {
        retired_.push_back(std::move(st));
        return;
    }
    if (st->thread.joinable())
        st->thread.join();
}

void TDUDHiTimer::UpdateTimer()
{
    stopThread();
    if (messageTimer_)
        messageTimer_->stop();
    // Join threads retired earlier; they have left their handler by now
    // unless this runs inside it again.
    for (auto it = retired_.begin(); it != retired_.end();) {
        if ((*it)->handlerThread.load() != std::this_thread::get_id() && (*it)->thread.joinable()) {
            (*it)->thread.join();
            it = retired_.erase(it);
        } else {
            ++it;
        }
    }
    if (destroying_)
        return;
    const std::uint32_t interval = interval_.load();
    const bool run = enabled_ && onTimer_ && interval > 0;
    if (!useThread_) {
        if (!messageTimer_) {
            std::weak_ptr<bool> alive = alive_;
            messageTimer_ = std::make_unique<pf::PeriodicTimer>([this, alive] {
                if (alive.lock())
                    onMessageTick();
            }, true);
        }
        if (run) {
            inTimer_ = false;
            messageTimer_->start(interval);
        }
        return;
    }
    messageTimer_.reset();
    if (!run)
        return;
    if (synchronize_.load() && !pf::hasMessageLoop()) {
        // Every tick would need the main thread's loop: refused now rather
        // than failing at the first tick.
        enabled_ = false;
        throw EDUDException(noLoopError());
    }
    auto st = std::make_shared<ThreadState>();
    thread_ = st;
    // The phase starts now, not whenever the thread gets going.
    const std::int64_t start = pf::clock().monotonicMs();
    const int offset = NiceOf(priority_);
    const int nice = std::clamp(pf::currentThreadNice() + offset, -20, 19);
    // Held until the handle is stored: the thread's first wait takes the
    // lock, so a handler that destroys the component from the timer thread
    // finds the handle it must detach.
    std::lock_guard<std::mutex> handleStored(st->mutex);
    st->thread = std::thread([this, st, interval, start, offset, nice, reported = priorityReported_,
                              sender = TDUDSender{"TDUDHiTimer", Name()}] {
        std::string why;
        if (offset != 0 && !pf::setCurrentThreadNice(nice, &why) && !reported->exchange(true))
            pf::reportException(std::make_exception_ptr(EDUDException(
                                    "The timer thread's priority (nice " + std::to_string(nice)
                                    + ") could not be set: " + why)),
                                "TDUDHiTimer");
        std::int64_t due = start;
        bool noLoopReported = false;
        for (;;) {
            due += interval;
            const std::int64_t now = pf::clock().monotonicMs();
            if (due < now) // late: ticks already past are skipped, the phase is kept
                due += (now - due + interval - 1) / interval * interval;
            {
                std::unique_lock<std::mutex> lock(st->mutex);
                pf::waitUntilMs(st->cv, lock, due, [&] { return st->stop.load(); });
                if (st->stop)
                    return;
            }
            auto fire = [this, st, &sender] {
                if (st->stop)
                    return;
                st->handlerThread = std::this_thread::get_id();
                try {
                    Timer();
                } catch (...) {
                    reportHandlerException(sender, std::current_exception());
                }
                st->handlerThread = std::thread::id{};
            };
            if (synchronize_.load()) {
                // Enabled and the handler are main-thread state: checked
                // there. Without a loop (uninstalled since the start, or
                // Synchronize switched on meanwhile) the tick is skipped and
                // that is reported once.
                try {
                    pf::messageLoop().synchronize(
                        [this, st, &fire] {
                            if (!st->stop && enabled_)
                                fire();
                        },
                        &st->token);
                } catch (...) {
                    if (!noLoopReported)
                        reportHandlerException(sender, std::make_exception_ptr(EDUDException(noLoopError())));
                    noLoopReported = true;
                }
            } else {
                fire();
            }
            // Stopped by the handler (the component may be gone): this
            // thread may be detached, so it ends here without touching
            // anything but its own state.
            if (st->stop)
                return;
        }
    });
}

void TDUDHiTimer::onMessageTick()
{
    if (inTimer_) // a handler that pumps messages is not re-entered
        return;
    inTimer_ = true;
    std::weak_ptr<bool> alive = alive_;
    const TDUDSender sender{"TDUDHiTimer", Name()};
    try {
        Timer();
    } catch (...) {
        reportHandlerException(sender, std::current_exception());
    }
    if (alive.lock())
        inTimer_ = false;
}

} // namespace kyd::widgets
