#include "link/TDLScript.h"

#include <algorithm>

#include "link/StatusTexts.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/message_loop.h"
#include "platform/safe_file.h"
#include "serial/SioExcept.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <stdexcept>
#include <string_view>

namespace kyd::link {

int TTDLScript::runningDepth_ = 0;

namespace {

constexpr int kCodeEmptyCassette = 50; // '2'

// Between statements, pending messages get through at least this often
// (milliseconds of the process clock).
constexpr std::int64_t kPumpEveryMs = 5;

// Texts taken from a script line are shown up to this many bytes: a window
// takes seconds to lay out a line of a megabyte.
constexpr std::size_t kShownBytes = 512;
// Largest script file taken in.
constexpr std::size_t kMaxScriptBytes = 64u * 1024 * 1024;

using platform::DlgButtons;
using platform::DlgResult;
using platform::DlgType;

std::string KeywordOf(const std::string& line)
{
    return line.substr(0, line.find(' '));
}

bool IsKeyword(const std::string& line, std::string_view keyword)
{
    return line.size() >= keyword.size() && line.compare(0, keyword.size(), keyword) == 0 &&
           (line.size() == keyword.size() || line[keyword.size()] == ' ');
}

// For each LOOP line the line of its ENDLOOP (-1 when it has none): an
// ENDLOOP closes the innermost LOOP still open above it.
std::vector<int> MatchLoops(const std::vector<std::string>& lines)
{
    std::vector<int> end(lines.size(), -1);
    std::vector<int> open;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (IsKeyword(lines[i], "LOOP")) {
            open.push_back(static_cast<int>(i));
        } else if (IsKeyword(lines[i], "ENDLOOP") && !open.empty()) {
            end[static_cast<std::size_t>(open.back())] = static_cast<int>(i);
            open.pop_back();
        }
    }
    return end;
}

// A decimal integer with an optional sign, the whole word; def otherwise.
int ToIntDef(const std::string& s, int def)
{
    std::size_t pos = 0;
    bool negative = false;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) {
        negative = s[pos] == '-';
        ++pos;
    }
    if (pos == s.size())
        return def;
    long long v = 0;
    for (; pos < s.size(); ++pos) {
        const char c = s[pos];
        if (c < '0' || c > '9')
            return def;
        v = v * 10 + (c - '0');
        if (v > static_cast<long long>(INT_MAX) + 1)
            return def;
    }
    if (negative)
        v = -v;
    if (v < INT_MIN || v > INT_MAX)
        return def;
    return static_cast<int>(v);
}

std::string BaseName(const std::string& path)
{
    const auto p = path.find_last_of('/');
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

std::vector<std::string> SplitLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        const bool last = end == std::string::npos;
        if (last)
            end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

} // namespace

TTDLScript::TTDLScript(TPLVRCmdF* commands, Protokoll* model, const AppContext* context)
    : cmd_(commands), model_(model), ctx_(context)
{
    if (!cmd_ || !model_ || !ctx_)
        throw std::invalid_argument("TTDLScript needs a command layer, a status model and an application context");
}

bool TTDLScript::Load(const std::string& fileName)
{
    if (runningDepth_ > 0)
        return false;
    // A FIFO, a device or a folder is refused at once, never waited on.
    std::string bytes;
    std::string reason;
    if (platform::readRegularFile(fileName, kMaxScriptBytes, bytes, &reason) != platform::ReadResult::Ok) {
        // The reason comes as "<name>: <why>".
        std::string why = reason.substr(std::min(reason.size(), fileName.size() + 2));
        if (!why.empty())
            why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
        throw std::runtime_error("Cannot open file \"" + fileName + "\". " + why);
    }

    fileName_ = fileName;
    abort_ = false;
    trace_ = false;
    lines_ = SplitLines(bytes);
    loopEnd_ = MatchLoops(lines_);
    loaded_ = true;
    SetResumeLine(0, RangeState{});
    resumeCounter_ = 0;
    state_ = kLoaded;
    return true;
}

namespace {

// The running depth and the main window's batch busy state around a run;
// both end however the run ends.
class RunBracket {
public:
    RunBracket(int& depth, MainWindowCallbacks* main) : depth_(depth), main_(main)
    {
        ++depth_;
        try {
            if (main_)
                main_->SetBusy(2);
        } catch (...) {
            --depth_;
            throw;
        }
    }
    ~RunBracket()
    {
        try {
            if (main_)
                main_->SetBusy(3);
        } catch (...) {
        }
        --depth_;
    }
    RunBracket(const RunBracket&) = delete;
    RunBracket& operator=(const RunBracket&) = delete;

private:
    int& depth_;
    MainWindowCallbacks* main_;
};

} // namespace

