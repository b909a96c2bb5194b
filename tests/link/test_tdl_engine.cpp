// The script engine: loops, soft breaks, abort and resume, repeated runs,
// the guards against re-entry, the busy bracket, loading.
#include "support/stepping_clock.h"
#include "support_tdl_fixture.h"

#include <sys/stat.h>

namespace kyd::link::test {
namespace {

using platform::DlgResult;

class TdlEngine : public TdlFixture {
protected:
    // Before every dispense the operator has taken the notes of the last
    // deliver out of the throat.
    void OperatorEmptiesThroat()
    {
        port->simulator.setCommandHook([this](const std::string& frame) {
            if (!frame.empty() && frame[0] == '1')
                port->WithCore([](sim::SimCore& c) {
                    for (int k = 0; k < 10 && c.throatNotes() > 0; ++k)
                        c.execute(":");
                    return 0;
                });
        });
    }
};

const char* const kSoftBreakScript = "SOFT_BREAK_ON_EMPTY\n"
                                     "LOOP 3\n"
                                     "DISPENSE 0 2 0 0 0 0 0 0\n"
                                     "DELIVER\n"
                                     "CHECK_THROAT 5\n"
                                     "ENDLOOP\n"
                                     "RESET\n";

TEST_F(TdlEngine, SoftBreakOnEmptyCassetteContinuesAfterEndloopOnYes)
{
    port->WithCore([](sim::SimCore& c) { return c.cassette(2).notes = 3; });
    dialogs.queueResult(DlgResult::Yes);
    EXPECT_EQ(RunText(kSoftBreakScript), 0);
    // Pass 1: 2 notes, deliver, three throat checks (two with notes in the
    // throat). Pass 2: 1 note only, presented; empty cassette: no deliver,
    // three checks again. Then the question, Yes, and the line after ENDLOOP.
    EXPECT_EQ(Commands(),
              (std::vector<std::string>{"102002", "3", ":", ":", ":", "102002", ":", ":", ":", "0"}));
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"32 Empty Cassette\nContinue with script after ENDLOOP?"});
    EXPECT_EQ(dialogs.calls()[0].buttons, platform::DlgButtons::YesNo);
    EXPECT_TRUE(Dialogs("showMessage").empty());
    EXPECT_EQ(script->State(), TTDLScript::kLoaded);
}

TEST_F(TdlEngine, SoftBreakOnEmptyCassetteAbortsOnNo)
{
    port->WithCore([](sim::SimCore& c) { return c.cassette(2).notes = 3; });
    dialogs.queueResult(DlgResult::No);
    EXPECT_EQ(RunText(kSoftBreakScript), -1);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"102002", "3", ":", ":", ":", "102002", ":", ":", ":"}));
    EXPECT_EQ(script->ResumeCounter(), 2);
    EXPECT_EQ(script->ResumeLine(), 1);
    EXPECT_EQ(Dialogs("showMessage"), std::vector<std::string>{"File " + scriptPath + " aborted!"});
    EXPECT_TRUE(script->IsAborted());
}

TEST_F(TdlEngine, WithoutSoftBreakAnEmptyCassetteIsAnError)
{
    port->WithCore([](sim::SimCore& c) { return c.cassette(2).notes = 1; });
    EXPECT_EQ(RunText("DISPENSE 0 2 0 0 0 0 0 0\nDELIVER\n"), -1);
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"32 Empty Cassette"});
    EXPECT_EQ(Commands(), std::vector<std::string>{"102002"});
}

TEST_F(TdlEngine, SoftBreakAtTopLevelEndsTheRunAsAborted)
{
    port->WithCore([](sim::SimCore& c) { return c.cassette(2).notes = 1; });
    EXPECT_EQ(RunText("SOFT_BREAK_ON_EMPTY\nDISPENSE 0 2 0 0 0 0 0 0\nREJECT\nRESET\n"), -2);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"102002", "0"}));
    EXPECT_TRUE(Dialogs().empty());
    EXPECT_EQ(Dialogs("showMessage"), std::vector<std::string>{"File " + scriptPath + " aborted!"});
    EXPECT_TRUE(script->IsAborted());
}

TEST_F(TdlEngine, JamAbortThenContinueRepeatsOnlyTheFailedDeliver)
{
    OperatorEmptiesThroat();
    Answer("3", 2, '9'); // the second deliver: jam in the note qualifier
    const int first = RunText("LOOP 3\nDISPENSE 0 2 0 0 0 0 0 0\nDELIVER\nENDLOOP\n");
    EXPECT_EQ(first, -1);
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"39 Jam in Note Qualifier"});
    EXPECT_EQ(script->ResumeLine(), 0);
    EXPECT_EQ(script->ResumeCounter(), 2);
    ASSERT_TRUE(script->CanRunAgain());

    // The jammed deliver of pass 2 again, not the dispense before it; then
    // pass 3.
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(CountCommands("102002"), 3);
    EXPECT_EQ(CountCommands("3"), 4);
    EXPECT_EQ(Commands().size(), 7u);
    EXPECT_EQ(script->State(), TTDLScript::kLoaded);
    EXPECT_EQ(mainWindow.BusyCalls.back(), 3);
    EXPECT_FALSE(mainWindow.Busy());
}

