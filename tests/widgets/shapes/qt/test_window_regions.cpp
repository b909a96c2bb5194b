// Window outlines as regions, without a window.
#include "widgets/shapes/qt/region_data.h"
#include "widgets/shapes/qt/region.h"
#include "widgets/shapes/qt/region_frames.h"

#include "pixels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

using namespace kyd::widgets;
using kyd::widgets::test::Px;
using E = TDUDExtPos;
using S = TDUDRegionShape;

TEST(WindowRegions, PolygonOutlinesAndShields)
{
    const TRect r{0, 0, 100, 60};
    for (const QRegion& g : {DUDCreateDiamondRgn(r), DUDCreateStarRgn(r), DUDCreateOctagonRgn(r),
                             DUDCreateCombRgn(r), DUDEllipticRgn(r), DUDRoundRectRgn(r, 20, 20)}) {
        EXPECT_TRUE(g.contains(QPoint(50, 30)));
        EXPECT_FALSE(g.contains(QPoint(0, 0)));
        EXPECT_FALSE(g.contains(QPoint(99, 59)));
        EXPECT_TRUE(QRect(0, 0, 100, 60).contains(g.boundingRect()));
    }
    EXPECT_TRUE(DUDRoundRectRgn(r, 20, 20).contains(QPoint(3, 30)));
    EXPECT_TRUE(DUDRectRgn(r).contains(QPoint(0, 0)));

    // Shields are cut at both top corners and start from the rectangle's corner.
    const TRect at{10, 20, 110, 140};
    for (const QRegion& g : {DUDCreateRoundShieldRgn(at), DUDCreateSharpShieldRgn(at)}) {
        EXPECT_TRUE(g.contains(QPoint(60, 60)));
        EXPECT_FALSE(g.contains(QPoint(11, 21)));
        EXPECT_FALSE(g.contains(QPoint(108, 21)));
        EXPECT_TRUE(QRect(10, 20, 100, 120).contains(g.boundingRect())) << g.boundingRect().x();
    }
    // A rectangle given the wrong way round is the same rectangle.
    EXPECT_EQ(DUDEllipticRgn({40, 30, 0, 0}), DUDEllipticRgn({0, 0, 40, 30}));
}

TEST(WindowRegions, NoseSticksOutOfTheNamedCorner)
{
    const TRect r{0, 0, 100, 50};
    EXPECT_EQ(DUDNoseBody(r, 10, E::epTopRight), (TRect{0, 10, 90, 50}));
    EXPECT_EQ(DUDNoseBody(r, 10, E::epLeftBottom), (TRect{10, 0, 100, 40}));
    const auto pts = DUDNosePoints(r, 10, E::epTopRight, 5);
    EXPECT_EQ(pts, (std::vector<TPoint>{{100, 0}, {85, 10}, {71, 10}}));
    const QRegion g = DUDCreateNoseRectRgn(r, 10, E::epTopRight);
    EXPECT_TRUE(g.contains(QPoint(92, 4)));
    EXPECT_FALSE(g.contains(QPoint(95, 20)));
    EXPECT_FALSE(g.contains(QPoint(5, 5)));
    const QRegion round = DUDCreateRoundNoseRectRgn(r, 10, 20, 20, E::epLeftTop);
    EXPECT_TRUE(round.contains(QPoint(8, 32))) << "the nose starts RoundY down the side";
    EXPECT_FALSE(round.contains(QPoint(10, 49)));
}

