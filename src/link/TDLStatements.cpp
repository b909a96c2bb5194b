// The statements of the TDL language: the one table of keywords that the
// engine accepts, and what each statement does. TDLScript.cpp runs the
// script: its lines, loops, status checks, abort and resume.
#include "link/TDLScript.h"

#include "link/CommLog.h"
#include "link/StatusTexts.h"
#include "platform/clock.h"
#include "platform/dialogs.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace kyd::link {

namespace {

constexpr int kCodeRequestFormatError = 62; // '>'
constexpr int kCodeNotesInBundleUnit = 77;  // 'M'

using platform::DlgButtons;
using platform::DlgResult;
using platform::DlgType;

} // namespace

const std::vector<std::string>& TTDLScript::Keywords()
{
    static const std::vector<std::string> keywords{
        "LOOP", "ENDLOOP", "MACHINE_TYPE", "RESET", "DISPENSE", "MOVE_FORWARD", "DELIVER", "REJECT",
        "CHECK_THROAT", "READ_CASS_NR", "READ_CASS_ID", "SHOW_CASSETTE_DLG", "LIFTS_DOWN", "LIFTS_UP",
        "CLOSE_CASS", "OPEN_CASS", "READ_PROGRAM_ID", "STR_CMD", "POLL", "SEND_SELFTESTDATA",
        "SEND_SELFTESTDATA_NC", "CHANGE_TELLER", "CLEAR_FEEDER_VECTOR", "SHOW_MESSAGE", "DELAY_SEC", "DELAY_MSEC",
        "//", "%", "LOG", "#", "SAVE_FM_DATA_DB", "SAVE_DATA_END_DB", "SAVE_FCDATA_END_DB", "STOP_IF_REPLY_EQUAL",
        "STOP_IF_REPLY_NOT_EQUAL", "LOGFILE", "IGNORE_ILLEGAL_COMMAND", "IGNORE_ILLEGAL_COMAND",
        "STOP_IF_ILLEGAL_COMMAND", "STOP_IF_ILLEGAL_COMAND", "SOFT_BREAK_ON_EMPTY", "SET_REJECT_MSG_ON",
        "SET_REJECT_MSG_OFF", "IGNORE_SYNTAX", "TRACE"};
    return keywords;
}

