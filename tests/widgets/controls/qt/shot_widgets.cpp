// Pictures of the component library's meter and bevels, for looking at:
// `ctest -L screenshots`, then build/screenshots/widgets_*.png.
#include "support/screenshot.h"
#include "support_shot_panel.h"

#include "platform/qt/ui_scale.h"
#include "widgets/controls/qt/meter.h"
#include "widgets/framework/qt/qt_canvas.h"

#include <QGridLayout>
#include <QLabel>

#include <gtest/gtest.h>

using namespace kyd::widgets;
using kyd::platform::UiScale;

namespace {

using kyd::widgets::test::Panel;

// A meter sized from a design size; the small-bar styles correct it first.
TDUDProgress* Meter(QWidget* parent, TDUDProgressStyle style, TDUDMeterDirection d, int percent, int w, int h)
{
    const auto s = UiScale::For(parent);
    auto* m = new TDUDProgress(parent);
    m->SetStyle(style);
    m->SetDirection(d);
    m->SetBounds(0, 0, s.X(w), s.Y(h));
    m->setFixedSize(m->size());
    m->SetPercentValue(percent);
    return m;
}

QLabel* Label(QWidget* parent, const QString& text)
{
    return new QLabel(text, parent);
}

} // namespace

TEST(WidgetScreenshots, MetersInEveryDirectionAndStyle)
{
    auto panel = Panel();
    auto* grid = new QGridLayout(panel.get());
    const auto s = UiScale::For(panel.get());
    grid->setHorizontalSpacing(s.X(10));
    grid->setVerticalSpacing(s.Y(6));

    struct Row {
        const char* name;
        TDUDProgressStyle style;
        TDUDMeterDirection dir;
    };
    const Row rows[] = {
        {"Bar", TDUDProgressStyle::pgBar, TDUDMeterDirection::mdHorizontal},
        {"Bar, reverse", TDUDProgressStyle::pgBar, TDUDMeterDirection::mdHorizontalReverse},
        {"Small bars", TDUDProgressStyle::pgSmallBar, TDUDMeterDirection::mdHorizontal},
        {"Small bars, reverse", TDUDProgressStyle::pgSmallBar, TDUDMeterDirection::mdHorizontalReverse},
        {"Coloured bars", TDUDProgressStyle::pgSmallBarColor, TDUDMeterDirection::mdHorizontal},
    };
    const int values[] = {0, 45, 100};
    for (int c = 0; c < 3; ++c)
        grid->addWidget(Label(panel.get(), QString("%1 %").arg(values[c])), 0, c + 1);
    int r = 1;
    for (const Row& row : rows) {
        grid->addWidget(Label(panel.get(), row.name), r, 0);
        for (int c = 0; c < 3; ++c) {
            auto* m = Meter(panel.get(), row.style, row.dir, values[c], 120, 20);
            if (row.style == TDUDProgressStyle::pgBar)
                m->SetTextOptions(TDUDMeterTextOptions::toPercent);
            if (row.style == TDUDProgressStyle::pgSmallBarColor)
                m->OnGetColor = [](TDUDCustomProgress*, int i, TColor) {
                    return i < 6 ? clGreen : (i < 8 ? clOlive : clMaroon);
                };
            grid->addWidget(m, r, c + 1);
        }
        ++r;
    }
    // The firmware download: green while it runs, red after a failure.
    grid->addWidget(Label(panel.get(), "Download"), r, 0);
    auto* ok = Meter(panel.get(), TDUDProgressStyle::pgBar, TDUDMeterDirection::mdHorizontal, 62, 120, 20);
    ok->SetBarColor(5138688);
    grid->addWidget(ok, r, 1);
    auto* failed = Meter(panel.get(), TDUDProgressStyle::pgBar, TDUDMeterDirection::mdHorizontal, 62, 120, 20);
    failed->SetBarColor(clRed);
    grid->addWidget(failed, r, 2);
    auto* caption = Meter(panel.get(), TDUDProgressStyle::pgBar, TDUDMeterDirection::mdHorizontal, 30, 120, 20);
    caption->SetTextOptions(TDUDMeterTextOptions::toCaption);
    caption->SetCaption("Erasing");
    grid->addWidget(caption, r, 3);
    ++r;
    grid->addWidget(Label(panel.get(), "Raised bar, 3-D text"), r, 0);
    auto* raised = Meter(panel.get(), TDUDProgressStyle::pgBar, TDUDMeterDirection::mdHorizontal, 70, 120, 20);
    raised->SetBar3D(TDUDBorderStyle::lsRaised);
    raised->SetColor(clWindow);
    raised->SetBarColor(clBtnFace);
    raised->SetTextOptions(TDUDMeterTextOptions::toPercent);
    raised->SetUseFontColor(true);
    raised->Font3D().SetStyle(TDUDThreeDStyle::tdRaised);
    grid->addWidget(raised, r, 1);
    auto* sunken = Meter(panel.get(), TDUDProgressStyle::pgBar, TDUDMeterDirection::mdHorizontal, 35, 120, 20);
    sunken->Bevel().SetMode(TDUDBevelMode::bmStandard);
    sunken->Bevel().SetStyle(TDUDBorderStyle::lsLowered);
    sunken->SetColor(clWindow);
    sunken->SetBarColor(clHighlight);
    sunken->SetTextOptions(TDUDMeterTextOptions::toPercent);
    grid->addWidget(sunken, r, 2);
    ++r;

    // Vertical meters, growing down and up.
    auto* vertical = new QWidget(panel.get());
    auto* row = new QHBoxLayout(vertical);
    row->setContentsMargins(0, 0, 0, 0);
    for (auto style : {TDUDProgressStyle::pgBar, TDUDProgressStyle::pgSmallBar})
        for (auto d : {TDUDMeterDirection::mdVertical, TDUDMeterDirection::mdVerticalReverse})
            for (int v : values)
                row->addWidget(Meter(vertical, style, d, v, 20, 80));
    row->addStretch();
    grid->addWidget(Label(panel.get(), "Vertical"), r, 0, Qt::AlignTop);
    grid->addWidget(vertical, r, 1, 1, 3);

    const QString path = kyd::test::SaveScreenshot(panel.get(), "widgets_meters");
    EXPECT_FALSE(path.isEmpty());
}

