// Scripts run through the serial library's port component against the
// simulator on a pseudo-terminal. Script delays run on the fake clock: while
// no exchange is under way, every turn of the message loop moves it on.
#include "link/TDLScript.h"
#include "support_pty_link.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <fstream>
#include <sstream>

namespace kyd::link::test {
namespace {

using platform::DlgResult;

// Main-window callbacks that record and restart the clock ticker whenever an
// exchange ends.
class TickingWindow final : public MainWindowCallbacks {
public:
    TickingWindow(FakeMainWindow& inner, std::function<void()> idle) : inner_(inner), idle_(std::move(idle)) {}
    void SetBusy(int state) override
    {
        inner_.SetBusy(state);
        if (state == 0)
            idle_();
    }
    void ShowStatusText(const std::string& r, const std::string& t, platform::TextCoding c) override
    {
        inner_.ShowStatusText(r, t, c);
    }
    void ShowInfoText(const std::string& t, platform::TextCoding c) override { inner_.ShowInfoText(t, c); }

private:
    FakeMainWindow& inner_;
    std::function<void()> idle_;
};

class E2eScripts : public PtyLinkFixture {
protected:
    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() / ("kyd_e2e_tdl_" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        options.settings.LogFile = (dir / "KYD.LOG").string();
        options.settings.ScriptFolder = dir.string() + "/";
        ctx.MainWindow = &window;
        OpenPort();
        simulator.withCore([](sim::SimCore& c) {
            for (int pos = 1; pos <= 4; ++pos)
                c.cassette(pos).state = sim::CassetteState::Open;
            return 0;
        });
        script = std::make_unique<TTDLScript>(cmd.get(), &model, &ctx);
        ticking = true;
        PostTick();
    }
    void TearDown() override
    {
        ticking = false;
        loop.processPending();
        script.reset();
        std::filesystem::remove_all(dir);
    }

    void PostTick()
    {
        if (tickPosted)
            return;
        tickPosted = true;
        loop.postCall([this] { Tick(); });
    }
    void Tick()
    {
        tickPosted = false;
        if (!ticking || cmd->Busy())
            return; // the end of the exchange starts the ticker again
        clock.advance(50);
        PostTick();
    }

    int RunText(const std::string& text, int n = 1)
    {
        scriptPath = (dir / "test.tdl").string();
        std::ofstream(scriptPath, std::ios::binary) << text;
        EXPECT_TRUE(script->Load(scriptPath));
        return script->Run(n);
    }
    // Commands the dispenser received since the last call, without checksum.
    std::vector<std::string> Commands()
    {
        std::vector<std::string> out;
        for (const std::string& f : TakeFrames(0, 0))
            out.push_back(f.size() >= 3 ? f.substr(0, f.size() - 3) : f);
        return out;
    }
    static int Count(const std::vector<std::string>& v, const std::string& c)
    {
        return static_cast<int>(std::count(v.begin(), v.end(), c));
    }
    std::vector<std::string> Dialogs(const std::string& kind = "messageDlg") const
    {
        std::vector<std::string> out;
        for (const auto& c : dialogs.calls())
            if (c.kind == kind)
                out.push_back(c.text);
        return out;
    }
    void Answer(const std::string& pattern, int nth, char status, bool always = false)
    {
        simulator.updateFaults([&](sim::SimFaults& f) {
            sim::ScriptedStatus s;
            s.pattern = pattern;
            s.nth = nth;
            s.status = status;
            s.always = always;
            f.scripted.push_back(s);
        });
    }

