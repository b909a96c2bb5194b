// Matching of start and end conditions, and the validation of packet
// properties, on the packet manager fed by hand.
#include "serial/SioExcept.h"
#include "serial/SioPacket.h"
#include "support_packet.h"

#include <gtest/gtest.h>

using namespace sio;
using packet_test::FakeHost;
using packet_test::Feed;
using packet_test::Recorder;

namespace {

using Log = std::vector<std::string>;

struct PacketFixture : ::testing::Test {
    FakeHost host;
    TSioDataPacketManager manager{host};
    TSioDataPacket packet;
    Recorder rec;

    void SetUp() override
    {
        manager.Insert(packet);
        rec.Attach(packet);
    }

    void StartOnly(const std::string& start, bool ignoreCase = true)
    {
        packet.SetStartCond(scString);
        packet.SetStartString(start);
        packet.SetIgnoreCase(ignoreCase);
        packet.SetEnabled(true);
    }
};

TEST_F(PacketFixture, WildcardMatchesAnyByteAndEscapedQuestionMarkOnlyItself)
{
    StartOnly("A?C");
    Feed(manager, "xxAbCyyA?C");
    EXPECT_EQ(rec.log, (Log{"S:AbC", "S:A?C"}));

    rec.log.clear();
    packet.SetEnabled(false);
    StartOnly("A\\?C");
    Feed(manager, "AbC");
    EXPECT_TRUE(rec.log.empty());
    Feed(manager, "zA?C");
    EXPECT_EQ(rec.log, (Log{"S:A?C"}));
}

// The bytes a packet holds while it collects, read without taking them.
TEST_F(PacketFixture, CollectingStringHoldsTheBytesSoFarOnlyWhileCollecting)
{
    std::string s = "stale";
    packet.GetCollectingString(s);
    EXPECT_EQ(s, ""); // not armed
    packet.SetEndCond(ecString);
    packet.SetEndString("\r");
    StartOnly("?");
    packet.GetCollectingString(s);
    EXPECT_EQ(s, ""); // waiting for its start
    Feed(manager, "ab");
    packet.GetCollectingString(s);
    EXPECT_EQ(s, "ab");
    packet.GetCollectingString(s);
    EXPECT_EQ(s, "ab"); // nothing was taken
    Feed(manager, "c\rd");
    EXPECT_EQ(rec.log, (Log{"S:abc\r"}));
    packet.GetCollectingString(s);
    EXPECT_EQ(s, "d"); // armed again by itself, on the byte after the packet
    packet.SetEnabled(false);
    packet.GetCollectingString(s);
    EXPECT_EQ(s, "");
}

TEST_F(PacketFixture, BackslashEscapesAnyCharacterAndTrailingOneIsDropped)
{
    StartOnly("\\\\x\\");
    Feed(manager, "x\\x");
    EXPECT_EQ(rec.log, (Log{"S:\\x"}));
}

TEST_F(PacketFixture, IgnoreCaseFoldsOnlyLettersAToZ)
{
    StartOnly("ok");
    Feed(manager, "OK");
    EXPECT_EQ(rec.log, (Log{"S:OK"}));

    // '[' is not the upper case of '{'.
    rec.log.clear();
    packet.SetEnabled(false);
    StartOnly("a[");
    Feed(manager, "A{a[");
    EXPECT_EQ(rec.log, (Log{"S:a["}));
}

TEST_F(PacketFixture, CaseSensitiveWhenIgnoreCaseIsOff)
{
    StartOnly("ok", false);
    Feed(manager, "OKoK");
    EXPECT_TRUE(rec.log.empty());
    Feed(manager, "ok");
    EXPECT_EQ(rec.log, (Log{"S:ok"}));
}

TEST_F(PacketFixture, StartStringResynchronisesAfterAMismatch)
{
    StartOnly("AB");
    Feed(manager, "AAB");
    EXPECT_EQ(rec.log, (Log{"S:AB"}));

    rec.log.clear();
    packet.SetEnabled(false);
    StartOnly("ABAC");
    Feed(manager, "ABABAC");
    EXPECT_EQ(rec.log, (Log{"S:ABAC"}));
}

TEST_F(PacketFixture, StartStringMatchesAcrossReads)
{
    StartOnly("HELLO");
    Feed(manager, "xxHE");
    Feed(manager, "L");
    EXPECT_TRUE(rec.log.empty());
    Feed(manager, "LOzz");
    EXPECT_EQ(rec.log, (Log{"S:HELLO"}));
}

TEST_F(PacketFixture, EndStringSplitAcrossReadsCompletesInTheSecondRead)
{
    packet.SetStartCond(scAnyData);
    packet.SetEndCond(ecString);
    packet.SetEndString("\r\n");
    packet.SetEnabled(true);
    Feed(manager, "abc\r");
    EXPECT_TRUE(rec.log.empty());
    Feed(manager, "\n");
    EXPECT_EQ(rec.log, (Log{"S:abc\r\n"}));
}

TEST_F(PacketFixture, EndStringResynchronisesOnOverlappingPrefix)
{
    packet.SetStartCond(scAnyData);
    packet.SetEndCond(ecString);
    packet.SetEndString("aab");
    packet.SetEnabled(true);
    Feed(manager, "xaa");
    Feed(manager, "ab");
    EXPECT_EQ(rec.log, (Log{"S:xaaab"}));
}

TEST_F(PacketFixture, AnyDataEndingAtCrWithoutStringsDeliversOnlyTheData)
{
    packet.SetStartCond(scAnyData);
    packet.SetEndCond(ecString);
    packet.SetEndString("\r");
    packet.SetIncludeStrings(false);
    packet.SetOnPacket([&](TSioDataPacket&, const std::uint8_t* data, std::int32_t size) {
        rec.log.push_back("P:" + std::string(reinterpret_cast<const char*>(data), size));
    });
    packet.SetEnabled(true);
    Feed(manager, std::string("\0ab\r", 4));
    EXPECT_EQ(rec.log, (Log{std::string("P:\0ab", 5), std::string("S:\0ab", 5)}));
    EXPECT_EQ(packet.GetDataSize(), 3);
}

TEST_F(PacketFixture, StartAndEndStringsAreStrippedWhenNotIncluded)
{
    packet.SetStartString("<?");
    packet.SetEndCond(ecString);
    packet.SetEndString(">");
    packet.SetIncludeStrings(false);
    packet.SetEnabled(true);
    Feed(manager, "junk<Xpayload>tail");
    EXPECT_EQ(rec.log, (Log{"S:payload"}));
    std::string s;
    packet.GetCollectedString(s);
    EXPECT_EQ(s, "payload");
}

TEST_F(PacketFixture, EndStringIsLookedForOnlyAfterTheStartString)
{
    // The '>' inside the start string does not end the packet.
    packet.SetStartString("<>");
    packet.SetEndCond(ecString);
    packet.SetEndString(">");
    packet.SetEnabled(true);
    Feed(manager, "<>ab>");
    EXPECT_EQ(rec.log, (Log{"S:<>ab>"}));
}

TEST_F(PacketFixture, PacketSizeCountsFromTheFirstByteOfTheStartString)
{
    packet.SetStartString("ST");
    packet.SetEndCond(ecPacketSize);
    packet.SetPacketSize(5);
    packet.SetEnabled(true);
    Feed(manager, "xxSTab");
    EXPECT_TRUE(rec.log.empty());
    Feed(manager, "cde");
    EXPECT_EQ(rec.log, (Log{"S:STabc"}));
}

TEST_F(PacketFixture, PacketSizeEqualToStartLengthCompletesAtTheStart)
{
    packet.SetStartString("ST");
    packet.SetEndCond(ecPacketSize);
    packet.SetPacketSize(2);
    packet.SetAutoEnable(false);
    packet.SetEnabled(true);
    Feed(manager, "aSTb");
    EXPECT_EQ(rec.log, (Log{"S:ST"}));
    EXPECT_FALSE(packet.GetEnabled());
}

TEST_F(PacketFixture, WithBothEndConditionsTheFirstMetCompletes)
{
    packet.SetStartCond(scAnyData);
    packet.SetEndCond(ecString | ecPacketSize);
    packet.SetEndString("\r");
    packet.SetPacketSize(4);
    packet.SetEnabled(true);
    Feed(manager, "ab\rabcdef\r");
    // "ab\r" by the end string, "abcd" by size, then "ef\r".
    EXPECT_EQ(rec.log, (Log{"S:ab\r", "S:abcd", "S:ef\r"}));
}

TEST_F(PacketFixture, SizeCompletionDoesNotExamineThatByteForTheEndString)
{
    packet.SetStartCond(scAnyData);
    packet.SetEndCond(ecString | ecPacketSize);
    packet.SetEndString("\r");
    packet.SetPacketSize(3);
    packet.SetEnabled(true);
    Feed(manager, "ab\r\r");
    EXPECT_EQ(rec.log, (Log{"S:ab\r", "S:\r"}));
}

TEST_F(PacketFixture, OneBytePacketWithoutAutoEnableDeliversOneByteEachEnable)
{
    packet.SetStartCond(scAnyData);
    packet.SetEndCond(ecPacketSize);
    packet.SetPacketSize(1);
    packet.SetAutoEnable(false);
    packet.SetEnabled(true);
    Feed(manager, "abc");
    EXPECT_EQ(rec.log, (Log{"S:a"}));
    Feed(manager, "d"); // arrives while disabled: dropped
    packet.SetEnabled(true);
    Feed(manager, "e");
    EXPECT_EQ(rec.log, (Log{"S:a", "S:e"}));
    EXPECT_EQ(manager.DataCount(), 0);
}

TEST_F(PacketFixture, BufferIsFreedWhenNoPacketHoldsAMatch)
{
    StartOnly("XYZ");
    Feed(manager, std::string(100, 'a'));
    EXPECT_EQ(manager.DataCount(), 0);
    EXPECT_EQ(manager.BufferSize(), 0);
    Feed(manager, "aaXY");
    EXPECT_EQ(manager.DataCount(), 2); // the partial match is kept, the bytes before it not
    Feed(manager, "Z");
    EXPECT_EQ(rec.log, (Log{"S:XYZ"}));
    EXPECT_EQ(manager.DataCount(), 0);
}

TEST_F(PacketFixture, NearMatchesDoNotGrowTheBuffer)
{
    StartOnly("AB");
    for (int i = 0; i < 1000; ++i)
        Feed(manager, "AAAA");
    EXPECT_EQ(manager.DataCount(), 1);
    EXPECT_LE(manager.BufferSize(), TSioDataPacketManager::kBufferStep);
    Feed(manager, "B");
    EXPECT_EQ(rec.log, (Log{"S:AB"}));
}

TEST_F(PacketFixture, BufferGrowsInSteps)
{
    packet.SetStartCond(scAnyData);
    packet.SetEndCond(ecString);
    packet.SetEndString("\r");
    packet.SetEnabled(true);
    std::string big(20000, 'q');
    Feed(manager, big);
    EXPECT_EQ(manager.DataCount(), 20000);
    EXPECT_EQ(manager.BufferSize() % TSioDataPacketManager::kBufferStep, 0);
    EXPECT_GT(manager.BufferSize(), 20000);
    Feed(manager, "\r");
    ASSERT_EQ(rec.log.size(), 1u);
    EXPECT_EQ(rec.log[0].size(), 2 + 20001u);
}

TEST_F(PacketFixture, PacketPassingItsLimitEndsAsTimedOutWithWhatFitted)
{
    packet.SetStartCond(scAnyData);
    packet.SetEndCond(ecString);
    packet.SetEndString("\r");
    EXPECT_EQ(packet.GetMaxSize(), 64 * 1024);
    packet.SetMaxSize(100);
    packet.SetEnabled(true);
    Feed(manager, std::string(99, 'a') + "\r"); // exactly the limit, end included
    Feed(manager, std::string(250, 'f') + "\r");
    ASSERT_EQ(rec.log.size(), 2u);
    EXPECT_EQ(rec.log[0], "S:" + std::string(99, 'a') + "\r");
    EXPECT_EQ(rec.log[1], "T:100:" + std::string(100, 'f'));
    EXPECT_TRUE(packet.GetTimedOutFlag());
    EXPECT_FALSE(packet.GetEnabled());
    EXPECT_EQ(manager.DataCount(), 0);

    // A packet size beyond the limit still completes by size.
    packet.SetEndCond(ecPacketSize);
    packet.SetPacketSize(300);
    packet.SetEnabled(true);
    Feed(manager, std::string(300, 's'));
    ASSERT_EQ(rec.log.size(), 3u);
    EXPECT_EQ(rec.log[2].size(), 2 + 300u);
}

// The manager switched off and on again keeps no partial match into the
// buffer it dropped.
TEST_F(PacketFixture, DisablingTheManagerDropsEveryPartialMatch)
{
    packet.SetStartCond(scAnyData);
    packet.SetEndCond(ecString);
    packet.SetEndString("XYZ");
    packet.SetEnabled(true);
    Feed(manager, "XY");
    manager.SetEnabled(false);
    EXPECT_EQ(manager.DataCount(), 0);
    manager.SetEnabled(true);
    EXPECT_TRUE(packet.GetEnabled());
    Feed(manager, "QXYZ");
    EXPECT_EQ(rec.log, (Log{"S:QXYZ"}));
}

// --- validation ---

struct ValidationCase {
    const char* name;
    TPacketStartCond start;
    TPacketEndSet end;
    const char* startString;
    const char* endString;
    std::int32_t size;
    int code;
    const char* text;
};

class PacketValidation : public ::testing::TestWithParam<ValidationCase> {};

TEST_P(PacketValidation, RefusesAndStaysDisabled)
{
    const ValidationCase& c = GetParam();
    FakeHost host;
    TSioDataPacketManager manager(host);
    TSioDataPacket p;
    manager.Insert(p);
    p.SetStartCond(c.start);
    p.SetStartString(c.startString);
    p.SetEndString(c.endString);
    p.SetPacketSize(c.size);
    p.SetEndCond(c.end);
    try {
        p.SetEnabled(true);
        FAIL() << "no exception";
    } catch (const EInvalidProperty& e) {
        EXPECT_EQ(e.ErrorCode, c.code);
        EXPECT_STREQ(e.what(), c.text);
    }
    EXPECT_FALSE(p.GetEnabled());
    EXPECT_EQ(p.GetMode(), dpIdle);
    EXPECT_FALSE(host.TimerActive(manager));
}

INSTANTIATE_TEST_SUITE_P(
    Codes, PacketValidation,
    ::testing::Values(
        ValidationCase{"EmptyStart", scString, 0, "", "", 0, -5501, "Start string is empty"},
        ValidationCase{"LoneBackslashStart", scString, 0, "\\", "", 0, -5501, "Start string is empty"},
        ValidationCase{"SizeBelowStart", scString, ecPacketSize, "ABC", "", 2, -5502,
                       "Packet size cannot be smaller than start string"},
        ValidationCase{"AnyDataNoEnd", scAnyData, 0, "", "", 0, -5503,
                       "CharCount packets must have an end-condition"},
        ValidationCase{"EmptyEnd", scAnyData, ecString, "", "", 0, -5504, "End string is empty"},
        ValidationCase{"LoneBackslashEnd", scString, ecString, "A", "\\", 0, -5504, "End string is empty"},
        ValidationCase{"ZeroSize", scAnyData, ecPacketSize, "", "", 0, -5505, "Packet size cannot be zero"},
        ValidationCase{"NegativeSize", scAnyData, ecPacketSize, "", "", -3, -5505,
                       "Packet size cannot be zero"}),
    [](const ::testing::TestParamInfo<ValidationCase>& i) { return std::string(i.param.name); });

TEST(PacketValidationMore, EscapedStartCountsAsOneByteAgainstPacketSize)
{
    FakeHost host;
    TSioDataPacketManager manager(host);
    TSioDataPacket p;
    manager.Insert(p);
    p.SetStartString("\\?");
    p.SetEndCond(ecPacketSize);
    p.SetPacketSize(1);
    EXPECT_NO_THROW(p.SetEnabled(true));
}

TEST(PacketValidationMore, ChangingTheEndStringOfARunningPacketRearmsWithIt)
{
    FakeHost host;
    TSioDataPacketManager manager(host);
    TSioDataPacket p;
    Recorder rec;
    manager.Insert(p);
    rec.Attach(p);
    p.SetStartCond(scAnyData);
    p.SetEndCond(ecString);
    p.SetEndString("!");
    p.SetEnabled(true);
    Feed(manager, "ab");
    p.SetEndString(";");
    EXPECT_TRUE(p.GetEnabled());
    Feed(manager, "cd!e;");
    // The partial packet was thrown away by the re-arm.
    EXPECT_EQ(rec.log, (Log{"S:cd!e;"}));

    // An invalid end string refuses and leaves the packet off.
    EXPECT_THROW(p.SetEndString(""), EInvalidProperty);
    EXPECT_FALSE(p.GetEnabled());
}

TEST(PacketValidationMore, InvalidPacketIsRefusedAlsoWhilePortIsClosed)
{
    FakeHost host;
    host.open = false;
    TSioDataPacketManager manager(host);
    TSioDataPacket p;
    manager.Insert(p);
    p.SetStartCond(scAnyData);
    EXPECT_THROW(p.SetEnabled(true), EInvalidProperty);
    EXPECT_FALSE(p.GetEnabled());
}

} // namespace

