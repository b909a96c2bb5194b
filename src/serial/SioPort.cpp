// The serial port component.
#include "serial/SioPort.h"

#include <utility>

#include "platform/exception_sink.h"
#include "serial/SioPacketList.h"
#include "serial/SioPosix.h"

#include <algorithm>
#include <cctype>
#include <mutex>

namespace sio {

namespace pf = kyd::platform;

namespace {

std::mutex& promptMutex()
{
    static std::mutex m;
    return m;
}

TPortPrompt& defaultPrompt()
{
    static TPortPrompt prompt;
    return prompt;
}

// Delay before looking again at a close whose threads are still ending.
constexpr std::int64_t kFinishCloseRetryMs = 5;

std::uint32_t HWFlowWord(THWFlowOptionSet o)
{
    return o & (hwfUseDTR | hwfUseRTS | hwfRequireDSR | hwfRequireCTS);
}

std::uint32_t SWFlowWord(TSWFlowOptions o)
{
    switch (o) {
    case swfBoth: return 3;
    case swfTransmit: return 1;
    case swfReceive: return 2;
    default: return 0;
    }
}

} // namespace

void SetDefaultPortPrompt(TPortPrompt prompt)
{
    std::lock_guard lock(promptMutex());
    defaultPrompt() = std::move(prompt);
}

TPortPrompt DefaultPortPrompt()
{
    std::lock_guard lock(promptMutex());
    return defaultPrompt();
}

std::string ComName(int n)
{
    std::string s = "COM" + std::to_string(n);
    if (s.size() > 255)
        s.resize(255);
    return s;
}

TSioCustomComPort* SearchComPort(const TSioBaseComponent* owner)
{
    if (!owner)
        return nullptr;
    for (TSioBaseComponent* c : owner->Components()) {
        if (auto* port = dynamic_cast<TSioCustomComPort*>(c))
            return port;
        if (TSioCustomComPort* port = SearchComPort(c))
            return port;
    }
    return nullptr;
}

// ===========================================================================
// Construction

TSioCustomComPort::TSioCustomComPort(TSioBaseComponent* owner) : TSioBaseComponent(owner)
{
    // Components on the owner that look for a port (state machine sources).
    AnnounceInserted();
}

TSioCustomComPort::~TSioCustomComPort()
{
    pf::guarded("serial port", [&] { DonePort(); });
    if (dispatcher_) {
        // A close still waiting for the dispatch thread: finish it here.
        pf::guarded("serial port", [&] {
            WhileClosing([&] { dispatcher_->FinishDeferredClose(); });
            dispatcher_.reset();
        });
    }
    state_ = psClosed;
    open_ = false;
    TSioDataPacketManagerList::PortDestroyed(*this);
    destroying_ = true;
    userList_.clear();
    TSioBaseDispatcher::ClearSaveBuffers(triggerSave_);
    if (comWindow_ && pf::hasMessageLoop())
        pf::messageLoop().destroyTarget(comWindow_);
    comWindow_ = 0;
}

void TSioCustomComPort::Loaded()
{
    loading_ = false;
    if (forceOpen_)
        open_ = true;
    if (open_) {
        forceOpen_ = false;
        open_ = false;
        InitPort();
    }
}

void TSioCustomComPort::Assign(const TSioCustomComPort& source)
{
    if (&source == this)
        return;
    userList_.clear();
    for (const auto& e : source.userList_)
        if (!e->Removed)
            userList_.push_back(std::make_shared<TUserListEntry>(*e));
    if (source.IsOpenState() && source.dispatcher_) {
        source.dispatcher_->SaveTriggers(triggerSave_);
        saveTriggerBuffers_ = true;
    }
    force_ = source.force_;
    deviceLayer_ = source.deviceLayer_;
    comNumber_ = source.comNumber_;
    baud_ = source.baud_;
    parity_ = source.parity_;
    dataBits_ = source.dataBits_;
    stopBits_ = source.stopBits_;
    inSize_ = source.inSize_;
    outSize_ = source.outSize_;
    autoOpen_ = source.autoOpen_;
    promptForPort_ = source.promptForPort_;
    rs485Mode_ = source.rs485Mode_;
    threadBoost_ = source.threadBoost_;
    dtr_ = source.dtr_;
    rts_ = source.rts_;
    bufferFull_ = source.bufferFull_;
    bufferResume_ = source.bufferResume_;
    hwFlowOptions_ = source.hwFlowOptions_;
    swFlowOptions_ = source.swFlowOptions_;
    xonChar_ = source.xonChar_;
    xoffChar_ = source.xoffChar_;
    tracing_ = source.tracing_;
    traceSize_ = source.traceSize_;
    traceName_ = source.traceName_;
    traceHex_ = source.traceHex_;
    traceAllHex_ = source.traceAllHex_;
    logging_ = source.logging_;
    logSize_ = source.logSize_;
    logName_ = source.logName_;
    logHex_ = source.logHex_;
    logAllHex_ = source.logAllHex_;
    triggerLength_ = source.triggerLength_;
    SetOnTrigger(source.onTrigger_);
    SetOnTriggerAvail(source.onTriggerAvail_);
    SetOnTriggerData(source.onTriggerData_);
    SetOnTriggerStatus(source.onTriggerStatus_);
    SetOnTriggerTimer(source.onTriggerTimer_);
    onPortOpen_ = source.onPortOpen_;
    onPortClose_ = source.onPortClose_;
    tapiMode_ = source.tapiMode_;
    SetOpen(false);
}

// ===========================================================================
// Opening and closing

void TSioCustomComPort::SetOpen(bool value)
{
    if (loading_) {
        open_ = value;
        if (value)
            forceOpen_ = true;
        return;
    }
    // The state, not the property, decides: Open stays true while a close
    // is finishing, and an open asked for then is carried out afterwards.
    switch (state_.load()) {
    case psClosed:
        if (value)
            InitPort();
        break;
    case psShuttingDown:
        openPending_ = value;
        break;
    case psOpen:
        if (!value)
            DonePort();
        break;
    }
}

void TSioCustomComPort::ForcePortOpen()
{
    if (autoOpen_)
        forceOpen_ = true;
}

TSioBaseDispatcher* TSioCustomComPort::GetDispatcher()
{
    if (!dispatcher_ && !loading_ && state_.load() != psOpen && autoOpen_)
        SetOpen(true);
    return dispatcher_.get();
}

TSioBaseDispatcher& TSioCustomComPort::ValidDispatcher()
{
    TSioBaseDispatcher* d = GetDispatcher();
    if (!d)
        throw ECommNotOpen(ecodes::ecCommNotOpen);
    return *d;
}

void TSioCustomComPort::ValidateComport()
{
    if (comNumber_ != 0)
        return;
    if (promptForPort_) {
        TPortPrompt prompt = portPrompt_ ? portPrompt_ : DefaultPortPrompt();
        std::optional<int> chosen;
        if (prompt)
            chosen = prompt();
        if (chosen && *chosen > 0 && *chosen <= 0xFFFF) {
            comNumber_ = static_cast<std::uint16_t>(*chosen);
            return;
        }
    }
    throw ENoPortSelected(ecodes::ecNoPortSelected);
}

std::unique_ptr<TSioBaseDispatcher> TSioCustomComPort::ActivateDeviceLayer()
{
    if (customDispatcher_)
        return customDispatcher_(*this);
    // No telephony dispatcher exists on this system.
    if (deviceLayer_ != dlWin32 || tapiMode_ == tmOn)
        throw ENullApi(ecodes::ecNullApi);
    return std::make_unique<TSioPosixDispatcher>(this);
}

void TSioCustomComPort::SetDeviceLayer(TDeviceLayer layer)
{
    if (layer == deviceLayer_ || state_.load() != psClosed || !(deviceLayers_ & DeviceLayerBit(layer)))
        return;
    deviceLayer_ = layer;
    DeviceLayerChanged();
}

int TSioCustomComPort::InitializePort()
{
    std::uint32_t options = 0;
    if (dtr_)
        options += 1;
    if (rts_)
        options += 2;
    if (hwFlowOptions_ & hwfUseDTR)
        options += 16;
    if (hwFlowOptions_ & hwfUseRTS)
        options += 32;
    const std::string name = tapiMode_ == tmOn ? std::string() : "\\\\.\\" + ComName(comNumber_);
    return dispatcher_->InitPort(name, static_cast<std::uint32_t>(baud_), static_cast<Parity>(parity_), dataBits_,
                                 stopBits_, inSize_, outSize_, options);
}

void TSioCustomComPort::RegisterComPort(bool enabling)
{
    if (!dispatcher_)
        return;
    if (enabling) {
        if (!comWindow_)
            comWindow_ = pf::messageLoop().createTarget([this](const pf::Message& m) { return ComWindowProc(m); });
        CheckException(false, dispatcher_->RegisterWndTriggerHandler(comWindow_));
    } else if (comWindow_) {
        dispatcher_->DeregisterWndTriggerHandler(comWindow_);
    }
}

void TSioCustomComPort::InitPort()
{
    UserList told;
    bool windowRegistered = false;
    try {
        if (tapiMode_ != tmOn)
            ValidateComport();
        dispatcher_ = ActivateDeviceLayer();
        if (!dispatcher_)
            throw ENullApi(ecodes::ecNullApi);
        dispatcher_->SetDeviceName("\\\\.\\" + ComName(comNumber_));
        int r = InitializePort();
        if (r == ecodes::ecAccessDenied)
            r = ecodes::ecAlreadyOpen;
        else if (r == ecodes::ecFileNotFound || r == ecodes::ecPathNotFound)
            r = ecodes::ecBadId;
        if (r != 0) {
            CheckException(false, r);
            throw ESIOException(r);
        }
        // The close-done callback of a close that had to wait for the
        // dispatch thread: the window finishes it.
        TSioBaseDispatcher* d = dispatcher_.get();
        dispatcher_->SetCloseDoneCallback([this, d] {
            if (dispatcher_.get() != d || !comWindow_)
                return;
            pf::messageLoop().post(comWindow_, pf::Message{kMsgFinishClose, 0,
                                                           static_cast<std::intptr_t>(d->PortIndex()) << 16});
        });
        state_ = psOpen;
        UpdateHandlerFlag();
        force_ = true;
        try {
            SetTracing(tracing_);
            SetLogging(logging_);
            SetHWFlowOptions(hwFlowOptions_);
            SetSWFlowOptions(swFlowOptions_);
            SetXOnChar(xonChar_);
            SetXOffChar(xoffChar_);
            SetTriggerLength(triggerLength_);
            SetDTR(dtr_);
            SetRTS(rts_);
            SetUseEventWord(useEventWord_);
            SetRS485Mode(rs485Mode_);
            SetThreadBoost(threadBoost_);
        } catch (...) {
            force_ = false;
            throw;
        }
        force_ = false;
        open_ = true;
        RegisterComPort(true);
        windowRegistered = true;
        if (saveTriggerBuffers_) {
            saveTriggerBuffers_ = false;
            dispatcher_->RestoreTriggers(triggerSave_);
            TSioBaseDispatcher::ClearSaveBuffers(triggerSave_);
        }
        toldOpen_ = &told;
        PortOpen();
        toldOpen_ = nullptr;
    } catch (...) {
        toldOpen_ = nullptr;
        UndoFailedOpen(told, windowRegistered);
        throw;
    }
}

void TSioCustomComPort::PortOpen()
{
    UserList snapshot = userList_;
    for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
        if ((*it)->Removed)
            continue;
        if (toldOpen_)
            toldOpen_->push_back(*it); // told before, so told of the undo too
        NotifyUser(**it, ctOpen);
    }
    if (onPortOpen_)
        onPortOpen_(*this);
}

