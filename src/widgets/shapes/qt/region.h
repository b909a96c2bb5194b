// The settings object of a window's outline: which outline, its corner
// ellipse, corner and shadow, the traced mask and the user's own outline
// (a region or a point list). It builds the region for a rectangle, hands
// it to the window it is set on (through TDUDRegionTarget) and paints the
// window's shadow and border along the outline.
#pragma once

#include "widgets/storage/property_stream.h"
#include "widgets/shapes/region_mask.h"
#include "widgets/shapes/shape_settings.h"
#include "widgets/shapes/qt/region_frames.h"

#include <QPointer>
#include <QRegion>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

namespace kyd::widgets {

class TDUDRegionBorder : public TDUDObject {
public:
    TDUDRegionBorderStyle Style() const { return style_; }
    // Index 0 is LightColor, 1 ShadowColor, 2 SingleColor.
    TColor Color(int index) const;
    TColor LightColor() const { return light_; }
    TColor ShadowColor() const { return shadow_; }
    TColor SingleColor() const { return single_; }
    void SetBorderStyle(TDUDRegionBorderStyle v) { SetField(style_, v); }
    void SetColor(int index, TColor v);
    // Copies the style and the three colours and reports one change.
    void Assign(const TDUDRegionBorder& o);
    TDUDFrameColors FrameColors() const { return {light_, shadow_, single_, style_}; }
    std::string ClassName() const override { return "TDUDRegionBorder"; }

private:
    TDUDRegionBorderStyle style_ = TDUDRegionBorderStyle::rbSingle;
    TColor light_ = clBtnHighlight;
    TColor shadow_ = clBtnShadow;
    TColor single_ = clBlack;
};

// The window a region is applied to.
class TDUDRegionTarget {
public:
    virtual ~TDUDRegionTarget() = default;
    virtual bool Destroying() const { return false; }
    virtual bool HasHandle() const = 0;
    // Gives the window this outline; nothing removes it.
    virtual void SetWindowRegion(const std::optional<QRegion>& region) = 0;
};

// A widget's mask as the region target.
class TDUDWidgetRegionTarget final : public TDUDRegionTarget {
public:
    explicit TDUDWidgetRegionTarget(QWidget* w) : widget_(w) {}
    bool HasHandle() const override { return widget_ != nullptr; }
    void SetWindowRegion(const std::optional<QRegion>& region) override;

private:
    QPointer<QWidget> widget_;
};

class TDUDRegion : public TDUDObject {
public:
    TDUDRegion();
    ~TDUDRegion() override;

    TDUDRegionShape Shape() const { return shape_; }
    TDUDExtPos ExtPos() const { return extPos_; }
    int RoundX() const { return roundX_; }
    int RoundY() const { return roundY_; }
    int BubbleCount() const { return bubbleCount_; }
    TDUDRegionBorder& Border() { return border_; }
    const TDUDRegionBorder& Border() const { return border_; }
    TDUDRegionMask& Mask() { return mask_; }
    const TDUDRegionMask& Mask() const { return mask_; }
    TDUDRgnShadow& Shadow() { return shadow_; }
    const TDUDRgnShadow& Shadow() const { return shadow_; }
    TDUDPointList& Points() { return points_; }
    const TDUDPointList& Points() const { return points_; }
    TPoint Origin() const { return origin_; }
    void SetOrigin(TPoint p) { origin_ = p; }
    TDUDRegionTarget* Control() const { return control_; }
    void SetControl(TDUDRegionTarget* c) { control_ = c; }
    // The user region's data; empty when there is none.
    const std::vector<std::uint8_t>& UserRegionData() const { return userData_; }

    // A point list outline takes its user region from the points first.
    void SetRegionShape(TDUDRegionShape v);
    void SetNosePos(TDUDExtPos v) { SetField(extPos_, v); }
    // Index 0 is RoundX, 1 RoundY; a change is reported only for the
    // outlines with rounded corners.
    void SetInteger(int index, int v);
    void SetRoundX(int v) { SetInteger(0, v); }
    void SetRoundY(int v) { SetInteger(1, v); }
    void SetBorder(const TDUDRegionBorder& v) { border_.Assign(v); }
    void SetMask(const TDUDRegionMask& v) { mask_.Assign(v); }
    void SetShadow(const TDUDShadow& v) { shadow_.Assign(v); }
    // Copies every setting, the points and the user region included, and
    // reports one change.
    void Assign(const TDUDRegion& o);

    // Rebuilds the user region from the points of a point-list outline.
    void GetPointListChange(void* sender);
    // Keeps the region's data as the user region; false for none.
    bool SetUserRgn(const std::optional<QRegion>& rgn);
    // The polygon (odd-even fill) of the points becomes the user region and
    // the points the point list.
    void SetUserPolygonRgn(const std::vector<TPoint>& points);

    // The parameters the outline of this object is built from.
    TDUDRegionParams Params() const;
    // Builds the region for r (moved by the origin, less the shadow);
    // nothing while the window is being destroyed or without data.
    const std::optional<QRegion>& CreateRegion(const TRect& r);
    const std::optional<QRegion>& Region() const { return region_; }
    // The plain rectangle as the region.
    void CreateSpecialRectRgn(const TRect& r);
    // Gives the window the region with its shadow; the kept copy is what
    // the window has. Without a region the window's region is taken off.
    void SetRegion();
    const std::optional<QRegion>& WindowRegion() const { return windowRegion_; }
    // Takes the region off the window again.
    void FreeRegion();
    // Fills the shadow beside the outline of r and moves r's right and
    // bottom in by the shadow's depth; false without a shadow.
    bool DrawShadow(TCanvas& canvas, TRect& r);
    // The shadow, then the border along the outline.
    virtual void PaintRegionShape(TCanvas& canvas, const TRect& r);

    // "PointList" (only when there are points): X and Y of each point as
    // an integer list. Reading appends; EReadError for a damaged list,
    // and then nothing changes.
    void DefineProperties(TDUDStreamProperties& out) const;
    void ReadProperties(const TDUDStreamProperties& in);
    std::vector<std::uint8_t> WriteData() const;
    void ReadData(const std::vector<std::uint8_t>& data);

    std::string ClassName() const override { return "TDUDRegion"; }

private:
    TDUDRegionShape shape_ = TDUDRegionShape::rsRoundRect;
    TDUDRegionBorder border_;
    TDUDRegionMask mask_;
    int bubbleCount_ = 4;
    int roundX_ = 20;
    int roundY_ = 20;
    std::optional<QRegion> region_;
    std::optional<QRegion> windowRegion_;
    TDUDRegionTarget* control_ = nullptr;
    std::vector<std::uint8_t> userData_;
    TDUDExtPos extPos_ = TDUDExtPos::epLeftTop;
    TDUDRgnShadow shadow_;
    TPoint origin_;
    TDUDPointList points_;
};

// A region whose border is a published setting of its own.
class TDUDBorderRegion : public TDUDRegion {
public:
    std::string ClassName() const override { return "TDUDBorderRegion"; }
};

} // namespace kyd::widgets
