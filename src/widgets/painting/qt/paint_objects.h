// Painting settings that controls own: a shape fill and its extended fill
// object, an alpha-blend object, a bitmap-effect object and the glyph/text
// and button layouts. Every setter reports a change only when the value
// differs; owned objects are copied into, never replaced.
#pragma once

#include "widgets/painting/utils.h"
#include "widgets/painting/gradient.h"
#include "widgets/painting/qt/image_list.h"

#include <QImage>

#include <algorithm>
#include <optional>

namespace kyd::widgets {

enum class TDUDFillStyle { sfNone, sfBrushBitmap, sfBrush, sfBitmap, sfBitmapList, sfGradient };
enum class TDUDTileMode { tmNone, tmCenter, tmStretch, tmTile };
enum TDUDFillOption : unsigned { foFillInner = 1, foQuickDraw = 2, foGrUseBitmap = 4 };

class TDUDShapeFill : public TDUDObject {
public:
    TDUDShapeFill();

    const QImage& Bitmap() const { return bitmap_; }
    void SetBitmap(const QImage& v);
    TDUDGradient& Gradient() { return gradient_; }
    const TDUDGradient& Gradient() const { return gradient_; }
    TDUDFillStyle Style() const { return style_; }
    void SetStyle(TDUDFillStyle v) { SetField(style_, v); }
    TDUDTileMode TileMode() const { return tileMode_; }
    void SetTileMode(TDUDTileMode v) { SetField(tileMode_, v); }
    // Filled from an image list by the alpha object; reports nothing.
    QImage ListBitmap;
    // ListBitmap becomes the item's bitmap, or null without list or item.
    void TakeListBitmap(const TDUDCustomImageList* iml, int list, int image);

    // Bitmap for sfBitmap, the list bitmap for sfBitmapList, else null.
    const QImage* GetBitmap() const;
    // The colour table of what the fill paints: the bitmap's (brush bitmap
    // and bitmap styles), the list bitmap's, the gradient's palette; empty
    // for the other styles and for true-colour pictures.
    std::vector<TColor> GetPalette() const;
    bool GetEmpty() const;
    bool GetMustRedraw() const;
    // Copies every setting (one change); the list bitmap stays, it belongs
    // to the image list the fill is used with.
    void Assign(const TDUDShapeFill& o);
    std::string GetSetStr() const override;
    std::string ClassName() const override { return "TDUDShapeFill"; }

private:
    QImage bitmap_;
    TDUDGradient gradient_;
    TDUDFillStyle style_ = TDUDFillStyle::sfBrush;
    TDUDTileMode tileMode_ = TDUDTileMode::tmTile;
};

class TDUDFillObject : public TDUDShapeFill {
public:
    TDUDFillObject();

    TDUDAlignment Alignment() const { return alignment_; }
    void SetAlignment(TDUDAlignment v) { SetField(alignment_, v); }
    int OffsetX() const { return offsetX_; }
    int OffsetY() const { return offsetY_; }
    void SetOffset(int index, int v) { SetField(index == 0 ? offsetX_ : offsetY_, v); }
    const TBrush& Brush() const { return brush_; }
    void SetBrush(const TBrush& v);
    unsigned Options() const { return options_; }
    void SetOptions(unsigned v) { SetField(options_, v); }

    bool GetTransparent() const;
    // Paints the fill; false when nothing was painted.
    bool FillCanvas(TCanvas& canvas, const TRect& r, TColor background) const;
    // The same, clipped to r moved by the offset (gradients painted through
    // a bitmap need no clip).
    bool ClipFill(TCanvas& canvas, const TRect& r, TPoint offset, TColor background) const;
    // Copies every setting (one change); from a plain shape fill, its
    // settings only.
    using TDUDShapeFill::Assign;
    void Assign(const TDUDFillObject& o);
    std::string ClassName() const override { return "TDUDFillObject"; }

private:
    void FillInner(TCanvas& canvas, const TRect& r, TColor background) const;
    TDUDAlignment alignment_ = TDUDAlignment::agTopLeft;
    int offsetX_ = 0;
    int offsetY_ = 0;
    TBrush brush_;
    unsigned options_ = foFillInner | foGrUseBitmap;
};

class TDUDAlphaObject : public TDUDObject {
public:
    TDUDAlphaObject();
    ~TDUDAlphaObject() override;

