#include "widgets/shapes/shape_settings.h"

#include <gtest/gtest.h>

#include <limits>

using namespace kyd::widgets;

namespace {

struct Counter {
    int n = 0;
    TNotifyEvent Handler() { return [this](void*) { ++n; }; }
};

TEST(ShapeSettings, SettersNotifyOnlyOnChangeAndShapeForwardsItsParts)
{
    TDUDShape shape;
    Counter c;
    shape.OnChange = c.Handler();
    shape.SetShape(TDUDShapeType::stRectangle);
    shape.SetRoundPercent(33);
    shape.Shadow().SetDepth(6);
    shape.SetBrush(TBrush{});
    EXPECT_EQ(c.n, 0);
    shape.Shadow().SetDepth(7);
    shape.Bevel().SetWidth(4);
    shape.SetBrush(TBrush{clRed, TBrushStyle::bsSolid});
    EXPECT_EQ(c.n, 3);
    shape.SetRoundPercent(250);
    EXPECT_EQ(shape.RoundPercent(), 100);
    shape.Shadow().SetDepth(99);
    EXPECT_EQ(shape.Shadow().Depth(), 40);
}

TEST(ShapeSettings, ShadowDefaultsTextsAndAssign)
{
    TDUDShadow s;
    EXPECT_EQ(s.GetSetStr(), "{solid, 6}");
    TDUDRgnShadow r;
    EXPECT_EQ(r.Style(), TDUDShadowStyle::hssNone);
    EXPECT_EQ(r.Depth(), 6);
    EXPECT_EQ(r.Color(), clBtnShadow);
    EXPECT_EQ(r.GetSetStr(), "{Disabled}");
    Counter c;
    s.OnChange = c.Handler();
    s.Assign(r);
    s.Assign(s);
    EXPECT_EQ(c.n, 1);
    EXPECT_EQ(s.GetSetStr(), "{Disabled}");
    s.SetStyle(TDUDShadowStyle::hssTracing);
    EXPECT_EQ(s.GetSetStr(), "{tracing, 6}");
}

TEST(ShapeSettings, TeethAssignNotifiesOnceAndCopiesEverything)
{
    TDUDTeeth a, b;
    Counter c;
    a.OnChange = c.Handler();
    a.Assign(b); // nothing differs: still one notification
    EXPECT_EQ(c.n, 1);
    b.SetCount(3);
    b.SetDirection(TDUDDirection::tdUp);
    b.SetOffset(false);
    b.SetSetPerCount(false);
    b.SetWidth(7);
    b.SetHeight(9);
    a.Assign(b);
    EXPECT_EQ(c.n, 2);
    EXPECT_EQ(a.Count(), 3);
    EXPECT_EQ(a.Direction(), TDUDDirection::tdUp);
    EXPECT_FALSE(a.Offset());
    EXPECT_FALSE(a.SetPerCount());
    EXPECT_EQ(a.Width(), 7);
    EXPECT_EQ(a.Height(), 9);
}

TEST(ShapeSettings, PointListUpdatesCloneAndFullRangePoints)
{
    TDUDPointList l;
    Counter c;
    l.OnChange = c.Handler();
    l.BeginUpdate();
    l.BeginUpdate();
    l.AddPoint({10, 20});
    l.EndUpdate(true);
    EXPECT_EQ(c.n, 0);
    l.EndUpdate(false);
    EXPECT_EQ(c.n, 0);
    l.EndUpdate(true); // counter already 0: nothing
    EXPECT_EQ(c.n, 0);
    l.AddPoint({-5, 70000});
    EXPECT_EQ(c.n, 1);
    EXPECT_EQ(l.GetPoint(0), (TPoint{10, 20}));
    EXPECT_EQ(l.GetPoint(1), (TPoint{-5, 70000}));
    EXPECT_EQ(l.GetPoint(2), (TPoint{}));
    l.PutPoint(5, {1, 1});
    EXPECT_EQ(l.Count(), 2);
    EXPECT_THROW(l.DeletePoint(2), EDUDException);

    TDUDPointList d;
    d.AddPoint({1, 1});
    d.AddPoint({2, 2});
    d.AddPoint({3, 3});
    l.Clone(&d);
    EXPECT_EQ(d.Points(), l.Points());
    l.Clone(nullptr);
}

} // namespace

