// The port component and its packets end to end on a pseudo-terminal: the
// test holds the master side and pumps a PlainMessageLoop on its own thread,
// which is the main thread of the component.
#include "platform/clock.h"
#include "platform/exception_sink.h"
#include "platform/plain_message_loop.h"
#include "platform/port_resolver.h"
#include "serial/SioPacket.h"
#include "serial/SioPacketList.h"
#include "serial/SioPort.h"
#include "support_port.h"
#include "support_pty.h"
#include "support_pty_port.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <atomic>
#include <thread>

namespace sio::test {
namespace {

namespace pf = kyd::platform;

class PortOnPty : public PtyPortTest {
protected:
    void SetUp() override
    {
        PtyPortTest::SetUp();
        mainThread = std::this_thread::get_id();
    }

    // The dispenser's line: 9600 7E1.
    void lineSettings7E1()
    {
        port->SetBaud(9600);
        port->SetParity(pEven);
        port->SetDataBits(7);
        port->SetStopBits(1);
    }

    // The loader's packet: one byte per packet, auto-enabled.
    void makeBytePacket()
    {
        packet = std::make_unique<TSioDataPacket>();
        packet->SetStartCond(scAnyData);
        packet->SetEndCond(ecPacketSize);
        packet->SetPacketSize(1);
        packet->SetAutoEnable(true);
        packet->SetTimeOut(0);
        record();
        packet->SetComPort(port.get());
    }

    // A byte packet whose event closes the port, armed on the open port.
    void openWithAPacketThatClosesThePort()
    {
        makeBytePacket();
        packet->SetOnStringPacket([this](TSioDataPacket&, const std::string& s) {
            events.push_back("S:" + s);
            port->SetOpen(false);
        });
        port->SetOpen(true);
        packet->SetEnabled(true);
    }

    // Also notes an event that ran off the main thread; a time-out as
    // "T:<bytes collected>".
    void record() override
    {
        packet->SetOnStringPacket([this](TSioDataPacket&, const std::string& s) {
            if (std::this_thread::get_id() != mainThread)
                offMain = true;
            events.push_back("S:" + s);
        });
        packet->SetOnTimeout([this](TSioDataPacket& p) {
            if (std::this_thread::get_id() != mainThread)
                offMain = true;
            events.push_back("T:" + std::to_string(p.GetDataSize()));
        });
    }

    bool pumpFor(std::size_t n, int ms = 3000)
    {
        return loop.pumpUntil([&] { return events.size() >= n; }, ms);
    }
    // Lets anything still under way arrive (used to show that nothing more
    // comes).
    void settle(int ms = 150) { loop.pumpUntil([] { return false; }, ms); }

    TSioDataPacketManager* manager() { return TSioDataPacketManagerList::Find(port.get()); }

