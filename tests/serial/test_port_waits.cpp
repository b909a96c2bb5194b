// Waiting for text and for packets on a pseudo-terminal: a wait that
// matches (also a text that overlaps itself, checked against a plain
// search), one that times out and one ended by the application quitting;
// the packets' dispatch-log entries; a packet bound to a port placed later.
#include "serial/SioExcept.h"
#include "support_pty_port.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <random>
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

// A text that overlaps itself: after a character that does not fit, the
// wait keeps the start of the text that the received bytes still end with.
TEST_F(PortWaits, WaitsFindTextsThatOverlapThemselves)
{
    port->SetOpen(true);
    std::string seen;
    port->SetOnWaitChar([&](TSioCustomComPort&, char c) { seen += c; });
    // (A wait that missed its text would end after its 20 s.)
    ASSERT_TRUE(pty.write("xxAAAByy"));
    EXPECT_TRUE(port->WaitForString("AAB", 360, true, false));
    EXPECT_EQ("xxAAAB", seen); // the wait ends at the text's last byte
    EXPECT_TRUE(loop.pumpUntil([&] { return port->InBuffUsed() == 2; }, 5000));

    seen.clear();
    ASSERT_TRUE(pty.write("ABAB"));
    loop.postCall([&] { pty.write("ACz"); }); // the rest comes while it waits
    EXPECT_TRUE(port->WaitForString("abac", 360, true, true));
    EXPECT_EQ("yyABABAC", seen);

    seen.clear();
    ASSERT_TRUE(pty.write("aabaabaaab#"));
    EXPECT_EQ(2, port->WaitForMultiString("aabaaab|baaa|aaab|#", 2184, true, false, '|'));
    EXPECT_EQ("zaabaabaaa", seen);
    port->SetOnWaitChar({});
}

// CheckForString against a plain search: the index it keeps finds the first
// occurrence of the text wherever it ends.
TEST(WaitMatching, CheckForStringFindsWhatAPlainSearchFinds)
{
    std::mt19937 random(4711);
    for (int round = 0; round < 5000; ++round) {
        const std::string alphabet = round % 3 == 0 ? "ab" : round % 3 == 1 ? "abc" : "aAbB";
        const bool ignoreCase = round % 3 == 2 && round % 2 == 0;
        const auto text = [&](std::size_t n) {
            std::string t;
            for (std::size_t i = 0; i < n; ++i)
                t += alphabet[random() % alphabet.size()];
            return t;
        };
        const std::string wanted = text(1 + random() % 6);
        const std::string stream = text(random() % 40);
        const auto fold = [&](std::string t) {
            if (ignoreCase)
                for (char& c : t)
                    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            return t;
        };
        const std::size_t at = fold(stream).find(fold(wanted));
        std::uint16_t index = 1;
        std::size_t end = std::string::npos;
        for (std::size_t i = 0; i < stream.size() && end == std::string::npos; ++i)
            if (TSioCustomComPort::CheckForString(index, stream[i], wanted, ignoreCase))
                end = i + 1;
        ASSERT_EQ(at == std::string::npos ? at : at + wanted.size(), end)
            << "text " << wanted << " in " << stream << (ignoreCase ? " ignoring case" : "");
    }
    std::uint16_t index = 1;
    EXPECT_FALSE(TSioCustomComPort::CheckForString(index, 'a', "", false)); // an empty text never comes
}

// The waits against a plain search, on the line: random texts over small
// alphabets, the bytes written in pieces of random sizes, some before the
// wait and the rest while it runs. Every stream ends with a '#' that a last
// text waits for, so a wait whose texts do not come ends without a time-out.
TEST_F(PortWaits, WaitsFindTheFirstOccurrenceAPlainSearchFinds)
{
    port->SetOpen(true);
    std::string seen;
    port->SetOnWaitChar([&](TSioCustomComPort&, char c) { seen += c; });
    std::mt19937 random(1234);
    for (int round = 0; round < 400; ++round) {
        const std::string alphabet = round % 2 ? "ab" : "abc";
        const auto text = [&](std::size_t n) {
            std::string t;
            for (std::size_t i = 0; i < n; ++i)
                t += alphabet[random() % alphabet.size()];
            return t;
        };
        std::vector<std::string> texts;
        const std::size_t count = 1 + random() % 3;
        for (std::size_t i = 0; i < count; ++i)
            texts.push_back(text(1 + random() % 5));
        const std::string stream = text(random() % 30) + "#";
        texts.push_back("#");
        std::string list;
        for (const std::string& t : texts)
            list += (list.empty() ? "" : "|") + t;
        // The plain search: the text whose first occurrence ends first.
        std::size_t best = 0, bestEnd = std::string::npos;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            const std::size_t at = stream.find(texts[i]);
            if (at != std::string::npos && at + texts[i].size() < bestEnd) {
                best = i;
                bestEnd = at + texts[i].size();
            }
        }
        std::size_t from = random() % (stream.size() + 1);
        ASSERT_TRUE(from == 0 || pty.write(stream.substr(0, from)));
        while (from < stream.size()) {
            const std::size_t n = 1 + random() % 7;
            loop.postCall([this, piece = stream.substr(from, n)] { pty.write(piece); });
            from += n;
        }
        seen.clear();
        ASSERT_EQ(static_cast<int>(best) + 1, port->WaitForMultiString(list, 2184, true, false, '|'))
            << list << " in " << stream;
        ASSERT_EQ(stream.substr(0, bestEnd), seen) << list << " in " << stream;
        if (best + 1 != texts.size()) {
            ASSERT_TRUE(port->WaitForString("#", 2184, true, false)); // the rest of this stream
        }
        loop.processPending();
    }
    port->SetOnWaitChar({});
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
