#include "serial/SioQueue.h"

#include "platform/clock.h"

#include <new>
#include <stdexcept>

namespace sio {

TDataBuffer::TDataBuffer(std::int32_t size) : TIOBuffer(size)
{
    if (size < 0)
        throw std::invalid_argument("Negative I/O buffer size");
    try {
        Data.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        throw std::runtime_error("Insufficient memory to allocate I/O buffer.");
    }
}

TLogBuffer::TLogBuffer(std::uint8_t dispatchType, std::uint16_t dispatchSubType, std::uint32_t time,
                       std::uint32_t data, const std::uint8_t* moreData, std::int32_t moreLen)
    : TIOBuffer(moreData && moreLen > 0 ? moreLen : 0),
      DispatchType(dispatchType),
      DispatchSubType(dispatchSubType),
      Time(time),
      Data(data)
{
    if (moreData && moreLen > 0)
        MoreData.assign(moreData, moreData + moreLen);
}

TIOQueue::~TIOQueue() = default;

bool TIOQueue::Push(std::unique_ptr<TIOBuffer>&& buffer, bool wakeConsumer)
{
    if (!buffer)
        return false;
    {
        std::lock_guard<std::mutex> g(mutex_);
        if (!fitsLocked(buffer->Size()))
            return false;
        total_ += buffer->Size();
        buffers_.push_back(std::move(buffer));
    }
    if (wakeConsumer)
        cv_.notify_one();
    return true;
}

void TIOQueue::NotifyConsumer()
{
    {
        std::lock_guard<std::mutex> g(mutex_);
    }
    cv_.notify_one();
}

TIOBuffer* TIOQueue::Peek()
{
    std::lock_guard<std::mutex> g(mutex_);
    if (buffers_.empty() || buffers_.front()->InUse())
        return nullptr;
    buffers_.front()->SetInUse(true);
    return buffers_.front().get();
}

std::unique_ptr<TIOBuffer> TIOQueue::Pop()
{
    std::lock_guard<std::mutex> g(mutex_);
    if (buffers_.empty())
        return nullptr;
    std::unique_ptr<TIOBuffer> b = std::move(buffers_.front());
    buffers_.pop_front();
    total_ -= b->Size();
    spaceCv_.notify_all();
    return b;
}

void TIOQueue::Clear()
{
    std::deque<std::unique_ptr<TIOBuffer>> freed;
    {
        std::lock_guard<std::mutex> g(mutex_);
        std::deque<std::unique_ptr<TIOBuffer>> kept;
        for (auto& b : buffers_) {
            if (b->InUse())
                kept.push_back(std::move(b));
            else {
                total_ -= b->Size();
                freed.push_back(std::move(b));
            }
        }
        buffers_.swap(kept);
    }
    spaceCv_.notify_all();
    // freed goes out of scope here, outside the lock
}

WaitResult TIOQueue::WaitForBuffer(std::int64_t timeoutMs)
{
    std::int64_t deadline = -1;
    if (timeoutMs >= 0 && timeoutMs < (std::int64_t(1) << 52))
        deadline = kyd::platform::clock().monotonicMs() + timeoutMs;
    return WaitForBufferUntil(deadline);
}

WaitResult TIOQueue::WaitForBufferUntil(std::int64_t deadlineMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    kyd::platform::waitUntilMs(cv_, lock, deadlineMs, [this] { return !buffers_.empty() || wake_; });
    if (!buffers_.empty())
        return WaitResult::Ready;
    if (wake_) {
        wake_ = false;
        return WaitResult::Woken;
    }
    return WaitResult::Timeout;
}

void TIOQueue::Wake()
{
    {
        std::lock_guard<std::mutex> g(mutex_);
        wake_ = true;
        ++wakeGeneration_;
    }
    cv_.notify_all();
    spaceCv_.notify_all();
}

bool TIOQueue::WaitForSpace(std::int32_t bytes, std::int64_t timeoutMs)
{
    std::int64_t deadline = -1;
    if (timeoutMs >= 0 && timeoutMs < (std::int64_t(1) << 52))
        deadline = kyd::platform::clock().monotonicMs() + timeoutMs;
    std::unique_lock<std::mutex> lock(mutex_);
    const std::uint64_t generation = wakeGeneration_;
    kyd::platform::waitUntilMs(spaceCv_, lock, deadline,
                               [&] { return fitsLocked(bytes) || wakeGeneration_ != generation; });
    return fitsLocked(bytes) && wakeGeneration_ == generation;
}

void TIOQueue::SetLimit(std::int64_t bytes)
{
    std::lock_guard<std::mutex> g(mutex_);
    limit_ = bytes > 0 ? bytes : 0;
    spaceCv_.notify_all();
}

std::int64_t TIOQueue::Limit() const
{
    std::lock_guard<std::mutex> g(mutex_);
    return limit_;
}

std::int64_t TIOQueue::TotalSize() const
{
    std::lock_guard<std::mutex> g(mutex_);
    return total_;
}

std::size_t TIOQueue::Count() const
{
    std::lock_guard<std::mutex> g(mutex_);
    return buffers_.size();
}

} // namespace sio
