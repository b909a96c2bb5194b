// Regions at the edges of what a window can have: damaged or huge region
// data, sizes from nothing to far beyond a window, coordinates at the ends
// of the integer range. Each gives a region within the window range or
// none, never a crash.
#include "memory_bound.h"

#include "widgets/shapes/qt/form_region.h"
#include "widgets/shapes/qt/region.h"
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
                if (g) {
                    EXPECT_TRUE(kWindowRange.contains(g->boundingRect()) || g->isEmpty())
                        << shape << " " << size << " " << at;
                }
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
    // The bounding box of what a frame drew on a white 60 x 60 picture.
    const auto drawn = [](const TRect& r, const TDUDRegionParams& p, TDUDRegionBorderStyle style,
                          const std::vector<TPoint>& points) {
        QImage img = MakeCanvasImage(60, 60);
        {
            TQtCanvas c(img);
            c.Pen.Width = 2;
            DUDFrameShapeRegion(c, r, p, {0x00FFFF, 0x800000, 0x0000FF, style}, points);
        }
        QRect box;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixelColor(x, y) != QColor(Qt::white))
                    box |= QRect(x, y, 1, 1);
        return box;
    };
    const std::vector<TPoint> beyond{{0, 0}, {INT_MAX, 5}, {5, INT_MIN}};
    const std::vector<TPoint> inside{{0, 0}, {30, 0}, {30, 30}, {0, 30}};
    for (int shape = 0; shape <= int(S::rsPointList); ++shape) {
        const S s = static_cast<S>(shape);
        const bool framed = s != S::rsBitmap && s != S::rsUserRegion;
        for (const auto style : {TDUDRegionBorderStyle::rbRaisedpsb, TDUDRegionBorderStyle::rbSingleRaised}) {
            TDUDRegionParams p;
            p.Shape = s;
            p.RoundX = p.RoundY = INT_MAX;
            // Moved beyond the range by the origin, or beyond it of its own:
            // nothing at all.
            p.Origin = {INT_MAX / 2, 0};
            for (const TRect& r : {TRect{0, 0, 40, 40}, TRect{10, 10, 50, 50}, TRect{INT_MIN, INT_MIN, INT_MAX, INT_MAX}})
                EXPECT_TRUE(drawn(r, p, style, inside).isEmpty()) << shape;
            p.Origin = {};
            for (const TRect& r : {TRect{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, TRect{-40000, 0, 40, 40}, TRect{0, 0, 0, 0}})
                EXPECT_TRUE(drawn(r, p, style, inside).isEmpty()) << shape << " " << r.Left;
            if (s == S::rsPointList) {
                EXPECT_TRUE(drawn({10, 10, 50, 50}, p, style, beyond).isEmpty()) << "points beyond the range";
            }
            // Inside the range: the whole border, and nothing outside the
            // rectangle (a point list's 30 x 30 square moved to its corner).
            const QRect box = drawn({10, 10, 50, 50}, p, style, inside);
            EXPECT_EQ(box.isEmpty(), !framed) << shape;
            if (framed) {
                EXPECT_TRUE(QRect(9, 9, 42, 42).contains(box)) << shape << " drew " << box.x() << "," << box.y()
                                                               << " " << box.width() << "x" << box.height();
                EXPECT_GE(box.width(), 30) << shape;
                EXPECT_GE(box.height(), 30) << shape;
            }
            // Turned the wrong way round, it is taken the right way round.
            EXPECT_EQ(drawn({50, 50, 10, 10}, p, style, inside), box) << shape;
        }
    }
}

namespace {

// n thin columns and n thin rows crossing: 2 n rectangles whose union needs
// about n * n.
std::vector<TRect> Lattice(int n)
{
    std::vector<TRect> rects;
    for (int i = 0; i < n; ++i) {
        rects.push_back({2 * i, 0, 2 * i + 1, 2 * n});
        rects.push_back({0, 2 * i, 2 * n, 2 * i + 1});
    }
    return rects;
}

} // namespace

TEST(RegionBounds, StoredOutlinesThatWouldExhaustMemoryGiveNoRegionWhenTheFormLoads)
{
    // 64 KB and 128 KB of region data in a traced outline's mask.
    for (const int n : {2000, 4000}) {
        const auto r = kyd::test::runWithinMemoryBound([n]() -> std::string {
            const auto data = DUDEncodeRegionData(Lattice(n));
            if (DUDRegionFromData(data))
                return "a region came out of the data";
            TDUDRegion reg;
            reg.Mask().ReadProperties({{"RegionData", data}});
            reg.SetRegionShape(TDUDRegionShape::rsBitmap);
            if (reg.CreateRegion({0, 0, 800, 600}))
                return "the traced outline gave a region";
            return {};
        });
        EXPECT_EQ(r.report, "") << n;
    }
    // A point list of 800 points (6.4 KB stored) from the top of the range
    // to its bottom and back.
    std::vector<std::int32_t> values;
    for (int i = 0; i < 800; ++i) {
        values.push_back(i * 8);
        values.push_back(i % 2 ? 32767 : -32767);
    }
    const auto r = kyd::test::runWithinMemoryBound([&]() -> std::string {
        TDUDRegion reg;
        reg.SetRegionShape(TDUDRegionShape::rsPointList);
        reg.ReadProperties({{"PointList", DUDIntegerListData(values)}});
        if (reg.Points().Count() != 800)
            return "the points were not read";
        if (!reg.UserRegionData().empty() || reg.CreateRegion({0, 0, 800, 600}))
            return "the point list gave a region";
        return {};
    });
    EXPECT_EQ(r.report, "");
}
