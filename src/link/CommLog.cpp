#include "link/CommLog.h"

#include "platform/safe_file.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace kyd::link {

namespace {

struct Parts {
    std::tm tm{};
    int ms = 0;
};

Parts Split(DateTime t)
{
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(t.time_since_epoch()).count();
    auto secs = ms / 1000;
    int rest = static_cast<int>(ms % 1000);
    if (rest < 0) { // before 1970
        rest += 1000;
        --secs;
    }
    Parts p;
    std::time_t tt = static_cast<std::time_t>(secs);
    localtime_r(&tt, &p.tm);
    p.ms = rest;
    return p;
}

} // namespace

std::string FormatLogStamp(DateTime t, bool timeStamp, bool dateStamp)
{
    if (!timeStamp && !dateStamp)
        return {};
    Parts p = Split(t);
    char date[32];
    char time[32];
    std::snprintf(date, sizeof date, "%02d/%02d/%02d", p.tm.tm_mday, p.tm.tm_mon + 1,
                  (p.tm.tm_year + 1900) % 100);
    std::snprintf(time, sizeof time, "%02d:%02d:%02d.%03d", p.tm.tm_hour, p.tm.tm_min, p.tm.tm_sec,
                  p.ms);
    if (timeStamp && dateStamp)
        return std::string(date) + " " + time;
    return timeStamp ? std::string(time) : std::string(date);
}

std::string FormatDateTime(DateTime t)
{
    Parts p = Split(t);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", p.tm.tm_mday, p.tm.tm_mon + 1,
                  p.tm.tm_year + 1900, p.tm.tm_hour, p.tm.tm_min, p.tm.tm_sec);
    return buf;
}

LogWrite AppendLogLines(const std::string& path, const std::vector<std::string>& lines)
{
    if (path.empty())
        return LogWrite::NotOpened;
    // A FIFO, a device or a folder is refused at once, never waited on.
    std::FILE* out = platform::openRegularFile(path, platform::FileAccess::Append);
    if (!out)
        return LogWrite::NotOpened;
    bool written = true;
    for (const auto& line : lines)
        written = written && std::fwrite(line.data(), 1, line.size(), out) == line.size() && std::fputc('\n', out) != EOF;
    written = std::fflush(out) == 0 && written;
    written = std::fclose(out) == 0 && written;
    return written ? LogWrite::Written : LogWrite::Failed;
}

void ShownBytes::Add(const std::string& bytes)
{
    const std::size_t room = kMaxShownBytes - std::min(text_.size(), kMaxShownBytes);
    const std::size_t kept = std::min(room, bytes.size());
    text_.append(bytes, 0, kept);
    dropped_ += bytes.size() - kept;
}

std::string ShownText(const std::string& bytes, std::uint64_t dropped)
{
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r') {
            out += "<CR>";
        } else if (u < 0x20 || u >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "<%02X>", u);
            out += buf;
        } else {
            out += c;
        }
    }
    if (dropped > 0)
        out += " ... (" + std::to_string(dropped) + " more bytes not shown)";
    return out;
}

std::string DiscardedLine(const std::string& bytes, std::uint64_t dropped)
{
    return "Discarded: " + ShownText(bytes, dropped);
}

} // namespace kyd::link
