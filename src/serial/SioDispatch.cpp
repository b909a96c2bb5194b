// Device-independent part of the dispatcher: lifecycle, line settings,
// modem lines, dispatch buffer, output buffer and flow control.
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
// Line settings

int TSioBaseDispatcher::SetLine(std::uint32_t baud, int parity, std::uint16_t stopBits, std::uint16_t dataBits)
{
    TLineState next;
    {
        std::lock_guard lock(dispatcherLock_);
        next = lineState_;
    }
    if (baud != 0)
        next.Line.baud = baud;
    if (parity >= 0 && parity <= 4)
        next.Line.parity = static_cast<Parity>(parity);
    if (dataBits != 9) {
        if (dataBits < 5 || dataBits > 8)
            return ecodes::ecByteSize;
        next.Line.dataBits = static_cast<std::uint8_t>(dataBits);
    }
    if (stopBits != 3)
        next.Line.stopBits = stopBits <= 1 ? 1 : 2;
    if (next.Line.dataBits == 5)
        next.Line.stopBits = 2; // five data bits always go with one and a half
    {
        std::lock_guard lock(dispatcherLock_);
        if (next.Line == lineState_.Line)
            return 0;
    }
    WaitTxSent();
    std::lock_guard lock(dispatcherLock_);
    lineState_.Line.baud = next.Line.baud;
    lineState_.Line.parity = next.Line.parity;
    lineState_.Line.dataBits = next.Line.dataBits;
    lineState_.Line.stopBits = next.Line.stopBits;
    return SetCommStateFix(lineState_);
}

namespace {

std::uint32_t classicBaud(std::uint32_t b)
{
    static const std::uint32_t table[24] = {110, 300, 600, 1200, 2400, 4800, 9600, 14400,
                                            19200, 0, 0, 38400, 0, 0, 0, 56000,
                                            0, 0, 0, 128000, 0, 0, 0, 256000};
    if (b == 65279)
        return 115200;
    if (b >= 65296 && b <= 65319 && table[b - 65296] != 0)
        return table[b - 65296];
    return b;
}

} // namespace

// Lets what was queued go out on the line before its settings change: waits
// until the output buffer is empty, then for 18 character times.
//  - The wait blocks on the writer's signal instead of looking at the buffer
//    every 2 ms, still at most 10 s; it ends at once when the port's threads
//    are not running, as nobody would empty the buffer. On the main thread it
//    keeps the message loop running, like every wait of the library there,
//    so the window stays alive while flow control holds the output back.
//  - A write here is done when the driver has the bytes, not when they are
//    on the line, so the character times also cover what the driver still
//    holds. Nothing is slept when nothing was ever written since the port
//    opened (nothing can be on the line) or the baud rate is 0, and never
//    more than 5 s.
int TSioBaseDispatcher::WaitTxSent()
{
    // Let the writer empty the output buffer (at most 10 s).
    txWaiters_.fetch_add(1);
    WaitForWorker([this] { return OutBufUsed() == 0 || !threadsActive_.load(); }, 10000, outEmptyMutex_,
                  outEmptyCv_);
    txWaiters_.fetch_sub(1);
    if (!everSent_.load())
        return 0; // nothing was ever sent on this port: nothing to let go out
    std::uint32_t baud, bits;
    {
        std::lock_guard lock(dispatcherLock_);
        baud = classicBaud(lastBaud_);
        bits = lineState_.Line.dataBits + 2u;
        if (lineState_.Line.parity != Parity::None)
            ++bits;
        if (lineState_.Line.stopBits != 1)
            ++bits;
    }
    if (baud == 0)
        return 0;
    const long queued = DriverOutputQueued();
    std::uint64_t t = static_cast<std::uint64_t>(10000000u / baud) * bits * (18u + static_cast<std::uint64_t>(queued));
    if (t < 10000)
        t *= 2;
    std::uint64_t ms = (t + 9999) / 10000;
    ms = std::min<std::uint64_t>(ms, 5000);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return 0;
}

int TSioBaseDispatcher::GetLine(std::uint32_t& baud, Parity& parity, std::uint16_t& dataBits, std::uint16_t& stopBits)
{
    std::lock_guard lock(dispatcherLock_);
    TLineState st = lineState_;
    const int r = GetComState(st);
    if (r < 0)
        return r;
    baud = st.Line.baud;
    parity = st.Line.parity;
    dataBits = st.Line.dataBits;
    stopBits = st.Line.stopBits != 1 ? 2 : 1;
    return 0;
}

