// Common pieces of the serial library: the tick clock and event timers that
// every time-out of the library is counted in, delays and message pumping for
// waits on the main thread, bit-flag helpers, small string and path helpers,
// a line reader for text files, and the base classes that give every library
// component its read-only Version.
//
// Ticks: one tick is 55 ms of the process clock (kyd::platform::clock()).
// Tick arithmetic is 64-bit on the monotonic clock, so there is no wrap of
// the millisecond counter to care about; a test that installs a FakeClock
// moves every timer of the library with it.
#pragma once

#include "platform/clock.h"

#include <algorithm>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace sio {

// ---------------------------------------------------------------------------
// Ticks and timers

using Ticks = std::int64_t;

inline constexpr std::int64_t kMSecsPerTick = 55;
// Longest timer; longer requests are cut to it.
inline constexpr Ticks kMaxTimerTicks = 39045157;

// Milliseconds of the process clock (monotonic).
std::int64_t SioTimeGetTime();
// The process clock in ticks (milliseconds / 55).
Ticks NowTicks();

// s * 1675 / 92, ms * 1675 / 92000 and (t + 9) * 92 / 1675 with truncating
// division, computed without overflow (results beyond 64 bits saturate).
Ticks Secs2Ticks(std::int64_t secs);
Ticks MSecs2Ticks(std::int64_t msecs);
std::int64_t Ticks2Secs(Ticks ticks);

struct EventTimer {
    Ticks StartTicks = 0;
    Ticks ExpireTicks = 0;
};

// Starts a timer of min(ticks, kMaxTimerTicks) ticks from now. A timer of
// 0 ticks expires one tick later (the tick after the current one).
void NewTimer(EventTimer& timer, Ticks ticks);
void NewTimerSecs(EventTimer& timer, std::int64_t secs);
// True once the current tick is past the expiry tick.
bool TimerExpired(const EventTimer& timer);
// Ticks since the start (never negative).
Ticks ElapsedTime(const EventTimer& timer);
std::int64_t ElapsedTimeInSecs(const EventTimer& timer);
// Ticks left until the expiry tick (never negative).
Ticks RemainingTime(const EventTimer& timer);
std::int64_t RemainingTimeInSecs(const EventTimer& timer);
// The process-clock millisecond at which TimerExpired() becomes true.
std::int64_t TimerDeadlineMs(const EventTimer& timer);

// Waits min(ticks, kMaxTimerTicks) ticks; nothing for ticks <= 0.
// With yield (main thread only) the wait processes events of the message loop
// as they come and ends early when the application is asked to quit; the
// quit request stays pending for the main loop. Result: 18 (quit) when the
// wait ended that way, else 0.
// Without yield (or off the main thread) it blocks the calling thread; on a
// FakeClock it returns once the clock has been advanced far enough.
std::uint32_t DelayTicks(Ticks ticks, bool yield);
// Blocks the calling thread for ms milliseconds of the process clock; no
// messages are processed.
void DelayMS(std::int64_t ms);
// Processes at most one pending event of the message loop (main thread).
// Result: 0 when there was none, 18 for a quit request (which stays pending),
// else the message number.
std::uint32_t SafeYield();

// Waits on cv until pred() holds or the process clock reaches deadlineMs
// (< 0: no deadline); on a FakeClock only advancing the clock ends the wait.
// pred is checked with lock held; whoever makes it true notifies cv after
// changing the state under the mutex. Returns pred(). (The process clock's
// waitUntilMs under the library's name.)
inline bool WaitOnProcessClock(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                               std::int64_t deadlineMs, const std::function<bool()>& pred)
{
    return kyd::platform::waitUntilMs(cv, lock, deadlineMs, pred);
}

// ---------------------------------------------------------------------------
// Flags and buffers

inline bool FlagIsSet(std::uint32_t flags, std::uint32_t mask) { return (flags & mask) != 0; }
inline void SetFlag(std::uint32_t& flags, std::uint32_t mask) { flags |= mask; }
inline void ClearFlag(std::uint32_t& flags, std::uint32_t mask) { flags &= ~mask; }
inline bool ByteFlagIsSet(std::uint8_t flags, std::uint8_t mask) { return (flags & mask) != 0; }
inline void SetByteFlag(std::uint8_t& flags, std::uint8_t mask) { flags = static_cast<std::uint8_t>(flags | mask); }
inline void ClearByteFlag(std::uint8_t& flags, std::uint8_t mask) { flags = static_cast<std::uint8_t>(flags & ~mask); }
inline std::uint16_t MinWord(std::uint16_t a, std::uint16_t b) { return a < b ? a : b; }
// Inverts every byte of the buffer.
void NotBuffer(std::uint8_t* buffer, std::size_t len);
// The address offset bytes after p (offset may be negative), and the address
// n bytes after p.
template <class T>
T* GetPtr(T* p, std::ptrdiff_t offset)
{
    using Byte = std::conditional_t<std::is_const_v<T>, const std::uint8_t, std::uint8_t>;
    return reinterpret_cast<T*>(reinterpret_cast<Byte*>(p) + offset);
}
template <class T>
T* AddWordToPtr(T* p, std::uint16_t n)
{
    return GetPtr(p, static_cast<std::ptrdiff_t>(n));
}

