#include "app/BusyIndicator.h"

#include <cstdio>

namespace kyd::app {

BusyIndicator::Change BusyIndicator::Set(int state, std::int64_t nowMs)
{
    if (state_ == 2 && state != 3)
        return Change::Ignored;
    // Busy from a 1 or a 2 until a 0 or a 3: a 3 always ends it, also one
    // that comes without a batch or after the batch has already ended.
    if (state == 3)
        state = 0;
    state_ = state;
    if (state != 0) {
        startMs_ = nowMs;
        return Change::Busy;
    }
    return Change::Idle;
}

std::string BusyIndicator::Elapsed(std::int64_t nowMs) const
{
    return FormatElapsed(nowMs - startMs_);
}

std::string FormatElapsed(std::int64_t ms)
{
    if (ms < 0)
        ms = 0;
    const long long secs = ms / 1000;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", secs / 3600, secs / 60 % 60, secs % 60);
    return buf;
}

} // namespace kyd::app