TEST_F(TdlEngine, NestedLoopsRunEveryIteration)
{
    Answer("*", 1, '0', true);
    EXPECT_EQ(RunText("LOOP 2\n"
                      "STR_CMD A\n"
                      "LOOP 3\n"
                      "STR_CMD B\n"
                      "ENDLOOP\n"
                      "LOOP 0\n"
                      "STR_CMD C\n"
                      "ENDLOOP\n"
                      "ENDLOOP\n"
                      "STR_CMD D\n"),
              0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"A", "B", "B", "B", "A", "B", "B", "B", "D"}));
}

TEST_F(TdlEngine, AbortAndResumeInsideNestedLoops)
{
    // Outer iteration 2, inner iteration 2 fails; Abort.
    Answer("B", 5, 'C');
    Answer("*", 1, '0', true);
    EXPECT_EQ(RunText("LOOP 2\n"
                      "STR_CMD A\n"
                      "LOOP 3\n"
                      "STR_CMD B\n"
                      "ENDLOOP\n"
                      "ENDLOOP\n"
                      "STR_CMD D\n"),
              -1);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"A", "B", "B", "B", "A", "B", "B"}));
    // Both loops keep their passes: the failed B of inner pass 2 runs
    // again, then inner pass 3.
    EXPECT_EQ(script->ResumeLine(), 0);
    EXPECT_EQ(script->ResumeCounter(), 2);
    ClearCommands();
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"B", "B", "D"}));
}

TEST_F(TdlEngine, ResumeAtTopLevelReentersTheFailedStatement)
{
    Answer("X", 1, '6');
    Answer("*", 1, '0', true);
    EXPECT_EQ(RunText("RESET\nSTR_CMD X\nREAD_CASS_NR\n"), -1);
    EXPECT_EQ(script->ResumeLine(), 1);
    ClearCommands();
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"X", "5"}));
    // Not aborted any more: nothing to resume.
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(Commands().size(), 2u);
}

// The operator presses abort while the reply to the n-th frame that starts
// with the text is on its way.
class TdlEngineAbort : public TdlEngine {
protected:
    void AbortOnFrame(const std::string& start, int n)
    {
        port->onWrite = [this, start, n, seen = 0](const std::string& frame) mutable {
            if (frame.compare(0, start.size(), start) == 0 && ++seen == n)
                loop.postCall([this] { script->Abort(); });
        };
    }
    void TearDown() override
    {
        port->onWrite = nullptr;
        TdlEngine::TearDown();
    }
};

TEST_F(TdlEngineAbort, ContinueAfterATopLevelStatementThatEndedWellStartsWithTheNext)
{
    Answer("*", 1, '0', true);
    AbortOnFrame("B", 1);
    EXPECT_EQ(RunText("STR_CMD A\nSTR_CMD B\nSTR_CMD C\n"), -1);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(script->ResumeLine(), 2);
    ClearCommands();
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(Commands(), std::vector<std::string>{"C"});
}

TEST_F(TdlEngineAbort, ContinueRetriesATopLevelStatementThatFailed)
{
    // Ignored in its dialog or not, a failed statement is sent again.
    Answer("B", 1, '6');
    Answer("*", 1, '0', true);
    AbortOnFrame("B", 1);
    dialogs.queueResult(DlgResult::Ignore);
    EXPECT_EQ(RunText("STR_CMD A\nSTR_CMD B\nSTR_CMD C\n"), -1);
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"36 Failure to Feed"});
    EXPECT_EQ(script->ResumeLine(), 1);
    ClearCommands();
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"B", "C"}));
}

TEST_F(TdlEngineAbort, ALoopThatRanAllItsPassesIsNotRepeated)
{
    // Stopped during the last exchange of the last pass, which went well:
    // Continue goes on after ENDLOOP.
    Answer("*", 1, '0', true);
    AbortOnFrame("A", 2);
    EXPECT_EQ(RunText("STR_CMD X\nLOOP 2\nSTR_CMD A\nENDLOOP\nSTR_CMD B\n"), -1);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"X", "A", "A"}));
    EXPECT_EQ(script->ResumeLine(), 4);
    EXPECT_EQ(script->ResumeCounter(), 0);
    ClearCommands();
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(Commands(), std::vector<std::string>{"B"});
}