TTDLScript::Outcome TTDLScript::Statement(int i, const std::string& k, int counter, const RangeState& range)
{
    // Only what the keyword table holds is a statement (a loop's own lines
    // never reach here; ENDLOOP outside a loop is unknown).
    const std::vector<std::string>& known = Keywords();
    if (!k.empty() && (k == "ENDLOOP" || std::find(known.begin(), known.end(), k) == known.end()))
        return Unknown(i, k);
    if (k.empty() || k == "MACHINE_TYPE" || k == "//" || k == "SAVE_FM_DATA_DB" || k == "SAVE_DATA_END_DB" ||
        k == "SAVE_FCDATA_END_DB")
        return Outcome::None;
    if (k == "RESET")
        return Send("0", 180);
    if (k == "DISPENSE")
        return Dispense(i, '1', teller_);
    if (k == "MOVE_FORWARD")
        return Dispense(i, '2', '0');
    if (k == "DELIVER" || k == "REJECT") {
        // Not after an ignored error or a soft break in this range.
        if (!range.deviceCommandsAllowed || range.softBreak)
            return Outcome::None;
        return Send(k == "DELIVER" ? "3" : "4", 180);
    }
    if (k == "CHECK_THROAT")
        return CheckThroat(IntParam(i, 1, 1));
    if (k == "READ_CASS_NR")
        return Send("5", 20);
    if (k == "READ_CASS_ID")
        return InTurn({[this] { cmd_->ReadCassetteIds(); }, [this] { cmd_->ReadProgramId(); }});
    if (k == "SHOW_CASSETTE_DLG") {
        if (cmd_->ReadCassetteIds() && ShowCassetteDialog)
            ShowCassetteDialog(*model_);
        return Outcome::Exchanged;
    }
    if (k == "LIFTS_DOWN")
        return Send("7", 180);
    if (k == "LIFTS_UP")
        return Send("8", 180);
    if (k == "CLOSE_CASS" || k == "OPEN_CASS") {
        const bool close = k == "CLOSE_CASS";
        const int n = IntParam(i, 1, -1);
        if (n < 0)
            return Send(close ? "7" : "8", 180);
        if (close)
            cmd_->CloseCassette(n, false);
        else
            cmd_->OpenCassette(n, 1);
        return n > 8 ? Refused(i) : Outcome::Exchanged;
    }
    if (k == "READ_PROGRAM_ID") {
        cmd_->ReadProgramId();
        return Outcome::Exchanged;
    }
    if (k == "STR_CMD" || k == "POLL") {
        const std::string command = Param(i, 1);
        if (!TCom::IsLineText(command))
            return RefusedText(i);
        if (k == "STR_CMD")
            return Send(command, 180);
        cmd_->SendCommand(command, 180);
        lastPumpMs_ = platform::clock().monotonicMs();
        unchecked_ = true;
        uncheckedLine_ = i;
        ++exchanges_;
        return Outcome::None; // never followed by the status check
    }
    if (k == "SEND_SELFTESTDATA") {
        std::vector<std::function<void()>> exchanges{[this] { cmd_->ReadCassetteIds(); },
                                                     [this] { cmd_->ReadProgramId(); }};
        for (int d = 0; d <= 9; ++d)
            exchanges.emplace_back([this, d] { cmd_->SendSelfTestData(d); });
        exchanges.emplace_back([this] { cmd_->SendSelfTestData(-1); });
        const Outcome outcome = InTurn(exchanges);
        // All sent: the parts a dispenser lacks do not fail the statement.
        if (outcome == Outcome::Exchanged && model_->FatalMark != 3)
            model_->StatusClass = kClassWarning;
        return outcome;
    }
    if (k == "SEND_SELFTESTDATA_NC") {
        const int n = IntParam(i, 1, 1);
        cmd_->SendSelfTestData(n);
        return n < -1 ? Refused(i) : Outcome::Exchanged;
    }
    if (k == "CHANGE_TELLER") {
        const std::string p = Param(i, 1);
        if (!TCom::IsLineText(p))
            return RefusedText(i);
        if (!p.empty())
            teller_ = p[0];
        return Outcome::None;
    }
    if (k == "CLEAR_FEEDER_VECTOR") {
        model_->ClearFeeders();
        return Outcome::None;
    }
    if (k == "SHOW_MESSAGE") {
        platform::dialogs().showMessage(Clipped(Rest(i)), coding_);
        return Outcome::None;
    }
    if (k == "DELAY_SEC") {
        Delay(IntParam(i, 1, 10));
        return Outcome::None;
    }
    if (k == "DELAY_MSEC") {
        Delay(IntParam(i, 1, 10000) / 1000);
        return Outcome::None;
    }
    if (k == "%") {
        ShowInfo(Rest(i), coding_);
        return Outcome::None;
    }
    if (k == "LOG") {
        const std::string rest = Rest(i);
        cmd_->LogAnnotation(rest);
        ShowStatus(rest);
        return Outcome::None;
    }
    if (k == "#") {
        ShowInfo("#" + std::to_string(counter));
        return Outcome::None;
    }
    if (k == "STOP_IF_REPLY_EQUAL" || k == "STOP_IF_REPLY_NOT_EQUAL") {
        const std::string text = Param(i, 1);
        const bool equal = cmd_->Reply == text;
        const bool stopIfEqual = k == "STOP_IF_REPLY_EQUAL";
        if (equal == stopIfEqual) {
            const std::string msg = (stopIfEqual ? "Reply is equal: " : "Reply NOT equal: ") + text;
            if (platform::dialogs().messageDlg(Clipped(msg), DlgType::Error, DlgButtons::AbortIgnore, coding_) !=
                DlgResult::Ignore)
                return Outcome::Stop;
        }
        return Outcome::None;
    }
    if (k == "LOGFILE")
        return LogFile(Param(i, 1));
    if (k == "IGNORE_ILLEGAL_COMMAND" || k == "IGNORE_ILLEGAL_COMAND") {
        cmd_->IgnoreIllegal = true;
        return Outcome::None;
    }
    if (k == "STOP_IF_ILLEGAL_COMMAND" || k == "STOP_IF_ILLEGAL_COMAND") {
        cmd_->IgnoreIllegal = false;
        return Outcome::None;
    }
    if (k == "SOFT_BREAK_ON_EMPTY") {
        softBreakOnEmpty_ = true;
        return Outcome::None;
    }
    if (k == "SET_REJECT_MSG_ON") {
        cmd_->RejectIsError = true;
        return Outcome::None;
    }
    if (k == "SET_REJECT_MSG_OFF") {
        cmd_->RejectIsError = false;
        return Outcome::None;
    }
    if (k == "IGNORE_SYNTAX") {
        ignoreSyntax_ = true;
        return Outcome::None;
    }
    if (k == "TRACE") {
        const bool was = trace_;
        trace_ = Param(i, 1) == "ON";
        if (trace_ && !was)
            ShowTraceLine(i);
        return Outcome::None;
    }

    return Unknown(i, k);
}

