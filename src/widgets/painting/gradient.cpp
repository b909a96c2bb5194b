#include "widgets/painting/gradient.h"

#include <algorithm>
#include <cstdint>

namespace kyd::widgets {

void DUDGradientCreateColorList(TColor c1, TColor c2, int count, TDUDColorList& list, bool startFresh)
{
    if (count <= 0)
        return;
    const TColor a = ColorToRGB(c1);
    const TColor b = ColorToRGB(c2);
    if (startFresh)
        list.clear();
    if (count == 1) {
        if (startFresh)
            list.push_back(a);
        return;
    }
    auto channel = [&](int x, int y, int i) {
        // x + (y - x) * i / (count - 1), a tie rounded up (127.5 becomes 128)
        // whichever way the gradient runs: the colour itself is rounded, not
        // the step from x, so white to black meets black to white halfway.
        const std::int64_t den = count - 1;
        const std::int64_t num = static_cast<std::int64_t>(x) * den + static_cast<std::int64_t>(y - x) * i;
        return static_cast<int>((2 * num + den) / (2 * den)) & 0xFF;
    };
    for (int i = startFresh ? 0 : 1; i < count; ++i)
        list.push_back(RGB(channel(GetRValue(a), GetRValue(b), i), channel(GetGValue(a), GetGValue(b), i),
                           channel(GetBValue(a), GetBValue(b), i)));
}

namespace {

int Part(int extent, int i, int n)
{
    return static_cast<int>(static_cast<std::int64_t>(extent) * i / n);
}

// Fills the pixels of r whose band (0..n-1) is given by band(x, y), in runs
// along each row.
template <class Band>
void FillByBand(TCanvas& canvas, const TRect& r, const TDUDColorList& colors, Band band)
{
    for (int y = r.Top; y < r.Bottom; ++y) {
        int start = r.Left;
        int current = band(r.Left - r.Left, y - r.Top);
        for (int x = r.Left + 1; x <= r.Right; ++x) {
            const int b = x < r.Right ? band(x - r.Left, y - r.Top) : -1;
            if (b != current) {
                canvas.Brush.Color = colors[current];
                canvas.FillRect({start, y, x, y + 1});
                start = x;
                current = b;
            }
        }
    }
}

} // namespace

void DUDGradientPaintExt(TCanvas& canvas, const TRect& r, TDUDGradientStyle style, int /*extra*/,
                         unsigned /*flags*/, const TDUDColorList& colors)
{
    const int n = static_cast<int>(colors.size());
    if (n == 0 || r.IsEmpty())
        return;
    const TBrush oldBrush = canvas.Brush;
    const TPen oldPen = canvas.Pen;
    canvas.Brush.Style = TBrushStyle::bsSolid;
    const int W = r.Width();
    const int H = r.Height();
    switch (style) {
    case TDUDGradientStyle::gstHorizontal:
        for (int i = 0; i < n; ++i) {
            canvas.Brush.Color = colors[i];
            canvas.FillRect({r.Left + Part(W, i, n), r.Top, r.Left + Part(W, i + 1, n), r.Bottom});
        }
        break;
    case TDUDGradientStyle::gstVertical:
        for (int i = 0; i < n; ++i) {
            canvas.Brush.Color = colors[i];
            canvas.FillRect({r.Left, r.Top + Part(H, i, n), r.Right, r.Top + Part(H, i + 1, n)});
        }
        break;
    case TDUDGradientStyle::gstSquare:
    case TDUDGradientStyle::gstElliptic:
        canvas.Pen.Style = TPenStyle::psClear;
        if (style == TDUDGradientStyle::gstElliptic) {
            canvas.Brush.Color = colors[0];
            canvas.FillRect(r); // the corners outside the outermost ellipse
        }
        for (int i = 0; i < n; ++i) {
            const TRect band{r.Left + Part(W, i, 2 * n), r.Top + Part(H, i, 2 * n), r.Right - Part(W, i, 2 * n),
                             r.Bottom - Part(H, i, 2 * n)};
            if (band.IsEmpty())
                break;
            canvas.Brush.Color = colors[i];
            if (style == TDUDGradientStyle::gstSquare)
                canvas.FillRect(band);
            else
                canvas.Ellipse({band.Left, band.Top, band.Right + 1, band.Bottom + 1});
        }
        break;
    case TDUDGradientStyle::gstTopLeft:
    case TDUDGradientStyle::gstTopRight:
    case TDUDGradientStyle::gstBottomLeft:
    case TDUDGradientStyle::gstBottomRight: {
        // Band i holds the pixels whose larger relative distance from the
        // corner falls in the i-th of n equal parts.
        const bool right = style == TDUDGradientStyle::gstTopRight || style == TDUDGradientStyle::gstBottomRight;
        const bool bottom = style == TDUDGradientStyle::gstBottomLeft || style == TDUDGradientStyle::gstBottomRight;
        FillByBand(canvas, r, colors, [&](int x, int y) {
            const int dx = right ? W - 1 - x : x;
            const int dy = bottom ? H - 1 - y : y;
            const int bx = static_cast<int>(static_cast<std::int64_t>(dx) * n / W);
            const int by = static_cast<int>(static_cast<std::int64_t>(dy) * n / H);
            return std::max(bx, by);
        });
        break;
    }
    case TDUDGradientStyle::gstTopLeftDiagonal:
    case TDUDGradientStyle::gstTopRightDiagonal: {
        const bool right = style == TDUDGradientStyle::gstTopRightDiagonal;
        const std::int64_t span = 2LL * W * H;
        FillByBand(canvas, r, colors, [&](int x, int y) {
            const int dx = right ? W - 1 - x : x;
            const std::int64_t t = static_cast<std::int64_t>(dx) * H + static_cast<std::int64_t>(y) * W;
            return static_cast<int>(std::min<std::int64_t>(t * n / span, n - 1));
        });
        break;
    }
    }
    canvas.Brush = oldBrush;
    canvas.Pen = oldPen;
}

void DUDGradientPaint(TCanvas& canvas, const TRect& r, TColor c1, TColor c2, int count, TDUDGradientStyle style,
                      unsigned flags, int extra)
{
    TDUDColorList list;
    DUDGradientCreateColorList(c1, c2, count, list, true);
    DUDGradientPaintExt(canvas, r, style, extra, flags, list);
}

namespace {

TDUDColorList SegmentList(const std::vector<TColor>& keys, int count)
{
    TDUDColorList list;
    const int segments = static_cast<int>(keys.size()) - 1;
    if (segments < 1)
        return list;
    const int steps = count / static_cast<int>(keys.size());
    if (steps < 1)
        return list;
    for (int i = 0; i < segments; ++i)
        DUDGradientCreateColorList(keys[i], keys[i + 1], steps, list, i == 0);
    return list;
}

} // namespace

void DUDSuperGradientPaint(TCanvas& canvas, const TRect& r, const std::vector<TColor>& colors, int count,
                           TDUDGradientStyle style, unsigned flags, int extra)
{
    DUDGradientPaintExt(canvas, r, style, extra, flags, SegmentList(colors, count));
}

TDUDGradient::TDUDGradient()
{
    InitPalette();
}

void TDUDGradient::SetColorCount(int v)
{
    SetField(colorCount_, std::clamp(v, 2, 236));
}

void TDUDGradient::InitPalette()
{
    DestroyPalette();
    if (twoColors_)
        DUDGradientCreateColorList(color_, endColor_, colorCount_, steps_, true);
    else
        steps_ = SegmentList(colors_, colorCount_);
    if (paletteRealize_)
        palette_ = DUDGradientCreatePalette(steps_);
}

std::optional<TDUDPalette> DUDGradientCreatePalette(const TDUDColorList& list)
{
    if (list.empty())
        return std::nullopt;
    TDUDPalette p;
    p.Entries = list;
    p.Flags.assign(list.size(), TDUDPalette::PC_NOCOLLAPSE);
    return p;
}

void TDUDGradient::PaintGradient(TCanvas& canvas, const TRect& r) const
{
    DUDGradientPaintExt(canvas, r, style_, 0, paletteRealize_ ? 0x1000u : 0u, steps_);
}

void TDUDGradient::Assign(const TDUDGradient& other)
{
    BeginUpdate();
    SetColorCount(other.colorCount_);
    SetColor(other.color_);
    SetEndColor(other.endColor_);
    SetPaletteRealize(other.paletteRealize_);
    SetStyle(other.style_);
    SetColors(other.colors_);
    SetTwoColors(other.twoColors_);
    EndUpdate(true);
}

void TDUDGradient::DefineProperties(TDUDStreamProperties& out) const
{
    if (!colors_.empty())
        out.push_back({"ColorList", DUDIntegerListData(colors_)});
}

void TDUDGradient::ReadProperties(const TDUDStreamProperties& in)
{
    if (const TDUDStreamProperty* p = DUDFindProperty(in, "ColorList"))
        SetColors(DUDIntegerListFromData(p->Data));
}

void TDUDGradient::Change()
{
    InitPalette();
    TDUDObject::Change();
}

std::string TDUDGradient::GetSetStr() const
{
    static const char* const names[] = {"horizontal", "vertical", "square", "elliptic", "top left",
                                        "top right", "bottom left", "bottom right", "top left diag",
                                        "top right diag"};
    return std::string(names[static_cast<int>(style_)]) + ", Col: " + std::to_string(colorCount_) +
           (twoColors_ ? ", 2 col mode" : ", mult. col mode");
}

} // namespace kyd::widgets
