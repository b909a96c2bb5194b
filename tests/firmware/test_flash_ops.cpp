// The flash and CAN node operations against the simulated bootstrap loader:
// the flash table, erase, program and verify of the CMC, the node list, the
// presence check, node selection and the NFC boards' own erase, download and
// verify, each ending with byte-exact images in the simulator.
#include "firmware/BootBlocks.h"
#include "support_boot.h"

namespace kyd::firmware::test {
namespace {

constexpr std::uint32_t kBase = 0x100;
constexpr std::size_t kSize = 600;

// The erased flash with the pattern of MakeHexFile at kBase.
void ExpectFlashed(const std::vector<std::uint8_t>& image, unsigned seed = 1)
{
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < image.size(); ++i) {
        const bool data = i >= kBase && i < kBase + kSize;
        wrong += image[i] != (data ? PatternByte(i - kBase, seed) : 0xFF);
    }
    EXPECT_EQ(wrong, 0u);
}

sim::BootConfig WithFlash(std::uint16_t id)
{
    sim::BootConfig c;
    c.flashId = id;
    c.flashSize = 0x10000;
    c.nodeFlashSize = 0x4000;
    return c;
}

class FlashOps : public ::testing::TestWithParam<std::uint16_t>, protected BootStack {
protected:
    FlashOps() : BootStack(WithFlash(GetParam())) {}
};

TEST_P(FlashOps, CmcIsErasedProgrammedAndVerifiedWithItsRowsRoutines)
{
    const std::vector<std::string> lines = MakeHexFile(kBase, kSize, 16);
    ASSERT_EQ(Connect(), 0);
    EXPECT_EQ(loader->CMC_CPU_ID_String(), "");
    progress.position = 0;
    ASSERT_EQ(loader->EraseFlash(), 0) << loader->lastErrorMessage();
    EXPECT_EQ(progress.position, 1000);
    EXPECT_EQ(loader->OperationMode(), omIdle);
    ASSERT_EQ(loader->ProgramFlash(lines), 0) << loader->lastErrorMessage();
    ASSERT_EQ(loader->VerifyFlash(lines), 0) << loader->lastErrorMessage();
    EXPECT_EQ(progress.position, 1000 + 2 * static_cast<int>(lines.size()));
    ExpectFlashed(Image(0));
    // Identified once: the later operations reuse the id.
    EXPECT_EQ(Count("routine 1"), 1);

    const bool can = (GetParam() & 0xFF00) == 0xCA00;
    EXPECT_EQ(loader->CMC_CPU_ID_String(), can ? "CAN Module" : GetParam() == 0x2258 ? "Am29F800B" : "Am29F400B");
    for (int r : {4, 5, 6})
        EXPECT_EQ(Count("routine " + std::to_string(r)), can ? 0 : 1) << r;
    for (int r : {7, 8, 9})
        EXPECT_EQ(Count("routine " + std::to_string(r)), can ? 1 : 0) << r;
}

INSTANTIATE_TEST_SUITE_P(Chips, FlashOps, ::testing::Values(0x22AB, 0x2258, 0xCA12));

TEST(FlashTable, RowsMatchUnderTheirMasks)
{
    EXPECT_EQ(FindFlashRow(0x22AB), 0);
    EXPECT_EQ(FindFlashRow(0x0058), 4);
    EXPECT_EQ(FindFlashRow(0xCA00), 5);
    EXPECT_EQ(FindFlashRow(0xCAFF), 5);
    EXPECT_EQ(FindFlashRow(0x1234), kUnknownFlashRow);
    EXPECT_STREQ(FlashRow(FindFlashRow(0xABAB)).Name, "MBM29F400BC");
}

TEST_F(BootFixture, UnknownFlashIsADeviceErrorAndNothingIsErased)
{
    sim.withCore([](sim::BootCore& c) { c.config().flashId = 0x1234; });
    ASSERT_EQ(Connect(), 0);
    EXPECT_EQ(loader->EraseFlash(), -1);
    EXPECT_EQ(loader->LastError(), leDeviceError);
    EXPECT_EQ(loader->lastErrorMessage(), "Device Error");
    EXPECT_EQ(sim.withCore([](sim::BootCore& c) { return c.erases(); }), 0);
    EXPECT_EQ(loader->ProgramFlash(MakeHexFile(kBase, 64, 16)), -1);
    EXPECT_EQ(loader->lastErrorMessage(), "Device Error");

    // An id of 0 is no id: nothing is stored, and nothing acts on it.
    sim.withCore([](sim::BootCore& c) { c.config().flashId = 0; });
    loader->ResetState();
    EXPECT_EQ(loader->IdentifyFlash(), 0);
    EXPECT_EQ(loader->FlashId(), 0);
    EXPECT_EQ(loader->EraseFlash(), -1);
    EXPECT_EQ(loader->lastErrorMessage(), "Device Error");
}

TEST_F(BootFixture, EraseIsJudgedByItsReplyByte)
{
    ASSERT_EQ(Connect(), 0);
    Faults([](sim::BootFaults& f) {
        f.eraseError = 0xF4;
        f.eraseErrors = 1;
    });
    EXPECT_EQ(loader->EraseFlash(), -1);
    EXPECT_EQ(loader->lastErrorMessage(), "Vpp was not on during erasing!");
    // No reply at all: "Erasing not successfully!".
    Faults([](sim::BootFaults& f) { f.silent = 1; });
    AdvanceOn("routine 4", 20000);
    EXPECT_EQ(loader->EraseFlash(), -1);
    EXPECT_EQ(loader->lastErrorMessage(), "Erasing not successfully!");
    // A bad file is refused before anything is sent.
    std::vector<std::string> bad = MakeHexFile(kBase, 64, 16);
    bad[1][10] = bad[1][10] == '0' ? '1' : '0';
    sim.withCore([](sim::BootCore& c) { c.clearEvents(); });
    EXPECT_EQ(loader->ProgramFlash(bad), -1);
    EXPECT_EQ(loader->lastErrorMessage(), "Hex File Error");
    EXPECT_EQ(Count("routine 5"), 0);
}

TEST_F(BootFixture, NodeListPresenceAndJumperMode)
{
    sim.withCore([](sim::BootCore& c) { c.config().nodeMask = 0x05; });
    ASSERT_EQ(Connect(), 0);
    EXPECT_EQ(loader->CheckNodePresence(), 0);
    EXPECT_EQ(loader->GetAvailableNodes(), 0x05);
    EXPECT_EQ(loader->nrOfNodes(), 2);
    // Eight boards: a mask of FF is data, not line noise.
    sim.withCore([](sim::BootCore& c) { c.config().nodeMask = 0xFF; });
    EXPECT_EQ(loader->available_nodes(), 0xFF);

    // No board answers: the presence check fails.
    sim.withCore([](sim::BootCore& c) { c.config().nodeMask = 0; });
    EXPECT_EQ(loader->CheckNodePresence(), -1);

    // Jumper mode: no node list traffic, the presence check is routine 10.
    loader->SetJumperSelected(true);
    sim.withCore([](sim::BootCore& c) {
        c.config().jumperNode = true;
        c.clearEvents();
    });
    EXPECT_EQ(loader->GetAvailableNodes(), 0);
    EXPECT_EQ(Count("routine 3"), 0);
    EXPECT_EQ(loader->CheckNodePresence(), 0);
    EXPECT_EQ(Count("routine 10"), 1);
}

TEST_F(BootFixture, NfcNodesAreFlashedOverTheBusByteExact)
{
    sim.withCore([](sim::BootCore& c) { c.config().nodeMask = 0x12; }); // NFC 2 and NFC 5
    ASSERT_EQ(Connect(), 0);
    const std::vector<std::string> two = MakeHexFile(kBase, kSize, 16, 2);
    const std::vector<std::string> five = MakeHexFile(kBase, kSize, 16, 5);
    progress.position = 0;
    for (auto [node, lines] : {std::pair{2, &two}, std::pair{5, &five}}) {
        const auto n = static_cast<std::uint8_t>(node);
        ASSERT_EQ(loader->EraseNode(n), 0) << loader->lastErrorMessage();
        ASSERT_EQ(loader->DownloadNode(n, *lines), 0) << loader->lastErrorMessage();
        ASSERT_EQ(loader->VerifyNode(n, *lines), 0) << loader->lastErrorMessage();
        EXPECT_EQ(loader->currentNode(), n);
    }
    EXPECT_EQ(progress.position, 2 * 50 + 4 * static_cast<int>(two.size()));
    ExpectFlashed(Image(2), 2);
    ExpectFlashed(Image(5), 5);
    // Each node was selected once: selecting the current node sends nothing.
    EXPECT_EQ(Count("routine 11"), 2);
    EXPECT_EQ(Image(1), std::vector<std::uint8_t>(0x40000, 0x00));

    // A board that fails its verify: "Command failed!", whatever the record said.
    sim.withCore([](sim::BootCore& c) { c.image(5)[kBase + 3] ^= 0x10; });
    EXPECT_EQ(loader->VerifyNode(5, five), -1);
    EXPECT_EQ(loader->LastError(), leCommandFailed);
    EXPECT_EQ(loader->lastErrorMessage(), "Command failed!");
}

TEST_F(BootFixture, NodeTheBusDoesNotAcceptIsNoCanNodes)
{
    sim.withCore([](sim::BootCore& c) { c.config().nodeMask = 0x01; });
    ASSERT_EQ(Connect(), 0);
    EXPECT_EQ(loader->DownloadNode(3, MakeHexFile(kBase, 64, 16)), -1);
    EXPECT_EQ(loader->LastError(), leNoCanNodes);
    EXPECT_EQ(loader->lastErrorMessage(), "No CAN nodes found");
    EXPECT_EQ(loader->currentNode(), 0);
    EXPECT_EQ(Count("routine 8"), 0);
    EXPECT_EQ(loader->EraseNode(3), -1);
    EXPECT_EQ(loader->lastErrorMessage(), "No CAN nodes found");
    // The board that is there still works.
    EXPECT_EQ(loader->EraseNode(1), 0);
    // Jumper node without a jumpered board.
    EXPECT_EQ(loader->EraseNode(kJumperNode), -1);
    EXPECT_EQ(loader->lastErrorMessage(), "No CAN nodes found");
    sim.withCore([](sim::BootCore& c) { c.config().jumperNode = true; });
    EXPECT_EQ(loader->EraseNode(kJumperNode), 0);
    EXPECT_EQ(Image(255), std::vector<std::uint8_t>(0x40000, 0xFF));
}

} // namespace
} // namespace kyd::firmware::test
