// A port whose line goes away or misbehaves, end to end on a
// pseudo-terminal: a hang-up refuses writes and still times out every armed
// packet, a driver without modem lines keeps reading, and making the output
// buffer smaller never drops what waits in it.
#include "serial/SioPosix.h"
#include "support_port.h"
#include "support_pty_port.h"

namespace sio::test {
namespace {

namespace pf = kyd::platform;

using LostLine = PtyPortTest;

TEST_F(LostLine, HangUpRefusesWritesAndStillTimesOutPacketsArmedBeforeAndAfterIt)
{
    pf::ScopedFakeClock fake;
    constexpr int kTimeout = 20; // ticks
    makeReplyPacket(kTimeout);
    port->SetOpen(true);
    packet->SetEnabled(true); // armed before the hang-up
    pty.closeMaster();
    ASSERT_TRUE(pumpUntil([&] { return port->CurrentDispatcher()->LineErrors() == kLeDeviceError; }));

    EXPECT_THROW(port->PutString("after the hang-up"), EPutBlockFail);
    EXPECT_EQ(psOpen, port->GetPortState());
    EXPECT_TRUE(events.empty());

    // One tick past the time-out (the due tick itself still counts).
    fake->advance((kTimeout + 2) * kMSecsPerTick);
    EXPECT_TRUE(pumpUntil([&] { return events.size() == 1; }));
    EXPECT_EQ(std::vector<std::string>{"T"}, events);

    packet->SetEnabled(true); // armed after the hang-up
    fake->advance((kTimeout + 2) * kMSecsPerTick);
    EXPECT_TRUE(pumpUntil([&] { return events.size() == 2; }));
    EXPECT_EQ((std::vector<std::string>{"T", "T"}), events);

    port->SetOpen(false);
    EXPECT_EQ(psClosed, port->GetPortState());
}

TEST_F(LostLine, TimerTriggersStillFireAfterTheHangUp)
{
    pf::ScopedFakeClock fake;
    int fired = 0;
    port->SetOnTriggerTimer([&](TSioCustomComPort&, std::uint16_t) { ++fired; });
    port->SetOpen(true);
    const int h = port->AddTimerTrigger();
    pty.closeMaster();
    ASSERT_TRUE(pumpUntil([&] { return port->CurrentDispatcher()->LineErrors() == kLeDeviceError; }));
    port->SetTimerTrigger(h, 10, true);
    fake->advance(12 * kMSecsPerTick);
    EXPECT_TRUE(pumpUntil([&] { return fired == 1; }));
    // The dispatch thread must end before the fake clock goes. A close that
    // comes while the thread waits on the main thread for a timer event is
    // finished by a message: pumped until the port is closed.
    port->SetOpen(false);
    EXPECT_TRUE(pumpUntil([&] { return port->GetPortState() == psClosed; }));
}

TEST_F(LostLine, DriverWithoutModemLinesKeepsReadingAndWriting)
{
    auto refusals = std::make_shared<Refusals>();
    refusals->modemLines = true;
    port->SetCustomDispatcher([refusals](TSioCustomComPort& p) -> std::unique_ptr<TSioBaseDispatcher> {
        auto device = std::make_unique<RefusingDevice>(pf::createPosixSerialDevice(),
                                                       std::make_shared<bool>(false), refusals);
        return std::make_unique<TSioPosixDispatcher>(&p, std::move(device));
    });
    makeReplyPacket(2184);
    port->SetOpen(true);
    packet->SetEnabled(true);
    // Long enough for the status thread to have asked for the lines a few
    // times; the reply is sent only then.
    loop.pumpUntil([] { return false; }, 100);
    ASSERT_TRUE(pty.write("pong\r"));
    EXPECT_TRUE(pumpUntil([&] { return !events.empty(); }));
    EXPECT_EQ(std::vector<std::string>{"S:pong"}, events);
    port->PutString("ping");
    EXPECT_EQ("ping", pty.readText(4, 5000));
    EXPECT_NE(kLeDeviceError, port->CurrentDispatcher()->LineErrors());
}

TEST_F(LostLine, SmallerOutputBufferKeepsWhatIsQueuedAndTakesItsSizeOnceDrained)
{
    port->SetOutSize(60000);
    port->SetOpen(true);
    std::vector<std::uint8_t> block(50000);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>('a' + i % 23);
    port->PutBlock(block.data(), static_cast<std::uint32_t>(block.size()));
    // Nobody reads the other side yet: more than the new size waits.
    ASSERT_GT(port->OutBuffUsed(), 4096u);

    port->SetOutSize(4096);
    EXPECT_EQ(4096, port->GetOutSize());
    EXPECT_EQ(block, pty.read(block.size(), 10000));
    // The writer counts a piece as sent once the device has taken it, which
    // may be after the other side has read it.
    ASSERT_TRUE(pumpUntil([&] { return port->OutBuffUsed() == 0; }));

    // Drained: the buffer has the size asked for.
    const std::vector<std::uint8_t> tooBig(5000, 'x');
    EXPECT_THROW(port->PutBlock(tooBig.data(), 5000), EOutputBufferTooSmall);
    port->PutString("tail");
    EXPECT_EQ("tail", pty.readText(4, 5000));
}

} // namespace
} // namespace sio::test
