#include "platform/clock.h"

#include <algorithm>
#include <atomic>
#include <ctime>

namespace kyd::platform {

std::int64_t SystemClock::monotonicMs() const
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

std::chrono::system_clock::time_point SystemClock::wallNow() const
{
    return std::chrono::system_clock::now();
}

FakeClock::FakeClock(std::int64_t startMs, std::chrono::system_clock::time_point wall)
    : nowMs_(startMs), wallBase_(wall), startMs_(startMs)
{
}

std::int64_t FakeClock::monotonicMs() const
{
    std::lock_guard<std::mutex> g(mutex_);
    return nowMs_;
}

std::chrono::system_clock::time_point FakeClock::wallNow() const
{
    std::lock_guard<std::mutex> g(mutex_);
    return wallBase_ + std::chrono::milliseconds(nowMs_ - startMs_);
}

void FakeClock::advance(std::int64_t ms)
{
    {
        std::lock_guard<std::mutex> g(mutex_);
        if (ms > 0)
            nowMs_ += ms;
    }
    notify();
}

void FakeClock::setMs(std::int64_t ms)
{
    {
        std::lock_guard<std::mutex> g(mutex_);
        // A monotonic clock never goes backwards.
        nowMs_ = std::max(nowMs_, ms);
    }
    notify();
}

int FakeClock::addListener(Listener l)
{
    std::lock_guard<std::mutex> g(mutex_);
    int id = nextListener_++;
    listeners_.emplace_back(id, std::move(l));
    return id;
}

void FakeClock::removeListener(int id)
{
    {
        std::lock_guard<std::mutex> g(mutex_);
        listeners_.erase(std::remove_if(listeners_.begin(), listeners_.end(),
                                        [id](const auto& p) { return p.first == id; }),
                         listeners_.end());
    }
    // Wait until a notification that may still hold a copy has finished
    // (the mutex is recursive, so a listener may remove itself).
    std::lock_guard<std::recursive_mutex> n(notifyMutex_);
}

void FakeClock::notify()
{
    std::lock_guard<std::recursive_mutex> n(notifyMutex_);
    std::vector<std::pair<int, Listener>> copy;
    {
        std::lock_guard<std::mutex> g(mutex_);
        copy = listeners_;
    }
    for (auto& [id, l] : copy) {
        // Skip listeners removed by an earlier listener of this round.
        bool live;
        {
            std::lock_guard<std::mutex> g(mutex_);
            live = std::any_of(listeners_.begin(), listeners_.end(), [id = id](const auto& p) { return p.first == id; });
        }
        if (live && l)
            l();
    }
}

namespace {
std::atomic<Clock*> g_clock{nullptr};

SystemClock& systemClock()
{
    static SystemClock c;
    return c;
}
} // namespace

Clock& clock()
{
    Clock* c = g_clock.load(std::memory_order_acquire);
    return c ? *c : systemClock();
}

void setClock(Clock* c)
{
    g_clock.store(c, std::memory_order_release);
}

bool waitUntilMs(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, std::int64_t deadlineMs,
                 const std::function<bool()>& pred)
{
    Clock& c = clock();
    if (!c.isFake()) {
        for (;;) {
            if (pred())
                return true;
            if (deadlineMs < 0) {
                cv.wait(lock);
                continue;
            }
            std::int64_t now = c.monotonicMs();
            if (now >= deadlineMs)
                return false;
            // The process clock is CLOCK_MONOTONIC, as the steady clock is:
            // waiting for the deadline itself does not add up to 1 ms to it.
            cv.wait_until(lock, std::chrono::steady_clock::time_point(std::chrono::milliseconds(deadlineMs)));
        }
    }

    auto& fake = static_cast<FakeClock&>(c);
    if (pred())
        return true;
    if (deadlineMs >= 0 && fake.monotonicMs() >= deadlineMs)
        return false;
    std::mutex* m = lock.mutex();
    int id = fake.addListener([m, &cv] {
        std::lock_guard<std::mutex> g(*m);
        cv.notify_all();
    });
    for (;;) {
        if (pred())
            break;
        if (deadlineMs >= 0 && fake.monotonicMs() >= deadlineMs)
            break;
        cv.wait(lock);
    }
    // The listener takes our mutex: remove it with the mutex released.
    lock.unlock();
    fake.removeListener(id);
    lock.lock();
    return pred();
}

ScopedFakeClock::ScopedFakeClock(std::int64_t startMs)
    : clock_(startMs), previous_(g_clock.load(std::memory_order_acquire))
{
    setClock(&clock_);
}

ScopedFakeClock::~ScopedFakeClock()
{
    setClock(previous_);
}

} // namespace kyd::platform
