// The data packet manager: one per port, it feeds the received bytes to
// the port's packets and delivers their events.
#include "serial/SioPacket.h"

#include "platform/exception_sink.h"
#include "platform/message_loop.h"
#include "serial/SioDispatch.h"
#include "serial/SioExcept.h"
#include "serial/SioPacketReport.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>

namespace sio {


TSioDataPacketManager::TSioDataPacketManager(PacketHost& host)
    : host_(host)
{
    if (host_.PortIsOpen()) {
        std::lock_guard<std::mutex> g(mutex_);
        EnableLocked();
    }
}

TSioDataPacketManager::~TSioDataPacketManager()
{
    std::lock_guard<std::mutex> g(mutex_);
    destroying_ = true;
    for (TSioDataPacket* p : packetList_) {
        Reported([&] { p->Disable(); });
        p->manager_ = nullptr;
        p->mode_ = dpIdle;
        p->captured_ = false;
    }
    packetList_.clear();
    capture_ = nullptr;
    DisableLocked();
    buffer_ = {};
    spare_ = {};
    dataCount_ = 0;
}

void TSioDataPacketManager::Insert(TSioDataPacket& packet)
{
    if (packet.manager_ == this)
        return;
    if (packet.manager_)
        packet.manager_->Remove(packet);
    std::lock_guard<std::mutex> g(mutex_);
    packetList_.push_back(&packet);
    packet.manager_ = this;
}

void TSioDataPacketManager::Remove(TSioDataPacket& packet)
{
    std::lock_guard<std::mutex> g(mutex_);
    RemoveLocked(packet);
}

void TSioDataPacketManager::RemoveLocked(TSioDataPacket& packet)
{
    auto it = std::find(packetList_.begin(), packetList_.end(), &packet);
    if (it == packetList_.end())
        return;
    // Disarm it first so that no capture or timer is left pointing at it.
    Reported([&] { packet.Disable(); });
    if (capture_ == &packet)
        capture_ = nullptr;
    packet.captured_ = false;
    packet.mode_ = dpIdle;
    it = std::find(packetList_.begin(), packetList_.end(), &packet);
    if (it != packetList_.end())
        packetList_.erase(it);
    if (delivering_ == &packet)
        delivering_ = nullptr; // its event is under way: do not touch it afterwards
    packet.manager_ = nullptr;
}

std::size_t TSioDataPacketManager::PacketCount() const
{
    std::lock_guard<std::mutex> g(mutex_);
    return packetList_.size();
}

void TSioDataPacketManager::PortOpened()
{
    std::lock_guard<std::mutex> g(mutex_);
    EnableLocked();
    ArmPackets();
}

void TSioDataPacketManager::ArmPackets()
{
    for (std::size_t k = 0; k < packetList_.size(); ++k) {
        TSioDataPacket* p = packetList_[k];
        if (!p->enabled_)
            continue;
        try {
            p->Enable();
        } catch (...) {
            kyd::platform::reportException(std::current_exception(), kWhere);
            p->enabled_ = false;
            Reported([&] { p->Disable(); });
        }
    }
}

void TSioDataPacketManager::PortClosed()
{
    std::lock_guard<std::mutex> g(mutex_);
    for (std::size_t k = 0; k < packetList_.size(); ++k) {
        TSioDataPacket* p = packetList_[k];
        Reported([&] { p->Disable(); });
    }
    DisableLocked();
}

bool TSioDataPacketManager::GetEnabled() const
{
    std::lock_guard<std::mutex> g(mutex_);
    return enabled_;
}

void TSioDataPacketManager::SetEnabled(bool value)
{
    std::lock_guard<std::mutex> g(mutex_);
    if (!value) {
        DisableLocked();
    } else if (!enabled_) {
        EnableLocked();
        ArmPackets(); // packets whose Enabled is true start afresh
    }
}

void TSioDataPacketManager::EnableLocked()
{
    if (enabled_)
        return;
    host_.RegisterHandler(*this);
    handlerRegistered_ = true;
    try {
        timerHandle_ = host_.AddTimerTrigger();
    } catch (...) {
        handlerRegistered_ = false;
        Reported([&] { host_.DeregisterHandler(*this); });
        throw;
    }
    enabled_ = true;
}

void TSioDataPacketManager::DisableLocked()
{
    if (!enabled_)
        return;
    // The buffer goes: no packet may keep a match into it.
    for (std::size_t k = 0; k < packetList_.size(); ++k) {
        TSioDataPacket* p = packetList_[k];
        Reported([&] { p->Disable(); });
        p->ResetMatch();
    }
    enabled_ = false;
    if (capture_) {
        capture_->captured_ = false;
        capture_ = nullptr;
    }
    if (timerHandle_ > 0) {
        int h = timerHandle_;
        timerHandle_ = 0;
        Reported([&] { host_.RemoveTrigger(h); });
    }
    if (handlerRegistered_) {
        handlerRegistered_ = false;
        Reported([&] { host_.DeregisterHandler(*this); });
    }
    DisposeBuffer();
}

void TSioDataPacketManager::DisposeBuffer()
{
    if (delivery_) {
        disposePending_ = true;
        return;
    }
    if (buffer_.size() == static_cast<std::size_t>(kBufferStep))
        spare_.swap(buffer_);
    std::vector<std::uint8_t>().swap(buffer_);
    dataCount_ = 0;
}

std::int32_t TSioDataPacketManager::DataCount() const
{
    std::lock_guard<std::mutex> g(mutex_);
    return dataCount_;
}

std::int32_t TSioDataPacketManager::BufferSize() const
{
    std::lock_guard<std::mutex> g(mutex_);
    return static_cast<std::int32_t>(buffer_.size());
}

bool TSioDataPacketManager::InEvent() const
{
    std::lock_guard<std::mutex> g(mutex_);
    return inEvent_;
}

int TSioDataPacketManager::TimerHandle() const
{
    std::lock_guard<std::mutex> g(mutex_);
    return timerHandle_;
}

// --- dispatch thread ---

void TSioDataPacketManager::OnData(const std::uint8_t* data, std::size_t count)
{
    FeedData(data, count, nullptr);
}

void TSioDataPacketManager::FeedData(const std::uint8_t* data, std::size_t count, const std::uint64_t* generation)
{
    std::unique_lock<std::mutex> lock(mutex_);
    // Bytes read from the dispatcher before a flush belong to the past.
    if (generation && *generation != flushGeneration_)
        return;
    std::unique_lock<std::mutex>* outer = dispatchLock_;
    dispatchLock_ = &lock;
    Reported([&] {
        // Large blocks are taken in steps so the positions stay small.
        constexpr std::size_t kStep = 1u << 20;
        while (count > 0 && enabled_) {
            const std::int32_t old = dataCount_;
            const std::size_t room = static_cast<std::size_t>(kMaxBuffered - old);
            if (room == 0)
                break; // the rest is dropped
            const std::size_t n = std::min({count, kStep, room});
            const std::int32_t need = old + static_cast<std::int32_t>(n);
            if (static_cast<std::size_t>(need) >= buffer_.size()) {
                const std::size_t steps = static_cast<std::size_t>(need) / kBufferStep + 1;
                if (buffer_.empty() && steps == 1 && !spare_.empty())
                    buffer_.swap(spare_);
                else
                    buffer_.resize(steps * kBufferStep);
            }
            std::memcpy(buffer_.data() + old, data, n);
            dataCount_ = need;
            data += n;
            count -= n;
            NotifyData(old);
        }
    });
    dispatchLock_ = outer;
}

void TSioDataPacketManager::OnData(const std::uint8_t* data, std::size_t count, std::uint64_t generation)
{
    FeedData(data, count, &generation);
}

std::uint64_t TSioDataPacketManager::FlushGeneration() const
{
    std::lock_guard<std::mutex> g(mutex_);
    return flushGeneration_;
}

bool TSioDataPacketManager::TakeInput(const std::function<bool()>& take, std::uint64_t& generation)
{
    std::lock_guard<std::mutex> step(inputStepMutex_);
    generation = FlushGeneration();
    return take();
}

int TSioDataPacketManager::FlushInput(const std::function<int()>& flushInput)
{
    std::lock_guard<std::mutex> step(inputStepMutex_);
    const int r = flushInput();
    FlushData();
    return r;
}

void TSioDataPacketManager::FlushData()
{
    std::lock_guard<std::mutex> g(mutex_);
    ++flushGeneration_;
    dataCount_ = 0;
    scanPosition_ = 0;
    dataPending_ = false;
    pendingPosition_ = 0;
    DisposeBuffer();
    if (inEvent_)
        return; // every packet is re-armed afresh when the event ends
    for (std::size_t k = 0; k < packetList_.size(); ++k) {
        TSioDataPacket* p = packetList_[k];
        if (!p->enabled_ || p->mode_ == dpIdle)
            continue;
        if (p->startCond_ == scString)
            Reported([&] { p->SetMode(dpWaitStart); });
        p->ResetMatch();
    }
}

void TSioDataPacketManager::OnTimer(int handle)
{
    std::unique_lock<std::mutex> lock(mutex_);
    std::unique_lock<std::mutex>* outer = dispatchLock_;
    dispatchLock_ = &lock;
    Reported([&] {
        if (enabled_ && handle == timerHandle_ && capture_ && !inEvent_)
            TimedOut(*capture_);
    });
    dispatchLock_ = outer;
}

void TSioDataPacketManager::NotifyData(std::int32_t position)
{
    if (inEvent_ || hold_) {
        // Bytes that arrive while an event is delivered are scanned when it
        // ends, from the first of them.
        if (!dataPending_ || position < pendingPosition_)
            pendingPosition_ = position;
        dataPending_ = true;
        return;
    }
    ++scanDepth_;
    struct Depth {
        int& d;
        ~Depth() { --d; }
    } depth{scanDepth_};
    if (dataCount_ > 0)
        scanPosition_ = position;
    while (scanPosition_ < dataCount_ && enabled_ && !hold_) {
        // Skip the bytes that cannot change any packet's state.
        std::int32_t next = dataCount_;
        if (capture_) {
            next = capture_->SkipTo(scanPosition_, next);
        } else {
            for (std::size_t k = 0; k < packetList_.size() && next > scanPosition_; ++k)
                next = packetList_[k]->SkipTo(scanPosition_, next);
        }
        scanPosition_ = next;
        if (scanPosition_ >= dataCount_)
            break;
        if (capture_) {
            capture_->ProcessData(scanPosition_);
        } else {
            for (std::size_t k = 0; k < packetList_.size(); ++k) {
                packetList_[k]->ProcessData(scanPosition_);
                if (buffer_.empty())
                    return;
                if (capture_ || scanPosition_ < 0)
                    break;
            }
        }
        ++scanPosition_;
    }
    if (hold_) {
        // Held (a packet's handler asked for it): the rest waits unscanned.
        const std::int32_t from = std::max(scanPosition_, 0);
        if (from < dataCount_ && (!dataPending_ || from < pendingPosition_))
            pendingPosition_ = from;
        dataPending_ = dataPending_ || from < dataCount_;
        return;
    }
    // Bytes no packet is matching are dropped: all of them, or those before
    // the earliest partial match, so that a stream of near matches cannot
    // grow the buffer without bound. Only the capture sees data while it
    // exists.
    std::int32_t first = -1;
    if (capture_) {
        first = capture_->beginMatch_;
    } else {
        for (TSioDataPacket* p : packetList_)
            if (p->enabled_ && p->mode_ != dpIdle && p->beginMatch_ != -1)
                first = first < 0 ? p->beginMatch_ : std::min(first, p->beginMatch_);
    }
    if (first < 0)
        DisposeBuffer();
    else if (first > 0)
        RemoveData(0, first);
}

void TSioDataPacketManager::SetCapture(TSioDataPacket& packet, std::int32_t timeout, Ticks since)
{
    capture_ = &packet;
    packet.captured_ = true;
    if (timeout != 0 && timerHandle_ > 0)
        host_.SetTimerTrigger(timerHandle_, timeout, true, since);
    for (std::size_t k = 0; k < packetList_.size(); ++k)
        if (packetList_[k] != &packet)
            packetList_[k]->CancelMatch();
}

void TSioDataPacketManager::ReleaseCapture(TSioDataPacket& packet)
{
    if (capture_ == &packet)
        capture_ = nullptr;
    packet.captured_ = false;
    if (enabled_ && timerHandle_ > 0)
        host_.SetTimerTrigger(timerHandle_, 0, false);
}

void TSioDataPacketManager::SetInEvent(bool value)
{
    if (value) {
        inEvent_ = true;
        for (std::size_t k = 0; k < packetList_.size(); ++k) {
            TSioDataPacket* p = packetList_[k];
            if (p->enabled_)
                Reported([&] { p->Disable(); });
        }
        return;
    }
    inEvent_ = false;
    ArmPackets();
    if (dataPending_) {
        // Inside a scan (a packet completed) the running loop goes on to the
        // end of the buffer, so it takes these bytes in order after the rest
        // of the current read; only an event outside a scan (a time-out)
        // starts a scan for them.
        dataPending_ = false;
        if (buffer_.empty())
            return;
        if (scanDepth_ == 0)
            NotifyData(pendingPosition_);
        else
            scanPosition_ = std::min(scanPosition_, pendingPosition_ - 1); // held bytes before it
    }
}

void TSioDataPacketManager::SetHold(bool value)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (value == hold_)
        return;
    hold_ = value;
    if (hold_ || inEvent_ || !dataPending_)
        return; // an event under way scans the held bytes when it ends
    dataPending_ = false;
    if (buffer_.empty() || !enabled_)
        return;
    // Scanned here, on the releasing thread, as the dispatch thread would.
    std::unique_lock<std::mutex>* outer = dispatchLock_;
    dispatchLock_ = &lock;
    Reported([&] { NotifyData(pendingPosition_); });
    dispatchLock_ = outer;
}

