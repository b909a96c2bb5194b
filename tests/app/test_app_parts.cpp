// The Qt-free parts of the tester: busy indicator, demo files, version
// information.
#include "app/BusyIndicator.h"
#include "app/DemoFiles.h"
#include "app/ProjectRCVersion.h"
#include "app/VersionInfo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace kyd::app {
namespace {

using Change = BusyIndicator::Change;

TEST(BusyIndicatorTest, BatchIgnoresSingleCommandsUntilItsEnd)
{
    BusyIndicator b;
    EXPECT_EQ(b.Set(2, 1000), Change::Busy);
    EXPECT_EQ(b.Set(1, 2000), Change::Ignored);
    EXPECT_EQ(b.Set(0, 3000), Change::Ignored);
    EXPECT_EQ(b.Set(2, 3500), Change::Ignored); // a nested 2 does not restart the time
    EXPECT_EQ(b.Set(3, 6000), Change::Idle);
    EXPECT_EQ(b.State(), 0);
    EXPECT_EQ(b.Elapsed(6000), "0:00:05");
}

TEST(BusyIndicatorTest, EndOfBatchWithoutABatchLeavesItIdle)
{
    BusyIndicator b;
    EXPECT_EQ(b.Set(3, 0), Change::Idle);
    EXPECT_FALSE(b.Busy());
    // 2, 2, 3, 3: the second 3 comes after the batch ended.
    for (int s : {2, 2, 3, 3})
        b.Set(s, 10);
    EXPECT_FALSE(b.Busy());
    // A 3 also ends a single command's busy state.
    EXPECT_EQ(b.Set(1, 20), Change::Busy);
    EXPECT_EQ(b.Set(3, 30), Change::Idle);
    EXPECT_FALSE(b.Busy());
}

TEST(BusyIndicatorTest, ElapsedTimeFormat)
{
    EXPECT_EQ(FormatElapsed(0), "0:00:00");
    EXPECT_EQ(FormatElapsed(999), "0:00:00");
    EXPECT_EQ(FormatElapsed(59'999), "0:00:59");
    EXPECT_EQ(FormatElapsed(3'600'000 - 1), "0:59:59");
    EXPECT_EQ(FormatElapsed(36'000'000), "10:00:00");
    EXPECT_EQ(FormatElapsed(100LL * 3'600'000 + 61'000), "100:01:01");
    EXPECT_EQ(FormatElapsed(-5), "0:00:00");
}

TEST(DemoFilesTest, GridOfRowsAndColumns)
{
    auto grid = [](int n) { DemoGrid g = DemoLayout(n); return std::make_pair(g.Rows, g.Cols); };
    EXPECT_EQ(grid(0), std::make_pair(0, 0));
    EXPECT_EQ(grid(1), std::make_pair(1, 1));
    EXPECT_EQ(grid(3), std::make_pair(1, 3));
    EXPECT_EQ(grid(4), std::make_pair(2, 2));
    EXPECT_EQ(grid(5), std::make_pair(2, 3));
    EXPECT_EQ(grid(8), std::make_pair(2, 4));
    EXPECT_EQ(grid(9), std::make_pair(3, 3));
    EXPECT_EQ(grid(15), std::make_pair(3, 5));
    EXPECT_EQ(grid(16), std::make_pair(4, 4));
    EXPECT_EQ(grid(17), std::make_pair(4, 5));
}

class DemoDirTest : public ::testing::Test {
protected:
    DemoDirTest()
    {
        dir = (std::filesystem::temp_directory_path() / ("kyd_demo_" + std::to_string(::getpid()))).string();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    ~DemoDirTest() override { std::filesystem::remove_all(dir); }
    void Write(const std::string& name, const std::string& text)
    {
        std::ofstream(dir + "/" + name, std::ios::binary) << text;
    }
    std::string dir;
};

TEST_F(DemoDirTest, FindsOnlyDemoQuestionMarkFilesSorted)
{
    for (const char* n : {"demo2.tdl", "DEMO1.TDL", "demo10.tdl", "demo.tdl", "demoA.tdl", "xdemo1.tdl", "demo3.txt"})
        Write(n, "");
    std::filesystem::create_directory(dir + "/demo4.tdl");
    EXPECT_EQ(FindDemoFiles(dir), (std::vector<std::string>{"DEMO1.TDL", "demo2.tdl", "demoA.tdl"}));
    EXPECT_TRUE(FindDemoFiles(dir + "/none").empty());
}

TEST_F(DemoDirTest, CaptionFromTheFirstLine)
{
    Write("demo1.tdl", "//   Dispense test\r\nDISPENSE\r\n");
    Write("demo2.tdl", "// 123456789012345678901234567890\n");
    Write("demo3.tdl", "RESET // comment\n");
    Write("demo4.tdl", "//   \n");
    Write("demo5.tdl", "//\tTabbed");
    EXPECT_EQ(DemoCaption(dir, "demo1.tdl"), "Dispense test");
    EXPECT_EQ(DemoCaption(dir, "demo2.tdl"), "1234567890123456789");
    EXPECT_EQ(DemoCaption(dir, "demo3.tdl"), "demo3.tdl");
    EXPECT_EQ(DemoCaption(dir, "demo4.tdl"), "demo4.tdl");
    EXPECT_EQ(DemoCaption(dir, "demo5.tdl"), "Tabbed");
    EXPECT_EQ(DemoCaption(dir, "demo9.tdl"), "demo9.tdl"); // cannot be read
}

TEST_F(DemoDirTest, AFifoOfADemoNameIsNeitherOfferedNorRead)
{
    Write("demo2.tdl", "// Regular\n");
    const std::string fifo = dir + "/demo1.tdl";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A writer holds the FIFO open with a first line waiting in it, so that
    // a reader that opens it gets that line instead of blocking.
    const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    const std::string line = "// From the pipe\n";
    ASSERT_EQ(::write(fd, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    EXPECT_EQ(FindDemoFiles(dir), (std::vector<std::string>{"demo2.tdl"}));
    EXPECT_EQ(DemoCaption(dir, "demo1.tdl"), "demo1.tdl");
    EXPECT_EQ(DemoCaption(dir, "demo2.tdl"), "Regular");
    ::close(fd);
}

TEST(ProjectRCVersionTest, TranslationSelectsTheStringTable)
{
    VersionBlock b;
    b.Translation = {0x04E40409u}; // language 0x0409 low, code page 0x04E4 high, as stored
    b.Values["\\StringFileInfo\\040904e4\\ProductName"] = "Tester";
    b.Values["\\StringFileInfo\\040704b0\\ProductName"] = "Pruefer";
    ProjectRCVersion v(b);
    EXPECT_EQ(v.Translation(), 0x040904E4u);
    EXPECT_EQ(v.SubBlockPath("ProductName"), "\\StringFileInfo\\040904e4\\ProductName");
    std::string s;
    ASSERT_TRUE(v.GetProductName(s));
    EXPECT_EQ(s, "Tester");
    EXPECT_FALSE(v.GetLegalCopyright(s)); // not in the table
    EXPECT_EQ(VerQueryValue(b, "\\VarFileInfo\\Translation"), std::optional<std::string>("04e40409"));
}

TEST(ProjectRCVersionTest, NoBlockOrNoTranslationAnswersNothing)
{
    std::string s = "kept";
    ProjectRCVersion none(std::optional<VersionBlock>{});
    EXPECT_FALSE(none.GetProductName(s));
    ProjectRCVersion other("/no/such/file");
    EXPECT_FALSE(other.GetProductVersion(s));
    VersionBlock b;
    b.Values["\\StringFileInfo\\00000000\\ProductName"] = "x";
    ProjectRCVersion noTranslation(b);
    EXPECT_FALSE(noTranslation.GetProductName(s));
    EXPECT_EQ(s, "kept");
}

} // namespace
} // namespace kyd::app