    TDUDCustomImageList* ImageList() const { return imageList_.Get(); }
    void SetImageList(TDUDCustomImageList* v);
    double Strength() const { return strength_; }
    void SetStrength(double v) { SetField(strength_, std::clamp(v, 0.0, 1.0)); }
    int ImageIndex() const { return imageIndex_; }
    int ListIndex() const { return listIndex_; }
    void SetIndex(int index, int v); // 0 image, 1 list
    TDUDFillObject& FillObject() { return fill_; }
    const TDUDFillObject& FillObject() const { return fill_; }

    // Takes the image at (ListIndex, ImageIndex) into the fill's list bitmap.
    void GetIMLChange();
    // Blends the fill over b (24-bit), keeping Strength of b's own colour.
    void AlphaBlend(QImage& b) const;
    // Blends a part of a control's picture in place: the canvas's rect is
    // copied into `bitmap` (made 24-bit, of the rect's size), blended there,
    // and copied onto the canvas at targetRect (stretched when the sizes
    // differ).
    void ControlBlend(QImage& bitmap, const TRect& rect, TQtCanvas& canvas, const TRect& targetRect) const;
    // Copies every setting (one change): the same image list (not owned)
    // and indexes, the strength and the fill.
    void Assign(const TDUDAlphaObject& o);
    std::string GetSetStr() const override;
    std::string ClassName() const override { return "TDUDAlphaObject"; }

private:
    TDUDContainerHold<TDUDCustomImageList> imageList_;
    double strength_ = 0.6;
    int imageIndex_ = 0;
    int listIndex_ = 0;
    TDUDFillObject fill_;
};

class TDUDBitmapEffectObject : public TDUDObject {
public:
    TDUDBitmapEffectObject();

    TDUDAlphaObject& AlphaBlend() { return alpha_; }
    // Index: 0 FlipVertical, 1 FlipHorizontal, 2 GrayScale, 3 Invert,
    // 4 Buffered.
    bool Flag(int index) const { return flags_[index]; }
    void SetFlag(int index, bool v);
    int Brightness() const { return brightness_; }
    void SetBrightness(int v) { SetField(brightness_, std::clamp(v, -255, 255)); }
    bool BufferValid() const { return bufferValid_; }

