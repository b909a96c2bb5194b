// The data packet: its properties and state. Matching is in
// SioPacketMatch.cpp, the manager in SioPacketManager.cpp.
#include "serial/SioPacket.h"

#include "platform/exception_sink.h"
#include "serial/SioExcept.h"
#include "serial/SioPacketReport.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>

namespace sio {

// ===========================================================================
// TSioDataPacket

TSioDataPacket::TSioDataPacket(TSioBaseComponent* owner) : TSioBaseComponent(owner) {}

TSioDataPacket::~TSioDataPacket()
{
    if (comPort_)
        Reported([&] { SetComPort(nullptr); });
    if (manager_)
        manager_->Remove(*this);
}

std::unique_lock<std::mutex> TSioDataPacket::Guard() const
{
    // manager_ changes only on the thread that binds packets (the main
    // thread), which is also the only one calling the public operations.
    if (manager_)
        return std::unique_lock<std::mutex>(manager_->mutex_);
    return {};
}

TSioDataPacketManager* TSioDataPacket::Manager() const
{
    return manager_;
}

bool TSioDataPacket::GetEnabled() const
{
    auto g = Guard();
    return enabled_;
}

void TSioDataPacket::SetEnabled(bool value)
{
    auto g = Guard();
    SetEnabledLocked(value);
}

void TSioDataPacket::SetEnabledLocked(bool value)
{
    if (value == enabled_)
        return;
    if (value) {
        Validate();
        try {
            Enable();
        } catch (...) {
            // Leave nothing armed behind a refused enable.
            try {
                Disable();
            } catch (...) {
            }
            throw;
        }
    } else {
        Disable();
    }
    enabled_ = value;
}

TPacketStartCond TSioDataPacket::GetStartCond() const
{
    auto g = Guard();
    return startCond_;
}

void TSioDataPacket::SetStartCond(TPacketStartCond value)
{
    auto g = Guard();
    startCond_ = value;
}

TPacketEndSet TSioDataPacket::GetEndCond() const
{
    auto g = Guard();
    return endCond_;
}

void TSioDataPacket::SetEndCond(TPacketEndSet value)
{
    auto g = Guard();
    bool was = enabled_;
    SetEnabledLocked(false);
    endCond_ = static_cast<TPacketEndSet>(value & (ecString | ecPacketSize));
    SetEnabledLocked(was);
}

std::string TSioDataPacket::GetStartString() const
{
    auto g = Guard();
    return startString_;
}

void TSioDataPacket::SetStartString(const std::string& value)
{
    auto g = Guard();
    startString_ = value;
    prepared_ = false;
}

std::string TSioDataPacket::GetEndString() const
{
    auto g = Guard();
    return endString_;
}

void TSioDataPacket::SetEndString(const std::string& value)
{
    auto g = Guard();
    if (MatchedLength(value) > static_cast<std::size_t>(maxSize_))
        RefuseTooLong();
    bool was = enabled_;
    SetEnabledLocked(false);
    endString_ = value;
    prepared_ = false;
    SetEnabledLocked(was);
}

std::int32_t TSioDataPacket::GetPacketSize() const
{
    auto g = Guard();
    return packetSize_;
}

void TSioDataPacket::SetPacketSize(std::int32_t value)
{
    auto g = Guard();
    if (value > kMaxMaxSize)
        RefuseTooLong();
    packetSize_ = value;
}

std::int32_t TSioDataPacket::GetTimeOut() const
{
    auto g = Guard();
    return timeOut_;
}

void TSioDataPacket::SetTimeOut(std::int32_t value)
{
    auto g = Guard();
    timeOut_ = value;
}

bool TSioDataPacket::GetAutoEnable() const
{
    auto g = Guard();
    return autoEnable_;
}

void TSioDataPacket::SetAutoEnable(bool value)
{
    auto g = Guard();
    autoEnable_ = value;
}

bool TSioDataPacket::GetIgnoreCase() const
{
    auto g = Guard();
    return ignoreCase_;
}

void TSioDataPacket::SetIgnoreCase(bool value)
{
    auto g = Guard();
    ignoreCase_ = value;
    prepared_ = false;
}

bool TSioDataPacket::GetIncludeStrings() const
{
    auto g = Guard();
    return includeStrings_;
}

void TSioDataPacket::SetIncludeStrings(bool value)
{
    auto g = Guard();
    includeStrings_ = value;
}

bool TSioDataPacket::GetSyncEvents() const
{
    auto g = Guard();
    return syncEvents_;
}

void TSioDataPacket::SetSyncEvents(bool value)
{
    auto g = Guard();
    syncEvents_ = value;
}

bool TSioDataPacket::GetFlushOnTimeout() const
{
    auto g = Guard();
    return flushOnTimeout_;
}

void TSioDataPacket::SetFlushOnTimeout(bool value)
{
    auto g = Guard();
    flushOnTimeout_ = value;
}

std::int32_t TSioDataPacket::GetMaxSize() const
{
    auto g = Guard();
    return maxSize_;
}

void TSioDataPacket::SetMaxSize(std::int32_t value)
{
    auto g = Guard();
    const std::int32_t size = std::clamp(value, 1, kMaxMaxSize);
    if (MatchedLength(endString_) > static_cast<std::size_t>(size))
        RefuseTooLong();
    maxSize_ = size;
}

void TSioDataPacket::SetOnPacket(TPacketNotifyEvent handler)
{
    auto g = Guard();
    onPacket_ = std::move(handler);
}

void TSioDataPacket::SetOnStringPacket(TStringPacketNotifyEvent handler)
{
    auto g = Guard();
    onStringPacket_ = std::move(handler);
}

void TSioDataPacket::SetOnTimeout(TPacketTimeoutEvent handler)
{
    auto g = Guard();
    onTimeout_ = std::move(handler);
}

TPacketMode TSioDataPacket::GetMode() const
{
    auto g = Guard();
    return mode_;
}

std::int32_t TSioDataPacket::GetDataSize() const
{
    auto g = Guard();
    return dataSize_;
}

void TSioDataPacket::GetCollectedString(std::string& s) const
{
    auto g = Guard();
    s.assign(collected_.begin(), collected_.end());
}

void TSioDataPacket::GetCollectingString(std::string& s) const
{
    auto g = Guard();
    s.clear();
    // In an event the packet is disarmed; held bytes are not yet its own.
    if (!manager_ || mode_ != dpCollecting || beginMatch_ < 0 || manager_->inEvent_ || manager_->hold_)
        return;
    // Outside a scan every byte in the buffer has been seen by the packets.
    const std::int32_t end = manager_->dataCount_;
    if (end > beginMatch_)
        s.assign(manager_->buffer_.data() + beginMatch_, manager_->buffer_.data() + end);
}

void TSioDataPacket::GetCollectedData(std::vector<std::uint8_t>& data, std::int32_t& size) const
{
    auto g = Guard();
    data = collected_;
    size = static_cast<std::int32_t>(collected_.size());
}

bool TSioDataPacket::GetPacketReceived() const
{
    auto g = Guard();
    return packetReceived_;
}

bool TSioDataPacket::GetTimedOutFlag() const
{
    auto g = Guard();
    return timedOutFlag_;
}

} // namespace sio