    std::thread::id mainThread;
    bool offMain = false;
};

TEST_F(PortOnPty, OpensRawAt9600With7E1AndReopensWithOtherSettings)
{
    SlaveProbe probe(pty.slavePath());
    ASSERT_TRUE(probe.ok());
    lineSettings7E1();
    port->SetOpen(true);
    ASSERT_TRUE(port->GetOpen());
    EXPECT_EQ(psOpen, port->GetPortState());
    SlaveLine l = probe.read();
    EXPECT_EQ(9600u, l.baud);
    EXPECT_TRUE(l.raw);
    EXPECT_FALSE(l.twoStop);
    std::uint32_t baud = 0;
    Parity parity = Parity::None;
    std::uint16_t bits = 0, stop = 0;
    ASSERT_EQ(0, port->CurrentDispatcher()->GetLine(baud, parity, bits, stop));
    EXPECT_EQ(9600u, baud);
    EXPECT_EQ(Parity::Even, parity);
    EXPECT_EQ(7, bits);
    EXPECT_EQ(1, stop);

    // The loader's settings: 8N1 at six times the rate, set while closed.
    port->SetOpen(false);
    EXPECT_FALSE(port->GetOpen());
    EXPECT_EQ(nullptr, port->CurrentDispatcher());
    port->SetBaud(57600);
    port->SetParity(pNone);
    port->SetDataBits(8);
    port->SetOpen(true);
    EXPECT_EQ(57600u, probe.read().baud);
    ASSERT_EQ(0, port->CurrentDispatcher()->GetLine(baud, parity, bits, stop));
    EXPECT_EQ(Parity::None, parity);
    EXPECT_EQ(8, bits);

    // A rate without a standard code, on the open port.
    port->SetBaud(7200);
    EXPECT_EQ(7200u, probe.read().baud);
    EXPECT_TRUE(probe.read().raw);
}

TEST_F(PortOnPty, CommandGoesOutUnchangedAndReplyArrivesAsOneStringPacketOnTheMainThread)
{
    lineSettings7E1();
    makeReplyPacket();
    port->SetOpen(true);
    packet->SetEnabled(true);

    port->PutString("333\r");
    EXPECT_EQ("333\r", pty.readText(4, 2000));
    ASSERT_TRUE(pty.write("030\r"));
    ASSERT_TRUE(pumpFor(1));
    EXPECT_EQ(std::vector<std::string>{"S:030"}, events);
    EXPECT_FALSE(offMain);
    EXPECT_FALSE(packet->GetEnabled());
    std::string collected;
    packet->GetCollectedString(collected);
    EXPECT_EQ("030", collected);

    // The same reply in three reads (the data notices wake the main thread
    // whoever reads the line).
    events.clear();
    packet->SetEnabled(true);
    port->SetOnTriggerAvail([](TSioCustomComPort&, std::uint16_t) {});
    ASSERT_TRUE(pty.write("0"));
    ASSERT_TRUE(port->PumpUntil([&] { return manager()->DataCount() == 1; }, 2000));
    ASSERT_TRUE(pty.write("3"));
    ASSERT_TRUE(port->PumpUntil([&] { return manager()->DataCount() == 2; }, 2000));
    EXPECT_TRUE(events.empty());
    ASSERT_TRUE(pty.write("0\r"));
    ASSERT_TRUE(pumpFor(1));
    EXPECT_EQ(std::vector<std::string>{"S:030"}, events);
    EXPECT_FALSE(offMain);
}

TEST_F(PortOnPty, BytesAfterTheCarriageReturnDoNotReachTheNextExchange)
{
    makeReplyPacket();
    port->SetOpen(true);
    packet->SetEnabled(true);
    ASSERT_TRUE(pty.write("030\rXY"));
    ASSERT_TRUE(pumpFor(1));
    settle(50);
    // The next exchange, as the link runs it: flush, send, arm.
    port->FlushInBuffer();
    packet->SetEnabled(true);
    ASSERT_TRUE(pty.write("5\r"));
    ASSERT_TRUE(pumpFor(2));
    EXPECT_EQ((std::vector<std::string>{"S:030", "S:5"}), events);
}

TEST_F(PortOnPty, FlushDropsAPartlyReceivedReply)
{
    makeReplyPacket();
    port->SetOpen(true);
    packet->SetEnabled(true);
    port->SetOnTriggerAvail([](TSioCustomComPort&, std::uint16_t) {}); // data notices wake the main thread
    ASSERT_TRUE(pty.write("12"));
    ASSERT_TRUE(port->PumpUntil([&] { return manager()->DataCount() == 2; }, 2000));
    port->FlushInBuffer();
    EXPECT_EQ(0, manager()->DataCount());
    EXPECT_TRUE(packet->GetEnabled());
    ASSERT_TRUE(pty.write("3\r"));
    ASSERT_TRUE(pumpFor(1));
    EXPECT_EQ(std::vector<std::string>{"S:3"}, events);
}

// Answers every "3\r" on the master with "030\r" until it is destroyed.
class Responder {
public:
    explicit Responder(TestPty& pty)
        : thread_([this, &pty] {
              std::string line;
              while (!stop_.load()) {
                  for (std::uint8_t c : pty.read(1, 10)) {
                      line.push_back(static_cast<char>(c));
                      if (c == '\r') {
                          if (line == "3\r")
                              pty.write("030\r");
                          line.clear();
                      }
                  }
              }
          })
    {
    }
    ~Responder()
    {
        stop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// While the main thread waits for a reply through the port it reads the line
// itself (the notices come on the main thread); between its waits the
// reader thread serves the line again.
TEST_F(PortOnPty, TheMainThreadReadsTheRepliesItWaitsForAndTheReaderTheRest)
{
    makeReplyPacket();
    port->SetOpen(true);
    std::atomic<int> notesOnMain{0};
    std::atomic<int> notesOffMain{0};
    port->CurrentDispatcher()->RegisterEventTriggerHandler(this, [&](std::uint32_t, std::uint32_t, std::int32_t) {
        (std::this_thread::get_id() == mainThread ? notesOnMain : notesOffMain).fetch_add(1);
    });
    {
        Responder responder(pty);
        for (int i = 0; i < 300; ++i) {
            events.clear();
            port->FlushInBuffer();
            packet->SetEnabled(true);
            port->PutString("3\r");
            ASSERT_TRUE(port->PumpUntil([&] { return !events.empty(); }, 3000)) << "exchange " << i;
            ASSERT_EQ(std::vector<std::string>{"S:030"}, events) << "exchange " << i;
        }
    }
    EXPECT_GT(notesOnMain.load(), 0);
    EXPECT_FALSE(offMain);

    // Not waiting through the port: the reader thread takes the line back.
    events.clear();
    packet->SetEnabled(true);
    const int offBefore = notesOffMain.load();
    ASSERT_TRUE(pty.write("77\r"));
    ASSERT_TRUE(pumpFor(1));
    EXPECT_EQ(std::vector<std::string>{"S:77"}, events);
    // (The reader notifies this handler after the packet's event.)
    for (int i = 0; i < 1000 && notesOffMain.load() == offBefore; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_GT(notesOffMain.load(), offBefore);
    port->CurrentDispatcher()->DeregisterEventTriggerHandler(this);
}

// The line going away while the main thread waits on it: the reader thread
// takes over, the line error is reported and the wait ends.
TEST_F(PortOnPty, HangUpWhileTheMainThreadWaitsReportsTheLineError)
{
    makeReplyPacket();
    std::vector<std::uint16_t> errors;
    port->SetOnTriggerLineError([&](TSioCustomComPort&, std::uint16_t e, bool) { errors.push_back(e); });
    port->SetOpen(true);
    port->SetStatusTrigger(port->AddStatusTrigger(stLine), 0x0F, true);
    packet->SetEnabled(true);
    ASSERT_TRUE(pty.write("03"));
    std::thread hangUp([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        pty.closeMaster();
    });
    const bool reported = port->PumpUntil([&] { return !errors.empty(); }, 3000);
    hangUp.join();
    ASSERT_TRUE(reported);
    EXPECT_EQ(std::vector<std::uint16_t>{10}, errors);
    EXPECT_TRUE(events.empty());
    port->SetOnTriggerLineError({});
}

// A packet event that closes the port, run by the main thread in its own
// read: the close completes once the event has returned, and the port opens
// and is read by the main thread again.
TEST_F(PortOnPty, CloseFromInsideAnEventTheMainThreadReadCompletesLater)
{
    makeReplyPacket();
    bool closeInEvent = true;
    packet->SetOnStringPacket([&](TSioDataPacket&, const std::string& s) {
        events.push_back("S:" + s);
        if (closeInEvent)
            port->SetOpen(false);
    });
    port->SetOpen(true);
    packet->SetEnabled(true);
    ASSERT_TRUE(pty.write("030\r"));
    ASSERT_TRUE(port->PumpUntil([&] { return !events.empty(); }, 3000));
    ASSERT_TRUE(loop.pumpUntil([&] { return port->GetPortState() == psClosed; }, 3000));
    EXPECT_EQ(nullptr, port->CurrentDispatcher());
    closeInEvent = false;
    port->SetOpen(true);
    packet->SetEnabled(true);
    ASSERT_TRUE(pty.write("040\r"));
    ASSERT_TRUE(port->PumpUntil([&] { return events.size() == 2; }, 3000));
    EXPECT_EQ("S:040", events.back());
}

// A reply without an end: the packet gives up at the first byte past its
// limit, and the next reply is whole.
TEST_F(PortOnPty, FloodWithoutAnEndStopsThePacketAtItsLimit)
{
    makeReplyPacket();
    port->SetOpen(true);
    packet->SetEnabled(true);
    std::atomic<bool> written{false};
    std::thread flood([&] { written = pty.write(std::string(TSioDataPacket::kDefaultMaxSize + 1, 'x')); });
    ASSERT_TRUE(pumpFor(1, 10000));
    flood.join();
    ASSERT_TRUE(written.load());
    EXPECT_EQ(std::vector<std::string>{"T:" + std::to_string(TSioDataPacket::kDefaultMaxSize)}, events);
    EXPECT_FALSE(packet->GetEnabled());

    port->FlushInBuffer();
    packet->SetEnabled(true);
    ASSERT_TRUE(pty.write("030\r"));
    ASSERT_TRUE(pumpFor(2));
    EXPECT_EQ("S:030", events.back());
}

TEST_F(PortOnPty, OneBytePacketDeliversEveryByteInOrder)
{
    makeBytePacket();
    port->SetOpen(true);
    packet->SetEnabled(true);
    ASSERT_TRUE(pty.write(std::vector<std::uint8_t>{0xA0, 'B', 0xFF, 'D', 0xAA}));
    ASSERT_TRUE(pumpFor(5));
    settle(50);
    EXPECT_EQ((std::vector<std::string>{"S:\xA0", "S:B", "S:\xFF", "S:D", "S:\xAA"}), events);
    EXPECT_FALSE(offMain);
    EXPECT_TRUE(packet->GetEnabled());
}

TEST_F(PortOnPty, ClosingAndReopeningRearmsAnEnabledPacket)
{
    makeBytePacket();
    packet->SetEnabled(true); // while closed: armed when the port opens
    port->SetOpen(true);
    ASSERT_TRUE(pty.write("a"));
    ASSERT_TRUE(pumpFor(1));
    port->SetOpen(false);
    EXPECT_TRUE(packet->GetEnabled());
    EXPECT_EQ(dpIdle, packet->GetMode());
    port->SetOpen(true);
    EXPECT_EQ(dpCollecting, packet->GetMode());
    ASSERT_TRUE(pty.write("b"));
    ASSERT_TRUE(pumpFor(2));
    EXPECT_EQ((std::vector<std::string>{"S:a", "S:b"}), events);
}

TEST_F(PortOnPty, PortNumberZeroAsksThePromptAndOpensThePortChosen)
{
    pf::setPortPathOverride(3, pty.slavePath());
    port->SetComNumber(0);
    port->SetPromptForPort(true);
    int asked = 0;
    port->SetPortPrompt([&]() -> std::optional<int> {
        ++asked;
        return 3;
    });
    port->SetOpen(true);
    EXPECT_EQ(1, asked);
    EXPECT_TRUE(port->GetOpen());
    EXPECT_EQ(3, port->GetComNumber());
    port->PutString("x");
    EXPECT_EQ("x", pty.readText(1, 2000));
}

TEST_F(PortOnPty, CancelledPromptRaisesNoPortSelectedAndLeavesThePortClosed)
{
    port->SetComNumber(0);
    port->SetPromptForPort(true);
    port->SetPortPrompt([]() -> std::optional<int> { return std::nullopt; });
    try {
        port->SetOpen(true);
        FAIL() << "no exception";
    } catch (const ENoPortSelected& e) {
        EXPECT_EQ(ecodes::ecNoPortSelected, e.ErrorCode);
        EXPECT_STREQ("The ComNumber property of the TSioComPort has not been set", e.what());
    }
    EXPECT_FALSE(port->GetOpen());
    EXPECT_EQ(psClosed, port->GetPortState());
    EXPECT_EQ(nullptr, port->CurrentDispatcher());
    // Prompt switched off: refused at once.
    port->SetPromptForPort(false);
    EXPECT_THROW(port->SetOpen(true), ENoPortSelected);
}

TEST_F(PortOnPty, MissingDeviceRaisesBadIdAndBusyOneAlreadyOpen)
{
    pf::setPortPathOverride(42, "/dev/kyd-no-such-tty");
    port->SetComNumber(42);
    EXPECT_THROW(port->SetOpen(true), EBadId);
    EXPECT_FALSE(port->GetOpen());
    EXPECT_EQ(nullptr, port->CurrentDispatcher());

    port->SetComNumber(kCom);
    {
        FlockHolder other(pty.slavePath());
        ASSERT_TRUE(other.ok());
        EXPECT_THROW(port->SetOpen(true), EAlreadyOpen);
        EXPECT_FALSE(port->GetOpen());
    }
    port->SetOpen(true);
    EXPECT_TRUE(port->GetOpen());
}

TEST_F(PortOnPty, AutoOpenOpensForAnOperationAndClosedPortRaisesWithoutIt)
{
    EXPECT_THROW(port->PutString("x"), ECommNotOpen);
    EXPECT_THROW(port->FlushInBuffer(), ECommNotOpen);
    port->SetAutoOpen(true);
    port->PutString("y");
    EXPECT_TRUE(port->GetOpen());
    EXPECT_EQ("y", pty.readText(1, 2000));
}

TEST_F(PortOnPty, CloseFromInsideATriggerHandlerCompletesLaterAndAnOpenInBetweenReopens)
{
    int avail = 0;
    bool closeInHandler = true;
    TPortState stateInHandler = psOpen;
    bool openInHandler = false;
    port->SetOnTriggerAvail([&](TSioCustomComPort& p, std::uint16_t) {
        ++avail;
        if (!closeInHandler)
            return;
        closeInHandler = false;
        p.SetOpen(false);
        stateInHandler = p.GetPortState();
        openInHandler = p.GetOpen();
        p.SetOpen(true); // remembered until the close has finished
    });
    int opens = 0;
    port->RegisterUserCallback(&opens, [&](TSioCustomComPort&, bool opening) { opens += opening ? 1 : 0; });
    port->SetOpen(true);
    ASSERT_TRUE(pty.write("a"));
    ASSERT_TRUE(loop.pumpUntil([&] { return avail == 1; }, 2000));
    EXPECT_EQ(psShuttingDown, stateInHandler);
    EXPECT_TRUE(openInHandler);
    ASSERT_TRUE(loop.pumpUntil([&] { return opens == 2; }, 3000));
    EXPECT_EQ(psOpen, port->GetPortState());
    EXPECT_TRUE(port->GetOpen());
    EXPECT_FALSE(port->GetOpenPending());
    ASSERT_TRUE(pty.write("b"));
    ASSERT_TRUE(loop.pumpUntil([&] { return avail == 2; }, 2000));
    port->DeregisterUserCallback(&opens);
    port->SetOnTriggerAvail({});
}

// The main thread closes the port while a trigger notice waits for it: the
// close serves the notice while it waits for the threads, and the port ends
// closed with its dispatcher gone, ready to open again.
TEST_F(PortOnPty, CloseWhileATriggerNoticeWaitsForTheMainThread)
{
    int avail = 0;
    port->SetOnTriggerAvail([&](TSioCustomComPort&, std::uint16_t) { ++avail; });
    port->SetOpen(true);
    ASSERT_TRUE(pty.write("a"));
    // Not pumping: the notice stays waiting for the main thread.
    TSioBaseDispatcher* d = port->CurrentDispatcher();
    for (int i = 0; i < 2000 && !d->InNotification(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(d->InNotification());
    port->SetOpen(false);
    ASSERT_TRUE(loop.pumpUntil([&] { return port->GetPortState() == psClosed; }, 3000));
    EXPECT_EQ(nullptr, port->CurrentDispatcher());
    EXPECT_FALSE(port->GetOpen());
    // And the port opens and notifies again.
    port->SetOpen(true);
    ASSERT_TRUE(pty.write("b"));
    ASSERT_TRUE(loop.pumpUntil([&] { return avail >= 2; }, 2000));
    port->SetOnTriggerAvail({});
}

// A port that acts only on status notices does not hold the reader on the
// main thread for data notices; once it has a data event it gets them.
TEST_F(PortOnPty, DataNoticesReachThePortOnlyWhenItHasADataEvent)
{
    int lineErrors = 0;
    port->SetOnTriggerLineError([&](TSioCustomComPort&, std::uint16_t, bool) { ++lineErrors; });
    port->SetOpen(true);
    TSioBaseDispatcher* d = port->CurrentDispatcher();
    ASSERT_NE(nullptr, d);
    ASSERT_TRUE(d->HandlersExist());
    // Not pumping: both bytes reach the buffer all the same.
    ASSERT_TRUE(pty.write("a"));
    ASSERT_TRUE(pty.write("b"));
    // However long a loaded machine takes to read them; then the reader
    // must be free well within the second: a notice the port took would
    // keep it for seconds.
    const auto waitFor = [](const auto& done, int ms) {
        for (int i = 0; i < ms && !done(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return done();
    };
    ASSERT_TRUE(waitFor([&] { return port->InBuffUsed() == 2; }, 30000));
    EXPECT_TRUE(waitFor([&] { return !d->InNotification(); }, 1000));
    EXPECT_EQ(2, port->InBuffUsed());

    int avail = 0;
    port->SetOnTriggerAvail([&](TSioCustomComPort&, std::uint16_t) { ++avail; });
    ASSERT_TRUE(pty.write("c"));
    ASSERT_TRUE(loop.pumpUntil([&] { return avail >= 1; }, 2000));
    EXPECT_EQ(0, lineErrors);
    port->SetOnTriggerAvail({});
    port->SetOnTriggerLineError({});
}

TEST_F(PortOnPty, CloseFromInsideAPacketEventCompletesLater)
{
    openWithAPacketThatClosesThePort();
    ASSERT_TRUE(pty.write("q"));
    ASSERT_TRUE(pumpFor(1));
    ASSERT_TRUE(loop.pumpUntil([&] { return port->GetPortState() == psClosed; }, 3000));
    EXPECT_FALSE(port->GetOpen());
    EXPECT_EQ(nullptr, port->CurrentDispatcher());
    // And it opens again and works.
    port->SetOpen(true);
    ASSERT_TRUE(pty.write("r"));
    ASSERT_TRUE(pumpFor(2));
    EXPECT_EQ("S:r", events.back());
}

// The deferred close finishes as soon as the library's last thread has ended,
// not on a retry timer: it completes while the process clock stands still,
// also when the event that closed was read by the main thread (the reader
// thread then ends on its own, possibly after the dispatch thread).
TEST_F(PortOnPty, DeferredCloseFinishesWhileTheClockStandsStill)
{
    pf::ScopedFakeClock fake;
    openWithAPacketThatClosesThePort();
    ASSERT_TRUE(pty.write("q"));
    std::atomic<bool> closed{false};
    ASSERT_TRUE(port->PumpUntil([&] { return !events.empty(); }, -1));
    std::atomic<bool> gaveUp{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 3000 && !closed.load(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        gaveUp = true;
        loop.wakeUp();
    });
    loop.pumpUntil([&] { return port->GetPortState() == psClosed || gaveUp.load(); });
    closed = true;
    watchdog.join();
    EXPECT_EQ(psClosed, port->GetPortState());
    EXPECT_EQ(std::vector<std::string>{"S:q"}, events);
}

TEST_F(PortOnPty, FailedOpenAfterUsersHeardOfItUndoesAndALaterOpenDeliversPackets)
{
    std::vector<std::string> heard;
    int failures = 1;
    // Registered first, so told last: the packet manager hears "open" first.
    port->RegisterUserCallbackEx(this, [&](TSioCustomComPort&, TSioCallbackType t) {
        heard.push_back("thrower:" + std::to_string(t));
        if (t == ctOpen && failures-- > 0)
            throw std::runtime_error("user refuses");
    });
    makeBytePacket();
    int observer = 0;
    port->RegisterUserCallbackEx(&observer, [&](TSioCustomComPort&, TSioCallbackType t) {
        heard.push_back("observer:" + std::to_string(t));
    });
    packet->SetEnabled(true);
    EXPECT_THROW(port->SetOpen(true), std::runtime_error);
    EXPECT_FALSE(port->GetOpen());
    EXPECT_EQ(psClosed, port->GetPortState());
    EXPECT_EQ(nullptr, port->CurrentDispatcher());
    EXPECT_FALSE(manager()->GetEnabled());
    EXPECT_EQ(dpIdle, packet->GetMode());
    // The observer and the thrower heard "open"; both hear the undo.
    EXPECT_EQ((std::vector<std::string>{"observer:0", "thrower:0", "observer:1", "thrower:1", "observer:2",
                                        "thrower:2"}),
              heard);

    port->SetOpen(true);
    EXPECT_TRUE(port->GetOpen());
    ASSERT_TRUE(pty.write("z"));
    ASSERT_TRUE(pumpFor(1));
    EXPECT_EQ(std::vector<std::string>{"S:z"}, events);
    port->DeregisterUserCallbackEx(this);
    port->DeregisterUserCallbackEx(&observer);
}

TEST_F(PortOnPty, ExCallbackSeesClosingBeforeTheDeviceClosesAndClosedAtTheEnd)
{
    std::vector<std::string> ex, plain;
    bool deviceOpenAtClosing = false;
    port->RegisterUserCallbackEx(&ex, [&](TSioCustomComPort& p, TSioCallbackType t) {
        ex.push_back(std::to_string(t));
        if (t == ctClosing)
            deviceOpenAtClosing = p.CurrentDispatcher() && p.CurrentDispatcher()->IsOpen();
    });
    port->RegisterUserCallback(&plain, [&](TSioCustomComPort&, bool opening) {
        plain.push_back(opening ? "open" : "closed");
    });
    port->SetOpen(true);
    port->SetOpen(true); // already open: nothing
    port->SetOpen(false);
    port->SetOpen(false); // already closed: nothing
    EXPECT_EQ((std::vector<std::string>{"0", "1", "2"}), ex);
    EXPECT_EQ((std::vector<std::string>{"open", "closed"}), plain);
    EXPECT_TRUE(deviceOpenAtClosing);

    port->DeregisterUserCallbackEx(&ex);
    port->DeregisterUserCallback(&plain);
    EXPECT_EQ(0u, port->UserCount());
}

TEST_F(PortOnPty, WindowUsersReceiveTheOpenAndCloseMessages)
{
    std::vector<std::uint32_t> got;
    const pf::TargetId user = loop.createTarget([&](const pf::Message& m) -> std::intptr_t {
        got.push_back(m.msg);
        return 0;
    });
    port->RegisterUserEx(user);
    port->SetOpen(true);
    port->SetOpen(false);
    EXPECT_EQ((std::vector<std::uint32_t>{kMsgPortOpen, kMsgPortClosing, kMsgPortClose}), got);
    port->DeregisterUser(user);
    loop.destroyTarget(user);
}

TEST_F(PortOnPty, CtsChangeRaisesTheModemStatusEvent)
{
    int changes = 0;
    port->SetOnTriggerModemStatus([&](TSioCustomComPort&) { ++changes; });
    port->SetOpen(true);
    ASSERT_TRUE(port->CTS()); // on a pty CTS follows RTS
    const int h = port->AddStatusTrigger(stModem);
    port->SetStatusTrigger(h, 0x10, true);
    port->SetRTS(false);
    ASSERT_TRUE(loop.pumpUntil([&] { return changes >= 1; }, 2000));
    EXPECT_FALSE(port->CTS());
    EXPECT_FALSE(port->GetRTS());
    port->SetOnTriggerModemStatus({});
}

TEST_F(PortOnPty, ChangingThePortNumberWhileOpenReopensOnTheNewPort)
{
    TestPty second;
    ASSERT_TRUE(second.ok());
    pf::setPortPathOverride(43, second.slavePath());
    port->SetOpen(true);
    const int h = port->AddTimerTrigger();
    port->SetComNumber(43);
    EXPECT_TRUE(port->GetOpen());
    EXPECT_EQ(43, port->GetComNumber());
    // The timer trigger came along.
    EXPECT_EQ(0, port->CurrentDispatcher()->SetTimerTrigger(static_cast<std::uint32_t>(h), 10, false));
    port->PutString("n");
    EXPECT_EQ("n", second.readText(1, 2000));
}

TEST_F(PortOnPty, TraceIsWrittenToItsFileWhenThePortCloses)
{
    const std::string name = ::testing::TempDir() + "kyd_port_trace.trc";
    std::remove(name.c_str());
    port->SetTraceName(name);
    port->SetTracing(tlOn); // stored while closed, started at the open
    port->SetOpen(true);
    ASSERT_TRUE(port->CurrentDispatcher()->TracingOn());
    port->PutString("T");
    EXPECT_EQ("T", pty.readText(1, 2000));
    port->SetTracing(tlPause);
    EXPECT_EQ(tlPause, port->GetTracing());
    EXPECT_FALSE(port->CurrentDispatcher()->TracingOn());
    port->SetTraceSize(50); // a paused trace stays off
    EXPECT_EQ(tlOff, port->GetTracing());
    port->SetTracing(tlOn);
    port->PutString("U");
    EXPECT_EQ("U", pty.readText(1, 2000));
    port->SetOpen(false);
    EXPECT_EQ(tlOff, port->GetTracing());
    EXPECT_TRUE(ExistFileZ(name));
    std::remove(name.c_str());
}

} // namespace
} // namespace sio::test
