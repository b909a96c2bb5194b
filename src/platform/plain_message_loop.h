// A message loop without a GUI toolkit: a mutex + condition variable queue
// that the main thread (the thread that created the loop) pumps by hand.
// Tests and Qt-free programs use it. While descriptor watches exist,
// pumpUntil waits in poll() on them and on an event descriptor that the
// queue's notifications also signal.
#pragma once

#include "platform/queued_message_loop.h"

#include <atomic>
#include <memory>
#include <vector>

namespace kyd::platform {

class PlainMessageLoop final : public QueuedMessageLoop {
public:
    PlainMessageLoop() = default;
    ~PlainMessageLoop() override;

    void wakeUp() override;
    std::uint32_t processOne() override;
    bool processPending() override;
    bool pumpUntil(const std::function<bool()>& done, std::int64_t timeoutMs = -1) override;
    WatchId watchReadable(int fd, std::function<void()> onReadable) override;
    void unwatchReadable(WatchId id) override;

private:
    struct Watch {
        WatchId id;
        int fd;
        std::shared_ptr<std::function<void()>> fn;
    };
    void queueChanged(std::size_t n) override;
    void quitRequestedHook() override;
    void signalEventFd();
    // Wakes the main thread when it waits in poll().
    void signalPoller();
    // Waits in poll() until the queue changes, a watched descriptor is
    // ready or the deadline (process clock; < 0 none) passes, then runs the
    // callbacks of the ready watches.
    void pollWatches(std::int64_t until);

    bool wake_ = false; // guarded by mutex_
    // Set under mutex_ while the main thread waits in poll().
    std::atomic<bool> polling_{false};
    int eventFd_ = -1; // created with the first watch
    std::vector<Watch> watches_; // main thread only
    WatchId nextWatch_ = 1;
};

} // namespace kyd::platform
