// Frames, edges, bevels and text calls, painted on the image canvas.
#include "pixels.h"

#include "widgets/painting/bevel.h"
#include "widgets/painting/caption3d.h"
#include "widgets/painting/frames.h"

#include <gtest/gtest.h>

using namespace kyd::widgets;
using kyd::widgets::test::Px;
using kyd::widgets::test::Rgb;

namespace {

constexpr TColor kBack = clLime; // a colour no frame uses

QImage Blank(int w, int h)
{
    QImage img = MakeCanvasImage(w, h);
    img.fill(ToQColor(kBack));
    return img;
}

} // namespace

TEST(WidgetFrames, LoweredFrameOfOnePixel)
{
    QImage img = Blank(10, 10);
    TQtCanvas c(img);
    TRect r{0, 0, 10, 10};
    ASSERT_TRUE(DUDDrawFrame3D(c, r, TDUDBevelStyle::bvLowered, clWhite, clGray, 1));
    EXPECT_EQ((TRect{1, 1, 9, 9}), r);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(clGray, Px(img, i, 0)) << i;  // top, with the top-left corner
        EXPECT_EQ(clGray, Px(img, 0, i)) << i;  // left
        EXPECT_EQ(clWhite, Px(img, 9, i + 1)) << i; // right
        EXPECT_EQ(clWhite, Px(img, i + 1, 9)) << i; // bottom
    }
    EXPECT_EQ(clWhite, Px(img, 9, 0)); // the light side owns the far corners
    EXPECT_EQ(clWhite, Px(img, 0, 9));
    EXPECT_EQ(kBack, Px(img, 1, 1));
}

TEST(WidgetFrames, FrameStylesAndWideBands)
{
    QImage img = Blank(12, 12);
    TQtCanvas c(img);
    TRect r{0, 0, 12, 12};
    ASSERT_TRUE(DUDDrawFrame3D(c, r, TDUDBevelStyle::bvFrameLowered, clWhite, clGray, 1));
    EXPECT_EQ((TRect{2, 2, 10, 10}), r);
    EXPECT_EQ(clGray, Px(img, 0, 5));  // outer dark line
    EXPECT_EQ(clWhite, Px(img, 1, 5)); // inner light line: an etched groove
    EXPECT_EQ(clGray, Px(img, 10, 5));
    EXPECT_EQ(clWhite, Px(img, 11, 5));
    EXPECT_EQ(kBack, Px(img, 2, 5));

    QImage wide = Blank(12, 12);
    TQtCanvas w(wide);
    TRect q{0, 0, 12, 12};
    ASSERT_TRUE(DUDDrawFrame3D(w, q, TDUDBevelStyle::bvRaised, clWhite, clGray, 3));
    EXPECT_EQ((TRect{3, 3, 9, 9}), q);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(clWhite, Px(wide, i, 6)) << i;
        EXPECT_EQ(clGray, Px(wide, 11 - i, 6)) << i;
        EXPECT_EQ(clGray, Px(wide, 11 - i, i)) << i; // mitred top-right corner
    }
    EXPECT_EQ(kBack, Px(wide, 3, 6));

    QImage none = Blank(6, 6);
    TQtCanvas n(none);
    TRect s{0, 0, 6, 6};
    EXPECT_FALSE(DUDDrawFrame3D(n, s, TDUDBevelStyle::bvLowered, clWhite, clGray, 0));
    EXPECT_FALSE(DUDDrawFrame3D(n, s, TDUDBevelStyle::bvShadow, clWhite, clGray, 2));
    EXPECT_FALSE(DUDDrawFrame3D(n, s, TDUDBevelStyle::bvNone, clWhite, clGray, 2));
    EXPECT_EQ((TRect{0, 0, 6, 6}), s);
    EXPECT_EQ(kBack, Px(none, 0, 0));
}

