// The serial port component: tracing and the dispatch log.
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


void TSioCustomComPort::SetTracing(TTraceLogState value)
{
    if (value == tracing_ && !force_)
        return;
    if (!IsOpenState()) {
        tracing_ = value == tlOn ? tlOn : tlOff;
        return;
    }
    const TTraceLogState cur = tracing_;
    const bool active = cur == tlOn || cur == tlPause;
    switch (value) {
    case tlOff:
        if (active)
            AbortTracing();
        break;
    case tlOn:
        if (cur == tlPause)
            StartTracing();
        else
            InitTracing(0);
        break;
    case tlDump:
        if (active) {
            StartTracing();
            DumpTrace(traceName_, traceHex_);
        }
        break;
    case tlAppend:
        if (active)
            AppendTrace(traceName_, traceHex_, tlOff);
        break;
    case tlAppendAndContinue:
        if (active)
            AppendTrace(traceName_, traceHex_, cur);
        break;
    case tlClear:
        if (active)
            ClearTracing();
        break;
    case tlPause:
        if (cur == tlOn)
            StopTracing();
        break;
    }
}

void TSioCustomComPort::SetLogging(TTraceLogState value)
{
    if (value == logging_ && !force_)
        return;
    if (!IsOpenState()) {
        logging_ = value == tlOn ? tlOn : tlOff;
        return;
    }
    const TTraceLogState cur = logging_;
    const bool active = cur == tlOn || cur == tlPause;
    switch (value) {
    case tlOff:
        if (active)
            AbortLogging();
        break;
    case tlOn:
        if (cur == tlPause)
            StartLogging();
        else
            InitLogging(0);
        break;
    case tlDump:
        if (active) {
            StartLogging();
            DumpLog(logName_, logHex_);
        }
        break;
    case tlAppend:
        if (active)
            AppendLog(logName_, logHex_, tlOff);
        break;
    case tlAppendAndContinue:
        if (active)
            AppendLog(logName_, logHex_, cur);
        break;
    case tlClear:
        if (active)
            ClearLogging();
        break;
    case tlPause:
        if (cur == tlOn)
            StopLogging();
        break;
    }
}

void TSioCustomComPort::SetTraceSize(std::uint32_t value)
{
    // A trace of no entries cannot be kept: 0 leaves the size as it is.
    if (value == 0)
        return;
    traceSize_ = std::min(value, kMaxTraceSize);
    if (IsOpenState() && (tracing_ == tlOn || tracing_ == tlPause)) {
        const TTraceLogState old = tracing_;
        AbortTracing();
        SetTracing(old);
    }
}

void TSioCustomComPort::SetLogSize(std::uint32_t value)
{
    logSize_ = std::min(value, kMaxLogSize);
    if (IsOpenState() && (logging_ == tlOn || logging_ == tlPause)) {
        const TTraceLogState old = logging_;
        AbortLogging();
        SetLogging(old);
    }
}

void TSioCustomComPort::InitTracing(std::uint32_t numEntries)
{
    if (ShuttingDown())
        return;
    TSioBaseDispatcher& d = ValidDispatcher();
    if (numEntries != 0)
        traceSize_ = std::min(numEntries, kMaxTraceSize);
    Check(d.InitTracing(traceSize_));
    tracing_ = tlOn;
}

void TSioCustomComPort::StartTracing()
{
    if (ShuttingDown())
        return;
    ValidDispatcher().StartTracing();
    tracing_ = tlOn;
}

void TSioCustomComPort::StopTracing()
{
    if (ShuttingDown())
        return;
    ValidDispatcher().StopTracing();
    tracing_ = tlPause;
}

void TSioCustomComPort::ClearTracing()
{
    if (ShuttingDown())
        return;
    ValidDispatcher().ClearTracing();
}

void TSioCustomComPort::AbortTracing()
{
    if (ShuttingDown())
        return;
    ValidDispatcher().AbortTracing();
    tracing_ = tlOff;
}

void TSioCustomComPort::DumpTrace(const std::string& name, bool inHex)
{
    if (ShuttingDown())
        return;
    TSioBaseDispatcher& d = ValidDispatcher();
    tracing_ = tlOff;
    const int r = d.DumpTrace(name, inHex, traceAllHex_);
    d.AbortTracing();
    Check(r);
}

namespace {
// After writing, the dispatcher's trace or log runs again; bring it into
// the state the component reports.
void SettleTrace(TSioBaseDispatcher& d, TTraceLogState state)
{
    if (state == tlPause)
        d.StopTracing();
    else if (state != tlOn)
        d.AbortTracing();
}
void SettleLog(TSioBaseDispatcher& d, TTraceLogState state)
{
    if (state == tlPause)
        d.StopDispatchLogging();
    else if (state != tlOn)
        d.AbortDispatchLogging();
}
} // namespace

void TSioCustomComPort::AppendTrace(const std::string& name, bool inHex, TTraceLogState newState)
{
    if (ShuttingDown())
        return;
    TSioBaseDispatcher& d = ValidDispatcher();
    tracing_ = newState;
    const int r = d.AppendTrace(name, inHex, traceAllHex_);
    SettleTrace(d, newState);
    Check(r);
}

void TSioCustomComPort::InitLogging(std::uint32_t size)
{
    if (ShuttingDown())
        return;
    TSioBaseDispatcher& d = ValidDispatcher();
    if (size != 0)
        logSize_ = std::min(size, kMaxLogSize);
    d.InitDispatchLogging(logSize_);
    logging_ = tlOn;
}

void TSioCustomComPort::StartLogging()
{
    if (ShuttingDown())
        return;
    ValidDispatcher().StartDispatchLogging();
    logging_ = tlOn;
}

void TSioCustomComPort::StopLogging()
{
    if (ShuttingDown())
        return;
    ValidDispatcher().StopDispatchLogging();
    logging_ = tlPause;
}

void TSioCustomComPort::ClearLogging()
{
    if (ShuttingDown())
        return;
    ValidDispatcher().ClearDispatchLogging();
}

void TSioCustomComPort::AbortLogging()
{
    if (ShuttingDown())
        return;
    ValidDispatcher().AbortDispatchLogging();
    logging_ = tlOff;
}

void TSioCustomComPort::DumpLog(const std::string& name, bool inHex)
{
    if (ShuttingDown())
        return;
    TSioBaseDispatcher& d = ValidDispatcher();
    logging_ = tlOff;
    const int r = d.DumpDispatchLog(name, inHex, logAllHex_);
    d.AbortDispatchLogging();
    Check(r);
}

void TSioCustomComPort::AppendLog(const std::string& name, bool inHex, TTraceLogState newState)
{
    if (ShuttingDown())
        return;
    TSioBaseDispatcher& d = ValidDispatcher();
    logging_ = newState;
    const int r = d.AppendDispatchLog(name, inHex, logAllHex_);
    SettleLog(d, newState);
    Check(r);
}

} // namespace sio
