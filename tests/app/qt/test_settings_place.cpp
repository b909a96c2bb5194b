// Where the tester keeps its settings when the program is installed in a
// folder it cannot write, and the file shipped beside it cannot be read.
#include "support_app.h"

#include "app/qt/PLVRMain.h"
#include "app/qt/StatusList.h"
#include "platform/ini_place.h"

#include <QAction>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace kyd::app::test {
namespace {

class SettingsPlaceTest : public AppFixture {
protected:
    // The program in bin/, a folder it cannot write; the user's
    // configuration folder is config/.
    void ChooseAsTheProgramDoes()
    {
        const std::string bin = Path("bin");
        const platform::IniChoice choice = platform::settleIniPlace(platform::chooseIniPlace(
            bin + "/kydtest", Path("config"), [bin](const std::string& folder) { return folder != bin; }));
        iniPath = choice.path;
        iniNotice = choice.notice;
    }
    std::vector<platform::FakeDialogs::Call> Shown()
    {
        std::vector<platform::FakeDialogs::Call> out = dialogs.calls();
        dialogs.clear();
        return out;
    }

    // The user's file starts empty with one notice, keeps what the operator
    // changed, and the next start reads it back without a word.
    void StartsEmptyOnceAndKeepsTheSettings(const std::string& reason)
    {
        const std::string userFile = Path("config/kydtest/kydtest.INI");
        ChooseAsTheProgramDoes();
        EXPECT_EQ(iniPath, userFile);
        Start();
        std::vector<platform::FakeDialogs::Call> shown = Shown();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].kind, "messageDlg");
        EXPECT_EQ(shown[0].type, platform::DlgType::Information);
        EXPECT_EQ(shown[0].text, "The settings file beside the program cannot be read:\n" + Path("bin/kydtest.INI") +
                                     ": " + reason + "\n\nThe settings start empty and are kept in:\n" + userFile);
        EXPECT_EQ(App().Ini().readInteger("Communication", "ComPort", -1), -1); // nothing of the shipped file
        EXPECT_FALSE(App().StatusListFrame().isVisible());
        Main().ViewStatusMenuItem->trigger();
        ASSERT_TRUE(App().StatusListFrame().isVisible());
        Quit();
        EXPECT_TRUE(Shown().empty()); // saved without complaint

        ChooseAsTheProgramDoes();
        EXPECT_EQ(iniPath, userFile);
        EXPECT_EQ(iniNotice, "");
        Start();
        EXPECT_TRUE(Shown().empty());
        EXPECT_TRUE(App().StatusListFrame().isVisible());
        EXPECT_TRUE(Main().ViewStatusMenuItem->isChecked());
    }
};

// A file the settings code cannot open, whoever runs the test: a FIFO in
// place of the shipped file is refused unread, as an unreadable file is.
TEST_F(SettingsPlaceTest, AShippedFileThatCannotBeOpenedGivesAnEmptyUsersFileWithOneNotice)
{
    std::filesystem::create_directories(Path("bin"));
    ASSERT_EQ(::mkfifo(Path("bin/kydtest.INI").c_str(), 0600), 0);
    StartsEmptyOnceAndKeepsTheSettings("not a regular file");
}

// The shipped file is another user's, mode 0600: the process may not read
// it. Root reads any file, so there the case is the one above.
TEST_F(SettingsPlaceTest, AShippedFileOfAnotherUserGivesAnEmptyUsersFileWithOneNotice)
{
    std::filesystem::create_directories(Path("bin"));
    WriteFile("bin/kydtest.INI", "[Communication]\nComPort=4\n");
    std::filesystem::permissions(Path("bin/kydtest.INI"), std::filesystem::perms::none);
    if (::access(Path("bin/kydtest.INI").c_str(), R_OK) == 0)
        GTEST_SKIP() << "this process reads any file (root)";
    StartsEmptyOnceAndKeepsTheSettings("Permission denied");
}

} // namespace
} // namespace kyd::app::test
