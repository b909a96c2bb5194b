// Settings objects: the change protocol, bevel widths, caption settings and
// the image-list link.
#include "widgets/painting/bevel.h"
#include "widgets/painting/caption3d.h"
#include "widgets/framework/image_list_link.h"
#include "widgets/controls/meter_values.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace kyd::widgets;

namespace {

// Counts the notifications of an object and remembers their senders.
struct ChangeCounter {
    int count = 0;
    std::vector<void*> senders;
    void Attach(TDUDChangeProtocol& o)
    {
        o.OnChange = [this](void* sender) {
            ++count;
            senders.push_back(sender);
        };
    }
};

} // namespace

TEST(WidgetSettings, ChangesInsideAnUpdateAreReportedOnce)
{
    TDUDBevel bevel;
    ChangeCounter c;
    c.Attach(bevel);

    bevel.SetWidthOuter(3);
    EXPECT_EQ(1, c.count);
    EXPECT_EQ(&bevel, c.senders.back());
    bevel.SetWidthOuter(3); // same value: nothing
    EXPECT_EQ(1, c.count);

    bevel.BeginUpdate();
    bevel.SetStyleOuter(TDUDBevelStyle::bvRaised);
    bevel.SetBorderWidth(2);
    bevel.SetLightColor(clWhite);
    EXPECT_EQ(1, c.count);
    EXPECT_EQ(5, bevel.Extent()); // widths stay current inside the update
    bevel.EndUpdate(true);
    EXPECT_EQ(2, c.count);

    // Nested updates report when the outer one ends; EndUpdate(false) is silent.
    bevel.BeginUpdate();
    bevel.BeginUpdate();
    bevel.SetBorderWidth(4);
    bevel.EndUpdate(true);
    EXPECT_EQ(2, c.count);
    bevel.EndUpdate(false);
    EXPECT_EQ(2, c.count);
    bevel.SetBorderWidth(5);
    EXPECT_EQ(3, c.count);
}

TEST(WidgetSettings, BevelExtentFollowsModeAndStyles)
{
    TDUDBevel b;
    EXPECT_EQ(0, b.Extent()); // both styles bvNone
    b.SetStyleOuter(TDUDBevelStyle::bvLowered);
    EXPECT_EQ(1, b.Extent()); // the meter's bevel
    EXPECT_EQ((TRect{1, 1, 79, 19}), b.ClientRect({0, 0, 80, 20}));
    b.SetStyleInner(TDUDBevelStyle::bvFrameRaised);
    b.SetWidthInner(2);
    b.SetBorderWidth(3);
    b.SetBorderInnerWidth(1);
    EXPECT_EQ(1 + 3 + 3 + 1, b.Extent());

    b.SetMode(TDUDBevelMode::bmStandard);
    EXPECT_EQ(1 + 1, b.Extent()); // lsSingleLowered + inner border
    b.SetStyle(TDUDBorderStyle::lsWindowBorder);
    EXPECT_EQ(2 + 1, b.Extent());

    b.SetMode(TDUDBevelMode::bmEdge);
    EXPECT_EQ(2 + 1, b.Extent());
    b.SetBorderSides(0);
    EXPECT_EQ(1, b.Extent()); // no sides: only the inner border

    b.SetMode(TDUDBevelMode::bmWindows);
    EXPECT_EQ(3, b.Extent());
    b.SetWindowBorder(true);
    EXPECT_EQ(0, b.Extent());
    EXPECT_TRUE(b.GetRecreateWnd() == false);
    b.SetMode(TDUDBevelMode::bmCustom);
    EXPECT_TRUE(b.GetRecreateWnd());
    EXPECT_FALSE(b.GetRecreateWnd());
}

TEST(WidgetSettings, ShadowBevelIsWiderOnItsShadowSide)
{
    TDUDBevel b;
    b.SetStyleOuter(TDUDBevelStyle::bvShadow);
    b.SetWidthInner(1);
    b.SetWidthOuter(4);
    b.SetBorderInnerWidth(2);
    EXPECT_EQ(7, b.ClientExtent());
    EXPECT_EQ(7, b.Extent());
    EXPECT_EQ((TRect{3, 3, 93, 43}), b.ClientRect({0, 0, 100, 50}));
}

TEST(WidgetSettings, StandardStyleReportsOnlyInStandardMode)
{
    TDUDBevel b;
    ChangeCounter c;
    c.Attach(b);
    b.SetStyle(TDUDBorderStyle::lsRaised);
    EXPECT_EQ(0, c.count);
    EXPECT_EQ(TDUDBorderStyle::lsRaised, b.StandardStyle());
    b.SetMode(TDUDBevelMode::bmStandard);
    EXPECT_EQ(2, b.Extent());
    b.SetStyle(TDUDBorderStyle::lsSingle);
    EXPECT_EQ(2, c.count);
    EXPECT_EQ(1, b.Extent());
}

