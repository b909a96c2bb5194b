#include "platform/beep.h"

#include <mutex>

namespace kyd::platform {

namespace {

std::mutex& beeperMutex()
{
    static std::mutex m;
    return m;
}

std::function<void(BeepKind)>& beeper()
{
    static std::function<void(BeepKind)> b;
    return b;
}

} // namespace

void messageBeep(BeepKind kind)
{
    std::function<void(BeepKind)> b;
    {
        std::lock_guard lock(beeperMutex());
        b = beeper();
    }
    if (b)
        b(kind);
}

void setBeeper(std::function<void(BeepKind)> b)
{
    std::lock_guard lock(beeperMutex());
    beeper() = std::move(b);
}

} // namespace kyd::platform
