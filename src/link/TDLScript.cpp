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

// Whether the bytes are well-formed UTF-8: no stray continuation byte, no
// sequence cut short, no overlong form, no surrogate, nothing above
// U+10FFFF.
bool IsUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        int more = 0;
        unsigned lo = 0x80, hi = 0xBF; // allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            more = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            more = 2;
            if (b == 0xE0)
                lo = 0xA0; // overlong
            else if (b == 0xED)
                hi = 0x9F; // surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            more = 3;
            if (b == 0xF0)
                lo = 0x90; // overlong
            else if (b == 0xF4)
                hi = 0x8F; // above U+10FFFF
        } else {
            return false;
        }
        if (s.size() - i <= static_cast<std::size_t>(more))
            return false;
        for (int k = 1; k <= more; ++k) {
            const auto c = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if (k == 1 ? (c < lo || c > hi) : (c < 0x80 || c > 0xBF))
                return false;
        }
        i += static_cast<std::size_t>(more) + 1;
    }
    return true;
}

bool IsAscii(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

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

    // Texts in UTF-8 from a current editor, or Latin-1 from older tools; a
    // file of plain ASCII reads the same either way.
    platform::TextCoding coding = platform::TextCoding::Latin1;
    if (IsUtf8(bytes) && !IsAscii(bytes)) {
        coding = platform::TextCoding::Utf8;
        if (std::string_view(bytes).substr(0, kUtf8Bom.size()) == kUtf8Bom)
            bytes.erase(0, kUtf8Bom.size());
    }

    fileName_ = fileName;
    abort_ = false;
    trace_ = false;
    lines_ = SplitLines(bytes);
    coding_ = coding;
    loopEnd_ = MatchLoops(lines_);
    loaded_ = true;
    resumeLine_ = 0;
    resumeCounter_ = 0;
    resumeState_ = RangeState{};
    resumePasses_.clear();
    resumePassLine_ = 0;
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
        // RunFrom may change the resume point as it goes.
        const std::vector<Range> passes = resumePasses_;
        return RunFrom(resumeLine_, 0, resumeState_, &passes, resumePassLine_);
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

int TTDLScript::RunFrom(int start, int counter, RangeState state, const std::vector<Range>* passes, int passLine)
{
    state_ = kRunning;
    unchecked_ = false;
    uncheckedLine_ = -1;
    if (model_->FatalMark != 3)
        model_->StatusClass = kClassWarning;
    ShowInfo("TDL-file: " + BaseName(fileName_), platform::TextCoding::FileSystem);
    const int result = ExecuteFrom(start, static_cast<int>(lines_.size()), counter, state, passes, passLine);
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

int TTDLScript::ExecuteFrom(int first, int end, int counter, RangeState state, const std::vector<Range>* passes,
                            int passLine)
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
    int i = first;
    if (passes && !passes->empty()) {
        // Inside loops: the passes under way at the stop go on as they were.
        ranges.insert(ranges.end(), passes->begin(), passes->end());
        i = passLine;
    }
    SetMark(ranges, i, ranges.back().state);
    lastPumpMs_ = platform::clock().monotonicMs();

    try {
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
                const bool endedWell = MarkAtEndOf(ranges);
                if (pass.state.softBreak) {
                    // The operator is asked once; Yes goes on after ENDLOOP. No
                    // stops the script, and Continue starts again with the
                    // statement that broke the pass off.
                    if (platform::dialogs().messageDlg(softBreakText_ + "\nContinue with script after ENDLOOP?",
                                                       DlgType::Error, DlgButtons::YesNo) != DlgResult::Yes) {
                        if (pass.softBreakLine >= 0)
                            SetMark(ranges, pass.softBreakLine, pass.beforeSoftBreak);
                        return Aborted(ranges);
                    }
                } else {
                    if (trace_)
                        ShowTraceLine(pass.end);
                    if (pass.counter < pass.count) {
                        if (!endedWell)
                            KeepMark(ranges); // Continue runs the pass's failed last statement again
                        ranges.pop_back();
                        EnterPass(ranges, pass.loopLine, pass.count, pass.counter + 1);
                        if (endedWell)
                            SetMark(ranges, pass.loopLine + 1, ranges.back().state);
                        if (abort_) // also where the body has no lines
                            return Aborted(ranges);
                        i = pass.loopLine + 1;
                        continue;
                    }
                }
                if (!endedWell)
                    KeepMark(ranges);
                ranges.pop_back();
                i = pass.end + 1;
                const RangeState before = ranges.back().state;
                if (!CheckAfterLoop(pass, ranges.back().state)) {
                    // Abort in the check of the body's last exchange (a POLL's):
                    // Continue sends it again, in its pass.
                    ranges.back().state = before;
                    ranges.push_back(pass);
                    const bool inPass = uncheckedLine_ > pass.loopLine && uncheckedLine_ < pass.end;
                    SetMark(ranges, inPass ? uncheckedLine_ : pass.loopLine + 1, pass.state);
                    return Aborted(ranges);
                }
                NoteSoftBreak(ranges.back(), i, before);
                // A loop that ran all its passes has ended well when its last
                // statement did; else Continue runs that statement again.
                if (endedWell)
                    SetMark(ranges, i, ranges.back().state);
                continue;
            }

            if (abort_)
                return Aborted(ranges);
            // The statement under way: Continue starts with it until it has
            // ended well.
            SetMark(ranges, i, range.state);
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
                if (model_->StatusClass == kClassWarning)
                    SetMark(ranges, i, range.state);
                continue;
            }

            const RangeState before = range.state;
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
            if (outcome == Outcome::Exchanged || outcome == Outcome::CutShort) {
                lastPumpMs_ = platform::clock().monotonicMs(); // the reply wait let them through
                unchecked_ = true;
                uncheckedLine_ = i;
                ++exchanges_;
                if (!CheckStatus(range.state))
                    return Aborted(ranges);
                NoteSoftBreak(range, i, before);
            }
            // A statement that ended well is not repeated when the operator's
            // abort takes effect after it (an exchange under way runs to its
            // reply): Continue starts with the next line. One that failed, one
            // cut short between its exchanges, or a delay the abort cut short,
            // is run again.
            const bool exchanged = exchanges_ != exchangesBefore;
            const bool endedWell =
                outcome != Outcome::CutShort &&
                (exchanged ? model_->StatusClass == kClassWarning && model_->StatusCode != kCodeCommunicationCanceled
                           : !abort_);
            if (endedWell)
                SetMark(ranges, i + 1, range.state);
            ++i;
        }
    } catch (...) {
        // An exception (a port that is not open) ends the run like an
        // abort: Continue starts with the statement under way.
        Aborted(ranges);
        throw;
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

void TTDLScript::NoteSoftBreak(Range& range, int line, const RangeState& before)
{
    if (!before.softBreak && range.state.softBreak) {
        range.softBreakLine = line;
        range.beforeSoftBreak = before;
    }
}

void TTDLScript::SetMark(const std::vector<Range>& ranges, int line, const RangeState& state)
{
    mark_.depth = ranges.size();
    mark_.line = line;
    mark_.state = state;
    mark_.topState = ranges.size() == 1 ? state : ranges.front().state;
    mark_.kept = false;
    mark_.passes.clear();
}

void TTDLScript::KeepMark(const std::vector<Range>& ranges)
{
    if (mark_.kept || mark_.depth != ranges.size() || ranges.size() < 2)
        return;
    mark_.passes.assign(ranges.begin() + 1, ranges.end());
    mark_.passes.back().state = mark_.state;
    mark_.kept = true;
}

bool TTDLScript::MarkAtEndOf(const std::vector<Range>& ranges) const
{
    if (mark_.kept)
        return false;
    const Range& pass = ranges.back();
    // At its end, or still at its LOOP line: nothing in it has failed.
    return (mark_.depth == ranges.size() && mark_.line >= pass.end) ||
           (mark_.depth + 1 == ranges.size() && mark_.line == pass.loopLine);
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
    // Continue starts at the mark, in the loop passes it lies in.
    std::vector<Range> passes;
    if (mark_.kept) {
        passes = std::move(mark_.passes);
    } else if (mark_.depth > 1) {
        passes.assign(ranges.begin() + 1, ranges.begin() + static_cast<std::ptrdiff_t>(mark_.depth));
        passes.back().state = mark_.state;
    }
    const RangeState& top = passes.empty() ? mark_.state : mark_.topState;
    resumeLine_ = passes.empty() ? mark_.line : passes.front().loopLine;
    resumeCounter_ = passes.empty() ? 0 : passes.front().counter;
    // A failure ignored (or a soft break) in the top-level range before the
    // resume line still holds back its DELIVER and REJECT. A soft break is
    // not carried as such, so the resumed run does not end as broken off
    // for it again.
    resumeState_ = RangeState{};
    resumeState_.deviceCommandsAllowed = top.deviceCommandsAllowed && !top.softBreak;
    resumePassLine_ = mark_.line;
    resumePasses_ = std::move(passes);
    mark_.kept = false;
    mark_.passes.clear();
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

std::string TTDLScript::Clipped(std::string text) const
{
    if (text.size() > kShownBytes) {
        std::size_t n = kShownBytes;
        // Not in the middle of a character of a UTF-8 script.
        if (coding_ == platform::TextCoding::Utf8)
            while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
                --n;
        text.resize(n);
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
        ctx_->MainWindow->ShowStatusText("", Clipped(text), coding_);
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
