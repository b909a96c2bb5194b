#include "platform/periodic_timer.h"

#include "platform/clock.h"

namespace kyd::platform {

PeriodicTimer::PeriodicTimer(std::function<void()> onTick, bool catchUp)
    : onTick_(std::move(onTick)), catchUp_(catchUp)
{
    target_ = messageLoop().createTarget([this](const Message& m) { return handle(m); });
}

PeriodicTimer::~PeriodicTimer()
{
    active_ = false;
    messageLoop().destroyTarget(target_);
}

void PeriodicTimer::start(std::int64_t intervalMs)
{
    ++generation_;
    if (intervalMs < 1) {
        active_ = false;
        return;
    }
    interval_ = intervalMs;
    active_ = true;
    due_ = clock().monotonicMs() + interval_;
    schedule();
}

void PeriodicTimer::stop()
{
    ++generation_;
    active_ = false;
}

void PeriodicTimer::schedule()
{
    const std::int64_t now = clock().monotonicMs();
    // Without catching up, a late tick stands for all that fell due until
    // now: the next one is the first still ahead. The phase is kept.
    if (due_ <= now && (!catchUp_ || now - due_ > kMaxCatchUpMs))
        due_ += ((now - due_) / interval_ + 1) * interval_;
    Message m;
    m.msg = kTickMessage;
    m.wParam = static_cast<std::uintptr_t>(generation_);
    messageLoop().postDelayed(target_, m, due_ - now);
}

std::intptr_t PeriodicTimer::handle(const Message& m)
{
    if (m.msg != kTickMessage || !active_ || m.wParam != static_cast<std::uintptr_t>(generation_))
        return 0;
    due_ += interval_;
    schedule(); // before the callback, which may stop or destroy this timer
    auto tick = onTick_;  // the callback may destroy this object
    tick();
    return 0;
}

} // namespace kyd::platform
