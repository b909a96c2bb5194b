// Formatting and writing of the communication log.
//
// The log is opened for appending, written and closed again for every
// exchange, so the file on disk is always complete. Stamps have fixed
// formats, whatever the locale: "hh:mm:ss.zzz", "dd/mm/yy hh:mm:ss.zzz" or
// "dd/mm/yy", in local time.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kyd::link {

using DateTime = std::chrono::system_clock::time_point;

// The stamp of a log line for the two flags; empty when both are off.
std::string FormatLogStamp(DateTime t, bool timeStamp, bool dateStamp);
// Date and time as annotation and header lines show them:
// "dd/mm/yyyy hh:mm:ss".
std::string FormatDateTime(DateTime t);
enum class LogWrite {
    Written,
    NotOpened, // nothing written
    Failed,    // opened, but the lines did not all reach the file (disk full,
               // file-size limit, I/O error)
};
// Appends the lines to the file (created when missing), each followed by a
// new-line, and closes it again.
LogWrite AppendLogLines(const std::string& path, const std::vector<std::string>& lines);

// Most bytes of one kind the line sent in one exchange that are kept to be
// shown and logged (what was thrown away before or during it, or what a
// reply packet had collected); the rest is only counted.
inline constexpr std::size_t kMaxShownBytes = 4096;

// Bytes the line sent, kept to be shown: the first kMaxShownBytes, and how
// many more there were.
class ShownBytes {
public:
    void Add(const std::string& bytes);
    void AddDropped(std::uint64_t count) { dropped_ += count; }
    void Clear()
    {
        text_.clear();
        dropped_ = 0;
    }
    bool Empty() const { return text_.empty() && dropped_ == 0; }
    const std::string& Text() const { return text_; }
    std::uint64_t Dropped() const { return dropped_; }

private:
    std::string text_;
    std::uint64_t dropped_ = 0;
};

// Bytes as a line of the log or the window shows them: carriage returns
// written as <CR>, other control characters and bytes above 0x7E as <xx>,
// and the count of the bytes that were not kept, when there were any.
std::string ShownText(const std::string& bytes, std::uint64_t dropped = 0);
// A "Discarded: " line showing bytes the link threw away.
std::string DiscardedLine(const std::string& bytes, std::uint64_t dropped = 0);

} // namespace kyd::link
