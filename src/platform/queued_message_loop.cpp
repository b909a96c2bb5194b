#include "platform/queued_message_loop.h"

#include "platform/clock.h"
#include "platform/exception_sink.h"

#include <vector>

namespace kyd::platform {

QueuedMessageLoop::QueuedMessageLoop() : mainThread_(std::this_thread::get_id()) {}

QueuedMessageLoop::~QueuedMessageLoop()
{
    waitForSenders();
    shutdownQueue();
}

bool QueuedMessageLoop::enterSenderLocked()
{
    // kEnding is set under mutex_ only, so this sees it when it is there.
    if (senders_.load(std::memory_order_relaxed) & kEnding)
        return false;
    senders_.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void QueuedMessageLoop::leaveSender()
{
    std::uint32_t s = senders_.load(std::memory_order_relaxed);
    while (!(s & kEnding))
        if (senders_.compare_exchange_weak(s, s - 1, std::memory_order_release, std::memory_order_relaxed))
            return; // nobody waits yet: the loop is not touched again
    // The loop's end waits for us. Counted out under its lock, which it
    // needs to go on: it neither misses this nor goes before we let go.
    std::lock_guard<std::mutex> g(mutex_);
    senders_.fetch_sub(1, std::memory_order_relaxed);
    cv_.notify_all();
}

void QueuedMessageLoop::announce(std::size_t n)
{
    queueChanged(n);
    leaveSender();
}

void QueuedMessageLoop::waitForSenders()
{
    std::unique_lock<std::mutex> lk(mutex_);
    senders_.fetch_or(kEnding, std::memory_order_relaxed);
    cv_.wait(lk, [&] { return (senders_.load(std::memory_order_acquire) & ~kEnding) == 0; });
}

bool QueuedMessageLoop::claim(CallState& s)
{
    std::lock_guard<std::mutex> g(s.m);
    if (s.claimed)
        return false;
    s.claimed = true;
    return true;
}

void QueuedMessageLoop::finish(CallState& s, bool ran, std::optional<std::intptr_t> result)
{
    {
        std::lock_guard<std::mutex> g(s.m);
        s.done = true;
        s.ran = ran;
        s.result = result;
    }
    // Notified after the lock is released, so the woken worker does not
    // block on it at once. Every caller holds a reference to the state, so
    // it outlives a worker that returns as soon as it sees done.
    s.cv.notify_all();
}

TargetId QueuedMessageLoop::createTarget(MessageHandler handler)
{
    std::lock_guard<std::mutex> g(mutex_);
    TargetId id = nextTarget_++;
    targets_.emplace(id, std::make_shared<MessageHandler>(std::move(handler)));
    return id;
}

void QueuedMessageLoop::destroyTarget(TargetId target)
{
    std::vector<std::shared_ptr<CallState>> orphans;
    {
        std::lock_guard<std::mutex> g(mutex_);
        if (targets_.erase(target) == 0)
            return;
        auto forTarget = [&](Item& it) {
            if (it.target != target)
                return false;
            if (it.state)
                orphans.push_back(it.state);
            return true;
        };
        for (auto it = ready_.begin(); it != ready_.end();)
            it = forTarget(*it) ? ready_.erase(it) : std::next(it);
        for (auto it = delayed_.begin(); it != delayed_.end();)
            it = forTarget(it->second) ? delayed_.erase(it) : std::next(it);
    }
    // A worker waiting in sendTimeout() for this target learns at once.
    for (auto& s : orphans)
        if (claim(*s))
            finish(*s, false, std::nullopt);
}

std::size_t QueuedMessageLoop::enqueue(Item item)
{
    std::lock_guard<std::mutex> g(mutex_);
    if (item.target != 0 && targets_.find(item.target) == targets_.end())
        return 0;
    if (!enterSenderLocked())
        return 0;
    ready_.push_back(std::move(item));
    return 1;
}

bool QueuedMessageLoop::post(TargetId target, const Message& m)
{
    if (target == 0)
        return false;
    Item it;
    it.kind = Item::Kind::Message;
    it.target = target;
    it.msg = m;
    if (enqueue(std::move(it)) == 0)
        return false;
    announce(1);
    return true;
}

bool QueuedMessageLoop::postDelayed(TargetId target, const Message& m, std::int64_t delayMs)
{
    if (delayMs <= 0)
        return post(target, m);
    std::int64_t due = clock().monotonicMs() + delayMs;
    {
        std::lock_guard<std::mutex> g(mutex_);
        if (target == 0 || targets_.find(target) == targets_.end() || !enterSenderLocked())
            return false;
        Item it;
        it.kind = Item::Kind::Message;
        it.target = target;
        it.msg = m;
        delayed_.emplace(std::make_pair(due, nextSeq_++), std::move(it));
    }
    announce(0);
    return true;
}

void QueuedMessageLoop::postCall(std::function<void()> fn)
{
    Item it;
    it.kind = Item::Kind::Call;
    it.fn = std::move(fn);
    if (enqueue(std::move(it)) != 0)
        announce(1);
}

std::optional<std::intptr_t> QueuedMessageLoop::sendTimeout(TargetId target, const Message& m,
                                                            std::int64_t timeoutMs)
{
    if (isMainThread()) {
        std::shared_ptr<MessageHandler> h;
        {
            std::lock_guard<std::mutex> g(mutex_);
            auto f = targets_.find(target);
            if (f == targets_.end())
                return std::nullopt;
            h = f->second;
        }
        std::intptr_t r = 0;
        guarded("message handler", [&] { r = (*h)(m); });
        return r;
    }

    auto state = std::make_shared<CallState>();
    Item it;
    it.kind = Item::Kind::Send;
    it.target = target;
    it.msg = m;
    it.state = state;
    if (target == 0 || enqueue(std::move(it)) == 0)
        return std::nullopt;
    announce(1);

    std::unique_lock<std::mutex> sl(state->m);
    std::int64_t deadline = timeoutMs < 0 ? -1 : clock().monotonicMs() + timeoutMs;
    waitUntilMs(state->cv, sl, deadline, [&] { return state->done; });
    if (state->done)
        return state->result;
    // Timed out. Unclaimed: abandon it so it never runs. Claimed: the handler
    // is running right now; its result is no longer wanted.
    state->claimed = true;
    return std::nullopt;
}

bool QueuedMessageLoop::synchronize(const std::function<void()>& fn, SyncToken* token)
{
    if (token && token->cancelled())
        return false;
    if (isMainThread()) {
        guarded("synchronize", fn);
        return true;
    }

    auto state = std::make_shared<CallState>();
    state->fn = &fn;
    std::uint64_t hook = 0;
    if (token)
        hook = addCancelHook(*token, [state] {
            std::lock_guard<std::mutex> g(state->m);
            state->cv.notify_all();
        });
    Item it;
    it.kind = Item::Kind::Sync;
    it.state = state;
    if (enqueue(std::move(it)) == 0) { // the loop is ending
        if (token)
            removeCancelHook(*token, hook);
        return false;
    }
    announce(1);

    bool ran;
    {
        std::unique_lock<std::mutex> sl(state->m);
        state->cv.wait(sl, [&] { return state->done || (token && token->cancelled()); });
        if (!state->done && !state->claimed) {
            state->claimed = true; // abandoned: the main thread will skip it
        } else {
            // Running now (fn lives on our stack): wait until it is over.
            state->cv.wait(sl, [&] { return state->done; });
        }
        ran = state->ran;
    }
    if (token)
        removeCancelHook(*token, hook);
    return ran;
}

void QueuedMessageLoop::requestQuit()
{
    bool entered;
    {
        std::lock_guard<std::mutex> g(mutex_);
        quit_.store(true, std::memory_order_release);
        entered = enterSenderLocked();
    }
    if (!entered)
        return;
    cv_.notify_all();
    quitRequestedHook();
    leaveSender();
}

std::int64_t QueuedMessageLoop::promoteDue()
{
    std::int64_t now = clock().monotonicMs();
    std::size_t moved = 0;
    std::int64_t earliest;
    {
        std::lock_guard<std::mutex> g(mutex_);
        while (!delayed_.empty() && delayed_.begin()->first.first <= now) {
            ready_.push_back(std::move(delayed_.begin()->second));
            delayed_.erase(delayed_.begin());
            ++moved;
        }
        earliest = earliestDueLocked();
    }
    if (moved)
        queueChanged(moved);
    return earliest;
}

std::uint32_t QueuedMessageLoop::run(Item& item)
{
    auto handlerFor = [this](TargetId t) -> std::shared_ptr<MessageHandler> {
        std::lock_guard<std::mutex> g(mutex_);
        auto f = targets_.find(t);
        return f == targets_.end() ? nullptr : f->second;
    };
    const std::uint32_t msgResult = item.msg.msg ? item.msg.msg : 1;
    switch (item.kind) {
    case Item::Kind::Message: {
        auto h = handlerFor(item.target);
        if (!h)
            return 0; // target destroyed: dropped
        guarded("message handler", [&] { (*h)(item.msg); });
        return msgResult;
    }
    case Item::Kind::Call:
        guarded("posted call", item.fn);
        return 1;
    case Item::Kind::Sync:
        if (!claim(*item.state))
            return 0; // abandoned by a cancelled caller
        guarded("synchronize", *item.state->fn);
        finish(*item.state, true, std::nullopt);
        return 1;
    case Item::Kind::Send: {
        if (!claim(*item.state))
            return 0; // abandoned by a timed-out sender
        auto h = handlerFor(item.target);
        if (!h) {
            finish(*item.state, false, std::nullopt);
            return 0;
        }
        std::intptr_t r = 0;
        guarded("message handler", [&] { r = (*h)(item.msg); });
        finish(*item.state, true, r);
        return msgResult;
    }
    }
    return 0;
}

std::uint32_t QueuedMessageLoop::runNext()
{
    promoteDue();
    for (;;) {
        Item item;
        {
            std::lock_guard<std::mutex> g(mutex_);
            if (ready_.empty())
                return 0;
            item = std::move(ready_.front());
            ready_.pop_front();
        }
        if (std::uint32_t r = run(item))
            return r;
    }
}

bool QueuedMessageLoop::runReady()
{
    promoteDue();
    std::size_t n;
    {
        std::lock_guard<std::mutex> g(mutex_);
        n = ready_.size();
    }
    bool any = false;
    for (std::size_t i = 0; i < n; ++i) {
        Item item;
        {
            std::lock_guard<std::mutex> g(mutex_);
            if (ready_.empty())
                break;
            item = std::move(ready_.front());
            ready_.pop_front();
        }
        if (run(item))
            any = true;
    }
    return any;
}

void QueuedMessageLoop::shutdownQueue()
{
    std::deque<Item> ready;
    std::multimap<std::pair<std::int64_t, std::uint64_t>, Item> delayed;
    {
        std::lock_guard<std::mutex> g(mutex_);
        ready.swap(ready_);
        delayed.swap(delayed_);
    }
    auto release = [](Item& it) {
        if (it.state && claim(*it.state))
            finish(*it.state, false, std::nullopt);
    };
    for (auto& it : ready)
        release(it);
    for (auto& [k, it] : delayed)
        release(it);
}

} // namespace kyd::platform
