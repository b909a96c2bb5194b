// System information: the parsers of the kernel's files, the figures of
// this machine, the fixed values and the caption layout.
#include "platform/program_path.h"
#include "platform/system_info.h"
#include "platform/version_block.h"
#include "widgets/services/sysinfo.h"

#include "support_locale.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

using namespace kyd::widgets;
namespace pf = kyd::platform;

TEST(SystemInfoParsers, MeminfoMountsAndOsRelease)
{
    const auto m = pf::parseMeminfo("MemTotal:       16318480 kB\nHugePages_Total:       0\nbad line\n"
                                    "X: 99999999999999999999999 kB\nSwapFree: 12 kB");
    EXPECT_EQ(m.at("MemTotal"), 16318480ull * 1024);
    EXPECT_EQ(m.at("HugePages_Total"), 0u);
    EXPECT_EQ(m.at("SwapFree"), 12u * 1024);
    EXPECT_EQ(m.count("X"), 0u);

    const auto mounts = pf::parseMounts("/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/my\\040disk vfat rw 0 0\n"
                                        "short\n/dev/x /y\\13 ext4\n");
    ASSERT_EQ(mounts.size(), 3u);
    EXPECT_EQ(mounts[1].mountPoint, "/media/my disk");
    EXPECT_EQ(mounts[2].mountPoint, "/y\\13");

    const auto os = pf::parseOsRelease("# c\nNAME=\"Debian GNU/Linux\"\nID=debian\nPRETTY_NAME='x y'\n"
                                       "BAD=\"open\nlower=1\nQ=\"a\\\"b\"\n");
    EXPECT_EQ(os.at("NAME"), "Debian GNU/Linux");
    EXPECT_EQ(os.at("ID"), "debian");
    EXPECT_EQ(os.at("PRETTY_NAME"), "x y");
    EXPECT_EQ(os.at("Q"), "a\"b");
    EXPECT_EQ(os.count("BAD"), 0u);
    EXPECT_EQ(os.count("lower"), 0u);
}

TEST(SystemInfo, MemoryFiguresMatchTheKernelsIn64Bits)
{
    std::ifstream in("/proc/meminfo");
    std::string name;
    unsigned long long kb = 0;
    in >> name >> kb;
    ASSERT_EQ(name, "MemTotal:");
    EXPECT_EQ(GetSystemInfoString(TDUDInfoType::itMemSize, 1024), std::to_string(kb));
    EXPECT_EQ(GetSystemInfoString(TDUDInfoType::itMemSize, 0), std::to_string(kb * 1024));
    EXPECT_EQ(GetSystemInfoString(TDUDInfoType::itMemSize, -5), std::to_string(kb * 1024));
    EXPECT_LE(DUDSIMemFree(), DUDSIMemTotal());
    EXPECT_LE(DUDSIMemLoaded(), 100u);
    EXPECT_GE(DUDSIMemPageTotal(), DUDSIMemTotal());
    EXPECT_GT(DUDSIMemVirtTotal(), 0u);
    EXPECT_NE(GetSystemInfoString(TDUDInfoType::itCurrentDiskSize32, 1), "0");
    const auto d = DUDSIDriveInfo("/");
    EXPECT_EQ(d.DriveType, 3u);
    EXPECT_GE(d.TotalSize, d.FreeBytes);
    EXPECT_EQ(DUDSIDriveInfo("/no/such/folder").DriveType, 1u);
}

