// The settings component on ini files and the registry-like store, and the
// text forms of points, rectangles, fonts and colours.
#include "platform/ini_file.h"
#include "platform/program_path.h"
#include "widgets/services/application.h"
#include "widgets/services/ini_ctrl.h"
#include "widgets/storage/text_forms.h"

#include "support_locale.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <sstream>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kyd::widgets;
namespace fs = std::filesystem;

namespace {

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class Store : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("kyd-settings-" + std::to_string(::getpid()) + "-" +
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

TEST(TextForms, PointsRectanglesFontsAndColours)
{
    EXPECT_EQ(DUDPointToString({10, -20}), "[10,-20]");
    EXPECT_EQ(DUDStringToPoint("[10,-20]"), (TPoint{10, -20}));
    EXPECT_EQ(DUDStringToPoint("[ 3 , x ]"), (TPoint{3, 0}));
    EXPECT_EQ(DUDStringToPoint("7"), (TPoint{0, 0}));
    EXPECT_EQ(DUDStringToPoint(",5]"), (TPoint{0, 0}));
    EXPECT_EQ(DUDRectToString({0, 0, 640, 480}), "0,0,640,480");
    EXPECT_EQ(DUDStringToRect("0,0,640,480"), (TRect{0, 0, 640, 480}));
    EXPECT_EQ(DUDStringToRect("1,2,3"), (TRect{}));
    EXPECT_EQ(DUDStringToRect("1,a,3,4"), (TRect{1, 0, 3, 4}));
    EXPECT_EQ(DUDStringToRect("1,2,3,99999999999"), (TRect{1, 2, 3, 0}));

    TFont f;
    f.Name = "Arial";
    f.Size = 10;
    f.Bold = true;
    EXPECT_EQ(DUDFontToString(f), "Arial,10,clWindowText,1,0,0,0");
    TFont g;
    ASSERT_TRUE(DUDStringToFont("Arial,10,clWindowText,1,0,0,0", g));
    EXPECT_EQ(g.Name, "Arial");
    EXPECT_EQ(g.Size, 10);
    EXPECT_TRUE(g.Bold);
    EXPECT_FALSE(g.Italic);
    ASSERT_TRUE(DUDStringToFont("Mono,big,$00FF0000,0,1,1,1", g));
    EXPECT_EQ(g.Size, 10);
    EXPECT_EQ(g.Color, clBlue);
    EXPECT_TRUE(g.StrikeOut);
    TFont odd;
    odd.Name = "A,B"; // a name with the delimiter does not come back
    TFont h;
    EXPECT_FALSE(DUDStringToFont(DUDFontToString(odd), h));
    EXPECT_EQ(h.Name, "");

    TColor c = 0;
    EXPECT_EQ(ColorToString(clRed), "clRed");
    EXPECT_EQ(ColorToString(0x123456), "$00123456");
    EXPECT_TRUE(StringToColor("clbtnface", c));
    EXPECT_EQ(c, clBtnFace);
    EXPECT_TRUE(StringToColor("$00123456", c));
    EXPECT_EQ(c, 0x123456);
    EXPECT_FALSE(StringToColor("red-ish", c));
    EXPECT_EQ(c, 0x123456);
}

TEST(TextForms, FontsReadAndWriteTheSameUnderACommaDecimalLocale)
{
    std::string why;
    if (!kyd::test_support::haveCommaLocale(&why))
        GTEST_SKIP() << why;
    kyd::test_support::ScopedProcessLocale de(kyd::test_support::kCommaLocale);
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5"); // the locale is in force

    TFont f;
    f.Name = "DejaVu Sans";
    f.Size = 10.5;
    f.Italic = true;
    const std::string text = DUDFontToString(f);
    EXPECT_EQ(text, "DejaVu Sans,10.50,clWindowText,0,1,0,0");
    TFont g;
    ASSERT_TRUE(DUDStringToFont(text, g));
    EXPECT_EQ(g.Size, 10.5);
    EXPECT_TRUE(g.Italic);

    // A style is on for a number other than 0 only.
    ASSERT_TRUE(DUDStringToFont("A,9.25,clRed,abc, 2 ,0x1,-1", g));
    EXPECT_EQ(g.Size, 9.25);
    EXPECT_FALSE(g.Bold);
    EXPECT_TRUE(g.Italic);
    EXPECT_FALSE(g.Underline);
    EXPECT_TRUE(g.StrikeOut);
}

TEST_F(Store, SectionsMapByTargetUserAndLastUse)
{
    ini.WriteInteger("Main", "Width", 640);
    EXPECT_EQ(ini.ReadInteger("", "Width", 0), 640); // the last section used
    ini.SetCommon(false);
    ini.SetUser("bob");
    ini.WriteString("Main", "Who", "bob's");
    ini.WriteString("#ROOT", "X", "1"); // an ordinary section in ini files
    kyd::platform::IniFile raw(file);
    EXPECT_EQ(raw.readString("Main.bob", "Who", ""), "bob's");
    EXPECT_EQ(raw.readString("#ROOT.bob", "X", ""), "1");
    ini.SetSection("Other");
    EXPECT_EQ(ini.Section(), "Other.bob");

    // Automatic target: the registry store of the current user, under the
    // application's default path; "#ROOT" is the path itself.
    TDUDApplication app("kyd-test-store", false);
    app.Title = "Tester";
    TDUDIniCtrl reg;
    reg.WriteString("Window", "Left", "5");
    reg.WriteString("#ROOT", "Top", "6");
    kyd::platform::IniFile user(DUDRegistryFile(TDUDRegRootKey::rpCurrentUser));
    EXPECT_EQ(user.readString("Software\\Tester\\Window", "Left", ""), "5");
    EXPECT_EQ(user.readString("Software\\Tester", "Top", ""), "6");
    EXPECT_EQ(reg.ReadString("Window", "Left", ""), "5");
    reg.SetRegRoot(TDUDRegRootKey::rpLocalMachine);
    reg.SetRegPath("Software\\Maker");
    reg.WriteInteger("Setup", "Level", 3);
    EXPECT_EQ(kyd::platform::IniFile(DUDRegistryFile(TDUDRegRootKey::rpLocalMachine))
                  .readInteger("Software\\Maker\\Setup", "Level", 0),
              3);
    EXPECT_EQ(DUDGetRootKey(TDUDRegRootKey::rpCurrentConfig), 0x80000005u);
}

TEST_F(Store, TypedValuesFallBackOnTextThatDoesNotConvert)
{
    ini.WriteFloat("V", "F", 2.5);
    EXPECT_EQ(ini.ReadFloat("V", "F", 0), 2.5);
    ini.WriteString("V", "Bad", "abc");
    EXPECT_EQ(ini.ReadFloat("V", "Bad", 1.5), 1.5);
    EXPECT_EQ(ini.ReadInteger("V", "Bad", 7), 7);
    EXPECT_EQ(ini.ReadColor("V", "Bad", clRed), clRed);
    ini.WriteColor("V", "C", clBtnFace);
    EXPECT_EQ(ini.ReadColor("V", "C", clRed), clBtnFace);
    ini.WritePoint("V", "P", {3, 4});
    EXPECT_EQ(ini.ReadPoint("V", "P", {}), (TPoint{3, 4}));
    EXPECT_EQ(ini.ReadPoint("V", "Missing", {8, 9}), (TPoint{8, 9}));
    ini.WriteRect("V", "R", {1, 2, 3, 4});
    EXPECT_EQ(ini.ReadRect("V", "R", {}), (TRect{1, 2, 3, 4}));
    TFont f;
    f.Name = "Keep";
    EXPECT_FALSE(ini.ReadFont("V", "NoFont", f));
    EXPECT_EQ(f.Name, "Keep");
    f.Italic = true;
    ini.WriteFont("V", "Font", f);
    TFont g;
    EXPECT_TRUE(ini.ReadFont("V", "Font", g));
    EXPECT_EQ(g.Name, "Keep");
    EXPECT_TRUE(g.Italic);
    ini.WriteDateTime("V", "When", 45443.5); // 2024-05-31 12:00
    EXPECT_EQ(kyd::platform::IniFile(file).readString("V", "When", ""), "2024-05-31 12:00:00");
    EXPECT_EQ(ini.ReadDateTime("V", "When", 0), 45443.5);
    EXPECT_EQ(ini.ReadDate("V", "When", 0), 45443);
    EXPECT_EQ(ini.ReadTime("V", "When", 0), 0.5);
    ini.WriteDate("V", "Day", 2);
    EXPECT_EQ(kyd::platform::IniFile(file).readString("V", "Day", ""), "1900-01-01");
    ini.WriteString("V", "Feb", "2023-02-30");
    EXPECT_EQ(ini.ReadDate("V", "Feb", 7), 7);
    EXPECT_EQ(ini.ReadTime("V", "Bad", 0.25), 0.25);
    ini.WriteBool("V", "B", true);
    EXPECT_TRUE(ini.ReadBool("V", "B", false));
    ini.DeleteKey("V", "B");
    EXPECT_FALSE(ini.ReadBool("V", "B", false));
}

TEST_F(Store, NumberedListsAndLetterCounters)
{
    std::vector<std::string> twenty;
    for (int i = 0; i < 20; ++i)
        twenty.push_back("line" + std::to_string(i));
    ini.WriteStrings("L", "Item", twenty);
    std::vector<std::string> keys;
    ini.ReadSection("L", keys);
    EXPECT_EQ(keys.size(), 16u);
    ini.DeleteKey("L", "Item2");
    std::vector<std::string> back;
    ini.ReadStrings("L", "Item", back);
    EXPECT_EQ(back, (std::vector<std::string>{"line0", "line1"}));

    ini.SetAlphaCounter(true);
    ini.SetMaxEntries(30);
    EXPECT_EQ(ini.MaxEntries(), 16);
    std::vector<std::string> thirty(30, "x");
    ini.WriteStringsExt("A", "E", thirty, 30);
    ini.ReadSection("A", keys);
    ASSERT_EQ(keys.size(), 26u);
    EXPECT_EQ(keys.front(), "EA");
    EXPECT_EQ(keys.back(), "EZ");
    ini.ReadStringsExt("A", "E", back, 30);
    EXPECT_EQ(back.size(), 26u);

    ini.WriteColorList("Colors", {"ColorA=FFFFFF", "no equals", "ColorB=000000"});
    ini.ReadColorList("Colors", back);
    EXPECT_EQ(back, (std::vector<std::string>{"ColorA=FFFFFF", "ColorB=000000"}));
}

TEST_F(Store, NamesThatWouldWriteAnotherKeyAreRefusedAndBadStoresKept)
{
    ini.WriteString("S", "K", "v");
    const std::string before = slurp(file);
    EXPECT_THROW(ini.WriteString("S", "a=b", "v"), EDUDException);
    EXPECT_THROW(ini.WriteString("S", "K", "one\ntwo=2"), EDUDException);
    EXPECT_THROW(ini.WriteString("S]x", "K", "v"), EDUDException);
    EXPECT_THROW(ini.WriteString("S", "[T]", "v"), EDUDException);
    EXPECT_THROW(ini.WriteString("S\r\n[T", "K", "v"), EDUDException);
    EXPECT_EQ(slurp(file), before);

    // A store too large to read is neither read nor rewritten.
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << "[S]\nK=v\n" << std::string(kyd::platform::IniFile::kMaxFileSize, ';');
    }
    const std::string big = slurp(file);
    EXPECT_EQ(ini.ReadString("S", "K", "def"), "def");
    EXPECT_THROW(ini.WriteString("S", "K", "new"), EDUDException);
    EXPECT_TRUE(slurp(file) == big);

    // A write that cannot be done raises.
    TDUDIniCtrl nowhere;
    nowhere.SetTarget(TDUDIniTarget::itIniFile);
    nowhere.SetIniPrefix(TDUDPathPrefix::ppFixed);
    nowhere.SetIniFile((dir / "missing-folder" / "x.ini").string());
    EXPECT_THROW(nowhere.WriteString("S", "K", "v"), EDUDException);
}

TEST_F(Store, ObjectsAndFileNames)
{
    TDUDIniCtrl src;
    src.SetUser("carol");
    src.SetMaxEntries(9);
    src.SetTarget(TDUDIniTarget::itIniFile);
    ini.WriteObject("Obj", src);
    kyd::platform::IniFile raw(file);
    EXPECT_EQ(raw.readSection("Obj"), (std::vector<std::string>{"User", "MaxEntries", "Target"}));
    TDUDIniCtrl dst;
    ini.ReadObject("Obj", dst);
    EXPECT_EQ(dst.User(), "carol");
    EXPECT_EQ(dst.MaxEntries(), 9);
    EXPECT_EQ(dst.Target(), TDUDIniTarget::itIniFile);
    EXPECT_FALSE(dst.UsesRegistry());

    TDUDIniCtrl named;
    named.SetIniFile("settings");
    EXPECT_EQ(named.IniFile(), "settings.INI");
    named.SetIniPrefix(TDUDPathPrefix::ppProgram);
    EXPECT_EQ(named.GetIniName(), kyd::platform::executableDir() + "/settings.INI");
}

TEST_F(Store, TwoProcessesWritingOneFileLoseNothing)
{
    constexpr int kWrites = 1000;
    pid_t kids[2];
    for (int k = 0; k < 2; ++k) {
        kids[k] = ::fork();
        ASSERT_GE(kids[k], 0);
        if (kids[k] == 0) {
            int rc = 0;
            try {
                for (int i = 0; i < kWrites; ++i)
                    ini.WriteInteger("P" + std::to_string(k), "K" + std::to_string(i), i);
            } catch (...) {
                rc = 1;
            }
            ::_exit(rc);
        }
    }
    for (pid_t kid : kids) {
        int status = 0;
        ::waitpid(kid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    kyd::platform::IniFile raw(file);
    for (int k = 0; k < 2; ++k) {
        const auto keys = raw.readSection("P" + std::to_string(k));
        EXPECT_EQ(keys.size(), static_cast<std::size_t>(kWrites)) << k;
    }
}

// Settings read back what was written: typed values that do not convert give
// the caller's default, per-user sections are read where they were written,
// colour lists skip lines without a name, and the registry-like store lists
// only the program's own sections.
TEST_F(Store, PointsAndRectanglesThatDoNotConvertGiveTheDefault)
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

TEST_F(Store, SectionValuesFollowThePerUserSectionAndColourListsSkipNamelessLines)
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

TEST_F(Store, RegistrySectionsAreOnlyThoseUnderTheOwnKey)
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

TEST_F(Store, TheDefaultFolderIsMadeOnTheFirstWrite)
{
    // A fresh account: no configuration folder yet.
    const fs::path config = dir / "home" / ".config";
    kyd::test_support::ScopedEnv xdg("XDG_CONFIG_HOME", config.string());
    TDUDIniCtrl fresh;
    fresh.SetTarget(TDUDIniTarget::itIniFile);
    fresh.SetIniFile("fresh.ini");
    ASSERT_EQ(fresh.IniPrefix(), TDUDPathPrefix::ppWindows);
    EXPECT_EQ(fresh.ReadString("S", "K", "none"), "none");
    fresh.WriteString("S", "K", "kept");
    EXPECT_TRUE(fs::exists(config / "fresh.ini"));
    EXPECT_EQ(fresh.ReadString("S", "K", "none"), "kept");
}

TEST_F(Store, ASectionNoFileCanHoldReadsAsEmpty)
{
    ini.WriteString("S", "K", "v");
    EXPECT_EQ(ini.ReadString("a]b", "K", "def"), "def");
    EXPECT_EQ(ini.ReadInteger("a]b", "K", 7), 7);
    std::vector<std::string> list{"old"};
    ini.ReadSection("a]b", list);
    EXPECT_TRUE(list.empty());
    list = {"old"};
    ini.ReadStrings("a]b", "K", list);
    EXPECT_TRUE(list.empty());
    list = {"old"};
    ini.ReadColorList("a]b", list);
    EXPECT_TRUE(list.empty());
    EXPECT_THROW(ini.WriteString("a]b", "K", "v"), EDUDException);
    EXPECT_EQ(ini.ReadString("S", "K", "def"), "v");
}

TEST_F(Store, ReadsGoOnWhileAnotherReaderHoldsTheFolder)
{
    ini.WriteString("S", "K", "v");
    // Another reader's shared lock on the folder, taken by hand.
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_SH), 0);
    auto read = std::async(std::launch::async, [this] { return ini.ReadString("S", "K", "def"); });
    const bool done = read.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    ::close(fd); // lets a read that waited for an exclusive lock finish
    EXPECT_TRUE(done) << "the read waited for the other reader";
    EXPECT_EQ(read.get(), "v");
}

TEST(StoreKeys, TheRegistryKeyIsTheProgramsNameWithOrWithoutTheApplicationObject)
{
    std::string exe = kyd::platform::executablePath();
    exe = exe.substr(exe.rfind('/') + 1);
    const std::string expected = "Software\\" + exe + "\\";
    ASSERT_EQ(DUDApplication(), nullptr);
    EXPECT_EQ(DUDApplicationDefaultRegPath(), expected);
    TDUDApplication app({}, false);
    EXPECT_EQ(app.GetDefaultRegPath(), expected);
    EXPECT_EQ(DUDApplicationDefaultRegPath(), expected);
}
