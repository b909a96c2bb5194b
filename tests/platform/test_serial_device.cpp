// Port names and the tty device layer on a pseudo-terminal.
#include "platform/ini_file.h"
#include "platform/port_resolver.h"
#include "platform/pty.h"
#include "platform/pty_modem.h"
#include "platform/serial_device.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace kyd::platform {
namespace {

TEST(PortResolver, DefaultTable)
{
    EXPECT_EQ("/dev/ttyS0", defaultPortPath(1));
    EXPECT_EQ("/dev/ttyS7", defaultPortPath(8));
    EXPECT_EQ("/dev/ttyUSB0", defaultPortPath(9));
    EXPECT_EQ("/dev/ttyUSB15", defaultPortPath(24));
    EXPECT_EQ("/dev/ttyACM0", defaultPortPath(25));
    EXPECT_EQ("/dev/ttyACM15", defaultPortPath(40));
    EXPECT_EQ("", defaultPortPath(41));
    EXPECT_EQ("", defaultPortPath(0));
}

TEST(PortResolver, OverridesComeBeforeEnvironmentIniAndTable)
{
    const std::string iniPath = ::testing::TempDir() + "/resolver.ini";
    {
        std::ofstream f(iniPath);
        f << "[SerialDevices]\nCOM5=/dev/from-ini\nCOM42=/dev/ttyXR0\n";
    }
    IniFile ini(iniPath);
    setPortResolverIni(&ini);
    EXPECT_EQ("/dev/from-ini", resolvePortPath(5));
    EXPECT_EQ("/dev/ttyXR0", resolvePortPath(42));
    EXPECT_EQ("/dev/ttyS5", resolvePortPath(6));
    ::setenv("KYD_COM5", "/dev/from-env", 1);
    EXPECT_EQ("/dev/from-env", resolvePortPath(5));
    setPortPathOverride(5, "/dev/from-test");
    EXPECT_EQ("/dev/from-test", resolvePortPath(5));
    setPortPathOverride(5, "");
    EXPECT_EQ("/dev/from-env", resolvePortPath(5));
    ::unsetenv("KYD_COM5");
    clearPortPathOverrides();
    setPortResolverIni(nullptr);
}

class PtyDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(master, 0);
        ASSERT_EQ(0, ::grantpt(master));
        ASSERT_EQ(0, ::unlockpt(master));
        char name[128];
        ASSERT_EQ(0, ::ptsname_r(master, name, sizeof name));
        slave = name;
    }
    void TearDown() override
    {
        dev->close();
        if (master >= 0)
            ::close(master);
    }
    int master = -1;
    std::string slave;
    std::unique_ptr<SerialDevice> dev = createPosixSerialDevice();
};

// A pseudo-terminal has no line time: the link knows it by its device.
TEST_F(PtyDevice, PseudoTerminalsAreKnownByTheirDevice)
{
    EXPECT_TRUE(isPseudoTerminalDevice(slave));
    const std::string link = "/tmp/kyd_pts_link_" + std::to_string(::getpid());
    ASSERT_EQ(0, ::symlink(slave.c_str(), link.c_str()));
    EXPECT_TRUE(isPseudoTerminalDevice(link)); // links are followed
    ::unlink(link.c_str());
    EXPECT_FALSE(isPseudoTerminalDevice("/dev/null"));
    EXPECT_FALSE(isPseudoTerminalDevice("/dev/ptmx")); // the master side's multiplexer
    EXPECT_FALSE(isPseudoTerminalDevice("/etc/hostname"));
    EXPECT_FALSE(isPseudoTerminalDevice(""));
    EXPECT_FALSE(isPseudoTerminalDevice("/no/such/device"));
}

TEST_F(PtyDevice, RawSettingsReadBackIncludingCustomBaud)
{
    ASSERT_EQ(kDevOk, dev->open(slave));
    EXPECT_TRUE(dev->modemLinesEmulated());
    LineSettings s;
    s.baud = 28800;
    s.dataBits = 7;
    s.parity = Parity::Even;
    s.stopBits = 2;
    s.xonXoffOut = true;
    ASSERT_EQ(kDevOk, dev->setSettings(s));
    LineSettings back;
    ASSERT_EQ(kDevOk, dev->getSettings(back));
    EXPECT_EQ(s, back);
    s.baud = 115200;
    ASSERT_EQ(kDevOk, dev->setSettings(s));
    ASSERT_EQ(kDevOk, dev->getSettings(back));
    EXPECT_EQ(115200u, back.baud);
    s.dataBits = 9;
    EXPECT_EQ(kDevInvalid, dev->setSettings(s));
    // Raw: a carriage return passes unchanged.
    ASSERT_EQ(1, ::write(master, "\r", 1));
    WakeEvent wake;
    ASSERT_EQ(WaitResult::Ready, dev->waitReadable(wake, 2000));
    char c = 0;
    EXPECT_EQ(1, dev->read(&c, 1));
    EXPECT_EQ('\r', c);
}

TEST_F(PtyDevice, SecondOpenIsBusyAndMissingIsNotFound)
{
    ASSERT_EQ(kDevOk, dev->open(slave));
    auto other = createPosixSerialDevice();
    EXPECT_EQ(kDevBusy, other->open(slave));
    EXPECT_EQ(kDevNotFound, other->open("/dev/no-such-tty-kyd"));
    EXPECT_EQ(kDevNotSerial, other->open("/dev/null"));
}

TEST_F(PtyDevice, EmulatedCtsWithOverrides)
{
    ASSERT_EQ(kDevOk, dev->open(slave));
    unsigned lines = 0;
    ASSERT_EQ(kDevOk, dev->modemLines(lines));
    EXPECT_EQ(0u, lines);
    dev->setRts(true);
    dev->setDtr(true);
    ASSERT_EQ(kDevOk, dev->modemLines(lines));
    EXPECT_EQ(kLineCts | kLineDsr | kLineDcd, lines);
    setPtyCtsOverride(slave, PtyCtsOverride{std::nullopt, 1000000});
    dev->setRts(false);
    dev->setRts(true);
    dev->modemLines(lines);
    EXPECT_FALSE(lines & kLineCts); // rise delayed
    setPtyCtsOverride(slave, PtyCtsOverride{true, 0});
    dev->setRts(false);
    dev->modemLines(lines);
    EXPECT_TRUE(lines & kLineCts); // forced high
    clearPtyCtsOverride(slave);
    dev->modemLines(lines);
    EXPECT_FALSE(lines & kLineCts);
}

TEST_F(PtyDevice, HangupWhenTheMasterCloses)
{
    ASSERT_EQ(kDevOk, dev->open(slave));
    ::close(master);
    master = -1;
    WakeEvent wake;
    const WaitResult w = dev->waitReadable(wake, 2000);
    EXPECT_TRUE(w == WaitResult::Hangup || w == WaitResult::Ready); // the read tells
    char c;
    EXPECT_EQ(kDevHangup, dev->read(&c, 1));
}

TEST(WakeEvents, SignalWakesOneWait)
{
    WakeEvent a, b;
    EXPECT_FALSE(a.wait(0));
    b.signal();
    WakeEvent* both[2] = {&a, &b};
    EXPECT_EQ(1, waitAny(both, 2, 1000));
    EXPECT_EQ(-1, waitAny(both, 2, 0));
}

} // namespace
} // namespace kyd::platform