TEST(SystemInfo, FixedValuesTablesAndNames)
{
    EXPECT_EQ(DUDSIProcessorTypeStr(3000), "Mips R3000");
    EXPECT_EQ(DUDSIProcessorTypeStr(586), "Intel Pentium");
    EXPECT_EQ(DUDSIProcessorTypeStr(8664), "8664");
    EXPECT_EQ(DUDSIFreeSysRes(), 100);
    EXPECT_EQ(DUDSIDriveTypeStr(0), "(Unknown)");
    EXPECT_EQ(DUDSIDriveTypeStr(7), "(Unknown)");
    EXPECT_EQ(DUDSIDriveTypeStr(4), "remote (network) drive");
    EXPECT_EQ(DUDSIRegisteredOwner(), "(Unknown)");
    EXPECT_EQ(DUDSIPlatformStr(), "Windows NT");
    EXPECT_EQ(GetSystemInfoString(TDUDInfoType::itDOSVersion), "Win32");
    EXPECT_EQ(GetSystemInfoString(TDUDInfoType::itNumLock), "Off"); // no keyboard probe installed
    EXPECT_EQ(DUDSIInfoToString(TDUDInfoType::itMemSize), "Memory size");
    EXPECT_EQ(DUDSIInfoToString(TDUDInfoType::itCPUSpeed), "CPU Speed");
    EXPECT_EQ(DUDSIInfoToString(TDUDInfoType::itUser), "Username");
    EXPECT_NE(DUDSIUserName(), "");
    EXPECT_NE(DUDSIComputerName(), "");
    EXPECT_EQ(DUDSIVersionStr(), std::to_string(DUDSIMajorVersionNr()) + "." + std::to_string(DUDSIMinorVersionNr()));
    EXPECT_EQ(DUDSIIconHeight(), 32);
    EXPECT_EQ(GetSystemInfoString(TDUDInfoType::itCurrentDateTime, 1, "yyyy").size(), 4u);

    DUDSISetVersionLookup([](const std::string& path) -> std::optional<std::string> {
        if (path == "\\VarFileInfo\\Translation")
            return "040904E4";
        if (path == "\\StringFileInfo\\040904E4\\ProductName")
            return "Tester";
        return std::nullopt;
    });
    EXPECT_EQ(GetSystemInfoString(TDUDInfoType::itProgName), "Tester");
    EXPECT_EQ(GetSystemInfoString(TDUDInfoType::itProgComments), "");
    DUDSISetVersionLookup(nullptr);
#if defined(__x86_64__)
    EXPECT_GT(DUDSIGetCPUSpeedOver(20), 1.0);
#endif
}

TEST(SystemInfo, CaptionLayoutFollowsStyleAndButtons)
{
    TRect cap, text;
    std::uint32_t flags = 0;
    TDUDNCWindow w{WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, 0, 400, 300};
    DUDNCCalcDrawingArea(w, cap, text, flags);
    EXPECT_EQ(cap, (TRect{4, 3, 396, 22}));
    EXPECT_EQ(text.Left, 4 + 16 + 1);
    EXPECT_EQ(text.Right, 396 - 3 * 19);
    EXPECT_EQ(flags, DUDNC_HASICON);

    TDUDNCWindow tool{WS_SYSMENU, WS_EX_TOOLWINDOW, 200, 100};
    DUDNCCalcDrawingArea(tool, cap, text, flags);
    EXPECT_EQ(flags, DUDNC_SMALLCAPTION);
    EXPECT_EQ(cap.Height(), DUDNCSMALLCAPTIONHEIGHT());
    EXPECT_EQ(text.Left, cap.Left + 2); // no icon: two fixed borders in
}

