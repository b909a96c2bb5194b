// The POSIX dispatcher: construction, opening and closing, and the device
// operations. Its threads are in SioPosixThreads.cpp.
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

namespace {

// "COM5" or "\\.\COM5" -> 5; 0 for anything else.
int comNumberOf(const std::string& name)
{
    std::string s = name;
    if (s.rfind("\\\\.\\", 0) == 0)
        s = s.substr(4);
    if (s.size() < 4 || (s.compare(0, 3, "COM") != 0 && s.compare(0, 3, "com") != 0))
        return 0;
    int n = 0;
    for (std::size_t i = 3; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9' || n > 10000)
            return 0;
        n = n * 10 + (s[i] - '0');
    }
    return n;
}

} // namespace

TSioPosixDispatcher::TSioPosixDispatcher(void* owner, std::unique_ptr<pf::SerialDevice> device)
    : TSioBaseDispatcher(owner), device_(device ? std::move(device) : pf::createPosixSerialDevice())
{
}

TSioPosixDispatcher::~TSioPosixDispatcher()
{
    if (ClosePending())
        FinishDeferredClose();
    else if (IsOpen())
        DonePort();
    CloseCom();
    life_.reset();
}

// ---------------------------------------------------------------------------
// Opening and closing

int TSioPosixDispatcher::MapOpenError(int e) const
{
    switch (e) {
    case pf::kDevNotFound:
    case pf::kDevNotSerial:
        return ecodes::ecBadId;
    case pf::kDevBusy:
        return ecodes::ecAlreadyOpen;
    case pf::kDevPermission:
        return ecPermissionDenied;
    case pf::kDevNoMemory:
        return ecodes::ecOutOfMemory;
    default:
        return ecodes::ecHardwareFailure;
    }
}

int TSioPosixDispatcher::OpenCom(const std::string& name, std::uint32_t, std::uint32_t)
{
    std::string path = name;
    if (const int n = comNumberOf(name); n > 0) {
        path = pf::resolvePortPath(n);
        if (path.empty()) {
            SetLastDeviceError(0, name + ": no device configured");
            return ecodes::ecBadId;
        }
    }
    const int r = device_->open(path);
    if (r != pf::kDevOk) {
        SetLastDeviceError(static_cast<std::uint32_t>(device_->lastErrno()),
                           path + ": " + pf::deviceErrorText(r));
        return MapOpenError(r);
    }
    pendingErrors_ = 0;
    haveLines_ = false;
    pendingMask_ = 0;
    return 0;
}

int TSioPosixDispatcher::SetupCom(std::uint32_t, std::uint32_t)
{
    // The driver's queues have fixed sizes on this system.
    return 0;
}

int TSioPosixDispatcher::StartDispatcher()
{
    if (threadsActive_.load())
        throw std::runtime_error("Dispatcher already started.");
    threadsActive_ = true;
    SetKillThreads(false);
    for (auto& e : ended_)
        e = true;
    if (manual_)
        return 0;
    try {
        StartThread(thRead);
        StartThread(thDispatch);
        StartThread(thWrite);
        StartThread(thStatus);
    } catch (const std::system_error&) {
        CloseCom();
        return ecodes::ecNoHandles;
    }
    return 0;
}

void TSioPosixDispatcher::StartThread(ThreadId id)
{
    int before;
    {
        std::lock_guard lock(threadMutex_);
        before = startedCount_;
    }
    ended_[id] = false;
    switch (id) {
    case thRead: threads_[id] = std::thread([this] { ReadThread(); }); break;
    case thDispatch: threads_[id] = std::thread([this] { DispatchThread(); }); break;
    case thWrite: threads_[id] = std::thread([this] { WriteThread(); }); break;
    case thStatus: threads_[id] = std::thread([this] { StatusThread(); }); break;
    }
    // Wait up to 3000 ms for the thread's start signal.
    std::unique_lock lock(threadMutex_);
    threadCv_.wait_for(lock, std::chrono::milliseconds(3000), [&] { return startedCount_ > before; });
}

void TSioPosixDispatcher::ThreadStarted()
{
    threadCount_.fetch_add(1);
    {
        std::lock_guard lock(threadMutex_);
        ++startedCount_;
    }
    threadCv_.notify_all();
}

