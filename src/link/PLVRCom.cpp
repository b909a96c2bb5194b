#include "link/PLVRCom.h"

#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/message_loop.h"
#include "platform/port_resolver.h"
#include "serial/SioExcept.h"

#include <algorithm>

namespace kyd::link {

namespace {

constexpr std::int64_t kTickMs = 55;
constexpr std::int64_t kCtsWaitMs = 3000;
// Extra time after the packet's own time-out before the wait gives up by
// itself (the packet's time-out event normally ends it first).
constexpr std::int64_t kBackstopMs = 2000;
// A long reply (a status check's), framed, in characters; the quiet
// interval is this many of them at the line's rate.
constexpr int kLongReplyChars = 110;
constexpr int kResyncReplyLengths = 3;
// A dispenser busy with a slow mechanism may answer a command well after the
// tester gave up on it: the default quiet interval is never shorter than
// this.
constexpr int kMinDefaultResyncMs = 2000;
// A line that has not fallen quiet for a whole window within the time of
// this many windows (a late reply needs two: the one it ends, and a quiet
// one behind it; a reply in two pieces three) stays noisy: the command fails
// without being sent, so the wait lasts a few seconds at most. Windows that
// bytes end early leave their time to the next ones.
constexpr int kMaxQuietWindows = 3;

// The same library exception (its class and error code kept), its message
// led by the operator's sentence.
template <class E>
class Said final : public E, public InOperatorWords {
public:
    Said(const std::string& sentence, const E& cause) : E(sentence + "\n" + cause.what(), 0)
    {
        this->ErrorCode = cause.ErrorCode;
    }
};

// Rethrows the library exception under way with the sentence before its
// message; anything else, or one that already has its sentence, as it is.
[[noreturn]] void RethrowSaying(const std::string& sentence)
{
    try {
        throw;
    } catch (const InOperatorWords&) {
        throw;
    } catch (const sio::EBadId& e) {
        throw Said<sio::EBadId>(sentence, e);
    } catch (const sio::ECommNotOpen& e) {
        throw Said<sio::ECommNotOpen>(sentence, e);
    } catch (const sio::ENoPortSelected& e) {
        throw Said<sio::ENoPortSelected>(sentence, e);
    } catch (const sio::EHardware& e) {
        throw Said<sio::EHardware>(sentence, e);
    } catch (const sio::EAlreadyOpen& e) {
        throw Said<sio::EAlreadyOpen>(sentence, e);
    }
}

// Line feeds alone are no noise: a device that ends its lines with CR LF
// sends one behind every reply, and it may come late.
bool OnlyLineFeeds(const std::string& bytes)
{
    return bytes.find_first_not_of('\n') == std::string::npos;
}

} // namespace

// "COM5 (/dev/ttyS4)", or only "COM5" when the port has no device.
std::string PortName(int port)
{
    std::string text = "COM" + std::to_string(port);
    if (port > 0) {
        const std::string path = platform::resolvePortPath(port);
        if (!path.empty())
            text += " (" + path + ")";
    }
    return text;
}

std::string PortNotAvailableText(int port)
{
    return PortName(port) + " is not available: check the cable and the dispenser's power.";
}

std::string PortInUseText(int port)
{
    return PortName(port) + " is in use by another program: once that program has let it go, the next command "
                            "opens it.";
}

namespace {

// Rethrows the failure under way to open or reach the port with the
// sentence that tells the operator why; anything but a failure to open as
// it is.
[[noreturn]] void RethrowOpenFailure(int port)
{
    try {
        throw;
    } catch (const sio::EAlreadyOpen&) {
        RethrowSaying(PortInUseText(port));
    } catch (const sio::EOpenComm&) {
        RethrowSaying(PortNotAvailableText(port));
    }
}

} // namespace

TCom::TCom(std::unique_ptr<LinkPort> port) : port_(std::move(port))
{
    port_->SetEvents(this);
}

TCom::~TCom()
{
    try {
        port_->Close();
    } catch (...) {
    }
    port_->SetEvents(nullptr);
}

int TCom::Open(int port, int baud, TParity parity, int dataBits, int stopBits, bool handshake)
{
    PortSettings wanted;
    wanted.ComNumber = port;
    wanted.Baud = baud;
    wanted.Parity = parity;
    wanted.DataBits = dataBits;
    wanted.StopBits = stopBits;

    if (port_->IsOpen() && handshake == handshake_ && port_->Settings() == wanted)
        return port_->Settings().ComNumber;

    // Until a port is open, the next command tries this one again.
    configured_ = wanted;
    openWanted_ = port > 0;
    bool badId = false;
    outOfStep_ = false; // a reopened line holds nothing of the old exchanges
    try {
        port_->Close();
        handshake_ = handshake;
        port_->Open(wanted);
    } catch (const sio::EBadId&) {
        badId = true;
    } catch (const sio::EAlreadyOpen& e) {
        platform::dialogs().messageDlg(PortInUseText(port) + "\n" + e.what(), platform::DlgType::Error,
                                       platform::DlgButtons::Ok);
    } catch (const std::exception& e) {
        platform::dialogs().messageDlg(std::string("Error: ") + e.what(), platform::DlgType::Error,
                                       platform::DlgButtons::Ok);
    }
    if (badId) {
        // The port does not exist: the library asks the operator for one.
        // A failure of this attempt (the prompt cancelled) is the caller's.
        wanted.ComNumber = 0;
        try {
            port_->Open(wanted);
        } catch (const sio::ENoPortSelected&) {
            RethrowSaying(kNoPortSelectedText);
        } catch (const sio::EOpenComm&) {
            RethrowSaying(PortNotAvailableText(port_->Settings().ComNumber));
        }
    }
    if (port_->IsOpen()) {
        openWanted_ = false;
        if (PortOpenedHandler)
            PortOpenedHandler();
    }
    return port_->Settings().ComNumber;
}

void TCom::OpenAgainIfWanted()
{
    if (!openWanted_ || port_->IsOpen())
        return;
    try {
        port_->Open(configured_);
    } catch (...) {
        RethrowOpenFailure(configured_.ComNumber);
    }
    openWanted_ = false;
    outOfStep_ = false;
    if (PortOpenedHandler)
        PortOpenedHandler();
}

std::string TCom::Checksum(const std::string& text)
{
    unsigned x = 0;
    for (unsigned char c : text)
        x ^= c;
    std::string out(2, '0');
    out[0] = static_cast<char>(((x >> 4) & 0x0F) | 0x30);
    out[1] = static_cast<char>((x & 0x0F) | 0x30);
    return out;
}

bool TCom::CheckReply(const std::string& reply)
{
    if (reply.size() < 2)
        return false;
    return reply.compare(reply.size() - 2, 2, Checksum(reply.substr(0, reply.size() - 2))) == 0;
}

bool TCom::IsLineText(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 0x20 && u < 0x7F;
    });
}