TEST(SystemInfo, LocaleValuesFromTheCLibrarysConventions)
{
    // Positive currency: symbol in front or behind, separated or not.
    EXPECT_EQ(0, DUDLocaleCurrencyFormat(1, 0));   // $1.1
    EXPECT_EQ(1, DUDLocaleCurrencyFormat(0, 0));   // 1.1$
    EXPECT_EQ(2, DUDLocaleCurrencyFormat(1, 1));   // $ 1.1
    EXPECT_EQ(3, DUDLocaleCurrencyFormat(0, 1));   // 1.1 $ (as in de_DE)
    EXPECT_EQ(0, DUDLocaleCurrencyFormat(127, 127)); // the C locale gives nothing
    // Negative currency.
    EXPECT_EQ(1, DUDLocaleNegativeCurrencyFormat(1, 0, 1));  // -$1.1 (en_US)
    EXPECT_EQ(8, DUDLocaleNegativeCurrencyFormat(0, 1, 1));  // -1.1 $ (de_DE)
    EXPECT_EQ(0, DUDLocaleNegativeCurrencyFormat(1, 0, 0));  // ($1.1)
    EXPECT_EQ(15, DUDLocaleNegativeCurrencyFormat(0, 1, 0)); // (1.1 $)
    EXPECT_EQ(3, DUDLocaleNegativeCurrencyFormat(1, 0, 2));  // $1.1-
    EXPECT_EQ(12, DUDLocaleNegativeCurrencyFormat(1, 1, 4)); // $ -1.1
    EXPECT_EQ(1, DUDLocaleNegativeCurrencyFormat(127, 127, 127));
    // Grouping: the C library's bytes to the classic text.
    EXPECT_EQ("3;0", DUDLocaleGrouping("\3"));
    EXPECT_EQ("3;0", DUDLocaleGrouping("\3\3"));
    EXPECT_EQ("3;2;0", DUDLocaleGrouping("\3\2"));
    EXPECT_EQ("3", DUDLocaleGrouping("\3\x7f"));
    EXPECT_EQ("0", DUDLocaleGrouping(""));
    EXPECT_EQ("0", DUDLocaleGrouping("\x7f"));
    // The first week of the year.
    EXPECT_EQ(0, DUDLocaleFirstWeekOfYear(1));
    EXPECT_EQ(1, DUDLocaleFirstWeekOfYear(7));
    EXPECT_EQ(2, DUDLocaleFirstWeekOfYear(4));

    // The values of the running (C) locale: none is the default text any
    // more, and out of range is.
    for (int i = 0; i <= 27; ++i)
        EXPECT_NE("Hallo", DUDGetLocalInfo(i)) << i;
    EXPECT_EQ("Hallo", DUDGetLocalInfo(28));
    EXPECT_EQ("0", DUDGetLocalInfo(2));
    EXPECT_EQ("1", DUDGetLocalInfo(9));
    EXPECT_EQ("0", DUDGetLocalInfo(16));
}

TEST(SystemInfo, VersionInfoReadsTheProgramsRegisteredBlock)
{
    DUDSISetVersionLookup(nullptr);
    pf::VersionBlock b;
    b.Translation = {0x04E40409u}; // as stored: language low, code page high
    b.Values[pf::versionValuePath(0x040904E4u, "ProductName")] = "KYDTest";
    b.Values[pf::versionValuePath(0x040904E4u, "CompanyName")] = "Service";
    pf::setProgramVersionBlock(b);
    EXPECT_EQ("KYDTest", DUDSIVersionInfo(TDUDVersionInfoType::viName));
    EXPECT_EQ("Service", GetSystemInfoString(TDUDInfoType::itProgCompany));
    EXPECT_EQ("", DUDSIVersionInfo(TDUDVersionInfoType::viComments));
    // The running program's file answers with the block, other files not.
    ASSERT_TRUE(pf::fileVersionInfo(pf::executablePath()).has_value());
    EXPECT_FALSE(pf::fileVersionInfo("/no/such/file").has_value());
    EXPECT_EQ("04e40409", pf::verQueryValue(b, "\\VarFileInfo\\Translation").value_or(""));
    pf::setProgramVersionBlock({});
}

TEST(SystemInfo, LocaleValuesComeFromTheUsersLocale)
{
    {
        kyd::test_support::ScopedEnv c("LC_ALL", "C");
        EXPECT_EQ("2", DUDGetLocalInfo(1)); // no currency digits in C: the usual 2
        EXPECT_EQ("1", DUDGetLocalInfo(10));
        EXPECT_EQ("/", DUDGetLocalInfo(14));
        EXPECT_EQ(",", DUDGetLocalInfo(17));
        EXPECT_EQ("MM/dd/yy", DUDGetLocalInfo(24));
        EXPECT_EQ("dddd, MMMM d, yyyy", DUDGetLocalInfo(18));
        EXPECT_EQ(":", DUDGetLocalInfo(26));
        EXPECT_EQ("HH:mm:ss", DUDGetLocalInfo(27));
    }
    std::string why;
    if (!kyd::test_support::haveCommaLocale(&why))
        GTEST_SKIP() << why;
    kyd::test_support::ScopedEnv de("LC_ALL", kyd::test_support::kCommaLocale);
    EXPECT_EQ("2", DUDGetLocalInfo(1));
    EXPECT_EQ("2", DUDGetLocalInfo(3));
    EXPECT_EQ("0", DUDGetLocalInfo(7)); // metric
    EXPECT_EQ("1", DUDGetLocalInfo(10)); // 24 hours
    EXPECT_EQ(".", DUDGetLocalInfo(14));
    EXPECT_EQ(",", DUDGetLocalInfo(15));
    EXPECT_EQ(";", DUDGetLocalInfo(17));
    EXPECT_EQ("dddd, d. MMMM yyyy", DUDGetLocalInfo(18));
    EXPECT_EQ("dd.MM.yyyy", DUDGetLocalInfo(24));
    EXPECT_EQ(":", DUDGetLocalInfo(26));
    EXPECT_EQ("HH:mm:ss", DUDGetLocalInfo(27));
}

