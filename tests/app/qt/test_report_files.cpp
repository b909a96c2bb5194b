// Saved reports on a full or size-limited file system: the save fails with
// the system's reason and the old report stays whole.
#include "app/qt/ReportFiles.h"
#include "support/child_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(ReportFiles, SavingOverAReportOnATinyFileSystemKeepsTheOldOne)
{
    const fs::path dir = fs::temp_directory_path() / ("kyd_reports_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const auto results = kyd::test::runOnTinyFileSystems(dir.string(), [](const std::string& at) -> std::string {
        const std::string file = at + "/ModuleErrLog.txt";
        std::string reason;
        const std::string old = "    Module Error Log\r\n" + std::string(2000, 'o');
        if (!kyd::app::WriteTextFile(file, old, reason))
            return "the small report was not written: " + reason;
        if (kyd::app::WriteTextFile(file, std::string(300 * 1024, 'n'), reason))
            return "the large report was reported written";
        if (reason.empty())
            return "no reason given";
        std::ifstream f(file, std::ios::binary);
        if (std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()) != old)
            return "the old report became " + std::to_string(fs::file_size(file)) + " bytes";
        if (std::distance(fs::directory_iterator(at), fs::directory_iterator()) != 1)
            return "something was left behind";
        return {};
    });
    EXPECT_EQ(kyd::test::tinyFileSystemFailures(results), "");
    fs::remove_all(dir);
}
