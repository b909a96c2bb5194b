// Device-independent part of the dispatcher: line settings, modem lines
// and status, flow control.
#include "serial/SioDispatch.h"

#include "serial/SioDispatchWait.h"
#include "serial/SioExcept.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace sio {

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
    WaitForWorker([this] { return OutBufUsed() == 0 || !threadsActive_.load() || lineLost_.load(); }, 10000, outEmptyMutex_,
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
    // The character times pass on the line's own clock; on the main thread
    // the message loop keeps running meanwhile.
    namespace pf = kyd::platform;
    if (pf::hasMessageLoop() && pf::messageLoop().isMainThread() && !pf::clock().isFake()) {
        const std::int64_t until = SioTimeGetTime() + static_cast<std::int64_t>(ms);
        pf::messageLoop().pumpUntil([until] { return SioTimeGetTime() >= until; }, static_cast<std::int64_t>(ms));
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
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
    wantedOutSize_ = outSize;
    // Queued output is never dropped: a buffer that holds more than the new
    // size keeps the size it needs until it has drained (PutBlock shrinks
    // it then).
    ResizeOutputLocked(outBuf_.empty() ? outSize : std::max(outSize, OutBufUsedLocked()));
    return 0;
}

void TSioBaseDispatcher::ResizeOutputLocked(std::uint32_t size)
{
    if (size != outSize_ && !outBuf_.empty()) {
        // Keep what is still waiting to be sent, at the front of the new
        // ring. A piece the writer holds is what begins at the old tail, so
        // its bytes now begin at the new tail and its progress still counts
        // (the generation stays: nothing was discarded).
        const std::uint32_t used = OutBufUsedLocked();
        std::vector<std::uint8_t> ring(size, 0);
        for (std::uint32_t i = 0; i < used; ++i)
            ring[i] = outBuf_[(outTail_ + i) % outSize_];
        outBuf_ = std::move(ring);
        outTail_ = 0;
        outHead_ = used % size;
        outFull_ = used == size;
    }
    outSize_ = size;
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
    // The lines are read under the lock, so that two readers cannot store
    // their levels in the opposite order to the one they read them in.
    std::lock_guard lock(dispatcherLock_);
    const std::uint8_t lines = ReadModemLines() & 0xF0;
    const std::uint8_t old = modemStatus_.load();
    // A level that differs from the shadow's is a change, whoever reads it
    // first (a status read, an input pass, the status poll's event): its
    // delta bit is set here and stays until it is read.
    const std::uint8_t delta = static_cast<std::uint8_t>(((old ^ lines) >> 4) & 0x0F);
    std::uint8_t ms = static_cast<std::uint8_t>((old & 0x0F) | delta | lines);
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
    // The lines that changed since the shadow was last refreshed get their
    // delta bits; one already seen by an earlier read has it already.
    GetModemStatusPrim(0xFF);
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

} // namespace sio