TEST(SystemInfo, TheDateAndTimeTakeThePictureFormatsOfTheLocaleValues)
{
    kyd::test_support::ScopedEnv c("LC_ALL", "C");
    std::tm tm {};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 2;
    tm.tm_mday = 7;
    tm.tm_wday = 6; // a Saturday
    tm.tm_yday = 65;
    tm.tm_hour = 14;
    tm.tm_min = 5;
    tm.tm_sec = 9;
    EXPECT_EQ("07.03.2026 14:05:09", DUDFormatPicture("dd.MM.yyyy HH:mm:ss", tm));
    EXPECT_EQ("7/3/26 2:5:9 PM", DUDFormatPicture("d/M/yy h:m:s tt", tm));
    EXPECT_EQ("02 P 14", DUDFormatPicture("hh t H", tm));
    EXPECT_EQ("Saturday, March 7, 2026", DUDFormatPicture("dddd, MMMM d, yyyy", tm));
    EXPECT_EQ("Sat Mar", DUDFormatPicture("ddd MMM", tm));
    EXPECT_EQ("It's 2 o'clock, 100% (yes)", DUDFormatPicture("'It''s' h 'o''clock', 100% ('yes')", tm));
    EXPECT_EQ("", DUDFormatPicture("", tm));
    // What the locale values hand out formats as a date and a time.
    EXPECT_EQ("03/07/26", DUDFormatPicture(DUDGetLocalInfo(24), tm));
    EXPECT_EQ("14:05:09", DUDFormatPicture(DUDGetLocalInfo(27), tm));
    EXPECT_EQ("Saturday, March 7, 2026", DUDFormatPicture(DUDGetLocalInfo(18), tm));
    // The current date and time in such a format: no pattern letters left.
    const std::string now = GetSystemInfoString(TDUDInfoType::itCurrentDateTime, 1, DUDGetLocalInfo(24));
    ASSERT_EQ(8u, now.size()) << now;
    EXPECT_EQ(std::string::npos, now.find_first_of("dMy%")) << now;
    EXPECT_EQ(19u, GetSystemInfoString(TDUDInfoType::itCurrentDateTime).size());
}

TEST(SystemInfo, DateAndTimeFormatsBecomePictures)
{
    EXPECT_EQ("hh:mm:ss tt", DUDLocalePicture("%r"));
    EXPECT_EQ("h:mm tt", DUDLocalePicture("%l:%M %p"));
    EXPECT_EQ("d. MMMM yyyy", DUDLocalePicture("%-d. %B %Y"));
    EXPECT_EQ("d 'de' MMMM 'l''an' yyyy", DUDLocalePicture("%e de %B l'an %Y"));
    EXPECT_EQ("yyyy-MM-dd HH:mm", DUDLocalePicture("%F %R"));
    EXPECT_EQ("100%", DUDLocalePicture("100%%"));
    EXPECT_EQ("-", DUDLocaleSeparator("%Y-%m-%d", "/"));
    EXPECT_EQ("/", DUDLocaleSeparator("%d %B %Y", "/"));
    EXPECT_EQ(":", DUDLocaleSeparator("%T", "."));
}
