// A shaped form on the offscreen platform.
#include "widgets/services/application.h"
#include "widgets/shapes/qt/form_shape.h"
#include "widgets/controls/qt/custom_control.h"
#include "widgets/framework/qt/qt_canvas.h"

#include <QApplication>
#include <QBuffer>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>

using namespace kyd::widgets;

namespace {

void Mouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

} // namespace

TEST(FormShape, MaskFollowsTheSizeAndAFreeSpotDragsTheForm)
{
    QWidget form;
    form.setGeometry(100, 100, 200, 100);
    auto* button = new QPushButton("OK", &form);
    button->setGeometry(60, 40, 60, 24); // inside the outline
    TDUDFormShape shape(&form);
    shape.SetShowFormCaption(false);
    shape.Loaded();
    shape.Region().SetRegionShape(TDUDRegionShape::rsElliptic); // re-masks
    form.show();
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(form.mask(), DUDEllipticRgn({0, 0, 200, 100}));
    form.resize(300, 150);
    EXPECT_EQ(form.mask(), DUDEllipticRgn({0, 0, 300, 150}));

    // A press on a control does not move the form, nor does the right button.
    const QPoint start = form.pos();
    Mouse(&form, QEvent::MouseButtonPress, {70, 50}, Qt::LeftButton, Qt::LeftButton);
    Mouse(&form, QEvent::MouseMove, {90, 70}, Qt::NoButton, Qt::LeftButton);
    Mouse(&form, QEvent::MouseButtonRelease, {90, 70}, Qt::LeftButton, Qt::NoButton);
    Mouse(&form, QEvent::MouseButtonPress, {170, 75}, Qt::RightButton, Qt::RightButton);
    Mouse(&form, QEvent::MouseMove, {170, 95}, Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(form.pos(), start);
    Mouse(&form, QEvent::MouseButtonRelease, {170, 95}, Qt::RightButton, Qt::NoButton);

    // A free spot drags it (by hand where the system cannot move windows).
    Mouse(&form, QEvent::MouseButtonPress, {170, 75}, Qt::LeftButton, Qt::LeftButton);
    Mouse(&form, QEvent::MouseMove, {190, 95}, Qt::NoButton, Qt::LeftButton);
    Mouse(&form, QEvent::MouseButtonRelease, {190, 95}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(form.pos(), start + QPoint(20, 20));

    // An outline without data leaves the form unmasked.
    TDUDBorderRegion r;
    r.SetRegionShape(TDUDRegionShape::rsPointList);
    shape.SetRegion(r);
    EXPECT_TRUE(form.mask().isEmpty());
}

TEST(FormShape, FillAndBorderPaintTheClientArea)
{
    QWidget form;
    form.resize(120, 80);
    TDUDFormShape shape(&form);
    shape.Region().SetRegionShape(TDUDRegionShape::rsRect);
    shape.FillObject().SetStyle(TDUDFillStyle::sfBrush);
    shape.FillObject().SetBrush(TBrush(0x0000FF));
    shape.Border().SetColor(2, 0x00FF00);
    shape.Loaded();
    const QImage img = form.grab().toImage();
    EXPECT_EQ(FromQColor(img.pixelColor(60, 40)), 0x0000FFu) << "the fill";
    EXPECT_EQ(FromQColor(img.pixelColor(0, 40)), 0x00FF00u) << "the border";
    EXPECT_EQ(shape.BackBitmap().size(), QSize(120, 80));
    EXPECT_TRUE(shape.BackBitmapCheck());
    QImage area = MakeCanvasImage(10, 10);
    {
        TQtCanvas c(area);
        EXPECT_TRUE(shape.BackDrawArea(c, {0, 0, 10, 10}, {50, 30}));
    }
    EXPECT_EQ(FromQColor(area.pixelColor(5, 5)), 0x0000FFu);
    shape.FillObject().SetStyle(TDUDFillStyle::sfNone);
    TQtCanvas c(area);
    EXPECT_FALSE(shape.BackDrawArea(c, {0, 0, 10, 10}, {50, 30}));
}

TEST(FormShape, TracedOutlinePaintsItsBorderPictureAndSizesTheForm)
{
    QWidget form;
    form.resize(100, 100);
    TDUDFormShape shape(&form);
    shape.SetShowFormCaption(false);
    shape.FillObject().SetStyle(TDUDFillStyle::sfBrush);
    shape.FillObject().SetBrush(TBrush(0x0000FF));
    QImage pic(30, 20, QImage::Format_RGB32);
    pic.fill(QColor(0, 255, 0));
    QByteArray bmp;
    QBuffer buf(&bmp);
    pic.save(&buf, "BMP");
    TDUDRegionMask mask;
    mask.SetRects({{0, 0, 30, 20}});
    mask.SetBorderBmp(TDUDRegionMask::biBorder, {bmp.begin(), bmp.end()});
    shape.Region().SetMask(mask);
    shape.Region().SetRegionShape(TDUDRegionShape::rsBitmap);
    shape.Loaded();
    // The picture plus room for the shadow (its depth counts even when off).
    EXPECT_EQ(form.size(), QSize(36, 26));
    EXPECT_EQ(form.mask(), QRegion(0, 0, 30, 20));
    EXPECT_TRUE(shape.BackBitmapCheck());
    EXPECT_EQ(shape.BackBitmap().size(), QSize(30, 20));
    EXPECT_EQ(FromQColor(form.grab().toImage().pixelColor(15, 10)), 0x00FF00u) << "the picture, not the fill";
    // Controls painting the form's background behind them get the picture.
    QImage area = MakeCanvasImage(10, 10);
    {
        TQtCanvas c(area);
        EXPECT_TRUE(shape.BackDrawArea(c, {0, 0, 10, 10}, shape.BackMapPoint({5, 5})));
    }
    EXPECT_EQ(FromQColor(area.pixelColor(5, 5)), 0x00FF00u);
    shape.SetUseRgnBitmap(false);
    EXPECT_EQ(FromQColor(form.grab().toImage().pixelColor(15, 10)), 0x0000FFu) << "the fill";
}

TEST(FormShape, BitmapListFillFollowsTheIndexAndTheList)
{
    QWidget form;
    form.resize(40, 40);
    TDUDBitmapList list;
    const auto solid = [](QColor c) {
        QImage i(8, 8, QImage::Format_RGB32);
        i.fill(c);
        return i;
    };
    static_cast<TDUDBitmapListItem*>(list.Add())->SetBitmap(solid(QColor(255, 0, 0)));
    static_cast<TDUDBitmapListItem*>(list.Add())->SetBitmap(solid(QColor(0, 0, 255)));
    TDUDFormShape shape(&form);
    shape.Region().SetRegionShape(TDUDRegionShape::rsRect);
    shape.FillObject().SetStyle(TDUDFillStyle::sfBitmapList);
    shape.SetImageList(&list);
    shape.Loaded();
    const auto centre = [&] { return FromQColor(form.grab().toImage().pixelColor(20, 20)); };
    EXPECT_EQ(centre(), 0x0000FFu);
    shape.SetListIndex(1);
    EXPECT_EQ(centre(), 0xFF0000u);
    list.Item(1)->SetBitmap(solid(QColor(0, 255, 0)));
    list.Changed();
    EXPECT_EQ(centre(), 0x00FF00u);
    shape.SetListIndex(5); // no such item: nothing of the list is painted
    EXPECT_NE(centre(), 0x00FF00u);
}

TEST(FormShape, AFramelessFormStaysFramelessAndIsShapedWhateverTheCaptionSetting)
{
    QWidget form;
    form.setWindowFlag(Qt::FramelessWindowHint); // border style none
    form.resize(200, 100);
    TDUDFormShape shape(&form);
    shape.Region().SetRegionShape(TDUDRegionShape::rsElliptic);
    shape.Loaded();
    form.show();
    EXPECT_TRUE(shape.ShowFormCaption());
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(form.mask(), DUDEllipticRgn({0, 0, 200, 100})) << "elliptic, no caption strip";
    shape.SetShowFormCaption(false);
    shape.SetShowFormCaption(true);
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::FramelessWindowHint));

    // A framed form loses its frame only while it does not keep its caption.
    QWidget framed;
    framed.resize(200, 100);
    TDUDFormShape other(&framed);
    other.Loaded();
    EXPECT_FALSE(framed.windowFlags().testFlag(Qt::FramelessWindowHint));
    other.SetShowFormCaption(false);
    EXPECT_TRUE(framed.windowFlags().testFlag(Qt::FramelessWindowHint));
    other.SetShowFormCaption(true);
    EXPECT_FALSE(framed.windowFlags().testFlag(Qt::FramelessWindowHint));
}

