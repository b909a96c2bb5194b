#include "platform/plain_message_loop.h"

#include "platform/clock.h"

#include <algorithm>

namespace kyd::platform {

void PlainMessageLoop::queueChanged(std::size_t)
{
    // The change itself happened under mutex_, so a waiter either sees it
    // when it checks or is already waiting and gets this notification.
    cv_.notify_all();
}

void PlainMessageLoop::wakeUp()
{
    {
        std::lock_guard<std::mutex> g(mutex_);
        wake_ = true;
    }
    cv_.notify_all();
}

std::uint32_t PlainMessageLoop::processOne()
{
    if (quitRequested())
        return kQuitMessage;
    return runNext();
}

bool PlainMessageLoop::processPending()
{
    return runReady();
}

bool PlainMessageLoop::pumpUntil(const std::function<bool()>& done, std::int64_t timeoutMs)
{
    const std::int64_t deadline = timeoutMs < 0 ? -1 : clock().monotonicMs() + timeoutMs;
    for (;;) {
        if (done())
            return true;
        if (quitRequested())
            return false;
        if (runNext() != 0)
            continue;
        std::int64_t nextDue = promoteDue();

        std::unique_lock<std::mutex> lk(mutex_);
        if (wake_) {
            wake_ = false;
            continue;
        }
        if (hasReadyLocked())
            continue;
        if (deadline >= 0 && clock().monotonicMs() >= deadline) {
            lk.unlock();
            return done();
        }
        std::int64_t until = deadline;
        if (nextDue >= 0)
            until = until < 0 ? nextDue : std::min(until, nextDue);
        waitUntilMs(cv_, lk, until, [&] {
            // A delayed post that was added meanwhile may be due earlier.
            std::int64_t due = earliestDueLocked();
            return wake_ || hasReadyLocked() || quitRequested() || (due >= 0 && due != nextDue);
        });
        wake_ = false;
    }
}

} // namespace kyd::platform
