// Shaped forms on a desktop with a real window manager (Xvfb and openbox):
// whether the manager frames them, read from the window's properties with
// xprop, and what the X screen shows of them. Writes form_shape_desktop.png
// (a part of the screen around a shaped form) into the screenshots folder.
#include "support/screenshot.h"

#include "widgets/shapes/qt/form_shape.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
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

// Where the X server has the window's client area on the screen.
QPoint ServerPosition(QWidget& w)
{
    QProcess p;
    p.start("xwininfo", {"-id", QString::number(w.winId())});
    p.waitForFinished(kSettleMs);
    QPoint at(-1, -1);
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
        const QString t = line.trimmed();
        if (t.startsWith("Absolute upper-left X:"))
            at.setX(t.section(':', 1).trimmed().toInt());
        else if (t.startsWith("Absolute upper-left Y:"))
            at.setY(t.section(':', 1).trimmed().toInt());
    }
    return at;
}

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

TEST(DesktopFormShape, CaptionOffAndOnAgainKeepsTheFormWhereItWas)
{
    QWidget form;
    form.setWindowTitle("caption");
    form.setGeometry(300, 420, 240, 160);
    TDUDFormShape shape(&form);
    shape.Region().SetRegionShape(TDUDRegionShape::rsRoundRect);
    shape.Loaded();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, kSettleMs));
    const auto framed = [&] { return FrameExtents(form).contains(',') && FrameExtents(form) != "0, 0, 0, 0"; };
    // Framed, and the program has heard of its frame.
    ASSERT_TRUE(QTest::qWaitFor([&] { return framed() && form.frameGeometry().top() < form.geometry().top(); },
                                kSettleMs));
    // Where the X server has the form's client area once the manager has framed it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return ServerPosition(form) == form.geometry().topLeft(); }, kSettleMs));
    const QPoint client = ServerPosition(form);
    const auto at = [&] {
        const QPoint p = ServerPosition(form);
        return std::to_string(p.x()) + "," + std::to_string(p.y());
    };
    // Off and on again at once (as a program switching its look does), twice.
    for (int round = 1; round <= 2; ++round) {
        shape.SetShowFormCaption(false);
        shape.SetShowFormCaption(true);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, kSettleMs)) << "round " << round;
        ASSERT_TRUE(QTest::qWaitFor(framed, kSettleMs)) << "round " << round;
        EXPECT_TRUE(QTest::qWaitFor([&] { return ServerPosition(form) == client; }, kSettleMs))
            << "round " << round << ": framed again, the body is where it was, not at " << at();
    }
    // And with the unframed window shown in between.
    shape.SetShowFormCaption(false);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, kSettleMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return FrameExtents(form) == "0, 0, 0, 0"; }, kSettleMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return ServerPosition(form) == client; }, kSettleMs))
        << "without its frame the body stays, not at " << at();
    shape.SetShowFormCaption(true);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, kSettleMs));
    ASSERT_TRUE(QTest::qWaitFor(framed, kSettleMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return ServerPosition(form) == client; }, kSettleMs))
        << "framed again, the body is where it was, not at " << at();
}