TEST(FormShape, BorderCoversTheOutlineAndPointListsAndShadowsArePainted)
{
    constexpr TColor kFill = 0xFF0000, kBorder = 0x00FF00, kShade = 0x000080;
    const auto setUp = [&](TDUDFormShape& shape) {
        shape.SetShowFormCaption(false);
        shape.FillObject().SetStyle(TDUDFillStyle::sfBrush);
        shape.FillObject().SetBrush(TBrush(kFill));
        shape.Border().SetColor(2, kBorder);
    };
    // No pixel of the body shows outside the border at the rounded corners.
    for (const auto shape : {TDUDRegionShape::rsRoundRect, TDUDRegionShape::rsElliptic, TDUDRegionShape::rsRect}) {
        QWidget form;
        form.resize(160, 90);
        TDUDFormShape fs(&form);
        setUp(fs);
        fs.Region().SetRegionShape(shape);
        fs.Loaded();
        const QImage img = form.grab().toImage();
        const QRegion mask = form.mask();
        int outside = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                if (!mask.contains(QPoint(x, y)))
                    continue;
                const bool edge = !mask.contains(QPoint(x - 1, y)) || !mask.contains(QPoint(x + 1, y)) ||
                                  !mask.contains(QPoint(x, y - 1)) || !mask.contains(QPoint(x, y + 1));
                outside += edge && FromQColor(img.pixelColor(x, y)) == kFill;
            }
        EXPECT_EQ(outside, 0) << "fill pixels on the outline's edge, shape " << int(shape);
    }

    // A point-list outline gets its border; the shadow is painted beside it.
    QWidget form;
    form.resize(120, 100);
    TDUDFormShape fs(&form);
    setUp(fs);
    fs.Region().Shadow().SetStyle(TDUDShadowStyle::hssSolid);
    fs.Region().Shadow().SetColor(kShade);
    fs.Region().Shadow().SetDepth(6);
    fs.Region().SetRegionShape(TDUDRegionShape::rsPointList);
    fs.Region().SetUserPolygonRgn({{0, 0}, {100, 0}, {100, 80}, {0, 80}});
    fs.Loaded();
    const QImage img = form.grab().toImage();
    EXPECT_EQ(FromQColor(img.pixelColor(50, 0)), kBorder) << "the top line";
    EXPECT_EQ(FromQColor(img.pixelColor(0, 40)), kBorder) << "the left line";
    EXPECT_EQ(FromQColor(img.pixelColor(103, 40)), kShade) << "the shadow right of the outline";
}

