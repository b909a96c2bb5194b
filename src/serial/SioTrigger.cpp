// Triggers, handlers and the trigger checks. Notifications, extraction and
// the dispatch thread's passes are in SioNotify.cpp.
#include "serial/SioDispatch.h"

#include "platform/exception_sink.h"
#include "serial/SioExcept.h"

#include <algorithm>
#include <cctype>

namespace sio {

namespace {

std::uint8_t upcase(std::uint8_t c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<std::uint8_t>(c - 32) : c;
}

} // namespace

// ---------------------------------------------------------------------------
// Handles

std::uint32_t TSioBaseDispatcher::NextHandle()
{
    if (handleCounter_ < 4096)
        return 8 * handleCounter_++;
    for (std::uint32_t h = 8; h <= 4096; h += 8) {
        const bool used = std::any_of(timerTriggers_.begin(), timerTriggers_.end(), [h](auto& t) { return t.Handle == h; })
            || std::any_of(dataTriggers_.begin(), dataTriggers_.end(), [h](auto& t) { return t.Handle == h; })
            || std::any_of(statusTriggers_.begin(), statusTriggers_.end(), [h](auto& t) { return (t.Handle & ~7u) == h; });
        if (!used)
            return h;
    }
    return 0;
}

TTriggerType TSioBaseDispatcher::TriggerTypeOf(std::uint32_t handle)
{
    std::lock_guard lock(dispatcherLock_);
    for (auto& t : timerTriggers_)
        if (t.Handle == handle)
            return ttTimer;
    for (auto& t : statusTriggers_)
        if (t.Handle == handle)
            return ttStatus;
    for (auto& t : dataTriggers_)
        if (t.Handle == handle)
            return ttData;
    return ttNone;
}

// ---------------------------------------------------------------------------
// Adding, setting and removing triggers

int TSioBaseDispatcher::AddTimerTrigger()
{
    std::lock_guard lock(dispatcherLock_);
    const std::uint32_t h = NextHandle();
    if (!h)
        return ecodes::ecNoMoreTriggers;
    TTimerTrigger t;
    t.Handle = h;
    timerTriggers_.push_back(t);
    AddDispatchEntry(dtTriggerAlloc, dstTimerTrigger, h);
    return static_cast<int>(h);
}

int TSioBaseDispatcher::SetTimerTrigger(std::uint32_t handle, Ticks ticks, bool activate, Ticks startTicks)
{
    std::lock_guard lock(dispatcherLock_);
    for (auto& t : timerTriggers_) {
        if (t.Handle != handle)
            continue;
        if (activate) {
            if (ticks != 0)
                t.Duration = ticks;
            NewTimer(t.Timer, t.Duration);
            if (startTicks >= 0 && startTicks < t.Timer.StartTicks) {
                t.Timer.ExpireTicks -= t.Timer.StartTicks - startTicks;
                t.Timer.StartTicks = startTicks;
            }
            const std::uint32_t v = static_cast<std::uint32_t>(ticks);
            std::uint8_t bytes[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                     static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
            AddDispatchEntry(dtTriggerDataChange, dstTimerTrigger, handle, bytes, 4);
        } else {
            static const char kDeact[] = "Deactivated";
            AddDispatchEntry(dtTriggerDataChange, dstTimerTrigger, handle,
                             reinterpret_cast<const std::uint8_t*>(kDeact), sizeof kDeact - 1);
        }
        t.Active = activate;
        return 0;
    }
    return ecodes::ecBadTriggerHandle;
}

int TSioBaseDispatcher::ExtendTimer(std::uint32_t handle, Ticks ticks)
{
    std::lock_guard lock(dispatcherLock_);
    for (auto& t : timerTriggers_) {
        if (t.Handle == handle) {
            t.Timer.ExpireTicks += ticks;
            return 0;
        }
    }
    return ecodes::ecBadTriggerHandle;
}

int TSioBaseDispatcher::TimerTicksRemaining(std::uint32_t handle, Ticks& ticks)
{
    std::lock_guard lock(dispatcherLock_);
    ticks = 0;
    for (auto& t : timerTriggers_) {
        if (t.Handle == handle) {
            ticks = RemainingTime(t.Timer);
            return 0;
        }
    }
    return ecodes::ecBadTriggerHandle;
}

int TSioBaseDispatcher::AddDataTriggerLen(const std::uint8_t* data, bool ignoreCase, std::uint32_t len)
{
    if (len > kMaxDataTriggerLen)
        return ecodes::ecTriggerTooLong;
    std::lock_guard lock(dispatcherLock_);
    const std::uint32_t h = NextHandle();
    if (!h)
        return ecodes::ecNoMoreTriggers;
    TDataTrigger t;
    t.Handle = h;
    t.Length = len;
    t.IgnoreCase = ignoreCase;
    for (std::uint32_t i = 0; i < len; ++i)
        t.Data[i] = ignoreCase ? upcase(data[i]) : data[i];
    dataTriggers_.push_back(t);
    AddDispatchEntry(dtTriggerAlloc, dstDataTrigger, h, data, len);
    return static_cast<int>(h);
}

int TSioBaseDispatcher::AddDataTrigger(const std::string& s, bool ignoreCase)
{
    // The length of the zero-terminated text.
    const std::size_t n = std::min(s.size(), s.find('\0'));
    return AddDataTriggerLen(reinterpret_cast<const std::uint8_t*>(s.data()), ignoreCase, static_cast<std::uint32_t>(n));
}

int TSioBaseDispatcher::AddStatusTrigger(std::uint32_t kind)
{
    if (kind >= 6)
        return ecodes::ecBadArgument;
    std::lock_guard lock(dispatcherLock_);
    const std::uint32_t h = NextHandle();
    if (!h)
        return ecodes::ecNoMoreTriggers;
    TStatusTrigger t;
    t.Handle = h + kind;
    t.Kind = static_cast<std::uint8_t>(kind);
    statusTriggers_.push_back(t);
    const std::uint8_t k = static_cast<std::uint8_t>(kind);
    AddDispatchEntry(dtTriggerAlloc, dstStatusTrigger, t.Handle, &k, 1);
    return static_cast<int>(t.Handle);
}

int TSioBaseDispatcher::SetStatusTrigger(std::uint32_t handle, std::uint32_t value, bool activate)
{
    std::lock_guard lock(dispatcherLock_);
    for (auto& t : statusTriggers_) {
        if (t.Handle != handle)
            continue;
        if (activate) {
            switch (t.Kind) {
            case stModem: {
                const std::uint8_t mask = static_cast<std::uint8_t>(value);
                t.Value = static_cast<std::uint16_t>((mask << 8) | (mask & modemStatus_.load()));
                break;
            }
            case stLine: {
                std::uint16_t m = 0;
                if (value & 1) m |= kLeOverrun;
                if (value & 2) m |= kLeParity;
                if (value & 4) m |= kLeFrame;
                if (value & 8) m |= kLeBreak;
                t.Value = m;
                break;
            }
            case stOutFree:
            case stOutUsed:
                t.Value = static_cast<std::uint16_t>(value);
                break;
            default:
                break;
            }
        }
        t.Armed = activate;
        return 0;
    }
    return ecodes::ecBadTriggerHandle;
}

int TSioBaseDispatcher::ChangeLengthTrigger(std::uint32_t len)
{
    std::lock_guard lock(dispatcherLock_);
    lengthTrigger_ = len;
    AddDispatchEntry(dtTriggerDataChange, dstAvailTrigger, len);
    return 0;
}

std::uint32_t TSioBaseDispatcher::LengthTrigger() const
{
    std::lock_guard lock(dispatcherLock_);
    return lengthTrigger_;
}

int TSioBaseDispatcher::RemoveTrigger(std::uint32_t handle)
{
    std::lock_guard lock(dispatcherLock_);
    if (handle == 1) {
        lengthTrigger_ = 0;
        return 0;
    }
    if (handle < 2)
        return ecodes::ecBadTriggerHandle;
    for (auto it = timerTriggers_.begin(); it != timerTriggers_.end(); ++it) {
        if (it->Handle == handle) {
            timerTriggers_.erase(it);
            AddDispatchEntry(dtTriggerDispose, dstTimer, handle);
            return 0;
        }
    }
    for (auto it = statusTriggers_.begin(); it != statusTriggers_.end(); ++it) {
        if (it->Handle == handle) {
            const std::uint8_t k = it->Kind;
            statusTriggers_.erase(it);
            AddDispatchEntry(dtTriggerDispose, dstStatusTrigger, handle, &k, 1);
            return 0;
        }
    }
    for (auto it = dataTriggers_.begin(); it != dataTriggers_.end(); ++it) {
        if (it->Handle == handle) {
            dataTriggers_.erase(it);
            AddDispatchEntry(dtTriggerDispose, dstData, handle);
            return 0;
        }
    }
    return ecodes::ecBadTriggerHandle;
}

void TSioBaseDispatcher::RemoveAllTriggers()
{
    std::lock_guard lock(dispatcherLock_);
    lengthTrigger_ = 0;
    timerTriggers_.clear();
    dataTriggers_.clear();
    statusTriggers_.clear();
    handleCounter_ = 1;
}

void TSioBaseDispatcher::ResetDataTriggers()
{
    std::lock_guard lock(dispatcherLock_);
    for (auto& t : dataTriggers_) {
        t.Match.fill(0);
        t.Matched = false;
    }
}

void TSioBaseDispatcher::ResetStatusHits()
{
    std::lock_guard lock(dispatcherLock_);
    for (auto& t : statusTriggers_)
        t.Hit = false;
    statusHit_ = false;
}

void TSioBaseDispatcher::SaveTriggers(TTriggerSave& save)
{
    std::lock_guard lock(dispatcherLock_);
    save.LengthTrigger = lengthTrigger_;
    save.Timers = timerTriggers_;
    save.Datas = dataTriggers_;
    save.Statuses = statusTriggers_;
    save.Valid = true;
}

void TSioBaseDispatcher::RestoreTriggers(const TTriggerSave& save)
{
    if (!save.Valid)
        return;
    std::lock_guard lock(dispatcherLock_);
    lengthTrigger_ = save.LengthTrigger;
    timerTriggers_ = save.Timers;
    dataTriggers_ = save.Datas;
    statusTriggers_ = save.Statuses;
    // Restored triggers keep their handles: move the counter past them so
    // a new trigger never gets a handle that is in use.
    std::uint32_t highest = 0;
    for (auto& t : timerTriggers_)
        highest = std::max(highest, t.Handle);
    for (auto& t : dataTriggers_)
        highest = std::max(highest, t.Handle);
    for (auto& t : statusTriggers_)
        highest = std::max(highest, t.Handle & ~7u);
    handleCounter_ = std::max(handleCounter_, std::min<std::uint32_t>(highest / 8 + 1, 4096));
}

void TSioBaseDispatcher::ClearSaveBuffers(TTriggerSave& save)
{
    save = TTriggerSave{};
}

// ---------------------------------------------------------------------------
// Handlers

std::uint32_t TSioBaseDispatcher::HandlersExistCondition() const
{
    const auto live = [](const auto& v) {
        return std::count_if(v.begin(), v.end(), [](const auto& h) { return !h.deleted; });
    };
    return live(wndHandlers_) >= 2 || live(procHandlers_) > 0 || live(eventHandlers_) > 0 || portForcesHandlers_;
}

void TSioBaseDispatcher::UpdateHandlerFlags(int kind, std::uint32_t portMessages)
{
    std::lock_guard lock(dispatcherLock_);
    if (kind == 1) {
        portForcesHandlers_ = true;
        portMessages_ = portMessages;
    } else if (kind == 2)
        portForcesHandlers_ = false;
    handlersExist_ = HandlersExistCondition() != 0;
}

// A handler that comes while bytes wait is told of them at the next pass:
// they may have been announced when nobody listened, and a full dispatch
// buffer takes in nothing new that would announce them again. Under both
// locks.
void TSioBaseDispatcher::HandlerAdded()
{
    lastAvail_ = kNoAvailPosition;
}

void TSioBaseDispatcher::AnnounceWaitingData()
{
    {
        std::lock_guard in(inputLock_);
        lastAvail_ = kNoAvailPosition;
    }
    WakeDispatchThread();
}

int TSioBaseDispatcher::RegisterWndTriggerHandler(kyd::platform::TargetId window)
{
    {
        std::lock_guard in(inputLock_);
        std::lock_guard lock(dispatcherLock_);
        wndHandlers_.push_back({window, false});
        UpdateHandlerFlags(0);
        AddDispatchEntry(dtTriggerHandlerAlloc, dstWndHandler, static_cast<std::uint32_t>(window));
        HandlerAdded();
    }
    WakeDispatchThread();
    return 0;
}

int TSioBaseDispatcher::RegisterProcTriggerHandler(TTriggerProc proc)
{
    {
        std::lock_guard in(inputLock_);
        std::lock_guard lock(dispatcherLock_);
        procHandlers_.push_back({proc, false});
        UpdateHandlerFlags(0);
        AddDispatchEntry(dtTriggerHandlerAlloc, dstProcHandler, 0);
        HandlerAdded();
    }
    WakeDispatchThread();
    return 0;
}

int TSioBaseDispatcher::RegisterEventTriggerHandler(const void* key, TTriggerMethod method)
{
    {
        std::lock_guard in(inputLock_);
        std::lock_guard lock(dispatcherLock_);
        eventHandlers_.push_back({key, std::move(method), false, false});
        UpdateHandlerFlags(0);
        AddDispatchEntry(dtTriggerHandlerAlloc, dstEventHandler, 0);
        HandlerAdded();
    }
    WakeDispatchThread();
    return 0;
}

int TSioBaseDispatcher::RegisterSyncEventTriggerHandler(const void* key, TTriggerMethod method)
{
    {
        std::lock_guard in(inputLock_);
        std::lock_guard lock(dispatcherLock_);
        eventHandlers_.push_back({key, std::move(method), false, true});
        UpdateHandlerFlags(0);
        AddDispatchEntry(dtTriggerHandlerAlloc, dstEventHandler, 1);
        HandlerAdded();
    }
    WakeDispatchThread();
    return 0;
}

namespace {

template <class List, class Match>
bool removeHandler(List& list, bool inNotification, bool& removalPending, Match match)
{
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->deleted || !match(*it))
            continue;
        if (inNotification) {
            it->deleted = true;
            removalPending = true;
        } else {
            list.erase(it);
        }
        return true;
    }
    return false;
}

} // namespace