TEST(WidgetSettings, AssignCopiesEverythingWithOneReport)
{
    TDUDBevel a;
    a.SetMode(TDUDBevelMode::bmEdge);
    a.SetEdgeStyle(TDUDEdgeStyle::etBump);
    a.SetBorderSides(fsTop | fsBottom);
    a.SetShadowColor(clRed);
    TDUDBevel b;
    ChangeCounter c;
    c.Attach(b);
    b.Assign(a);
    EXPECT_EQ(1, c.count);
    EXPECT_EQ(TDUDBevelMode::bmEdge, b.Mode());
    EXPECT_EQ(TDUDEdgeStyle::etBump, b.EdgeStyle());
    EXPECT_EQ(fsTop | fsBottom, b.BorderSides());
    EXPECT_EQ(clRed, b.ShadowColor());
    EXPECT_EQ(2, b.Extent());

    TDUDSimpleBevel s1, s2;
    s1.SetWidth(5);
    s1.SetColor(clAqua);
    s2.Assign(s1);
    EXPECT_EQ(5, s2.Width());
    EXPECT_EQ(clAqua, s2.Color());
    EXPECT_EQ("(TDUDSimpleBevel)", s2.GetSetStr());
}

TEST(WidgetSettings, CaptionSettings)
{
    TDUDFxCaption c;
    ChangeCounter n;
    n.Attach(c);
    c.SetAngle(360);
    EXPECT_EQ(0, c.Angle());
    EXPECT_EQ(0, n.count); // 0 already
    c.SetAngle(359);
    EXPECT_EQ(359, c.Angle());
    EXPECT_EQ(1, n.count);

    c.SetColor(0, clRed);
    c.SetColor(1, clBlue);
    c.SetDepth(0, 2);
    c.SetDepth(1, 3);
    EXPECT_EQ(clRed, c.LightColor());
    EXPECT_EQ(clBlue, c.ShadowColor());
    EXPECT_EQ(2, c.LightDepth());
    EXPECT_EQ(3, c.ShadowDepth());
    EXPECT_EQ(5, n.count);

    // Placing the caption reports nothing, changed or not.
    c.SetPosXY(0, 0);
    c.SetPosXY(4, 5);
    EXPECT_EQ(5, n.count);
    EXPECT_EQ(4, c.PosX());
    EXPECT_EQ(5, c.PosY());
    c.SetPos(1, 7);
    EXPECT_EQ(6, n.count);

    TDUDFxCaption d;
    ChangeCounter m;
    m.Attach(d);
    c.SetStyle(TDUDThreeDStyle::tdRaisedShadow);
    d.Assign(c);
    EXPECT_EQ(1, m.count);
    EXPECT_EQ(TDUDThreeDStyle::tdRaisedShadow, d.Style());
    EXPECT_EQ(359, d.Angle());
    EXPECT_EQ(7, d.PosY());
    EXPECT_EQ(5, d.ExtraDepth());
}

TEST(WidgetSettings, SmallHelpers)
{
    EXPECT_EQ(64u, DUDConvertFocusStyle(TDUDGlyphTextFocusStyle::fcText));
    EXPECT_EQ(128u, DUDConvertFocusStyle(TDUDGlyphTextFocusStyle::fcGlyph));
    EXPECT_EQ(256u, DUDConvertFocusStyle(TDUDGlyphTextFocusStyle::fcGlyphText));
    EXPECT_EQ(0u, DUDConvertFocusStyle(TDUDGlyphTextFocusStyle::fcControl));
    EXPECT_EQ(0u, DUDConvertFocusStyle(TDUDGlyphTextFocusStyle::fcNone));
    try {
        DUDRaiseDockError("Button1", "Label2");
        FAIL() << "no exception";
    } catch (const EDUDException& e) {
        EXPECT_STREQ("Component Label2:\rA TDUDDockLabel- or Button component was already attached to the "
                     "component: Button1\rOnly one DUDDockXXXX per control is allowed.",
                     e.what());
    }
}

TEST(WidgetSettings, SmallBarSettingsReport)
{
    TDUDSmallBar s;
    ChangeCounter c;
    c.Attach(s);
    s.SetBarCount(10);
    EXPECT_EQ(0, c.count);
    s.SetBarCount(0);
    EXPECT_EQ(1, c.count);
    EXPECT_EQ(0, s.BarCount());
    EXPECT_EQ(1, s.EffectiveBarCount());
    s.SetHSpace(1);
    s.SetVSpace(2);
    s.SetAutoSize(false);
    s.SetBarColor(clRed);
    EXPECT_EQ(5, c.count);
}

TEST(WidgetSettings, RemovingAContainerUnlinksEveryUser)
{
    auto list = std::make_unique<TDUDBaseContainer>();
    TDUDChangeLink a, b;
    int removed = 0, changed = 0;
    a.OnRemoved = b.OnRemoved = [&] { ++removed; };
    a.OnChange = [&] { ++changed; };
    list->RegisterChanges(&a);
    list->RegisterChanges(&b);
    list->Changed();
    EXPECT_EQ(1, changed);
    {
        TDUDChangeLink gone;
        list->RegisterChanges(&gone);
    } // a link that dies first unregisters itself
    list.reset();
    EXPECT_EQ(2, removed);
    EXPECT_EQ(nullptr, a.Sender());
    EXPECT_EQ(nullptr, b.Sender());
}
