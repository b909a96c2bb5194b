// The dispenser link on its own: framing, checksum check, opening, the
// handshake and the reply wait.
#include "serial/SioExcept.h"
#include "support_fixture.h"

namespace kyd::link::test {
namespace {

TEST(LinkChecksum, NibblesPlusZero)
{
    EXPECT_EQ(TCom::Checksum("3"), "33");
    EXPECT_EQ(TCom::Checksum("0"), "30");
    EXPECT_EQ(TCom::Checksum(""), "00");
    EXPECT_EQ(TCom::Checksum("Z6F"), "2:");
    EXPECT_EQ(TCom::Checksum(std::string(1, '\xFF')), "??");
}

TEST(LinkChecksum, ReplyCheck)
{
    EXPECT_TRUE(TCom::CheckReply("030"));
    EXPECT_FALSE(TCom::CheckReply("031"));
    EXPECT_TRUE(TCom::CheckReply("00"));
    EXPECT_FALSE(TCom::CheckReply("0"));
    EXPECT_FALSE(TCom::CheckReply(""));
    EXPECT_TRUE(TCom::CheckReply("001203A170"));
}

TEST(LinkTicks, SecondsTimesEighteenPlusNine)
{
    EXPECT_EQ(TCom::TimeoutTicks(5), 99);
    EXPECT_EQ(TCom::TimeoutTicks(20), 369);
    EXPECT_EQ(TCom::TimeoutTicks(180), 3249);
}

using Link = LinkFixture;

TEST_F(Link, SendFramesCommandAndArmsPacket)
{
    OpenPort();
    port->QueueReply("0");
    std::string c = "3";
    com->Send(c, 180);
    EXPECT_EQ(c, "333");
    EXPECT_EQ(LastFrame(), "333\r");
    EXPECT_EQ(port->packetTimeouts.back(), 3249);
    EXPECT_EQ(com->WaitReply(), "030");
    EXPECT_FALSE(com->ErrorFlag());
    EXPECT_FALSE(port->rts());
}

TEST_F(Link, OpenWithSameSettingsTouchesNothing)
{
    OpenPort();
    EXPECT_EQ(com->Open(1, 9600, TParity::pEven, 7, 1, false), 1);
    EXPECT_EQ(port->opens.size(), 1u);
    // A changed setting reopens.
    EXPECT_EQ(com->Open(1, 9600, TParity::pOdd, 7, 1, false), 1);
    EXPECT_EQ(port->opens.size(), 2u);
    EXPECT_EQ(com->Open(1, 9600, TParity::pOdd, 7, 1, true), 1);
    EXPECT_EQ(port->opens.size(), 3u);
    EXPECT_TRUE(com->Handshake());
    EXPECT_EQ(port->opens.back().Parity, TParity::pOdd);
    EXPECT_EQ(port->opens.back().DataBits, 7);
}

TEST_F(Link, OtherOpenFailureIsShownAndPortStaysClosed)
{
    port->openFault = [](const PortSettings&) { throw sio::EDefault(-2004); };
    EXPECT_EQ(com->Open(2, 9600, TParity::pEven, 7, 1, false), 2);
    EXPECT_FALSE(port->IsOpen());
    auto calls = dialogs.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].type, platform::DlgType::Error);
    EXPECT_EQ(calls[0].text.rfind("Error: ", 0), 0u);
    EXPECT_NE(calls[0].text.find("ie_Default"), std::string::npos) << calls[0].text;
}

// A port another program holds: said plainly, with the library's text.
TEST_F(Link, PortHeldByAnotherProgramIsNamedSo)
{
    port->openFault = [](const PortSettings&) { throw sio::EAlreadyOpen(sio::ecodes::ecAlreadyOpen); };
    EXPECT_EQ(com->Open(2, 9600, TParity::pEven, 7, 1, false), 2);
    EXPECT_FALSE(port->IsOpen());
    auto calls = dialogs.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].type, platform::DlgType::Error);
    EXPECT_EQ(calls[0].text.rfind("COM2", 0), 0u) << calls[0].text;
    EXPECT_NE(calls[0].text.find("is in use by another program"), std::string::npos) << calls[0].text;
    EXPECT_NE(calls[0].text.find("\nie_Open - device already open"), std::string::npos) << calls[0].text;
}

TEST_F(Link, HandshakeWaitsForCtsWithoutSpinningAndWakesOnLineChange)
{
    OpenPort(true);
    port->ctsRiseDelayMs = 200;
    port->onRtsRaised = [this] { loop.postCall([this] { clock.advance(200); }); };
    port->QueueReply("0");
    std::string c = "3";
    const auto before = clock.monotonicMs();
    com->Send(c, 5);
    EXPECT_FALSE(com->ErrorFlag());
    EXPECT_EQ(clock.monotonicMs() - before, 200);
    EXPECT_EQ(LastFrame(), "333\r");
    EXPECT_EQ(com->WaitReply(), "030");
    EXPECT_FALSE(port->rts());
}

TEST_F(Link, CtsNeverComingFailsAfterThreeSecondsWithRtsOff)
{
    OpenPort(true);
    port->ctsHeldLow = true;
    port->onRtsRaised = [this] { loop.postCall([this] { clock.advance(3000); }); };
    std::string c = "3";
    com->Send(c, 5);
    EXPECT_TRUE(com->ErrorFlag());
    EXPECT_FALSE(com->AbortFlag());
    EXPECT_FALSE(port->rts());
    EXPECT_TRUE(port->written.empty());
}

TEST_F(Link, AbortEndsCtsWait)
{
    OpenPort(true);
    port->ctsHeldLow = true;
    port->onRtsRaised = [this] { loop.postCall([this] { com->SetAbort(); }); };
    std::string c = "3";
    const auto before = clock.monotonicMs();
    com->Send(c, 5);
    EXPECT_EQ(clock.monotonicMs(), before);
    EXPECT_TRUE(com->ErrorFlag());
    EXPECT_TRUE(com->AbortFlag());
    EXPECT_TRUE(port->written.empty());
}

TEST_F(Link, AbortTogetherWithRisingCtsSendsNothing)
{
    OpenPort(true);
    port->ctsHeldLow = true;
    // CTS rises in the same turn of the wait as the operator aborts.
    port->onRtsRaised = [this] {
        loop.postCall([this] {
            com->SetAbort();
            port->ctsHeldLow = false;
        });
    };
    std::string c = "3";
    com->Send(c, 5);
    EXPECT_TRUE(com->ErrorFlag());
    EXPECT_TRUE(com->AbortFlag());
    EXPECT_TRUE(port->written.empty());
    EXPECT_FALSE(port->rts());
}

TEST_F(Link, NoRoomToSendFailsWithoutWriting)
{
    OpenPort();
    port->outBuffFree = 3; // "333" needs more than its own length
    std::string c = "3";
    com->Send(c, 5);
    EXPECT_TRUE(com->ErrorFlag());
    EXPECT_TRUE(port->written.empty());
    port->outBuffFree = 4;
    com->Send(c = "3", 5);
    EXPECT_FALSE(com->ErrorFlag());
    EXPECT_EQ(LastFrame(), "333\r");
}

} // namespace
} // namespace kyd::link::test
