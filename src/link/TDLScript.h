// The TDL script engine: runs test scripts, text files of one statement a
// line, that drive the dispenser through the command layer with loops,
// delays, checks of the replies, logging and operator dialogs.
//
// Everything runs on the main thread. Waits (the command layer's reply wait
// and the script's delays) pump messages, and between statements the engine
// lets pending messages through every few milliseconds of the process
// clock, so the operator's abort and repaints arrive while a script runs,
// also in a long loop without exchanges. Delays read the process clock, so a
// fake clock runs "DELAY_SEC 10" at once.
//
// LOOP and ENDLOOP are matched once, when the script is loaded; loops run on
// a list of open loops, not by recursion, so the nesting depth is bounded
// by memory only.
//
// The main window owns one engine for scripts opened from the Scripts menu
// and one for the demo buttons. It sets ShowCassetteDialog so that
// SHOW_CASSETTE_DLG can show the cassette window; without it the statement
// only reads the cassette ids.
#pragma once

#include "link/AppContext.h"
#include "link/PLVRCmd.h"
#include "link/Protokoll.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kyd::link {

class TTDLScript {
public:
    // Every keyword a statement may begin with (case-sensitive), the
    // comment ("//"), info ("%") and counter ("#") marks included; LOOP and
    // ENDLOOP frame loops. Anything else is an unknown statement.
    static const std::vector<std::string>& Keywords();

    // Results of Run, Resume, RunOnce and Execute.
    static constexpr int kDone = 0;
    static constexpr int kAborted = -1;
    static constexpr int kSoftBreak = -2;

    // States.
    static constexpr std::uint8_t kNone = 0;
    static constexpr std::uint8_t kLoaded = 1; // loaded or done
    static constexpr std::uint8_t kRunning = 2;
    static constexpr std::uint8_t kAbortedState = 3;

    // None of the pointers is owned; all must outlive the engine.
    TTDLScript(TPLVRCmdF* commands, Protokoll* model, const AppContext* context);
    TTDLScript(const TTDLScript&) = delete;
    TTDLScript& operator=(const TTDLScript&) = delete;

    // Reads the script as bytes, one line per line feed (a carriage return
    // before it is dropped). A file that cannot be read raises
    // std::runtime_error and leaves the engine as it was. Refused (false,
    // nothing changed) while any script is running. The texts the script
    // shows are read as UTF-8 when the whole file is valid UTF-8 (a byte
    // order mark before the first line is dropped), else as Latin-1, as
    // older tools saved them; the log gets them as they are in the file.
    bool Load(const std::string& fileName);

    // Runs the script n times, stopping after a run that did not end
    // normally; returns the last run's result. Nothing runs (result 0) when
    // nothing is loaded, n is below 1, a script is running or the command
    // layer is busy. The main window's batch busy state brackets the runs.
    // A port that is gone when a statement sends (the serial library's
    // exception) is shown and ends the run as an abort, to be continued;
    // any other exception ends the run as aborted and passes on to the
    // caller.
    int Run(int n);
    // Continues an aborted script where it stopped, at the top level and
    // inside loops alike (the passes under way keep their counters): with
    // the statement that was under way, or with the one after it when it
    // had ended well before the abort took effect. A failed statement, one
    // the abort cut short (a delay, or a statement of several exchanges
    // stopped between them) and one whose failure was answered Abort run
    // again; a loop whose pass broke off on an empty cassette and was not
    // to go on starts again with the statement that broke it off. An error
    // ignored before that line still holds back its DELIVER and REJECT.
    // 0 unless aborted.
    int Resume();
    // Stops the script before its next statement, or before the next
    // exchange of a statement of several (a delay ends at once); an
    // exchange under way runs to its end. Also when idle: state aborted.
    void Abort();

    bool IsRunning() const { return state_ == kRunning; }
    bool IsAborted() const { return state_ == kAbortedState; }
    bool CanRunAgain() const { return state_ == kLoaded || state_ == kAbortedState; }

    // One pass over the whole script from the given line.
    int RunOnce(int start);
    // Interprets lines first .. end-1 with the loops in them; counter: 0 at
    // top level, the loop iteration inside a loop body, minus the iteration
    // to resume at.
    int Execute(int first, int end, int counter);

    // Shows the cassette window modally for the status model (its feeder
    // list is fresh from a cassette-id read).
    std::function<void(Protokoll& model)> ShowCassetteDialog;

    // ---- state, for the windows and for tests ----
    const std::string& FileName() const { return fileName_; }
    const std::vector<std::string>& Lines() const { return lines_; }
    // How the texts the script shows are read.
    platform::TextCoding ScriptCoding() const { return coding_; }
    std::uint8_t State() const { return state_; }
    bool Trace() const { return trace_; }
    int ResumeLine() const { return resumeLine_; }
    int ResumeCounter() const { return resumeCounter_; }
    int DispenseCounter() const { return dispenseCounter_; }
    char Teller() const { return teller_; }
    bool SoftBreakOnEmpty() const { return softBreakOnEmpty_; }
    bool IgnoreSyntax() const { return ignoreSyntax_; }