void TSioPosixDispatcher::ThreadGone(ThreadId id, int code)
{
    const bool lineGone = code == ecodes::ecDeviceRead || code == ecodes::ecDeviceWrite;
    if (lineGone) {
        // The line is gone: the other device threads end too, but the
        // dispatch thread stays to report it and to run the timers (an
        // armed packet still gets its time-out) until the port is closed.
        RecordDeviceFailure(code);
        SetLineLost();
        WakeAll();
        NotifyInputWaiters(); // a wait for input ends: none comes any more
    } else if (code < 0 && pf::hasMessageLoop()) {
        // Shown to the user on the main thread; never thrown here.
        pf::messageLoop().postCall([code] {
            pf::guarded("serial port", [code] { CheckException(false, code); });
        });
    }
    if (code != 0 && !lineGone) {
        SetKillThreads(true);
        WakeAll();
    }
    bool last = false;
    {
        std::lock_guard lock(threadMutex_);
        ended_[id] = true;
        if (threadCount_.fetch_sub(1) == 1) {
            threadsActive_ = !std::all_of(std::begin(ended_), std::end(ended_), [](auto& e) { return e.load(); });
            last = !threadsActive_.load();
        }
    }
    threadCv_.notify_all();
    // The threads of a port freed inside its own handler may end while the
    // program, quitting, uninstalls and destroys its loop.
    pf::withInstalledLoop([&](pf::MessageLoop& loop) {
        if (last && ClosePending()) {
            // A deferred close finishes on the main thread once every
            // thread has ended (the owner joins them there).
            std::weak_ptr<int> alive = life_;
            loop.postCall([this, alive] {
                if (alive.lock())
                    RunCloseDoneCallback();
            });
        }
        loop.wakeUp();
    });
}

void TSioPosixDispatcher::RecordDeviceFailure(int code)
{
    SetLineErrorsAll();
    SetLastDeviceError(static_cast<std::uint32_t>(device_->lastErrno()),
                       std::string(code == ecodes::ecDeviceWrite ? "write: " : "read: ") + device_->lastErrorText());
}

void TSioPosixDispatcher::WakeAll()
{
    readerWake_.signal();
    writerWake_.signal();
    statusWake_.signal();
    roomWake_.signal();
    IOQueue().Wake();
}

void TSioPosixDispatcher::StopThread(ThreadId id)
{
    if (!threads_[id].joinable())
        return;
    for (;;) {
        switch (id) {
        case thRead: readerWake_.signal(); break;
        case thWrite: writerWake_.signal(); break;
        case thStatus: statusWake_.signal(); break;
        case thDispatch:
            IOQueue().Wake();
            roomWake_.signal();
            break;
        }
        if (WaitForWorker([this, id] { return ended_[id].load(); }, 2000, threadMutex_, threadCv_))
            break;
    }
    threads_[id].join();
}

void TSioPosixDispatcher::StopIOThreads()
{
    // A close from inside a handler: that handler may run on the reader (or
    // the reader may wait for the main thread running it), so a reader in a
    // data pass ends when its pass ends and the final close joins it.
    StopIOThreadsPrim(true);
}

void TSioPosixDispatcher::StopIOThreadsPrim(bool keepPassingReader)
{
    SetKillThreads(true);
    SyncTokenRef().cancel();
    // The owner's watch goes with the threads; from another thread, the
    // owner removes it when the watch next fires.
    if (pf::hasMessageLoop() && pf::messageLoop().isMainThread())
        EndOwnerInput(true);
    else
        ownerWatching_ = false;
    StopThread(thStatus);
    StopThread(thWrite);
    // The reader enters a pass only after it has seen the kill flag clear
    // (both sides use sequentially consistent atomics): either it is seen
    // in its pass here, or it sees the flag and does not start one.
    if (keepPassingReader && readerInPass_.load())
        readerWake_.signal();
    else
        StopThread(thRead);
    // A deferred close: the dispatch thread ends on its own once no pass
    // runs any more; it may be idle (the notification ran on the reader).
    if (keepPassingReader)
        IOQueue().Wake();
}

