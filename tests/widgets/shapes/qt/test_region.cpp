#include "widgets/storage/stream.h"
#include "widgets/shapes/qt/region.h"
#include "widgets/framework/qt/qt_canvas.h"

#include <gtest/gtest.h>

using namespace kyd::widgets;
using S = TDUDRegionShape;

namespace {

struct FakeWindow : TDUDRegionTarget {
    bool HasHandle() const override { return true; }
    void SetWindowRegion(const std::optional<QRegion>& r) override { calls.push_back(r); }
    std::vector<std::optional<QRegion>> calls;
};

} // namespace

TEST(Region, BuildsAppliesAndRemovesTheOutline)
{
    TDUDBorderRegion reg;
    int changes = 0;
    reg.OnChange = [&](void*) { ++changes; };
    FakeWindow win;
    reg.SetControl(&win);
    ASSERT_TRUE(reg.CreateRegion({0, 0, 200, 100}));
    EXPECT_EQ(reg.Region()->boundingRect(), QRect(0, 0, 200, 100));
    EXPECT_FALSE(reg.Region()->contains(QPoint(0, 0))) << "rounded corner";

    reg.Shadow().SetStyle(TDUDShadowStyle::hssSolid);
    EXPECT_EQ(changes, 1) << "the shadow reports through the region";
    reg.CreateRegion({0, 0, 200, 100});
    EXPECT_EQ(reg.Region()->boundingRect(), QRect(0, 0, 194, 94));
    reg.SetRegion();
    ASSERT_EQ(win.calls.size(), 1u);
    EXPECT_EQ(*win.calls[0], *reg.WindowRegion());
    EXPECT_TRUE(win.calls[0]->contains(QPoint(199, 50))) << "the outline moved by the depth";
    EXPECT_FALSE(win.calls[0]->contains(QPoint(197, 2)));
    reg.FreeRegion();
    ASSERT_EQ(win.calls.size(), 2u);
    EXPECT_FALSE(win.calls[1]);
    EXPECT_FALSE(reg.WindowRegion());

    // Corner sizes notify only for the rounded outlines.
    reg.SetRoundX(30);
    EXPECT_EQ(changes, 2);
    reg.SetRegionShape(S::rsRect);
    reg.SetRoundY(30);
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(reg.RoundY(), 30);
    reg.Border().SetColor(2, 0x0000FF);
    EXPECT_EQ(changes, 4);
    reg.SetRegionShape(S::rsPointList);
    EXPECT_FALSE(reg.CreateRegion({0, 0, 50, 50})) << "no points, no region";
}

TEST(Region, PointListUserRegionAssignAndStreaming)
{
    TDUDRegion a;
    a.SetRegionShape(S::rsPointList);
    a.SetUserPolygonRgn({{0, 0}, {40, 0}, {40, 30}, {0, 30}});
    EXPECT_EQ(a.Points().Count(), 4);
    ASSERT_TRUE(a.CreateRegion({0, 0, 100, 100}));
    EXPECT_EQ(a.Region()->boundingRect(), QRect(0, 0, 40, 30));

    TDUDRegion b;
    int changes = 0;
    b.OnChange = [&](void*) { ++changes; };
    b.Assign(a);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(b.Shape(), S::rsPointList);
    EXPECT_EQ(b.Points().Points(), a.Points().Points());
    EXPECT_EQ(b.UserRegionData(), a.UserRegionData());

    // Full 32-bit points survive the property list.
    a.SetUserPolygonRgn({{-70000, 5}, {100000, 0}, {3, 2000000}});
    TDUDStreamProperties props;
    a.DefineProperties(props);
    ASSERT_EQ(props.size(), 1u);
    EXPECT_EQ(props[0].Name, "PointList");
    TDUDRegion c;
    c.SetRegionShape(S::rsPointList);
    c.ReadProperties(props);
    EXPECT_EQ(c.Points().Points(), a.Points().Points());
    // Points beyond what a window can have give no region, not an empty one.
    EXPECT_TRUE(c.UserRegionData().empty());
    EXPECT_FALSE(c.CreateRegion({0, 0, 100, 100}));
    // Points within it: the outline is rebuilt from them, pixel by pixel.
    TDUDRegion t;
    t.SetRegionShape(S::rsPointList);
    t.SetUserPolygonRgn({{0, 0}, {4, 0}, {0, 4}});
    props.clear();
    t.DefineProperties(props);
    TDUDRegion d;
    d.SetRegionShape(S::rsPointList);
    d.ReadProperties(props);
    ASSERT_TRUE(d.CreateRegion({0, 0, 100, 100}));
    const std::vector<QRect> rects(d.Region()->begin(), d.Region()->end());
    EXPECT_EQ(rects, (std::vector<QRect>{{0, 0, 3, 1}, {0, 1, 2, 1}, {0, 2, 1, 1}}));

    TDUDRegion empty;
    props.clear();
    empty.DefineProperties(props);
    EXPECT_TRUE(props.empty());
    // An odd or damaged list changes nothing.
    for (const auto& bad : {DUDIntegerListData({1, 2, 3}), std::vector<std::uint8_t>{5, 0, 0, 0, 1}}) {
        EXPECT_THROW(c.ReadData(bad), EReadError);
        EXPECT_EQ(c.Points().Count(), 3);
    }
}