// One step at a time, each waited out: the manager has unframed or framed
// the window and the program has heard of it. Both the X server and the
// program then have the body where it was; the program's idea of where its
// window is must not be left a frame's height off what the screen shows.
TEST(DesktopFormShape, CaptionOffThenOnLeavesTheBodyWhereItWasOnTheScreenAndInTheProgram)
{
    QWidget form;
    form.setWindowTitle("steps");
    form.setGeometry(700, 420, 240, 160);
    TDUDFormShape shape(&form);
    shape.Region().SetRegionShape(TDUDRegionShape::rsRect);
    shape.Loaded();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, kSettleMs));
    const auto framed = [&] {
        const QString e = FrameExtents(form);
        return e.contains(',') && e != "0, 0, 0, 0" && form.frameGeometry().top() < form.geometry().top();
    };
    ASSERT_TRUE(QTest::qWaitFor(framed, kSettleMs)) << "never framed";
    ASSERT_TRUE(QTest::qWaitFor([&] { return ServerPosition(form) == form.geometry().topLeft(); }, kSettleMs));
    const QPoint client = ServerPosition(form);
    const auto where = [&] {
        const QPoint s = ServerPosition(form), g = form.geometry().topLeft();
        return "the screen has it at " + std::to_string(s.x()) + "," + std::to_string(s.y()) +
               ", the program at " + std::to_string(g.x()) + "," + std::to_string(g.y());
    };
    const auto inPlace = [&] { return ServerPosition(form) == client && form.geometry().topLeft() == client; };

    shape.SetShowFormCaption(false);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, kSettleMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return FrameExtents(form) == "0, 0, 0, 0"; }, kSettleMs));
    EXPECT_TRUE(QTest::qWaitFor(inPlace, kSettleMs)) << "unframed: " << where();
    // What the window system has told the program so far is taken in (a
    // user switches the caption back from the event loop, long after).
    QCoreApplication::processEvents();

    shape.SetShowFormCaption(true);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, kSettleMs));
    ASSERT_TRUE(QTest::qWaitFor(framed, kSettleMs)) << "never framed again";
    EXPECT_TRUE(QTest::qWaitFor(inPlace, kSettleMs)) << "framed again: " << where();
}

TEST(DesktopFormShape, APressOnADisabledControlDragsTheForm)
{
    if (QStandardPaths::findExecutable("xdotool").isEmpty())
        GTEST_SKIP() << "xdotool is missing: the pointer cannot be moved";
    QWidget form;
    form.setWindowTitle("drag");
    form.setWindowFlag(Qt::FramelessWindowHint);
    form.setGeometry(200, 600, 300, 150);
    auto* off = new QPushButton("Off", &form);
    off->setGeometry(20, 20, 100, 30);
    off->setEnabled(false);
    TDUDFormShape shape(&form);
    shape.Region().SetRegionShape(TDUDRegionShape::rsRect);
    shape.Loaded();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, kSettleMs));
    // The window manager moves only windows it has taken on.
    ASSERT_TRUE(QTest::qWaitFor([&] { return FrameExtents(form).contains(','); }, kSettleMs));
    const QPoint start = form.mapToGlobal(QPoint(0, 0));
    const QPoint at = form.mapToGlobal(QPoint(70, 35));
    const auto xdotool = [](const QStringList& args) {
        QProcess p;
        p.start("xdotool", args);
        return p.waitForFinished(kSettleMs) && p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput())
                                                                : QString("failed");
    };
    // Where the X server has the window now (the manager tells the program
    // only when the move ends).
    const QString startOnServer = xdotool({"getwindowgeometry", QString::number(form.winId())});
    ASSERT_TRUE(startOnServer.contains("Position:")) << startOnServer.toStdString();
    // The press as the form's window sees it.
    struct PressSeen : QObject {
        bool seen = false;
        bool eventFilter(QObject*, QEvent* e) override
        {
            seen = seen || e->type() == QEvent::MouseButtonPress;
            return false;
        }
    } press;
    form.windowHandle()->installEventFilter(&press);
    ASSERT_NE(xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "mousedown", "1"}), "failed");
    ASSERT_TRUE(QTest::qWaitFor([&] { return press.seen; }, kSettleMs));
    // The window manager takes over the move once the form asks it to; the
    // pointer moves on in steps until the window follows.
    bool moved = false;
    for (int step = 1; step <= 20 && !moved; ++step) {
        ASSERT_NE(xdotool({"mousemove", QString::number(at.x() + 4 * step), QString::number(at.y() + 3 * step)}),
                  "failed");
        moved = QTest::qWaitFor(
            [&] { return xdotool({"getwindowgeometry", QString::number(form.winId())}) != startOnServer; }, 250);
    }
    ASSERT_NE(xdotool({"mouseup", "1"}), "failed");
    ASSERT_TRUE(moved) << "the form stayed where it was";
    // Once the move ends the form knows where it is.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const QPoint now = form.mapToGlobal(QPoint(0, 0));
            return now.x() > start.x() && now.y() > start.y();
        },
        kSettleMs));
}
