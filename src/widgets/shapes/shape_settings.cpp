#include "widgets/shapes/shape_settings.h"

#include <algorithm>

namespace kyd::widgets {

void TDUDShadow::SetDepth(int v)
{
    SetField(depth_, std::clamp(v, 0, kMaxShadowDepth));
}

void TDUDShadow::Assign(const TDUDShadow& o)
{
    if (&o == this)
        return;
    style_ = o.style_;
    color_ = o.color_;
    depth_ = o.depth_;
    Change();
}

std::string TDUDShadow::GetSetStr() const
{
    switch (style_) {
    case TDUDShadowStyle::hssNone:
        return "{Disabled}";
    case TDUDShadowStyle::hssSolid:
        return "{solid, " + std::to_string(depth_) + "}";
    case TDUDShadowStyle::hssTracing:
        return "{tracing, " + std::to_string(depth_) + "}";
    }
    return "{}";
}

void TDUDTeeth::SetCount(int v)
{
    SetField(count_, std::clamp(v, 0, kMaxTeethCount));
}

void TDUDTeeth::SetBoolean(int index, bool v)
{
    if (index == 0)
        SetField(offset_, v);
    else if (index == 1)
        SetField(setPerCount_, v);
}

void TDUDTeeth::SetInteger(int index, int v)
{
    v = std::clamp(v, 0, kMaxTeethSize);
    if (index == 0)
        SetField(width_, v);
    else if (index == 1)
        SetField(height_, v);
}

void TDUDTeeth::Assign(const TDUDTeeth& o)
{
    if (&o == this)
        return;
    direction_ = o.direction_;
    count_ = o.count_;
    width_ = o.width_;
    height_ = o.height_;
    setPerCount_ = o.setPerCount_;
    offset_ = o.offset_;
    Change();
}

TDUDShape::TDUDShape()
{
    shadow_.OnChange = [this](void* s) { GetChange(s); };
    bevel_.OnChange = [this](void* s) { GetChange(s); };
}

TDUDShape::~TDUDShape()
{
    bevel_.OnChange = nullptr;
    shadow_.OnChange = nullptr;
}

void TDUDShape::SetBrush(const TBrush& v)
{
    // The pattern counts too: a new picture with the same colour and style
    // is a change.
    const bool samePattern = brush_.Pattern == v.Pattern
                             || (brush_.Pattern && v.Pattern && brush_.Pattern->Width == v.Pattern->Width
                                 && brush_.Pattern->Height == v.Pattern->Height
                                 && brush_.Pattern->Pixels == v.Pattern->Pixels);
    if (brush_.Color == v.Color && brush_.Style == v.Style && samePattern)
        return;
    brush_ = v;
    Change();
}

void TDUDShape::SetRoundPercent(int v)
{
    SetField(roundPercent_, std::clamp(v, 0, kMaxPercent));
}

TPoint TDUDPointList::GetPoint(int index) const
{
    if (index < 0 || index >= Count())
        return {};
    return points_[static_cast<std::size_t>(index)];
}

void TDUDPointList::PutPoint(int index, TPoint p)
{
    if (index >= 0 && index < Count())
        points_[static_cast<std::size_t>(index)] = p;
    GetChange(this);
}

void TDUDPointList::AddPoint(TPoint p)
{
    points_.push_back(p);
    GetChange(this);
}

void TDUDPointList::DeletePoint(int index)
{
    if (index < 0 || index >= Count())
        throw EDUDException("List index out of bounds (" + std::to_string(index) + ")");
    points_.erase(points_.begin() + index);
    GetChange(this);
}

void TDUDPointList::Clone(TDUDPointList* dest) const
{
    if (!dest || dest == this)
        return;
    dest->Clear();
    for (const TPoint& p : points_)
        dest->AddPoint(p);
}

void TDUDPointList::EndUpdate(bool notify)
{
    if (updating_ <= 0)
        return;
    --updating_;
    if (notify)
        GetChange(this);
}

void TDUDPointList::GetChange(void* sender)
{
    if (updating_ <= 0 && OnChange)
        OnChange(sender);
}

} // namespace kyd::widgets
