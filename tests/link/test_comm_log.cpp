// The communication log: stamps, golden files, append per exchange, a log
// file that cannot be opened.
#include "support_fixture.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kyd::link::test {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// In a child process: 40 bytes fit under a 64-byte limit, the next 40 do not.
int AppendUnderSizeLimit(const std::string& path)
{
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64, 64};
    setrlimit(RLIMIT_FSIZE, &limit);
    const bool first = AppendLogLines(path, {std::string(40, 'a')}) == LogWrite::Written;
    const bool second = AppendLogLines(path, {std::string(40, 'b')}) == LogWrite::Failed;
    return first && second ? 0 : 1;
}

class CommLog : public LinkFixture {
protected:
    void SetUp() override
    {
        // Stamps are local time; the golden files are written for UTC.
        setenv("TZ", "UTC", 1);
        tzset();
        dir = fs::temp_directory_path() / ("kyd_link_log_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        options.settings.LogFile = (dir / "KYD.LOG").string();
        options.settings.LoggingEnabled = true;
        OpenPort();
    }
    void TearDown() override { fs::remove_all(dir); }

    // "3" answered after 115 ms, then "5" that times out after 20 s.
    void TwoExchanges()
    {
        port->QueueReply("0");
        StepClockOnWrite(115);
        cmd->SendCommand("3", 5);
        port->QueueSilence();
        StepClockOnWrite(TCom::TimeoutTicks(20) * 55);
        cmd->SendCommand("5", 20);
    }

    void ExpectGolden(bool time, bool date, const char* golden)
    {
        options.settings.TimeStamp = time;
        options.settings.DateStamp = date;
        TwoExchanges();
        EXPECT_EQ(ReadFile(options.settings.LogFile), ReadFile(fs::path(KYD_TEST_DATA_DIR) / golden));
        EXPECT_TRUE(dialogs.calls().empty());
    }

    fs::path dir;
};

TEST_F(CommLog, GoldenTimeStamp)
{
    ExpectGolden(true, false, "log_time.txt");
}

TEST_F(CommLog, GoldenDateAndTimeStamp)
{
    ExpectGolden(true, true, "log_datetime.txt");
}

TEST_F(CommLog, GoldenDateStamp)
{
    ExpectGolden(false, true, "log_date.txt");
}

TEST_F(CommLog, GoldenNoStamp)
{
    ExpectGolden(false, false, "log_none.txt");
}

TEST_F(CommLog, AppendsAcrossExchangesAndOnlyWhenEnabled)
{
    options.settings.TimeStamp = false;
    options.settings.DateStamp = false;
    {
        std::ofstream pre(options.settings.LogFile);
        pre << "earlier\n";
    }
    port->QueueReply("0");
    cmd->SendCommand("3", 5);
    // Complete on disk after every exchange.
    EXPECT_EQ(ReadFile(options.settings.LogFile), "earlier\nOut: 333\nIn : 030\n");
    options.settings.LoggingEnabled = false;
    port->QueueReply("0");
    cmd->SendCommand("3", 5);
    EXPECT_EQ(ReadFile(options.settings.LogFile), "earlier\nOut: 333\nIn : 030\n");
}

TEST_F(CommLog, OverrideFileWinsUntilCleared)
{
    options.settings.TimeStamp = false;
    options.settings.DateStamp = false;
    cmd->LogFileOverride = (dir / "script.log").string();
    port->QueueReply("0");
    cmd->SendCommand("3", 5);
    cmd->LogFileOverride.clear();
    port->QueueReply("0");
    cmd->SendCommand("0", 5);
    EXPECT_EQ(ReadFile(dir / "script.log"), "Out: 333\nIn : 030\n");
    EXPECT_EQ(ReadFile(options.settings.LogFile), "Out: 030\nIn : 030\n");
}

TEST_F(CommLog, UnopenableFileIsReportedAndExchangeUnaffected)
{
    options.settings.LogFile = (dir / "missing" / "KYD.LOG").string();
    for (int i = 0; i < 2; ++i) {
        port->QueueReply("0");
        cmd->SendCommand("3", 5);
        EXPECT_EQ(cmd->Reply, "0");
        ExpectStatus(195, 48);
        EXPECT_FALSE(cmd->Busy());
    }
    auto calls = dialogs.calls();
    ASSERT_EQ(calls.size(), 1u); // said once, not at every exchange
    EXPECT_EQ(calls[0].text, "Could not open Log file: \n" + options.settings.LogFile);
    EXPECT_EQ(calls[0].coding, platform::TextCoding::FileSystem); // the name as the file system gives it
    EXPECT_EQ(calls[0].type, platform::DlgType::Error);
    EXPECT_EQ(calls[0].buttons, platform::DlgButtons::Ok);
    EXPECT_EQ(mainWindow.StatusTexts.size(), 2u);
}

TEST_F(CommLog, AnUnopenableFileIsToldAgainOnlyAfterSomethingChanged)
{
    const std::string missing = (dir / "missing" / "KYD.LOG").string();
    options.settings.LogFile = missing;
    auto exchange = [this] {
        port->QueueReply("0");
        cmd->SendCommand("3", 5);
        EXPECT_EQ(cmd->Reply, "0");
    };
    auto said = [this] {
        const auto n = dialogs.calls().size();
        dialogs.clear();
        return n;
    };
    exchange();
    exchange();
    EXPECT_EQ(said(), 1u);
    // Another file in force that cannot be opened either: told.
    options.settings.LogFile = (dir / "gone" / "KYD.LOG").string();
    exchange();
    exchange();
    EXPECT_EQ(said(), 1u);
    // Logging switched off and on again: told again.
    options.settings.LoggingEnabled = false;
    exchange();
    options.settings.LoggingEnabled = true;
    exchange();
    exchange();
    EXPECT_EQ(said(), 1u);
    // The file could be written for a while: a new trouble is told.
    options.settings.LogFile = missing;
    exchange();
    EXPECT_EQ(said(), 1u);
    fs::create_directory(dir / "missing");
    exchange();
    EXPECT_EQ(said(), 0u);
    EXPECT_FALSE(ReadFile(missing).empty());
    fs::remove_all(dir / "missing");
    exchange();
    exchange();
    EXPECT_EQ(said(), 1u);
}

TEST_F(CommLog, FailedWriteIsReportedAndExchangeUnaffected)
{
    // In a child process under a file-size limit of 0: the log opens fine,
    // but no byte fits, which the first exchange says (and not every one).
    auto run = [this] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{0, 0};
        setrlimit(RLIMIT_FSIZE, &limit);
        bool ok = true;
        for (int i = 0; i < 2; ++i) {
            port->QueueReply("0");
            cmd->SendCommand("3", 5);
            ok = ok && cmd->Reply == "0" && model.StatusClass == 195 && model.StatusCode == 48;
        }
        cmd->LogAnnotation("note");
        const auto calls = dialogs.calls();
        ok = ok && calls.size() == 1u; // said once
        for (const auto& c : calls)
            ok = ok && c.text == "Could not write Log file: \n" + options.settings.LogFile &&
                 c.type == platform::DlgType::Error;
        return ok && AppendLogLines(options.settings.LogFile, {"x"}) == LogWrite::Failed ? 0 : 1;
    };
    EXPECT_EXIT(std::exit(run()), ::testing::ExitedWithCode(0), "");
}

