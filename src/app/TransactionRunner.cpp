#include "app/TransactionRunner.h"

#include "link/PLVRCmd.h"
#include "link/Protokoll.h"
#include "link/StatusTexts.h"
#include "platform/dialogs.h"
#include "platform/exception_sink.h"

#include <exception>

namespace kyd::app {

namespace {

// Status code of a check-throat reply while notes wait in the throat.
constexpr int kCodeNotesInThroat = 'M';

} // namespace

void TransactionRules::SetOption(int option)
{
    Option = option;
    Kyd050Commands = option == 4;
    CountEnabled = option != 0;
    if (option == 0)
        Count = 1;
    AutoCheckEnabled = AutoChecked = option == 1 && Count > 1;
}

void TransactionRules::SetCount(int count)
{
    Count = count;
    if (count <= 1) {
        AutoCheckEnabled = AutoChecked = false;
    } else if (!AutoCheckEnabled && Option == 1) {
        AutoCheckEnabled = AutoChecked = true;
    }
}

TransactionRunner::TransactionRunner(link::TPLVRCmdF* cmd, RunnerTimer& timer) : cmd_(cmd), timer_(timer)
{
    timer_.Stop();
    timer_.SetInterval(pollMs_);
}

void TransactionRunner::Setup(const TransactionSetup& setup)
{
    setup_ = setup;
    cmdChar_ = setup.CommandIndex == 1 ? '2' : '1';
    // '9' sends a moved-forward bundle to the reject vault; a dispense
    // always goes to the teller. Deliberately narrower than a plain "option
    // 3 gives '9'": a dispense with '9' would name no teller at all.
    secondChar_ = cmdChar_ == '2' && setup.MoveForwardOption == 3 ? '9' : setup.Teller;
    nextNr_ = 1;
    shownNr_ = 1;
    delayCountdown_ = 0;
    aborted_ = false;
    finished_ = false;
    failed_ = 0;
    removalCountdown_ = -1;
    ready_ = true;
    status_.clear();
    button_ = "Abort";
    // Nothing to run: finished before it starts.
    if (setup_.Count < 1)
        Finish("Done");
    Show();
}

void TransactionRunner::SetIntervals(int pollMs, int slowPollMs)
{
    const bool slow = timer_.Interval() == slowPollMs_;
    pollMs_ = pollMs;
    slowPollMs_ = slowPollMs;
    timer_.SetInterval(slow ? slowPollMs_ : pollMs_);
}

void TransactionRunner::Start()
{
    if (started_)
        return;
    started_ = true;
    if (!finished_)
        timer_.Start();
}

void TransactionRunner::Show()
{
    if (Changed)
        Changed();
}

void TransactionRunner::Finish(const char* status)
{
    timer_.Stop();
    status_ = status;
    // A run with failed transactions never looks like a clean one.
    if (failed_ > 0)
        status_ += ", " + std::to_string(failed_) + " of " + std::to_string(nextNr_ - 1) + " failed";
    button_ = "Close";
    finished_ = true;
}

void TransactionRunner::Tick()
{
    if (finished_ || inTick_)
        return;
    inTick_ = true;
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{inTick_};
    try {
        if (aborted_) {
            Finish("Aborted");
        } else if (delayCountdown_ > 0) {
            status_ = "Delay " + std::to_string(delayCountdown_);
            Show();
            if (--delayCountdown_ == 0)
                ready_ = WaitRemoveNotes();
        } else if (!ready_) {
            ready_ = WaitRemoveNotes();
        } else {
            DoTransaction();
        }
    } catch (...) {
        // Whatever went wrong is a failed step; the run goes on (or stops)
        // as the operator says.
        AskAbortIgnore(platform::describeException(std::current_exception()));
        if (!finished_)
            timer_.Start();
    }
    Show();
}

bool TransactionRunner::AbortClick()
{
    aborted_ = true;
    // The exchange under way is cancelled at once rather than left to run
    // into its time-out (up to 180 s with a silent dispenser); the tick
    // that runs it then ends the run "Aborted".
    if (inTick_ && cmd_ && cmd_->Busy())
        cmd_->Abort();
    return finished_;
}

TransactionRunner::Outcome TransactionRunner::Exchange(const std::function<void()>& send, std::string& failure)
{
    if (!cmd_) {
        failure = "No connection to the dispenser";
        return Outcome::Broken;
    }
    try {
        send();
    } catch (const std::exception& e) {
        failure = e.what();
        return Outcome::Broken;
    }
    const link::Protokoll& model = *cmd_->Model();
    if (model.Succeeded())
        return Outcome::Ok;
    // The operator cancelled the exchange (class WARNING, code 205): not a
    // failed step, so nothing to ask; nothing follows it either.
    if (model.StatusClass == link::kClassWarning)
        return Outcome::Canceled;
    failure = model.CodeText;
    return Outcome::Failed;
}

void TransactionRunner::AskAbortIgnore(const std::string& text)
{
    if (aborted_)
        return;
    if (platform::dialogs().messageDlg(text, platform::DlgType::Error, platform::DlgButtons::AbortIgnore) ==
        platform::DlgResult::Abort)
        aborted_ = true;
}

void TransactionRunner::DoTransaction()
{
    timer_.Stop();
    shownNr_ = nextNr_;
    status_ = "Feeding";
    Show();

    std::string failure;
    Outcome outcome = Exchange([this] { cmd_->Dispense(cmdChar_, secondChar_, setup_.Counts); }, failure);
    // The follow-up only after a move forward that succeeded.
    if (outcome == Outcome::Ok && cmdChar_ == '2' &&
        (setup_.MoveForwardOption == 1 || setup_.MoveForwardOption == 2)) {
        const char* follow = setup_.MoveForwardOption == 2 ? "4" : "3";
        outcome = Exchange([this, follow] { cmd_->SendCommand(follow, 180); }, failure);
    }
    if (outcome == Outcome::Failed || outcome == Outcome::Broken) {
        ++failed_;
        AskAbortIgnore(failure);
    }

    ++nextNr_;
    if (nextNr_ <= setup_.Count && !aborted_) {
        timer_.SetInterval(pollMs_);
        timer_.Start();
        removalCountdown_ = setup_.WaitRemoval ? kFastPolls : -1;
        status_ = "Delay " + std::to_string(setup_.DelaySec);
        delayCountdown_ = setup_.DelaySec;
    } else {
        // A run cut short says so.
        Finish(aborted_ ? "Aborted" : "Done");
    }
}

bool TransactionRunner::WaitRemoveNotes()
{
    if (removalCountdown_ == -1)
        return true;
    timer_.Stop();
    status_ = "Remove notes";
    Show();

    std::string failure;
    const Outcome outcome = Exchange([this] { cmd_->SendCommand(":", 5); }, failure);
    if (outcome == Outcome::Failed && cmd_->Model()->StatusCode == kCodeNotesInThroat) {
        if (--removalCountdown_ < 0) {
            if (timer_.Interval() == pollMs_) {
                timer_.SetInterval(slowPollMs_);
                removalCountdown_ = kSlowPolls;
            } else {
                AskAbortIgnore(failure);
                timer_.SetInterval(pollMs_);
            }
        }
        timer_.Start();
        return false;
    }
    if (outcome == Outcome::Ok) {
        removalCountdown_ = -1;
        timer_.Start();
        return true;
    }
    // A cancelled check tells nothing about the throat: poll it again.
    if (outcome != Outcome::Canceled)
        AskAbortIgnore(failure);
    timer_.Start();
    return false;
}

} // namespace kyd::app