void TSioCustomComPort::UndoFailedOpen(const UserList& told, bool windowRegistered)
{
    // In reverse order of the open: users that heard "open" hear that the
    // port is closing and closed, then the window leaves the dispatcher and
    // the dispatcher goes.
    state_ = psShuttingDown;
    for (const auto& e : told)
        if (!e->Removed)
            pf::guarded("serial port", [&] { NotifyUser(*e, ctClosing); });
    for (const auto& e : told)
        if (!e->Removed)
            pf::guarded("serial port", [&] { NotifyUser(*e, ctClosed); });
    force_ = false;
    if (dispatcher_) {
        pf::guarded("serial port", [&] {
            if (windowRegistered)
                RegisterComPort(false);
            dispatcher_->SetCloseDoneCallback({});
            WhileClosing([&] {
                dispatcher_->DonePort();
                dispatcher_->FinishDeferredClose();
            });
        });
        dispatcher_.reset();
    }
    open_ = false;
    state_ = psClosed;
}

template <class Step>
void TSioCustomComPort::WhileClosing(Step&& step)
{
    ++closingDispatcher_;
    struct Leave {
        int& depth;
        ~Leave() { --depth; }
    } leave{closingDispatcher_};
    step();
}

void TSioCustomComPort::DonePort()
{
    if (state_.load() != psOpen)
        return;
    // An active trace or log goes to its file and is switched off; a
    // failure to write it must not keep the port open.
    pf::guarded("serial port", [&] { SetTracing(tlDump); });
    pf::guarded("serial port", [&] { SetLogging(tlDump); });
    state_ = psShuttingDown;
    PortClosing();
    dispatcher_->SaveTriggers(triggerSave_);
    saveTriggerBuffers_ = true;
    WhileClosing([&] { dispatcher_->DonePort(); });
    bool reopen = false;
    if (!dispatcher_->ClosePending()) {
        FinishClose();
    } else if (!dispatcher_->ThreadsActive()) {
        // The threads ended while the close waited, and the finish-close
        // message that came meanwhile was set aside: finish here.
        WhileClosing([&] { dispatcher_->FinishDeferredClose(); });
        FinishClose();
        reopen = std::exchange(openPending_, false);
    }
    // Otherwise the dispatch thread is still inside the notification that
    // asked for the close; the close-done callback posts kMsgFinishClose.
    PortClose();
    if (reopen)
        InitPort();
}