int TSioPosixDispatcher::CloseCom()
{
    {
        std::lock_guard lock(dispatcherLock_);
        if (closing_.load())
            return 0;
        closing_ = true;
    }
    if (threadsActive_.load() || std::any_of(std::begin(threads_), std::end(threads_), [](auto& t) { return t.joinable(); })) {
        StopIOThreadsPrim(false);
        StopThread(thDispatch);
        threadsActive_ = false;
    }
    device_->close();
    pendingBlock_.reset();
    spareBlock_.reset();
    IOQueue().Clear();
    closing_ = false;
    return 0;
}

void TSioPosixDispatcher::StopDispatcher()
{
    // The threads are gone by now (CloseCom); nothing else to release.
}

// ---------------------------------------------------------------------------
// Device operations

int TSioPosixDispatcher::EscapeComFunction(int func)
{
    int r = 0;
    switch (func) {
    case SETRTS: r = device_->setRts(true); break;
    case CLRRTS: r = device_->setRts(false); break;
    case SETDTR: r = device_->setDtr(true); break;
    case CLRDTR: r = device_->setDtr(false); break;
    case SETBREAK: r = device_->setBreak(true); break;
    case CLRBREAK: r = device_->setBreak(false); break;
    default: return -1;
    }
    return r == pf::kDevOk ? 0 : -1;
}

int TSioPosixDispatcher::FlushCom(int which)
{
    if (which == 0) {
        bool inHand;
        {
            std::lock_guard out(outputLock_);
            outHead_ = outTail_ = 0;
            outFull_ = false;
            ++outGeneration_;
            inHand = writerInHand_;
        }
        const int r = device_->isOpen() ? device_->flushOutput() : 0;
        // Only a writer holding a piece must hear of the flush (it drops the
        // rest); an idle one finds the buffer empty when it next looks.
        if (inHand)
            writerWake_.signal();
        NotifyOutputEmpty();
        return PurgeResult(r, ecodes::ecDeviceWrite);
    }
    // Everything received so far goes: what the device holds, the queued
    // blocks, and (by their stale count) a block the reader holds back or
    // has just read and one the dispatch thread holds at this moment. The
    // queue is emptied in the same step: a block the reader reads once the
    // step is over holds new bytes and must stay.
    int r;
    {
        std::lock_guard purge(purgeMutex_);
        r = device_->isOpen() ? device_->flushInput() : 0;
        ++inputGeneration_;
        IOQueue().Clear();
    }
    QueueConsumed();
    return PurgeResult(r, ecodes::ecDeviceRead);
}

int TSioPosixDispatcher::PurgeResult(int deviceResult, int failure)
{
    if (deviceResult == pf::kDevOk)
        return 0;
    // The buffers of the library are empty all the same; the device's
    // refusal is reported with its own text.
    SetLastDeviceError(static_cast<std::uint32_t>(device_->lastErrno()),
                       std::string("purge: ") + pf::deviceErrorText(deviceResult));
    return failure;
}

std::uint32_t TSioPosixDispatcher::GetComError()
{
    if (manual_ || !threadsActive_.load()) {
        std::uint32_t bits = 0;
        if (device_->isOpen() && device_->takeLineErrors(bits) == pf::kDevOk)
            pendingErrors_.fetch_or(bits);
    }
    return pendingErrors_.exchange(0);
}

int TSioPosixDispatcher::GetComState(TLineState& state)
{
    const int r = device_->getSettings(state.Line);
    return r == pf::kDevOk ? 0 : -1;
}

int TSioPosixDispatcher::SetComState(const TLineState& state)
{
    const int r = device_->setSettings(state.Line);
    if (r == pf::kDevOk)
        return 0;
    SetLastDeviceError(static_cast<std::uint32_t>(device_->lastErrno()),
                       device_->path() + ": " + pf::deviceErrorText(r));
    if (r == pf::kDevRefused || r == pf::kDevInvalid) {
        LineSettings back;
        if (device_->getSettings(back) == pf::kDevOk) {
            if (back.baud != state.Line.baud)
                return ecodes::ecBaudRate;
            if (back.dataBits != state.Line.dataBits)
                return ecodes::ecByteSize;
        }
        return ecodes::ecDefault;
    }
    return ecodes::ecHardwareFailure;
}

