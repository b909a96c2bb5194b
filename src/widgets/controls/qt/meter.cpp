#include "widgets/controls/qt/meter.h"

#include <cstdlib>

namespace kyd::widgets {

// ---- TDUDBaseMeter ----

TDUDBaseMeter::TDUDBaseMeter(QWidget* parent) : TDUDGraphicControl(parent)
{
    font3D_.OnChange = [this](void* sender) { GetChange(sender); };
    Bevel().SetStyleOuter(TDUDBevelStyle::bvLowered);
    DisableTransMode();
    SetInitialSize(80, 20);
}

TDUDBaseMeter::~TDUDBaseMeter()
{
    font3D_.OnChange = nullptr;
}

void TDUDBaseMeter::SetAlignment(TAlignment a)
{
    if (a == alignment_)
        return;
    alignment_ = a;
    Invalidate();
}

void TDUDBaseMeter::SetDirection(TDUDMeterDirection d)
{
    if (d == direction_)
        return;
    direction_ = d;
    CorrectBounds();
    Invalidate();
}

void TDUDBaseMeter::SetTextOptions(TDUDMeterTextOptions o)
{
    if (o == optionsText_)
        return;
    optionsText_ = o;
    Invalidate();
}

void TDUDBaseMeter::SetUseFontColor(bool v)
{
    if (v == useFontColor_)
        return;
    useFontColor_ = v;
    Invalidate();
}

void TDUDBaseMeter::SetCaption(const QString& text)
{
    if (text == caption_)
        return;
    caption_ = text;
    Invalidate();
}

void TDUDBaseMeter::SetMaxValue(std::int32_t v)
{
    if (values_.SetMaxValue(v))
        Invalidate();
}

void TDUDBaseMeter::SetMinValue(std::int32_t v)
{
    if (values_.SetMinValue(v))
        Invalidate();
}

void TDUDBaseMeter::SetPercentValue(int p)
{
    if (values_.SetPercentValue(p))
        Draw();
}

void TDUDBaseMeter::SetUserValue(std::int32_t v)
{
    if (values_.SetUserValue(v))
        Draw();
}

void TDUDBaseMeter::Add(int n)
{
    if (values_.Add(n))
        Draw();
}

void TDUDBaseMeter::Sub(int n)
{
    if (values_.Sub(n))
        Draw();
}

void TDUDBaseMeter::GetChange(void* sender)
{
    CorrectBounds();
    TDUDGraphicControl::GetChange(sender);
}

void TDUDBaseMeter::BoundsChange(TDUDBoundsChangeStates changed)
{
    TDUDGraphicControl::BoundsChange(changed);
    if (changed & bcSize)
        CorrectBounds();
}

void TDUDBaseMeter::Paint(TCanvas& canvas)
{
    if (Loading())
        return;
    // A size still to be corrected to the settings (a new control has not
    // been sized yet) is corrected first; the new size brings its own
    // repaint.
    if (!CorrectBounds()) {
        // A full repaint always draws the bar: the small-change rule only
        // spares redrawing what the screen already shows. A picture painted
        // elsewhere leaves the record of what the screen shows alone.
        const int shown = lastDrawn_;
        lastDrawn_ = 0;
        FillControl(canvas);
        inner_ = Bevel().PaintBevel(canvas, ClientRect(), false);
        DrawOn(canvas, true);
        if (!PaintingScreen())
            lastDrawn_ = shown;
    }
    correcting_ = false;
}

void TDUDBaseMeter::Draw()
{
    if (drawing_ || Loading() || !WantsDraw(false))
        return; // decided before any painting is set up: most calls end here
    DrawNow([this](TCanvas& canvas) { return DrawOn(canvas, false); }, inner_);
}

bool TDUDBaseMeter::WantsDraw(bool force) const
{
    if (force)
        return true;
    const int p = GetDrawValue();
    // Changes smaller than delta are not drawn, but the ends always are.
    if (p == 0 || p == 100)
        return true;
    return std::abs(p - lastDrawn_) >= delta_
        || (optionsText_ == TDUDMeterTextOptions::toPercent && p != lastDrawn_);
}

bool TDUDBaseMeter::DrawOn(TCanvas& canvas, bool force)
{
    if (drawing_ || Loading())
        return false;
    if (!WantsDraw(force))
        return false;
    const int p = GetDrawValue();
    if (inner_.IsEmpty()) {
        lastDrawn_ = p;
        return false;
    }
    drawing_ = true;
    const TRect full{0, 0, inner_.Width(), inner_.Height()};
    // The off-screen bitmap is kept while the inside keeps its size.
    if (!bitmap_ || bitmap_->Width() != full.Width() || bitmap_->Height() != full.Height())
        bitmap_ = canvas.CreateBitmap(full.Width(), full.Height());
    TCanvas& bc = bitmap_->Canvas();
    bc.TextRecorder = canvas.TextRecorder;
    bc.Pen = TPen{};
    bc.Font = canvas.Font;
    bc.Brush = {Color(), TBrushStyle::bsSolid};
    bc.FillRect(full);
    const TRect bar = MeterBarRect(full, direction_, p);
    const TRect rest = MeterRestRect(full, direction_, bar);
    DrawBar(bc, bar, full, rest, p);
    canvas.Draw(inner_.Left, inner_.Top, *bitmap_);
    lastDrawn_ = p;
    drawing_ = false;
    return true;
}

void TDUDBaseMeter::DrawBar(TCanvas&, const TRect&, const TRect&, const TRect&, int) {}

void TDUDBaseMeter::DrawCaption(TCanvas& canvas, const TRect& bar, const TRect& rest, TColor color, int p)
{
    if (optionsText_ == TDUDMeterTextOptions::toNoText)
        return;
    const std::string text = optionsText_ == TDUDMeterTextOptions::toCaption ? caption_.toStdString()
                                                                             : std::to_string(p) + "%";
    if (text.empty())
        return;
    unsigned flags = DT_VCENTER | DT_SINGLELINE;
    if (alignment_ == TAlignment::taCenter)
        flags |= DT_CENTER;
    else if (alignment_ == TAlignment::taRightJustify)
        flags |= DT_RIGHT;
    const TRect full{std::min(bar.Left, rest.Left), std::min(bar.Top, rest.Top), std::max(bar.Right, rest.Right),
                     std::max(bar.Bottom, rest.Bottom)};
    const TBrush savedBrush = canvas.Brush;
    const TColor fontColor = canvas.Font.Color;
    canvas.Brush.Style = TBrushStyle::bsClear;
    const unsigned state = isEnabled() ? dtEnabled : 0u;
    if (useFontColor_) {
        DUDDrawTextExt(canvas, text, &font3D_, full, flags, state);
    } else {
        // Each part of the text contrasts with what lies under it.
        if (!bar.IsEmpty()) {
            canvas.Font.Color = Color();
            DUDDrawTextExt(canvas, text, nullptr, full, flags, state | dtClip, &bar);
        }
        if (!rest.IsEmpty()) {
            canvas.Font.Color = color == clNone ? fontColor : color;
            DUDDrawTextExt(canvas, text, nullptr, full, flags, state | dtClip, &rest);
        }
    }
    canvas.Font.Color = fontColor;
    canvas.Brush = savedBrush;
}

// ---- TDUDCustomProgress ----

TDUDCustomProgress::TDUDCustomProgress(QWidget* parent) : TDUDBaseMeter(parent)
{
    SetDeltaValue(5);
    smallBar_.OnChange = [this](void* sender) { GetChange(sender); };
}

TDUDCustomProgress::~TDUDCustomProgress()
{
    smallBar_.OnChange = nullptr;
}

void TDUDCustomProgress::SetBarColor(TColor c)
{
    if (c == barColor_)
        return;
    barColor_ = c;
    if (style_ == TDUDProgressStyle::pgBar)
        Invalidate();
}

void TDUDCustomProgress::SetBar3D(TDUDBorderStyle s)
{
    if (s == bar3D_)
        return;
    bar3D_ = s;
    if (style_ == TDUDProgressStyle::pgBar)
        Invalidate();
}

void TDUDCustomProgress::SetStyle(TDUDProgressStyle s)
{
    if (s == style_)
        return;
    style_ = s;
    const bool small = s == TDUDProgressStyle::pgSmallBar || s == TDUDProgressStyle::pgSmallBarColor;
    if (small && OptionsText() != TDUDMeterTextOptions::toPercent)
        SetDeltaValue((100 / smallBar_.EffectiveBarCount()) / 2);
    else
        SetDeltaValue(1);
    CorrectBounds();
    Invalidate();
}

void TDUDCustomProgress::GetChange(void* sender)
{
    TDUDBaseMeter::GetChange(sender);
}

bool TDUDCustomProgress::CorrectBounds()
{
    const bool small = style_ == TDUDProgressStyle::pgSmallBar || style_ == TDUDProgressStyle::pgSmallBarColor;
    if (!small || !smallBar_.AutoSize() || Loading() || Correcting())
        return false;
    const int count = smallBar_.EffectiveBarCount();
    const int frame = BevelExt();
    QRect g = geometry();
    if (IsHorizontal(Direction())) {
        const int w = SmallBarAutoLength(g.width(), frame, smallBar_.HSpace(), count);
        if (w == g.width())
            return false;
        g.setWidth(w);
    } else {
        const int h = SmallBarAutoLength(g.height(), frame, smallBar_.VSpace(), count);
        if (h == g.height())
            return false;
        g.setHeight(h);
    }
    SetCorrecting(true);
    SetBounds(g.x(), g.y(), g.width(), g.height());
    SetCorrecting(false);
    Invalidate();
    return true;
}

void TDUDCustomProgress::DrawBar(TCanvas& canvas, const TRect& bar, const TRect& full, const TRect& rest, int p)
{
    const TBrush saved = canvas.Brush;
    switch (style_) {
    case TDUDProgressStyle::pgBar:
        canvas.Brush = {barColor_, TBrushStyle::bsSolid};
        canvas.FillRect(bar);
        if (p != 0 && !bar.IsEmpty()) {
            TRect frame = bar;
            DUDDrawStdFrame(canvas, frame, bar3D_);
        }
        canvas.Brush = saved;
        DrawCaption(canvas, bar, rest, barColor_, p);
        break;
    case TDUDProgressStyle::pgSmallBar:
    case TDUDProgressStyle::pgSmallBarColor: {
        const auto bars = SmallBarRects(full, Direction(), p, smallBar_.EffectiveBarCount(), smallBar_.HSpace(),
                                        smallBar_.VSpace());
        for (std::size_t i = 0; i < bars.size(); ++i) {
            TColor c = smallBar_.BarColor();
            if (style_ == TDUDProgressStyle::pgSmallBarColor && OnGetColor)
                c = OnGetColor(this, static_cast<int>(i), c);
            canvas.Brush = {c, TBrushStyle::bsSolid};
            canvas.FillRect(bars[i]);
        }
        canvas.Brush = saved;
        DrawCaption(canvas, bar, rest, smallBar_.BarColor(), p);
        break;
    }
    case TDUDProgressStyle::pgOwnerDraw:
        if (OnPaint)
            OnPaint(this, canvas, bar, full, rest);
        break;
    }
}

} // namespace kyd::widgets
