// Pictures of the library's painting routines, for looking at:
// `ctest -L screenshots`, then build/screenshots/painting_*.png.
#include "support/screenshot.h"
#include "support_shot_panel.h"

#include "platform/qt/ui_scale.h"
#include "widgets/painting/caption3d.h"
#include "widgets/painting/utils.h"
#include "widgets/painting/frames.h"
#include "widgets/painting/gradient.h"
#include "widgets/painting/qt/bmp.h"
#include "widgets/controls/qt/control.h"
#include "widgets/services/qt/form_utils.h"
#include "widgets/painting/qt/image_list.h"
#include "widgets/painting/qt/paint_objects.h"
#include "widgets/services/qt/sysinfo_probes.h"
#include "widgets/framework/qt/qt_canvas.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QStyle>

#include <gtest/gtest.h>

#include <functional>

using namespace kyd::widgets;
using kyd::platform::UiScale;

namespace {

using kyd::widgets::test::Grid;
using kyd::widgets::test::Panel;
using kyd::widgets::test::Tile;

// A small picture to apply effects to, in the 24-bit form the effects take.
QImage Picture(int w, int h)
{
    return kyd::widgets::test::Picture(w, h).convertToFormat(QImage::Format_BGR888);
}

} // namespace

TEST(WidgetScreenshots, GradientStyles)
{
    auto panel = Panel();
    auto* grid = Grid(panel.get());
    const char* names[] = {"horizontal", "vertical", "square", "elliptic", "top left",
                           "top right", "bottom left", "bottom right", "top left diag", "top right diag"};
    for (int i = 0; i < 10; ++i)
        Tile(grid, i, 5, names[i], 110, 70, [i](TQtCanvas& c, const TRect& r) {
            DUDGradientPaint(c, r, clNavy, RGB(200, 230, 255), 32, static_cast<TDUDGradientStyle>(i), 0, 0);
        });
    Tile(grid, 10, 5, "three colours", 110, 70, [](TQtCanvas& c, const TRect& r) {
        DUDSuperGradientPaint(c, r, {clRed, clYellow, clBlue}, 48, TDUDGradientStyle::gstHorizontal, 0, 0);
    });
    EXPECT_FALSE(kyd::test::SaveScreenshot(panel.get(), "painting_gradients").isEmpty());
}

TEST(WidgetScreenshots, FillStyles)
{
    auto panel = Panel();
    auto* grid = Grid(panel.get());
    const QImage pic = Picture(40, 28);
    struct Case {
        const char* name;
        std::function<void(TDUDFillObject&)> set;
    };
    const Case cases[] = {
        {"brush solid", [](TDUDFillObject& f) { f.SetStyle(TDUDFillStyle::sfBrush); f.SetBrush(TBrush(clTeal)); }},
        {"brush cross", [](TDUDFillObject& f) { f.SetStyle(TDUDFillStyle::sfBrush); f.SetBrush(TBrush(clNavy, TBrushStyle::bsCross)); }},
        {"brush diagonal", [](TDUDFillObject& f) { f.SetStyle(TDUDFillStyle::sfBrush); f.SetBrush(TBrush(clMaroon, TBrushStyle::bsBDiagonal)); }},
        {"brush bitmap", [&](TDUDFillObject& f) { f.SetStyle(TDUDFillStyle::sfBrushBitmap); f.SetBitmap(pic); }},
        {"bitmap none", [&](TDUDFillObject& f) { f.SetStyle(TDUDFillStyle::sfBitmap); f.SetBitmap(pic); f.SetTileMode(TDUDTileMode::tmNone); f.SetAlignment(TDUDAlignment::agBottomRight); }},
        {"bitmap centre", [&](TDUDFillObject& f) { f.SetStyle(TDUDFillStyle::sfBitmap); f.SetBitmap(pic); f.SetTileMode(TDUDTileMode::tmCenter); }},
        {"bitmap stretch", [&](TDUDFillObject& f) { f.SetStyle(TDUDFillStyle::sfBitmap); f.SetBitmap(pic); f.SetTileMode(TDUDTileMode::tmStretch); }},
        {"bitmap tile", [&](TDUDFillObject& f) { f.SetStyle(TDUDFillStyle::sfBitmap); f.SetBitmap(pic); f.SetTileMode(TDUDTileMode::tmTile); }},
        {"gradient", [](TDUDFillObject& f) { f.SetStyle(TDUDFillStyle::sfGradient); f.Gradient().SetStyle(TDUDGradientStyle::gstElliptic); f.Gradient().SetColorCount(40); }},
        {"none", [](TDUDFillObject& f) { f.SetStyle(TDUDFillStyle::sfNone); }},
    };
    int i = 0;
    for (const Case& k : cases)
        Tile(grid, i++, 5, k.name, 110, 70, [&](TQtCanvas& c, const TRect& r) {
            TDUDFillObject f;
            k.set(f);
            f.FillCanvas(c, r.Inset(4), clWhite);
            DUDDrawBorder(c, r.Inset(3), clBtnShadow, clBtnHighlight);
        });
    EXPECT_FALSE(kyd::test::SaveScreenshot(panel.get(), "painting_fills").isEmpty());
}

