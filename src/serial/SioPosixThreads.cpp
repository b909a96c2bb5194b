// The POSIX dispatcher's threads: one round of each thread's work, input
// taken on the owner's thread, and the thread bodies.
#include "serial/SioPosix.h"

#include "platform/clock.h"
#include "platform/exception_sink.h"
#include "platform/port_resolver.h"
#include "serial/SioDispatchWait.h"
#include "serial/SioExcept.h"
#include "serial/SioMisc.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace sio {

namespace pf = kyd::platform;

// ---------------------------------------------------------------------------
// Steps (one round of each thread's work)

int TSioPosixDispatcher::ReaderStep()
{
    for (;;) {
        bool drained = false;
        // A block held back from a full queue across an input purge is
        // dropped: its bytes came before the purge.
        if (pendingBlock_ && pendingBlock_->Generation != inputGeneration_.load())
            pendingBlock_.reset();
        if (!pendingBlock_) {
            // Read into the spare block; a read that finds nothing keeps it
            // for the next time.
            if (!spareBlock_)
                spareBlock_ = std::make_unique<TDataBuffer>(kReadBlockSize);
            long n;
            {
                std::lock_guard purge(purgeMutex_);
                n = device_->read(spareBlock_->Data.data(), kReadBlockSize);
                spareBlock_->Generation = inputGeneration_.load();
            }
            if (n < 0)
                return ecodes::ecDeviceRead;
            if (n == 0)
                return 0;
            spareBlock_->BytesFilled = static_cast<std::int32_t>(n);
            pendingBlock_ = std::move(spareBlock_);
            // A short read took all there was: the caller waits for more
            // (a manual step reads until the device has nothing).
            drained = !manual_ && n < kReadBlockSize;
            if (!manual_ && DispatchOnReader()) {
                if (drained || KillThreads())
                    return 0; // all read, or closed from a handler of that pass
                continue;
            }
        }
        std::unique_ptr<TIOBuffer> b = std::move(pendingBlock_);
        if (!IOQueue().Push(std::move(b))) {
            // The queue is full: keep the block and stop reading until the
            // dispatch thread has taken something (it signals a stalled
            // reader; the second try closes the race with that signal).
            readerStalled_ = true;
            if (!IOQueue().Push(std::move(b))) {
                pendingBlock_.reset(static_cast<TDataBuffer*>(b.release()));
                return 1; // stalled
            }
            readerStalled_ = false;
        }
        if (drained)
            return 0;
    }
}

int TSioPosixDispatcher::WriterStep()
{
    // While the writer holds a piece outside the lock, callers queue their
    // bytes behind it instead of writing them directly.
    struct InHand {
        TSioPosixDispatcher& d;
        ~InHand()
        {
            std::lock_guard out(d.outputLock_);
            d.writerInHand_ = false;
        }
    } inHand{*this};
    std::vector<std::uint8_t> piece;
    bool wrote = false;
    for (;;) {
        std::uint64_t gen;
        {
            std::lock_guard out(outputLock_);
            const std::uint32_t used = outBuf_.empty() ? 0 : OutBufUsedLocked();
            if (used == 0)
                break;
            const std::uint32_t size = OutSize();
            const std::uint32_t n = std::min(used, size - outTail_);
            piece.assign(outBuf_.begin() + outTail_, outBuf_.begin() + outTail_ + n);
            gen = outGeneration_;
            writerInHand_ = true;
            wrote = true;
        }
        std::size_t off = 0;
        while (off < piece.size()) {
            const long n = device_->write(piece.data() + off, piece.size() - off);
            if (n < 0)
                return ecodes::ecDeviceWrite;
            if (n == 0) {
                if (manual_)
                    return 1; // the device takes no more now
                const auto w = device_->waitWritable(writerWake_, -1);
                if (w == pf::WaitResult::Hangup || w == pf::WaitResult::Error)
                    return ecodes::ecDeviceWrite;
                if (DeviceThreadsEnd())
                    return 0;
                std::lock_guard out(outputLock_);
                if (gen != outGeneration_)
                    break; // flushed: the rest of the piece is dropped
                continue;
            }
            off += static_cast<std::size_t>(n);
            std::lock_guard out(outputLock_);
            if (gen != outGeneration_)
                break;
            outTail_ = (outTail_ + static_cast<std::uint32_t>(n)) % OutSize();
            outFull_ = false;
        }
    }
    if (wrote)
        NotifyOutputEmpty();
    return 0;
}

