// The stale-reply rule needs the line time of a character; the port gives
// one only on a device that clocks its bytes at the line rate. The
// simulator's pseudo-terminal stands for each kind of device through a
// made-up kernel tty table.
#include "support_pty_link.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace kyd::link::test {
namespace {

class LineTime : public PtyLinkFixture {
protected:
    void SetUp() override
    {
        tables_ = std::filesystem::temp_directory_path() / ("kyd_line_time_" + std::to_string(::getpid()) + ".drivers");
        struct stat st {};
        ASSERT_EQ(::stat(std::filesystem::canonical(linkPath).c_str(), &st), 0);
        maj_ = std::to_string(major(st.st_rdev));
    }
    void TearDown() override { std::filesystem::remove(tables_); }

    // The line time after opening the port with the device listed under
    // the driver.
    std::int64_t LineTimeAs(const std::string& driver, const std::string& node)
    {
        std::ofstream(tables_) << driver << "  " << node << "  " << maj_ << " 0-1048575 serial\n";
        platform::SerialPresenceRoots roots;
        roots.ttyDrivers = tables_.string();
        port->SetDeviceTables(roots);
        port->Close();
        OpenPort();
        return port->LineMicrosPerChar();
    }

    std::filesystem::path tables_;
    std::string maj_;
};

TEST_F(LineTime, OnlyAUartGivesTheStaleReplyRuleALineTime)
{
    EXPECT_EQ(LineTimeAs("serial", "/dev/ttyS"), 1041);        // 10 bits at 9600 baud
    EXPECT_EQ(LineTimeAs("usbserial", "/dev/ttyUSB"), 1041);
    EXPECT_EQ(LineTimeAs("acm", "/dev/ttyACM"), 0);
    // A USB communication-class device answers within milliseconds: its
    // reply is the command's own, however soon it comes.
    cmd->SendCommand("0", 20);
    ExpectStatus(195, 48);
    EXPECT_EQ(com->Discarded(), "");
}

} // namespace
} // namespace kyd::link::test
