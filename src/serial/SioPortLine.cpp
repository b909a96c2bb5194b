// The serial port component: line settings, buffers, modem lines and flow
// control.
#include "serial/SioPort.h"

#include "platform/exception_sink.h"
#include "serial/SioPacketList.h"
#include "serial/SioPosix.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <utility>

namespace sio {

namespace pf = kyd::platform;

namespace {

std::uint32_t HWFlowWord(THWFlowOptionSet o)
{
    return o & (hwfUseDTR | hwfUseRTS | hwfRequireDSR | hwfRequireCTS);
}

std::uint32_t SWFlowWord(TSWFlowOptions o)
{
    switch (o) {
    case swfBoth: return 3;
    case swfTransmit: return 1;
    case swfReceive: return 2;
    default: return 0;
    }
}
} // namespace


void TSioCustomComPort::SetComNumber(std::uint16_t value)
{
    if (value == comNumber_)
        return;
    if (!IsOpenState()) {
        comNumber_ = value;
        return;
    }
    // Close, renumber and open again with the same triggers (DonePort
    // saves them; InitPort restores them) and the same trace and log state.
    const TTraceLogState tracing = tracing_;
    const TTraceLogState logging = logging_;
    DonePort();
    comNumber_ = value;
    SetTracing(tracing);
    SetLogging(logging);
    SetOpen(true);
}

void TSioCustomComPort::SetBaud(std::int32_t value)
{
    SetLineSetting(baud_, value);
}

void TSioCustomComPort::SetParity(TParity value)
{
    SetLineSetting(parity_, value);
}

void TSioCustomComPort::SetDataBits(std::uint16_t value)
{
    SetLineSetting(dataBits_, value);
}

void TSioCustomComPort::SetStopBits(std::uint16_t value)
{
    SetLineSetting(stopBits_, value);
}

void TSioCustomComPort::SetInSize(std::uint16_t value)
{
    if (value == inSize_)
        return;
    inSize_ = value;
    if (TSioBaseDispatcher* d = OpenDispatcher())
        Check(d->SetCommBuffers(inSize_, outSize_));
}

void TSioCustomComPort::SetOutSize(std::uint16_t value)
{
    if (value == outSize_)
        return;
    outSize_ = value;
    if (TSioBaseDispatcher* d = OpenDispatcher())
        Check(d->SetCommBuffers(inSize_, outSize_));
}

void TSioCustomComPort::SetDTR(bool value)
{
    if (value == dtr_ && !force_)
        return;
    if (TSioBaseDispatcher* d = OpenDispatcher()) {
        if (Check(d->SetDtr(value)) == 0)
            dtr_ = value;
    } else {
        dtr_ = value;
    }
}

void TSioCustomComPort::SetRTS(bool value)
{
    if (value == rts_ && !force_)
        return;
    if (TSioBaseDispatcher* d = OpenDispatcher()) {
        if (Check(d->SetRts(value)) == 0)
            rts_ = value;
    } else {
        rts_ = value;
    }
}

void TSioCustomComPort::DefaultThresholds()
{
    if (bufferFull_ == 0 || bufferFull_ > inSize_)
        bufferFull_ = static_cast<std::uint16_t>(inSize_ * 9u / 10u);
    if (bufferResume_ == 0 || bufferResume_ > bufferFull_)
        bufferResume_ = static_cast<std::uint16_t>(inSize_ / 10u);
}

void TSioCustomComPort::SetHWFlowOptions(THWFlowOptionSet value)
{
    if (value == hwFlowOptions_ && !force_)
        return;
    const std::uint32_t word = HWFlowWord(value);
    if (word != 0)
        DefaultThresholds();
    if (TSioBaseDispatcher* d = OpenDispatcher())
        Check(d->HWFlowOptions(bufferFull_, bufferResume_, word));
    hwFlowOptions_ = value;
    if (value & (hwfUseRTS | hwfRequireCTS))
        SetRS485Mode(false);
}

void TSioCustomComPort::SetSWFlowOptions(TSWFlowOptions value)
{
    if (value == swFlowOptions_ && !force_)
        return;
    const std::uint32_t option = SWFlowWord(value);
    if (option != 0)
        DefaultThresholds();
    if (TSioBaseDispatcher* d = OpenDispatcher()) {
        if (option == 0)
            Check(d->SWFlowDisable());
        else
            Check(d->SWFlowEnable(bufferFull_, bufferResume_, option));
    }
    swFlowOptions_ = value;
}

void TSioCustomComPort::SetXOnChar(char value)
{
    if (value == xonChar_ && !force_)
        return;
    xonChar_ = value;
    if (TSioBaseDispatcher* d = OpenDispatcher())
        Check(d->SWFlowChars(static_cast<std::uint8_t>(xonChar_), static_cast<std::uint8_t>(xoffChar_)));
}

void TSioCustomComPort::SetXOffChar(char value)
{
    if (value == xoffChar_ && !force_)
        return;
    xoffChar_ = value;
    if (TSioBaseDispatcher* d = OpenDispatcher())
        Check(d->SWFlowChars(static_cast<std::uint8_t>(xonChar_), static_cast<std::uint8_t>(xoffChar_)));
}

// Both flow controls again with the thresholds now in force (forced, so
// unchanged options are applied too).
void TSioCustomComPort::ReapplyFlowOptions()
{
    const bool old = force_;
    force_ = true;
    try {
        SetHWFlowOptions(hwFlowOptions_);
        SetSWFlowOptions(swFlowOptions_);
    } catch (...) {
        force_ = old;
        throw;
    }
    force_ = old;
}

void TSioCustomComPort::SetBufferFull(std::uint16_t value)
{
    if (value == bufferFull_ && !force_)
        return;
    bufferFull_ = value > inSize_ ? static_cast<std::uint16_t>(inSize_ * 9u / 10u) : value;
    ReapplyFlowOptions();
}

void TSioCustomComPort::SetBufferResume(std::uint16_t value)
{
    if (value == bufferResume_ && !force_)
        return;
    bufferResume_ = value > bufferFull_ ? static_cast<std::uint16_t>(bufferFull_ / 10u) : value;
    ReapplyFlowOptions();
}

void TSioCustomComPort::SetRS485Mode(bool value)
{
    if (value == rs485Mode_ && !force_)
        return;
    rs485Mode_ = value;
    if (TSioBaseDispatcher* d = OpenDispatcher())
        Check(d->SetRS485Mode(value));
    if (value) {
        SetHWFlowOptions(static_cast<THWFlowOptionSet>(hwFlowOptions_ & ~(hwfUseRTS | hwfRequireCTS)));
        SetRTS(false);
    }
}

void TSioCustomComPort::SetThreadBoost(TApThreadBoost value)
{
    if (value == threadBoost_ && !force_)
        return;
    threadBoost_ = value;
    if (TSioBaseDispatcher* d = OpenDispatcher())
        d->SetThreadBoost(static_cast<std::uint8_t>(value));
}

void TSioCustomComPort::SetUseMSRShadow(bool)
{
    // The shadow is always used.
}

void TSioCustomComPort::SetUseEventWord(bool value)
{
    if (value == useEventWord_ && !force_)
        return;
    useEventWord_ = value;
    if (TSioBaseDispatcher* d = OpenDispatcher()) {
        if (value)
            d->OptionsOn(1);
        else
            d->OptionsOff(1);
    }
}

void TSioCustomComPort::SetTriggerLength(std::uint16_t value)
{
    if (value == triggerLength_ && !force_)
        return;
    triggerLength_ = value;
    if (TSioBaseDispatcher* d = OpenDispatcher())
        Check(d->ChangeLengthTrigger(value));
}

std::uint16_t TSioCustomComPort::GetBaseAddress()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d ? d->GetBaseAddress() : 0;
}

void TSioCustomComPort::SetBaseAddress(std::uint16_t value)
{
    if (TSioBaseDispatcher* d = OpenDispatcher())
        if (value != d->GetBaseAddress())
            d->SetBaseAddress(value);
}

} // namespace sio
