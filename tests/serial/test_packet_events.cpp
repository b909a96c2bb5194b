// The two packets the tester uses (the link's reply packet and the loader's
// one-byte packet), time-outs, port open and close, and what handlers may do
// while their event is delivered.
#include "platform/clock.h"
#include "platform/exception_sink.h"
#include "serial/SioExcept.h"
#include "serial/SioPacket.h"
#include "support_packet.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

using namespace sio;
using packet_test::FakeHost;
using packet_test::Feed;
using packet_test::Recorder;

namespace {

using Log = std::vector<std::string>;

// The link's reply packet: any data up to a carriage return, which is not
// delivered; armed per command; time-out in ticks.
void MakeReplyPacket(TSioDataPacket& p, std::int32_t ticks = 5 * 18 + 9)
{
    p.SetStartCond(scAnyData);
    p.SetEndCond(ecString);
    p.SetEndString("\r");
    p.SetIncludeStrings(false);
    p.SetAutoEnable(false);
    p.SetTimeOut(ticks);
}

// The firmware loader's packet: every byte is a packet.
void MakeBytePacket(TSioDataPacket& p)
{
    p.SetStartCond(scAnyData);
    p.SetEndCond(ecPacketSize);
    p.SetPacketSize(1);
    p.SetAutoEnable(true);
}

struct ReplyFixture : ::testing::Test {
    FakeHost host;
    TSioDataPacketManager manager{host};
    TSioDataPacket reply;
    Recorder rec;

    void SetUp() override
    {
        manager.Insert(reply);
        MakeReplyPacket(reply);
        rec.Attach(reply);
    }
};

TEST_F(ReplyFixture, ReplyInThreeReadsIsOneStringPacketOnTheMainThread)
{
    reply.SetEnabled(true);
    ASSERT_TRUE(host.TimerActive(manager));
    EXPECT_EQ(host.ManagerTimer(manager)->ticks, 99);
    Feed(manager, "0");
    Feed(manager, "3");
    EXPECT_TRUE(rec.log.empty());
    Feed(manager, "0\r");
    EXPECT_EQ(rec.log, (Log{"S:030"}));
    EXPECT_EQ(host.syncFlags, (std::vector<bool>{true})); // delivered through synchronisation
    EXPECT_FALSE(reply.GetEnabled());
    EXPECT_TRUE(reply.GetPacketReceived());
    EXPECT_FALSE(host.TimerActive(manager)); // the time-out stops with the packet
}

// Enabled while the manager is still delivering an event (the main thread
// sends the next command before the reader thread has finished the last
// one): the packet is armed when the event ends, but its time-out counts
// from the enable.
TEST_F(ReplyFixture, AnEnableHeldUpByAnEventCountsItsTimeOutFromTheEnable)
{
    kyd::platform::ScopedFakeClock clock;
    Ticks enabledAt = -1;
    rec.then = [&](TSioDataPacket& p, const std::string&) {
        enabledAt = NowTicks();
        p.SetEnabled(true);
        clock->advance(20 * 55);
    };
    reply.SetEnabled(true);
    EXPECT_EQ(host.ManagerTimer(manager)->since, -1); // an enable in the open counts from now
    Feed(manager, "030\r");
    EXPECT_EQ(rec.log, (Log{"S:030"}));
    ASSERT_TRUE(host.TimerActive(manager));
    EXPECT_EQ(host.ManagerTimer(manager)->since, enabledAt);
    EXPECT_EQ(host.ManagerTimer(manager)->ticks, 99);
}

TEST_F(ReplyFixture, TimeOutWithNoDataRaisesOneEventAndLeavesThePacketDisabled)
{
    std::vector<std::pair<std::int32_t, bool>> seen;
    reply.SetOnTimeout([&](TSioDataPacket& p) {
        std::vector<std::uint8_t> data;
        std::int32_t size = -1;
        p.GetCollectedData(data, size);
        seen.emplace_back(size, data.empty());
    });
    reply.SetEnabled(true);
    ASSERT_TRUE(host.FireTimer(manager));
    EXPECT_FALSE(host.FireTimer(manager)); // nothing armed any more
    manager.OnTimer(manager.TimerHandle()); // a stale expiry does nothing either
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].first, 0);
    EXPECT_TRUE(seen[0].second);
    EXPECT_FALSE(reply.GetEnabled());
    EXPECT_EQ(reply.GetMode(), dpIdle);
    EXPECT_TRUE(reply.GetTimedOutFlag());
    EXPECT_EQ(reply.GetDataSize(), 0);
    Feed(manager, "late\r");
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(manager.DataCount(), 0);
}