int TSioBaseDispatcher::SetCommBuffers(std::uint32_t inSize, std::uint32_t outSize)
{
    if (outSize == 0)
        return ecodes::ecBadArgument;
    const int r = SetupCom(inSize, outSize);
    if (r < 0)
        return r;
    inSize_ = inSize;
    std::lock_guard out(outputLock_);
    if (outSize != outSize_ && !outBuf_.empty()) {
        // Keep what is still waiting to be sent, as far as it fits.
        std::vector<std::uint8_t> pending;
        const std::uint32_t used = OutBufUsedLocked();
        for (std::uint32_t i = 0; i < used; ++i)
            pending.push_back(outBuf_[(outTail_ + i) % outSize_]);
        if (pending.size() > outSize)
            pending.resize(outSize);
        outBuf_.assign(outSize, 0);
        std::copy(pending.begin(), pending.end(), outBuf_.begin());
        outTail_ = 0;
        outHead_ = static_cast<std::uint32_t>(pending.size()) % outSize;
        outFull_ = pending.size() == outSize;
        ++outGeneration_;
    }
    outSize_ = outSize;
    return 0;
}

int TSioBaseDispatcher::SetCommStateFix(TLineState& st)
{
    if (!dtrFlow_)
        st.DtrControl = dtrState_ ? lcEnable : lcDisable;
    if (!rtsFlow_)
        st.RtsControl = rtsState_ ? lcEnable : lcDisable;
    st.Line.rtsCtsFlow = st.RtsControl == lcHandshake || st.OutxCtsFlow;
    const int r = SetComState(st);
    if (r < 0) {
        GetComState(st); // keep the shadow in step with the device
        return r;
    }
    lastBaud_ = st.Line.baud;
    if (!dtrFlow_)
        SetDtr(dtrState_);
    if (!rs485_ && !rtsFlow_)
        SetRts(rtsState_);
    if (rtsFlow_)
        EscapeComFunction(SETRTS); // the driver holds RTS up while it has room
    return 0;
}

// ---------------------------------------------------------------------------
// Modem lines and status

int TSioBaseDispatcher::SetDtr(bool on)
{
    std::lock_guard lock(dispatcherLock_);
    if (dtrFlow_)
        return 1;
    if (EscapeComFunction(on ? SETDTR : CLRDTR) < 0)
        return ecodes::ecBadArgument;
    dtrState_ = on;
    return 0;
}

int TSioBaseDispatcher::SetRts(bool on)
{
    std::lock_guard lock(dispatcherLock_);
    if (rtsFlow_)
        return 1;
    if (EscapeComFunction(on ? SETRTS : CLRRTS) < 0)
        return ecodes::ecBadArgument;
    rtsState_ = on;
    return 0;
}

int TSioBaseDispatcher::SetModem(bool dtr, bool rts)
{
    const int r = SetDtr(dtr);
    if (r < 0)
        return r;
    return SetRts(rts);
}

std::uint8_t TSioBaseDispatcher::GetModemStatusPrim(std::uint8_t clearMask)
{
    const std::uint8_t lines = ReadModemLines() & 0xF0;
    std::lock_guard lock(dispatcherLock_);
    std::uint8_t ms = static_cast<std::uint8_t>((modemStatus_.load() & 0x0F) | lines);
    if (ringSeen_.exchange(false))
        ms |= 0x04;
    modemStatus_.store(static_cast<std::uint8_t>(ms & clearMask));
    return ms;
}

bool TSioBaseDispatcher::CheckCTS() { return GetModemStatusPrim(254) & 0x10; }
bool TSioBaseDispatcher::CheckDSR() { return GetModemStatusPrim(253) & 0x20; }
bool TSioBaseDispatcher::CheckRI() { return GetModemStatusPrim(251) & 0x40; }
bool TSioBaseDispatcher::CheckDCD() { return GetModemStatusPrim(247) & 0x80; }
bool TSioBaseDispatcher::CheckDeltaCTS() { return GetModemStatusPrim(254) & 0x01; }
bool TSioBaseDispatcher::CheckDeltaDSR() { return GetModemStatusPrim(253) & 0x02; }
bool TSioBaseDispatcher::CheckDeltaRI() { return GetModemStatusPrim(251) & 0x04; }
bool TSioBaseDispatcher::CheckDeltaDCD() { return GetModemStatusPrim(247) & 0x08; }