int TSioBaseDispatcher::DeregisterWndTriggerHandler(kyd::platform::TargetId window)
{
    std::lock_guard lock(dispatcherLock_);
    if (removeHandler(wndHandlers_, inNotification_.load(), removalPending_, [&](auto& h) { return h.window == window; }))
        AddDispatchEntry(dtTriggerHandlerDispose, dstWndHandler, static_cast<std::uint32_t>(window));
    UpdateHandlerFlags(0);
    return 0;
}

int TSioBaseDispatcher::DeregisterProcTriggerHandler(TTriggerProc proc)
{
    std::lock_guard lock(dispatcherLock_);
    if (removeHandler(procHandlers_, inNotification_.load(), removalPending_, [&](auto& h) { return h.proc == proc; }))
        AddDispatchEntry(dtTriggerHandlerDispose, dstProcHandler, 0);
    UpdateHandlerFlags(0);
    return 0;
}

int TSioBaseDispatcher::DeregisterEventTriggerHandler(const void* key)
{
    std::lock_guard lock(dispatcherLock_);
    if (removeHandler(eventHandlers_, inNotification_.load(), removalPending_, [&](auto& h) { return h.key == key; }))
        AddDispatchEntry(dtTriggerHandlerDispose, dstEventHandler, 0);
    UpdateHandlerFlags(0);
    return 0;
}