TEST(WindowRegions, ThoughtBubblesGrowTowardsTheBody)
{
    const TRect r{0, 0, 120, 60};
    const QRegion g = DUDCreateThinkBubbleRgn(r, 20, 4, E::epTopRight);
    EXPECT_FALSE(g.contains(QPoint(0, 0))) << "no stray pixel at the origin";
    EXPECT_TRUE(g.contains(QPoint(50, 40)));
    EXPECT_FALSE(g.subtracted(DUDRectRgn(DUDNoseBody(r, 20, E::epTopRight))).isEmpty());
    for (const E pos : {E::epLeftTop, E::epBottomRight, E::epLeftBottom}) {
        EXPECT_FALSE(DUDThinkBubbles(r, 20, 4, pos).isEmpty());
        EXPECT_FALSE(DUDThinkBubbles(r, 20, 4, pos).contains(QPoint(0, 0)));
    }
    EXPECT_TRUE(DUDThinkBubbles(r, 20, 0, E::epTopRight).isEmpty());
    EXPECT_EQ(DUDCreateEllipticThinkBubbleRgn(r, 20, -1, E::epTopLeft), DUDEllipticRgn({20, 20, 120, 60}));
    EXPECT_TRUE(DUDCreateRoundThinkBubbleRgn(r, 20, 4, E::epBottomLeft, 20, 20).contains(QPoint(70, 20)));
}

namespace {

// The diameter the trail of `count` bubbles of `size` gives bubble i.
int BubbleDiameter(int size, int count, int i)
{
    return static_cast<int>(std::nearbyint(i * (size * M_PI / 2) / count / count));
}

} // namespace

TEST(WindowRegions, BubbleSizesAndCountsAreHeldToWhatCanBeDrawn)
{
    constexpr int kMax = std::numeric_limits<int>::max();
    const TRect r{-32767, -32767, 32767, 32767};
    for (const E pos : {E::epLeftTop, E::epTopRight, E::epRightBottom, E::epBottomLeft}) {
        // A size beyond the window range is the largest one.
        EXPECT_EQ(DUDNoseBody(r, kMax, pos), DUDNoseBody(r, kDUDMaxNoseSize, pos));
        EXPECT_EQ(DUDNoseBody(r, -5, pos), r);
        EXPECT_EQ(DUDNosePoints(r, kMax, pos, 0), DUDNosePoints(r, kDUDMaxNoseSize, pos, 0));
        EXPECT_EQ(DUDThinkBubbleRects(r, kMax, 4, pos), DUDThinkBubbleRects(r, kDUDMaxNoseSize, 4, pos));
        // Any count keeps the sizes of its trail; the bubbles under 2
        // pixels, which draw nothing, are left out. 300 on the largest
        // trail: 302 circles up to 172 pixels, the first three under 2.
        const auto many = DUDThinkBubbleRects(r, kMax, 300, pos);
        ASSERT_EQ(many.size(), 299u);
        for (std::size_t k = 0; k < many.size(); ++k) {
            const int d = BubbleDiameter(kDUDMaxNoseSize, 300, static_cast<int>(k) + 3);
            EXPECT_EQ(many[k].Width(), d / 2 * 2);
            EXPECT_EQ(many[k].Height(), d / 2 * 2);
        }
        EXPECT_EQ(many.back().Width(), 172);
        // Ever more bubbles grow ever less: at most about size * pi / 12
        // of them are 2 pixels across, and with enough none is.
        for (const int count : {17157, 1'000'000, 10'000'000, kMax}) {
            const auto rects = DUDThinkBubbleRects(r, kMax, count, pos);
            EXPECT_LE(rects.size(), std::size_t(kDUDMaxNoseSize * M_PI / 12) + 3) << count;
            for (const TRect& e : rects)
                ASSERT_GE(e.Width(), 2) << count;
        }
        EXPECT_GT(DUDThinkBubbleRects(r, kMax, 17157, pos).size(), 8000u);
        EXPECT_TRUE(DUDThinkBubbleRects(r, kMax, 10'000'000, pos).empty());
        EXPECT_EQ(DUDThinkBubbles(r, kMax, kMax, pos), QRegion());
        EXPECT_FALSE(DUDCreateThinkBubbleRgn(r, kMax, kMax, pos).isEmpty());
    }
    // An edge at the integer limit: the body stays put there, and a
    // rectangle beyond the window range has no bubbles.
    const TRect edge{kMax - 10, kMax - 10, kMax, kMax};
    EXPECT_EQ(DUDNoseBody(edge, kMax, E::epLeftTop), (TRect{kMax, kMax, kMax, kMax}));
    EXPECT_TRUE(DUDThinkBubbleRects(edge, 20, 4, E::epLeftTop).empty());
}

