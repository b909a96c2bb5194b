// The serial port component: reading, writing and triggers.
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


void TSioCustomComPort::PutChar(std::uint8_t c)
{
    if (ShuttingDown())
        return;
    Check(ValidDispatcher().PutChar(c));
}

void TSioCustomComPort::PutString(const std::string& s)
{
    if (ShuttingDown())
        return;
    Check(ValidDispatcher().PutString(s));
}

int TSioCustomComPort::PutBlock(const void* block, std::uint32_t length)
{
    if (ShuttingDown())
        return 0;
    Check(ValidDispatcher().PutBlock(static_cast<const std::uint8_t*>(block), length));
    return 0;
}

std::uint8_t TSioCustomComPort::GetChar()
{
    if (ShuttingDown())
        return 0;
    std::uint8_t c = 0;
    Check(ValidDispatcher().GetChar(c));
    return c;
}

std::uint8_t TSioCustomComPort::PeekChar(std::uint32_t n)
{
    if (ShuttingDown())
        return 0;
    std::uint8_t c = 0;
    Check(ValidDispatcher().PeekChar(c, n));
    return c;
}

void TSioCustomComPort::GetBlock(void* block, std::uint32_t length)
{
    if (ShuttingDown())
        return;
    Check(ValidDispatcher().GetBlock(static_cast<std::uint8_t*>(block), length));
}

void TSioCustomComPort::PeekBlock(void* block, std::uint32_t length)
{
    if (ShuttingDown())
        return;
    Check(ValidDispatcher().PeekBlock(static_cast<std::uint8_t*>(block), length));
}

bool TSioCustomComPort::CharReady()
{
    if (ShuttingDown())
        return false;
    return ValidDispatcher().CharReady();
}

void TSioCustomComPort::FlushInBuffer()
{
    if (ShuttingDown())
        return;
    TSioBaseDispatcher& d = ValidDispatcher();
    // With the bytes the packets hold, as one step against a notification
    // taking bytes: what it took before is dropped by the manager's flush
    // generation, what it takes after is new.
    if (TSioDataPacketManager* m = TSioDataPacketManagerList::Find(this))
        Check(m->FlushInput([&] { return d.FlushInBuffer(); }));
    else
        Check(d.FlushInBuffer());
}

bool TSioCustomComPort::PumpUntil(const std::function<bool()>& done, std::int64_t timeoutMs)
{
    auto& loop = kyd::platform::messageLoop();
    std::unique_ptr<TSioBaseDispatcher::OwnerInput> ownerInput;
    if (TSioBaseDispatcher* d = OpenDispatcher(); d && loop.isMainThread())
        ownerInput = d->BeginOwnerInput();
    return loop.pumpUntil(done, timeoutMs);
}

void TSioCustomComPort::FlushOutBuffer()
{
    if (ShuttingDown())
        return;
    Check(ValidDispatcher().FlushOutBuffer());
}

void TSioCustomComPort::SendBreak(Ticks ticks, bool yield)
{
    if (ShuttingDown())
        return;
    Check(ValidDispatcher().SendBreak(ticks, yield));
}

void TSioCustomComPort::SetBreak(bool on)
{
    if (ShuttingDown())
        return;
    Check(ValidDispatcher().SetBreak(on));
}

void TSioCustomComPort::ProcessCommunications()
{
    if (ShuttingDown())
        return;
    ValidDispatcher().ProcessCommunications();
}

int TSioCustomComPort::AddDataTrigger(const std::string& text, bool ignoreCase)
{
    if (ShuttingDown())
        return 0;
    return Check(ValidDispatcher().AddDataTriggerLen(reinterpret_cast<const std::uint8_t*>(text.data()), ignoreCase,
                                                     static_cast<std::uint32_t>(text.size())));
}

int TSioCustomComPort::AddTimerTrigger()
{
    if (ShuttingDown())
        return 0;
    return Check(ValidDispatcher().AddTimerTrigger());
}

int TSioCustomComPort::AddStatusTrigger(std::uint16_t type)
{
    if (ShuttingDown())
        return 0;
    return Check(ValidDispatcher().AddStatusTrigger(type));
}

void TSioCustomComPort::SetTimerTrigger(int handle, Ticks ticks, bool activate)
{
    if (ShuttingDown())
        return;
    Check(ValidDispatcher().SetTimerTrigger(static_cast<std::uint32_t>(handle), ticks, activate));
}

void TSioCustomComPort::SetStatusTrigger(int handle, std::uint32_t value, bool activate)
{
    if (ShuttingDown())
        return;
    Check(ValidDispatcher().SetStatusTrigger(static_cast<std::uint32_t>(handle), value, activate));
}

void TSioCustomComPort::RemoveTrigger(int handle)
{
    if (TSioBaseDispatcher* d = OpenDispatcher())
        Check(d->RemoveTrigger(static_cast<std::uint32_t>(handle)));
}

void TSioCustomComPort::RemoveAllTriggers()
{
    if (TSioBaseDispatcher* d = OpenDispatcher()) {
        d->RemoveAllTriggers();
        triggerLength_ = 0;
    }
}

void TSioCustomComPort::AddTraceEntry(char kind, char c)
{
    if (ShuttingDown())
        return;
    ValidDispatcher().AddTraceEntry(kind, static_cast<std::uint8_t>(c));
}

void TSioCustomComPort::AddStringToLog(const std::string& s)
{
    if (ShuttingDown())
        return;
    ValidDispatcher().AddStringToLog(s);
}

} // namespace sio
