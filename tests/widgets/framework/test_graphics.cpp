// Colours, rectangles and the integer arithmetic of the component library.
#include "widgets/framework/graphics.h"

#include <gtest/gtest.h>

#include <climits>

using namespace kyd::widgets;

TEST(WidgetGraphics, ColoursAreBgrWithAFixedClassicSystemTable)
{
    EXPECT_EQ(5138688, RGB(0, 105, 78));
    EXPECT_EQ(0, GetRValue(5138688));
    EXPECT_EQ(105, GetGValue(5138688));
    EXPECT_EQ(78, GetBValue(5138688));
    EXPECT_EQ(clRed, ColorToRGB(clRed));
    EXPECT_EQ(clWhite, ColorToRGB(clBtnHighlight));
    EXPECT_EQ(clGray, ColorToRGB(clBtnShadow));
    EXPECT_EQ(RGB(0xD4, 0xD0, 0xC8), ColorToRGB(clBtnFace));
    EXPECT_EQ(clBlack, ColorToRGB(clWindowText));
    // Markers and unknown system indexes are no colours.
    EXPECT_EQ(clBlack, ColorToRGB(clNone));
    EXPECT_EQ(clBlack, ColorToRGB(SysColor(200)));
    // Bits above the 24 colour bits are dropped.
    EXPECT_EQ(0x123456, ColorToRGB(0x01123456));
}

TEST(WidgetGraphics, RectanglesHaveExclusiveRightAndBottom)
{
    const TRect r = Bounds(10, 20, 80, 20);
    EXPECT_EQ((TRect{10, 20, 90, 40}), r);
    EXPECT_EQ(80, r.Width());
    EXPECT_TRUE(r.Contains(89, 39));
    EXPECT_FALSE(r.Contains(90, 39));
    EXPECT_EQ((TRect{11, 21, 89, 39}), r.Inset(1));
    EXPECT_TRUE((TRect{5, 5, 5, 9}).IsEmpty());
    EXPECT_EQ((TRect{20, 20, 90, 30}), r.Intersect({20, 0, 100, 30}));
    EXPECT_TRUE(r.Intersect({0, 0, 5, 5}).IsEmpty());
}

TEST(WidgetGraphics, MulDivRoundsHalfAwayFromZeroWithoutOverflow)
{
    EXPECT_EQ(11, MulDiv(8, 96, 72)); // 10.67
    EXPECT_EQ(3, MulDiv(5, 1, 2));    // 2.5 -> 3
    EXPECT_EQ(-3, MulDiv(-5, 1, 2));  // -2.5 -> -3
    EXPECT_EQ(-3, MulDiv(5, 1, -2));
    EXPECT_EQ(2, MulDiv(7, 1, 3));    // 2.33
    // The product does not fit 32 bits; the quotient does.
    EXPECT_EQ(2000000000, MulDiv(2000000000, 2000000000, 2000000000));
    EXPECT_EQ(-1, MulDiv(1, 2, 0));
    EXPECT_EQ(-1, MulDiv(INT_MAX, 4, 1));
}

TEST(WidgetGraphics, RoundingTiesGoToTheEvenNeighbour)
{
    EXPECT_EQ(2, RoundHalfEven(2.5));
    EXPECT_EQ(4, RoundHalfEven(3.5));
    EXPECT_EQ(-2, RoundHalfEven(-2.5));
    EXPECT_EQ(3, RoundHalfEven(2.51));
    EXPECT_EQ(2, DivRoundHalfEven(5, 2));
    EXPECT_EQ(4, DivRoundHalfEven(7, 2));
    EXPECT_EQ(-2, DivRoundHalfEven(-5, 2));
    EXPECT_EQ(-2, DivRoundHalfEven(5, -2));
    EXPECT_EQ(3, DivRoundHalfEven(8, 3));
}