void TSioBaseDispatcher::MapEventsToMS(std::uint32_t)
{
    std::lock_guard lock(dispatcherLock_);
    const std::uint8_t old = modemStatus_.load();
    const std::uint8_t now = GetModemStatusPrim(0xFF);
    const std::uint8_t delta = static_cast<std::uint8_t>(((old ^ now) >> 4) & 0x0F);
    modemStatus_.store(static_cast<std::uint8_t>(modemStatus_.load() | delta));
}

void TSioBaseDispatcher::RefreshStatus()
{
    const std::uint32_t bits = GetComError();
    lineErrors_.fetch_or(bits & 0x1F);
}

std::uint32_t TSioBaseDispatcher::LineErrors() const { return lineErrors_.load(); }

int TSioBaseDispatcher::GetLineError()
{
    std::lock_guard lock(dispatcherLock_);
    const std::uint32_t le = lineErrors_.load();
    if (le == kLeDeviceError) {
        lineErrors_ = 0;
        return 10;
    }
    int code = 0;
    if (le & kLeRxOver)
        code = 1;
    else if (le & kLeOverrun)
        code = 2;
    else if (le & kLeParity)
        code = 3;
    else if (le & kLeFrame)
        code = 4;
    else if (le & kLeBreak)
        code = 9;
    if (code)
        lineErrors_.fetch_and(~0x0Fu);
    return code;
}

bool TSioBaseDispatcher::CheckLineBreak()
{
    const std::uint32_t le = lineErrors_.load();
    if (le == kLeDeviceError)
        return false;
    return (lineErrors_.fetch_and(~kLeBreak) & kLeBreak) != 0;
}

int TSioBaseDispatcher::SendBreak(Ticks ticks, bool yield)
{
    if (rs485_)
        EscapeComFunction(SETRTS);
    EscapeComFunction(SETBREAK);
    DelayTicks(ticks, yield);
    EscapeComFunction(CLRBREAK);
    if (rs485_ && OutBufUsed() == 0)
        EscapeComFunction(CLRRTS);
    return 0;
}

int TSioBaseDispatcher::SetBreak(bool on)
{
    return EscapeComFunction(on ? SETBREAK : CLRBREAK) < 0 ? ecodes::ecBadArgument : 0;
}

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

std::uint32_t TSioBaseDispatcher::InBuffUsed()
{
    std::lock_guard in(inputLock_);
    const std::uint32_t used = UsedLocked();
    return holdReads_ ? used - std::min(used, holdReadCount_) : used;
}

std::uint32_t TSioBaseDispatcher::InBuffFree()
{
    std::lock_guard in(inputLock_);
    return kDispatchBufferSize - UsedLocked() + (holdReads_ ? holdReadCount_ : 0);
}

bool TSioBaseDispatcher::CharReady()
{
    std::lock_guard in(inputLock_);
    return UsedLocked() > (holdReads_ ? holdReadCount_ : 0);
}

