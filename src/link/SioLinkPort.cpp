#include "link/SioLinkPort.h"

#include "platform/message_loop.h"
#include "platform/port_resolver.h"
#include "platform/serial_presence.h"
#include "serial/SioDispatch.h"
#include "serial/SioExcept.h"
#include "serial/SioPosix.h"

#include <algorithm>
#include <climits>

namespace kyd::link {

namespace {

// Modem-status mask of CTS.
constexpr std::uint32_t kCtsMask = 0x10;
// Line-status mask: overrun, parity, framing, break. A line that went away
// raises the trigger whatever the mask.
constexpr std::uint32_t kLineErrorMask = 0x0F;
// What the port reports as the line error of a line that went away.
constexpr std::uint16_t kLineGone = 10;
// Longest wait for a close to finish before the port opens again.
constexpr std::int64_t kCloseWaitMs = 2000;
// Most unread bytes taken for the log before a command; the flush drops the
// rest.
constexpr std::uint32_t kMaxPendingShown = 4096;
// Most bytes read from the device before a command: a device that floods
// the line faster than they can be read is not waited for.
constexpr std::size_t kMaxDeviceDrain = 256 * 1024;

} // namespace

SioLinkPort::SioLinkPort()
{
    SioComPort1.SetBaud(9600);
    SioComPort1.SetParity(sio::pEven);
    SioComPort1.SetDataBits(7);
    SioComPort1.SetStopBits(1);
    SioComPort1.SetAutoOpen(false);
    SioComPort1.SetDTR(false);
    SioComPort1.SetRTS(false);
    SioComPort1.SetBufferFull(3686);
    SioComPort1.SetBufferResume(409);
    SioComPort1.SetTraceName("DIDA.TRC");
    SioComPort1.SetLogName("DIDA.LOG");
    SioComPort1.SetTraceHex(false);
    SioComPort1.SetLogHex(false);
    SioComPort1.SetOnTriggerModemStatus([this](sio::TSioCustomComPort&) { ModemStatusChanged(); });
    SioComPort1.SetOnTriggerLineError(
        [this](sio::TSioCustomComPort&, std::uint16_t error, bool) { LineErrorRaised(error); });

    SioDataPacket1.SetEnabled(false);
    SioDataPacket1.SetAutoEnable(false);
    SioDataPacket1.SetStartCond(sio::scAnyData);
    SioDataPacket1.SetEndCond(sio::ecString);
    SioDataPacket1.SetEndString("\r");
    SioDataPacket1.SetPacketSize(0);
    SioDataPacket1.SetIncludeStrings(false);
    SioDataPacket1.SetTimeOut(360);
    SioDataPacket1.SetOnStringPacket([this](sio::TSioDataPacket&, const std::string& text) {
        if (events_)
            events_->OnStringPacket(text);
    });
    SioDataPacket1.SetOnTimeout([this](sio::TSioDataPacket&) {
        if (events_)
            events_->OnPacketTimeout();
    });
    SioDataPacket1.SetComPort(&SioComPort1);

    // Any byte starts a stray piece, a carriage return ends it (both kept);
    // a piece longer than what is shown ends where the showing stops. Its
    // events run on the dispatch thread, so nothing waits for the main one.
    StrayWatch.SetEnabled(false);
    StrayWatch.SetStartCond(sio::scString);
    StrayWatch.SetStartString("?");
    StrayWatch.SetEndCond(sio::ecString);
    StrayWatch.SetEndString("\r");
    StrayWatch.SetIncludeStrings(true);
    StrayWatch.SetAutoEnable(true);
    StrayWatch.SetSyncEvents(false);
    StrayWatch.SetTimeOut(0);
    StrayWatch.SetMaxSize(static_cast<std::int32_t>(kMaxPendingShown));
    StrayWatch.SetOnStringPacket([this](sio::TSioDataPacket&, const std::string& text) { KeepStray(text); });
    StrayWatch.SetOnTimeout([this](sio::TSioDataPacket& p) {
        std::string text;
        p.GetCollectedString(text);
        KeepStray(text);
    });
    StrayWatch.SetComPort(&SioComPort1);
    SioComPort1.SetOnPortClose([this](sio::TSioCustomComPort&) { StopStrayWatch(); });
}

SioLinkPort::~SioLinkPort()
{
    events_ = nullptr;
    try {
        Close();
        WaitClosed();
    } catch (...) {
    }
    SioComPort1.SetOnPortClose({});
    StrayWatch.SetComPort(nullptr);
    SioDataPacket1.SetComPort(nullptr);
}

void SioLinkPort::Open(const PortSettings& settings)
{
    Close();
    WaitClosed();
    SioComPort1.SetComNumber(static_cast<std::uint16_t>(std::clamp(settings.ComNumber, 0, 0xFFFF)));
    SioComPort1.SetBaud(settings.Baud);
    SioComPort1.SetParity(static_cast<sio::TParity>(settings.Parity));
    SioComPort1.SetDataBits(static_cast<std::uint16_t>(settings.DataBits));
    SioComPort1.SetStopBits(static_cast<std::uint16_t>(settings.StopBits));
    // The handshake is the link's own business, not the library's.
    SioComPort1.ClearHWFlowOptionsField();
    SioComPort1.SetRTS(false);
    OpenComponent();
}

void SioLinkPort::WaitClosed()
{
    // A close asked for while the library's dispatch thread was handing the
    // main thread a notice finishes once its threads have ended; the port
    // cannot open before.
    if (SioComPort1.GetPortState() != sio::psShuttingDown || !platform::hasMessageLoop())
        return;
    platform::messageLoop().pumpUntil([this] { return SioComPort1.GetPortState() != sio::psShuttingDown; },
                                      kCloseWaitMs);
}

void SioLinkPort::OpenComponent()
{
    SioComPort1.SetOpen(true);
    try {
        AddTriggers();
    } catch (...) {
        SioComPort1.SetOpen(false);
        throw;
    }
    lineLost_ = false;
    lineMicrosPerChar_ = 0;
    StartStrayWatch();
    // Only a UART clocks the bytes out at the line's rate; a pseudo-terminal
    // or a USB communication-class device hands them over at once.
    if (platform::serialDeviceClocksBytes(platform::resolvePortPath(SioComPort1.GetComNumber()), deviceTables_)) {
        const PortSettings s = Settings();
        const int bits = 1 + s.DataBits + (s.Parity == TParity::pNone ? 0 : 1) + s.StopBits;
        lineMicrosPerChar_ = std::int64_t{bits} * 1000000 / std::max(s.Baud, 1);
    }
}

void SioLinkPort::AddTriggers()
{
    // CTS is watched only while RTS is up: the handshake waits for it.
    modemTrigger_ = SioComPort1.AddStatusTrigger(sio::stModem);
    SioComPort1.SetStatusTrigger(modemTrigger_, kCtsMask, SioComPort1.GetRTS());
    lineTrigger_ = SioComPort1.AddStatusTrigger(sio::stLine);
    SioComPort1.SetStatusTrigger(lineTrigger_, kLineErrorMask, true);
}

void SioLinkPort::Close()
{
    SioDataPacket1.SetEnabled(false);
    StopStrayWatch();
    SioComPort1.SetOpen(false);
    lineLost_ = false;
    modemTrigger_ = 0;
    lineTrigger_ = 0;
}

bool SioLinkPort::IsOpen() const
{
    return SioComPort1.GetPortState() == sio::psOpen;
}

PortSettings SioLinkPort::Settings() const
{
    PortSettings s;
    s.ComNumber = SioComPort1.GetComNumber();
    s.Baud = SioComPort1.GetBaud();
    s.Parity = static_cast<TParity>(SioComPort1.GetParity());
    s.DataBits = SioComPort1.GetDataBits();
    s.StopBits = SioComPort1.GetStopBits();
    return s;
}

void SioLinkPort::SetRTS(bool on)
{
    if (lineLost_) {
        // The device is gone; the next open sets the line afresh.
        try {
            SioComPort1.SetRTS(on);
        } catch (const sio::ESIOException&) {
        }
        return;
    }
    if (!on && modemTrigger_ && IsOpen())
        SioComPort1.SetStatusTrigger(modemTrigger_, kCtsMask, false);
    SioComPort1.SetRTS(on);
    if (on && modemTrigger_ && IsOpen())
        SioComPort1.SetStatusTrigger(modemTrigger_, kCtsMask, true);
}

bool SioLinkPort::CTS() const
{
    return !lineLost_ && SioComPort1.CTS();
}

int SioLinkPort::OutBuffFree() const
{
    return static_cast<int>(std::min<std::uint32_t>(SioComPort1.OutBuffFree(), INT_MAX));
}

void SioLinkPort::RequireOpen() const
{
    if (SioComPort1.GetPortState() != sio::psOpen)
        throw sio::ECommNotOpen(sio::ecodes::ecCommNotOpen);
}

bool SioLinkPort::NoticeLostLine()
{
    if (!lineLost_) {
        const sio::TSioBaseDispatcher* d = SioComPort1.CurrentDispatcher();
        if (d && d->LineLost())
            LineErrorRaised(kLineGone);
    }
    return lineLost_;
}

void SioLinkPort::ReopenLostLine()
{
    if (!lineLost_)
        return;
    // The line went away under the open port: open it again with the same
    // settings. A failure (the device is still gone) is the caller's; the
    // mark stays, so the next exchange tries again.
    if (SioComPort1.GetPortState() != sio::psClosed) {
        SioComPort1.SetOpen(false);
        WaitClosed();
    }
    SioComPort1.SetRTS(false);
    OpenComponent();
}

void SioLinkPort::Purge(void (sio::TSioComPort::*purge)())
{
    RequireOpen();
    try {
        (SioComPort1.*purge)();
        return;
    } catch (const sio::EInOutError&) {
        // The device refused the purge: its line went away before the port
        // heard of it. It is opened again as for a line the port saw go.
        LineErrorRaised(kLineGone);
    }
    ReopenLostLine();
    RequireOpen();
    (SioComPort1.*purge)();
}

void SioLinkPort::FlushInBuffer()
{
    NoticeLostLine();
    ReopenLostLine();
    Purge(&sio::TSioComPort::FlushInBuffer);
}

void SioLinkPort::StartStrayWatch()
{
    {
        std::lock_guard lock(strayMutex_);
        stray_.clear(); // a new line holds nothing of the old one
    }
    StrayWatch.SetEnabled(true);
}

void SioLinkPort::StopStrayWatch()
{
    StrayWatch.SetEnabled(false);
    std::lock_guard lock(strayMutex_);
    stray_.clear();
}

void SioLinkPort::KeepStray(const std::string& bytes)
{
    if (bytes.empty())
        return;
    {
        std::lock_guard lock(strayMutex_);
        const std::size_t kept = std::min<std::size_t>(bytes.size(), kMaxPendingShown - std::min<std::size_t>(stray_.size(), kMaxPendingShown));
        stray_.append(bytes, 0, kept);
        dropped_ += bytes.size() - kept;
    }
    if (platform::hasMessageLoop())
        platform::messageLoop().wakeUp();
}

std::size_t SioLinkPort::StrayBytes() const
{
    std::lock_guard lock(strayMutex_);
    return stray_.size();
}

bool SioLinkPort::StopStrayWatchKeeping()
{
    if (!StrayWatch.GetEnabled())
        return false;
    std::string collecting;
    StrayWatch.GetCollectingString(collecting);
    StrayWatch.SetEnabled(false);
    KeepStray(collecting);
    return true;
}

std::string SioLinkPort::TakeStrayInput()
{
    // A piece under way is taken too; the watch starts afresh behind it.
    if (StopStrayWatchKeeping())
        StrayWatch.SetEnabled(true);
    std::lock_guard lock(strayMutex_);
    return std::exchange(stray_, {});
}

std::uint64_t SioLinkPort::TakeDroppedInput()
{
    std::lock_guard lock(strayMutex_);
    return std::exchange(dropped_, 0);
}

std::string SioLinkPort::TakePendingInput()
{
    // What the watch has, then what the library has not handed out yet,
    // then what the device holds that the library has not read: a purge
    // would drop both unseen.
    std::string bytes = TakeStrayInput();
    if (lineLost_ || !IsOpen())
        return bytes;
    std::string unread;
    std::uint64_t notShown = 0;
    try {
        const std::uint32_t used = SioComPort1.InBuffUsed();
        const std::uint32_t n = std::min<std::uint32_t>(used, kMaxPendingShown);
        unread.resize(n);
        if (n > 0)
            SioComPort1.GetBlock(unread.data(), n);
        notShown = used - n;
    } catch (const sio::ESIOException&) {
        unread.clear(); // the flush that follows reports a port gone bad
    }
    unread += ReadUnreadDeviceInput(kMaxPendingShown - std::min<std::size_t>(kMaxPendingShown, unread.size()));
    std::lock_guard lock(strayMutex_);
    dropped_ += notShown;
    return bytes + unread;
}

std::string SioLinkPort::ReadUnreadDeviceInput(std::size_t room)
{
    auto* d = dynamic_cast<sio::TSioPosixDispatcher*>(SioComPort1.CurrentDispatcher());
    if (!d || !d->Device().isOpen())
        return {};
    // Non-blocking reads; whatever the library's reader takes meanwhile
    // reaches the watch.
    std::string kept;
    std::uint64_t notShown = 0;
    char buf[512];
    for (std::size_t total = 0; total < kMaxDeviceDrain;) {
        const long n = d->Device().read(buf, sizeof buf);
        if (n <= 0)
            break; // all read, or the line failed (the library reports it)
        const std::size_t got = static_cast<std::size_t>(n);
        const std::size_t keep = std::min(got, room - std::min(room, kept.size()));
        kept.append(buf, keep);
        notShown += got - keep;
        total += got;
    }
    std::lock_guard lock(strayMutex_);
    dropped_ += notShown;
    return kept;
}

void SioLinkPort::FlushOutBuffer()
{
    Purge(&sio::TSioComPort::FlushOutBuffer);
}

void SioLinkPort::PutString(const std::string& bytes)
{
    RequireOpen();
    try {
        SioComPort1.PutString(bytes);
    } catch (const sio::ESerialIO&) {
        // The device refused the write, or the library found the line gone
        // and its report has not come yet: the exchange fails as for a line
        // lost while waiting (nothing was sent), and the next command opens
        // the port again.
        if (!NoticeLostLine())
            LineErrorRaised(kLineGone);
    }
}

void SioLinkPort::EnablePacket(int timeoutTicks)
{
    // The watch's piece under way is kept and the watch stopped, so that the
    // reply packet takes every byte from now on (a packet that starts on any
    // data waits while another one collects); it watches again behind it.
    const bool watching = StopStrayWatchKeeping();
    // Disarmed first, so the time-out starts over.
    SioDataPacket1.SetEnabled(false);
    endedUnseen_ = false;
    endedCollecting_.clear();
    SioDataPacket1.SetTimeOut(std::max(timeoutTicks, 1));
    SioDataPacket1.SetEnabled(true);
    if (watching)
        StrayWatch.SetEnabled(true);
}

void SioLinkPort::DisablePacket()
{
    if (SioDataPacket1.GetEnabled()) {
        SioDataPacket1.GetCollectingString(endedCollecting_);
        endedUnseen_ = true;
    }
    SioDataPacket1.SetEnabled(false);
}

bool SioLinkPort::PumpUntil(const std::function<bool()>& done, std::int64_t timeoutMs)
{
    // A closed port, or one whose line went away, just pumps.
    return SioComPort1.PumpUntil(done, timeoutMs);
}

std::string SioLinkPort::CollectedAtTimeout() const
{
    if (endedUnseen_)
        return endedCollecting_;
    std::string s;
    SioDataPacket1.GetCollectedString(s);
    return s;
}

void SioLinkPort::ModemStatusChanged()
{
    if (modemTrigger_ && IsOpen() && !lineLost_ && SioComPort1.GetRTS())
        SioComPort1.SetStatusTrigger(modemTrigger_, kCtsMask, true);
    if (events_)
        events_->OnLineChange();
}

void SioLinkPort::LineErrorRaised(std::uint16_t error)
{
    if (error != kLineGone) {
        // A character was garbled: the checksum tells the link. Watch on.
        if (lineTrigger_ && IsOpen())
            SioComPort1.SetStatusTrigger(lineTrigger_, kLineErrorMask, true);
        return;
    }
    // The library's threads have ended: no packet event comes any more.
    if (lineLost_)
        return;
    lineLost_ = true;
    if (SioDataPacket1.GetEnabled()) {
        DisablePacket(); // what it had collected is still shown
        if (events_)
            events_->OnPacketTimeout();
    }
    if (events_)
        events_->OnPortLost();
}

} // namespace kyd::link
