#include "widgets/services/ini_ctrl.h"

#include "platform/folders.h"
#include "platform/ini_file.h"
#include "platform/instance_lock.h"
#include "platform/program_path.h"
#include "widgets/services/application.h"
#include "widgets/framework/procs.h"
#include "widgets/framework/strings.h"
#include "widgets/services/sysinfo.h"
#include "widgets/storage/text_forms.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <mutex>

namespace kyd::widgets {

namespace pf = kyd::platform;

namespace {

std::mutex gFolderMutex;
std::string gUserFolder, gMachineFolder;

const char* rootName(TDUDRegRootKey root)
{
    switch (root) {
    case TDUDRegRootKey::rpClassesRoot: return "HKEY_CLASSES_ROOT";
    case TDUDRegRootKey::rpCurrentUser: return "HKEY_CURRENT_USER";
    case TDUDRegRootKey::rpLocalMachine: return "HKEY_LOCAL_MACHINE";
    case TDUDRegRootKey::rpUsers: return "HKEY_USERS";
    case TDUDRegRootKey::rpCurrentConfig: return "HKEY_CURRENT_CONFIG";
    case TDUDRegRootKey::rpDynData: return "HKEY_DYN_DATA";
    }
    return "HKEY_UNKNOWN";
}

bool hasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

// Names and values that would make the file say something else than what
// was written (another key, another section) are refused.
bool validSection(const std::string& section)
{
    return !hasLineBreak(section) && section.find(']') == std::string::npos;
}

void checkSection(const std::string& section)
{
    if (!validSection(section))
        throw EDUDException("Invalid section name: \"" + section + "\"");
}

void checkIdent(const std::string& ident)
{
    const std::string t = DUDTrim(ident);
    if (t.empty() || hasLineBreak(ident) || ident.find('=') != std::string::npos || t.front() == '[' ||
        t.front() == ';')
        throw EDUDException("Invalid value name: \"" + ident + "\"");
}

void checkValue(const std::string& value)
{
    if (hasLineBreak(value))
        throw EDUDException("A stored value cannot hold a line break");
}

} // namespace

std::uint32_t DUDGetRootKey(TDUDRegRootKey root)
{
    switch (root) {
    case TDUDRegRootKey::rpClassesRoot: return 0x80000000u;
    case TDUDRegRootKey::rpCurrentUser: return 0x80000001u;
    case TDUDRegRootKey::rpLocalMachine: return 0x80000002u;
    case TDUDRegRootKey::rpUsers: return 0x80000003u;
    case TDUDRegRootKey::rpCurrentConfig: return 0x80000005u;
    case TDUDRegRootKey::rpDynData: return 0x80000006u;
    }
    return 0;
}

void DUDSetRegistryFolders(const std::string& userFolder, const std::string& machineFolder)
{
    std::lock_guard<std::mutex> g(gFolderMutex);
    gUserFolder = userFolder;
    gMachineFolder = machineFolder;
}

std::string DUDRegistryFile(TDUDRegRootKey root)
{
    std::string folder;
    {
        std::lock_guard<std::mutex> g(gFolderMutex);
        folder = root == TDUDRegRootKey::rpCurrentUser ? gUserFolder : gMachineFolder;
    }
    if (folder.empty())
        folder = (root == TDUDRegRootKey::rpCurrentUser ? pf::userConfigDir() : pf::systemConfigDir()) + "/kyd";
    return DUDSlashAdd(folder) + rootName(root) + ".ini";
}

std::string DUDIniEntryCounter(int index, bool alpha)
{
    if (alpha)
        return std::string(1, static_cast<char>('A' + index));
    return std::to_string(index);
}

double DUDIniTextToFloat(const std::string& text, double def)
{
    const std::string t = DUDTrim(text);
    if (t.empty())
        return def;
    double v = 0;
    auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (ec != std::errc() || p != t.data() + t.size() || !std::isfinite(v))
        return def;
    return v;
}

std::string DUDIniFloatToText(double v)
{
    char buf[64];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, p) : std::string("0");
}

