// State machines and the received data: nothing lost between states, the
// data of the transition taken, the receive buffer's edge, and starting,
// cancelling and destroying while the peer keeps sending.
#include "serial/SioExcept.h"
#include "serial/SioPacket.h"
#include "serial/SioPacketList.h"
#include "support_st_mach.h"

namespace sio::test {
namespace {

// The bytes behind the end of a met condition, in the same read, are the
// next state's.
TEST_F(StateMachineOnPty, BytesBehindAMetConditionGoToTheNextState)
{
    TSioCustomState& hello = addState("Hello");
    TSioCustomState& work = addState("Work");
    TSioCustomState& done = addState("Done");
    addCondition(hello, &work, "READY\r");
    addCondition(work, &done, ">").StartString = "<";
    machine->StartState = &hello;
    machine->TerminalState = &done;
    port->SetOpen(true);
    machine->Start();
    ASSERT_TRUE(pty.write("READY\r<data>"));
    ASSERT_TRUE(pumpUntil([&] { return !finishes.empty(); }));
    EXPECT_EQ((std::vector<std::string>{"Hello>Work", "Work>Done"}), changes);
    EXPECT_EQ("<data>", machine->DataString());
    // Nothing is held for anyone once the machine has finished.
    TSioDataPacketManager* m = TSioDataPacketManagerList::Find(port.get());
    ASSERT_NE(nullptr, m);
    EXPECT_FALSE(m->GetHold());
}

// Two conditions of one state met by one read: the first is taken, its
// data is the machine's, and the second one's bytes are offered to the next
// state instead.
TEST_F(StateMachineOnPty, OnlyTheTransitionTakenSetsTheData)
{
    TSioCustomState& a = addState("A");
    TSioCustomState& x = addState("X");
    TSioCustomState& y = addState("Y");
    TSioCustomState& done = addState("Done");
    addCondition(a, &x, "x;");
    addCondition(a, &y, "y;");
    addCondition(x, &done, "y;");
    machine->StartState = &a;
    std::vector<std::string> seenOnChange;
    machine->OnStateChange = [&](TSioCustomStateMachine& m, TSioCustomState* from, TSioCustomState* to) {
        changes.push_back(from->Name + ">" + to->Name);
        seenOnChange.push_back(m.DataString());
    };
    port->SetOpen(true);
    machine->Start();
    ASSERT_TRUE(pty.write("x;y;"));
    ASSERT_TRUE(pumpUntil([&] { return !finishes.empty(); }));
    EXPECT_EQ((std::vector<std::string>{"A>X", "X>Done"}), changes);
    EXPECT_EQ((std::vector<std::string>{"x;", "y;"}), seenOnChange);
    EXPECT_EQ(&done, machine->CurrentState());
}

// A block of 8192 bytes (the whole dispatch buffer) still gets its
// terminating zero inside the source's receive buffer.
TEST_F(StateMachineOnPty, AFullDispatchBufferFitsTheReceiveBufferWithItsZero)
{
    TSioCustomState& a = addState("A");
    addCondition(a, &a, "never-sent");
    // Each notification: the count (OnGetData), then the text (OnGetDataString).
    std::mutex m;
    std::vector<std::int32_t> counts;
    std::vector<std::string> texts;
    a.OnGetData = [&](TSioCustomState&, const std::uint8_t*, std::int32_t n) {
        std::lock_guard lock(m);
        counts.push_back(n);
    };
    a.OnGetDataString = [&](TSioCustomState&, const std::string& s) {
        {
            std::lock_guard lock(m);
            texts.push_back(s);
        }
        loop.wakeUp();
    };
    auto seen = [&] {
        std::lock_guard lock(m);
        return texts.size();
    };
    machine->StartState = &a;
    port->SetOpen(true);
    // The dispatch buffer fills up before the machine starts: the machine
    // is told of all of it although nothing more comes.
    port->SetOnTriggerAvail([](TSioCustomComPort&, std::uint16_t) {}); // data notices wake the main thread
    ASSERT_TRUE(pty.write(std::string(8000, 'a') + std::string(192, 'b')));
    ASSERT_TRUE(port->PumpUntil([&] { return port->InBuffUsed() == 8192; }, 5000));
    machine->Start();
    ASSERT_TRUE(pumpUntil([&] { return seen() > 0; }));
    machine->Cancel();
    std::lock_guard lock(m);
    ASSERT_EQ(std::vector<std::int32_t>{8192}, counts);
    EXPECT_EQ(8192 + 8192, machine->BuiltInSource().ReceiveBufferSize());
    ASSERT_EQ(1u, texts.size());
    EXPECT_TRUE(texts[0] == std::string(8000, 'a') + std::string(192, 'b')) << texts[0].size() << " bytes";
}

TEST_F(StateMachineOnPty, ARefusedStartLeavesNothingBehind)
{
    TSioCustomState& a = addState("A");
    addCondition(a, &a, "\r");
    port->SetOpen(true);
    EXPECT_THROW(machine->Start(), EStateMachine);
    EXPECT_FALSE(machine->BuiltInSource().HandlerRegistered());
    EXPECT_FALSE(machine->Running());

    // Nor does it disturb a machine that runs.
    machine->StartState = &a;
    machine->Start();
    machine->StartState = nullptr;
    EXPECT_THROW(machine->Start(), EStateMachine);
    EXPECT_EQ(&a, machine->CurrentState());
    EXPECT_TRUE(machine->Running());
    EXPECT_TRUE(machine->BuiltInSource().HandlerRegistered());
    EXPECT_EQ(1u, machine->BuiltInSource().Packets().size());
}

TEST(StateMachineSource, APortPlacedOnTheOwnerLaterIsTakenUp)
{
    TSioBaseComponent form;
    TSioCustomStateMachine machine(&form);
    TSioStateComPortSource source(&form);
    EXPECT_EQ(nullptr, machine.GetComPort());
    TSioComPort port(&form);
    EXPECT_EQ(&port, machine.GetComPort());
    EXPECT_EQ(&port, source.GetComPort());
    // A source that has a port keeps it.
    TSioComPort second(&form);
    EXPECT_EQ(&port, machine.GetComPort());
}

// A port set while the machine runs: the current state waits on it.
TEST_F(StateMachineOnPty, APortSetWhileTheMachineRunsCarriesItOn)
{
    TestPty other;
    ASSERT_TRUE(other.ok());
    RouteComToPty(loop, kStateMachineCom + 1, other);
    TSioComPort second;
    second.SetAutoOpen(false);
    second.SetPromptForPort(false);
    second.SetComNumber(kStateMachineCom + 1);
    second.SetOpen(true);
    startAToB();
    machine->SetComPort(&second);
    EXPECT_TRUE(machine->BuiltInSource().HandlerRegistered());
    ASSERT_EQ(1u, machine->BuiltInSource().Packets().size());
    EXPECT_EQ(&second, machine->BuiltInSource().Packets()[0]->GetComPort());
    ASSERT_TRUE(other.write("on the second\r"));
    ASSERT_TRUE(pumpUntil([&] { return !finishes.empty(); }));
    EXPECT_EQ("on the second\r", machine->DataString());
    EXPECT_EQ(nullptr, TSioDataPacketManagerList::Find(port.get()));
    machine->SetComPort(nullptr);
    loop.processPending();
}

// The peer sends without pause; the machine is cancelled, restarted while it
// runs and started again, over and over. Nothing freed may be touched.
class FloodingPeer {
public:
    explicit FloodingPeer(TestPty& pty)
        : thread_([this, &pty] {
              const std::string chunk = "0123456789\r";
              while (!stop_.load())
                  if (!pty.write(chunk))
                      break;
          })
    {
    }
    ~FloodingPeer()
    {
        stop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST_F(StateMachineOnPty, CancelAndRestartAThousandTimesWhileThePeerFloods)
{
    TSioCustomState& a = addState("A");
    TSioCustomState& b = addState("B");
    addCondition(a, &b, "\r");
    addCondition(b, &a, "\r");
    std::atomic<int> blocks{0};
    a.OnGetData = [&](TSioCustomState&, const std::uint8_t*, std::int32_t) {
        ++blocks;
        loop.wakeUp();
    };
    machine->StartState = &a;
    port->SetOpen(true);
    FloodingPeer peer(pty);
    machine->Start();
    ASSERT_TRUE(pumpUntil([&] { return blocks.load() > 0 && changes.size() > 2; }));
    for (int i = 0; i < 1000; ++i) {
        loop.processPending();
        if (i % 2 == 0) {
            machine->Cancel();
            EXPECT_FALSE(machine->BuiltInSource().HandlerRegistered());
            loop.processPending();
        }
        machine->Start(); // on a cancelled machine, or restarting a running one
        ASSERT_EQ(&a, machine->CurrentState());
    }
    const std::size_t before = changes.size();
    ASSERT_TRUE(pumpUntil([&] { return changes.size() > before + 2; }));
    machine->Cancel();
    loop.processPending();
    EXPECT_TRUE(finishes.empty());
    ASSERT_TRUE(pumpUntil([&] { return machine->BuiltInSource().RetiredPackets() == 0; }));
}

TEST_F(StateMachineOnPty, DestroyingARunningMachineWhileDataArrives)
{
    port->SetOpen(true);
    FloodingPeer peer(pty);
    for (int i = 0; i < 200; ++i) {
        if (!machine)
            machine = std::make_unique<TSioCustomStateMachine>(&form);
        TSioCustomState& a = addState("A");
        TSioCustomState& b = addState("B");
        addCondition(a, &b, "\r");
        addCondition(b, &a, "\r");
        std::atomic<int> blocks{0};
        for (TSioCustomState* s : {&a, &b})
            s->OnGetData = [&](TSioCustomState&, const std::uint8_t*, std::int32_t) {
                ++blocks;
                loop.wakeUp();
            };
        machine->StartState = &a;
        machine->Start();
        ASSERT_TRUE(pumpUntil([&] { return blocks.load() > 0; }));
        if (i % 2)
            loop.processPending(); // with and without transitions waiting
        machine.reset();
        EXPECT_EQ(nullptr, a.Machine());
        states.clear();
        loop.processPending();
    }
    loop.processPending();
    EXPECT_TRUE(finishes.empty());
}

} // namespace
} // namespace sio::test
