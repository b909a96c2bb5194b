#include "platform/dialogs.h"
#include "platform/exception_sink.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace kyd::platform {

TEST(FakeDialogs, AnswersFromQueuesThenDefaults)
{
    ScopedFakeDialogs fake;
    fake->queueResult(DlgResult::Ignore);
    EXPECT_EQ(dialogs().messageDlg("Script error", DlgType::Error, DlgButtons::AbortIgnore), DlgResult::Ignore);
    // Empty queue: the first button of the set.
    EXPECT_EQ(dialogs().messageDlg("Again", DlgType::Error, DlgButtons::AbortIgnore), DlgResult::Abort);
    EXPECT_EQ(dialogs().messageDlg("Sure?", DlgType::Confirmation, DlgButtons::YesNo), DlgResult::Yes);
    EXPECT_EQ(dialogs().messageDlg("Note", DlgType::Information, DlgButtons::OkCancel), DlgResult::Ok);
    dialogs().showMessage("<b>not markup</b>");

    std::string value = "initial";
    fake->queueInput(std::string("042"));
    fake->queueInput(std::nullopt);
    EXPECT_TRUE(dialogs().inputQuery("Item", "Value:", value));
    EXPECT_EQ(value, "042");
    EXPECT_FALSE(dialogs().inputQuery("Item", "Value:", value));
    EXPECT_FALSE(dialogs().inputQuery("Item", "Value:", value)); // queue empty: cancel
    EXPECT_EQ(value, "042");

    fake->queueFile(std::string("/tmp/a.tdl"));
    fake->queueFile(std::nullopt);
    EXPECT_EQ(dialogs().openFile("Open script", "/tmp", {{"TDL scripts", "*.tdl"}}), std::string("/tmp/a.tdl"));
    EXPECT_EQ(dialogs().saveFile("Save log", "/tmp", "err.txt", {}), std::nullopt);
    EXPECT_EQ(dialogs().openFile("Open script", "/tmp", {}), std::nullopt);

    auto calls = fake->calls();
    ASSERT_EQ(calls.size(), 11u);
    EXPECT_EQ(calls[0].kind, "messageDlg");
    EXPECT_EQ(calls[0].text, "Script error");
    EXPECT_EQ(calls[0].type, DlgType::Error);
    EXPECT_EQ(calls[0].buttons, DlgButtons::AbortIgnore);
    EXPECT_EQ(calls[4].kind, "showMessage");
    EXPECT_EQ(calls[4].text, "<b>not markup</b>");
    EXPECT_EQ(calls[5].kind, "inputQuery");
    EXPECT_EQ(calls[5].text, "Value:");
    EXPECT_EQ(calls[8].kind, "openFile");
    EXPECT_EQ(calls[9].kind, "saveFile");
    EXPECT_EQ(calls[9].text, "Save log");
    fake->clear();
    EXPECT_TRUE(fake->calls().empty());
}

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