TEST(WindowRegions, NosePointsOfABodyAtTheIntegerLimitsOrAnyOffsetStayInTheIntRange)
{
    constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
    // The base starts off along the body's edge and reaches d = 28 further.
    const TRect edge{kMax - 10, kMax - 10, kMax, kMax};
    EXPECT_EQ(DUDNosePoints(edge, 20, E::epLeftTop, 0),
              (std::vector<TPoint>{{kMax - 20, kMax - 20}, {kMax, kMax}, {kMax, kMax}}));
    EXPECT_EQ(DUDNosePoints(edge, 20, E::epBottomLeft, kMax),
              (std::vector<TPoint>{{kMax - 20, kMax}, {kMax, kMax - 20}, {kMax, kMax - 20}}));
    const TRect low{kMin, kMin, kMin + 10, kMin + 10};
    EXPECT_EQ(DUDNosePoints(low, 20, E::epRightBottom, kMax),
              (std::vector<TPoint>{{kMin + 20, kMin + 20}, {kMin, kMin}, {kMin, kMin}}));
    EXPECT_EQ(DUDNosePoints(low, kMax, E::epTopRight, kMin)[1], (TPoint{0, kMin + 32767}));
    // Within the range nothing changes.
    EXPECT_EQ(DUDNosePoints({0, 0, 100, 60}, 10, E::epLeftTop, 5),
              (std::vector<TPoint>{{0, 0}, {10, 15}, {10, 29}}));
    for (const E pos : {E::epLeftTop, E::epTopRight, E::epRightBottom, E::epBottomLeft}) {
        EXPECT_TRUE(DUDCreateNoseRectRgn(edge, 20, pos).isEmpty());
        EXPECT_TRUE(DUDCreateRoundNoseRectRgn(low, kMax, kMax, kMax, pos).isEmpty());
    }
}

TEST(WindowRegions, ShapeRegionsComeFromSettingsAndData)
{
    const TRect r{0, 0, 200, 100};
    TDUDRegionParams p;
    p.Shape = S::rsRect;
    p.ShadowDepth = 6;
    p.Origin = {2, 3};
    EXPECT_EQ(DUDCreateShapeRegion(r, p), QRegion(2, 3, 192, 91));
    EXPECT_EQ(DUDWindowRegion(QRegion(0, 0, 10, 10), 6), QRegion(0, 0, 10, 10) + QRegion(6, 6, 10, 10));

    // No data is no region, which is not an empty region.
    p = {};
    p.Shape = S::rsBitmap;
    EXPECT_FALSE(DUDCreateShapeRegion(r, p));
    const std::vector<std::uint8_t> bad{0x21, 0, 0, 0};
    p.MaskData = &bad;
    EXPECT_FALSE(DUDCreateShapeRegion(r, p));
    const std::vector<std::uint8_t> good = DUDRegionToData(QRegion(5, 5, 10, 10));
    p.MaskData = &good;
    EXPECT_EQ(DUDCreateShapeRegion(r, p), QRegion(5, 5, 10, 10));

    p = {};
    p.Shape = S::rsPointList;
    EXPECT_FALSE(DUDCreateShapeRegion(r, p));
    const auto tri = DUDPointListRegionData({{0, 0}, {40, 0}, {0, 40}});
    p.UserData = &tri;
    const auto g = DUDCreateShapeRegion(r, p);
    ASSERT_TRUE(g);
    EXPECT_TRUE(g->contains(QPoint(5, 5)));
    EXPECT_FALSE(g->contains(QPoint(35, 35)));
    EXPECT_TRUE(DUDPointListRegionData({}).empty());

    p = {};
    p.Shape = S::rsUserRegion;
    EXPECT_FALSE(DUDCreateShapeRegion(r, p));
    p.DesignTime = true;
    EXPECT_EQ(DUDCreateShapeRegion(r, p), QRegion(0, 0, 200, 100));

    // Every outline of a sensible window is inside the window.
    for (int s = 0; s <= static_cast<int>(S::rsPointList); ++s) {
        p = {};
        p.Shape = static_cast<S>(s);
        if (const auto o = DUDCreateShapeRegion(r, p); o && p.Shape != S::rsHalfRound) {
            EXPECT_TRUE(QRect(0, 0, 200, 100).contains(o->boundingRect())) << s;
        }
    }
}

