#include "widgets/painting/utils.h"

#include "widgets/painting/frames.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace kyd::widgets {

TRect DUDAlignRect(TDUDAlignment alignment, const TRect& item, const TRect& area)
{
    const int w = item.Width();
    const int h = item.Height();
    const int column = static_cast<int>(alignment) % 3;
    const int row = static_cast<int>(alignment) / 3;
    const int x = column == 0 ? area.Left : column == 1 ? area.Left + (area.Width() - w) / 2 : area.Right - w;
    const int y = row == 0 ? area.Top : row == 1 ? area.Top + (area.Height() - h) / 2 : area.Bottom - h;
    return {x, y, x + w, y + h};
}

namespace {

void Triangle(TCanvas& canvas, int x, int y, int size, TColor color, bool down)
{
    canvas.Pen.Color = color;
    canvas.Pen.Width = 1;
    canvas.Pen.Style = TPenStyle::psSolid;
    if (down) {
        for (int i = 0; i <= size - 2; ++i) {
            canvas.MoveTo(x + i, y + i);
            canvas.LineTo(x + i + 2 * (size - i) - 1, y + i);
        }
        canvas.MoveTo(x + size - 1, y + size - 2);
        canvas.LineTo(x + size, y + size - 2);
    } else {
        const int c = x + size / 2;
        for (int i = 0; i <= size - 1; ++i) {
            canvas.MoveTo(c - i, y + i);
            canvas.LineTo(c + i + 1, y + i);
        }
    }
}

} // namespace

void DUDDrawTriangle(TCanvas& canvas, int x, int y, int size, TColor color, bool down, bool enabled)
{
    if (size < 2 || size > 15)
        return;
    const TPen old = canvas.Pen;
    if (!enabled) {
        Triangle(canvas, x + 1, y + 1, size, clHighlightText, down);
        color = clGrayText;
    }
    Triangle(canvas, x, y, size, color, down);
    canvas.Pen = old;
}

bool DUDDrawBtnIsFlat(TDUDUserButtonStyle style)
{
    return style >= TDUDUserButtonStyle::ubsIdeFlat && style <= TDUDUserButtonStyle::ubsExplorerColored;
}

bool DUDBtnIsDown(TDUDButtonState s)
{
    using B = TDUDButtonState;
    return s == B::bsOptionSet || s == B::bsDown || s == B::bsDropDownOpen || s == B::bsDisabledDown;
}

namespace {

void Frame(TCanvas& canvas, const TRect& r, TColor c)
{
    canvas.Brush.Color = c;
    canvas.FrameRect(r);
}

void Line(TCanvas& canvas, int x1, int y1, int x2, int y2, TColor c)
{
    canvas.Pen.Color = c;
    canvas.MoveTo(x1, y1);
    canvas.LineTo(x2, y2);
}

// A 50 % dither of the colour and white, the look of a set option button.
void Dither(TCanvas& canvas, const TRect& r, TColor c)
{
    const TColor rgb = ColorToRGB(c);
    for (int y = r.Top; y < r.Bottom; ++y)
        for (int x = r.Left; x < r.Right; ++x)
            canvas.SetPixel(x, y, ((x + y) & 1) ? clWhite : rgb);
}

} // namespace

