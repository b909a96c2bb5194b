// What the result windows show, decoded from a reply or the status model:
// payload in, rows or lines out. No GUI here; the windows in app/qt only
// put these rows on screen. Every decoder reports whether the reply was
// whole: a window is shown only when its decoder succeeded.
//
// Payloads are the read data of the command layer (the reply without its
// status character), so records start at position 2, counted from 1.
#pragma once

#include "link/Protokoll.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kyd::app {

// ---- last dispense status ----------------------------------------------

struct LastStatusRow {
    std::string Hopper; // cassette number in decimal
    std::string Count;  // notes in decimal
    std::string Status; // status text
};

// One row per feeder record, in list order, as the link parsed it (a count
// that was no number reads -1). Always true.
bool DecodeLastStatus(const link::FeederList& feeders, std::vector<LastStatusRow>& rows);

// ---- reject trace --------------------------------------------------------

// Text of one reject code of the trace ('0' to '9'; " " for any other).
std::string RejectTraceText(char code);
// The trace rotated so that it starts after its first end mark ('0'),
// then one line per code: position, a tab, the code's text (" " for a
// character that is no reject code). A trace that is only its end mark
// gives the single line "No rejects has occured"; an empty trace no line.
void DecodeRejectTrace(const std::string& trace, std::vector<std::string>& lines);

// ---- cassette grid -------------------------------------------------------

using GridRow = std::array<std::string, 4>;

// Header "No", "Cassette Id", "Width", "Status", then one row per feeder.
// A record whose status character has no text shows an empty status: the
// rest of its row, and the other rows, are as read.
void DecodeCassetteList(const link::FeederList& feeders, std::vector<GridRow>& rows);
// Item 202: header "No", "Vertical", "Horizontal", "Denomination", then one
// row per 13-character record (code, vertical, horizontal size); the
// denomination is left empty when its code does not parse. A last record
// that is cut short shows what it has. The sizes are shown as sent. Always
// true.
bool DecodeNoteSizes(const std::string& payload, std::vector<GridRow>& rows);

// ---- read-data window ----------------------------------------------------

// Item 100: one line per 11-character record, "CMC: 1234-01.02" (or the
// record's text as it stands when its 5th character is '-'). A last record
// shorter than 5 characters is not shown. Always true.
bool DecodeProgramIds(const std::string& payload, std::vector<std::string>& lines);
// Item 118: "n  EUR" per 3-character record; records starting with '-' are
// empty places (still counted). Always true.
bool DecodeCurrencyCodes(const std::string& payload, std::vector<std::string>& lines);

enum class TableKind { Reject = 0, Status = 1 };

// Reject-table text of a decimal code (1..24; empty for any other).
std::string RejectTableText(int code);
// Items 300 and 301: one line per 5-character record, the count, a tab and
// the code's text (a decimal reject code, or a status code as two
// hexadecimal digits; a status code that is none has no text). The count is
// shown as sent. A last record cut short shows what it has (a code cut short
// has no text). False only when a reject code is not a decimal number.
bool DecodeTable(const std::string& payload, TableKind kind, int textBase, std::vector<std::string>& lines);
// "Corrupted reply string from KYD:\n" and the payload.
std::string CorruptedReplyText(const std::string& payload);

// ---- note counters -------------------------------------------------------

struct NoteCounterRow {
    int Item;                // 0: a rule line
    const char* Description;
};
// The counters in the order the window lists them.
const std::vector<NoteCounterRow>& NoteCounterRows();
// "Item\tCount\tDescription" and the underline of the heading.
std::vector<std::string> NoteCounterHeading();
std::string NoteCounterRule();
// The counter as read (read-data characters 2 to 11, 64 bits): item, a tab,
// the count or "Error" when it is not a number, a tab, the description.
std::string NoteCounterLine(int item, const std::string& readData, const char* description);

// ---- item editor ---------------------------------------------------------

// Payload characters 2 to width + 1 (width limited to 1..6).
std::string IntegerItemText(const std::string& payload, int width);
// The integer editor's input mask: the first width characters of "999999".
std::string IntegerItemMask(int width);

// ---- input masks -----------------------------------------------------------

// Translates an edit mask written with the letters the forms were designed
// with ("aaaaaaaA;1; ": 'a' optional and 'A' required letter or digit, '9'
// optional and '0' required digit, 'c' optional and 'C' required character,
// 'l' optional and 'L' required letter; then ";save literals;blank") into
// a Qt input mask ("nnnnnnnN; ").
std::string QtInputMask(const std::string& mask);

} // namespace kyd::app