int TSioPosixDispatcher::WriteCom(const std::uint8_t* block, std::uint32_t len)
{
    // The caller (PutBlock) holds the output lock and has checked the room.
    // With nothing queued and the writer idle, no byte can overtake another:
    // hand the block to the device at once and leave only what it does not
    // take (or all of it, when it fails) to the writer.
    std::uint32_t sent = 0;
    if (!manual_ && threadsActive_.load() && !ended_[thWrite].load() && !KillThreads() && !writerInHand_
        && OutBufUsedLocked() == 0) {
        const long n = device_->write(block, len);
        if (n > 0)
            sent = static_cast<std::uint32_t>(n);
        if (sent == len)
            return static_cast<int>(len);
    }
    const std::uint8_t* rest = block + sent;
    const std::uint32_t restLen = len - sent;
    const std::uint32_t size = OutSize();
    const std::uint32_t first = std::min(restLen, size - outHead_);
    std::memcpy(&outBuf_[outHead_], rest, first);
    if (restLen > first)
        std::memcpy(&outBuf_[0], rest + first, restLen - first);
    outHead_ = (outHead_ + restLen) % size;
    outFull_ = outHead_ == outTail_;
    writerWake_.signal();
    return static_cast<int>(len);
}

std::uint32_t TSioPosixDispatcher::OutBufUsed()
{
    std::lock_guard out(outputLock_);
    return outBuf_.empty() ? 0 : OutBufUsedLocked();
}

long TSioPosixDispatcher::DriverOutputQueued() { return device_->outputQueued(); }

TIOBuffer* TSioPosixDispatcher::PeekInput()
{
    for (;;) {
        TIOBuffer* b = IOQueue().Peek();
        const auto* d = dynamic_cast<TDataBuffer*>(b);
        if (!d || d->Generation == inputGeneration_.load())
            return b;
        IOQueue().Pop();
        QueueConsumed();
    }
}

std::uint32_t TSioPosixDispatcher::InQueueUsed()
{
    TIOBuffer* b = PeekInput();
    if (!b)
        return 0;
    std::uint32_t n = 0;
    if (auto* d = dynamic_cast<TDataBuffer*>(b))
        n = static_cast<std::uint32_t>(d->BytesFilled - d->ReadIndex);
    b->SetInUse(false);
    return n;
}

int TSioPosixDispatcher::ReadCom(std::uint8_t* buffer, std::uint32_t len)
{
    std::uint32_t got = 0;
    while (got < len) {
        TIOBuffer* b = PeekInput();
        if (!b)
            break;
        auto* d = dynamic_cast<TDataBuffer*>(b);
        if (!d) {
            b->SetInUse(false);
            break;
        }
        const std::uint32_t n = std::min<std::uint32_t>(len - got, static_cast<std::uint32_t>(d->BytesFilled - d->ReadIndex));
        std::memcpy(buffer + got, d->Data.data() + d->ReadIndex, n);
        d->ReadIndex += static_cast<std::int32_t>(n);
        got += n;
        if (d->ReadIndex >= d->BytesFilled) {
            IOQueue().Pop();
            QueueConsumed();
        } else {
            b->SetInUse(false);
        }
    }
    return static_cast<int>(got);
}

std::uint8_t TSioPosixDispatcher::ReadModemLines()
{
    unsigned lines = 0;
    if (!device_->isOpen() || device_->modemLines(lines) != pf::kDevOk)
        return 0;
    return static_cast<std::uint8_t>(lines & 0xF0);
}

void TSioPosixDispatcher::RoomInDispatchBuffer()
{
    if (waitingForRoom_.exchange(false))
        roomWake_.signal();
}

void TSioPosixDispatcher::WakeDispatchThread()
{
    // Waiting for room in a full buffer, or for input.
    roomWake_.signal();
    IOQueue().Wake();
}

void TSioPosixDispatcher::QueueConsumed()
{
    if (readerStalled_.exchange(false))
        readerWake_.signal();
}

} // namespace sio