bool TSioDataPacketManager::GetHold() const
{
    std::lock_guard<std::mutex> g(mutex_);
    return hold_;
}

void TSioDataPacketManager::RemoveData(std::int32_t start, std::int32_t size)
{
    std::int64_t n = static_cast<std::int64_t>(start) + size;
    n = std::clamp<std::int64_t>(n, 0, dataCount_);
    if (n == 0)
        return;
    const std::int32_t removed = static_cast<std::int32_t>(n);
    dataCount_ -= removed;
    scanPosition_ = std::max(scanPosition_ - removed, -1);
    if (dataPending_)
        pendingPosition_ = std::max(pendingPosition_ - removed, 0);
    if (dataCount_ == 0)
        DisposeBuffer();
    else
        std::memmove(buffer_.data(), buffer_.data() + removed, static_cast<std::size_t>(dataCount_));
    for (std::size_t k = 0; k < packetList_.size(); ++k)
        packetList_[k]->NotifyRemove(removed);
}

namespace {
// What a delivery hands to the main thread; lives on the dispatch thread's
// stack for the duration of the delivery.
struct Delivery {
    TSioDataPacketManager* manager;
    TSioDataPacket* packet;
    const std::vector<std::uint8_t>* data;
    TPacketNotifyEvent onPacket;
    TStringPacketNotifyEvent onStringPacket;
    TPacketTimeoutEvent onTimeout;
    bool timeout;
    std::uint64_t generation;
};
} // namespace

