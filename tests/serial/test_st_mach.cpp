// State machines end to end on a pseudo-terminal: the test holds the peer's
// side and pumps a PlainMessageLoop, which is the machine's main thread.
#include "platform/clock.h"
#include "platform/exception_sink.h"
#include "platform/plain_message_loop.h"
#include "platform/port_resolver.h"
#include "serial/SioExcept.h"
#include "serial/SioPacket.h"
#include "serial/SioPacketList.h"
#include "serial/SioPort.h"
#include "serial/SioStMach.h"
#include "support_pty.h"
#include "support_st_mach.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace sio::test {
namespace {

namespace pf = kyd::platform;

TEST_F(StateMachineOnPty, AThreeStateDialogueRunsToItsTerminalState)
{
    TSioCustomState& hello = addState("Hello");
    TSioCustomState& work = addState("Work");
    TSioCustomState& done = addState("Done");
    hello.OutputOnActivate = "HELLO\r";
    addCondition(hello, &work, "READY\r").OutputOnActivate = "GO\r";
    work.OutputOnActivate = "SEND\r";
    TSioStateCondition& data = addCondition(work, &done, ">");
    data.StartString = "<";
    machine->StartState = &hello;
    machine->TerminalState = &done;
    EXPECT_EQ(port.get(), machine->GetComPort()); // found on the owner
    // What the states see of the received data (dispatch thread).
    std::mutex seenMutex;
    std::vector<std::string> seen;
    hello.OnGetDataString = [&](TSioCustomState& s, const std::string& text) {
        {
            std::lock_guard lock(seenMutex);
            seen.push_back(s.Name + ":" + text);
        }
        loop.wakeUp();
    };
    auto seenCount = [&] {
        std::lock_guard lock(seenMutex);
        return seen.size();
    };
    port->SetOpen(true);
    machine->Start();
    EXPECT_EQ(&hello, machine->CurrentState());
    EXPECT_TRUE(hello.Active());
    EXPECT_TRUE(machine->BuiltInSource().HandlerRegistered());
    EXPECT_EQ("HELLO\r", readPeer(6));
    // The end string split across two reads of the port.
    ASSERT_TRUE(pty.write("REA"));
    ASSERT_TRUE(pumpUntil([&] { return seenCount() == 1; }));
    EXPECT_EQ(&hello, machine->CurrentState());
    ASSERT_TRUE(pty.write("DY\r"));
    ASSERT_TRUE(pumpUntil([&] { return machine->CurrentState() == &work; }));
    EXPECT_EQ((std::vector<std::string>{"Hello:REA", "Hello:DY\r"}), seen);
    EXPECT_TRUE(hello.Finished());
    EXPECT_EQ("READY\r", machine->DataString());
    // The condition's text first, then the next state's.
    EXPECT_EQ("GO\rSEND\r", readPeer(8));
    ASSERT_TRUE(pty.write("noise<data>more"));
    ASSERT_TRUE(pumpUntil([&] { return !finishes.empty(); }));
    EXPECT_EQ((std::vector<std::string>{"Hello>Work", "Work>Done"}), changes);
    EXPECT_EQ(std::vector<int>{0}, finishes);
    EXPECT_EQ(&done, machine->CurrentState());
    EXPECT_TRUE(done.Active());
    EXPECT_EQ("<data>", machine->DataString());
    EXPECT_EQ(6, machine->DataSize());
    // Finished: no handler, and the packets of the states left are freed
    // from the message loop.
    EXPECT_FALSE(machine->BuiltInSource().HandlerRegistered());
    ASSERT_TRUE(pumpUntil([&] { return machine->BuiltInSource().RetiredPackets() == 0; }));
    EXPECT_TRUE(machine->BuiltInSource().Packets().empty());
    // The data of the last transition outlives the packet that brought it.
    EXPECT_EQ("<data>", std::string(static_cast<const char*>(machine->Data()), 6));
    EXPECT_EQ(8192, machine->BuiltInSource().ReceiveBufferSize());
}

// Every condition of a state has its own time-out; the first to expire
// takes the DefaultError condition, else the DefaultNext one, once.
TEST_F(StateMachineOnPty, ATimeOutTakesDefaultErrorElseDefaultNext)
{
    pf::ScopedFakeClock clock;
    TSioCustomState& wait = addState("Wait");
    TSioCustomState& ok = addState("Ok");
    TSioCustomState& next = addState("Next");
    TSioCustomState& error = addState("Error");
    for (TSioStateCondition* c : {&addCondition(wait, &ok, "OK\r"), &addCondition(wait, &next, "N\r"),
                                  &addCondition(wait, &error, "E\r")})
        c->Timeout = 4;
    wait.Conditions()[1].DefaultNext = true;
    wait.Conditions()[2].DefaultError = true;
    machine->StartState = &wait;
    port->SetOpen(true);
    machine->Start();
    ASSERT_EQ(3u, machine->BuiltInSource().Packets().size());
    clock->advance(5 * 55);
    ASSERT_TRUE(pumpUntil([&] { return !finishes.empty(); }));
    EXPECT_EQ((std::vector<std::string>{"Wait>Error"}), changes);

    wait.Conditions()[2].DefaultError = false;
    machine->Start();
    clock->advance(5 * 55);
    ASSERT_TRUE(pumpUntil([&] { return finishes.size() == 2; }));
    EXPECT_EQ((std::vector<std::string>{"Wait>Error", "Wait>Next"}), changes);
    // Everything that waits on the clock goes before it.
    machine.reset();
    states.clear();
    port.reset();
    loop.processPending();
}

TEST_F(StateMachineOnPty, StartingWithoutPortStartStateOrMachineFails)
{
    TSioCustomState& only = addState("Only");
    machine->SetComPort(nullptr);
    machine->StartState = &only;
    try {
        machine->Start();
        FAIL();
    } catch (const EPortNotAssigned& e) {
        EXPECT_EQ(-1005, e.ErrorCode);
        EXPECT_STREQ("ComPort component not assigned", e.what());
    }
    machine->SetComPort(port.get());
    machine->StartState = nullptr;
    try {
        machine->Start();
        FAIL();
    } catch (const EStateMachine& e) {
        EXPECT_EQ(-7501, e.ErrorCode);
        EXPECT_STREQ("StartState not set", e.what());
    }
    TSioStateComPortSource source(&form);
    try {
        source.StateMachineStart(nullptr);
        FAIL();
    } catch (const EStateMachine& e) {
        EXPECT_EQ(-7500, e.ErrorCode);
        EXPECT_STREQ("No state machine specified", e.what());
    }
    // An external source without a port.
    source.SetComPort(nullptr);
    machine->SetDataSource(&source);
    machine->StartState = &only;
    EXPECT_THROW(machine->Start(), EPortNotAssigned);
    EXPECT_TRUE(finishes.empty());
}

TEST_F(StateMachineOnPty, PausesNestAndWhatArrivesWhilePausedChangesNothing)
{
    TSioCustomState& a = startAToB();
    machine->ChangeState(0); // posted before the pause, handled while paused
    machine->Pause();
    machine->Pause();
    machine->Resume();
    EXPECT_TRUE(machine->Paused());
    EXPECT_FALSE(machine->BuiltInSource().Packets()[0]->GetEnabled());
    machine->ChangeState(0);
    machine->Cancel(); // nothing while paused
    ASSERT_TRUE(pty.write("x\r"));
    loop.pumpUntil([] { return false; }, 200);
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(&a, machine->CurrentState());
    machine->Resume();
    EXPECT_FALSE(machine->Paused());
    EXPECT_TRUE(machine->BuiltInSource().Packets()[0]->GetEnabled());
    ASSERT_TRUE(pty.write("y\r"));
    ASSERT_TRUE(pumpUntil([&] { return !finishes.empty(); }));
    EXPECT_EQ((std::vector<std::string>{"A>B"}), changes);
    EXPECT_EQ("y\r", machine->DataString());
}

// Two messages for one state: the second is dropped, not resolved against
// the next state's conditions; a bad index goes to the exception sink.
TEST_F(StateMachineOnPty, AMessageForAStateLeftIsDropped)
{
    pf::ExceptionRecorder sink;
    TSioCustomState& a = addState("A");
    TSioCustomState& b = addState("B");
    TSioCustomState& c = addState("C");
    addCondition(a, &b, "1");
    addCondition(b, &c, "2");
    machine->StartState = &a;
    port->SetOpen(true);
    machine->Start();
    machine->ChangeState(0);
    machine->ChangeState(0);
    loop.processPending();
    EXPECT_EQ((std::vector<std::string>{"A>B"}), changes);
    EXPECT_EQ(&b, machine->CurrentState());
    machine->ChangeState(7);
    loop.processPending();
    EXPECT_EQ(&b, machine->CurrentState());
    ASSERT_EQ(1u, sink.messages().size());
    EXPECT_EQ("List index out of bounds (7)", sink.messages()[0]);
}

TEST_F(StateMachineOnPty, EmptyConditionsActionAndTerminalStatesAndAMissingNextState)
{
    TSioCustomState& a = addState("A");
    TSioCustomState& action = addState("Action");
    TSioCustomState& last = addState("Last");
    TSioCustomState& never = addState("Never");
    a.Conditions().Add().SetNextState(&action); // nothing to wait for
    action.ActionState = true;
    addCondition(action, &last, "\r");
    addCondition(last, &never, "\r"); // the terminal state's conditions are not used
    machine->StartState = &a;
    machine->TerminalState = &last;
    port->SetOpen(true);
    machine->Start();
    EXPECT_EQ(1u, machine->BuiltInSource().Packets().size()); // left disabled
    loop.processPending();
    EXPECT_EQ(&action, machine->CurrentState());
    EXPECT_TRUE(machine->BuiltInSource().Packets().empty());
    machine->ChangeState(0);
    loop.processPending();
    EXPECT_EQ(&last, machine->CurrentState());
    EXPECT_TRUE(machine->BuiltInSource().Packets().empty());
    EXPECT_EQ(std::vector<int>{0}, finishes);

    // OnStateFinish may take the next state away: the machine ends there.
    a.OnStateFinish = [](TSioCustomState&, TSioStateCondition&, TSioCustomState*& nextState) { nextState = nullptr; };
    machine->Start();
    loop.processPending();
    EXPECT_EQ(nullptr, machine->CurrentState());
    EXPECT_TRUE(a.Finished());
    EXPECT_FALSE(action.Active());
    EXPECT_EQ("A>-", changes.back());
    EXPECT_EQ(2u, finishes.size());
}

// Cancel, restart and destruction while the peer keeps sending: the
// handler leaves, nothing touches a state or machine that has gone.
TEST_F(StateMachineOnPty, CancelAndDestructionWhileDataKeepsArriving)
{
    TSioCustomState& a = addState("A");
    TSioCustomState& b = addState("B");
    addCondition(a, &b, "never-sent");
    std::atomic<int> blocks{0};
    a.OnGetData = [&](TSioCustomState&, const std::uint8_t*, std::int32_t n) {
        if (n > 0)
            ++blocks;
        loop.wakeUp();
    };
    machine->StartState = &a;
    port->SetOpen(true);
    std::atomic<bool> stop{false};
    std::thread peer([&] {
        while (!stop.load()) {
            pty.write("0123456789abcdef");
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    machine->Start();
    ASSERT_TRUE(pumpUntil([&] { return blocks.load() > 3; }));
    machine->Cancel();
    EXPECT_FALSE(machine->BuiltInSource().HandlerRegistered());
    EXPECT_EQ(nullptr, machine->CurrentState());
    EXPECT_TRUE(a.Finished());
    const int before = blocks.load();
    loop.pumpUntil([] { return false; }, 50);
    EXPECT_EQ(before, blocks.load());
    EXPECT_TRUE(finishes.empty());

    machine->Start();
    ASSERT_TRUE(pumpUntil([&] { return blocks.load() > before + 3; }));
    machine.reset(); // a running machine
    EXPECT_EQ(nullptr, a.Machine());
    loop.pumpUntil([] { return false; }, 20);
    states.clear();
    stop = true;
    peer.join();
    loop.processPending();
    EXPECT_TRUE(finishes.empty());
    // Only the port's own manager is left, and it goes with its last packet.
    EXPECT_EQ(nullptr, TSioDataPacketManagerList::Find(port.get()));
}

TEST_F(StateMachineOnPty, DestroyingTheCurrentStateStopsTheMachine)
{
    TSioCustomState& a = addState("A");
    addCondition(a, &a, "x");
    machine->StartState = &a;
    port->SetOpen(true);
    machine->Start();
    states.clear();
    EXPECT_EQ(nullptr, machine->CurrentState());
    EXPECT_EQ(nullptr, machine->StartState);
    EXPECT_FALSE(machine->Running());
    EXPECT_FALSE(machine->BuiltInSource().HandlerRegistered());
}

TEST_F(StateMachineOnPty, ThePacketManagerStaysWhileKeptAlive)
{
    auto p = std::make_unique<TSioDataPacket>();
    p->SetComPort(port.get());
    TSioDataPacketManager* m = TSioDataPacketManagerList::Find(port.get());
    ASSERT_NE(nullptr, m);
    m->SetKeepAlive(true);
    p.reset();
    loop.processPending();
    EXPECT_EQ(m, TSioDataPacketManagerList::Find(port.get()));
    m->SetKeepAlive(false);
    TSioDataPacketManagerList::PacketLeft(*port);
    loop.processPending();
    EXPECT_EQ(nullptr, TSioDataPacketManagerList::Find(port.get()));
}

// ---------------------------------------------------------------------------
// The graph without a port

TEST(StateGraph, RemovingAStateTakesItsTransitionsAndReferencesAway)
{
    TSioBaseComponent form;
    TSioCustomStateMachine machine(&form);
    TSioCustomState a(&form), b(&form);
    a.Name = "A";
    b.Name = "B";
    {
        TSioCustomState c(&form);
        c.Name = "C";
        for (TSioCustomState* s : {&a, &b, &c})
            s->SetMachine(&machine);
        a.Conditions().Add().SetNextState(&c);
        a.Conditions().Add().SetNextState(&b);
        a.Conditions().Add().SetNextState(&c);
        machine.TerminalState = &c;
        EXPECT_EQ((std::vector<std::string>{"A", "B", "C"}), machine.GetStateNames());
    }
    EXPECT_EQ(1, a.Conditions().Count());
    EXPECT_EQ(&b, a.Conditions()[0].GetNextState());
    EXPECT_EQ(nullptr, machine.TerminalState);
    EXPECT_EQ((std::vector<std::string>{"A", "B"}), machine.GetStateNames());
    EXPECT_EQ(&machine, TSioStateCustomDataSource::SearchStateMachine(&form));
}

TEST(StateGraph, ConditionsWithoutAConnectoidAndConnectoidSelection)
{
    TSioCustomStateMachine machine;
    TSioCustomState a, b;
    a.SetMachine(&machine);
    b.SetMachine(&machine);
    a.SetBounds(10, 10, 75, 50);
    b.SetBounds(200, 10, 75, 50);
    TSioStateCondition& c = a.Conditions().Add();
    c.SetNextState(&b);
    EXPECT_EQ("Connectoid", c.GetCaption());
    EXPECT_EQ(clBlue, c.GetColor());
    c.SetCaption("");
    EXPECT_EQ("TSioStateCondition0", c.DisplayName());
    c.SetConnectoid(nullptr);
    EXPECT_EQ("", c.GetCaption());
    EXPECT_EQ(clNone, c.GetColor());
    c.SetColor(clRed); // nothing without a connectoid
    EXPECT_EQ(clNone, c.GetColor());
    TSioStateConnectoid look;
    look.SetCaption("data");
    c.SetConnectoid(&look);
    EXPECT_EQ("data", c.GetCaption());
    TSioStateCondition& back = b.Conditions().Add();
    back.SetNextState(&a);

    // The two directions lie apart; clicks pick one, shift adds, ctrl drops.
    TConnectoidPath there, home;
    ASSERT_TRUE(machine.ConnectoidPath(c, there));
    ASSERT_TRUE(machine.ConnectoidPath(back, home));
    EXPECT_DOUBLE_EQ(85, there.X1);
    EXPECT_DOUBLE_EQ(200, there.X2);
    EXPECT_NE(there.Y1, home.Y1);
    std::vector<TSioStateConnectoid*> clicked;
    machine.OnConnectoidClick = [&](TSioCustomStateMachine&, TSioStateConnectoid& k) { clicked.push_back(&k); };
    const int y1 = static_cast<int>(there.Y1), y2 = static_cast<int>(home.Y1);
    machine.ClickConnectoids(140, y1, false, false);
    EXPECT_TRUE(c.Connectoid()->Highlighted);
    EXPECT_FALSE(back.Connectoid()->Highlighted);
    machine.ClickConnectoids(140, y2, true, false);
    EXPECT_TRUE(c.Connectoid()->Highlighted);
    EXPECT_TRUE(back.Connectoid()->Highlighted);
    machine.ClickConnectoids(140, y1, false, true);
    EXPECT_FALSE(c.Connectoid()->Highlighted);
    EXPECT_EQ((std::vector<TSioStateConnectoid*>{c.Connectoid(), back.Connectoid()}), clicked);
    machine.ClickConnectoids(140, 150, false, false); // empty space clears
    EXPECT_FALSE(back.Connectoid()->Highlighted);
    EXPECT_EQ(&a, machine.StateAt(20, 20));
    EXPECT_EQ(nullptr, machine.StateAt(150, 20));
}

} // namespace
} // namespace sio::test
