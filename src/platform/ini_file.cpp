#include "platform/ini_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
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

std::string trimLeft(const std::string& s)
{
    std::size_t b = 0;
    while (b < s.size() && isSpace(s[b]))
        ++b;
    return s.substr(b);
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

// Decimal with an optional sign, or hexadecimal written "$1F" or "0x1F";
// anything else (including out-of-range numbers) is not an integer.
bool parseInt(const std::string& text, int& out)
{
    std::string s = trim(text);
    std::size_t i = 0;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        neg = s[i++] == '-';
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size())
        return false;
    long long v = 0;
    for (; i < s.size(); ++i) {
        char c = s[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        v = v * base + d;
        if (v > 0x1'0000'0000LL)
            return false;
    }
    if (neg)
        v = -v;
    if (base == 16 && !neg && v > INT_MAX && v <= 0xFFFF'FFFFLL)
        v = static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); // "$FFFFFFFF" = -1
    if (v < INT_MIN || v > INT_MAX)
        return false;
    out = static_cast<int>(v);
    return true;
}

std::string errorText(const std::string& path, int err)
{
    return path + ": " + std::strerror(err);
}

} // namespace

IniFile::IniFile(std::string path) : path_(std::move(path))
{
    reload();
}

void IniFile::reload()
{
    std::string text;
    {
        std::ifstream in(path_, std::ios::binary);
        if (in) {
            std::ostringstream ss;
            ss << in.rdbuf();
            text = ss.str();
        }
    }
    std::lock_guard<std::mutex> g(mutex_);
    parse(text);
}

void IniFile::parse(const std::string& text)
{
    preamble_.clear();
    sections_.clear();
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        pos = nl == std::string::npos ? text.size() : nl + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();

        std::string t = trim(line);
        if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
            sections_.push_back(Section{trim(t.substr(1, t.size() - 2)), {}});
            continue;
        }
        Entry e;
        std::size_t eq = line.find('=');
        bool comment = !t.empty() && t.front() == ';';
        if (!comment && eq != std::string::npos && !trim(line.substr(0, eq)).empty()) {
            e.key = trim(line.substr(0, eq));
            e.value = trimLeft(line.substr(eq + 1));
        } else {
            e.value = line; // comment, blank or unknown line: kept as it stands
        }
        if (sections_.empty()) {
            preamble_.push_back(line);
        } else {
            sections_.back().entries.push_back(std::move(e));
        }
    }
}

IniFile::Section* IniFile::findSection(const std::string& name)
{
    for (auto& s : sections_)
        if (equalNoCase(s.name, name))
            return &s;
    return nullptr;
}

const IniFile::Section* IniFile::findSection(const std::string& name) const
{
    for (auto& s : sections_)
        if (equalNoCase(s.name, name))
            return &s;
    return nullptr;
}

std::string IniFile::readString(const std::string& section, const std::string& key, const std::string& def) const
{
    std::lock_guard<std::mutex> g(mutex_);
    if (const Section* s = findSection(section))
        for (auto& e : s->entries)
            if (!e.key.empty() && equalNoCase(e.key, key))
                return e.value;
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
    std::string k = trim(key);
    if (k.empty())
        return; // no key to write under
    std::lock_guard<std::mutex> g(mutex_);
    Section* s = findSection(section);
    if (!s) {
        // Keep a blank line between the sections of the written file.
        if (!sections_.empty()) {
            auto& prev = sections_.back().entries;
            if (prev.empty() || !prev.back().key.empty() || !trim(prev.back().value).empty())
                prev.push_back(Entry{});
        } else if (!preamble_.empty() && !trim(preamble_.back()).empty()) {
            preamble_.push_back("");
        }
        sections_.push_back(Section{section, {}});
        s = &sections_.back();
    }
    for (auto& e : s->entries)
        if (!e.key.empty() && equalNoCase(e.key, k)) {
            e.value = value;
            return;
        }
    // A new key goes after the section's last key, ahead of trailing blank
    // and comment lines (which usually belong to the next section).
    auto it = s->entries.end();
    while (it != s->entries.begin() && std::prev(it)->key.empty())
        --it;
    s->entries.insert(it, Entry{k, value});
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
    return findSection(section) != nullptr;
}

