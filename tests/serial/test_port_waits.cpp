// Waiting for text and for packets on a pseudo-terminal: a wait that
// matches, one that times out and one ended by the application quitting;
// the packets' dispatch-log entries; a packet bound to a port placed later.
#include "serial/SioExcept.h"
#include "support_pty_port.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace sio::test {
namespace {

namespace pf = kyd::platform;

using PortWaits = PtyPortTest;

// Any data, one byte per packet: takes every byte it sees.
std::unique_ptr<TSioDataPacket> bytePacket(TSioCustomComPort& port, std::vector<std::string>& got)
{
    auto p = std::make_unique<TSioDataPacket>();
    p->SetStartCond(scAnyData);
    p->SetEndCond(ecPacketSize);
    p->SetPacketSize(1);
    p->SetTimeOut(0);
    p->SetOnStringPacket([&got](TSioDataPacket&, const std::string& s) { got.push_back(s); });
    p->SetComPort(&port);
    return p;
}

TEST_F(PortWaits, WaitForStringMatchesAcrossReadsAndKeepsThePacketsOut)
{
    port->SetOpen(true);
    std::vector<std::string> taken;
    auto greedy = bytePacket(*port, taken);
    greedy->SetEnabled(true);
    std::string seen;
    port->SetOnWaitChar([&](TSioCustomComPort&, char c) { seen += c; });

    port->PrepareWait(); // bytes from now on are the wait's
    ASSERT_TRUE(pty.write("xxHEL"));
    loop.pumpUntil([] { return false; }, 50);
    EXPECT_TRUE(taken.empty());
    loop.postCall([&] { pty.write("Lo and more"); }); // arrives while the wait runs
    EXPECT_TRUE(port->WaitForString("hello", 2184, true, true));
    EXPECT_EQ("xxHELLo", seen);
    EXPECT_TRUE(taken.empty());

    // The wait is over: the packet takes what comes after the match.
    EXPECT_TRUE(loop.pumpUntil([&] { return taken.size() >= 9; }, 5000));
    std::string rest;
    for (const std::string& s : taken)
        rest += s;
    EXPECT_EQ(" and more", rest);
}

// A PrepareWait belongs to the port's open line: after a close and a new
// open the next wait holds the handlers of the new line itself.
TEST_F(PortWaits, WaitAfterAReopenStillKeepsThePacketsOut)
{
    port->SetOpen(true);
    port->PrepareWait();
    port->SetOpen(false);
    port->SetOpen(true);
    std::vector<std::string> taken;
    auto greedy = bytePacket(*port, taken);
    greedy->SetEnabled(true);
    loop.postCall([&] { pty.write("hello"); });
    EXPECT_TRUE(port->WaitForString("hello", 2184, true, false));
    EXPECT_TRUE(taken.empty());
}

// A line that goes away ends a wait at once: no text can come any more.
TEST_F(PortWaits, WaitEndsWhenTheLineGoes)
{
    port->SetOpen(true);
    loop.postCall([&] { pty.closeMaster(); });
    EXPECT_FALSE(port->WaitForString("never", 2184, true, false));
    EXPECT_TRUE(port->CurrentDispatcher()->LineLost());
    EXPECT_FALSE(port->WaitForString("never", 2184, false, false)); // already gone
}

TEST_F(PortWaits, WaitForMultiStringGivesTheNumberOfTheTextThatCameOrZero)
{
    port->SetOpen(true);
    ASSERT_TRUE(pty.write("..ghx..de"));
    loop.postCall([&] { pty.write("f"); });
    EXPECT_EQ(2, port->WaitForMultiString("abc|def|ghi", 2184, true, false, '|'));
    EXPECT_EQ(0, port->WaitForMultiString("abc|def|ghi", 2, true, false, '|')); // times out
    EXPECT_FALSE(port->WaitForString("never", 2, false, true));

    // Only the first 127 texts take part.
    std::string list;
    for (int i = 0; i < 130; ++i)
        list += "<" + std::to_string(i) + ">,";
    ASSERT_TRUE(pty.write("<128>"));
    EXPECT_EQ(0, port->WaitForMultiString(list, 3, true, false, ','));
    ASSERT_TRUE(pty.write("<126>"));
    EXPECT_EQ(127, port->WaitForMultiString(list, 2184, true, false, ','));
}

TEST_F(PortWaits, PacketWaitsMatchTimeOutAndStopWhenTheTextNeverComes)
{
    makeReplyPacket(2184);
    port->SetOpen(true);
    loop.postCall([&] { pty.write("pong\r"); });
    std::string s;
    EXPECT_TRUE(packet->WaitForString(s));
    EXPECT_EQ("pong", s);
    EXPECT_FALSE(packet->GetAutoEnable());

    packet->SetTimeOut(2);
    std::vector<std::uint8_t> data;
    std::int32_t size = -1;
    EXPECT_FALSE(packet->WaitForPacket(data, size));
    EXPECT_TRUE(packet->GetTimedOutFlag());

    // A packet whose port is closed is never armed: the wait ends at once.
    port->SetOpen(false);
    EXPECT_FALSE(packet->WaitForString(s));
}

TEST_F(PortWaits, WaitsEndWhenTheApplicationIsAskedToQuit)
{
    makeReplyPacket(2184);
    port->SetOpen(true);
    loop.postCall([&] { loop.requestQuit(); });
    std::string s;
    EXPECT_FALSE(packet->WaitForString(s));
    EXPECT_FALSE(port->WaitForString("never", 2184, true, true));
    EXPECT_TRUE(loop.quitRequested()); // still there for the main loop
}

TEST_F(PortWaits, PacketEntriesReachTheDispatchLogWithTheTablesTexts)
{
    makeReplyPacket(2184);
    port->SetOpen(true);
    port->SetLogging(tlOn);
    packet->SetEnabled(true);
    ASSERT_TRUE(pty.write("ok\r"));
    ASSERT_TRUE(pumpUntil([&] { return events.size() == 1; }));
    packet->SetTimeOut(2);
    packet->SetEnabled(true); // nothing comes: a time-out
    ASSERT_TRUE(pumpUntil([&] { return events.size() == 2; }));
    EXPECT_EQ((std::vector<std::string>{"S:ok", "T"}), events);

    char name[] = "/tmp/kyd_packet_log_XXXXXX";
    const int fd = ::mkstemp(name);
    ASSERT_GE(fd, 0);
    ::close(fd);
    port->DumpLog(name, true);
    std::ifstream in(name);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(name);
    const std::string log = text.str();
    EXPECT_NE(std::string::npos, log.find(MessageNumberToString(kMsgLogHeader)));
    EXPECT_NE(std::string::npos, log.find("Packet    Enable"));
    EXPECT_NE(std::string::npos, log.find("Packet    EndString     00000001  [0D]"));
    EXPECT_NE(std::string::npos, log.find("Packet    Collecting"));
    EXPECT_NE(std::string::npos, log.find("Packet    StringPacket  00000002  ok"));
    EXPECT_NE(std::string::npos, log.find("Packet    Timeout"));
    EXPECT_NE(std::string::npos, log.find("Packet    Idle"));
    EXPECT_EQ("Packet", MessageNumberToString(kMsgDispatchTypeBase + dtPacket));
    EXPECT_EQ("ReadCom", MessageNumberToString(kMsgDispatchSubTypeBase + dstReadCom));
}

TEST(PacketBinding, APortPlacedLaterOnTheOwnerBindsAPacketThatHasNone)
{
    TSioBaseComponent form;
    TSioDataPacket packet(&form);
    EXPECT_EQ(nullptr, packet.GetComPort());
    {
        TSioComPort first(&form);
        EXPECT_EQ(&first, packet.GetComPort());
        TSioComPort second(&form);
        EXPECT_EQ(&first, packet.GetComPort()); // already bound: kept
    }
    EXPECT_EQ(nullptr, packet.GetComPort()); // the port went away
    TSioComPort third(&form);
    EXPECT_EQ(&third, packet.GetComPort());
    packet.SetComPort(nullptr);
}

} // namespace
} // namespace sio::test
