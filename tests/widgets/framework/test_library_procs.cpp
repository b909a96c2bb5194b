// String helpers, free procedures and the library's string table.
#include "platform/clock.h"
#include "widgets/framework/texts.h"
#include "widgets/framework/object.h"
#include "widgets/framework/procs.h"
#include "widgets/framework/strings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <thread>

using namespace kyd::widgets;

TEST(Strings, PaddingAndSearch)
{
    EXPECT_EQ(DUDAddZeroL("7", 3), "007");
    EXPECT_EQ(DUDAddCharR("abcd", 3, '*'), "abcd");
    EXPECT_EQ(DUDAddSpaceR("ab", 4), "ab  ");
    EXPECT_EQ(DUDFillString(0, 'x'), "");
    EXPECT_EQ(DUDSpace(-3), "");
    EXPECT_EQ(DUDCount("a;b;;c", ';'), 3);
    EXPECT_EQ(DUDBackPos('/', "a/b/c"), 4);
    EXPECT_EQ(DUDBackPos('/', "abc"), 0);
    EXPECT_TRUE(DUDEmpty(" \t "));
    EXPECT_FALSE(DUDEmpty(" x "));
    EXPECT_EQ(DUDTrim("\t a b \r\n"), "a b");
    EXPECT_EQ(DUDGetFirstString("key=value", '='), "key");
    EXPECT_EQ(DUDGetSecondString("key=value", '='), "value");
    EXPECT_EQ(DUDGetSecondString("novalue", '='), "novalue");
    EXPECT_EQ(DUDGetSecondString("k=" + std::string(300, 'v'), '=').size(), 255u);
    EXPECT_EQ(DUDSlashAdd("/tmp"), "/tmp/");
    EXPECT_EQ(DUDSlashAdd("/tmp/"), "/tmp/");
    EXPECT_EQ(DUDSlashAdd(""), "/");
    EXPECT_EQ(DUDSlashRemove("/tmp/"), "/tmp");
    EXPECT_EQ(DUDSlashRemove(" "), " ");
    EXPECT_EQ(DUDScanToNumber("ab12"), 3);
    EXPECT_EQ(DUDScanToNumber("abc"), 0);
    // A two-byte character is skipped whole, even when its second byte
    // would read as a digit in a single-byte world.
    EXPECT_EQ(DUDScanToNumber("\xC3\xA4x9"), 4);
}

TEST(Strings, CodedStrings)
{
    EXPECT_EQ(DUDGetCodedCount("a;b;;c", ';'), 4);
    EXPECT_EQ(DUDGetCodedCount("", ';'), 0);
    EXPECT_EQ(DUDGetCodedString("a;b;;c", ';', 2), "");
    EXPECT_EQ(DUDGetCodedString("a;b;;c", ';', 3), "c");
    EXPECT_EQ(DUDGetCodedString("a;b;;c", ';', 0), "a");
    EXPECT_EQ(DUDGetCodedString("a;b;;c", ';', 4), "");
    EXPECT_EQ(DUDGetCodedInt("1;-20;;x", ';', 1), -20);
    EXPECT_EQ(DUDGetCodedInt("1;-20;;x", ';', 2), -1);
    EXPECT_THROW(DUDGetCodedInt("1;-20;;x", ';', 3), EDUDException);
    EXPECT_EQ(DUDCodeString({"a", "b", "c"}, 1, ','), "a,b");
    EXPECT_EQ(DUDCodeInt({1, 2, 3}, 2, ';'), "1;2;3");

    std::string s = "a;b";
    DUDSetCodedString(s, "X", ';', 0);
    EXPECT_EQ(s, "X;b");
    DUDSetCodedString(s, "Z", ';', 3);
    EXPECT_EQ(s, "X;b;;Z");
    std::string fresh;
    DUDSetCodedString(fresh, "v", ';', 2);
    EXPECT_EQ(fresh, ";;v");
}

