// The dispenser commands: exact frames, parsing into the status model,
// refusal of arguments that cannot be framed.
#include "support_fixture.h"

namespace kyd::link::test {
namespace {

class CommandSet : public LinkFixture {
protected:
    void SetUp() override { OpenPort(); }
};

TEST_F(CommandSet, DispenseCountsAndDeliveredNotes)
{
    port->QueueReply("01x000");
    cmd->Dispense('1', '0', {5, 0, 12, 0, 0, 0, 0, 0});
    EXPECT_EQ(model.DispenseCount, 1);
    EXPECT_EQ(model.NotesThisDispense, 17);
    EXPECT_EQ(model.TotalNotes, 17);
    EXPECT_EQ(model.LastCassette, 3);
    EXPECT_EQ(model.NotesDelivered, 0);
    port->QueueReply("01x017");
    cmd->Dispense('1', '0', {0, 7, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(model.NotesDelivered, 17);
    EXPECT_EQ(model.TotalNotes, 24);
    EXPECT_EQ(model.LastCassette, 2);
    cmd->Dispense('1', '0', {0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(model.DispenseCount, 3);
    EXPECT_EQ(model.TotalNotes, 24);
    EXPECT_EQ(port->written.size(), 2u);
}

TEST_F(CommandSet, DispenseParserNeverThrows)
{
    for (const char* reply : {"01", "010", "01x4", "01x-12", "01x 12", "01x1a2", "01x12"}) {
        port->QueueReply(reply);
        ASSERT_NO_THROW(cmd->Dispense('1', '0', {1, 0, 0, 0, 0, 0, 0, 0})) << reply;
        EXPECT_EQ(model.NotesDelivered, -1) << reply;
        ExpectStatus(195, 48);
    }
    // A failed exchange leaves the count alone.
    model.NotesDelivered = 4;
    port->QueueRaw({"\r"});
    cmd->Dispense('1', '0', {1, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(model.NotesDelivered, 4);
}

TEST_F(CommandSet, OutOfRangeArgumentsAreRefusedBeforeSending)
{
    auto refused = [this](const char* what) {
        EXPECT_TRUE(port->written.empty()) << what;
        ExpectStatus(197, 0x3E);
        EXPECT_EQ(model.CodeText, "3E Request Format Error");
        EXPECT_EQ(cmd->Reply, "");
        EXPECT_FALSE(model.Succeeded());
        EXPECT_FALSE(cmd->Busy());
        ASSERT_FALSE(mainWindow.StatusTexts.empty());
        EXPECT_EQ(mainWindow.StatusTexts.back().second, "3E Request Format Error");
        model.Clear();
    };
    cmd->Dispense('1', '0', {1000, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(model.DispenseCount, 1); // counted before anything is decided
    refused("count 1000");
    cmd->Dispense('1', '0', {5, -1, 0, 0, 0, 0, 0, 0});
    refused("count -1");
    cmd->OpenCassette(9, 1);
    refused("open 9");
    cmd->OpenCassette(-1, 1);
    refused("open -1");
    cmd->OpenCassette(1, 10);
    refused("open mode 10");
    cmd->CloseCassette(9, false);
    refused("close 9");
    EXPECT_FALSE(cmd->SendSelfTestData(-2));
    refused("self-test -2");
    EXPECT_FALSE(cmd->ReadCassetteData(9, 27));
    refused("cassette 9");
    EXPECT_FALSE(cmd->ReadCassetteData(1, 100));
    refused("cassette item 100");
    cmd->WriteCassetteData(-1, 27, "x");
    refused("cassette -1");
    EXPECT_FALSE(cmd->ReadData(-5));
    refused("item -5");
    cmd->WriteData(-1, "x", 20);
    refused("item -1");
    // The limits themselves are accepted.
    cmd->OpenCassette(8, 1);
    cmd->OpenCassette(0, 0);
    cmd->SendSelfTestData(9);
    EXPECT_EQ(port->written.size(), 3u);
    // The self-test selector is sent in decimal, whatever its size.
    cmd->SendSelfTestData(10);
    cmd->SendSelfTestData(123);
    EXPECT_EQ(std::vector<std::string>(port->written.end() - 2, port->written.end()),
              (std::vector<std::string>{"G10" + TCom::Checksum("G10") + "\r", "G123" + TCom::Checksum("G123") + "\r"}));
}

TEST_F(CommandSet, CassetteIds)
{
    port->QueueReply("010AB12320CD456");
    ASSERT_TRUE(cmd->ReadCassetteIds());
    ASSERT_EQ(model.Feeders().size(), 2u);
    FeederData* f = model.FirstFeeder();
    EXPECT_EQ(f->Number, 1);
    EXPECT_EQ(f->Id, "AB123");
    EXPECT_EQ(f->Status, "30 Successful Command");
    f = model.NextFeeder();
    EXPECT_EQ(f->Number, 2);
    EXPECT_EQ(f->Id, "CD456");
    EXPECT_EQ(model.NextFeeder(), nullptr);

    // Nine characters: one record, the last character ignored.
    port->QueueReply("032XY789Z");
    ASSERT_TRUE(cmd->ReadCassetteIds());
    ASSERT_EQ(model.Feeders().size(), 1u);
    EXPECT_EQ(model.FindFeeder(3)->Id, "XY789");
    EXPECT_EQ(model.FindFeeder(3)->Status, "32 Empty Cassette");
}

TEST_F(CommandSet, CassetteIdStatusWithoutTextIsEmpty)
{
    port->QueueReply("01XAB1231YCD456");
    ASSERT_TRUE(cmd->ReadCassetteIds());
    ASSERT_EQ(model.Feeders().size(), 2u);
    EXPECT_EQ(model.Feeders()[0]->Status, "");
    EXPECT_EQ(model.Feeders()[1]->Status, "");
    // A byte the line does not carry (here above 0x7F) makes the reply
    // corrupt: nothing of it is parsed.
    port->QueueReply("01XAB1231\xC8" "CD456");
    EXPECT_FALSE(cmd->ReadCassetteIds());
    ExpectStatus(197, 202);
    EXPECT_EQ(model.Feeders().size(), 2u);
}

TEST_F(CommandSet, BrokenCassetteIdRecordDropsTheRest)
{
    port->QueueReply("010AAAAA20BBBBB30CCCCC");
    ASSERT_TRUE(cmd->ReadCassetteIds());
    ASSERT_EQ(model.Feeders().size(), 3u);
    port->QueueReply("014NEW01x0OLD0230ZZZZZ");
    ASSERT_TRUE(cmd->ReadCassetteIds());
    ASSERT_EQ(model.Feeders().size(), 1u);
    EXPECT_EQ(model.Feeders()[0]->Id, "NEW01");
    EXPECT_EQ(model.Feeders()[0]->Status, "34 Rejected Notes");
    EXPECT_FALSE(model.HasFeeder(2));
    EXPECT_FALSE(model.HasFeeder(3));
    // A broken first record leaves nothing.
    port->QueueReply("0?0AAAAA");
    ASSERT_TRUE(cmd->ReadCassetteIds());
    EXPECT_TRUE(model.Feeders().empty());
}

TEST_F(CommandSet, FailedReadKeepsNothingAndReturnsFalse)
{
    port->QueueRaw({"\r"});
    EXPECT_FALSE(cmd->ReadCassetteIds());
    port->QueueRaw({"\r"});
    EXPECT_FALSE(cmd->ReadProgramId());
    port->QueueRaw({"\r"});
    EXPECT_FALSE(cmd->ReadRejectTrace());
    port->QueueRaw({"\r"});
    EXPECT_FALSE(cmd->CheckStatus());
}

TEST_F(CommandSet, LastStatus)
{
    model.SetFeeders({});
    port->QueueReply("0100052200");
    // One short: the second record's count is "00": not three characters.
    ASSERT_TRUE(cmd->ReadLastStatus());
    ASSERT_EQ(model.Feeders().size(), 2u);
    EXPECT_EQ(model.Feeders()[1]->Count, 0);

    port->QueueReply("01000522000");
    ASSERT_TRUE(cmd->ReadLastStatus());
    ASSERT_EQ(model.Feeders().size(), 2u);
    EXPECT_EQ(model.Feeders()[0]->Number, 1);
    EXPECT_EQ(model.Feeders()[0]->Count, 5);
    EXPECT_EQ(model.Feeders()[0]->Status, "30 Successful Command");
    EXPECT_EQ(model.Feeders()[1]->Number, 2);
    EXPECT_EQ(model.Feeders()[1]->Count, 0);
    EXPECT_EQ(model.Feeders()[1]->Status, "32 Empty Cassette");
    ExpectStatus(196, 50);
}

TEST_F(CommandSet, LastStatusOddRecords)
{
    // Non-numeric count gives -1; a record without a digit ends the list;
    // an unknown status gets the fallback text.
    port->QueueReply("01Xab32" "0123" "x0001");
    ASSERT_TRUE(cmd->ReadLastStatus());
    ASSERT_EQ(model.Feeders().size(), 2u);
    EXPECT_EQ(model.Feeders()[0]->Count, -1);
    EXPECT_EQ(model.Feeders()[0]->Status, "Unknown Status  58");
    EXPECT_EQ(model.Feeders()[1]->Number, 2);
    EXPECT_EQ(model.Feeders()[1]->Count, 123);
    ExpectStatus(195, 48);
    // The list is cleared before sending: a failed read leaves it empty.
    port->QueueRaw({"\r"});
    EXPECT_FALSE(cmd->ReadLastStatus());
    EXPECT_TRUE(model.Feeders().empty());
}

TEST_F(CommandSet, ProgramIdShortAndLong)
{
    port->QueueReply("001203A1");
    ASSERT_TRUE(cmd->ReadProgramId());
    EXPECT_EQ(model.ProgramId, "12-03.A1");
    port->QueueReply("0020061203A1");
    ASSERT_TRUE(cmd->ReadProgramId());
    EXPECT_EQ(model.ProgramId, "2006-12.03");
    port->QueueReply("00120");
    ASSERT_TRUE(cmd->ReadProgramId());
    EXPECT_EQ(model.ProgramId, "12-0.");
    port->QueueReply("0");
    ASSERT_FALSE(cmd->ReadProgramId());
    EXPECT_EQ(model.ProgramId, "12-0.");
}

TEST_F(CommandSet, PayloadsOfDataCommands)
{
    model.ReadData = "old";
    port->QueueReply("0");
    EXPECT_FALSE(cmd->ReadData(5)); // nothing after the status
    port->QueueReply("01");
    EXPECT_FALSE(cmd->ReadData(5)); // exactly two characters
    EXPECT_EQ(model.ReadData, "old");
    port->QueueReply("0123");
    EXPECT_TRUE(cmd->ReadData(5));
    EXPECT_EQ(model.ReadData, "123");
    port->QueueReply("0EUR101");
    EXPECT_TRUE(cmd->ReadCassetteData(1, 27));
    EXPECT_EQ(model.ReadData, "EUR101");
    port->QueueReply("0TRACE");
    EXPECT_TRUE(cmd->ReadRejectTrace());
    EXPECT_EQ(model.Trace, "TRACE");
    port->QueueReply("0");
    EXPECT_FALSE(cmd->ReadRejectTrace());
    EXPECT_EQ(model.Trace, "TRACE");
    port->QueueReply("0S1");
    EXPECT_TRUE(cmd->SendSelfTestData(1));
    EXPECT_EQ(model.SelfTestData, "S1");
    // The 104 characters of the check: the reject vault, a fitted feeder,
    // the rest zeros.
    const std::string statusData = "0000012345" "10503ABCDE" + std::string(84, '0');
    port->QueueReply("0" + statusData);
    EXPECT_TRUE(cmd->CheckStatus());
    EXPECT_EQ(model.CheckStatusData, statusData);
}

} // namespace
} // namespace kyd::link::test
