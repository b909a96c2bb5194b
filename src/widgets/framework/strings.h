// String helpers of the component library. Strings are byte strings and
// positions are 1-based (0: not found); field indexes of coded strings,
// several values kept in one string between separators, are 0-based.
#pragma once

#include <string>
#include <vector>

namespace kyd::widgets {

std::string DUDAddCharL(const std::string& s, int len, char c);
std::string DUDAddCharR(const std::string& s, int len, char c);
std::string DUDAddSpaceL(const std::string& s, int len);
std::string DUDAddSpaceR(const std::string& s, int len);
std::string DUDAddZeroL(const std::string& s, int len);
std::string DUDAddZeroR(const std::string& s, int len);
std::string DUDFillString(int n, char c);
std::string DUDSpace(int n);
int DUDCount(const std::string& s, char c);
int DUDBackPos(char c, const std::string& s);
// True when s is empty or holds only blanks and control characters.
bool DUDEmpty(const std::string& s);
// Trims blanks and control characters (bytes up to ' ').
std::string DUDTrimL(const std::string& s);
std::string DUDTrimR(const std::string& s);
std::string DUDTrim(const std::string& s);
std::string DUDGetFirstString(const std::string& s, char c);
// Up to 255 characters after the first c; all of s when there is no c.
std::string DUDGetSecondString(const std::string& s, char c);
std::string DUDReplaceChar(const std::string& s, char oldChar, char newChar);
// Paths use '/'.
std::string DUDSlashAdd(const std::string& s);
std::string DUDSlashRemove(const std::string& s);
// Position of the first decimal digit; the bytes of a multi-byte UTF-8
// character are skipped together. 0 when there is none.
int DUDScanToNumber(const std::string& s);

std::string DUDCodeString(const std::vector<std::string>& values, int last, char sep);
std::string DUDCodeInt(const std::vector<int>& values, int last, char sep);
int DUDGetCodedCount(const std::string& s, char sep);
std::string DUDGetCodedString(const std::string& s, char sep, int index);
// Field index as an integer; -1 when the field is empty. Text that is not
// an integer raises EDUDException.
int DUDGetCodedInt(const std::string& s, char sep, int index);
void DUDSetCodedString(std::string& s, const std::string& value, char sep, int index);

// Decimal text to a 32-bit integer, as the library's conversions read it
// (blanks around, sign, "$" or "0x" for hexadecimal); EDUDException on bad text.
int DUDStrToInt(const std::string& s);

} // namespace kyd::widgets
