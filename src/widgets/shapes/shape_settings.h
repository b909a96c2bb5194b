// Settings of painted shapes and window regions: the shape description with
// its bevel, brush and shadow, the shadow settings, the teeth cut into one
// side of an outline, and the point list an outline is kept in. Each setter
// stores a new value and notifies only when the value differs.
#pragma once

#include "widgets/painting/bevel.h"
#include "widgets/framework/canvas.h"
#include "widgets/framework/object.h"
#include "widgets/storage/property_stream.h"
#include "widgets/framework/graphics.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kyd::widgets {

enum class TDUDShapeType {
    stEllipse, stRectangle, stRoundRect, stDirectUp, stDirectRight, stDirectDown,
    stDirectLeft, stDiamond, stComb, stOctagon, stStar
};
enum class TDUDShadowStyle { hssNone, hssSolid, hssTracing };
enum class TDUDDirection { tdRight, tdDown, tdLeft, tdUp };

// Ranges of the streamed byte-sized properties; a setter clamps into them.
constexpr int kMaxShadowDepth = 40;
constexpr int kMaxPercent = 100;
constexpr int kMaxTeethCount = 50;
// The teeth's step and depth: no more than a window can be wide.
constexpr int kMaxTeethSize = 32767;

class TDUDShadow : public TDUDObject {
public:
    TDUDShadow() = default;
    TColor Color() const { return color_; }
    int Depth() const { return depth_; }
    TDUDShadowStyle Style() const { return style_; }
    void SetColor(TColor v) { SetField(color_, v); }
    void SetDepth(int v);
    void SetStyle(TDUDShadowStyle v) { SetField(style_, v); }
    // Copies style, colour and depth and reports one change.
    void Assign(const TDUDShadow& o);
    // "{solid, 6}", "{tracing, 3}" or "{Disabled}".
    std::string GetSetStr() const override;
    std::string ClassName() const override { return "TDUDShadow"; }
    // The published properties in the form's stream (those that differ from
    // their defaults, under prefix + their name); reading takes what is
    // there, all or nothing (EReadError for damaged data), as one change.
    void DefineProperties(TDUDStreamProperties& out, const std::string& prefix = {}) const;
    void ReadProperties(const TDUDStreamProperties& in, const std::string& prefix = {});
    // The style a new object has (the stream leaves it out).
    virtual TDUDShadowStyle DefaultStyle() const { return TDUDShadowStyle::hssSolid; }

private:
    TColor color_ = clBtnShadow;
    int depth_ = 6;
    TDUDShadowStyle style_ = TDUDShadowStyle::hssSolid;
};

// The shadow of a window region, off until asked for.
class TDUDRgnShadow : public TDUDShadow {
public:
    TDUDRgnShadow() { BeginUpdate(); SetStyle(TDUDShadowStyle::hssNone); EndUpdate(false); }
    std::string ClassName() const override { return "TDUDRgnShadow"; }
    TDUDShadowStyle DefaultStyle() const override { return TDUDShadowStyle::hssNone; }
};

class TDUDTeeth : public TDUDObject {
public:
    int Count() const { return count_; }
    TDUDDirection Direction() const { return direction_; }
    bool Offset() const { return offset_; }
    bool SetPerCount() const { return setPerCount_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetCount(int v);
    void SetDirection(TDUDDirection v) { SetField(direction_, v); }
    // Index 0 is Offset, 1 SetPerCount.
    void SetBoolean(int index, bool v);
    // Index 0 is Width, 1 Height; both are clamped into 0..kMaxTeethSize.
    void SetInteger(int index, int v);
    void SetOffset(bool v) { SetBoolean(0, v); }
    void SetSetPerCount(bool v) { SetBoolean(1, v); }
    void SetWidth(int v) { SetInteger(0, v); }
    void SetHeight(int v) { SetInteger(1, v); }
    // Copies every setting and reports one change.
    void Assign(const TDUDTeeth& o);
    std::string ClassName() const override { return "TDUDTeeth"; }
    // The published properties in the form's stream (those that differ from
    // their defaults, under prefix + their name); reading takes what is
    // there, all or nothing (EReadError for damaged data), as one change.
    void DefineProperties(TDUDStreamProperties& out, const std::string& prefix = {}) const;
    void ReadProperties(const TDUDStreamProperties& in, const std::string& prefix = {});

private:
    int count_ = 10;
    TDUDDirection direction_ = TDUDDirection::tdRight;
    bool offset_ = true;
    bool setPerCount_ = true;
    int width_ = 10;
    int height_ = 0;
};

// The description of a painted shape. Bevel and shadow are owned; a change
// of either is reported as a change of the shape.
class TDUDShape : public TDUDObject {
public:
    TDUDShape();
    ~TDUDShape() override;
    TDUDSimpleBevel& Bevel() { return bevel_; }
    const TDUDSimpleBevel& Bevel() const { return bevel_; }
    const TBrush& Brush() const { return brush_; }
    TDUDShadow& Shadow() { return shadow_; }
    const TDUDShadow& Shadow() const { return shadow_; }
    int RoundPercent() const { return roundPercent_; }
    TDUDShapeType Shape() const { return shape_; }
    bool Square() const { return square_; }
    // The object setters copy into the owned objects.
    void SetBevel(const TDUDSimpleBevel& v) { bevel_.Assign(v); }
    void SetBrush(const TBrush& v);
    void SetShadow(const TDUDShadow& v) { shadow_.Assign(v); }
    void SetRoundPercent(int v);
    void SetShape(TDUDShapeType v) { SetField(shape_, v); }
    void SetSquare(bool v) { SetField(square_, v); }
    std::string ClassName() const override { return "TDUDShape"; }
    // Copies every setting (one change).
    void Assign(const TDUDShape& o);
    // Bevel, brush and shadow go under "Bevel.", "Brush." and "Shadow.".
    // The published properties in the form's stream (those that differ from
    // their defaults, under prefix + their name); reading takes what is
    // there, all or nothing (EReadError for damaged data), as one change.
    void DefineProperties(TDUDStreamProperties& out, const std::string& prefix = {}) const;
    void ReadProperties(const TDUDStreamProperties& in, const std::string& prefix = {});

private:
    TDUDSimpleBevel bevel_;
    TBrush brush_;
    int roundPercent_ = 33;
    TDUDShadow shadow_;
    TDUDShapeType shape_ = TDUDShapeType::stRectangle;
    bool square_ = false;
};

// An outline as a list of points, with full 32-bit coordinates.
class TDUDPointList {
public:
    TNotifyEvent OnChange;

    int Count() const { return static_cast<int>(points_.size()); }
    const std::vector<TPoint>& Points() const { return points_; }
    // The point of item index; (0, 0) when there is no such item.
    TPoint GetPoint(int index) const;
    // Replaces an existing item (an index out of range changes nothing), then notifies.
    void PutPoint(int index, TPoint p);
    void AddPoint(TPoint p);
    // Removes an item; EDUDException when there is none.
    void DeletePoint(int index);
    // Empties the list without a notification.
    void Clear() { points_.clear(); }
    // Makes dest hold exactly this list's points, in order.
    void Clone(TDUDPointList* dest) const;
    void BeginUpdate() { ++updating_; }
    void EndUpdate(bool notify);
    int UpdateCount() const { return updating_; }
    // The notification itself: calls OnChange unless an update is under way.
    void GetChange(void* sender);

private:
    std::vector<TPoint> points_;
    int updating_ = 0;
};

} // namespace kyd::widgets
