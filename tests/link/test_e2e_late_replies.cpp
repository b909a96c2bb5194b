// A dispenser that answers after the tester has given up: on a paced
// pseudo-terminal, on the real clock, the late reply must never be taken as
// the answer to the command after it.
#include "support_pty_link.h"

#include <filesystem>
#include <fstream>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <unistd.h>

namespace kyd::link::test {
namespace {

namespace fs = std::filesystem;

class E2eLateReplies : public PtyLinkFixture {
protected:
    void SetUp() override
    {
        // Real time: the late reply has to arrive while the link waits.
        platform::setClock(nullptr);
        com->QuietWaitHandler = nullptr;
        simulator.setPacing({9600, 10});
        simulator.setFrameLogger([this](bool incoming, const std::string& text) {
            if (!incoming) {
                std::lock_guard lock(sentMutex_);
                sent_.push_back(text.substr(0, text.find('\r')));
                sentChanged_.notify_all();
            }
        });
        simulator.withCore([](sim::SimCore& c) {
            c.cassette(2).state = sim::CassetteState::Open;
            c.cassette(2).notes = 0;
            return 0;
        });
        logPath_ = fs::temp_directory_path() / ("kyd_late_" + std::to_string(::getpid()) + ".log");
        fs::remove(logPath_);
        options.settings.LoggingEnabled = true;
        options.settings.LogFile = logPath_.string();
        options.settings.TimeStamp = false;
        options.settings.DateStamp = false;
        OpenPort();
    }
    void TearDown() override { fs::remove(logPath_); }

    // The status check times out at 1 s; the dispenser answers it 2 s late.
    void StatusCheckTimesOut()
    {
        simulator.updateFaults([](sim::SimFaults& f) {
            f.lateMs = 2000;
            f.late = 1;
        });
        cmd->SendCommand("Q", 1);
        ExpectStatus(197, 200);
        EXPECT_TRUE(com->OutOfStep());
    }
    // Check throat gets the reply the dispenser gave to it (its third).
    void CheckThroatGetsItsOwnReply()
    {
        cmd->SendCommand(":", 5);
        ASSERT_FALSE(comStrings.Lines.empty());
        EXPECT_EQ(comStrings.Lines.back(), "In : " + Sent(2));
        EXPECT_EQ(cmd->Reply.size(), 1u) << cmd->Reply;
        EXPECT_FALSE(com->OutOfStep());
    }
    // The n-th reply the simulator sent (from 0), once it has reported it:
    // it may report a reply after the tester has already taken it.
    std::string Sent(std::size_t n)
    {
        std::unique_lock lock(sentMutex_);
        sentChanged_.wait_for(lock, std::chrono::seconds(10), [&] { return sent_.size() > n; });
        return sent_.size() > n ? sent_[n] : std::string("<no reply ") + std::to_string(n) + ">";
    }
    std::string StatusCheckReply() { return Sent(0); }
    std::string Log() const
    {
        std::ifstream in(logPath_, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path logPath_;
    std::mutex sentMutex_;
    std::condition_variable sentChanged_;
    std::vector<std::string> sent_;
};

TEST_F(E2eLateReplies, DispenseAfterATimedOutStatusCheckIsNeverCreditedWithItsReply)
{
    // A pseudo-terminal has no line time: no reply is judged stale by it.
    EXPECT_EQ(com->Port().LineMicrosPerChar(), 0);
    StatusCheckTimesOut();
    // Whether the late reply comes during the quiet wait or after the
    // dispense went out, the dispense is never "Successful".
    cmd->Dispense('1', '0', {0, 3, 0, 0, 0, 0, 0, 0});
    EXPECT_FALSE(model.Succeeded()) << model.CodeText;
    EXPECT_NE(model.CodeText, "30 Successful Command");
    EXPECT_TRUE((model.StatusClass == 197 && model.StatusCode == 202) ||
                (model.StatusClass == 196 && model.StatusCode == '2'))
        << model.StatusClass << " " << model.CodeText;
    EXPECT_NE(cmd->Reply.size(), 104u);

    CheckThroatGetsItsOwnReply();
    EXPECT_EQ(StatusCheckReply().size(), 107u); // status, 104 characters, checksum
    EXPECT_NE(Log().find("Discarded: "), std::string::npos) << Log();
}

TEST_F(E2eLateReplies, ALongQuietWaitDiscardsTheLateReplyAndTheDispenseGetsItsOwn)
{
    options.settings.ResyncMs = 1500;
    StatusCheckTimesOut();
    cmd->Dispense('1', '0', {0, 3, 0, 0, 0, 0, 0, 0});
    ExpectStatus(196, '2');
    EXPECT_EQ(model.CodeText, "32 Empty Cassette");
    EXPECT_EQ(comStrings.Lines.back(), "In : " + Sent(1));
    // The late status-check reply is shown and logged as discarded, before
    // the dispense went out.
    const std::string discarded = "Discarded: " + StatusCheckReply() + "<CR>";
    const std::string log = Log();
    const auto at = log.find(discarded + "\nOut: 10");
    EXPECT_NE(at, std::string::npos) << log;
    EXPECT_NE(std::find(comStrings.Lines.begin(), comStrings.Lines.end(), discarded), comStrings.Lines.end());

    CheckThroatGetsItsOwnReply();
}

} // namespace
} // namespace kyd::link::test
