// The simulator on a pseudo-terminal: a thread reads frames from the master
// side, asks the simulator for the answer and writes it back, with the
// waits, fragments, line pacing and hang-ups the fault settings ask for.
// CTS faults are passed to the device layer's modem-line registry for the
// slave path (only a program in the same process sees them).
#pragma once

#include "platform/pty.h"
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
    explicit PtyTransport(Simulator& sim, std::string linkPath = {});
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
    using TimePoint = std::chrono::steady_clock::time_point;
    void run();
    bool sendPlan(const ReplyPlan& plan);
    bool sendBytes(const std::string& bytes);
    bool writeAll(const char* data, std::size_t size);
    bool sleepUntil(TimePoint due);
    void applyCts(const SimFaults& f);

    Simulator& sim_;
    std::unique_ptr<platform::PtyMaster> pty_;
    std::string ctsPath_; // slave path the CTS override was set for
    std::mutex ctsMutex_;
    SimFaults lastFaults_;
    int listener_ = 0;
    mutable std::mutex hangUpMutex_;
    mutable std::condition_variable hangUpDone_;
    int hangUps_ = 0;
    std::thread thread_;
};

} // namespace kyd::sim
