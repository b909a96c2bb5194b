#include "widgets/services/sysinfo.h"

#include "platform/system_info.h"
#include "platform/version_block.h"
#include "widgets/framework/texts.h"
#include "widgets/framework/procs.h"

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <langinfo.h>
#include <locale.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

extern char** environ;

namespace kyd::widgets {

namespace pf = kyd::platform;

namespace {

std::mutex gProbeMutex;
TDUDSIScreenProbes gProbes;
TDUDVersionLookup gVersionLookup;

constexpr const char* kUnknown = "(Unknown)";

std::string onOff(bool on) { return on ? "On" : "Off"; }

bool keyLocked(int vk)
{
    std::function<std::optional<bool>(int)> f;
    {
        std::lock_guard<std::mutex> g(gProbeMutex);
        f = gProbes.KeyLocked;
    }
    if (!f)
        return false;
    return f(vk).value_or(false);
}

std::string dateTimeText(const std::string& format)
{
    const std::time_t now = std::time(nullptr);
    std::tm tm {};
    ::localtime_r(&now, &tm);
    return DUDFormatPicture(format.empty() ? std::string("yyyy-MM-dd HH:mm:ss") : format, tm);
}

} // namespace

void DUDSISetScreenProbes(TDUDSIScreenProbes probes)
{
    std::lock_guard<std::mutex> g(gProbeMutex);
    gProbes = std::move(probes);
}

void DUDSISetVersionLookup(TDUDVersionLookup lookup)
{
    std::lock_guard<std::mutex> g(gProbeMutex);
    gVersionLookup = std::move(lookup);
}

std::string GetSystemInfoString(TDUDInfoType type, std::int64_t divisor, const std::string& format)
{
    const std::uint64_t d = divisor < 1 ? 1 : static_cast<std::uint64_t>(divisor);
    auto num = [d](std::uint64_t v) { return std::to_string(v / d); };
    auto snum = [divisor](std::int64_t v) { return std::to_string(v / (divisor < 1 ? 1 : divisor)); };
    switch (type) {
    case TDUDInfoType::itUser: return DUDSIUserName();
    case TDUDInfoType::itWinDir: return DUDSIWindowsDirectory();
    case TDUDInfoType::itCurrentDir32: {
        std::vector<char> buf(4096);
        return ::getcwd(buf.data(), buf.size()) ? std::string(buf.data()) : std::string();
    }
    case TDUDInfoType::itCurrentDiskFree32:
    case TDUDInfoType::itCurrentDiskSize32: {
        const auto s = pf::diskSpace(".");
        if (!s)
            return "0";
        return num(type == TDUDInfoType::itCurrentDiskFree32 ? s->free : s->total);
    }
    case TDUDInfoType::itSystemDir: return DUDSISystemDirectory();
    case TDUDInfoType::itReg_Owner32: return DUDSIRegisteredOwner();
    case TDUDInfoType::itReg_Company32: return DUDSIRegisteredCompany();
    case TDUDInfoType::itVersion: return DUDSIVersionStr();
    case TDUDInfoType::itColorDepth: return snum(DUDSIColorDepth());
    case TDUDInfoType::itScreenSaverDelay: return snum(DUDSIScreenSaverDelay());
    case TDUDInfoType::itMemSize: return num(DUDSIMemTotal());
    case TDUDInfoType::itFreeSysRes: return snum(DUDSIFreeSysRes());
    case TDUDInfoType::itFreeGDIRes: return snum(DUDSIFreeGDIRes());
    case TDUDInfoType::itFreeUserRes: return snum(DUDSIFreeUserRes());
    case TDUDInfoType::itComputerName32: return DUDSIComputerName();
    case TDUDInfoType::itMajorVerNr32: return snum(DUDSIMajorVersionNr());
    case TDUDInfoType::itBuildNr32: return snum(DUDSIBuildNr());
    case TDUDInfoType::itMemLoaded32: return num(DUDSIMemLoaded());
    case TDUDInfoType::itMemFree32: return num(DUDSIMemFree());
    case TDUDInfoType::itMemPageFree32: return num(DUDSIMemPageFree());
    case TDUDInfoType::itMemPageTotal32: return num(DUDSIMemPageTotal());
    case TDUDInfoType::itMemVirtFree32: return num(DUDSIMemVirtFree());
    case TDUDInfoType::itMemVirtTotal32: return num(DUDSIMemVirtTotal());
    case TDUDInfoType::itPlatformID32: return snum(DUDSIPlatformID());
    case TDUDInfoType::itPlatform32: return DUDSIPlatformStr();
    case TDUDInfoType::itProcessorCont32: return snum(DUDSIProcessorCount());
    case TDUDInfoType::itProcessor32: return DUDSIProcessorTypeStr();
    case TDUDInfoType::itTempPath32: return DUDSITempPath();
    case TDUDInfoType::itDOSVersion: return "Win32";
    case TDUDInfoType::itNumLock: return onOff(DUDSINumLock());
    case TDUDInfoType::itCapsLock: return onOff(DUDSICapsLock());
    case TDUDInfoType::itScroll: return onOff(DUDSIScrollLock());
    case TDUDInfoType::itCurrentDateTime: return dateTimeText(format);
    case TDUDInfoType::itProgCompany: return DUDSIVersionInfo(TDUDVersionInfoType::viCompany);
    case TDUDInfoType::itProgName: return DUDSIVersionInfo(TDUDVersionInfoType::viName);
    case TDUDInfoType::itProgVersion: return DUDSIVersionInfo(TDUDVersionInfoType::viVersion);
    case TDUDInfoType::itProgCopyright: return DUDSIVersionInfo(TDUDVersionInfoType::viCopyright);
    case TDUDInfoType::itProgTrademark: return DUDSIVersionInfo(TDUDVersionInfoType::viTrademark);
    case TDUDInfoType::itProgDescription: return DUDSIVersionInfo(TDUDVersionInfoType::viDescription);
    case TDUDInfoType::itProgComments: return DUDSIVersionInfo(TDUDVersionInfoType::viComments);
    case TDUDInfoType::itCPUSpeed: {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%g", DUDSIGetCPUSpeed() / static_cast<double>(d));
        return buf;
    }
    }
    return {};
}

std::string DUDSIInfoToString(TDUDInfoType type)
{
    const int i = static_cast<int>(type);
    if (i < 0 || i >= kDUDInfoTypeCount)
        return {};
    return DUDLoadStr(DUDStringId(77 + i));
}

bool DUDSIStretchBltPossible() { return true; }

int DUDSIColorDepth()
{
    std::function<int()> f;
    {
        std::lock_guard<std::mutex> g(gProbeMutex);
        f = gProbes.ColorDepth;
    }
    return f ? f() : 24;
}

int DUDSIScreenSaverDelay() { return 0; }
bool DUDSINumLock() { return keyLocked(144); }
bool DUDSICapsLock() { return keyLocked(20); }
bool DUDSIScrollLock() { return keyLocked(145); }

std::uint32_t DUDSIMemLoaded() { return pf::memoryStatus().loadPercent; }
std::uint64_t DUDSIMemTotal() { return pf::memoryStatus().totalPhys; }
std::uint64_t DUDSIMemFree() { return pf::memoryStatus().availPhys; }
std::uint64_t DUDSIMemPageTotal() { return pf::memoryStatus().totalPageFile; }
std::uint64_t DUDSIMemPageFree() { return pf::memoryStatus().availPageFile; }
std::uint64_t DUDSIMemVirtTotal() { return pf::memoryStatus().totalVirtual; }
std::uint64_t DUDSIMemVirtFree() { return pf::memoryStatus().availVirtual; }

int DUDSIMajorVersionNr() { return pf::kernelVersion().major & 0xFFFF; }
int DUDSIMinorVersionNr() { return pf::kernelVersion().minor & 0xFFFF; }
int DUDSIBuildNr() { return pf::kernelVersion().build & 0xFFFF; }

std::string DUDSIVersionString()
{
    const auto os = pf::parseOsRelease(pf::readSmallFile("/etc/os-release"));
    auto it = os.find("PRETTY_NAME");
    return it == os.end() ? std::string() : it->second;
}

std::string DUDSIVersionStr()
{
    const auto v = pf::kernelVersion();
    return std::to_string(v.major) + "." + std::to_string(v.minor);
}

double DUDSIVersionNr()
{
    const auto v = pf::kernelVersion();
    double scale = 1;
    for (int m = v.minor; m > 0; m /= 10)
        scale *= 10;
    return v.major + v.minor / scale;
}

bool DUDSIOLDWindowsNT() { return false; }
int DUDSIPlatformID() { return 2; }

std::string DUDSIPlatformStr()
{
    switch (DUDSIPlatformID()) {
    case 0: return "Win32s";
    case 1: return "Windows 95";
    case 2: return "Windows NT";
    default: return kUnknown;
    }
}

int DUDSIProcessorCount() { return pf::processorCount(); }

int DUDSIProcessorType()
{
    const std::string m = pf::machineName();
    if (m == "x86_64")
        return 8664;
    if (m == "i386" || m == "i486" || m == "i586" || m == "i686")
        return 586;
    return 0;
}

std::string DUDSIProcessorTypeStr(int type)
{
    switch (type) {
    case 386: return "Intel 386";
    case 486: return "Intel 486";
    case 586: return "Intel Pentium";
    case 21064: return "Alpha 21064";
    case 2000:
    case 3000:
    case 4000: return "Mips R" + std::to_string(type);
    default: return std::to_string(type);
    }
}

std::string DUDSIProcessorTypeStr() { return DUDSIProcessorTypeStr(DUDSIProcessorType()); }

// No system-resource heaps here: the figure the library gives without them.
int DUDSIFreeSysRes() { return 100; }
int DUDSIFreeGDIRes() { return 100; }
int DUDSIFreeUserRes() { return 100; }

TDUDDriveInfo DUDSIDriveInfo(const std::string& drive)
{
    TDUDDriveInfo info;
    struct stat st {};
    if (drive.empty() || ::stat(drive.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        info.DriveType = 1; // no root directory
        return info;
    }
    const auto s = pf::diskSpace(drive);
    if (!s)
        return info;
    info.DriveType = 3; // fixed drive
    for (const auto& m : pf::mountTable()) {
        if (m.mountPoint != drive)
            continue;
        if (m.fsType == "tmpfs" || m.fsType == "ramfs")
            info.DriveType = 6;
        else if (m.fsType == "nfs" || m.fsType == "nfs4" || m.fsType == "cifs" || m.fsType == "smbfs" ||
                 m.fsType.rfind("fuse.sshfs", 0) == 0)
            info.DriveType = 4;
        else if (m.fsType == "iso9660" || m.fsType == "udf")
            info.DriveType = 5;
    }
    info.TotalSize = s->total;
    info.FreeBytes = s->free;
    info.BytesPerSector = 512;
    info.SectorsPerCluster = s->fragmentSize / 512 ? s->fragmentSize / 512 : 1;
    return info;
}

void DUDSIDriveList(std::vector<std::string>& list)
{
    list.clear();
    for (const auto& m : pf::mountTable()) {
        // Disks: file systems backed by a device, plus network shares.
        const bool device = m.device.rfind("/dev/", 0) == 0;
        const bool network = m.fsType == "nfs" || m.fsType == "nfs4" || m.fsType == "cifs";
        if ((device || network) && std::find(list.begin(), list.end(), m.mountPoint) == list.end())
            list.push_back(m.mountPoint);
    }
}

std::string DUDSIDriveTypeStr(int type)
{
    switch (type) {
    case 1: return "no root directory";
    case 2: return "removable";
    case 3: return "fixed drive";
    case 4: return "remote (network) drive";
    case 5: return "CD-ROM";
    case 6: return "ramdisk";
    default: return kUnknown;
    }
}

std::string DUDSITempPath() { return pf::tempPath(); }

std::string DUDSITempFile()
{
    std::string path = pf::tempPath() + "tmpXXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0)
        return {};
    ::close(fd);
    return path;
}

void DUDSIEnvironment(std::vector<std::string>& list)
{
    list.clear();
    for (char** e = environ; e && *e; ++e)
        list.emplace_back(*e);
}

std::string DUDSIWindowsDirectory() { return DUDWindowsDirectory(); }
std::string DUDSISystemDirectory() { return DUDSystemDirectory(); }
std::string DUDSIRegisteredOwner() { return kUnknown; }
std::string DUDSIRegisteredCompany() { return kUnknown; }

std::string DUDSIComputerName()
{
    const std::string h = pf::hostName();
    return h.empty() ? std::string(kUnknown) : h;
}

std::string DUDSIUserName()
{
    const std::string u = pf::currentUserName();
    return u.empty() ? std::string(kUnknown) : u;
}

std::uint16_t DUDSISystemDefaultLanguageID()
{
    // Primary language ids of the common locales; sublanguage 1 (the main country).
    static const std::pair<const char*, std::uint16_t> table[] = {
        {"en", 0x0409}, {"de", 0x0407}, {"fr", 0x040C}, {"es", 0x0C0A}, {"it", 0x0410}, {"nl", 0x0413},
        {"pt", 0x0816}, {"sv", 0x041D}, {"da", 0x0406}, {"fi", 0x040B}, {"nb", 0x0414}, {"pl", 0x0415},
        {"cs", 0x0405}, {"hu", 0x040E}, {"ru", 0x0419}, {"tr", 0x041F}, {"ja", 0x0411}, {"zh", 0x0804},
    };
    const std::string loc = pf::localeName();
    for (const auto& [code, id] : table)
        if (loc.rfind(code, 0) == 0)
            return id;
    return 0x0409;
}

std::string DUDSIGetTimeZone() { return pf::timeZoneName(); }
int DUDSIGetTimeZoneBias() { return pf::timeZoneBiasMinutes(); }
namespace {

// The desktop's icon size when the GUI told it, else the classic 32 and 16.
int iconSize(bool large)
{
    std::function<int(bool)> f;
    {
        std::lock_guard<std::mutex> g(gProbeMutex);
        f = gProbes.IconSize;
    }
    const int size = f ? f(large) : 0;
    return size > 0 ? size : large ? 32 : 16;
}

} // namespace

int DUDSIIconWidth() { return iconSize(true); }
int DUDSIIconHeight() { return iconSize(true); }
int DUDSISmallIconWidth() { return iconSize(false); }
int DUDSISmallIconHeight() { return iconSize(false); }

std::string DUDSIVersionInfo(TDUDVersionInfoType type)
{
    TDUDVersionLookup lookup;
    {
        std::lock_guard<std::mutex> g(gProbeMutex);
        lookup = gVersionLookup;
    }
    if (!lookup) {
        // The program's own block; its translation path answers language
        // and code page in that order (the block stores them the other way).
        const std::optional<pf::VersionBlock> block = pf::programVersionBlock();
        if (!block)
            return {};
        lookup = [block](const std::string& path) -> std::optional<std::string> {
            std::optional<std::string> v = pf::verQueryValue(*block, path);
            if (v && path == "\\VarFileInfo\\Translation" && v->size() == 8)
                return v->substr(4) + v->substr(0, 4);
            return v;
        };
    }
    static const char* keys[] = {"CompanyName", "ProductName", "ProductVersion", "LegalCopyright",
                                 "LegalTrademark", "FileDescription", "Comments"};
    std::string block = "\\StringFileInfo\\040904E4\\";
    if (auto t = lookup("\\VarFileInfo\\Translation"); t && !t->empty())
        block = "\\StringFileInfo\\" + *t + "\\";
    return lookup(block + keys[static_cast<int>(type)]).value_or("");
}

int DUDLocaleCurrencyFormat(int csPrecedes, int sepBySpace)
{
    const bool before = csPrecedes != 0; // CHAR_MAX too
    const bool apart = sepBySpace == 1 || sepBySpace == 2;
    return (before ? 0 : 1) + (apart ? 2 : 0);
}

int DUDLocaleNegativeCurrencyFormat(int csPrecedes, int sepBySpace, int signPosn)
{
    const bool before = csPrecedes != 0;
    const bool apart = sepBySpace == 1 || sepBySpace == 2;
    const int posn = signPosn >= 0 && signPosn <= 4 ? signPosn : 1;
    // Rows: symbol in front unseparated, behind unseparated, in front
    // separated, behind separated; columns: the sign's place 0 (brackets) to 4.
    static constexpr int kFormats[4][5] = {
        {0, 1, 3, 1, 2},    // ($1.1) -$1.1 $1.1- -$1.1 $-1.1
        {4, 5, 7, 6, 7},    // (1.1$) -1.1$ 1.1$- 1.1-$ 1.1$-
        {14, 9, 11, 9, 12}, // ($ 1.1) -$ 1.1 $ 1.1- -$ 1.1 $ -1.1
        {15, 8, 10, 13, 10} // (1.1 $) -1.1 $ 1.1 $- 1.1- $ 1.1 $-
    };
    return kFormats[(before ? 0 : 1) + (apart ? 2 : 0)][posn];
}

std::string DUDLocaleGrouping(const std::string& grouping)
{
    std::vector<int> groups;
    bool repeats = true;
    for (const char ch : grouping) {
        const int g = static_cast<unsigned char>(ch);
        if (g == 0 || g >= 127) { // CHAR_MAX or beyond: no more grouping
            repeats = false;
            break;
        }
        groups.push_back(g);
    }
    if (groups.empty())
        return "0";
    if (repeats) // the last group repeats: "3;3" then reads as "3" repeated
        while (groups.size() > 1 && groups[groups.size() - 1] == groups[groups.size() - 2])
            groups.pop_back();
    std::string r;
    for (const int g : groups)
        r += (r.empty() ? "" : ";") + std::to_string(g);
    return repeats ? r + ";0" : r;
}

int DUDLocaleFirstWeekOfYear(int minimalDays)
{
    if (minimalDays <= 1)
        return 0;
    return minimalDays >= 7 ? 1 : 2;
}

double DUDSIGetCPUSpeedOver(int ms)
{
#if defined(__x86_64__) || defined(__i386__)
    // No priority is raised: the figure is the counter's rate over the time
    // the steady clock measured, whatever else the machine does meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto t0 = std::chrono::steady_clock::now();
    const unsigned long long c0 = __rdtsc();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    const unsigned long long c1 = __rdtsc();
    const auto t1 = std::chrono::steady_clock::now();
    const double us = std::chrono::duration<double, std::micro>(t1 - t0).count();
    if (us <= 0)
        return 0;
    return static_cast<double>(c1 - c0) / us;
#else
    (void)ms;
    return 0;
#endif
}

double DUDSIGetCPUSpeed() { return DUDSIGetCPUSpeedOver(500); }

int DUDNCBITMAPWIDTH() { return 18; }
int DUDNCBITMAPHEIGHT() { return 18; }
int DUDNCCAPTIONHEIGHT() { return 19; }
int DUDNCDLGBORDERWIDTH() { return 3; }
int DUDNCDLGBORDERHEIGHT() { return 3; }
int DUDNCFIXBORDERWIDTH() { return 1; }
int DUDNCFIXBORDERHEIGHT() { return 1; }
int DUDNCSIZEBORDERWIDTH() { return 4; }
int DUDNCSIZEBORDERHEIGHT() { return 4; }
int DUDNCBORDERWIDTH() { return DUDNCFIXBORDERWIDTH() + DUDNCSIZEBORDERWIDTH(); }
int DUDNCBORDERHEIGHT() { return DUDNCFIXBORDERHEIGHT() + DUDNCSIZEBORDERHEIGHT(); }
int DUDNCSMALLCAPTIONHEIGHT() { return DUDSIWindowsExtension ? 15 : DUDNCCAPTIONHEIGHT(); }
int DUDNCSMALLBITMAPWIDTH() { return DUDSIWindowsExtension ? 15 : DUDNCBITMAPWIDTH(); }
int DUDNCSMALLBITMAPHEIGHT() { return DUDSIWindowsExtension ? 15 : DUDNCBITMAPHEIGHT(); }
int DUDNCCAPTIONICONWIDTH() { return DUDSIWindowsExtension ? 16 : DUDNCBITMAPWIDTH(); }
int DUDNCCAPTIONICONHEIGHT() { return DUDSIWindowsExtension ? 16 : DUDNCBITMAPHEIGHT(); }

void DUDNCCalcDrawingArea(const TDUDNCWindow& w, TRect& caption, TRect& text, std::uint32_t& flags)
{
    const bool tool = (w.ExStyle & WS_EX_TOOLWINDOW) != 0;
    const bool newStyle = DUDSIWindowsExtension;
    flags &= ~(DUDNC_SMALLCAPTION | DUDNC_HASICON | DUDNC_ICONIC);
    caption = {0, 0, w.Width, DUDNCCAPTIONHEIGHT()};
    if (tool && newStyle) {
        caption.Bottom = DUDNCSMALLCAPTIONHEIGHT();
        flags |= DUDNC_SMALLCAPTION;
    }
    int dx, dy;
    if ((flags & DUDNC_OLDSTYLEBORDER) && !newStyle) {
        dx = DUDNCFIXBORDERWIDTH();
        dy = DUDNCFIXBORDERHEIGHT();
    } else if (w.Style & WS_THICKFRAME) {
        dx = DUDNCSIZEBORDERWIDTH();
        dy = DUDNCSIZEBORDERHEIGHT() - DUDNCFIXBORDERHEIGHT();
    } else if ((w.ExStyle & WS_EX_DLGMODALFRAME) || (w.Style & WS_DLGFRAME)) {
        dx = DUDNCDLGBORDERWIDTH();
        dy = DUDNCDLGBORDERHEIGHT();
    } else if (tool && !newStyle) {
        dx = DUDNCFIXBORDERWIDTH();
        dy = DUDNCFIXBORDERHEIGHT();
    } else {
        dx = 3 * DUDNCFIXBORDERWIDTH();
        dy = DUDNCFIXBORDERHEIGHT();
    }
    caption = {caption.Left + dx, caption.Top + dy, caption.Right - dx, caption.Bottom + dy};
    text = caption;
    if ((w.Style & WS_SYSMENU) && !tool) {
        text.Left += DUDNCCAPTIONICONWIDTH() + DUDNCFIXBORDERWIDTH();
        flags |= DUDNC_HASICON;
        if (w.Style & WS_MINIMIZE)
            flags |= DUDNC_ICONIC;
    }
    const int button = ((flags & DUDNC_SMALLCAPTION) ? DUDNCSMALLBITMAPWIDTH() : DUDNCBITMAPWIDTH()) +
                       DUDNCFIXBORDERWIDTH();
    if (w.Style & WS_SYSMENU)
        text.Right -= button; // close
    const bool boxes = (w.Style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) != 0;
    if (w.Style & WS_MINIMIZEBOX)
        text.Right -= button;
    if (w.Style & WS_MAXIMIZEBOX)
        text.Right -= button;
    if (!boxes && (w.ExStyle & WS_EX_CONTEXTHELP))
        text.Right -= button;
    if (text.Left == caption.Left)
        text.Left += 2 * DUDNCFIXBORDERWIDTH();
    if (text.Right < text.Left)
        text.Right = text.Left;
}

} // namespace kyd::widgets
