// The library's settings component: typed values, string lists, colour
// lists and components' published properties, kept in an ini file or in a
// registry-like store (one ini file per root, a key path being a section
// and a value name a key).
//
// Nothing stays open: every operation takes the store's advisory lock,
// reads the file, does its one job and, for a change, writes the file back
// atomically, keeping what other programs wrote meanwhile. A store that
// cannot be read is never rewritten: writes to it raise, reads give the
// defaults. A failed write raises EDUDException. Reads take the lock
// shared, writes exclusively. A section name that no stored section can
// have (holding "]" or a line break) is refused by writes and reads as an
// empty section.
#pragma once

#include "widgets/framework/canvas.h"
#include "widgets/framework/object.h"
#include "widgets/storage/properties.h"
#include "widgets/framework/graphics.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kyd::platform {
class IniFile;
}

namespace kyd::widgets {

enum class TDUDIniUse { ioUseLink, ioUseGlobal, ioNone };
enum class TDUDPathPrefix { ppWindows, ppSystem, ppProgram, ppFixed };
enum class TDUDRegRootKey { rpClassesRoot, rpCurrentUser, rpLocalMachine, rpUsers, rpCurrentConfig, rpDynData };
enum class TDUDIniTarget { itIniFile, itRegistry, itAuto };

class TDUDIniCtrl;
using TDUDIniCtrlEvent = std::function<void(void* sender, TDUDIniCtrl* iniCtrl, const std::string& section)>;

// The root key handle a root stands for; 0 for a value outside the list.
std::uint32_t DUDGetRootKey(TDUDRegRootKey root);
// The file that holds a registry root: roots of the current user lie in
// the user's configuration folder, the others in the machine's.
std::string DUDRegistryFile(TDUDRegRootKey root);
// Overrides the two folders of the registry files (empty: the default).
void DUDSetRegistryFolders(const std::string& userFolder, const std::string& machineFolder);

// Letter or number after an entry's ident.
std::string DUDIniEntryCounter(int index, bool alpha);

class TDUDIniCtrl : public TDUDCustomComponent, public TDUDPersistent {
public:
    explicit TDUDIniCtrl(std::string name = {});

    // --- published properties ---
    std::string About;
    bool Common() const { return common_; }
    void SetCommon(bool v) { common_ = v; }
    bool NetUser() const { return netUser_; }
    void SetNetUser(bool v);
    const std::string& IniFile() const { return iniFile_; }
    void SetIniFile(const std::string& name);
    const std::string& User() const { return user_; }
    void SetUser(const std::string& v) { user_ = v; }
    TDUDPathPrefix IniPrefix() const { return iniPrefix_; }
    void SetIniPrefix(TDUDPathPrefix p) { iniPrefix_ = p; }
    TDUDRegRootKey RegRoot() const { return regRoot_; }
    void SetRegRoot(TDUDRegRootKey r) { regRoot_ = r; }
    const std::string& RegPath() const { return regPath_; }
    void SetRegPath(const std::string& p) { regPath_ = p; }
    bool AlphaCounter() const { return alphaCounter_; }
    void SetAlphaCounter(bool v);
    int MaxEntries() const { return maxEntries_; }
    void SetMaxEntries(int v);
    TDUDIniTarget Target() const { return target_; }
    void SetTarget(TDUDIniTarget t);
    // true: the registry store is used.
    bool UsesRegistry() const { return useRegistry_; }

    // The last section used; setting it maps the name and makes it the last.
    const std::string& Section() const { return lastSection_; }
    void SetSection(const std::string& section) { GetSectionName(section); }

    virtual std::string GetNetUserName() const;

    // The file the current target reads and writes.
    std::string GetIniName();
    std::string GetRegPath() const;
    // Maps a section as every operation does and remembers it.
    std::string GetSectionName(const std::string& section);

