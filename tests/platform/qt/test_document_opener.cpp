// The desktop opener: its failures reach the callback on the main thread.
#include "platform/qt/qt_document_opener.h"

#include <QTest>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace kyd::platform {
namespace {

// Runs the opener and waits for it to end.
std::optional<std::string> Outcome(const std::string& program)
{
    QtDocumentOpener opener(program);
    std::optional<std::string> reason;
    bool done = false;
    opener.open("/tmp/nothing.chm", "/tmp", [&](const std::string& r) {
        reason = r;
        done = true;
    });
    const bool ended = QTest::qWaitFor([&] { return done || !opener.running(); }, 5000);
    EXPECT_TRUE(ended);
    return reason;
}

TEST(QtDocumentOpenerTest, OpenerThatCannotStartIsReported)
{
    auto r = Outcome("/no/such/opener");
    ASSERT_TRUE(r);
    EXPECT_NE(r->find("/no/such/opener could not be started"), std::string::npos) << *r;
}

TEST(QtDocumentOpenerTest, OpenerEndingWithAnErrorCodeIsReported)
{
    auto r = Outcome("false"); // exits with 1
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, QtDocumentOpener::exitCodeText(1));
}

TEST(QtDocumentOpenerTest, SuccessfulOpenReportsNothing)
{
    EXPECT_FALSE(Outcome("true"));
}

TEST(QtDocumentOpenerTest, ExitCodesHaveReadableTexts)
{
    EXPECT_EQ(QtDocumentOpener::exitCodeText(2), "the file does not exist");
    EXPECT_EQ(QtDocumentOpener::exitCodeText(3), "no application to open it was found");
    EXPECT_NE(QtDocumentOpener::exitCodeText(9).find("code 9"), std::string::npos);
}

} // namespace
} // namespace kyd::platform
