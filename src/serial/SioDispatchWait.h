// How the dispatcher's owner waits for its worker threads: on the main
// thread it keeps the message loop running (a synchronised handler may be
// waiting for it), elsewhere it blocks on a condition variable.
#pragma once

#include "platform/message_loop.h"
#include "serial/SioMisc.h"

#include <condition_variable>
#include <functional>
#include <mutex>

namespace sio {

// Waits until pred() holds or timeoutMs (process clock; < 0 = no limit) has
// passed. Whoever makes pred true notifies cv (under mutex) and wakes the
// message loop. Returns pred().
inline bool WaitForWorker(const std::function<bool()>& pred, std::int64_t timeoutMs, std::mutex& mutex,
                          std::condition_variable& cv)
{
    if (pred())
        return true;
    if (kyd::platform::hasMessageLoop() && kyd::platform::messageLoop().isMainThread())
        return kyd::platform::messageLoop().pumpUntil(pred, timeoutMs);
    std::unique_lock lock(mutex);
    const std::int64_t deadline = timeoutMs < 0 ? -1 : SioTimeGetTime() + timeoutMs;
    return WaitOnProcessClock(cv, lock, deadline, pred);
}

} // namespace sio
