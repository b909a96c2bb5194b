// The simulated dispenser as the transports see it: the state machine, the
// fault settings, the frame log and the line pacing behind one lock.
//
// A transport hands every received frame to onFrame() and carries out the
// returned plan: which bytes to send, after which waits, and whether to hang
// the line up afterwards.
//
// The controller also has its bootstrap loader (boot()): a transport enters
// it when a zero byte arrives on a line set to the loader's settings, and
// leaves it when the line is set back to the dispenser's. Leaving it starts
// the firmware in the CMC's flash, whose program id (the eight characters
// after kProgramIdMarker, when the flash holds the marker) is answered from
// then on.
#pragma once

#include "sim/boot_simulator.h"
#include "sim/pacing.h"
#include "sim/sim_core.h"
#include "sim/sim_faults.h"

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kyd::sim {

struct ReplyChunk {
    int waitMs = 0;     // wait before sending these bytes
    std::string bytes;
};

struct ReplyPlan {
    std::vector<ReplyChunk> chunks; // empty: no reply
    bool hangUp = false;            // hang the line up after the chunks
    std::string text;               // reply text (status + payload) for the log
};

inline constexpr const char* kProgramIdMarker = "KYD-PID:";

class Simulator {
public:
    explicit Simulator(SimConfig config = {}, BootConfig boot = {});

    // The controller's bootstrap loader, with its flash model and faults.
    BootSimulator& boot() { return boot_; }
    // True while the controller runs its bootstrap loader.
    bool inLoader() const;
    // The ROM boot starts (the transport then feeds it the zero byte).
    void enterLoader();
    // The firmware in the flash starts again; returns its program id when
    // the flash carries one (it is answered from now on).
    std::optional<std::string> leaveLoader();
    // The dispenser's line runs at baud: the loader expects six times it.
    void dispenserLineAt(int baud);

    // Decides the answer to one frame (bytes before the carriage return).
    // Runs the command hook first, without holding the lock.
    ReplyPlan onFrame(const std::string& frame);

    // Runs f on the state machine under the lock.
    template <class F>
    auto withCore(F&& f)
    {
        std::lock_guard lock(mutex_);
        return f(core_);
    }

    SimFaults faults() const;
    void setFaults(const SimFaults& f);
    template <class F>
    void updateFaults(F&& f)
    {
        SimFaults copy;
        {
            std::lock_guard lock(mutex_);
            f(faults_);
            copy = faults_;
        }
        notifyFaults(copy);
    }
    // Called (outside the lock) whenever the faults change; returns an id.
    int addFaultsListener(std::function<void(const SimFaults&)> listener);
    void removeFaultsListener(int id);

    LinePacing pacing() const;
    void setPacing(const LinePacing& p);

    // Called with the frame text on receipt of every frame, before the
    // reply is decided (a test can abort the exchange from here).
    void setCommandHook(std::function<void(const std::string& frame)> hook);
    // Called for every frame received (incoming = true) and every reply
    // sent (false, the reply bytes without the carriage return).
    void setFrameLogger(std::function<void(bool incoming, const std::string& text)> logger);
    // Reports a reply actually sent (the transports call it).
    void logSent(const std::string& bytes);

    // Every frame received, in order.
    std::vector<std::string> frameLog() const;
    void clearFrameLog();
    // Blocks until at least n frames were received or the time ran out.
    bool waitForFrames(std::size_t n, int timeoutMs) const;

private:
    void notifyFaults(const SimFaults& f);

    mutable std::mutex mutex_;
    mutable std::condition_variable framesChanged_;
    SimCore core_;
    BootSimulator boot_;
    bool inLoader_ = false;
    SimFaults faults_;
    LinePacing pacing_;
    std::vector<std::string> frames_;
    std::function<void(const std::string&)> hook_;
    std::function<void(bool, const std::string&)> logger_;
    std::vector<std::pair<int, std::function<void(const SimFaults&)>>> listeners_;
    int nextListener_ = 1;
};

} // namespace kyd::sim
