// The message loop of the program: runs on the Qt event loop of the process.
// Needs only a QCoreApplication; create it on the thread that runs
// QCoreApplication::exec() (the main thread).
//
// Every queued item is announced to the event loop by a posted event that
// runs one item; delayed posts use a timer on the process clock. With a
// FakeClock installed, delayed posts fall due when the main thread pumps
// (pumpUntil wakes when the fake clock is advanced).
#pragma once

#include "platform/queued_message_loop.h"

#include <atomic>
#include <map>
#include <memory>

class QObject;
class QSocketNotifier;
class QTimer;

namespace kyd::platform {

class QtMessageLoop final : public QueuedMessageLoop {
public:
    QtMessageLoop();
    ~QtMessageLoop() override;

    void wakeUp() override;
    std::uint32_t processOne() override;
    bool processPending() override;
    bool pumpUntil(const std::function<bool()>& done, std::int64_t timeoutMs = -1) override;
    WatchId watchReadable(int fd, std::function<void()> onReadable) override;
    void unwatchReadable(WatchId id) override;

    // Called by the event receiver (main thread); not for other code.
    void onKick();
    void onWake();

private:
    void queueChanged(std::size_t n) override;
    void quitRequestedHook() override;
    void postKicks(std::size_t n);
    void postWake();
    void armDelayTimer(std::int64_t nextDue);

    struct Watch;
    void runWatch(WatchId id);

    std::unique_ptr<QObject> receiver_;
    std::map<WatchId, std::unique_ptr<Watch>> watches_;
    WatchId nextWatch_ = 1;
    std::unique_ptr<QTimer> delayTimer_;
    std::atomic<bool> wakePending_{false};
};

} // namespace kyd::platform
