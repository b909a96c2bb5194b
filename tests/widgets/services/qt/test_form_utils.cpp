// Form helpers (offscreen): modal forms, small bitmaps, masks from a canvas,
// and the explode animation driven step by step.
#include "widgets/services/qt/form_utils.h"
#include "widgets/framework/canvas.h"
#include "widgets/framework/qt/qt_canvas.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>
#include <QTimer>

using namespace kyd::widgets;

TEST(WidgetFormUtils, ShowModalRunsAndFreesTheForm)
{
    QPointer<QDialog> made;
    const int result = DUDShowModal(
        [&](QWidget* owner) {
            auto* d = new QDialog(owner);
            made = d;
            QTimer::singleShot(0, d, [d] { d->done(7); });
            return d;
        },
        nullptr);
    EXPECT_EQ(7, result);
    EXPECT_TRUE(made.isNull());
    EXPECT_EQ(0, DUDShowModal([](QWidget*) { return nullptr; }, nullptr));

    QWidget form;
    DUDCheckFormSysMenu(&form, kDUDAllSysMenuEntries & ~TDUDSysMenuEntries(TDUDSysMenuEntry::smClose));
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowCloseButtonHint));
}

TEST(WidgetFormUtils, IconsSizesMasksAndFontHeight)
{
    QPixmap px(8, 6);
    px.fill(Qt::transparent);
    {
        QPainter p(&px);
        p.fillRect(2, 2, 2, 2, Qt::red);
    }
    QImage bmp;
    DUDIcon2Bitmap(bmp, QIcon(px), clBlue);
    ASSERT_EQ(QSize(8, 6), bmp.size());
    EXPECT_EQ(QColor(Qt::blue), bmp.pixelColor(0, 0));
    EXPECT_EQ(QColor(Qt::red), bmp.pixelColor(2, 2));
    DUDIcon2Bitmap(bmp, QIcon(), clBlue);
    EXPECT_TRUE(bmp.isNull());

    QImage dest(1, 1, QImage::Format_BGR888);
    DUDCopyBmpSize(dest, QImage(5, 3, QImage::Format_RGB32));
    EXPECT_EQ(QSize(5, 3), dest.size());
    EXPECT_EQ(QImage::Format_BGR888, dest.format());

    QImage surface = MakeCanvasImage(10, 10);
    surface.fill(Qt::white);
    surface.setPixelColor(5, 5, Qt::green);
    TQtCanvas canvas(surface);
    QImage mask, image;
    DUDBmpCreateMasksExt(canvas, {4, 4, 20, 7}, mask, image, clWhite); // clipped to 6 x 3
    ASSERT_EQ(QSize(6, 3), image.size());
    EXPECT_EQ(QColor(Qt::white), mask.pixelColor(0, 0));
    EXPECT_EQ(QColor(Qt::black), image.pixelColor(0, 0));
    EXPECT_EQ(QColor(Qt::black), mask.pixelColor(1, 1));
    EXPECT_EQ(QColor(Qt::green), image.pixelColor(1, 1));

    TFont small, big;
    small.Size = 8;
    big.Size = 24;
    EXPECT_GT(DUDGetFontHeight(small), 0);
    EXPECT_GT(DUDGetFontHeight(big), DUDGetFontHeight(small));
    // The text height a canvas gives for the font, not the ink of the "W".
    TFont ten;
    ten.Size = 10;
    for (const TFont& f : {small, ten, big}) {
        QImage text = MakeCanvasImage(1, 1);
        TQtCanvas measure(text);
        measure.Font = f;
        EXPECT_EQ(DUDGetFontHeight(f), measure.TextHeight("W")) << f.Size;
    }
    const QFontMetrics metrics(ToQFont(ten));
    EXPECT_GE(DUDGetFontHeight(ten), metrics.ascent() + metrics.descent());
}

TEST(WidgetFormUtils, ExplodeGrowsAFocusRectangleInATransparentOverlay)
{
    const auto rects = DUDExplodeRects({0, 0}, {40, 20, 80, 60}, 4);
    ASSERT_EQ(4u, rects.size());
    EXPECT_EQ((TRect{10, 5, 20, 15}), rects[0]);
    EXPECT_EQ((TRect{40, 20, 80, 60}), rects[3]);
    EXPECT_TRUE(DUDExplodeRects({0, 0}, {0, 0, 9, 9}, 0).empty());

    QWidget form;
    form.setGeometry(40, 20, 40, 40);
    TDUDExplodeAnimation anim(&form, {0, 0}, 4, 40, false);
    EXPECT_EQ(4, anim.StepInterval()); // delay / 10 ms
    ASSERT_TRUE(anim.Step());
    QWidget* overlay = anim.Overlay();
    ASSERT_NE(nullptr, overlay);
    EXPECT_TRUE(overlay->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(overlay->windowFlags().testFlag(Qt::WindowTransparentForInput));
    QImage shot(overlay->size(), QImage::Format_ARGB32);
    shot.fill(Qt::transparent);
    overlay->render(&shot);
    const QPoint corner = QPoint(10, 5) - overlay->pos();
    EXPECT_EQ(0, qAlpha(shot.pixel(corner + QPoint(1, 1)))); // inside stays clear
    EXPECT_TRUE(overlay->mask().contains(corner));             // and is no part of
    EXPECT_FALSE(overlay->mask().contains(corner + QPoint(1, 1))); // the window
    int dots = 0; // the dotted top edge, 10 pixels long
    for (int x = 0; x < 10; ++x)
        dots += qAlpha(shot.pixel(corner + QPoint(x, 0))) == 255;
    EXPECT_GE(dots, 3);
    EXPECT_LE(dots, 7);
    while (anim.Step()) {
    }
    EXPECT_EQ(4, anim.Current());
    EXPECT_EQ(nullptr, anim.Overlay());

    // A whole run on the event loop (no delay) ends and leaves no overlay.
    DUDExplodeFormExt2(&form, {0, 0}, 3, 0);
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_NE(QStringLiteral("DUDExplodeOverlay"), w->objectName());
}
