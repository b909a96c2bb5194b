// Shaped forms on a desktop with a real window manager (Xvfb and openbox):
// whether the manager frames them, read from the window's properties with
// xprop, and what the X screen shows of them. Writes form_shape_desktop.png
// (a part of the screen around a shaped form) into the screenshots folder.
#include "support/screenshot.h"

#include "widgets/shapes/qt/form_shape.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

using namespace kyd::widgets;

namespace {

constexpr int kSettleMs = 5000;
constexpr TColor kFill = 0xC0FFFF;

// A property of an X window as xprop prints it, without the name.
QString XProp(WId window, const char* property)
{
    QProcess p;
    p.start("xprop", {"-id", QString::number(window), property});
    p.waitForFinished(kSettleMs);
    const QString out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    const qsizetype eq = out.indexOf(" = ");
    return eq < 0 ? out : out.mid(eq + 3);
}

// The frame the window manager put round the window: left, right, top,
// bottom; empty until it has set them.
QString FrameExtents(QWidget& w) { return XProp(w.winId(), "_NET_FRAME_EXTENTS"); }

QColor ScreenPixel(const QPoint& p)
{
    return QGuiApplication::primaryScreen()->grabWindow(0, p.x(), p.y(), 1, 1).toImage().pixelColor(0, 0);
}

} // namespace

TEST(DesktopFormShape, FramelessFormKeepingItsCaptionHasNoFrameAndIsShaped)
{
    QWidget form;
    form.setWindowTitle("shaped");
    form.setWindowFlag(Qt::FramelessWindowHint); // border style none
    form.setGeometry(200, 150, 320, 200);
    auto* text = new QLabel("Dispenser ready", &form);
    text->setGeometry(110, 90, 140, 20);
    TDUDFormShape shape(&form);
    ASSERT_TRUE(shape.ShowFormCaption());
    shape.Region().SetRegionShape(TDUDRegionShape::rsElliptic);
    shape.FillObject().SetStyle(TDUDFillStyle::sfBrush);
    shape.FillObject().SetBrush(TBrush(kFill));
    shape.Border().SetBorderStyle(TDUDRegionBorderStyle::rbSingleRaised);
    shape.Loaded();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, kSettleMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return FrameExtents(form).contains(','); }, kSettleMs)) << "no frame extents";
    EXPECT_EQ(FrameExtents(form), "0, 0, 0, 0");
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::FramelessWindowHint));

    // The screen shows the fill inside the ellipse and the desktop at its corners.
    const QPoint origin = form.mapToGlobal(QPoint(0, 0));
    const QColor fill = ToQColor(kFill);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ScreenPixel(origin + QPoint(160, 60)) == fill; }, kSettleMs));
    EXPECT_NE(ScreenPixel(origin + QPoint(3, 3)), fill);
    EXPECT_NE(ScreenPixel(origin + QPoint(316, 196)), fill);

    QDir().mkpath(kyd::test::ScreenshotDir());
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, origin.x() - 30, origin.y() - 30, 380, 260);
    EXPECT_TRUE(shot.save(kyd::test::ScreenshotDir() + "/form_shape_desktop.png", "PNG"));
}

TEST(DesktopFormShape, FramedFormLosesItsFrameOnlyWhileItsCaptionIsNotKept)
{
    QWidget form;
    form.setWindowTitle("framed");
    form.setGeometry(600, 150, 240, 160);
    TDUDFormShape shape(&form);
    shape.Region().SetRegionShape(TDUDRegionShape::rsRoundRect);
    shape.Loaded();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, kSettleMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return FrameExtents(form).contains(','); }, kSettleMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return FrameExtents(form) != "0, 0, 0, 0"; }, kSettleMs))
        << FrameExtents(form).toStdString();

    shape.SetShowFormCaption(false);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, kSettleMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return FrameExtents(form) == "0, 0, 0, 0"; }, kSettleMs))
        << FrameExtents(form).toStdString();
}