int TTDLScript::Run(int n)
{
    if (!loaded_ || state_ == kNone || n < 1 || runningDepth_ > 0 || cmd_->Busy())
        return 0;
    RunBracket bracket(runningDepth_, ctx_->MainWindow);
    try {
        if (state_ == kAbortedState)
            ClearCommandFlags();
        teller_ = '0';
        model_->DispenseCount = 0;
        dispenseCounter_ = 0;
        abort_ = false;
        softBreakOnEmpty_ = false;
        ignoreSyntax_ = false;
        int result = kDone;
        for (int k = 0; k < n; ++k) {
            result = RunFrom(0, 0, RangeState{});
            if (result < 0)
                break;
        }
        return result;
    } catch (...) {
        state_ = kAbortedState;
        throw;
    }
}

int TTDLScript::Resume()
{
    if (state_ != kAbortedState || !loaded_ || runningDepth_ > 0 || cmd_->Busy())
        return 0;
    RunBracket bracket(runningDepth_, ctx_->MainWindow);
    try {
        abort_ = false;
        return RunFrom(resumeLine_, -resumeCounter_, resumeState_);
    } catch (...) {
        state_ = kAbortedState;
        throw;
    }
}

void TTDLScript::Abort()
{
    abort_ = true;
    state_ = kAbortedState;
}

int TTDLScript::RunOnce(int start)
{
    if (!loaded_ || runningDepth_ > 0 || cmd_->Busy())
        return 0;
    ++runningDepth_;
    struct Depth {
        ~Depth() { --TTDLScript::runningDepth_; }
    } depth;
    try {
        return RunFrom(start, start == 0 ? 0 : -resumeCounter_, RangeState{});
    } catch (...) {
        state_ = kAbortedState;
        throw;
    }
}

int TTDLScript::RunFrom(int start, int counter, RangeState state)
{
    state_ = kRunning;
    unchecked_ = false;
    if (model_->FatalMark != 3)
        model_->StatusClass = kClassWarning;
    ShowInfo("TDL-file: " + BaseName(fileName_), platform::TextCoding::FileSystem);
    const int result = ExecuteFrom(start, static_cast<int>(lines_.size()), counter, state);
    if (result != kDone) {
        // A soft break that reaches the top level counts as an abort.
        state_ = kAbortedState;
        platform::dialogs().showMessage("File " + fileName_ + " aborted!", platform::TextCoding::FileSystem);
        ShowInfo("TDL-file aborted");
    } else {
        state_ = kLoaded;
        ClearCommandFlags();
        ShowInfo("TDL-file done");
    }
    return result;
}

int TTDLScript::Execute(int first, int end, int counter)
{
    return ExecuteFrom(first, end, counter, RangeState{});
}

