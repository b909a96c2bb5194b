// Text helpers: the delimiter splitter of stored values, plain and turned
// 3-D text, measuring without a canvas, aligned text rectangles, the
// TrueType test, a glyph's disabled picture and centring a bare window.
#include "pixels.h"
#include "widgets/painting/caption3d.h"
#include "widgets/storage/text_forms.h"
#include "widgets/services/qt/form_utils.h"
#include "widgets/painting/qt/image_list.h"
#include "widgets/painting/qt/paint_objects.h"
#include "widgets/services/qt/sysinfo_probes.h"
#include "widgets/services/qt/window_utils.h"
#include "widgets/framework/qt/qt_canvas.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>
#include <QStyle>
#include <QWindow>

using namespace kyd::widgets;
using namespace kyd::widgets::test;

namespace {

QImage Filled(int w, int h, TColor c)
{
    QImage img = MakeCanvasImage(w, h);
    img.fill(ToQColor(c));
    return img;
}

// The bounding box of the pixels that differ from the background.
TRect Painted(const QImage& img, TColor background)
{
    TRect r{img.width(), img.height(), 0, 0};
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (Px(img, x, y) != background) {
                r.Left = std::min(r.Left, x);
                r.Top = std::min(r.Top, y);
                r.Right = std::max(r.Right, x + 1);
                r.Bottom = std::max(r.Bottom, y + 1);
            }
    return r;
}

} // namespace

TEST(WidgetTextUtils, ParseToStrListKeepsEmptyPiecesButNoneAfterTheLast)
{
    using V = std::vector<std::string>;
    EXPECT_EQ((V{"a", "", "b"}), DUDParseToStrList("a,,b,"));
    EXPECT_EQ((V{"1", "2", "3"}), DUDParseToStrList("1,2,3,"));
    EXPECT_EQ((V{"", "x"}), DUDParseToStrList(",x"));
    EXPECT_EQ((V{""}), DUDParseToStrList(","));
    EXPECT_EQ(V{}, DUDParseToStrList(""));
    EXPECT_EQ((V{"10", "20"}), DUDParseToStrList("10;20", ';'));
}

TEST(WidgetTextUtils, DrawTextIsTheEnabledStyleWithoutClip)
{
    QImage img = Filled(100, 30, clWhite);
    TQtCanvas c(img);
    TTextRecorder rec;
    c.TextRecorder = &rec;
    c.Font.Color = clBlack;
    TDUD3DCaption cap;
    cap.SetDisabledStyle(TDUDDisabledStyle::ds3d); // would sink a disabled text
    DUDDrawText(c, "Go", &cap, {0, 0, 100, 30}, DT_SINGLELINE);
    ASSERT_EQ(1u, rec.size());
    EXPECT_EQ(clBlack, rec[0].Color);
    EXPECT_FALSE(rec[0].Clip.has_value());
    rec.clear();
    DUDDrawTextExt(c, "Go", &cap, {0, 0, 100, 30}, DT_SINGLELINE, 0);
    EXPECT_EQ(2u, rec.size()); // the disabled text, sunken: two passes
}

TEST(WidgetTextUtils, TurnedOutlineIsAnOutline)
{
    // A heavy "I" turned by 90 degrees is a bar across; its outline leaves
    // the middle of the bar empty where plain text fills it.
    TDUDFxCaption fx;
    fx.SetShadowDepth(2);
    fx.SetAngle(90);
    auto draw = [&](TDUDThreeDStyle style) {
        QImage img = Filled(200, 200, clWhite);
        TQtCanvas c(img);
        c.Font.Size = 60;
        c.Font.Bold = true;
        c.Font.Color = clBlack;
        fx.SetStyle(style);
        fx.SetPosXY(0, 0);
        DUDDrawTextExt(c, "I", &fx, {20, 180, 200, 200}, DT_SINGLELINE, dtEnabled);
        return img;
    };
    const QImage plain = draw(TDUDThreeDStyle::tdNone);
    const QImage outline = draw(TDUDThreeDStyle::tdOutline);
    const TRect bar = Painted(plain, clWhite);
    ASSERT_GT(bar.Width(), bar.Height()) << "the text is turned";
    const int cx = (bar.Left + bar.Right) / 2, cy = (bar.Top + bar.Bottom) / 2;
    EXPECT_EQ(clBlack, Px(plain, cx, cy));
    EXPECT_EQ(clWhite, Px(outline, cx, cy));
    const TRect ring = Painted(outline, clWhite);
    EXPECT_GT(ring.Width(), ring.Height()) << "the outline is turned too";
}