// A FIFO, a device or a folder as the log is refused at once: the exchange
// goes on and the log's error is shown, nothing blocks on the file.
TEST_F(CommLog, LogThatIsNoRegularFileIsNotOpened)
{
    const fs::path fifo = dir / "fifo.log";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo.string(), dir.string(), std::string("/dev/full")}) {
        SCOPED_TRACE(path);
        dialogs.clear();
        options.settings.LogFile = path;
        port->QueueReply("0");
        cmd->SendCommand("3", 5);
        ExpectStatus(195, 48);
        const auto calls = dialogs.calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].text, "Could not open Log file: \n" + path);
        EXPECT_EQ(AppendLogLines(path, {"x"}), LogWrite::NotOpened);
    }
}

TEST_F(CommLog, FileSizeLimitIsAFailedWrite)
{
    // Under a file-size limit the lines that do not fit are a failed
    // write (the limit's signal ignored, as the program does).
    const std::string path = options.settings.LogFile;
    EXPECT_EXIT(std::exit(AppendUnderSizeLimit(path)), ::testing::ExitedWithCode(0), "");
}

TEST_F(CommLog, AnnotationLine)
{
    cmd->LogAnnotation("hello");
    EXPECT_EQ(ReadFile(options.settings.LogFile), "// <<17/05/2024 12:03:04>> hello\n");
}

TEST(CommLogFormat, StampsHaveFixedFormats)
{
    setenv("TZ", "UTC", 1);
    tzset();
    const DateTime t{std::chrono::milliseconds(946684800000LL + 7)}; // 01/01/2000 00:00:00.007
    EXPECT_EQ(FormatLogStamp(t, true, false), "00:00:00.007");
    EXPECT_EQ(FormatLogStamp(t, true, true), "01/01/00 00:00:00.007");
    EXPECT_EQ(FormatLogStamp(t, false, true), "01/01/00");
    EXPECT_EQ(FormatLogStamp(t, false, false), "");
    EXPECT_EQ(FormatDateTime(t), "01/01/2000 00:00:00");
}

} // namespace
} // namespace kyd::link::test
