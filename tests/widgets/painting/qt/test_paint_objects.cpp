// Bitmap drawing, fills, effects, triangles and button faces on the image
// canvas.
#include "pixels.h"

#include "widgets/painting/utils.h"
#include "widgets/painting/frames.h"
#include "widgets/painting/gradient.h"
#include "widgets/painting/qt/bmp.h"
#include "widgets/painting/qt/bmp_draw.h"
#include "widgets/controls/qt/control.h"
#include "widgets/painting/qt/paint_objects.h"

#include <gtest/gtest.h>

using namespace kyd::widgets;
using kyd::widgets::test::Px;
using kyd::widgets::test::Rgb;

namespace {

QImage Blank(int w, int h, TColor c = clLime)
{
    QImage img = MakeCanvasImage(w, h);
    img.fill(ToQColor(c));
    return img;
}

QImage Solid(int w, int h, TColor c)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(ToQColor(c));
    return img;
}

int Count(const QImage& img, TColor c)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += Px(img, x, y) == c;
    return n;
}

} // namespace

TEST(WidgetBmpDraw, PlacesCentresStretchesTilesAndMasks)
{
    QImage img = Blank(40, 30);
    TQtCanvas c(img);
    const QImage red = Solid(10, 5, clRed);
    EXPECT_EQ((TRect{2, 3, 12, 8}), DUDBmpDrawExt(c, {2, 3, 40, 30}, red, 0, 0));
    EXPECT_EQ((TRect{15, 12, 25, 17}), DUDBmpDrawExt(c, {0, 0, 40, 30}, red, dbfCenter, 0));
    EXPECT_EQ((TRect{0, 0, 40, 30}), DUDBmpDrawExt(c, {0, 0, 40, 30}, red, dbfStretch, 0));
    EXPECT_EQ(40 * 30, Count(img, clRed));
    EXPECT_EQ((TRect{0, 0, 40, 20}), DUDBmpDrawExt(c, {0, 0, 40, 30}, red, dbfStretch | dbfKeepWidth, 0));
    EXPECT_EQ((TRect{0, 0, 60, 30}), DUDBmpDrawExt(c, {0, 0, 40, 30}, red, dbfStretch | dbfKeepHeight, 0));
    EXPECT_EQ((TRect{0, 0, 40, 20}),
              DUDBmpDrawExt(c, {0, 0, 40, 30}, red, dbfStretch | dbfKeepWidth | dbfKeepHeight, 0));
    EXPECT_EQ((TRect{0, 0, 24, 12}),
              DUDBmpDrawExt(c, {0, 0, 24, 30}, Solid(4, 2, clRed), dbfStretch | dbfKeepWidth | dbfKeepHeight, 0));
    EXPECT_EQ((TRect{}), DUDBmpDrawExt(c, {0, 0, 40, 30}, QImage(), 0, 0));

    // Tiles: W div w + 1 columns and H div h + 1 rows.
    QImage t = Blank(25, 12);
    TQtCanvas tc(t);
    QImage tile = Solid(10, 5, clBlue);
    tile.setPixel(0, 0, qRgb(255, 0, 0));
    EXPECT_EQ((TRect{0, 0, 30, 15}), DUDBmpDrawExt(tc, {0, 0, 25, 12}, tile, dbfTile, 0));
    EXPECT_EQ(clRed, Px(t, 20, 10));
    EXPECT_EQ(clBlue, Px(t, 24, 11));

    // Transparent by colour, and through the caller's mask.
    QImage m = Blank(4, 1);
    TQtCanvas mc(m);
    QImage glyph = Solid(4, 1, clWhite);
    glyph.setPixel(1, 0, qRgb(0, 0, 255));
    DUDBmpDrawExt(mc, {0, 0, 4, 1}, glyph, dbfTransparent, clWhite);
    EXPECT_EQ(clLime, Px(m, 0, 0));
    EXPECT_EQ(clBlue, Px(m, 1, 0));
    QImage mask = Solid(4, 1, clWhite);
    mask.setPixel(3, 0, qRgb(0, 0, 0));
    DUDMaskBmpDraw(mc, {0, 0, 4, 1}, Solid(4, 1, clRed), mask, clRed);
    EXPECT_EQ(clLime, Px(m, 0, 0));
    EXPECT_EQ(clRed, Px(m, 3, 0));
    // The second pass, transparent by the colour, shows what the mask hid
    // unless it has that colour.
    QImage two = Blank(4, 1);
    TQtCanvas twoCanvas(two);
    QImage picture = Solid(4, 1, clRed);
    picture.setPixel(1, 0, qRgb(0, 0, 255));
    picture.setPixel(3, 0, qRgb(0, 0, 255));
    QImage half = Solid(4, 1, clWhite); // only pixels 0 and 3 through the mask
    half.setPixel(0, 0, qRgb(0, 0, 0));
    half.setPixel(3, 0, qRgb(0, 0, 0));
    EXPECT_EQ((TRect{0, 0, 4, 1}), DUDMaskBmpDraw(twoCanvas, {0, 0, 4, 1}, picture, half, clRed));
    EXPECT_EQ(clRed, Px(two, 0, 0));  // through the mask
    EXPECT_EQ(clBlue, Px(two, 1, 0)); // masked, but not of the colour
    EXPECT_EQ(clLime, Px(two, 2, 0)); // masked and of the colour
    EXPECT_EQ(clBlue, Px(two, 3, 0));

    // Clipped drawing stays inside the rectangle.
    QImage k = Blank(10, 10);
    TQtCanvas kc(k);
    DUDBmpClipDrawExt(kc, {2, 2, 5, 5}, Solid(8, 8, clRed), dbfClip, 0, {0, 0});
    EXPECT_EQ(9, Count(k, clRed));
    EXPECT_FALSE(kc.ClipRect());
}