TEST_F(TdlEngineAbort, ALoopWhoseLastExchangeFailedRunsItsLastPassAgain)
{
    Answer("A", 3, '6');
    Answer("*", 1, '0', true);
    AbortOnFrame("A", 3);
    dialogs.queueResult(DlgResult::Ignore);
    EXPECT_EQ(RunText("LOOP 3\nSTR_CMD A\nENDLOOP\nSTR_CMD B\n"), -1);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"A", "A", "A"}));
    EXPECT_EQ(script->ResumeLine(), 0);
    EXPECT_EQ(script->ResumeCounter(), 3);
    ClearCommands();
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"A", "B"}));
}

TEST_F(TdlEngineAbort, InsideALoopContinueGoesOnInThePassUnderWay)
{
    // Stopped during the command of pass 2 that went well: Continue goes on
    // after it in pass 2, then pass 3.
    Answer("*", 1, '0', true);
    AbortOnFrame("D", 2);
    EXPECT_EQ(RunText("LOOP 3\nSTR_CMD D\nSTR_CMD E\nENDLOOP\n"), -1);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"D", "E", "D"}));
    EXPECT_EQ(script->ResumeCounter(), 2);
    ClearCommands();
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"E", "D", "E"}));
}

TEST_F(TdlEngine, AbortAfterTheLastPassOfALoopSendsItsFailedPollAgain)
{
    // The POLL that ends the last pass fails; its check after ENDLOOP is
    // answered Abort: Continue sends that POLL again in the last pass, not
    // the pass's A that went well, nor the whole loop.
    Answer("X", 2, '6');
    Answer("*", 1, '0', true);
    dialogs.queueResult(DlgResult::Abort);
    EXPECT_EQ(RunText("LOOP 2\nSTR_CMD A\nPOLL X\nENDLOOP\nSTR_CMD B\n"), -1);
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"36 Failure to Feed"});
    EXPECT_EQ(Commands(), (std::vector<std::string>{"A", "X", "A", "X"}));
    EXPECT_EQ(script->ResumeLine(), 0);
    EXPECT_EQ(script->ResumeCounter(), 2);
    ClearCommands();
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"X", "B"}));
}

TEST_F(TdlEngineAbort, AFailureIgnoredBeforeTheStopStillHoldsBackTheDeliverAfterContinue)
{
    // X fails and is ignored; the stop takes effect after A, which went
    // well: Continue goes on with the DELIVER, which stays held back.
    Answer("X", 1, '6');
    Answer("Y", 1, '6');
    Answer("*", 1, '0', true);
    AbortOnFrame("A", 1);
    dialogs.queueResult(DlgResult::Ignore);
    EXPECT_EQ(RunText("STR_CMD X\nSTR_CMD A\nDELIVER\nREJECT\nSTR_CMD B\n"), -1);
    EXPECT_EQ(script->ResumeLine(), 2);
    ClearCommands();
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(Commands(), std::vector<std::string>{"B"});

    // The same when the stop comes inside a loop after the failure: the
    // pass under way goes on, and the DELIVER after the loop is held back.
    ClearCommands();
    dialogs.clear();
    AbortOnFrame("A", 2);
    dialogs.queueResult(DlgResult::Ignore);
    EXPECT_EQ(RunText("STR_CMD Y\nLOOP 2\nSTR_CMD A\nSTR_CMD C\nENDLOOP\nDELIVER\nSTR_CMD B\n"), -1);
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"36 Failure to Feed"});
    EXPECT_EQ(script->ResumeCounter(), 2);
    ClearCommands();
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"C", "B"}));

    // Without a failure before it the DELIVER goes out after Continue.
    ClearCommands();
    AbortOnFrame("A", 1);
    EXPECT_EQ(RunText("STR_CMD A\nDELIVER\n"), -1);
    ClearCommands();
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(Commands(), std::vector<std::string>{"3"});
}

