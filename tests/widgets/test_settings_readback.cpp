// Settings read back what was written: typed values that do not convert give
// the caller's default, per-user sections are read where they were written,
// colour lists skip lines without a name, and the registry-like store lists
// only the program's own sections.
#include "platform/ini_file.h"
#include "widgets/dud_ini_ctrl.h"
#include "widgets/dud_text_forms.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace kyd::widgets;
namespace fs = std::filesystem;

namespace {

class ReadBack : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("kyd-readback-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        DUDSetRegistryFolders((dir / "user").string(), (dir / "machine").string());
        file = (dir / "test.ini").string();
        ini.SetTarget(TDUDIniTarget::itIniFile);
        ini.SetIniPrefix(TDUDPathPrefix::ppFixed);
        ini.SetIniFile(file);
    }
    void TearDown() override
    {
        DUDSetRegistryFolders({}, {});
        fs::remove_all(dir);
    }
    fs::path dir;
    std::string file;
    TDUDIniCtrl ini;
};

} // namespace

TEST_F(ReadBack, PointsAndRectanglesThatDoNotConvertGiveTheDefault)
{
    for (const char* bad : {"abc", "[1,x]", "7", "[1,2", "1,2,3,4"}) {
        ini.WriteString("V", "P", bad);
        EXPECT_EQ(ini.ReadPoint("V", "P", {8, 9}), (TPoint{8, 9})) << bad;
    }
    for (const char* bad : {"abc", "1,2,3", "1,2,3,", "1,a,3,4", "1,2,3,4,5"}) {
        ini.WriteString("V", "R", bad);
        EXPECT_EQ(ini.ReadRect("V", "R", {5, 6, 7, 8}), (TRect{5, 6, 7, 8})) << bad;
    }
    ini.WriteString("V", "P", "[ 0 , -3 ]");
    EXPECT_EQ(ini.ReadPoint("V", "P", {8, 9}), (TPoint{0, -3}));
    ini.WriteString("V", "R", "0,0,0,0");
    EXPECT_EQ(ini.ReadRect("V", "R", {5, 6, 7, 8}), (TRect{}));

    // A final delimiter starts no piece: three numbers and a comma are three pieces.
    EXPECT_EQ(DUDStringToRect("1,2,3,"), (TRect{}));
    EXPECT_EQ(DUDStringToRect("1,2,3,4,"), (TRect{1, 2, 3, 4}));
    EXPECT_EQ(DUDStringToRect("1,2,,4"), (TRect{1, 2, 0, 4}));
}

TEST_F(ReadBack, SectionValuesFollowThePerUserSectionAndColourListsSkipNamelessLines)
{
    ini.SetCommon(false);
    ini.SetUser("bob");
    ini.WriteString("Col", "A", "1");
    ini.WriteString("Col", "B", "2");
    std::vector<std::string> values;
    ini.ReadSectionValues("Col", values);
    EXPECT_EQ(values, (std::vector<std::string>{"A=1", "B=2"}));

    // Colour lists keep their section as given, for every user.
    ini.WriteColorList("Colours", {"=x", "Back=clRed", "no name", "Fore=$00112233", "Empty="});
    kyd::platform::IniFile raw(file);
    EXPECT_EQ(raw.readString("Colours", "Back", ""), "clRed");
    EXPECT_EQ(raw.readString("Colours", "Fore", ""), "$00112233");
    EXPECT_TRUE(raw.sectionExists("Colours"));
    std::vector<std::string> colours;
    ini.ReadColorList("Colours", colours);
    EXPECT_EQ(colours, (std::vector<std::string>{"Back=clRed", "Fore=$00112233", "Empty="}));
}

TEST_F(ReadBack, RegistrySectionsAreOnlyThoseUnderTheOwnKey)
{
    ini.SetTarget(TDUDIniTarget::itRegistry);
    ini.SetRegPath("Software\\Ours");
    ini.WriteString("Window", "Left", "1");
    ini.WriteString("Window\\Deep", "X", "2");
    ini.WriteString("#ROOT", "Top", "3");
    ini.WriteString("Grid", "Rows", "4");
    TDUDIniCtrl other;
    other.SetTarget(TDUDIniTarget::itRegistry);
    other.SetRegPath("Software\\Theirs");
    other.WriteString("Secret", "K", "v");
    other.SetRegPath("Software\\Ours2");
    other.WriteString("Near", "K", "v");

    std::vector<std::string> sections;
    ini.ReadSections(sections);
    EXPECT_EQ(sections, (std::vector<std::string>{"Window", "Grid"}));
}