TEST(WindowRegionFrames, LightAtTheUpperLeftDarkAtTheLowerRight)
{
    const TDUDFrameColors raised{0x00FFFF, 0x800000, 0x000000, TDUDRegionBorderStyle::rbRaised};
    const TRect r{0, 0, 40, 30};
    for (const S shape : {S::rsRect, S::rsElliptic, S::rsRoundRect, S::rsDiamond, S::rsOctagon, S::rsComb}) {
        QImage img = MakeCanvasImage(40, 30);
        TQtCanvas c(img);
        c.SetClipRect({0, 0, 35, 35});
        TDUDRegionParams p;
        p.Shape = shape;
        p.RoundX = p.RoundY = 8;
        DUDFrameShapeRegion(c, r, p, raised);
        const QRegion inside = DUDCreateShapeRegion(r, p).value();
        int light = 0, dark = 0;
        QPointF lightSum, darkSum;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) {
                const TColor px = FromQColor(QColor(img.pixel(x, y)));
                if (px == 0x00FFFF) {
                    ++light;
                    lightSum += QPointF(x, y);
                }
                if (px == 0x800000) {
                    ++dark;
                    darkSum += QPointF(x, y);
                }
                // Curves are traced on their own, so a pixel may touch the region's edge from outside.
                if (px != 0xFFFFFF) {
                    EXPECT_TRUE(inside.intersects(QRect(x - 1, y - 1, 3, 3))) << int(shape) << " at " << x << "," << y;
                }
            }
        EXPECT_GT(light, 10) << int(shape);
        EXPECT_GT(dark, 10) << int(shape);
        // The light part lies towards the upper left of the dark part.
        const QPointF l = lightSum / light, d = darkSum / dark;
        EXPECT_LT(l.x() + l.y() + 5, d.x() + d.y()) << int(shape);
        EXPECT_LT(l.y(), d.y()) << int(shape);
        ASSERT_TRUE(c.ClipRect());
        EXPECT_EQ(*c.ClipRect(), (TRect{0, 0, 35, 35})) << "the clipping is put back";
    }
}

TEST(WindowRegionFrames, StylesAndPointLists)
{
    const TRect r{0, 0, 20, 20};
    TDUDRegionParams p;
    p.Shape = S::rsRect;
    const auto paint = [&](TDUDRegionBorderStyle style, const std::vector<TPoint>& pts = {}) {
        QImage img = MakeCanvasImage(20, 20);
        TQtCanvas c(img);
        DUDFrameShapeRegion(c, r, p, {0x00FFFF, 0x800000, 0x0000FF, style}, pts);
        return img;
    };
    const auto at = [](const QImage& img, int x, int y) { return FromQColor(QColor(img.pixel(x, y))); };
    QImage img = paint(TDUDRegionBorderStyle::rbLowered);
    EXPECT_EQ(at(img, 0, 10), 0x800000u);
    EXPECT_EQ(at(img, 19, 10), 0x00FFFFu);
    img = paint(TDUDRegionBorderStyle::rbSingleRaised);
    EXPECT_EQ(at(img, 0, 10), 0x0000FFu);
    EXPECT_EQ(at(img, 1, 10), 0x00FFFFu);
    EXPECT_EQ(at(img, 18, 10), 0x800000u);
    // The rounded border's inner outline sits 2 more pixels in at the right and bottom.
    p.Shape = S::rsRoundRect;
    p.RoundX = p.RoundY = 0;
    img = paint(TDUDRegionBorderStyle::rbSingleRaised);
    EXPECT_EQ(at(img, 16, 10), 0x800000u);
    EXPECT_EQ(at(img, 10, 16), 0x800000u);
    EXPECT_EQ(at(img, 18, 10), 0xFFFFFFu);
    EXPECT_EQ(at(img, 1, 10), 0x00FFFFu);
    p.Shape = S::rsRect;
    img = paint(TDUDRegionBorderStyle::rbRaisedpsb);
    EXPECT_EQ(at(img, 19, 10), 0x0000FFu) << "the outer lower right takes the single colour";
    EXPECT_EQ(at(img, 18, 10), 0x800000u);
    EXPECT_EQ(at(img, 0, 10), 0x00FFFFu);
    img = paint(TDUDRegionBorderStyle::rbNone);
    EXPECT_EQ(at(img, 0, 10), 0xFFFFFFu);

    // A square walked clockwise: the closing line up the left side is light.
    p.Shape = S::rsPointList;
    img = paint(TDUDRegionBorderStyle::rbRaised, {{2, 2}, {15, 2}, {15, 15}, {2, 15}});
    EXPECT_EQ(at(img, 8, 2), 0x00FFFFu);
    EXPECT_EQ(at(img, 15, 8), 0x800000u);
    EXPECT_EQ(at(img, 8, 15), 0x800000u);
    EXPECT_EQ(at(img, 2, 8), 0x00FFFFu);
}