TEST_F(TdlEngineAbort, ContinueAfterAStopDuringADelayAPollOrAThroatCheck)
{
    Answer("P", 2, '6');
    Answer(":", 1, 'M', true);
    Answer("*", 1, '0', true);
    // A delay the abort cut short runs again, in full.
    bool stopped = false;
    onTick = [&] {
        if (!stopped && !cmd->Busy() && CountCommands("A") == 1) {
            stopped = true;
            script->Abort();
        }
    };
    EXPECT_EQ(RunText("STR_CMD A\nDELAY_SEC 5\nSTR_CMD B\n"), -1);
    EXPECT_EQ(script->ResumeLine(), 1);
    onTick = nullptr;
    const std::int64_t start = clock.monotonicMs();
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_GE(clock.monotonicMs() - start, 4000);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"A", "B"}));

    // A POLL that went well is not sent again, one that failed is; neither
    // asks.
    AbortOnFrame("P", 1);
    EXPECT_EQ(RunText("POLL P\nSTR_CMD B\n"), -1);
    EXPECT_EQ(script->ResumeLine(), 1);
    AbortOnFrame("P", 1);
    EXPECT_EQ(RunText("POLL P\nSTR_CMD B\n"), -1);
    EXPECT_EQ(script->ResumeLine(), 0);
    EXPECT_TRUE(Dialogs().empty());

    // A throat check stopped with the notes still in the throat: its check
    // shows that, and Continue checks the throat again.
    AbortOnFrame(":", 1);
    dialogs.queueResult(DlgResult::Ignore);
    EXPECT_EQ(RunText("CHECK_THROAT 5\nSTR_CMD B\n"), -1);
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"4D Notes In Bundle Output Unit"});
    EXPECT_EQ(script->ResumeLine(), 0);
    ClearCommands();
    AbortOnFrame(":", 2);
    dialogs.queueResult(DlgResult::Ignore);
    EXPECT_EQ(script->Resume(), -1);
    EXPECT_EQ(Commands(), (std::vector<std::string>{":", ":"}));
}

TEST_F(TdlEngineAbort, InsideALoopContinueKeepsThePassAsItWas)
{
    // X fails in pass 1 and is ignored; the stop comes after A, which went
    // well. Continue goes on in pass 1 with its DELIVER still held back,
    // then runs pass 2 in full.
    Answer("X", 1, '6');
    Answer("*", 1, '0', true);
    AbortOnFrame("A", 1);
    dialogs.queueResult(DlgResult::Ignore);
    EXPECT_EQ(RunText("LOOP 2\nSTR_CMD X\nSTR_CMD A\nDELIVER\nENDLOOP\n"), -1);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"X", "A"}));
    ClearCommands();
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"X", "A", "3"}));
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"36 Failure to Feed"});
}

TEST_F(TdlEngineAbort, InsideALoopADelayCutShortRunsAgainInFull)
{
    Answer("*", 1, '0', true);
    bool stopped = false;
    onTick = [&] {
        if (!stopped && !cmd->Busy() && CountCommands("A") == 2) {
            stopped = true;
            script->Abort();
        }
    };
    EXPECT_EQ(RunText("LOOP 2\nSTR_CMD A\nDELAY_SEC 5\nSTR_CMD B\nENDLOOP\n"), -1);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"A", "B", "A"}));
    onTick = nullptr;
    ClearCommands();
    const std::int64_t start = clock.monotonicMs();
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_GE(clock.monotonicMs() - start, 4000);
    EXPECT_EQ(Commands(), std::vector<std::string>{"B"});
}

TEST_F(TdlEngine, APassThatBrokeOffAndWasNotToGoOnContinuesWithTheStatementThatBrokeIt)
{
    // Pass 2's E finds a cassette empty; the operator does not go on after
    // ENDLOOP. Continue sends E again in pass 2 (the A before it went well),
    // then the rest of the script.
    Answer("E", 2, '2');
    Answer("*", 1, '0', true);
    dialogs.queueResult(DlgResult::No);
    EXPECT_EQ(RunText("SOFT_BREAK_ON_EMPTY\nLOOP 2\nSTR_CMD A\nSTR_CMD E\nSTR_CMD C\nENDLOOP\nSTR_CMD Z\n"), -1);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"A", "E", "C", "A", "E", "C"}));
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"32 Empty Cassette\nContinue with script after ENDLOOP?"});
    ClearCommands();
    dialogs.clear();
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"E", "C", "Z"}));
    EXPECT_TRUE(Dialogs().empty());
}

TEST_F(TdlEngine, ALaterTopLevelAbortDoesNotInheritAnOldLoopIteration)
{
    Answer("A", 2, '6');
    Answer("B", 1, '6');
    Answer("*", 1, '0', true);
    const std::string text = "LOOP 2\nSTR_CMD A\nENDLOOP\nSTR_CMD B\nLOOP 3\nSTR_CMD C\nENDLOOP\n";
    EXPECT_EQ(RunText(text), -1); // A fails in pass 2
    EXPECT_EQ(script->ResumeCounter(), 2);
    EXPECT_EQ(script->Resume(), -1); // A again, then B fails at top level
    EXPECT_EQ(script->ResumeLine(), 3);
    EXPECT_EQ(script->ResumeCounter(), 0);
    ClearCommands();
    EXPECT_EQ(script->Resume(), 0);
    // B again, then all three passes of the second loop.
    EXPECT_EQ(Commands(), (std::vector<std::string>{"B", "C", "C", "C"}));
}