int TSioBaseDispatcher::PeekChar(std::uint8_t& c, std::uint32_t n)
{
    std::lock_guard in(inputLock_);
    const std::uint32_t skip = holdReads_ ? holdReadCount_ : 0;
    if (n == 0 || UsedLocked() < skip + n || dispBuf_.empty())
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
    if (UsedLocked() < skip + len || (len && dispBuf_.empty()))
        return ecodes::ecBufferIsEmpty;
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
    FlushCom(1);
    {
        std::lock_guard in(inputLock_);
        if (holdReads_) {
            holdMaximum_ = UsedLocked();
        } else {
            dispTail_ = dispHead_;
            holdReadCount_ = 0;
        }
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

// ---------------------------------------------------------------------------
// Flow control

int TSioBaseDispatcher::HWFlowOptions(std::uint32_t bufferFull, std::uint32_t bufferResume, std::uint32_t options)
{
    if (bufferResume > bufferFull || bufferFull > inSize_)
        return ecodes::ecBadArgument;
    std::lock_guard lock(dispatcherLock_);
    TLineState st = lineState_;
    st.OutxCtsFlow = st.OutxDsrFlow = false;
    dtrFlow_ = rtsFlow_ = false;
    if (options & 1) {
        st.DtrControl = lcHandshake;
        dtrFlow_ = true;
    } else {
        st.DtrControl = dtrState_ ? lcEnable : lcDisable;
    }
    if (options & 2) {
        st.RtsControl = lcHandshake;
        rtsFlow_ = true;
    } else {
        st.RtsControl = rtsState_ ? lcEnable : lcDisable;
    }
    if (rs485_) {
        st.RtsControl = lcToggle;
        rtsFlow_ = true;
    }
    st.XoffLim = static_cast<std::uint16_t>(inSize_ - bufferFull);
    st.XonLim = static_cast<std::uint16_t>(bufferResume);
    st.OutxDsrFlow = (options & 4) != 0;
    st.OutxCtsFlow = (options & 8) != 0;
    lineState_ = st;
    return SetCommStateFix(lineState_);
}

int TSioBaseDispatcher::HWFlowState()
{
    TLineState st;
    {
        std::lock_guard lock(dispatcherLock_);
        st = lineState_;
    }
    const bool dtrHs = st.DtrControl == lcHandshake, rtsHs = st.RtsControl == lcHandshake;
    if (!dtrHs && !rtsHs && !st.OutxDsrFlow && !st.OutxCtsFlow)
        return 1;
    int state = 2;
    if (dtrHs || rtsHs) {
        RefreshStatus();
        const std::uint8_t lines = ReadModemLines();
        const bool pending = OutBufUsed() > 0;
        if (st.OutxDsrFlow && pending && !(lines & 0x20))
            state = 3;
        if (st.OutxCtsFlow && pending && !(lines & 0x10))
            state = 4;
    }
    return state;
}

int TSioBaseDispatcher::SWFlowEnable(std::uint32_t bufferFull, std::uint32_t bufferResume, std::uint32_t options)
{
    if (bufferResume > bufferFull || bufferFull > inSize_)
        return ecodes::ecBadArgument;
    std::lock_guard lock(dispatcherLock_);
    lineState_.Line.xonXoffIn = (options & 2) != 0;
    lineState_.Line.xonXoffOut = (options & 1) != 0;
    if (options & 3) {
        lineState_.XoffLim = static_cast<std::uint16_t>(inSize_ - bufferFull);
        lineState_.XonLim = static_cast<std::uint16_t>(bufferResume);
        lineState_.Line.xonChar = 17;
        lineState_.Line.xoffChar = 19;
    }
    return SetCommStateFix(lineState_);
}

int TSioBaseDispatcher::SWFlowDisable()
{
    std::lock_guard lock(dispatcherLock_);
    lineState_.Line.xonXoffIn = lineState_.Line.xonXoffOut = false;
    return SetCommStateFix(lineState_);
}

int TSioBaseDispatcher::SWFlowState()
{
    std::lock_guard lock(dispatcherLock_);
    // The driver does not tell whether it is holding output for XOFF.
    return (lineState_.Line.xonXoffIn || lineState_.Line.xonXoffOut) ? 2 : 1;
}

int TSioBaseDispatcher::SWFlowChars(std::uint8_t xon, std::uint8_t xoff)
{
    std::lock_guard lock(dispatcherLock_);
    lineState_.Line.xonChar = xon;
    lineState_.Line.xoffChar = xoff;
    return SetCommStateFix(lineState_);
}

int TSioBaseDispatcher::GetFlowOptions(std::uint32_t& hw, std::uint32_t& sw, std::uint8_t& xon, std::uint8_t& xoff)
{
    std::lock_guard lock(dispatcherLock_);
    TLineState st = lineState_;
    const int r = GetComState(st);
    if (r < 0)
        return r;
    hw = (st.DtrControl == lcHandshake ? 1u : 0u) | (st.RtsControl == lcHandshake ? 2u : 0u)
        | (st.OutxDsrFlow ? 4u : 0u) | (st.OutxCtsFlow ? 8u : 0u);
    sw = (st.Line.xonXoffIn ? 2u : 0u) | (st.Line.xonXoffOut ? 1u : 0u);
    xon = st.Line.xonChar;
    xoff = st.Line.xoffChar;
    return 0;
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
    std::lock_guard lock(dispatcherLock_);
    return inNotification_.exchange(busy);
}

} // namespace sio
