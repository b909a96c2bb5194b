// The port component's lifetime on a pseudo-terminal: a port freed from
// inside its own handlers finishes its close once the handler has returned;
// a port assigned from another keeps its own users and packets.
#include "platform/clock.h"
#include "platform/plain_message_loop.h"
#include "platform/port_resolver.h"
#include "serial/SioPacket.h"
#include "serial/SioPacketList.h"
#include "serial/SioPort.h"
#include "support_pty.h"
#include "support_pty_port.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace sio::test {
namespace {

// A destructor that waits for the very handler it runs in cannot be pumped
// out of: the watchdog ends the process with a message instead of leaving
// the run hanging. It guards only the free itself, which never waits for
// more than the port's threads to end, so a loaded machine stays far
// below its limit.
class HangWatchdog {
public:
    explicit HangWatchdog(const char* what) : what_(what)
    {
        thread_ = std::thread([this] {
            std::unique_lock lock(mutex_);
            if (!cv_.wait_for(lock, std::chrono::seconds(30), [this] { return done_; })) {
                std::fprintf(stderr, "hang: %s\n", what_);
                std::abort();
            }
        });
    }
    ~HangWatchdog()
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

private:
    const char* what_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};

class PortLifetime : public PtyPortTest {
protected:
    void SetUp() override
    {
        PtyPortTest::SetUp();
        // What the library starts once and keeps (not the port's own).
        port->SetOpen(true);
        port->PumpUntil([] { return true; }, 0); // the loop's watch of the line
        port->SetOpen(false);
        fds = openFdCount();
        managers = TSioDataPacketManagerList::Count();
    }

    // The port's device is closed (which comes after its threads have been
    // joined).
    bool released() { return openFdCount() == fds; }

    // A byte packet whose string event frees the port.
    void packetThatFreesThePort()
    {
        packet = std::make_unique<TSioDataPacket>();
        packet->SetStartCond(scAnyData);
        packet->SetEndCond(ecPacketSize);
        packet->SetPacketSize(1);
        packet->SetTimeOut(0);
        packet->SetOnStringPacket([this](TSioDataPacket&, const std::string& s) {
            events.push_back("S:" + s);
            freePort();
            events.push_back("freed");
        });
        packet->SetComPort(port.get());
    }

    // Frees the port (also from inside its own handlers).
    void freePort()
    {
        HangWatchdog guard("freeing the port");
        port.reset();
    }