void TSioCustomComPort::FinishClose()
{
    RegisterComPort(false);
    if (dispatcher_)
        dispatcher_->SetCloseDoneCallback({});
    dispatcher_.reset();
    state_ = psClosed;
    open_ = false;
}

void TSioCustomComPort::PortClosing()
{
    UserList snapshot = userList_;
    for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it)
        if (!(*it)->Removed)
            pf::guarded("serial port", [&] { NotifyUser(**it, ctClosing); });
}

void TSioCustomComPort::PortClose()
{
    UserList snapshot = userList_;
    for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it)
        if (!(*it)->Removed)
            pf::guarded("serial port", [&] { NotifyUser(**it, ctClosed); });
    if (onPortClose_)
        pf::guarded("serial port", [&] { onPortClose_(*this); });
}

void TSioCustomComPort::NotifyUser(const TUserListEntry& e, TSioCallbackType type)
{
    if (e.Handle) {
        std::uint32_t msg = 0;
        if (type == ctOpen)
            msg = kMsgPortOpen;
        else if (type == ctClosed)
            msg = kMsgPortClose;
        else if (e.IsEx)
            msg = kMsgPortClosing;
        if (msg && pf::hasMessageLoop())
            pf::messageLoop().sendTimeout(e.Handle, pf::Message{msg, 0, 0}, -1);
        return;
    }
    if (e.IsEx) {
        if (e.CallbackEx)
            e.CallbackEx(*this, type);
    } else if (type != ctClosing && e.Callback) {
        e.Callback(*this, type == ctOpen);
    }
}