// Releases the dispatch lock around the event and takes it back. Returns
// whether the packet is still bound (it may have been removed or freed by
// its handler).
bool TSioDataPacketManager::Deliver(TSioDataPacket& packet, bool timeout)
{
    Delivery d{this, &packet, &packet.collected_, {}, {}, {}, timeout, flushGeneration_};
    if (timeout) {
        d.onTimeout = packet.onTimeout_;
    } else {
        d.onPacket = packet.onPacket_;
        d.onStringPacket = packet.onStringPacket_;
    }
    const bool sync = packet.syncEvents_;
    if (timeout ? !d.onTimeout : (!d.onPacket && !d.onStringPacket))
        return true; // nothing to call

    delivering_ = &packet;
    delivery_ = true;
    auto fn = [&d]() noexcept {
        try {
            {
                // Flushed while the event waited for the main thread, or the
                // packet was removed (and may be freed): nothing of it is
                // touched.
                std::lock_guard<std::mutex> g(d.manager->mutex_);
                if (d.manager->flushGeneration_ != d.generation || d.manager->delivering_ != d.packet)
                    return;
            }
            const std::size_t n = d.data->size();
            if (d.timeout) {
                d.onTimeout(*d.packet);
                return;
            }
            // The string is taken before OnPacket, which may free the packet.
            std::string& s = d.manager->eventString_;
            if (d.onStringPacket)
                s.assign(d.data->begin(), d.data->end());
            if (d.onPacket)
                d.onPacket(*d.packet, n ? d.data->data() : nullptr, static_cast<std::int32_t>(n));
            if (d.onStringPacket) {
                bool alive = true;
                if (d.onPacket) {
                    std::lock_guard<std::mutex> g(d.manager->mutex_);
                    alive = d.manager->delivering_ == d.packet;
                }
                if (alive)
                    d.onStringPacket(*d.packet, s);
            }
        } catch (...) {
            kyd::platform::reportException(std::current_exception(), kWhere);
        }
    };

    std::unique_lock<std::mutex>* lock = dispatchLock_;
    if (lock)
        lock->unlock();
    try {
        host_.RunEvent(fn, sync);
    } catch (...) {
        kyd::platform::reportException(std::current_exception(), kWhere);
    }
    if (lock)
        lock->lock();
    delivery_ = false;
    const bool alive = delivering_ == &packet;
    delivering_ = nullptr;
    if (disposePending_) {
        disposePending_ = false;
        DisposeBuffer();
    }
    return alive;
}

