#include "serial/SioMisc.h"

#include "platform/clock.h"
#include "platform/message_loop.h"
#include "platform/process.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <filesystem>
#include <limits>

namespace sio {

namespace {

using Wide = __int128;

std::int64_t saturate(Wide v)
{
    constexpr Wide hi = std::numeric_limits<std::int64_t>::max();
    constexpr Wide lo = std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(std::clamp(v, lo, hi));
}

} // namespace

// ---------------------------------------------------------------------------
// Ticks and timers

std::int64_t SioTimeGetTime()
{
    return kyd::platform::clock().monotonicMs();
}

Ticks NowTicks()
{
    return SioTimeGetTime() / kMSecsPerTick;
}

Ticks Secs2Ticks(std::int64_t secs)
{
    return saturate(Wide(secs) * 1675 / 92);
}

Ticks MSecs2Ticks(std::int64_t msecs)
{
    return saturate(Wide(msecs) * 1675 / 92000);
}

std::int64_t Ticks2Secs(Ticks ticks)
{
    return saturate((Wide(ticks) + 9) * 92 / 1675);
}

void NewTimer(EventTimer& timer, Ticks ticks)
{
    timer.StartTicks = NowTicks();
    timer.ExpireTicks = timer.StartTicks + std::min(ticks, kMaxTimerTicks);
}

void NewTimerSecs(EventTimer& timer, std::int64_t secs)
{
    NewTimer(timer, Secs2Ticks(secs));
}

bool TimerExpired(const EventTimer& timer)
{
    return NowTicks() > timer.ExpireTicks;
}

Ticks ElapsedTime(const EventTimer& timer)
{
    return std::max<Ticks>(NowTicks() - timer.StartTicks, 0);
}

std::int64_t ElapsedTimeInSecs(const EventTimer& timer)
{
    return Ticks2Secs(ElapsedTime(timer));
}

Ticks RemainingTime(const EventTimer& timer)
{
    return std::max<Ticks>(timer.ExpireTicks - NowTicks(), 0);
}

std::int64_t RemainingTimeInSecs(const EventTimer& timer)
{
    return Ticks2Secs(RemainingTime(timer));
}

std::int64_t TimerDeadlineMs(const EventTimer& timer)
{
    // Expired once now / 55 > expiry, i.e. from the first millisecond of the
    // tick after the expiry tick.
    return saturate((Wide(timer.ExpireTicks) + 1) * kMSecsPerTick);
}

namespace {

void sleepUntilMs(std::int64_t deadlineMs)
{
    std::mutex m;
    std::condition_variable cv;
    std::unique_lock<std::mutex> lock(m);
    kyd::platform::waitUntilMs(cv, lock, deadlineMs, [] { return false; });
}

} // namespace

std::uint32_t DelayTicks(Ticks ticks, bool yield)
{
    if (ticks <= 0)
        return 0;
    EventTimer timer;
    NewTimer(timer, ticks);
    const std::int64_t deadline = TimerDeadlineMs(timer);

    if (yield && kyd::platform::hasMessageLoop() && kyd::platform::messageLoop().isMainThread()) {
        kyd::platform::MessageLoop& loop = kyd::platform::messageLoop();
        for (;;) {
            if (loop.quitRequested())
                return kyd::platform::kQuitMessage;
            if (TimerExpired(timer))
                return 0;
            loop.pumpUntil([&] { return TimerExpired(timer); },
                           std::max<std::int64_t>(deadline - SioTimeGetTime(), 1));
        }
    }
    sleepUntilMs(deadline);
    return 0;
}

void DelayMS(std::int64_t ms)
{
    if (ms <= 0)
        return;
    sleepUntilMs(SioTimeGetTime() + ms);
}

std::uint32_t SafeYield()
{
    if (!kyd::platform::hasMessageLoop())
        return 0;
    return kyd::platform::messageLoop().processOne();
}

// ---------------------------------------------------------------------------
// Flags and buffers

void NotBuffer(std::uint8_t* buffer, std::size_t len)
{
    for (std::size_t i = 0; i < len; ++i)
        buffer[i] = static_cast<std::uint8_t>(~buffer[i]);
}

// ---------------------------------------------------------------------------
// Strings and paths

namespace {

constexpr std::string_view kDelims = "\\/";

bool isDelim(char c)
{
    return c == '\\' || c == '/';
}

// Index of the point that starts the extension of the file name, or npos.
std::size_t extensionDot(std::string_view path)
{
    std::size_t d = path.find_last_of(kDelims);
    std::size_t start = d == std::string_view::npos ? 0 : d + 1;
    std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot < start)
        return std::string_view::npos;
    return dot;
}

char delimiterStyle(std::string_view path)
{
    std::size_t d = path.find_last_of(kDelims);
    return d == std::string_view::npos ? '/' : path[d];
}

} // namespace

std::string Long2StrZ(std::int32_t n)
{
    return std::to_string(n);
}

