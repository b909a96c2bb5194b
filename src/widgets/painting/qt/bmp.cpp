#include "widgets/painting/qt/bmp.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

namespace kyd::widgets {

namespace {

void Check24(const QImage& img, const char* role)
{
    if (img.format() != QImage::Format_BGR888)
        throw EDUDWrongPixelFormat(std::string("Wrong PixelFormat in ") + role + " bitmap!");
}

// The area to work on: rect clipped to the source, and the target area at
// the point clipped to the target; both of the same size. Empty when
// nothing is left.
struct Area {
    TRect src;
    TPoint dst;
    bool empty = true;
};

Area Clip(const QImage& source, TRect rect, const QImage& target, TPoint at)
{
    Area a;
    if (rect.IsEmpty())
        return a;
    // Clip the source rectangle, moving the target point along.
    const TRect bounds{0, 0, source.width(), source.height()};
    TRect r = rect.Intersect(bounds);
    if (r.IsEmpty())
        return a;
    at.X += r.Left - rect.Left;
    at.Y += r.Top - rect.Top;
    // Clip the target area.
    if (at.X < 0) {
        r.Left -= at.X;
        at.X = 0;
    }
    if (at.Y < 0) {
        r.Top -= at.Y;
        at.Y = 0;
    }
    r.Right = std::min(r.Right, r.Left + (target.width() - at.X));
    r.Bottom = std::min(r.Bottom, r.Top + (target.height() - at.Y));
    if (r.IsEmpty())
        return a;
    a.src = r;
    a.dst = at;
    a.empty = false;
    return a;
}

// The source area's bytes, row after row: read before an overlapping
// target is written.
std::vector<std::uint8_t> CopyArea(const QImage& source, const Area& a)
{
    const int w = a.src.Width();
    const int h = a.src.Height();
    std::vector<std::uint8_t> copy(static_cast<std::size_t>(w) * 3 * h);
    for (int y = 0; y < h; ++y)
        std::memcpy(copy.data() + static_cast<std::size_t>(y) * w * 3,
                    source.constScanLine(a.src.Top + y) + static_cast<std::size_t>(a.src.Left) * 3,
                    static_cast<std::size_t>(w) * 3);
    return copy;
}

// Copies the source area first (CopyArea), then calls f(row of source
// bytes, target row, y).
void ForRows(const QImage& source, const Area& a, QImage& target,
             const std::function<void(const std::uint8_t*, std::uint8_t*, int)>& f)
{
    const int w = a.src.Width();
    const int h = a.src.Height();
    const std::vector<std::uint8_t> copy = CopyArea(source, a);
    for (int y = 0; y < h; ++y)
        f(copy.data() + static_cast<std::size_t>(y) * w * 3,
          target.scanLine(a.dst.Y + y) + static_cast<std::size_t>(a.dst.X) * 3, y);
}

template <class PerByte>
void PerByteOp(const QImage& source, const TRect& rect, QImage& target, TPoint at, PerByte op)
{
    Check24(source, "Source");
    Check24(target, "Target");
    const Area a = Clip(source, rect, target, at);
    if (a.empty)
        return;
    const int n = a.src.Width() * 3;
    ForRows(source, a, target, [&](const std::uint8_t* s, std::uint8_t* d, int) {
        for (int i = 0; i < n; ++i)
            d[i] = op(s[i]);
    });
}

std::uint8_t Clamp255(int v)
{
    return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

} // namespace

QImage DUDBmpCreate24(int width, int height)
{
    QImage img(std::max(width, 0), std::max(height, 0), QImage::Format_BGR888);
    img.fill(Qt::white);
    return img;
}

void DUDBMPGrayScale(const QImage& source, const TRect& rect, QImage& target, TPoint at)
{
    Check24(source, "Source");
    Check24(target, "Target");
    static const auto tables = [] {
        std::array<std::array<std::uint8_t, 256>, 3> t{};
        for (int v = 0; v < 256; ++v) {
            t[0][v] = static_cast<std::uint8_t>(DivRoundHalfEven(30 * v, 100));
            t[1][v] = static_cast<std::uint8_t>(DivRoundHalfEven(59 * v, 100));
            t[2][v] = static_cast<std::uint8_t>(DivRoundHalfEven(11 * v, 100));
        }
        return t;
    }();
    const Area a = Clip(source, rect, target, at);
    if (a.empty)
        return;
    const int w = a.src.Width();
    ForRows(source, a, target, [&](const std::uint8_t* s, std::uint8_t* d, int) {
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* p = s + x * 3; // blue, green, red
            const std::uint8_t g = Clamp255(tables[0][p[2]] + tables[1][p[1]] + tables[2][p[0]]);
            d[x * 3] = d[x * 3 + 1] = d[x * 3 + 2] = g;
        }
    });
}

void DUDBMPFlipVertical(const QImage& source, const TRect& rect, QImage& target, TPoint at)
{
    Check24(source, "Source");
    Check24(target, "Target");
    const Area a = Clip(source, rect, target, at);
    if (a.empty)
        return;
    const int w = a.src.Width();
    ForRows(source, a, target, [&](const std::uint8_t* s, std::uint8_t* d, int) {
        for (int x = 0; x < w; ++x)
            std::memcpy(d + x * 3, s + (w - 1 - x) * 3, 3);
    });
}

void DUDBMPFlipHorizonzal(const QImage& source, const TRect& rect, QImage& target, TPoint at)
{
    Check24(source, "Source");
    Check24(target, "Target");
    const Area a = Clip(source, rect, target, at);
    if (a.empty)
        return;
    const int w = a.src.Width();
    const int h = a.src.Height();
    const std::vector<std::uint8_t> copy = CopyArea(source, a);
    for (int y = 0; y < h; ++y)
        std::memcpy(target.scanLine(a.dst.Y + y) + static_cast<std::size_t>(a.dst.X) * 3,
                    copy.data() + static_cast<std::size_t>(h - 1 - y) * w * 3, static_cast<std::size_t>(w) * 3);
}

void DUDBMPInvert(const QImage& source, const TRect& rect, QImage& target, TPoint at)
{
    PerByteOp(source, rect, target, at, [](std::uint8_t v) { return static_cast<std::uint8_t>(255 - v); });
}

void DUDBMPBrightness(const QImage& source, const TRect& rect, QImage& target, int b, TPoint at)
{
    PerByteOp(source, rect, target, at, [b](std::uint8_t v) { return Clamp255(v + b); });
}

void DUDBmpBrightnessEC(const QImage& source, const TRect& rect, QImage& target, int b, TColor excluded,
                        TPoint at)
{
    Check24(source, "Source");
    Check24(target, "Target");
    const Area a = Clip(source, rect, target, at);
    if (a.empty)
        return;
    const TColor ex = ColorToRGB(excluded);
    const std::uint8_t eb = static_cast<std::uint8_t>(GetBValue(ex));
    const std::uint8_t eg = static_cast<std::uint8_t>(GetGValue(ex));
    const std::uint8_t er = static_cast<std::uint8_t>(GetRValue(ex));
    const int w = a.src.Width();
    ForRows(source, a, target, [&](const std::uint8_t* s, std::uint8_t* d, int) {
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* p = s + x * 3;
            const bool keep = p[0] == eb && p[1] == eg && p[2] == er;
            for (int i = 0; i < 3; ++i)
                d[x * 3 + i] = keep ? p[i] : Clamp255(p[i] + b);
        }
    });
}

