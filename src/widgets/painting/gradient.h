// Colour gradients: the colour list of a two-colour gradient, the painter
// that lays a colour list out in bands of a style, and the gradient settings
// object the fills own. A gradient's palette is a colour table of its steps;
// the painting flag that asks to realise one has no effect on the
// true-colour surfaces here.
#pragma once

#include "widgets/framework/canvas.h"
#include "widgets/framework/object.h"
#include "widgets/storage/property_stream.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kyd::widgets {

enum class TDUDGradientStyle {
    gstHorizontal, gstVertical, gstSquare, gstElliptic, gstTopLeft, gstTopRight, gstBottomLeft,
    gstBottomRight, gstTopLeftDiagonal, gstTopRightDiagonal
};

using TDUDColorList = std::vector<TColor>;

// Appends the colours of a gradient of `count` steps from c1 to c2 (plain
// RGB). startFresh clears the list and adds steps 0..count-1; otherwise
// steps 1..count-1 are added, so that a list continues without repeating the
// joint colour. A count of 1 gives the first colour; 0 adds nothing.
void DUDGradientCreateColorList(TColor c1, TColor c2, int count, TDUDColorList& list, bool startFresh);

// A logical palette: its entries with their flags, as a colour table
// (entries keep the list's order). Realising one into a device has no
// meaning on the true-colour surfaces here; the table is what it carries.
struct TDUDPalette {
    static constexpr std::uint16_t kVersion = 0x300;
    static constexpr std::uint8_t PC_NOCOLLAPSE = 4;
    std::uint16_t Version = kVersion;
    std::vector<TColor> Entries;
    std::vector<std::uint8_t> Flags;
    friend bool operator==(const TDUDPalette&, const TDUDPalette&) = default;
};

// A palette of the list's colours, each entry PC_NOCOLLAPSE; none for an
// empty list.
std::optional<TDUDPalette> DUDGradientCreatePalette(const TDUDColorList& list);

// Paints the list's colours in bands of the style over r; an empty list
// paints nothing.
void DUDGradientPaintExt(TCanvas& canvas, const TRect& r, TDUDGradientStyle style, int extra, unsigned flags,
                         const TDUDColorList& colors);
void DUDGradientPaint(TCanvas& canvas, const TRect& r, TColor c1, TColor c2, int count, TDUDGradientStyle style,
                      unsigned flags, int extra);
// A gradient through all the colours: `count` steps split evenly over the
// segments between neighbouring colours. Fewer than two colours or fewer
// steps than segments paint nothing.
void DUDSuperGradientPaint(TCanvas& canvas, const TRect& r, const std::vector<TColor>& colors, int count,
                           TDUDGradientStyle style, unsigned flags, int extra);

class TDUDGradient : public TDUDObject {
public:
    TDUDGradient();

    int ColorCount() const { return colorCount_; }
    void SetColorCount(int v); // kept to 2..236
    TColor Color() const { return color_; }
    void SetColor(TColor v) { SetField(color_, v); }
    TColor EndColor() const { return endColor_; }
    void SetEndColor(TColor v) { SetField(endColor_, v); }
    bool PaletteRealize() const { return paletteRealize_; }
    void SetPaletteRealize(bool v) { SetField(paletteRealize_, v); }
    TDUDGradientStyle Style() const { return style_; }
    void SetStyle(TDUDGradientStyle v) { SetField(style_, v); }
    bool TwoColors() const { return twoColors_; }
    void SetTwoColors(bool v) { SetField(twoColors_, v); }
    // The key colours of multi-colour mode.
    const std::vector<TColor>& Colors() const { return colors_; }
    void SetColors(std::vector<TColor> v) { SetField(colors_, v); }

    // The computed steps.
    const TDUDColorList& Steps() const { return steps_; }
    // The steps afresh and, with PaletteRealize, the palette of them.
    void InitPalette();
    void DestroyPalette()
    {
        steps_.clear();
        palette_.reset();
    }
    // The palette of the steps (null unless PaletteRealize).
    const TDUDPalette* GetPalette() const { return palette_ ? &*palette_ : nullptr; }
    void PaintGradient(TCanvas& canvas, const TRect& r) const;
    void Assign(const TDUDGradient& other);

    // The key colours as the extra property "ColorList" (an integer list),
    // written only when there are any.
    void DefineProperties(TDUDStreamProperties& out) const;
    // Takes "ColorList" when present; a damaged one raises EReadError and
    // changes nothing.
    void ReadProperties(const TDUDStreamProperties& in);

    void Change() override;
    std::string GetSetStr() const override;
    std::string ClassName() const override { return "TDUDGradient"; }

private:
    int colorCount_ = 16;
    TColor color_ = 16711680;
    TDUDColorList steps_;
    std::optional<TDUDPalette> palette_;
    TColor endColor_ = 0;
    bool paletteRealize_ = false;
    TDUDGradientStyle style_ = TDUDGradientStyle::gstVertical;
    std::vector<TColor> colors_;
    bool twoColors_ = true;
};

} // namespace kyd::widgets
