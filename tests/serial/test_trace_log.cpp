// Trace and dispatch-log files against golden copies in data/.
#include "serial/SioExcept.h"
#include "serial/SioPosix.h"
#include "support_fake_device.h"

#include "platform/clock.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace sio::test {
namespace {

namespace pf = kyd::platform;

std::string slurp(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// Compares a produced file with data/<name>; KYD_UPDATE_GOLDEN=1 rewrites it.
void expectGolden(const std::string& produced, const std::string& name)
{
    const std::string golden = std::string(KYD_TEST_DATA_DIR) + "/" + name;
    const std::string text = slurp(produced);
    if (std::getenv("KYD_UPDATE_GOLDEN")) {
        std::ofstream(golden, std::ios::binary) << text;
        return;
    }
    EXPECT_EQ(slurp(golden), text) << "golden file " << golden;
}

class TraceLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetDispatchLogEnvironment({"TestCompiler 1.0", "TestOS 2.0", "01/02/24, 03:04:05"});
        d = std::make_unique<TSioPosixDispatcher>(nullptr, std::make_unique<FakeSerialDevice>(st));
        d->SetManualThreads(true);
        d->SetDeviceName("COM1");
        ASSERT_EQ(0, d->InitPort("/dev/fake", 9600, Parity::Even, 7, 1, 4096, 4096, 3));
        dir = ::testing::TempDir();
    }
    void TearDown() override { SetDispatchLogEnvironment({}); }
    void feed(const std::string& s)
    {
        st->push(s);
        d->ReaderStep();
        d->DispatchInputPass();
    }
    std::string path(const std::string& n) const { return dir + "/" + n; }

    pf::ScopedFakeClock clock;
    std::shared_ptr<FakeDeviceState> st = std::make_shared<FakeDeviceState>();
    std::unique_ptr<TSioPosixDispatcher> d;
    std::string dir;
};

TEST_F(TraceLog, TraceRingKeepsTheNewestEntriesOldestFirst)
{
    ASSERT_EQ(0, d->InitTracing(10));
    d->PutString("abcdefghijkl"); // 12 bytes into a ring of 10
    const std::string f = path("ring.trc");
    std::remove(f.c_str());
    ASSERT_EQ(0, d->DumpTrace(f, true, false));
    EXPECT_EQ("Transmit: cdefghijkl\n", slurp(f));
    // Dumping restarted the trace: it is empty and on.
    EXPECT_TRUE(d->TracingOn());
    EXPECT_EQ(0, d->DumpTrace(path("empty.trc"), true, false));
    EXPECT_FALSE(std::ifstream(path("empty.trc")).good());
}

TEST_F(TraceLog, TraceSizeLimits)
{
    EXPECT_EQ(ecodes::ecBadArgument, d->InitTracing(0));
    EXPECT_EQ(ecodes::ecBadArgument, d->InitTracing(kMaxTraceSize + 1));
    EXPECT_FALSE(d->TracingOn());
    EXPECT_EQ(0, d->InitTracing(kMaxTraceSize));
    d->AbortTracing();
    EXPECT_FALSE(d->TracingOn());
}

TEST_F(TraceLog, TraceFileInTheThreeModes)
{
    ASSERT_EQ(0, d->InitTracing(1000));
    d->PutString("AT Z\r\n");
    feed(std::string("OK \x01\xff", 5) + std::string(40, '.'));
    std::uint8_t buf[64];
    ASSERT_EQ(45, d->GetBlock(buf, 45));
    d->AddTraceEntry('X', 7);
    d->PutString("bye");
    const std::string plain = path("plain.trc"), hex = path("hex.trc"), all = path("all.trc");
    for (auto* f : {&plain, &hex, &all})
        std::remove(f->c_str());
    ASSERT_EQ(0, d->DumpTrace(plain, false, false));
    expectGolden(plain, "trace_plain.txt");
    // The dump cleared the ring: record the same again for the other modes.
    for (int mode = 0; mode < 2; ++mode) {
        d->PutString("AT Z\r\n");
        feed(std::string("OK \x01\xff", 5) + std::string(40, '.'));
        ASSERT_EQ(45, d->GetBlock(buf, 45));
        d->AddTraceEntry('X', 7);
        d->PutString("bye");
        ASSERT_EQ(0, d->DumpTrace(mode == 0 ? hex : all, true, mode == 1));
    }
    expectGolden(hex, "trace_hex.txt");
    expectGolden(all, "trace_allhex.txt");
    // Appending adds to the file.
    d->PutString("more");
    ASSERT_EQ(0, d->AppendTrace(all, true, true));
    EXPECT_NE(std::string::npos, slurp(all).find("[6D][6F][72][65]"));
}

