// Faults of the simulated dispenser on a pseudo-terminal, each ending the
// exchange with the right status class and code, the busy state cleared and
// the next command working.
#include "support_pty_link.h"

#include "platform/serial_device.h"
#include "serial/SioExcept.h"
#include "serial/SioPosix.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace kyd::link::test {
namespace {

class E2eFaults : public PtyLinkFixture {
protected:
    void SetUp() override { OpenPort(); }

    template <class F>
    void Faults(F&& f)
    {
        simulator.updateFaults(std::forward<F>(f));
    }
    void ExpectFailedExchange(int code)
    {
        ExpectStatus(197, code);
        EXPECT_EQ(cmd->Reply, "");
        EXPECT_FALSE(model.Succeeded());
        EXPECT_TRUE(com->ErrorFlag());
        EXPECT_FALSE(com->AbortFlag());
    }
};

TEST_F(E2eFaults, SilenceRunsIntoThePacketTimeOut)
{
    Faults([](sim::SimFaults& f) { f.silent = 1; });
    TimeOutNextFrames();
    cmd->SendCommand("0", 20);
    EXPECT_EQ(OneFrame(), "030\r");
    ExpectFailedExchange(200);
    EXPECT_EQ(model.CodeText, "No Connection");
    EXPECT_EQ(comStrings.Lines.back(), "In : ");
    ExpectIdleAndNextCommandWorks();

    // A dispense (180 s) as well; the count of the last dispense stays.
    simulator.withCore([](sim::SimCore& c) { return c.cassette(1).state = sim::CassetteState::Open; });
    model.NotesDelivered = 4;
    Faults([](sim::SimFaults& f) { f.silent = 1; });
    TimeOutNextFrames();
    cmd->Dispense('1', '0', {2, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(OneFrame(), "101002" + TCom::Checksum("101002") + "\r");
    EXPECT_EQ(port->Packet().GetTimeOut(), 3249);
    ExpectFailedExchange(200);
    EXPECT_EQ(model.NotesDelivered, 4);
    ExpectIdleAndNextCommandWorks();
}

TEST_F(E2eFaults, BadChecksumOnShortAndLongRepliesIsAnLrcError)
{
    Faults([](sim::SimFaults& f) { f.badChecksum = 1; });
    cmd->SendCommand("0", 20);
    ExpectFailedExchange(202);
    EXPECT_EQ(model.CodeText, "LRC Error");
    // The communication window shows the reply as received.
    ASSERT_EQ(comStrings.Lines.back().size(), 8u);
    EXPECT_EQ(comStrings.Lines.back().substr(0, 6), "In : 0");
    ExpectIdleAndNextCommandWorks();

    ASSERT_TRUE(cmd->ReadCassetteIds());
    const std::size_t feeders = model.Feeders().size();
    ASSERT_GE(feeders, 4u);
    Faults([](sim::SimFaults& f) { f.badChecksum = 1; });
    EXPECT_FALSE(cmd->ReadCassetteIds());
    ExpectFailedExchange(202);
    EXPECT_EQ(model.Feeders().size(), feeders); // nothing parsed from it
    ExpectIdleAndNextCommandWorks();
}

TEST_F(E2eFaults, BareCarriageReturnIsAnEmptyReplyNotAHang)
{
    Faults([](sim::SimFaults& f) { f.bareCr = 1; });
    cmd->SendCommand("0", 20);
    EXPECT_EQ(OneFrame(), "030\r");
    ExpectFailedExchange(200);
    EXPECT_EQ(comStrings.Lines.back(), "In : ");
    ExpectIdleAndNextCommandWorks();
}

TEST_F(E2eFaults, ReplyInPiecesIsOneReply)
{
    Faults([](sim::SimFaults& f) {
        f.fragmentBytes = 3;
        f.fragmentGapMs = 5;
    });
    ASSERT_TRUE(cmd->ReadCassetteIds());
    EXPECT_TRUE(model.Succeeded()) << model.CodeText;
    EXPECT_GE(model.Feeders().size(), 4u);
    ASSERT_TRUE(cmd->ReadProgramId());
    EXPECT_EQ(model.ProgramId, "2024-05.17");
    Faults([](sim::SimFaults& f) { f.fragmentBytes = 0; });
    ExpectIdleAndNextCommandWorks();
}

TEST_F(E2eFaults, NoiseBeforeTheReplyFailsTheChecksum)
{
    Faults([](sim::SimFaults& f) { f.noise = "#~"; });
    cmd->SendCommand("0", 20);
    ExpectFailedExchange(202);
    EXPECT_EQ(comStrings.Lines.back(), "In : #~030");
    Faults([](sim::SimFaults& f) { f.noise.clear(); });
    ExpectIdleAndNextCommandWorks();
}

TEST_F(E2eFaults, CtsHeldLowWithHandshakeSendsNothing)
{
    OpenPort(true);
    Faults([](sim::SimFaults& f) { f.ctsLow = true; });
    // The 3 s wait for CTS runs on the fake clock.
    loop.postCall([this] { clock.advance(3100); });
    cmd->SendCommand("0", 20);
    EXPECT_TRUE(NoFrame());
    ExpectFailedExchange(200);
    EXPECT_FALSE(port->Port().GetRTS());
    EXPECT_EQ(comStrings.Lines, (std::vector<std::string>{"Not sent: 030"}));

    // CTS answering late, within the wait: the command goes out.
    Faults([](sim::SimFaults& f) {
        f.ctsLow = false;
        f.ctsDelayMs = 500;
    });
    loop.postCall([this] { clock.advance(600); });
    cmd->SendCommand("0", 20);
    EXPECT_EQ(OneFrame(), "030\r");
    ExpectStatus(195, 48);
    EXPECT_FALSE(port->Port().GetRTS()); // dropped after the exchange

    Faults([](sim::SimFaults& f) { f.ctsDelayMs = 0; });
    ExpectIdleAndNextCommandWorks();
}

TEST_F(E2eFaults, AbortWhileTheReplyIsOnItsWayCancelsAndTheLateReplyIsDropped)
{
    Faults([](sim::SimFaults& f) { f.delayMs = 100; });
    AbortOnNextFrame();
    cmd->SendCommand("0", 20);
    EXPECT_EQ(OneFrame(), "030\r");
    ExpectStatus(195, 205);
    EXPECT_EQ(model.CodeText, "Communication Canceled");
    EXPECT_FALSE(model.Succeeded());
    EXPECT_TRUE(com->AbortFlag());
    EXPECT_EQ(cmd->Reply, "");
    EXPECT_FALSE(cmd->Busy());
    EXPECT_FALSE(mainWindow.Busy());

    // The late "030" reaches the port before the next command, which must
    // get its own reply.
    Faults([](sim::SimFaults& f) { f.delayMs = 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    ASSERT_TRUE(cmd->ReadCassetteIds());
    EXPECT_EQ(OneFrame(), "535\r");
    EXPECT_GT(cmd->Reply.size(), 7u) << cmd->Reply;
    EXPECT_GE(model.Feeders().size(), 4u);
    ExpectIdleAndNextCommandWorks();
}

TEST_F(E2eFaults, LineClosingMidReplyFailsTheExchangeAndTheNextCommandReopens)
{
    Faults([](sim::SimFaults& f) { f.hangUp = 1; });
    EXPECT_FALSE(cmd->ReadCassetteIds());
    EXPECT_EQ(OneFrame(), "535\r");
    ExpectFailedExchange(200);
    EXPECT_TRUE(port->LineLost());
    EXPECT_FALSE(cmd->Busy());
    EXPECT_FALSE(mainWindow.Busy());
    ASSERT_TRUE(transport->waitForHangUps(1, 2000));
    ExpectIdleAndNextCommandWorks();
    EXPECT_FALSE(port->LineLost());
}

// The simulator killed while it holds a command: the exchange fails, every
// command while the device is gone finds no port, and the first one after
// it is back on the same path works.
TEST_F(E2eFaults, DeviceGoneMidExchangeAndBackAgainTheFirstCommandAfterItWorks)
{
    Faults([](sim::SimFaults& f) { f.silent = 1; });
    onFrame = [this](const std::string&) { loop.postCall([this] { transport.reset(); }); };
    EXPECT_FALSE(cmd->ReadCassetteIds());
    ExpectFailedExchange(200);
    ASSERT_EQ(transport, nullptr);
    onFrame = nullptr;
    for (int i = 0; i < 3; ++i) {
        EXPECT_THROW(cmd->SendCommand("0", 20), sio::EBadId);
        EXPECT_FALSE(cmd->Busy());
    }
    transport = std::make_unique<sim::PtyTransport>(simulator, linkPath);
    ExpectIdleAndNextCommandWorks();
}

// The line goes away between two exchanges and the serial library has seen
// it, but its report has not reached the link yet (the main thread did not
// run since): the next command still finds the line lost, opens the port
// again and works, instead of failing on a write the library refuses.
TEST_F(E2eFaults, LineGoneBeforeTheLinkHeardOfItTheNextCommandReopensAndWorks)
{
    ExpectIdleAndNextCommandWorks();
    transport.reset(); // the far end hangs up; nothing pumps the main loop
    const auto libraryLost = [this] {
        const sio::TSioBaseDispatcher* d = port->Port().CurrentDispatcher();
        return d && d->LineLost();
    };
    for (int i = 0; i < 20000 && !libraryLost(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(libraryLost());
    ASSERT_FALSE(port->LineLost());
    transport = std::make_unique<sim::PtyTransport>(simulator, linkPath);
    ExpectIdleAndNextCommandWorks();
    EXPECT_FALSE(port->LineLost());
}

// The line goes away after a command and just before the next one is
// written. Whether or not the serial library has seen it go by then, the
// command never reads as a success or raises the write's own error: either
// the write the device refuses fails the exchange as "No Connection", or
// the lost line is noticed first and the port that cannot be opened again
// is reported as not available. The command after the line is back opens
// the port again.
TEST_F(E2eFaults, LineGoneJustBeforeAWriteFailsTheExchangeAndTheNextReopens)
{
    cmd->SendCommand("0", 20);
    ExpectStatus(195, 48);
    transport.reset();
    try {
        cmd->SendCommand("0", 20);
        ExpectFailedExchange(200);
    } catch (const sio::EBadId& e) {
        EXPECT_NE(std::string(e.what()).find("is not available"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(port->LineLost());
    EXPECT_FALSE(cmd->Busy());
    EXPECT_FALSE(mainWindow.Busy());
    transport = std::make_unique<sim::PtyTransport>(simulator, linkPath);
    ExpectIdleAndNextCommandWorks();
    EXPECT_FALSE(port->LineLost());
}

// A device that refuses the next output purges (as a line that went away
// does), otherwise the real one.
class PurgeRefusingDevice final : public platform::SerialDevice {
public:
    explicit PurgeRefusingDevice(std::shared_ptr<std::atomic<int>> refusals)
        : inner_(platform::createPosixSerialDevice()), refusals_(std::move(refusals)) {}
    int open(const std::string& path) override { return inner_->open(path); }
    void close() override { inner_->close(); }
    bool isOpen() const override { return inner_->isOpen(); }
    std::string path() const override { return inner_->path(); }
    int setSettings(const platform::LineSettings& s) override { return inner_->setSettings(s); }
    int getSettings(platform::LineSettings& s) override { return inner_->getSettings(s); }
    long read(void* b, std::size_t n) override { return inner_->read(b, n); }
    long write(const void* b, std::size_t n) override { return inner_->write(b, n); }
    int setDtr(bool on) override { return inner_->setDtr(on); }
    int setRts(bool on) override { return inner_->setRts(on); }
    int setBreak(bool on) override { return inner_->setBreak(on); }
    int modemLines(unsigned& l) override { return inner_->modemLines(l); }
    bool modemLinesEmulated() const override { return inner_->modemLinesEmulated(); }
    int flushInput() override { return inner_->flushInput(); }
    int flushOutput() override { return refusals_->fetch_sub(1) > 0 ? platform::kDevIo : inner_->flushOutput(); }
    long outputQueued() override { return inner_->outputQueued(); }
    int takeLineErrors(std::uint32_t& b) override { return inner_->takeLineErrors(b); }
    platform::WaitResult waitReadable(platform::WakeEvent& w, int t) override { return inner_->waitReadable(w, t); }
    platform::WaitResult waitWritable(platform::WakeEvent& w, int t) override { return inner_->waitWritable(w, t); }
    int pollFd() const override { return inner_->pollFd(); }
    int lastErrno() const override { return inner_->lastErrno(); }
    std::string lastErrorText() const override { return inner_->lastErrorText(); }

private:
    std::unique_ptr<platform::SerialDevice> inner_;
    std::shared_ptr<std::atomic<int>> refusals_;
};

// The device refuses the purge before a command (its line went away and
// came back before the port heard of it): the port is opened again and the
// command goes out, instead of the device error escaping the command.
TEST_F(E2eFaults, PurgeTheDeviceRefusesOpensThePortAgainAndTheCommandGoesOut)
{
    auto refusals = std::make_shared<std::atomic<int>>(0);
    port->Port().SetCustomDispatcher([refusals](sio::TSioCustomComPort& p) -> std::unique_ptr<sio::TSioBaseDispatcher> {
        return std::make_unique<sio::TSioPosixDispatcher>(&p, std::make_unique<PurgeRefusingDevice>(refusals));
    });
    port->Close();
    OpenPort();
    cmd->SendCommand("0", 20);
    ExpectStatus(195, 48);
    EXPECT_EQ(OneFrame(), "030\r");
    *refusals = 1;
    EXPECT_NO_THROW(cmd->SendCommand("0", 20));
    ExpectStatus(195, 48);
    EXPECT_EQ(OneFrame(), "030\r");
    EXPECT_FALSE(port->LineLost());
    EXPECT_LE(refusals->load(), 0);
}

} // namespace
} // namespace kyd::link::test
