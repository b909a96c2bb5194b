// Pictures of the shape painter, for looking at: `ctest -L screenshots`,
// then build/screenshots/shapes_*.png.
#include "support/screenshot.h"
#include "support_shot_panel.h"

#include "platform/qt/ui_scale.h"
#include "widgets/shapes/qt/region_data.h"
#include "widgets/shapes/qt/region_frames.h"
#include "widgets/shapes/qt/shape_draw.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>

#include <gtest/gtest.h>

#include <functional>

using namespace kyd::widgets;
using kyd::platform::UiScale;

namespace {

using kyd::widgets::test::Grid;
using kyd::widgets::test::Panel;
using kyd::widgets::test::Tile;

using kyd::widgets::test::Picture;

const char* const kNames[] = {"ellipse", "rectangle", "round rect", "direct up", "direct right", "direct down",
                              "direct left", "diamond", "comb", "octagon", "star"};

struct Look {
    TDUDShadowStyle shadow;
    int bevelStyle;
    int bevelWidth;
    TBrush brush;
    bool picture;
};

void Shapes(const char* file, const Look& look)
{
    auto panel = Panel();
    auto* grid = Grid(panel.get());
    const QImage pic = Picture(UiScale::For(panel.get()).X(90), UiScale::For(panel.get()).Y(70));
    for (int i = 0; i < 11; ++i)
        Tile(grid, i, 6, kNames[i], 90, 70, [&, i](TQtCanvas& c, const TRect& r) {
            TDUDShadow shadow;
            shadow.SetStyle(look.shadow);
            shadow.SetDepth(UiScale::For(panel.get()).X(5));
            shadow.SetColor(clGray);
            TDUDSimpleBevel bevel;
            bevel.SetWidth(static_cast<std::uint8_t>(UiScale::For(panel.get()).X(look.bevelWidth)));
            bevel.SetStyle(look.bevelStyle);
            bevel.SetColor(clNavy);
            DUDShapeDraw(r.Inset(4), c, static_cast<TDUDShapeType>(i), nullptr, nullptr, false, look.brush, 25,
                         &bevel, &shadow, look.picture ? &pic : nullptr, clWhite, clWhite);
        });
    EXPECT_FALSE(kyd::test::SaveScreenshot(panel.get(), file).isEmpty());
}

} // namespace

TEST(WidgetScreenshots, ShapesSolidShadowInsetBevel)
{
    Shapes("shapes_solid_inset", {TDUDShadowStyle::hssSolid, sbInset, 2, TBrush(RGB(120, 180, 230)), false});
}

TEST(WidgetScreenshots, ShapesTracingShadowOffsetBevel)
{
    Shapes("shapes_tracing_offset", {TDUDShadowStyle::hssTracing, sbOffset, 2, TBrush(clYellow), false});
}

TEST(WidgetScreenshots, ShapesPicturesAndHatches)
{
    Shapes("shapes_picture", {TDUDShadowStyle::hssSolid, sbNormal, 2, TBrush(clWhite), true});
    Shapes("shapes_hatch", {TDUDShadowStyle::hssNone, sbNormal, 1, TBrush(clTeal, TBrushStyle::bsDiagCross), false});
}

TEST(WidgetScreenshots, ShapeTeeth)
{
    auto panel = Panel();
    auto* grid = Grid(panel.get());
    const char* names[] = {"teeth right", "teeth down", "teeth left", "teeth up"};
    for (int i = 0; i < 4; ++i)
        Tile(grid, i, 4, names[i], 110, 70, [&, i](TQtCanvas& c, const TRect& r) {
            TDUDTeeth teeth;
            teeth.SetDirection(static_cast<TDUDDirection>(i));
            teeth.SetCount(6);
            teeth.SetWidth(UiScale::For(panel.get()).X(8));
            teeth.SetHeight(UiScale::For(panel.get()).Y(8));
            TDUDShadow shadow;
            shadow.SetDepth(UiScale::For(panel.get()).X(4));
            TDUDSimpleBevel bevel;
            bevel.SetWidth(1);
            bevel.SetStyle(sbOffset);
            DUDShapeDraw(r.Inset(4), c, TDUDShapeType::stRectangle, &teeth, nullptr, false,
                         TBrush(RGB(230, 200, 150)), 0, &bevel, &shadow, nullptr, clWhite, clWhite);
        });
    EXPECT_FALSE(kyd::test::SaveScreenshot(panel.get(), "shapes_teeth").isEmpty());
}

namespace {

// The 18 window outlines with one border style, as a region paints them
// (a pen 2 pixels wide): shapes_window_outlines_<style>.png.
void WindowOutlines(TDUDRegionBorderStyle style, const char* file)
{
    auto panel = Panel();
    auto* grid = Grid(panel.get());
    const char* names[] = {"rect", "round rect", "bitmap", "nose rect", "round nose rect", "elliptic",
                           "star", "round shield", "sharp shield", "diamond", "octagon", "comb",
                           "half round", "user region", "think bubble", "round think bubble",
                           "elliptic think bubble", "point list"};
    for (int i = 0; i < 18; ++i)
        Tile(grid, i, 6, names[i], 110, 80, [&, i](TQtCanvas& c, const TRect& r) {
            const int w = r.Width(), h = r.Height();
            const std::vector<TPoint> points{{0, h / 2}, {w / 3, 0}, {w - 1, h / 4}, {w * 2 / 3, h - 1}};
            const auto maskData = DUDRegionToData(QRegion(QRect(0, 0, w, h), QRegion::Ellipse) +
                                                  QRegion(w / 4, h / 4, w / 2, h * 3 / 4));
            const auto userData = DUDPointListRegionData(points);
            TDUDRegionParams p;
            p.Shape = static_cast<TDUDRegionShape>(i);
            p.ExtPos = static_cast<TDUDExtPos>(i % 8);
            p.MaskData = &maskData;
            p.UserData = &userData;
            const auto region = DUDCreateShapeRegion(r, p);
            if (!region)
                return;
            std::vector<TRect> rects;
            for (const QRect& q : *region)
                rects.push_back({q.left(), q.top(), q.left() + q.width(), q.top() + q.height()});
            c.SetClipRegion(rects);
            c.Brush = TBrush(RGB(200, 215, 235));
            c.FillRect(r);
            c.ClearClip();
            TDUDFrameColors colors;
            colors.Style = style;
            colors.Single = clNavy;
            c.Pen.Width = 2;
            DUDFrameShapeRegion(c, r, p, colors, points);
        });
    EXPECT_FALSE(kyd::test::SaveScreenshot(panel.get(), file).isEmpty());
}

} // namespace

TEST(WidgetScreenshots, WindowOutlinesInEveryBorderStyle)
{
    using BS = TDUDRegionBorderStyle;
    const std::pair<BS, const char*> styles[] = {
        {BS::rbNone, "shapes_window_outlines_none"},
        {BS::rbLowered, "shapes_window_outlines_lowered"},
        {BS::rbRaised, "shapes_window_outlines_raised"},
        {BS::rbSingle, "shapes_window_outlines_single"},
        {BS::rbSingleRaised, "shapes_window_outlines_single_raised"},
        {BS::rbSingleLowered, "shapes_window_outlines_single_lowered"},
        {BS::rbRaisedpsb, "shapes_window_outlines_raised_psb"},
        {BS::rbLoweredpsb, "shapes_window_outlines_lowered_psb"},
    };
    for (const auto& [style, file] : styles)
        WindowOutlines(style, file);
}
