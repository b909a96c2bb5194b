// The transaction runner: repeats a dispense or move-forward transaction a
// chosen number of times, paced by a timer tick, with a delay between
// transactions, an optional wait until the notes have been taken from the
// throat, and an Abort/Ignore question after every failed step.
//
// Qt-free: the timer is an interface (the window gives it a QTimer, tests a
// fake they tick by hand), the commands go through the command layer and
// the questions through the dialogs service.
#pragma once

#include <array>
#include <functional>
#include <string>

namespace kyd::link {
class TPLVRCmdF;
}

namespace kyd::app {

// What to run. Named fields, so no caller depends on an argument order.
struct TransactionSetup {
    int Count = 1;             // transactions requested
    int CommandIndex = 0;      // 0 dispense ('1'), 1 move forward ('2')
    bool WaitRemoval = false;  // wait until the notes are taken from the throat
    int DelaySec = 1;          // delay between transactions, in ticks of the poll interval
    char Teller = '0';
    std::array<int, 8> Counts{}; // notes from cassettes 1..8
    // After a move forward: 1 deliver, 2 reject, 3 feed to reject (second
    // character '9', nothing afterwards), anything else nothing.
    int MoveForwardOption = 0;
};

// What the Transactions page's controls allow: the deliver option after a
// move forward (0 none, 1 deliver, 2 reject, 3 feed to reject, 4 deliver on
// a KYD050) decides whether several transactions and the throat check can
// be chosen.
struct TransactionRules {
    int Option = 1;
    int Count = 1;                 // number of transactions
    bool CountEnabled = true;      // number, delay and their labels
    bool AutoCheckEnabled = false; // "Auto Check Throat"
    bool AutoChecked = false;
    bool Kyd050Commands = false;   // the KYD050 command group instead of the usual one

    // The deliver option chosen: "None" forces one transaction; "Deliver
    // notes" with several transactions offers the throat check, checked.
    void SetOption(int option);
    // The number of transactions changed: at one the throat check goes; above
    // one it comes back, checked, for "Deliver notes".
    void SetCount(int count);
};

class RunnerTimer {
public:
    virtual ~RunnerTimer() = default;
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual void SetInterval(int ms) = 0;
    virtual int Interval() const = 0;
    virtual bool Active() const = 0;
};

class TransactionRunner {
public:
    static constexpr int kPollMs = 1000;      // the tick, and the first removal polls
    static constexpr int kSlowPollMs = 5000;  // removal polls after the first minute
    static constexpr int kFastPolls = 60;     // countdown of the 1 s polls (61 polls)
    static constexpr int kSlowPolls = 12;     // countdown of the 5 s polls (13 polls)

    // The command layer is not owned (null: every step fails).
    TransactionRunner(link::TPLVRCmdF* cmd, RunnerTimer& timer);

    void Setup(const TransactionSetup& setup);
    // Shorter intervals for a test with a real timer.
    void SetIntervals(int pollMs, int slowPollMs);
    // Switches the timer on, the first time only: a second call (the window
    // shown again) never starts another run.
    void Start();
    // One timer tick. Does nothing once the run has finished, or while a
    // tick is still under way.
    void Tick();
    // The Abort button: cancels the exchange under way and stops the run
    // (at the end of the running tick, else at the next one); true when the
    // run has finished and the window may close.
    bool AbortClick();

    // One transaction; the waits for the notes to be taken (true: the next
    // transaction may start).
    void DoTransaction();
    bool WaitRemoveNotes();

    const std::string& Status() const { return status_; }
    const std::string& ButtonCaption() const { return button_; }
    int TransNr() const { return shownNr_; }
    int Requested() const { return setup_.Count; }
    bool Finished() const { return finished_; }
    bool Aborted() const { return aborted_; }
    // Transactions of this run whose dispense (or its follow-up) failed;
    // the final status names them ("Done, 3 of 20 failed").
    int FailedCount() const { return failed_; }
    // True while a tick runs (an exchange may be under way).
    bool InTick() const { return inTick_; }
    char CommandChar() const { return cmdChar_; }
    char SecondChar() const { return secondChar_; }
    int DelayCountdown() const { return delayCountdown_; }
    int RemovalCountdown() const { return removalCountdown_; }
    bool Ready() const { return ready_; }

    // Called after every change of what the window shows.
    std::function<void()> Changed;

private:
    // A failed step: the error text with Abort and Ignore; Abort stops the
    // run. Not asked once the run is being stopped anyway.
    void AskAbortIgnore(const std::string& text);
    void Finish(const char* status);
    void Show();
    // Sends and reports whether the model says it succeeded; an exception
    // (the port not open) is a failure with its text; an exchange the
    // operator cancelled is neither success nor failure.
    enum class Outcome { Ok, Failed, Broken, Canceled };
    Outcome Exchange(const std::function<void()>& send, std::string& failure);

    link::TPLVRCmdF* cmd_;
    RunnerTimer& timer_;
    TransactionSetup setup_;
    int pollMs_ = kPollMs;
    int slowPollMs_ = kSlowPollMs;
    int nextNr_ = 1;
    int shownNr_ = 1;
    char cmdChar_ = '1';
    char secondChar_ = '0';
    int delayCountdown_ = 0;
    bool aborted_ = false;
    bool finished_ = false;
    int failed_ = 0;
    int removalCountdown_ = -1;
    bool ready_ = true;
    bool started_ = false;
    bool inTick_ = false;
    std::string status_;
    std::string button_ = "Abort";
};

} // namespace kyd::app