// Settings no packet could ever complete with are refused when they are
// made, and the packet keeps its previous value.
TEST_F(PacketFixture, SizesNoPacketCanReachAreRefusedWhenSet)
{
    const auto refused = [](const std::function<void()>& set) {
        try {
            set();
        } catch (const EInvalidProperty& e) {
            return e.ErrorCode == ecodes::ecPacketTooLong;
        }
        return false;
    };
    packet.SetPacketSize(10);
    EXPECT_TRUE(refused([&] { packet.SetPacketSize(TSioDataPacket::kMaxMaxSize + 1); }));
    EXPECT_EQ(10, packet.GetPacketSize());
    EXPECT_NO_THROW(packet.SetPacketSize(TSioDataPacket::kMaxMaxSize));

    packet.SetMaxSize(8);
    packet.SetEndString("END");
    EXPECT_TRUE(refused([&] { packet.SetEndString(std::string(9, 'x')); }));
    EXPECT_EQ("END", packet.GetEndString());
    EXPECT_NO_THROW(packet.SetEndString("\\?\\?\\?\\?\\?\\?\\?\\?")); // eight escaped bytes fit
    EXPECT_TRUE(refused([&] { packet.SetMaxSize(7); }));
    EXPECT_EQ(8, packet.GetMaxSize());
}