bool TSioBaseDispatcher::Sync(const std::function<void()>& fn)
{
    if (!kyd::platform::hasMessageLoop())
        return false;
    // While fn runs on the main thread it runs inside the notification of
    // the calling handler: a close asked for there must wait for it.
    const std::thread::id outer = handlerThread_.load();
    return kyd::platform::messageLoop().synchronize(
        [&] {
            handlerThread_ = std::this_thread::get_id();
            struct Restore {
                std::atomic<std::thread::id>& t;
                std::thread::id v;
                ~Restore() { t = v; }
            } restore{handlerThread_, outer};
            fn();
        },
        &syncToken_);
}

// ---------------------------------------------------------------------------
// Trigger checks (dispatch thread)

bool TSioBaseDispatcher::CheckTimerTriggers()
{
    std::uint32_t handle = 0;
    {
        std::lock_guard lock(dispatcherLock_);
        for (auto& t : timerTriggers_) {
            if (t.Active && TimerExpired(t.Timer)) {
                t.Active = false;
                handle = t.Handle;
                break;
            }
        }
        if (!handle)
            return false;
        AddDispatchEntry(dtTrigger, dstTimer, handle);
    }
    return SendNotify(kMsgTriggerTimer, handle, 0);
}

std::int64_t TSioBaseDispatcher::NextTimerDueMs()
{
    std::lock_guard lock(dispatcherLock_);
    std::int64_t best = -1;
    const std::int64_t now = SioTimeGetTime();
    for (auto& t : timerTriggers_) {
        if (!t.Active)
            continue;
        const std::int64_t due = std::max<std::int64_t>(0, TimerDeadlineMs(t.Timer) - now);
        if (best < 0 || due < best)
            best = due;
    }
    return best;
}