// ===========================================================================
// Users

void TSioCustomComPort::RegisterUser(pf::TargetId handle)
{
    auto e = std::make_shared<TUserListEntry>();
    e->Handle = handle;
    userList_.push_back(std::move(e));
}

void TSioCustomComPort::RegisterUserEx(pf::TargetId handle)
{
    auto e = std::make_shared<TUserListEntry>();
    e->Handle = handle;
    e->IsEx = true;
    userList_.push_back(std::move(e));
}

void TSioCustomComPort::RegisterUserCallback(const void* key, TPortCallback callback)
{
    auto e = std::make_shared<TUserListEntry>();
    e->Key = key;
    e->Callback = std::move(callback);
    userList_.push_back(std::move(e));
}

void TSioCustomComPort::RegisterUserCallbackEx(const void* key, TPortCallbackEx callback)
{
    auto e = std::make_shared<TUserListEntry>();
    e->Key = key;
    e->CallbackEx = std::move(callback);
    e->IsEx = true;
    userList_.push_back(std::move(e));
}

namespace {
template <class Pred>
void RemoveUsers(std::vector<std::shared_ptr<TUserListEntry>>& list, Pred pred)
{
    for (auto i = list.size(); i-- > 0;) {
        if (pred(*list[i])) {
            list[i]->Removed = true;
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}
} // namespace

void TSioCustomComPort::DeregisterUser(pf::TargetId handle)
{
    if (destroying_)
        return;
    RemoveUsers(userList_, [&](const TUserListEntry& e) { return e.Handle != 0 && e.Handle == handle; });
}

void TSioCustomComPort::DeregisterUserCallback(const void* key)
{
    if (destroying_)
        return;
    RemoveUsers(userList_, [&](const TUserListEntry& e) { return !e.Handle && !e.IsEx && e.Key == key; });
}

void TSioCustomComPort::DeregisterUserCallbackEx(const void* key)
{
    if (destroying_)
        return;
    RemoveUsers(userList_, [&](const TUserListEntry& e) { return !e.Handle && e.IsEx && e.Key == key; });
}

std::size_t TSioCustomComPort::UserCount() const
{
    return userList_.size();
}

// ===========================================================================
// The component window

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
    Trigger(static_cast<std::uint16_t>(m.msg), second, data);
    switch (m.msg) {
    case kMsgTriggerAvail: TriggerAvail(second); break;
    case kMsgTriggerData: TriggerData(second); break;
    case kMsgTriggerTimer: TriggerTimer(second); break;
    case kMsgTriggerStatus: {
        TriggerStatus(second);
        if (!dispatcher_)
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

// ===========================================================================
// Line settings, buffers, modem lines, flow control

void TSioCustomComPort::SetComNumber(std::uint16_t value)
{
    if (value == comNumber_)
        return;
    if (!IsOpenState()) {
        comNumber_ = value;
        return;
    }
    // Close, renumber and open again with the same triggers (DonePort
    // saves them; InitPort restores them) and the same trace and log state.
    const TTraceLogState tracing = tracing_;
    const TTraceLogState logging = logging_;
    DonePort();
    comNumber_ = value;
    SetTracing(tracing);
    SetLogging(logging);
    SetOpen(true);
}

void TSioCustomComPort::SetBaud(std::int32_t value)
{
    if (value == baud_)
        return;
    baud_ = value;
    if (TSioBaseDispatcher* d = OpenDispatcher())
        Check(d->SetLine(static_cast<std::uint32_t>(baud_), parity_, stopBits_, dataBits_));
}

void TSioCustomComPort::SetParity(TParity value)
{
    if (value == parity_)
        return;
    parity_ = value;
    if (TSioBaseDispatcher* d = OpenDispatcher())
        Check(d->SetLine(static_cast<std::uint32_t>(baud_), parity_, stopBits_, dataBits_));
}

void TSioCustomComPort::SetDataBits(std::uint16_t value)
{
    if (value == dataBits_)
        return;
    dataBits_ = value;
    if (TSioBaseDispatcher* d = OpenDispatcher())
        Check(d->SetLine(static_cast<std::uint32_t>(baud_), parity_, stopBits_, dataBits_));
}

void TSioCustomComPort::SetStopBits(std::uint16_t value)
{
    if (value == stopBits_)
        return;
    stopBits_ = value;
    if (TSioBaseDispatcher* d = OpenDispatcher())
        Check(d->SetLine(static_cast<std::uint32_t>(baud_), parity_, stopBits_, dataBits_));
}

void TSioCustomComPort::SetInSize(std::uint16_t value)
{
    if (value == inSize_)
        return;
    inSize_ = value;
    if (TSioBaseDispatcher* d = OpenDispatcher())
        Check(d->SetCommBuffers(inSize_, outSize_));
}

void TSioCustomComPort::SetOutSize(std::uint16_t value)
{
    if (value == outSize_)
        return;
    outSize_ = value;
    if (TSioBaseDispatcher* d = OpenDispatcher())
        Check(d->SetCommBuffers(inSize_, outSize_));
}

void TSioCustomComPort::SetDTR(bool value)
{
    if (value == dtr_ && !force_)
        return;
    if (TSioBaseDispatcher* d = OpenDispatcher()) {
        if (Check(d->SetDtr(value)) == 0)
            dtr_ = value;
    } else {
        dtr_ = value;
    }
}

void TSioCustomComPort::SetRTS(bool value)
{
    if (value == rts_ && !force_)
        return;
    if (TSioBaseDispatcher* d = OpenDispatcher()) {
        if (Check(d->SetRts(value)) == 0)
            rts_ = value;
    } else {
        rts_ = value;
    }
}

void TSioCustomComPort::DefaultThresholds()
{
    if (bufferFull_ == 0 || bufferFull_ > inSize_)
        bufferFull_ = static_cast<std::uint16_t>(inSize_ * 9u / 10u);
    if (bufferResume_ == 0 || bufferResume_ > bufferFull_)
        bufferResume_ = static_cast<std::uint16_t>(inSize_ / 10u);
}

void TSioCustomComPort::SetHWFlowOptions(THWFlowOptionSet value)
{
    if (value == hwFlowOptions_ && !force_)
        return;
    const std::uint32_t word = HWFlowWord(value);
    if (word != 0)
        DefaultThresholds();
    if (TSioBaseDispatcher* d = OpenDispatcher())
        Check(d->HWFlowOptions(bufferFull_, bufferResume_, word));
    hwFlowOptions_ = value;
    if (value & (hwfUseRTS | hwfRequireCTS))
        SetRS485Mode(false);
}

void TSioCustomComPort::SetSWFlowOptions(TSWFlowOptions value)
{
    if (value == swFlowOptions_ && !force_)
        return;
    const std::uint32_t option = SWFlowWord(value);
    if (option != 0)
        DefaultThresholds();
    if (TSioBaseDispatcher* d = OpenDispatcher()) {
        if (option == 0)
            Check(d->SWFlowDisable());
        else
            Check(d->SWFlowEnable(bufferFull_, bufferResume_, option));
    }
    swFlowOptions_ = value;
}

void TSioCustomComPort::SetXOnChar(char value)
{
    if (value == xonChar_ && !force_)
        return;
    xonChar_ = value;
    if (TSioBaseDispatcher* d = OpenDispatcher())
        Check(d->SWFlowChars(static_cast<std::uint8_t>(xonChar_), static_cast<std::uint8_t>(xoffChar_)));
}

void TSioCustomComPort::SetXOffChar(char value)
{
    if (value == xoffChar_ && !force_)
        return;
    xoffChar_ = value;
    if (TSioBaseDispatcher* d = OpenDispatcher())
        Check(d->SWFlowChars(static_cast<std::uint8_t>(xonChar_), static_cast<std::uint8_t>(xoffChar_)));
}

void TSioCustomComPort::SetBufferFull(std::uint16_t value)
{
    if (value == bufferFull_ && !force_)
        return;
    bufferFull_ = value > inSize_ ? static_cast<std::uint16_t>(inSize_ * 9u / 10u) : value;
    const bool old = force_;
    force_ = true;
    try {
        SetHWFlowOptions(hwFlowOptions_);
        SetSWFlowOptions(swFlowOptions_);
    } catch (...) {
        force_ = old;
        throw;
    }
    force_ = old;
}

void TSioCustomComPort::SetBufferResume(std::uint16_t value)
{
    if (value == bufferResume_ && !force_)
        return;
    bufferResume_ = value > bufferFull_ ? static_cast<std::uint16_t>(bufferFull_ / 10u) : value;
    const bool old = force_;
    force_ = true;
    try {
        SetHWFlowOptions(hwFlowOptions_);
        SetSWFlowOptions(swFlowOptions_);
    } catch (...) {
        force_ = old;
        throw;
    }
    force_ = old;
}

void TSioCustomComPort::SetRS485Mode(bool value)
{
    if (value == rs485Mode_ && !force_)
        return;
    rs485Mode_ = value;
    if (TSioBaseDispatcher* d = OpenDispatcher())
        Check(d->SetRS485Mode(value));
    if (value) {
        SetHWFlowOptions(static_cast<THWFlowOptionSet>(hwFlowOptions_ & ~(hwfUseRTS | hwfRequireCTS)));
        SetRTS(false);
    }
}

void TSioCustomComPort::SetThreadBoost(TApThreadBoost value)
{
    if (value == threadBoost_ && !force_)
        return;
    threadBoost_ = value;
    if (TSioBaseDispatcher* d = OpenDispatcher())
        d->SetThreadBoost(static_cast<std::uint8_t>(value));
}

void TSioCustomComPort::SetUseMSRShadow(bool)
{
    // The shadow is always used.
}

void TSioCustomComPort::SetUseEventWord(bool value)
{
    if (value == useEventWord_ && !force_)
        return;
    useEventWord_ = value;
    if (TSioBaseDispatcher* d = OpenDispatcher()) {
        if (value)
            d->OptionsOn(1);
        else
            d->OptionsOff(1);
    }
}

void TSioCustomComPort::SetTriggerLength(std::uint16_t value)
{
    if (value == triggerLength_ && !force_)
        return;
    triggerLength_ = value;
    if (TSioBaseDispatcher* d = OpenDispatcher())
        Check(d->ChangeLengthTrigger(value));
}

std::uint16_t TSioCustomComPort::GetBaseAddress()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d ? d->GetBaseAddress() : 0;
}

void TSioCustomComPort::SetBaseAddress(std::uint16_t value)
{
    if (TSioBaseDispatcher* d = OpenDispatcher())
        if (value != d->GetBaseAddress())
            d->SetBaseAddress(value);
}

// ===========================================================================
// Tracing and dispatch log

void TSioCustomComPort::SetTracing(TTraceLogState value)
{
    if (value == tracing_ && !force_)
        return;
    if (!IsOpenState()) {
        tracing_ = value == tlOn ? tlOn : tlOff;
        return;
    }
    const TTraceLogState cur = tracing_;
    const bool active = cur == tlOn || cur == tlPause;
    switch (value) {
    case tlOff:
        if (active)
            AbortTracing();
        break;
    case tlOn:
        if (cur == tlPause)
            StartTracing();
        else
            InitTracing(0);
        break;
    case tlDump:
        if (active) {
            StartTracing();
            DumpTrace(traceName_, traceHex_);
        }
        break;
    case tlAppend:
        if (active)
            AppendTrace(traceName_, traceHex_, tlOff);
        break;
    case tlAppendAndContinue:
        if (active)
            AppendTrace(traceName_, traceHex_, cur);
        break;
    case tlClear:
        if (active)
            ClearTracing();
        break;
    case tlPause:
        if (cur == tlOn)
            StopTracing();
        break;
    }
}

void TSioCustomComPort::SetLogging(TTraceLogState value)
{
    if (value == logging_ && !force_)
        return;
    if (!IsOpenState()) {
        logging_ = value == tlOn ? tlOn : tlOff;
        return;
    }
    const TTraceLogState cur = logging_;
    const bool active = cur == tlOn || cur == tlPause;
    switch (value) {
    case tlOff:
        if (active)
            AbortLogging();
        break;
    case tlOn:
        if (cur == tlPause)
            StartLogging();
        else
            InitLogging(0);
        break;
    case tlDump:
        if (active) {
            StartLogging();
            DumpLog(logName_, logHex_);
        }
        break;
    case tlAppend:
        if (active)
            AppendLog(logName_, logHex_, tlOff);
        break;
    case tlAppendAndContinue:
        if (active)
            AppendLog(logName_, logHex_, cur);
        break;
    case tlClear:
        if (active)
            ClearLogging();
        break;
    case tlPause:
        if (cur == tlOn)
            StopLogging();
        break;
    }
}

void TSioCustomComPort::SetTraceSize(std::uint32_t value)
{
    traceSize_ = std::min(value, kMaxTraceSize);
    if (IsOpenState() && (tracing_ == tlOn || tracing_ == tlPause)) {
        const TTraceLogState old = tracing_;
        AbortTracing();
        SetTracing(old);
    }
}

void TSioCustomComPort::SetLogSize(std::uint32_t value)
{
    logSize_ = std::min(value, kMaxLogSize);
    if (IsOpenState() && (logging_ == tlOn || logging_ == tlPause)) {
        const TTraceLogState old = logging_;
        AbortLogging();
        SetLogging(old);
    }
}

void TSioCustomComPort::InitTracing(std::uint32_t numEntries)
{
    if (ShuttingDown())
        return;
    TSioBaseDispatcher& d = ValidDispatcher();
    if (numEntries != 0)
        traceSize_ = std::min(numEntries, kMaxTraceSize);
    Check(d.InitTracing(traceSize_));
    tracing_ = tlOn;
}

void TSioCustomComPort::StartTracing()
{
    if (ShuttingDown())
        return;
    ValidDispatcher().StartTracing();
    tracing_ = tlOn;
}

void TSioCustomComPort::StopTracing()
{
    if (ShuttingDown())
        return;
    ValidDispatcher().StopTracing();
    tracing_ = tlPause;
}

void TSioCustomComPort::ClearTracing()
{
    if (ShuttingDown())
        return;
    ValidDispatcher().ClearTracing();
}

void TSioCustomComPort::AbortTracing()
{
    if (ShuttingDown())
        return;
    ValidDispatcher().AbortTracing();
    tracing_ = tlOff;
}

void TSioCustomComPort::DumpTrace(const std::string& name, bool inHex)
{
    if (ShuttingDown())
        return;
    TSioBaseDispatcher& d = ValidDispatcher();
    tracing_ = tlOff;
    const int r = d.DumpTrace(name, inHex, traceAllHex_);
    d.AbortTracing();
    Check(r);
}

namespace {
// After writing, the dispatcher's trace or log runs again; bring it into
// the state the component reports.
void SettleTrace(TSioBaseDispatcher& d, TTraceLogState state)
{
    if (state == tlPause)
        d.StopTracing();
    else if (state != tlOn)
        d.AbortTracing();
}
void SettleLog(TSioBaseDispatcher& d, TTraceLogState state)
{
    if (state == tlPause)
        d.StopDispatchLogging();
    else if (state != tlOn)
        d.AbortDispatchLogging();
}
} // namespace

void TSioCustomComPort::AppendTrace(const std::string& name, bool inHex, TTraceLogState newState)
{
    if (ShuttingDown())
        return;
    TSioBaseDispatcher& d = ValidDispatcher();
    tracing_ = newState;
    const int r = d.AppendTrace(name, inHex, traceAllHex_);
    SettleTrace(d, newState);
    Check(r);
}

void TSioCustomComPort::InitLogging(std::uint32_t size)
{
    if (ShuttingDown())
        return;
    TSioBaseDispatcher& d = ValidDispatcher();
    if (size != 0)
        logSize_ = std::min(size, kMaxLogSize);
    d.InitDispatchLogging(logSize_);
    logging_ = tlOn;
}

void TSioCustomComPort::StartLogging()
{
    if (ShuttingDown())
        return;
    ValidDispatcher().StartDispatchLogging();
    logging_ = tlOn;
}

void TSioCustomComPort::StopLogging()
{
    if (ShuttingDown())
        return;
    ValidDispatcher().StopDispatchLogging();
    logging_ = tlPause;
}

void TSioCustomComPort::ClearLogging()
{
    if (ShuttingDown())
        return;
    ValidDispatcher().ClearDispatchLogging();
}

void TSioCustomComPort::AbortLogging()
{
    if (ShuttingDown())
        return;
    ValidDispatcher().AbortDispatchLogging();
    logging_ = tlOff;
}

void TSioCustomComPort::DumpLog(const std::string& name, bool inHex)
{
    if (ShuttingDown())
        return;
    TSioBaseDispatcher& d = ValidDispatcher();
    logging_ = tlOff;
    const int r = d.DumpDispatchLog(name, inHex, logAllHex_);
    d.AbortDispatchLogging();
    Check(r);
}

void TSioCustomComPort::AppendLog(const std::string& name, bool inHex, TTraceLogState newState)
{
    if (ShuttingDown())
        return;
    TSioBaseDispatcher& d = ValidDispatcher();
    logging_ = newState;
    const int r = d.AppendDispatchLog(name, inHex, logAllHex_);
    SettleLog(d, newState);
    Check(r);
}

// ===========================================================================
// Status

bool TSioCustomComPort::CTS()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d && d->CheckCTS();
}
bool TSioCustomComPort::DSR()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d && d->CheckDSR();
}
bool TSioCustomComPort::RI()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d && d->CheckRI();
}
bool TSioCustomComPort::DCD()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d && d->CheckDCD();
}
bool TSioCustomComPort::DeltaCTS()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d && d->CheckDeltaCTS();
}
bool TSioCustomComPort::DeltaDSR()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d && d->CheckDeltaDSR();
}
bool TSioCustomComPort::DeltaRI()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d && d->CheckDeltaRI();
}
bool TSioCustomComPort::DeltaDCD()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d && d->CheckDeltaDCD();
}
bool TSioCustomComPort::LineBreak()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d && d->CheckLineBreak();
}
std::uint16_t TSioCustomComPort::LineError()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d ? static_cast<std::uint16_t>(Check(d->GetLineError())) : 0;
}
std::uint32_t TSioCustomComPort::InBuffUsed()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d ? d->InBuffUsed() : 0;
}
std::uint32_t TSioCustomComPort::InBuffFree()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d ? d->InBuffFree() : kDispatchBufferSize;
}
std::uint32_t TSioCustomComPort::OutBuffUsed()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d ? d->OutBuffUsed() : 0;
}
std::uint32_t TSioCustomComPort::OutBuffFree()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d ? d->OutBuffFree() : outSize_;
}
std::uint8_t TSioCustomComPort::ModemStatus()
{
    if (ShuttingDown())
        return 0;
    return ValidDispatcher().GetModemStatus();
}
TFlowControlState TSioCustomComPort::FlowState()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    if (!d)
        return fcOff;
    int s = Check(d->HWFlowState()) - 1;
    if (s <= 0)
        s = Check(d->SWFlowState()) - 1;
    return static_cast<TFlowControlState>(std::clamp(s, 0, static_cast<int>(fcXBothHold)));
}
std::uint32_t TSioCustomComPort::LastWinError() const
{
    return dispatcher_ ? dispatcher_->LastDeviceError() : 0;
}

