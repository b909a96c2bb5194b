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
    void ShowStatusText(const std::string& r, const std::string& t) override { inner_.ShowStatusText(r, t); }
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

TEST_F(E2eScripts, JamAbortThenContinueRunsFourDispensesAndFourDelivers)
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
    EXPECT_EQ(script->Resume(), 0);
    const std::vector<std::string> commands = Commands();
    EXPECT_EQ(Count(commands, "102002"), 4);
    EXPECT_EQ(Count(commands, "3"), 4);
    EXPECT_EQ(commands.size(), 8u);
    EXPECT_FALSE(mainWindow.Busy());
}

// The operator presses abort while a top-level DISPENSE waits for its
// reply: the simulator holds its answer back until the script has taken
// the abort, then the exchange runs to its end.
class E2eScriptAbort : public E2eScripts {
protected:
    void AbortDuringFirstFrameStartingWith(char c)
    {
        onFrame = [this, c](const std::string& frame) {
            if (frame.empty() || frame[0] != c || abortDone.exchange(true))
                return;
            auto taken = std::make_shared<std::promise<void>>();
            loop.postCall([this, taken] {
                script->Abort();
                taken->set_value();
            });
            taken->get_future().wait_for(std::chrono::seconds(30));
        };
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