bool TSioBaseDispatcher::CheckStatusTriggers()
{
    std::uint32_t handle = 0;
    std::int32_t third = 0;
    {
        std::lock_guard lock(dispatcherLock_);
        for (auto& t : statusTriggers_) {
            if (!t.Armed || t.Hit)
                continue;
            bool fire = false;
            switch (t.Kind) {
            case stModem:
                fire = (((t.Value & 0xFF) ^ modemStatus_.load()) & (t.Value >> 8)) != 0;
                break;
            case stLine: {
                const std::uint32_t le = lineErrors_.load();
                fire = (t.Value & le) != 0;
                if (fire)
                    t.Value = static_cast<std::uint16_t>(le);
                break;
            }
            case stOutFree: {
                const std::uint32_t free = OutBuffFree();
                fire = free >= t.Value;
                third = static_cast<std::int32_t>(free);
                break;
            }
            case stOutUsed: {
                const std::uint32_t used = OutBuffUsed();
                fire = used <= t.Value;
                third = static_cast<std::int32_t>(used);
                break;
            }
            case stOutSent:
                fire = dataSent_.exchange(false);
                break;
            default:
                break;
            }
            if (!fire) {
                third = 0;
                continue;
            }
            t.Armed = false;
            t.Hit = true;
            statusHit_ = true;
            handle = t.Handle;
            break;
        }
        if (!handle)
            return false;
        AddDispatchEntry(dtTrigger, dstStatus, handle);
    }
    return SendNotify(kMsgTriggerStatus, handle, third);
}

