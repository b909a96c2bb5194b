// Regions at the edges of what a window can have: damaged or huge region
// data, sizes from nothing to far beyond a window, coordinates at the ends
// of the integer range. Each gives a region within the window range or
// none, never a crash.
#include "widgets/shapes/qt/form_region.h"
#include "widgets/shapes/qt/region_data.h"
#include "widgets/shapes/qt/region_frames.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

using namespace kyd::widgets;
using S = TDUDRegionShape;

namespace {

// What a window can have.
constexpr int kLimit = 32767;
const QRect kWindowRange(-kLimit, -kLimit, 2 * kLimit + 1, 2 * kLimit + 1);

bool InRange(const TRect& r)
{
    for (const int v : {r.Left, r.Top, r.Right, r.Bottom})
        if (v < -kLimit || v > kLimit)
            return false;
    return true;
}

std::vector<TRect> RegionRects(const QRegion& g)
{
    std::vector<TRect> out;
    for (const QRect& q : g)
        out.push_back({q.left(), q.top(), q.right() + 1, q.bottom() + 1});
    return out;
}

} // namespace

TEST(RegionBounds, DecoderLeavesOutEmptyRectanglesAndRefusesOutOfRangeOnes)
{
    // An empty rectangle whose right edge is the smallest integer is empty,
    // not a row across every column.
    const auto data = DUDEncodeRegionData({{0, 0, INT_MIN, 5}, {10, 10, 20, 20}});
    const auto g = DUDRegionFromData(data);
    ASSERT_TRUE(g);
    EXPECT_EQ(*g, QRegion(10, 10, 10, 10));
    EXPECT_EQ(DUDRegionFromData(DUDEncodeRegionData({{INT_MIN, 0, INT_MIN, 5}})), QRegion());
    // A rectangle reaching beyond a window's range is not region data.
    EXPECT_FALSE(DUDRegionFromData(DUDEncodeRegionData({{0, 0, 40000, 5}})));
    EXPECT_FALSE(DUDRegionFromData(DUDEncodeRegionData({{5, 5, 6, 6}, {INT_MIN, 0, 3, 5}})));
    EXPECT_TRUE(DUDRegionFromData(DUDEncodeRegionData({{-32767, -32767, 32767, 32767}})));
}

TEST(RegionBounds, PairwiseDecodeMatchesTheUnionRectangleByRectangle)
{
    std::mt19937 rng(35);
    for (int round = 0; round < 20; ++round) {
        std::vector<TRect> rects;
        QRegion expected;
        const int n = 1 + static_cast<int>(rng() % 200);
        for (int i = 0; i < n; ++i) {
            const int x = static_cast<int>(rng() % 300) - 150, y = static_cast<int>(rng() % 300) - 150;
            const int w = static_cast<int>(rng() % 60) - 5, h = static_cast<int>(rng() % 60) - 5;
            rects.push_back({x, y, x + w, y + h});
            if (w > 0 && h > 0)
                expected += QRect(x, y, w, h);
        }
        const auto g = DUDRegionFromData(DUDEncodeRegionData(rects));
        ASSERT_TRUE(g);
        EXPECT_EQ(*g, expected) << "round " << round;
        // What comes out is banded and reads back as it stands.
        EXPECT_TRUE(DUDRegionRectsBanded(RegionRects(*g)));
        EXPECT_EQ(DUDRegionFromData(DUDRegionToData(*g)), *g);
    }
}

