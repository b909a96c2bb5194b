#include "widgets/dud_shape_settings.h"

#include <gtest/gtest.h>

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