bool TCom::WaitForCTS()
{
    if (!port_->CTS() && !abort_)
        platform::messageLoop().pumpUntil([this] { return abort_ || port_->CTS(); }, kCtsWaitMs);
    // An abort wins over a CTS that rose in the same turn: nothing is sent.
    return !abort_ && port_->CTS();
}

int TCom::ResyncMs() const
{
    if (resyncSetting_ > 0)
        return std::max(resyncSetting_, kMinResyncMs);
    const PortSettings s = port_->Settings();
    const int bits = 1 + s.DataBits + (s.Parity == TParity::pNone ? 0 : 1) + s.StopBits;
    const int baud = std::max(s.Baud, 1);
    const std::int64_t ms =
        (std::int64_t{kResyncReplyLengths} * kLongReplyChars * bits * 1000 + baud - 1) / baud;
    return static_cast<int>(std::clamp<std::int64_t>(ms, kMinDefaultResyncMs, 60000));
}

bool TCom::Discard(const std::string& bytes)
{
    const std::uint64_t dropped = port_->TakeDroppedInput();
    discarded_.AddDropped(dropped);
    if (OnlyLineFeeds(bytes))
        return dropped > 0;
    discarded_.Add(bytes);
    return true;
}

bool TCom::Resync()
{
    const int quietMs = ResyncMs();
    const int ticks = std::max(2, static_cast<int>((quietMs + kTickMs - 1) / kTickMs));
    const std::int64_t windowMs = ticks * kTickMs;
    // The last moment a window past the first few may start and still end
    // in time.
    const std::int64_t lastStartMs = platform::clock().monotonicMs() + (kMaxQuietWindows - 1) * windowMs;
    bool quiet = false;
    for (int window = 0; !abort_ && (window < kMaxQuietWindows || platform::clock().monotonicMs() <= lastStartMs);
         ++window) {
        packetArrived_ = false;
        error_ = false;
        reply_.clear();
        port_->EnablePacket(ticks);
        // What came between two windows (behind a packet that ended one)
        // came before this window: it is thrown away, the window still
        // counts.
        Discard(port_->TakeStrayInput());
        if (QuietWaitHandler)
            QuietWaitHandler(quietMs);
        const bool ended = port_->PumpUntil([this] { return packetArrived_ || error_ || abort_; },
                                            windowMs + kBackstopMs);
        if (!ended && platform::messageLoop().quitRequested())
            abort_ = true;
        if (abort_ || !ended) {
            port_->DisablePacket();
            Discard(port_->CollectedAtTimeout());
            break;
        }
        if (packetArrived_) {
            Discard(reply_ + "\r");
            continue;
        }
        // A window that brought nothing but the line feed of a CR LF line
        // was quiet.
        if (!Discard(port_->CollectedAtTimeout())) {
            quiet = true;
            break;
        }
    }
    packetArrived_ = false;
    error_ = false;
    reply_.clear();
    return quiet;
}