TEST(Procs, Rectangles)
{
    EXPECT_EQ(DUDCalcRotRect({0, 0, 10, 20}, 90), (TRect{0, 0, 20, 10}));
    EXPECT_EQ(DUDCalcRotRect({0, 0, 10, 20}, 45), (TRect{0, 0, 22, 22}));
    EXPECT_EQ(DUDCalcRotRect({5, 5, 15, 25}, 0), (TRect{5, 5, 15, 25}));
    EXPECT_EQ(DUDAffineRect({0, 0, 40, 20}, {10, 10, 110, 110}), (TRect{10, 10, 110, 60}));
    EXPECT_EQ(DUDAffineRect({0, 0, 20, 40}, {10, 10, 110, 110}), (TRect{10, 10, 60, 110}));
    EXPECT_EQ(DUDAffineRect({0, 0, 0, 20}, {10, 10, 110, 110}), (TRect{10, 10, 10, 10}));
    EXPECT_EQ(DUDExpandRect({10, 10, 20, 20}, 2), (TRect{8, 8, 22, 22}));
    EXPECT_EQ(DUDAdjustRectExt({10, 10, 20, 20}, 1, 2, 3, 4), (TRect{11, 12, 23, 24}));
    EXPECT_TRUE(DUDRectinRect({1, 1, 5, 5}, {0, 0, 10, 10}));
    EXPECT_FALSE(DUDRectinRect({1, 1, 10, 5}, {0, 0, 10, 10}));
    // Text start positions keep the rotated cell inside (0, 0, ...).
    EXPECT_EQ(DUDRotatedXPos(0, 30, 10), 0);
    EXPECT_EQ(DUDRotatedYPos(0, 30, 10), 0);
    EXPECT_EQ(DUDRotatedXPos(90, 30, 10), 0);
    EXPECT_EQ(DUDRotatedYPos(90, 30, 10), 30);
    EXPECT_EQ(DUDRotatedXPos(180, 30, 10), 30);
    EXPECT_EQ(DUDRotatedYPos(180, 30, 10), 10);
    EXPECT_EQ(DUDRotatedXPos(270, 30, 10), 10);
    EXPECT_EQ(DUDRotatedYPos(270, 30, 10), 0);
}

TEST(Procs, NumbersAndBits)
{
    EXPECT_EQ(DUDExp(2, 10), 1024);
    EXPECT_EQ(DUDExp(5, 0), 1);
    EXPECT_EQ(DUDExp(5, -3), 1);
    EXPECT_EQ(DUDExp(2, 31), INT_MIN); // wraps as 32 bits
    EXPECT_EQ(DUDExp(3, INT_MAX), DUDExp(3, INT_MAX)); // squares: no spin
    EXPECT_EQ(DUDExp(-1, INT_MAX), -1);
    EXPECT_EQ(DUDMidI(INT_MAX, INT_MAX), INT_MAX);
    EXPECT_EQ(DUDMidI(-3, 0), -1);
    const int values[] = {3, -7, 12};
    EXPECT_EQ(DUDMax(values, 2), 12);
    EXPECT_EQ(DUDMin(values, 2), -7);
    EXPECT_EQ(DUDMax(values, -1), 0);
    EXPECT_EQ(DUDMin(nullptr, -1), 0);
    const TPoint pts[] = {{INT_MAX, 1}, {INT_MAX, 2}, {INT_MAX, 4}};
    TPoint mid{-5, -5};
    DUDMidpoint(pts, 3, mid);
    EXPECT_EQ(mid, (TPoint{INT_MAX, 2}));
    DUDMidpoint(pts, 0, mid);
    EXPECT_EQ(mid, (TPoint{INT_MAX, 2}));
    EXPECT_EQ(DUDSetBit(0x08, 3, false), 0x00);
    EXPECT_EQ(DUDSetBit(0x00, 3, false), 0x08);
    EXPECT_EQ(DUDSetBit(0x08, 3, true), 0x08);
    EXPECT_EQ(DUDSetBitUpTo(0x80, 2), 0x87);
    EXPECT_TRUE(DUDGetBit(0x80, 7));
    EXPECT_FALSE(DUDGetBit(0x80, 8));
}

TEST(Procs, DelayWaitsOnTheProcessClock)
{
    kyd::platform::ScopedFakeClock fake;
    std::atomic<bool> done{false};
    std::thread t([&] {
        DUDDelay(5000);
        done = true;
    });
    // Only moving the fake clock past the deadline ends the wait.
    while (!done) {
        fake->advance(1000);
        std::this_thread::yield();
    }
    t.join();
    EXPECT_GE(fake->monotonicMs(), 1'000'000 + 5000);
}