TEST(FormShape, OneToAFormAndTheGlobalImageListByItsIdentity)
{
    QWidget form;
    {
        TDUDFormShape first(&form);
        EXPECT_THROW(TDUDFormShape second(&form), EDUDOneInst);
    }
    TDUDFormShape shape(&form); // the first one is gone

    TDUDStreamProperties props;
    shape.DefineProperties(props);
    EXPECT_TRUE(props.empty());
    TDUDBitmapList own;
    shape.SetImageList(&own);
    shape.DefineProperties(props);
    EXPECT_TRUE(props.empty()) << "a list of the form is a reference, not an identity";
    shape.SetImageList(&DUDGlobalContainer().ImageList);
    shape.DefineProperties(props);
    ASSERT_EQ(props.size(), 1u);
    EXPECT_EQ(props[0].Name, "Internal");
    EXPECT_EQ(std::string(props[0].Data.begin(), props[0].Data.end()), "DUDIML30");

    QWidget other;
    TDUDFormShape loaded(&other);
    loaded.SetImageList(&own);
    loaded.ReadProperties(props);
    EXPECT_EQ(loaded.ImageList(), &DUDGlobalContainer().ImageList);
    loaded.ReadProperties({{"Internal", {'X'}}});
    EXPECT_EQ(loaded.ImageList(), nullptr);
}

TEST(FormShape, APressOnADisabledControlDragsTheFormAndAnEnabledOneDoesNot)
{
    QWidget form;
    form.setWindowFlag(Qt::FramelessWindowHint);
    form.setGeometry(100, 100, 200, 100);
    auto* off = new QPushButton("Off", &form);
    off->setGeometry(10, 10, 60, 24);
    off->setEnabled(false);
    auto* on = new QPushButton("On", &form);
    on->setGeometry(100, 10, 60, 24);
    TDUDFormShape shape(&form);
    shape.Region().SetRegionShape(TDUDRegionShape::rsRect);
    shape.Loaded();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QWindow* window = form.windowHandle();
    ASSERT_NE(window, nullptr);

    // Through the window, as a press comes from the screen.
    const QPoint start = form.pos();
    QTest::mousePress(window, Qt::LeftButton, {}, QPoint(130, 20));
    QTest::mouseMove(window, QPoint(150, 40));
    QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(150, 40));
    EXPECT_EQ(form.pos(), start) << "an enabled control keeps its press";

    QTest::mousePress(window, Qt::LeftButton, {}, QPoint(40, 20));
    QTest::mouseMove(window, QPoint(60, 45));
    // The form has moved under the pointer: the pointer is at (40, 20) of it again.
    QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(40, 20));
    EXPECT_EQ(form.pos(), start + QPoint(20, 25)) << "a disabled control is a free spot";
}