#include "widgets/shapes/shape_outline.h"

namespace {

using P = std::vector<TPoint>;

TEST(ShapeOutline, RectangleSquareAndRoundRectCorners)
{
    TDUDSimpleBevel pen;
    pen.SetWidth(3);
    auto o = DUDShapeOutline({0, 0, 100, 50}, TDUDShapeType::stRectangle, nullptr, false, 33, &pen, nullptr);
    EXPECT_EQ(o.Points, (P{{0, 0}, {100, 50}, {1, 1}, {99, 49}}));
    EXPECT_FALSE(o.TeethStep);
    // Only the size counts, not the position.
    o = DUDShapeOutline({40, 40, 140, 90}, TDUDShapeType::stRectangle, nullptr, true, 33, &pen, nullptr);
    EXPECT_EQ(o.Points[0], (TPoint{25, 0}));
    EXPECT_EQ(o.Points[1], (TPoint{75, 50}));

    TDUDShadow sh;
    sh.SetDepth(6);
    o = DUDShapeOutline({0, 0, 100, 50}, TDUDShapeType::stRoundRect, nullptr, false, 33, &pen, &sh);
    EXPECT_EQ(o.Points, (P{{6, 6}, {100, 50}, {14, 14}, {7, 7}, {99, 49}, {14, 14}}));
    // A shadow of style none has no depth.
    sh.SetStyle(TDUDShadowStyle::hssNone);
    o = DUDShapeOutline({0, 0, 100, 50}, TDUDShapeType::stRoundRect, nullptr, false, 33, &pen, &sh);
    EXPECT_EQ(o.Points[0], (TPoint{0, 0}));
    EXPECT_EQ(o.Points[2], (TPoint{16, 16}));
}

TEST(ShapeOutline, StarRoundsTiesToEvenAndPolygonsHaveTwoHalves)
{
    auto o = DUDShapeOutline({0, 0, 10, 10}, TDUDShapeType::stStar, nullptr, false, 33, nullptr, nullptr);
    const P star{{5, 0}, {6, 4}, {10, 4}, {7, 6}, {8, 10}, {5, 8}, {2, 10}, {3, 6}, {0, 4}, {4, 4}};
    ASSERT_EQ(o.Points.size(), 20u);
    EXPECT_EQ(P(o.Points.begin(), o.Points.begin() + 10), star);
    EXPECT_EQ(P(o.Points.begin() + 10, o.Points.end()), star); // pen width 1: a = b = 0

    // Pen width 0: a = b = 0 as well, and nothing is divided by it.
    TDUDSimpleBevel pen;
    pen.SetWidth(0);
    o = DUDShapeOutline({0, 0, 10, 10}, TDUDShapeType::stStar, nullptr, false, 33, &pen, nullptr);
    EXPECT_EQ(P(o.Points.begin() + 10, o.Points.end()), star);

    pen.SetWidth(4); // a = 2, b = 1
    const struct { TDUDShapeType t; size_t n; } polys[] = {
        {TDUDShapeType::stDirectUp, 6}, {TDUDShapeType::stDirectRight, 6}, {TDUDShapeType::stDirectDown, 6},
        {TDUDShapeType::stDirectLeft, 6}, {TDUDShapeType::stDiamond, 8}, {TDUDShapeType::stComb, 12},
        {TDUDShapeType::stOctagon, 16}, {TDUDShapeType::stStar, 20}, {TDUDShapeType::stEllipse, 4}};
    for (const auto& c : polys) {
        o = DUDShapeOutline({0, 0, 100, 80}, c.t, nullptr, false, 33, &pen, nullptr);
        ASSERT_EQ(o.Points.size(), c.n) << int(c.t);
        for (const TPoint& pt : o.Points) { // every point within the bounds
            EXPECT_GE(pt.X, 0);
            EXPECT_LE(pt.X, 100);
            EXPECT_GE(pt.Y, 0);
            EXPECT_LE(pt.Y, 80);
        }
    }
    o = DUDShapeOutline({0, 0, 100, 80}, TDUDShapeType::stOctagon, nullptr, false, 33, &pen, nullptr);
    // p = round(100 / 3.414) = 29, p' = round(41.01) = 41; q = 23, q' = 33.
    EXPECT_EQ(P(o.Points.begin(), o.Points.begin() + 8),
              (P{{29, 0}, {70, 0}, {100, 23}, {100, 56}, {70, 80}, {29, 80}, {0, 56}, {0, 23}}));
    EXPECT_EQ(o.Points[8], (TPoint{31, 2}));
    EXPECT_EQ(o.Points[10], (TPoint{99, 25}));
    EXPECT_EQ(o.Points[12], (TPoint{72, 79}));
    o = DUDShapeOutline({0, 0, 100, 80}, TDUDShapeType::stComb, nullptr, false, 33, &pen, nullptr);
    EXPECT_EQ(o.Points[2], (TPoint{100, 64})); // c = round(80 / 5) = 16
}

TEST(ShapeOutline, DegenerateSizesGiveNothing)
{
    TDUDShadow sh; // solid, depth 6
    EXPECT_TRUE(DUDShapeOutline({0, 0, 5, 50}, TDUDShapeType::stStar, nullptr, false, 33, nullptr, &sh).Points.empty());
    EXPECT_TRUE(DUDShapeOutline({10, 10, 0, 0}, TDUDShapeType::stRectangle, nullptr, false, 33, nullptr, nullptr)
                    .Points.empty());
}

TEST(ShapeOutline, TeethPerCountStoreTheStepWithoutNotifying)
{
    TDUDTeeth t; // Count 10, tdRight, Offset, SetPerCount, Width 10
    int notified = 0;
    t.OnChange = [&](void*) { ++notified; };
    TDUDPointList list;
    DUDShapeCalc({0, 0, 60, 100}, TDUDShapeType::stStar, &t, false, 33, nullptr, nullptr, list);
    EXPECT_EQ(t.Height(), 5);
    EXPECT_EQ(notified, 0);
    ASSERT_EQ(list.Count(), 4 + 21 + 1);
    EXPECT_EQ(list.GetPoint(0), (TPoint{59, 99}));
    EXPECT_EQ(list.GetPoint(4), (TPoint{59, 0}));   // e = 0 with Offset
    EXPECT_EQ(list.GetPoint(5), (TPoint{49, 5}));   // e = 1: Width deep
    EXPECT_EQ(list.GetPoint(24), (TPoint{59, 100}));
    EXPECT_EQ(list.GetPoint(25), (TPoint{59, 100}));

    // Every direction gives the same number of points.
    for (auto d : {TDUDDirection::tdDown, TDUDDirection::tdLeft, TDUDDirection::tdUp}) {
        t.SetDirection(d);
        auto o = DUDShapeOutline({0, 0, 100, 100}, TDUDShapeType::stRectangle, &t, false, 33, nullptr, nullptr);
        EXPECT_EQ(o.Points.size(), 26u);
        EXPECT_EQ(o.TeethStep, 5);
    }
}

TEST(ShapeOutline, TeethWithoutCountOrStepGiveAStraightSide)
{
    TDUDTeeth t;
    t.SetCount(0);
    auto o = DUDShapeOutline({0, 0, 50, 40}, TDUDShapeType::stRectangle, &t, false, 33, nullptr, nullptr);
    EXPECT_EQ(o.Points, (P{{49, 39}, {0, 39}, {0, 0}, {49, 0}, {49, 0}, {49, 40}}));
    t.SetSetPerCount(false);
    t.SetCount(10);
    t.SetHeight(0); // a vertical side's step
    o = DUDShapeOutline({0, 0, 50, 40}, TDUDShapeType::stRectangle, &t, false, 33, nullptr, nullptr);
    EXPECT_EQ(o.Points.size(), 6u);
    EXPECT_FALSE(o.TeethStep);
    t.SetHeight(8); // 40 / 8 = 5 steps: 10 edges
    t.SetOffset(false);
    o = DUDShapeOutline({0, 0, 50, 40}, TDUDShapeType::stRectangle, &t, false, 33, nullptr, nullptr);
    EXPECT_EQ(o.Points.size(), 4u + 11 + 1);
    EXPECT_EQ(o.Points[0], (TPoint{39, 39}));
    EXPECT_EQ(o.Points[4], (TPoint{39, 0}));
}

TEST(ShapeOutline, LightColorsAndOffsets)
{
    TColor l = 1, d = 2;
    DUDGetLightColors(TDUDLightColor::lcRed, l, d);
    EXPECT_EQ(l, 0x0000FF);
    EXPECT_EQ(d, 0x000080);
    DUDGetLightColors(static_cast<TDUDLightColor>(42), l, d);
    EXPECT_EQ(l, 0x0000FF);

    TDUDPointList list;
    list.AddPoint({1, 2});
    list.AddPoint({3, 4});
    DUDOffsetPointList(&list, 10, -2);
    EXPECT_EQ(list.Points(), (P{{11, 0}, {13, 2}}));
    DUDOffsetPointList(nullptr, 1, 1);
    TPoint arr[3] = {{0, 0}, {1, 1}, {2, 2}};
    DUDOffsetPointArray(arr, 2, 5, 5);
    EXPECT_EQ(arr[1], (TPoint{6, 6}));
    EXPECT_EQ(arr[2], (TPoint{2, 2}));
}

TEST(ShapeOutline, OffsetsHoldPointsNearTheIntegerLimitsToTheWindowRange)
{
    constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
    TDUDPointList list;
    list.AddPoint({kMax - 1, kMin + 1});
    list.AddPoint({kMin, kMax});
    list.AddPoint({30000, -30000});
    list.AddPoint({-5, 7});
    DUDOffsetPointList(&list, 10, -10);
    EXPECT_EQ(list.Points(), (P{{32767, -32767}, {-32767, 32767}, {30010, -30010}, {5, -3}}));
    DUDOffsetPointList(&list, kMax, kMin);
    EXPECT_EQ(list.Points(), (P{{32767, -32767}, {32767, -32767}, {32767, -32767}, {32767, -32767}}));

    TPoint arr[2] = {{kMax, kMin}, {100, 100}};
    DUDOffsetPointArray(arr, 2, kMax, -40000);
    EXPECT_EQ(arr[0], (TPoint{32767, -32767}));
    EXPECT_EQ(arr[1], (TPoint{32767, -32767}));
    EXPECT_EQ(DUDHeldPoint(std::int64_t(kMax) * 4, -1), (TPoint{32767, -1}));
}

} // namespace

