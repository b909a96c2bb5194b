// The meter's value, percent and bar geometry.
#include "widgets/controls/meter_values.h"

#include <gtest/gtest.h>

#include <climits>

using namespace kyd::widgets;

TEST(MeterValues, ValueAndPercentStayInStep)
{
    TDUDMeterValues m;
    ASSERT_TRUE(m.SetMaxValue(4152));
    ASSERT_TRUE(m.SetUserValue(2076));
    EXPECT_EQ(50, m.Position());
    EXPECT_FALSE(m.SetUserValue(4153)); // outside the range
    EXPECT_EQ(2076, m.UserValue());
    EXPECT_FALSE(m.SetUserValue(-1));
    EXPECT_FALSE(m.SetUserValue(2076)); // equal

    ASSERT_TRUE(m.SetPercentValue(150));
    EXPECT_EQ(100, m.Position());
    EXPECT_EQ(4152, m.UserValue());
    ASSERT_TRUE(m.SetPercentValue(25));
    EXPECT_EQ(1038, m.UserValue());
}

TEST(MeterValues, RangeChanges)
{
    TDUDMeterValues m;
    m.SetUserValue(40);
    ASSERT_TRUE(m.SetMaxValue(-5));
    EXPECT_EQ(-5, m.MinValue());
    EXPECT_EQ(0, m.MaxValue());
    EXPECT_EQ(0, m.UserValue()); // outside: to the new maximum
    EXPECT_EQ(100, m.Position());
    EXPECT_FALSE(m.SetMaxValue(0));  // equal to the maximum
    EXPECT_FALSE(m.SetMaxValue(-5)); // equal to the minimum: never an empty range
    EXPECT_FALSE(m.SetMinValue(0));

    ASSERT_TRUE(m.SetMinValue(10)); // the range becomes 0..10
    EXPECT_EQ(0, m.MinValue());
    EXPECT_EQ(10, m.MaxValue());
    EXPECT_EQ(0, m.UserValue());
    EXPECT_EQ(0, m.Position());
}

TEST(MeterValues, FullIntegerRangeDoesNotOverflow)
{
    TDUDMeterValues m;
    ASSERT_TRUE(m.SetMaxValue(INT_MAX));
    ASSERT_TRUE(m.SetMinValue(INT_MIN));
    ASSERT_TRUE(m.SetUserValue(1));
    EXPECT_EQ(50, m.Position());
    ASSERT_TRUE(m.SetPercentValue(100));
    EXPECT_EQ(INT_MAX, m.UserValue());
    ASSERT_TRUE(m.SetPercentValue(0));
    EXPECT_EQ(INT_MIN, m.UserValue());
}

TEST(MeterValues, AddAndSubClampAndLeaveTheValue)
{
    TDUDMeterValues m;
    m.SetPercentValue(20);
    EXPECT_TRUE(m.Sub(30));
    EXPECT_EQ(0, m.Position());
    m.SetPercentValue(90);
    EXPECT_TRUE(m.Add(30));
    EXPECT_EQ(100, m.Position());
    EXPECT_EQ(90, m.UserValue());
    EXPECT_FALSE(m.Add(0));
    EXPECT_FALSE(m.Sub(0));
}

TEST(MeterValues, RoundingOfPercentAndValue)
{
    EXPECT_EQ(2, MeterPercentOf(5, 0, 200));   // 2.5 -> 2
    EXPECT_EQ(4, MeterPercentOf(7, 0, 200));   // 3.5 -> 4
    EXPECT_EQ(0, MeterPercentOf(-10, 0, 100)); // clamped
    EXPECT_EQ(2, MeterValueOf(50, 0, 5));      // 2.5 -> 2
    EXPECT_EQ(39, MeterBarExtent(50, 78));
    EXPECT_EQ(0, MeterBarExtent(1, 78)); // 0.78 cut
    EXPECT_EQ(78, MeterBarExtent(100, 78));
}

TEST(MeterValues, BarAndRestInEveryDirection)
{
    const TRect full{0, 0, 78, 18};
    EXPECT_EQ((TRect{0, 0, 39, 18}), MeterBarRect(full, TDUDMeterDirection::mdHorizontal, 50));
    EXPECT_EQ((TRect{39, 0, 78, 18}), MeterBarRect(full, TDUDMeterDirection::mdHorizontalReverse, 50));
    EXPECT_EQ((TRect{0, 0, 78, 9}), MeterBarRect(full, TDUDMeterDirection::mdVertical, 50));
    EXPECT_EQ((TRect{0, 9, 78, 18}), MeterBarRect(full, TDUDMeterDirection::mdVerticalReverse, 50));
    const TRect bar = MeterBarRect(full, TDUDMeterDirection::mdHorizontalReverse, 25);
    EXPECT_EQ((TRect{0, 0, 59, 18}), MeterRestRect(full, TDUDMeterDirection::mdHorizontalReverse, bar));
}

TEST(MeterValues, SmallBarsCountAndSpacing)
{
    EXPECT_EQ(5, SmallBarsToDraw(50, 10));
    EXPECT_EQ(2, SmallBarsToDraw(25, 10)); // 2.5 -> 2
    EXPECT_EQ(4, SmallBarsToDraw(35, 10)); // 3.5 -> 4
    EXPECT_EQ(1, SmallBarsToDraw(100, 0)); // a count of 0 works as 1

    // 10 bars in 78 pixels with 3 between: 5 wide (4.8 rounded).
    EXPECT_EQ(5, SmallBarExtent(78, 3, 10));
    const auto bars = SmallBarRects({0, 0, 78, 18}, TDUDMeterDirection::mdHorizontal, 30, 10, 3, 3);
    ASSERT_EQ(3u, bars.size());
    EXPECT_EQ((TRect{1, 0, 6, 18}), bars[0]);
    EXPECT_EQ((TRect{9, 0, 14, 18}), bars[1]);
    EXPECT_EQ((TRect{17, 0, 22, 18}), bars[2]);
    const auto rev = SmallBarRects({0, 0, 80, 18}, TDUDMeterDirection::mdHorizontalReverse, 10, 10, 3, 3);
    ASSERT_EQ(1u, rev.size());
    EXPECT_EQ((TRect{74, 0, 79, 18}), rev[0]);
    const auto up = SmallBarRects({0, 0, 18, 80}, TDUDMeterDirection::mdVerticalReverse, 20, 10, 3, 2);
    ASSERT_EQ(2u, up.size());
    EXPECT_EQ((TRect{0, 73, 18, 79}), up[0]); // (80 - 20) / 10 = 6 high, 1 pixel lead
    EXPECT_EQ((TRect{0, 65, 18, 71}), up[1]);

    // Automatic size: ten 5-pixel bars with 3 between, framed by 1 pixel.
    EXPECT_EQ(82, SmallBarAutoLength(80, 1, 3, 10));
    EXPECT_EQ(82, SmallBarAutoLength(82, 1, 3, 10));
    EXPECT_EQ(2 + 10 * 4, SmallBarAutoLength(5, 1, 3, 10)); // never below 1-pixel bars
}
