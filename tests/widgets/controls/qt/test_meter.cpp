// The meter control: what it paints, when it paints, and its events.
#include "pixels.h"

#include "widgets/controls/qt/custom_control.h"
#include "widgets/controls/qt/meter.h"

#include <QApplication>
#include <QEnterEvent>
#include <QTest>

#include <gtest/gtest.h>

using namespace kyd::widgets;
using kyd::widgets::test::Hex;
using kyd::widgets::test::Px;
using kyd::widgets::test::Rgb;

namespace {

// An 80 x 20 solid-bar meter with the default lowered bevel.
void MakeBar(TDUDProgress& m, TDUDMeterDirection d = TDUDMeterDirection::mdHorizontal)
{
    m.SetStyle(TDUDProgressStyle::pgBar);
    m.SetDirection(d);
    m.SetBounds(0, 0, 80, 20);
}

// Counts paint events of a widget.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// The runs of `color` along a row: their start columns.
std::vector<int> Runs(const QImage& img, int y, TColor color)
{
    std::vector<int> starts;
    bool in = false;
    for (int x = 0; x < img.width(); ++x) {
        const bool hit = Px(img, x, y) == color;
        if (hit && !in)
            starts.push_back(x);
        in = hit;
    }
    return starts;
}

} // namespace

TEST(WidgetMeter, HalfFullBarFillsColumnsOneToThirtyNine)
{
    TDUDProgress m;
    MakeBar(m);
    m.SetPercentValue(50);
    const QImage img = m.Picture();
    const TColor bar = Rgb(clNavy), back = Rgb(clBtnFace);
    for (int y = 1; y <= 18; ++y) {
        for (int x = 1; x <= 39; ++x)
            ASSERT_EQ(bar, Px(img, x, y)) << x << "," << y;
        for (int x = 40; x <= 78; ++x)
            ASSERT_EQ(back, Px(img, x, y)) << x << "," << y;
        // The bevel's one-pixel frame outside.
        ASSERT_EQ(Rgb(clBtnShadow), Px(img, 0, y));
        ASSERT_EQ(Rgb(clBtnHighlight), Px(img, 79, y));
    }
    EXPECT_EQ(Rgb(clBtnShadow), Px(img, 40, 0));
    EXPECT_EQ(Rgb(clBtnHighlight), Px(img, 40, 19));
    EXPECT_EQ((TRect{1, 1, 79, 19}), m.InnerRect());
}

TEST(WidgetMeter, EveryDirection)
{
    const TColor bar = Rgb(clNavy), back = Rgb(clBtnFace);
    struct Case {
        TDUDMeterDirection d;
        int x, y;         // a pixel in the bar
        int restX, restY; // a pixel outside it
    };
    // 25 % of 78 columns is 19, of 18 rows 4.
    const Case cases[] = {
        {TDUDMeterDirection::mdHorizontal, 19, 10, 20, 10},
        {TDUDMeterDirection::mdHorizontalReverse, 60, 10, 59, 10},
        {TDUDMeterDirection::mdVertical, 40, 4, 40, 5},
        {TDUDMeterDirection::mdVerticalReverse, 40, 15, 40, 14},
    };
    for (const Case& c : cases) {
        TDUDProgress m;
        MakeBar(m, c.d);
        m.SetPercentValue(25);
        const QImage img = m.Picture();
        EXPECT_EQ(Hex(bar), Hex(Px(img, c.x, c.y))) << int(c.d);
        EXPECT_EQ(Hex(back), Hex(Px(img, c.restX, c.restY))) << int(c.d);
    }
}

TEST(WidgetMeter, SmallBarsAreCountedAndSpaced)
{
    TDUDProgress m; // pgSmallBar with ten bars by default
    m.SetBounds(0, 0, 81, 20);
    EXPECT_EQ(82, m.width()); // sized so that ten bars fit exactly
    m.SetPercentValue(30);
    QImage img = m.Picture();
    EXPECT_EQ((std::vector<int>{2, 10, 18}), Runs(img, 10, Rgb(clNavy)));
    EXPECT_EQ(Rgb(clNavy), Px(img, 6, 10)); // five pixels wide
    EXPECT_EQ(Rgb(clBtnFace), Px(img, 7, 10));

    m.SetPercentValue(100);
    img = m.Picture();
    EXPECT_EQ(10u, Runs(img, 10, Rgb(clNavy)).size());

    // pgSmallBarColor asks for every bar's colour.
    m.SetStyle(TDUDProgressStyle::pgSmallBarColor);
    m.OnGetColor = [](TDUDCustomProgress*, int i, TColor c) { return i % 2 ? clRed : c; };
    img = m.Picture();
    EXPECT_EQ(5u, Runs(img, 10, clRed).size());

    // A count of 0 works as one bar.
    m.SmallBar().SetAutoSize(false);
    m.SmallBar().SetBarCount(0);
    m.SetStyle(TDUDProgressStyle::pgSmallBar);
    img = m.Picture();
    EXPECT_EQ(1u, Runs(img, 10, Rgb(clNavy)).size());
}

