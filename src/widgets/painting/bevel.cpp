#include "widgets/painting/bevel.h"

namespace kyd::widgets {

TDUDBevel::TDUDBevel()
{
    Recompute();
}

void TDUDBevel::SetMode(TDUDBevelMode v)
{
    if (v == mode_)
        return;
    if (windowBorder_ && (v == TDUDBevelMode::bmWindows || mode_ == TDUDBevelMode::bmWindows))
        recreate_ = true;
    mode_ = v;
    Change();
}

void TDUDBevel::SetStyle(TDUDBorderStyle v)
{
    if (v == standardStyle_)
        return;
    standardStyle_ = v;
    if (mode_ == TDUDBevelMode::bmStandard)
        Change();
    else
        Recompute();
}

void TDUDBevel::SetWindowBorder(bool v)
{
    SetField(windowBorder_, v);
}

void TDUDBevel::Change()
{
    Recompute();
    TDUDObject::Change();
}

void TDUDBevel::Recompute()
{
    extent_ = GetBevelExtend();
    clientExtent_ = ShadowOuter() ? widthInner_ + widthOuter_ + borderInnerWidth_ : extent_;
}

int TDUDBevel::GetBevelExtend() const
{
    switch (mode_) {
    case TDUDBevelMode::bmCustom:
        if (ShadowOuter()) // the wider, shadowed side
            return widthInner_ + widthOuter_ + borderInnerWidth_;
        return borderWidth_ + borderInnerWidth_ + DUDFrame3DExt(styleOuter_, widthOuter_)
            + DUDFrame3DExt(styleInner_, widthInner_);
    case TDUDBevelMode::bmStandard:
        return DUDDrawStdFrameExt(standardStyle_) + borderInnerWidth_;
    case TDUDBevelMode::bmEdge:
        return (borderSides_ != 0 ? 2 : 0) + borderInnerWidth_;
    case TDUDBevelMode::bmWindows:
        return windowBorder_ ? 0 : borderInnerWidth_ + 2;
    }
    return 0;
}

TRect TDUDBevel::ClientRect(const TRect& r) const
{
    if (ShadowOuter()) {
        const int lt = widthInner_ + borderInnerWidth_;
        const int rb = clientExtent_;
        return {r.Left + lt, r.Top + lt, r.Right - rb, r.Bottom - rb};
    }
    return r.Inset(extent_);
}

namespace {

void Rings(TCanvas& c, TRect& r, int count, TColor color, bool transparent)
{
    if (count <= 0)
        return;
    if (!transparent) {
        const TBrush saved = c.Brush;
        c.Brush = {color, TBrushStyle::bsSolid};
        for (int i = 0; i < count; ++i)
            c.FrameRect(r.Inset(i));
        c.Brush = saved;
    }
    r = r.Inset(count);
}

unsigned EdgeKind(TDUDEdgeStyle s)
{
    switch (s) {
    case TDUDEdgeStyle::etRaisedInner: return BDR_RAISEDINNER;
    case TDUDEdgeStyle::etRaisedOuter: return BDR_RAISEDOUTER;
    case TDUDEdgeStyle::etSunkenInner: return BDR_SUNKENINNER;
    case TDUDEdgeStyle::etSunkenOuter: return BDR_SUNKENOUTER;
    case TDUDEdgeStyle::etBump: return EDGE_BUMP;
    case TDUDEdgeStyle::etEtched: return EDGE_ETCHED;
    case TDUDEdgeStyle::etRaised: return EDGE_RAISED;
    case TDUDEdgeStyle::etSunken: return EDGE_SUNKEN;
    }
    return EDGE_ETCHED;
}

unsigned EdgeSides(TDUDFrameSides s)
{
    unsigned f = 0;
    if (s & fsBottom) f |= BF_BOTTOM;
    if (s & fsLeft) f |= BF_LEFT;
    if (s & fsRight) f |= BF_RIGHT;
    if (s & fsTop) f |= BF_TOP;
    return f;
}

} // namespace

TRect TDUDBevel::PaintBevel(TCanvas& canvas, const TRect& r, bool transparent) const
{
    if (extent_ == 0 && clientExtent_ == 0)
        return r;
    // Each stage draws on a copy and then moves in by exactly the width the
    // extent counts for it, so the inside always equals ClientRect(r) (some
    // frame styles draw on fewer sides than they take up).
    TRect cur = r;
    switch (mode_) {
    case TDUDBevelMode::bmCustom:
        if (ShadowOuter()) {
            DUDDrawFrameShadow(canvas, cur, borderColor_, shadowColor_, clBtnFace, widthOuter_, widthInner_,
                               transparent);
        } else {
            TRect t = cur;
            DUDDrawFrame3D(canvas, t, styleOuter_, lightColor_, shadowColor_, widthOuter_);
            cur = cur.Inset(DUDFrame3DExt(styleOuter_, widthOuter_));
            Rings(canvas, cur, borderWidth_, borderColor_, transparent);
            t = cur;
            DUDDrawFrame3D(canvas, t, styleInner_, lightColor_, shadowColor_, widthInner_);
            cur = cur.Inset(DUDFrame3DExt(styleInner_, widthInner_));
        }
        break;
    case TDUDBevelMode::bmStandard:
    case TDUDBevelMode::bmWindows: {
        if (mode_ == TDUDBevelMode::bmWindows && windowBorder_)
            return r;
        TRect t = cur;
        DUDDrawStdFrame(canvas, t, standardStyle_);
        cur = cur.Inset(mode_ == TDUDBevelMode::bmStandard ? DUDDrawStdFrameExt(standardStyle_) : 2);
        break;
    }
    case TDUDBevelMode::bmEdge:
        if (borderSides_ != 0) {
            TRect t = cur;
            canvas.DrawEdge(t, EdgeKind(edgeStyle_), EdgeSides(borderSides_));
            cur = cur.Inset(2);
        }
        break;
    }
    Rings(canvas, cur, borderInnerWidth_, borderColor_, transparent);
    return cur;
}

void TDUDBevel::Assign(const TDUDBevel& o)
{
    if (&o == this)
        return;
    BeginUpdate();
    styleInner_ = o.styleInner_;
    styleOuter_ = o.styleOuter_;
    widthInner_ = o.widthInner_;
    widthOuter_ = o.widthOuter_;
    borderColor_ = o.borderColor_;
    borderInnerWidth_ = o.borderInnerWidth_;
    borderWidth_ = o.borderWidth_;
    borderSides_ = o.borderSides_;
    edgeStyle_ = o.edgeStyle_;
    lightColor_ = o.lightColor_;
    SetMode(o.mode_);
    shadowColor_ = o.shadowColor_;
    standardStyle_ = o.standardStyle_;
    EndUpdate(true);
}

bool TDUDBevel::GetRecreateWnd()
{
    const bool r = recreate_;
    recreate_ = false;
    return r;
}

void TDUDSimpleBevel::Assign(const TDUDSimpleBevel& o)
{
    if (&o == this)
        return;
    BeginUpdate();
    width_ = o.width_;
    style_ = o.style_;
    color_ = o.color_;
    lightColor_ = o.lightColor_;
    shadowColor_ = o.shadowColor_;
    EndUpdate(true);
}

} // namespace kyd::widgets