namespace {

constexpr TColor kLight = 0x00FFFF, kShadow = 0x800000, kSingle = 0x0000FF;

// The colour the frame gave segment i (point i to i + 1) of the polygon
// outline fn on the pixel box of a w x h window: the colour of the frame
// nearest the segment's middle.
TColor SegmentColour(const QImage& img, const std::vector<TPoint>& pts, std::size_t i)
{
    const TPoint& a = pts[i];
    const TPoint& b = pts[(i + 1) % pts.size()];
    const int mx = (a.X + b.X) / 2, my = (a.Y + b.Y) / 2;
    for (int d = 0; d <= 2; ++d)
        for (int y = my - d; y <= my + d; ++y)
            for (int x = mx - d; x <= mx + d; ++x) {
                if (!img.valid(x, y))
                    continue;
                const TColor c = FromQColor(QColor(img.pixel(x, y)));
                if (c == kLight || c == kShadow || c == kSingle)
                    return c;
            }
    return clNone;
}

QImage Frame(S shape, int w, int h, TDUDRegionBorderStyle style)
{
    QImage img = MakeCanvasImage(w, h);
    TQtCanvas c(img);
    TDUDRegionParams p;
    p.Shape = shape;
    c.Pen.Width = 2;
    DUDFrameShapeRegion(c, {0, 0, w, h}, p, {kLight, kShadow, kSingle, style});
    return img;
}

} // namespace

TEST(WindowRegionFrames, PolygonSplitsHoldAtEveryAspectRatio)
{
    const auto L = kLight, D = kShadow;
    struct Case {
        S shape;
        std::vector<TPoint> (*points)(const TRect&);
        std::vector<TColor> colours;
    };
    const std::vector<Case> cases{
        {S::rsStar, DUDStarPoints, {D, L, D, L, D, D, L, D, L, L}},
        {S::rsDiamond, DUDDiamondPoints, {L, D, D, L}},
        {S::rsOctagon, DUDOctagonPoints, {L, L, L, D, D, D, D, L}},
        {S::rsComb, DUDCombPoints, {L, L, D, D, D, L}},
    };
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{{200, 100}, {40, 160}, {300, 40}, {60, 60}}) {
        for (const Case& k : cases) {
            const QImage img = Frame(k.shape, w, h, TDUDRegionBorderStyle::rbRaised);
            const auto pts = k.points({0, 0, w - 1, h - 1});
            for (std::size_t i = 0; i < pts.size(); ++i)
                EXPECT_EQ(SegmentColour(img, pts, i), k.colours[i])
                    << "shape " << int(k.shape) << " " << w << "x" << h << " segment " << i;
        }
    }
}

