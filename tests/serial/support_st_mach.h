// The state machine tests' fixture: a machine and a port on a pseudo-terminal;
// the test holds the peer's side and pumps a PlainMessageLoop, which is the
// machine's main thread.
#pragma once

#include "platform/plain_message_loop.h"
#include "platform/port_resolver.h"
#include "serial/SioPort.h"
#include "serial/SioStMach.h"
#include "support_pty.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sio::test {

namespace pf = kyd::platform;

inline constexpr int kStateMachineCom = 43;

class StateMachineOnPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.ok());
        RouteComToPty(loop, kStateMachineCom, pty);
        port = std::make_unique<TSioComPort>(&form);
        port->SetAutoOpen(false);
        port->SetPromptForPort(false);
        port->SetComNumber(kStateMachineCom);
        machine = std::make_unique<TSioCustomStateMachine>(&form);
        machine->OnStateChange = [this](TSioCustomStateMachine&, TSioCustomState* from, TSioCustomState* to) {
            changes.push_back((from ? from->Name : "-") + ">" + (to ? to->Name : "-"));
        };
        machine->OnStateMachineFinish = [this](TSioCustomStateMachine&, int code) {
            finishes.push_back(code);
        };
    }
    void TearDown() override
    {
        machine.reset();
        states.clear();
        port.reset();
        loop.processPending();
        UnrouteComs();
    }

    TSioCustomState& addState(const std::string& name)
    {
        states.push_back(std::make_unique<TSioCustomState>(&form));
        TSioCustomState& s = *states.back();
        s.Name = name;
        s.SetCaption(name);
        s.SetMachine(machine.get());
        return s;
    }
    // States A and B, A going to B on a carriage return; the port opened
    // and the machine started in A.
    TSioCustomState& startAToB()
    {
        TSioCustomState& a = addState("A");
        addCondition(a, &addState("B"), "\r");
        machine->StartState = &a;
        port->SetOpen(true);
        machine->Start();
        return a;
    }
    static TSioStateCondition& addCondition(TSioCustomState& from, TSioCustomState* to, const std::string& end)
    {
        TSioStateCondition& c = from.Conditions().Add();
        c.EndString = end;
        c.SetNextState(to);
        return c;
    }

    // Pumps until pred holds; gives up after a few seconds of real time
    // (also when a fake clock stands still).
    bool pumpUntil(const std::function<bool()>& pred) { return pumpWithWatchdog(loop, pred, 5); }
    std::string readPeer(std::size_t n) { return pty.readText(n, 3000); }

    TestPty pty;
    pf::PlainMessageLoop loop;
    TSioBaseComponent form;
    std::unique_ptr<TSioComPort> port;
    std::unique_ptr<TSioCustomStateMachine> machine;
    std::vector<std::unique_ptr<TSioCustomState>> states;
    std::vector<std::string> changes;
    std::vector<int> finishes;
};

} // namespace sio::test
