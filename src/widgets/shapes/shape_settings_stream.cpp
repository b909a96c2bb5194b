// The shape settings objects in the form's property stream.
#include "widgets/shapes/shape_settings.h"

namespace kyd::widgets {

namespace {

constexpr int kShadowStyles = 3;
constexpr int kDirections = 4;
constexpr int kShapeTypes = 11;
constexpr int kBrushStyles = 8;
// The shape's bevel: the outline pen alone, inset or offset.
constexpr int kBevelStyles = 3;

int InRange(std::int32_t v, int max, const std::string& name)
{
    if (v < 0 || v > max)
        throw EReadError("Property " + name + " is out of range");
    return v;
}

std::uint8_t Byte(std::int32_t v, int max, const std::string& name)
{
    return static_cast<std::uint8_t>(InRange(v, max, name));
}

} // namespace

void TDUDShadow::DefineProperties(TDUDStreamProperties& out, const std::string& prefix) const
{
    DUDWriteValue(out, prefix + "Color", color_, TColor(clBtnShadow));
    DUDWriteValue(out, prefix + "Depth", depth_, 6);
    DUDWriteValue(out, prefix + "Style", style_, DefaultStyle());
}

void TDUDShadow::ReadProperties(const TDUDStreamProperties& in, const std::string& prefix)
{
    TDUDShadow read;
    read.Assign(*this);
    if (auto v = DUDReadInteger(in, prefix + "Color"))
        read.color_ = static_cast<TColor>(*v);
    if (auto v = DUDReadInteger(in, prefix + "Depth"))
        read.depth_ = Byte(*v, kMaxShadowDepth, prefix + "Depth");
    if (auto v = DUDReadEnum<TDUDShadowStyle>(in, prefix + "Style", kShadowStyles))
        read.style_ = *v;
    if (read.color_ != color_ || read.depth_ != depth_ || read.style_ != style_)
        Assign(read);
}

void TDUDTeeth::DefineProperties(TDUDStreamProperties& out, const std::string& prefix) const
{
    DUDWriteValue(out, prefix + "Count", count_, 10);
    DUDWriteValue(out, prefix + "Direction", direction_, TDUDDirection::tdRight);
    DUDWriteValue(out, prefix + "Offset", offset_, true);
    DUDWriteValue(out, prefix + "SetPerCount", setPerCount_, true);
    DUDWriteValue(out, prefix + "Width", width_, 10);
    DUDWriteValue(out, prefix + "Height", height_, 0);
}

void TDUDTeeth::ReadProperties(const TDUDStreamProperties& in, const std::string& prefix)
{
    TDUDTeeth read;
    read.Assign(*this);
    if (auto v = DUDReadInteger(in, prefix + "Count"))
        read.count_ = Byte(*v, kMaxTeethCount, prefix + "Count");
    if (auto v = DUDReadEnum<TDUDDirection>(in, prefix + "Direction", kDirections))
        read.direction_ = *v;
    if (auto v = DUDReadBoolean(in, prefix + "Offset"))
        read.offset_ = *v;
    if (auto v = DUDReadBoolean(in, prefix + "SetPerCount"))
        read.setPerCount_ = *v;
    if (auto v = DUDReadInteger(in, prefix + "Width"))
        read.width_ = InRange(*v, kMaxTeethSize, prefix + "Width");
    if (auto v = DUDReadInteger(in, prefix + "Height"))
        read.height_ = InRange(*v, kMaxTeethSize, prefix + "Height");
    if (read.count_ != count_ || read.direction_ != direction_ || read.offset_ != offset_
        || read.setPerCount_ != setPerCount_ || read.width_ != width_ || read.height_ != height_)
        Assign(read);
}

void TDUDShape::Assign(const TDUDShape& o)
{
    if (&o == this)
        return;
    BeginUpdate();
    bevel_.Assign(o.bevel_);
    SetBrush(o.brush_);
    shadow_.Assign(o.shadow_);
    SetRoundPercent(o.roundPercent_);
    SetShape(o.shape_);
    SetSquare(o.square_);
    EndUpdate(true);
}

void TDUDShape::DefineProperties(TDUDStreamProperties& out, const std::string& prefix) const
{
    const TDUDSimpleBevel fresh;
    DUDWriteValue(out, prefix + "Bevel.Width", bevel_.Width(), fresh.Width());
    DUDWriteValue(out, prefix + "Bevel.Style", bevel_.Style(), fresh.Style());
    DUDWriteValue(out, prefix + "Bevel.Color", bevel_.Color(), fresh.Color());
    DUDWriteValue(out, prefix + "Bevel.LightColor", bevel_.LightColor(), fresh.LightColor());
    DUDWriteValue(out, prefix + "Bevel.ShadowColor", bevel_.ShadowColor(), fresh.ShadowColor());
    const TBrush brush;
    DUDWriteValue(out, prefix + "Brush.Color", brush_.Color, brush.Color);
    DUDWriteValue(out, prefix + "Brush.Style", brush_.Style, brush.Style);
    DUDWriteValue(out, prefix + "RoundPercent", roundPercent_, 33);
    shadow_.DefineProperties(out, prefix + "Shadow.");
    DUDWriteValue(out, prefix + "Shape", shape_, TDUDShapeType::stRectangle);
    DUDWriteValue(out, prefix + "Square", square_, false);
}

void TDUDShape::ReadProperties(const TDUDStreamProperties& in, const std::string& prefix)
{
    // Everything is read into a copy first: damaged data changes nothing.
    TDUDShape read;
    read.Assign(*this);
    TDUDSimpleBevel& bevel = read.bevel_;
    if (auto v = DUDReadInteger(in, prefix + "Bevel.Width"))
        bevel.SetWidth(Byte(*v, 255, prefix + "Bevel.Width"));
    if (auto v = DUDReadInteger(in, prefix + "Bevel.Style"))
        bevel.SetStyle(InRange(*v, kBevelStyles - 1, prefix + "Bevel.Style"));
    if (auto v = DUDReadInteger(in, prefix + "Bevel.Color"))
        bevel.SetColor(static_cast<TColor>(*v));
    if (auto v = DUDReadInteger(in, prefix + "Bevel.LightColor"))
        bevel.SetLightColor(static_cast<TColor>(*v));
    if (auto v = DUDReadInteger(in, prefix + "Bevel.ShadowColor"))
        bevel.SetShadowColor(static_cast<TColor>(*v));
    TBrush brush = read.brush_;
    if (auto v = DUDReadInteger(in, prefix + "Brush.Color"))
        brush.Color = static_cast<TColor>(*v);
    if (auto v = DUDReadEnum<TBrushStyle>(in, prefix + "Brush.Style", kBrushStyles))
        brush.Style = *v;
    read.SetBrush(brush);
    if (auto v = DUDReadInteger(in, prefix + "RoundPercent"))
        read.SetRoundPercent(Byte(*v, kMaxPercent, prefix + "RoundPercent"));
    read.shadow_.ReadProperties(in, prefix + "Shadow.");
    if (auto v = DUDReadEnum<TDUDShapeType>(in, prefix + "Shape", kShapeTypes))
        read.SetShape(*v);
    if (auto v = DUDReadBoolean(in, prefix + "Square"))
        read.SetSquare(*v);
    Assign(read);
}

} // namespace kyd::widgets