TEST(WidgetMeter, PercentCaptionIsDrawnInContrastingParts)
{
    TDUDProgress m;
    MakeBar(m);
    m.SetTextOptions(TDUDMeterTextOptions::toPercent);
    m.SetPercentValue(45);
    QImage img = MakeCanvasImage(80, 20);
    TQtCanvas canvas(img);
    TTextRecorder rec;
    canvas.TextRecorder = &rec;
    m.PaintTo(canvas);
    ASSERT_EQ(2u, rec.size());
    for (const TTextCall& call : rec) {
        EXPECT_EQ("45%", call.Text);
        EXPECT_EQ(DT_CENTER | DT_VCENTER | DT_SINGLELINE, call.Flags);
        EXPECT_EQ((TRect{0, 0, 78, 18}), call.Rect);
    }
    // 45 % of 78 is 35 columns: over the bar in the background colour,
    // over the rest in the bar colour.
    EXPECT_EQ(clBtnFace, rec[0].Color);
    EXPECT_EQ((TRect{0, 0, 35, 18}), rec[0].Clip);
    EXPECT_EQ(clNavy, rec[1].Color);
    EXPECT_EQ((TRect{35, 0, 78, 18}), rec[1].Clip);

    // The caption text instead of the percentage.
    rec.clear();
    m.SetTextOptions(TDUDMeterTextOptions::toCaption);
    m.SetCaption("Flash");
    m.SetUseFontColor(true);
    m.PaintTo(canvas);
    ASSERT_EQ(1u, rec.size());
    EXPECT_EQ("Flash", rec[0].Text);
    EXPECT_EQ(m.FontColor(), rec[0].Color);

    // In one colour the caption takes the 3-D style: light copy, then text.
    rec.clear();
    m.Font3D().SetStyle(TDUDThreeDStyle::tdRaised);
    m.PaintTo(canvas);
    ASSERT_EQ(2u, rec.size());
    EXPECT_EQ(m.Font3D().LightColor(), rec[0].Color);
    EXPECT_EQ(m.FontColor(), rec[1].Color);
    EXPECT_EQ(rec[0].Rect.Offset(1, 1), rec[1].Rect);
}

TEST(WidgetMeter, ValueChangesDrawAtOnce)
{
    TDUDProgress m;
    MakeBar(m);
    m.SetMaxValue(4152);
    m.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m));
    QApplication::processEvents();
    EXPECT_EQ(Rgb(clBtnFace), Px(m.ScreenImage(), 20, 10));

    m.SetUserValue(2076); // no events processed after this
    EXPECT_EQ(50, m.Position());
    EXPECT_EQ(50, m.LastDrawn());
    EXPECT_EQ(Rgb(clNavy), Px(m.ScreenImage(), 39, 10));
    EXPECT_EQ(Rgb(clBtnFace), Px(m.ScreenImage(), 40, 10));
    m.SetUserValue(4153); // outside: nothing
    EXPECT_EQ(2076, m.UserValue());

    // What the screen shows is what a fresh paint makes.
    const QImage shown = m.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage fresh = m.Picture();
    ASSERT_EQ(fresh.size(), shown.size());
    for (int y = 0; y < fresh.height(); ++y)
        for (int x = 0; x < fresh.width(); ++x)
            ASSERT_EQ(Px(fresh, x, y), Px(shown, x, y)) << x << "," << y;

    // The firmware run's colours: green bar, red after a failure.
    m.SetBarColor(RGB(0, 105, 78));
    m.SetPercentValue(80);
    EXPECT_EQ(RGB(0, 105, 78), Px(m.ScreenImage(), 60, 10));
    m.SetBarColor(clRed);
    QApplication::processEvents();
    EXPECT_EQ(clRed, Px(m.ScreenImage(), 60, 10));
}