// ===========================================================================
// Reading, writing, triggers

void TSioCustomComPort::PutChar(std::uint8_t c)
{
    if (ShuttingDown())
        return;
    Check(ValidDispatcher().PutChar(c));
}

void TSioCustomComPort::PutString(const std::string& s)
{
    if (ShuttingDown())
        return;
    Check(ValidDispatcher().PutString(s));
}

int TSioCustomComPort::PutBlock(const void* block, std::uint32_t length)
{
    if (ShuttingDown())
        return 0;
    Check(ValidDispatcher().PutBlock(static_cast<const std::uint8_t*>(block), length));
    return 0;
}

std::uint8_t TSioCustomComPort::GetChar()
{
    if (ShuttingDown())
        return 0;
    std::uint8_t c = 0;
    Check(ValidDispatcher().GetChar(c));
    return c;
}

std::uint8_t TSioCustomComPort::PeekChar(std::uint32_t n)
{
    if (ShuttingDown())
        return 0;
    std::uint8_t c = 0;
    Check(ValidDispatcher().PeekChar(c, n));
    return c;
}

void TSioCustomComPort::GetBlock(void* block, std::uint32_t length)
{
    if (ShuttingDown())
        return;
    Check(ValidDispatcher().GetBlock(static_cast<std::uint8_t*>(block), length));
}

