// The trace (a ring of the bytes sent and received) and the dispatch log (a
// queue of timed entries for everything the dispatcher does), and their text
// files.
#include "serial/SioDispatch.h"

#include "platform/clock.h"
#include "platform/os_info.h"
#include "serial/SioExcept.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <mutex>
#include <sys/stat.h>

namespace sio {

namespace {

std::mutex g_envMutex;
TDispatchLogEnvironment g_env;

const char* const kStatusKinds[] = {"(Not active)", "(Modem status)", "(Line status)", "(Output buffer free)",
                                    "(Output buffer used)", "(Output sent)"};

// A file error as a library code (never a raw errno).
int fileErrorCode(int e)
{
    switch (e) {
    case ENOENT: return ecodes::ecFileNotFound;
    case ENOTDIR: return ecodes::ecPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return ecodes::ecAccessDenied;
    case ENOMEM: return ecodes::ecOutOfMemory;
    default: return ecodes::ecHardwareFailure;
    }
}

bool fileExists(const std::string& name)
{
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0;
}

// One byte as the trace shows it; returns the text.
std::string byteItem(std::uint8_t b, bool inHex, bool allHex, bool plain = false)
{
    char buf[8];
    if (plain)
        return std::string(1, static_cast<char>(b));
    if (allHex) {
        std::snprintf(buf, sizeof buf, "[%02X]", b);
        return buf;
    }
    const int low = inHex ? 33 : 32;
    if (b >= low && b <= 126)
        return std::string(1, static_cast<char>(b));
    if (inHex)
        std::snprintf(buf, sizeof buf, "[%02X]", b);
    else
        std::snprintf(buf, sizeof buf, "[%u]", b);
    return buf;
}

std::string nowText()
{
    const auto t = std::chrono::system_clock::to_time_t(kyd::platform::clock().wallNow());
    std::tm tm {};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%d/%m/%y, %H:%M:%S", &tm);
    return buf;
}

} // namespace

void SetDispatchLogEnvironment(const TDispatchLogEnvironment& env)
{
    std::lock_guard lock(g_envMutex);
    g_env = env;
}

std::string CompilerName()
{
#if defined(__clang__)
    return "clang " __clang_version__;
#elif defined(__GNUC__)
    return "GCC " __VERSION__;
#else
    return "C++ compiler";
#endif
}

// ---------------------------------------------------------------------------
// Trace

int TSioBaseDispatcher::InitTracing(std::uint32_t size)
{
    std::lock_guard lock(dispatcherLock_);
    if (trace_.empty()) {
        if (size < 1 || size > kMaxTraceSize)
            return ecodes::ecBadArgument;
        trace_.assign(static_cast<std::size_t>(size) * 2, 0);
        traceSize_ = size;
    }
    traceHead_ = 0;
    traceWrapped_ = false;
    tracingOn_ = true;
    return 0;
}

void TSioBaseDispatcher::AddTraceEntry(char kind, std::uint8_t byte)
{
    std::lock_guard lock(dispatcherLock_);
    if (trace_.empty())
        return;
    trace_[traceHead_ * 2] = static_cast<std::uint8_t>(kind);
    trace_[traceHead_ * 2 + 1] = byte;
    if (++traceHead_ >= traceSize_) {
        traceHead_ = 0;
        traceWrapped_ = true;
    }
}

void TSioBaseDispatcher::StartTracing()
{
    std::lock_guard lock(dispatcherLock_);
    if (!trace_.empty())
        tracingOn_ = true;
}

void TSioBaseDispatcher::StopTracing() { tracingOn_ = false; }

void TSioBaseDispatcher::ClearTracing()
{
    std::lock_guard lock(dispatcherLock_);
    traceHead_ = 0;
    traceWrapped_ = false;
}

void TSioBaseDispatcher::AbortTracing()
{
    std::lock_guard lock(dispatcherLock_);
    tracingOn_ = false;
    trace_.clear();
    trace_.shrink_to_fit();
    traceSize_ = traceHead_ = 0;
    traceWrapped_ = false;
}

bool TSioBaseDispatcher::TracingOn() const { return tracingOn_.load(); }

int TSioBaseDispatcher::WriteTrace(const std::string& name, bool inHex, bool allHex, bool append)
{
    std::lock_guard lock(dispatcherLock_);
    if (trace_.empty() || (!traceWrapped_ && traceHead_ == 0))
        return 0;
    std::ofstream f(name, (append && fileExists(name)) ? std::ios::binary | std::ios::app
                                                        : std::ios::binary | std::ios::trunc);
    if (!f) {
        const int code = fileErrorCode(errno);
        AbortTracing();
        return code;
    }
    const std::uint32_t count = traceWrapped_ ? traceSize_ : traceHead_;
    const std::uint32_t start = traceWrapped_ ? traceHead_ : 0;
    int prevKind = -1;
    int col = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t idx = (start + i) % traceSize_;
        const char kind = static_cast<char>(trace_[idx * 2]);
        const std::uint8_t byte = trace_[idx * 2 + 1];
        if (kind != prevKind) {
            if (prevKind != -1)
                f << "\n\n";
            if (kind == 'R')
                f << "Receive: ";
            else if (kind == 'T')
                f << "Transmit: ";
            else
                f << "Special-" << kind << ": ";
            col = 0;
            prevKind = kind;
        }
        const std::string item = byteItem(byte, inHex, allHex);
        col += static_cast<int>(item.size());
        if (col > 78) {
            f << "\n";
            col = static_cast<int>(item.size());
        }
        f << item;
    }
    f << "\n";
    f.close();
    const int result = f ? 0 : fileErrorCode(errno);
    const std::uint32_t size = traceSize_;
    InitTracing(size);
    return result;
}