    TickingWindow window{mainWindow, [this] { PostTick(); }};
    std::filesystem::path dir;
    std::string scriptPath;
    std::unique_ptr<TTDLScript> script;
    bool ticking = false;
    bool tickPosted = false;
};

TEST_F(E2eScripts, SoftBreakOnAnEmptyCassetteWithThroatChecks)
{
    simulator.withCore([](sim::SimCore& c) { return c.cassette(2).notes = 3; });
    dialogs.queueResult(DlgResult::Yes);
    EXPECT_EQ(RunText("SOFT_BREAK_ON_EMPTY\n"
                      "LOOP 3\n"
                      "DISPENSE 0 2 0 0 0 0 0 0\n"
                      "DELIVER\n"
                      "CHECK_THROAT 5\n"
                      "ENDLOOP\n"
                      "RESET\n"),
              0);
    // Pass 1: two notes, deliver, throat checks until the notes are taken.
    // Pass 2: one note only, presented; empty cassette: the deliver is
    // skipped, the checks wait again. Then the question, Yes, and the line
    // after ENDLOOP.
    EXPECT_EQ(Commands(),
              (std::vector<std::string>{"102002", "3", ":", ":", ":", "102002", ":", ":", ":", "0"}));
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"32 Empty Cassette\nContinue with script after ENDLOOP?"});
    EXPECT_EQ(script->State(), TTDLScript::kLoaded);
    EXPECT_FALSE(cmd->Busy());
    EXPECT_FALSE(mainWindow.Busy());
}

TEST_F(E2eScripts, JamAbortThenContinueRunsThreeDispensesAndFourDelivers)
{
    // The operator takes the notes out of the throat before every dispense.
    onFrame = [this](const std::string& frame) {
        if (!frame.empty() && frame[0] == '1')
            simulator.withCore([](sim::SimCore& c) {
                for (int k = 0; k < 10 && c.throatNotes() > 0; ++k)
                    c.execute(":");
                return 0;
            });
    };
    Answer("3", 2, '9'); // the second deliver: jam in the note qualifier
    EXPECT_EQ(RunText("LOOP 3\nDISPENSE 0 2 0 0 0 0 0 0\nDELIVER\nENDLOOP\n"), -1);
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"39 Jam in Note Qualifier"});
    ASSERT_TRUE(script->CanRunAgain());
    // The jammed deliver again, in pass 2; the dispense before it is not.
    EXPECT_EQ(script->Resume(), 0);
    const std::vector<std::string> commands = Commands();
    EXPECT_EQ(Count(commands, "102002"), 3);
    EXPECT_EQ(Count(commands, "3"), 4);
    EXPECT_EQ(commands.size(), 7u);
    EXPECT_FALSE(mainWindow.Busy());
}

// The operator presses abort while a top-level DISPENSE waits for its
// reply: the simulator holds its answer back until the script has taken
// the abort, then the exchange runs to its end.
class E2eScriptAbort : public E2eScripts {
protected:
    void AbortDuringFirstFrameStartingWith(char c) { AbortDuringFrameStartingWith(c, 1); }
    // The nth frame (from 1) that starts with c.
    void AbortDuringFrameStartingWith(char c, int nth)
    {
        onFrame = [this, c, nth, seen = 0](const std::string& frame) mutable {
            if (frame.empty() || frame[0] != c || ++seen != nth || abortDone.exchange(true))
                return;
            TakeAbort();
        };
    }
    // Called on the simulator's thread: the script takes the abort before
    // the dispenser answers.
    void TakeAbort()
    {
        auto taken = std::make_shared<std::promise<void>>();
        loop.postCall([this, taken] {
            script->Abort();
            taken->set_value();
        });
        taken->get_future().wait_for(std::chrono::seconds(30));
    }
    std::atomic<bool> abortDone{false};
};

TEST_F(E2eScriptAbort, ContinueAfterADispenseThatEndedWellSendsTheNextStatementFirst)
{
    AbortDuringFirstFrameStartingWith('1');
    EXPECT_EQ(RunText("RESET\nDISPENSE 0 2 0 0 0 0 0 0\nDELIVER\nRESET\n"), -1);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"0", "102002"}));
    ExpectStatus(195, '0'); // "30 Successful Command"
    EXPECT_TRUE(Dialogs().empty());
    EXPECT_TRUE(script->IsAborted());

    ASSERT_TRUE(script->CanRunAgain());
    EXPECT_EQ(script->Resume(), 0);
    // Not the dispense again (the dispenser would refuse it with the notes
    // of the first in its throat, or pay out twice): the deliver.
    EXPECT_EQ(Commands(), (std::vector<std::string>{"3", "0"}));
    EXPECT_TRUE(Dialogs().empty());
    EXPECT_FALSE(mainWindow.Busy());
}

