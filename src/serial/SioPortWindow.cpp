// The serial port component: its window, which takes the dispatcher's
// notifications on the main thread and raises the component's events.
#include "serial/SioPort.h"

#include "platform/exception_sink.h"
#include "serial/SioPacketList.h"
#include "serial/SioPosix.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <utility>

namespace sio {

namespace pf = kyd::platform;

namespace {

// Delay before looking again at a close whose threads are still ending.
constexpr std::int64_t kFinishCloseRetryMs = 5;
} // namespace


std::intptr_t TSioCustomComPort::ComWindowProc(const pf::Message& m)
{
    switch (m.msg) {
    case kMsgTriggerAvail:
    case kMsgTriggerData:
    case kMsgTriggerTimer:
    case kMsgTriggerStatus:
        pf::guarded("serial port trigger event", [&] { HandleTriggerMessage(m); });
        return 0;
    case kMsgFinishClose:
        pf::guarded("serial port", [&] { HandleFinishClose(); });
        return 0;
    default:
        return 0;
    }
}

void TSioCustomComPort::HandleTriggerMessage(const pf::Message& m)
{
    const auto third = static_cast<std::uint32_t>(m.lParam);
    const int index = static_cast<int>(third >> 16);
    bool mine;
    LockPortList();
    mine = dispatcher_ && GetTComRecPtr(index) == dispatcher_.get();
    UnlockPortList();
    if (!mine)
        return;
    const auto second = static_cast<std::uint16_t>(m.wParam);
    const auto data = m.msg == kMsgTriggerAvail ? second : static_cast<std::uint16_t>(third & 0xFFFF);
    // A handler may free the port: nothing of it is touched afterwards.
    const std::weak_ptr<int> alive = life_;
    ++triggerHandlerDepth_;
    struct Leave {
        TSioCustomComPort& port;
        const std::weak_ptr<int>& alive;
        ~Leave()
        {
            if (!alive.expired())
                --port.triggerHandlerDepth_;
        }
    } leave{*this, alive};
    Trigger(static_cast<std::uint16_t>(m.msg), second, data);
    if (alive.expired())
        return;
    switch (m.msg) {
    case kMsgTriggerAvail: TriggerAvail(second); break;
    case kMsgTriggerData: TriggerData(second); break;
    case kMsgTriggerTimer: TriggerTimer(second); break;
    case kMsgTriggerStatus: {
        TriggerStatus(second);
        if (alive.expired() || !dispatcher_)
            break;
        switch (TSioBaseDispatcher::ClassifyStatusTrigger(second)) {
        case stModem: TriggerModemStatus(); break;
        case stLine: {
            const std::uint16_t err = LineError();
            TriggerLineError(err, LineBreak());
            break;
        }
        case stOutFree: TriggerOutbuffFree(); break;
        case stOutUsed: TriggerOutbuffUsed(); break;
        case stOutSent: TriggerOutSent(); break;
        default: break;
        }
        break;
    }
    default: break;
    }
}

void TSioCustomComPort::HandleFinishClose()
{
    // During CloseDispatcher the close finishes when it returns.
    if (!dispatcher_ || state_.load() != psShuttingDown || closingDispatcher_ > 0)
        return;
    if (dispatcher_->ThreadsActive()) {
        // Threads still ending: look again shortly.
        pf::messageLoop().postDelayed(comWindow_,
                                      pf::Message{kMsgFinishClose, 0,
                                                  static_cast<std::intptr_t>(dispatcher_->PortIndex()) << 16},
                                      kFinishCloseRetryMs);
        return;
    }
    WhileClosing([&] { dispatcher_->FinishDeferredClose(); });
    FinishClose();
    if (openPending_) {
        openPending_ = false;
        InitPort();
    }
}

bool TSioCustomComPort::AnyTriggerEvent() const
{
    return onTrigger_ || onTriggerAvail_ || onTriggerData_ || onTriggerStatus_ || onTriggerTimer_ ||
           onTriggerLineError_ || onTriggerModemStatus_ || onTriggerOutbuffFree_ || onTriggerOutbuffUsed_ ||
           onTriggerOutSent_;
}

void TSioCustomComPort::UpdateHandlerFlag()
{
    if (TSioBaseDispatcher* d = OpenDispatcher()) {
        // Every trigger notice goes through onTrigger; the others each to
        // their own events.
        using D = TSioBaseDispatcher;
        std::uint32_t wants = D::kPortWantsAll;
        if (!onTrigger_) {
            wants = 0;
            if (onTriggerAvail_)
                wants |= D::kPortWantsAvail;
            if (onTriggerData_)
                wants |= D::kPortWantsData;
            if (onTriggerTimer_)
                wants |= D::kPortWantsTimer;
            if (onTriggerStatus_ || onTriggerLineError_ || onTriggerModemStatus_ || onTriggerOutbuffFree_ ||
                onTriggerOutbuffUsed_ || onTriggerOutSent_)
                wants |= D::kPortWantsStatus;
        }
        d->UpdateHandlerFlags(AnyTriggerEvent() ? 1 : 2, wants);
    }
}

void TSioCustomComPort::Trigger(std::uint16_t msg, std::uint16_t h, std::uint16_t data)
{
    if (onTrigger_)
        onTrigger_(*this, msg, h, data);
}
void TSioCustomComPort::TriggerAvail(std::uint16_t count)
{
    if (onTriggerAvail_)
        onTriggerAvail_(*this, count);
}
void TSioCustomComPort::TriggerData(std::uint16_t h)
{
    if (onTriggerData_)
        onTriggerData_(*this, h);
}
void TSioCustomComPort::TriggerStatus(std::uint16_t h)
{
    if (onTriggerStatus_)
        onTriggerStatus_(*this, h);
}
void TSioCustomComPort::TriggerTimer(std::uint16_t h)
{
    if (onTriggerTimer_)
        onTriggerTimer_(*this, h);
}
void TSioCustomComPort::TriggerLineError(std::uint16_t error, bool lineBreak)
{
    if (onTriggerLineError_)
        onTriggerLineError_(*this, error, lineBreak);
}
void TSioCustomComPort::TriggerModemStatus()
{
    if (onTriggerModemStatus_)
        onTriggerModemStatus_(*this);
}
void TSioCustomComPort::TriggerOutbuffFree()
{
    if (onTriggerOutbuffFree_)
        onTriggerOutbuffFree_(*this);
}
void TSioCustomComPort::TriggerOutbuffUsed()
{
    if (onTriggerOutbuffUsed_)
        onTriggerOutbuffUsed_(*this);
}
void TSioCustomComPort::TriggerOutSent()
{
    if (onTriggerOutSent_)
        onTriggerOutSent_(*this);
}
void TSioCustomComPort::WaitChar(char c)
{
    if (onWaitChar_)
        onWaitChar_(*this, c);
}

void TSioCustomComPort::SetOnTrigger(TTriggerEvent e) { onTrigger_ = std::move(e); UpdateHandlerFlag(); }
void TSioCustomComPort::SetOnTriggerAvail(TTriggerAvailEvent e) { onTriggerAvail_ = std::move(e); UpdateHandlerFlag(); }
void TSioCustomComPort::SetOnTriggerData(TTriggerDataEvent e) { onTriggerData_ = std::move(e); UpdateHandlerFlag(); }
void TSioCustomComPort::SetOnTriggerStatus(TTriggerStatusEvent e) { onTriggerStatus_ = std::move(e); UpdateHandlerFlag(); }
void TSioCustomComPort::SetOnTriggerTimer(TTriggerTimerEvent e) { onTriggerTimer_ = std::move(e); UpdateHandlerFlag(); }
void TSioCustomComPort::SetOnTriggerLineError(TTriggerLineErrorEvent e) { onTriggerLineError_ = std::move(e); UpdateHandlerFlag(); }
void TSioCustomComPort::SetOnTriggerModemStatus(TNotifyEvent e) { onTriggerModemStatus_ = std::move(e); UpdateHandlerFlag(); }
void TSioCustomComPort::SetOnTriggerOutbuffFree(TNotifyEvent e) { onTriggerOutbuffFree_ = std::move(e); UpdateHandlerFlag(); }
void TSioCustomComPort::SetOnTriggerOutbuffUsed(TNotifyEvent e) { onTriggerOutbuffUsed_ = std::move(e); UpdateHandlerFlag(); }
void TSioCustomComPort::SetOnTriggerOutSent(TNotifyEvent e) { onTriggerOutSent_ = std::move(e); UpdateHandlerFlag(); }

} // namespace sio
