// Bevel settings: how a control frames itself, and how wide that frame is,
// so that a control can lay out its inside without painting.
#pragma once

#include "widgets/framework/object.h"
#include "widgets/painting/frames.h"

#include <cstdint>

namespace kyd::widgets {

enum class TDUDBevelMode { bmCustom, bmStandard, bmEdge, bmWindows };
enum class TDUDEdgeStyle {
    etRaisedInner, etRaisedOuter, etSunkenInner, etSunkenOuter, etBump, etEtched, etRaised, etSunken
};
// Sides of an edge-mode frame, as bits of TDUDFrameSides.
enum TDUDFrameSide : std::uint8_t { fsBottom = 1, fsLeft = 2, fsRight = 4, fsTop = 8 };
using TDUDFrameSides = std::uint8_t;
constexpr TDUDFrameSides kAllFrameSides = fsBottom | fsLeft | fsRight | fsTop;

class TDUDBevel : public TDUDObject {
public:
    TDUDBevel();

    TDUDBevelStyle StyleInner() const { return styleInner_; }
    TDUDBevelStyle StyleOuter() const { return styleOuter_; }
    int WidthInner() const { return widthInner_; }
    int WidthOuter() const { return widthOuter_; }
    TColor BorderColor() const { return borderColor_; }
    int BorderInnerWidth() const { return borderInnerWidth_; }
    int BorderWidth() const { return borderWidth_; }
    TDUDFrameSides BorderSides() const { return borderSides_; }
    TDUDEdgeStyle EdgeStyle() const { return edgeStyle_; }
    TColor LightColor() const { return lightColor_; }
    TDUDBevelMode Mode() const { return mode_; }
    TColor ShadowColor() const { return shadowColor_; }
    TDUDBorderStyle StandardStyle() const { return standardStyle_; }
    bool WindowBorder() const { return windowBorder_; }

    void SetStyleInner(TDUDBevelStyle v) { SetField(styleInner_, v); }
    void SetStyleOuter(TDUDBevelStyle v) { SetField(styleOuter_, v); }
    void SetWidthInner(std::uint8_t v) { SetField(widthInner_, int(v)); }
    void SetWidthOuter(std::uint8_t v) { SetField(widthOuter_, int(v)); }
    void SetBorderColor(TColor v) { SetField(borderColor_, v); }
    void SetBorderInnerWidth(std::uint8_t v) { SetField(borderInnerWidth_, int(v)); }
    void SetBorderWidth(std::uint8_t v) { SetField(borderWidth_, int(v)); }
    void SetBorderSides(TDUDFrameSides v) { SetField(borderSides_, TDUDFrameSides(v & kAllFrameSides)); }
    void SetEdgeStyle(TDUDEdgeStyle v) { SetField(edgeStyle_, v); }
    void SetLightColor(TColor v) { SetField(lightColor_, v); }
    void SetShadowColor(TColor v) { SetField(shadowColor_, v); }
    void SetMode(TDUDBevelMode v);
    // The standard frame style; reported only in bmStandard mode.
    void SetStyle(TDUDBorderStyle v);
    // Set by an owner that draws the window border itself.
    void SetWindowBorder(bool v);

    // Recomputes the cached widths, then reports.
    void Change() override;
    int GetBevelExtend() const;
    int Extent() const { return extent_; }
    int ClientExtent() const { return clientExtent_; }
    TRect ClientRect(const TRect& r) const;
    // Draws the frame around r and returns the rectangle inside it (always
    // ClientRect(r)). A transparent paint leaves the border rings unfilled.
    TRect PaintBevel(TCanvas& canvas, const TRect& r, bool transparent) const;

    void Assign(const TDUDBevel& o);
    // Reads and clears the flag that the owner's window must be rebuilt.
    bool GetRecreateWnd();
    std::string ClassName() const override { return "TDUDBevel"; }

private:
    void Recompute();
    bool ShadowOuter() const { return mode_ == TDUDBevelMode::bmCustom && styleOuter_ == TDUDBevelStyle::bvShadow; }

    TDUDBevelStyle styleInner_ = TDUDBevelStyle::bvNone;
    TDUDBevelStyle styleOuter_ = TDUDBevelStyle::bvNone;
    int widthInner_ = 1;
    int widthOuter_ = 1;
    TColor borderColor_ = clBtnFace;
    int borderInnerWidth_ = 0;
    int borderWidth_ = 0;
    TDUDFrameSides borderSides_ = kAllFrameSides;
    TDUDEdgeStyle edgeStyle_ = TDUDEdgeStyle::etEtched;
    int extent_ = 0;
    int clientExtent_ = 0;
    TColor lightColor_ = clBtnHighlight;
    TDUDBevelMode mode_ = TDUDBevelMode::bmCustom;
    TColor shadowColor_ = clBtnShadow;
    TDUDBorderStyle standardStyle_ = TDUDBorderStyle::lsSingleLowered;
    bool windowBorder_ = false;
    bool recreate_ = false;
};

// Width, style and three colours of a simple frame.
class TDUDSimpleBevel : public TDUDObject {
public:
    int Width() const { return width_; }
    int Style() const { return style_; }
    TColor Color() const { return color_; }
    TColor LightColor() const { return lightColor_; }
    TColor ShadowColor() const { return shadowColor_; }
    void SetWidth(std::uint8_t v) { SetField(width_, int(v)); }
    void SetStyle(int v) { SetField(style_, v); }
    void SetColor(TColor v) { SetField(color_, v); }
    void SetLightColor(TColor v) { SetField(lightColor_, v); }
    void SetShadowColor(TColor v) { SetField(shadowColor_, v); }
    void Assign(const TDUDSimpleBevel& o);
    std::string ClassName() const override { return "TDUDSimpleBevel"; }

private:
    int width_ = 2;
    int style_ = 0;
    TColor color_ = clBtnFace;
    TColor lightColor_ = clBtnHighlight;
    TColor shadowColor_ = clBtnShadow;
};

} // namespace kyd::widgets
