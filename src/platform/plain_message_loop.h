// A message loop without a GUI toolkit: a mutex + condition variable queue
// that the main thread (the thread that created the loop) pumps by hand.
// Tests and Qt-free programs use it.
#pragma once

#include "platform/queued_message_loop.h"

namespace kyd::platform {

class PlainMessageLoop final : public QueuedMessageLoop {
public:
    PlainMessageLoop() = default;

    void wakeUp() override;
    std::uint32_t processOne() override;
    bool processPending() override;
    bool pumpUntil(const std::function<bool()>& done, std::int64_t timeoutMs = -1) override;

private:
    void queueChanged(std::size_t n) override;
    bool wake_ = false; // guarded by mutex_
};

} // namespace kyd::platform