TEST(WindowRegionFrames, EllipseSplitsAtTheCornerDiagonalAndPsbDiamondRedrawsItsRightHalf)
{
    // A wide ellipse: light up to the top-right corner's direction, which
    // lies far right of the 45-degree point.
    // (Facing alone would split at the 11-degree points and colour these
    // two the other way.)
    const QImage e = Frame(S::rsElliptic, 300, 60, TDUDRegionBorderStyle::rbRaised);
    const auto firstFromRight = [&](int y) {
        for (int x = 299; x >= 0; --x)
            if (const TColor c = FromQColor(QColor(e.pixel(x, y))); c != clWhite)
                return c;
        return clNone;
    };
    const auto firstFromLeft = [&](int y) {
        for (int x = 0; x < 300; ++x)
            if (const TColor c = FromQColor(QColor(e.pixel(x, y))); c != clWhite)
                return c;
        return clNone;
    };
    EXPECT_EQ(firstFromRight(15), kShadow);
    EXPECT_EQ(firstFromLeft(45), kLight);

    // psb: the lower-right part in the single colour, then the inner
    // diamond's right half (bottom, right, top points) in the former shadow.
    const QImage d = Frame(S::rsDiamond, 100, 100, TDUDRegionBorderStyle::rbRaisedpsb);
    int innerUpperRight = 0, innerLowerLeft = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            if (FromQColor(QColor(d.pixel(x, y))) == kShadow) {
                innerUpperRight += x > 50 && y < 50;
                innerLowerLeft += x < 45 && y > 55; // clear of the bottom point
            }
    EXPECT_GT(innerUpperRight, 20);
    EXPECT_EQ(innerLowerLeft, 0);
}

TEST(WindowRegionFrames, RegionPaintsItsBorderTwoPixelsWide)
{
    TDUDBorderRegion reg;
    reg.SetRegionShape(S::rsRect);
    reg.Border().SetBorderStyle(TDUDRegionBorderStyle::rbSingle);
    reg.Border().SetColor(2, kSingle);
    QImage img = MakeCanvasImage(40, 30);
    {
        TQtCanvas c(img);
        reg.PaintRegionShape(c, {0, 0, 40, 30});
    }
    EXPECT_EQ(FromQColor(QColor(img.pixel(39, 15))), kSingle);
    EXPECT_EQ(FromQColor(QColor(img.pixel(38, 15))), kSingle) << "a 2-pixel pen";
    EXPECT_EQ(FromQColor(QColor(img.pixel(20, 28))), kSingle);
}

