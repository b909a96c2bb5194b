#include "platform/plain_message_loop.h"

#include "platform/clock.h"
#include "platform/exception_sink.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace kyd::platform {

PlainMessageLoop::~PlainMessageLoop()
{
    // A worker may still be signalling the descriptor.
    waitForSenders();
    if (eventFd_ >= 0)
        ::close(eventFd_);
}

void PlainMessageLoop::signalEventFd()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(eventFd_, &one, sizeof one);
}

void PlainMessageLoop::signalPoller()
{
    if (polling_.load())
        signalEventFd();
}

void PlainMessageLoop::queueChanged(std::size_t)
{
    // The change itself happened under mutex_, so a waiter either sees it
    // when it checks or is already waiting and gets this notification.
    cv_.notify_all();
    signalPoller();
}

void PlainMessageLoop::quitRequestedHook()
{
    signalPoller();
}

void PlainMessageLoop::wakeUp()
{
    {
        std::lock_guard<std::mutex> g(mutex_);
        wake_ = true;
    }
    cv_.notify_all();
    signalPoller();
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

MessageLoop::WatchId PlainMessageLoop::watchReadable(int fd, std::function<void()> onReadable)
{
    if (eventFd_ < 0) {
        eventFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (eventFd_ < 0)
            throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    const WatchId id = nextWatch_++;
    watches_.push_back(Watch{id, fd, std::make_shared<std::function<void()>>(std::move(onReadable))});
    return id;
}

void PlainMessageLoop::unwatchReadable(WatchId id)
{
    watches_.erase(std::remove_if(watches_.begin(), watches_.end(), [id](const Watch& w) { return w.id == id; }),
                   watches_.end());
}

void PlainMessageLoop::pollWatches(std::int64_t until)
{
    // A fake clock does not pass by itself: advancing it wakes the poll.
    FakeClockWaker waker([this] { signalEventFd(); });
    std::vector<pollfd> fds;
    fds.reserve(watches_.size() + 1);
    fds.push_back(pollfd{eventFd_, POLLIN, 0});
    for (const Watch& w : watches_)
        fds.push_back(pollfd{w.fd, POLLIN, 0});
    int timeout = -1;
    if (until >= 0 && !clock().isFake())
        timeout = static_cast<int>(std::clamp<std::int64_t>(until - clock().monotonicMs(), 0, 24LL * 3600 * 1000));
    if (until >= 0 && clock().isFake() && clock().monotonicMs() >= until)
        timeout = 0;
    int n = ::poll(fds.data(), fds.size(), timeout);
    {
        std::lock_guard<std::mutex> g(mutex_);
        polling_ = false;
        wake_ = false;
    }
    if (n <= 0)
        return;
    if (fds[0].revents) {
        std::uint64_t count;
        [[maybe_unused]] const ssize_t r = ::read(eventFd_, &count, sizeof count);
    }
    // Callbacks may add or remove watches: find each ready one by its id.
    // A descriptor closed under its watch would make every poll return at
    // once: that watch goes.
    std::vector<WatchId> ready;
    std::vector<WatchId> invalid;
    for (std::size_t i = 1; i < fds.size(); ++i) {
        if (fds[i].revents & POLLNVAL)
            invalid.push_back(watches_[i - 1].id);
        else if (fds[i].revents)
            ready.push_back(watches_[i - 1].id);
    }
    for (const WatchId id : invalid)
        unwatchReadable(id);
    for (const WatchId id : ready) {
        auto it = std::find_if(watches_.begin(), watches_.end(), [id](const Watch& w) { return w.id == id; });
        if (it == watches_.end())
            continue;
        auto fn = it->fn; // kept alive while it runs, even when unwatched
        guarded("descriptor watch", *fn);
    }
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
        if (!watches_.empty()) {
            // Whatever could end the wait is checked under the lock that
            // its senders take before they look at polling_: a quit or an
            // earlier delayed post that comes later finds polling_ set and
            // signals the descriptor.
            if (quitRequested())
                continue;
            if (const std::int64_t due = earliestDueLocked(); due >= 0 && due != nextDue)
                continue;
            polling_ = true;
            lk.unlock();
            pollWatches(until);
            continue;
        }
        waitUntilMs(cv_, lk, until, [&] {
            // A delayed post that was added meanwhile may be due earlier.
            std::int64_t due = earliestDueLocked();
            return wake_ || hasReadyLocked() || quitRequested() || (due >= 0 && due != nextDue);
        });
        wake_ = false;
    }
}

} // namespace kyd::platform
