#include "sim/boot_simulator.h"

#include <algorithm>

namespace kyd::sim {

BootAnswer BootSimulator::feed(std::uint8_t byte, std::int64_t now)
{
    BootAnswer a;
    std::size_t before = 0;
    std::vector<std::string> fresh;
    {
        std::lock_guard lock(mutex_);
        before = core_.events().size();
        a = core_.feed(byte, now);
        const auto& ev = core_.events();
        fresh.assign(ev.begin() + static_cast<std::ptrdiff_t>(std::min(before, ev.size())), ev.end());
    }
    if (!fresh.empty()) {
        changed_.notify_all();
        for (const std::string& e : fresh)
            log(e);
    }
    return a;
}

LinePacing BootSimulator::pacing() const
{
    std::lock_guard lock(mutex_);
    return pacing_;
}

void BootSimulator::setPacing(const LinePacing& p)
{
    std::lock_guard lock(mutex_);
    pacing_ = p;
}

void BootSimulator::setLogger(std::function<void(const std::string&)> logger)
{
    std::lock_guard lock(mutex_);
    logger_ = std::move(logger);
}

void BootSimulator::log(const std::string& text)
{
    std::function<void(const std::string&)> l;
    {
        std::lock_guard lock(mutex_);
        l = logger_;
    }
    if (l)
        l(text);
}

bool BootSimulator::waitForEvent(const std::string& text, int timeoutMs)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        const auto& ev = core_.events();
        return std::find(ev.begin(), ev.end(), text) != ev.end();
    });
}

} // namespace kyd::sim