TEST(WidgetBmpDraw, StretchDrawAndPicturesOfARectangle)
{
    QImage img = Blank(10, 6);
    TQtCanvas c(img);
    QImage two = Solid(2, 1, clRed);
    two.setPixel(1, 0, qRgb(0, 0, 255));
    EXPECT_EQ((TRect{1, 1, 9, 5}), DUDBmpStretchDraw(c, {1, 1, 9, 5}, two));
    EXPECT_EQ(16, Count(img, clRed));
    EXPECT_EQ(16, Count(img, clBlue));
    EXPECT_EQ(clRed, Px(img, 4, 4));
    EXPECT_EQ(clBlue, Px(img, 5, 1));
    EXPECT_EQ(clLime, Px(img, 9, 5));
    EXPECT_EQ((TRect{}), DUDBmpStretchDraw(c, {1, 1, 9, 5}, QImage()));

    const QImage filled = DUDBmpCreateFromRect({3, 4, 13, 9}, clBtnFace);
    EXPECT_EQ(QSize(10, 5), filled.size());
    EXPECT_EQ(50, Count(filled, Rgb(clBtnFace)));
    EXPECT_TRUE(DUDBmpCreateFromRect({5, 5, 2, 9}, clRed).isNull()); // no width
}

TEST(WidgetGradient, EveryStyleLaysItsBandsOutInTheRectangle)
{
    const TDUDColorList colors{clRed, clLime, clBlue};
    // The rectangle (2, 2)-(14, 14) on white; local (x, y) is at (2 + x, 2 + y).
    auto paint = [&](TDUDGradientStyle style) {
        QImage img = Blank(16, 16, clWhite);
        TQtCanvas c(img);
        DUDGradientPaintExt(c, {2, 2, 14, 14}, style, 0, 0, colors);
        EXPECT_EQ(clWhite, Px(img, 1, 1));
        EXPECT_EQ(clWhite, Px(img, 14, 14));
        return img;
    };
    auto at = [](const QImage& img, int x, int y) { return Px(img, 2 + x, 2 + y); };
    using S = TDUDGradientStyle;

    QImage v = paint(S::gstVertical); // rows of 4
    EXPECT_EQ(clRed, at(v, 11, 3));
    EXPECT_EQ(clLime, at(v, 0, 4));
    EXPECT_EQ(clBlue, at(v, 5, 11));

    QImage sq = paint(S::gstSquare); // insets 0, 2 and 4
    EXPECT_EQ(clRed, at(sq, 1, 6));
    EXPECT_EQ(clLime, at(sq, 2, 2));
    EXPECT_EQ(clLime, at(sq, 9, 6));
    EXPECT_EQ(clBlue, at(sq, 4, 4));
    EXPECT_EQ(clBlue, at(sq, 7, 7));

    QImage el = paint(S::gstElliptic);
    EXPECT_EQ(clRed, at(el, 0, 0)); // the corners outside every ellipse
    EXPECT_EQ(clRed, at(el, 11, 11));
    EXPECT_EQ(clBlue, at(el, 6, 6));

    // Corner styles: bands grow from their corner.
    struct Corner {
        S style;
        int x, y; // the corner's pixel
    };
    for (const Corner k : {Corner{S::gstTopLeft, 0, 0}, Corner{S::gstTopRight, 11, 0},
                           Corner{S::gstBottomLeft, 0, 11}, Corner{S::gstBottomRight, 11, 11}}) {
        SCOPED_TRACE(static_cast<int>(k.style));
        QImage img = paint(k.style);
        EXPECT_EQ(clRed, at(img, k.x, k.y));
        EXPECT_EQ(clLime, at(img, 5, 5));
        EXPECT_EQ(clBlue, at(img, 11 - k.x, 11 - k.y));
        EXPECT_EQ(clBlue, at(img, 11 - k.x, k.y)); // far along one side only
    }

    QImage d = paint(S::gstTopLeftDiagonal);
    EXPECT_EQ(clRed, at(d, 0, 0));
    EXPECT_EQ(clLime, at(d, 11, 0));
    EXPECT_EQ(clLime, at(d, 0, 11));
    EXPECT_EQ(clBlue, at(d, 11, 11));
    QImage e = paint(S::gstTopRightDiagonal);
    EXPECT_EQ(clRed, at(e, 11, 0));
    EXPECT_EQ(clLime, at(e, 0, 0));
    EXPECT_EQ(clBlue, at(e, 0, 11));

    // The two-colour form builds its list first: black, grey, white.
    QImage g = Blank(3, 1, clWhite);
    TQtCanvas gc(g);
    DUDGradientPaint(gc, {0, 0, 3, 1}, clBlack, clWhite, 3, S::gstHorizontal, 0, 0);
    EXPECT_EQ(clBlack, Px(g, 0, 0));
    EXPECT_EQ(static_cast<TColor>(0x808080), Px(g, 1, 0));
    EXPECT_EQ(clWhite, Px(g, 2, 0));
}

