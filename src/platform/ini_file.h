// In-memory ini file.
//
// The whole file is read when the object is created (a missing or unreadable
// file is an empty one). Section and key names match without regard to case;
// the order of sections and keys and any unknown keys are kept. Integer reads
// fall back to the default on bad text, booleans are integers (!= 0) and are
// written as 1/0, values are written as they stand (no quoting, no escaping).
// Writes change memory only; updateFile() writes the file atomically
// (temporary file + rename) and reports failure.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace kyd::platform {

class IniFile {
public:
    explicit IniFile(std::string path);

    const std::string& fileName() const { return path_; }

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
    // Writes the file atomically. On failure returns false and, when error is
    // given, stores a readable reason ("<path>: Permission denied").
    bool updateFile(std::string* error = nullptr) const;

private:
    struct Entry {
        std::string key;   // empty for a line that is not key=value (kept as is)
        std::string value; // or the raw line
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };
    Section* findSection(const std::string& name);
    const Section* findSection(const std::string& name) const;
    void parse(const std::string& text);

    std::string path_;
    mutable std::mutex mutex_;
    std::vector<std::string> preamble_; // lines before the first section
    std::vector<Section> sections_;
};

// Path of the program's ini file: the KYD_INI environment variable when set,
// else the executable's path with its extension replaced by ".INI".
std::string defaultIniPath();
// Overrides the path used by sharedIni() (the --ini command-line option);
// must be called before the first sharedIni().
void setSharedIniPath(const std::string& path);
// The one ini object of the process, shared by every window that uses it.
IniFile& sharedIni();

} // namespace kyd::platform
