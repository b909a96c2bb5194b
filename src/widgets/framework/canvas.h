// The drawing surface every control and drawing routine of the library paints
// on. The operations follow the classic device-context rules (exclusive right
// and bottom edges, a line without its end pixel, text placed at the top of
// its character cell); the Qt implementation (qt/qt_canvas.h) paints them on
// an image, so a pixel test sees exactly what the screen shows.
#pragma once

#include "widgets/framework/graphics.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kyd::widgets {

enum class TPenStyle { psSolid, psDot, psClear };
// pmMask ANDs what is drawn (fill and outline) into the destination.
enum class TPenMode { pmCopy, pmXor, pmMask };
// Hatch styles draw lines of the brush colour on the background colour in
// an 8 x 8 cell aligned to the canvas origin.
enum class TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

// A brush pattern: a picture (plain RGB colours, row by row) tiled from the
// canvas origin.
struct TBrushPattern {
    int Width = 0;
    int Height = 0;
    std::vector<TColor> Pixels;
};

struct TPen {
    TColor Color = clBlack;
    int Width = 1;
    TPenStyle Style = TPenStyle::psSolid;
    TPenMode Mode = TPenMode::pmCopy;
};

struct TBrush {
    TBrush(TColor color = clWhite, TBrushStyle style = TBrushStyle::bsSolid) : Color(color), Style(style) {}
    TColor Color = clWhite;
    TBrushStyle Style = TBrushStyle::bsSolid;
    // When set, fills tile this picture whatever the style.
    std::shared_ptr<const TBrushPattern> Pattern;
};

struct TFont {
    std::string Name;     // empty: the application's font family
    double Size = 8;      // points, at 96 dots per inch
    TColor Color = clWindowText;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    // Tenths of a degree, counter-clockwise; TextOut turns the text about
    // its top-left.
    int Angle = 0;
};

// Flags of TextRect.
enum : unsigned {
    DT_LEFT = 0x0,
    DT_CENTER = 0x1,
    DT_RIGHT = 0x2,
    DT_VCENTER = 0x4,
    DT_BOTTOM = 0x8,
    DT_WORDBREAK = 0x10,
    DT_SINGLELINE = 0x20,
    DT_EXPANDTABS = 0x40,
    DT_NOCLIP = 0x100,
    DT_CALCRECT = 0x400,
    DT_NOPREFIX = 0x800,
};

// Edge kinds and side flags of DrawEdge.
enum : unsigned {
    BDR_RAISEDOUTER = 0x1,
    BDR_SUNKENOUTER = 0x2,
    BDR_RAISEDINNER = 0x4,
    BDR_SUNKENINNER = 0x8,
    BDR_OUTER = 0x3,
    BDR_INNER = 0xC,
    EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER,
    EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER,
    EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER,
    EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER,

    BF_LEFT = 0x1,
    BF_TOP = 0x2,
    BF_RIGHT = 0x4,
    BF_BOTTOM = 0x8,
    BF_TOPLEFT = BF_TOP | BF_LEFT,
    BF_BOTTOMRIGHT = BF_BOTTOM | BF_RIGHT,
    BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM,
    BF_MIDDLE = 0x800,
    BF_SOFT = 0x1000,
    BF_ADJUST = 0x2000,
    BF_FLAT = 0x4000,
    BF_MONO = 0x8000,
};

// One text drawing, as a recorder on the canvas sees it.
struct TTextCall {
    std::string Text;
    TRect Rect;               // the cell (TextOut: its top-left, empty size)
    unsigned Flags = 0;       // TextRect flags; 0 for TextOut
    TColor Color = clBlack;   // the font colour used
    std::optional<TRect> Clip;
    int Angle = 0;            // the font's angle, tenths of a degree
};
using TTextRecorder = std::vector<TTextCall>;

class TCanvas;

// An off-screen bitmap with its own canvas, made by TCanvas::CreateBitmap.
class TDUDBitmap {
public:
    virtual ~TDUDBitmap() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual TCanvas& Canvas() = 0;
};

class TCanvas {
public:
    virtual ~TCanvas() = default;

    TPen Pen;
    TBrush Brush;
    TFont Font;
    int TextSpacing = 0; // extra pixels after every character
    // Text calls are appended here when set; bitmaps made by this canvas
    // record into the same list.
    TTextRecorder* TextRecorder = nullptr;

    // The colour between a hatch brush's lines.
    TColor BackgroundColor = clWhite;

    // Fills with the brush: its pattern, its hatch on the background colour,
    // else its colour (a clear brush too).
    virtual void FillRect(const TRect& r) = 0;
    // A one-pixel frame inside r in the brush colour.
    void FrameRect(const TRect& r);
    // Outline with the pen, inside filled with the brush unless it is clear.
    void Rectangle(const TRect& r);
    void MoveTo(int x, int y) { penPos_ = {x, y}; }
    // A line from the pen position to (x, y), without the end pixel.
    void LineTo(int x, int y);
    TPoint PenPos() const { return penPos_; }
    // Filled with the brush (unless clear), outlined with the pen (unless clear).
    virtual void Polygon(const std::vector<TPoint>& points) = 0;
    virtual void Ellipse(const TRect& r) = 0;
    // A 3-D edge of the classic kinds (BDR_*, EDGE_*) on the sides named by
    // the BF_* flags; BF_ADJUST moves r in past what was drawn.
    void DrawEdge(TRect& r, unsigned edge, unsigned flags);
    virtual void SetPixel(int x, int y, TColor c) = 0;
    virtual TColor GetPixel(int x, int y) const = 0;

    // Text with the top of its character cell at y.
    void TextOut(int x, int y, const std::string& text);
    // Text inside r by the DT_* flags; with DT_CALCRECT r becomes the
    // rectangle the text needs and nothing is drawn.
    void TextRect(TRect& r, const std::string& text, unsigned flags);
    // The outline of the text placed as TextRect places it, stroked with a
    // pen of the given width in the font colour.
    void TextOutline(const TRect& r, const std::string& text, unsigned flags, int penWidth);
    virtual int TextWidth(const std::string& text) = 0;
    virtual int TextHeight(const std::string& text) = 0;

    void SetClipRect(const TRect& r);
    void ClearClip();
    const std::optional<TRect>& ClipRect() const { return clip_; }

    std::unique_ptr<TDUDBitmap> CreateBitmap(int width, int height);
    // Copies the bitmap with its top-left at (x, y).
    virtual void Draw(int x, int y, TDUDBitmap& bitmap) = 0;

protected:
    virtual void DrawLine(TPoint from, TPoint to) = 0; // end pixel excluded
    virtual void DoTextOut(int x, int y, const std::string& text) = 0;
    virtual void DoTextRect(TRect& r, const std::string& text, unsigned flags) = 0;
    virtual void DoTextOutline(const TRect& r, const std::string& text, unsigned flags, int penWidth) = 0;
    virtual void ApplyClip() = 0;
    virtual std::unique_ptr<TDUDBitmap> DoCreateBitmap(int width, int height) = 0;

private:
    void Record(const std::string& text, const TRect& r, unsigned flags);
    TPoint penPos_;
    std::optional<TRect> clip_;
};

} // namespace kyd::widgets
