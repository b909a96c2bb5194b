#include "platform/ini_file.h"

#include "platform/folders.h"
#include "platform/ini_place.h"
#include "platform/instance_lock.h"
#include "platform/int_text.h"
#include "platform/safe_file.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <unistd.h>

namespace kyd::platform {

namespace {

bool equalNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lx = static_cast<unsigned char>(x), ly = static_cast<unsigned char>(y);
               return (lx >= 'A' && lx <= 'Z' ? lx + 32 : lx) == (ly >= 'A' && ly <= 'Z' ? ly + 32 : ly);
           });
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string trim(const std::string& s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && isSpace(s[b]))
        ++b;
    while (e > b && isSpace(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

bool parseInt(const std::string& text, int& out) { return ParseIntText(trim(text), out); }

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// A value as it stands in the file: blanks around it dropped, then one pair
// of double quotes around it removed.
std::string decodeValue(const std::string& raw)
{
    std::size_t b = 0, e = raw.size();
    while (b < e && isBlank(raw[b]))
        ++b;
    while (e > b && isBlank(raw[e - 1]))
        --e;
    if (e - b >= 2 && raw[b] == '"' && raw[e - 1] == '"') {
        ++b;
        --e;
    }
    return raw.substr(b, e - b);
}

// The inverse of decodeValue for a value without line breaks.
std::string encodeValue(const std::string& v)
{
    const bool quote = !v.empty() && (isBlank(v.front()) || isBlank(v.back()) ||
                                      (v.size() >= 2 && v.front() == '"' && v.back() == '"'));
    return quote ? '"' + v + '"' : v;
}

bool hasLineBreak(const std::string& s)
{
    return s.find_first_of("\r\n") != std::string::npos;
}

// Names that read back as the same section or key.
bool validSection(const std::string& name)
{
    return !hasLineBreak(name);
}

bool validKey(const std::string& key)
{
    return !key.empty() && !hasLineBreak(key) && key.find('=') == std::string::npos && key.front() != ';' &&
           key.front() != '[';
}

template <class Sections>
auto findIn(Sections& sections, const std::string& name) -> decltype(&sections.front())
{
    const std::string n = trim(name);
    for (auto& s : sections)
        if (equalNoCase(s.name, n))
            return &s;
    return nullptr;
}

template <class Section>
auto findKey(Section* s, const std::string& key) -> decltype(&s->entries.front())
{
    if (!s)
        return nullptr;
    const std::string k = trim(key);
    for (auto& e : s->entries)
        if (!e.key.empty() && equalNoCase(e.key, k))
            return &e;
    return nullptr;
}

// Reads the file into text. Returns an error text when it exists and cannot
// be used; a missing file is empty text and no error.
std::string readText(const std::string& path, std::string& text)
{
    text.clear();
    std::string reason;
    return readRegularFile(path, IniFile::kMaxFileSize, text, &reason) == ReadResult::Failed ? reason
                                                                                               : std::string();
}

} // namespace

IniFile::IniFile(std::string path) : path_(std::move(path))
{
    reload();
}

std::string IniFile::loadError() const
{
    std::lock_guard<std::mutex> g(mutex_);
    return loadError_;
}

std::string IniFile::startNotice() const
{
    std::lock_guard<std::mutex> g(mutex_);
    return startNotice_;
}

void IniFile::setStartNotice(std::string notice)
{
    std::lock_guard<std::mutex> g(mutex_);
    startNotice_ = std::move(notice);
}

void IniFile::reload()
{
    std::string text;
    std::string error = readText(path_, text);
    Document doc = parse(text);
    std::lock_guard<std::mutex> g(mutex_);
    loadError_ = std::move(error);
    doc_ = std::move(doc);
    changes_.clear();
}

IniFile::Document IniFile::parse(const std::string& text)
{
    Document doc;
    std::size_t pos = 0;
    while (pos < text.size()) {
        // A line ends at LF, CR LF or a lone CR.
        const std::size_t brk = text.find_first_of("\r\n", pos);
        std::string line = text.substr(pos, brk == std::string::npos ? std::string::npos : brk - pos);
        pos = brk == std::string::npos ? text.size() : brk + 1;
        if (brk != std::string::npos && text[brk] == '\r' && pos < text.size() && text[pos] == '\n')
            ++pos;

        const std::string t = trim(line);
        if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
            doc.sections.push_back(Section{trim(t.substr(1, t.size() - 2)), line, {}});
            continue;
        }
        if (doc.sections.empty()) {
            doc.preamble.push_back(std::move(line));
            continue;
        }
        Entry e;
        const std::size_t eq = line.find('=');
        const bool comment = !t.empty() && t.front() == ';';
        if (!comment && eq != std::string::npos && !trim(line.substr(0, eq)).empty()) {
            e.key = trim(line.substr(0, eq));
            e.value = decodeValue(line.substr(eq + 1));
        }
        e.line = std::move(line); // comment, blank or unknown lines are kept as they stand
        doc.sections.back().entries.push_back(std::move(e));
    }
    return doc;
}

