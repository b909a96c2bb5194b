// The dispatcher's notifications to its handlers, the extraction of
// received bytes and the dispatch thread's passes.
#include "serial/SioDispatch.h"

#include "platform/exception_sink.h"
#include "serial/SioExcept.h"

#include <algorithm>
#include <cctype>

namespace sio {

namespace {

bool PortWindowWants(std::uint32_t portMessages, std::uint32_t msg)
{
    switch (msg) {
    case kMsgTriggerAvail: return (portMessages & TSioBaseDispatcher::kPortWantsAvail) != 0;
    case kMsgTriggerData: return (portMessages & TSioBaseDispatcher::kPortWantsData) != 0;
    case kMsgTriggerTimer: return (portMessages & TSioBaseDispatcher::kPortWantsTimer) != 0;
    case kMsgTriggerStatus: return (portMessages & TSioBaseDispatcher::kPortWantsStatus) != 0;
    default: return true;
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Notifications

bool TSioBaseDispatcher::SendNotify(std::uint32_t msg, std::uint32_t second, std::int32_t third)
{
    if (!handlersExist_.load())
        return true;
    {
        std::lock_guard lock(dispatcherLock_);
        if (ownerStop_.load() || closePending_.load())
            return false;
        inNotification_ = true;
    }
    const bool hold = msg == kMsgTriggerAvail || msg == kMsgTriggerData;
    {
        std::lock_guard in(inputLock_);
        holdMaximum_ = 0;
        holdReadCount_ = 0;
        holdReads_ = hold;
    }
    const std::int32_t finalThird = portIndex_ * 65536 + third;
    bool result = true;
    bool stopped = false;

    const auto afterHandler = [&]() -> bool {
        std::lock_guard in(inputLock_);
        holdMaximum_ = std::max(holdMaximum_, holdReadCount_);
        return !closePending_.load() && !ownerStop_.load();
    };
    const auto beforeHandler = [&] {
        std::lock_guard in(inputLock_);
        holdReadCount_ = 0;
    };

    // Event handlers.
    for (std::size_t i = 0; !stopped; ++i) {
        EventHandler h;
        {
            std::lock_guard lock(dispatcherLock_);
            if (i >= eventHandlers_.size())
                break;
            if (eventHandlers_[i].deleted || !eventHandlers_[i].method)
                continue;
            h = eventHandlers_[i];
        }
        beforeHandler();
        if (h.sync) {
            if (!Sync([&] {
                    handlerThread_ = std::this_thread::get_id();
                    h.method(msg, second, finalThird);
                    handlerThread_ = std::thread::id{};
                }))
                stopped = true;
            handlerThread_ = std::thread::id{};
        } else {
            handlerThread_ = std::this_thread::get_id();
            kyd::platform::guarded("serial trigger handler", [&] { h.method(msg, second, finalThird); });
            handlerThread_ = std::thread::id{};
        }
        if (!afterHandler())
            stopped = true;
    }
    // Procedure handlers.
    for (std::size_t i = 0; !stopped; ++i) {
        TTriggerProc p;
        {
            std::lock_guard lock(dispatcherLock_);
            if (i >= procHandlers_.size())
                break;
            if (procHandlers_[i].deleted || !procHandlers_[i].proc)
                continue;
            p = procHandlers_[i].proc;
        }
        beforeHandler();
        handlerThread_ = std::this_thread::get_id();
        kyd::platform::guarded("serial trigger handler", [&] { p(msg, second, finalThird); });
        handlerThread_ = std::thread::id{};
        if (!afterHandler())
            stopped = true;
    }
    // Window handlers.
    bool windows;
    {
        std::lock_guard lock(dispatcherLock_);
        const auto live = std::count_if(wndHandlers_.begin(), wndHandlers_.end(), [](auto& w) { return !w.deleted; });
        // The port's own window alone is sent only the notices it acts on.
        windows = live >= 2 || (portForcesHandlers_ && PortWindowWants(portMessages_, msg));
    }
    for (std::size_t i = 0; windows && !stopped; ++i) {
        kyd::platform::TargetId w;
        {
            std::lock_guard lock(dispatcherLock_);
            if (i >= wndHandlers_.size())
                break;
            if (wndHandlers_[i].deleted)
                continue;
            w = wndHandlers_[i].window;
        }
        beforeHandler();
        windowHandlerPending_ = true;
        if (kyd::platform::hasMessageLoop())
            kyd::platform::messageLoop().sendTimeout(
                w, kyd::platform::Message{msg, second, static_cast<std::intptr_t>(finalThird)}, 3000);
        windowHandlerPending_ = false;
        if (!afterHandler())
            stopped = true;
    }
    if (stopped)
        result = false;

    bool freed = false;
    {
        std::lock_guard in(inputLock_);
        if (hold) {
            holdReads_ = false;
            if (holdMaximum_ > 0 && !dispBuf_.empty()) {
                const std::uint32_t take = std::min(holdMaximum_, UsedLocked());
                dispTail_ = (dispTail_ + take) % kDispatchBufferSize;
                if (take)
                    dispFull_ = false;
                freed = take > 0;
            }
            if (msg == kMsgTriggerAvail && holdMaximum_ != second)
                result = false;
        }
        holdReadCount_ = 0;
    }
    if (freed)
        RoomInDispatchBuffer();
    {
        std::lock_guard lock(dispatcherLock_);
        inNotification_ = false;
        if (removalPending_) {
            std::erase_if(wndHandlers_, [](auto& h) { return h.deleted; });
            std::erase_if(procHandlers_, [](auto& h) { return h.deleted; });
            std::erase_if(eventHandlers_, [](auto& h) { return h.deleted; });
            removalPending_ = false;
            UpdateHandlerFlags(0);
        }
    }
    return result;
}

// ---------------------------------------------------------------------------
// Extraction and the dispatch thread's passes

bool TSioBaseDispatcher::ExtractData()
{
    std::lock_guard in(inputLock_);
    if (dispBuf_.empty())
        return false;
    if (dispFull_) {
        static const char kFull[] = "Dispatch buffer full.";
        AddDispatchEntry(dtDispatch, dstStatus, 0, reinterpret_cast<const std::uint8_t*>(kFull), sizeof kFull - 1);
        return true;
    }
    const std::uint32_t queued = InQueueUsed();
    if (queued == 0)
        return false;
    const std::uint32_t free = kDispatchBufferSize - UsedLocked();
    const std::uint32_t take = std::min(queued, free);
    const std::uint32_t firstRoom = dispHead_ >= dispTail_ ? kDispatchBufferSize - dispHead_ : dispTail_ - dispHead_;
    const std::uint32_t first = std::min(take, firstRoom);
    const std::uint32_t second = take - first;
    bool any = false;
    const auto readPiece = [&](std::uint32_t len) -> std::uint32_t {
        int n = ReadCom(&dispBuf_[dispHead_], len);
        if (n < 0)
            n = 0;
        if (n > 0) {
            AddDispatchEntry(dtDispatch, dstReadCom, static_cast<std::uint32_t>(n), &dispBuf_[dispHead_],
                             static_cast<std::uint32_t>(n));
            dispHead_ = (dispHead_ + static_cast<std::uint32_t>(n)) % kDispatchBufferSize;
            unscanned_ += static_cast<std::uint32_t>(n);
            if (unscanned_ > kDispatchBufferSize) {
                // Handlers held while readers took the bytes: the new ones
                // went over bytes not yet scanned. Those are lost to the
                // data triggers; the scan takes up the oldest byte still
                // there, with no match begun before the gap.
                unscanned_ = kDispatchBufferSize;
                lastScanned_ = dispHead_;
                ResetDataTriggers();
            }
            dispFull_ = dispHead_ == dispTail_;
            any = true;
        }
        return static_cast<std::uint32_t>(n);
    };
    const std::uint32_t got = readPiece(first);
    if (got == first && second > 0)
        readPiece(second);
    return any;
}

void TSioBaseDispatcher::StatusTriggerLoop()
{
    while (!closePending_.load() && CheckStatusTriggers()) {
    }
}

void TSioBaseDispatcher::DispatchInputPass()
{
    std::uint32_t mask = 0;
    if (TIOBuffer* b = ioQueue_.Peek()) {
        if (auto* s = dynamic_cast<TStatusBuffer*>(b)) {
            mask = s->Status;
            ioQueue_.Pop();
            QueueConsumed();
        } else {
            b->SetInUse(false);
        }
    }
    if (mask & (EV_RING | EV_RING_TE))
        ringSeen_ = true;
    if (mask & 0x2138) {
        MapEventsToMS(mask);
        if (!HandlersHeld()) {
            StatusTriggerLoop();
            if (closePending_.load())
                return;
            if (statusHit_)
                ResetStatusHits();
        }
    }
    if ((mask & 0xFF) > 63) {
        RefreshStatus();
        if (!HandlersHeld()) {
            StatusTriggerLoop();
            if (closePending_.load())
                return;
        }
    }
    if (ExtractData() && inputWaiters_.load() > 0)
        NotifyInputWaiters();
    if (!HandlersHeld()) {
        // The shadow takes what the status read returns: the levels are
        // fresh and the deltas stay set until they are read.
        GetModemStatusPrim(0xFF);
        StatusTriggerLoop();
        if (closePending_.load())
            return;
        while (!closePending_.load() && !killThreads_.load() && CheckReceiveTriggers()) {
        }
        if (closePending_.load())
            return;
    }
    if (statusHit_)
        ResetStatusHits();
}

void TSioBaseDispatcher::DispatchTimerPass()
{
    if (closePending_.load() || HandlersHeld())
        return;
    {
        std::lock_guard lock(dispatcherLock_);
        statusHit_ = false;
    }
    while (!closePending_.load()) {
        if (!CheckStatusTriggers() && !CheckTimerTriggers())
            break;
    }
    if (statusHit_)
        ResetStatusHits();
}

} // namespace sio