namespace {

// Days since 1970-01-01 of a civil date, and back.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

constexpr std::int64_t kEpochOffset = 25569; // 1970-01-01 in days since 1899-12-30
constexpr double kMaxDays = 2958466;         // 9999-12-31

void split(double dt, std::int64_t& days, int& secs)
{
    if (!std::isfinite(dt) || dt > kMaxDays || dt < -693593)
        dt = 0;
    const double whole = std::floor(dt);
    days = static_cast<std::int64_t>(whole);
    secs = static_cast<int>(std::lround((dt - whole) * 86400.0));
    if (secs >= 86400) {
        secs -= 86400;
        ++days;
    }
}

} // namespace

std::string DUDIniDateToText(double dt)
{
    std::int64_t days;
    int secs;
    split(dt, days, secs);
    std::int64_t y;
    unsigned m, d;
    civilFromDays(days - kEpochOffset, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", static_cast<long long>(y), m, d);
    return buf;
}

std::string DUDIniTimeToText(double dt)
{
    std::int64_t days;
    int secs;
    split(dt, days, secs);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", secs / 3600, secs / 60 % 60, secs % 60);
    return buf;
}

std::string DUDIniDateTimeToText(double dt) { return DUDIniDateToText(dt) + " " + DUDIniTimeToText(dt); }

double DUDIniTextToDateTime(const std::string& text, double def)
{
    const std::string t = DUDTrim(text);
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, n = 0;
    double days = 0;
    std::size_t pos = 0;
    if (std::sscanf(t.c_str(), "%5d-%2d-%2d%n", &y, &mo, &d, &n) == 3 && n > 0) {
        if (y < 1 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > 31)
            return def;
        const std::int64_t z = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
        std::int64_t yy;
        unsigned mm, dd;
        civilFromDays(z, yy, mm, dd);
        if (static_cast<int>(mm) != mo || static_cast<int>(dd) != d) // 2023-02-30
            return def;
        days = static_cast<double>(z + kEpochOffset);
        pos = static_cast<std::size_t>(n);
        while (pos < t.size() && (t[pos] == ' ' || t[pos] == 'T'))
            ++pos;
        if (pos == t.size())
            return days;
    }
    const std::string rest = t.substr(pos);
    n = 0;
    if (std::sscanf(rest.c_str(), "%2d:%2d:%2d%n", &h, &mi, &s, &n) != 3 || static_cast<std::size_t>(n) != rest.size())
        return def;
    if (h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59)
        return def;
    return days + (h * 3600 + mi * 60 + s) / 86400.0;
}

// ---------------------------------------------------------------------------

TDUDIniCtrl::TDUDIniCtrl(std::string name) : TDUDCustomComponent(std::move(name)) {}

void TDUDIniCtrl::SetNetUser(bool v)
{
    netUser_ = v;
    if (v)
        user_ = GetNetUserName();
}

void TDUDIniCtrl::SetIniFile(const std::string& name)
{
    const auto slash = name.rfind('/');
    const auto dot = name.rfind('.');
    if (!name.empty() && (dot == std::string::npos || (slash != std::string::npos && dot < slash)))
        iniFile_ = name + ".INI";
    else
        iniFile_ = name;
}

void TDUDIniCtrl::SetAlphaCounter(bool v)
{
    if (v == alphaCounter_)
        return;
    alphaCounter_ = v;
    if (maxEntries_ > 26)
        maxEntries_ = 26;
}

void TDUDIniCtrl::SetMaxEntries(int v)
{
    if (v < 0 || v > 255 || (alphaCounter_ && v > 26))
        return;
    maxEntries_ = v;
}

void TDUDIniCtrl::SetTarget(TDUDIniTarget t)
{
    target_ = t;
    useRegistry_ = t != TDUDIniTarget::itIniFile;
}

std::string TDUDIniCtrl::GetNetUserName() const { return DUDSIUserName(); }

std::string TDUDIniCtrl::GetIniName()
{
    if (iniFile_.empty()) {
        std::string exe = pf::executablePath();
        const auto slash = exe.rfind('/');
        const auto dot = exe.rfind('.');
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
            exe.erase(dot);
        iniFile_ = exe + ".INI";
    }
    if (iniPrefix_ == TDUDPathPrefix::ppFixed)
        return iniFile_;
    const auto slash = iniFile_.rfind('/');
    const std::string file = slash == std::string::npos ? iniFile_ : iniFile_.substr(slash + 1);
    return DUDCreatePathPrefix(static_cast<int>(iniPrefix_), true) + file;
}

std::string TDUDIniCtrl::GetRegPath() const
{
    if (regPath_.empty())
        return DUDApplicationDefaultRegPath();
    return regPath_.back() == '\\' ? regPath_ : regPath_ + "\\";
}

std::string TDUDIniCtrl::GetSectionName(const std::string& section)
{
    if (section.empty())
        return lastSection_.empty() ? std::string("Common") : lastSection_;
    std::string result;
    if (useRegistry_)
        result = section == "#ROOT" ? std::string() : section;
    else if (common_)
        result = section;
    else
        result = section + "." + (netUser_ ? GetNetUserName() : user_);
    lastSection_ = result;
    return result;
}

std::string TDUDIniCtrl::storePath(const std::string& mapped) const
{
    if (!useRegistry_)
        return mapped;
    std::string path = GetRegPath() + mapped;
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
}

std::string TDUDIniCtrl::storeSection(const std::string& mapped) const
{
    std::string path = storePath(mapped);
    checkSection(path);
    return path;
}

std::optional<std::string> TDUDIniCtrl::readMapped(const std::string& section, bool asGiven)
{
    std::string path = storePath(asGiven ? section : GetSectionName(section));
    if (!validSection(path))
        return std::nullopt; // no such section can be stored: nothing to read
    return path;
}

void TDUDIniCtrl::readStore(const std::function<void(const pf::IniFile&)>& job)
{
    const std::string path = useRegistry_ ? DUDRegistryFile(regRoot_) : GetIniName();
    // Readers only wait for a writer's cycle, not for each other.
    pf::FileLock lock(path, pf::FileLock::Mode::Shared);
    pf::IniFile ini(path);
    job(ini); // an unreadable store reads as empty: every read gives its default
}

void TDUDIniCtrl::writeStore(const std::function<void(pf::IniFile&)>& job)
{
    const std::string path = useRegistry_ ? DUDRegistryFile(regRoot_) : GetIniName();
    // The registry files' folder, and the folder a path prefix stands for
    // (a fresh account may have no configuration folder yet), are made on
    // the first write; a fixed path is the caller's.
    if (useRegistry_ || iniPrefix_ != TDUDPathPrefix::ppFixed)
        pf::makeFolders(path.substr(0, path.rfind('/')));
    pf::FileLock lock(path);
    pf::IniFile ini(path);
    if (!ini.loadError().empty())
        throw EDUDException("Settings not written: " + ini.loadError());
    job(ini);
    std::string error;
    if (!ini.updateFile(&error))
        throw EDUDException("Settings not written: " + error);
}

std::string TDUDIniCtrl::ReadString(const std::string& section, const std::string& ident, const std::string& def)
{
    const auto s = readMapped(section);
    std::string result = def;
    if (s)
        readStore([&](const pf::IniFile& ini) { result = ini.readString(*s, ident, def); });
    return result;
}

void TDUDIniCtrl::WriteString(const std::string& section, const std::string& ident, const std::string& value)
{
    const std::string s = mapped(section);
    checkIdent(ident);
    checkValue(value);
    writeStore([&](pf::IniFile& ini) { ini.writeString(s, ident, value); });
}

int TDUDIniCtrl::ReadInteger(const std::string& section, const std::string& ident, int def)
{
    const auto s = readMapped(section);
    int result = def;
    if (s)
        readStore([&](const pf::IniFile& ini) { result = ini.readInteger(*s, ident, def); });
    return result;
}

void TDUDIniCtrl::WriteInteger(const std::string& section, const std::string& ident, int value)
{
    WriteString(section, ident, std::to_string(value));
}

bool TDUDIniCtrl::ReadBool(const std::string& section, const std::string& ident, bool def)
{
    return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

void TDUDIniCtrl::WriteBool(const std::string& section, const std::string& ident, bool value)
{
    WriteString(section, ident, value ? "1" : "0");
}

double TDUDIniCtrl::ReadFloat(const std::string& section, const std::string& ident, double def)
{
    return DUDIniTextToFloat(ReadString(section, ident, DUDIniFloatToText(def)), def);
}

void TDUDIniCtrl::WriteFloat(const std::string& section, const std::string& ident, double value)
{
    WriteString(section, ident, DUDIniFloatToText(value));
}

double TDUDIniCtrl::ReadDate(const std::string& section, const std::string& ident, double def)
{
    return std::floor(DUDIniTextToDateTime(ReadString(section, ident, ""), def));
}

void TDUDIniCtrl::WriteDate(const std::string& section, const std::string& ident, double value)
{
    WriteString(section, ident, DUDIniDateToText(value));
}

double TDUDIniCtrl::ReadTime(const std::string& section, const std::string& ident, double def)
{
    const double v = DUDIniTextToDateTime(ReadString(section, ident, ""), def);
    return v == def ? def : v - std::floor(v);
}

void TDUDIniCtrl::WriteTime(const std::string& section, const std::string& ident, double value)
{
    WriteString(section, ident, DUDIniTimeToText(value));
}

double TDUDIniCtrl::ReadDateTime(const std::string& section, const std::string& ident, double def)
{
    return DUDIniTextToDateTime(ReadString(section, ident, ""), def);
}

void TDUDIniCtrl::WriteDateTime(const std::string& section, const std::string& ident, double value)
{
    WriteString(section, ident, DUDIniDateTimeToText(value));
}

TColor TDUDIniCtrl::ReadColor(const std::string& section, const std::string& ident, TColor def)
{
    TColor c = def;
    if (!StringToColor(ReadString(section, ident, ColorToString(def)), c))
        return def;
    return c;
}

void TDUDIniCtrl::WriteColor(const std::string& section, const std::string& ident, TColor value)
{
    WriteString(section, ident, ColorToString(value));
}

bool TDUDIniCtrl::ReadFont(const std::string& section, const std::string& ident, TFont& font)
{
    const std::string text = ReadString(section, ident, "");
    if (text.empty())
        return false;
    return DUDStringToFont(text, font);
}

void TDUDIniCtrl::WriteFont(const std::string& section, const std::string& ident, const TFont& font)
{
    WriteString(section, ident, DUDFontToString(font));
}

TPoint TDUDIniCtrl::ReadPoint(const std::string& section, const std::string& ident, const TPoint& def)
{
    // Text that is not a point gives the default, as a missing key does.
    TPoint p = def;
    DUDTryStringToPoint(ReadString(section, ident, DUDPointToString(def)), p);
    return p;
}

void TDUDIniCtrl::WritePoint(const std::string& section, const std::string& ident, const TPoint& value)
{
    WriteString(section, ident, DUDPointToString(value));
}

TRect TDUDIniCtrl::ReadRect(const std::string& section, const std::string& ident, const TRect& def)
{
    TRect r = def;
    DUDTryStringToRect(ReadString(section, ident, DUDRectToString(def)), r);
    return r;
}

void TDUDIniCtrl::WriteRect(const std::string& section, const std::string& ident, const TRect& value)
{
    WriteString(section, ident, DUDRectToString(value));
}

int TDUDIniCtrl::entryLimit(int count) const
{
    if (count < 0)
        count = 0;
    // Letters past "Z" ("[", "\", ...) would break the keys.
    return alphaCounter_ && count > 26 ? 26 : count;
}

void TDUDIniCtrl::ReadStrings(const std::string& section, const std::string& ident, std::vector<std::string>& list)
{
    ReadStringsExt(section, ident, list, maxEntries_);
}

void TDUDIniCtrl::WriteStrings(const std::string& section, const std::string& ident,
                               const std::vector<std::string>& list)
{
    WriteStringsExt(section, ident, list, maxEntries_);
}

void TDUDIniCtrl::ReadStringsExt(const std::string& section, const std::string& ident,
                                 std::vector<std::string>& list, int count)
{
    list.clear();
    const auto s = readMapped(section);
    const int n = entryLimit(count);
    if (!s)
        return;
    readStore([&](const pf::IniFile& ini) {
        for (int i = 0; i < n; ++i) {
            const std::string v = ini.readString(*s, ident + DUDIniEntryCounter(i, alphaCounter_), "");
            if (v.empty())
                break;
            list.push_back(v);
        }
    });
}

void TDUDIniCtrl::WriteStringsExt(const std::string& section, const std::string& ident,
                                  const std::vector<std::string>& list, int count)
{
    const std::string s = mapped(section);
    checkIdent(ident + "0");
    const int n = std::min<int>(entryLimit(count), static_cast<int>(std::min<std::size_t>(list.size(), 1u << 20)));
    for (int i = 0; i < n; ++i)
        checkValue(list[i]);
    writeStore([&](pf::IniFile& ini) {
        ini.eraseSection(s);
        for (int i = 0; i < n; ++i)
            ini.writeString(s, ident + DUDIniEntryCounter(i, alphaCounter_), list[i]);
    });
}

void TDUDIniCtrl::ReadColorList(const std::string& section, std::vector<std::string>& list)
{
    // The section as given: colour lists are shared by every user.
    readValues(readMapped(section, !section.empty()), list);
}

void TDUDIniCtrl::WriteColorList(const std::string& section, const std::vector<std::string>& list)
{
    const std::string s = storeSection(section);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const auto& line : list) {
        const auto eq = line.find('=');
        if (eq == std::string::npos || eq == 0) // no name: nothing to write it under
            continue;
        pairs.emplace_back(line.substr(0, eq), line.substr(eq + 1));
        checkIdent(pairs.back().first);
        checkValue(pairs.back().second);
    }
    writeStore([&](pf::IniFile& ini) {
        for (const auto& [k, v] : pairs)
            ini.writeString(s, k, v);
    });
}

void TDUDIniCtrl::ReadObject(const std::string& section, TDUDPersistent& obj)
{
    if (const auto s = readMapped(section))
        readStore([&](const pf::IniFile& ini) { DUDLoadObjectProperties(ini, *s, obj); });
}

void TDUDIniCtrl::WriteObject(const std::string& section, TDUDPersistent& obj)
{
    const std::string s = mapped(section);
    writeStore([&](pf::IniFile& ini) { DUDSaveObjectProperties(ini, s, obj); });
}

void TDUDIniCtrl::ReadSection(const std::string& section, std::vector<std::string>& list)
{
    list.clear();
    if (const auto s = readMapped(section))
        readStore([&](const pf::IniFile& ini) { list = ini.readSection(*s); });
}

void TDUDIniCtrl::ReadSections(std::vector<std::string>& list)
{
    readStore([&](const pf::IniFile& ini) {
        list = ini.readSections();
        if (!useRegistry_)
            return;
        // The registry file holds every program's keys: only the keys
        // directly under our own path are our sections.
        // Key names match without regard to case.
        auto lower = [](std::string t) {
            for (char& c : t)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return t;
        };
        const std::string base = lower(GetRegPath());
        std::vector<std::string> own, seen;
        for (const auto& path : list) {
            if (path.size() <= base.size() || lower(path.substr(0, base.size())) != base)
                continue;
            const std::string name = path.substr(base.size(), path.find('\\', base.size()) - base.size());
            if (!name.empty() && std::find(seen.begin(), seen.end(), lower(name)) == seen.end()) {
                seen.push_back(lower(name));
                own.push_back(name);
            }
        }
        list = std::move(own);
    });
}

void TDUDIniCtrl::ReadSectionValues(const std::string& section, std::vector<std::string>& list)
{
    readValues(readMapped(section), list);
}

void TDUDIniCtrl::readValues(const std::optional<std::string>& s, std::vector<std::string>& list)
{
    list.clear();
    if (!s)
        return;
    readStore([&](const pf::IniFile& ini) {
        for (const auto& key : ini.readSection(*s))
            list.push_back(key + "=" + ini.readString(*s, key, ""));
    });
}

void TDUDIniCtrl::DeleteKey(const std::string& section, const std::string& ident)
{
    const std::string s = mapped(section);
    writeStore([&](pf::IniFile& ini) { ini.deleteKey(s, ident); });
}

void TDUDIniCtrl::EraseSection(const std::string& section)
{
    const std::string s = mapped(section);
    writeStore([&](pf::IniFile& ini) { ini.eraseSection(s); });
}

std::vector<TDUDProperty> TDUDIniCtrl::PublishedProperties()
{
    auto str = [](std::string name, std::function<std::string()> get, std::function<void(const std::string&)> set) {
        TDUDProperty p;
        p.Name = std::move(name);
        p.Kind = TDUDPropKind::String;
        p.GetString = std::move(get);
        p.SetString = std::move(set);
        return p;
    };
    auto num = [](std::string name, std::int64_t def, std::function<std::int64_t()> get,
                  std::function<void(std::int64_t)> set) {
        TDUDProperty p;
        p.Name = std::move(name);
        p.Kind = TDUDPropKind::Integer;
        p.DefaultInt = def;
        p.GetInt = std::move(get);
        p.SetInt = std::move(set);
        return p;
    };
    return {
        str("About", [this] { return About; }, [this](const std::string& v) { About = v; }),
        num("Common", 1, [this] { return common_ ? 1 : 0; }, [this](std::int64_t v) { SetCommon(v != 0); }),
        num("NetUser", 0, [this] { return netUser_ ? 1 : 0; }, [this](std::int64_t v) { SetNetUser(v != 0); }),
        str("IniFile", [this] { return iniFile_; }, [this](const std::string& v) { SetIniFile(v); }),
        str("User", [this] { return user_; }, [this](const std::string& v) { SetUser(v); }),
        num("IniPrefix", 0, [this] { return static_cast<std::int64_t>(iniPrefix_); },
            [this](std::int64_t v) {
                if (v >= 0 && v <= 3)
                    SetIniPrefix(static_cast<TDUDPathPrefix>(v));
            }),
        num("RegRoot", 1, [this] { return static_cast<std::int64_t>(regRoot_); },
            [this](std::int64_t v) {
                if (v >= 0 && v <= 5)
                    SetRegRoot(static_cast<TDUDRegRootKey>(v));
            }),
        str("RegPath", [this] { return regPath_; }, [this](const std::string& v) { SetRegPath(v); }),
        num("AlphaCounter", 0, [this] { return alphaCounter_ ? 1 : 0; },
            [this](std::int64_t v) { SetAlphaCounter(v != 0); }),
        num("MaxEntries", 16, [this] { return maxEntries_; },
            [this](std::int64_t v) { SetMaxEntries(static_cast<int>(v)); }),
        num("Target", 2, [this] { return static_cast<std::int64_t>(target_); },
            [this](std::int64_t v) {
                if (v >= 0 && v <= 2)
                    SetTarget(static_cast<TDUDIniTarget>(v));
            }),
    };
}

void DUDSaveObjectProperties(pf::IniFile& ini, const std::string& section, TDUDPersistent& obj)
{
    for (const auto& p : obj.PublishedProperties()) {
        switch (p.Kind) {
        case TDUDPropKind::Integer: {
            const std::int64_t v = p.GetInt();
            if (v != p.DefaultInt)
                ini.writeString(section, p.Name, std::to_string(v));
            break;
        }
        case TDUDPropKind::Float: {
            const double v = p.GetFloat();
            if (v != 0)
                ini.writeString(section, p.Name, DUDIniFloatToText(v));
            break;
        }
        case TDUDPropKind::String: {
            const std::string v = p.GetString();
            if (!v.empty()) {
                checkValue(v);
                ini.writeString(section, p.Name, v);
            }
            break;
        }
        case TDUDPropKind::Other: break;
        }
    }
}

void DUDLoadObjectProperties(const pf::IniFile& ini, const std::string& section, TDUDPersistent& obj)
{
    for (const auto& p : obj.PublishedProperties()) {
        switch (p.Kind) {
        case TDUDPropKind::Integer: {
            const std::int64_t cur = p.GetInt();
            const std::string t = DUDTrim(ini.readString(section, p.Name, ""));
            std::int64_t v = cur;
            auto [e, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
            if (t.empty() || ec != std::errc() || e != t.data() + t.size())
                v = cur;
            p.SetInt(v);
            break;
        }
        case TDUDPropKind::Float:
            p.SetFloat(DUDIniTextToFloat(ini.readString(section, p.Name, ""), p.GetFloat()));
            break;
        case TDUDPropKind::String: p.SetString(ini.readString(section, p.Name, p.GetString())); break;
        case TDUDPropKind::Other: break;
        }
    }
}

} // namespace kyd::widgets