TEST_F(TdlEngine, MissingEndloopAbortsWithTheZeroBasedLine)
{
    EXPECT_EQ(RunText("RESET\n// x\n%\n#\nLOOP 2\nLOOP 3\nRESET\nENDLOOP\nRESET\n"), -1);
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"Missing matching ENDLOOP\nline: 4"});
    EXPECT_EQ(Commands(), std::vector<std::string>{"0"});
    EXPECT_TRUE(script->IsAborted());
}

TEST_F(TdlEngine, OneFailureAsksTheOperatorOnce)
{
    // The body ends with a failed exchange that was ignored inside: ENDLOOP
    // does not ask again, but the failure holds back the DELIVER after the
    // loop as it would without the loop.
    Answer("X", 1, '6', true);
    dialogs.queueResult(DlgResult::Ignore);
    EXPECT_EQ(RunText("LOOP 1\nSTR_CMD X\nENDLOOP\nDELIVER\nRESET\n"), 0);
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"36 Failure to Feed"});
    EXPECT_EQ(Commands(), (std::vector<std::string>{"X", "0"}));

    // A POLL is never checked where it stands; a body that ends with it is
    // checked after ENDLOOP.
    ClearCommands();
    dialogs.clear();
    dialogs.queueResult(DlgResult::Ignore);
    EXPECT_EQ(RunText("LOOP 1\nPOLL X\nENDLOOP\nDELIVER\nRESET\n"), 0);
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"36 Failure to Feed"});
    EXPECT_EQ(Commands(), (std::vector<std::string>{"X", "0"}));
}

TEST_F(TdlEngine, AnIgnoredFailureThatEndsALoopHoldsBackTheDeliverAfterIt)
{
    // Every dispense fails (jam); the operator ignores it once, inside the
    // loop, and no DELIVER or REJECT goes out after it, in this range or the
    // ranges around it.
    Answer("1*", 1, 'J', true);
    dialogs.queueResult(DlgResult::Ignore);
    EXPECT_EQ(RunText("LOOP 1\nDISPENSE 0 2 0 0 0 0 0 0\nENDLOOP\nDELIVER\nREJECT\nRESET\n"), 0);
    ASSERT_EQ(Dialogs().size(), 1u);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"102002", "0"}));

    ClearCommands();
    dialogs.clear();
    dialogs.queueResult(DlgResult::Ignore);
    EXPECT_EQ(RunText("LOOP 1\nLOOP 1\nDISPENSE 0 2 0 0 0 0 0 0\nENDLOOP\nDELIVER\nENDLOOP\nDELIVER\n"), 0);
    EXPECT_EQ(Dialogs().size(), 1u);
    EXPECT_EQ(Commands(), std::vector<std::string>{"102002"});
}

TEST_F(TdlEngine, ALoopWhoseLastExchangeWentWellLetsTheDeliverThrough)
{
    EXPECT_EQ(RunText("LOOP 1\nDISPENSE 0 2 0 0 0 0 0 0\nENDLOOP\nDELIVER\n"), 0);
    EXPECT_TRUE(Dialogs().empty());
    EXPECT_EQ(Commands(), (std::vector<std::string>{"102002", "3"}));

    // The body's last exchange is what counts: an ignored failure before
    // it held back only the body's own DELIVER.
    ClearCommands();
    Answer("X", 1, '6');
    Answer("*", 1, '0', true);
    dialogs.queueResult(DlgResult::Ignore);
    EXPECT_EQ(RunText("LOOP 1\nSTR_CMD X\nDELIVER\nRESET\nENDLOOP\nDELIVER\n"), 0);
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"36 Failure to Feed"});
    EXPECT_EQ(Commands(), (std::vector<std::string>{"X", "0", "3"}));

    // Nested: the inner loop's ignored failure holds back the DELIVER of
    // the outer body; the outer body's last exchange went well, so the
    // DELIVER after the outer ENDLOOP goes out.
    ClearCommands();
    dialogs.clear();
    port->simulator.updateFaults([](sim::SimFaults& f) { f.scripted.clear(); });
    Answer("X", 1, '6');
    Answer("*", 1, '0', true);
    dialogs.queueResult(DlgResult::Ignore);
    EXPECT_EQ(RunText("LOOP 1\nLOOP 1\nSTR_CMD X\nENDLOOP\nDELIVER\nSTR_CMD Y\nENDLOOP\nDELIVER\n"), 0);
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"36 Failure to Feed"});
    EXPECT_EQ(Commands(), (std::vector<std::string>{"X", "Y", "3"}));
}