void TSioDataPacketManager::Packet(TSioDataPacket& p, TPacketEndCond endCond)
{
    SetInEvent(true);
    try {
        p.enabled_ = false;
        const std::int32_t begin = p.beginMatch_;
        const std::int32_t total = p.dataSize_;
        std::int32_t offset = begin;
        std::int32_t size = total;
        if (p.startCond_ == scString && !p.includeStrings_) {
            const auto len = static_cast<std::int32_t>(p.internalStart_.size());
            offset += len;
            size -= len;
        }
        if (p.endCond_ == ecString && !p.includeStrings_)
            size -= static_cast<std::int32_t>(p.internalEnd_.size());
        size = std::max(size, 0);
        if (offset < 0 || offset + size > dataCount_)
            size = 0;
        p.collected_.assign(buffer_.data() + (size ? offset : 0), buffer_.data() + (size ? offset + size : 0));
        p.dataSize_ = size;
        p.packetReceived_ = true;
        p.Log(endCond == ecString ? dstPacketString : dstPacketSize, static_cast<std::uint32_t>(size),
              p.collected_.data(), p.collected_.size());
        if (p.waiting_)
            WakeWaiter();

        const bool alive = Deliver(p, false);
        RemoveData(begin, total);
        if (alive && p.autoEnable_)
            p.enabled_ = true;
    } catch (...) {
        SetInEvent(false);
        throw;
    }
    SetInEvent(false);
}

