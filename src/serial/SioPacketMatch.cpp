// The data packet: matching its start and end conditions against the
// received bytes (the manager's lock held).
#include "serial/SioPacket.h"

#include "platform/exception_sink.h"
#include "serial/SioDispatch.h"
#include "serial/SioExcept.h"
#include "serial/SioPacketReport.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>

namespace sio {

namespace {

std::uint8_t UpCase(std::uint8_t c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<std::uint8_t>(c - 'a' + 'A') : c;
}

// Turns a start or end string into the string the matching compares with
// and its mask ('1' = wildcard, '0' = literal): with ignoreCase, a..z become
// A..Z first; a backslash makes the next character literal and is dropped
// (a trailing lone one is dropped too); an unescaped '?' is a wildcard.
void PrepareString(const std::string& s, bool ignoreCase, std::string& internal, std::string& mask)
{
    internal.clear();
    mask.clear();
    std::string src = s;
    if (ignoreCase)
        for (char& ch : src)
            ch = static_cast<char>(UpCase(static_cast<std::uint8_t>(ch)));
    for (std::size_t i = 0; i < src.size(); ++i) {
        char ch = src[i];
        if (ch == '\\') {
            if (i + 1 < src.size()) {
                internal += src[++i];
                mask += '0';
            }
        } else if (ch == '?') {
            internal += '?';
            mask += '1';
        } else {
            internal += ch;
            mask += '0';
        }
    }
}

[[noreturn]] void RaiseInvalid(int code)
{
    throw EInvalidProperty(code, false);
}

} // namespace

// --- matching (manager lock held) ---

std::size_t TSioDataPacket::MatchedLength(const std::string& s)
{
    std::string internal, mask;
    PrepareString(s, false, internal, mask);
    return internal.size();
}

void TSioDataPacket::RefuseTooLong()
{
    RaiseInvalid(ecodes::ecPacketTooLong);
}

void TSioDataPacket::Prepare()
{
    if (!prepared_) {
        PrepareString(startString_, ignoreCase_, internalStart_, startMask_);
        PrepareString(endString_, ignoreCase_, internalEnd_, endMask_);
        prepared_ = true;
    }
}

void TSioDataPacket::Validate()
{
    Prepare();
    if (startCond_ == scString) {
        std::size_t len = internalStart_.size();
        if (len == 0)
            RaiseInvalid(ecodes::ecStartStringEmpty);
        if ((endCond_ & ecPacketSize) && static_cast<std::int64_t>(len) > packetSize_)
            RaiseInvalid(ecodes::ecPacketTooSmall);
    } else if (endCond_ == 0) {
        RaiseInvalid(ecodes::ecNoEndCharCount);
    }
    if ((endCond_ & ecString) && internalEnd_.empty())
        RaiseInvalid(ecodes::ecEmptyEndString);
    if ((endCond_ & ecPacketSize) && packetSize_ <= 0)
        RaiseInvalid(ecodes::ecZeroSizePacket);
}

void TSioDataPacket::ResetMatch()
{
    internalSize_ = packetSize_;
    startMatchIndex_ = 0;
    beginMatch_ = -1;
    endMatchIndex_ = 0;
}

void TSioDataPacket::Enable()
{
    if (manager_ && manager_->inEvent_) {
        if (!enablePending_)
            pendingSince_ = NowTicks();
        enablePending_ = true;
        return;
    }
    if (manager_ && manager_->enabled_) {
        Validate(); // also prepares the strings
        Log(dstPacketEnable);
        if (startCond_ == scString)
            LogText(dstPacketStartString, startString_);
        if (endCond_ & ecString)
            LogText(dstPacketEndString, endString_);
        armSince_ = enablePending_ ? pendingSince_ : -1;
        struct Armed {
            Ticks& since;
            ~Armed() { since = -1; }
        } armed{armSince_};
        enablePending_ = false;
        ResetMatch();
        if (startCond_ == scString) {
            waitForAnyData_ = false;
            SetMode(dpWaitStart);
        } else if (!manager_->capture_ || manager_->capture_ == this) {
            waitForAnyData_ = false;
            SetMode(dpCollecting);
        } else {
            waitForAnyData_ = true;
        }
    }
    ResetMatch();
}

void TSioDataPacket::Disable()
{
    if (mode_ == dpIdle && !waitForAnyData_ && !enablePending_)
        return;
    enablePending_ = false;
    waitForAnyData_ = false;
    if (manager_) {
        SetMode(dpIdle);
        Log(dstPacketDisable);
    }
}

void TSioDataPacket::SetMode(TPacketMode mode)
{
    if (mode == mode_)
        return;
    TPacketMode old = mode_;
    mode_ = mode;
    Log(mode == dpIdle ? dstPacketIdle : mode == dpWaitStart ? dstPacketWaiting : dstPacketCollecting);
    if (mode == dpCollecting)
        manager_->SetCapture(*this, timeOut_, armSince_);
    else if (old == dpCollecting && captured_)
        manager_->ReleaseCapture(*this);
}

void TSioDataPacket::Log(std::uint16_t subType, std::uint32_t data, const std::uint8_t* bytes, std::size_t count) const
{
    if (manager_)
        manager_->host_.Log(subType, data, bytes, count);
}

void TSioDataPacket::LogText(std::uint16_t subType, const std::string& text) const
{
    Log(subType, static_cast<std::uint32_t>(text.size()), reinterpret_cast<const std::uint8_t*>(text.data()),
        text.size());
}

void TSioDataPacket::CancelMatch()
{
    if (!enabled_ || !manager_)
        return;
    try {
        Disable();
        Enable();
    } catch (...) {
        // Properties changed into an invalid set while armed: the packet
        // is switched off and the error reported.
        kyd::platform::reportException(std::current_exception(), kWhere);
        enabled_ = false;
        Reported([&] { Disable(); });
    }
}

std::int32_t TSioDataPacket::Limit() const
{
    const std::int32_t bySize = (endCond_ & ecPacketSize) ? internalSize_ : 0;
    return std::clamp(std::max(maxSize_, bySize), 1, kMaxMaxSize);
}

bool TSioDataPacket::MatchStart(std::uint8_t c, std::size_t k) const
{
    if (startMask_[k] == '1')
        return true;
    std::uint8_t want = static_cast<std::uint8_t>(internalStart_[k]);
    return (ignoreCase_ ? UpCase(c) : c) == want;
}

bool TSioDataPacket::MatchEnd(std::uint8_t c, std::size_t k) const
{
    if (endMask_[k] == '1')
        return true;
    std::uint8_t want = static_cast<std::uint8_t>(internalEnd_[k]);
    return (ignoreCase_ ? UpCase(c) : c) == want;
}

void TSioDataPacket::ProcessData(std::int32_t i)
{
    TSioDataPacketManager* m = manager_;
    if (!enabled_ || !m || i < 0 || i >= m->dataCount_)
        return;
    const std::uint8_t* buf = m->buffer_.data();
    std::uint8_t c = buf[i];

    if (mode_ == dpIdle && waitForAnyData_) {
        // Another packet's capture has ended: this byte starts the packet.
        waitForAnyData_ = false;
        SetMode(dpCollecting);
    }

    if (mode_ == dpWaitStart) {
        const std::size_t len = internalStart_.size();
        if (MatchStart(c, startMatchIndex_)) {
            if (beginMatch_ == -1)
                beginMatch_ = i;
            if (startMatchIndex_ + 1 < len) {
                ++startMatchIndex_;
                return;
            }
            // The start string is complete.
            if (endCond_ == 0 || ((endCond_ & ecPacketSize) && internalSize_ == static_cast<std::int32_t>(len))) {
                dataSize_ = i - beginMatch_ + 1;
                m->Packet(*this, ecPacketSize); // may free this packet
            } else {
                SetMode(dpCollecting);
            }
            return;
        }
        if (beginMatch_ == -1)
            return;
        // Mismatch during a partial match: find the earliest later position
        // from which the bytes up to i begin the start string.
        for (std::int32_t s = beginMatch_ + 1; s <= i; ++s) {
            bool all = true;
            for (std::int32_t j = s; j <= i; ++j)
                if (!MatchStart(buf[j], static_cast<std::size_t>(j - s))) {
                    all = false;
                    break;
                }
            if (all) {
                beginMatch_ = s;
                startMatchIndex_ = static_cast<std::size_t>(i - s + 1);
                return;
            }
        }
        beginMatch_ = -1;
        startMatchIndex_ = 0;
        return;
    }

    if (mode_ == dpCollecting) {
        if (beginMatch_ == -1)
            beginMatch_ = i;
        const std::int32_t count = i - beginMatch_ + 1;
        if ((endCond_ & ecPacketSize) && count >= internalSize_) {
            dataSize_ = count;
            m->Packet(*this, ecPacketSize); // may free this packet
            return;
        }
        if (count > Limit()) {
            // No end in sight: what came so far is all the packet gets.
            m->TimedOut(*this, i); // may free this packet
            return;
        }
        if (endCond_ & ecString) {
            const std::size_t len = internalEnd_.size();
            if (MatchEnd(c, endMatchIndex_)) {
                if (endMatchIndex_ + 1 >= len) {
                    dataSize_ = i - beginMatch_ + 1;
                    m->Packet(*this, ecString); // may free this packet
                    return;
                }
                ++endMatchIndex_;
            } else if (endMatchIndex_ > 0) {
                // (Never before the packet's first byte.)
                const std::int32_t from = std::max(i - static_cast<std::int32_t>(endMatchIndex_) + 1, beginMatch_);
                for (std::int32_t s = from; s <= i; ++s) {
                    bool all = true;
                    for (std::int32_t j = s; j <= i; ++j)
                        if (!MatchEnd(buf[j], static_cast<std::size_t>(j - s))) {
                            all = false;
                            break;
                        }
                    if (all) {
                        endMatchIndex_ = static_cast<std::size_t>(i - s + 1);
                        return;
                    }
                }
                endMatchIndex_ = 0;
            }
        }
    }
}

std::int32_t TSioDataPacket::SkipTo(std::int32_t i, std::int32_t end) const
{
    if (!enabled_)
        return end;
    const std::uint8_t* buf = manager_->buffer_.data();
    // The first position in [i, end) holding a byte equal to prepared
    // character k of str/mask (i when it is a wildcard).
    auto find = [&](const std::string& str, const std::string& mask, std::size_t k, std::int32_t to) {
        if (mask[k] == '1')
            return i;
        const auto want = static_cast<std::uint8_t>(str[k]);
        if (ignoreCase_ && want >= 'A' && want <= 'Z') {
            const auto lower = static_cast<std::uint8_t>(want + ('a' - 'A'));
            for (std::int32_t j = i; j < to; ++j)
                if (buf[j] == want || buf[j] == lower)
                    return j;
            return to;
        }
        const void* hit = std::memchr(buf + i, want, static_cast<std::size_t>(to - i));
        return hit ? static_cast<std::int32_t>(static_cast<const std::uint8_t*>(hit) - buf) : to;
    };
    switch (mode_) {
    case dpIdle:
        return waitForAnyData_ ? i : end;
    case dpWaitStart:
        // Bytes before the next possible first start character change nothing.
        return beginMatch_ != -1 ? i : find(internalStart_, startMask_, 0, end);
    case dpCollecting: {
        if (beginMatch_ == -1)
            return i;
        std::int32_t to = end;
        if (endCond_ & ecPacketSize) {
            const std::int64_t last = static_cast<std::int64_t>(beginMatch_) + internalSize_ - 1;
            if (last <= i)
                return i;
            if (last < to)
                to = static_cast<std::int32_t>(last);
        }
        // The first byte past the limit must be seen, end string or not.
        const std::int64_t over = static_cast<std::int64_t>(beginMatch_) + Limit();
        if (over <= i)
            return i;
        if (over < to)
            to = static_cast<std::int32_t>(over);
        if (endCond_ & ecString) {
            if (endMatchIndex_ != 0)
                return i;
            return find(internalEnd_, endMask_, 0, to);
        }
        return to;
    }
    }
    return i;
}

void TSioDataPacket::NotifyRemove(std::int32_t removed)
{
    if (!enabled_ || beginMatch_ < 0)
        return;
    if (beginMatch_ < removed) {
        Enable(); // its match lost bytes: start over
    } else {
        // The bytes of the partial match are unchanged, only moved down.
        beginMatch_ -= removed;
    }
}

} // namespace sio
