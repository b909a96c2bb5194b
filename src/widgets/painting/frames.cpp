#include "widgets/painting/frames.h"

#include <algorithm>

namespace kyd::widgets {

namespace {

// Restores pen and brush when a routine ends.
class SavedTools {
public:
    explicit SavedTools(TCanvas& c) : c_(c), pen_(c.Pen), brush_(c.Brush) {}
    ~SavedTools()
    {
        c_.Pen = pen_;
        c_.Brush = brush_;
    }
    SavedTools(const SavedTools&) = delete;
    SavedTools& operator=(const SavedTools&) = delete;

private:
    TCanvas& c_;
    TPen pen_;
    TBrush brush_;
};

void FrameIn(TCanvas& c, const TRect& r, TColor color)
{
    c.Brush = {color, TBrushStyle::bsSolid};
    c.FrameRect(r);
}

} // namespace

int DUDFrame3DExt(TDUDBevelStyle style, int width)
{
    switch (style) {
    case TDUDBevelStyle::bvNone:
        return 0;
    case TDUDBevelStyle::bvFrameLowered:
    case TDUDBevelStyle::bvFrameRaised:
        return width + 1;
    default:
        return width;
    }
}

bool DUDDrawFrame3D(TCanvas& canvas, TRect& r, TDUDBevelStyle style, TColor light, TColor shadow, int width)
{
    if (width <= 0 || style == TDUDBevelStyle::bvNone || style == TDUDBevelStyle::bvShadow)
        return false;
    SavedTools saved(canvas);
    TColor topLeft = shadow;
    TColor bottomRight = light;
    if (style == TDUDBevelStyle::bvRaised || style == TDUDBevelStyle::bvFrameRaised) {
        topLeft = light;
        bottomRight = shadow;
    } else if (style == TDUDBevelStyle::bvNormal) {
        topLeft = bottomRight = clBlack;
    }

    if (style == TDUDBevelStyle::bvFrameLowered || style == TDUDBevelStyle::bvFrameRaised) {
        for (int i = 0; i < width; ++i) {
            FrameIn(canvas, {r.Left + i + 1, r.Top + i + 1, r.Right, r.Bottom}, bottomRight);
            FrameIn(canvas, {r.Left, r.Top, r.Right - i - 1, r.Bottom - i - 1}, topLeft);
        }
        r = r.Inset(width + 1);
        return true;
    }

    // One-pixel rings from the outside in; for a wider frame their corners
    // line up into the mitred bands of the classic look.
    canvas.Pen = {topLeft, 1, TPenStyle::psSolid, TPenMode::pmCopy};
    for (int i = 0; i < width; ++i) {
        const TRect q = r.Inset(i);
        if (q.IsEmpty())
            break;
        const int right = q.Right - 1;
        const int bottom = q.Bottom - 1;
        canvas.Pen.Color = topLeft;
        canvas.MoveTo(q.Left, bottom);
        canvas.LineTo(q.Left, q.Top);
        canvas.LineTo(right, q.Top);
        canvas.Pen.Color = bottomRight;
        canvas.LineTo(right, bottom);
        canvas.LineTo(q.Left - 1, bottom);
    }
    r = r.Inset(width);
    return true;
}

void DUDDrawFrameShadow(TCanvas& canvas, TRect& r, TColor frame, TColor shadow, TColor background, int depth,
                        int frameWidth, bool transparent, unsigned /*flags*/)
{
    SavedTools saved(canvas);
    canvas.Pen.Style = TPenStyle::psClear;
    const int d = std::max(0, depth);
    if (d > 0) {
        canvas.Brush = {shadow, TBrushStyle::bsSolid};
        canvas.FillRect({r.Right - d, r.Top + d, r.Right, r.Bottom});
        canvas.FillRect({r.Left + d, r.Bottom - d, r.Right, r.Bottom});
        if (!transparent) {
            canvas.Brush = {background, TBrushStyle::bsSolid};
            canvas.FillRect({r.Right - d, r.Top, r.Right, r.Top + d});
            canvas.FillRect({r.Left, r.Bottom - d, r.Left + d, r.Bottom});
        }
    }
    TRect f{r.Left, r.Top, r.Right - d, r.Bottom - d};
    for (int i = 0; i < frameWidth && !f.IsEmpty(); ++i) {
        FrameIn(canvas, f, frame);
        f = f.Inset(1);
    }
    r = {r.Left + frameWidth, r.Top + frameWidth, r.Right - d - frameWidth, r.Bottom - d - frameWidth};
}

bool DUDDrawStdFrame(TCanvas& canvas, TRect& r, TDUDBorderStyle style, unsigned x)
{
    using S = TDUDBorderStyle;
    auto edge = [&](unsigned kind, unsigned flags) { canvas.DrawEdge(r, kind, flags); };
    switch (style) {
    case S::lsNone:
        break;
    case S::lsSingle:
        edge(BDR_SUNKENOUTER, BF_TOPLEFT | BF_SOFT | BF_ADJUST | x);
        edge(BDR_RAISEDOUTER, BF_BOTTOMRIGHT);
        break;
    case S::lsLowered:
        edge(EDGE_SUNKEN, BF_RECT | BF_SOFT | BF_ADJUST | x);
        break;
    case S::lsRaised:
        edge(EDGE_RAISED, BF_RECT | BF_SOFT | BF_ADJUST | x);
        break;
    case S::lsRaisedspb:
    case S::lsRaisedExt:
        edge(BDR_RAISEDOUTER, BF_RECT | BF_SOFT | BF_ADJUST | x);
        edge(BDR_RAISEDINNER, BF_BOTTOMRIGHT | BF_ADJUST | x);
        if (style == S::lsRaisedExt) {
            ++r.Left;
            ++r.Top;
        }
        break;
    case S::lsLoweredspb:
        edge(BDR_SUNKENOUTER, BF_RECT | BF_ADJUST | x);
        edge(BDR_SUNKENINNER, BF_TOPLEFT | BF_ADJUST | x);
        break;
    case S::lsLoweredExt:
        edge(BDR_SUNKENOUTER, BF_RECT | BF_ADJUST | x);
        edge(BDR_SUNKENINNER, BF_TOPLEFT | BF_ADJUST);
        --r.Right;
        --r.Bottom;
        break;
    case S::lsFrameInset:
        edge(EDGE_ETCHED, BF_RECT | BF_ADJUST | x);
        break;
    case S::lsFrameOffset:
        edge(BDR_RAISEDINNER, BF_RECT | BF_ADJUST | x);
        edge(BDR_SUNKENOUTER, BF_RECT | BF_ADJUST | x);
        break;
    case S::lsWindowBorder:
        edge(BDR_RAISEDOUTER, BF_BOTTOMRIGHT | BF_ADJUST | x);
        ++r.Left;
        ++r.Top;
        edge(BDR_RAISEDINNER, BF_RECT | BF_ADJUST | x);
        break;
    case S::lsSingleRaised:
        edge(BDR_RAISEDINNER, BF_RECT | BF_ADJUST | x);
        break;
    case S::lsSingleLowered:
        edge(BDR_SUNKENOUTER, BF_RECT | BF_ADJUST | x);
        break;
    case S::lsDoubleRaised:
        edge(BDR_RAISEDINNER, BF_RECT | BF_ADJUST | x);
        edge(BDR_RAISEDINNER, BF_RECT | BF_ADJUST | x);
        break;
    case S::lsDoubleLowered:
        edge(BDR_SUNKENOUTER, BF_RECT | BF_ADJUST | x);
        edge(BDR_SUNKENOUTER, BF_RECT | BF_ADJUST | x);
        break;
    }
    return true;
}

int DUDDrawStdFrameExt(TDUDBorderStyle style)
{
    switch (style) {
    case TDUDBorderStyle::lsNone:
        return 0;
    case TDUDBorderStyle::lsSingle:
    case TDUDBorderStyle::lsSingleRaised:
    case TDUDBorderStyle::lsSingleLowered:
        return 1;
    default:
        return 2;
    }
}

void DUDDrawBorder(TCanvas& canvas, const TRect& r, TColor topLeft, TColor bottomRight)
{
    SavedTools saved(canvas);
    canvas.Pen = {topLeft, 1, TPenStyle::psSolid, TPenMode::pmCopy};
    canvas.MoveTo(r.Left, r.Bottom - 1);
    canvas.LineTo(r.Left, r.Top);
    canvas.LineTo(r.Right - 1, r.Top);
    canvas.Pen.Color = bottomRight;
    canvas.LineTo(r.Right - 1, r.Bottom - 1);
    canvas.LineTo(r.Left, r.Bottom - 1);
}

int DUDGetCtrlBorderWidth(bool ctl3D, TFormBorderStyle style)
{
    if (style != TFormBorderStyle::bsSingle)
        return 0;
    return ctl3D ? 2 : 1;
}

TColor DUDGradientGetColor(TColor c1, TColor c2, int position, int count)
{
    const TColor a = ColorToRGB(c1);
    const TColor b = ColorToRGB(c2);
    if (count == 0)
        return a;
    auto channel = [&](int x, int y) {
        return static_cast<int>(RoundHalfEven(x + (y - x) * static_cast<double>(position) / count));
    };
    return RGB(channel(GetRValue(a), GetRValue(b)), channel(GetGValue(a), GetGValue(b)),
               channel(GetBValue(a), GetBValue(b)));
}

} // namespace kyd::widgets
