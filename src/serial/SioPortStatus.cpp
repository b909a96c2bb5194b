// The serial port component: modem and line status.
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


bool TSioCustomComPort::CTS()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d && d->CheckCTS();
}
bool TSioCustomComPort::DSR()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d && d->CheckDSR();
}
bool TSioCustomComPort::RI()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d && d->CheckRI();
}
bool TSioCustomComPort::DCD()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d && d->CheckDCD();
}
bool TSioCustomComPort::DeltaCTS()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d && d->CheckDeltaCTS();
}
bool TSioCustomComPort::DeltaDSR()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d && d->CheckDeltaDSR();
}
bool TSioCustomComPort::DeltaRI()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d && d->CheckDeltaRI();
}
bool TSioCustomComPort::DeltaDCD()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d && d->CheckDeltaDCD();
}
bool TSioCustomComPort::LineBreak()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d && d->CheckLineBreak();
}
std::uint16_t TSioCustomComPort::LineError()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d ? static_cast<std::uint16_t>(Check(d->GetLineError())) : 0;
}
std::uint32_t TSioCustomComPort::InBuffUsed()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d ? d->InBuffUsed() : 0;
}
std::uint32_t TSioCustomComPort::InBuffFree()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d ? d->InBuffFree() : kDispatchBufferSize;
}
std::uint32_t TSioCustomComPort::OutBuffUsed()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d ? d->OutBuffUsed() : 0;
}
std::uint32_t TSioCustomComPort::OutBuffFree()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    return d ? d->OutBuffFree() : outSize_;
}
std::uint8_t TSioCustomComPort::ModemStatus()
{
    if (ShuttingDown())
        return 0;
    return ValidDispatcher().GetModemStatus();
}
TFlowControlState TSioCustomComPort::FlowState()
{
    TSioBaseDispatcher* d = OpenDispatcher();
    if (!d)
        return fcOff;
    int s = Check(d->HWFlowState()) - 1;
    if (s <= 0)
        s = Check(d->SWFlowState()) - 1;
    return static_cast<TFlowControlState>(std::clamp(s, 0, static_cast<int>(fcXBothHold)));
}
std::uint32_t TSioCustomComPort::LastWinError() const
{
    return dispatcher_ ? dispatcher_->LastDeviceError() : 0;
}

} // namespace sio
