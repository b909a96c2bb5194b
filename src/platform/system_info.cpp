#include "platform/system_info.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace kyd::platform {

namespace {

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::size_t b = 0;
    while (b <= text.size()) {
        auto e = text.find('\n', b);
        if (e == std::string::npos)
            e = text.size();
        out.push_back(text.substr(b, e - b));
        b = e + 1;
    }
    return out;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string trim(const std::string& s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

bool parseU64(const std::string& s, std::uint64_t& v)
{
    if (s.empty())
        return false;
    std::uint64_t r = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        const std::uint64_t d = static_cast<std::uint64_t>(c - '0');
        if (r > (UINT64_MAX - d) / 10)
            return false;
        r = r * 10 + d;
    }
    v = r;
    return true;
}

std::string unescapeMount(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            const char a = s[i + 1], b = s[i + 2], c = s[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out += static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

} // namespace

std::map<std::string, std::uint64_t> parseMeminfo(const std::string& text)
{
    std::map<std::string, std::uint64_t> out;
    for (const auto& line : lines(text)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos || colon == 0)
            continue;
        std::string rest = trim(line.substr(colon + 1));
        std::uint64_t mult = 1;
        if (rest.size() > 2 && rest.compare(rest.size() - 2, 2, "kB") == 0) {
            mult = 1024;
            rest = trim(rest.substr(0, rest.size() - 2));
        }
        std::uint64_t v = 0;
        if (!parseU64(rest, v) || v > UINT64_MAX / mult)
            continue;
        out[line.substr(0, colon)] = v * mult;
    }
    return out;
}

std::vector<MountEntry> parseMounts(const std::string& text)
{
    std::vector<MountEntry> out;
    for (const auto& line : lines(text)) {
        std::vector<std::string> fields;
        std::string cur;
        for (char c : line) {
            if (c == ' ' || c == '\t') {
                if (!cur.empty())
                    fields.push_back(cur);
                cur.clear();
            } else {
                cur += c;
            }
        }
        if (!cur.empty())
            fields.push_back(cur);
        if (fields.size() < 3 || fields[0][0] == '#')
            continue;
        out.push_back({unescapeMount(fields[0]), unescapeMount(fields[1]), fields[2]});
    }
    return out;
}

std::map<std::string, std::string> parseOsRelease(const std::string& text)
{
    std::map<std::string, std::string> out;
    for (const auto& raw : lines(text)) {
        const std::string line = trim(raw);
        if (line.empty() || line[0] == '#')
            continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos || eq == 0)
            continue;
        const std::string key = line.substr(0, eq);
        bool keyOk = true;
        for (char c : key)
            keyOk = keyOk && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_');
        if (!keyOk)
            continue;
        std::string v = line.substr(eq + 1);
        std::string value;
        if (!v.empty() && (v[0] == '"' || v[0] == '\'')) {
            const char q = v[0];
            bool closed = false;
            for (std::size_t i = 1; i < v.size(); ++i) {
                if (q == '"' && v[i] == '\\' && i + 1 < v.size()) {
                    value += v[++i];
                } else if (v[i] == q) {
                    closed = i + 1 == v.size();
                    break;
                } else {
                    value += v[i];
                }
            }
            if (!closed)
                continue;
        } else {
            value = v;
        }
        out[key] = value;
    }
    return out;
}

std::string readSmallFile(const std::string& path, std::size_t limit)
{
    std::string out;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return out;
    char buf[4096];
    while (out.size() < limit) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (out.size() > limit)
        out.resize(limit);
    return out;
}

MemoryStatus memoryStatus()
{
    MemoryStatus m;
    const auto info = parseMeminfo(readSmallFile("/proc/meminfo"));
    auto get = [&](const char* k) {
        auto it = info.find(k);
        return it == info.end() ? std::uint64_t{0} : it->second;
    };
    m.totalPhys = get("MemTotal");
    m.availPhys = info.count("MemAvailable") ? get("MemAvailable") : get("MemFree");
    if (m.availPhys > m.totalPhys)
        m.availPhys = m.totalPhys;
    m.totalPageFile = m.totalPhys + get("SwapTotal");
    m.availPageFile = m.availPhys + get("SwapFree");
    if (m.totalPhys > 0)
        m.loadPercent = static_cast<std::uint32_t>((m.totalPhys - m.availPhys) * 100 / m.totalPhys);
    struct rlimit rl {};
    std::uint64_t space = sizeof(void*) >= 8 ? (std::uint64_t{1} << 47) : (std::uint64_t{1} << 32);
    if (::getrlimit(RLIMIT_AS, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY && rl.rlim_cur < space)
        space = rl.rlim_cur;
    m.totalVirtual = space;
    // The process's own address space in use, from its status file.
    const auto status = parseMeminfo(readSmallFile("/proc/self/status"));
    auto vm = status.find("VmSize");
    const std::uint64_t used = vm == status.end() ? 0 : vm->second;
    m.availVirtual = used < space ? space - used : 0;
    return m;
}

std::optional<DiskSpace> diskSpace(const std::string& path)
{
    struct statvfs s {};
    if (::statvfs(path.c_str(), &s) != 0)
        return std::nullopt;
    DiskSpace d;
    const std::uint64_t frag = s.f_frsize ? s.f_frsize : s.f_bsize;
    d.total = static_cast<std::uint64_t>(s.f_blocks) * frag;
    d.free = static_cast<std::uint64_t>(s.f_bavail) * frag;
    d.blockSize = static_cast<std::uint32_t>(s.f_bsize);
    d.fragmentSize = static_cast<std::uint32_t>(frag);
    return d;
}

std::vector<MountEntry> mountTable() { return parseMounts(readSmallFile("/proc/self/mounts", 4 << 20)); }

KernelVersion kernelVersion()
{
    KernelVersion v;
    struct utsname u {};
    if (::uname(&u) != 0)
        return v;
    v.release = u.release;
    std::sscanf(u.release, "%d.%d.%d", &v.major, &v.minor, &v.build);
    return v;
}

std::string currentUserName()
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<std::size_t>(size) : 16384);
    struct passwd pw {};
    struct passwd* result = nullptr;
    while (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &result) == ERANGE && buf.size() < (1u << 20))
        buf.resize(buf.size() * 2);
    if (result && result->pw_name && *result->pw_name)
        return result->pw_name;
    const char* user = std::getenv("USER");
    return user ? user : "";
}

std::string hostName()
{
    char buf[HOST_NAME_MAX + 1] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0)
        return {};
    return buf;
}

int processorCount()
{
    const long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

std::string machineName()
{
    struct utsname u {};
    return ::uname(&u) == 0 ? std::string(u.machine) : std::string();
}

std::string tempPath()
{
    const char* t = std::getenv("TMPDIR");
    std::string p = t && *t ? t : "/tmp";
    if (p.back() != '/')
        p += '/';
    return p;
}

std::string timeZoneName()
{
    ::tzset();
    return tzname[0] ? tzname[0] : "";
}

int timeZoneBiasMinutes()
{
    ::tzset();
    return static_cast<int>(timezone / 60);
}

std::string localeName()
{
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v)
            return v;
    }
    return "C";
}

} // namespace kyd::platform