TEST_F(ReplyFixture, TimeOutWithPartialDataReportsAndFlushesIt)
{
    reply.SetEnabled(true);
    Feed(manager, "03");
    ASSERT_TRUE(host.FireTimer(manager));
    EXPECT_EQ(rec.log, (Log{"T:2:03"}));
    EXPECT_EQ(manager.DataCount(), 0);
    reply.SetEnabled(true);
    Feed(manager, "1\r");
    EXPECT_EQ(rec.log, (Log{"T:2:03", "S:1"}));
}

TEST_F(ReplyFixture, TimeOutWithoutFlushKeepsTheBytesUntilTheBufferIsDropped)
{
    reply.SetFlushOnTimeout(false);
    reply.SetEnabled(true);
    Feed(manager, "03");
    ASSERT_TRUE(host.FireTimer(manager));
    EXPECT_EQ(rec.log, (Log{"T:2:03"}));
    EXPECT_EQ(manager.DataCount(), 2);
    // The kept bytes are not scanned again; the next packet removes them
    // together with itself.
    reply.SetEnabled(true);
    Feed(manager, "1\r");
    EXPECT_EQ(rec.log, (Log{"T:2:03", "S:1"}));
    EXPECT_EQ(manager.DataCount(), 0);
}

TEST(PacketEvents, TimeOutOfAFramedPacketReportsTheDataWithoutTheStartString)
{
    FakeHost host;
    TSioDataPacketManager manager(host);
    TSioDataPacket p;
    Recorder rec;
    manager.Insert(p);
    rec.Attach(p);
    p.SetStartString("<<");
    p.SetEndCond(ecString);
    p.SetEndString(">");
    p.SetIncludeStrings(false);
    p.SetTimeOut(18);
    p.SetEnabled(true);
    EXPECT_FALSE(host.TimerActive(manager)); // runs only once the start is seen
    Feed(manager, "x<<ab");
    ASSERT_TRUE(host.TimerActive(manager));
    ASSERT_TRUE(host.FireTimer(manager));
    EXPECT_EQ(rec.log, (Log{"T:2:ab"}));
    EXPECT_FALSE(p.GetEnabled()); // also with AutoEnable on
}

TEST_F(ReplyFixture, TimerIsArmedOnlyWithANonZeroTimeOut)
{
    reply.SetTimeOut(0);
    reply.SetEnabled(true);
    EXPECT_FALSE(host.TimerActive(manager));
}

TEST_F(ReplyFixture, ClosingAndReopeningThePortRearmsEnabledPackets)
{
    reply.SetEnabled(true);
    Feed(manager, "0");
    manager.PortClosed();
    host.open = false;
    EXPECT_TRUE(reply.GetEnabled());
    EXPECT_EQ(reply.GetMode(), dpIdle);
    EXPECT_FALSE(host.registered);
    EXPECT_EQ(manager.DataCount(), 0);
    Feed(manager, "1\r"); // nothing is routed while closed
    EXPECT_TRUE(rec.log.empty());

    host.open = true;
    manager.PortOpened();
    EXPECT_TRUE(host.registered);
    EXPECT_EQ(reply.GetMode(), dpCollecting);
    EXPECT_TRUE(host.TimerActive(manager));
    Feed(manager, "42\r");
    EXPECT_EQ(rec.log, (Log{"S:42"}));
}

// Switching the manager off drops the buffer; a partial end match into the
// dropped bytes once made the next byte complete the packet, reading before
// the buffer.
TEST_F(ReplyFixture, SwitchingTheManagerOffAndOnRearmsPacketsAfresh)
{
    reply.SetEndString("XY");
    reply.SetEnabled(true);
    Feed(manager, "aX");
    manager.SetEnabled(false);
    EXPECT_TRUE(reply.GetEnabled());
    EXPECT_EQ(reply.GetMode(), dpIdle);
    EXPECT_FALSE(host.registered);

    manager.SetEnabled(true);
    EXPECT_EQ(reply.GetMode(), dpCollecting);
    EXPECT_TRUE(host.TimerActive(manager));
    Feed(manager, "Yb XY");
    EXPECT_EQ(rec.log, (Log{"S:Yb "}));
}

