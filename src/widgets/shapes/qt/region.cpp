#include "widgets/shapes/qt/region.h"

#include "widgets/services/application.h"
#include "widgets/shapes/qt/region_data.h"
#include "widgets/shapes/qt/window_regions.h"

namespace kyd::widgets {

namespace {

// White with the colour where x and y differ in evenness, as the
// application's brush bitmap, for use without an application object.
std::shared_ptr<const TBrushPattern> Checker(TColor color)
{
    auto p = std::make_shared<TBrushPattern>();
    p->Width = p->Height = 8;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            p->Pixels.push_back((x + y) % 2 ? color : clWhite);
    return p;
}

} // namespace

TColor TDUDRegionBorder::Color(int index) const
{
    return index == 0 ? light_ : index == 1 ? shadow_ : single_;
}

void TDUDRegionBorder::SetColor(int index, TColor v)
{
    SetField(index == 0 ? light_ : index == 1 ? shadow_ : single_, v);
}

void TDUDRegionBorder::Assign(const TDUDRegionBorder& o)
{
    if (&o == this)
        return;
    BeginUpdate();
    style_ = o.style_;
    light_ = o.light_;
    shadow_ = o.shadow_;
    single_ = o.single_;
    EndUpdate(true);
}

void TDUDWidgetRegionTarget::SetWindowRegion(const std::optional<QRegion>& region)
{
    if (!widget_)
        return;
    if (region && !region->isEmpty())
        widget_->setMask(*region);
    else
        widget_->clearMask();
}

TDUDRegion::TDUDRegion()
{
    const auto change = [this](void* sender) { GetChange(sender); };
    border_.OnChange = change;
    mask_.OnChange = change;
    shadow_.OnChange = change;
    points_.OnChange = [this](void* sender) { GetPointListChange(sender); };
}

TDUDRegion::~TDUDRegion()
{
    points_.OnChange = nullptr;
    border_.OnChange = mask_.OnChange = shadow_.OnChange = nullptr;
    control_ = nullptr;
}

void TDUDRegion::SetRegionShape(TDUDRegionShape v)
{
    if (shape_ == v)
        return;
    shape_ = v;
    if (v == TDUDRegionShape::rsPointList)
        GetPointListChange(this);
    Change();
}

void TDUDRegion::SetInteger(int index, int v)
{
    int& field = index == 0 ? roundX_ : roundY_;
    if (field == v)
        return;
    field = v;
    using S = TDUDRegionShape;
    if (shape_ == S::rsRoundRect || shape_ == S::rsRoundNoseRect || shape_ == S::rsRoundThinkBubble)
        Change();
}

void TDUDRegion::Assign(const TDUDRegion& o)
{
    if (&o == this)
        return;
    BeginUpdate();
    shape_ = o.shape_;
    roundX_ = o.roundX_;
    roundY_ = o.roundY_;
    shadow_.Assign(o.shadow_);
    extPos_ = o.extPos_;
    border_.Assign(o.border_);
    mask_.Assign(o.mask_);
    // The user's own outline goes with the rest; without it a copied
    // point-list or user-region outline would have no region.
    points_.BeginUpdate();
    o.points_.Clone(&points_);
    points_.EndUpdate(false);
    userData_ = o.userData_;
    EndUpdate(true);
}

void TDUDRegion::GetPointListChange(void*)
{
    if (points_.Count() == 0 || shape_ != TDUDRegionShape::rsPointList)
        return;
    userData_ = DUDPointListRegionData(points_.Points());
}

bool TDUDRegion::SetUserRgn(const std::optional<QRegion>& rgn)
{
    userData_.clear();
    if (!rgn)
        return false;
    userData_ = DUDRegionToData(*rgn);
    return true;
}

void TDUDRegion::SetUserPolygonRgn(const std::vector<TPoint>& points)
{
    points_.BeginUpdate();
    points_.Clear();
    for (const TPoint& p : points)
        points_.AddPoint(p);
    points_.EndUpdate(false);
    userData_ = DUDPointListRegionData(points);
}

TDUDRegionParams TDUDRegion::Params() const
{
    TDUDRegionParams p;
    p.Shape = shape_;
    p.ExtPos = extPos_;
    p.RoundX = roundX_;
    p.RoundY = roundY_;
    p.BubbleCount = bubbleCount_;
    p.ShadowDepth = shadow_.Style() != TDUDShadowStyle::hssNone ? shadow_.Depth() : 0;
    p.Origin = origin_;
    p.MaskData = &mask_.RegionData();
    p.UserData = &userData_;
    return p;
}

const std::optional<QRegion>& TDUDRegion::CreateRegion(const TRect& r)
{
    if (control_ && control_->Destroying())
        return region_;
    region_ = DUDCreateShapeRegion(r, Params());
    return region_;
}

void TDUDRegion::CreateSpecialRectRgn(const TRect& r)
{
    if (control_ && control_->Destroying())
        return;
    region_ = DUDRectRgn(r);
}

void TDUDRegion::SetRegion()
{
    if (!region_) {
        // No region: the window is whole again, not left with the last one.
        windowRegion_.reset();
        if (control_ && control_->HasHandle())
            control_->SetWindowRegion(std::nullopt);
        return;
    }
    windowRegion_ = DUDWindowRegion(*region_, Params().ShadowDepth);
    if (control_ && control_->HasHandle())
        control_->SetWindowRegion(windowRegion_);
}

void TDUDRegion::FreeRegion()
{
    if (!windowRegion_)
        return;
    if (control_ && control_->HasHandle())
        control_->SetWindowRegion(std::nullopt);
    windowRegion_.reset();
}

bool TDUDRegion::DrawShadow(TCanvas& canvas, TRect& r)
{
    const int depth = Params().ShadowDepth;
    if (depth == 0)
        return false;
    const std::optional<QRegion> outline = DUDCreateShapeRegion(r, Params());
    r.Right -= depth;
    r.Bottom -= depth;
    if (outline) {
        const QRegion area = outline->translated(depth, depth) - *outline;
        canvas.Pen = {clBlack, 1, TPenStyle::psClear, TPenMode::pmCopy};
        canvas.Brush = TBrush(shadow_.Color(), TBrushStyle::bsSolid);
        if (shadow_.Style() == TDUDShadowStyle::hssTracing) {
            // The checker ANDed in, so the background shows through.
            TDUDApplication* app = DUDApplication();
            canvas.Brush.Pattern = app ? app->GetBrushBitmap(shadow_.Color()) : Checker(shadow_.Color());
            canvas.Pen.Mode = TPenMode::pmMask;
        }
        for (const QRect& q : area)
            canvas.Polygon({{q.left(), q.top()}, {q.right() + 1, q.top()}, {q.right() + 1, q.bottom() + 1},
                            {q.left(), q.bottom() + 1}});
    }
    canvas.Brush = TBrush(clWhite, TBrushStyle::bsClear);
    canvas.Pen = {canvas.Pen.Color, canvas.Pen.Width, TPenStyle::psSolid, TPenMode::pmCopy};
    return true;
}

void TDUDRegion::PaintRegionShape(TCanvas& canvas, const TRect& r)
{
    canvas.Brush = TBrush(clWhite, TBrushStyle::bsClear);
    canvas.Pen.Width = 2;
    TRect body = r;
    DrawShadow(canvas, body);
    // The frames take the origin and the shadow from the parameters.
    DUDFrameShapeRegion(canvas, r, Params(), border_.FrameColors(), points_.Points());
}

std::vector<std::uint8_t> TDUDRegion::WriteData() const
{
    std::vector<std::int32_t> values;
    for (const TPoint& p : points_.Points()) {
        values.push_back(p.X);
        values.push_back(p.Y);
    }
    return DUDIntegerListData(values);
}

void TDUDRegion::ReadData(const std::vector<std::uint8_t>& data)
{
    const std::vector<std::int32_t> values = DUDIntegerListFromData(data);
    if (values.size() % 2 != 0)
        throw EReadError("point list: an X without its Y");
    points_.BeginUpdate();
    for (std::size_t i = 0; i < values.size(); i += 2)
        points_.AddPoint({values[i], values[i + 1]});
    points_.EndUpdate(false);
    GetPointListChange(this);
}

void TDUDRegion::DefineProperties(TDUDStreamProperties& out) const
{
    if (points_.Count() != 0)
        out.push_back({"PointList", WriteData()});
}

void TDUDRegion::ReadProperties(const TDUDStreamProperties& in)
{
    if (const TDUDStreamProperty* p = DUDFindProperty(in, "PointList"))
        ReadData(p->Data);
}

} // namespace kyd::widgets
