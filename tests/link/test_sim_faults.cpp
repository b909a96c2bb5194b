// Faults injected by the simulated dispenser: each exchange ends with the
// right class and code, the busy state cleared, and the next command works.
#include "support_fixture.h"

namespace kyd::link::test {
namespace {

class SimFaults : public LinkFixture {
protected:
    void SetUp() override { OpenPort(); }

    template <class F>
    void Fault(F&& f)
    {
        port->simulator.updateFaults(std::forward<F>(f));
    }

    void ExpectRecovered()
    {
        EXPECT_FALSE(cmd->Busy());
        EXPECT_FALSE(mainWindow.Busy());
        EXPECT_EQ(mainWindow.BusyCalls.back(), 0);
        port->onWrite = nullptr;
        ASSERT_TRUE(cmd->ReadProgramId());
        EXPECT_EQ(model.ProgramId, "2024-05.17");
        ExpectStatus(195, 48);
    }
};

TEST_F(SimFaults, Silence)
{
    Fault([](sim::SimFaults& f) { f.silent = 1; });
    StepClockOnWrite(TCom::TimeoutTicks(5) * 55);
    EXPECT_FALSE(cmd->ReadProgramId());
    ExpectStatus(197, 200);
    ExpectRecovered();
}

TEST_F(SimFaults, BadChecksumOnShortAndLongReplies)
{
    Fault([](sim::SimFaults& f) { f.badChecksum = 2; });
    cmd->SendCommand("0", 5); // "0" + checksum
    ExpectStatus(197, 202);
    EXPECT_EQ(cmd->Reply, "");
    EXPECT_FALSE(cmd->ReadProgramId());
    ExpectStatus(197, 202);
    ExpectRecovered();
}

TEST_F(SimFaults, BareCarriageReturn)
{
    Fault([](sim::SimFaults& f) { f.bareCr = 1; });
    EXPECT_FALSE(cmd->ReadProgramId());
    ExpectStatus(197, 200);
    ExpectRecovered();
}

TEST_F(SimFaults, SplitReplyWithGaps)
{
    Fault([](sim::SimFaults& f) {
        f.fragmentBytes = 3;
        f.fragmentGapMs = 40;
    });
    port->onWrite = [this](const std::string&) {
        for (int i = 0; i < 5; ++i)
            loop.postCall([this] { clock.advance(40); });
    };
    ASSERT_TRUE(cmd->ReadProgramId());
    EXPECT_EQ(model.ProgramId, "2024-05.17");
    ExpectStatus(195, 48);
}

TEST_F(SimFaults, DelayedReplyWithinTheTimeOut)
{
    Fault([](sim::SimFaults& f) { f.delayMs = 4000; });
    StepClockOnWrite(4000);
    ASSERT_TRUE(cmd->ReadProgramId());
    ExpectStatus(195, 48);
}

TEST_F(SimFaults, Noise)
{
    Fault([](sim::SimFaults& f) { f.noise = "\x11~"; });
    EXPECT_FALSE(cmd->ReadProgramId());
    ExpectStatus(197, 202);
    Fault([](sim::SimFaults& f) { f.noise.clear(); });
    ExpectRecovered();
}

TEST_F(SimFaults, LineClosingMidReply)
{
    Fault([](sim::SimFaults& f) { f.hangUp = 1; });
    StepClockOnWrite(TCom::TimeoutTicks(5) * 55);
    EXPECT_FALSE(cmd->ReadProgramId());
    ExpectStatus(197, 200);
    ExpectRecovered();
}

TEST_F(SimFaults, CtsHeldLowWithHandshake)
{
    OpenPort(true);
    Fault([](sim::SimFaults& f) { f.ctsLow = true; });
    port->onRtsRaised = [this] { loop.postCall([this] { clock.advance(3000); }); };
    EXPECT_FALSE(cmd->ReadProgramId());
    EXPECT_TRUE(port->written.empty());
    ExpectStatus(197, 200);
    Fault([](sim::SimFaults& f) { f.ctsLow = false; });
    ExpectRecovered();
}

TEST_F(SimFaults, AbortFromTheReceiptCallback)
{
    port->simulator.setCommandHook([this](const std::string&) { cmd->Abort(); });
    EXPECT_FALSE(cmd->ReadProgramId());
    ExpectStatus(195, 205);
    EXPECT_FALSE(model.Succeeded());
    port->simulator.setCommandHook(nullptr);
    ExpectRecovered();
}

TEST_F(SimFaults, ScriptedStatus)
{
    Fault([](sim::SimFaults& f) {
        sim::ScriptedStatus s;
        ASSERT_TRUE(sim::parseScriptedStatus("1*:1:4", s));
        f.scripted.push_back(s);
    });
    cmd->Dispense('1', '0', {1, 0, 0, 0, 0, 0, 0, 0});
    ExpectStatus(195, 52);
    EXPECT_EQ(model.NotesDelivered, 0); // a bare status is not parsed
    ExpectRecovered();
}

} // namespace
} // namespace kyd::link::test