// ---------------------------------------------------------------------------
// Strings and paths. Both '\' and '/' are path delimiters.

std::string Long2StrZ(std::int32_t n);
// True when text is a valid 32-bit decimal integer (optional sign).
bool Str2LongZ(std::string_view text, std::int32_t& n);
// Up to count characters of src from 0-based pos; empty at or past the end.
std::string StrStCopy(std::string_view src, std::size_t pos, std::size_t count);
// The part before the last delimiter ("C:\A\B.TXT" -> "C:\A"); a delimiter
// at position 0 is kept alone ("/x" -> "/"); after a colon the delimiter is
// kept ("C:\B.TXT" -> "C:\"). Empty without a delimiter.
std::string JustPathnameZ(std::string_view path);
// The part after the last delimiter (at most 255 characters).
std::string JustFilenameZ(std::string_view path);
// The extension of the file name without its point (at most 3 characters).
std::string JustExtensionZ(std::string_view path);
// The file name without its extension.
std::string JustName(std::string_view path);
// Appends a delimiter unless dir is empty or already ends in one. The
// delimiter appended is the last one the path already uses, '/' when it has
// none.
std::string AddBackSlashZ(std::string_view dir);
// As AddBackSlashZ; for a path ending in a double quote the delimiter goes
// before the quote.
std::string AddBackSlash(std::string_view dir);
std::string ForceExtensionZ(std::string_view name, std::string_view ext);
std::string DefaultExtensionZ(std::string_view name, std::string_view ext);
bool ExistFileZ(const std::string& name);

// A text buffer of bounded length with a cursor. Positions are 1-based;
// out-of-range positions leave the text unchanged or give an empty result.
// Text beyond the maximum length is cut off.
class TAdStr {
public:
    explicit TAdStr(std::int32_t maxLen);

    void Assign(std::string_view s);
    void Append(std::string_view s);
    void AppendBuff(const char* buffer, std::size_t len);
    void AppendTAdStr(const TAdStr& other);
    void Prepend(std::string_view s);
    void Insert(std::string_view s, std::int32_t pos);
    void Delete(std::int32_t pos, std::int32_t count);
    std::string Copy(std::int32_t pos, std::int32_t count) const;
    std::int32_t Pos(std::string_view s) const;
    std::int32_t PosIdx(std::string_view s, std::int32_t from) const;
    void Clear();
    void Resize(std::int32_t maxLen);

    // Cursor: 1-based position, GetLen() + 1 is just past the end.
    void First();
    void Last();
    void Next();
    void Prev();
    void MoveBy(std::int32_t n);
    void GotoPos(std::int32_t pos);
    std::int32_t CurPos() const { return cursor_ + 1; }

    char GetChar(std::int32_t pos) const;
    void SetChar(std::int32_t pos, char c);
    char GetCurChar() const;
    std::int32_t GetLen() const { return static_cast<std::int32_t>(text_.size()); }
    // Longer than now pads with NUL characters; limited to the maximum.
    void SetLen(std::int32_t len);
    std::int32_t GetMaxLen() const { return maxLen_; }
    void SetMaxLen(std::int32_t maxLen) { Resize(maxLen); }
    std::int32_t GetBuffLen() const { return maxLen_ + 1; }
    const std::string& Str() const { return text_; }

private:
    void clampCursor();
    std::int32_t maxLen_;
    std::string text_;
    std::int32_t cursor_ = 0; // 0-based
};

// Reads text lines from a stream page by page (4096 bytes). Lines end at a
// carriage return (a line feed right after it is skipped, also when it comes
// first in the next page) or at a lone line feed; a line running over a page
// boundary is joined; a Ctrl-Z as the last byte of a page ends the text.
class TLineReader {
public:
    static constexpr std::size_t kPageSize = 4096;
    // Reads up to n bytes into buf; returns the count, 0 at the end.
    using ByteSource = std::function<std::size_t(std::uint8_t* buf, std::size_t n)>;

    // The reader owns the stream.
    explicit TLineReader(std::unique_ptr<std::istream> stream);
    explicit TLineReader(ByteSource source);

