// In-memory ini file.
//
// The whole file is read when the object is created. A missing file is an
// empty one. A file that exists but cannot be used — unreadable, not a
// regular file (a directory, a FIFO, a device), or larger than
// kMaxFileSize — is not read: loadError() says why, the object starts
// empty, and updateFile() never writes over it.
//
// Section and key names match without regard to case or to blanks around
// them; the order of sections and keys and every line the program does not
// change are kept as they stand. Lines end at LF, CR LF or a lone CR. A
// value is the text after the first '=' without the blanks around it; a
// value written with blanks at either end (or in double quotes) is stored in
// double quotes, which reading removes again, so it comes back unchanged.
// A value is one line: CR and LF in it become blanks. Integer reads fall back
// to the default on bad text, booleans are integers (!= 0) written as 1/0.
//
// Writes change memory only. updateFile() reads the file again, applies the
// keys this object wrote or deleted (and the sections it erased) since it
// was read, and replaces the file atomically (temporary file + rename), so
// what another program wrote meanwhile under other keys is kept. The
// re-read, merge and rename hold the advisory lock that every writer of
// ini files takes (FileLock), so two writers at once never undo each other.
#pragma once

#include "platform/ini_place.h"

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace kyd::platform {

class IniFile {
public:
    explicit IniFile(std::string path);

    const std::string& fileName() const { return path_; }
    // Why the file could not be read ("<path>: Permission denied"); empty
    // when it was read or does not exist.
    std::string loadError() const;
    // What the operator is to be told at start about where the settings
    // live (see settleIniPlace); empty when nothing. Set by whoever chose
    // the file.
    std::string startNotice() const;
    void setStartNotice(std::string notice);

    std::string readString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    int readInteger(const std::string& section, const std::string& key, int def) const;
    bool readBool(const std::string& section, const std::string& key, bool def) const;

    void writeString(const std::string& section, const std::string& key, const std::string& value);
    void writeInteger(const std::string& section, const std::string& key, int value);
    void writeBool(const std::string& section, const std::string& key, bool value);

    bool sectionExists(const std::string& section) const;
    bool valueExists(const std::string& section, const std::string& key) const;
    std::vector<std::string> readSections() const;
    std::vector<std::string> readSection(const std::string& section) const; // key names
    void eraseSection(const std::string& section);
    void deleteKey(const std::string& section, const std::string& key);

    // Re-reads the file, dropping unsaved changes.
    void reload();
    // Merges this object's changes into the file as it is now and writes it
    // atomically; the object then holds the merged content. Nothing to
    // write (no changes) succeeds without touching the file. On failure
    // returns false and, when error is given, stores a readable reason
    // ("<path>: Permission denied").
    bool updateFile(std::string* error = nullptr);

    // Files larger than this are refused.
    static constexpr std::size_t kMaxFileSize = 16 * 1024 * 1024;

private:
    struct Entry {
        std::string key;   // empty for a line that is not key=value
        std::string value; // decoded value
        std::string line;  // the line as read; empty once the key was written
    };
    struct Section {
        std::string name;   // without brackets and blanks
        std::string header; // the line as read; empty for a new section
        std::vector<Entry> entries;
    };
    struct Document {
        std::vector<std::string> preamble; // lines before the first section
        std::vector<Section> sections;
    };
    struct Change {
        enum class Kind { Write, Delete, Erase } kind;
        std::string section, key, value;
    };
    void record(Change c);
    static Document parse(const std::string& text);
    static std::string serialize(const Document& doc);
    static void apply(Document& doc, const Change& c);

    std::string path_;
    mutable std::mutex mutex_;
    Document doc_;
    std::vector<Change> changes_; // since the file was last read or written
    std::string loadError_;
    std::string startNotice_;
};

// Path of the program's ini file: the KYD_INI environment variable when set,
// else the executable's path with its extension replaced by ".INI" when the
// executable's folder can be written, else a file of that name in the
// user's configuration folder (kydtest/ in $XDG_CONFIG_HOME or ~/.config),
// made a copy of the file beside the program the first time (see
// ini_place.h).
std::string defaultIniPath();
// The same, with what the operator is to be told about the choice.
IniChoice defaultIniChoice();
// Overrides the path used by sharedIni() (the --ini command-line option);
// must be called before the first sharedIni().
void setSharedIniPath(const std::string& path);
// The one ini object of the process, shared by every window that uses it;
// its start notice is the default choice's.
IniFile& sharedIni();

} // namespace kyd::platform
