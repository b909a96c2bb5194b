// The message layer: what the library needs of window messages, hidden
// windows, PostMessage, SendMessageTimeout, TThread::Synchronize and the
// message pump, on any event loop.
//
// Two implementations: QtMessageLoop (platform/qt/qt_message_loop.h) runs on
// the Qt event loop of the process; PlainMessageLoop (plain_message_loop.h)
// is a mutex + condition variable queue that tests pump by hand.
//
// Threading rules:
//  - the "main thread" is the thread the loop was created on;
//  - targets are created and destroyed on the main thread only;
//  - post/postDelayed/postCall/sendTimeout/synchronize/wakeUp may be called
//    from any thread;
//  - pumping (processOne/processPending/pumpUntil) happens on the main thread;
//  - the main thread may destroy the loop once what workers queued on it has
//    run: the destructor waits for a worker still on its way out of the call
//    that queued it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace kyd::platform {

// Identifies a message target (the stand-in for a hidden window). 0 = none.
using TargetId = std::uint64_t;

struct Message {
    std::uint32_t msg = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

// Runs on the main thread for every message delivered to its target; the
// result is what sendTimeout returns to the sender.
using MessageHandler = std::function<std::intptr_t(const Message&)>;

// Message number of the quit request, as SafeYield reports it.
inline constexpr std::uint32_t kQuitMessage = 18;

// Cancels synchronize() calls made with it: a cancelled call that has not yet
// started running never runs, and its synchronize() returns false. A closing
// port cancels its token so a worker blocked in synchronize() can be joined.
//
// One token may serve several threads at once; cancel() and reset() may be
// called from any thread.
class SyncToken {
public:
    void cancel();
    void reset();
    bool cancelled() const { return cancelled_.load(std::memory_order_acquire); }

private:
    friend class MessageLoop;
    std::atomic<bool> cancelled_{false};
    std::mutex mutex_; // guards hooks_; held while hooks run
    // Hooks of the calls waiting on this token; cancel() runs them to wake
    // the waiting threads.
    std::vector<std::pair<std::uint64_t, std::function<void()>>> hooks_;
    std::uint64_t nextHook_ = 1;
};

class MessageLoop {
public:
    virtual ~MessageLoop() = default;

    // --- targets (main thread) ---
    virtual TargetId createTarget(MessageHandler handler) = 0;
    // Messages already posted to a destroyed target are dropped.
    virtual void destroyTarget(TargetId target) = 0;

    // --- any thread ---
    // Queues a message; false when the target does not exist (dropped).
    virtual bool post(TargetId target, const Message& m) = 0;
    // Queues a message for delivery after delayMs on the process clock.
    virtual bool postDelayed(TargetId target, const Message& m, std::int64_t delayMs) = 0;
    // Queues a function to run on the main thread.
    virtual void postCall(std::function<void()> fn) = 0;
    // Delivers a message and waits for its handler's result up to timeoutMs
    // (process clock; < 0 = no limit). Empty when the target is gone or the
    // time ran out; a call that timed out is abandoned and never runs later.
    // Destroying the target releases a waiting sender at once. On the main
    // thread the handler runs directly. An exception from the handler goes
    // to the exception sink and the result is 0.
    virtual std::optional<std::intptr_t> sendTimeout(TargetId target, const Message& m,
                                                     std::int64_t timeoutMs) = 0;
    // Runs fn on the main thread and blocks until it has run. Runs directly
    // when called on the main thread. Returns false (fn not run) when token
    // is or becomes cancelled before fn started. Exceptions from fn go to the
    // exception sink.
    virtual bool synchronize(const std::function<void()>& fn, SyncToken* token = nullptr) = 0;
    // Wakes a pumpUntil() on the main thread so it re-checks its condition.
    virtual void wakeUp() = 0;

    // --- main thread ---
    // Processes at most one pending event. Returns 0 when there was none,
    // kQuitMessage when a quit was requested (the request stays pending for
    // the main loop), otherwise the message number (or 1 for a posted call).
    virtual std::uint32_t processOne() = 0;
    // Processes everything pending now; returns whether anything ran.
    virtual bool processPending() = 0;
    // Blocks, processing events as they come, until done() is true (checked
    // before waiting and after every event or wake-up), a quit is requested
    // or timeoutMs (process clock; < 0 = no limit) has passed. Never spins.
    // Returns done().
    virtual bool pumpUntil(const std::function<bool()>& done, std::int64_t timeoutMs = -1) = 0;

    // Descriptor watches. While the main thread waits in the loop,
    // onReadable runs on it when fd has input, has hung up or failed; it
    // must read (or unwatch), or the wait returns at once again. A watch may
    // be removed at any time, also from inside its own callback; a removed
    // watch's callback never runs again. The plain loop serves watches only
    // inside pumpUntil, the Qt loop whenever it waits.
    using WatchId = std::uint64_t;
    virtual WatchId watchReadable(int fd, std::function<void()> onReadable) = 0;
    virtual void unwatchReadable(WatchId id) = 0;

    virtual bool isMainThread() const = 0;
    // Asks the application to quit; pumpUntil returns, processOne reports it.
    virtual void requestQuit() = 0;
    virtual bool quitRequested() const = 0;

protected:
    // Lets implementations hook a token's cancellation: f runs (on the
    // cancelling thread) when the token is cancelled while the hook is
    // registered. removeCancelHook returns only when f is not running.
    static std::uint64_t addCancelHook(SyncToken& t, std::function<void()> f);
    static void removeCancelHook(SyncToken& t, std::uint64_t id);
};

// The process's message loop. Installed by the program (QtMessageLoop) or
// by a test (PlainMessageLoop); using it before one is installed is a bug.
MessageLoop& messageLoop();
bool hasMessageLoop();
// Runs fn with the installed loop and returns true, or returns false when
// none is installed. For a worker that may end while the program
// uninstalls its loop: setMessageLoop waits for such a call to return, so
// the loop may be destroyed as soon as it is uninstalled. fn must not block
// (post, postCall, wakeUp).
bool withInstalledLoop(const std::function<void(MessageLoop&)>& fn);
// The caller keeps ownership; nullptr uninstalls.
void setMessageLoop(MessageLoop* loop);

} // namespace kyd::platform