TEST(WidgetScreenshots, BitmapEffects)
{
    auto panel = Panel();
    auto* grid = Grid(panel.get());
    const auto s = UiScale::For(panel.get());
    const QImage pic = Picture(s.X(100), s.Y(64));
    struct Case {
        const char* name;
        std::function<void(TDUDBitmapEffectObject&)> set;
    };
    const Case cases[] = {
        {"original", [](TDUDBitmapEffectObject&) {}},
        {"mirrored", [](TDUDBitmapEffectObject& e) { e.SetFlag(0, true); }},
        {"upside down", [](TDUDBitmapEffectObject& e) { e.SetFlag(1, true); }},
        {"grey", [](TDUDBitmapEffectObject& e) { e.SetFlag(2, true); }},
        {"inverted", [](TDUDBitmapEffectObject& e) { e.SetFlag(3, true); }},
        {"brighter", [](TDUDBitmapEffectObject& e) { e.SetBrightness(80); }},
        {"darker", [](TDUDBitmapEffectObject& e) { e.SetBrightness(-80); }},
        {"alpha gradient", [](TDUDBitmapEffectObject& e) {
             auto& f = e.AlphaBlend().FillObject();
             f.SetStyle(TDUDFillStyle::sfGradient);
             f.Gradient().SetStyle(TDUDGradientStyle::gstHorizontal);
             f.Gradient().SetColor(clRed);
             f.Gradient().SetEndColor(clYellow);
         }},
    };
    int i = 0;
    for (const Case& k : cases)
        Tile(grid, i++, 4, k.name, 100, 64, [&](TQtCanvas& c, const TRect&) {
            TDUDBitmapEffectObject e;
            k.set(e);
            QImage out;
            e.DrawCopy(pic, out);
            c.DrawImage({0, 0, out.width(), out.height()}, out, out.rect());
        });
    EXPECT_FALSE(kyd::test::SaveScreenshot(panel.get(), "painting_effects").isEmpty());
}

TEST(WidgetScreenshots, ButtonFaces)
{
    auto panel = Panel();
    auto* grid = Grid(panel.get());
    const char* styles[] = {"auto", "win31", "win40", "ide", "ide flat", "flat", "flat uncoloured",
                            "navigator", "explorer", "explorer coloured", "integrated"};
    const std::pair<TDUDButtonState, const char*> states[] = {
        {TDUDButtonState::bsUp, "up"}, {TDUDButtonState::bsMouseOver, "over"},
        {TDUDButtonState::bsDown, "down"}, {TDUDButtonState::bsOptionSet, "set"}};
    int i = 0;
    for (int st = 0; st < 11; ++st)
        for (const auto& [state, stateName] : states)
            Tile(grid, i++, 8, QString("%1 %2").arg(styles[st], stateName), 80, 26,
                 [&, st, state = state](TQtCanvas& c, const TRect& r) {
                     TRect face = r.Inset(2);
                     DUDDrawBtnFace(c, false, face, static_cast<TDUDUserButtonStyle>(st), state, 4, clBtnFace);
                     c.Font.Color = clBtnText;
                     c.TextRect(face, "Button", DT_CENTER | DT_VCENTER | DT_SINGLELINE);
                 });
    EXPECT_FALSE(kyd::test::SaveScreenshot(panel.get(), "painting_buttons").isEmpty());
}

TEST(WidgetScreenshots, CaptionStyles)
{
    auto panel = Panel();
    auto* grid = Grid(panel.get());
    const char* names[] = {"none", "sunken", "raised", "sunken shadow", "raised shadow", "parent sunken",
                           "parent raised", "shadow", "outline", "extrude", "extrude enhanced"};
    for (int i = 0; i < 11; ++i)
        Tile(grid, i, 4, names[i], 130, 40, [i](TQtCanvas& c, const TRect& r) {
            TDUD3DCaption cap;
            cap.SetStyle(static_cast<TDUDThreeDStyle>(i));
            cap.SetLightDepth(1);
            cap.SetShadowDepth(3);
            cap.SetShadowColor(clGray);
            cap.SetLightColor(clWhite);
            cap.SetOrientation(TDUDThreeDOrientation::toBottomRight);
            c.Font.Size = 16;
            c.Font.Bold = true;
            c.Font.Color = clNavy;
            c.Brush.Color = clBtnFace; // the parent colour of the parent-colour styles
            DUDDrawTextExt(c, "Caption", &cap, r, DT_CENTER | DT_VCENTER | DT_SINGLELINE, dtEnabled);
        });
    Tile(grid, 11, 4, "turned shadow", 130, 40, [](TQtCanvas& c, const TRect& r) {
        TDUDFxCaption fx;
        fx.SetStyle(TDUDThreeDStyle::tdShadow);
        fx.SetShadowDepth(2);
        fx.SetShadowColor(clGray);
        fx.SetAngle(15);
        c.Font.Size = 12;
        c.Font.Bold = true;
        c.Font.Color = clMaroon;
        const TRect box = DUDDrawTextCalcExt(c, "Turned", &fx, r, false, false);
        DUDDrawTextExt(c, "Turned", &fx, DUDAlignRect(TDUDAlignment::agCenter, box, r), DT_SINGLELINE, dtEnabled);
    });
    EXPECT_FALSE(kyd::test::SaveScreenshot(panel.get(), "painting_captions").isEmpty());
}

