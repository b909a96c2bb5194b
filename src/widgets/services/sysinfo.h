// Facts about the machine, the system, the user and the program, as
// numbers or display texts, and the frame metrics of the library's
// non-client painting. Figures come from src/platform/system_info; what
// this system lacks takes a fixed value (see the README).
#pragma once

#include "widgets/framework/graphics.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kyd::widgets {

// The system family, as fixed at start: a current NT-family system, so
// every new-style path is taken.
inline constexpr bool DUDSIWindows95 = false;
inline constexpr bool DUDSIWindows98 = false;
inline constexpr bool DUDSIWindowsNT = true;
inline constexpr bool DUDSIWindows2000 = true;
inline constexpr bool DUDSIWindowsExtension = true;

struct TDUDDriveInfo {
    std::uint32_t DriveType = 0;
    std::uint64_t TotalSize = 0;
    std::uint64_t FreeBytes = 0;
    std::uint32_t SectorsPerCluster = 0;
    std::uint32_t BytesPerSector = 0;
};

enum class TDUDVersionInfoType { viCompany, viName, viVersion, viCopyright, viTrademark, viDescription, viComments };

enum class TDUDInfoType {
    itUser, itWinDir, itCurrentDir32, itCurrentDiskFree32, itCurrentDiskSize32, itSystemDir,
    itReg_Owner32, itReg_Company32, itVersion, itColorDepth, itScreenSaverDelay, itMemSize,
    itFreeSysRes, itFreeGDIRes, itFreeUserRes, itComputerName32, itMajorVerNr32, itBuildNr32,
    itMemLoaded32, itMemFree32, itMemPageFree32, itMemPageTotal32, itMemVirtFree32,
    itMemVirtTotal32, itPlatformID32, itPlatform32, itProcessorCont32, itProcessor32,
    itTempPath32, itDOSVersion, itNumLock, itCapsLock, itScroll, itCurrentDateTime,
    itProgCompany, itProgName, itProgVersion, itProgCopyright, itProgTrademark,
    itProgDescription, itProgComments, itCPUSpeed,
};
inline constexpr int kDUDInfoTypeCount = 42;

// The value text of a fact: numbers divided by divisor (below 1 counts as 1)
// in 64 bits; format is the date-time format of itCurrentDateTime, in the
// picture form of DUDGetLocalInfo (DUDFormatPicture; empty:
// "yyyy-MM-dd HH:mm:ss").
std::string GetSystemInfoString(TDUDInfoType type, std::int64_t divisor = 1, const std::string& format = {});
// The caption of a fact ("Memory size").
std::string DUDSIInfoToString(TDUDInfoType type);

// Screen and keyboard probes; the GUI layer installs real ones.
struct TDUDSIScreenProbes {
    std::function<int()> ColorDepth;                // bits per pixel
    std::function<std::optional<bool>(int vk)> KeyLocked; // 144 NumLock, 20 CapsLock, 145 ScrollLock
    std::function<int(bool large)> IconSize;              // pixels, square; 0: not known
};
void DUDSISetScreenProbes(TDUDSIScreenProbes probes);
// The program's version block: answers a sub-block path such as
// "\VarFileInfo\Translation" or "\StringFileInfo\040904E4\ProductName".
using TDUDVersionLookup = std::function<std::optional<std::string>(const std::string& subBlock)>;
void DUDSISetVersionLookup(TDUDVersionLookup lookup);

