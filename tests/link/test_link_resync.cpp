// After a failed exchange the link waits for a quiet line before the next
// command, and a reply that does not fit its command is a failure: both on
// the in-process port, on the fake clock.
#include "support_fixture.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <unistd.h>

namespace kyd::link::test {
namespace {

namespace fs = std::filesystem;

class LinkResync : public LinkFixture {
protected:
    void SetUp() override { OpenPort(); }

    // "Q" with a 1 s time-out, the fake clock moved past it from the wait;
    // unanswered unless the simulator answers it late.
    void TimedOutStatusCheck(bool answered = false)
    {
        if (!answered)
            port->QueueSilence();
        port->onWrite = [this](const std::string&) {
            port->onWrite = nullptr;
            loop.postCall([this] { clock.advance(TCom::TimeoutTicks(1) * 55 + 100); });
        };
        cmd->SendCommand("Q", 1);
        ExpectStatus(197, 200);
        ASSERT_TRUE(com->OutOfStep());
    }
    void ExpectCorruptReply()
    {
        ExpectStatus(197, 202);
        EXPECT_EQ(model.CodeText, "LRC Error");
        EXPECT_EQ(cmd->Reply, "");
        EXPECT_FALSE(model.Succeeded());
        EXPECT_TRUE(com->OutOfStep());
    }
};

TEST_F(LinkResync, WrongShapeForEachKindOfCommandIsACorruptReply)
{
    const std::string statusCheck = "0" + std::string(104, '0');
    struct Case {
        const char* what;
        std::string reply;
        std::function<bool()> send; // the builder's result; true when it has none
    };
    const std::vector<Case> cases = {
        {"reset", "0AB", [&] { cmd->SendCommand("0", 20); return false; }},
        {"check throat", "M12", [&] { cmd->SendCommand(":", 5); return false; }},
        {"deliver", "00", [&] { cmd->SendCommand("3", 180); return false; }},
        {"open cassette", "0x", [&] { cmd->OpenCassette(1, 1); return false; }},
        {"close cassette", "000", [&] { cmd->CloseCassette(2, false); return false; }},
        {"item write", "0/080", [&] { cmd->WriteData(104, "80", 80); return false; }},
        {"cassette item write", "0EUR", [&] { cmd->WriteCassetteData(1, 27, "EUR"); return false; }},
        {"status check (short)", "0Q9", [&] { return cmd->CheckStatus(); }},
        {"status check (half a record)", "0" + std::string(15, '0'), [&] { return cmd->CheckStatus(); }},
        {"status check (hoppers, no task part)", "0" + std::string(90, '0'), [&] { return cmd->CheckStatus(); }},
        // The lengths fit, but the window could show nothing of it: a task
        // status, a feeder's open/close state or the reject vault's internal
        // status that is no number.
        {"status check (task status)", statusCheck.substr(0, 103) + "x", [&] { return cmd->CheckStatus(); }},
        {"status check (state)", "0" + std::string(12, '0') + "x" + std::string(7, '0'), [&] { return cmd->CheckStatus(); }},
        {"status check (vault's internal status)", "0" "000A" + std::string(6, '0'), [&] { return cmd->CheckStatus(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        model.CheckStatusData = "kept";
        port->QueueReply(c.reply);
        EXPECT_FALSE(c.send());
        ExpectCorruptReply();
        EXPECT_EQ(model.CheckStatusData, "kept");
        // The next command waits for a quiet line first and then works.
        quietWaits.clear();
        port->QueueReply("0");
        cmd->SendCommand("0", 20);
        EXPECT_EQ(quietWaits.size(), 1u);
        ExpectStatus(195, 48);
        EXPECT_FALSE(com->OutOfStep());
    }
    // Every shape the parsers can use passes, a bare status answers
    // anything: the reject vault's record besides eight cassettes, a status
    // check with the hoppers only, program ids of any length.
    for (const auto& [reply, send] : std::vector<std::pair<std::string, std::function<bool()>>>{
             {statusCheck, [&] { return cmd->CheckStatus(); }},
             {statusCheck + "0", [&] { return cmd->CheckStatus(); }},
             {"0" + std::string(30, '0'), [&] { return cmd->CheckStatus(); }},
             {"0" + std::string(90 - 10, '1'), [&] { return cmd->CheckStatus(); }},
             // An absent feeder's status and internal status are not shown;
             // the cassette ids are shown as they stand.
             {"0" "0000012345" "1x0yyABCDE" + statusCheck.substr(21), [&] { return cmd->CheckStatus(); }},
             {"M", [&] { return cmd->CheckStatus(); }},
             {"0" + std::string(56, '1'), [&] { return cmd->ReadCassetteIds(); }},
             {"0" + std::string(63, '1'), [&] { return cmd->ReadCassetteIds(); }},
             {"0" + std::string(45, '1'), [&] { return cmd->ReadLastStatus(); }},
             {"0" + std::string(20, '1'), [&] { return cmd->ReadProgramId(); }},
             {"010003" + std::string(45, '0'), [&] { cmd->Dispense('1', '0', {0, 3, 0, 0, 0, 0, 0, 0}); return true; }},
             {statusCheck, [&] { cmd->Dispense('1', '0', {0, 3, 0, 0, 0, 0, 0, 0}); return true; }},
         }) {
        port->QueueReply(reply);
        send();
        EXPECT_NE(model.StatusCode, 202) << reply;
        EXPECT_FALSE(com->OutOfStep()) << reply;
    }
}

TEST_F(LinkResync, LateReplyDuringTheQuietWaitIsDiscardedShownAndLogged)
{
    setenv("TZ", "UTC", 1);
    tzset();
    const fs::path log = fs::temp_directory_path() / ("kyd_resync_" + std::to_string(::getpid()) + ".log");
    fs::remove(log);
    options.settings.LoggingEnabled = true;
    options.settings.LogFile = log.string();
    options.settings.DateStamp = false;

    // The status check is answered 2 s late, inside the next command's quiet
    // wait of 1 s that starts when the 1.585 s time-out has passed.
    port->simulator.updateFaults([](sim::SimFaults& f) {
        f.lateMs = 2000;
        f.late = 1;
    });
    options.settings.ResyncMs = 1000;
    autoPassQuietWindows = false;
    TimedOutStatusCheck(true);
    com->QuietWaitHandler = [this](int ms) {
        quietWaits.push_back(ms);
        loop.postCall([this, ms] { clock.advance(ms + 100); });
    };
    port->QueueReply("0");
    cmd->SendCommand("3", 180);
    ExpectStatus(195, 48);
    ASSERT_EQ(quietWaits, (std::vector<int>{1000, 1000})); // the late reply, then quiet
    EXPECT_EQ(com->Discarded().substr(0, 1), "0");
    EXPECT_EQ(com->Discarded().back(), '\r');
    EXPECT_EQ(com->Discarded().size(), 108u); // status, 104 characters, checksum, CR

    const std::string shown = DiscardedLine(com->Discarded());
    EXPECT_EQ(shown.substr(0, 12), "Discarded: 0");
    EXPECT_EQ(shown.substr(shown.size() - 4), "<CR>");
    const std::vector<std::string> lines(comStrings.Lines.end() - 3, comStrings.Lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{shown, "Out: 333", "In : 030"}));

    std::ifstream in(log);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find(" In : \n12:03:"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find(" " + shown + "\n12:03:"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find(" Out: 333\n"), std::string::npos) << text.str();
    fs::remove(log);
}

TEST_F(LinkResync, QuietIntervalFollowsTheLineRateAndTheSetting)
{
    // Nothing to wait for while the link is in step.
    port->QueueReply("0");
    cmd->SendCommand("0", 20);
    EXPECT_TRUE(quietWaits.empty());

    auto waitAfterFailure = [&] {
        quietWaits.clear();
        TimedOutStatusCheck();
        port->QueueReply("0");
        cmd->SendCommand("0", 20);
        return quietWaits.empty() ? -1 : quietWaits.front();
    };
    // Three 110-character replies at 9600 baud take 344 ms; a dispenser may
    // answer later than that, so the wait is never under 2 s by default.
    EXPECT_EQ(waitAfterFailure(), 2000);
    ASSERT_EQ(com->Open(1, 1200, TParity::pEven, 7, 1, false), 1);
    EXPECT_EQ(waitAfterFailure(), 2750);
    options.settings.ResyncMs = 40;
    EXPECT_EQ(waitAfterFailure(), TCom::kMinResyncMs);
    options.settings.ResyncMs = 700;
    EXPECT_EQ(waitAfterFailure(), 700);
}

TEST_F(LinkResync, BytesThatCameBetweenCommandsAreShownAndLoggedAsDiscarded)
{
    const fs::path log = fs::temp_directory_path() / ("kyd_pending_" + std::to_string(::getpid()) + ".log");
    fs::remove(log);
    options.settings.LoggingEnabled = true;
    options.settings.LogFile = log.string();
    options.settings.TimeStamp = false;
    options.settings.DateStamp = false;
    port->QueueReply("0");
    cmd->SendCommand("0", 20);
    ASSERT_FALSE(com->OutOfStep());
    port->Inject(sim::frame("M"));
    EXPECT_FALSE(com->OutOfStep());
    port->QueueReply("0");
    cmd->SendCommand("0", 20);
    ExpectStatus(195, 48);
    // They answer nothing that waited: the line is out of step until it has
    // been quiet.
    EXPECT_EQ(quietWaits.size(), 1u);
    EXPECT_FALSE(com->OutOfStep());
    EXPECT_EQ(com->Discarded(), "M4=\r");
    const std::vector<std::string> lines(comStrings.Lines.end() - 3, comStrings.Lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{"Discarded: M4=<CR>", "Out: 030", "In : 030"}));
    std::ifstream in(log);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("Discarded: M4=<CR>\nOut: 030\nIn : 030\n"), std::string::npos) << text.str();
    fs::remove(log);
}

TEST_F(LinkResync, AbortDuringTheQuietWaitSendsNothing)
{
    TimedOutStatusCheck();
    const std::size_t written = port->written.size();
    com->QuietWaitHandler = [this](int) { loop.postCall([this] { cmd->Abort(); }); };
    cmd->SendCommand("0", 20);
    ExpectStatus(195, 205);
    EXPECT_EQ(port->written.size(), written);
    EXPECT_TRUE(com->OutOfStep());
    EXPECT_FALSE(cmd->Busy());
}

TEST_F(LinkResync, ReopenedPortIsInStep)
{
    TimedOutStatusCheck();
    ASSERT_EQ(com->Open(2, 9600, TParity::pEven, 7, 1, false), 2);
    EXPECT_FALSE(com->OutOfStep());
}

// On a line with a line time, a reply whose first character came before the
// command's last one had left is an earlier command's: set aside, shown and
// logged, and the command's own reply is waited for.
TEST_F(LinkResync, AReplyStartingBeforeTheCommandLeftTheLineIsStale)
{
    port->lineMicrosPerChar = 1042; // 9600 baud, 10 bits a character
    // Check throat goes out as 4 characters (4.2 ms); an "M" of an earlier
    // command arrives at once, the command's own "0" 30 ms later.
    port->QueueReply("M");
    port->onWrite = [this](const std::string&) {
        port->onWrite = nullptr;
        loop.postCall([this] {     // runs before the queued answer arrives,
            loop.postCall([this] { // this one after it
                clock.advance(30);
                port->Inject(sim::frame("0"));
            });
        });
    };
    cmd->SendCommand(":", 5);
    ExpectStatus(195, 48);
    EXPECT_EQ(com->Discarded().substr(0, 1), "M");
    EXPECT_EQ(com->Discarded().back(), '\r');
    EXPECT_FALSE(com->OutOfStep());
    const std::vector<std::string> lines(comStrings.Lines.end() - 3, comStrings.Lines.end());
    EXPECT_EQ(lines[0].substr(0, 5), "Out: ");
    EXPECT_EQ(lines[1], DiscardedLine(com->Discarded()));
    EXPECT_EQ(lines[2].substr(0, 6), "In : 0");

    // A reply that starts once the command is out is the command's own.
    port->QueueReply("0");
    port->onWrite = [this](const std::string&) {
        port->onWrite = nullptr;
        clock.advance(9); // 4.2 ms out, then 3 characters back
    };
    cmd->SendCommand(":", 5);
    ExpectStatus(195, 48);
    EXPECT_EQ(com->Discarded(), "");
}

} // namespace
} // namespace kyd::link::test
