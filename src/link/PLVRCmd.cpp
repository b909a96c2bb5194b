#include "link/PLVRCmd.h"

#include "link/ReplyShape.h"
#include "link/StatusTexts.h"
#include "link/TextPos.h"
#include "platform/clock.h"
#include "platform/dialogs.h"

#include <cstdio>
#include <stdexcept>

namespace kyd::link {

namespace {

// Status class of each status character (index = character value).
int ClassOfChar(unsigned char c, bool rejectIsError, bool ignoreIllegal)
{
    switch (c) {
    case '0': case '1': case '<': case 'D': case 'H': case '\\': case 'g': case 'j':
        return kClassWarning;
    case '4':
        return rejectIsError ? kClassSoftwareRecoverable : kClassWarning;
    case '8':
        return ignoreIllegal ? kClassWarning : kClassSoftwareRecoverable;
    case '2': case '3': case ':': case '?': case 'B': case 'M': case 'Q': case 'd':
        return kClassOperatorRecoverable;
    case '7': case 'N': case 'P': case '_': case 'c':
        return kClassSoftwareRecoverable;
    case '6': case '9': case 'E': case 'J': case '[': case '^': case 'e':
        return kClassRetriableFatal;
    case '5': case '=': case 0x40: case 'A': case 'C': case 'F': case 'I': case 'K': case 'W':
    case ']': case '`': case 'a': case 'b': case 'h': case 'p':
        return kClassFatal;
    default:
        return kClassHardwareError;
    }
}

// Code of the refusal of a command whose arguments cannot be framed.
constexpr int kCodeRequestFormatError = 0x3E;

std::string Format(const char* fmt, int a, int b = 0)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, a, b);
    return buf;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

TPLVRCmdF::TPLVRCmdF(Protokoll* model, const AppContext* context) : model_(model), ctx_(context)
{
    if (!model_ || !ctx_)
        throw std::invalid_argument("TPLVRCmdF needs a status model and an application context");
}

TCom& TPLVRCmdF::Com() const
{
    if (!ctx_->Com)
        throw std::logic_error("no dispenser link");
    return *ctx_->Com;
}

void TPLVRCmdF::SendCommand(std::string command, int seconds)
{
    if (busy_)
        return;
    TCom& com = Com();
    busy_ = true;
    Reply.clear();
    MainWindowCallbacks* main = ctx_->MainWindow;
    if (main)
        main->SetBusy(1);

    // However the exchange ends, the busy state ends cleared.
    struct BusyGuard {
        TPLVRCmdF& self;
        MainWindowCallbacks* main;
        bool windowBusy = true;
        void Idle()
        {
            if (windowBusy && main) {
                windowBusy = false;
                main->SetBusy(0);
            }
        }
        ~BusyGuard()
        {
            try {
                Idle();
            } catch (...) {
            }
            self.busy_ = false;
        }
    } guard{*this, main};

    const std::string sent = command;
    if (ctx_->Options)
        com.SetResyncMs(ctx_->Options->InForce().ResyncMs);
    com.SetMaxReplyChars(MaxReplyChars(sent));
    com.Send(command, seconds);
    SendTime = platform::clock().wallNow();
    ExchangeLines lines;
    const std::size_t discardedBefore = com.Discarded().size();
    const std::uint64_t droppedBefore = com.DiscardedDropped();
    if (discardedBefore > 0 || droppedBefore > 0)
        lines.Discarded = DiscardedLine(com.Discarded(), droppedBefore);
    // A command the link failed before writing it (the line never fell
    // quiet, no CTS) is not shown as sent, and has no reply line.
    const bool wentOut = com.CommandSent();
    lines.Out = (wentOut ? "Out: " : "Not sent: ") + command;
    if (ctx_->ComStrings) {
        if (!lines.Discarded.empty())
            ctx_->ComStrings->AddLine(lines.Discarded);
        ctx_->ComStrings->AddLine(lines.Out);
    }

    std::string reply;
    if (!com.ErrorFlag())
        reply = com.WaitReply();
    ReplyTime = platform::clock().wallNow();
    guard.Idle();
    if (wentOut) {
        // Replies the wait found stale, set aside before the command's own.
        const std::uint64_t staleDropped = com.DiscardedDropped() - droppedBefore;
        if (com.Discarded().size() > discardedBefore || staleDropped > 0)
            lines.Stale = DiscardedLine(com.Discarded().substr(discardedBefore), staleDropped);
        // The reply as received, or what had come of it when it failed.
        ShownBytes in;
        if (!reply.empty())
            in.Add(reply);
        else
            in = com.Collected();
        lines.In = "In : " + ShownText(in.Text(), in.Dropped());
    }

    if (ctx_->ComStrings && wentOut) {
        if (!lines.Stale.empty())
            ctx_->ComStrings->AddLine(lines.Stale);
        ctx_->ComStrings->AddLine(lines.In);
    }
    if (ctx_->Options) {
        const Settings& s = ctx_->Options->InForce();
        if (s.LoggingEnabled)
            WriteExchange(lines, s.TimeStamp, s.DateStamp);
        else
            logTroubleSaid_.reset(); // switched on again: a trouble is told anew
    }

    const std::size_t received = reply.size();
    reply.erase(received >= 2 ? received - 2 : 0);

    if (com.ErrorFlag()) {
        if (com.AbortFlag())
            SetStatus(kClassWarning, kCodeCommunicationCanceled);
        else if (received > 2)
            SetStatus(kClassSoftwareRecoverable, kCodeLrcError);
        else
            SetStatus(kClassSoftwareRecoverable, kCodeNoConnection);
        reply.clear();
    } else if (reply.empty()) {
        // "00": a good checksum around nothing carries no status.
        SetStatus(kClassSoftwareRecoverable, kCodeNoConnection);
    } else if (!ReplyFitsCommand(sent, reply)) {
        // Not this command's reply: a corrupt reply, and whatever answers
        // this command may still be on its way.
        SetStatus(kClassSoftwareRecoverable, kCodeLrcError);
        reply.clear();
        com.SetOutOfStep();
    } else {
        ClassifyReply(reply[0]);
    }
    Reply = reply;
    if (main)
        main->ShowStatusText(Reply, model_->CodeText);
}

void TPLVRCmdF::SetStatus(int statusClass, int code)
{
    model_->StatusClass = statusClass;
    model_->SetCode(code);
    if (statusClass == kClassFatal)
        model_->FatalMark = 3;
}

void TPLVRCmdF::ClassifyReply(char c)
{
    const auto u = static_cast<unsigned char>(c);
    const int cls = ClassOfChar(u, RejectIsError, IgnoreIllegal);
    model_->StatusClass = cls;
    model_->SetCharCode(u);
    if (cls == kClassFatal)
        model_->FatalMark = 3;
}

void TPLVRCmdF::Abort()
{
    if (ctx_->Com)
        ctx_->Com->SetAbort();
}

std::string TPLVRCmdF::LogFileName() const
{
    if (!LogFileOverride.empty())
        return LogFileOverride;
    return ctx_->Options ? ctx_->Options->InForce().LogFile : std::string();
}

void TPLVRCmdF::LogExchange(const std::string& command, const std::string& reply, bool timeStamp,
                            bool dateStamp, const std::string& discarded, const std::string& stale)
{
    ExchangeLines lines;
    if (!discarded.empty())
        lines.Discarded = DiscardedLine(discarded);
    lines.Out = "Out: " + command;
    if (!stale.empty())
        lines.Stale = DiscardedLine(stale);
    lines.In = "In : " + ShownText(reply);
    WriteExchange(lines, timeStamp, dateStamp);
}

void TPLVRCmdF::WriteExchange(const ExchangeLines& exchange, bool timeStamp, bool dateStamp)
{
    std::string sendStamp = FormatLogStamp(SendTime, timeStamp, dateStamp);
    std::string replyStamp = FormatLogStamp(ReplyTime, timeStamp, dateStamp);
    if (!sendStamp.empty())
        sendStamp += ' ';
    if (!replyStamp.empty())
        replyStamp += ' ';
    std::vector<std::string> lines;
    if (!exchange.Discarded.empty())
        lines.push_back(sendStamp + exchange.Discarded);
    lines.push_back(sendStamp + exchange.Out);
    if (!exchange.Stale.empty())
        lines.push_back(replyStamp + exchange.Stale);
    if (!exchange.In.empty())
        lines.push_back(replyStamp + exchange.In);
    WriteLog(lines);
}

void TPLVRCmdF::LogAnnotation(const std::string& text)
{
    WriteLog({"// <<" + FormatDateTime(platform::clock().wallNow()) + ">> " + text});
}

void TPLVRCmdF::WriteLog(const std::vector<std::string>& lines)
{
    const std::string file = LogFileName();
    const LogWrite result = AppendLogLines(file, lines);
    if (result == LogWrite::Written) {
        logTroubleSaid_.reset();
        return;
    }
    // Told once: a file that cannot be written would otherwise stop every
    // exchange with the same box.
    if (logTroubleSaid_ && logTroubleSaid_->first == file && logTroubleSaid_->second == result)
        return;
    logTroubleSaid_.emplace(file, result);
    switch (result) {
    case LogWrite::Written:
        break;
    case LogWrite::NotOpened:
        platform::dialogs().messageDlg("Could not open Log file: \n" + file, platform::DlgType::Error,
                                       platform::DlgButtons::Ok, platform::TextCoding::FileSystem);
        break;
    case LogWrite::Failed:
        platform::dialogs().messageDlg("Could not write Log file: \n" + file, platform::DlgType::Error,
                                       platform::DlgButtons::Ok, platform::TextCoding::FileSystem);
        break;
    }
}

void TPLVRCmdF::Refuse()
{
    Reply.clear();
    SetStatus(kClassSoftwareRecoverable, kCodeRequestFormatError);
    if (ctx_->MainWindow)
        ctx_->MainWindow->ShowStatusText(Reply, model_->CodeText);
}

// ---- command set -----------------------------------------------------------

void TPLVRCmdF::Dispense(char a, char b, const std::array<int, 8>& counts)
{
    if (busy_)
        return;
    Command = std::string{a, b};
    ++model_->DispenseCount;
    for (int count : counts)
        if (count < 0 || count > 999) {
            Refuse();
            return;
        }
    int total = 0;
    for (int n = 1; n <= 8; ++n) {
        const int count = counts[static_cast<std::size_t>(n - 1)];
        if (count != 0) {
            Command += Format("%d%03d", n, count);
            total += count;
            model_->LastCassette = n;
        }
    }
    if (total <= 0)
        return;
    model_->NotesThisDispense = total;
    model_->TotalNotes += total;
    SendCommand(Command, 180);
    if (Reply.size() >= 2) {
        // Three digits; anything else (short, blank, sign) gives -1.
        const std::string delivered = SubString(Reply, 4, 3);
        model_->NotesDelivered = delivered.size() == 3 ? DecimalOrMinusOne(delivered) : -1;
    }
}

bool TPLVRCmdF::ReadCassetteIds()
{
    if (busy_)
        return false;
    Command = "5";
    SendCommand(Command, 20);
    if (Reply.size() < 2)
        return false;
    const int records = static_cast<int>(Reply.size() / 7);
    FeederList list = model_->TakeFeeders();
    list.resize(static_cast<std::size_t>(records));
    for (auto& f : list)
        if (!f)
            f = std::make_unique<FeederData>();
    for (int i = 0; i < records; ++i) {
        const int pos = 2 + 7 * i;
        const char hopper = CharAt(Reply, pos);
        if (!IsDigit(hopper)) {
            // A broken record: drop it and everything after it, so no entry
            // keeps an id from an earlier read.
            list.resize(static_cast<std::size_t>(i));
            break;
        }
        FeederData& f = *list[static_cast<std::size_t>(i)];
        f.Number = hopper - '0';
        const int code = static_cast<unsigned char>(CharAt(Reply, pos + 1));
        f.Status = (code >= 48 && code <= 127) ? StatusCodeText(model_->StringBase + code) : "";
        f.Id = SubString(Reply, pos + 2, 5);
    }
    model_->SetFeeders(std::move(list));
    return true;
}

bool TPLVRCmdF::ReadLastStatus()
{
    if (busy_)
        return false;
    Command = "6";
    model_->ClearFeeders();
    SendCommand(Command, 5);
    if (Reply.size() < 2)
        return false;
    FeederList list;
    const std::string reply = Reply;
    for (int i = 0; i < static_cast<int>(reply.size()); i += 5) {
        const char hopper = CharAt(reply, i + 2);
        const char status = CharAt(reply, i + 3);
        if (!IsDigit(hopper) || status == '\0')
            break;
        auto f = std::make_unique<FeederData>();
        f->Number = hopper - '0';
        ClassifyReply(status);
        f->Status = model_->CodeText;
        f->Count = DecimalOrMinusOne(SubString(reply, i + 4, 3));
        list.push_back(std::move(f));
    }
    model_->SetFeeders(std::move(list));
    return true;
}

void TPLVRCmdF::OpenCassette(int n, int m)
{
    if (busy_)
        return;
    if (n < 0 || n > 8 || m < 0 || m > 9) {
        Refuse();
        return;
    }
    Command = Format("8%d%d", n, m);
    SendCommand(Command, 180);
}

void TPLVRCmdF::CloseCassette(int n, bool flag)
{
    if (busy_)
        return;
    if (n < 0 || n > 8) {
        Refuse();
        return;
    }
    Command = Format("7%d1", n);
    if (flag)
        Command[2] = '2';
    SendCommand(Command, 180);
}

bool TPLVRCmdF::ReadRejectTrace()
{
    if (busy_)
        return false;
    Command = "9";
    SendCommand(Command, 5);
    if (Reply.size() < 2)
        return false;
    model_->Trace = Reply.substr(1);
    return true;
}

bool TPLVRCmdF::ReadData(int item, const std::string& parameter)
{
    if (busy_)
        return false;
    if (item < 0) {
        Refuse();
        return false;
    }
    Command = Format("RD/%03d", item);
    if (!parameter.empty())
        Command += "/" + parameter;
    SendCommand(Command, 20);
    if (Reply.size() < 3)
        return false;
    model_->ReadData = Reply.substr(1);
    return true;
}

void TPLVRCmdF::WriteData(int item, const std::string& text, int seconds)
{
    if (busy_)
        return;
    if (item < 0) {
        Refuse();
        return;
    }
    Command = Format("WD/%03d/", item) + text;
    SendCommand(Command, seconds);
}

bool TPLVRCmdF::ReadCassetteData(int cassette, int item)
{
    if (busy_)
        return false;
    if (cassette < 0 || cassette > 8 || item < 0 || item > 99) {
        Refuse();
        return false;
    }
    Command = Format("RD/9%d%02d", cassette, item);
    SendCommand(Command, 20);
    if (Reply.size() < 3)
        return false;
    model_->ReadData = Reply.substr(1);
    return true;
}

void TPLVRCmdF::WriteCassetteData(int cassette, int item, const std::string& text)
{
    if (busy_)
        return;
    if (cassette < 0 || cassette > 8 || item < 0 || item > 99) {
        Refuse();
        return;
    }
    Command = Format("WD/9%d%02d/", cassette, item) + text;
    SendCommand(Command, 20);
}

bool TPLVRCmdF::ReadProgramId()
{
    if (busy_)
        return false;
    Command = "A";
    SendCommand(Command, 5);
    if (Reply.size() < 2)
        return false;
    const std::string& r = Reply;
    if (r.size() <= 8)
        model_->ProgramId = SubString(r, 3, 2) + "-" + SubString(r, 5, 2) + "." + SubString(r, 7, 2);
    else
        model_->ProgramId = SubString(r, 3, 4) + "-" + SubString(r, 7, 2) + "." + SubString(r, 9, 2);
    return true;
}

bool TPLVRCmdF::SendSelfTestData(int n)
{
    if (busy_)
        return false;
    if (n < -1) {
        Refuse();
        return false;
    }
    Command = n == -1 ? std::string("GA") : "G" + std::to_string(n);
    SendCommand(Command, 20);
    if (Reply.size() < 3)
        return false;
    model_->SelfTestData = Reply.substr(1);
    return true;
}

bool TPLVRCmdF::CheckStatus()
{
    if (busy_)
        return false;
    Command = "Q";
    SendCommand(Command, 20);
    if (Reply.size() < 3)
        return false;
    model_->CheckStatusData = Reply.substr(1);
    return true;
}

} // namespace kyd::link