int TSioPosixDispatcher::StatusStep()
{
    unsigned lines = 0;
    const int r = device_->modemLines(lines);
    if (r == pf::kDevHangup)
        return ecodes::ecDeviceRead;
    // A driver without modem lines (or one that fails to report them) is
    // no reason to stop reading: the lines are unknown, nothing changes.
    const bool linesKnown = r == pf::kDevOk;
    std::uint32_t errors = 0;
    device_->takeLineErrors(errors);
    std::uint32_t mask = pendingMask_;
    if (linesKnown && haveLines_) {
        const unsigned changed = lines ^ lastLines_;
        if (changed & pf::kLineCts)
            mask |= EV_CTS;
        if (changed & pf::kLineDsr)
            mask |= EV_DSR;
        if (changed & pf::kLineDcd)
            mask |= EV_RLSD;
        if (changed & pf::kLineRi)
            mask |= (lines & pf::kLineRi) ? EV_RING : EV_RING_TE;
    }
    if (linesKnown) {
        lastLines_ = lines;
        haveLines_ = true;
    }
    if (errors) {
        pendingErrors_.fetch_or(errors);
        mask |= EV_ERR;
        if (errors & pf::kErrBreak)
            mask |= EV_BREAK;
    }
    pendingMask_ = 0;
    if (mask) {
        std::unique_ptr<TIOBuffer> b = std::make_unique<TStatusBuffer>(mask);
        if (!IOQueue().Push(std::move(b)))
            pendingMask_ = mask; // queue full: try again on the next poll
    }
    return 0;
}

bool TSioPosixDispatcher::DispatchOnReader()
{
    std::unique_lock pass(passMutex_, std::try_to_lock);
    if (!pass.owns_lock())
        return false; // the dispatch thread is busy: it takes the block from the queue
    readerInPass_ = true;
    struct Leave {
        std::atomic<bool>& inPass;
        ~Leave() { inPass = false; }
    } leave{readerInPass_};
    // Anything already queued (data the dispatch thread has not taken yet,
    // a status block) goes first, through the dispatch thread.
    if (KillThreads() || CloseRequested() || IOQueue().Count() != 0)
        return false;
    std::unique_ptr<TIOBuffer> b = std::move(pendingBlock_);
    if (!IOQueue().Push(std::move(b), false)) {
        pendingBlock_.reset(static_cast<TDataBuffer*>(b.release()));
        return false;
    }
    try {
        DispatchInputPass();
    } catch (...) {
        pf::reportException(std::current_exception(), "serial reader thread");
    }
    pass.unlock();
    if (IOQueue().Count() > 0) {
        // What the pass could not take (dispatch buffer full) or what came
        // meanwhile (a status block) is the dispatch thread's.
        IOQueue().NotifyConsumer();
    } else if (const std::int64_t due = NextTimerDueMs();
               due >= 0 && SioTimeGetTime() + due < dispatchWaitUntil_.load()) {
        // A handler armed a timer that is due before the dispatch thread
        // would look again.
        IOQueue().Wake();
    }
    return true;
}