    // Applies the effects to b (made 24-bit); with Buffered the result is
    // kept and replayed until a setting changes or b's size does.
    void Draw(QImage& b);
    void DrawCopy(const QImage& source, QImage& target);
    // The rect of the source becomes the target (24-bit), then Draw.
    void DrawCopyFromRect(const QImage& source, const TRect& rect, QImage& target);
    // The rect of the source goes into the target at the point with the
    // flips, grey scale, invert and brightness; no alpha blend. With
    // Buffered the result is kept and replayed while the rect's size stays.
    void DrawCopyRect(const QImage& source, const TRect& rect, QImage& target, TPoint at);
    // The source rect cut into a 24-bit picture, Draw on it, the result into
    // the target rect (stretched when the sizes differ).
    void DrawCutRect(const QImage& source, const TRect& sourceRect, const TRect& targetRect, QImage& target);
    // The source rect copied into the target at the target rect's top-left,
    // the effects applied there, then a fill picture two pixels larger than
    // the rect (the alpha object's fill on white) blended over it from its
    // (1, 1). Buffered as DrawCopyRect.
    void DrawCutRect2(const QImage& source, const TRect& sourceRect, const TRect& targetRect, QImage& target);
    // Copies every setting (one change).
    void Assign(const TDUDBitmapEffectObject& o);
    // True when Draw changes a picture.
    bool Active() const;
    void Change() override;
    std::string GetSetStr() const override;
    std::string ClassName() const override { return "TDUDBitmapEffectObject"; }

private:
    TDUDAlphaObject alpha_;
    bool flags_[5] = {};
    int brightness_ = 0;
    bool bufferValid_ = false;
    std::optional<QImage> buffer_;
};

enum class TDUDArrowPosition { apRightText, apLeftText, apRightGlyph, apLeftGlyph };

class TDUDGlyphTextLayout : public TDUDObject {
public:
    TDUDTextArrange AlignText2Glyph() const { return arrange_; }
    void SetAlignText2Glyph(TDUDTextArrange v) { SetField(arrange_, v); }
    int OffsetX() const { return offsetX_; }
    int OffsetY() const { return offsetY_; }
    void SetOffset(int index, int v) { SetField(index == 0 ? offsetX_ : offsetY_, v); }
    int Spacing() const { return spacing_; }
    void SetSpacing(int v) { SetField(spacing_, v); }
    TDUDAlignment Alignment() const { return alignment_; }
    void SetAlignment(TDUDAlignment v) { SetField(alignment_, v); }
    // Copies every setting (one change).
    void Assign(const TDUDGlyphTextLayout& o);
    std::string GetSetStr() const override { return {}; }

protected:
    TDUDAlignment alignment_ = TDUDAlignment::agTopLeft;

private:
    TDUDTextArrange arrange_ = TDUDTextArrange::taRight;
    int offsetX_ = 0;
    int offsetY_ = 0;
    int spacing_ = 2;
};

class TDUDButtonLayout : public TDUDGlyphTextLayout {
public:
    TDUDButtonLayout() { alignment_ = TDUDAlignment::agCenter; }
    bool Arrow() const { return arrow_; }
    void SetArrow(bool v) { SetField(arrow_, v); }
    TColor ArrowColor() const { return arrowColor_; }
    void SetArrowColor(TColor v) { SetField(arrowColor_, v); }
    int ArrowIndent() const { return arrowIndent_; }
    void SetArrowIndent(int v) { SetField(arrowIndent_, v); }
    TDUDArrowPosition ArrowPosition() const { return arrowPosition_; }
    void SetArrowPosition(TDUDArrowPosition v) { SetField(arrowPosition_, v); }
    // 2 to 10; a value outside is brought into the range.
    int ArrowSize() const { return arrowSize_; }
    void SetArrowSize(int v) { SetField(arrowSize_, std::clamp(v, 2, 10)); }
    // Copies every setting (one change); from a plain glyph/text layout, its
    // settings only.
    using TDUDGlyphTextLayout::Assign;
    void Assign(const TDUDButtonLayout& o);

private:
    bool arrow_ = false;
    TColor arrowColor_ = 0;
    int arrowIndent_ = 3;
    TDUDArrowPosition arrowPosition_ = TDUDArrowPosition::apRightText;
    int arrowSize_ = 3;
};

// A glyph and a text placed together by the layout: the glyph drawn
// transparent in its own transparent colour (its bottom-left pixel), the
// text with the caption's 3-D style. Returns where both went.
TDUDGlyphTextPlaces DUDDrawTextAndGlyph(TCanvas& canvas, const std::string& text, const TDUD3DCaption* caption,
                                        const TRect& r, const QImage& glyph, const TDUDGlyphTextLayout& layout,
                                        unsigned flags, unsigned styles);
// The same with a second picture: drawn in the glyph's place instead of the
// glyph when the styles do not hold dtEnabled (a disabled look of its own);
// without one the glyph itself is drawn in both states.
TDUDGlyphTextPlaces DUDDrawTextAndGlyphExt(TCanvas& canvas, const std::string& text, const TDUD3DCaption* caption,
                                           const TRect& r, const QImage& glyph, const QImage* disabledGlyph,
                                           const TDUDGlyphTextLayout& layout, unsigned flags, unsigned styles);
// The colour a glyph is drawn transparent in: its bottom-left pixel, or
// clNone when there is no glyph.
TColor DUDGlyphTransparentColor(const QImage& glyph);

} // namespace kyd::widgets