TEST(ShapeSettingsStream, PublishedPropertiesRoundTripAndDefaultsStayOut)
{
    TDUDShape fresh;
    TDUDStreamProperties props;
    fresh.DefineProperties(props);
    EXPECT_TRUE(props.empty()); // all defaults

    TDUDShape shape;
    shape.SetShape(TDUDShapeType::stStar);
    shape.SetSquare(true);
    shape.SetRoundPercent(50);
    shape.Bevel().SetWidth(4);
    shape.Bevel().SetColor(clRed);
    shape.SetBrush(TBrush(clBlue, TBrushStyle::bsCross));
    shape.Shadow().SetStyle(TDUDShadowStyle::hssTracing);
    shape.Shadow().SetDepth(12);
    shape.DefineProperties(props);
    std::vector<std::string> names;
    for (const auto& p : props)
        names.push_back(p.Name);
    EXPECT_EQ((std::vector<std::string>{"Bevel.Width", "Bevel.Color", "Brush.Color", "Brush.Style", "RoundPercent",
                                        "Shadow.Depth", "Shadow.Style", "Shape", "Square"}),
              names);
    // Through the stream's own framing and back.
    TMemoryStream s;
    DUDWriteProperties(s, props);
    s.SetPosition(0);
    TDUDShape back;
    int changes = 0;
    back.OnChange = [&](void*) { ++changes; };
    back.ReadProperties(DUDReadProperties(s));
    EXPECT_EQ(1, changes);
    EXPECT_EQ(TDUDShapeType::stStar, back.Shape());
    EXPECT_TRUE(back.Square());
    EXPECT_EQ(50, back.RoundPercent());
    EXPECT_EQ(4, back.Bevel().Width());
    EXPECT_EQ(clRed, back.Bevel().Color());
    EXPECT_EQ(clBlue, back.Brush().Color);
    EXPECT_EQ(TBrushStyle::bsCross, back.Brush().Style);
    EXPECT_EQ(TDUDShadowStyle::hssTracing, back.Shadow().Style());
    EXPECT_EQ(12, back.Shadow().Depth());

    // Damaged data changes nothing.
    TDUDShape kept;
    EXPECT_THROW(kept.ReadProperties({{"Shape", DUDIntegerData(99)}}), EReadError);
    EXPECT_THROW(kept.ReadProperties({{"Square", {7}}}), EReadError);
    EXPECT_THROW(kept.ReadProperties({{"Shape", DUDIntegerData(0)}, {"RoundPercent", {1, 2}}}), EReadError);
    EXPECT_EQ(TDUDShapeType::stRectangle, kept.Shape());

    // A region shadow's default style is none: a solid one is stored.
    TDUDRgnShadow rgn;
    props.clear();
    rgn.DefineProperties(props);
    EXPECT_TRUE(props.empty());
    rgn.SetStyle(TDUDShadowStyle::hssSolid);
    rgn.DefineProperties(props);
    ASSERT_EQ(1u, props.size());
    EXPECT_EQ("Style", props[0].Name);

    TDUDTeeth teeth;
    teeth.SetCount(20);
    teeth.SetOffset(false);
    teeth.SetDirection(TDUDDirection::tdUp);
    props.clear();
    teeth.DefineProperties(props, "Teeth.");
    TDUDTeeth teethBack;
    teethBack.ReadProperties(props, "Teeth.");
    EXPECT_EQ(20, teethBack.Count());
    EXPECT_FALSE(teethBack.Offset());
    EXPECT_EQ(TDUDDirection::tdUp, teethBack.Direction());
    EXPECT_THROW(teethBack.ReadProperties({{"Count", DUDIntegerData(51)}}), EReadError);
}

TEST(ShapeSettingsStream, BrushPatternIsPartOfTheBrush)
{
    TDUDShape shape;
    int changes = 0;
    shape.OnChange = [&](void*) { ++changes; };
    TBrush b(clWhite, TBrushStyle::bsSolid); // the default colour and style
    auto pattern = std::make_shared<TBrushPattern>();
    pattern->Width = 2;
    pattern->Height = 1;
    pattern->Pixels = {clRed, clBlue};
    b.Pattern = pattern;
    shape.SetBrush(b);
    EXPECT_EQ(1, changes);
    ASSERT_NE(nullptr, shape.Brush().Pattern);
    EXPECT_EQ((std::vector<TColor>{clRed, clBlue}), shape.Brush().Pattern->Pixels);
    auto same = std::make_shared<TBrushPattern>(*pattern);
    b.Pattern = same;
    shape.SetBrush(b); // an equal picture: no change
    EXPECT_EQ(1, changes);
    b.Pattern = nullptr;
    shape.SetBrush(b);
    EXPECT_EQ(2, changes);
}