bool DUDSIStretchBltPossible();
int DUDSIColorDepth();
int DUDSIScreenSaverDelay();
bool DUDSINumLock();
bool DUDSICapsLock();
bool DUDSIScrollLock();
std::uint32_t DUDSIMemLoaded();
std::uint64_t DUDSIMemTotal();
std::uint64_t DUDSIMemFree();
std::uint64_t DUDSIMemPageTotal();
std::uint64_t DUDSIMemPageFree();
std::uint64_t DUDSIMemVirtTotal();
std::uint64_t DUDSIMemVirtFree();
int DUDSIMajorVersionNr();
int DUDSIMinorVersionNr();
int DUDSIBuildNr();
std::string DUDSIVersionString();
std::string DUDSIVersionStr();
double DUDSIVersionNr();
bool DUDSIOLDWindowsNT();
int DUDSIPlatformID();
std::string DUDSIPlatformStr();
int DUDSIProcessorCount();
int DUDSIProcessorType();
std::string DUDSIProcessorTypeStr(int type);
std::string DUDSIProcessorTypeStr();
int DUDSIFreeSysRes();
int DUDSIFreeGDIRes();
int DUDSIFreeUserRes();
// drive: a folder; the figures of the file system that holds it.
TDUDDriveInfo DUDSIDriveInfo(const std::string& drive);
// The mount points of the machine's disks.
void DUDSIDriveList(std::vector<std::string>& list);
std::string DUDSIDriveTypeStr(int type);
std::string DUDSITempPath();
// A new empty file in the temporary folder; empty on failure.
std::string DUDSITempFile();
void DUDSIEnvironment(std::vector<std::string>& list);
std::string DUDSIWindowsDirectory();
std::string DUDSISystemDirectory();
std::string DUDSIRegisteredOwner();
std::string DUDSIRegisteredCompany();
std::string DUDSIComputerName();
std::string DUDSIUserName();
std::uint16_t DUDSISystemDefaultLanguageID();
std::string DUDSIGetTimeZone();
int DUDSIGetTimeZoneBias();
int DUDSIIconWidth();
int DUDSIIconHeight();
int DUDSISmallIconWidth();
int DUDSISmallIconHeight();
std::string DUDSIVersionInfo(TDUDVersionInfoType type);
// A value of the user's locale (the environment's LC_ALL, LC_* and LANG) by
// the classic index (0 calendar type to 27 time format); an index out of
// range gives "Hallo", the caller's default text. Dates and times come in
// picture form ("dd.MM.yyyy", "HH:mm:ss", "h:mm:ss tt"), separators as the
// locale's date and time formats use them.
std::string DUDGetLocalInfo(int index);
// A date or time format of the C library ("%d.%m.%Y", "%r") in picture form
// ("dd.MM.yyyy", "hh:mm:ss tt"); letters of the format's own text are
// quoted ('de'), a quote doubled.
std::string DUDLocalePicture(const std::string& format);
// A date and time in a picture format as DUDGetLocalInfo gives them: d dd
// ddd dddd day, M MM MMM MMMM month, y yy yyyy year, h hh (12-hour) H HH
// hour, m mm minute, s ss second, t tt the AM/PM mark's first letter or
// whole text (names and marks of the user's locale); text in single quotes
// as it stands ('' a quote), any other character too.
std::string DUDFormatPicture(const std::string& picture, const std::tm& tm);
// The first separator between two fields of such a format ("." of
// "%d.%m.%Y", ":" of "%T"); fallback when it has none.
std::string DUDLocaleSeparator(const std::string& format, const std::string& fallback);
// The C library's locale conventions as the classic locale values read them:
// the positive and negative currency formats (0-3, 0-15) from the
// symbol's place, its separation and the sign's place (CHAR_MAX, "not
// given", counts as in front, unseparated, sign first); a digit grouping as
// "3;0" (groups of 3, the last repeated), "3;2;0" or "3" (one group, then
// none), "0" for none; the first week of a year by the days it must have
// (1: the week of 1 January, 0; 7: the first full week, 1; else 2).
int DUDLocaleCurrencyFormat(int csPrecedes, int sepBySpace);
int DUDLocaleNegativeCurrencyFormat(int csPrecedes, int sepBySpace, int signPosn);
std::string DUDLocaleGrouping(const std::string& grouping);
int DUDLocaleFirstWeekOfYear(int minimalDays);
// MHz from the processor's cycle counter over half a second of the steady
// clock; 0 where the processor has no readable counter.
double DUDSIGetCPUSpeed();
// The same, measured over ms milliseconds.
double DUDSIGetCPUSpeedOver(int ms);

// Frame and caption metrics (classic values).
int DUDNCBITMAPWIDTH();
int DUDNCBITMAPHEIGHT();
int DUDNCCAPTIONHEIGHT();
int DUDNCDLGBORDERWIDTH();
int DUDNCDLGBORDERHEIGHT();
int DUDNCFIXBORDERWIDTH();
int DUDNCFIXBORDERHEIGHT();
int DUDNCSIZEBORDERWIDTH();
int DUDNCSIZEBORDERHEIGHT();
int DUDNCBORDERWIDTH();
int DUDNCBORDERHEIGHT();
int DUDNCSMALLCAPTIONHEIGHT();
int DUDNCSMALLBITMAPWIDTH();
int DUDNCSMALLBITMAPHEIGHT();
int DUDNCCAPTIONICONWIDTH();
int DUDNCCAPTIONICONHEIGHT();

// Window styles the caption layout looks at.
enum : std::uint32_t {
    WS_SYSMENU = 0x00080000, WS_THICKFRAME = 0x00040000, WS_MINIMIZEBOX = 0x00020000,
    WS_MAXIMIZEBOX = 0x00010000, WS_DLGFRAME = 0x00400000, WS_MINIMIZE = 0x20000000,
};
enum : std::uint32_t { WS_EX_DLGMODALFRAME = 0x1, WS_EX_TOOLWINDOW = 0x80, WS_EX_CONTEXTHELP = 0x400 };
// Caption flags in and out.
enum : std::uint32_t {
    DUDNC_OLDSTYLEBORDER = 0x1, // in: move by the fixed border on old-style systems
    DUDNC_SMALLCAPTION = 0x2,
    DUDNC_HASICON = 0x4,
    DUDNC_ICONIC = 0x8,
};
struct TDUDNCWindow {
    std::uint32_t Style = 0;
    std::uint32_t ExStyle = 0;
    int Width = 0; // the window rectangle's size
    int Height = 0;
};
// Where a window's caption lies and where its text may go, in window
// coordinates.
void DUDNCCalcDrawingArea(const TDUDNCWindow& window, TRect& caption, TRect& text, std::uint32_t& flags);

} // namespace kyd::widgets