TEST(Procs, FileNamesAndFolders)
{
    EXPECT_EQ(DUDShrunkFileName("/home/user/projects/kyd/demo1.tdl", 25), "/.../kyd/demo1.tdl");
    EXPECT_EQ(DUDShrunkFileName("/home/user/projects/kyd/demo1.tdl", 40), "/home/user/projects/kyd/demo1.tdl");
    EXPECT_EQ(DUDShrunkFileName("/home/user/projects/kyd/demo1.tdl", 14), "/.../demo1.tdl");
    EXPECT_EQ(DUDShrunkFileName("/home/user/projects/kyd/demo1.tdl", 13), ".../demo1.tdl");
    EXPECT_EQ(DUDShrunkFileName("/home/user/projects/kyd/demo1.tdl", 3), "demo1.tdl");
    EXPECT_EQ(DUDShrunkFileName("C:/data/sub/file.txt", 18), "C:/.../file.txt");
    EXPECT_EQ(DUDShrunkFileName("C:/data/sub/file.txt", 13), ".../file.txt");
    EXPECT_EQ(DUDExtractFileName("/a/b/demo1.tdl"), "demo1");
    EXPECT_EQ(DUDExtractFileName(".profile"), ".profile");

    const char* oldHome = std::getenv("XDG_CONFIG_HOME");
    const char* oldDirs = std::getenv("XDG_CONFIG_DIRS");
    const std::string keepHome = oldHome ? oldHome : "";
    const std::string keepDirs = oldDirs ? oldDirs : "";
    setenv("XDG_CONFIG_HOME", "/tmp/cfg/", 1);
    setenv("XDG_CONFIG_DIRS", "relative:/etc/one:/etc/two", 1);
    EXPECT_EQ(DUDCreatePathPrefix(0, true), "/tmp/cfg/");
    EXPECT_EQ(DUDCreatePathPrefix(0, false), "/tmp/cfg");
    EXPECT_EQ(DUDCreatePathPrefix(1, false), "/etc/one");
    EXPECT_EQ(DUDCreatePathPrefix(3, true), "");
    EXPECT_EQ(DUDAppPath().back(), '/');
    EXPECT_EQ(DUDCreatePathPrefix(2, true), DUDAppPath());
    unsetenv("XDG_CONFIG_DIRS");
    EXPECT_EQ(DUDSystemDirectory(), "/etc/xdg");
    EXPECT_EQ(DUDAppIniName(), "SOFTWARE\\kyd_widgets_tests");
    oldHome ? setenv("XDG_CONFIG_HOME", keepHome.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
    if (oldDirs)
        setenv("XDG_CONFIG_DIRS", keepDirs.c_str(), 1);
}

TEST(StringTable, IdsRunInBlocksFromTheTop)
{
    const struct {
        int id;
        int expected;
        const char* text;
    } rows[] = {
        {IDS_PATH, 65520, "Path:"},
        {IDS_CUT, 65535, "&Cut"},
        {IDS_UNDO, 65504, "&Undo"},
        {IDS_SEARCHMSG1, 65508, "At top ... restart from bottom?"},
        {IDS_SEARCHMSG2, 65509, "At bottom ... restart from top?"},
        {IDS_MUSTSHOWONE, 65493, "One clock style must be active!"},
        {IDS_INVALIDOWNER, 65494, "Invalid owner (<>TForm) or second instance on a form"},
        {IDS_INTERVALNOTFIT, 65495, "Interval not compatible with MinInterval property!"},
        {IDS_NEXT, 65496, "Ne&xt >"},
        {IDS_BACK, 65497, "< &Back"},
        {IDS_PROPERTYNOTUSED, 65502, "This property is no longer used in DUD-Tools!"},
        {IDS_CLEARLISTREQUEST, 65473, "Really clear recent files list?"},
        {IDS_ALREADYSTARTED, 65474, "was already started..."},
        {IDS_TIPERROR, 65485, "No Tips available - Dialog will not be displayed..."},
        {IDS_REMOTE, 65466, "remote (network) drive"},
        {IDS_COLORDEPTH, 65446, "Colordepth (in bits)"},
        {IDS_COMPANYNAME, 65439, "CompanyName"},
        {IDS_PRODUCTNAME, 65408, "ProductName"},
        {IDS_CPUSPEED, 65414, "CPU Speed"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(r.id, r.expected) << r.text;
        EXPECT_EQ(DUDLoadStr(r.id), r.text);
    }
    EXPECT_EQ(DUDLoadStr(IDS_TRADEMARK), "LegalTrademark");
    EXPECT_EQ(DUDLoadStr(65415), ""); // the gap after the last block's seven
    EXPECT_EQ(DUDLoadStr(65407), "");
    EXPECT_EQ(DUDLoadStr(70000), "");
    for (int i = 0; i < kDUDStringCount; ++i)
        EXPECT_FALSE(DUDLoadStr(DUDStringId(i)).empty()) << i;
}