void DUDDrawBtnFace(TCanvas& canvas, bool flatFace, TRect& r, TDUDUserButtonStyle style, TDUDButtonState state,
                    unsigned flags, TColor faceColor)
{
    using U = TDUDUserButtonStyle;
    const TPen oldPen = canvas.Pen;
    const TBrush oldBrush = canvas.Brush;
    canvas.Pen.Width = 1;
    canvas.Pen.Style = TPenStyle::psSolid;
    canvas.Brush.Style = TBrushStyle::bsSolid;
    if (style == U::ubsAutoDetect)
        style = U::ubsWin40;
    const bool flat = DUDDrawBtnIsFlat(style);
    const unsigned fill = (flags & 16) ? unsigned(BF_MIDDLE) : 0u;
    const bool down = DUDBtnIsDown(state);
    const TRect face = r;

    // The face.
    if (style != U::ubsExplorer && style != U::ubsExplorerColored) {
        if (state == TDUDButtonState::bsOptionSet && !(flat && flatFace)) {
            Dither(canvas, r, faceColor);
        } else {
            canvas.Brush.Color = faceColor;
            canvas.FillRect(r);
        }
    }
    // The default frame.
    if (!down && (flags & (2 | 32))) {
        TRect d = r;
        canvas.DrawEdge(d, BDR_SUNKENOUTER, BF_TOPLEFT);
        canvas.DrawEdge(d, BDR_RAISEDOUTER, BF_BOTTOMRIGHT);
        r = r.Inset(1);
        if (style == U::ubsWin31 && (flags & 1)) {
            const TColor bf = ColorToRGB(clBtnFace);
            canvas.SetPixel(face.Left, face.Top, bf);
            canvas.SetPixel(face.Right - 1, face.Top, bf);
            canvas.SetPixel(face.Left, face.Bottom - 1, bf);
            canvas.SetPixel(face.Right - 1, face.Bottom - 1, bf);
        }
    }
    TRect e = r;
    if (style == U::ubsWin31) {
        canvas.DrawEdge(e, BDR_RAISEDOUTER | BDR_SUNKENOUTER, BF_RECT | BF_SOFT | BF_ADJUST | BF_MONO | fill);
        if (flags & 1) {
            const TColor bf = ColorToRGB(clBtnFace);
            canvas.SetPixel(r.Left, r.Top, bf);
            canvas.SetPixel(r.Right - 1, r.Top, bf);
            canvas.SetPixel(r.Left, r.Bottom - 1, bf);
            canvas.SetPixel(r.Right - 1, r.Bottom - 1, bf);
        }
        if (!down) {
            canvas.DrawEdge(e, BDR_RAISEDINNER, BF_RECT | BF_ADJUST | fill);
            canvas.DrawEdge(e, BDR_RAISEDINNER, BF_RECT | BF_ADJUST | fill);
        } else {
            canvas.DrawEdge(e, BDR_SUNKENINNER, BF_TOPLEFT | BF_ADJUST | fill);
        }
    } else if (style == U::ubsWin40 && (flags & 4)) {
        if (!down)
            DUDDrawStdFrame(canvas, e, TDUDBorderStyle::lsRaisedspb, fill);
        else if (flags & 8)
            canvas.DrawEdge(e, EDGE_SUNKEN, BF_RECT | BF_ADJUST | fill);
        else
            DUDDrawStdFrame(canvas, e, TDUDBorderStyle::lsLowered, fill);
    } else if (style == U::ubsWin40) {
        if (!down) {
            if (flags & 2)
                canvas.DrawEdge(e, EDGE_RAISED, BF_RECT | BF_ADJUST | fill);
            else
                DUDDrawStdFrame(canvas, e, TDUDBorderStyle::lsRaisedspb, fill);
        } else {
            Frame(canvas, e, clBlack);
            Frame(canvas, e.Inset(1), clGray);
        }
    } else if (flat) {
        const bool over = state == TDUDButtonState::bsMouseOver;
        if ((style == U::ubsIdeFlat || style == U::ubsNavigator) && (down || over))
            Frame(canvas, e, clBlack), e = e.Inset(1);
        if (down)
            canvas.DrawEdge(e, BDR_SUNKENOUTER, BF_RECT | fill);
        else if (over)
            canvas.DrawEdge(e, BDR_RAISEDINNER, BF_RECT | fill);
        else if (style != U::ubsExplorer && style != U::ubsFlatUnColored) {
            canvas.Brush.Color = faceColor;
            canvas.FillRect(e);
        }
    } else if (style == U::ubsIde) {
        Frame(canvas, e, clBlack);
        const TRect in = e.Inset(1);
        if (down) {
            Line(canvas, in.Left, in.Bottom - 1, in.Left, in.Top, clGray);
            Line(canvas, in.Left, in.Top, in.Right, in.Top, clGray);
        } else {
            TRect i2 = in;
            canvas.DrawEdge(i2, BDR_RAISEDINNER, BF_RECT | fill);
        }
    } else if (style == U::ubsIntegrated) {
        if (down) {
            Frame(canvas, e, clGray);
        } else {
            Frame(canvas, e, clBlack);
            const TRect in = e.Inset(1);
            Line(canvas, in.Left, in.Bottom - 1, in.Left, in.Top, ColorToRGB(clBtnFace));
            Line(canvas, in.Left, in.Top, in.Right, in.Top, ColorToRGB(clBtnFace));
            Frame(canvas, in.Inset(1), clWhite);
            Line(canvas, in.Right - 1, in.Top, in.Right - 1, in.Bottom, clGray);
            Line(canvas, in.Left, in.Bottom - 1, in.Right, in.Bottom - 1, clGray);
        }
    }
    if (flags & 2) {
        const int d = down ? 4 : 3;
        const TRect f = face.Inset(d);
        if (!f.IsEmpty()) {
            canvas.Pen.Style = TPenStyle::psDot;
            canvas.Pen.Color = clBlack;
            canvas.MoveTo(f.Left, f.Top);
            canvas.LineTo(f.Right - 1, f.Top);
            canvas.LineTo(f.Right - 1, f.Bottom - 1);
            canvas.LineTo(f.Left, f.Bottom - 1);
            canvas.LineTo(f.Left, f.Top);
        }
    }
    r = face.Inset(3);
    if (down)
        r = r.Offset(1, 1);
    canvas.Pen = oldPen;
    canvas.Brush = oldBrush;
}