TEST(Region, ShadowAndBorderPixels)
{
    TDUDBorderRegion reg;
    reg.SetRegionShape(S::rsRect);
    reg.Shadow().SetDepth(4);
    reg.Shadow().SetColor(0x800000);
    reg.Border().SetBorderStyle(TDUDRegionBorderStyle::rbSingle);
    reg.Border().SetColor(2, 0x0000FF);
    const auto at = [](const QImage& img, int x, int y) { return FromQColor(QColor(img.pixel(x, y))); };
    for (auto style : {TDUDShadowStyle::hssSolid, TDUDShadowStyle::hssTracing}) {
        reg.Shadow().SetStyle(style);
        QImage img = MakeCanvasImage(20, 20);
        {
            TQtCanvas c(img);
            reg.PaintRegionShape(c, {0, 0, 20, 20});
        }
        EXPECT_EQ(at(img, 0, 8), 0x0000FFu) << "border";
        EXPECT_EQ(at(img, 15, 8), 0x0000FFu);
        EXPECT_EQ(at(img, 8, 8), 0xFFFFFFu);
        EXPECT_EQ(at(img, 2, 18), 0xFFFFFFu) << "no shadow left of the depth";
        const bool solid = style == TDUDShadowStyle::hssSolid;
        EXPECT_EQ(at(img, 18, 9), 0x800000u);
        EXPECT_EQ(at(img, 18, 10), solid ? 0x800000u : 0xFFFFFFu) << "tracing: colour where x + y is odd";
    }
    TRect r{0, 0, 20, 20};
    reg.Shadow().SetStyle(TDUDShadowStyle::hssNone);
    QImage img = MakeCanvasImage(20, 20);
    TQtCanvas c(img);
    EXPECT_FALSE(reg.DrawShadow(c, r));
    EXPECT_EQ(r, (TRect{0, 0, 20, 20}));
}

TEST(Region, SetRegionWithNoRegionTakesTheLastOneOffTheWindow)
{
    TDUDRegion reg;
    FakeWindow win;
    reg.SetControl(&win);
    reg.SetRegionShape(S::rsRect);
    reg.CreateRegion({0, 0, 100, 50});
    reg.SetRegion();
    ASSERT_EQ(win.calls.size(), 1u);
    ASSERT_TRUE(win.calls[0]);
    // A point list without points has no region: the window is whole again.
    reg.SetRegionShape(S::rsPointList);
    EXPECT_FALSE(reg.CreateRegion({0, 0, 100, 50}));
    reg.SetRegion();
    ASSERT_EQ(win.calls.size(), 2u);
    EXPECT_FALSE(win.calls[1]);
    EXPECT_FALSE(reg.WindowRegion());
}

TEST(Region, PointListRegionAndBorderLieOnTheSamePointsMovedByTheOrigin)
{
    TDUDBorderRegion reg;
    reg.SetRegionShape(S::rsPointList);
    reg.SetUserPolygonRgn({{0, 0}, {40, 0}, {40, 40}, {0, 40}});
    reg.SetOrigin({10, 10});
    const auto g = reg.CreateRegion({0, 0, 100, 100});
    ASSERT_TRUE(g);
    EXPECT_EQ(g->boundingRect(), QRect(10, 10, 40, 40)) << "the polygon's pixels, moved by the origin";
    EXPECT_TRUE(g->contains(QPoint(10, 10)));
    EXPECT_FALSE(g->contains(QPoint(5, 5)));

    QImage img = MakeCanvasImage(100, 100);
    {
        TQtCanvas c(img);
        reg.PaintRegionShape(c, {0, 0, 100, 100});
    }
    // Every pixel of the border lies on the polygon's outline, none where
    // the region is not (but for the pen's width on its right and bottom).
    QRect drawn;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            if (img.pixelColor(x, y) != QColor(Qt::white))
                drawn |= QRect(x, y, 1, 1);
    EXPECT_TRUE(QRect(9, 9, 43, 43).contains(drawn)) << drawn.x() << "," << drawn.y() << " " << drawn.width();
    EXPECT_TRUE(drawn.contains(QRect(10, 10, 41, 41)));
}
