#include "widgets/framework/canvas.h"

#include <algorithm>

namespace kyd::widgets {

void TCanvas::FrameRect(const TRect& r)
{
    if (r.IsEmpty())
        return;
    FillRect({r.Left, r.Top, r.Right, r.Top + 1});
    FillRect({r.Left, r.Bottom - 1, r.Right, r.Bottom});
    FillRect({r.Left, r.Top, r.Left + 1, r.Bottom});
    FillRect({r.Right - 1, r.Top, r.Right, r.Bottom});
}

void TCanvas::Rectangle(const TRect& r)
{
    if (r.IsEmpty())
        return;
    const int w = Pen.Style == TPenStyle::psClear ? 0 : std::max(1, Pen.Width);
    if (Brush.Style != TBrushStyle::bsClear)
        FillRect(r.Inset(w));
    if (w == 0)
        return;
    const TBrush saved = Brush;
    Brush = {Pen.Color, TBrushStyle::bsSolid};
    if (Pen.Style == TPenStyle::psSolid && Pen.Mode == TPenMode::pmCopy) {
        for (int i = 0; i < w; ++i)
            FrameRect(r.Inset(i));
    } else {
        // Dotted or XOR outlines go pixel by pixel through the line drawing.
        const TPoint pos = penPos_;
        MoveTo(r.Left, r.Top);
        LineTo(r.Right - 1, r.Top);
        LineTo(r.Right - 1, r.Bottom - 1);
        LineTo(r.Left, r.Bottom - 1);
        LineTo(r.Left, r.Top);
        penPos_ = pos;
    }
    Brush = saved;
}

void TCanvas::LineTo(int x, int y)
{
    if (Pen.Style != TPenStyle::psClear)
        DrawLine(penPos_, {x, y});
    penPos_ = {x, y};
}

namespace {

// Colours of one ring of an edge: top-left and bottom-right.
struct RingColors {
    TColor topLeft;
    TColor bottomRight;
};

RingColors OuterRing(unsigned edge, bool soft)
{
    if (edge & BDR_RAISEDOUTER)
        return {soft ? clBtnHighlight : cl3DLight, cl3DDkShadow};
    return {soft ? cl3DDkShadow : clBtnShadow, clBtnHighlight};
}

RingColors InnerRing(unsigned edge, bool soft)
{
    if (edge & BDR_RAISEDINNER)
        return {soft ? cl3DLight : clBtnHighlight, clBtnShadow};
    return {soft ? clBtnShadow : cl3DDkShadow, cl3DLight};
}

} // namespace

void TCanvas::DrawEdge(TRect& r, unsigned edge, unsigned flags)
{
    const TBrush saved = Brush;
    TRect cur = r;
    const bool soft = (flags & BF_SOFT) != 0;
    auto ring = [&](RingColors c) {
        if (flags & BF_MONO)
            c = {clWindowFrame, clWindowFrame};
        else if (flags & BF_FLAT)
            c = {clBtnShadow, clBtnShadow};
        if (cur.IsEmpty())
            return;
        // Top and left stop one short, so the bottom-right colour owns the
        // top-right and bottom-left corners, as the classic look has it.
        Brush = {c.topLeft, TBrushStyle::bsSolid};
        if (flags & BF_LEFT)
            FillRect({cur.Left, cur.Top, cur.Left + 1, cur.Bottom - 1});
        if (flags & BF_TOP)
            FillRect({cur.Left, cur.Top, cur.Right - 1, cur.Top + 1});
        Brush = {c.bottomRight, TBrushStyle::bsSolid};
        if (flags & BF_RIGHT)
            FillRect({cur.Right - 1, cur.Top, cur.Right, cur.Bottom});
        if (flags & BF_BOTTOM)
            FillRect({cur.Left, cur.Bottom - 1, cur.Right, cur.Bottom});
        if (flags & BF_LEFT)
            ++cur.Left;
        if (flags & BF_TOP)
            ++cur.Top;
        if (flags & BF_RIGHT)
            --cur.Right;
        if (flags & BF_BOTTOM)
            --cur.Bottom;
    };
    if (edge & BDR_OUTER)
        ring(OuterRing(edge, soft));
    if (edge & BDR_INNER)
        ring(InnerRing(edge, soft));
    if ((flags & BF_MIDDLE) && !cur.IsEmpty()) {
        Brush = {(flags & BF_MONO) ? clWindow : clBtnFace, TBrushStyle::bsSolid};
        FillRect(cur);
    }
    Brush = saved;
    if (flags & BF_ADJUST)
        r = cur;
}

void TCanvas::Record(const std::string& text, const TRect& r, unsigned flags)
{
    if (TextRecorder)
        TextRecorder->push_back({text, r, flags, Font.Color, clip_, Font.Angle});
}

void TCanvas::TextOut(int x, int y, const std::string& text)
{
    Record(text, {x, y, x, y}, 0);
    DoTextOut(x, y, text);
}

void TCanvas::TextRect(TRect& r, const std::string& text, unsigned flags)
{
    if (!(flags & DT_CALCRECT))
        Record(text, r, flags);
    DoTextRect(r, text, flags);
}

void TCanvas::TextOutline(const TRect& r, const std::string& text, unsigned flags, int penWidth)
{
    Record(text, r, flags);
    DoTextOutline(r, text, flags, penWidth);
}

void TCanvas::SetClipRect(const TRect& r)
{
    clip_ = r;
    ApplyClip();
}

void TCanvas::ClearClip()
{
    clip_.reset();
    ApplyClip();
}

std::unique_ptr<TDUDBitmap> TCanvas::CreateBitmap(int width, int height)
{
    auto bmp = DoCreateBitmap(std::max(0, width), std::max(0, height));
    bmp->Canvas().TextRecorder = TextRecorder;
    return bmp;
}

} // namespace kyd::widgets