void TSioCustomComPort::PeekBlock(void* block, std::uint32_t length)
{
    if (ShuttingDown())
        return;
    Check(ValidDispatcher().PeekBlock(static_cast<std::uint8_t*>(block), length));
}

bool TSioCustomComPort::CharReady()
{
    if (ShuttingDown())
        return false;
    return ValidDispatcher().CharReady();
}

void TSioCustomComPort::FlushInBuffer()
{
    if (ShuttingDown())
        return;
    Check(ValidDispatcher().FlushInBuffer());
    // Then the bytes the packets hold: a notification that took bytes
    // before the flush above is dropped by the manager's flush generation.
    if (TSioDataPacketManager* m = TSioDataPacketManagerList::Find(this))
        m->FlushData();
}

bool TSioCustomComPort::PumpUntil(const std::function<bool()>& done, std::int64_t timeoutMs)
{
    auto& loop = kyd::platform::messageLoop();
    std::unique_ptr<TSioBaseDispatcher::OwnerInput> ownerInput;
    if (TSioBaseDispatcher* d = OpenDispatcher(); d && loop.isMainThread())
        ownerInput = d->BeginOwnerInput();
    return loop.pumpUntil(done, timeoutMs);
}

void TSioCustomComPort::FlushOutBuffer()
{
    if (ShuttingDown())
        return;
    Check(ValidDispatcher().FlushOutBuffer());
}

