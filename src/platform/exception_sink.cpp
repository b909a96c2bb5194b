#include "platform/exception_sink.h"

#include <cstdio>

namespace kyd::platform {

namespace {
std::mutex g_sinkMutex;
ExceptionSink g_sink;

void writeToStderr(std::exception_ptr e, std::string_view where) noexcept
{
    try {
        std::string text = describeException(e);
        std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(where.size()), where.data(), text.c_str());
        std::fflush(stderr);
    } catch (...) {
        std::fputs("unreportable exception\n", stderr);
    }
}
} // namespace

void setExceptionSink(ExceptionSink sink)
{
    std::lock_guard<std::mutex> g(g_sinkMutex);
    g_sink = std::move(sink);
}

ExceptionSink exceptionSink()
{
    std::lock_guard<std::mutex> g(g_sinkMutex);
    return g_sink;
}

void reportException(std::exception_ptr e, std::string_view where) noexcept
{
    ExceptionSink sink;
    try {
        sink = exceptionSink();
    } catch (...) {
    }
    if (!sink) {
        writeToStderr(e, where);
        return;
    }
    try {
        sink(e, where);
    } catch (...) {
        // A failing sink must not lose the original report.
        writeToStderr(e, where);
        writeToStderr(std::current_exception(), "exception sink");
    }
}

std::string describeException(std::exception_ptr e)
{
    if (!e)
        return "no exception";
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& ex) {
        return ex.what();
    } catch (...) {
        return "unknown exception";
    }
}

ExceptionRecorder::ExceptionRecorder() : previous_(exceptionSink())
{
    setExceptionSink([this](std::exception_ptr e, std::string_view where) {
        std::string text = describeException(e);
        std::lock_guard<std::mutex> g(mutex_);
        messages_.push_back(std::move(text));
        where_.emplace_back(where);
    });
}

ExceptionRecorder::~ExceptionRecorder()
{
    setExceptionSink(std::move(previous_));
}

std::vector<std::string> ExceptionRecorder::messages() const
{
    std::lock_guard<std::mutex> g(mutex_);
    return messages_;
}

std::vector<std::string> ExceptionRecorder::where() const
{
    std::lock_guard<std::mutex> g(mutex_);
    return where_;
}

} // namespace kyd::platform
