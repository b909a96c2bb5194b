// Device-independent part of the dispatcher: the port list, lifecycle and
// the other operations. Line settings, modem lines and flow control are in
// SioDispatchLine.cpp, the buffers' reading and writing in SioDispatchIO.cpp.
#include "serial/SioDispatch.h"

#include "serial/SioDispatchWait.h"
#include "serial/SioExcept.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace sio {

// ---------------------------------------------------------------------------
// Port list

namespace {

std::mutex& portListMutex()
{
    static std::mutex m;
    return m;
}

std::vector<TSioBaseDispatcher*>& portList()
{
    static std::vector<TSioBaseDispatcher*> list;
    return list;
}

TSioBaseDispatcher* g_lastHit = nullptr;

int registerPort(TSioBaseDispatcher* d)
{
    std::lock_guard lock(portListMutex());
    auto& list = portList();
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (!list[i]) {
            list[i] = d;
            return static_cast<int>(i);
        }
    }
    list.push_back(d);
    return static_cast<int>(list.size() - 1);
}

void unregisterPort(TSioBaseDispatcher* d, int index)
{
    std::lock_guard lock(portListMutex());
    auto& list = portList();
    if (index >= 0 && static_cast<std::size_t>(index) < list.size() && list[index] == d)
        list[index] = nullptr;
    while (!list.empty() && !list.back())
        list.pop_back();
    if (g_lastHit == d)
        g_lastHit = nullptr;
}

} // namespace

void LockPortList() { portListMutex().lock(); }
void UnlockPortList() { portListMutex().unlock(); }

TSioBaseDispatcher* GetTComRecPtr(int index)
{
    // The caller holds the port-list lock (LockPortList).
    if (g_lastHit && g_lastHit->PortIndex() == index)
        return g_lastHit;
    auto& list = portList();
    if (index < 0 || static_cast<std::size_t>(index) >= list.size())
        return nullptr;
    g_lastHit = list[index];
    return list[index];
}

// ---------------------------------------------------------------------------
// Lifecycle

TSioBaseDispatcher::TSioBaseDispatcher(void* owner) : owner_(owner)
{
    portIndex_ = registerPort(this);
    ioQueue_.SetLimit(kIOQueueLimit);
}

TSioBaseDispatcher::~TSioBaseDispatcher()
{
    unregisterPort(this, portIndex_);
}

std::string TSioBaseDispatcher::LastDeviceErrorText() const
{
    std::lock_guard lock(errorTextMutex_);
    return lastDeviceErrorText_;
}

void TSioBaseDispatcher::SetLastDeviceError(std::uint32_t e, const std::string& text)
{
    lastDeviceError_.store(e);
    std::lock_guard lock(errorTextMutex_);
    lastDeviceErrorText_ = text;
}

int TSioBaseDispatcher::InitPort(const std::string& name, std::uint32_t baud, Parity parity, std::uint16_t dataBits,
                                 std::uint16_t stopBits, std::uint32_t inSize, std::uint32_t outSize,
                                 std::uint32_t options)
{
    if (portOpen_.load() || threadsActive_.load())
        return ecodes::ecAlreadyOpen;
    ringSeen_ = false;
    inNotification_ = false;
    removalPending_ = false;
    closePending_ = false;
    killThreads_ = false;
    ownerStop_ = false;
    syncToken_.reset();
    if (outSize == 0)
        return ecodes::ecBadArgument;

    int r = OpenCom(name, inSize, outSize);
    if (r < 0)
        return r;
    inSize_ = inSize;
    outSize_ = outSize;
    wantedOutSize_ = outSize;
    r = SetupCom(inSize, outSize);
    if (r < 0) {
        CloseAfterFailedInit();
        return r;
    }
    {
        std::lock_guard in(inputLock_);
        dispBuf_.assign(kDispatchBufferSize, 0);
        dispHead_ = dispTail_ = 0;
        dispFull_ = false;
        holdReads_ = false;
        holdReadCount_ = holdMaximum_ = 0;
        lastScanned_ = 0;
        unscanned_ = 0;
        lastAvail_ = 0;
    }
    {
        std::lock_guard out(outputLock_);
        outBuf_.assign(outSize, 0);
        outHead_ = outTail_ = 0;
        outFull_ = false;
        ++outGeneration_;
    }
    lineErrors_ = 0;
    dataSent_ = false;
    everSent_ = false;
    lineLost_ = false;
    rs485_ = false;
    baseAddress_ = 0;
    {
        std::lock_guard lock(dispatcherLock_);
        GetComState(lineState_);
        dtrFlow_ = (options & 16) != 0;
        rtsFlow_ = (options & 32) != 0;
    }
    portOpen_ = true;
    if (!dtrFlow_)
        SetDtr((options & 1) != 0);
    if (!rtsFlow_)
        SetRts((options & 2) != 0);
    RemoveAllTriggers();
    ResetStatusHits();
    GetModemStatusPrim(0xF0);
    lastBaud_ = 115200;
    r = SetLine(baud, static_cast<int>(parity), stopBits, dataBits);
    if (r < 0) {
        CloseAfterFailedInit();
        return r;
    }
    RefreshStatus();
    tracingOn_ = false;
    loggingOn_ = false;
    timeBase_ = SioTimeGetTime();
    r = StartDispatcher();
    if (r < 0) {
        CloseAfterFailedInit();
        return r;
    }
    return 0;
}

