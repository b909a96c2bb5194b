// A port component on a pseudo-terminal for end-to-end tests: the test
// holds the master side and pumps a PlainMessageLoop, which is the main
// thread's loop of the component.
#pragma once

#include "platform/clock.h"
#include "platform/plain_message_loop.h"
#include "serial/SioPacket.h"
#include "serial/SioPort.h"
#include "support_pty.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sio::test {

class PtyPortTest : public ::testing::Test {
protected:
    static constexpr int kCom = 43;

    void SetUp() override
    {
        ASSERT_TRUE(pty.ok());
        RouteComToPty(loop, kCom, pty);
        port = std::make_unique<TSioComPort>();
        port->SetAutoOpen(false);
        port->SetPromptForPort(false);
        port->SetComNumber(kCom);
    }
    void TearDown() override
    {
        packet.reset();
        port.reset();
        loop.processPending();
        UnrouteComs();
    }

    // The link's reply packet: any data up to a carriage return, which is
    // not delivered; armed by hand.
    void makeReplyPacket(int timeoutTicks = 2184)
    {
        packet = std::make_unique<TSioDataPacket>();
        packet->SetStartCond(scAnyData);
        packet->SetEndCond(ecString);
        packet->SetEndString("\r");
        packet->SetIncludeStrings(false);
        packet->SetAutoEnable(false);
        packet->SetTimeOut(timeoutTicks);
        record();
        packet->SetComPort(port.get());
    }
    // The packet's events as "S:<text>" and "T".
    virtual void record()
    {
        packet->SetOnStringPacket([this](TSioDataPacket&, const std::string& s) { events.push_back("S:" + s); });
        packet->SetOnTimeout([this](TSioDataPacket&) { events.push_back("T"); });
    }

    // Pumps until done() holds (a watchdog gives up after 20 s).
    bool pumpUntil(const std::function<bool()>& done) { return pumpWithWatchdog(loop, done, 20); }

    TestPty pty;
    kyd::platform::PlainMessageLoop loop;
    std::unique_ptr<TSioComPort> port;
    std::unique_ptr<TSioDataPacket> packet;
    std::vector<std::string> events;
};

} // namespace sio::test