TEST(WidgetBmpDraw, TexturePatternGreyscaleAndDisabled)
{
    QImage tex = Solid(3, 2, clBlue);
    tex.setPixel(0, 0, qRgb(255, 0, 0));
    QImage img = Blank(9, 4);
    TQtCanvas c(img);
    DUDFillTexture(c, {0, 0, 9, 4}, tex, {4, 3}); // origin modulo the size: (1, 1)
    EXPECT_EQ(clRed, Px(img, 2, 1));
    EXPECT_EQ(clRed, Px(img, 5, 3));
    EXPECT_EQ(clBlue, Px(img, 0, 0));
    QImage before = img;
    DUDFillTexture(c, {0, 0, 9, 4}, tex, {-1, 0});
    EXPECT_EQ(before, img);

    QImage p = Blank(4, 4, clWhite);
    TQtCanvas pc(p);
    QImage pat = Solid(2, 2, clWhite);
    pat.setPixel(0, 0, qRgb(0, 0, 0));
    DUDFillPattern(pc, {0, 0, 4, 4}, pat);
    EXPECT_EQ(4, Count(p, clBlack));

    // All pixels transparent: unchanged; otherwise four tones.
    const QImage flat = Solid(3, 3, clRed);
    EXPECT_EQ(flat, DUDBmpCreateGrayscale(flat));
    QImage g = Solid(4, 1, clFuchsia);
    g.setPixel(1, 0, qRgb(255, 255, 255));
    g.setPixel(2, 0, qRgb(0, 0, 0));
    const QImage grey = DUDBmpCreateGrayscale(g);
    EXPECT_EQ(clFuchsia, Px(grey, 0, 0));
    EXPECT_EQ(clWhite, Px(grey, 1, 0));
    EXPECT_EQ(clBlack, Px(grey, 2, 0));

    QImage glyph = Solid(5, 5, clWhite);
    glyph.setPixel(2, 2, qRgb(0, 0, 0));
    const QImage disabled = DUDBmpDrawDisabledState(glyph, 0, 0);
    EXPECT_EQ(Rgb(clBtnShadow), Px(disabled, 2, 2));
    EXPECT_EQ(Rgb(clBtnHighlight), Px(disabled, 3, 3));
    EXPECT_EQ(clWhite, Px(disabled, 0, 0));
}

TEST(WidgetPaintObjects, EveryFillStyle)
{
    TDUDFillObject f;
    EXPECT_EQ(TDUDFillStyle::sfNone, f.Style());
    QImage img = Blank(16, 16);
    TQtCanvas c(img);
    EXPECT_FALSE(f.FillCanvas(c, {0, 0, 16, 16}, clWhite));
    EXPECT_TRUE(f.GetTransparent());

    f.SetStyle(TDUDFillStyle::sfBrush);
    f.SetBrush(TBrush(clRed, TBrushStyle::bsSolid));
    EXPECT_TRUE(f.FillCanvas(c, {0, 0, 16, 16}, clWhite));
    EXPECT_EQ(256, Count(img, clRed));
    f.SetBrush(TBrush(clBlue, TBrushStyle::bsCross));
    f.FillCanvas(c, {0, 0, 16, 16}, clYellow);
    EXPECT_EQ(2 * (16 + 16) - 4, Count(img, clBlue)); // lines at x % 8 == 7 and y % 8 == 7
    EXPECT_EQ(256 - 60, Count(img, clYellow));

    f.SetStyle(TDUDFillStyle::sfBrushBitmap);
    QImage pat = Solid(3, 3, clGreen);
    pat.setPixel(0, 0, qRgb(255, 0, 0));
    f.SetBitmap(pat);
    f.FillCanvas(c, {0, 0, 16, 16}, clWhite);
    EXPECT_EQ(clRed, Px(img, 3, 3)); // the whole 3 x 3 picture is the pattern
    EXPECT_EQ(clGreen, Px(img, 4, 3));

    f.SetStyle(TDUDFillStyle::sfBitmap);
    f.SetBitmap(Solid(4, 4, clNavy));
    for (auto mode : {TDUDTileMode::tmNone, TDUDTileMode::tmCenter, TDUDTileMode::tmStretch, TDUDTileMode::tmTile}) {
        f.SetTileMode(mode);
        img.fill(Qt::green);
        EXPECT_TRUE(f.FillCanvas(c, {2, 2, 14, 14}, clWhite));
        const int navy = Count(img, clNavy);
        EXPECT_EQ(mode == TDUDTileMode::tmStretch || mode == TDUDTileMode::tmTile ? 144 : 16, navy)
            << static_cast<int>(mode);
        if (mode == TDUDTileMode::tmNone) {
            EXPECT_EQ(clNavy, Px(img, 2, 2));
        }
        if (mode == TDUDTileMode::tmCenter) {
            EXPECT_EQ(clNavy, Px(img, 6, 6));
        }
    }
    f.SetAlignment(TDUDAlignment::agBottomRight);
    f.SetTileMode(TDUDTileMode::tmNone);
    f.SetOffset(0, -1);
    img.fill(Qt::green);
    f.FillCanvas(c, {2, 2, 14, 14}, clWhite);
    EXPECT_EQ(clNavy, Px(img, 12, 13));
    EXPECT_EQ(clWhite, Px(img, 13, 13));

    f.SetStyle(TDUDFillStyle::sfBitmapList); // no list bitmap
    EXPECT_TRUE(f.GetEmpty());
    EXPECT_FALSE(f.FillCanvas(c, {0, 0, 16, 16}, clWhite));
    EXPECT_EQ(256, Count(img, clWhite)); // filled inner

    f.SetStyle(TDUDFillStyle::sfGradient);
    f.Gradient().SetStyle(TDUDGradientStyle::gstHorizontal);
    f.Gradient().SetColor(clBlack);
    f.Gradient().SetEndColor(clWhite);
    f.Gradient().SetColorCount(2);
    EXPECT_TRUE(f.FillCanvas(c, {0, 0, 16, 16}, clWhite));
    EXPECT_EQ(clBlack, Px(img, 7, 0));
    EXPECT_EQ(clWhite, Px(img, 8, 0));
    EXPECT_EQ("{Gradient}", f.GetSetStr());
}

