// The shape painter, pixel by pixel on an image canvas.
#include "pixels.h"

#include "widgets/shapes/qt/shape_draw.h"

#include <gtest/gtest.h>

#include <limits>

using namespace kyd::widgets;
using namespace kyd::widgets::test;

namespace {

constexpr TColor kRed = 0x0000FF;
constexpr TColor kBlue = 0xFF0000;
constexpr TColor kNavy = 0x800000;
constexpr TColor kYellow = 0x00FFFF;

// Settings objects are not copied: these fill them in place.
struct Shadow : TDUDShadow {
    Shadow(TDUDShadowStyle style, int depth)
    {
        SetStyle(style);
        SetDepth(depth);
        SetColor(kRed);
    }
};

struct Bevel : TDUDSimpleBevel {
    Bevel(int width, int style)
    {
        SetWidth(static_cast<std::uint8_t>(width));
        SetStyle(style);
        SetShadowColor(kNavy);
        SetLightColor(kYellow);
        SetColor(clBlack);
    }
};

QImage Draw(TDUDShapeType type, const TDUDSimpleBevel* bevel, const TDUDShadow* shadow,
            const QImage* picture = nullptr, TDUDTeeth* teeth = nullptr, const TDUDPointList* list = nullptr)
{
    QImage img = MakeCanvasImage(24, 24);
    TQtCanvas c(img);
    DUDShapeDraw({0, 0, 20, 20}, c, type, teeth, list, false, TBrush(kBlue), 0, bevel, shadow, picture, clWhite,
                 clWhite);
    return img;
}

} // namespace

TEST(WidgetShapeDraw, SolidShadowLiesRightAndDownOfTheShape)
{
    const Shadow shadow(TDUDShadowStyle::hssSolid, 4);
    const Bevel bevel(0, sbNormal);
    const QImage img = Draw(TDUDShapeType::stRectangle, &bevel, &shadow);
    EXPECT_EQ(Hex(Px(img, 8, 8)), Hex(kBlue));
    EXPECT_EQ(Hex(Px(img, 17, 17)), Hex(kRed));
    EXPECT_EQ(Hex(Px(img, 17, 5)), Hex(kRed));
    EXPECT_EQ(Hex(Px(img, 17, 2)), Hex(clWhite)) << "the shadow starts depth pixels down";
    EXPECT_EQ(Hex(Px(img, 2, 17)), Hex(clWhite));
    EXPECT_EQ(Hex(Px(img, 21, 21)), Hex(clWhite)) << "nothing outside the rectangle";
}

TEST(WidgetShapeDraw, TracingShadowIsACheckerAndedIntoTheBackground)
{
    const Shadow shadow(TDUDShadowStyle::hssTracing, 4);
    const Bevel bevel(0, sbNormal);
    QImage img = MakeCanvasImage(24, 24);
    img.fill(ToQColor(kYellow)); // red AND yellow is red, white AND yellow yellow
    {
        TQtCanvas c(img);
        DUDShapeDraw({0, 0, 20, 20}, c, TDUDShapeType::stRectangle, nullptr, nullptr, false, TBrush(kBlue), 0,
                     &bevel, &shadow, nullptr, clWhite, clWhite);
    }
    for (int y = 16; y < 19; ++y)
        for (int x = 16; x < 19; ++x)
            EXPECT_EQ(Hex(Px(img, x, y)), Hex((x + y) % 2 ? kRed : kYellow)) << x << "," << y;
    EXPECT_EQ(Hex(Px(img, 8, 8)), Hex(kBlue));
}

TEST(WidgetShapeDraw, BevelsAreTwoColouredByStyle)
{
    for (const int style : {sbInset, sbOffset}) {
        const Bevel bevel(1, style);
        const QImage img = Draw(TDUDShapeType::stRectangle, &bevel, nullptr);
        const TColor upperLeft = style == sbInset ? kNavy : kYellow;
        const TColor lowerRight = style == sbInset ? kYellow : kNavy;
        EXPECT_EQ(Hex(Px(img, 0, 5)), Hex(upperLeft)) << style;
        EXPECT_EQ(Hex(Px(img, 5, 0)), Hex(upperLeft)) << style;
        EXPECT_EQ(Hex(Px(img, 19, 5)), Hex(lowerRight)) << style;
        EXPECT_EQ(Hex(Px(img, 5, 19)), Hex(lowerRight)) << style;
        EXPECT_EQ(Hex(Px(img, 5, 5)), Hex(kBlue)) << style;
    }
    // The normal style outlines in the bevel's own colour.
    const Bevel normal(1, sbNormal);
    const QImage img = Draw(TDUDShapeType::stDiamond, &normal, nullptr);
    EXPECT_EQ(Hex(Px(img, 10, 0)), Hex(clBlack));
    EXPECT_EQ(Hex(Px(img, 10, 10)), Hex(kBlue));
}

