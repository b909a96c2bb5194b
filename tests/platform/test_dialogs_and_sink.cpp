#include "platform/dialogs.h"
#include "platform/exception_sink.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace kyd::platform {

TEST(FakeDialogs, ScopesNestAndRestore)
{
    setDialogs(nullptr);
    EXPECT_THROW(dialogs(), std::logic_error);
    {
        ScopedFakeDialogs outer;
        {
            ScopedFakeDialogs inner;
            dialogs().showMessage("inner");
            EXPECT_EQ(inner->calls().size(), 1u);
        }
        dialogs().showMessage("outer");
        EXPECT_EQ(outer->calls().size(), 1u);
    }
    EXPECT_THROW(dialogs(), std::logic_error);
}

TEST(ExceptionSink, GuardedReportsToTheRecorderFromAnyThread)
{
    ExceptionRecorder rec;
    guarded("button", [] { throw std::runtime_error("bad reply"); });
    std::thread t([] { guarded("worker", [] { throw 42; }); });
    t.join();
    guarded("quiet", [] {});
    EXPECT_EQ(rec.messages(), (std::vector<std::string>{"bad reply", "unknown exception"}));
    EXPECT_EQ(rec.where(), (std::vector<std::string>{"button", "worker"}));
}

TEST(ExceptionSink, RecordersNestAndTheDefaultWritesToStderr)
{
    {
        ExceptionRecorder outer;
        {
            ExceptionRecorder inner;
            reportException(std::make_exception_ptr(std::logic_error("inner")), "x");
            EXPECT_EQ(inner.messages().size(), 1u);
        }
        reportException(std::make_exception_ptr(std::logic_error("outer")), "x");
        EXPECT_EQ(outer.messages(), std::vector<std::string>{"outer"});
    }
    ::testing::internal::CaptureStderr();
    reportException(std::make_exception_ptr(std::runtime_error("to stderr")), "timer");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "timer: to stderr\n");
}

TEST(ExceptionSink, AThrowingSinkDoesNotLoseTheReport)
{
    setExceptionSink([](std::exception_ptr, std::string_view) { throw std::runtime_error("sink broke"); });
    ::testing::internal::CaptureStderr();
    reportException(std::make_exception_ptr(std::runtime_error("original")), "handler");
    std::string out = ::testing::internal::GetCapturedStderr();
    setExceptionSink({});
    EXPECT_NE(out.find("handler: original"), std::string::npos);
    EXPECT_NE(out.find("sink broke"), std::string::npos);
}

} // namespace kyd::platform