// ---------------------------------------------------------------------------
// Input on the owner's thread
//
// The owner sets ownerWatching_ and watches the device in the message loop.
// The reader, woken by the same input, finds the flag and parks on its wake
// event; it never waits for the owner in any other way, so the owner can
// always stop and join it. Whoever reads takes the read role first.
//
// At the end of a wait the parked reader is left alone: the next exchange's
// wait usually follows at once and finds it still parked, so neither the
// reply's arrival nor the hand-back costs a thread wake-up. The main thread
// wakes it when it next runs its queue without a new wait, and a parked
// reader looks again every kParkCheckMs by itself. A stop, a failure, or an
// ended watch the reader must take over at once, wakes it: the parked flag
// and the conditions it waits for are checked crosswise (sequentially
// consistent), so such a wake-up is never missed.

class TSioPosixDispatcher::OwnerInputSession final : public OwnerInput {
public:
    OwnerInputSession(TSioPosixDispatcher& d, std::uint64_t session)
        : d_(d), alive_(d.life_), session_(session)
    {
    }
    ~OwnerInputSession() override
    {
        if (!alive_.lock() || d_.ownerSession_ != session_)
            return;
        // The reader is not woken now: another wait usually follows at
        // once. When the main thread goes idle first, it hands the line
        // back (and a parked reader looks again after kParkCheckMs anyway).
        d_.EndOwnerInput(false);
        pf::messageLoop().postCall([&d = d_, alive = alive_] {
            if (alive.lock() && !d.ownerWatching_.load() && d.readerParked_.load())
                d.readerWake_.signal();
        });
    }

private:
    TSioPosixDispatcher& d_;
    std::weak_ptr<int> alive_;
    std::uint64_t session_;
};

std::unique_ptr<TSioBaseDispatcher::OwnerInput> TSioPosixDispatcher::BeginOwnerInput()
{
    if (manual_ || !threadsActive_.load() || KillThreads() || CloseRequested() || ended_[thRead].load()
        || ownerWatch_ != 0 || !pf::hasMessageLoop() || !pf::messageLoop().isMainThread())
        return nullptr;
    const int fd = device_->pollFd();
    if (fd < 0)
        return nullptr;
    ownerWatching_ = true;
    ownerWatch_ = pf::messageLoop().watchReadable(fd, [this] { OwnerReadable(); });
    return std::make_unique<OwnerInputSession>(*this, ++ownerSession_);
}

void TSioPosixDispatcher::EndOwnerInput(bool wakeReader)
{
    if (ownerWatch_ != 0) {
        pf::messageLoop().unwatchReadable(ownerWatch_);
        ownerWatch_ = 0;
    }
    ownerWatching_ = false;
    if (wakeReader && readerParked_.load())
        readerWake_.signal();
}

void TSioPosixDispatcher::OwnerReadable()
{
    int nobody = kNobody;
    if (!ownerWatching_.load() || !readRole_.compare_exchange_strong(nobody, kOwnerRole)) {
        // Stopped from another thread, the reader is at it, or this thread
        // reads already further up its stack (a handler pumping): the
        // reader thread serves until the next wait.
        EndOwnerInput(true);
        return;
    }
    int r = ecodes::ecDeviceRead;
    try {
        r = ReaderStep();
    } catch (...) {
        pf::reportException(std::current_exception(), "serial input");
    }
    readRole_ = kNobody;
    if (!ownerWatching_.load() && readerParked_.load())
        readerWake_.signal(); // a handler ended the watch while we read
    // Stalled (queue full) or failed: the reader thread takes over, and
    // reports a failure itself.
    if (r != 0)
        EndOwnerInput(true);
}

bool TSioPosixDispatcher::TakeReaderRole()
{
    if (ownerWatching_.load())
        return false;
    int nobody = kNobody;
    return readRole_.compare_exchange_strong(nobody, kReaderRole);
}

void TSioPosixDispatcher::ParkReader()
{
    readerParked_ = true;
    if (!KillThreads() && (ownerWatching_.load() || readRole_.load() == kOwnerRole))
        readerWake_.wait(kParkCheckMs);
    readerParked_ = false;
}

// ---------------------------------------------------------------------------
// Threads