TEST(WidgetPaintObjects, EffectsBufferAndRedrawOnChange)
{
    TDUDBitmapEffectObject e;
    int changes = 0;
    e.OnChange = [&](void*) { ++changes; };
    e.SetFlag(3, true); // invert
    e.SetFlag(4, true); // buffered
    QImage b = DUDBmpCreate24(4, 2);
    b.fill(QColor(10, 20, 30));
    e.Draw(b);
    EXPECT_EQ(RGB(245, 235, 225), Px(b, 0, 0));
    EXPECT_TRUE(e.BufferValid());
    QImage other = DUDBmpCreate24(4, 2);
    other.fill(Qt::black);
    e.Draw(other); // replays the kept result
    EXPECT_EQ(RGB(245, 235, 225), Px(other, 0, 0));
    e.SetBrightness(5);
    EXPECT_FALSE(e.BufferValid());
    e.Draw(other); // drawn afresh on what the replay left
    EXPECT_EQ(RGB(15, 25, 35), Px(other, 0, 0));
    QImage bigger = DUDBmpCreate24(5, 2);
    bigger.fill(Qt::white);
    e.Draw(bigger); // a new size is drawn afresh
    EXPECT_EQ(RGB(5, 5, 5), Px(bigger, 0, 0));
    EXPECT_EQ("{INV,B}", e.GetSetStr());

    // The alpha blend keeps Strength of the picture's own colour.
    e.SetFlag(3, false);
    e.SetBrightness(0);
    e.SetFlag(4, false);
    e.AlphaBlend().SetStrength(0.5);
    e.AlphaBlend().FillObject().SetStyle(TDUDFillStyle::sfBrush);
    e.AlphaBlend().FillObject().SetBrush(TBrush(RGB(0, 0, 100)));
    QImage a = DUDBmpCreate24(2, 2);
    a.fill(QColor(100, 0, 0));
    e.Draw(a);
    EXPECT_EQ(RGB(50, 0, 50), Px(a, 1, 1));
    EXPECT_EQ("{Enabled (brush), strength: 0.500}", e.AlphaBlend().GetSetStr());
    EXPECT_GT(changes, 5);
}

TEST(WidgetPaintObjects, AlphaObjectFollowsItsImageList)
{
    auto list = std::make_unique<TDUDBitmapList>();
    TDUDAlphaObject a;
    a.SetImageList(list.get());
    EXPECT_TRUE(a.FillObject().ListBitmap.isNull());
    static_cast<TDUDBitmapListItem*>(list->Add())->SetBitmap(Solid(3, 3, clRed));
    EXPECT_EQ(3, a.FillObject().ListBitmap.width());
    list.reset();
    EXPECT_EQ(nullptr, a.ImageList());
    EXPECT_TRUE(a.FillObject().ListBitmap.isNull());
}

TEST(WidgetUtils, TrianglesAndButtonFaces)
{
    for (int size = 1; size <= 16; ++size) {
        QImage img = Blank(64, 40);
        TQtCanvas c(img);
        DUDDrawTriangle(c, 20, 2, size, clRed, true, true);
        const int n = Count(img, clRed);
        if (size < 2 || size > 15) {
            EXPECT_EQ(0, n) << size;
        } else {
            int rows = 0;
            for (int i = 0; i <= size - 2; ++i)
                rows += 2 * (size - i) - 1;
            EXPECT_EQ(rows, n) << size; // the tip falls inside the last row
        }
        img.fill(Qt::green);
        DUDDrawTriangle(c, 20, 2, size, clRed, false, false);
        EXPECT_EQ(size >= 2 && size <= 15 ? size * size : 0, Count(img, Rgb(clGrayText))) << size;
    }

    for (int s = 0; s <= static_cast<int>(TDUDUserButtonStyle::ubsIntegrated); ++s)
        for (int st = 0; st <= static_cast<int>(TDUDButtonState::bsDisabledDown); ++st) {
            QImage img = Blank(30, 20);
            TQtCanvas c(img);
            TRect r{0, 0, 30, 20};
            const auto state = static_cast<TDUDButtonState>(st);
            DUDDrawBtnFace(c, false, r, static_cast<TDUDUserButtonStyle>(s), state, 2 | 4, clBtnFace);
            const TRect want = DUDBtnIsDown(state) ? TRect{4, 4, 28, 18} : TRect{3, 3, 27, 17};
            EXPECT_EQ(want, r) << s << "/" << st;
        }
    EXPECT_TRUE(DUDDrawBtnIsFlat(TDUDUserButtonStyle::ubsExplorerColored));
    EXPECT_FALSE(DUDDrawBtnIsFlat(TDUDUserButtonStyle::ubsIde));
}

