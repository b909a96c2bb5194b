// Formatting and writing of the communication log.
//
// The log is opened for appending, written and closed again for every
// exchange, so the file on disk is always complete. Stamps have fixed
// formats, whatever the locale: "hh:mm:ss.zzz", "dd/mm/yy hh:mm:ss.zzz" or
// "dd/mm/yy", in local time.
#pragma once

#include <chrono>
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
// A "Discarded: " line showing bytes the link threw away, carriage returns
// and other control characters written as <CR> and <xx>.
std::string DiscardedLine(const std::string& bytes);

} // namespace kyd::link
