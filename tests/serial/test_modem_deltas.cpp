// Modem-line changes reported by the port on a pseudo-terminal, whose
// device layer has CTS follow RTS and DSR follow DTR: each change of a line
// reads once from its delta flag, whichever of the status reads, the input
// passes and the 20 ms status poll sees it first, and no delta reads set
// without a change.
#include "serial/SioPosix.h"
#include "support_port.h"
#include "support_pty_port.h"

#include <chrono>
#include <random>
#include <thread>

namespace sio::test {
namespace {

namespace pf = kyd::platform;

class ModemDeltas : public PtyPortTest {
protected:
    void SetUp() override
    {
        PtyPortTest::SetUp();
        port->SetCustomDispatcher([this](TSioCustomComPort& p) -> std::unique_ptr<TSioBaseDispatcher> {
            auto device = std::make_unique<RefusingDevice>(pf::createPosixSerialDevice(),
                                                           std::make_shared<bool>(false), nullptr, polls);
            return std::make_unique<TSioPosixDispatcher>(&p, std::move(device));
        });
        port->SetRTS(false);
        port->SetDTR(false);
    }

    // Returns once the status poll has seen the lines as they are now and
    // the dispatch thread has taken what it queued: a poll that began after
    // this call has ended, and a byte sent behind its status block has been
    // handed out.
    void letThePollsSeeTheLines()
    {
        ASSERT_TRUE(polls->waitFor(polls->polls() + 3, 20));
        const std::size_t before = received;
        ASSERT_TRUE(pty.write("x"));
        ASSERT_TRUE(pumpUntil([&] { return received > before; }));
    }
    void countReceivedBytes()
    {
        port->SetOnTriggerAvail([this](TSioCustomComPort& p, std::uint16_t n) {
            std::string b(n, '\0');
            p.GetBlock(b.data(), n);
            received += n;
        });
    }

    std::shared_ptr<PollCounter> polls = std::make_shared<PollCounter>();
    std::size_t received = 0;
};

TEST_F(ModemDeltas, TheModemStatusEventSeesTheDeltasOfTheLinesThatRose)
{
    port->SetOpen(true);
    int fired = 0;
    bool deltaCts = false, deltaDsr = false;
    port->SetOnTriggerModemStatus([&](TSioCustomComPort& p) {
        if (fired++ == 0) {
            deltaCts = p.DeltaCTS();
            deltaDsr = p.DeltaDSR();
        }
    });
    port->SetStatusTrigger(port->AddStatusTrigger(stModem), 0x30, true);
    port->SetRTS(true);
    port->SetDTR(true);
    ASSERT_TRUE(pumpUntil([&] { return fired > 0; }));
    EXPECT_TRUE(deltaCts);
    EXPECT_TRUE(deltaDsr);
    // Read once, they are clear.
    EXPECT_FALSE(port->DeltaCTS());
    EXPECT_FALSE(port->DeltaDSR());
    port->SetOnTriggerModemStatus({});
}

// RTS and DTR rise and fall at seeded random moments against the status
// poll and the dispatch passes; the deltas are read at once, a random while
// later, or once the poll has seen the change, sometimes after a read of
// the level of the other line.
TEST_F(ModemDeltas, EachChangeOfCtsAndDsrReadsOnceAndNoneWithoutAChange)
{
    countReceivedBytes();
    port->SetOpen(true);
    std::mt19937 random(20240611);
    bool rts = false, dtr = false;
    int ctsChanges = 0, dsrChanges = 0;
    for (int round = 0; round < 24; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const bool flipRts = random() % 2 == 0;
        const bool flipDtr = random() % 2 == 0;
        const unsigned moment = random() % 3;
        const bool readOtherLevel = flipRts != flipDtr && random() % 2 == 0;
        rts = rts != flipRts;
        dtr = dtr != flipDtr;
        // An unchanged value reaches the device too.
        port->SetRTS(rts);
        port->SetDTR(dtr);
        ctsChanges += flipRts ? 1 : 0;
        dsrChanges += flipDtr ? 1 : 0;

        if (moment == 1)
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 30));
        else if (moment == 2)
            letThePollsSeeTheLines();
        // A level read consumes its own line's delta only.
        if (readOtherLevel) {
            if (flipRts)
                EXPECT_EQ(dtr, port->DSR());
            else
                EXPECT_EQ(rts, port->CTS());
        }
        EXPECT_EQ(flipRts, port->DeltaCTS());
        EXPECT_EQ(flipDtr, port->DeltaDSR());

        // Nothing more comes of these changes.
        letThePollsSeeTheLines();
        EXPECT_FALSE(port->DeltaCTS());
        EXPECT_FALSE(port->DeltaDSR());
        EXPECT_EQ(rts, port->CTS());
        EXPECT_EQ(dtr, port->DSR());
    }
    // The seed moves both lines often enough to mean something.
    EXPECT_GE(ctsChanges, 8);
    EXPECT_GE(dsrChanges, 8);
    port->SetOnTriggerAvail({});
}

} // namespace
} // namespace sio::test