TEST_F(E2eScriptAbort, ContinueAfterADispenseThatFailedSendsItAgain)
{
    AbortDuringFirstFrameStartingWith('1');
    Answer("1*", 1, 'J'); // the first dispense only
    dialogs.queueResult(DlgResult::Ignore);
    EXPECT_EQ(RunText("DISPENSE 0 2 0 0 0 0 0 0\nDELIVER\n"), -1);
    EXPECT_EQ(Commands(), std::vector<std::string>{"102002"});
    EXPECT_EQ(Dialogs().size(), 1u);
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"102002", "3"}));
}

TEST_F(E2eScriptAbort, ContinueInsideALoopDoesNotDispenseAgainWhatWasPaidOut)
{
    // Abort while the dispense of pass 2 waits for its answer, which comes
    // back as success with the bundle presented: Continue goes on in pass 2
    // with its DELIVER and throat checks, then pass 3. Three passes, three
    // dispenses, three bundles paid out.
    AbortDuringFrameStartingWith('1', 2);
    const std::string loop3 = "LOOP 3\n"
                              "DISPENSE 1 0 0 0 0 0 0 0\n"
                              "DELIVER\n"
                              "CHECK_THROAT 5\n"
                              "ENDLOOP\n";
    EXPECT_EQ(RunText(loop3), -1);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"101001", "3", ":", ":", ":", "101001"}));
    EXPECT_TRUE(Dialogs().empty());
    EXPECT_EQ(script->ResumeCounter(), 2);

    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"3", ":", ":", ":", "101001", "3", ":", ":", ":"}));
    EXPECT_TRUE(Dialogs().empty());
    EXPECT_EQ(simulator.withCore([](sim::SimCore& c) { return 500 - c.cassette(1).notes; }), 3);
    EXPECT_EQ(simulator.withCore([](sim::SimCore& c) { return c.throatNotes() + c.stackNotes(); }), 0);
    EXPECT_EQ(script->State(), TTDLScript::kLoaded);
    EXPECT_FALSE(mainWindow.Busy());
}

TEST_F(E2eScriptAbort, ContinueInsideNestedLoopsGoesOnInThePassesUnderWay)
{
    // Stopped during the first B of the outer pass 2, which went well: both
    // loops keep their passes, and nothing that went well is sent again.
    Answer("*", 1, '0', true);
    AbortDuringFrameStartingWith('B', 3);
    const std::string text = "LOOP 2\n"
                             "STR_CMD A\n"
                             "LOOP 2\n"
                             "STR_CMD B\n"
                             "STR_CMD C\n"
                             "ENDLOOP\n"
                             "STR_CMD D\n"
                             "ENDLOOP\n"
                             "STR_CMD E\n";
    EXPECT_EQ(RunText(text), -1);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"A", "B", "C", "B", "C", "D", "A", "B"}));
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"C", "B", "C", "D", "E"}));
    EXPECT_TRUE(Dialogs().empty());
}

// The dispenser does not answer at all; every exchange ends at its
// time-out, which the fake clock reaches from inside the link's wait.
class E2eDeadLine : public E2eScriptAbort {
protected:
    void SetUp() override
    {
        E2eScriptAbort::SetUp();
        Dead(true);
        onFrame = [this](const std::string&) {
            const int n = ++frames;
            if (n == 1 && !abortDone.exchange(true)) {
                TakeAbort();
                if (secondAbort) {
                    // The second press of the abort button, with the script
                    // stopped already, cancels the exchange under way.
                    loop.postCall([this] { cmd->Abort(); });
                    return;
                }
            }
            if (dead)
                loop.postCall([this] { clock.advance(static_cast<std::int64_t>(com->PacketTimeoutTicks()) * 55 + 100); });
        };
    }
    void Dead(bool on)
    {
        dead = on;
        simulator.updateFaults([on](sim::SimFaults& f) { f.silent = on ? -1 : 0; });
    }
    std::atomic<int> frames{0};
    std::atomic<bool> dead{false};
    bool secondAbort = false;
};