TEST(WidgetMeter, SmallChangesWaitButRepaintsAndEndsAlwaysDraw)
{
    TDUDProgress m;
    MakeBar(m);
    m.SetDelta(5);
    m.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m));
    QApplication::processEvents();

    m.SetPercentValue(3); // less than delta above 0: not drawn now
    EXPECT_EQ(0, m.LastDrawn());
    EXPECT_EQ(Rgb(clBtnFace), Px(m.ScreenImage(), 1, 10));
    // but a full repaint draws it (2 columns for 3 % of 78).
    QImage img = m.Picture();
    EXPECT_EQ(Rgb(clNavy), Px(img, 2, 10));
    EXPECT_EQ(Rgb(clBtnFace), Px(img, 3, 10));
    EXPECT_EQ(0, m.LastDrawn()); // a picture is not the screen
    m.update();
    m.repaint();
    EXPECT_EQ(3, m.LastDrawn());
    EXPECT_EQ(Rgb(clNavy), Px(m.ScreenImage(), 2, 10));

    m.SetPercentValue(60);
    EXPECT_EQ(60, m.LastDrawn());
    m.SetPercentValue(98);
    m.SetPercentValue(100); // 2 above the last drawn, but the end is drawn
    EXPECT_EQ(100, m.LastDrawn());
    EXPECT_EQ(Rgb(clNavy), Px(m.ScreenImage(), 78, 10));
    m.SetPercentValue(0);
    EXPECT_EQ(0, m.LastDrawn());
    EXPECT_EQ(Rgb(clBtnFace), Px(m.ScreenImage(), 1, 10));

    // With the percent shown every change is drawn.
    m.SetTextOptions(TDUDMeterTextOptions::toPercent);
    QApplication::processEvents();
    m.SetPercentValue(2);
    EXPECT_EQ(2, m.LastDrawn());
}

TEST(WidgetMeter, AddSubAndRangeChanges)
{
    TDUDProgress m;
    MakeBar(m);
    m.SetPercentValue(20);
    m.Sub(30);
    EXPECT_EQ(0, m.Position());
    m.SetPercentValue(90);
    m.Add(30);
    EXPECT_EQ(100, m.Position());
    m.SetPercentValue(50);
    m.StepAdd();
    EXPECT_EQ(60, m.Position());
    m.StepSub();
    m.StepSub();
    EXPECT_EQ(40, m.Position());
    m.SetPercentValue(150);
    EXPECT_EQ(100, m.Position());
    EXPECT_EQ(100, m.UserValue());
    m.SetMaxValue(-5);
    EXPECT_EQ(-5, m.MinValue());
    EXPECT_EQ(0, m.MaxValue());
}

TEST(WidgetMeter, BarColourInSmallBarStyleIsStoredWithoutRepaint)
{
    TDUDProgress m;
    m.SetBounds(0, 0, 81, 20); // sized to fit its bars at once
    m.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m));
    QApplication::processEvents();
    PaintCounter counter;
    m.installEventFilter(&counter);
    m.SetBarColor(clRed);
    m.SetBar3D(TDUDBorderStyle::lsRaised);
    QApplication::processEvents();
    EXPECT_EQ(0, counter.paints);
    EXPECT_EQ(clRed, m.BarColor());

    m.SetStyle(TDUDProgressStyle::pgBar);
    m.SetPercentValue(50);
    QApplication::processEvents();
    EXPECT_GT(counter.paints, 0);
    EXPECT_EQ(clRed, Px(m.ScreenImage(), 20, 10));
    m.removeEventFilter(&counter);
}

TEST(WidgetMeter, StyleSetsTheSmallestDrawnChange)
{
    TDUDProgress m;
    EXPECT_EQ(5, m.Delta());
    m.SetStyle(TDUDProgressStyle::pgBar);
    EXPECT_EQ(1, m.Delta());
    m.SmallBar().SetBarCount(4);
    m.SetStyle(TDUDProgressStyle::pgSmallBarColor);
    EXPECT_EQ(12, m.Delta()); // (100 div 4) div 2
    m.SetStyle(TDUDProgressStyle::pgBar);
    m.SetTextOptions(TDUDMeterTextOptions::toPercent);
    m.SetStyle(TDUDProgressStyle::pgSmallBar);
    EXPECT_EQ(1, m.Delta());
}