void DUDBMPAlphaBlend(const QImage& source1, const QImage& source2, const TRect& rect, TPoint at2, double strength,
                      QImage& target, TPoint at)
{
    Check24(source1, "Source 1");
    Check24(source2, "Source 2");
    Check24(target, "Target");
    const double s = std::clamp(strength, 0.0, 1.0);
    std::array<int, 511> table{};
    for (int d = -255; d <= 255; ++d)
        table[d + 255] = static_cast<int>(RoundHalfEven(s * d));
    // Clip against source 2 as well: its area moves with the rectangle.
    Area a = Clip(source1, rect, target, at);
    if (a.empty)
        return;
    TPoint p2{at2.X + (a.src.Left - rect.Left), at2.Y + (a.src.Top - rect.Top)};
    const Area b = Clip(source2, {p2.X, p2.Y, p2.X + a.src.Width(), p2.Y + a.src.Height()}, target, a.dst);
    if (b.empty)
        return;
    const int dx = b.src.Left - p2.X;
    const int dy = b.src.Top - p2.Y;
    a.src = {a.src.Left + dx, a.src.Top + dy, a.src.Left + dx + b.src.Width(), a.src.Top + dy + b.src.Height()};
    a.dst = b.dst;
    const int n = a.src.Width() * 3;
    std::vector<std::vector<std::uint8_t>> rows2(static_cast<std::size_t>(a.src.Height()));
    for (int y = 0; y < a.src.Height(); ++y)
        rows2[y].assign(source2.constScanLine(b.src.Top + y) + static_cast<std::size_t>(b.src.Left) * 3,
                        source2.constScanLine(b.src.Top + y) + static_cast<std::size_t>(b.src.Left) * 3 + n);
    ForRows(source1, a, target, [&](const std::uint8_t* s1, std::uint8_t* d, int y) {
        const std::uint8_t* s2 = rows2[y].data();
        for (int i = 0; i < n; ++i)
            d[i] = Clamp255(s2[i] + table[s1[i] - s2[i] + 255]);
    });
}

} // namespace kyd::widgets