void TSioPosixDispatcher::ReadThread()
{
    ThreadStarted();
    int code = 0;
    bool hungUp = false;
    try {
        while (!DeviceThreadsEnd()) {
            if (!TakeReaderRole()) {
                ParkReader();
                continue;
            }
            const int r = ReaderStep();
            readRole_ = kNobody;
            if (r < 0) {
                code = r;
                break;
            }
            if (hungUp) {
                // What was still there is read; the line has ended.
                code = ecodes::ecDeviceRead;
                break;
            }
            if (DeviceThreadsEnd())
                break;
            if (r == 1) {
                readerWake_.wait(-1); // stalled until the queue has room
                continue;
            }
            const auto w = device_->waitReadable(readerWake_, -1);
            if (w == pf::WaitResult::Hangup || w == pf::WaitResult::Error)
                hungUp = true; // read what is still there; the read then reports the end
        }
    } catch (const std::bad_alloc&) {
        code = ecodes::ecOutOfMemory;
    } catch (...) {
        code = ecodes::ecDeviceRead;
    }
    int mine = kReaderRole; // still held when the step threw
    readRole_.compare_exchange_strong(mine, kNobody);
    ThreadGone(thRead, code);
}

void TSioPosixDispatcher::WriteThread()
{
    ThreadStarted();
    int code = 0;
    try {
        while (!DeviceThreadsEnd()) {
            const int r = WriterStep();
            if (r < 0) {
                code = r;
                break;
            }
            if (DeviceThreadsEnd())
                break;
            writerWake_.wait(-1);
        }
    } catch (...) {
        code = ecodes::ecDeviceWrite;
    }
    ThreadGone(thWrite, code);
}

void TSioPosixDispatcher::StatusThread()
{
    ThreadStarted();
    int code = 0;
    try {
        while (!DeviceThreadsEnd()) {
            const int r = StatusStep();
            if (r < 0) {
                code = r;
                break;
            }
            if (statusWake_.wait(20))
                continue;
        }
    } catch (...) {
        code = ecodes::ecDeviceRead;
    }
    ThreadGone(thStatus, code);
}

void TSioPosixDispatcher::DispatchThread()
{
    ThreadStarted();
    // A fake process clock that jumps past a timer's due time between a
    // pass and the next wait would leave that wait to a time that never
    // comes: every jump makes the next wait end at once.
    pf::FakeClockWaker clockJumps([this] { IOQueue().Wake(); });
    int code = 0;
    bool lossReported = false;
    try {
        while (!KillThreads() && !ClosePending()) {
            // The wait ends at a fixed time taken before the timers are
            // looked at, so it never outlasts a timer's due time.
            const std::int64_t now = SioTimeGetTime();
            std::int64_t timeout = 50;
            if (const std::int64_t due = NextTimerDueMs(); due >= 0)
                timeout = std::clamp<std::int64_t>(due, 1, 50);
            dispatchWaitUntil_ = now + timeout;
            waitingForRoom_ = true;
            if (DispatchBufferFull() && IOQueue().Count() > 0) {
                // No room: wait until a reader of the buffer frees some.
                roomWake_.wait(static_cast<int>(timeout));
            } else {
                waitingForRoom_ = false;
                IOQueue().WaitForBufferUntil(now + timeout);
            }
            waitingForRoom_ = false;
            if (KillThreads() || ClosePending())
                break;
            std::lock_guard pass(passMutex_);
            if (KillThreads() || ClosePending())
                break;
            DispatchInputPass();
            DispatchTimerPass();
            if (!lossReported && LineLost()) {
                // The device threads ended on a failure: let line-status
                // triggers see it; the timers keep running.
                lossReported = true;
                ResetStatusHits();
                while (!ClosePending() && !KillThreads() && CheckStatusTriggers()) {
                }
            }
        }
    } catch (...) {
        pf::reportException(std::current_exception(), "serial dispatch thread");
        code = 0;
    }
    {
        // After a deferred close the notification may be running on the
        // reader: the close finishes only once it has returned.
        std::lock_guard pass(passMutex_);
    }
    ThreadGone(thDispatch, code);
}

} // namespace sio