int TTDLScript::ExecuteFrom(int first, int end, int counter, RangeState state)
{
    Settings* options = Options();
    if (first < 0)
        first = 0;
    if (end > static_cast<int>(lines_.size()))
        end = static_cast<int>(lines_.size());

    // The open ranges, outermost first: each loop pass under way is one.
    std::vector<Range> ranges(1);
    ranges[0].end = end;
    ranges[0].counter = counter;
    ranges[0].savedLogging = options ? options->LoggingEnabled : false;
    ranges[0].state = state;
    lastPumpMs_ = platform::clock().monotonicMs();

    int i = first;
    for (;;) {
        LetMessagesThrough();
        Range& range = ranges.back();
        if (i >= range.end) {
            // The end of the range: logging as it was when the range began.
            if (options)
                options->LoggingEnabled = range.savedLogging;
            if (ranges.size() == 1)
                return range.state.softBreak ? kSoftBreak : kDone;
            const Range pass = range;
            if (pass.state.softBreak) {
                // The operator is asked once; Yes goes on after ENDLOOP.
                if (platform::dialogs().messageDlg(softBreakText_ + "\nContinue with script after ENDLOOP?",
                                                   DlgType::Error, DlgButtons::YesNo) != DlgResult::Yes)
                    return Aborted(ranges);
            } else {
                if (trace_)
                    ShowTraceLine(pass.end);
                if (pass.counter < pass.count) {
                    ranges.pop_back();
                    EnterPass(ranges, pass.loopLine, pass.count, pass.counter + 1);
                    if (abort_) // also where the body has no lines
                        return Aborted(ranges);
                    i = pass.loopLine + 1;
                    continue;
                }
            }
            ranges.pop_back();
            i = pass.end + 1;
            const bool topLevelLoop = ranges.size() == 1 && ranges.back().counter == 0;
            if (!CheckAfterLoop(pass, ranges.back().state)) {
                // Abort in the check of a top-level loop's last exchange:
                // its last pass runs again, as when the abort button ends it.
                if (topLevelLoop)
                    resumeCounter_ = pass.counter;
                return Aborted(ranges);
            }
            if (topLevelLoop) {
                // A top-level loop has run all its passes. When its last
                // exchange went well, a later stop continues after ENDLOOP;
                // else the last pass is run again.
                if (model_->StatusClass == kClassWarning && !pass.state.softBreak) {
                    SetResumeLine(i, ranges.back().state);
                    resumeCounter_ = 0;
                } else {
                    resumeCounter_ = pass.counter;
                }
            }
            continue;
        }

        if (abort_)
            return Aborted(ranges);
        if (range.counter == 0) {
            // A new top-level statement: a resume re-enters here, and no
            // loop iteration of an earlier abort applies to it any more.
            SetResumeLine(i, range.state);
            resumeCounter_ = 0;
        }
        const std::string keyword = KeywordOf(lines_[static_cast<std::size_t>(i)]);
        if (trace_)
            ShowTraceLine(i);

        if (keyword == "LOOP") {
            const int count = IntParam(i, 1, 1);
            const int endLine = loopEnd_[static_cast<std::size_t>(i)];
            if (endLine < 0) {
                platform::dialogs().messageDlg("Missing matching ENDLOOP\nline: " + std::to_string(i),
                                               DlgType::Error, DlgButtons::Ok);
                return Aborted(ranges);
            }
            int k = 1;
            if (range.counter < 0) {
                // A resume: the loop starts at the iteration that was under way.
                k = range.counter == INT_MIN ? INT_MAX : -range.counter;
                range.counter = 0;
            }
            if (k <= count) {
                EnterPass(ranges, i, count, k);
                ++i;
                continue;
            }
            i = endLine + 1;
            if (unchecked_ && !CheckStatus(range.state))
                return Aborted(ranges);
            continue;
        }

        const std::uint64_t exchangesBefore = exchanges_;
        Outcome outcome = Outcome::Stop;
        try {
            outcome = Statement(i, keyword, range.counter, range.state);
        } catch (const sio::ESIOException& e) {
            // The port is gone (the cable pulled, the device ended): the
            // operator is told which, and the script stops as an abort
            // does, to be continued with this statement once it is back.
            platform::dialogs().messageDlg(e.what(), DlgType::Error, DlgButtons::Ok,
                                           platform::TextCoding::FileSystem);
        }
        if (outcome == Outcome::Stop)
            return Aborted(ranges);
        if (outcome == Outcome::Exchanged) {
            lastPumpMs_ = platform::clock().monotonicMs(); // the reply wait let them through
            unchecked_ = true;
            ++exchanges_;
            if (!CheckStatus(range.state))
                return Aborted(ranges);
        }
        if (range.counter == 0 && ranges.size() == 1) {
            // A top-level statement that ended well is not repeated when the
            // operator's abort takes effect after it (an exchange under way
            // runs to its reply): Continue starts with the next line. One
            // that failed, or a delay the abort cut short, is run again.
            const bool exchanged = exchanges_ != exchangesBefore;
            if (exchanged ? model_->StatusClass == kClassWarning && model_->StatusCode != kCodeCommunicationCanceled
                          : !abort_)
                SetResumeLine(i + 1, range.state);
        }
        ++i;
    }
}

void TTDLScript::EnterPass(std::vector<Range>& ranges, int loopLine, int count, int counter)
{
    Settings* options = Options();
    Range pass;
    pass.loopLine = loopLine;
    pass.end = loopEnd_[static_cast<std::size_t>(loopLine)];
    pass.count = count;
    pass.counter = counter;
    pass.savedLogging = options ? options->LoggingEnabled : false;
    pass.exchangesAtStart = exchanges_;
    ranges.push_back(pass);
    if (trace_ && counter >= 2)
        ShowTraceLine(loopLine);
}

void TTDLScript::SetResumeLine(int line, const RangeState& topLevel)
{
    resumeLine_ = line;
    // Continue goes on in the same top-level range: a failure ignored (or
    // a soft break) before the resume line still holds back its DELIVER and
    // REJECT. A soft break is not carried as such, so the resumed run does
    // not end as broken off for it again.
    resumeState_ = RangeState{};
    resumeState_.deviceCommandsAllowed = topLevel.deviceCommandsAllowed && !topLevel.softBreak;
}