TEST(WidgetUtils, TextMeasureGrowsByTheStyleDepth)
{
    QImage img = Blank(100, 40);
    TQtCanvas c(img);
    TDUD3DCaption cap;
    const TRect plain = DUDDrawTextCalcExt(c, "Wq", nullptr, {0, 0, 100, 40}, false, false);
    cap.SetLightDepth(2);
    cap.SetShadowDepth(3);
    using S = TDUDThreeDStyle;
    const std::pair<S, int> cases[] = {{S::tdNone, 0},      {S::tdSunken, 2},  {S::tdRaisedShadow, 5},
                                       {S::tdPColorSunken, 5}, {S::tdShadow, 3}, {S::tdOutline, 3},
                                       {S::tdExtrudeEnh, 3}};
    for (auto [style, grow] : cases) {
        cap.SetStyle(style);
        const TRect r = DUDDrawTextCalcExt(c, "Wq", &cap, {0, 0, 100, 40}, false, false);
        EXPECT_EQ(plain.Width() + grow, r.Width()) << static_cast<int>(style);
        EXPECT_EQ(plain.Height() + grow, r.Height()) << static_cast<int>(style);
        const int helper = style == S::tdOutline || style == S::tdExtrudeEnh ? 0 : grow;
        EXPECT_EQ(c.TextWidth("Wq") + helper, DUDGet3DTextWidth(c, "Wq", &cap));
        EXPECT_EQ(c.TextHeight("W") + helper, DUDGet3DTextHeight(c, &cap));
    }
    EXPECT_EQ(DUDDrawTextCalcExt(c, " ", nullptr, {0, 0, 100, 40}, false, true),
              DUDDrawTextCalcExt(c, "&", nullptr, {0, 0, 100, 40}, false, true));
}

TEST(WidgetUtils, EveryThreeDStylePassOnTheRecorder)
{
    QImage img = Blank(120, 40);
    TQtCanvas c(img);
    TTextRecorder rec;
    c.TextRecorder = &rec;
    c.Font.Color = clBlack;
    c.Brush.Color = clYellow; // the parent colour
    TDUD3DCaption cap;
    cap.SetLightDepth(1);
    cap.SetShadowDepth(2);
    cap.SetLightColor(clWhite);
    cap.SetShadowColor(clGray);
    using S = TDUDThreeDStyle;
    struct Pass {
        int d;
        TColor color;
    };
    const std::pair<S, std::vector<Pass>> cases[] = {
        {S::tdNone, {{0, clBlack}}},
        {S::tdSunken, {{1, clWhite}, {0, clBlack}}},
        {S::tdRaised, {{0, clWhite}, {1, clBlack}}},
        {S::tdSunkenShadow, {{0, clGray}, {3, clWhite}, {2, clBlack}}},
        {S::tdPColorSunken, {{0, clGray}, {3, clWhite}, {2, clYellow}}},
        {S::tdRaisedShadow, {{3, clGray}, {0, clWhite}, {1, clBlack}}},
        {S::tdPColorRaised, {{3, clGray}, {0, clWhite}, {1, clYellow}}},
        {S::tdShadow, {{2, clGray}, {0, clBlack}}},
        {S::tdOutline, {{1, clBlack}}},
    };
    const TRect r{0, 0, 120, 40};
    for (const auto& [style, passes] : cases) {
        rec.clear();
        cap.SetStyle(style);
        DUDDrawTextExt(c, "Text", &cap, r, DT_SINGLELINE, dtEnabled);
        ASSERT_EQ(passes.size(), rec.size()) << static_cast<int>(style);
        for (std::size_t i = 0; i < passes.size(); ++i) {
            EXPECT_EQ(passes[i].color, rec[i].Color) << static_cast<int>(style) << " pass " << i;
            EXPECT_EQ(passes[i].d, rec[i].Rect.Left) << static_cast<int>(style) << " pass " << i;
            EXPECT_EQ(passes[i].d, rec[i].Rect.Top) << static_cast<int>(style) << " pass " << i;
            EXPECT_EQ(120 - cap.ExtraDepth() + passes[i].d, rec[i].Rect.Right);
        }
    }
    // Extrusions: shadow-depth steps of one pixel, then the text colour.
    cap.SetOrientation(TDUDThreeDOrientation::toBottomRight);
    cap.SetStyle(S::tdExtrudeEnh);
    rec.clear();
    DUDDrawTextExt(c, "Text", &cap, r, DT_SINGLELINE, dtEnabled);
    ASSERT_EQ(3u, rec.size());
    EXPECT_EQ((TPoint{3, 3}), (TPoint{rec[0].Rect.Left, rec[0].Rect.Top}));
    EXPECT_EQ(DUDGradientGetColor(clGray, clWhite, 1, 2), rec[0].Color);
    EXPECT_EQ((TPoint{2, 2}), (TPoint{rec[1].Rect.Left, rec[1].Rect.Top}));
    EXPECT_EQ(clGray, rec[1].Color);
    EXPECT_EQ((TPoint{1, 1}), (TPoint{rec[2].Rect.Left, rec[2].Rect.Top}));
    EXPECT_EQ(clBlack, rec[2].Color);

    // A turned caption: every pass turned, at the moved top-left; the
    // measurement gives the turned box and places the text in it.
    TDUDFxCaption fx;
    fx.SetStyle(S::tdShadow);
    fx.SetShadowDepth(2);
    fx.SetAngle(90);
    const TRect flat = DUDDrawTextCalcExt(c, "Text", nullptr, {0, 0, 200, 200}, false, false);
    const TRect box = DUDDrawTextCalcExt(c, "Text", &fx, {0, 0, 200, 200}, false, false);
    EXPECT_EQ(flat.Height() + 2, box.Width());
    EXPECT_EQ(flat.Width() + 2, box.Height());
    EXPECT_EQ(0, fx.PosX());
    EXPECT_EQ(flat.Width() + 2, fx.PosY());
    rec.clear();
    DUDDrawTextExt(c, "Text", &fx, {0, 0, 200, 200}, DT_SINGLELINE, dtEnabled);
    ASSERT_EQ(2u, rec.size());
    EXPECT_EQ(900, rec[0].Angle);
    EXPECT_EQ((TRect{2, fx.PosY() + 2, 2, fx.PosY() + 2}), rec[0].Rect);
    EXPECT_EQ(0, c.Font.Angle);
}