TTDLScript::Outcome TTDLScript::Unknown(int i, const std::string& k)
{
    // Unrecognised, also ENDLOOP outside a loop and keywords in lower case.
    const std::string text = "Unknown TDL command: " + k;
    char buf[32];
    std::snprintf(buf, sizeof buf, "Line %d: ", i + 1);
    ShowStatus(buf + text);
    if (!ignoreSyntax_ &&
        platform::dialogs().messageDlg(Clipped(text), DlgType::Warning, DlgButtons::AbortIgnore, coding_) !=
            DlgResult::Ignore)
        return Outcome::Stop;
    return Outcome::None;
}

TTDLScript::Outcome TTDLScript::Send(const std::string& command, int seconds)
{
    cmd_->SendCommand(command, seconds);
    return Outcome::Exchanged;
}

TTDLScript::Outcome TTDLScript::Dispense(int i, char a, char b)
{
    std::array<int, 8> counts{};
    bool inRange = true;
    int total = 0;
    for (int k = 1; k <= 8; ++k) {
        const int c = IntParam(i, k, 0);
        counts[static_cast<std::size_t>(k - 1)] = c;
        if (c < 0 || c > 999)
            inRange = false;
        else
            total += c;
    }
    ++dispenseCounter_;
    cmd_->Dispense(a, b, counts);
    if (!inRange)
        return Refused(i);
    return total > 0 ? Outcome::Exchanged : Outcome::None;
}

TTDLScript::Outcome TTDLScript::CheckThroat(int n)
{
    if (n < 1)
        return Outcome::None;
    for (int k = 1; k <= n; ++k) {
        cmd_->SendCommand(":", 5);
        // Notes still in the bundle output unit: look again a second later,
        // unless the operator stopped the script meanwhile.
        if (model_->StatusCode != kCodeNotesInBundleUnit || k == n)
            break;
        if (abort_)
            return Outcome::CutShort;
        Delay(1);
        if (abort_)
            return Outcome::CutShort;
    }
    return Outcome::Exchanged;
}

TTDLScript::Outcome TTDLScript::InTurn(const std::vector<std::function<void()>>& exchanges)
{
    for (std::size_t k = 0; k < exchanges.size(); ++k) {
        if (k > 0 && abort_)
            return Outcome::CutShort;
        exchanges[k]();
    }
    return Outcome::Exchanged;
}

TTDLScript::Outcome TTDLScript::LogFile(const std::string& p)
{
    Settings* options = Options();
    if (p == "OFF") {
        if (options)
            options->LoggingEnabled = false;
        return Outcome::None;
    }
    if (options)
        options->LoggingEnabled = true;
    if (p == "ON")
        return Outcome::None;

    const std::string path = (!p.empty() && p[0] == '/') ? p : (options ? options->ScriptFolder : std::string()) + p;
    if (AppendLogLines(path, {"Opened by TDL script : " + FormatDateTime(platform::clock().wallNow())}) ==
        LogWrite::Written) {
        ShowInfo("Log-file: " + p, platform::TextCoding::FileSystem);
        cmd_->LogFileOverride = path;
    } else {
        const std::string text = "Log File " + path + "could not be created!";
        platform::dialogs().messageDlg(Clipped(text), DlgType::Error, DlgButtons::Ok, platform::TextCoding::FileSystem);
        ShowInfo(text, platform::TextCoding::FileSystem);
    }
    return Outcome::None;
}

TTDLScript::Outcome TTDLScript::Refused(int i)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "Line %d: ", i + 1);
    const std::string where = buf + lines_[static_cast<std::size_t>(i)];
    ShowStatus(where);
    platform::dialogs().messageDlg(model_->CodeText + "\n" + Clipped(where), DlgType::Error, DlgButtons::Ok, coding_);
    return Outcome::Stop;
}

TTDLScript::Outcome TTDLScript::RefusedText(int i)
{
    cmd_->SetStatus(kClassSoftwareRecoverable, kCodeRequestFormatError);
    return Refused(i);
}

} // namespace kyd::link
