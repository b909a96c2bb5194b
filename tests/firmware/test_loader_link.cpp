// The bootloader link against the simulated bootstrap loader on a
// pseudo-terminal: connect, routines, answer bytes, resends, time-outs.
#include "platform/beep.h"
#include "firmware/BootBlocks.h"
#include "platform/port_resolver.h"
#include "support_boot.h"

namespace kyd::firmware::test {
namespace {

TEST_F(BootFixture, ConnectBootstrapsAndKeepsAlive)
{
    ASSERT_EQ(Connect(), 0);
    EXPECT_EQ(loader->CMC_CPU_ID_Code(), 0xC5);
    EXPECT_EQ(loader->LinkState(), lsConnected);
    EXPECT_EQ(loader->OperationMode(), omIdle);
    EXPECT_EQ(loader->TryToConnect(), 1);
    EXPECT_EQ(loader->LastError(), 0);
    // The line as the bootloader wants it.
    EXPECT_EQ(port.GetBaud(), 57600);
    EXPECT_EQ(port.GetDataBits(), 8);
    EXPECT_EQ(port.GetParity(), sio::pNone);
    EXPECT_EQ(port.GetInSize(), 16000);
    EXPECT_EQ(Count("routine 0"), 1);
    EXPECT_TRUE(loader->Alive());
    EXPECT_TRUE(loader->PollBootloader());
    EXPECT_TRUE(loader->PollBootloader());
    EXPECT_TRUE(dialogs.calls().empty());

    // A silent keep-alive poll fails; the next one answers again.
    Faults([](sim::BootFaults& f) { f.keepAliveSilent = 1; });
    AdvanceOn("keep-alive", 600);
    EXPECT_FALSE(loader->PollBootloader());
    EXPECT_TRUE(loader->PollBootloader());

    // Closing the port leaves the packet off, so it does not take the bytes
    // of the next user of the port; the next poll arms it again.
    port.SetOpen(false);
    port.SetOpen(true);
    EXPECT_FALSE(loader->PacketEnabled());
    EXPECT_TRUE(loader->PollBootloader());
    EXPECT_EQ(loader->RunRoutine(rtNodeList, 5).size(), 5u);
}

TEST_F(BootFixture, LineRateIsSixTimesTheConfiguredRate)
{
    baudText = "19200";
    AdvanceOn("refused: line at 115200 baud, expected 57600", 30);
    EXPECT_EQ(Connect(), -1); // the target listens at 57600
    EXPECT_EQ(port.GetBaud(), 115200);
    EXPECT_EQ(loader->lastErrorMessage(), "Hex-Loader failed!");
    baudText = "fast";
    EXPECT_EQ(Connect(), 0);
    EXPECT_EQ(port.GetBaud(), 57600);
    EXPECT_EQ(loader->TryToConnect(), 2);
}

TEST_F(BootFixture, DataBytesAreTakenRaw)
{
    // A CPU id that looks like an answer byte is data all the same.
    for (std::uint8_t id : {0xFF, 0xAA, 0xF7}) {
        sim.withCore([&](sim::BootCore& c) {
            c.powerCycle();
            c.config().cpuId = id;
        });
        ASSERT_EQ(Connect(), 0) << int(id);
        EXPECT_EQ(loader->CMC_CPU_ID_Code(), id);
    }
    EXPECT_EQ(loader->NrOfResendings(), 0);
    EXPECT_EQ(loader->spuriouscharacters(), 0);

    // Flash id bytes and the node mask after 0xCA.
    sim.withCore([](sim::BootCore& c) {
        c.config().flashId = 0xF7FF;
        c.config().nodeMask = 0xFF;
    });
    loader->SetDataBytes(TDMHexLoader::TDataBytes::FlashId);
    std::string r = loader->RunRoutine(rtIdentifyFlash, 5);
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(static_cast<std::uint8_t>(r[1]), 0xF7);
    EXPECT_EQ(static_cast<std::uint8_t>(r[2]), 0xFF);
    loader->SetDataBytes(TDMHexLoader::TDataBytes::NodeMask);
    r = loader->RunRoutine(rtNodeList, 5);
    loader->SetDataBytes(TDMHexLoader::TDataBytes::None);
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(static_cast<std::uint8_t>(r[1]), 0xCA);
    EXPECT_EQ(static_cast<std::uint8_t>(r[2]), 0xFF);
    EXPECT_EQ(loader->spuriouscharacters(), 0);
}

TEST_F(BootFixture, NoiseAndResendRequestsNeverReachAReply)
{
    ASSERT_EQ(Connect(), 0);
    Faults([](sim::BootFaults& f) {
        f.spurious = 2;
        f.corruptBlocks = 3;
    });
    const std::string r = loader->RunRoutine(rtNodePresence, 3);
    EXPECT_EQ(r, std::string("\x00\xBB\xB0", 3));
    EXPECT_EQ(loader->NrOfResendings(), 3);
    EXPECT_EQ(loader->spuriouscharacters(), 4);
    EXPECT_EQ(Count("block refused"), 3);
    EXPECT_EQ(loader->LastError(), 0);
}

TEST_F(BootFixture, AtMostTenSendsOfARoutine)
{
    ASSERT_EQ(Connect(), 0);
    Faults([](sim::BootFaults& f) { f.corruptBlocks = -1; });
    const std::string r = loader->RunRoutine(rtNodeList, 5);
    EXPECT_TRUE(r.empty());
    EXPECT_EQ(Count("block refused"), 10);
    EXPECT_EQ(loader->NrOfResendings(), 10);
    // The target still waits for the block: after a power cycle the loader
    // connects again.
    Faults([](sim::BootFaults& f) { f.corruptBlocks = 0; });
    sim.withCore([](sim::BootCore& c) { c.powerCycle(); });
    ASSERT_EQ(Connect(), 0);
    EXPECT_EQ(loader->RunRoutine(rtNodeList, 5).size(), 5u);
}

TEST_F(BootFixture, FailuresEndWithTheirCodes)
{
    // No CPU id: -16 after the id wait of 25 ms.
    Faults([](sim::BootFaults& f) { f.noCpuId = 1; });
    AdvanceOn("boot", 30);
    const std::int64_t t0 = clock.monotonicMs();
    EXPECT_EQ(Connect(), -1);
    EXPECT_EQ(clock.monotonicMs() - t0, 30);
    EXPECT_EQ(loader->LastError(), -16);
    EXPECT_EQ(loader->LinkState(), lsNoAnswer);
    EXPECT_TRUE(loader->timeoutError());
    ASSERT_EQ(Connect(), 0);

    // No ready after a command character: an empty reply, last error 0.
    Faults([](sim::BootFaults& f) { f.noReady = 1; });
    AdvanceOn("command 1", 1100);
    EXPECT_TRUE(loader->RunRoutine(rtIdentifyFlash, 5).empty());
    EXPECT_EQ(loader->LastError(), 0);
    EXPECT_EQ(loader->LinkState(), lsNoAnswer);

    // No reply to the block: -9 "Unspecified Error".
    Faults([](sim::BootFaults& f) { f.silent = 1; });
    AdvanceOn("routine 1", 1900);
    EXPECT_TRUE(loader->RunRoutine(rtIdentifyFlash, 5).empty());
    EXPECT_EQ(loader->LastError(), -9);
    EXPECT_EQ(loader->lastErrorMessage(), "Unspecified Error");

    // Usable afterwards.
    EXPECT_EQ(loader->RunRoutine(rtIdentifyFlash, 5).size(), 5u);
    EXPECT_EQ(loader->LastError(), 0);
}

TEST_F(BootFixture, TerminateEndsEveryWaitAtOnce)
{
    ASSERT_EQ(Connect(), 0);
    TerminateOn("routine 3");
    Faults([](sim::BootFaults& f) { f.silent = -1; });
    const std::int64_t t0 = clock.monotonicMs();
    EXPECT_TRUE(loader->RunRoutine(rtNodeList, 5).empty());
    EXPECT_TRUE(loader->GetTerminate());
    EXPECT_TRUE(loader->timeoutError());
    // Later waits do not wait at all.
    EXPECT_FALSE(loader->PollBootloader());
    EXPECT_EQ(loader->SendHexRecord(":00000001FF"), -1);
    EXPECT_EQ(loader->LastError(), -3);
    EXPECT_EQ(clock.monotonicMs(), t0);
    loader->ResetState();
    EXPECT_FALSE(loader->GetTerminate());
}

TEST_F(BootFixture, PortThatCannotOpenIsReportedOnce)
{
    platform::setPortPathOverride(kCom, linkPath + ".missing");
    std::vector<platform::BeepKind> beeps;
    platform::setBeeper([&beeps](platform::BeepKind k) { beeps.push_back(k); });
    EXPECT_EQ(Connect(), -2);
    platform::setBeeper({});
    // The error's beep, then its dialog.
    EXPECT_EQ(beeps, std::vector<platform::BeepKind>{platform::BeepKind::Hand});
    EXPECT_EQ(loader->OperationMode(), omConnect);
    const auto calls = dialogs.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].type, platform::DlgType::Error);
    EXPECT_FALSE(calls[0].text.empty());
    platform::setPortPathOverride(kCom, linkPath);
    EXPECT_EQ(Connect(), 0);
}

} // namespace
} // namespace kyd::firmware::test
