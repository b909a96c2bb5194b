// Every command of the command set through the serial library's port
// component to the simulator on a pseudo-terminal: the exact bytes on the
// line, the packet time-out, and the reply parsed into the status model.
#include "platform/serial_device.h"
#include "serial/SioExcept.h"
#include "support_pty_link.h"

namespace kyd::link::test {
namespace {

class E2eCommands : public PtyLinkFixture {
protected:
    void SetUp() override { OpenPort(); }
};

TEST_F(E2eCommands, EveryBuilderSendsItsExactFrame)
{
    simulator.withCore([](sim::SimCore& c) {
        for (int pos = 1; pos <= 4; ++pos)
            c.cassette(pos).state = sim::CassetteState::Open;
        return 0;
    });

    cmd->SendCommand("3", 180);
    EXPECT_EQ(OneFrame(), "333\r");
    EXPECT_EQ(port->Packet().GetTimeOut(), 3249);
    cmd->SendCommand("Z6F", 20);
    EXPECT_EQ(OneFrame(), "Z6F2:\r");
    EXPECT_EQ(port->Packet().GetTimeOut(), 369);

    cmd->Dispense('1', '0', {5, 0, 12, 0, 0, 0, 0, 0});
    EXPECT_EQ(OneFrame(), "101005301205\r");
    cmd->Dispense('2', '0', {0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_TRUE(NoFrame()); // no notes: nothing sent
    cmd->Dispense('2', '0', {0, 0, 0, 0, 0, 0, 0, 999});
    EXPECT_EQ(OneFrame(), "20899903\r");
    cmd->Dispense('1', '9', {1, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(OneFrame(), "19100108\r");

    cmd->ReadCassetteIds();
    EXPECT_EQ(OneFrame(), "535\r");
    cmd->ReadLastStatus();
    EXPECT_EQ(OneFrame(), "636\r");
    EXPECT_EQ(port->Packet().GetTimeOut(), 99);
    cmd->OpenCassette(3, 1);
    EXPECT_EQ(OneFrame(), "8313:\r");
    cmd->OpenCassette(3, 0);
    EXPECT_EQ(OneFrame(), "8303;\r");
    cmd->CloseCassette(3, false);
    EXPECT_EQ(OneFrame(), "73135\r");
    cmd->CloseCassette(3, true);
    EXPECT_EQ(OneFrame(), "73236\r");
    cmd->ReadRejectTrace();
    EXPECT_EQ(OneFrame(), "939\r");
    cmd->ReadData(5);
    EXPECT_EQ(OneFrame(), "RD/0050<\r");
    cmd->ReadData(5, "X1");
    EXPECT_EQ(OneFrame(), "RD/005/X14:\r");
    cmd->ReadData(123);
    EXPECT_EQ(OneFrame(), "RD/12309\r");
    cmd->WriteData(12, "ABC", 80);
    EXPECT_EQ(OneFrame(), "WD/012/ABC60\r");
    EXPECT_EQ(port->Packet().GetTimeOut(), 80 * 18 + 9);
    cmd->ReadCassetteData(1, 27);
    EXPECT_EQ(OneFrame(), "RD/912734\r");
    cmd->WriteCassetteData(1, 28, "XY");
    EXPECT_EQ(OneFrame(), "WD/9128/XY10\r");
    cmd->ReadProgramId();
    EXPECT_EQ(OneFrame(), "A41\r");
    cmd->SendSelfTestData(3);
    EXPECT_EQ(OneFrame(), "G374\r");
    cmd->SendSelfTestData(-1);
    EXPECT_EQ(OneFrame(), "GA06\r");
    cmd->SendSelfTestData(10);
    EXPECT_EQ(OneFrame(), "G1046\r");
    cmd->CheckStatus();
    EXPECT_EQ(OneFrame(), "Q51\r");

    // Arguments that cannot be framed never reach the line.
    cmd->Dispense('1', '0', {1000, 0, 0, 0, 0, 0, 0, 0});
    cmd->OpenCassette(9, 1);
    cmd->SendSelfTestData(-2);
    EXPECT_TRUE(NoFrame());
    ExpectStatus(197, 0x3E);
    EXPECT_FALSE(cmd->Busy());
}

TEST_F(E2eCommands, ResetReplyIsCheckedAndClassified)
{
    cmd->SendCommand("0", 20);
    EXPECT_EQ(OneFrame(), "030\r");
    EXPECT_EQ(cmd->Reply, "0");
    ExpectStatus(195, 48);
    EXPECT_TRUE(model.Succeeded());
    EXPECT_FALSE(com->ErrorFlag());
    EXPECT_EQ(comStrings.Lines, (std::vector<std::string>{"Out: 030", "In : 030"}));
    EXPECT_EQ(mainWindow.BusyCalls, (std::vector<int>{1, 0}));
    ASSERT_EQ(mainWindow.StatusTexts.size(), 1u);
    EXPECT_EQ(mainWindow.StatusTexts[0].first, "0");
}

TEST_F(E2eCommands, DispenseDeliverAndLastStatusFollowTheDispenser)
{
    simulator.withCore([](sim::SimCore& c) {
        c.cassette(1).state = sim::CassetteState::Open;
        c.cassette(2).state = sim::CassetteState::Open;
        return 0;
    });
    cmd->Dispense('1', '0', {3, 2, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(OneFrame(), "1010032002" + TCom::Checksum("1010032002") + "\r");
    EXPECT_TRUE(model.Succeeded()) << model.CodeText;
    EXPECT_EQ(model.NotesDelivered, 5);
    EXPECT_EQ(model.NotesThisDispense, 5);
    EXPECT_EQ(model.LastCassette, 2);

    ASSERT_TRUE(cmd->ReadLastStatus());
    ASSERT_NE(model.FindFeeder(1), nullptr);
    ASSERT_NE(model.FindFeeder(2), nullptr);
    EXPECT_EQ(model.FindFeeder(1)->Count, 3);
    EXPECT_EQ(model.FindFeeder(2)->Count, 2);
    EXPECT_EQ(model.FindFeeder(1)->Status, "30 Successful Command");

    cmd->SendCommand("3", 180); // deliver
    EXPECT_TRUE(model.Succeeded()) << model.CodeText;
    EXPECT_EQ(simulator.withCore([](sim::SimCore& c) { return c.throatNotes(); }), 5);
}

TEST_F(E2eCommands, CassetteIdsProgramIdAndDataRepliesAreParsed)
{
    simulator.withCore([](sim::SimCore& c) {
        c.cassette(1).id = "   AB123";
        c.cassette(2).notes = 0;
        return 0;
    });
    ASSERT_TRUE(cmd->ReadCassetteIds());
    ASSERT_GE(model.Feeders().size(), 4u);
    EXPECT_EQ(model.FindFeeder(1)->Id, "AB123");
    EXPECT_EQ(model.FindFeeder(2)->Status, "32 Empty Cassette");

    ASSERT_TRUE(cmd->ReadProgramId());
    EXPECT_EQ(model.ProgramId, "2024-05.17");

    const std::string item = simulator.withCore([](sim::SimCore& c) { return c.itemValue(204); });
    ASSERT_FALSE(item.empty());
    ASSERT_TRUE(cmd->ReadData(204));
    EXPECT_EQ(model.ReadData, "/" + item); // the reply without its status character

    ASSERT_TRUE(cmd->CheckStatus());
    EXPECT_FALSE(model.CheckStatusData.empty());
    EXPECT_TRUE(model.Succeeded()) << model.CodeText;
}

TEST_F(E2eCommands, ScriptedStatusIsClassified)
{
    simulator.updateFaults([](sim::SimFaults& f) {
        sim::ScriptedStatus s;
        s.pattern = "3";
        s.status = '9';
        f.scripted.push_back(s);
    });
    cmd->SendCommand("3", 180);
    EXPECT_EQ(OneFrame(), "333\r");
    EXPECT_EQ(cmd->Reply, "9");
    ExpectStatus(198, '9');
    EXPECT_FALSE(model.Succeeded());
    ExpectIdleAndNextCommandWorks();
}

TEST_F(E2eCommands, OpeningTwiceWithTheSameSettingsTouchesNothing)
{
    sio::TSioBaseDispatcher* before = port->Port().CurrentDispatcher();
    EXPECT_EQ(com->Open(kCom, 9600, TParity::pEven, 7, 1, false), kCom);
    EXPECT_EQ(port->Port().CurrentDispatcher(), before);
    // Other settings reopen the port.
    EXPECT_EQ(com->Open(kCom, 19200, TParity::pEven, 7, 1, false), kCom);
    EXPECT_EQ(port->Port().GetBaud(), 19200);
    EXPECT_EQ(port->Port().GetDataBits(), 7);
    EXPECT_EQ(port->Port().GetParity(), sio::pEven);
    EXPECT_FALSE(port->Port().GetRTS());
    EXPECT_EQ(port->Port().GetHWFlowOptions(), 0);
    ExpectIdleAndNextCommandWorks();
}

TEST_F(E2eCommands, PortThatDoesNotExistAsksTheOperator)
{
    int asked = 0;
    port->Port().SetPortPrompt([&]() -> std::optional<int> {
        ++asked;
        return kCom;
    });
    // COM46 has no device: the library asks, the operator picks COM47.
    EXPECT_EQ(com->Open(46, 9600, TParity::pEven, 7, 1, false), kCom);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(port->IsOpen());
    ExpectIdleAndNextCommandWorks();

    // The prompt cancelled: the library's exception reaches the caller.
    port->Port().SetPortPrompt([]() -> std::optional<int> { return std::nullopt; });
    EXPECT_THROW(com->Open(46, 9600, TParity::pEven, 7, 1, false), sio::ENoPortSelected);
    // The operator's sentence first, the library's class, code and text kept.
    try {
        com->Open(46, 9600, TParity::pEven, 7, 1, false);
    } catch (const sio::ENoPortSelected& e) {
        EXPECT_EQ(std::string(e.what()), "No port selected.\nThe ComNumber property of the TSioComPort has not been set");
        EXPECT_EQ(e.ErrorCode, sio::ecodes::ecNoPortSelected);
    }
    EXPECT_FALSE(port->IsOpen());
    EXPECT_TRUE(dialogs.calls().empty());
}

TEST_F(E2eCommands, PortNotOpenReachesTheCallerWithBusyCleared)
{
    com->Port().Close();
    try {
        cmd->SendCommand("3", 5);
        ADD_FAILURE() << "no exception";
    } catch (const sio::ECommNotOpen& e) {
        EXPECT_EQ(std::string(e.what()).rfind("COM" + std::to_string(kCom) + " (", 0), 0u) << e.what();
        EXPECT_NE(std::string(e.what()).find("is not available: check the cable and the dispenser's power.\nie_NOpen"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(cmd->Busy());
    EXPECT_FALSE(mainWindow.Busy());
    EXPECT_EQ(mainWindow.BusyCalls, (std::vector<int>{1, 0}));
    EXPECT_TRUE(NoFrame());
    // Opened again, the next command works.
    OpenPort();
    ExpectIdleAndNextCommandWorks();
}

// Another program holds the port when the link opens it: the operator is
// told so plainly, and each command tries the port again; once the other
// program has let it go, the next command opens it and goes out.
TEST_F(E2eCommands, PortHeldByAnotherProgramIsOpenedByTheFirstCommandAfterItWasFreed)
{
    com->Port().Close();
    const std::unique_ptr<platform::SerialDevice> other = platform::createPosixSerialDevice();
    ASSERT_EQ(other->open(linkPath), platform::kDevOk);
    EXPECT_EQ(com->Open(kCom, 9600, TParity::pEven, 7, 1, false), kCom);
    EXPECT_FALSE(port->IsOpen());
    const std::string inUse = "COM" + std::to_string(kCom) + " (" + linkPath + ") is in use by another program";
    ASSERT_EQ(dialogs.calls().size(), 1u);
    EXPECT_EQ(dialogs.calls()[0].text.rfind(inUse, 0), 0u) << dialogs.calls()[0].text;
    EXPECT_NE(dialogs.calls()[0].text.find("\nie_Open - device already open"), std::string::npos);

    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            cmd->SendCommand("3", 5);
            ADD_FAILURE() << "no exception";
        } catch (const sio::EAlreadyOpen& e) {
            EXPECT_EQ(std::string(e.what()).rfind(inUse, 0), 0u) << e.what();
        }
        EXPECT_FALSE(cmd->Busy());
        EXPECT_TRUE(NoFrame());
    }

    other->close();
    cmd->SendCommand("3", 5);
    EXPECT_TRUE(port->IsOpen());
    EXPECT_EQ(OneFrame(), "333\r");
    EXPECT_FALSE(com->ErrorFlag()); // answered
    // A port closed on purpose (not by a failed open) stays closed.
    com->Port().Close();
    EXPECT_THROW(cmd->SendCommand("3", 5), sio::ECommNotOpen);
    EXPECT_TRUE(NoFrame());
}

} // namespace
} // namespace kyd::link::test