// ---------------------------------------------------------------------------
// Dispatch log

void TSioBaseDispatcher::InitDispatchLogging(std::uint32_t limit)
{
    std::lock_guard lock(logAddMutex_);
    logQueue_.Clear();
    logLimit_ = limit;
    loggingOn_ = true;
}

void TSioBaseDispatcher::StartDispatchLogging() { loggingOn_ = true; }
void TSioBaseDispatcher::StopDispatchLogging() { loggingOn_ = false; }

void TSioBaseDispatcher::ClearDispatchLogging()
{
    std::lock_guard lock(logAddMutex_);
    logQueue_.Clear();
}

void TSioBaseDispatcher::AbortDispatchLogging()
{
    std::lock_guard lock(logAddMutex_);
    loggingOn_ = false;
    logQueue_.Clear();
}

std::uint32_t TSioBaseDispatcher::GetDispatchTime() const
{
    return static_cast<std::uint32_t>(SioTimeGetTime() - timeBase_);
}

void TSioBaseDispatcher::AddDispatchEntry(TDispatchType type, TDispatchSubType sub, std::uint32_t data,
                                          const std::uint8_t* bytes, std::uint32_t count)
{
    if (!loggingOn_.load())
        return;
    std::lock_guard lock(logAddMutex_);
    std::unique_ptr<TIOBuffer> entry = std::make_unique<TLogBuffer>(
        static_cast<std::uint8_t>(type), static_cast<std::uint16_t>(sub), GetDispatchTime(), data, bytes,
        static_cast<std::int32_t>(count));
    logQueue_.Push(std::move(entry));
    // Keep the logged bytes within the limit, dropping the oldest entries
    // (the newest always stays).
    const std::uint32_t limit = logLimit_.load();
    while (limit > 0 && logQueue_.TotalSize() > static_cast<std::int64_t>(limit) && logQueue_.Count() > 1)
        logQueue_.Pop();
}

void TSioBaseDispatcher::AddStringToLog(const std::string& s)
{
    AddDispatchEntry(dtUser, dstNone, 0, reinterpret_cast<const std::uint8_t*>(s.data()),
                     static_cast<std::uint32_t>(s.size()));
}

int TSioBaseDispatcher::WriteDispatchLog(const std::string& name, bool inHex, bool allHex, bool append)
{
    std::lock_guard lock(dispatcherLock_);
    if (logQueue_.Count() == 0)
        return 0;
    std::ofstream f(name, (append && fileExists(name)) ? std::ios::binary | std::ios::app
                                                        : std::ios::binary | std::ios::trunc);
    if (!f)
        return fileErrorCode(errno);
    TDispatchLogEnvironment env;
    {
        std::lock_guard envLock(g_envMutex);
        env = g_env;
    }
    f << "DIDA " << kSioVersion << "\n";
    f << "Compiler : " << (env.Compiler.empty() ? CompilerName() : env.Compiler) << "\n";
    f << "Operating System : "
      << (env.OperatingSystem.empty() ? kyd::platform::operatingSystemName() : env.OperatingSystem) << "\n";
    f << "Device: " << DeviceName() << "\n";
    f << "Date/time: " << (env.DateTime.empty() ? nowText() : env.DateTime) << "\n";
    f << MessageNumberToString(kMsgLogHeader) << "\n";
    f << MessageNumberToString(kMsgLogHeader + 1) << "\n";
    while (auto buffer = logQueue_.Pop()) {
        auto* e = dynamic_cast<TLogBuffer*>(buffer.get());
        if (!e)
            continue;
        char time[16];
        // At least seven digits, wider once the time needs more.
        std::snprintf(time, sizeof time, "%04u.%03u", e->Time / 1000, e->Time % 1000);
        const std::string typeText = MessageNumberToString(kMsgDispatchTypeBase + e->DispatchType);
        const std::string subText =
            e->DispatchSubType == dstNone ? std::string() : MessageNumberToString(kMsgDispatchSubTypeBase + e->DispatchSubType);
        char row[128];
        std::snprintf(row, sizeof row, "%8s  %-8s  %-12s  %08x  ", time, typeText.c_str(), subText.c_str(), e->Data);
        f << row;
        int col = 45;
        const auto& bytes = e->MoreData;
        if (!bytes.empty()) {
            if (e->DispatchSubType == dstStatusTrigger
                && (e->DispatchType == dtTriggerAlloc || e->DispatchType == dtTriggerDispose)) {
                if (bytes[0] < std::size(kStatusKinds))
                    f << kStatusKinds[bytes[0]];
            } else {
                const bool plain = allHex && e->DispatchType == dtUser;
                for (const std::uint8_t b : bytes) {
                    const std::string item = byteItem(b, inHex, allHex, plain);
                    col += static_cast<int>(item.size());
                    if (col > 78) {
                        f << "\n" << std::string(44, ' ');
                        col = static_cast<int>(item.size()) + 45;
                    }
                    f << item;
                }
            }
        }
        if (e->DispatchSubType == dstModemStatus) {
            f << " (";
            for (int bit = 0; bit < 8; ++bit)
                if (e->Data & (1u << bit))
                    f << MessageNumberToString(kMsgModemTagBase + bit);
            f << ")";
        }
        f << "\n";
    }
    f.close();
    return f ? 0 : fileErrorCode(errno);
}

} // namespace sio
