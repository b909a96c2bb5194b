// The locked first-in first-out queue of buffers between the dispatcher's
// threads: the reader pushes received data blocks, the status thread pushes
// comm-event masks, and the dispatch thread consumes them; the dispatch log
// keeps its entries in a queue of its own until they are written out.
//
// Ownership is in the types: Push takes a std::unique_ptr, Pop hands one
// back, Peek lends a buffer (non-owning pointer) and marks it in use until
// the consumer clears the flag (SetInUse(false)) or pops it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace sio {

class TIOBuffer {
public:
    TIOBuffer(const TIOBuffer&) = delete;
    TIOBuffer& operator=(const TIOBuffer&) = delete;
    virtual ~TIOBuffer() = default;

    // Set while a consumer holds the buffer after a Peek.
    bool InUse() const { return inUse_.load(std::memory_order_acquire); }
    void SetInUse(bool v) { inUse_.store(v, std::memory_order_release); }
    // Bytes the buffer accounts for in the queue's total.
    std::int32_t Size() const { return size_; }

protected:
    explicit TIOBuffer(std::int32_t size) : size_(size) {}

private:
    std::atomic<bool> inUse_{false};
    std::int32_t size_;
};

// Leaves the bytes of a new block as they are: a read fills what it uses,
// and zeroing a block for every few bytes received cost more than the read.
template <class T>
struct UninitializedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <class U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept
    {
    }
    template <class U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// A block of received bytes. Throws std::runtime_error("Insufficient memory
// to allocate I/O buffer.") when the data cannot be allocated and
// std::invalid_argument for a negative size.
class TDataBuffer : public TIOBuffer {
public:
    explicit TDataBuffer(std::int32_t size);
    std::vector<std::uint8_t, UninitializedAllocator<std::uint8_t>> Data; // Size() bytes
    std::int32_t BytesFilled = 0;   // bytes of Data that hold received data
    std::int32_t ReadIndex = 0;     // bytes already taken by the consumer
    // The producer's count of input purges when the bytes were read: a
    // block read before a later purge is stale and dropped unread.
    std::uint64_t Generation = 0;
};

// A comm-event mask as the status thread received it (accounts for 4 bytes).
class TStatusBuffer : public TIOBuffer {
public:
    explicit TStatusBuffer(std::uint32_t status) : TIOBuffer(sizeof(std::uint32_t)), Status(status) {}
    std::uint32_t Status;
};

// A dispatch-log entry; Size() is the number of logged bytes it carries.
class TLogBuffer : public TIOBuffer {
public:
    TLogBuffer(std::uint8_t dispatchType, std::uint16_t dispatchSubType, std::uint32_t time,
               std::uint32_t data, const std::uint8_t* moreData = nullptr, std::int32_t moreLen = 0);
    std::uint8_t DispatchType;
    std::uint16_t DispatchSubType;
    std::uint32_t Time; // milliseconds since the port opened
    std::uint32_t Data;
    std::vector<std::uint8_t> MoreData;
    std::int32_t GetMoreData() const { return Size(); }
};

enum class WaitResult {
    Ready,   // the queue holds a buffer
    Woken,   // Wake() was called (and the queue is empty)
    Timeout, // the time ran out
};

class TIOQueue {
public:
    TIOQueue() = default;
    TIOQueue(const TIOQueue&) = delete;
    TIOQueue& operator=(const TIOQueue&) = delete;
    ~TIOQueue(); // frees every buffer

    // Appends the buffer and wakes one waiting consumer. Returns true and
    // takes the buffer (leaves it null). With a limit set, a buffer that would
    // bring the total above the limit is refused: the result is false and the
    // buffer stays with the caller untouched (a temporary is then freed).
    // wakeConsumer false: nobody is woken (a producer that consumes the
    // buffer itself; it calls NotifyConsumer when it leaves anything behind).
    bool Push(std::unique_ptr<TIOBuffer>&& buffer, bool wakeConsumer = true);
    // Wakes one consumer waiting for a buffer (no effect on an empty queue).
    void NotifyConsumer();
    // Lends the first buffer and marks it in use; null when the queue is
    // empty or the first buffer is still in use.
    TIOBuffer* Peek();
    // Removes and hands over the first buffer (in use or not); null if none.
    std::unique_ptr<TIOBuffer> Pop();
    // Frees every buffer that is not in use; buffers in use stay.
    void Clear();
    // Ready at once when the queue holds a buffer; otherwise waits until a
    // buffer is pushed, Wake() is called or timeoutMs of the process clock
    // have passed (< 0: no limit; on a FakeClock only advancing it ends the
    // wait).
    WaitResult WaitForBuffer(std::int64_t timeoutMs);
    // The same until the process clock reaches deadlineMs (< 0: no limit).
    // A deadline taken before the clock moved on is already past, so a wait
    // for a due time computed earlier never outlasts it.
    WaitResult WaitForBufferUntil(std::int64_t deadlineMs);
    // Makes a waiting consumer return Woken at once; when nobody waits, the
    // next WaitForBuffer that finds the queue empty returns Woken (one-shot).
    void Wake();

    // For a producer of a bounded queue: true once a buffer of the given size
    // would be accepted (at once when it would be now); false when timeoutMs
    // of the process clock passed first or Wake() was called meanwhile. A
    // producer that must stop on shutdown checks its own flag after every
    // return (a Wake() before the wait began is not seen here).
    bool WaitForSpace(std::int32_t bytes, std::int64_t timeoutMs);

    // Byte limit of the total (0 = none, the default).
    void SetLimit(std::int64_t bytes);
    std::int64_t Limit() const;
    // Sum of Size() of the queued buffers.
    std::int64_t TotalSize() const;
    std::size_t Count() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::unique_ptr<TIOBuffer>> buffers_;
    std::int64_t total_ = 0;
    std::int64_t limit_ = 0;
    bool wake_ = false;
    std::condition_variable spaceCv_;
    std::uint64_t wakeGeneration_ = 0;
    bool fitsLocked(std::int32_t bytes) const { return limit_ <= 0 || total_ + bytes <= limit_; }
};

} // namespace sio