bool TSioBaseDispatcher::FeedDataTrigger(TDataTrigger& t, std::uint8_t c)
{
    if (t.IgnoreCase)
        c = upcase(c);
    const std::uint32_t n = t.Length;
    bool begun = false;
    for (std::uint32_t slot = 0; slot < n; ++slot) {
        std::uint8_t& k = t.Match[slot];
        bool examine;
        if (slot == 0)
            examine = true;
        else if (begun)
            examine = k != 0;
        else
            examine = k != 0 || c == t.Data[0];
        if (!examine)
            continue;
        if (c == t.Data[k]) {
            ++k;
            if (k == 1)
                begun = true;
            if (k == n) {
                // The completion clears every slot, also one begun with
                // this byte: the walk goes on as if none had been.
                t.Matched = true;
                t.Match.fill(0);
                begun = false;
            }
        } else if (c == t.Data[0]) {
            k = 1;
            begun = true;
        } else {
            k = 0;
        }
    }
    return t.Matched;
}

bool TSioBaseDispatcher::CheckReceiveTriggers()
{
    std::vector<Notice> notices;
    std::uint64_t flushes;
    {
        std::lock_guard in(inputLock_);
        std::lock_guard lock(dispatcherLock_);
        if (dispBuf_.empty())
            return false;
        flushes = inputFlushes_;
        std::uint32_t p = lastScanned_;
        while (unscanned_ > 0) {
            const std::uint8_t c = dispBuf_[p];
            bool any = false;
            std::uint32_t longest = 0;
            for (auto& t : dataTriggers_) {
                if (t.Length == 0 || t.Matched)
                    continue;
                if (FeedDataTrigger(t, c)) {
                    any = true;
                    longest = std::max(longest, t.Length);
                }
            }
            if (any) {
                if (lengthTrigger_ && lastAvail_ != p) {
                    // Unread bytes before the matched string; a match that
                    // began before the tail (its first bytes already taken)
                    // counts none, and so does one the tail has passed
                    // altogether (a handler read beyond it): its distance
                    // from the tail is then no less than the bytes there are.
                    const std::uint32_t dist = (p + kDispatchBufferSize - dispTail_) % kDispatchBufferSize;
                    const std::uint32_t held = holdReads_ ? holdReadCount_ : 0;
                    std::uint32_t count = 0;
                    if (dist < UsedLocked() && longest - 1 <= dist)
                        count = dist - (longest - 1);
                    count = count > held ? count - held : 0;
                    if (count > 0 && count >= lengthTrigger_) {
                        notices.push_back({kMsgTriggerAvail, count, 0});
                        AddDispatchEntry(dtTrigger, dstAvail, count);
                        lastAvail_ = p;
                    }
                }
                for (auto it = dataTriggers_.rbegin(); it != dataTriggers_.rend(); ++it) {
                    if (!it->Matched)
                        continue;
                    it->Matched = false;
                    notices.push_back({kMsgTriggerData, it->Handle, static_cast<std::int32_t>(it->Length)});
                    AddDispatchEntry(dtTrigger, dstData, it->Handle);
                }
                lastScanned_ = (p + 1) % kDispatchBufferSize;
                --unscanned_;
                break;
            }
            p = (p + 1) % kDispatchBufferSize;
            --unscanned_;
            lastScanned_ = p;
        }
        if (notices.empty()) {
            const std::uint32_t avail = UnreadLocked();
            if (lengthTrigger_ && lastAvail_ != dispHead_ && avail >= lengthTrigger_ && avail > 0) {
                notices.push_back({kMsgTriggerAvail, avail, 0});
                AddDispatchEntry(dtTrigger, dstAvail, avail);
                lastAvail_ = dispHead_;
            }
        }
    }
    if (notices.empty())
        return false;
    bool r = false;
    for (auto& n : notices) {
        {
            // A handler flushed the input: the rest speak of bytes that
            // are gone.
            std::lock_guard in(inputLock_);
            if (inputFlushes_ != flushes)
                return false;
        }
        r = SendNotify(n.msg, n.second, n.third);
        if (closePending_.load() || killThreads_.load())
            return false;
    }
    return r;
}

bool TSioBaseDispatcher::CheckTriggers()
{
    if (CheckTimerTriggers())
        return true;
    if (CheckStatusTriggers())
        return true;
    return CheckReceiveTriggers();
}

} // namespace sio