    // True while some engine of the process runs a script.
    static bool AnyRunning() { return runningDepth_ > 0; }

private:
    // What a statement did, for the caller's status check and flow.
    enum class Outcome {
        None,      // no exchange: no status check
        Exchanged, // at least one command exchanged: status check
        CutShort,  // exchanged, then stopped by the abort before its end: status check
        Stop,      // the script ends here (-1)
    };
    struct RangeState {
        bool deviceCommandsAllowed = true;
        bool softBreak = false;
    };
    // A line range under way: the range Execute was given, or one pass of a
    // loop body.
    struct Range {
        int loopLine = -1; // the LOOP line of a body; -1 for the outermost range
        int end = 0;       // first line after the range (the ENDLOOP of a body)
        int count = 0;     // the loop's count
        int counter = 0;   // the iteration of a body; the outermost range's counter
        bool savedLogging = false;
        std::uint64_t exchangesAtStart = 0; // exchanges made before the range began
        RangeState state;
        // The statement that broke the range off (soft break), and the
        // range's state before it.
        int softBreakLine = -1;
        RangeState beforeSoftBreak;
    };
    // Where Continue starts: the statement under way, or the line after it
    // once it has ended well. It lies in the first depth ranges open (their
    // innermost with the given state) while those stay open; when they end
    // before the stop, their passes are kept in passes.
    struct Mark {
        std::size_t depth = 1;
        int line = 0;
        RangeState state;    // the innermost range's
        RangeState topState; // the outermost range's
        bool kept = false;
        std::vector<Range> passes; // kept: the loop passes, outermost first
    };

    // passes: loop passes to go on with (outermost first), starting at line
    // passLine of the innermost; none: start at line start.
    int RunFrom(int start, int counter, RangeState state, const std::vector<Range>* passes = nullptr,
                int passLine = 0);
    // Execute, with the state the outermost range starts in and the passes
    // to go on with.
    int ExecuteFrom(int first, int end, int counter, RangeState state, const std::vector<Range>* passes = nullptr,
                    int passLine = 0);
    // Continue starts at line of the innermost open range, with its state.
    void SetMark(const std::vector<Range>& ranges, int line, const RangeState& state);
    // Notes the statement on line that broke the range off, when it did.
    static void NoteSoftBreak(Range& range, int line, const RangeState& before);
    // Keeps the passes of the mark before its innermost range ends.
    void KeepMark(const std::vector<Range>& ranges);
    // Whether Continue would start at the end of the pass that is ending
    // (the innermost open range): its last statement ended well.
    bool MarkAtEndOf(const std::vector<Range>& ranges) const;
    Outcome Statement(int i, const std::string& keyword, int counter, const RangeState& range);
    // An unrecognised statement: shown, and asked about unless IGNORE_SYNTAX.
    Outcome Unknown(int i, const std::string& keyword);
    // Starts pass counter of the loop on line loopLine.
    void EnterPass(std::vector<Range>& ranges, int loopLine, int count, int counter);
    // The status check after an exchange; false when the operator aborted.
    bool CheckStatus(RangeState& range);
    // The status check after ENDLOOP, on the status of the body's last
    // exchange; false when the operator aborted.
    bool CheckAfterLoop(const Range& pass, RangeState& enclosing);
    // Ends Execute as aborted from inside the open ranges: Continue will
    // start at the mark.
    int Aborted(const std::vector<Range>& ranges);
    // Lets pending messages through when a few milliseconds have passed
    // since they last were.
    void LetMessagesThrough();
    void Delay(int seconds);
    void ShowTraceLine(int i);
    // A text taken from a script line, cut for showing.
    std::string Clipped(std::string text) const;
    void ShowInfo(const std::string& text, platform::TextCoding coding = platform::TextCoding::Latin1);
    // A text of the script's (or made from one) in the status panel.
    void ShowStatus(const std::string& text);
    Settings* Options() const;
    void ClearCommandFlags();

    // Parameter k of line i (the last word when the line has fewer words).
    std::string Param(int i, int k) const;
    int IntParam(int i, int k, int def) const;
    // Everything after the first blank (the whole line when it has none).
    std::string Rest(int i) const;

    // Statements that send.
    Outcome Send(const std::string& command, int seconds);
    Outcome Dispense(int i, char a, char b);
    Outcome CheckThroat(int n);
    // Runs the exchanges of one statement in turn; once the script is
    // stopped, none after the one under way is sent.
    Outcome InTurn(const std::vector<std::function<void()>>& exchanges);
    Outcome LogFile(const std::string& p);
    // Reports a statement whose numbers the command layer refused.
    Outcome Refused(int i);
    // Refuses a statement whose parameter holds control characters, which
    // would end the frame early or garble it; nothing is sent.
    Outcome RefusedText(int i);

    TPLVRCmdF* cmd_;
    Protokoll* model_;
    const AppContext* ctx_;
    std::string fileName_;
    std::vector<std::string> lines_;
    // For a LOOP line, the line of its ENDLOOP, -1 when it has none.
    std::vector<int> loopEnd_;
    bool loaded_ = false;
    bool abort_ = false;
    std::uint8_t state_ = kNone;
    bool trace_ = false;
    int resumeLine_ = 0;
    int dispenseCounter_ = 0;
    char teller_ = '0';
    bool softBreakOnEmpty_ = false;
    bool ignoreSyntax_ = false;
    std::string softBreakText_;
    int resumeCounter_ = 0;
    // The top-level range's state at the resume line.
    RangeState resumeState_;
    // The loop passes Continue goes on with (outermost first; empty: it
    // starts at the top level), and its line in the innermost.
    std::vector<Range> resumePasses_;
    int resumePassLine_ = 0;
    Mark mark_;
    // How the script's own texts are read: UTF-8 or Latin-1.
    platform::TextCoding coding_ = platform::TextCoding::Latin1;
    // The last exchange's status has not been through a status check (a
    // POLL's): the check after ENDLOOP looks at it. uncheckedLine_: its line.
    bool unchecked_ = false;
    int uncheckedLine_ = -1;
    // Exchanges made so far (a count that only grows).
    std::uint64_t exchanges_ = 0;
    std::int64_t lastPumpMs_ = 0;

    static int runningDepth_;
};

} // namespace kyd::link
