// The serial port list, on a pseudo-terminal standing in for a serial port
// and on a made-up kernel tty table and sysfs tree.
#include "link/Serialdevicelist.h"
#include "platform/port_resolver.h"
#include "platform/pty.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace kyd::link {
namespace {

namespace fs = std::filesystem;

class SerialPortList : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int n = 1; n <= 50; ++n)
            unsetenv(("KYD_COM" + std::to_string(n)).c_str());
        platform::setPortResolverUsesSharedIni(false);
        platform::clearPortPathOverrides();
        dir = fs::temp_directory_path() / ("kyd_link_ports_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "sys");
        roots.ttyDrivers = (dir / "drivers").string();
        roots.sysClassTty = (dir / "sys").string();
        // Every port is mapped somewhere harmless unless a test maps it.
        for (int n = 1; n <= 50; ++n)
            platform::setPortPathOverride(n, (dir / "none").string());
    }
    void TearDown() override
    {
        platform::clearPortPathOverrides();
        platform::setPortResolverUsesSharedIni(true);
        fs::remove_all(dir);
    }

    void WriteDrivers(const std::string& text)
    {
        std::ofstream(roots.ttyDrivers) << text;
    }
    void WriteUartType(const std::string& name, const std::string& type)
    {
        fs::create_directories(dir / "sys" / name);
        std::ofstream(dir / "sys" / name / "type") << type << "\n";
    }
    std::vector<std::string> List(int* count = nullptr)
    {
        std::vector<std::string> list{"stale"};
        int n = TSerialDeviceList(roots).GetPortList(list);
        if (count)
            *count = n;
        return list;
    }

    static constexpr const char* kPtyDrivers =
        "/dev/tty             /dev/tty        5       0 system:/dev/tty\n"
        "pty_slave            /dev/pts      136 0-1048575 pty:slave\n"
        "pty_master           /dev/ptm      128 0-1048575 pty:master\n";

    fs::path dir;
    platform::SerialPresenceRoots roots;
};

TEST_F(SerialPortList, ListsPresentTtysInPortOrderWithoutOpeningThem)
{
    platform::PtyMaster pty; // keeps its slave open, as a program using the port would
    WriteDrivers(kPtyDrivers);
    std::ofstream(dir / "plain") << "x";
    fs::create_symlink(pty.slavePath(), dir / "link");
    platform::setPortPathOverride(3, pty.slavePath());
    platform::setPortPathOverride(1, (dir / "link").string());
    platform::setPortPathOverride(2, (dir / "plain").string());  // not a device
    platform::setPortPathOverride(4, "/dev/null");              // a device, not a tty
    platform::setPortPathOverride(5, "/dev/tty");               // the controlling tty, not a line
    platform::setPortPathOverride(49, pty.slavePath());
    platform::setPortPathOverride(50, pty.slavePath());         // never listed
    int count = 0;
    EXPECT_EQ(List(&count), (std::vector<std::string>{"COM1", "COM3", "COM49"}));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(TSerialDeviceList::DeviceName(3), pty.slavePath());
}

TEST_F(SerialPortList, OnlyDriversOfTheKernelTableCount)
{
    platform::PtyMaster pty;
    platform::setPortPathOverride(1, pty.slavePath());
    WriteDrivers("serial               /dev/ttyS       4 64-111 serial\n");
    EXPECT_TRUE(List().empty());
    fs::remove(roots.ttyDrivers);
    EXPECT_TRUE(List().empty());
}

TEST_F(SerialPortList, TtySNeedsARealUart)
{
    struct stat st {};
    if (::stat("/dev/ttyS0", &st) != 0 || !S_ISCHR(st.st_mode))
        GTEST_SKIP() << "no /dev/ttyS0 node on this machine";
    WriteDrivers("serial               /dev/ttyS       4 64-111 serial\n"
                 "unknown              /dev/tty        4 1-63 console\n");
    platform::setPortPathOverride(1, "/dev/ttyS0");
    WriteUartType("ttyS0", "0");
    EXPECT_TRUE(List().empty());
    WriteUartType("ttyS0", "4");
    EXPECT_EQ(List(), (std::vector<std::string>{"COM1"}));
    // Without a sysfs entry the kernel table decides.
    fs::remove_all(dir / "sys" / "ttyS0");
    EXPECT_EQ(List(), (std::vector<std::string>{"COM1"}));
}

// The pseudo-terminal's slave stands for each kind of device in turn: the
// kernel table says which driver its major belongs to.
TEST_F(SerialPortList, OnlyUartsAndUsbSerialConvertersClockBytesAtTheLineRate)
{
    platform::PtyMaster pty;
    struct stat st {};
    ASSERT_EQ(::stat(pty.slavePath().c_str(), &st), 0);
    const std::string maj = std::to_string(major(st.st_rdev));
    auto clocks = [&](const std::string& driverLine) {
        WriteDrivers(driverLine);
        return platform::serialDeviceClocksBytes(pty.slavePath(), roots);
    };
    EXPECT_TRUE(clocks("serial  /dev/ttyS  " + maj + " 0-1048575 serial\n"));
    EXPECT_TRUE(clocks("usbserial  /dev/ttyUSB  " + maj + " 0-1048575 serial\n"));
    EXPECT_TRUE(clocks("ttyAMA  /dev/ttyAMA  " + maj + " 0-1048575 serial\n"));
    EXPECT_FALSE(clocks("acm  /dev/ttyACM  " + maj + " 0-1048575 serial\n"));
    EXPECT_FALSE(clocks("g_serial  /dev/ttyGS  " + maj + " 0-1048575 serial\n"));
    EXPECT_FALSE(clocks(kPtyDrivers));
    EXPECT_FALSE(clocks("serial  /dev/ttyS  4 64-111 serial\n")); // not its driver
    // Not a line at all.
    WriteDrivers("serial  /dev/ttyS  " + maj + " 0-1048575 serial\n");
    EXPECT_FALSE(platform::serialDeviceClocksBytes("/dev/null", roots));
    EXPECT_FALSE(platform::serialDeviceClocksBytes((dir / "missing").string(), roots));
    EXPECT_FALSE(platform::serialDeviceClocksBytes("", roots));
}

} // namespace
} // namespace kyd::link