void TSioCustomComPort::SendBreak(Ticks ticks, bool yield)
{
    if (ShuttingDown())
        return;
    Check(ValidDispatcher().SendBreak(ticks, yield));
}

void TSioCustomComPort::SetBreak(bool on)
{
    if (ShuttingDown())
        return;
    Check(ValidDispatcher().SetBreak(on));
}

void TSioCustomComPort::ProcessCommunications()
{
    if (ShuttingDown())
        return;
    ValidDispatcher().ProcessCommunications();
}

int TSioCustomComPort::AddDataTrigger(const std::string& text, bool ignoreCase)
{
    if (ShuttingDown())
        return 0;
    return Check(ValidDispatcher().AddDataTriggerLen(reinterpret_cast<const std::uint8_t*>(text.data()), ignoreCase,
                                                     static_cast<std::uint32_t>(text.size())));
}

int TSioCustomComPort::AddTimerTrigger()
{
    if (ShuttingDown())
        return 0;
    return Check(ValidDispatcher().AddTimerTrigger());
}

int TSioCustomComPort::AddStatusTrigger(std::uint16_t type)
{
    if (ShuttingDown())
        return 0;
    return Check(ValidDispatcher().AddStatusTrigger(type));
}

void TSioCustomComPort::SetTimerTrigger(int handle, Ticks ticks, bool activate)
{
    if (ShuttingDown())
        return;
    Check(ValidDispatcher().SetTimerTrigger(static_cast<std::uint32_t>(handle), ticks, activate));
}