TEST(WidgetScreenshots, BevelModes)
{
    auto panel = Panel();
    auto* grid = new QGridLayout(panel.get());
    const auto s = UiScale::For(panel.get());
    grid->setHorizontalSpacing(s.X(8));
    grid->setVerticalSpacing(s.Y(4));
    int cell = 0;
    auto add = [&](const QString& name, const std::function<void(TDUDBevel&)>& set) {
        auto* box = new QWidget(panel.get());
        auto* v = new QVBoxLayout(box);
        v->setContentsMargins(0, 0, 0, 0);
        v->setSpacing(s.Y(2));
        auto* c = new TDUDGraphicControl(box);
        c->setFixedSize(s.X(90), s.Y(36));
        set(c->Bevel());
        v->addWidget(c);
        v->addWidget(Label(box, name));
        grid->addWidget(box, cell / 6, cell % 6);
        ++cell;
    };
    using B = TDUDBevelStyle;
    const std::pair<const char*, B> custom[] = {
        {"Lowered", B::bvLowered}, {"Raised", B::bvRaised}, {"Frame lowered", B::bvFrameLowered},
        {"Frame raised", B::bvFrameRaised}, {"Normal", B::bvNormal}, {"Shadow", B::bvShadow},
    };
    for (const auto& [name, style] : custom)
        add(name, [style](TDUDBevel& b) {
            b.SetStyleOuter(style);
            if (style == B::bvShadow) {
                b.SetWidthOuter(4);
                b.SetBorderColor(clBlack);
            }
        });
    add("Lowered, 2", [](TDUDBevel& b) {
        b.SetStyleOuter(B::bvLowered);
        b.SetWidthOuter(2);
    });
    add("Raised, 3", [](TDUDBevel& b) {
        b.SetStyleOuter(B::bvRaised);
        b.SetWidthOuter(3);
    });
    add("Raised + lowered", [](TDUDBevel& b) {
        b.SetStyleOuter(B::bvRaised);
        b.SetStyleInner(B::bvLowered);
        b.SetBorderWidth(3);
    });
    add("Panel, border", [](TDUDBevel& b) {
        b.SetStyleOuter(B::bvRaised);
        b.SetStyleInner(B::bvLowered);
        b.SetWidthOuter(2);
        b.SetBorderWidth(2);
        b.SetBorderColor(clGray);
    });
    const char* standard[] = {"lsSingle", "lsLowered", "lsRaised", "lsRaisedspb", "lsLoweredspb", "lsRaisedExt",
                              "lsLoweredExt", "lsFrameInset", "lsFrameOffset", "lsWindowBorder",
                              "lsSingleRaised", "lsSingleLowered", "lsDoubleRaised", "lsDoubleLowered"};
    for (int i = 0; i < 14; ++i)
        add(standard[i], [i](TDUDBevel& b) {
            b.SetMode(TDUDBevelMode::bmStandard);
            b.SetStyle(TDUDBorderStyle(i + 1));
        });
    const char* edges[] = {"etRaisedInner", "etRaisedOuter", "etSunkenInner", "etSunkenOuter",
                           "etBump", "etEtched", "etRaised", "etSunken"};
    for (int i = 0; i < 8; ++i)
        add(edges[i], [i](TDUDBevel& b) {
            b.SetMode(TDUDBevelMode::bmEdge);
            b.SetEdgeStyle(TDUDEdgeStyle(i));
        });
    add("Edge, top + bottom", [](TDUDBevel& b) {
        b.SetMode(TDUDBevelMode::bmEdge);
        b.SetBorderSides(fsTop | fsBottom);
    });
    add("Window border", [](TDUDBevel& b) {
        b.SetMode(TDUDBevelMode::bmWindows);
        b.SetStyle(TDUDBorderStyle::lsLowered);
    });

    const QString path = kyd::test::SaveScreenshot(panel.get(), "widgets_bevels");
    EXPECT_FALSE(path.isEmpty());
}