TEST_F(TdlEngine, SoftBreakAnsweredYesGoesOnAfterEndloop)
{
    // The inner body's last exchange is the empty cassette itself: after
    // the question the status check after ENDLOOP breaks the enclosing body
    // off too, so its DELIVER is not sent; the outer loop asks again, and
    // the soft break reaching the top level ends the run as aborted after
    // RESET.
    port->WithCore([](sim::SimCore& c) { return c.cassette(2).notes = 1; });
    dialogs.queueResult(DlgResult::Yes);
    dialogs.queueResult(DlgResult::Yes);
    EXPECT_EQ(RunText("SOFT_BREAK_ON_EMPTY\n"
                      "LOOP 1\n"
                      "LOOP 2\n"
                      "DISPENSE 0 2 0 0 0 0 0 0\n"
                      "ENDLOOP\n"
                      "DELIVER\n"
                      "ENDLOOP\n"
                      "RESET\n"),
              TTDLScript::kSoftBreak);
    const std::string question = "32 Empty Cassette\nContinue with script after ENDLOOP?";
    EXPECT_EQ(Dialogs(), (std::vector<std::string>{question, question}));
    EXPECT_EQ(Commands(), (std::vector<std::string>{"102002", "0"}));
    ASSERT_EQ(Dialogs("showMessage").size(), 1u);
    EXPECT_NE(Dialogs("showMessage")[0].find(" aborted!"), std::string::npos);
    EXPECT_EQ(script->State(), TTDLScript::kAbortedState);
}

TEST_F(TdlEngine, AFailureIgnoredAfterASoftBreakIsNotAskedAgainAtEndloop)
{
    // The pass breaks off softly (empty cassette), then its last exchange
    // fails and the operator ignores it: after the question about the soft
    // break that failure is not asked about again, and it still holds back
    // the DELIVER and REJECT after ENDLOOP.
    Answer("E", 1, '2', true);
    Answer("X", 1, '6', true);
    Answer("*", 1, '0', true);
    dialogs.queueResult(DlgResult::Ignore);
    dialogs.queueResult(DlgResult::Yes);
    EXPECT_EQ(RunText("SOFT_BREAK_ON_EMPTY\nLOOP 1\nSTR_CMD E\nSTR_CMD X\nENDLOOP\nDELIVER\nREJECT\nRESET\n"), 0);
    EXPECT_EQ(Dialogs(), (std::vector<std::string>{"36 Failure to Feed",
                                                   "32 Empty Cassette\nContinue with script after ENDLOOP?"}));
    EXPECT_EQ(Commands(), (std::vector<std::string>{"E", "X", "0"}));
}

TEST_F(TdlEngine, DeeplyNestedLoopsRunAndResume)
{
    // 40,000 levels: no native recursion, and each LOOP finds its ENDLOOP
    // without scanning the rest of the script again.
    constexpr int kLevels = 40'000;
    std::string text;
    for (int k = 0; k < kLevels; ++k)
        text += k == kLevels - 1 ? "LOOP 2\n" : "LOOP 1\n";
    text += "STR_CMD X\n";
    std::string closing;
    for (int k = 0; k < kLevels; ++k)
        closing += "ENDLOOP\n";
    Answer("X", 2, '6');
    Answer("*", 1, '0', true);
    EXPECT_EQ(RunText(text + closing + "RESET\n"), -1);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"X", "X"}));
    EXPECT_EQ(script->ResumeLine(), 0);
    EXPECT_EQ(script->ResumeCounter(), 1);
    ClearCommands();
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"X", "0"}));

    // One ENDLOOP short: the outermost LOOP has none.
    dialogs.clear();
    ClearCommands();
    EXPECT_EQ(RunText(text + closing.substr(8) + "RESET\n"), -1);
    EXPECT_EQ(Dialogs(), std::vector<std::string>{"Missing matching ENDLOOP\nline: 0"});
    EXPECT_TRUE(Commands().empty());
}

TEST_F(TdlEngine, LongLoopsLetMessagesThroughAndStopOnAbort)
{
    kyd::test::SteppingClock stepping(clock);
    kyd::test::ClockRestore restore{&clock};
    ticking = false;

    // A loop around a comment, and loops with empty bodies, nested.
    for (const char* text : {"LOOP 100000000\n// idle\nENDLOOP\nRESET\n",
                             "LOOP 100000000\nLOOP 100000000\nENDLOOP\nENDLOOP\nRESET\n"}) {
        SCOPED_TRACE(text);
        scriptPath = Write("long.tdl", text);
        ASSERT_TRUE(script->Load(scriptPath));
        // A message posted to the loop, again and again: it records when it
        // got through, and the operator aborts after 100 ms.
        std::vector<std::int64_t> seen;
        bool watching = true;
        std::function<void()> watch = [&] {
            if (!watching)
                return;
            seen.push_back(clock.monotonicMs());
            if (seen.back() - seen.front() >= 100 && !script->IsAborted())
                script->Abort();
            loop.postCall(watch);
        };
        loop.postCall(watch);
        platform::setClock(&stepping);
        EXPECT_EQ(script->Run(1), -1);
        platform::setClock(&clock);
        watching = false;
        loop.processPending();

        EXPECT_TRUE(Commands().empty());
        EXPECT_TRUE(script->IsAborted());
        ASSERT_GE(seen.size(), 2u);
        for (std::size_t k = 1; k < seen.size(); ++k)
            EXPECT_LE(seen[k] - seen[k - 1], 10) << "messages waited for " << seen[k] - seen[k - 1] << " ms";
        EXPECT_LE(seen.back() - seen.front(), 110);
    }
}