void TSioBaseDispatcher::CloseAfterFailedInit()
{
    CloseCom();
    portOpen_ = false;
    DonePortPrim();
}

int TSioBaseDispatcher::DonePort()
{
    if (!portOpen_.load())
        return 0;
    bool deferred;
    {
        std::lock_guard lock(dispatcherLock_);
        const bool onMain = kyd::platform::hasMessageLoop() && kyd::platform::messageLoop().isMainThread();
        deferred = inNotification_.load()
            && (handlerThread_.load() == std::this_thread::get_id() || (windowHandlerPending_.load() && onMain));
        if (deferred)
            closePending_ = true;
        else
            ownerStop_ = true;
    }
    FlushCom(0);
    FlushCom(1);
    if (deferred) {
        // Called from inside a handler: the dispatch thread is busy with
        // this very notification. Stop the others now; the dispatch thread
        // ends when the handler returns and the close finishes later.
        StopIOThreads();
        return 0;
    }
    CloseCom();
    portOpen_ = false;
    DonePortPrim();
    return 0;
}

void TSioBaseDispatcher::FinishDeferredClose()
{
    if (!closePending_.load())
        return;
    CloseCom();
    portOpen_ = false;
    closePending_ = false;
    DonePortPrim();
}

void TSioBaseDispatcher::SetCloseDoneCallback(std::function<void()> cb)
{
    std::lock_guard lock(callbackMutex_);
    closeDoneCallback_ = std::move(cb);
}

void TSioBaseDispatcher::RunCloseDoneCallback()
{
    std::function<void()> cb;
    {
        std::lock_guard lock(callbackMutex_);
        cb = closeDoneCallback_;
    }
    if (cb)
        cb();
    else
        FinishDeferredClose();
}

void TSioBaseDispatcher::DonePortPrim()
{
    // Runs only on the owner's thread once every thread has been joined.
    StopDispatcher();
    {
        std::lock_guard in(inputLock_);
        dispBuf_.clear();
        dispBuf_.shrink_to_fit();
        dispHead_ = dispTail_ = 0;
        dispFull_ = false;
        unscanned_ = 0;
    }
    std::lock_guard out(outputLock_);
    outBuf_.clear();
    outBuf_.shrink_to_fit();
    outHead_ = outTail_ = 0;
    outFull_ = false;
    ++outGeneration_;
}

// ---------------------------------------------------------------------------
// Other

int TSioBaseDispatcher::SetDataPointer(void* p, int slot)
{
    if (slot < 1 || slot > 3)
        return ecodes::ecBadArgument;
    dataPointers_[slot - 1] = p;
    return 0;
}

int TSioBaseDispatcher::GetDataPointer(void*& p, int slot)
{
    if (slot < 1 || slot > 3)
        return ecodes::ecBadArgument;
    p = dataPointers_[slot - 1];
    return 0;
}

void TSioBaseDispatcher::OptionsOn(std::uint32_t bits) { options_.fetch_or(bits); }
void TSioBaseDispatcher::OptionsOff(std::uint32_t bits) { options_.fetch_and(~bits); }
bool TSioBaseDispatcher::OptionsAreOn(std::uint32_t bits) const { return (options_.load() & bits) == bits; }

int TSioBaseDispatcher::SetRS485Mode(bool on)
{
    std::lock_guard lock(dispatcherLock_);
    rs485_ = on;
    return 0;
}

void TSioBaseDispatcher::SetThreadBoost(std::uint8_t boost)
{
    // Thread priorities stay at the default: the threads block on events
    // and need no boost to keep up.
    threadBoost_ = boost;
}

bool TSioBaseDispatcher::SetEventBusy(bool busy)
{
    // A flag of its own, not the in-notification flag: a notification
    // ending meanwhile must not let the handlers go, and a hold must not
    // defer closes and handler removals as a running notification does.
    return eventBusy_.exchange(busy);
}

bool TSioBaseDispatcher::WaitForInput(const std::function<bool()>& done, std::int64_t timeoutMs, bool pump)
{
    // Counted before the first look: input that lands after it wakes us.
    inputWaiters_.fetch_add(1);
    struct Leave {
        std::atomic<int>& n;
        ~Leave() { n.fetch_sub(1); }
    } leave{inputWaiters_};
    if (pump && kyd::platform::hasMessageLoop() && kyd::platform::messageLoop().isMainThread())
        return kyd::platform::messageLoop().pumpUntil(done, timeoutMs);
    std::unique_lock lock(inputWaitMutex_);
    const std::int64_t deadline = timeoutMs < 0 ? -1 : SioTimeGetTime() + timeoutMs;
    return WaitOnProcessClock(inputWaitCv_, lock, deadline, done);
}

void TSioBaseDispatcher::NotifyInputWaiters()
{
    {
        std::lock_guard lock(inputWaitMutex_);
    }
    inputWaitCv_.notify_all();
    if (kyd::platform::hasMessageLoop())
        kyd::platform::messageLoop().wakeUp();
}

} // namespace sio
