// The application object's log file, exception handling and pattern
// bitmaps, and the once-per-form guard.
#include "platform/clock.h"
#include "platform/exception_sink.h"
#include "widgets/services/application.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

using namespace kyd::widgets;
namespace pf = kyd::platform;
namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

struct LogDir {
    fs::path dir = fs::temp_directory_path() / ("kyd_log_" + std::to_string(::getpid()));
    LogDir() { fs::create_directories(dir); }
    ~LogDir() { fs::remove_all(dir); }
};

} // namespace

TEST(ApplicationLog, EntriesHeaderAndSizeLimit)
{
    pf::ScopedFakeClock clock;
    LogDir d;
    TDUDApplication app("kyd-test-log", false);
    app.SetLogPrefix(TDUDPathPrefix::ppFixed);
    app.SetLogName((d.dir / "t.log").string());
    app.Title = "Tester";
    app.OnLogHeader = [](void*, std::vector<std::string>& lines) { lines.push_back("extra"); };
    ASSERT_TRUE(app.LogWrite("first"));
    ASSERT_TRUE(app.LogWrite("#Line"));
    ASSERT_TRUE(app.LogWrite("second"));
    std::string log = Read(app.LogName());
    EXPECT_EQ(0u, log.find("\nLogFile started: "));
    EXPECT_NE(std::string::npos, log.find("Application    : Tester\n"));
    EXPECT_NE(std::string::npos, log.find("extra\n" + std::string(80, '*') + "\n\nEntries:\n00001: first\n"));
    EXPECT_NE(std::string::npos, log.find(std::string(80, '-') + "\n00002: second\n"));

    // A second object appends with option 4 off, without a new header.
    app.Options = 32;
    {
        TDUDApplication later("kyd-test-log2", false);
        later.SetLogPrefix(TDUDPathPrefix::ppFixed);
        later.SetLogName(app.LogName());
        later.Options = 32;
        ASSERT_TRUE(later.LogWrite("third"));
    }
    log = Read(app.LogName());
    EXPECT_EQ(std::string::npos, log.find("LogFile started", 2));
    EXPECT_NE(std::string::npos, log.find("00001: third\n"));

    // Past the limit: cancelled, then renamed to .l0 and started anew.
    app.LogSize = 101;
    bool cancel = true;
    app.OnLogSizeExceeded = [&](void*, bool& c) { c = cancel; };
    EXPECT_FALSE(app.LogWrite("dropped"));
    cancel = false;
    app.LogSizeAction = 2;
    ASSERT_TRUE(app.LogWrite("fresh"));
    EXPECT_EQ(log, Read(d.dir / "t.l0"));
    log = Read(app.LogName());
    EXPECT_EQ(0u, log.find("\nLogFile started: ")); // a new file has its header
    EXPECT_NE(std::string::npos, log.find("Entries:\n00003: fresh\n"));
}

TEST(ApplicationLog, ExceptionsGoToTheHandlerTheLogAndTheSink)
{
    pf::ScopedFakeClock clock;
    LogDir d;
    TDUDApplication app("kyd-test-exc", false);
    app.SetLogPrefix(TDUDPathPrefix::ppFixed);
    app.SetLogName((d.dir / "e.log").string());
    app.Options = 8;
    std::vector<std::string> shown;
    pf::setExceptionSink([&](std::exception_ptr e, std::string_view) { shown.push_back(pf::describeException(e)); });
    const auto e = std::make_exception_ptr(std::runtime_error("boom"));
    app.OnException = [](const TDUDSender& s, std::exception_ptr, bool& handled) { handled = s.Name == "Mine"; };
    app.HandleException({"TDUDMeter", "Mine"}, e);
    EXPECT_TRUE(shown.empty());
    EXPECT_FALSE(fs::exists(app.LogName()));
    app.HandleException({"TDUDMeter", "Other"}, e);
    app.HandleException({"TDUDMeter", ""}, e);
    pf::setExceptionSink({});
    EXPECT_EQ((std::vector<std::string>{"boom", "boom"}), shown);
    const std::string log = Read(app.LogName());
    EXPECT_NE(std::string::npos, log.find("TDUDMeter (Name: Other): boom, Address: "));
    EXPECT_NE(std::string::npos, log.find("\nTDUDMeter: boom, Address: "));
}

TEST(ApplicationLog, PatternBitmapsAndTheOncePerFormGuard)
{
    TDUDApplication app("kyd-test-brush", false);
    const auto red = app.GetBrushBitmap(clRed);
    ASSERT_EQ(64u, red->Pixels.size());
    EXPECT_EQ(clWhite, red->Pixels[0]);
    EXPECT_EQ(clRed, red->Pixels[1]);
    EXPECT_EQ(clRed, red->Pixels[8]);
    EXPECT_EQ(clWhite, red->Pixels[9]);
    EXPECT_EQ(red, app.GetBrushBitmap(clRed)); // kept while the colour stays
    EXPECT_EQ(clBlue, app.GetBrushBitmap(clBlue)->Pixels[1]);
    EXPECT_EQ(clBlack, app.GetBitmap()->Pixels[1]);

    const std::vector<std::string> one{"A", "B"}, two{"A", "B", "A"};
    EXPECT_FALSE(DUDCheckForSameClass(true, false, one, "A", false));
    EXPECT_TRUE(DUDCheckForSameClass(true, false, two, "A", false));
    EXPECT_FALSE(DUDCheckForSameClass(true, false, two, "", false));
    EXPECT_TRUE(DUDCheckForSameClass(false, true, one, "A", false));
    EXPECT_FALSE(DUDCheckForSameClass(false, true, one, "A", true));
    try {
        DUDEOneInstError("TDUDFormShape");
        ADD_FAILURE();
    } catch (const EDUDOneInst& e) {
        EXPECT_STREQ("TDUDFormShape:\nAlready one TDUDFormShape control in this project!", e.what());
    }
}
