#include "widgets/painting/caption3d.h"

#include "widgets/painting/frames.h"

#include <algorithm>

namespace kyd::widgets {

void TDUD3DCaption::Assign(const TDUD3DCaption& o)
{
    if (&o == this)
        return;
    BeginUpdate();
    disabledStyle_ = o.disabledStyle_;
    lightDepth_ = o.lightDepth_;
    shadowDepth_ = o.shadowDepth_;
    lightColor_ = o.lightColor_;
    shadowColor_ = o.shadowColor_;
    style_ = o.style_;
    orientation_ = o.orientation_;
    tracing_ = o.tracing_;
    EndUpdate(true);
}

int TDUD3DCaption::ExtraDepth() const
{
    using S = TDUDThreeDStyle;
    switch (style_) {
    case S::tdSunken:
    case S::tdRaised:
        return lightDepth_;
    case S::tdSunkenShadow:
    case S::tdRaisedShadow:
    case S::tdPColorSunken:
    case S::tdPColorRaised:
        return lightDepth_ + shadowDepth_;
    case S::tdShadow:
    case S::tdOutline:
    case S::tdExtrude:
    case S::tdExtrudeEnh:
        return shadowDepth_;
    case S::tdNone:
        break;
    }
    return 0;
}

void TDUDFxCaption::SetPosXY(std::int16_t x, std::int16_t y)
{
    BeginUpdate();
    SetPos(0, x);
    SetPos(1, y);
    EndUpdate(false);
}

void TDUDFxCaption::Assign(const TDUDFxCaption& o)
{
    if (&o == this)
        return;
    BeginUpdate();
    TDUD3DCaption::Assign(o);
    angle_ = o.angle_;
    posX_ = o.posX_;
    posY_ = o.posY_;
    EndUpdate(true);
}

void DUDDrawTextExt(TCanvas& canvas, const std::string& text, const TDUD3DCaption* caption, const TRect& rect,
                    unsigned flags, unsigned styles, const TRect* clip)
{
    if (text.empty() || rect.IsEmpty())
        return;
    const auto savedClip = canvas.ClipRect();
    const TColor savedColor = canvas.Font.Color;
    if (styles & dtClip)
        canvas.SetClipRect(clip ? *clip : rect);
    auto restore = [&] {
        canvas.Font.Color = savedColor;
        canvas.TextSpacing = 0;
        if (styles & dtClip) {
            if (savedClip)
                canvas.SetClipRect(*savedClip);
            else
                canvas.ClearClip();
        }
    };
    if (!caption) {
        TRect r = rect;
        canvas.TextRect(r, text, flags);
        restore();
        return;
    }

    using S = TDUDThreeDStyle;
    TRect r = rect;
    const int savedAngle = canvas.Font.Angle;
    bool rotated = false;
    if (auto* fx = dynamic_cast<const TDUDFxCaption*>(caption)) {
        r = r.Offset(fx->PosX(), fx->PosY());
        if (fx->Angle() != 0) {
            // Every pass goes out as TextOut at the moved top-left.
            rotated = true;
            canvas.Font.Angle = fx->Angle() * 10;
        }
    }

    S style = caption->Style();
    TColor textColor = canvas.Font.Color;
    if ((styles & dtEnabled) || caption->DisabledStyle() == TDUDDisabledStyle::dsNone) {
        if (style == S::tdPColorSunken || style == S::tdPColorRaised)
            textColor = canvas.Brush.Color;
    } else {
        textColor = clGrayText;
        if (caption->DisabledStyle() == TDUDDisabledStyle::ds3d
            || (caption->DisabledStyle() == TDUDDisabledStyle::dsAuto && (styles & dt3DDisabled)))
            style = S::tdSunken;
    }
    canvas.TextSpacing = caption->Tracing();

    const int L = caption->LightDepth();
    const int D = caption->ShadowDepth();
    const TColor light = caption->LightColor();
    const TColor shadow = caption->ShadowColor();
    int depth = 0;
    switch (style) {
    case S::tdSunken: case S::tdRaised: depth = L; break;
    case S::tdSunkenShadow: case S::tdRaisedShadow: case S::tdPColorSunken: case S::tdPColorRaised: depth = L + D; break;
    case S::tdShadow: case S::tdOutline: case S::tdExtrude: case S::tdExtrudeEnh: depth = D; break;
    case S::tdNone: break;
    }
    r.Right -= depth;

    auto pass = [&](int dx, int dy, TColor c) {
        canvas.Font.Color = c;
        TRect t = r.Offset(dx, dy);
        if (rotated)
            canvas.TextOut(t.Left, t.Top, text);
        else
            canvas.TextRect(t, text, flags);
    };
    switch (style) {
    case S::tdNone:
        pass(0, 0, textColor);
        break;
    case S::tdSunken:
        pass(L, L, light);
        pass(0, 0, textColor);
        break;
    case S::tdRaised:
        pass(0, 0, light);
        pass(L, L, textColor);
        break;
    case S::tdSunkenShadow:
    case S::tdPColorSunken:
        pass(0, 0, shadow);
        pass(L + D, L + D, light);
        pass(D, D, textColor);
        break;
    case S::tdRaisedShadow:
    case S::tdPColorRaised:
        pass(L + D, L + D, shadow);
        pass(0, 0, light);
        pass(L, L, textColor);
        break;
    case S::tdShadow:
        pass(D, D, shadow);
        pass(0, 0, textColor);
        break;
    case S::tdOutline:
        canvas.Font.Color = textColor;
        canvas.TextOutline(r.Offset(D / 2, D / 2), text, flags, std::max(1, D));
        break;
    case S::tdExtrude:
    case S::tdExtrudeEnh: {
        int x = 0, y = 0, sx = 1, sy = 1;
        switch (caption->Orientation()) {
        case TDUDThreeDOrientation::toBottomLeft: y = D + 1; sx = 1; sy = -1; break;
        case TDUDThreeDOrientation::toBottomRight: x = D + 1; y = D + 1; sx = -1; sy = -1; break;
        case TDUDThreeDOrientation::toTopLeft: break;
        case TDUDThreeDOrientation::toTopRight: x = D + 1; sx = -1; sy = 1; break;
        }
        for (int k = D; k >= 1; --k) {
            const TColor c = style == S::tdExtrude ? shadow : DUDGradientGetColor(shadow, light, k - 1, D);
            pass(x, y, c);
            x += sx;
            y += sy;
        }
        pass(x, y, textColor);
        break;
    }
    }
    canvas.Font.Angle = savedAngle;
    restore();
}

void DUDDrawText(TCanvas& canvas, const std::string& text, const TDUD3DCaption* caption, const TRect& r,
                 unsigned flags)
{
    DUDDrawTextExt(canvas, text, caption, r, flags, dtEnabled, nullptr);
}

unsigned DUDConvertFocusStyle(TDUDGlyphTextFocusStyle s)
{
    switch (s) {
    case TDUDGlyphTextFocusStyle::fcText: return 64;
    case TDUDGlyphTextFocusStyle::fcGlyph: return 128;
    case TDUDGlyphTextFocusStyle::fcGlyphText: return 256;
    case TDUDGlyphTextFocusStyle::fcControl:
    case TDUDGlyphTextFocusStyle::fcNone: break;
    }
    return 0;
}

void DUDRaiseDockError(const std::string& firstName, const std::string& secondName)
{
    throw EDUDException("Component " + secondName
                        + ":\rA TDUDDockLabel- or Button component was already attached to the component: "
                        + firstName + "\rOnly one DUDDockXXXX per control is allowed.");
}

} // namespace kyd::widgets
