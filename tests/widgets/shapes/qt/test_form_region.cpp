// The outline of a shaped form, with the classic window metrics.
#include "widgets/shapes/qt/form_region.h"

#include <gtest/gtest.h>

using namespace kyd::widgets;
using B = TFormBorderStyle;
using S = TDUDRegionShape;

TEST(FormRegion, TracedPictureResizesTheFormToThePictureAndTheShadow)
{
    TDUDFormRegionInput in;
    in.Width = 100;
    in.Height = 100;
    in.Border = B::bsSingle;
    in.Region.Shape = S::rsBitmap;
    in.BorderBitmap = QSize(300, 200);
    const TDUDFormMetrics m;
    const TDUDFormRegion r = DUDFormReRegion(in, m);
    ASSERT_TRUE(r.NewSize);
    EXPECT_EQ(*r.NewSize, QSize(306 + 2 * m.CxDlgFrame, 206 + m.CyCaption + 2 * m.CyDlgFrame));
    // No mask data: only the caption strip remains.
    ASSERT_TRUE(r.Region);
    EXPECT_EQ(*r.Region, QRegion(0, 0, r.NewSize->width(), m.CyDlgFrame + m.CyCaption));
}

TEST(FormRegion, CaptionStripKeptOrCutAndMinimized)
{
    const TDUDFormMetrics m;
    TDUDFormRegionInput in;
    in.Width = 300;
    in.Height = 200;
    in.Region.Shape = S::rsElliptic;

    // Borderless: an ellipse over the whole form, no caption strip.
    in.Border = B::bsNone;
    TDUDFormRegion r = DUDFormReRegion(in, m);
    EXPECT_EQ(r.ClientRect, (TRect{0, 0, 300, 200}));
    EXPECT_EQ(*r.Region, DUDEllipticRgn({0, 0, 300, 200}));

    // Sizeable with its caption: the whole caption bar stays.
    in.Border = B::bsSizeable;
    const QRegion strip(0, 0, 300, m.CyFrame + m.CyCaption);
    r = DUDFormReRegion(in, m);
    EXPECT_EQ(r.Region->intersected(strip), strip);
    EXPECT_TRUE(r.Region->contains(QPoint(150, 100)));
    EXPECT_FALSE(r.Region->contains(QPoint(1, 198)));
    in.ShowFormCaption = false;
    r = DUDFormReRegion(in, m);
    EXPECT_TRUE(r.Region->intersected(strip).isEmpty());

    // Minimized: the plain strip; a tool window's caption is the small one.
    in.Minimized = true;
    in.Border = B::bsToolWindow;
    r = DUDFormReRegion(in, m);
    EXPECT_EQ(*r.Region, QRegion(0, 0, 300, m.CyDlgFrame + m.CySmCaption));

    // An outline without data and no caption: no mask, not an invisible form.
    in = {};
    in.Width = 50;
    in.Height = 50;
    in.Border = B::bsNone;
    in.Region.Shape = S::rsPointList;
    EXPECT_FALSE(DUDFormReRegion(in, m).Region);

    // A shadow moves the body in and adds its copy down and right.
    in.Region.Shape = S::rsRect;
    in.Region.ShadowDepth = 6;
    EXPECT_EQ(*DUDFormReRegion(in, m).Region, QRegion(0, 0, 44, 44) + QRegion(6, 6, 44, 44));
}