bool Str2LongZ(std::string_view text, std::int32_t& n)
{
    bool negative = false;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return false;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
        if (value > std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1)
            return false;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return false;
    n = static_cast<std::int32_t>(value);
    return true;
}

std::string StrStCopy(std::string_view src, std::size_t pos, std::size_t count)
{
    if (pos >= src.size())
        return {};
    return std::string(src.substr(pos, count));
}

std::string JustPathnameZ(std::string_view path)
{
    std::size_t d = path.find_last_of(kDelims);
    if (d == std::string_view::npos)
        return {};
    if (d == 0)
        return std::string(path.substr(0, 1));
    if (path[d - 1] == ':')
        return std::string(path.substr(0, d + 1));
    return std::string(path.substr(0, d));
}

std::string JustFilenameZ(std::string_view path)
{
    std::size_t d = path.find_last_of(kDelims);
    std::string_view name = d == std::string_view::npos ? path : path.substr(d + 1);
    return std::string(name.substr(0, 255));
}

std::string JustExtensionZ(std::string_view path)
{
    std::size_t dot = extensionDot(path);
    if (dot == std::string_view::npos)
        return {};
    return std::string(path.substr(dot + 1, 3));
}

std::string JustName(std::string_view path)
{
    std::string name = JustFilenameZ(path);
    std::size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
}

std::string AddBackSlashZ(std::string_view dir)
{
    std::string out(dir);
    if (!out.empty() && !isDelim(out.back()))
        out.push_back(delimiterStyle(dir));
    return out;
}

std::string AddBackSlash(std::string_view dir)
{
    if (!dir.empty() && dir.back() == '"') {
        std::string inner = AddBackSlashZ(dir.substr(0, dir.size() - 1));
        return inner + '"';
    }
    return AddBackSlashZ(dir);
}

std::string ForceExtensionZ(std::string_view name, std::string_view ext)
{
    std::size_t dot = extensionDot(name);
    std::string out(name.substr(0, dot));
    out.push_back('.');
    out.append(ext);
    return out;
}

std::string DefaultExtensionZ(std::string_view name, std::string_view ext)
{
    if (extensionDot(name) != std::string_view::npos)
        return std::string(name);
    std::string out(name);
    out.push_back('.');
    out.append(ext);
    return out;
}

bool ExistFileZ(const std::string& name)
{
    std::error_code ec;
    return !name.empty() && std::filesystem::exists(name, ec) && !std::filesystem::is_directory(name, ec);
}

// ---------------------------------------------------------------------------
// TAdStr

TAdStr::TAdStr(std::int32_t maxLen) : maxLen_(std::max(maxLen, 0)) {}

void TAdStr::clampCursor()
{
    cursor_ = std::clamp(cursor_, 0, GetLen());
}

void TAdStr::Assign(std::string_view s)
{
    text_.assign(s.substr(0, static_cast<std::size_t>(maxLen_)));
    clampCursor();
}

void TAdStr::Append(std::string_view s)
{
    std::size_t room = static_cast<std::size_t>(maxLen_) - text_.size();
    text_.append(s.substr(0, room));
}

void TAdStr::AppendBuff(const char* buffer, std::size_t len)
{
    if (buffer)
        Append(std::string_view(buffer, len));
}

void TAdStr::AppendTAdStr(const TAdStr& other)
{
    Append(other.text_);
}

void TAdStr::Prepend(std::string_view s)
{
    Insert(s, 1);
}

void TAdStr::Insert(std::string_view s, std::int32_t pos)
{
    if (pos < 1 || pos > GetLen() + 1)
        return;
    text_.insert(static_cast<std::size_t>(pos - 1), s);
    if (text_.size() > static_cast<std::size_t>(maxLen_))
        text_.resize(static_cast<std::size_t>(maxLen_));
    clampCursor();
}

void TAdStr::Delete(std::int32_t pos, std::int32_t count)
{
    if (pos < 1 || pos > GetLen() || count <= 0)
        return;
    text_.erase(static_cast<std::size_t>(pos - 1), static_cast<std::size_t>(count));
    clampCursor();
}

std::string TAdStr::Copy(std::int32_t pos, std::int32_t count) const
{
    if (pos < 1 || pos > GetLen() || count <= 0)
        return {};
    return text_.substr(static_cast<std::size_t>(pos - 1), static_cast<std::size_t>(count));
}

std::int32_t TAdStr::Pos(std::string_view s) const
{
    return PosIdx(s, 1);
}

std::int32_t TAdStr::PosIdx(std::string_view s, std::int32_t from) const
{
    if (s.empty() || from < 1 || from > GetLen())
        return 0;
    std::size_t at = text_.find(s, static_cast<std::size_t>(from - 1));
    return at == std::string::npos ? 0 : static_cast<std::int32_t>(at + 1);
}

void TAdStr::Clear()
{
    text_.clear();
    cursor_ = 0;
}