namespace {

int CalcDepth(const TDUD3DCaption* caption)
{
    return caption ? caption->ExtraDepth() : 0;
}

} // namespace

TRect DUDDrawTextCalcExt(TCanvas& canvas, const std::string& text, TDUD3DCaption* caption, const TRect& r,
                         bool wordWrap, bool accelChar)
{
    unsigned flags = DT_CALCRECT | DT_EXPANDTABS;
    if (wordWrap)
        flags |= DT_WORDBREAK;
    if (!accelChar)
        flags |= DT_NOPREFIX;
    const std::string measured = text.empty() || (accelChar && text == "&") ? std::string(" ") : text;
    const int oldSpacing = canvas.TextSpacing;
    if (caption)
        canvas.TextSpacing = caption->Tracing();
    TRect out = r;
    canvas.TextRect(out, measured, flags);
    canvas.TextSpacing = oldSpacing;
    const int d = CalcDepth(caption);
    out.Right += d;
    out.Bottom += d;
    auto* fx = dynamic_cast<TDUDFxCaption*>(caption);
    if (!fx || fx->Angle() == 0)
        return out;
    // The corners of the text turned about its top-left (y grows downwards,
    // the angle turns counter-clockwise on the screen).
    const double a = fx->Angle() * 3.14159265358979323846 / 180.0;
    const double ca = std::cos(a), sa = std::sin(a);
    const double w = out.Width(), h = out.Height();
    const double xs[] = {0, w * ca, h * sa, w * ca + h * sa};
    const double ys[] = {0, -w * sa, h * ca, -w * sa + h * ca};
    const double minX = *std::min_element(std::begin(xs), std::end(xs));
    const double maxX = *std::max_element(std::begin(xs), std::end(xs));
    const double minY = *std::min_element(std::begin(ys), std::end(ys));
    const double maxY = *std::max_element(std::begin(ys), std::end(ys));
    fx->SetPosXY(static_cast<std::int16_t>(std::lround(-minX)), static_cast<std::int16_t>(std::lround(-minY)));
    return {r.Left, r.Top, r.Left + static_cast<int>(std::lround(maxX - minX)),
            r.Top + static_cast<int>(std::lround(maxY - minY))};
}

namespace {

// The depth the width and height helpers add: unlike the measurement above
// only tdShadow of the shadow-depth styles counts.
int HelperDepth(const TDUD3DCaption* caption)
{
    if (!caption)
        return 0;
    using S = TDUDThreeDStyle;
    const S s = caption->Style();
    if (s == S::tdOutline || s == S::tdExtrude || s == S::tdExtrudeEnh)
        return 0;
    return caption->ExtraDepth();
}

} // namespace

int DUDGet3DTextWidth(TCanvas& canvas, const std::string& text, const TDUD3DCaption* caption)
{
    return canvas.TextWidth(text) + HelperDepth(caption);
}

int DUDGet3DTextHeight(TCanvas& canvas, const TDUD3DCaption* caption)
{
    return canvas.TextHeight("W") + HelperDepth(caption);
}

TPoint DUDCenterWindowPos(const TRect& screen, int width, int height, bool upperThird)
{
    const int sw = screen.Width();
    const int sh = screen.Height();
    int x = (sw - width) / 2;
    int y = upperThird ? (sh - height) / 3 : (sh - height) / 2;
    x = std::max(0, std::min(x, sw - width));
    y = std::max(0, std::min(y, sh - height));
    return {screen.Left + x, screen.Top + y};
}