TEST(WidgetShapeDraw, PictureFillsExactlyTheShape)
{
    QImage green(20, 20, QImage::Format_RGB32);
    green.fill(QColor(0, 128, 0));
    const Bevel bevel(0, sbNormal);
    const QImage img = Draw(TDUDShapeType::stEllipse, &bevel, nullptr, &green);
    EXPECT_EQ(Hex(Px(img, 10, 10)), Hex(0x008000));
    EXPECT_EQ(Hex(Px(img, 1, 1)), Hex(clWhite));
    EXPECT_EQ(Hex(Px(img, 18, 18)), Hex(clWhite));
}

TEST(WidgetShapeDraw, CallersListIsLeftAsItWasAndAShortOneIsReplaced)
{
    const Shadow shadow(TDUDShadowStyle::hssSolid, 3);
    const Bevel bevel(2, sbInset);
    TDUDPointList list;
    DUDShapeCalc({0, 0, 20, 20}, TDUDShapeType::stStar, nullptr, false, 0, &bevel, &shadow, list);
    const std::vector<TPoint> before = list.Points();
    QImage img = MakeCanvasImage(30, 30);
    {
        TQtCanvas c(img);
        DUDShapeDraw({5, 5, 25, 25}, c, TDUDShapeType::stStar, nullptr, &list, false, TBrush(kBlue), 0, &bevel,
                     &shadow, nullptr, clWhite, clWhite);
    }
    EXPECT_EQ(list.Points(), before);

    TDUDPointList shortList;
    shortList.AddPoint({1, 1});
    const QImage drawn = Draw(TDUDShapeType::stRectangle, nullptr, nullptr, nullptr, nullptr, &shortList);
    EXPECT_EQ(Hex(Px(drawn, 10, 10)), Hex(kBlue)) << "computed afresh; a missing bevel has width 0";
    EXPECT_EQ(shortList.Count(), 1);
}

TEST(WidgetShapeDraw, ACallersPointsNearTheIntegerLimitsAreHeldToTheWindowRange)
{
    constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
    // A rectangle over everything: held to the window range, it covers the
    // canvas (moved by the rectangle's corner and back by the shadow).
    TDUDPointList all;
    for (const TPoint& p :
         {TPoint{kMin, kMin}, TPoint{kMax, kMax}, TPoint{kMin + 1, kMin + 1}, TPoint{kMax - 1, kMax - 1}})
        all.AddPoint(p);
    const Shadow shadow(TDUDShadowStyle::hssSolid, 3);
    QImage img = MakeCanvasImage(30, 30);
    {
        TQtCanvas c(img);
        DUDShapeDraw({5, 5, 25, 25}, c, TDUDShapeType::stRectangle, nullptr, &all, false, TBrush(kBlue), 0, nullptr,
                     &shadow, nullptr, clWhite, clWhite);
    }
    EXPECT_EQ(Hex(Px(img, 15, 15)), Hex(kBlue));
    EXPECT_EQ(Hex(Px(img, 0, 29)), Hex(kBlue));
    EXPECT_EQ(all.Points().front(), (TPoint{kMin, kMin})) << "the caller's list is left as it was";

    // Any shape, bevel and shadow: the same as the points held by hand.
    for (const TDUDShapeType type : {TDUDShapeType::stStar, TDUDShapeType::stRoundRect, TDUDShapeType::stDiamond}) {
        TDUDPointList wild, held;
        for (int i = 0; i < 20; ++i) {
            const TPoint p{i % 2 ? kMax - i : kMin + i, i % 3 ? kMin + i : kMax - i};
            wild.AddPoint(p);
            held.AddPoint(DUDHeldPoint(p.X, p.Y));
        }
        const Bevel bevel(2, sbInset);
        QImage a = MakeCanvasImage(30, 30), b = MakeCanvasImage(30, 30);
        for (auto [image, list] : {std::pair{&a, &wild}, std::pair{&b, &held}}) {
            TQtCanvas c(*image);
            DUDShapeDraw({5, 5, 25, 25}, c, type, nullptr, list, false, TBrush(kBlue), 0, &bevel, &shadow, nullptr,
                         clWhite, clWhite);
        }
        EXPECT_EQ(a, b) << static_cast<int>(type);
    }
}