TEST(WidgetUtils, GlyphAndTextDrawnTogether)
{
    QImage img = Blank(100, 30);
    TQtCanvas c(img);
    TTextRecorder rec;
    c.TextRecorder = &rec;
    QImage glyph = Solid(8, 8, clWhite); // bottom-left white: transparent
    glyph.setPixel(3, 3, qRgb(255, 0, 0));
    TDUDButtonLayout layout; // text right of the glyph, all centred
    const auto places = DUDDrawTextAndGlyph(c, "OK", nullptr, {0, 0, 100, 30}, glyph, layout, DT_SINGLELINE, dtEnabled);
    EXPECT_EQ(1, Count(img, clRed));
    EXPECT_EQ(clRed, Px(img, places.Glyph.Left + 3, places.Glyph.Top + 3));
    EXPECT_EQ(clLime, Px(img, places.Glyph.Left, places.Glyph.Top)); // transparent
    ASSERT_EQ(1u, rec.size());
    EXPECT_EQ(places.Text, rec[0].Rect);
    EXPECT_EQ(places.Glyph.Right + 2, places.Text.Left);
    EXPECT_LE(std::abs((100 - places.Text.Right) - places.Glyph.Left), 1); // the pair is centred
}

TEST(WidgetPaintObjects, EffectRectangleVariantsAndControlBlend)
{
    // A source of 4 x 2: left half (10,20,30), right half (200,100,0).
    QImage src = DUDBmpCreate24(4, 2);
    src.fill(QColor(10, 20, 30));
    for (int y = 0; y < 2; ++y)
        for (int x = 2; x < 4; ++x)
            src.setPixelColor(x, y, QColor(200, 100, 0));
    TDUDBitmapEffectObject e;
    e.SetFlag(3, true); // invert

    QImage t;
    e.DrawCopyFromRect(src, {2, 0, 4, 2}, t);
    EXPECT_EQ(QSize(2, 2), t.size());
    EXPECT_EQ(RGB(55, 155, 255), Px(t, 0, 0));

    // Copy into a bigger picture at a point: only that area changes; the
    // mirror (FlipVertical mirrors each row) reads the source rect.
    e.SetFlag(0, true);
    QImage big = DUDBmpCreate24(6, 3);
    big.fill(Qt::white);
    e.DrawCopyRect(src, {1, 0, 4, 1}, big, {2, 1}); // 3 x 1: (10..), (200..), (200..)
    EXPECT_EQ(RGB(255, 255, 255), Px(big, 1, 1));
    EXPECT_EQ(RGB(55, 155, 255), Px(big, 2, 1)); // mirrored: the last source pixel first
    EXPECT_EQ(RGB(245, 235, 225), Px(big, 4, 1));
    EXPECT_EQ(RGB(255, 255, 255), Px(big, 2, 0));
    // No alpha blend in this variant.
    e.AlphaBlend().FillObject().SetStyle(TDUDFillStyle::sfBrush);
    e.AlphaBlend().FillObject().SetBrush(TBrush(RGB(0, 0, 100)));
    e.DrawCopyRect(src, {1, 0, 4, 1}, big, {2, 1});
    EXPECT_EQ(RGB(55, 155, 255), Px(big, 2, 1));
    e.SetFlag(0, false);

    // Cut, effects with the blend, stretched into the target rect.
    e.AlphaBlend().SetStrength(0.5);
    QImage cut = DUDBmpCreate24(8, 4);
    cut.fill(Qt::black);
    e.DrawCutRect(src, {0, 0, 2, 2}, {0, 0, 8, 4}, cut); // inverted (245,235,225), half blue (0,0,100), ties to even
    EXPECT_EQ(RGB(122, 118, 162), Px(cut, 7, 3));

    // The second cut blends a fill two pixels larger, from its (1, 1).
    QImage cut2 = DUDBmpCreate24(4, 4);
    cut2.fill(Qt::black);
    e.DrawCutRect2(src, {0, 0, 2, 2}, {1, 1, 3, 3}, cut2);
    EXPECT_EQ(RGB(122, 118, 162), Px(cut2, 1, 1));
    EXPECT_EQ(RGB(0, 0, 0), Px(cut2, 0, 0));
    EXPECT_EQ(RGB(0, 0, 0), Px(cut2, 3, 3));

    // A control's area blended in place on its canvas.
    QImage face = MakeCanvasImage(10, 10);
    face.fill(QColor(100, 0, 0));
    QImage scratch;
    {
        TQtCanvas c(face);
        e.AlphaBlend().ControlBlend(scratch, {0, 0, 4, 4}, c, {5, 5, 9, 9});
    }
    EXPECT_EQ(QSize(4, 4), scratch.size());
    EXPECT_EQ(RGB(50, 0, 50), Px(face, 6, 6));
    EXPECT_EQ(RGB(100, 0, 0), Px(face, 1, 1)); // the source area is untouched
    EXPECT_EQ(RGB(100, 0, 0), Px(face, 9, 9));
}