TEST(FormShape, ChangesOfRegionFillAndListFireTheComponentsOnChange)
{
    QWidget form;
    form.resize(100, 60);
    TDUDFormShape shape(&form);
    shape.Loaded();
    int changes = 0;
    shape.OnChange = [&](void*) { ++changes; };
    shape.Region().SetRegionShape(TDUDRegionShape::rsElliptic);
    EXPECT_EQ(changes, 1);
    shape.FillObject().SetStyle(TDUDFillStyle::sfBrush);
    EXPECT_EQ(changes, 2);
    shape.SetUseRgnBitmap(false);
    EXPECT_EQ(changes, 3);
    TDUDBitmapList list;
    shape.SetImageList(&list);
    EXPECT_GE(changes, 4);
}

TEST(FormShape, AFormShapeMadeInCodeShapesItsFormWhenTheFormIsFirstShown)
{
    QWidget form;
    form.setWindowFlag(Qt::FramelessWindowHint);
    form.resize(200, 100);
    TDUDFormShape shape(&form); // Loaded is never called
    shape.Region().SetRegionShape(TDUDRegionShape::rsElliptic);
    EXPECT_FALSE(shape.Hooked());
    form.show();
    EXPECT_EQ(form.mask(), DUDEllipticRgn({0, 0, 200, 100}));
    EXPECT_TRUE(shape.Hooked());
    form.resize(300, 150);
    EXPECT_EQ(form.mask(), DUDEllipticRgn({0, 0, 300, 150})) << "and keeps it in step";
}

TEST(FormShape, AFormShapeMadeInCodeForAFormOnTheScreenShapesItOnceTheEventLoopRuns)
{
    QWidget form;
    form.setWindowFlag(Qt::FramelessWindowHint);
    form.resize(200, 100);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    TDUDFormShape shape(&form); // Loaded is never called, the form is not shown again
    shape.Region().SetRegionShape(TDUDRegionShape::rsElliptic);
    EXPECT_TRUE(QTest::qWaitFor([&] { return shape.Hooked(); }));
    form.resize(300, 150);
    EXPECT_EQ(form.mask(), DUDEllipticRgn({0, 0, 300, 150})) << "it keeps the outline in step with the size";

    // One that goes before the event loop runs again is not looked for.
    QWidget other;
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    std::make_unique<TDUDFormShape>(&other).reset();
    QCoreApplication::processEvents();
    EXPECT_TRUE(other.mask().isEmpty());
}

TEST(FormShape, ControlsOnTheFormPaintItsBackgroundBehindThem)
{
    constexpr TColor kFill = 0x00C000, kOwn = 0x123456;
    QWidget form;
    form.resize(120, 80);
    auto* panel = new QWidget(&form);
    panel->setGeometry(10, 10, 100, 60);
    auto* control = new TDUDCustomControl(panel);
    control->setGeometry(5, 5, 40, 20);
    control->SetColor(kOwn);
    EXPECT_FALSE(control->BackBitmapCheck());
    EXPECT_EQ(FromQColor(control->Picture().pixelColor(10, 10)), kOwn) << "no form shape: its own colour";

    TDUDFormShape shape(&form);
    shape.Region().SetRegionShape(TDUDRegionShape::rsRect);
    shape.Loaded();
    EXPECT_FALSE(control->BackBitmapCheck()) << "no fill, nothing to take";
    shape.FillObject().SetStyle(TDUDFillStyle::sfBrush);
    shape.FillObject().SetBrush(TBrush(kFill));
    EXPECT_TRUE(control->BackBitmapCheck());
    EXPECT_EQ(FromQColor(control->Picture().pixelColor(10, 10)), kFill) << "the form's fill";
    control->SetTransparent(true);
    EXPECT_TRUE(control->CheckOptimized());

    // A traced picture: the control shows the part of it where it sits.
    QImage pic(120, 80, QImage::Format_RGB32);
    pic.fill(QColor(255, 0, 0));
    for (int y = 0; y < 80; ++y)
        for (int x = 30; x < 120; ++x)
            pic.setPixelColor(x, y, QColor(0, 0, 255));
    QByteArray bmp;
    QBuffer buf(&bmp);
    pic.save(&buf, "BMP");
    TDUDRegionMask mask;
    mask.SetRects({{0, 0, 120, 80}});
    mask.SetBorderBmp(TDUDRegionMask::biBorder, {bmp.begin(), bmp.end()});
    shape.Region().SetMask(mask);
    shape.Region().SetRegionShape(TDUDRegionShape::rsBitmap);
    const QImage seen = control->Picture();
    EXPECT_EQ(FromQColor(seen.pixelColor(2, 10)), 0x0000FFu) << "form x 17: red in the picture";
    EXPECT_EQ(FromQColor(seen.pixelColor(30, 10)), 0xFF0000u) << "form x 45: blue in the picture";
}