TEST_F(TdlEngine, RunRepeatsAndStopsAfterAnAbortedPass)
{
    EXPECT_EQ(RunText("RESET\n", 3), 0);
    EXPECT_EQ(Commands().size(), 3u);
    EXPECT_EQ(script->State(), TTDLScript::kLoaded);
    EXPECT_EQ(mainWindow.BusyCalls.front(), 2);
    EXPECT_EQ(mainWindow.BusyCalls.back(), 3);
    EXPECT_EQ(std::count(mainWindow.BusyCalls.begin(), mainWindow.BusyCalls.end(), 2), 1);

    ClearCommands();
    Answer("0", 2, '6');
    EXPECT_EQ(script->Run(5), -1);
    EXPECT_EQ(Commands().size(), 2u);
    EXPECT_TRUE(script->IsAborted());
}

TEST_F(TdlEngine, RunWithACountBelowOneRunsNothing)
{
    ASSERT_TRUE(script->Load(Write("a.tdl", "RESET\n")));
    EXPECT_EQ(script->Run(0), 0);
    EXPECT_EQ(script->Run(-2), 0);
    EXPECT_TRUE(Commands().empty());
    EXPECT_TRUE(mainWindow.BusyCalls.empty());
    EXPECT_TRUE(mainWindow.InfoTexts.empty());
}

TEST_F(TdlEngine, NothingRunsBeforeALoad)
{
    EXPECT_EQ(script->Run(1), 0);
    EXPECT_EQ(script->Resume(), 0);
    script->Abort(); // idle abort: aborted state, still nothing to run
    EXPECT_TRUE(script->IsAborted());
    EXPECT_EQ(script->Resume(), 0);
    EXPECT_EQ(script->Run(1), 0);
    EXPECT_TRUE(mainWindow.BusyCalls.empty());
}

TEST_F(TdlEngine, NoLoadRunOrResumeWhileAScriptRuns)
{
    const std::string other = Write("other.tdl", "STR_CMD OTHER\n");
    TTDLScript second(cmd.get(), &model, &ctx);
    ASSERT_TRUE(second.Load(other));
    bool tried = false;
    int loadOk = -1, runResult = -1, secondRun = -1, secondResume = -1;
    onTick = [&] {
        if (tried || !script->IsRunning())
            return;
        tried = true;
        loadOk = script->Load(other);
        runResult = script->Run(1);
        secondRun = second.Run(1);
        second.Abort();
        secondResume = second.Resume();
    };
    EXPECT_TRUE(TTDLScript::AnyRunning() == false);
    EXPECT_EQ(RunText("DELAY_SEC 2\nRESET\n"), 0);
    EXPECT_TRUE(tried);
    EXPECT_EQ(loadOk, 0);
    EXPECT_EQ(runResult, 0);
    EXPECT_EQ(secondRun, 0);
    EXPECT_EQ(secondResume, 0);
    EXPECT_EQ(Commands(), std::vector<std::string>{"0"});
    EXPECT_EQ(script->FileName(), scriptPath);
    EXPECT_FALSE(TTDLScript::AnyRunning());
}

