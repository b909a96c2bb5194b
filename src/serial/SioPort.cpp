// The serial port component: construction, opening and closing, and its
// users. Its other sections are in the SioPort*.cpp files beside this one.
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

// Dispatchers of ports freed from inside one of their own notifications:
// the notification still runs on them, so each finishes its close and goes
// once its last thread has ended.
struct RetiredDispatchers {
    std::mutex mutex;
    std::vector<std::unique_ptr<TSioBaseDispatcher>> list;
};

RetiredDispatchers& retired()
{
    static RetiredDispatchers r;
    return r;
}

void FreeRetired(const TSioBaseDispatcher* which)
{
    std::unique_ptr<TSioBaseDispatcher> d;
    {
        RetiredDispatchers& r = retired();
        std::lock_guard lock(r.mutex);
        auto it = std::find_if(r.list.begin(), r.list.end(), [&](auto& p) { return p.get() == which; });
        if (it == r.list.end())
            return;
        d = std::move(*it);
        r.list.erase(it);
    }
    pf::guarded("serial port", [&] {
        d->FinishDeferredClose();
        d.reset();
    });
}

void RetireDispatcher(std::unique_ptr<TSioBaseDispatcher> d)
{
    TSioBaseDispatcher* raw = d.get();
    // Called on the main thread once the last thread has ended; the
    // dispatcher is freed from a call of its own, not from inside itself.
    raw->SetCloseDoneCallback([raw] { pf::messageLoop().postCall([raw] { FreeRetired(raw); }); });
    RetiredDispatchers& r = retired();
    std::lock_guard lock(r.mutex);
    r.list.push_back(std::move(d));
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
    // Inside one of the port's own notifications the close cannot be
    // waited for (the notification waits for this very handler).
    const bool inHandler =
        dispatcher_ && (triggerHandlerDepth_ > 0 || dispatcher_->InHandlerOnThisThread());
    pf::guarded("serial port", [&] { DonePort(); });
    if (inHandler && dispatcher_ && dispatcher_->ClosePending() && dispatcher_->ThreadsActive()) {
        // Freed from inside one of the port's own notifications (a packet
        // event, a trigger handler): the thread that delivers it waits for
        // the handler, so the close cannot be finished here. The dispatcher
        // finishes it by itself once the handler has returned.
        pf::guarded("serial port", [&] { RegisterComPort(false); });
        RetireDispatcher(std::move(dispatcher_));
    } else if (dispatcher_) {
        // A close still waiting for the dispatch thread: finish it here.
        pf::guarded("serial port", [&] {
            WhileClosing([&] { dispatcher_->FinishDeferredClose(); });
            LetGoOfDispatcher();
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
    // The settings only: the users (the packet manager among them, which
    // belongs to the source), the packets and the triggers stay with each
    // port.
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

void TSioCustomComPort::WhileClosing(const std::function<void()>& step)
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
    LetGoOfDispatcher();
    // A PrepareWait held the handlers of the line that is gone: the next
    // wait holds those of the next one itself.
    waitPrepared_ = false;
    state_ = psClosed;
    open_ = false;
}

void TSioCustomComPort::LetGoOfDispatcher()
{
    if (waitDepth_ > 0 && dispatcher_)
        retiredDispatchers_->push_back(std::move(dispatcher_));
    dispatcher_.reset();
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

} // namespace sio
