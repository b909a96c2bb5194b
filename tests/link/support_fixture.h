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

class LinkFixture : public ::testing::Test {
protected:
    LinkFixture() : clock(1'000'000, FixtureWallTime())
    {
        platform::setClock(&clock);
        platform::setMessageLoop(&loop);
        platform::setDialogs(&dialogs);
        auto p = std::make_unique<SimLinkPort>();
        port = p.get();
        com = std::make_unique<TCom>(std::move(p));
        ctx.MainWindow = &mainWindow;
        ctx.ComStrings = &comStrings;
        ctx.Options = &options;
        ctx.Com = com.get();
        cmd = std::make_unique<TPLVRCmdF>(&model, &ctx);
        options.settings.Handshake = false;
        options.settings.LoggingEnabled = false;
    }

    ~LinkFixture() override
    {
        cmd.reset();
        com.reset();
        loop.processPending();
        platform::setDialogs(nullptr);
        platform::setMessageLoop(nullptr);
        platform::setClock(nullptr);
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

    platform::FakeClock clock;
    platform::PlainMessageLoop loop;
    platform::FakeDialogs dialogs;
    FakeMainWindow mainWindow;
    FakeComStrings comStrings;
    FakeOptions options;
    Protokoll model;
    AppContext ctx;
    SimLinkPort* port = nullptr;
    std::unique_ptr<TCom> com;
    std::unique_ptr<TPLVRCmdF> cmd;
};

} // namespace kyd::link::test