TEST(WidgetMeter, AFreshSmallBarMeterSizesItselfWhenFirstPainted)
{
    // Nothing has set its bounds: the first paint corrects the size, so that
    // ten bars fit exactly, before it draws.
    TDUDProgress m;
    EXPECT_EQ(80, m.width());
    m.SetPercentValue(100);
    const QImage img = m.Picture();
    EXPECT_EQ(82, m.width());
    EXPECT_EQ(82, img.width());
    const std::vector<int> runs = Runs(img, 10, Rgb(clNavy));
    ASSERT_EQ(10u, runs.size());
    EXPECT_EQ(74, runs.back());
    EXPECT_EQ(Rgb(clNavy), Px(img, 78, 10)); // the last bar whole
    EXPECT_EQ(Rgb(clBtnFace), Px(img, 80, 10));

    // On the screen too: a bar placed at a size its bars do not fill (as a
    // form scaled to its font places it) takes the fitting size at its first
    // paint.
    QWidget form;
    form.resize(200, 60);
    auto* shown = new TDUDProgress(&form);
    shown->resize(99, 21);
    shown->SmallBar().SetAutoSize(false);
    shown->SmallBar().SetAutoSize(true); // a change corrects at once
    EXPECT_EQ(102, shown->width());
    auto* fresh = new TDUDProgress(&form);
    fresh->setGeometry(0, 30, 99, 21);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QApplication::processEvents();
    EXPECT_EQ(102, fresh->width());
}

TEST(WidgetMeter, OwnerDrawingGetsTheBarItsWholeAndTheRest)
{
    TDUDProgress m;
    MakeBar(m);
    m.SetStyle(TDUDProgressStyle::pgOwnerDraw);
    // Without a handler nothing is drawn over the background.
    m.SetPercentValue(40);
    QImage img = m.Picture();
    EXPECT_EQ(Rgb(clBtnFace), Px(img, 10, 10));

    std::vector<TRect> bars, fulls, rests;
    m.OnPaint = [&](TDUDCustomProgress* sender, TCanvas& canvas, const TRect& bar, const TRect& full,
                    const TRect& rest) {
        EXPECT_EQ(sender, &m);
        bars.push_back(bar);
        fulls.push_back(full);
        rests.push_back(rest);
        canvas.Brush = {clRed, TBrushStyle::bsSolid};
        canvas.FillRect(bar);
    };
    img = m.Picture();
    // 40 % of the 78 inner columns: 31, in the bitmap of the inside.
    ASSERT_FALSE(bars.empty());
    EXPECT_EQ((TRect{0, 0, 31, 18}), bars.back());
    EXPECT_EQ((TRect{0, 0, 78, 18}), fulls.back());
    EXPECT_EQ((TRect{31, 0, 78, 18}), rests.back());
    EXPECT_EQ(clRed, Px(img, 1, 10));
    EXPECT_EQ(clRed, Px(img, 31, 10));
    EXPECT_EQ(Rgb(clBtnFace), Px(img, 32, 10));

    // On the screen a value change draws at once through the handler.
    m.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m));
    QApplication::processEvents();
    bars.clear();
    m.SetPercentValue(50);
    ASSERT_EQ(1u, bars.size());
    EXPECT_EQ((TRect{0, 0, 39, 18}), bars.back());
}

TEST(WidgetControl, DefaultSizesAreTheLibrarysOwnWhateverTheFont)
{
    QFont big = QApplication::font();
    big.setPointSize(big.pointSize() * 2);
    QWidget form;
    form.setFont(big);
    EXPECT_EQ(QSize(30, 30), TDUDGraphicControl(&form).size());
    EXPECT_EQ(QSize(100, 40), TDUDCustomControl(&form).size());
    EXPECT_EQ(QSize(80, 20), TDUDBaseMeter(&form).size());
    EXPECT_EQ(QSize(80, 20), TDUDProgress().size());
}

TEST(WidgetControl, BoundsChangesReportWhatChanged)
{
    TDUDProgress m;
    MakeBar(m);
    std::vector<TDUDBoundsChangeStates> seen;
    m.OnBoundsChange = [&](TDUDControl*, TDUDBoundsChangeStates s) { seen.push_back(s); };
    m.SetBounds(5, 6, 80, 20);
    m.SetBounds(5, 6, 80, 20);
    m.SetBounds(5, 6, 90, 20);
    m.SetBounds(0, 0, 50, 30);
    EXPECT_EQ((std::vector<TDUDBoundsChangeStates>{bcPos, bcSize, bcPos | bcSize}), seen);

    seen.clear();
    m.BeginLoading();
    m.SetBounds(1, 1, 10, 10);
    EXPECT_TRUE(seen.empty());
    m.Loaded();
    m.SetBounds(1, 1, 10, 10);
    EXPECT_TRUE(seen.empty());
}

