#include "widgets/framework/graphics.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace kyd::widgets {

namespace {

// The classic grey 3-D scheme.
constexpr std::array<TColor, COLOR_COUNT> kClassic = {
    RGB(0xD4, 0xD0, 0xC8), // scroll bar
    RGB(0x3A, 0x6E, 0xA5), // desktop
    RGB(0x0A, 0x24, 0x6A), // active caption
    RGB(0x80, 0x80, 0x80), // inactive caption
    RGB(0xD4, 0xD0, 0xC8), // menu
    RGB(0xFF, 0xFF, 0xFF), // window
    RGB(0x00, 0x00, 0x00), // window frame
    RGB(0x00, 0x00, 0x00), // menu text
    RGB(0x00, 0x00, 0x00), // window text
    RGB(0xFF, 0xFF, 0xFF), // caption text
    RGB(0xD4, 0xD0, 0xC8), // active border
    RGB(0xD4, 0xD0, 0xC8), // inactive border
    RGB(0x80, 0x80, 0x80), // application workspace
    RGB(0x0A, 0x24, 0x6A), // highlight
    RGB(0xFF, 0xFF, 0xFF), // highlight text
    RGB(0xD4, 0xD0, 0xC8), // button face
    RGB(0x80, 0x80, 0x80), // button shadow
    RGB(0x80, 0x80, 0x80), // grey text
    RGB(0x00, 0x00, 0x00), // button text
    RGB(0xD4, 0xD0, 0xC8), // inactive caption text
    RGB(0xFF, 0xFF, 0xFF), // button highlight
    RGB(0x40, 0x40, 0x40), // 3-D dark shadow
    RGB(0xD4, 0xD0, 0xC8), // 3-D light
    RGB(0x00, 0x00, 0x00), // tooltip text
    RGB(0xFF, 0xFF, 0xE1), // tooltip background
    RGB(0x00, 0x00, 0x00), // (unused)
    RGB(0x00, 0x00, 0x80), // hot-tracked item
    RGB(0xA6, 0xCA, 0xF0), // gradient of the active caption
    RGB(0xC0, 0xC0, 0xC0), // gradient of the inactive caption
    RGB(0x0A, 0x24, 0x6A), // menu highlight
    RGB(0xD4, 0xD0, 0xC8), // menu bar
};

} // namespace

TColor ColorToRGB(TColor c)
{
    if (c & clSystemColor) {
        const unsigned index = static_cast<unsigned>(c) & 0xFFu;
        if ((static_cast<unsigned>(c) & 0x7FFFFF00u) == 0 && index < kClassic.size())
            return kClassic[index];
        return clBlack;
    }
    if (c == clNone || c == clDefault)
        return clBlack;
    return c & 0x00FFFFFF;
}

TRect TRect::Intersect(const TRect& o) const
{
    TRect r{std::max(Left, o.Left), std::max(Top, o.Top), std::min(Right, o.Right), std::min(Bottom, o.Bottom)};
    if (r.IsEmpty())
        return {};
    return r;
}

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const std::int64_t num = static_cast<std::int64_t>(a) * b;
    std::int64_t q = num / c;
    const std::int64_t rem = num % c;
    // Half away from zero: compare twice the remainder with the divisor.
    if (rem != 0 && 2 * std::llabs(rem) >= std::llabs(static_cast<std::int64_t>(c)))
        q += ((num < 0) != (c < 0)) ? -1 : 1;
    if (q > std::numeric_limits<int>::max() || q < std::numeric_limits<int>::min())
        return -1;
    return static_cast<int>(q);
}

std::int64_t RoundHalfEven(double v)
{
    const double f = std::floor(v);
    const double diff = v - f;
    double r = f;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(f, 2.0) != 0.0))
        r = f + 1.0;
    return static_cast<std::int64_t>(r);
}

std::int64_t DivRoundHalfEven(std::int64_t num, std::int64_t den)
{
    if (den < 0) {
        num = -num;
        den = -den;
    }
    std::int64_t q = num / den;
    std::int64_t rem = num % den;
    if (rem < 0) { // floor division
        q -= 1;
        rem += den;
    }
    if (2 * rem > den || (2 * rem == den && (q & 1) != 0))
        q += 1;
    return q;
}

std::string RectToText(const TRect& r)
{
    return "(" + std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) + ","
        + std::to_string(r.Bottom) + ")";
}

} // namespace kyd::widgets
