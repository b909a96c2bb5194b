// Device-independent part of the dispatcher: reading the dispatch buffer
// and writing to the output buffer.
#include "serial/SioDispatch.h"

#include "serial/SioDispatchWait.h"
#include "serial/SioExcept.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace sio {

// ---------------------------------------------------------------------------
// Reading

std::uint32_t TSioBaseDispatcher::UsedLocked() const
{
    if (dispHead_ == dispTail_)
        return dispFull_ ? kDispatchBufferSize : 0;
    if (dispHead_ > dispTail_)
        return dispHead_ - dispTail_;
    return dispHead_ + kDispatchBufferSize - dispTail_;
}

// The bytes not yet read: while reads are held, those after the bytes the
// handlers have read so far.
std::uint32_t TSioBaseDispatcher::UnreadLocked() const
{
    const std::uint32_t used = UsedLocked();
    const std::uint32_t skip = holdReads_ ? holdReadCount_ : 0;
    return used > skip ? used - skip : 0;
}

std::uint32_t TSioBaseDispatcher::InBuffUsed()
{
    std::lock_guard in(inputLock_);
    return UnreadLocked();
}

std::uint32_t TSioBaseDispatcher::InBuffFree()
{
    std::lock_guard in(inputLock_);
    return kDispatchBufferSize - UsedLocked() + (holdReads_ ? holdReadCount_ : 0);
}

bool TSioBaseDispatcher::CharReady()
{
    std::lock_guard in(inputLock_);
    return UnreadLocked() > 0;
}

// Lengths and indexes are compared with what is unread, never added to the
// bytes already read: any 32-bit value beyond it finds the buffer empty.
int TSioBaseDispatcher::PeekChar(std::uint8_t& c, std::uint32_t n)
{
    std::lock_guard in(inputLock_);
    const std::uint32_t skip = holdReads_ ? holdReadCount_ : 0;
    if (n == 0 || n > UnreadLocked() || dispBuf_.empty())
        return ecodes::ecBufferIsEmpty;
    c = dispBuf_[(dispTail_ + skip + n - 1) % kDispatchBufferSize];
    return 0;
}

int TSioBaseDispatcher::GetChar(std::uint8_t& c)
{
    return GetBlock(&c, 1) == 1 ? 0 : ecodes::ecBufferIsEmpty;
}

int TSioBaseDispatcher::PeekBlock(std::uint8_t* block, std::uint32_t len)
{
    std::lock_guard in(inputLock_);
    const std::uint32_t skip = holdReads_ ? holdReadCount_ : 0;
    if (len > UnreadLocked() || (len && dispBuf_.empty()))
        return ecodes::ecBufferIsEmpty;
    if (len == 0)
        return 0; // the block may be null
    const std::uint32_t start = (dispTail_ + skip) % kDispatchBufferSize;
    const std::uint32_t first = std::min(len, kDispatchBufferSize - start);
    std::memcpy(block, &dispBuf_[start], first);
    if (len > first)
        std::memcpy(block + first, &dispBuf_[0], len - first);
    return static_cast<int>(len);
}

int TSioBaseDispatcher::GetBlock(std::uint8_t* block, std::uint32_t len)
{
    bool freed = false;
    {
        std::lock_guard in(inputLock_);
        const int r = PeekBlock(block, len);
        if (r < 0)
            return r;
        if (holdReads_) {
            holdReadCount_ += len;
        } else if (len > 0) {
            dispTail_ = (dispTail_ + len) % kDispatchBufferSize;
            dispFull_ = false;
            freed = true;
        }
        if (tracingOn_.load()) {
            std::lock_guard lock(dispatcherLock_);
            for (std::uint32_t i = 0; i < len; ++i)
                AddTraceEntry('R', block[i]);
        }
    }
    if (freed)
        RoomInDispatchBuffer();
    return static_cast<int>(len);
}

int TSioBaseDispatcher::FlushInBuffer()
{
    {
        // The device's purge and the buffer's are one step for the
        // dispatch thread: what it extracts after them is new and stays.
        // Inside a notification the bytes go at once as well: what its
        // handlers have read so far is gone with them, and its end takes
        // only what they read after this.
        std::lock_guard in(inputLock_);
        FlushCom(1);
        dispTail_ = dispHead_;
        holdReadCount_ = 0;
        holdMaximum_ = 0;
        ++inputFlushes_;
        dispFull_ = false;
        lastScanned_ = dispHead_;
        unscanned_ = 0;
        ResetDataTriggers();
    }
    RoomInDispatchBuffer();
    return 0;
}

bool TSioBaseDispatcher::DispatchBufferFull()
{
    std::lock_guard in(inputLock_);
    return dispFull_;
}
// ---------------------------------------------------------------------------
// Writing

std::uint32_t TSioBaseDispatcher::OutBufUsedLocked() const
{
    if (outFull_)
        return outSize_;
    if (outHead_ >= outTail_)
        return outHead_ - outTail_;
    return outSize_ - outTail_ + outHead_;
}

int TSioBaseDispatcher::PutBlock(const std::uint8_t* block, std::uint32_t len)
{
    if (len == 0)
        return 0;
    int result = 0;
    {
        std::lock_guard out(outputLock_);
        if (outBuf_.empty())
            return ecodes::ecCommNotOpen;
        // Nobody would ever send it: the line is gone.
        if (lineLost_.load())
            return ecodes::ecPutBlockFail;
        // A buffer kept larger for output queued before it was made smaller
        // takes its new size once that output is gone.
        if (wantedOutSize_ != outSize_ && OutBufUsedLocked() <= wantedOutSize_)
            ResizeOutputLocked(wantedOutSize_);
        const std::uint32_t free = outSize_ - OutBufUsedLocked();
        if (free < len)
            return ecodes::ecOutputBufferTooSmall;
        if (WriteCom(block, len) < 1)
            result = ecodes::ecPutBlockFail;
        dataSent_ = true;
        everSent_ = true;
    }
    if (result < 0)
        RefreshStatus();
    AddDispatchEntry(dtDispatch, dstWriteCom, len, block, len);
    if (tracingOn_.load()) {
        std::lock_guard lock(dispatcherLock_);
        for (std::uint32_t i = 0; i < len; ++i)
            AddTraceEntry('T', block[i]);
    }
    return result;
}

std::uint32_t TSioBaseDispatcher::OutBuffUsed()
{
    RefreshStatus();
    return OutBufUsed();
}

std::uint32_t TSioBaseDispatcher::OutBuffFree()
{
    const std::uint32_t used = OutBuffUsed();
    return used >= outSize_ ? 0 : outSize_ - used;
}

int TSioBaseDispatcher::FlushOutBuffer() { return FlushCom(0); }

void TSioBaseDispatcher::BufferSizes(std::uint32_t& in, std::uint32_t& out) const
{
    in = inSize_;
    out = outSize_;
}

void TSioBaseDispatcher::NotifyOutputEmpty()
{
    {
        std::lock_guard lock(outEmptyMutex_);
    }
    outEmptyCv_.notify_all();
    // The main thread waits by pumping messages: wake it only when it waits
    // here. (A waiter counts itself before it first looks at the buffer, and
    // the buffer is emptied under the output lock before this look-up, so
    // either the waiter sees the empty buffer or this sees the waiter.)
    if (txWaiters_.load() > 0 && kyd::platform::hasMessageLoop())
        kyd::platform::messageLoop().wakeUp();
}

} // namespace sio