void TSioCustomComPort::SetStatusTrigger(int handle, std::uint32_t value, bool activate)
{
    if (ShuttingDown())
        return;
    Check(ValidDispatcher().SetStatusTrigger(static_cast<std::uint32_t>(handle), value, activate));
}

void TSioCustomComPort::RemoveTrigger(int handle)
{
    if (TSioBaseDispatcher* d = OpenDispatcher())
        Check(d->RemoveTrigger(static_cast<std::uint32_t>(handle)));
}

void TSioCustomComPort::RemoveAllTriggers()
{
    if (TSioBaseDispatcher* d = OpenDispatcher()) {
        d->RemoveAllTriggers();
        triggerLength_ = 0;
    }
}

void TSioCustomComPort::AddTraceEntry(char kind, char c)
{
    if (ShuttingDown())
        return;
    ValidDispatcher().AddTraceEntry(kind, static_cast<std::uint8_t>(c));
}

void TSioCustomComPort::AddStringToLog(const std::string& s)
{
    if (ShuttingDown())
        return;
    ValidDispatcher().AddStringToLog(s);
}

bool TSioCustomComPort::CheckForString(std::uint16_t& index, char c, const std::string& text, bool ignoreCase)
{
    if (text.empty())
        return false;
    if (index < 1 || index > text.size())
        index = 1;
    const auto fold = [&](char ch) {
        return ignoreCase ? static_cast<char>(std::toupper(static_cast<unsigned char>(ch))) : ch;
    };
    if (fold(c) == fold(text[index - 1])) {
        if (index == text.size()) {
            index = 1;
            return true;
        }
        ++index;
    } else {
        // Start again; the byte may itself begin the text.
        index = fold(c) == fold(text[0]) ? (text.size() == 1 ? 1 : 2) : 1;
        if (text.size() == 1 && fold(c) == fold(text[0]))
            return true;
    }
    return false;
}

} // namespace sio
