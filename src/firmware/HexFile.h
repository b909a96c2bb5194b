// Intel HEX files as the firmware loader sees them: a list of text lines,
// one record each (':' first, then pairs of hex digits: byte count, two
// address bytes, record type, data, checksum).
//
// Everything here is pure: no I/O, no state. CheckHexBytes is the entry
// point for a whole file as raw bytes (fuzz targets call it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kyd::firmware {

// Value of one hex digit: a character above '9' gives (c | 0x20) - 0x57, so
// 'A'..'F' and 'a'..'f' give 10..15; any other gives c - '0'. Characters
// are not validated here (the whole-file check refuses any other).
int HexDigitValue(char c);

// The byte of the two digits at pos and pos + 1.
std::uint8_t HexByteAt(std::string_view line, std::size_t pos);

// True when the line is an end record: at least 10 characters (more than
// eight after the leading one) and record type "01" at positions 7 and 8. A
// shorter line never is one.
bool IsEndRecord(std::string_view line);

// The bytes one record goes out as: the line's first character, then the
// value of each pair of digits at positions 1, 3, 5, ... below the last
// character's position (an odd trailing digit is not sent).
std::string RecordBytes(std::string_view line);

// The whole-file check. Every line up to the end record must be a record:
// ':' first, then hex digits only, exactly as many data bytes as its byte
// count says, its own checksum right (all its bytes add up to 0), a record
// type from 00 to 05, extended address records (02, 04) of two bytes. One
// 8-bit sum over the digit pairs of these lines must be 0. The file must
// have an end record, with nothing but white space after it, and at least
// one data byte before it; no two data records may fill the same address,
// and with flashBytes above 0 no data may lie at or beyond it (addresses
// counted with the extended address records, as the loader's target does;
// flashName, when given, names the chip in the fault). Returns what is
// wrong ("no data records", ...), empty when the file passes.
std::string HexFileFault(const std::vector<std::string>& lines, std::uint64_t flashBytes = 0,
                         std::string_view flashName = {});
// HexFileFault(lines) is empty.
bool CheckHexLines(const std::vector<std::string>& lines);

// A file's text cut into lines as a text editor shows them: a UTF-8
// byte-order mark at the start skipped, and a Ctrl+Z with nothing but
// white space after it at the end; CR, LF and CR LF each end a line;
// blanks and tabs at the end of a line dropped; a last line without a line
// end is kept, an empty rest after the last line end is not a line.
std::vector<std::string> SplitHexLines(std::string_view text);

// CheckHexLines(SplitHexLines(bytes)): the check of a whole file in memory.
bool CheckHexBytes(const std::uint8_t* data, std::size_t size);

} // namespace kyd::firmware