TEST(WidgetFrames, EdgesInTheClassicColours)
{
    QImage img = Blank(10, 10);
    TQtCanvas c(img);
    TRect r{0, 0, 10, 10};
    c.DrawEdge(r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    EXPECT_EQ((TRect{2, 2, 8, 8}), r);
    EXPECT_EQ(Rgb(clBtnShadow), Px(img, 0, 5));
    EXPECT_EQ(Rgb(clBtnShadow), Px(img, 5, 0));
    EXPECT_EQ(Rgb(clBtnHighlight), Px(img, 9, 5));
    EXPECT_EQ(Rgb(clBtnHighlight), Px(img, 9, 0));
    EXPECT_EQ(Rgb(cl3DDkShadow), Px(img, 1, 5));
    EXPECT_EQ(Rgb(cl3DLight), Px(img, 8, 5));
    EXPECT_EQ(kBack, Px(img, 2, 5));

    // Only the named sides, and no adjustment without BF_ADJUST.
    QImage top = Blank(10, 10);
    TQtCanvas t(top);
    TRect q{0, 0, 10, 10};
    t.DrawEdge(q, BDR_RAISEDINNER, BF_TOP);
    EXPECT_EQ((TRect{0, 0, 10, 10}), q);
    EXPECT_EQ(Rgb(clBtnHighlight), Px(top, 4, 0));
    EXPECT_EQ(kBack, Px(top, 0, 4));
    EXPECT_EQ(kBack, Px(top, 4, 9));
}

TEST(WidgetFrames, StandardFrameWidthsAndBorder)
{
    EXPECT_EQ(0, DUDDrawStdFrameExt(TDUDBorderStyle::lsNone));
    EXPECT_EQ(1, DUDDrawStdFrameExt(TDUDBorderStyle::lsSingleLowered));
    EXPECT_EQ(1, DUDDrawStdFrameExt(TDUDBorderStyle::lsSingle));
    EXPECT_EQ(2, DUDDrawStdFrameExt(TDUDBorderStyle::lsWindowBorder));
    EXPECT_EQ(2, DUDDrawStdFrameExt(TDUDBorderStyle::lsDoubleLowered));
    EXPECT_EQ(0, DUDGetCtrlBorderWidth(true, TFormBorderStyle::bsSizeable));
    EXPECT_EQ(2, DUDGetCtrlBorderWidth(true, TFormBorderStyle::bsSingle));
    EXPECT_EQ(1, DUDGetCtrlBorderWidth(false, TFormBorderStyle::bsSingle));

    QImage img = Blank(8, 8);
    TQtCanvas c(img);
    DUDDrawBorder(c, {0, 0, 8, 8}, clRed, clBlue);
    EXPECT_EQ(clRed, Px(img, 0, 0));
    EXPECT_EQ(clRed, Px(img, 0, 7));
    EXPECT_EQ(clRed, Px(img, 6, 0));
    EXPECT_EQ(clBlue, Px(img, 7, 0));
    EXPECT_EQ(clBlue, Px(img, 7, 7));
    EXPECT_EQ(clBlue, Px(img, 3, 7));
    EXPECT_EQ(kBack, Px(img, 3, 3));

    // A line leaves out its end pixel.
    c.Pen.Color = clBlack;
    c.MoveTo(1, 3);
    c.LineTo(5, 3);
    EXPECT_EQ(clBlack, Px(img, 4, 3));
    EXPECT_EQ(kBack, Px(img, 5, 3));
}

TEST(WidgetFrames, ShadowFrame)
{
    QImage img = Blank(20, 20);
    TQtCanvas c(img);
    TRect r{0, 0, 20, 20};
    DUDDrawFrameShadow(c, r, clBlack, clGray, clWhite, 3, 1, false);
    EXPECT_EQ((TRect{1, 1, 16, 16}), r);
    EXPECT_EQ(clBlack, Px(img, 0, 5));   // frame
    EXPECT_EQ(clBlack, Px(img, 16, 5));
    EXPECT_EQ(clGray, Px(img, 18, 5));   // shadow on the right
    EXPECT_EQ(clGray, Px(img, 5, 18));   // and below
    EXPECT_EQ(clWhite, Px(img, 18, 1));  // free corners in the background
    EXPECT_EQ(clWhite, Px(img, 1, 18));
    EXPECT_EQ(kBack, Px(img, 5, 5));
}

// Every mode and style: the inside of a painted bevel is ClientRect, the
// extent is its inset, and nothing is painted inside.
TEST(WidgetFrames, BevelInsideEqualsItsExtentForEveryModeAndStyle)
{
    using S = TDUDBevelStyle;
    const S styles[] = {S::bvNone, S::bvLowered, S::bvRaised, S::bvFrameLowered, S::bvFrameRaised, S::bvNormal,
                        S::bvShadow};
    const TRect area{0, 0, 40, 30};
    int checked = 0;
    auto check = [&](const TDUDBevel& b, const std::string& what) {
        for (bool transparent : {false, true}) {
            QImage img = Blank(area.Width(), area.Height());
            TQtCanvas c(img);
            const TRect inside = b.PaintBevel(c, area, transparent);
            ASSERT_EQ(b.ClientRect(area), inside) << what;
            if (!(b.Mode() == TDUDBevelMode::bmCustom && b.StyleOuter() == S::bvShadow))
                ASSERT_EQ(area.Inset(b.Extent()), inside) << what;
            else
                ASSERT_EQ(area.Bottom - b.Extent(), inside.Bottom) << what;
            for (int y = inside.Top; y < inside.Bottom; ++y)
                for (int x = inside.Left; x < inside.Right; ++x)
                    ASSERT_EQ(kBack, Px(img, x, y)) << what << " at " << x << "," << y;
            ++checked;
        }
    };
    for (S outer : styles)
        for (S inner : styles)
            for (int w : {0, 1, 3})
                for (int biw : {0, 2}) {
                    TDUDBevel b;
                    b.SetStyleOuter(outer);
                    b.SetStyleInner(inner);
                    b.SetWidthOuter(w);
                    b.SetWidthInner(w == 3 ? 2 : w);
                    b.SetBorderWidth(1);
                    b.SetBorderInnerWidth(biw);
                    check(b, "custom " + std::to_string(int(outer)) + "/" + std::to_string(int(inner)) + " w"
                                 + std::to_string(w) + " biw" + std::to_string(biw));
                }
    for (int s = 0; s <= int(TDUDBorderStyle::lsDoubleLowered); ++s)
        for (auto mode : {TDUDBevelMode::bmStandard, TDUDBevelMode::bmWindows}) {
            TDUDBevel b;
            b.SetMode(mode);
            b.SetStyle(TDUDBorderStyle(s));
            b.SetBorderInnerWidth(1);
            check(b, "standard " + std::to_string(s));
        }
    for (int e = 0; e <= int(TDUDEdgeStyle::etSunken); ++e)
        for (TDUDFrameSides sides : {TDUDFrameSides(0), TDUDFrameSides(fsTop | fsLeft), kAllFrameSides}) {
            TDUDBevel b;
            b.SetMode(TDUDBevelMode::bmEdge);
            b.SetEdgeStyle(TDUDEdgeStyle(e));
            b.SetBorderSides(sides);
            check(b, "edge " + std::to_string(e) + " sides " + std::to_string(sides));
        }
    EXPECT_GT(checked, 600);
}

TEST(WidgetFrames, BevelBorderRingsAndEmptyEdge)
{
    TDUDBevel b;
    b.SetStyleOuter(TDUDBevelStyle::bvLowered);
    b.SetBorderWidth(2);
    b.SetBorderColor(clRed);
    QImage img = Blank(20, 20);
    {
        TQtCanvas c(img);
        b.PaintBevel(c, {0, 0, 20, 20}, false);
    }
    EXPECT_EQ(clRed, Px(img, 1, 10));
    EXPECT_EQ(clRed, Px(img, 2, 10));
    QImage clear = Blank(20, 20);
    {
        TQtCanvas c(clear);
        EXPECT_EQ((TRect{3, 3, 17, 17}), b.PaintBevel(c, {0, 0, 20, 20}, true));
    }
    EXPECT_EQ(Rgb(clBtnShadow), Px(clear, 0, 10));
    EXPECT_EQ(kBack, Px(clear, 1, 10)); // a transparent paint only insets
    EXPECT_EQ(kBack, Px(clear, 2, 10));

    TDUDBevel e;
    e.SetMode(TDUDBevelMode::bmEdge);
    e.SetBorderSides(0);
    e.SetBorderInnerWidth(1);
    EXPECT_EQ(1, e.Extent());
    QImage none = Blank(10, 10);
    {
        TQtCanvas c(none);
        e.PaintBevel(c, {0, 0, 10, 10}, true);
    }
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(kBack, Px(none, x, 0));
}

TEST(WidgetFrames, TextCallsAreRecordedAlsoFromBitmaps)
{
    QImage img = Blank(60, 20);
    TQtCanvas c(img);
    TTextRecorder rec;
    c.TextRecorder = &rec;
    c.Font.Color = clBlue;
    TRect r{0, 0, 60, 20};
    c.TextRect(r, "Hi", DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    auto bmp = c.CreateBitmap(30, 10);
    bmp->Canvas().TextOut(2, 1, "there");
    TRect calc{0, 0, 0, 0};
    c.TextRect(calc, "measured", DT_CALCRECT | DT_SINGLELINE);
    ASSERT_EQ(2u, rec.size()); // measuring draws nothing
    EXPECT_EQ("Hi", rec[0].Text);
    EXPECT_EQ(clBlue, rec[0].Color);
    EXPECT_EQ(r, rec[0].Rect);
    EXPECT_EQ("there", rec[1].Text);
    EXPECT_GT(calc.Width(), 10);
    EXPECT_GT(calc.Height(), 5);
}

TEST(WidgetFrames, ThreeDTextPasses)
{
    QImage img = Blank(80, 24);
    TQtCanvas c(img);
    TTextRecorder rec;
    c.TextRecorder = &rec;
    c.Font.Color = clBlack;
    TDUD3DCaption cap;
    cap.SetStyle(TDUDThreeDStyle::tdShadow);
    cap.SetShadowDepth(2);
    cap.SetShadowColor(clGray);
    const TRect r{0, 0, 80, 24};
    DUDDrawTextExt(c, "Text", &cap, r, DT_SINGLELINE, dtEnabled);
    ASSERT_EQ(2u, rec.size());
    EXPECT_EQ(clGray, rec[0].Color); // the shadow 2 pixels right and below
    EXPECT_EQ((TRect{2, 2, 80, 26}), rec[0].Rect);
    EXPECT_EQ(clBlack, rec[1].Color);
    EXPECT_EQ((TRect{0, 0, 78, 24}), rec[1].Rect);
    EXPECT_EQ(clBlack, c.Font.Color);

    // Disabled text is grey, and sunken when the style asks for it.
    rec.clear();
    cap.SetStyle(TDUDThreeDStyle::tdNone);
    cap.SetDisabledStyle(TDUDDisabledStyle::ds3d);
    DUDDrawTextExt(c, "Off", &cap, r, DT_SINGLELINE, 0);
    ASSERT_EQ(2u, rec.size());
    EXPECT_EQ(cap.LightColor(), rec[0].Color);
    EXPECT_EQ(clGrayText, rec[1].Color);

    // Clipped drawing restores the clip it found.
    rec.clear();
    const TRect clip{0, 0, 10, 24};
    DUDDrawTextExt(c, "Cut", nullptr, r, DT_SINGLELINE, dtClip | dtEnabled, &clip);
    ASSERT_EQ(1u, rec.size());
    EXPECT_EQ(clip, rec[0].Clip);
    EXPECT_FALSE(c.ClipRect().has_value());
}

TEST(WidgetFrames, CanvasPrimitivesKeepExclusiveEdges)
{
    QImage img = Blank(30, 30);
    TQtCanvas c(img);
    c.Pen.Style = TPenStyle::psClear;
    c.Brush = {clRed, TBrushStyle::bsSolid};
    c.Polygon({{2, 2}, {8, 2}, {8, 8}, {2, 8}});
    EXPECT_EQ(clRed, Px(img, 2, 2));
    EXPECT_EQ(clRed, Px(img, 7, 7));
    EXPECT_EQ(kBack, Px(img, 8, 5));
    EXPECT_EQ(kBack, Px(img, 5, 8));

    c.Brush.Color = clBlue;
    c.Ellipse({10, 10, 20, 20});
    EXPECT_EQ(clBlue, Px(img, 15, 15));
    EXPECT_EQ(kBack, Px(img, 10, 10));
    EXPECT_EQ(kBack, Px(img, 20, 15));

    c.Brush.Color = clBlack;
    c.FrameRect({22, 22, 26, 26});
    EXPECT_EQ(clBlack, Px(img, 25, 25));
    EXPECT_EQ(kBack, Px(img, 24, 24));
    EXPECT_EQ(kBack, Px(img, 26, 25));
    c.Pen = {clBlack, 1, TPenStyle::psSolid, TPenMode::pmCopy};
    c.Brush = {clWhite, TBrushStyle::bsSolid};
    c.Rectangle({0, 20, 6, 26});
    EXPECT_EQ(clBlack, Px(img, 5, 25));
    EXPECT_EQ(clWhite, Px(img, 3, 23));
    EXPECT_EQ(kBack, Px(img, 6, 23));
}

TEST(WidgetFrames, TextOutPlacesTheTopOfTheCell)
{
    QImage img = Blank(40, 40);
    TQtCanvas c(img);
    c.Font.Size = 8;
    c.Font.Color = clBlack;
    c.TextOut(2, 4, "H");
    const int h = c.TextHeight("H");
    ASSERT_GT(h, 5);
    int top = -1, bottom = -1;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            if (Px(img, x, y) != kBack) {
                if (top < 0)
                    top = y;
                bottom = y;
            }
    ASSERT_GE(top, 4);           // nothing above the cell
    EXPECT_LT(top, 4 + h / 2);   // the capital starts in the cell's upper half
    EXPECT_LT(bottom, 4 + h);    // and ends inside it
}
