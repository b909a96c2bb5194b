// The meter's arithmetic: its value in the caller's units and in percent
// kept in step, and where the bar and the small bars go. The control in
// qt/meter.h paints with these.
#pragma once

#include "widgets/framework/object.h"
#include "widgets/framework/graphics.h"

#include <cstdint>
#include <vector>

namespace kyd::widgets {

enum class TDUDMeterDirection { mdHorizontal, mdVertical, mdHorizontalReverse, mdVerticalReverse };
enum class TDUDMeterTextOptions { toNoText, toCaption, toPercent };
enum class TDUDProgressStyle { pgBar, pgSmallBar, pgSmallBarColor, pgOwnerDraw };
enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

inline bool IsHorizontal(TDUDMeterDirection d)
{
    return d == TDUDMeterDirection::mdHorizontal || d == TDUDMeterDirection::mdHorizontalReverse;
}

// Percent of v in min..max, rounded half to even, within 0..100.
int MeterPercentOf(std::int64_t v, std::int32_t min, std::int32_t max);
// The value of percent p in min..max, rounded half to even.
std::int32_t MeterValueOf(int p, std::int32_t min, std::int32_t max);
// The bar's length for percent p in a length of n pixels (cut, at most n).
int MeterBarExtent(int p, int n);

// The bar for percent p inside `full`, laid by the direction, and the rest.
TRect MeterBarRect(const TRect& full, TDUDMeterDirection d, int p);
TRect MeterRestRect(const TRect& full, TDUDMeterDirection d, const TRect& bar);

// Length of one small bar, at least 1 (a count of 0 counts as 1).
int SmallBarExtent(int length, int space, int count);
// How many of `count` small bars percent p lights.
int SmallBarsToDraw(int p, int count);
// The lit small bars for percent p, first to last in the growing direction.
std::vector<TRect> SmallBarRects(const TRect& full, TDUDMeterDirection d, int p, int count, int hSpace,
                                 int vSpace);
// The length (width or height) a control needs so that its small bars and
// its frame of `frame` pixels on each side fill it exactly.
int SmallBarAutoLength(int currentLength, int frame, int space, int count);

// Value and percent kept in step. Every setter answers whether anything
// changed.
class TDUDMeterValues {
public:
    std::int32_t MinValue() const { return min_; }
    std::int32_t MaxValue() const { return max_; }
    std::int32_t UserValue() const { return user_; }
    int Position() const { return position_; }

    // Ignored when v equals either end; else the range becomes v and the old
    // minimum in order, and a value outside it moves to the new maximum.
    bool SetMaxValue(std::int32_t v);
    // The same with the old maximum; a value outside moves to the minimum.
    bool SetMinValue(std::int32_t v);
    // Ignored when equal; above 100 (and below 0) clamped; the value follows.
    bool SetPercentValue(int p);
    // Ignored when equal or outside the range; the percent follows.
    bool SetUserValue(std::int32_t v);
    // Percent up or down, within 0..100; the value does not follow.
    bool Add(int n);
    bool Sub(int n);

private:
    // The range becomes v and kept in order; a value outside it moves to the
    // new maximum (toMax) or minimum. Ignored when v equals either end.
    bool SetEnd(std::int32_t v, std::int32_t kept, bool toMax);

    std::int32_t min_ = 0;
    std::int32_t max_ = 100;
    std::int32_t user_ = 0;
    int position_ = 0;
};

// Settings of the small-bar styles.
class TDUDSmallBar : public TDUDObject {
public:
    bool AutoSize() const { return autoSize_; }
    // A count of 0 is kept as it was set but works as 1.
    int BarCount() const { return barCount_; }
    int EffectiveBarCount() const { return barCount_ == 0 ? 1 : barCount_; }
    TColor BarColor() const { return barColor_; }
    int HSpace() const { return hSpace_; }
    int VSpace() const { return vSpace_; }
    void SetAutoSize(bool v) { SetField(autoSize_, v); }
    void SetBarCount(std::uint8_t v) { SetField(barCount_, int(v)); }
    void SetBarColor(TColor v) { SetField(barColor_, v); }
    void SetHSpace(std::uint8_t v) { SetField(hSpace_, int(v)); }
    void SetVSpace(std::uint8_t v) { SetField(vSpace_, int(v)); }
    void Assign(const TDUDSmallBar& o);
    std::string ClassName() const override { return "TDUDSmallBar"; }

private:
    bool autoSize_ = true;
    int barCount_ = 10;
    TColor barColor_ = clNavy;
    int hSpace_ = 3;
    int vSpace_ = 3;
};

} // namespace kyd::widgets
