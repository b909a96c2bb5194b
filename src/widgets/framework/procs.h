// Free procedures of the component library: rectangles, points, bits, small
// numeric functions, folder and file names, and a delay.
#pragma once

#include "widgets/framework/graphics.h"

#include <cstdint>
#include <string>

namespace kyd::widgets {

TRect DUDExpandRect(const TRect& r, int n);
TRect DUDAdjustRect(const TRect& r, int dx, int dy);
TRect DUDAdjustRectExt(const TRect& r, int dl, int dt, int dr, int db);
// source's shape scaled into target by the smaller of the width and height
// ratios, at target's top-left; an empty source gives an empty rectangle there.
TRect DUDAffineRect(const TRect& source, const TRect& target);
void DUDGetRectWH(const TRect& r, int& w, int& h);
// Both corners of inner lie in outer (right and bottom edges exclusive).
bool DUDRectinRect(const TRect& inner, const TRect& outer);
// Bounding box, moved to the origin, of r rotated by angle degrees about
// its centre; angle 0 gives r unchanged.
TRect DUDCalcRotRect(const TRect& r, int angle);
// Where text of extent w x h starts so that, rotated by angle degrees
// counter-clockwise, it fills its bounding box from (0, 0).
int DUDRotatedXPos(int angle, int w, int h);
int DUDRotatedYPos(int angle, int w, int h);
// Integer average of n points; p unchanged when n is 0.
void DUDMidpoint(const TPoint* points, int n, TPoint& p);
void DUDOffsetPoints(TPoint* points, int last, int dx, int dy);
void DUDNullPoints(TPoint* points, int last);
// Largest / smallest of values 0..last; 0 when there are none (last < 0).
int DUDMax(const int* values, int last);
int DUDMin(const int* values, int last);
long double DUDMaxR(const long double* values, int last);
long double DUDMinR(const long double* values, int last);
// (a + b) / 2 truncated toward zero, without overflow.
int DUDMidI(int a, int b);
void DUDSwapInt(int& a, int& b);
void DUDSwapString(std::string& a, std::string& b);
// on: sets the bit; off: toggles it.
std::uint8_t DUDSetBit(std::uint8_t b, int bit, bool on);
// Sets bits 0..bit.
std::uint8_t DUDSetBitUpTo(std::uint8_t b, int bit);
bool DUDGetBit(std::uint8_t b, int bit);
// base to the power n, wrapping as 32-bit; 1 for n < 1.
std::int32_t DUDExp(std::int32_t base, std::int32_t n);
// Blocks for ms milliseconds of the process clock.
void DUDDelay(std::int64_t ms);

// Folder of the executable with a trailing '/'.
std::string DUDAppPath();
// The registry path of the program's settings: "SOFTWARE\" + program name.
std::string DUDAppIniName();
// File name without folder and extension.
std::string DUDExtractFileName(const std::string& name);
// kind 0: the user's configuration folder, 1: the system's, 2: the
// executable's; with a trailing '/' when slash is true; empty for others.
std::string DUDCreatePathPrefix(int kind, bool slash);
std::string DUDSystemDirectory();
std::string DUDWindowsDirectory();
// name shortened to at most max characters by replacing leading folders
// with ".../"; only the file name is left at worst, even when longer.
std::string DUDShrunkFileName(const std::string& name, int max);

} // namespace kyd::widgets
