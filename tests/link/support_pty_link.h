// The command layer talking through the serial library's port component to
// the simulated dispenser on a pseudo-terminal (the simulator's own thread
// answers on the master side), with a plain message loop, a fake clock and
// recording window fakes. The port is found through the resolver's
// programmatic override; the packet time-outs run on the fake clock, so a
// silent dispenser costs no real time.
#pragma once

#include "link/AppContext.h"
#include "link/PLVRCmd.h"
#include "link/PLVRCom.h"
#include "link/Protokoll.h"
#include "link/SioLinkPort.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/plain_message_loop.h"
#include "sim/pty_transport.h"
#include "sim/simulator.h"
#include "support_link_stack.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kyd::link::test {

class PtyLinkFixture : public ::testing::Test, protected LinkStack {
protected:
    static constexpr int kCom = 47;

    PtyLinkFixture();
    ~PtyLinkFixture() override;

    // Opens COM47 (the simulator) with 9600 7E1.
    void OpenPort(bool handshake = false);

    // The frames the simulator received since the last call, each with the
    // carriage return that ended it; waits up to waitMs for at least n.
    std::vector<std::string> TakeFrames(std::size_t n = 1, int waitMs = 2000);
    // The one frame of the last exchange ("<k frames>" when not exactly one).
    std::string OneFrame();
    // True when no frame arrives within a short while.
    bool NoFrame();

    // For the next n frames the simulator receives: the fake clock moves past
    // the packet time-out of the exchange under way, from inside its wait.
    void TimeOutNextFrames(int n = 1) { timeouts_ += n; }
    // For the next frame: the operator presses abort while the reply is on
    // its way.
    void AbortOnNextFrame() { aborts_ += 1; }

    // Called (on the simulator's thread) with every frame the simulator
    // receives, before it answers. Set it before the exchanges start.
    std::function<void(const std::string&)> onFrame;

    void ExpectStatus(int cls, int code);
    // The busy state is cleared and the next command works.
    void ExpectIdleAndNextCommandWorks();

    sim::Simulator simulator;
    std::string linkPath;
    std::unique_ptr<sim::PtyTransport> transport;
    SioLinkPort* port = nullptr;

private:
    std::size_t seen_ = 0;
    std::atomic<int> timeouts_{0};
    std::atomic<int> aborts_{0};
};

} // namespace kyd::link::test
