// The simulated bootstrap loader on a pseudo-terminal: a thread reads what
// the program sends on the slave side, feeds it byte by byte to the boot
// state machine and writes its answers back, with the waits, line pacing
// and hang-ups asked for.
//
// The line must be set as the bootloader expects it (8 data bits, no
// parity, one stop bit, raw, six times the configured rate); while it is
// not, every byte is ignored, as a CPU on a wrong baud rate would see only
// garbage.
//
// With pacing on, a byte counts as received when the line would have
// carried it (the bytes read so far queue up behind each other), and each
// answer byte is handed over when its stop bit would have passed.
#pragma once

#include "platform/pty.h"
#include "sim/boot_core.h"
#include "sim/pacing.h"
#include "sim/pty_line.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

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

class BootPtyTransport {
public:
    // Opens the pseudo-terminal (linkPath: optional stable symlink to the
    // slave) and starts the thread. Throws std::system_error on failure.
    explicit BootPtyTransport(BootSimulator& sim, std::string linkPath = {});
    ~BootPtyTransport();
    BootPtyTransport(const BootPtyTransport&) = delete;
    BootPtyTransport& operator=(const BootPtyTransport&) = delete;

    std::string slavePath() const { return pty_->slavePath(); }
    std::string devicePath() const { return pty_->devicePath(); }
    int hangUps() const;
    // Blocks until n hang-ups have been made (and the new line is ready) or
    // the time ran out.
    bool waitForHangUps(int n, int timeoutMs) const;
    void stop();

private:
    using TimePoint = std::chrono::steady_clock::time_point;
    void run();
    bool lineAccepted();
    // Sends the answer as if it started on the line at from.
    bool send(const BootAnswer& a, TimePoint from);
    bool sleepUntil(TimePoint due);

    BootSimulator& sim_;
    std::unique_ptr<platform::PtyMaster> pty_;
    std::string lastRefusal_;
    HangUpCount hangUpCount_;
    std::thread thread_;
};

} // namespace kyd::sim