TEST(WidgetTextUtils, MeasureWithoutCanvasAndAlignInArea)
{
    TFont font;
    font.Size = 12;
    QImage img = Filled(10, 10, clWhite);
    TQtCanvas c(img);
    c.Font = font;
    TDUD3DCaption cap;
    cap.SetStyle(TDUDThreeDStyle::tdShadow);
    cap.SetShadowDepth(3);
    const TRect want = DUDDrawTextCalcExt(c, "Wq", &cap, {5, 5, 300, 100}, false, false);
    EXPECT_EQ(want, DUDDrawTextCalc("Wq", &cap, {5, 5, 300, 100}, font, false, false));

    const TRect area{10, 10, 210, 60};
    const TRect size = DUDDrawTextCalc("Wq", &cap, {0, 0, 199, 50}, font, false, false);
    const TRect br = DUDAlignTextRect(TDUDAlignment::agBottomRight, "Wq", &cap, area, font, false, false);
    EXPECT_EQ((TRect{210 - size.Width(), 60 - size.Height(), 210, 60}), br);
    const TRect mid = DUDAlignTextRect(TDUDAlignment::agCenter, "Wq", &cap, area, font, false, false);
    EXPECT_EQ(10 + (200 - size.Width()) / 2, mid.Left);
    EXPECT_EQ(10 + (50 - size.Height()) / 2, mid.Top);
    EXPECT_EQ(size.Width(), mid.Width());
    // Word wrap measures in the area less one pixel at the right.
    const std::string words = "one two three four five six seven";
    const TRect wrapped = DUDAlignTextRect(TDUDAlignment::agTopLeft, words, nullptr, {0, 0, 60, 400}, font, true,
                                           false);
    EXPECT_LE(wrapped.Width(), 59);
    EXPECT_GT(wrapped.Height(), c.TextHeight("W"));
}

TEST(WidgetTextUtils, TrueTypeTestReadsTheFontsOutlines)
{
    TFont dejavu;
    dejavu.Name = "DejaVu Sans";
    if (QFontInfo(ToQFont(dejavu)).family() != QLatin1String("DejaVu Sans"))
        GTEST_SKIP() << "DejaVu Sans is not installed";
    EXPECT_TRUE(DUDIsTrueTypeFont(dejavu));
    QImage img = Filled(4, 4, clWhite);
    TQtCanvas c(img);
    c.Font = dejavu;
    EXPECT_TRUE(DUDIsTrueTypeFontCheck(c));
    // A font of PostScript outlines has no TrueType bit.
    TFont urw;
    urw.Name = "URW Bookman";
    if (QFontInfo(ToQFont(urw)).family() == QLatin1String("URW Bookman")) {
        EXPECT_FALSE(DUDIsTrueTypeFont(urw));
        c.Font = urw;
        EXPECT_FALSE(DUDIsTrueTypeFontCheck(c));
    }
}

TEST(WidgetTextUtils, DisabledGlyphReplacesTheGlyphWhenNotEnabled)
{
    QImage glyph = Filled(8, 8, clWhite); // bottom-left white: transparent
    glyph.setPixel(3, 3, qRgb(255, 0, 0));
    QImage grey = Filled(8, 8, clWhite);
    grey.setPixel(3, 3, qRgb(0, 0, 255));
    TDUDButtonLayout layout;
    for (bool enabled : {true, false}) {
        QImage img = Filled(100, 30, clLime);
        TQtCanvas c(img);
        const auto places = DUDDrawTextAndGlyphExt(c, "", nullptr, {0, 0, 100, 30}, glyph, &grey, layout,
                                                   DT_SINGLELINE, enabled ? unsigned(dtEnabled) : 0u);
        EXPECT_EQ(enabled ? clRed : clBlue, Px(img, places.Glyph.Left + 3, places.Glyph.Top + 3));
        EXPECT_EQ(clLime, Px(img, places.Glyph.Left, places.Glyph.Top));
    }
    EXPECT_EQ(clNone, DUDGlyphTransparentColor(QImage()));
    EXPECT_EQ(clWhite, DUDGlyphTransparentColor(glyph));
}

TEST(WidgetTextUtils, CentreABareWindowOverItsParent)
{
    QWindow parent;
    parent.setGeometry(100, 100, 400, 300);
    QWindow child;
    child.resize(200, 100);
    DUDCenterChildWindow(&child, &parent, false);
    EXPECT_EQ(QPoint(200, 200), child.framePosition());
    EXPECT_FALSE(child.isVisible());
    DUDCenterChildWindow(&child, &parent, true);
    EXPECT_TRUE(child.isVisible());
    EXPECT_EQ(Qt::ApplicationModal, child.modality());
    child.hide();
    DUDCenterChildWindow(nullptr, &parent, true); // nothing to do
}

TEST(WidgetTextUtils, SystemIconListsHoldTheStylesStandardIcons)
{
    const TDUDImageListItem& large = DUDSISystemIconList(true);
    const TDUDImageListItem& small = DUDSISystemIconList(false);
    const int n = QStyle::SP_TabCloseButton - QStyle::SP_TitleBarMenuButton + 1;
    EXPECT_EQ(n, large.Count());
    EXPECT_EQ(n, small.Count());
    EXPECT_EQ(32, large.Width());
    EXPECT_EQ(16, small.Height());
    EXPECT_TRUE(large.Masked());
    EXPECT_EQ(&large, &DUDSISystemIconList(true)); // made once
    // The warning icon is no blank: some of its pixels are opaque.
    const QImage mask = large.GetMaskBitmap(QStyle::SP_MessageBoxWarning);
    int opaque = 0;
    for (int y = 0; y < mask.height(); ++y)
        for (int x = 0; x < mask.width(); ++x)
            opaque += QColor(mask.pixel(x, y)) == Qt::black;
    EXPECT_GT(opaque, 32 * 32 / 8);
}
