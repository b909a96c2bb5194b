#include "widgets/controls/meter_values.h"

#include <algorithm>

namespace kyd::widgets {

int MeterPercentOf(std::int64_t v, std::int32_t min, std::int32_t max)
{
    const std::int64_t range = static_cast<std::int64_t>(max) - min; // no 32-bit overflow
    if (range == 0)
        return 0;
    const std::int64_t p = DivRoundHalfEven((v - min) * 100, range);
    return static_cast<int>(std::clamp<std::int64_t>(p, 0, 100));
}

std::int32_t MeterValueOf(int p, std::int32_t min, std::int32_t max)
{
    const std::int64_t range = static_cast<std::int64_t>(max) - min;
    const std::int64_t v = DivRoundHalfEven(static_cast<std::int64_t>(p) * range, 100) + min;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::min(min, max), std::max(min, max)));
}

int MeterBarExtent(int p, int n)
{
    if (n <= 0 || p <= 0)
        return 0;
    return std::min(n, static_cast<int>(static_cast<std::int64_t>(p) * n / 100));
}

TRect MeterBarRect(const TRect& full, TDUDMeterDirection d, int p)
{
    TRect bar = full;
    switch (d) {
    case TDUDMeterDirection::mdHorizontal:
        bar.Right = full.Left + MeterBarExtent(p, full.Width());
        break;
    case TDUDMeterDirection::mdVertical:
        bar.Bottom = full.Top + MeterBarExtent(p, full.Height());
        break;
    case TDUDMeterDirection::mdHorizontalReverse:
        bar.Left = full.Right - MeterBarExtent(p, full.Width());
        break;
    case TDUDMeterDirection::mdVerticalReverse:
        bar.Top = full.Bottom - MeterBarExtent(p, full.Height());
        break;
    }
    return bar;
}

TRect MeterRestRect(const TRect& full, TDUDMeterDirection d, const TRect& bar)
{
    TRect rest = full;
    switch (d) {
    case TDUDMeterDirection::mdHorizontal: rest.Left = bar.Right; break;
    case TDUDMeterDirection::mdVertical: rest.Top = bar.Bottom; break;
    case TDUDMeterDirection::mdHorizontalReverse: rest.Right = bar.Left; break;
    case TDUDMeterDirection::mdVerticalReverse: rest.Bottom = bar.Top; break;
    }
    return rest;
}

int SmallBarExtent(int length, int space, int count)
{
    count = std::max(1, count);
    const std::int64_t e = DivRoundHalfEven(static_cast<std::int64_t>(length) - static_cast<std::int64_t>(space) * count, count);
    return static_cast<int>(std::max<std::int64_t>(1, e));
}

int SmallBarsToDraw(int p, int count)
{
    count = std::max(1, count);
    const std::int64_t n = DivRoundHalfEven(static_cast<std::int64_t>(std::clamp(p, 0, 100)) * count, 100);
    return static_cast<int>(std::clamp<std::int64_t>(n, 0, count));
}

std::vector<TRect> SmallBarRects(const TRect& full, TDUDMeterDirection d, int p, int count, int hSpace,
                                 int vSpace)
{
    count = std::max(1, count);
    const bool horizontal = IsHorizontal(d);
    const int space = horizontal ? hSpace : vSpace;
    const int e = SmallBarExtent(horizontal ? full.Width() : full.Height(), space, count);
    const int lead = space / 2; // half a gap before the first bar, the rest after the last
    const int n = SmallBarsToDraw(p, count);
    std::vector<TRect> bars;
    bars.reserve(n);
    for (int k = 0; k < n; ++k) {
        const int off = lead + k * (e + space);
        TRect b = full;
        switch (d) {
        case TDUDMeterDirection::mdHorizontal:
            b.Left = full.Left + off;
            b.Right = b.Left + e;
            break;
        case TDUDMeterDirection::mdHorizontalReverse:
            b.Right = full.Right - off;
            b.Left = b.Right - e;
            break;
        case TDUDMeterDirection::mdVertical:
            b.Top = full.Top + off;
            b.Bottom = b.Top + e;
            break;
        case TDUDMeterDirection::mdVerticalReverse:
            b.Bottom = full.Bottom - off;
            b.Top = b.Bottom - e;
            break;
        }
        bars.push_back(b);
    }
    return bars;
}

int SmallBarAutoLength(int currentLength, int frame, int space, int count)
{
    count = std::max(1, count);
    const int e = SmallBarExtent(currentLength - 2 * frame, space, count);
    return count * (e + space) + 2 * frame;
}

bool TDUDMeterValues::SetEnd(std::int32_t v, std::int32_t kept, bool toMax)
{
    if (v == max_ || v == min_)
        return false;
    min_ = std::min(v, kept);
    max_ = std::max(v, kept);
    if (user_ < min_ || user_ > max_)
        user_ = toMax ? max_ : min_;
    position_ = MeterPercentOf(user_, min_, max_);
    return true;
}

bool TDUDMeterValues::SetMaxValue(std::int32_t v) { return SetEnd(v, min_, true); }

bool TDUDMeterValues::SetMinValue(std::int32_t v) { return SetEnd(v, max_, false); }

bool TDUDMeterValues::SetPercentValue(int p)
{
    if (p == position_)
        return false;
    position_ = std::clamp(p, 0, 100);
    user_ = MeterValueOf(position_, min_, max_);
    return true;
}

bool TDUDMeterValues::SetUserValue(std::int32_t v)
{
    if (v == user_ || v < min_ || v > max_)
        return false;
    user_ = v;
    position_ = MeterPercentOf(user_, min_, max_);
    return true;
}

bool TDUDMeterValues::Add(int n)
{
    if (n <= 0)
        return false;
    position_ = std::min(100, position_ + n);
    return true;
}

bool TDUDMeterValues::Sub(int n)
{
    if (n <= 0)
        return false;
    position_ = std::max(0, position_ - n);
    return true;
}

void TDUDSmallBar::Assign(const TDUDSmallBar& o)
{
    if (&o == this)
        return;
    BeginUpdate();
    autoSize_ = o.autoSize_;
    barCount_ = o.barCount_;
    barColor_ = o.barColor_;
    hSpace_ = o.hSpace_;
    vSpace_ = o.vSpace_;
    EndUpdate(true);
}

} // namespace kyd::widgets