TEST_F(ReplyFixture, PacketEnabledWhilePortClosedIsArmedWhenItOpens)
{
    manager.PortClosed();
    reply.SetEnabled(true);
    EXPECT_EQ(reply.GetMode(), dpIdle);
    manager.PortOpened();
    EXPECT_EQ(reply.GetMode(), dpCollecting);
    Feed(manager, "7\r");
    EXPECT_EQ(rec.log, (Log{"S:7"}));
}

TEST_F(ReplyFixture, HandlerExceptionGoesToTheSinkAndTheNextPacketIsRecognised)
{
    kyd::platform::ExceptionRecorder sink;
    reply.SetAutoEnable(true);
    int calls = 0;
    reply.SetOnPacket([&](TSioDataPacket&, const std::uint8_t*, std::int32_t) {
        if (++calls == 1)
            throw std::runtime_error("handler failed");
    });
    reply.SetEnabled(true);
    Feed(manager, "a\rb\r");
    // The first OnPacket threw, so its OnStringPacket was skipped.
    EXPECT_EQ(rec.log, (Log{"S:b"}));
    ASSERT_EQ(sink.messages().size(), 1u);
    EXPECT_NE(sink.messages()[0].find("handler failed"), std::string::npos);
}

TEST_F(ReplyFixture, HandlerMayArmThePacketAgainDuringItsEvent)
{
    int n = 0;
    rec.then = [&](TSioDataPacket& p, const std::string&) {
        if (++n < 3)
            p.SetEnabled(true);
    };
    reply.SetEnabled(true);
    Feed(manager, "a\rb\rc\rd\r");
    EXPECT_EQ(rec.log, (Log{"S:a", "S:b", "S:c"}));
}

TEST_F(ReplyFixture, BytesArrivingDuringAnEventAreScannedAfterIt)
{
    // The handler feeds more data while its event runs (as a dispatcher
    // would if it delivered data during the event): it is scanned when the
    // event ends, from its first byte, after the packet's bytes are gone.
    reply.SetAutoEnable(true);
    bool fed = false;
    rec.then = [&](TSioDataPacket&, const std::string&) {
        if (!fed) {
            fed = true;
            Feed(manager, "y\rz");
        }
    };
    reply.SetEnabled(true);
    Feed(manager, "x\rw");
    Feed(manager, "\r");
    EXPECT_EQ(rec.log, (Log{"S:x", "S:wy", "S:z"}));
}

TEST_F(ReplyFixture, PortClosedInsideTheHandlerDefersTheBufferRelease)
{
    reply.SetAutoEnable(true);
    rec.then = [&](TSioDataPacket&, const std::string& s) {
        if (s == "a") {
            manager.PortClosed();
            host.open = false;
        }
    };
    reply.SetEnabled(true);
    Feed(manager, "a\rb\rc\r");
    EXPECT_EQ(rec.log, (Log{"S:a"}));
    EXPECT_EQ(manager.DataCount(), 0);
    EXPECT_EQ(manager.BufferSize(), 0);
    EXPECT_TRUE(reply.GetEnabled()); // auto-enabled, armed again at the next open

    host.open = true;
    manager.PortOpened();
    Feed(manager, "d\r");
    EXPECT_EQ(rec.log, (Log{"S:a", "S:d"}));
}

TEST(PacketEvents, PacketFreedByItsOwnHandlerIsNotTouchedAfterwards)
{
    FakeHost host;
    TSioDataPacketManager manager(host);
    auto p = std::make_unique<TSioDataPacket>();
    manager.Insert(*p);
    MakeReplyPacket(*p);
    p->SetAutoEnable(true);
    int strings = 0;
    p->SetOnPacket([&](TSioDataPacket&, const std::uint8_t* data, std::int32_t size) {
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), size), "gone");
        p.reset();
    });
    p->SetOnStringPacket([&](TSioDataPacket&, const std::string&) { ++strings; });
    p->SetEnabled(true);
    Feed(manager, "gone\rmore\r");
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(strings, 0);
    EXPECT_EQ(manager.PacketCount(), 0u);
    EXPECT_EQ(manager.DataCount(), 0);
}