std::string IniFile::serialize(const Document& doc)
{
    std::string text;
    for (const std::string& l : doc.preamble)
        text += l + "\n";
    for (const Section& s : doc.sections) {
        text += (s.header.empty() ? "[" + s.name + "]" : s.header) + "\n";
        for (const Entry& e : s.entries)
            text += (e.key.empty() || !e.line.empty() ? e.line : e.key + "=" + encodeValue(e.value)) + "\n";
    }
    return text;
}

void IniFile::apply(Document& doc, const Change& c)
{
    switch (c.kind) {
    case Change::Kind::Write: {
        Section* s = findIn(doc.sections, c.section);
        if (!s) {
            // Keep a blank line between the sections of the written file.
            if (!doc.sections.empty()) {
                auto& prev = doc.sections.back().entries;
                if (prev.empty() || !prev.back().key.empty() || !trim(prev.back().line).empty())
                    prev.push_back(Entry{});
            } else if (!doc.preamble.empty() && !trim(doc.preamble.back()).empty()) {
                doc.preamble.push_back("");
            }
            doc.sections.push_back(Section{c.section, {}, {}});
            s = &doc.sections.back();
        }
        if (Entry* e = findKey(s, c.key)) {
            e->value = c.value;
            e->line.clear();
            return;
        }
        // A new key goes after the section's last key, ahead of trailing
        // blank and comment lines (which usually belong to the next section).
        auto it = s->entries.end();
        while (it != s->entries.begin() && std::prev(it)->key.empty())
            --it;
        s->entries.insert(it, Entry{c.key, c.value, {}});
        return;
    }
    case Change::Kind::Delete:
        if (Section* s = findIn(doc.sections, c.section))
            s->entries.erase(std::remove_if(s->entries.begin(), s->entries.end(),
                                            [&](const Entry& e) { return !e.key.empty() && equalNoCase(e.key, c.key); }),
                             s->entries.end());
        return;
    case Change::Kind::Erase:
        doc.sections.erase(std::remove_if(doc.sections.begin(), doc.sections.end(),
                                          [&](const Section& s) { return equalNoCase(s.name, c.section); }),
                           doc.sections.end());
        return;
    }
}

void IniFile::record(Change c)
{
    // Only the last change of a key counts; erasing a section supersedes
    // every earlier change in it.
    changes_.erase(std::remove_if(changes_.begin(), changes_.end(),
                                  [&](const Change& old) {
                                      return equalNoCase(old.section, c.section) &&
                                             (c.kind == Change::Kind::Erase ||
                                              (old.kind != Change::Kind::Erase && equalNoCase(old.key, c.key)));
                                  }),
                   changes_.end());
    apply(doc_, c);
    changes_.push_back(std::move(c));
}

std::string IniFile::readString(const std::string& section, const std::string& key, const std::string& def) const
{
    std::lock_guard<std::mutex> g(mutex_);
    if (const Entry* e = findKey(findIn(doc_.sections, section), key))
        return e->value;
    return def;
}

int IniFile::readInteger(const std::string& section, const std::string& key, int def) const
{
    std::string text = readString(section, key, "");
    int v;
    return parseInt(text, v) ? v : def;
}

bool IniFile::readBool(const std::string& section, const std::string& key, bool def) const
{
    return readInteger(section, key, def ? 1 : 0) != 0;
}