TEST_F(TraceLog, DispatchLogFile)
{
    d->InitDispatchLogging(0);
    d->RegisterEventTriggerHandler(this, [](std::uint32_t, std::uint32_t, std::int32_t) {});
    const int timer = d->AddTimerTrigger();
    const int data = d->AddDataTrigger("OK", false);
    const int status = d->AddStatusTrigger(stOutSent);
    d->ChangeLengthTrigger(1);
    clock->advance(1234);
    d->SetTimerTrigger(static_cast<std::uint32_t>(timer), 3, true);
    d->PutString("AT\r");
    d->SetStatusTrigger(static_cast<std::uint32_t>(status), 0, true);
    clock->advance(1);
    feed("xOK\r");
    clock->advance(500);
    d->DispatchTimerPass();
    d->AddStringToLog("note from the component");
    d->RemoveTrigger(static_cast<std::uint32_t>(data));
    d->RemoveTrigger(static_cast<std::uint32_t>(status));
    d->SetTimerTrigger(static_cast<std::uint32_t>(timer), 0, false);
    d->DeregisterEventTriggerHandler(this);
    const std::string f = path("dida.log");
    std::remove(f.c_str());
    ASSERT_EQ(0, d->DumpDispatchLog(f, true, false));
    expectGolden(f, "dispatch_log.txt");
    // The dump emptied the queue: a second dump writes nothing.
    const std::string first = slurp(f);
    ASSERT_EQ(0, d->DumpDispatchLog(f, true, false));
    EXPECT_EQ(first, slurp(f));
}

TEST_F(TraceLog, LogLimitDropsTheOldestEntries)
{
    d->InitDispatchLogging(100);
    d->AddStringToLog(std::string(30, 'a'));
    d->AddStringToLog(std::string(30, 'b'));
    d->AddStringToLog(std::string(256, 'c')); // only this one is left
    const std::string f = path("limit.log");
    std::remove(f.c_str());
    clock->advance(12'345'678);
    d->AddStringToLog("d"); // drops the big one
    ASSERT_EQ(0, d->DumpDispatchLog(f, false, false));
    const std::string text = slurp(f);
    EXPECT_EQ(std::string::npos, text.find("aaa"));
    EXPECT_EQ(std::string::npos, text.find("ccc"));
    // The time column grows past seven digits instead of wrapping.
    EXPECT_NE(std::string::npos, text.find("\n12345.678  User"));
    EXPECT_NE(std::string::npos, text.find("00000000  d\n"));
}

TEST_F(TraceLog, UnwritableFileGivesALibraryCode)
{
    ASSERT_EQ(0, d->InitTracing(10));
    d->PutString("x");
    EXPECT_EQ(ecodes::ecFileNotFound, d->DumpTrace("/nonexistent-dir-kyd/x.trc", false, false));
    EXPECT_FALSE(d->TracingOn()); // an open error stops tracing
    d->InitDispatchLogging(0);
    d->AddStringToLog("x");
    EXPECT_EQ(ecodes::ecFileNotFound, d->DumpDispatchLog("/nonexistent-dir-kyd/x.log", false, false));
}

} // namespace
} // namespace sio::test