TEST(WidgetPaintObjects, ButtonLayoutArrowSizeKeepsItsRangeAndReports)
{
    TDUDButtonLayout l;
    int changes = 0;
    l.OnChange = [&](void*) { ++changes; };
    EXPECT_EQ(3, l.ArrowSize());
    EXPECT_EQ(TDUDAlignment::agCenter, l.Alignment());
    l.SetArrowSize(7);
    EXPECT_EQ(7, l.ArrowSize());
    l.SetArrowSize(1);
    EXPECT_EQ(2, l.ArrowSize());
    l.SetArrowSize(99);
    EXPECT_EQ(10, l.ArrowSize());
    l.SetArrowSize(10); // unchanged: no report
    EXPECT_EQ(3, changes);
    l.SetArrow(true);
    l.SetArrowColor(clRed);
    l.SetArrowIndent(5);
    l.SetArrowPosition(TDUDArrowPosition::apLeftGlyph);
    EXPECT_EQ(7, changes);
}

TEST(WidgetPaintObjects, PalettesAreTheColourTablesOfWhatIsPainted)
{
    // A gradient's palette: one entry per step, each PC_NOCOLLAPSE, only
    // while PaletteRealize is set.
    TDUDGradient g;
    g.SetColorCount(4);
    g.SetColor(clBlack);
    g.SetEndColor(clWhite);
    EXPECT_EQ(nullptr, g.GetPalette());
    g.SetPaletteRealize(true);
    ASSERT_NE(nullptr, g.GetPalette());
    EXPECT_EQ(g.Steps(), g.GetPalette()->Entries);
    EXPECT_EQ(std::vector<std::uint8_t>(4, TDUDPalette::PC_NOCOLLAPSE), g.GetPalette()->Flags);
    EXPECT_EQ(0x300, g.GetPalette()->Version);
    g.DestroyPalette();
    EXPECT_EQ(nullptr, g.GetPalette());
    EXPECT_FALSE(DUDGradientCreatePalette({}).has_value());

    TDUDShapeFill fill;
    fill.SetStyle(TDUDFillStyle::sfGradient);
    fill.Gradient().SetColorCount(3);
    fill.Gradient().SetPaletteRealize(true);
    EXPECT_EQ(fill.Gradient().Steps(), fill.GetPalette());
    QImage mono(4, 4, QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 0, 0), qRgb(0, 0, 255)});
    fill.SetBitmap(mono);
    fill.SetStyle(TDUDFillStyle::sfBitmap);
    EXPECT_EQ((std::vector<TColor>{clRed, clBlue}), fill.GetPalette());
    fill.SetStyle(TDUDFillStyle::sfBrush);
    EXPECT_TRUE(fill.GetPalette().empty());
}

TEST(WidgetPaintObjects, DashedFrameFlipsEveryOtherPixelAndGoesAgain)
{
    TDUDControl control;
    control.resize(10, 6);
    QImage img = MakeCanvasImage(10, 6);
    img.fill(Qt::white);
    {
        TQtCanvas c(img);
        control.DrawDashedFrame(c);
    }
    int black = 0;
    for (int x = 0; x < 10; ++x)
        black += (Px(img, x, 0) == clBlack);
    EXPECT_GE(black, 4);
    EXPECT_LE(black, 6);
    EXPECT_EQ(clWhite, Px(img, 5, 3)); // no fill
    {
        TQtCanvas c(img);
        control.DrawDashedFrame(c);
    }
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(clWhite, Px(img, x, y)) << x << "," << y;
}

TEST(WidgetBmpDraw, ClipDrawReportsTheDrawnArea)
{
    QImage img = Blank(20, 20);
    TQtCanvas c(img);
    const QImage pic = Solid(8, 8, clRed);
    TRect out;
    EXPECT_TRUE(DUDBmpClipDraw(c, {2, 2, 6, 6}, pic, dbfClip, clNone, {0, 0}, out));
    EXPECT_EQ(16, Count(img, clRed)); // clipped to the 4 x 4 rectangle
    EXPECT_FALSE(DUDBmpClipDraw(c, {2, 2, 6, 6}, QImage(), dbfClip, clNone, {0, 0}, out));
    EXPECT_TRUE(out.IsEmpty());
}