TEST(PacketEvents, SyncEventsOffRunsTheEventDirectly)
{
    FakeHost host;
    TSioDataPacketManager manager(host);
    TSioDataPacket p;
    manager.Insert(p);
    MakeBytePacket(p);
    p.SetSyncEvents(false);
    p.SetOnPacket([](TSioDataPacket&, const std::uint8_t*, std::int32_t) {});
    p.SetEnabled(true);
    Feed(manager, "a");
    EXPECT_EQ(host.syncFlags, (std::vector<bool>{false}));
}

TEST(PacketEvents, SecondAnyDataPacketWaitsForTheCaptureToEnd)
{
    FakeHost host;
    TSioDataPacketManager manager(host);
    TSioDataPacket first, second;
    manager.Insert(first);
    manager.Insert(second);
    MakeReplyPacket(first);
    MakeBytePacket(second);
    second.SetAutoEnable(false);
    Recorder r1, r2;
    r1.Attach(first);
    r2.Attach(second);
    first.SetEnabled(true);
    second.SetEnabled(true);
    EXPECT_EQ(first.GetMode(), dpCollecting);
    EXPECT_EQ(second.GetMode(), dpIdle); // waits while the first holds the capture
    Feed(manager, "ab\rc");
    // The first completes; the second, re-armed after the event, takes the
    // next byte.
    EXPECT_EQ(r1.log, (Log{"S:ab"}));
    EXPECT_EQ(r2.log, (Log{"S:c"}));
}

TEST(PacketEvents, CaptureCancelsPartialMatchesOfOtherPackets)
{
    FakeHost host;
    TSioDataPacketManager manager(host);
    TSioDataPacket framed, other;
    manager.Insert(other);
    manager.Insert(framed);
    other.SetStartString("<ZZ");
    framed.SetStartString("<");
    framed.SetEndCond(ecString);
    framed.SetEndString(">");
    Recorder r1, r2;
    r1.Attach(framed);
    r2.Attach(other);
    other.SetEnabled(true);
    framed.SetEnabled(true);
    Feed(manager, "<ZZ>");
    // Both saw '<'; the framed packet took the capture, which threw away the
    // other's partial match.
    EXPECT_EQ(r1.log, (Log{"S:<ZZ>"}));
    EXPECT_TRUE(r2.log.empty());
    framed.SetEnabled(false);
    Feed(manager, "<ZZ");
    EXPECT_EQ(r2.log, (Log{"S:<ZZ"}));
}

TEST(PacketEvents, ManagerOfAnOpenPortStartsEnabledAndRegistersOnce)
{
    FakeHost host;
    {
        TSioDataPacketManager manager(host);
        EXPECT_TRUE(manager.GetEnabled());
        EXPECT_TRUE(host.registered);
        EXPECT_EQ(host.timers.size(), 1u);
        manager.PortOpened(); // already enabled
        EXPECT_EQ(host.registrations, 1);
    }
    EXPECT_FALSE(host.registered);
    EXPECT_TRUE(host.timers.empty());

    host.open = false;
    TSioDataPacketManager closed(host);
    EXPECT_FALSE(closed.GetEnabled());
    EXPECT_FALSE(host.registered);
}

TEST(PacketEvents, PacketOutlivingItsManagerIsUnbound)
{
    FakeHost host;
    TSioDataPacket p;
    {
        TSioDataPacketManager manager(host);
        manager.Insert(p);
        MakeReplyPacket(p);
        p.SetEnabled(true);
    }
    EXPECT_EQ(p.Manager(), nullptr);
    EXPECT_EQ(p.GetMode(), dpIdle);
    EXPECT_TRUE(p.GetEnabled());
    p.SetEnabled(false); // still usable
}

TEST(PacketEvents, InsertMovesAPacketBetweenManagers)
{
    FakeHost h1, h2;
    TSioDataPacketManager m1(h1), m2(h2);
    TSioDataPacket p;
    m1.Insert(p);
    m2.Insert(p);
    EXPECT_EQ(m1.PacketCount(), 0u);
    EXPECT_EQ(m2.PacketCount(), 1u);
    EXPECT_EQ(p.Manager(), &m2);
}

} // namespace