TPoint DUDPositionWindowPos(const TRect& target, const TRect& screen, int width, int height,
                            TDUDDlgPosition position)
{
    int x = target.Left;
    int y = target.Top;
    if (position != TDUDDlgPosition::bpCustom) {
        const int index = static_cast<int>(position) - 1; // bpTopLeft .. bpBottomRight
        const int column = index % 3;
        const int row = index / 3;
        x = column == 0 ? target.Left : column == 1 ? target.Left + (target.Width() - width) / 2 : target.Right - width;
        y = row == 0 ? target.Top : row == 1 ? target.Top + (target.Height() - height) / 2 : target.Bottom - height;
    }
    if (x + width > screen.Right)
        x = target.Right - width;
    if (y + height > screen.Bottom)
        y = target.Bottom - height;
    return {std::max(x, 0), std::max(y, 0)};
}

TPoint DUDCenterChildPos(const TRect& parent, const TRect& screen, int width, int height)
{
    int x = parent.Left + (parent.Width() - width) / 2;
    int y = parent.Top + (parent.Height() - height) / 2;
    x = std::max(0, std::min(x, screen.Right - width));
    y = std::max(0, std::min(y, screen.Bottom - height));
    return {x, y};
}

TDUDGlyphTextPlaces DUDGlyphTextPlace(TDUDTextArrange arrange, TDUDAlignment alignment, int spacing, TPoint offset,
                                      TPoint glyphSize, TPoint textSize, const TRect& area)
{
    using A = TDUDTextArrange;
    const bool hasGlyph = glyphSize.X > 0 && glyphSize.Y > 0;
    const bool hasText = textSize.X > 0 && textSize.Y > 0;
    const int gap = hasGlyph && hasText ? spacing : 0;
    const TPoint g = hasGlyph ? glyphSize : TPoint{};
    const TPoint t = hasText ? textSize : TPoint{};
    const bool beside = arrange == A::taLeft || arrange == A::taLeftTop || arrange == A::taRight ||
                        arrange == A::taRightTop;
    // The block's size, then both parts inside it at (0, 0).
    const int bw = beside ? g.X + gap + t.X : std::max(g.X, t.X);
    const int bh = beside ? std::max(g.Y, t.Y) : g.Y + gap + t.Y;
    TRect gr, tr;
    switch (arrange) {
    case A::taRight:
    case A::taRightTop:
    case A::taLeft:
    case A::taLeftTop: {
        const bool textFirst = arrange == A::taLeft || arrange == A::taLeftTop;
        const bool centred = arrange == A::taRight || arrange == A::taLeft;
        const int gx = textFirst ? t.X + gap : 0;
        const int tx = textFirst ? 0 : g.X + gap;
        gr = Bounds(gx, centred ? (bh - g.Y) / 2 : 0, g.X, g.Y);
        tr = Bounds(tx, centred ? (bh - t.Y) / 2 : 0, t.X, t.Y);
        break;
    }
    case A::taTop:
    case A::taTopLeft:
    case A::taBottom:
    case A::taBottomLeft: {
        const bool textFirst = arrange == A::taTop || arrange == A::taTopLeft;
        const bool centred = arrange == A::taTop || arrange == A::taBottom;
        const int gy = textFirst ? t.Y + gap : 0;
        const int ty = textFirst ? 0 : g.Y + gap;
        gr = Bounds(centred ? (bw - g.X) / 2 : 0, gy, g.X, g.Y);
        tr = Bounds(centred ? (bw - t.X) / 2 : 0, ty, t.X, t.Y);
        break;
    }
    }
    const TRect block = DUDAlignRect(alignment, {0, 0, bw, bh}, area).Offset(offset.X, offset.Y);
    return {hasGlyph ? gr.Offset(block.Left, block.Top) : TRect{},
            hasText ? tr.Offset(block.Left, block.Top) : TRect{}};
}

std::vector<std::string> DUDGetDivider(int n)
{
    std::vector<int> found;
    for (int i = 1; n >= 1 && static_cast<long long>(i) * i <= n; ++i) {
        if (n % i != 0)
            continue;
        found.push_back(i);
        if (n / i != i)
            found.push_back(n / i);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> out;
    out.reserve(found.size());
    for (int d : found)
        out.push_back(std::to_string(d));
    return out;
}

} // namespace kyd::widgets