void IniFile::writeString(const std::string& section, const std::string& key, const std::string& value)
{
    Change c{Change::Kind::Write, trim(section), trim(key), value};
    if (!validSection(c.section) || !validKey(c.key))
        return; // could not be read back under this name
    for (char& ch : c.value)
        if (ch == '\r' || ch == '\n')
            ch = ' ';
    std::lock_guard<std::mutex> g(mutex_);
    record(std::move(c));
}

void IniFile::writeInteger(const std::string& section, const std::string& key, int value)
{
    writeString(section, key, std::to_string(value));
}

void IniFile::writeBool(const std::string& section, const std::string& key, bool value)
{
    writeString(section, key, value ? "1" : "0");
}

bool IniFile::sectionExists(const std::string& section) const
{
    std::lock_guard<std::mutex> g(mutex_);
    return findIn(doc_.sections, section) != nullptr;
}

bool IniFile::valueExists(const std::string& section, const std::string& key) const
{
    std::lock_guard<std::mutex> g(mutex_);
    return findKey(findIn(doc_.sections, section), key) != nullptr;
}

std::vector<std::string> IniFile::readSections() const
{
    std::lock_guard<std::mutex> g(mutex_);
    std::vector<std::string> r;
    for (auto& s : doc_.sections)
        r.push_back(s.name);
    return r;
}

std::vector<std::string> IniFile::readSection(const std::string& section) const
{
    std::lock_guard<std::mutex> g(mutex_);
    std::vector<std::string> r;
    if (const Section* s = findIn(doc_.sections, section))
        for (auto& e : s->entries)
            if (!e.key.empty())
                r.push_back(e.key);
    return r;
}

void IniFile::eraseSection(const std::string& section)
{
    std::lock_guard<std::mutex> g(mutex_);
    record(Change{Change::Kind::Erase, trim(section), {}, {}});
}

void IniFile::deleteKey(const std::string& section, const std::string& key)
{
    std::lock_guard<std::mutex> g(mutex_);
    record(Change{Change::Kind::Delete, trim(section), trim(key), {}});
}

bool IniFile::updateFile(std::string* error)
{
    std::lock_guard<std::mutex> g(mutex_);
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    // A file that could not be read is never written over.
    if (!loadError_.empty())
        return fail(loadError_);
    if (changes_.empty())
        return true;
    // Whatever others wrote meanwhile stays; only our changes are applied.
    // Every writer of the file (other ini objects, the component library's
    // ini control, other processes) takes this lock around its
    // read-merge-replace, so none undoes another's.
    FileLock lock(path_);
    std::string text;
    if (std::string why = readText(path_, text); !why.empty())
        return fail(why);
    Document merged = parse(text);
    for (const Change& c : changes_)
        apply(merged, c);
    if (!replaceFile(path_, serialize(merged), error))
        return false;
    doc_ = std::move(merged);
    changes_.clear();
    return true;
}

IniChoice defaultIniChoice()
{
    if (const char* env = std::getenv("KYD_INI"); env && *env)
        return {env, {}};
    std::string exe;
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0)
        exe.assign(buf, static_cast<std::size_t>(n));
    return settleIniPlace(chooseIniPlace(exe, userConfigDir(), &folderWritable));
}

std::string defaultIniPath()
{
    return defaultIniChoice().path;
}

namespace {
std::mutex g_sharedMutex;
std::string g_sharedPath;
std::unique_ptr<IniFile> g_shared;
} // namespace

void setSharedIniPath(const std::string& path)
{
    std::lock_guard<std::mutex> g(g_sharedMutex);
    if (g_shared)
        throw std::logic_error("setSharedIniPath called after the ini file was opened");
    g_sharedPath = path;
}

IniFile& sharedIni()
{
    std::lock_guard<std::mutex> g(g_sharedMutex);
    if (!g_shared) {
        const IniChoice choice = g_sharedPath.empty() ? defaultIniChoice() : IniChoice{g_sharedPath, {}};
        g_shared = std::make_unique<IniFile>(choice.path);
        g_shared->setStartNotice(choice.notice);
    }
    return *g_shared;
}

} // namespace kyd::platform
