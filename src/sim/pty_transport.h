// The simulator on a pseudo-terminal: a thread reads frames from the master
// side, asks the simulator for the answer and writes it back, with the
// waits, fragments, line pacing and hang-ups the fault settings ask for.
// A zero byte on a line set to the bootstrap loader's settings (8N1, raw,
// six times the rate the dispenser was last spoken to at, 9600 before)
// enters the controller's loader, which then takes every byte while the
// line stays so; once the line is set to anything else (the dispenser's
// settings) the dispenser answers again.
// A paced line behaves like a UART on an absolute line clock: a command is
// taken when its last character would have arrived, and reply character k
// becomes readable (k + 1) character times after the reply starts.
// CTS faults are passed to the device layer's modem-line registry for the
// slave path (only a program in the same process sees them).
#pragma once

#include "platform/pty.h"
#include "sim/pacing.h"
#include "sim/pty_line.h"
#include "sim/simulator.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <memory>
#include <string>
#include <thread>

namespace kyd::sim {

class PtyTransport {
public:
    // Opens the pseudo-terminal (linkPath: optional stable symlink to the
    // slave) and starts the thread. Throws std::system_error on failure.
    // lineClock (tests): paced waits run on it instead of the steady clock.
    explicit PtyTransport(Simulator& sim, std::string linkPath = {}, FakeLineClock* lineClock = nullptr);
    ~PtyTransport();
    PtyTransport(const PtyTransport&) = delete;
    PtyTransport& operator=(const PtyTransport&) = delete;

    std::string slavePath() const { return pty_->slavePath(); }
    // The link when there is one, else the slave path.
    std::string devicePath() const { return pty_->devicePath(); }
    // Number of hang-ups made so far.
    int hangUps() const;
    // Blocks until n hang-ups have been made (and the new line is ready) or
    // the time ran out.
    bool waitForHangUps(int n, int timeoutMs) const;
    // Stops the thread (also done by the destructor).
    void stop();

private:
    void run();
    bool sendPlan(const ReplyPlan& plan);
    bool sendBytes(const std::string& bytes);
    std::int64_t nowUs() const;
    bool sleepUntil(std::int64_t dueUs);
    void applyCts(const SimFaults& f);

    Simulator& sim_;
    FakeLineClock* lineClock_;
    std::unique_ptr<platform::PtyMaster> pty_;
    std::int64_t rxFreeUs_ = 0; // when the command bytes read so far have arrived on a paced line
    std::int64_t txFreeUs_ = 0; // when the reply bytes written so far have left
    std::string ctsPath_; // slave path the CTS override was set for
    std::mutex ctsMutex_;
    SimFaults lastFaults_;
    int listener_ = 0;
    HangUpCount hangUpCount_;
    std::thread thread_;
};

} // namespace kyd::sim