bool TTDLScript::CheckAfterLoop(const Range& pass, RangeState& enclosing)
{
    // A status no check has looked at yet (a POLL's) is checked here.
    if (unchecked_)
        return CheckStatus(enclosing);
    if (exchanges_ == pass.exchangesAtStart || model_->StatusClass == kClassWarning)
        return true;
    // The body's last exchange failed and its check inside has been
    // answered already: the operator is not asked again, but the failure
    // holds back the DELIVER and REJECT after ENDLOOP just the same. The
    // empty cassette of a soft break breaks off the enclosing range as well.
    if (softBreakOnEmpty_ && !enclosing.softBreak && model_->StatusCode == kCodeEmptyCassette) {
        enclosing.softBreak = true;
        softBreakText_ = model_->CodeText;
    } else {
        enclosing.deviceCommandsAllowed = false;
    }
    return true;
}

bool TTDLScript::CheckStatus(RangeState& range)
{
    unchecked_ = false;
    if (model_->StatusClass == kClassWarning)
        return true;
    if (softBreakOnEmpty_ && !range.softBreak && model_->StatusCode == kCodeEmptyCassette) {
        range.softBreak = true;
        softBreakText_ = model_->CodeText;
        return true;
    }
    range.deviceCommandsAllowed = false;
    return platform::dialogs().messageDlg(model_->CodeText, DlgType::Error, DlgButtons::AbortIgnore) ==
           DlgResult::Ignore;
}

int TTDLScript::Aborted(const std::vector<Range>& ranges)
{
    // A resume starts the outermost loop under way again at its iteration.
    if (ranges.size() > 1)
        resumeCounter_ = ranges[1].counter;
    return kAborted;
}

void TTDLScript::LetMessagesThrough()
{
    // Exchanges and delays let messages through while they wait; this is
    // for runs of statements that do not wait.
    const platform::Clock& clk = platform::clock();
    if (clk.monotonicMs() - lastPumpMs_ < kPumpEveryMs)
        return;
    platform::messageLoop().processPending();
    lastPumpMs_ = clk.monotonicMs();
}

void TTDLScript::Delay(int seconds)
{
    if (seconds <= 0)
        return;
    // Whole seconds, as the script language counts time: a delay of n ends
    // at the n-th full second from now.
    const platform::Clock& clk = platform::clock();
    const std::int64_t deadline = (FloorDiv(clk.monotonicMs(), 1000) + seconds) * 1000;
    platform::MessageLoop& loop = platform::messageLoop();
    while (!abort_) {
        const std::int64_t now = clk.monotonicMs();
        if (now >= deadline)
            break;
        // Events keep coming in a busy loop: look at the clock after each.
        loop.pumpUntil([&] { return abort_ || clk.monotonicMs() >= deadline; }, deadline - now);
        if (loop.quitRequested())
            break;
    }
    lastPumpMs_ = clk.monotonicMs();
}

std::string TTDLScript::Clipped(std::string text)
{
    if (text.size() > kShownBytes) {
        text.resize(kShownBytes);
        text += "...";
    }
    return text;
}

void TTDLScript::ShowTraceLine(int i)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "Line %d: ", i + 1);
    ShowStatus(buf + lines_[static_cast<std::size_t>(i)]);
}

void TTDLScript::ShowInfo(const std::string& text, platform::TextCoding coding)
{
    if (ctx_->MainWindow)
        ctx_->MainWindow->ShowInfoText(Clipped(text), coding);
}

void TTDLScript::ShowStatus(const std::string& text)
{
    if (ctx_->MainWindow)
        ctx_->MainWindow->ShowStatusText("", Clipped(text));
}

Settings* TTDLScript::Options() const
{
    return ctx_->Options ? &ctx_->Options->InForce() : nullptr;
}

void TTDLScript::ClearCommandFlags()
{
    cmd_->RejectIsError = false;
    cmd_->IgnoreIllegal = false;
    cmd_->LogFileOverride.clear();
}

std::string TTDLScript::Param(int i, int k) const
{
    std::string s = lines_[static_cast<std::size_t>(i)];
    for (int j = 0; j < k; ++j) {
        const auto p = s.find(' ');
        if (p == std::string::npos)
            break;
        s.erase(0, p + 1);
    }
    return s.substr(0, s.find(' '));
}

int TTDLScript::IntParam(int i, int k, int def) const
{
    return ToIntDef(Param(i, k), def);
}

std::string TTDLScript::Rest(int i) const
{
    const std::string& line = lines_[static_cast<std::size_t>(i)];
    const auto p = line.find(' ');
    return p == std::string::npos ? line : line.substr(p + 1);
}

} // namespace kyd::link