TEST(WindowRegionFrames, NamedFrameRoutinesDrawWhatTheRegionsBorderDraws)
{
    using BS = TDUDRegionBorderStyle;
    const TRect r{2, 3, 122, 83};
    const auto paint = [](const std::function<void(TCanvas&)>& draw) {
        QImage img = MakeCanvasImage(130, 90);
        TQtCanvas c(img);
        c.Pen.Width = 2;
        draw(c);
        return img;
    };
    using Named = void (*)(TCanvas&, const TRect&, TColor, TColor, TColor, BS);
    const std::vector<std::pair<S, Named>> plain{
        {S::rsRect, DUDFrameRectRgn},           {S::rsElliptic, DUDFrameEllipticRgn},
        {S::rsHalfRound, DUDFrameHalfRoundRgn}, {S::rsDiamond, DUDFrameDiamondRgn},
        {S::rsStar, DUDFrameStarRgn},           {S::rsOctagon, DUDFrameOctagonRgn},
        {S::rsComb, DUDFrameCombRgn},           {S::rsRoundShield, DUDFrameRoundShieldRgn},
        {S::rsSharpShield, DUDFrameSharpShieldRgn},
    };
    for (const BS style : {BS::rbRaised, BS::rbSingleLowered, BS::rbRaisedpsb}) {
        const TDUDFrameColors c{kLight, kShadow, kSingle, style};
        for (const auto& [shape, fn] : plain) {
            TDUDRegionParams p;
            p.Shape = shape;
            const QImage byShape = paint([&](TCanvas& cv) { DUDFrameShapeRegion(cv, r, p, c); });
            const QImage byName = paint([&](TCanvas& cv) { fn(cv, r, kLight, kShadow, kSingle, style); });
            EXPECT_EQ(byShape, byName) << int(shape) << " " << int(style);
            EXPECT_NE(byName, paint([](TCanvas&) {})) << int(shape);
        }
        TDUDRegionParams p;
        p.Shape = S::rsRoundRect;
        p.RoundX = 30;
        p.RoundY = 16;
        EXPECT_EQ(paint([&](TCanvas& cv) { DUDFrameShapeRegion(cv, r, p, c); }),
                  paint([&](TCanvas& cv) { DUDFrameRoundRectRgn(cv, r, kLight, kShadow, kSingle, style, 30, 16); }));
        // The bubbles at the region's own size (a sixth of the width) and count.
        p.ExtPos = TDUDExtPos::epBottomRight;
        p.Shape = S::rsThinkBubble;
        EXPECT_EQ(paint([&](TCanvas& cv) { DUDFrameShapeRegion(cv, r, p, c); }),
                  paint([&](TCanvas& cv) {
                      DUDFrameThinkBubbleRgn(cv, r, 20, 4, TDUDExtPos::epBottomRight, kLight, kShadow, kSingle, style);
                  }));
        p.Shape = S::rsEllipticThinkBubble;
        EXPECT_EQ(paint([&](TCanvas& cv) { DUDFrameShapeRegion(cv, r, p, c); }),
                  paint([&](TCanvas& cv) {
                      DUDFrameEllipticThinkBubbleRgn(cv, r, 20, 4, TDUDExtPos::epBottomRight, kLight, kShadow,
                                                     kSingle, style);
                  }));
        p.Shape = S::rsRoundThinkBubble;
        EXPECT_EQ(paint([&](TCanvas& cv) { DUDFrameShapeRegion(cv, r, p, c); }),
                  paint([&](TCanvas& cv) {
                      DUDFrameRoundThinkBubbleRgn(cv, r, 20, 4, TDUDExtPos::epBottomRight, 30, 16, kLight, kShadow,
                                                  kSingle, style);
                  }));
    }
}

TEST(WindowRegionFrames, BubbleFramesTakeTheSizeAndCountTheyAreGiven)
{
    const TRect r{30, 30, 150, 110}; // the bubbles stick out above and left of it
    for (const auto& [size, count] : {std::pair{30, 2}, std::pair{12, 6}}) {
        QImage img = MakeCanvasImage(160, 120);
        {
            TQtCanvas c(img);
            c.Pen.Width = 1;
            DUDFrameThinkBubbleRgn(c, r, size, count, TDUDExtPos::epLeftTop, kLight, kShadow, kSingle,
                                   TDUDRegionBorderStyle::rbSingle);
        }
        // The body's frame at the shrunk rectangle, and a frame at the top
        // of each bubble but those under 2 pixels (the first is a point),
        // which are left out.
        const TRect body = DUDNoseBody(r, size, TDUDExtPos::epLeftTop);
        EXPECT_EQ(Px(img, (body.Left + body.Right) / 2, body.Top), kSingle) << size;
        const auto bubbles = DUDThinkBubbleRects(r, size, count, TDUDExtPos::epLeftTop);
        std::size_t drawn = 0;
        for (int i = 0; i <= count + 1; ++i)
            drawn += BubbleDiameter(size, count, i) >= 2;
        ASSERT_EQ(bubbles.size(), drawn);
        ASSERT_LT(drawn, std::size_t(count) + 2);
        int framed = 0;
        for (const TRect& b : bubbles) {
            if (b.Width() < 4)
                continue;
            const QRegion outline = DUDEllipticRgn(b);
            const QRect top = outline.boundingRect();
            bool found = false;
            for (int x = top.left(); x <= top.right() && !found; ++x)
                found = Px(img, x, top.top()) == kSingle;
            framed += found;
            EXPECT_TRUE(found) << "bubble " << b.Left << "," << b.Top << " size " << size;
        }
        EXPECT_GT(framed, 0);
    }
}