bool IniFile::valueExists(const std::string& section, const std::string& key) const
{
    std::lock_guard<std::mutex> g(mutex_);
    if (const Section* s = findSection(section))
        for (auto& e : s->entries)
            if (!e.key.empty() && equalNoCase(e.key, key))
                return true;
    return false;
}

std::vector<std::string> IniFile::readSections() const
{
    std::lock_guard<std::mutex> g(mutex_);
    std::vector<std::string> r;
    for (auto& s : sections_)
        r.push_back(s.name);
    return r;
}

std::vector<std::string> IniFile::readSection(const std::string& section) const
{
    std::lock_guard<std::mutex> g(mutex_);
    std::vector<std::string> r;
    if (const Section* s = findSection(section))
        for (auto& e : s->entries)
            if (!e.key.empty())
                r.push_back(e.key);
    return r;
}

void IniFile::eraseSection(const std::string& section)
{
    std::lock_guard<std::mutex> g(mutex_);
    sections_.erase(std::remove_if(sections_.begin(), sections_.end(),
                                   [&](const Section& s) { return equalNoCase(s.name, section); }),
                    sections_.end());
}

void IniFile::deleteKey(const std::string& section, const std::string& key)
{
    std::lock_guard<std::mutex> g(mutex_);
    if (Section* s = findSection(section))
        s->entries.erase(std::remove_if(s->entries.begin(), s->entries.end(),
                                        [&](const Entry& e) { return !e.key.empty() && equalNoCase(e.key, key); }),
                         s->entries.end());
}

bool IniFile::updateFile(std::string* error) const
{
    std::string text;
    {
        std::lock_guard<std::mutex> g(mutex_);
        for (auto& l : preamble_)
            text += l + "\n";
        for (auto& s : sections_) {
            text += "[" + s.name + "]\n";
            for (auto& e : s.entries)
                text += e.key.empty() ? e.value + "\n" : e.key + "=" + e.value + "\n";
        }
    }

    auto fail = [&](int err, const std::string& what) {
        if (error)
            *error = errorText(what, err);
        return false;
    };

    // Replace the file a symbolic link points to, not the link.
    std::string target = path_;
    struct stat st {};
    if (lstat(path_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = realpath(path_.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    mode_t mode = 0644;
    if (stat(target.c_str(), &st) == 0)
        mode = st.st_mode & 07777;

    std::string tmpl = target + ".XXXXXX";
    std::unique_ptr<char[]> name(new char[tmpl.size() + 1]);
    std::memcpy(name.get(), tmpl.c_str(), tmpl.size() + 1);
    int fd = mkostemp(name.get(), O_CLOEXEC);
    if (fd < 0)
        return fail(errno, path_);
    std::string tmp = name.get();
    auto abandon = [&](int err) {
        ::close(fd);
        ::unlink(tmp.c_str());
        return fail(err, path_);
    };
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return abandon(errno);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)
        return abandon(errno);
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        return fail(err, path_);
    }
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        return fail(err, path_);
    }
    // Make the rename itself durable.
    std::string dir = target.substr(0, target.find_last_of('/') == std::string::npos ? 0 : target.find_last_of('/'));
    int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

std::string defaultIniPath()
{
    if (const char* env = std::getenv("KYD_INI"); env && *env)
        return env;
    std::string exe;
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0)
        exe.assign(buf, static_cast<std::size_t>(n));
    else
        exe = "kydtest";
    std::size_t slash = exe.find_last_of('/');
    std::size_t dot = exe.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1))
        exe.erase(dot);
    return exe + ".INI";
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
    if (!g_shared)
        g_shared = std::make_unique<IniFile>(g_sharedPath.empty() ? defaultIniPath() : g_sharedPath);
    return *g_shared;
}

} // namespace kyd::platform
