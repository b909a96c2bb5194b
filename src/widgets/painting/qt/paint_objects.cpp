#include "widgets/painting/qt/paint_objects.h"

#include "widgets/painting/qt/bmp.h"
#include "widgets/painting/qt/bmp_draw.h"
#include "widgets/framework/qt/qt_canvas.h"

#include <cstdio>

namespace kyd::widgets {

// --- shape fill ------------------------------------------------------------

TDUDShapeFill::TDUDShapeFill()
{
    gradient_.OnChange = [this](void*) { Change(); };
}

void TDUDShapeFill::SetBitmap(const QImage& v)
{
    if (v == bitmap_)
        return;
    bitmap_ = v;
    Change();
}

const QImage* TDUDShapeFill::GetBitmap() const
{
    if (style_ == TDUDFillStyle::sfBitmap)
        return &bitmap_;
    if (style_ == TDUDFillStyle::sfBitmapList)
        return &ListBitmap;
    return nullptr;
}

std::vector<TColor> TDUDShapeFill::GetPalette() const
{
    std::vector<TColor> colours;
    auto table = [&](const QImage& image) {
        for (const QRgb rgb : image.colorTable())
            colours.push_back(FromQColor(QColor(rgb)));
    };
    switch (style_) {
    case TDUDFillStyle::sfBrushBitmap:
    case TDUDFillStyle::sfBitmap: table(bitmap_); break;
    case TDUDFillStyle::sfBitmapList: table(ListBitmap); break;
    case TDUDFillStyle::sfGradient:
        if (const TDUDPalette* p = gradient_.GetPalette())
            colours = p->Entries;
        break;
    default: break;
    }
    return colours;
}

bool TDUDShapeFill::GetEmpty() const
{
    if (style_ == TDUDFillStyle::sfNone)
        return true;
    if (const QImage* b = GetBitmap())
        return b->isNull();
    return false;
}

bool TDUDShapeFill::GetMustRedraw() const
{
    switch (style_) {
    case TDUDFillStyle::sfBrushBitmap:
    case TDUDFillStyle::sfBrush:
        return false;
    case TDUDFillStyle::sfBitmap:
    case TDUDFillStyle::sfBitmapList:
        return tileMode_ != TDUDTileMode::tmTile;
    default:
        return true;
    }
}

std::string TDUDShapeFill::GetSetStr() const
{
    static const char* const names[] = {"Disabled", "", "Brush", "Bitmap", "BitmapList", "Gradient"};
    return std::string("{") + names[static_cast<int>(style_)] + "}";
}

// --- fill object -------------------------------------------------------------

TDUDFillObject::TDUDFillObject()
{
    BeginUpdate();
    SetStyle(TDUDFillStyle::sfNone);
    EndUpdate(false);
}

void TDUDFillObject::SetBrush(const TBrush& v)
{
    if (v.Color == brush_.Color && v.Style == brush_.Style && v.Pattern == brush_.Pattern)
        return;
    brush_ = v;
    Change();
}

bool TDUDFillObject::GetTransparent() const
{
    const bool inner = options_ & foFillInner;
    switch (Style()) {
    case TDUDFillStyle::sfNone:
        return true;
    case TDUDFillStyle::sfBrush:
        return brush_.Style != TBrushStyle::bsSolid && !inner;
    case TDUDFillStyle::sfBitmap:
    case TDUDFillStyle::sfBitmapList:
        return (TileMode() == TDUDTileMode::tmNone || TileMode() == TDUDTileMode::tmCenter) && !inner;
    default:
        return false;
    }
}

void TDUDFillObject::FillInner(TCanvas& canvas, const TRect& r, TColor background) const
{
    if (!(options_ & foFillInner))
        return;
    canvas.Brush = TBrush(background, TBrushStyle::bsSolid);
    canvas.FillRect(r);
}

bool TDUDFillObject::FillCanvas(TCanvas& canvas, const TRect& r, TColor background) const
{
    switch (Style()) {
    case TDUDFillStyle::sfNone:
        return false;
    case TDUDFillStyle::sfBrush:
        canvas.Brush = brush_;
        canvas.Pen.Color = background;
        if (brush_.Style != TBrushStyle::bsSolid)
            canvas.BackgroundColor = background;
        if (brush_.Style == TBrushStyle::bsClear && !brush_.Pattern)
            return true; // a clear brush paints nothing over the background
        canvas.FillRect(r);
        return true;
    case TDUDFillStyle::sfBrushBitmap: {
        // The whole bitmap is the pattern.
        const TBrush old = canvas.Brush;
        if (!Bitmap().isNull())
            canvas.Brush.Pattern = DUDBrushPattern(Bitmap());
        canvas.FillRect(r);
        canvas.Brush.Pattern = old.Pattern;
        return true;
    }
    case TDUDFillStyle::sfBitmap:
    case TDUDFillStyle::sfBitmapList: {
        const QImage& b = *GetBitmap();
        if (b.isNull()) {
            FillInner(canvas, r, background);
            return false;
        }
        unsigned flags = (options_ & foQuickDraw) ? 0u : unsigned(dbfPalette);
        switch (TileMode()) {
        case TDUDTileMode::tmNone: {
            FillInner(canvas, r, background);
            const TRect placed = DUDAlignRect(alignment_, {0, 0, b.width(), b.height()}, r).Offset(offsetX_, offsetY_);
            DUDBmpDrawExt(canvas, placed, b, flags, 0);
            return true;
        }
        case TDUDTileMode::tmCenter:
            FillInner(canvas, r, background);
            flags |= dbfCenter;
            break;
        case TDUDTileMode::tmStretch:
            flags |= dbfStretch;
            break;
        case TDUDTileMode::tmTile:
            flags |= dbfTile;
            break;
        }
        // Tiles past r must not paint outside it.
        const std::optional<TRect> old = canvas.ClipRect();
        canvas.SetClipRect(old ? old->Intersect(r) : r);
        DUDBmpDrawExt(canvas, r, b, flags, 0);
        if (old)
            canvas.SetClipRect(*old);
        else
            canvas.ClearClip();
        return true;
    }
    case TDUDFillStyle::sfGradient:
        DUDGradientPaintExt(canvas, r, Gradient().Style(), 0,
                            ((options_ & foGrUseBitmap) ? 4u : 0u) | (Gradient().PaletteRealize() ? 0x1000u : 0u),
                            Gradient().Steps());
        return true;
    }
    return false;
}

bool TDUDFillObject::ClipFill(TCanvas& canvas, const TRect& r, TPoint offset, TColor background) const
{
    if (Style() == TDUDFillStyle::sfGradient && (options_ & foGrUseBitmap))
        return FillCanvas(canvas, r, background);
    const std::optional<TRect> old = canvas.ClipRect();
    canvas.SetClipRect(r.Offset(offset.X, offset.Y));
    const bool painted = FillCanvas(canvas, r, background);
    if (old)
        canvas.SetClipRect(*old);
    else
        canvas.ClearClip();
    return painted;
}

void TDUDShapeFill::TakeListBitmap(const TDUDCustomImageList* iml, int list, int image)
{
    if (iml && iml->IsValidItem(list, image))
        ListBitmap = iml->GetBitmapItem(list, image);
    else
        ListBitmap = QImage();
}

void TDUDShapeFill::Assign(const TDUDShapeFill& o)
{
    if (&o == this)
        return;
    TDUDUpdate update(*this);
    SetBitmap(o.bitmap_);
    gradient_.Assign(o.gradient_);
    SetStyle(o.style_);
    SetTileMode(o.tileMode_);
    update.Commit();
}

void TDUDFillObject::Assign(const TDUDFillObject& o)
{
    if (&o == this)
        return;
    TDUDUpdate update(*this);
    TDUDShapeFill::Assign(o);
    SetAlignment(o.alignment_);
    SetOffset(0, o.offsetX_);
    SetOffset(1, o.offsetY_);
    SetBrush(o.brush_);
    SetOptions(o.options_);
    update.Commit();
}

// --- alpha object --------------------------------------------------------------

TDUDAlphaObject::TDUDAlphaObject()
{
    fill_.OnChange = [this](void*) { Change(); };
    imageList_.OnChange = [this] { GetIMLChange(); };
    imageList_.OnRemoved = [this] { GetIMLChange(); };
}

TDUDAlphaObject::~TDUDAlphaObject()
{
}

void TDUDAlphaObject::Assign(const TDUDAlphaObject& o)
{
    if (&o == this)
        return;
    TDUDUpdate update(*this);
    fill_.Assign(o.fill_);
    SetStrength(o.strength_);
    SetImageList(o.ImageList());
    SetIndex(0, o.imageIndex_);
    SetIndex(1, o.listIndex_);
    update.Commit();
}

void TDUDAlphaObject::SetImageList(TDUDCustomImageList* v)
{
    if (!imageList_.Set(v))
        return;
    GetIMLChange();
}

void TDUDAlphaObject::SetIndex(int index, int v)
{
    if (SetField(index == 0 ? imageIndex_ : listIndex_, v))
        GetIMLChange();
}

void TDUDAlphaObject::GetIMLChange()
{
    fill_.TakeListBitmap(imageList_.Get(), listIndex_, imageIndex_);
    Change();
}

void TDUDAlphaObject::AlphaBlend(QImage& b) const
{
    if (fill_.Style() == TDUDFillStyle::sfNone || b.isNull())
        return;
    QImage fill = MakeCanvasImage(b.width(), b.height());
    {
        TQtCanvas c(fill);
        fill_.FillCanvas(c, {0, 0, b.width(), b.height()}, clWhite);
    }
    fill = fill.convertToFormat(QImage::Format_BGR888);
    if (b.format() != QImage::Format_BGR888)
        b = b.convertToFormat(QImage::Format_BGR888);
    DUDBMPAlphaBlend(b, fill, {0, 0, b.width(), b.height()}, {0, 0}, strength_, b, {0, 0});
}

void TDUDAlphaObject::ControlBlend(QImage& bitmap, const TRect& rect, TQtCanvas& canvas, const TRect& targetRect) const
{
    const QRect area = ToQRect(rect).intersected(canvas.Image().rect());
    if (area.isEmpty() || targetRect.IsEmpty())
        return;
    bitmap = canvas.Image().copy(area).convertToFormat(QImage::Format_BGR888);
    AlphaBlend(bitmap);
    canvas.DrawImage(targetRect, bitmap, bitmap.rect());
}

std::string TDUDAlphaObject::GetSetStr() const
{
    if (fill_.Style() == TDUDFillStyle::sfNone)
        return "{Disabled}";
    const char* kind = fill_.Style() == TDUDFillStyle::sfGradient ? "grad"
                       : (fill_.Style() == TDUDFillStyle::sfBitmap || fill_.Style() == TDUDFillStyle::sfBitmapList)
                           ? "bmp"
                           : "brush";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", strength_);
    return std::string("{Enabled (") + kind + "), strength: " + buf + "}";
}

// --- effect object ---------------------------------------------------------------

TDUDBitmapEffectObject::TDUDBitmapEffectObject()
{
    alpha_.OnChange = [this](void*) { Change(); };
}

void TDUDBitmapEffectObject::SetFlag(int index, bool v)
{
    if (index < 0 || index > 4 || flags_[index] == v)
        return;
    flags_[index] = v;
    if (index == 4) {
        bufferValid_ = false;
        buffer_.reset();
        if (v)
            buffer_.emplace();
    }
    Change();
}

void TDUDBitmapEffectObject::Change()
{
    // Any settings change makes the kept result stale.
    bufferValid_ = false;
    TDUDObject::Change();
}

void TDUDBitmapEffectObject::Draw(QImage& b)
{
    if (b.isNull())
        return;
    if (b.format() != QImage::Format_BGR888)
        b = b.convertToFormat(QImage::Format_BGR888);
    if (flags_[4] && bufferValid_ && buffer_ && buffer_->size() == b.size()) {
        b = *buffer_;
        return;
    }
    const TRect all{0, 0, b.width(), b.height()};
    if (flags_[0])
        DUDBMPFlipVertical(b, all, b, {0, 0});
    if (flags_[1])
        DUDBMPFlipHorizonzal(b, all, b, {0, 0});
    if (flags_[2])
        DUDBMPGrayScale(b, all, b, {0, 0});
    if (flags_[3])
        DUDBMPInvert(b, all, b, {0, 0});
    if (brightness_ != 0)
        DUDBMPBrightness(b, all, b, brightness_, {0, 0});
    alpha_.AlphaBlend(b);
    if (flags_[4]) {
        buffer_ = b;
        bufferValid_ = true;
    }
}

void TDUDBitmapEffectObject::Assign(const TDUDBitmapEffectObject& o)
{
    if (&o == this)
        return;
    TDUDUpdate update(*this);
    for (int i = 0; i < 5; ++i)
        SetFlag(i, o.flags_[i]);
    SetBrightness(o.brightness_);
    alpha_.Assign(o.alpha_);
    update.Commit();
}

void TDUDGlyphTextLayout::Assign(const TDUDGlyphTextLayout& o)
{
    if (&o == this)
        return;
    TDUDUpdate update(*this);
    SetAlignText2Glyph(o.arrange_);
    SetOffset(0, o.offsetX_);
    SetOffset(1, o.offsetY_);
    SetSpacing(o.spacing_);
    SetAlignment(o.alignment_);
    update.Commit();
}

void TDUDButtonLayout::Assign(const TDUDButtonLayout& o)
{
    if (&o == this)
        return;
    TDUDUpdate update(*this);
    TDUDGlyphTextLayout::Assign(o);
    SetArrow(o.arrow_);
    SetArrowColor(o.arrowColor_);
    SetArrowIndent(o.arrowIndent_);
    SetArrowPosition(o.arrowPosition_);
    SetArrowSize(o.arrowSize_);
    update.Commit();
}

bool TDUDBitmapEffectObject::Active() const
{
    return flags_[0] || flags_[1] || flags_[2] || flags_[3] || brightness_ != 0 ||
           alpha_.FillObject().Style() != TDUDFillStyle::sfNone;
}

void TDUDBitmapEffectObject::DrawCopy(const QImage& source, QImage& target)
{
    target = source.convertToFormat(QImage::Format_BGR888);
    Draw(target);
}

void TDUDBitmapEffectObject::DrawCopyFromRect(const QImage& source, const TRect& rect, QImage& target)
{
    target = source.copy(ToQRect(rect)).convertToFormat(QImage::Format_BGR888);
    Draw(target);
}

namespace {

// The picture made 24-bit in place.
void To24(QImage& b)
{
    if (b.format() != QImage::Format_BGR888)
        b = b.convertToFormat(QImage::Format_BGR888);
}

// `part` copied into the target at the point (clipped to the target).
void Put(QImage& target, const QImage& part, TPoint at)
{
    QPainter p(&target);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(at.X, at.Y, part);
}

} // namespace

void TDUDBitmapEffectObject::DrawCopyRect(const QImage& source, const TRect& rect, QImage& target, TPoint at)
{
    if (source.isNull() || rect.IsEmpty())
        return;
    To24(target);
    const QSize size(rect.Width(), rect.Height());
    if (flags_[4] && bufferValid_ && buffer_ && buffer_->size() == size) {
        Put(target, *buffer_, at);
        return;
    }
    QImage src = source.convertToFormat(QImage::Format_BGR888);
    Put(target, src.copy(ToQRect(rect)), at);
    // The flips, grey scale and invert read the source rect; each later one
    // works on what the earlier ones wrote.
    const QImage* from = &src;
    TRect fromRect = rect;
    const TRect placed{at.X, at.Y, at.X + rect.Width(), at.Y + rect.Height()};
    auto step = [&](auto&& routine) {
        routine(*from, fromRect, target, at);
        from = &target;
        fromRect = placed;
    };
    if (flags_[0])
        step([](const QImage& s, const TRect& r, QImage& t, TPoint p) { DUDBMPFlipVertical(s, r, t, p); });
    if (flags_[1])
        step([](const QImage& s, const TRect& r, QImage& t, TPoint p) { DUDBMPFlipHorizonzal(s, r, t, p); });
    if (flags_[2])
        step([](const QImage& s, const TRect& r, QImage& t, TPoint p) { DUDBMPGrayScale(s, r, t, p); });
    if (flags_[3])
        step([](const QImage& s, const TRect& r, QImage& t, TPoint p) { DUDBMPInvert(s, r, t, p); });
    if (brightness_ != 0)
        DUDBMPBrightness(target, placed, target, brightness_, at);
    if (flags_[4]) {
        buffer_ = target.copy(ToQRect(placed));
        bufferValid_ = true;
    }
}

void TDUDBitmapEffectObject::DrawCutRect(const QImage& source, const TRect& sourceRect, const TRect& targetRect,
                                         QImage& target)
{
    if (source.isNull() || sourceRect.IsEmpty() || targetRect.IsEmpty())
        return;
    QImage cut = source.copy(ToQRect(sourceRect)).convertToFormat(QImage::Format_BGR888);
    Draw(cut);
    To24(target);
    QPainter p(&target);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(ToQRect(targetRect), cut);
}

void TDUDBitmapEffectObject::DrawCutRect2(const QImage& source, const TRect& sourceRect, const TRect& targetRect,
                                          QImage& target)
{
    if (source.isNull() || sourceRect.IsEmpty() || targetRect.IsEmpty())
        return;
    const TPoint at{targetRect.Left, targetRect.Top};
    const QSize size(sourceRect.Width(), sourceRect.Height());
    To24(target);
    if (flags_[4] && bufferValid_ && buffer_ && buffer_->size() == size) {
        Put(target, *buffer_, at);
        return;
    }
    const bool buffered = flags_[4];
    flags_[4] = false; // the effects alone; the whole result is buffered below
    DrawCopyRect(source, sourceRect, target, at);
    flags_[4] = buffered;
    const TRect placed{at.X, at.Y, at.X + size.width(), at.Y + size.height()};
    if (alpha_.FillObject().Style() != TDUDFillStyle::sfNone) {
        QImage fill = MakeCanvasImage(size.width() + 2, size.height() + 2);
        {
            TQtCanvas c(fill);
            alpha_.FillObject().FillCanvas(c, {0, 0, fill.width(), fill.height()}, clWhite);
        }
        fill = fill.convertToFormat(QImage::Format_BGR888);
        DUDBMPAlphaBlend(target, fill, placed, {1, 1}, alpha_.Strength(), target, at);
    }
    if (buffered) {
        buffer_ = target.copy(ToQRect(placed));
        bufferValid_ = true;
    }
}

std::string TDUDBitmapEffectObject::GetSetStr() const
{
    std::string s;
    auto add = [&](const char* part) { s += s.empty() ? part : std::string(",") + part; };
    if (alpha_.FillObject().Style() != TDUDFillStyle::sfNone)
        add("alpha");
    if (flags_[0])
        add("FV");
    if (flags_[1])
        add("FH");
    if (flags_[2])
        add("GS");
    if (flags_[3])
        add("INV");
    if (brightness_ != 0)
        add("B");
    return s.empty() ? "{Disabled}" : "{" + s + "}";
}

TColor DUDGlyphTransparentColor(const QImage& glyph)
{
    return glyph.isNull() ? clNone : FromQColor(QColor(glyph.pixel(0, glyph.height() - 1)));
}

TDUDGlyphTextPlaces DUDDrawTextAndGlyph(TCanvas& canvas, const std::string& text, const TDUD3DCaption* caption,
                                        const TRect& r, const QImage& glyph, const TDUDGlyphTextLayout& layout,
                                        unsigned flags, unsigned styles)
{
    return DUDDrawTextAndGlyphExt(canvas, text, caption, r, glyph, nullptr, layout, flags, styles);
}

TDUDGlyphTextPlaces DUDDrawTextAndGlyphExt(TCanvas& canvas, const std::string& text, const TDUD3DCaption* caption,
                                           const TRect& r, const QImage& glyphUp, const QImage* disabledGlyph,
                                           const TDUDGlyphTextLayout& layout, unsigned flags, unsigned styles)
{
    const QImage& glyph =
        !(styles & dtEnabled) && disabledGlyph && !disabledGlyph->isNull() ? *disabledGlyph : glyphUp;
    TPoint textSize{};
    if (!text.empty()) {
        TRect m{0, 0, std::max(r.Width() - 1, 1), std::max(r.Height(), 1)};
        canvas.TextRect(m, text, DT_CALCRECT | DT_EXPANDTABS | (flags & ~unsigned(DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM)));
        const int d = caption ? caption->ExtraDepth() : 0;
        textSize = {m.Width() + d, m.Height() + d};
    }
    const TPoint glyphSize = glyph.isNull() ? TPoint{} : TPoint{glyph.width(), glyph.height()};
    const TDUDGlyphTextPlaces places =
        DUDGlyphTextPlace(layout.AlignText2Glyph(), layout.Alignment(), layout.Spacing(),
                          {layout.OffsetX(), layout.OffsetY()}, glyphSize, textSize, r);
    if (!glyph.isNull())
        DUDBmpDrawExt(canvas, places.Glyph, glyph, dbfTransparent, DUDGlyphTransparentColor(glyph));
    if (!text.empty())
        DUDDrawTextExt(canvas, text, caption, places.Text, flags & ~unsigned(DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM),
                       styles);
    return places;
}

} // namespace kyd::widgets
