// Caption settings: the 3-D look of a control's text, and the routine that
// draws text with it. Also two small shared helpers of the library.
#pragma once

#include "widgets/framework/canvas.h"
#include "widgets/framework/object.h"

#include <cstdint>

namespace kyd::widgets {

enum class TDUDDisabledStyle { dsAuto, dsStandard, ds3d, dsNone };
enum class TDUDThreeDStyle {
    tdNone, tdSunken, tdRaised, tdSunkenShadow, tdRaisedShadow, tdPColorSunken, tdPColorRaised, tdShadow,
    tdOutline, tdExtrude, tdExtrudeEnh
};
enum class TDUDThreeDOrientation { toBottomLeft, toBottomRight, toTopLeft, toTopRight };

class TDUD3DCaption : public TDUDObject {
public:
    TDUDDisabledStyle DisabledStyle() const { return disabledStyle_; }
    int LightDepth() const { return lightDepth_; }
    int ShadowDepth() const { return shadowDepth_; }
    TColor LightColor() const { return lightColor_; }
    TColor ShadowColor() const { return shadowColor_; }
    TDUDThreeDStyle Style() const { return style_; }
    TDUDThreeDOrientation Orientation() const { return orientation_; }
    std::int32_t Tracing() const { return tracing_; }

    void SetDisabledStyle(TDUDDisabledStyle v) { SetField(disabledStyle_, v); }
    // Index 0 is the light colour, 1 the shadow colour.
    void SetColor(int index, TColor v) { SetField(index == 0 ? lightColor_ : shadowColor_, v); }
    // Index 0 is the light depth, 1 the shadow depth.
    void SetDepth(int index, std::uint8_t v) { SetField(index == 0 ? lightDepth_ : shadowDepth_, int(v)); }
    void SetLightColor(TColor v) { SetColor(0, v); }
    void SetShadowColor(TColor v) { SetColor(1, v); }
    void SetLightDepth(std::uint8_t v) { SetDepth(0, v); }
    void SetShadowDepth(std::uint8_t v) { SetDepth(1, v); }
    void SetStyle(TDUDThreeDStyle v) { SetField(style_, v); }
    void SetOrientation(TDUDThreeDOrientation v) { SetField(orientation_, v); }
    void SetTracing(std::int32_t v) { SetField(tracing_, v); }

    void Assign(const TDUD3DCaption& o);
    std::string ClassName() const override { return "TDUD3DCaption"; }

    // How far the style's copies reach beyond the text to the right and below.
    int ExtraDepth() const;

private:
    TDUDDisabledStyle disabledStyle_ = TDUDDisabledStyle::dsAuto;
    int lightDepth_ = 1;
    int shadowDepth_ = 1;
    TColor lightColor_ = clBtnHighlight;
    TColor shadowColor_ = clBtnShadow;
    TDUDThreeDStyle style_ = TDUDThreeDStyle::tdNone;
    TDUDThreeDOrientation orientation_ = TDUDThreeDOrientation::toTopLeft;
    std::int32_t tracing_ = 0;
};

// A caption with a rotation angle and a position.
class TDUDFxCaption : public TDUD3DCaption {
public:
    int Angle() const { return angle_; }
    int PosX() const { return posX_; }
    int PosY() const { return posY_; }
    // 360 degrees are stored as 0.
    void SetAngle(std::int16_t v) { SetField(angle_, v == 360 ? 0 : int(v)); }
    // Index 0 is PosX, 1 PosY.
    void SetPos(int index, std::int16_t v) { SetField(index == 0 ? posX_ : posY_, int(v)); }
    // Sets both inside one update and reports nothing itself: the text
    // measurement places a rotated caption this way without a repaint.
    void SetPosXY(std::int16_t x, std::int16_t y);
    void Assign(const TDUDFxCaption& o);
    std::string ClassName() const override { return "TDUDFxCaption"; }

private:
    int angle_ = 0;
    int posX_ = 0;
    int posY_ = 0;
};

// Styles of DUDDrawTextExt, as bits.
enum TDUDDrawTextStyle : unsigned {
    dtDisabled = 1u << 0, dtEnabled = 1u << 1, dt3DDisabled = 1u << 2, dtClip = 1u << 3,
    dtAccelChar = 1u << 4, dtAutoSize = 1u << 5, dtRectText = 1u << 6, dtRectGlyph = 1u << 7,
    dtRectGlyphText = 1u << 8, dtCalculate = 1u << 9
};

// Draws text in r by the TextRect flags with the caption's 3-D style (plain
// text without a caption). A caption with an angle draws every pass turned
// about the moved top-left.
void DUDDrawTextExt(TCanvas& canvas, const std::string& text, const TDUD3DCaption* caption, const TRect& r,
                    unsigned flags, unsigned styles, const TRect* clip = nullptr);

// DUDDrawTextExt with the enabled style and no clip rectangle.
void DUDDrawText(TCanvas& canvas, const std::string& text, const TDUD3DCaption* caption, const TRect& r,
                 unsigned flags);

enum class TDUDGlyphTextFocusStyle { fcNone, fcControl, fcText, fcGlyph, fcGlyphText };

// The focus flag of text drawing for a focus style.
unsigned DUDConvertFocusStyle(TDUDGlyphTextFocusStyle s);

// Raises the error of a second dock component attached to one control.
[[noreturn]] void DUDRaiseDockError(const std::string& firstName, const std::string& secondName);

} // namespace kyd::widgets