void TSioDataPacketManager::TimedOut(TSioDataPacket& p, std::int32_t end)
{
    if (end < 0 || end > dataCount_)
        end = dataCount_;
    SetInEvent(true);
    try {
        p.enabled_ = false;
        p.timedOutFlag_ = true;
        const std::int32_t begin = p.beginMatch_;
        std::int32_t size = 0;
        std::int32_t offset = 0;
        if (begin >= 0 && begin <= end) {
            offset = begin;
            size = end - begin;
            if (p.startCond_ == scString && !p.includeStrings_) {
                const auto len = static_cast<std::int32_t>(p.internalStart_.size());
                offset += len;
                size -= len;
            }
            size = std::max(size, 0);
            if (offset + size > dataCount_)
                size = 0;
        }
        // Nothing collected: size 0 and no data.
        p.collected_.assign(buffer_.data() + (size ? offset : 0), buffer_.data() + (size ? offset + size : 0));
        p.dataSize_ = size;
        const bool flush = p.flushOnTimeout_;
        p.Log(dstPacketTimeout, static_cast<std::uint32_t>(size));
        if (p.waiting_)
            WakeWaiter();

        Deliver(p, true);
        if (flush) {
            const std::int32_t from = begin >= 0 ? begin : 0;
            RemoveData(from, dataCount_ - from);
        }
    } catch (...) {
        SetInEvent(false);
        throw;
    }
    SetInEvent(false);
}

void TSioDataPacketManager::WakeWaiter()
{
    // A wait for the packet runs the message loop on the main thread; an
    // event without a handler sends it nothing, so it is woken here.
    if (kyd::platform::hasMessageLoop())
        kyd::platform::messageLoop().wakeUp();
}

} // namespace sio