// The form, its window, the form shape and the controls that take the
// form's background go in any order; nothing touches what is gone.
TEST(FormShape, FormGoneBeforeItsShapeAndShapeGoneBeforeItsForm)
{
    constexpr TColor kFill = 0x00C000, kOwn = 0x123456;
    const auto shaped = [&](QWidget& form) {
        auto shape = std::make_unique<TDUDFormShape>(&form);
        shape->FillObject().SetStyle(TDUDFillStyle::sfBrush);
        shape->FillObject().SetBrush(TBrush(kFill));
        shape->Region().SetRegionShape(TDUDRegionShape::rsElliptic);
        return shape;
    };
    {
        // The form first: the shape outlives it and is still used.
        auto form = std::make_unique<QWidget>();
        form->resize(120, 80);
        auto* control = new TDUDCustomControl(form.get());
        control->setGeometry(5, 5, 40, 20);
        auto shape = shaped(*form);
        form->show(); // loads it; the form's window is watched
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        EXPECT_EQ(FromQColor(control->Picture().pixelColor(10, 10)), kFill);
        form.reset();
        EXPECT_EQ(shape->GetOwnerForm(), nullptr);
        shape->SetShowFormCaption(false);
        shape->Region().SetRegionShape(TDUDRegionShape::rsRect);
        shape->FillObject().SetBrush(TBrush(kOwn));
        EXPECT_TRUE(shape->BackBitmap().isNull());
        // A new form, perhaps where the old one was, takes a new shape.
        QWidget next;
        next.resize(60, 40);
        auto* other = new TDUDCustomControl(&next);
        other->SetColor(kOwn);
        EXPECT_EQ(FromQColor(other->Picture().pixelColor(1, 1)), kOwn) << "the gone form's shape is not its";
        EXPECT_NO_THROW(TDUDFormShape second(&next));
    }
    {
        // The shape first: the form's controls paint their own colour again
        // and the form's window no longer reaches the shape.
        QWidget form;
        form.setWindowFlag(Qt::FramelessWindowHint);
        form.setGeometry(100, 100, 120, 80);
        auto* control = new TDUDCustomControl(&form);
        control->setGeometry(5, 5, 40, 20);
        control->SetColor(kOwn);
        auto* off = new QPushButton("Off", &form);
        off->setGeometry(60, 40, 40, 20);
        off->setEnabled(false);
        auto shape = shaped(form);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        EXPECT_EQ(FromQColor(control->Picture().pixelColor(10, 10)), kFill);
        shape.reset();
        EXPECT_EQ(FromQColor(control->Picture().pixelColor(10, 10)), kOwn);
        const QPoint start = form.pos();
        QTest::mousePress(form.windowHandle(), Qt::LeftButton, {}, QPoint(70, 50));
        QTest::mouseMove(form.windowHandle(), QPoint(90, 60));
        QTest::mouseRelease(form.windowHandle(), Qt::LeftButton, {}, QPoint(90, 60));
        EXPECT_EQ(form.pos(), start);
        form.resize(150, 90);
        EXPECT_NO_THROW(TDUDFormShape again(&form));
    }
    {
        // A control moved from a shaped form to a plain one and back, and a
        // form whose frame is taken off and put back before it goes.
        QWidget form, plain;
        form.resize(120, 80);
        plain.resize(120, 80);
        auto* control = new TDUDCustomControl(&form);
        control->setGeometry(5, 5, 40, 20);
        control->SetColor(kOwn);
        auto shape = shaped(form);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        control->setParent(&plain);
        EXPECT_EQ(FromQColor(control->Picture().pixelColor(10, 10)), kOwn);
        control->setParent(&form);
        EXPECT_EQ(FromQColor(control->Picture().pixelColor(10, 10)), kFill);
        shape->SetShowFormCaption(false);
        shape->SetShowFormCaption(true);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        QTest::mousePress(form.windowHandle(), Qt::LeftButton, {}, QPoint(100, 70));
        QTest::mouseRelease(form.windowHandle(), Qt::LeftButton, {}, QPoint(100, 70));
    }
}

