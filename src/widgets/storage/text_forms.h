// The text forms in which points, rectangles, fonts and colours are stored
// in settings: "[10,20]", "0,0,640,480", "Arial,10,clWindowText,1,0,0,0",
// "clRed" or "$00123456". Every reader accepts any text: what does not
// convert gives the documented fallback, never an exception.
#pragma once

#include "widgets/framework/canvas.h"
#include "widgets/framework/graphics.h"

#include <string>
#include <vector>

namespace kyd::widgets {

// The library's default delimiter of stored values.
inline constexpr char kDUDDefaultDelimiter = ',';

std::string DUDPointToString(const TPoint& p, char delimiter = kDUDDefaultDelimiter);
// (0, 0) unless the text is "[" X delimiter Y "]" (blanks around the numbers
// allowed); a part that is not a number gives 0.
TPoint DUDStringToPoint(const std::string& s, char delimiter = kDUDDefaultDelimiter);
// The point form with both parts numbers: true and p set; else p unchanged.
bool DUDTryStringToPoint(const std::string& s, TPoint& p, char delimiter = kDUDDefaultDelimiter);

std::string DUDRectToString(const TRect& r, char delimiter = kDUDDefaultDelimiter);
// Exactly four pieces, else (0, 0, 0, 0); a piece that is not a number gives
// 0. A final delimiter ends the text: it starts no empty piece.
TRect DUDStringToRect(const std::string& s, char delimiter = kDUDDefaultDelimiter);
// Four pieces that are all numbers: true and r set; else r unchanged.
bool DUDTryStringToRect(const std::string& s, TRect& r, char delimiter = kDUDDefaultDelimiter);

// Name, size, colour, bold, italic, underline, strike-out; the size with a
// '.' (at most two decimals) in any locale.
std::string DUDFontToString(const TFont& f, char delimiter = kDUDDefaultDelimiter);
// Exactly seven pieces, else the font stays unchanged (false); a size that
// is not a positive number gives 10, a colour that does not convert leaves
// the colour unchanged; each style is on when its piece is a number other
// than 0. Reads the size with a '.' in any locale.
bool DUDStringToFont(const std::string& s, TFont& f, char delimiter = kDUDDefaultDelimiter);

// The colour's name ("clRed", "clBtnFace") or "$" and eight hex digits.
std::string ColorToString(TColor c);
// A colour name (any case) or an integer ("$..", "0x..", decimal); false
// and c unchanged for anything else.
bool StringToColor(const std::string& s, TColor& c);

// The pieces of text between delimiters: empty pieces count, but nothing
// follows a final delimiter ("a,,b," gives "a", "", "b"; "" gives none).
std::vector<std::string> DUDParseToStrList(const std::string& text, char delimiter = kDUDDefaultDelimiter);

// A whole decimal integer with optional blanks and sign; false on anything
// else or on overflow of 32 bits.
bool DUDTryStrToInt(const std::string& s, int& v);

} // namespace kyd::widgets