    // --- operations ---
    std::string ReadString(const std::string& section, const std::string& ident, const std::string& def);
    void WriteString(const std::string& section, const std::string& ident, const std::string& value);
    int ReadInteger(const std::string& section, const std::string& ident, int def);
    void WriteInteger(const std::string& section, const std::string& ident, int value);
    bool ReadBool(const std::string& section, const std::string& ident, bool def);
    void WriteBool(const std::string& section, const std::string& ident, bool value);
    double ReadFloat(const std::string& section, const std::string& ident, double def);
    void WriteFloat(const std::string& section, const std::string& ident, double value);
    // Dates and times as days since 1899-12-30 (the fraction is the time
    // of day), stored as "2024-05-31", "13:45:00" and "2024-05-31 13:45:00"
    // whatever the locale, so that files move between machines.
    double ReadDate(const std::string& section, const std::string& ident, double def);
    void WriteDate(const std::string& section, const std::string& ident, double value);
    double ReadTime(const std::string& section, const std::string& ident, double def);
    void WriteTime(const std::string& section, const std::string& ident, double value);
    double ReadDateTime(const std::string& section, const std::string& ident, double def);
    void WriteDateTime(const std::string& section, const std::string& ident, double value);
    TColor ReadColor(const std::string& section, const std::string& ident, TColor def);
    void WriteColor(const std::string& section, const std::string& ident, TColor value);
    bool ReadFont(const std::string& section, const std::string& ident, TFont& font);
    void WriteFont(const std::string& section, const std::string& ident, const TFont& font);
    TPoint ReadPoint(const std::string& section, const std::string& ident, const TPoint& def);
    void WritePoint(const std::string& section, const std::string& ident, const TPoint& value);
    TRect ReadRect(const std::string& section, const std::string& ident, const TRect& def);
    void WriteRect(const std::string& section, const std::string& ident, const TRect& value);

    void ReadStrings(const std::string& section, const std::string& ident, std::vector<std::string>& list);
    void WriteStrings(const std::string& section, const std::string& ident, const std::vector<std::string>& list);
    void ReadStringsExt(const std::string& section, const std::string& ident, std::vector<std::string>& list,
                        int count);
    void WriteStringsExt(const std::string& section, const std::string& ident,
                         const std::vector<std::string>& list, int count);
    // Lines "name=value"; the section is used as given.
    void ReadColorList(const std::string& section, std::vector<std::string>& list);
    void WriteColorList(const std::string& section, const std::vector<std::string>& list);

    void ReadObject(const std::string& section, TDUDPersistent& obj);
    void WriteObject(const std::string& section, TDUDPersistent& obj);

    void ReadSection(const std::string& section, std::vector<std::string>& list);
    void ReadSections(std::vector<std::string>& list);
    void ReadSectionValues(const std::string& section, std::vector<std::string>& list);
    void DeleteKey(const std::string& section, const std::string& ident);
    void EraseSection(const std::string& section);

    std::vector<TDUDProperty> PublishedProperties() override;

private:
    // Store section of a mapped section name (the key path in the registry).
    std::string storePath(const std::string& mapped) const;
    // The same, raising EDUDException for a name no section can have.
    std::string storeSection(const std::string& mapped) const;
    std::string mapped(const std::string& section) { return storeSection(GetSectionName(section)); }
    // The store section a read uses (the section mapped, or as given); none
    // for a name no section can have, which reads as an empty section.
    std::optional<std::string> readMapped(const std::string& section, bool asGiven = false);
    // The name=value lines of a store section (none without one).
    void readValues(const std::optional<std::string>& storeSection, std::vector<std::string>& list);
    void readStore(const std::function<void(const platform::IniFile&)>& job);
    void writeStore(const std::function<void(platform::IniFile&)>& job);
    int entryLimit(int count) const;

    bool common_ = true;
    bool netUser_ = false;
    std::string iniFile_;
    std::string lastSection_;
    std::string user_;
    TDUDPathPrefix iniPrefix_ = TDUDPathPrefix::ppWindows;
    TDUDRegRootKey regRoot_ = TDUDRegRootKey::rpCurrentUser;
    std::string regPath_;
    bool alphaCounter_ = false;
    int maxEntries_ = 16;
    bool useRegistry_ = true;
    TDUDIniTarget target_ = TDUDIniTarget::itAuto;
};

// Property-by-property save and load of a component (see TDUDPersistent):
// integers only when they differ from the default, floats when not 0,
// strings when not empty; reads keep the current value as the default.
void DUDSaveObjectProperties(platform::IniFile& ini, const std::string& section, TDUDPersistent& obj);
void DUDLoadObjectProperties(const platform::IniFile& ini, const std::string& section, TDUDPersistent& obj);

// Text that a stored float reads as; the default when it does not convert.
double DUDIniTextToFloat(const std::string& text, double def);
std::string DUDIniFloatToText(double v);
// The stored forms of dates and times; parsing gives def for text that is
// not such a date or time (or a day that does not exist).
std::string DUDIniDateToText(double dt);
std::string DUDIniTimeToText(double dt);
std::string DUDIniDateTimeToText(double dt);
double DUDIniTextToDateTime(const std::string& text, double def);

} // namespace kyd::widgets
