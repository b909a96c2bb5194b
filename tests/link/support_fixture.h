// A command layer wired to the in-process simulated port, with a plain
// message loop, a fake clock, fake dialogs and recording window fakes.
#pragma once

#include "link/AppContext.h"
#include "link/PLVRCmd.h"
#include "link/PLVRCom.h"
#include "link/Protokoll.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/plain_message_loop.h"
#include "support_link_stack.h"
#include "support_sim_port.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace kyd::link::test {

// 17/05/24 12:03:04.005 UTC
inline std::chrono::system_clock::time_point FixtureWallTime()
{
    return std::chrono::system_clock::time_point{std::chrono::milliseconds(1715947384005LL)};
}

class LinkFixture : public ::testing::Test, protected LinkStack {
protected:
    LinkFixture() : LinkStack(FixtureWallTime())
    {
        auto p = std::make_unique<SimLinkPort>();
        port = p.get();
        BuildLink(std::move(p));
    }

    void OpenPort(bool handshake = false)
    {
        ASSERT_EQ(com->Open(1, 9600, TParity::pEven, 7, 1, handshake), 1);
    }

    // After the next writes, moves the fake clock on by ms from inside the
    // link's wait (before the answer arrives).
    void StepClockOnWrite(std::int64_t ms)
    {
        port->onWrite = [this, ms](const std::string&) { loop.postCall([this, ms] { clock.advance(ms); }); };
    }

    // The last frame written, or "" when none was.
    std::string LastFrame() const { return port->written.empty() ? std::string() : port->written.back(); }

    void ExpectStatus(int cls, int code)
    {
        EXPECT_EQ(model.StatusClass, cls);
        EXPECT_EQ(model.StatusCode, code);
    }

    SimLinkPort* port = nullptr;
};

} // namespace kyd::link::test