    int fds = 0;
    std::size_t managers = 0;
};

TEST_F(PortLifetime, FreeingThePortInItsPacketsEventFinishesOnceTheEventHasReturned)
{
    packetThatFreesThePort();
    port->SetOpen(true);
    packet->SetEnabled(true);
    ASSERT_TRUE(pty.write("a"));
    ASSERT_TRUE(pumpUntil([&] { return events.size() == 2; }));
    EXPECT_EQ((std::vector<std::string>{"S:a", "freed"}), events);
    EXPECT_EQ(nullptr, packet->GetComPort());
    // The close finishes by itself: the device is closed and the threads
    // end, and the port's packet manager goes.
    EXPECT_TRUE(pumpUntil([&] { return released() && TSioDataPacketManagerList::Count() == managers; }));

    // The packet lives on and binds to a new port on the same line.
    port = std::make_unique<TSioComPort>();
    port->SetAutoOpen(false);
    port->SetPromptForPort(false);
    port->SetComNumber(kCom);
    record();
    packet->SetComPort(port.get());
    port->SetOpen(true);
    packet->SetEnabled(true);
    ASSERT_TRUE(pty.write("b"));
    ASSERT_TRUE(pumpUntil([&] { return events.size() == 3; }));
    EXPECT_EQ("S:b", events.back());
}

// The main thread reads the line itself while it waits (PumpUntil): the
// event then runs on the main thread inside that read.
TEST_F(PortLifetime, FreeingThePortInAnEventTheMainThreadReadFinishesLater)
{
    packetThatFreesThePort();
    port->SetOpen(true);
    packet->SetEnabled(true);
    ASSERT_TRUE(pty.write("a"));
    TSioCustomComPort* p = port.get();
    ASSERT_TRUE(p->PumpUntil([&] { return events.size() == 2; }, 20000));
    EXPECT_TRUE(pumpUntil([&] { return released() && TSioDataPacketManagerList::Count() == managers; }));
}

// A second packet of the port completes behind the one whose event frees
// the port: it is not delivered, and nothing touches the gone port.
TEST_F(PortLifetime, FreeingThePortInAnEventDropsWhatWouldFollow)
{
    packetThatFreesThePort();
    std::vector<std::string> other;
    TSioDataPacket second;
    second.SetStartCond(scString);
    second.SetStartString("z");
    second.SetOnStringPacket([&](TSioDataPacket&, const std::string& s) { other.push_back(s); });
    second.SetComPort(port.get());
    port->SetOpen(true);
    second.SetEnabled(true);
    packet->SetEnabled(true);
    ASSERT_TRUE(pty.write("azzz"));
    ASSERT_TRUE(pumpUntil([&] { return !events.empty() && released() && TSioDataPacketManagerList::Count() == managers; }));
    EXPECT_EQ((std::vector<std::string>{"S:a", "freed"}), events);
    EXPECT_TRUE(other.empty());
    EXPECT_EQ(nullptr, second.GetComPort());
}

// The packet's time-out event frees the port.
TEST_F(PortLifetime, FreeingThePortInATimeOutEventFinishesOnceTheEventHasReturned)
{
    kyd::platform::ScopedFakeClock clock;
    makeReplyPacket(1);
    packet->SetOnTimeout([this](TSioDataPacket&) {
        events.push_back("T");
        freePort();
        events.push_back("freed");
    });
    port->SetOpen(true);
    packet->SetEnabled(true);
    clock->advance(10 * 55);
    ASSERT_TRUE(pumpUntil([&] { return events.size() == 2; }));
    EXPECT_EQ((std::vector<std::string>{"T", "freed"}), events);
    EXPECT_EQ(nullptr, packet->GetComPort());
    EXPECT_TRUE(pumpUntil([&] { return released() && TSioDataPacketManagerList::Count() == managers; }));
}

TEST_F(PortLifetime, FreeingThePortInATriggerHandlerFinishesOnceTheHandlerHasReturned)
{
    int avail = 0;
    port->SetOnTriggerAvail([&](TSioCustomComPort&, std::uint16_t) {
        ++avail;
        freePort();
    });
    port->SetOpen(true);
    ASSERT_TRUE(pty.write("a"));
    ASSERT_TRUE(pumpUntil([&] { return avail == 1 && released(); }));
    EXPECT_EQ(1, avail);
}

// A status trigger handler frees the port: the rest of the window's work
// for that notice does not touch it any more.
TEST_F(PortLifetime, FreeingThePortInAStatusHandlerFinishesOnceTheHandlerHasReturned)
{
    int status = 0;
    port->SetOnTriggerStatus([&](TSioCustomComPort&, std::uint16_t) {
        ++status;
        freePort();
    });
    port->SetOpen(true);
    const int h = port->AddStatusTrigger(stOutFree);
    port->SetStatusTrigger(h, 0, true); // fires at once: the output is empty
    ASSERT_TRUE(pumpUntil([&] { return status == 1 && released(); }));
}

// The packet's event waits for the main thread, which frees the port before
// it runs it: the port closes at once.
TEST_F(PortLifetime, FreeingThePortWithAnEventQueuedDropsTheEvent)
{
    makeReplyPacket();
    port->SetOpen(true);
    packet->SetEnabled(true);
    TSioBaseDispatcher* d = port->CurrentDispatcher();
    ASSERT_TRUE(pty.write("030\r"));
    // Not pumping: the event stays queued for the main thread.
    for (int i = 0; i < 5000 && !d->InNotification(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(d->InNotification());
    freePort();
    EXPECT_TRUE(released());
    loop.processPending();
}

// Bytes held back by the packet manager are delivered on the thread that
// lets them go; the event frees the port and runs the message loop before
// it returns. The manager goes once the event is over.
TEST_F(PortLifetime, FreeingThePortInAnEventALetGoHoldDeliversFreesItsManagerAfterwards)
{
    packetThatFreesThePort();
    packet->SetOnStringPacket([this](TSioDataPacket&, const std::string& s) {
        events.push_back("S:" + s);
        freePort();
        loop.processPending();
        events.push_back("freed");
    });
    // The port's window hears of the bytes after the manager has taken them.
    int avail = 0;
    port->SetOnTriggerAvail([&](TSioCustomComPort&, std::uint16_t) { ++avail; });
    port->SetOpen(true);
    packet->SetEnabled(true);
    TSioDataPacketManager* m = TSioDataPacketManagerList::Find(port.get());
    ASSERT_NE(nullptr, m);
    m->SetHold(true);
    ASSERT_TRUE(pty.write("a"));
    ASSERT_TRUE(pumpUntil([&] { return avail > 0; }));
    ASSERT_EQ(1, m->DataCount());
    m->SetHold(false);
    EXPECT_EQ((std::vector<std::string>{"S:a", "freed"}), events);
    EXPECT_TRUE(pumpUntil([&] { return released() && TSioDataPacketManagerList::Count() == managers; }));
}

// The program ends right after a handler freed the port: its loop is
// uninstalled and destroyed while the port's threads may still be ending
// (they must not use it any more), and the process exits. Run in a child
// process that ends so; repeated there, as the threads' end races with the
// loop's.
TEST_F(PortLifetime, FreeingThePortJustBeforeTheProgramEndsIsSafe)
{
    const auto run = [this]() -> int {
        for (int i = 0; i < 50; ++i) {
            // A line of its own each time: the ended program's port keeps
            // its line until the process ends.
            TestPty line;
            if (!line.ok())
                return 1;
            kyd::platform::setPortPathOverride(kCom + 1 + i, line.slavePath());
            auto ending = std::make_unique<kyd::platform::PlainMessageLoop>();
            kyd::platform::setMessageLoop(ending.get());
            port = std::make_unique<TSioComPort>();
            port->SetAutoOpen(false);
            port->SetPromptForPort(false);
            port->SetComNumber(kCom + 1 + i);
            packetThatFreesThePort();
            port->SetOpen(true);
            packet->SetEnabled(true);
            if (!line.write("a") || !pumpWithWatchdog(*ending, [&] { return events.size() == 2; }, 20))
                return 2;
            kyd::platform::setMessageLoop(nullptr);
            ending.reset();
            events.clear();
        }
        return 0;
    };
    EXPECT_EXIT(std::exit(run()), ::testing::ExitedWithCode(0), "");
}

// A port given the settings of one with an armed packet and triggers:
// opening and closing it leaves the other's packet alone, which still gets
// its reply, and it has none of the other's triggers.
TEST_F(PortLifetime, AnAssignedPortOpensAndClosesWithoutTheSourcesPacketsAndTriggers)
{
    makeReplyPacket();
    port->SetOpen(true);
    packet->SetEnabled(true);
    const int data = port->AddDataTrigger("OK", false);
    const int timer = TSioDataPacketManagerList::Find(port.get())->TimerHandle();
    TestPty otherLine;
    ASSERT_TRUE(otherLine.ok());
    kyd::platform::setPortPathOverride(kCom + 1, otherLine.slavePath());
    TSioComPort target;
    target.Assign(*port);
    EXPECT_EQ(0u, target.UserCount());
    target.SetComNumber(kCom + 1);
    target.SetOpen(true);
    EXPECT_EQ(ttNone, target.CurrentDispatcher()->TriggerTypeOf(static_cast<std::uint32_t>(data)));
    EXPECT_EQ(ttNone, target.CurrentDispatcher()->TriggerTypeOf(static_cast<std::uint32_t>(timer)));
    target.SetOpen(false);
    ASSERT_TRUE(pty.write("030\r"));
    ASSERT_TRUE(pumpUntil([&] { return !events.empty(); }));
    EXPECT_EQ("S:030", events[0]);
}

// The source goes first (and its packet manager with it): the assigned
// port opens, closes and takes packets of its own.
TEST_F(PortLifetime, AnAssignedPortOutlivesItsSource)
{
    makeReplyPacket();
    TSioComPort target;
    target.Assign(*port);
    freePort();
    EXPECT_EQ(managers, TSioDataPacketManagerList::Count());
    target.SetOpen(true);
    target.SetOpen(false);
    packet->SetComPort(&target);
    target.SetOpen(true);
    packet->SetEnabled(true);
    ASSERT_TRUE(pty.write("040\r"));
    ASSERT_TRUE(pumpUntil([&] { return !events.empty(); }));
    EXPECT_EQ("S:040", events[0]);
    packet->SetComPort(nullptr);
}


// A wait for text gives up when a handler it runs frees the port (the
// wait's own character event here), and nothing touches the gone port.
TEST_F(PortLifetime, FreeingThePortFromTheWaitsCharacterEventEndsTheWait)
{
    port->SetOpen(true);
    std::string seen;
    port->SetOnWaitChar([&](TSioCustomComPort&, char c) {
        seen += c;
        freePort();
    });
    ASSERT_TRUE(pty.write("xyz"));
    TSioCustomComPort* p = port.get();
    EXPECT_FALSE(p->WaitForString("yz", 18 * 20, false, false));
    EXPECT_EQ("x", seen);
    EXPECT_TRUE(pumpUntil([&] { return released(); }));
}

// The same for a message the wait runs while it waits for input.
TEST_F(PortLifetime, FreeingThePortWhileAWaitPumpsMessagesEndsTheWait)
{
    port->SetOpen(true);
    loop.postCall([this] { freePort(); });
    TSioCustomComPort* p = port.get();
    EXPECT_EQ(0, p->WaitForMultiString("a|b", 18 * 20, true, false, '|'));
    EXPECT_EQ(nullptr, port);
    EXPECT_TRUE(pumpUntil([&] { return released(); }));
}

// A wait inside the port's own packet event: the port is freed while it
// pumps. The wait ends, and the close finishes once the event has returned.
TEST_F(PortLifetime, FreeingThePortWhileAWaitInItsPacketsEventPumpsEndsTheWait)
{
    packetThatFreesThePort();
    int waited = -1;
    packet->SetOnStringPacket([this, &waited](TSioDataPacket&, const std::string& s) {
        events.push_back("S:" + s);
        loop.postCall([this] { freePort(); });
        waited = port->WaitForString("z", 18 * 20, true, false);
        events.push_back("waited");
    });
    port->SetOpen(true);
    packet->SetEnabled(true);
    ASSERT_TRUE(pty.write("a"));
    ASSERT_TRUE(pumpUntil([&] { return events.size() == 2; }));
    EXPECT_EQ(0, waited);
    EXPECT_EQ(nullptr, port);
    EXPECT_TRUE(pumpUntil([&] { return released() && TSioDataPacketManagerList::Count() == managers; }));
}

} // namespace
} // namespace sio::test