    // The next line without its line end; false when the text is exhausted.
    bool NextLine(std::string& line);
    bool Eof() const;
    std::int64_t BytesRead() const { return bytesRead_; }
    // Size of the stream at creation; -1 when unknown (byte source).
    std::int64_t StreamSize() const { return streamSize_; }

private:
    bool fillPage();
    std::unique_ptr<std::istream> stream_;
    ByteSource source_;
    std::vector<std::uint8_t> page_;
    std::size_t pageLen_ = 0;
    std::size_t pos_ = 0;
    bool sourceDone_ = false;
    bool skipLf_ = false;
    std::int64_t bytesRead_ = 0;
    std::int64_t streamSize_ = -1;
};

// ---------------------------------------------------------------------------
// Base classes: every library component derives from one of them.

inline constexpr const char* kSioVersion = "v4.07";

class TSioBaseComponent {
public:
    TSioBaseComponent() = default;
    explicit TSioBaseComponent(TSioBaseComponent* owner) { SetOwner(owner); }
    TSioBaseComponent(const TSioBaseComponent&) = delete;
    TSioBaseComponent& operator=(const TSioBaseComponent&) = delete;
    virtual ~TSioBaseComponent()
    {
        // Those that asked to hear of it forget this component now.
        while (!freeNotifies_.empty()) {
            TSioBaseComponent* c = freeNotifies_.back();
            freeNotifies_.pop_back();
            std::erase(c->freeNotifies_, this);
            c->Notification(this);
        }
        SetOwner(nullptr);
        for (TSioBaseComponent* c : components_)
            c->owner_ = nullptr;
    }

    // Free notification: when either of the two components is destroyed,
    // the other one's Notification is called with it (by then only its
    // address may be used). Main thread only.
    void FreeNotification(TSioBaseComponent* other)
    {
        if (!other || other == this || std::find(freeNotifies_.begin(), freeNotifies_.end(), other) != freeNotifies_.end())
            return;
        freeNotifies_.push_back(other);
        other->freeNotifies_.push_back(this);
    }
    void RemoveFreeNotification(TSioBaseComponent* other)
    {
        if (!other)
            return;
        std::erase(freeNotifies_, other);
        std::erase(other->freeNotifies_, this);
    }

    std::string Name;
    // Read-only: writes are ignored.
    std::string Version() const { return kSioVersion; }
    void SetVersion(const std::string&) {}

    // Owner tree, used to find components (SearchComPort). It does not own:
    // destroying either side only unlinks it. Main thread only.
    TSioBaseComponent* Owner() const { return owner_; }
    void SetOwner(TSioBaseComponent* owner)
    {
        if (owner == owner_)
            return;
        if (owner_) {
            auto& list = owner_->components_;
            for (auto it = list.begin(); it != list.end(); ++it) {
                if (*it == this) {
                    list.erase(it);
                    break;
                }
            }
        }
        owner_ = owner;
        if (owner_)
            owner_->components_.push_back(this);
    }
    // The components owned, in the order they were added.
    const std::vector<TSioBaseComponent*>& Components() const { return components_; }

    // Tells the other components of the owner that this one was placed
    // there (their Inserted); called by a component at the end of its
    // constructor, once it is whole. Main thread only.
    void AnnounceInserted()
    {
        if (!owner_)
            return;
        const std::vector<TSioBaseComponent*> others = owner_->components_;
        for (TSioBaseComponent* c : others)
            if (c != this)
                c->Inserted(this);
    }

protected:
    // A component linked by FreeNotification is being destroyed.
    virtual void Notification(TSioBaseComponent* /*removed*/) {}
    // A component was placed on this one's owner (AnnounceInserted).
    virtual void Inserted(TSioBaseComponent* /*inserted*/) {}

private:
    TSioBaseComponent* owner_ = nullptr;
    std::vector<TSioBaseComponent*> components_;
    std::vector<TSioBaseComponent*> freeNotifies_;
};

class TSioBaseWinControl : public TSioBaseComponent {
public:
    using TSioBaseComponent::TSioBaseComponent;
};
class TSioBaseGraphicControl : public TSioBaseComponent {
public:
    using TSioBaseComponent::TSioBaseComponent;
};
class TSioBaseScrollingWinControl : public TSioBaseComponent {
public:
    using TSioBaseComponent::TSioBaseComponent;
};

// ---------------------------------------------------------------------------
// Processes

// Runs path with args (split on blanks; double quotes group and are removed)
// and waits for it to end. Result: its exit code, or -1 when it cannot be
// started. The show mode is accepted and not used.
int ApWinExecAndWait32(const std::string& path, const std::string& args, int show = 0);
// The argument splitting used by ApWinExecAndWait32.
std::vector<std::string> SplitCommandArgs(std::string_view args);

} // namespace sio
