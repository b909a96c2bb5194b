#include "widgets/framework/procs.h"

#include "platform/clock.h"
#include "platform/folders.h"
#include "platform/program_path.h"
#include "widgets/framework/strings.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <numbers>

namespace kyd::widgets {

TRect DUDExpandRect(const TRect& r, int n) { return {r.Left - n, r.Top - n, r.Right + n, r.Bottom + n}; }
TRect DUDAdjustRect(const TRect& r, int dx, int dy) { return {r.Left, r.Top, r.Right + dx, r.Bottom + dy}; }
TRect DUDAdjustRectExt(const TRect& r, int dl, int dt, int dr, int db)
{
    return {r.Left + dl, r.Top + dt, r.Right + dr, r.Bottom + db};
}

TRect DUDAffineRect(const TRect& source, const TRect& target)
{
    const std::int64_t sw = static_cast<std::int64_t>(source.Right) - source.Left;
    const std::int64_t sh = static_cast<std::int64_t>(source.Bottom) - source.Top;
    const std::int64_t tw = static_cast<std::int64_t>(target.Right) - target.Left;
    const std::int64_t th = static_cast<std::int64_t>(target.Bottom) - target.Top;
    if (sw <= 0 || sh <= 0)
        return {target.Left, target.Top, target.Left, target.Top};
    std::int64_t w, h;
    if (tw * sh <= th * sw) { // the width ratio is the smaller
        w = tw;
        h = DivRoundHalfEven(sh * tw, sw);
    } else {
        h = th;
        w = DivRoundHalfEven(sw * th, sh);
    }
    return {target.Left, target.Top, static_cast<int>(target.Left + w), static_cast<int>(target.Top + h)};
}

void DUDGetRectWH(const TRect& r, int& w, int& h)
{
    w = r.Width();
    h = r.Height();
}

bool DUDRectinRect(const TRect& inner, const TRect& outer)
{
    return outer.Contains(inner.Left, inner.Top) && outer.Contains(inner.Right, inner.Bottom);
}

namespace {
double Radians(int angle) { return angle * std::numbers::pi / 180.0; }
} // namespace

TRect DUDCalcRotRect(const TRect& r, int angle)
{
    if (angle == 0)
        return r;
    const double a = Radians(angle);
    const double c = std::cos(a), s = std::sin(a);
    const double cx = (static_cast<double>(r.Left) + r.Right) / 2.0;
    const double cy = (static_cast<double>(r.Top) + r.Bottom) / 2.0;
    const double xs[4] = {double(r.Left), double(r.Right), double(r.Right), double(r.Left)};
    const double ys[4] = {double(r.Top), double(r.Top), double(r.Bottom), double(r.Bottom)};
    std::int64_t minX = 0, minY = 0, maxX = 0, maxY = 0;
    for (int i = 0; i < 4; ++i) {
        const double dx = xs[i] - cx, dy = ys[i] - cy;
        const std::int64_t x = RoundHalfEven(cx + dx * c - dy * s);
        const std::int64_t y = RoundHalfEven(cy + dx * s + dy * c);
        if (i == 0 || x < minX) minX = x;
        if (i == 0 || x > maxX) maxX = x;
        if (i == 0 || y < minY) minY = y;
        if (i == 0 || y > maxY) maxY = y;
    }
    return {0, 0, static_cast<int>(maxX - minX), static_cast<int>(maxY - minY)};
}

namespace {
int NormalAngle(int angle)
{
    const int a = angle % 360;
    return a < 0 ? a + 360 : a;
}
} // namespace

// Text runs along (cos, -sin) from its start and its cell extends along
// (sin, cos); the start is placed so that the rotated cell begins at 0.
int DUDRotatedXPos(int angle, int w, int h)
{
    const int a = NormalAngle(angle);
    const double c = std::cos(Radians(a)), s = std::sin(Radians(a));
    double x;
    if (a <= 90)
        x = 0;
    else if (a <= 180)
        x = -w * c;
    else if (a <= 270)
        x = -w * c - h * s;
    else
        x = -h * s;
    return static_cast<int>(RoundHalfEven(x));
}

int DUDRotatedYPos(int angle, int w, int h)
{
    const int a = NormalAngle(angle);
    const double c = std::cos(Radians(a)), s = std::sin(Radians(a));
    double y;
    if (a <= 90)
        y = w * s;
    else if (a <= 180)
        y = w * s - h * c;
    else if (a <= 270)
        y = -h * c;
    else
        y = 0;
    return static_cast<int>(RoundHalfEven(y));
}

void DUDMidpoint(const TPoint* points, int n, TPoint& p)
{
    if (n <= 0)
        return;
    std::int64_t sx = 0, sy = 0;
    for (int i = 0; i < n; ++i) {
        sx += points[i].X;
        sy += points[i].Y;
    }
    p = {static_cast<int>(sx / n), static_cast<int>(sy / n)};
}

void DUDOffsetPoints(TPoint* points, int last, int dx, int dy)
{
    for (int i = 0; i <= last; ++i) {
        points[i].X += dx;
        points[i].Y += dy;
    }
}

void DUDNullPoints(TPoint* points, int last)
{
    for (int i = 0; i <= last; ++i)
        points[i] = {};
}

int DUDMax(const int* values, int last) { return last < 0 ? 0 : *std::max_element(values, values + last + 1); }
int DUDMin(const int* values, int last) { return last < 0 ? 0 : *std::min_element(values, values + last + 1); }
long double DUDMaxR(const long double* values, int last)
{
    return last < 0 ? 0 : *std::max_element(values, values + last + 1);
}
long double DUDMinR(const long double* values, int last)
{
    return last < 0 ? 0 : *std::min_element(values, values + last + 1);
}

int DUDMidI(int a, int b) { return static_cast<int>((static_cast<std::int64_t>(a) + b) / 2); }
void DUDSwapInt(int& a, int& b) { std::swap(a, b); }
void DUDSwapString(std::string& a, std::string& b) { std::swap(a, b); }

std::uint8_t DUDSetBit(std::uint8_t b, int bit, bool on)
{
    if (bit < 0 || bit > 7)
        return b;
    const auto mask = static_cast<std::uint8_t>(1u << bit);
    return static_cast<std::uint8_t>(on ? (b | mask) : (b ^ mask));
}

std::uint8_t DUDSetBitUpTo(std::uint8_t b, int bit)
{
    if (bit < 0)
        return b;
    bit = std::min(bit, 7);
    return static_cast<std::uint8_t>(b | ((1u << (bit + 1)) - 1));
}

bool DUDGetBit(std::uint8_t b, int bit) { return bit >= 0 && bit <= 7 && ((b >> bit) & 1) != 0; }

std::int32_t DUDExp(std::int32_t base, std::int32_t n)
{
    std::uint32_t result = 1;
    std::uint32_t square = static_cast<std::uint32_t>(base);
    for (std::uint32_t e = n < 1 ? 0u : static_cast<std::uint32_t>(n); e != 0; e >>= 1) {
        if (e & 1)
            result *= square;
        square *= square;
    }
    return static_cast<std::int32_t>(result);
}

void DUDDelay(std::int64_t ms)
{
    if (ms <= 0)
        return;
    std::mutex m;
    std::condition_variable cv;
    std::unique_lock<std::mutex> lock(m);
    const std::int64_t deadline = platform::clock().monotonicMs() + ms;
    platform::waitUntilMs(cv, lock, deadline, [] { return false; });
}

std::string DUDAppPath() { return DUDSlashAdd(platform::executableDir()); }

std::string DUDAppIniName()
{
    return "SOFTWARE\\" + DUDExtractFileName(platform::executablePath());
}

std::string DUDExtractFileName(const std::string& name)
{
    const auto slash = name.rfind('/');
    std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
    const auto dot = file.rfind('.');
    if (dot != std::string::npos && dot > 0)
        file.erase(dot);
    return file;
}

std::string DUDCreatePathPrefix(int kind, bool slash)
{
    std::string folder;
    switch (kind) {
    case 0: folder = DUDWindowsDirectory(); break;
    case 1: folder = DUDSystemDirectory(); break;
    case 2: folder = platform::executableDir(); break;
    default: return {};
    }
    return slash ? DUDSlashAdd(folder) : DUDSlashRemove(folder);
}

std::string DUDSystemDirectory() { return platform::systemConfigDir().substr(0, 260); }
std::string DUDWindowsDirectory() { return platform::userConfigDir().substr(0, 260); }

std::string DUDShrunkFileName(const std::string& name, int max)
{
    const auto slash = name.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    const std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
    std::string drive;
    if (folder.size() >= 2 && folder[1] == ':') {
        drive = folder.substr(0, 2);
        folder.erase(0, 2);
    }
    auto result = [&] { return drive + folder + file; };
    const std::string dots = ".../";
    while (static_cast<int>(result().size()) > max && !(drive.empty() && folder.empty())) {
        if (folder == "/" + dots) {
            folder = dots;
            drive.clear();
        } else if (!folder.empty()) {
            const bool root = folder[0] == '/';
            std::string rest = root ? folder.substr(1) : folder;
            if (rest.compare(0, dots.size(), dots) == 0)
                rest.erase(0, dots.size());
            const auto next = rest.find('/');
            if (next == std::string::npos || (rest.empty() && !root)) {
                folder.clear();
            } else {
                rest.erase(0, next + 1);
                folder = (root ? "/" : "") + dots + rest;
            }
        } else {
            drive.clear();
        }
    }
    return result();
}

} // namespace kyd::widgets