TEST(RegionBounds, EverySizeAndCoordinateGivesARegionInRangeOrNone)
{
    const std::vector<int> sizes{0, 1, 2, 7, 100, 32767, 60000, 65534, 65535, 100000, INT_MAX};
    const std::vector<int> origins{0, -1, 32767, -32767, 1 << 30, INT_MIN, INT_MAX};
    for (int shape = 0; shape <= int(S::rsPointList); ++shape) {
        for (const int size : sizes) {
            for (const int at : origins) {
                TDUDRegionParams p;
                p.Shape = static_cast<S>(shape);
                p.RoundX = p.RoundY = INT_MAX;
                const std::int64_t right = std::int64_t(at) + size;
                const TRect r{at, at, static_cast<int>(std::min<std::int64_t>(right, INT_MAX)),
                              static_cast<int>(std::min<std::int64_t>(right, INT_MAX))};
                const auto g = DUDCreateShapeRegion(r, p);
                if (g)
                    EXPECT_TRUE(kWindowRange.contains(g->boundingRect()) || g->isEmpty())
                        << shape << " " << size << " " << at;
                if (!InRange(r)) {
                    EXPECT_FALSE(g) << "no region beyond a window: " << shape << " " << size << " " << at;
                }
            }
        }
    }
    // Point lists anywhere in the integer range.
    for (const int c : {INT_MIN, -32768, 32768, 1000000, INT_MAX})
        EXPECT_TRUE(DUDPointListRegionData({{0, 0}, {c, 10}, {10, c}}).empty()) << c;
    EXPECT_FALSE(DUDPointListRegionData({{0, 0}, {32767, 10}, {10, 32767}}).empty());
}

TEST(RegionBounds, LargeOutlinesAreWholeAtTheEdgeOfTheRange)
{
    // Ellipse-based outlines at sizes where they used to fail or come out empty.
    const TRect big{-32767, -32767, 32767, 32767};
    for (const S shape : {S::rsElliptic, S::rsRoundShield, S::rsSharpShield, S::rsHalfRound, S::rsStar,
                          S::rsDiamond, S::rsRoundNoseRect}) {
        TDUDRegionParams p;
        p.Shape = shape;
        p.RoundX = p.RoundY = INT_MAX;
        const auto g = DUDCreateShapeRegion(big, p);
        ASSERT_TRUE(g) << int(shape);
        EXPECT_TRUE(g->contains(QPoint(0, 1000))) << int(shape);
        EXPECT_TRUE(big.Contains(g->boundingRect().left(), g->boundingRect().top())) << int(shape);
    }
    // The sharp shield: a pointed arch reaching (almost) down to the bottom.
    const QRegion sharp = DUDCreateSharpShieldRgn({0, 0, 32767, 32767});
    EXPECT_TRUE(sharp.contains(QPoint(16383, 32000)));
    EXPECT_FALSE(sharp.contains(QPoint(100, 32000)));
    EXPECT_FALSE(sharp.contains(QPoint(2, 2)));

    // A form far larger than a screen gets no mask, and no crash.
    TDUDFormRegionInput in;
    in.Width = in.Height = 100000;
    in.Border = TFormBorderStyle::bsNone;
    in.ShowFormCaption = false;
    for (const S shape : {S::rsElliptic, S::rsRoundShield, S::rsSharpShield, S::rsRoundRect}) {
        in.Region.Shape = shape;
        EXPECT_FALSE(DUDFormReRegion(in).Region) << int(shape);
    }
    in.Width = in.Height = 30000;
    in.Region.Shape = S::rsSharpShield;
    EXPECT_TRUE(DUDFormReRegion(in).Region);
}

TEST(RegionBounds, FramesAtTheEndsOfTheRangeDrawWhatFitsAndNeverCrash)
{
    QImage img = MakeCanvasImage(40, 40);
    TQtCanvas c(img);
    c.Pen.Width = 2;
    for (int shape = 0; shape <= int(S::rsPointList); ++shape)
        for (const TRect& r : {TRect{0, 0, 40, 40}, TRect{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, TRect{-40000, 0, 40, 40},
                               TRect{0, 0, 0, 0}, TRect{40, 40, 0, 0}, TRect{10, 10, 50, 50}}) {
            TDUDRegionParams p;
            p.Shape = static_cast<S>(shape);
            p.RoundX = p.RoundY = INT_MAX;
            p.Origin = {INT_MAX / 2, 0};
            DUDFrameShapeRegion(c, r, p, {clWhite, clGray, clBlack, TDUDRegionBorderStyle::rbRaisedpsb},
                                {{0, 0}, {INT_MAX, 5}, {5, INT_MIN}});
            p.Origin = {};
            DUDFrameShapeRegion(c, r, p, {clWhite, clGray, clBlack, TDUDRegionBorderStyle::rbSingleRaised});
        }
    SUCCEED();
}
