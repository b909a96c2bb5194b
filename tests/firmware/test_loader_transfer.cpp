// Intel HEX transfer against the simulated bootstrap loader: whole files,
// resends, error bytes, time-outs and a line that goes away.
#include "firmware/BootBlocks.h"
#include "firmware/HexFile.h"
#include "support_boot.h"

namespace kyd::firmware::test {
namespace {

constexpr std::uint32_t kBase = 0x1FF00; // crosses a 64 KiB boundary

void ExpectImage(const std::vector<std::uint8_t>& image, std::uint32_t base, std::size_t size, unsigned seed = 1)
{
    ASSERT_GE(image.size(), base + size);
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < size; ++i)
        wrong += image[base + i] != PatternByte(i, seed);
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(image[base - 1], 0xFF);
    EXPECT_EQ(image[base + size], 0xFF);
}

TEST_F(BootFixture, WholeFileIsWrittenByteExactAndVerified)
{
    ConnectAndErase();
    std::vector<std::string> lines = MakeHexFile(kBase, 1000, 16);
    const int records = static_cast<int>(lines.size()); // 63 data, 2 extended address, the end record
    ASSERT_TRUE(loader->CheckHexFile(lines));
    lines.push_back(":0400000500000000F7"); // after the end record: neither sent nor counted
    lines.push_back(":");
    // The whole-file check refuses such a file; the transfer itself stops
    // at the end record.
    EXPECT_FALSE(loader->CheckHexFile(lines));

    progress.position = 0;
    loader->SetOperationMode(omDownload);
    EXPECT_EQ(loader->TransferFlashFile(lines, rtFlashProgram), 0);
    EXPECT_EQ(loader->LastError(), 0);
    EXPECT_TRUE(loader->EndRecord());
    EXPECT_EQ(progress.position, records);
    EXPECT_EQ(sim.withCore([](sim::BootCore& c) { return c.recordsReceived(); }), records);
    ExpectImage(Image(), kBase, 1000);
    EXPECT_LT(loader->MinTimeOutTime(), 1000000);
    EXPECT_GT(loader->MinTimeOutTime(), 200);

    // Verify passes; the board answers the keep-alive poll afterwards.
    loader->SetOperationMode(omVerify);
    EXPECT_EQ(loader->TransferFlashFile(lines, rtFlashVerify), 0);
    EXPECT_TRUE(loader->PollBootloader());

    // A byte changed in the flash: the verify routine answers F2.
    sim.withCore([](sim::BootCore& c) { c.image(0)[kBase + 500] ^= 0x01; });
    EXPECT_EQ(loader->TransferFlashFile(lines, rtFlashVerify), -1);
    EXPECT_EQ(loader->LastError(), -14);
    EXPECT_EQ(loader->lastErrorMessage(), "Command failed!");
    ASSERT_TRUE(WaitForAliveByte());
    EXPECT_TRUE(loader->PollBootloader());
}

TEST_F(BootFixture, ProgrammingCanOnlyClearBits)
{
    // The flash holds zeros: without an erase the first data record fails
    // with the target's error byte, and what came before it stays written.
    ASSERT_EQ(Connect(), 0);
    const std::vector<std::string> lines = MakeHexFile(0x100, 64, 16);
    EXPECT_EQ(loader->TransferFlashFile(lines, rtFlashProgram), -1);
    EXPECT_EQ(loader->LastError(), -7);
    EXPECT_EQ(loader->lastErrorMessage(), "Setzero not successfully.");
    EXPECT_EQ(progress.position, 1);
    // The loader stays usable: erase and program.
    loader->SetOperationMode(omErase);
    EXPECT_EQ(loader->RunRoutine(rtFlashErase, 3)[1], 'q');
    loader->SetOperationMode(omDownload);
    EXPECT_EQ(loader->TransferFlashFile(lines, rtFlashProgram), 0);
    ExpectImage(Image(), 0x100, 64);
}

TEST_F(BootFixture, ResendRequestsSendTheSameRecordAgain)
{
    ConnectAndErase();
    Faults([](sim::BootFaults& f) {
        f.recordResends = 5;
        f.spurious = 3;
    });
    const std::vector<std::string> lines = MakeHexFile(0x2000, 256, 32);
    EXPECT_EQ(loader->TransferFlashFile(lines, rtFlashProgram), 0);
    EXPECT_EQ(loader->NrOfResendings(), 5);
    EXPECT_EQ(loader->spuriouscharacters(), 6);
    EXPECT_EQ(Count("record resend"), 5);
    EXPECT_EQ(sim.withCore([](sim::BootCore& c) { return c.recordsReceived(); }), static_cast<int>(lines.size()));
    ExpectImage(Image(), 0x2000, 256);
}

TEST_F(BootFixture, ErrorByteOfARecordIsTheLastError)
{
    ConnectAndErase();
    Faults([](sim::BootFaults& f) {
        f.recordError = 0xF1;
        f.recordErrorAt = 3;
    });
    const std::vector<std::string> lines = MakeHexFile(0x0, 160, 16);
    EXPECT_EQ(loader->TransferFlashFile(lines, rtFlashProgram), -1);
    EXPECT_EQ(loader->LastError(), -15);
    EXPECT_EQ(loader->lastErrorMessage(), "Vpp was not on!");
    EXPECT_EQ(progress.position, 3);
    ASSERT_TRUE(WaitForAliveByte());
    EXPECT_TRUE(loader->PollBootloader());
}

TEST_F(BootFixture, UnansweredRecordTimesOut)
{
    ConnectAndErase();
    const std::vector<std::string> lines = MakeHexFile(0x0, 64, 16);
    loader->SetOperationMode(omDownload);
    ASSERT_FALSE(loader->RunRoutine(rtFlashProgram, 2).empty());
    EXPECT_EQ(loader->SendHexRecord(lines[0]), 0);
    // The second record goes unanswered: about 12 s later, -3.
    Faults([](sim::BootFaults& f) { f.silent = 1; });
    AdvanceOn("record 2", 12100);
    const std::int64_t t0 = clock.monotonicMs();
    EXPECT_EQ(loader->SendHexRecord(lines[1]), -1);
    EXPECT_EQ(clock.monotonicMs() - t0, 12100);
    EXPECT_EQ(loader->LastError(), -3);
    EXPECT_EQ(loader->lastErrorMessage(), "Resend failure or TimeOut Error");
    EXPECT_TRUE(loader->timeoutError());
}

TEST_F(BootFixture, LineClosingMidTransferEndsTheWait)
{
    ConnectAndErase();
    Faults([](sim::BootFaults& f) { f.hangUpAfterRecords = 10; });
    const std::vector<std::string> lines = MakeHexFile(0x0, 4096, 16);
    const std::int64_t t0 = clock.monotonicMs();
    EXPECT_EQ(loader->TransferFlashFile(lines, rtFlashProgram), -1);
    EXPECT_EQ(loader->LastError(), -3);
    EXPECT_EQ(clock.monotonicMs(), t0); // no time-out was needed
    EXPECT_EQ(progress.position, 10);
    // The next connection works on the new line.
    ASSERT_TRUE(transport->waitForHangUps(1, 5000));
    EXPECT_EQ(Connect(), 0);
}

TEST_F(BootFixture, NodeTransfer)
{
    // A CMC with a CAN module takes the CAN routines itself.
    sim.withCore([](sim::BootCore& c) { c.config().flashId = 0xCA12; });
    ASSERT_EQ(Connect(), 0);
    loader->SetOperationMode(omErase);
    EXPECT_EQ(loader->RunRoutine(rtCanErase, 2)[1], 'q');
    const std::vector<std::string> lines = MakeHexFile(0x400, 128, 16);
    loader->SetOperationMode(omDownload);
    EXPECT_EQ(loader->TransferNodeFile(lines, rtCanDownload), 0);
    ExpectImage(Image(), 0x400, 128);
    // A 29F CMC without a node selected: the routine is refused.
    sim.withCore([](sim::BootCore& c) { c.config().flashId = 0x22AB; });
    EXPECT_EQ(loader->TransferNodeFile(lines, rtCanVerify), -1);
    EXPECT_EQ(loader->LastError(), -16);
}

TEST_F(BootFixture, EraseMayTakeAsLongAsTheEraseWait)
{
    ASSERT_EQ(Connect(), 0);
    // 19 s pass before the erase answers: within the erase mode's wait...
    loader->SetOperationMode(omErase);
    AdvanceOn("routine 4", 19000);
    Faults([](sim::BootFaults& f) { f.delayMs = 30; });
    EXPECT_EQ(loader->RunRoutine(rtFlashErase, 3)[1], 'q');
    EXPECT_EQ(loader->LastError(), 0);
    // ... but far past any other routine's.
    loader->SetOperationMode(omIdle);
    AdvanceOn("routine 1", 1900);
    EXPECT_TRUE(loader->RunRoutine(rtIdentifyFlash, 5).empty());
    EXPECT_EQ(loader->LastError(), -9);
}

TEST_F(BootFixture, BadLinesAndFiles)
{
    ASSERT_EQ(Connect(), 0);
    // A lone ':' is not sent and fails at once, leaving the last error as
    // it is (the whole-file check refuses such a file before).
    EXPECT_EQ(loader->SendHexRecord(":"), -1);
    EXPECT_EQ(loader->LastError(), 0);
    EXPECT_EQ(loader->SendHexRecord(""), -1);
    std::vector<std::string> lines = MakeHexFile(0x0, 32, 16);
    lines[1][12] = lines[1][12] == '0' ? '1' : '0';
    EXPECT_FALSE(loader->CheckHexFile(lines));
    EXPECT_EQ(loader->LastError(), -1);
    EXPECT_EQ(loader->lastErrorMessage(), "Hex File Error");
}

} // namespace
} // namespace kyd::firmware::test