TEST(WidgetPaintObjects, SameClassAssignCopiesEverySettingInOneChange)
{
    int changes = 0;
    auto counting = [&](void*) { ++changes; };

    // Shape fill.
    TDUDShapeFill fill, fillCopy;
    fill.SetBitmap(Solid(4, 4, clRed));
    fill.Gradient().SetColorCount(40);
    fill.SetStyle(TDUDFillStyle::sfGradient);
    fill.SetTileMode(TDUDTileMode::tmStretch);
    fillCopy.OnChange = counting;
    fillCopy.Assign(fill);
    EXPECT_EQ(1, changes);
    EXPECT_EQ(fill.Bitmap(), fillCopy.Bitmap());
    EXPECT_EQ(40, fillCopy.Gradient().ColorCount());
    EXPECT_EQ(TDUDFillStyle::sfGradient, fillCopy.Style());
    EXPECT_EQ(TDUDTileMode::tmStretch, fillCopy.TileMode());
    fillCopy.Assign(fillCopy);
    fillCopy.Assign(fill); // nothing differs
    EXPECT_EQ(2, changes);

    // A fill object takes a plain shape fill's settings and keeps its own.
    TDUDFillObject object;
    object.SetOffset(0, 7);
    object.Assign(fill);
    EXPECT_EQ(TDUDFillStyle::sfGradient, object.Style());
    EXPECT_EQ(7, object.OffsetX());

    // Alpha object: the same image list and indexes, its strength and fill.
    TDUDBitmapList list;
    static_cast<TDUDBitmapListItem*>(list.Add())->SetBitmap(Solid(2, 2, clBlue));
    static_cast<TDUDBitmapListItem*>(list.Add())->SetBitmap(Solid(5, 5, clRed));
    TDUDAlphaObject alpha, alphaCopy;
    alpha.SetImageList(&list);
    alpha.SetIndex(1, 1);
    alpha.SetStrength(0.25);
    alpha.FillObject().SetStyle(TDUDFillStyle::sfBitmapList);
    changes = 0;
    alphaCopy.OnChange = counting;
    alphaCopy.Assign(alpha);
    EXPECT_EQ(1, changes);
    EXPECT_EQ(&list, alphaCopy.ImageList());
    EXPECT_EQ(1, alphaCopy.ListIndex());
    EXPECT_EQ(0, alphaCopy.ImageIndex());
    EXPECT_DOUBLE_EQ(0.25, alphaCopy.Strength());
    EXPECT_EQ(TDUDFillStyle::sfBitmapList, alphaCopy.FillObject().Style());
    EXPECT_EQ(5, alphaCopy.FillObject().ListBitmap.width()); // fetched from the list
    // The copy follows the list on its own.
    static_cast<TDUDBitmapListItem*>(list.GetItem(1))->SetBitmap(Solid(6, 6, clRed));
    EXPECT_EQ(6, alphaCopy.FillObject().ListBitmap.width());

    // Glyph/text and button layouts.
    TDUDButtonLayout button, buttonCopy;
    button.SetAlignText2Glyph(TDUDTextArrange::taBottomLeft);
    button.SetOffset(0, 3);
    button.SetOffset(1, 4);
    button.SetSpacing(9);
    button.SetAlignment(TDUDAlignment::agBottomRight);
    button.SetArrow(true);
    button.SetArrowColor(clRed);
    button.SetArrowIndent(6);
    button.SetArrowPosition(TDUDArrowPosition::apLeftGlyph);
    button.SetArrowSize(8);
    changes = 0;
    buttonCopy.OnChange = counting;
    buttonCopy.Assign(button);
    EXPECT_EQ(1, changes);
    EXPECT_EQ(TDUDTextArrange::taBottomLeft, buttonCopy.AlignText2Glyph());
    EXPECT_EQ(3, buttonCopy.OffsetX());
    EXPECT_EQ(4, buttonCopy.OffsetY());
    EXPECT_EQ(9, buttonCopy.Spacing());
    EXPECT_EQ(TDUDAlignment::agBottomRight, buttonCopy.Alignment());
    EXPECT_TRUE(buttonCopy.Arrow());
    EXPECT_EQ(clRed, buttonCopy.ArrowColor());
    EXPECT_EQ(6, buttonCopy.ArrowIndent());
    EXPECT_EQ(TDUDArrowPosition::apLeftGlyph, buttonCopy.ArrowPosition());
    EXPECT_EQ(8, buttonCopy.ArrowSize());

    // A button layout from a plain glyph/text layout: those settings only.
    TDUDGlyphTextLayout plain;
    plain.SetSpacing(1);
    changes = 0;
    buttonCopy.Assign(plain);
    EXPECT_EQ(1, changes);
    EXPECT_EQ(1, buttonCopy.Spacing());
    EXPECT_EQ(TDUDAlignment::agTopLeft, buttonCopy.Alignment());
    EXPECT_TRUE(buttonCopy.Arrow());
}