// The drawing routines added last: turned outline text, aligned text, the
// design frame, the effect object's rectangle variants, clipped image-list
// drawing and the system icons.
TEST(WidgetScreenshots, TextFramesAndRectangleEffects)
{
    auto panel = Panel();
    auto* grid = Grid(panel.get());
    const QImage pic = Picture(40, 28);
    int i = 0;
    Tile(grid, i++, 4, "turned outline", 110, 90, [](TQtCanvas& c, const TRect& r) {
        TDUDFxCaption fx;
        fx.SetStyle(TDUDThreeDStyle::tdOutline);
        fx.SetShadowDepth(2);
        fx.SetAngle(30);
        c.Font.Size = 16;
        c.Font.Bold = true;
        c.Font.Color = clNavy;
        const TRect box = DUDDrawTextCalcExt(c, "KYD", &fx, r, false, false);
        DUDDrawTextExt(c, "KYD", &fx, box, DT_SINGLELINE, dtEnabled);
    });
    for (TDUDAlignment a : {TDUDAlignment::agTopLeft, TDUDAlignment::agCenter, TDUDAlignment::agBottomRight})
        Tile(grid, i++, 4, "aligned text", 110, 90, [a](TQtCanvas& c, const TRect& r) {
            c.Brush = TBrush(clWhite);
            c.FillRect(r);
            c.Brush = TBrush(clGray);
            c.FrameRect(r);
            TDUD3DCaption cap;
            cap.SetStyle(TDUDThreeDStyle::tdRaisedShadow);
            TFont f = c.Font;
            f.Size = 10;
            c.Font = f;
            DUDDrawText(c, "Aligned", &cap, DUDAlignTextRect(a, "Aligned", &cap, r, f, false, false),
                        DT_SINGLELINE);
        });
    Tile(grid, i++, 4, "design frame", 110, 90, [](TQtCanvas& c, const TRect& r) {
        TDUDControl control;
        control.resize(r.Width(), r.Height());
        c.Brush = TBrush(clTeal);
        c.FillRect(r);
        control.DrawDashedFrame(c);
    });
    Tile(grid, i++, 4, "copy rect, flipped", 110, 90, [&](TQtCanvas& c, const TRect& r) {
        TDUDBitmapEffectObject e;
        e.SetFlag(0, true);
        QImage target = c.Image().copy(ToQRect(r)).convertToFormat(QImage::Format_BGR888);
        e.DrawCopyRect(pic, {0, 0, 40, 28}, target, {10, 10});
        c.DrawImage(r, target, target.rect());
    });
    Tile(grid, i++, 4, "cut rect, grey", 110, 90, [&](TQtCanvas& c, const TRect& r) {
        TDUDBitmapEffectObject e;
        e.SetFlag(2, true);
        QImage target = c.Image().copy(ToQRect(r)).convertToFormat(QImage::Format_BGR888);
        e.DrawCutRect(pic, {0, 0, 20, 14}, {5, 5, 85, 61}, target);
        c.DrawImage(r, target, target.rect());
    });
    Tile(grid, i++, 4, "cut rect 2, blended", 110, 90, [&](TQtCanvas& c, const TRect& r) {
        TDUDBitmapEffectObject e;
        e.AlphaBlend().FillObject().SetStyle(TDUDFillStyle::sfGradient);
        e.AlphaBlend().SetStrength(0.5);
        QImage target = c.Image().copy(ToQRect(r)).convertToFormat(QImage::Format_BGR888);
        e.DrawCutRect2(pic, {0, 0, 40, 28}, {10, 10, 50, 38}, target);
        c.DrawImage(r, target, target.rect());
    });
    Tile(grid, i++, 4, "system icons", 110, 90, [](TQtCanvas& c, const TRect& r) {
        const TDUDImageListItem& icons = DUDSISystemIconList(true);
        TDUDImageList list;
        static_cast<TDUDImageListItem*>(list.Add())->Assign(icons);
        const int shown[] = {QStyle::SP_MessageBoxInformation, QStyle::SP_MessageBoxWarning,
                             QStyle::SP_MessageBoxCritical, QStyle::SP_DialogOkButton};
        int x = r.Left + 4;
        for (int k : shown) {
            list.ClipDraw(c, {x, r.Top + 20, x + 24, r.Top + 60}, 0, clNone, 0, k);
            x += 26;
        }
    });
    EXPECT_FALSE(kyd::test::SaveScreenshot(panel.get(), "painting_text_and_effects").isEmpty());
}
