// The dispenser's module reports: the module error log (item 311, read in
// pages of 28 records), the module status (item 397) and the module ids
// (item 110: standard records on pages 0 to 2, extended records on page 3).
// Payloads in, list rows out; the saved text files and the printed layout
// of both windows. Qt-free.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace kyd::platform {
class ReportCanvas;
}

namespace kyd::app {

struct ModuleTask {
    const char* Name;
    int Base; // first number of its status texts; 0: no texts of its own
};

// Indexed by task number 0 to 20.
const std::array<ModuleTask, 21>& ModuleTaskTable();
// The index of a task name, searching entries 0 to 14 only; -1 when absent.
int FindTask(const std::string& name);

inline constexpr int kErrorLogPageRecords = 28;
inline constexpr int kErrorLogPages = 4;

// A row of the error log window: its caption and three columns.
struct LogRow {
    std::string Caption; // row number (error log) or task name (module status)
    std::string Task;    // task name (error log) or status code (module status)
    std::string Description;
    std::string Line;    // line number (error log) or value (module status)
};

enum class PageEnd {
    More,    // the page ended without the end mark: read the next one
    End,     // a task 0 record ended the log
    Corrupt, // a record cut short or a non-number where a number is needed
};

// Appends the rows of error log page `page` (payload = reply without its
// status character); rows are numbered from page * 28 + 1. The record that
// ends the log may stop after its task number "00".
PageEnd DecodeErrorLogPage(const std::string& payload, int page, std::vector<LogRow>& rows);
// Appends the module status rows; false when the payload is corrupt. The
// last record may lack its trailing blank, which holds no field.
bool DecodeModuleStatus(const std::string& payload, std::vector<LogRow>& rows);

// The status text shown for a code of a task's base (empty for base 0 and
// for codes outside the task's own block).
std::string ModuleStatusText(int base, int code);

// A row of the module id window: caption plus columns (four standard,
// one extended).
struct ModIdRow {
    std::string Caption;
    std::vector<std::string> Columns;
    bool Extended() const { return Columns.size() < 2; }
};

inline constexpr const char* kEmptyModuleType = "###";
inline const std::string kEmptyExtendedValue(14, '#');

// Append the records of a standard page (0 to 2) or of the extended page;
// false when a record is cut short (the rows before it are kept).
bool DecodeModuleIds(const std::string& payload, std::vector<ModIdRow>& rows);
bool DecodeExtendedIds(const std::string& payload, std::vector<ModIdRow>& rows);

// text longer than width keeps its first width characters; shorter gets
// fill characters in front up to width.
std::string PadField(const std::string& text, std::size_t width, char fill);
// Applies the edits of the edit dialog to a row, padded to the field widths
// (the module name is never changed): standard {type, rev, field rev,
// serial}; extended {value}.
void ApplyModIdEdit(ModIdRow& row, const std::vector<std::string>& edits);
// Whether the edits may be written: each, padded to its field's width as
// ApplyModIdEdit pads it, is printable ASCII (blank to '~'). False, with the
// field named in error, otherwise.
bool CheckModIdEdit(const ModIdRow& row, const std::vector<std::string>& edits, std::string& error);
// The record written back: the caption followed by every column.
std::string ModIdRecord(const ModIdRow& row);

// The saved text files ("\n" line ends).
std::string ErrorLogReport(const std::vector<LogRow>& rows);
std::string ModuleIdReport(const std::vector<ModIdRow>& standard, const std::vector<ModIdRow>& extended);

// The printed reports on a canvas (Begin to End). A report longer than a
// page is broken onto further pages, each numbered "Page n" at its foot,
// with the column headings again at its top; one that fits on a page
// carries no page number. False when the canvas could not be begun (the
// printer or the output file cannot be opened): nothing was printed.
bool PrintErrorLog(platform::ReportCanvas& canvas, const std::vector<LogRow>& rows);
bool PrintModuleIds(platform::ReportCanvas& canvas, const std::vector<ModIdRow>& standard,
                    const std::vector<ModIdRow>& extended);

inline constexpr const char* kErrorLogJobTitle = "KYDTest Module Error Log";
inline constexpr const char* kModuleIdJobTitle = "KYDTest Module Id";

} // namespace kyd::app