TEST_F(E2eDeadLine, AbortStopsTheSelfTestSequenceAtItsNextExchange)
{
    // Thirteen exchanges in one statement: pressed during the first, the
    // abort lets no other go out.
    const std::int64_t start = clock.monotonicMs();
    EXPECT_EQ(RunText("SEND_SELFTESTDATA\nRESET\n"), -1);
    EXPECT_EQ(Commands(), std::vector<std::string>{"5"});
    EXPECT_LT(clock.monotonicMs() - start, 2 * 20'000); // one time-out, not thirteen
    EXPECT_TRUE(script->IsAborted());
    EXPECT_FALSE(mainWindow.Busy());

    // Continue on a line that answers again: the whole statement again.
    Dead(false);
    dialogs.clear();
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"5", "A", "G0", "G1", "G2", "G3", "G4", "G5", "G6", "G7",
                                                    "G8", "G9", "GA", "0"}));
    EXPECT_TRUE(Dialogs().empty());
}

TEST_F(E2eDeadLine, ASecondAbortEndsTheExchangeUnderWayAndTheStatement)
{
    secondAbort = true;
    const std::int64_t start = clock.monotonicMs();
    EXPECT_EQ(RunText("READ_CASS_ID\nRESET\n"), -1);
    EXPECT_EQ(Commands(), std::vector<std::string>{"5"});
    EXPECT_LT(clock.monotonicMs() - start, 20'000); // no time-out waited for
    ExpectStatus(195, 205);                          // "Communication Canceled"
    EXPECT_TRUE(Dialogs().empty());

    Dead(false);
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"5", "A", "0"}));
}

TEST_F(E2eScriptAbort, AReadOfCassetteIdsStoppedAfterItsFirstExchangeRunsAgain)
{
    // The cassette ids came back well, but the program id was not read:
    // Continue reads both.
    AbortDuringFirstFrameStartingWith('5');
    EXPECT_EQ(RunText("RESET\nREAD_CASS_ID\nRESET\n"), -1);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"0", "5"}));
    EXPECT_EQ(script->ResumeLine(), 1);
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"5", "A", "0"}));
    EXPECT_TRUE(Dialogs().empty());
}

TEST_F(E2eScripts, AnIgnoredFailureAtTheEndOfALoopHoldsBackTheDeliver)
{
    // Every dispense answered with a failure; Ignore once.
    Answer("1*", 1, 'J', true);
    dialogs.queueResult(DlgResult::Ignore);
    EXPECT_EQ(RunText("LOOP 1\nDISPENSE 0 2 0 0 0 0 0 0\nENDLOOP\nDELIVER\nRESET\n"), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"102002", "0"}));
    EXPECT_EQ(Dialogs().size(), 1u);

    // A loop that ended well lets it through.
    simulator.updateFaults([](sim::SimFaults& f) { f.scripted.clear(); });
    dialogs.clear();
    EXPECT_EQ(RunText("LOOP 1\nDISPENSE 0 2 0 0 0 0 0 0\nENDLOOP\nDELIVER\n"), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"102002", "3"}));
    EXPECT_TRUE(Dialogs().empty());
}

TEST_F(E2eScripts, WindowsLineEndsDelaysAndTheLogFile)
{
    const auto start = clock.monotonicMs();
    EXPECT_EQ(RunText("LOGFILE e2e.log\r\n"
                      "RESET\r\n"
                      "DELAY_SEC 10\r\n"
                      "STR_CMD A\r\n"),
              0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"0", "A"}));
    EXPECT_GE(clock.monotonicMs() - start, 9'000);
    std::ifstream in(dir / "e2e.log", std::ios::binary);
    std::stringstream log;
    log << in.rdbuf();
    EXPECT_NE(log.str().find("Opened by TDL script"), std::string::npos) << log.str();
    EXPECT_NE(log.str().find("Out: 030"), std::string::npos) << log.str();
    EXPECT_NE(log.str().find("Out: A41"), std::string::npos) << log.str();
    EXPECT_NE(log.str().find("In : 0"), std::string::npos) << log.str();
}

} // namespace
} // namespace kyd::link::test