TEST(WidgetShapeDraw, TeethAreFilledAndBevelledByDirection)
{
    TDUDTeeth teeth;
    teeth.SetCount(4);
    const Bevel bevel(1, sbOffset);
    const QImage img = Draw(TDUDShapeType::stRectangle, &bevel, nullptr, nullptr, &teeth);
    EXPECT_EQ(teeth.Height(), 2); // 20 / 8 = 2.5, rounded to even
    EXPECT_EQ(Hex(Px(img, 5, 5)), Hex(kBlue));
    EXPECT_EQ(Hex(Px(img, 0, 5)), Hex(kYellow)) << "the straight left side is light";
    EXPECT_EQ(Hex(Px(img, 5, 19)), Hex(kNavy)) << "the bottom is dark";

    // A square walked clockwise: light on the top and, closing, the left side.
    const std::vector<TColor> colors = DUDPointListColors({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, 1, 2);
    EXPECT_EQ(colors, (std::vector<TColor>{1, 2, 2, 1}));
}

TEST(WidgetShapeDraw, TeethBevelsAreLightAtTheTopAndLeftInEveryDirection)
{
    // Teeth down or left run the outline the other way round; the colours
    // still follow where each edge faces.
    for (const TDUDDirection dir : {TDUDDirection::tdRight, TDUDDirection::tdDown, TDUDDirection::tdLeft,
                                    TDUDDirection::tdUp}) {
        TDUDTeeth teeth;
        teeth.SetCount(4);
        teeth.SetDirection(dir);
        const Bevel bevel(1, sbOffset);
        const QImage img = Draw(TDUDShapeType::stRectangle, &bevel, nullptr, nullptr, &teeth);
        const int d = static_cast<int>(dir);
        if (dir != TDUDDirection::tdUp)
            EXPECT_EQ(Hex(Px(img, 10, 0)), Hex(kYellow)) << "top, direction " << d;
        if (dir != TDUDDirection::tdLeft)
            EXPECT_EQ(Hex(Px(img, 0, 10)), Hex(kYellow)) << "left, direction " << d;
        if (dir != TDUDDirection::tdDown)
            EXPECT_EQ(Hex(Px(img, 10, 19)), Hex(kNavy)) << "bottom, direction " << d;
        if (dir != TDUDDirection::tdRight)
            EXPECT_EQ(Hex(Px(img, 19, 10)), Hex(kNavy)) << "right, direction " << d;
    }
}

namespace {

// The bevel colour drawn nearest the point (x2 / 2, y2 / 2), looking no
// more than a pixel away; white when there is none.
TColor BevelNear(const QImage& img, int x2, int y2)
{
    for (int d = 0; d <= 1; ++d)
        for (int y = (y2 - 1) / 2 - d; y <= y2 / 2 + d; ++y)
            for (int x = (x2 - 1) / 2 - d; x <= x2 / 2 + d; ++x) {
                const TColor c = Px(img, x, y);
                if (c == kNavy || c == kYellow)
                    return c;
            }
    return clWhite;
}

struct Side {
    int X2, Y2;  // the middle of a side, in half pixels
    bool First;  // drawn in the first colour (inset: the shadow colour)
};

} // namespace

TEST(WidgetShapeDraw, PolygonBevelsAreDarkAtTheUpperLeftWhenInsetAndLightWhenOffset)
{
    // On 40 x 40 with a pen of 1 (no moving in): each side by the middle of
    // its line, as the shapes' bevel table splits them.
    const std::vector<std::pair<TDUDShapeType, std::vector<Side>>> shapes{
        {TDUDShapeType::stDirectUp, {{20, 40, true}, {60, 40, true}, {40, 80, false}}},
        {TDUDShapeType::stDirectRight, {{0, 40, true}, {40, 20, false}, {40, 60, false}}},
        {TDUDShapeType::stDirectDown, {{40, 0, true}, {20, 40, false}, {60, 40, false}}},
        {TDUDShapeType::stDirectLeft, {{39, 20, true}, {39, 60, true}, {78, 40, false}}},
        {TDUDShapeType::stComb, {{0, 40, true}, {20, 8, true}, {59, 8, true}, {78, 40, false}, {59, 72, false},
                                 {20, 72, false}}},
        {TDUDShapeType::stOctagon, {{0, 40, true}, {40, 0, true}, {12, 12, true}, {68, 12, true}, {78, 40, false},
                                    {40, 80, false}, {68, 69, false}, {12, 69, false}}},
        {TDUDShapeType::stStar, {{66, 30, true}, {62, 64, true}, {18, 64, true}, {14, 30, true}, {34, 15, true},
                                 {46, 15, false}, {68, 39, false}, {12, 39, false}, {54, 70, false},
                                 {26, 70, false}}},
    };
    for (const int style : {sbInset, sbOffset}) {
        const Bevel bevel(1, style);
        const TColor first = style == sbInset ? kNavy : kYellow;
        const TColor second = style == sbInset ? kYellow : kNavy;
        for (const auto& [shape, sides] : shapes) {
            QImage img = MakeCanvasImage(44, 44);
            {
                TQtCanvas c(img);
                DUDShapeDraw({0, 0, 40, 40}, c, shape, nullptr, nullptr, false, TBrush(kBlue), 0, &bevel, nullptr,
                             nullptr, clWhite, clWhite);
            }
            for (const Side& s : sides)
                EXPECT_EQ(Hex(BevelNear(img, s.X2, s.Y2)), Hex(s.First ? first : second))
                    << "shape " << int(shape) << " style " << style << " side at " << s.X2 / 2.0 << ","
                    << s.Y2 / 2.0;
            EXPECT_EQ(Hex(Px(img, 20, 24)), Hex(kBlue)) << "filled, shape " << int(shape);
        }
    }
}
