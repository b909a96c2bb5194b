#include "widgets/shapes/region_geometry.h"

#include "widgets/shapes/region_bands.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace kyd::widgets {

namespace {

int Round(double v) { return static_cast<int>(RoundHalfEven(v)); }
int Frac(int v, int percent) { return static_cast<int>(DivRoundHalfEven(std::int64_t(v) * percent, 100)); }

bool OnTop(TDUDExtPos p)
{
    using E = TDUDExtPos;
    return p == E::epLeftTop || p == E::epTopLeft || p == E::epTopRight || p == E::epRightTop;
}

static_assert(kDUDMaxNoseSize == kDUDRegionCoordLimit);

int HeldSize(int size) { return std::clamp(size, 0, kDUDMaxNoseSize); }

int HeldInt(std::int64_t v) { return static_cast<int>(std::clamp<std::int64_t>(v, INT_MIN, INT_MAX)); }

bool OnLeft(TDUDExtPos p)
{
    using E = TDUDExtPos;
    return p == E::epLeftTop || p == E::epTopLeft || p == E::epBottomLeft || p == E::epLeftBottom;
}

} // namespace

std::vector<TPoint> DUDDiamondPoints(const TRect& r)
{
    const int w = r.Width(), h = r.Height();
    return {{r.Left + w / 2, r.Top}, {r.Left, r.Top + h / 2}, {r.Left + w / 2, r.Bottom},
                          {r.Right, r.Top + h / 2}};
}

std::vector<TPoint> DUDOctagonPoints(const TRect& r)
{
    const int w3 = r.Width() / 3, h3 = r.Height() / 3;
    const int L = r.Left, T = r.Top;
    return {{L + w3 * 2, T}, {L + w3, T}, {L, T + h3}, {L, T + h3 * 2}, {L + w3, r.Bottom},
                          {L + w3 * 2, r.Bottom}, {r.Right, T + h3 * 2}, {r.Right, T + h3}};
}

std::vector<TPoint> DUDCombPoints(const TRect& r)
{
    const int w2 = r.Width() / 2, h4 = r.Height() / 4;
    const int L = r.Left, T = r.Top;
    return {{L + w2, T}, {L, T + h4}, {L, T + h4 * 3}, {L + w2, r.Bottom}, {r.Right, T + h4 * 3},
                          {r.Right, T + h4}};
}

std::vector<TPoint> DUDStarPoints(const TRect& r)
{
    const int w = r.Width(), h = r.Height(), L = r.Left, T = r.Top;
    return {{L + w / 2, T}, {L + Frac(w, 65), T + Frac(h, 38)}, {r.Right, T + Frac(h, 38)},
                          {L + Frac(w, 70), T + Frac(h, 60)}, {L + Frac(w, 85), r.Bottom},
                          {L + w / 2, T + Frac(h, 75)}, {L + Frac(w, 15), r.Bottom},
                          {L + Frac(w, 30), T + Frac(h, 60)}, {L, T + Frac(h, 38)},
                          {L + Frac(w, 35), T + Frac(h, 38)}};
}

TRect DUDNoseBody(const TRect& r, int size, TDUDExtPos pos)
{
    const std::int64_t s = HeldSize(size);
    TRect b = r;
    int& y = OnTop(pos) ? b.Top : b.Bottom;
    int& x = OnLeft(pos) ? b.Left : b.Right;
    y = HeldInt(y + (OnTop(pos) ? s : -s));
    x = HeldInt(x + (OnLeft(pos) ? s : -s));
    return b;
}

std::vector<TPoint> DUDNosePoints(const TRect& r, int size, TDUDExtPos pos, int off)
{
    size = HeldSize(size);
    const TRect b = DUDNoseBody(r, size, pos);
    // Worked out in 64 bits: a body at the integer limits or any offset
    // from a caller; the points are held to the int range.
    const std::int64_t s = size, d = Round(std::sqrt(2.0 * s * s)), o = off;
    const std::int64_t L = b.Left, T = b.Top, R = b.Right, B = b.Bottom;
    const auto pt = [](std::int64_t x, std::int64_t y) { return TPoint{HeldInt(x), HeldInt(y)}; };
    using E = TDUDExtPos;
    switch (pos) {
    case E::epLeftTop: return {pt(L - s, T - s), pt(L, T + o), pt(L, T + o + d)};
    case E::epTopLeft: return {pt(L - s, T - s), pt(L + o, T), pt(L + o + d, T)};
    case E::epTopRight: return {pt(R + s, T - s), pt(R - o, T), pt(R - o - d, T)};
    case E::epRightTop: return {pt(R + s, T - s), pt(R, T + o), pt(R, T + o + d)};
    case E::epRightBottom: return {pt(R + s, B + s), pt(R, B - o), pt(R, B - o - d)};
    case E::epBottomRight: return {pt(R + s, B + s), pt(R - o, B), pt(R - o - d, B)};
    case E::epBottomLeft: return {pt(L - s, B + s), pt(L + o, B), pt(L + o + d, B)};
    case E::epLeftBottom: return {pt(L - s, B + s), pt(L, B - o), pt(L, B - o - d)};
    }
    return {};
}

std::vector<TRect> DUDThinkBubbleRects(const TRect& r, int size, int count, TDUDExtPos pos)
{
    std::vector<TRect> out;
    if (count < 1 || !DUDRegionRectInBounds(r))
        return out;
    size = HeldSize(size);
    const TRect b = DUDNoseBody(r, size, pos);
    const int L = b.Left, T = b.Top, R = b.Right, B = b.Bottom, s = size;
    const double n = count;
    const double step = (s * 2.0 * M_PI / 4.0) / n / n;
    if (step <= 0)
        return out;
    const double c = 1.57;
    // The bubbles before the first one 2 pixels across (its diameter
    // i * step rounds to 2 from 1.5 on) are not visited.
    const std::int64_t last = std::int64_t{count} + 1;
    const auto first = static_cast<std::int64_t>(std::clamp(1.5 / step - 1, 0.0, static_cast<double>(last + 1)));
    using E = TDUDExtPos;
    for (std::int64_t i = first; i <= last; ++i) {
        const int d = Round(static_cast<double>(i) * step);
        if (d < 2)
            continue;
        const double a = static_cast<double>(i) * (90.0 / (n + 1)) * M_PI / 180.0;
        int x = 0, y = 0;
        switch (pos) {
        case E::epLeftTop: x = L - Round(s * std::cos(a)); y = (T - s) + Round(s * std::sin(a)); break;
        case E::epTopLeft: x = (L - s) + Round(s * std::cos(c - a)); y = T - Round(s * std::sin(c - a)); break;
        case E::epTopRight: x = (R + s) - Round(s * std::cos(c - a)); y = T - Round(s * std::sin(c + a)); break;
        case E::epRightTop: x = R + Round(s * std::cos(a)); y = (T - s) + Round(s * std::sin(a)); break;
        case E::epRightBottom: x = R + Round(s * std::cos(a)); y = (B + s) - Round(s * std::sin(a)); break;
        case E::epBottomRight: x = (R + s) - Round(s * std::cos(c - a)); y = B + Round(s * std::sin(c - a)); break;
        case E::epBottomLeft: x = (L - s) + Round(s * std::cos(c - a)); y = B + Round(s * std::sin(c - a)); break;
        case E::epLeftBottom: x = L - Round(s * std::cos(a)); y = (B + s) - Round(s * std::sin(a)); break;
        }
        out.push_back({x - d / 2, y - d / 2, x + d / 2, y + d / 2});
    }
    return out;
}

} // namespace kyd::widgets
