// Whole-file replacement on a failing machine, and ini writers in several
// processes at once.
#include "platform/ini_file.h"
#include "platform/safe_file.h"
#include "support/child_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace kyd::platform {

namespace {

class SafeFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = (fs::temp_directory_path() / "kyd-safe-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
    }
    void TearDown() override { fs::remove_all(dir); }

    static std::string read(const std::string& p)
    {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    static std::vector<std::string> entries(const std::string& d)
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(d))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path dir;
};

} // namespace

TEST_F(SafeFileTest, FailedReplaceOnATinyFileSystemLeavesTheOldFileWhole)
{
    const auto results = test::runOnTinyFileSystems(dir.string(), [](const std::string& at) -> std::string {
        std::string failures;
        const std::string ini = at + "/KYD.INI";
        {
            IniFile small(ini);
            small.writeString("Misc", "Top", "1");
            if (!small.updateFile())
                return "the small ini update failed";
        }
        const std::string before = read(ini);
        IniFile large(ini);
        for (int i = 0; i < 2000; ++i)
            large.writeString("Big", "K" + std::to_string(i), std::string(40, 'x'));
        std::string error;
        if (large.updateFile(&error))
            failures += "the large ini update reported success\n";
        else if (error.rfind(ini + ": ", 0) != 0)
            failures += "the error does not name the file: " + error + "\n";
        if (read(ini) != before)
            failures += "the ini file was changed\n";

        const std::string report = at + "/report.txt";
        if (!replaceFile(report, std::string(1000, 'a')))
            failures += "the small report was not written\n";
        int err = 0;
        const std::string big(200 * 1024, 'b');
        if (replaceFile(report, big.data(), big.size(), &error, &err))
            failures += "the large report was written\n";
        else if (err != ENOSPC && err != EFBIG)
            failures += "unexpected error " + error + "\n";
        if (read(report) != std::string(1000, 'a'))
            failures += "the old report was changed\n";
        if (entries(at) != std::vector<std::string>{"KYD.INI", "report.txt"})
            failures += "something was left behind\n";
        return failures;
    });
    EXPECT_EQ(kyd::test::tinyFileSystemFailures(results), "");
}

TEST_F(SafeFileTest, ReplaceFollowsLinksKeepsModesAndRefusesOddTargets)
{
    const std::string real = (dir / "real.txt").string();
    const std::string link = (dir / "link.txt").string();
    ASSERT_TRUE(replaceFile(real, "old"));
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("real.txt", link);
    ASSERT_TRUE(replaceFile(link, "new"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(read(real), "new");
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    const std::string fifo = (dir / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string error;
    EXPECT_FALSE(replaceFile(fifo, "x", &error));
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_FALSE(replaceFile(dir.string(), "x", &error));
    EXPECT_EQ(error, dir.string() + ": Is a directory");
    EXPECT_EQ(entries(dir.string()), (std::vector<std::string>{"fifo", "link.txt", "real.txt"}));

    // Reading: only regular files, bounded.
    std::string text;
    EXPECT_EQ(readRegularFile(fifo, 100, text, &error), ReadResult::Failed);
    EXPECT_EQ(error, fifo + ": not a regular file");
    EXPECT_EQ(readRegularFile((dir / "none").string(), 100, text), ReadResult::Missing);
    EXPECT_EQ(readRegularFile(real, 2, text, &error), ReadResult::Failed);
    EXPECT_EQ(error, real + ": larger than 2 bytes");
    EXPECT_EQ(readRegularFile(link, 3, text), ReadResult::Ok);
    EXPECT_EQ(text, "new");
    EXPECT_EQ(openRegularFile("/dev/zero", FileAccess::Read), nullptr);
}

// Two programs registering and removing a port in one ini file at once (as
// two simulators started together do): neither undoes the other's change.
TEST_F(SafeFileTest, IniObjectsInTwoProcessesLoseNothing)
{
    const std::string ini = (dir / "KYD.INI").string();
    auto together = [&](const std::function<std::string(int)>& job) {
        int gate[2];
        if (::pipe(gate) != 0)
            return std::string("pipe");
        test::Child kids[2];
        for (int k = 0; k < 2; ++k)
            kids[k] = test::startChild([&, k] {
                ::close(gate[1]);
                char c;
                while (::read(gate[0], &c, 1) < 0 && errno == EINTR) {
                }
                return job(k);
            });
        ::close(gate[0]);
        ::close(gate[1]); // both start now
        std::string reports;
        for (auto& kid : kids)
            reports += test::finishChild(kid).report;
        return reports;
    };
    int lost = 0;
    for (int round = 0; round < 30; ++round) {
        ASSERT_EQ(together([&](int k) {
                      IniFile f(ini);
                      f.writeString("SerialDevices", "COM" + std::to_string(5 + k), "/dev/pts/" + std::to_string(k));
                      std::string error;
                      return f.updateFile(&error) ? std::string() : error;
                  }),
                  "");
        IniFile after(ini);
        lost += after.readSection("SerialDevices").size() != 2;
        ASSERT_EQ(together([&](int k) {
                      IniFile f(ini);
                      f.deleteKey("SerialDevices", "COM" + std::to_string(5 + k));
                      std::string error;
                      return f.updateFile(&error) ? std::string() : error;
                  }),
                  "");
        IniFile cleared(ini);
        lost += !cleared.readSection("SerialDevices").empty();
    }
    EXPECT_EQ(lost, 0);
}

} // namespace kyd::platform

namespace kyd::platform {

TEST_F(SafeFileTest, AppendCheckLeavesFilesAsTheyWereAndRefusesOddTargets)
{
    const std::string kept = (dir / "kept.log").string();
    std::ofstream(kept, std::ios::binary) << "old lines\n";
    EXPECT_TRUE(canAppendTo(kept));
    EXPECT_EQ(read(kept), "old lines\n");
    // A missing file that can be created: checked, not left behind.
    EXPECT_TRUE(canAppendTo((dir / "new.log").string()));
    EXPECT_EQ(entries(dir.string()), std::vector<std::string>{"kept.log"});
    std::string why;
    EXPECT_FALSE(canAppendTo(dir.string(), &why));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_FALSE(canAppendTo((dir / "none" / "x.log").string(), &why));
    EXPECT_NE(why.find("none/x.log"), std::string::npos) << why;
    // A FIFO is refused without waiting for a writer.
    const std::string fifo = (dir / "pipe.log").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(canAppendTo(fifo, &why));
    EXPECT_NE(why.find("not a regular file"), std::string::npos) << why;
}

} // namespace kyd::platform