void TAdStr::Resize(std::int32_t maxLen)
{
    maxLen_ = std::max(maxLen, 0);
    if (text_.size() > static_cast<std::size_t>(maxLen_))
        text_.resize(static_cast<std::size_t>(maxLen_));
    clampCursor();
}

void TAdStr::First() { cursor_ = 0; }
void TAdStr::Last() { cursor_ = std::max(GetLen() - 1, 0); }
void TAdStr::Next() { cursor_ = std::min(cursor_ + 1, GetLen()); }
void TAdStr::Prev() { cursor_ = std::max(cursor_ - 1, 0); }

void TAdStr::MoveBy(std::int32_t n)
{
    cursor_ = static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t(cursor_) + n, 0, GetLen()));
}

void TAdStr::GotoPos(std::int32_t pos)
{
    if (pos >= 1 && pos <= GetLen() + 1)
        cursor_ = pos - 1;
}

char TAdStr::GetChar(std::int32_t pos) const
{
    if (pos < 1 || pos > GetLen())
        return '\0';
    return text_[static_cast<std::size_t>(pos - 1)];
}

void TAdStr::SetChar(std::int32_t pos, char c)
{
    if (pos >= 1 && pos <= GetLen())
        text_[static_cast<std::size_t>(pos - 1)] = c;
}

char TAdStr::GetCurChar() const
{
    return cursor_ < GetLen() ? text_[static_cast<std::size_t>(cursor_)] : '\0';
}

void TAdStr::SetLen(std::int32_t len)
{
    text_.resize(static_cast<std::size_t>(std::clamp(len, 0, maxLen_)), '\0');
    clampCursor();
}

// ---------------------------------------------------------------------------
// TLineReader

TLineReader::TLineReader(std::unique_ptr<std::istream> stream)
    : stream_(std::move(stream)), page_(kPageSize + 1, 0)
{
    if (stream_) {
        std::istream& in = *stream_;
        auto start = in.tellg();
        if (start != std::istream::pos_type(-1)) {
            in.seekg(0, std::ios::end);
            auto end = in.tellg();
            in.seekg(start);
            if (end != std::istream::pos_type(-1))
                streamSize_ = static_cast<std::int64_t>(end - start);
        }
        in.clear();
        source_ = [&in](std::uint8_t* buf, std::size_t n) -> std::size_t {
            in.read(reinterpret_cast<char*>(buf), static_cast<std::streamsize>(n));
            return static_cast<std::size_t>(in.gcount());
        };
    } else {
        sourceDone_ = true;
    }
    fillPage();
}

TLineReader::TLineReader(ByteSource source) : source_(std::move(source)), page_(kPageSize + 1, 0)
{
    if (!source_)
        sourceDone_ = true;
    fillPage();
}

bool TLineReader::fillPage()
{
    pos_ = 0;
    pageLen_ = 0;
    if (sourceDone_)
        return false;
    while (pageLen_ < kPageSize) {
        std::size_t got = source_(page_.data() + pageLen_, kPageSize - pageLen_);
        if (got == 0) {
            sourceDone_ = true;
            break;
        }
        pageLen_ += std::min(got, kPageSize - pageLen_);
    }
    bytesRead_ += static_cast<std::int64_t>(pageLen_);
    if (pageLen_ > 0 && page_[pageLen_ - 1] == 0x1A) { // Ctrl-Z ends the text
        --pageLen_;
        sourceDone_ = true;
    }
    page_[pageLen_] = 0;
    return pageLen_ > 0;
}

bool TLineReader::NextLine(std::string& line)
{
    line.clear();
    bool any = false;
    for (;;) {
        if (pos_ >= pageLen_ && !fillPage())
            return any;
        std::uint8_t c = page_[pos_];
        if (skipLf_) {
            skipLf_ = false;
            if (c == '\n') {
                ++pos_;
                continue;
            }
        }
        ++pos_;
        if (c == '\r') {
            skipLf_ = true;
            return true;
        }
        if (c == '\n')
            return true;
        line.push_back(static_cast<char>(c));
        any = true;
    }
}

bool TLineReader::Eof() const
{
    if (!sourceDone_)
        return false;
    std::size_t p = pos_;
    if (skipLf_ && p < pageLen_ && page_[p] == '\n')
        ++p;
    return p >= pageLen_;
}

// ---------------------------------------------------------------------------
// Processes

std::vector<std::string> SplitCommandArgs(std::string_view args)
{
    std::vector<std::string> out;
    std::string current;
    bool inToken = false;
    bool quoted = false;
    for (char c : args) {
        if (c == '"') {
            quoted = !quoted;
            inToken = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inToken) {
                out.push_back(std::move(current));
                current.clear();
                inToken = false;
            }
        } else {
            current.push_back(c);
            inToken = true;
        }
    }
    if (inToken)
        out.push_back(std::move(current));
    return out;
}

int ApWinExecAndWait32(const std::string& path, const std::string& args, int /*show*/)
{
    if (path.empty())
        return -1;
    return kyd::platform::runAndWait(path, SplitCommandArgs(args));
}

} // namespace sio
