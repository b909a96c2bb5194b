// A transparent windowed control still paints its content, over the
// parent's background instead of its own colour.
#include "pixels.h"
#include "widgets/controls/qt/custom_control.h"

#include <QApplication>
#include <QWidget>
#include <gtest/gtest.h>

using namespace kyd::widgets;
using namespace kyd::widgets::test;

namespace {

class Marked : public TDUDCustomControl {
public:
    using TDUDCustomControl::TDUDCustomControl;

protected:
    void Paint(TCanvas& canvas) override
    {
        FillControl(canvas);
        canvas.Brush = {clRed, TBrushStyle::bsSolid};
        canvas.FillRect({10, 5, 30, 15});
    }
};

} // namespace

TEST(WidgetControl, TransparentControlPaintsItsContentOverTheParent)
{
    QWidget form;
    form.resize(60, 40);
    QPalette pal = form.palette();
    pal.setColor(QPalette::Window, QColor(0, 0x80, 0));
    form.setPalette(pal);
    form.setAutoFillBackground(true);
    auto* c = new Marked(&form);
    c->setGeometry(5, 5, 40, 20);
    c->SetColor(clBlue);

    QImage opaque = form.grab().toImage();
    EXPECT_EQ(Hex(Rgb(clRed)), Hex(Px(opaque, 5 + 20, 5 + 10)));
    EXPECT_EQ(Hex(Rgb(clBlue)), Hex(Px(opaque, 5 + 2, 5 + 2)));

    c->SetTransparent(true);
    QImage see = form.grab().toImage();
    EXPECT_EQ(Hex(Rgb(clRed)), Hex(Px(see, 5 + 20, 5 + 10)));          // the content
    EXPECT_EQ(Hex(RGB(0, 0x80, 0)), Hex(Px(see, 5 + 2, 5 + 2)));     // the parent's background
    EXPECT_EQ(Hex(RGB(0, 0x80, 0)), Hex(Px(see, 1, 1)));
}
