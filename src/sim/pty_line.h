// What both simulator transports do on the master side of their
// pseudo-terminal: write an answer out, and count the hang-ups made.
#pragma once

#include "platform/pty.h"
#include "sim/pacing.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace kyd::sim {

// Writes all of data. A vanished line drops the rest, and so does a slave
// side nobody drains for a second; false only when the pty was stopped.
bool writeAllToPty(platform::PtyMaster& pty, const char* data, std::size_t size);

// Waits for what the program sent and reads it into buf: the number of
// bytes, 0 when there was none (after a pause when the line is hung up or
// failed, so that nothing spins), -1 once the pty was stopped.
long readFromPty(platform::PtyMaster& pty, char* buf, std::size_t size);

// Sleeps until due on the steady clock, ending early when the pty is
// stopped; false then. Waits shorter than plainBelowUs are plain sleeps to
// the microsecond (the stoppable wait goes in millisecond steps and may
// overshoot); longer ones wait stoppably and finish with a plain one.
bool sleepUntilOnPty(platform::PtyMaster& pty, std::chrono::steady_clock::time_point due, std::int64_t plainBelowUs);

// The pacing in force: the configured one, or when it follows the line, the
// line's rate with its character size (no pacing while the line's settings
// cannot be read).
LinePacing linePacing(const LinePacing& configured, const platform::PtyMaster& pty);

// The number of hang-ups made so far, for tests to wait on.
class HangUpCount {
public:
    int value() const;
    // Blocks until n hang-ups have been made or the time ran out.
    bool waitFor(int n, int timeoutMs) const;
    void add();

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable done_;
    int count_ = 0;
};

} // namespace kyd::sim