// A port gone when a statement sends ends the run as the operator's abort
// does: the port's message, the "aborted!" box, Continue with that
// statement (formerly the library's exception passed on to the caller).
// Any other exception ends the run aborted and passes on. Either way the
// busy bracket is closed.
TEST_F(TdlEngine, AnExceptionEndsTheRunAbortedAndClosesTheBusyBracket)
{
    const auto endedAborted = [this](const char* how) {
        EXPECT_TRUE(script->IsAborted()) << how;
        EXPECT_FALSE(TTDLScript::AnyRunning()) << how;
        ASSERT_FALSE(mainWindow.BusyCalls.empty()) << how;
        EXPECT_EQ(mainWindow.BusyCalls.front(), 2) << how;
        EXPECT_EQ(mainWindow.BusyCalls.back(), 3) << how;
        EXPECT_FALSE(mainWindow.Busy()) << how;
        EXPECT_EQ(script->ResumeLine(), 1) << how;
        mainWindow.BusyCalls.clear();
    };

    com->Port().Close(); // sending now raises the library's exception
    const std::string path = Write("a.tdl", "% go\nRESET\n");
    ASSERT_TRUE(script->Load(path));
    EXPECT_EQ(script->Run(2), TTDLScript::kAborted);
    endedAborted("port gone, Run");
    const std::vector<std::string> said = Dialogs();
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find("ie_"), std::string::npos) << said[0];
    EXPECT_EQ(Dialogs("showMessage"), std::vector<std::string>{"File " + path + " aborted!"});
    dialogs.clear();
    EXPECT_EQ(script->Resume(), TTDLScript::kAborted);
    endedAborted("port gone, Resume");
    EXPECT_EQ(Dialogs().size(), 1u);
    EXPECT_EQ(Dialogs("showMessage").size(), 1u);

    script->ShowCassetteDialog = [](Protokoll&) { throw std::runtime_error("the window failed"); };
    ASSERT_TRUE(script->Load(Write("b.tdl", "% go\nSHOW_CASSETTE_DLG\n")));
    com->Port().Open(com->Port().Settings());
    EXPECT_THROW(script->Run(2), std::runtime_error);
    endedAborted("another exception, Run");
    EXPECT_THROW(script->Resume(), std::runtime_error);
    endedAborted("another exception, Resume");
}

TEST_F(TdlEngine, RunResetsTheCountersAndFlags)
{
    model.DispenseCount = 7;
    port->WithCore([](sim::SimCore& c) { c.config().takeNotesAfterMs = 0; }); // taken at once
    EXPECT_EQ(RunText("CHANGE_TELLER 1\nSOFT_BREAK_ON_EMPTY\nIGNORE_SYNTAX\nTRACE ON\nDISPENSE 0 1 0 0 0 0 0 0\n"), 0);
    EXPECT_EQ(model.DispenseCount, 1);
    EXPECT_EQ(Commands(), std::vector<std::string>{"112001"});
    ClearCommands();
    EXPECT_EQ(script->Run(1), 0);
    EXPECT_EQ(Commands(), std::vector<std::string>{"112001"});
    EXPECT_EQ(script->DispenseCounter(), 1);
    // Trace stays on across runs of the loaded script, a new load clears it.
    EXPECT_TRUE(script->Trace());
    ASSERT_TRUE(script->Load(scriptPath));
    EXPECT_FALSE(script->Trace());
    EXPECT_FALSE(script->IsAborted());
}

TEST_F(TdlEngine, AFatalStatusIsNotForgottenAtTheNextRun)
{
    Answer("0", 1, 'C');
    EXPECT_EQ(RunText("RESET\n"), -1);
    EXPECT_EQ(model.FatalMark, 3);
    EXPECT_EQ(model.StatusClass, 199);
    // A script without exchanges: the class is left as it was.
    EXPECT_EQ(RunText("% nothing\n"), 0);
    EXPECT_EQ(model.StatusClass, 199);
}

// A FIFO would block the tool for ever and a folder cannot be read: both
// are refused at once with the file error's text, and the script loaded
// before stays.
TEST_F(TdlEngine, FifoOrFolderAsScriptIsRefusedAtOnce)
{
    ASSERT_TRUE(script->Load(Write("a.tdl", "RESET\n")));
    const std::filesystem::path fifo = dir / "fifo.tdl";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo.string(), dir.string()}) {
        SCOPED_TRACE(path);
        try {
            script->Load(path);
            ADD_FAILURE() << "loaded";
        } catch (const std::runtime_error& e) {
            const std::string text = "Cannot open file \"" + path + "\". ";
            EXPECT_EQ(std::string(e.what()).substr(0, text.size()), text);
            EXPECT_NE(std::string(e.what()).find("Not a regular file"), std::string::npos) << e.what();
        }
        EXPECT_EQ(script->Lines(), std::vector<std::string>{"RESET"});
    }
}

TEST_F(TdlEngine, LoadingAFileThatCannotBeReadChangesNothing)
{
    ASSERT_TRUE(script->Load(Write("a.tdl", "RESET\n")));
    EXPECT_THROW(script->Load((dir / "missing.tdl").string()), std::runtime_error);
    EXPECT_EQ(script->Lines(), std::vector<std::string>{"RESET"});
    EXPECT_EQ(script->State(), TTDLScript::kLoaded);
    EXPECT_EQ(script->Run(1), 0);
    EXPECT_EQ(Commands(), std::vector<std::string>{"0"});

    // An empty file loads as a script without lines.
    ASSERT_TRUE(script->Load(Write("empty.tdl", "")));
    EXPECT_TRUE(script->Lines().empty());
    EXPECT_EQ(script->Run(1), 0);
    EXPECT_EQ(mainWindow.InfoTexts.back(), "TDL-file done");
}

} // namespace
} // namespace kyd::link::test
