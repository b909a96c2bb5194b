// The simulated bootstrap loader as the transports see it: the state
// machine, the line pacing and the event log behind one lock.
#pragma once

#include "sim/boot_core.h"
#include "sim/pacing.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

namespace kyd::sim {

class BootSimulator {
public:
    explicit BootSimulator(BootConfig config = {}) : core_(config) {}

    // Runs f on the state machine under the lock.
    template <class F>
    auto withCore(F&& f)
    {
        std::lock_guard lock(mutex_);
        return f(core_);
    }
    BootAnswer feed(std::uint8_t byte, std::int64_t nowMs);

    LinePacing pacing() const;
    void setPacing(const LinePacing& p);

    // Called (outside the lock) with a text for every event worth logging.
    void setLogger(std::function<void(const std::string&)> logger);
    void log(const std::string& text);

    // Blocks until the state machine's event log holds a line equal to
    // text, or the time ran out.
    bool waitForEvent(const std::string& text, int timeoutMs);

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    BootCore core_;
    LinePacing pacing_;
    std::function<void(const std::string&)> logger_;
};

} // namespace kyd::sim