TEST(WidgetControl, ControlsForgetARemovedImageList)
{
    auto list = std::make_unique<TDUDImageList>();
    TDUDProgress a, b;
    TDUDCustomControl c;
    a.SetImageList(list.get());
    b.SetImageList(list.get());
    c.SetImageList(list.get());
    b.SetImageIndex(3);
    list.reset();
    EXPECT_EQ(nullptr, a.ImageList());
    EXPECT_EQ(nullptr, b.ImageList());
    EXPECT_EQ(nullptr, c.ImageList());
    EXPECT_EQ(3, b.ImageIndex());
}

TEST(WidgetControl, MouseEnterAndExitWhileEnabled)
{
    TDUDProgress m;
    int enters = 0, exits = 0;
    m.OnMouseEnter = [&](TDUDControl*) { ++enters; };
    m.OnMouseExit = [&](TDUDControl*) { ++exits; };
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&m, &enter);
    QApplication::sendEvent(&m, &leave);
    m.setEnabled(false);
    QApplication::sendEvent(&m, &enter);
    QApplication::sendEvent(&m, &leave);
    EXPECT_EQ(1, enters);
    EXPECT_EQ(1, exits);
}

TEST(WidgetControl, BevelChangesRepaintAndMoveTheInside)
{
    TDUDProgress m;
    MakeBar(m);
    m.Bevel().SetWidthOuter(3);
    EXPECT_EQ(3, m.BevelExt());
    EXPECT_EQ(6, m.DblBevelExt());
    EXPECT_EQ((TRect{3, 3, 77, 17}), m.BeveledRect());
    m.SetPercentValue(100);
    const QImage img = m.Picture();
    EXPECT_EQ(Rgb(clNavy), Px(img, 3, 10));
    EXPECT_EQ(Rgb(clBtnShadow), Px(img, 2, 10));
    EXPECT_EQ((TRect{3, 3, 77, 17}), m.InnerRect());
}

TEST(WidgetControl, FlatWindowedControlShowsAHotBorderUnderMouseOrFocus)
{
    QWidget form;
    auto* c = new TDUDCustomControl(&form);
    c->setGeometry(0, 0, 40, 20);
    EXPECT_EQ(0, DUDCheckForFormComponent<TDUDCustomControl>(&form));
    EXPECT_EQ(-1, DUDCheckForFormComponent<TDUDProgress>(&form));
    EXPECT_EQ(Qt::ClickFocus, c->focusPolicy()); // not a tab stop
    c->SetColor(clWindow);
    c->SetFlat(true);
    QImage img = c->Picture();
    EXPECT_EQ(Rgb(clBtnShadow), Px(img, 0, 10));
    EXPECT_EQ(Rgb(clBtnShadow), Px(img, 39, 10));
    EXPECT_EQ(Rgb(clWindow), Px(img, 1, 10));

    int enters = 0;
    c->OnMouseEnter = [&](TDUDCustomControl*) { ++enters; };
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(c, &enter);
    EXPECT_EQ(1, enters);
    EXPECT_TRUE(c->MouseAbove());
    img = c->Picture();
    EXPECT_EQ(Rgb(clWindowFrame), Px(img, 1, 10)); // sunken: dark inner line
    EXPECT_EQ(Rgb(clWindow), Px(img, 39, 10));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(c, &leave);
    EXPECT_FALSE(c->MouseAbove());

    QFocusEvent in(QEvent::FocusIn);
    QApplication::sendEvent(c, &in);
    EXPECT_TRUE(c->Focused());
    EXPECT_EQ(Rgb(clWindowFrame), Px(c->Picture(), 1, 10));
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(c, &out);
    EXPECT_FALSE(c->Focused());
}

namespace {

// A windowed control whose parent supplies a red background.
class RedBackControl : public TDUDCustomControl {
public:
    using TDUDCustomControl::TDUDCustomControl;
    bool BackBitmap() const override { return true; }
    void BackDrawArea(TCanvas& canvas, const TRect& r) override
    {
        canvas.Brush = {clRed, TBrushStyle::bsSolid};
        canvas.FillRect(r);
    }
};

} // namespace

