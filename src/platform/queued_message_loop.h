// The queue behind both message loops: targets, posted messages and calls,
// delayed posts ordered by the process clock, and the hand-over of
// sendTimeout() and synchronize() calls from worker threads.
//
// A subclass supplies the waiting: it is told through queueChanged() when
// work arrives and runs it with runNext() on the main thread.
#pragma once

#include "platform/message_loop.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace kyd::platform {

class QueuedMessageLoop : public MessageLoop {
public:
    QueuedMessageLoop();
    // Waits for workers still announcing what they queued (see
    // waitForSenders()). Pending sendTimeout()/synchronize() calls are
    // released (they report failure) and pending posts are dropped.
    ~QueuedMessageLoop() override;

    TargetId createTarget(MessageHandler handler) override;
    void destroyTarget(TargetId target) override;

    bool post(TargetId target, const Message& m) override;
    bool postDelayed(TargetId target, const Message& m, std::int64_t delayMs) override;
    void postCall(std::function<void()> fn) override;
    std::optional<std::intptr_t> sendTimeout(TargetId target, const Message& m, std::int64_t timeoutMs) override;
    bool synchronize(const std::function<void()>& fn, SyncToken* token = nullptr) override;

    bool isMainThread() const override { return std::this_thread::get_id() == mainThread_; }
    void requestQuit() override;
    bool quitRequested() const override { return quit_.load(std::memory_order_acquire); }

protected:
    // Called (any thread, no lock held) after the queue changed: n items
    // became ready to run (n may be 0 when only a delayed post was added).
    // Called from a worker, it may come after the item has already run; the
    // loop's destruction waits for it (waitForSenders()).
    virtual void queueChanged(std::size_t n) = 0;
    // Called (any thread, no lock held) by requestQuit().
    virtual void quitRequestedHook() {}

    // Main thread: moves due delayed posts to the ready queue, then runs the
    // first ready item. Returns its message number (1 for a call), or 0 when
    // nothing ran (dropped items are skipped).
    std::uint32_t runNext();
    // Main thread: runs the items ready now (not those they queue); returns
    // whether anything ran.
    bool runReady();
    // Moves due delayed posts to the ready queue (reporting them through
    // queueChanged); returns the due time of the earliest remaining delayed
    // post, or -1 when there is none.
    std::int64_t promoteDue();
    // Releases every pending call and empties the queues.
    void shutdownQueue();
    // Main thread, on the way out: waits until no worker is inside
    // queueChanged() or quitRequestedHook() any more, and refuses what
    // workers queue from then on. A worker's item may run (and its owner
    // free the loop) before the worker has announced it, so a subclass whose
    // hooks use its own members calls this first in its destructor; the
    // base calls it again in its own.
    void waitForSenders();

    // Guards the queues; subclasses may wait on cv_ with it.
    std::mutex mutex_;
    std::condition_variable cv_;
    bool hasReadyLocked() const { return !ready_.empty(); }
    std::int64_t earliestDueLocked() const { return delayed_.empty() ? -1 : delayed_.begin()->first.first; }

private:
    // Shared by a waiting worker and the main thread. Whoever claims the call
    // first decides: the main thread runs it, or the worker abandons it
    // (time-out, cancellation) and it never runs.
    struct CallState {
        std::mutex m;
        std::condition_variable cv;
        bool claimed = false;
        bool done = false;
        bool ran = false;
        std::optional<std::intptr_t> result;
        const std::function<void()>* fn = nullptr; // synchronize(): the caller's function
    };
    struct Item {
        enum class Kind { Message, Call, Sync, Send } kind = Kind::Message;
        TargetId target = 0;
        Message msg;
        std::function<void()> fn;
        std::shared_ptr<CallState> state;
    };
    static bool claim(CallState& s);
    static void finish(CallState& s, bool ran, std::optional<std::intptr_t> result);

    // Queues the item under mutex_ and counts its sender in (see
    // announce()); returns the items made ready (0 or 1, 0 = not queued).
    std::size_t enqueue(Item item);
    // With mutex_ held: counts a worker in that is about to call a hook;
    // false once the loop is ending.
    bool enterSenderLocked();
    // Calls queueChanged(n) for a counted-in sender, then counts it out:
    // the sender's last use of the loop.
    void announce(std::size_t n);
    void leaveSender();
    std::uint32_t run(Item& item);

    std::thread::id mainThread_;
    std::atomic<bool> quit_{false};
    TargetId nextTarget_ = 1;
    std::unordered_map<TargetId, std::shared_ptr<MessageHandler>> targets_;
    std::deque<Item> ready_;
    std::multimap<std::pair<std::int64_t, std::uint64_t>, Item> delayed_; // (due, sequence)
    std::uint64_t nextSeq_ = 1;
    // Workers between queueing an item and the end of its announcement, and
    // kEnding once waitForSenders() has begun. Counted in under mutex_;
    // counted out without it until kEnding is set, then under it.
    static constexpr std::uint32_t kEnding = 0x8000'0000u;
    std::atomic<std::uint32_t> senders_{0};
};

} // namespace kyd::platform
