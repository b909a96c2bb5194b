// A shaped form, for looking at: `ctest -L screenshots`, then
// build/screenshots/form_shape.png (what lies outside the outline is grey;
// the small framed control right of OK shows the form's fill behind it).
#include "support/screenshot.h"

#include "platform/qt/ui_scale.h"
#include "widgets/controls/qt/custom_control.h"
#include "widgets/shapes/qt/form_shape.h"
#include "widgets/framework/qt/qt_canvas.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace kyd::widgets;
using kyd::platform::UiScale;

TEST(WidgetScreenshots, ShapedForm)
{
    QWidget form;
    const auto s = UiScale::For(&form);
    form.resize(s.X(260), s.Y(160));
    auto* text = new QLabel("Dispenser ready", &form);
    text->setGeometry(s.X(90), s.Y(60), s.X(140), s.Y(20));
    auto* ok = new QPushButton("OK", &form);
    ok->setGeometry(s.X(110), s.Y(95), s.X(70), s.Y(24));
    // A control of the library paints the form's fill behind it, a flat
    // border on top (its own colour, red, would show where it does not).
    auto* panel = new TDUDCustomControl(&form);
    panel->setGeometry(s.X(190), s.Y(95), s.X(50), s.Y(24));
    panel->SetColor(clRed);
    panel->SetFlat(true);
    TDUDFormShape shape(&form);
    shape.Region().SetRegionShape(TDUDRegionShape::rsRoundThinkBubble);
    shape.Region().SetNosePos(TDUDExtPos::epTopLeft);
    shape.SetShowFormCaption(false);
    shape.FillObject().SetStyle(TDUDFillStyle::sfBrush);
    shape.FillObject().SetBrush(TBrush(0xC0FFFF));
    shape.Border().SetBorderStyle(TDUDRegionBorderStyle::rbSingleRaised);
    shape.Loaded();
    form.show();
    ASSERT_FALSE(form.mask().isEmpty());

    QImage img = form.grab().toImage();
    {
        QPainter pt(&img);
        pt.setClipRegion(QRegion(img.rect()) - form.mask());
        pt.fillRect(img.rect(), QColor(96, 96, 96));
    }
    QLabel shot;
    shot.setPixmap(QPixmap::fromImage(img));
    shot.resize(img.size());
    kyd::test::SaveScreenshot(&shot, "form_shape");
}