TEST(WidgetControl, BackgroundEffectsAndBackgroundPoints)
{
    QWidget form;
    form.resize(100, 80);
    auto* c = new RedBackControl(&form);
    c->setGeometry(10, 5, 20, 10);
    EXPECT_EQ(Rgb(clRed), Px(c->Picture(), 3, 3));
    TDUDBitmapEffectObject fx;
    fx.SetFlag(3, true); // invert
    c->SetBackFXObject(fx);
    EXPECT_EQ(TColor(0xFFFF00), Px(c->Picture(), 3, 3)); // cyan

    // The background is centred on a form of another size.
    EXPECT_EQ((TPoint{12, 8}), c->BackMapPoint({2, 3}, form.size()));
    EXPECT_EQ((TPoint{22, 18}), c->BackMapPoint({2, 3}, QSize(120, 100)));

    auto* m = new TDUDProgress(&form);
    m->move(4, 4);
    EXPECT_TRUE(m->HasControl());
    EXPECT_FALSE(TDUDProgress().HasControl());
    int changes = 0;
    m->BackFX().OnChange = [&](void*) { ++changes; };
    m->SetBackFX(fx);
    EXPECT_EQ(1, changes);
    EXPECT_TRUE(m->BackFX().Flag(3));
    EXPECT_EQ((TPoint{5, 5}), m->BackMapPoint({1, 1}, QSize()));
}

namespace {

// A form's background: green wherever it is asked for.
class GreenBackground : public TDUDBackgroundSource {
public:
    bool has = true;
    mutable std::vector<TPoint> asked;
    bool BackBitmapCheck() const override { return has; }
    TPoint BackMapPoint(TPoint p) const override { return {p.X + 100, p.Y + 200}; }
    bool BackDrawArea(TCanvas& canvas, const TRect& r, TPoint pos) const override
    {
        asked.push_back(pos);
        canvas.Brush = {clLime, TBrushStyle::bsSolid};
        canvas.FillRect(r);
        return true;
    }
};

} // namespace

TEST(WidgetControl, GraphicControlsPaintTheirParentsBackgroundThroughTheirEffects)
{
    TDUDBitmapEffectObject invert;
    invert.SetFlag(3, true);

    // On a windowed control of the library that has a background.
    QWidget form;
    form.resize(100, 80);
    auto* panel = new RedBackControl(&form);
    panel->setGeometry(10, 5, 60, 50);
    auto* g = new TDUDBaseGraphicControl(panel);
    g->setGeometry(7, 9, 20, 10);
    EXPECT_TRUE(g->CheckOptimized());
    EXPECT_EQ(Rgb(clRed), Px(g->Picture(), 3, 3));
    g->SetBackFX(invert);
    EXPECT_EQ(TColor(0xFFFF00), Px(g->Picture(), 3, 3)); // cyan
    g->SetTransparent(false);
    EXPECT_FALSE(g->CheckOptimized());
    EXPECT_EQ(Rgb(g->Color()), Px(g->Picture(), 3, 3));

    // On a form whose background source has one, at the control's place.
    GreenBackground source;
    DUDSetBackgroundSource(&form, &source);
    auto* h = new TDUDBaseGraphicControl(&form);
    h->setGeometry(4, 6, 20, 10);
    EXPECT_TRUE(h->CheckOptimized());
    EXPECT_EQ(Rgb(clLime), Px(h->Picture(), 5, 5));
    ASSERT_FALSE(source.asked.empty());
    EXPECT_EQ((TPoint{104, 206}), source.asked.back());
    h->SetBackFX(invert);
    EXPECT_EQ(TColor(0xFF00FF), Px(h->Picture(), 5, 5)); // magenta
    source.has = false;
    EXPECT_FALSE(h->CheckOptimized());
    EXPECT_EQ(Rgb(clWhite), Px(h->Picture(), 5, 5)) << "transparent: no background of its own";
    DUDSetBackgroundSource(&form, nullptr);

    // A plain parent has none to give.
    QWidget plain;
    TDUDBaseGraphicControl onPlain(&plain);
    EXPECT_FALSE(onPlain.CheckOptimized());
    EXPECT_FALSE(TDUDBaseGraphicControl().CheckOptimized());
}