void TCom::Send(std::string& command, int seconds)
{
    error_ = false;
    abort_ = false;
    reply_.clear();
    discarded_.Clear();
    collected_.Clear();
    sent_ = false;
    packetArrived_ = false;
    staleReply_ = false;
    lineMicrosPerChar_ = 0;
    timeoutTicks_ = TimeoutTicks(seconds);
    command += Checksum(command);
    // A port that failed to open (another program held it, or it was
    // missing) may be there now.
    OpenAgainIfWanted();

    // Bytes that came while no command waited answer nothing this link
    // asked for, or answer it twice: the line is out of step as after a
    // time-out, and the command waits for it to fall quiet. So do bytes
    // still in the device or the library, which the purge below would
    // otherwise drop unseen: the port reads them first.
    if (Discard(port_->TakePendingInput()))
        outOfStep_ = true;
    if (outOfStep_ && port_->CanWaitForQuiet()) {
        const bool quiet = Resync();
        if (abort_ || !quiet) {
            // Cancelled, or the line never fell quiet: nothing is sent, and
            // the link stays out of step until an exchange ends well.
            error_ = true;
            return;
        }
    }

    try {
        // Opens the port again when its line had gone away. Whatever came
        // since the last exchange is no reply to this command: it is thrown
        // away, and shown with the bytes the quiet wait threw away.
        Discard(port_->TakePendingInput());
        port_->FlushInBuffer();
        port_->FlushOutBuffer();
    } catch (...) {
        RethrowOpenFailure(port_->Settings().ComNumber);
    }

    if (handshake_) {
        port_->SetRTS(true);
        if (!WaitForCTS()) {
            error_ = true;
            port_->SetRTS(false);
        }
    }
    if (!error_) {
        if (port_->OutBuffFree() > static_cast<int>(command.size())) {
            port_->EnablePacket(timeoutTicks_);
            lineMicrosPerChar_ = port_->LineMicrosPerChar();
            if (lineMicrosPerChar_ > 0)
                commandOutUs_ = platform::clock().monotonicMs() * 1000
                                + static_cast<std::int64_t>(command.size() + 1) * lineMicrosPerChar_;
            sent_ = true;
            port_->PutString(command + "\r");
        } else {
            error_ = true;
        }
    }
}

std::string TCom::WaitReply()
{
    auto& loop = platform::messageLoop();
    bool ended = false;
    for (;;) {
        ended = port_->PumpUntil([this] { return packetArrived_ || error_ || abort_; },
                                 timeoutTicks_ * kTickMs + kBackstopMs);
        if (!ended || !staleReply_ || error_ || abort_)
            break;
        // A stale reply was set aside: the command's own is still to come.
        staleReply_ = false;
        packetArrived_ = false;
        reply_.clear();
        port_->EnablePacket(timeoutTicks_);
    }
    staleReply_ = false;
    if (!ended && loop.quitRequested())
        abort_ = true; // the program is closing: the command is cancelled
    if (abort_ || !ended) {
        // Aborted, or neither the packet nor its time-out came at all.
        error_ = true;
        port_->DisablePacket();
    }
    // What the packet had collected is shown, even though it is no reply.
    if (error_ && !packetArrived_)
        collected_.Add(port_->CollectedAtTimeout());
    port_->SetRTS(false);
    // A reply longer than any the device gives, or one holding a byte the
    // line does not carry (a NUL is also what a line break reads as), is
    // corrupt whatever its checksum says: the checksum cannot be trusted to
    // see such a byte (two equal bytes cancel).
    if (!error_ && (!CheckReply(reply_) || reply_.size() > static_cast<std::size_t>(maxReplyChars_) ||
                    !IsLineText(reply_)))
        error_ = true;
    // The real reply, or the rest of it, may still come after a failure;
    // an exchange that ended well puts the link back in step (the command
    // layer marks a reply of the wrong shape).
    outOfStep_ = error_;
    return reply_;
}

void TCom::SetAbort()
{
    abort_ = true;
    if (platform::hasMessageLoop())
        platform::messageLoop().wakeUp();
}

void TCom::SioDataPacket1StringPacket(const std::string& packet)
{
    // Line feeds before the reply end the line before it.
    const std::string text = packet.substr(std::min(packet.find_first_not_of('\n'), packet.size()));
    if (lineMicrosPerChar_ > 0) {
        // Where the reply's first character came, from its end and length.
        const std::int64_t firstUs = platform::clock().monotonicMs() * 1000
                                     - static_cast<std::int64_t>(text.size() + 1) * lineMicrosPerChar_;
        if (firstUs + kStaleMarginMs * 1000 < commandOutUs_) {
            discarded_.Add(text + "\r");
            staleReply_ = true;
            packetArrived_ = true; // ends this wait; WaitReply arms again
            return;
        }
    }
    reply_ = text;
    packetArrived_ = true;
}

void TCom::SioDataPacket1Timeout()
{
    error_ = true;
}

} // namespace kyd::link
