// The canvas on a QImage: every control of the library paints through it,
// on screen (into its surface image) and in pixel tests alike.
#pragma once

#include "widgets/framework/canvas.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRect>

#include <memory>

namespace kyd::widgets {

QColor ToQColor(TColor c);
TColor FromQColor(const QColor& c);
// TRect (exclusive right and bottom) to QRect(l, t, r - l, b - t) and back.
QRect ToQRect(const TRect& r);
TRect FromQRect(const QRect& r);
TFont FontFromQFont(const QFont& f, TColor color);
QFont ToQFont(const TFont& f);

// An image of the size at 96 dots per inch: opaque white, or fully
// transparent with `alpha`.
QImage MakeCanvasImage(int width, int height, bool alpha = false);

class TQtCanvas final : public TCanvas {
public:
    // Paints on `image` (kept alive by the caller) until destroyed.
    explicit TQtCanvas(QImage& image);
    ~TQtCanvas() override;
    TQtCanvas(const TQtCanvas&) = delete;
    TQtCanvas& operator=(const TQtCanvas&) = delete;

    const QImage& Image() const { return image_; }

    void FillRect(const TRect& r) override;
    void Polygon(const std::vector<TPoint>& points) override;
    void Ellipse(const TRect& r) override;
    // A rectangle with corners rounded by ellipses of ew x eh, filled and
    // outlined like Polygon.
    void RoundRect(const TRect& r, int ew, int eh);
    // The part of the ellipse in r from the direction of start
    // counter-clockwise to the direction of end, with the pen.
    void Arc(const TRect& r, TPoint start, TPoint end);
    void SetPixel(int x, int y, TColor c) override;
    TColor GetPixel(int x, int y) const override;
    int TextWidth(const std::string& text) override;
    int TextHeight(const std::string& text) override;
    void Draw(int x, int y, TDUDBitmap& bitmap) override;
    // The src part of image into dest (stretched nearest-neighbour when the
    // sizes differ). With a mask (white where transparent) only the pixels
    // whose mask is black are copied.
    void DrawImage(const TRect& dest, const QImage& image, const QRect& src, const QImage* mask = nullptr);
    // Raster-operation copies of the src part into dest, stretched
    // nearest-neighbour when the sizes differ.
    enum TCopyMode { cmSrcCopy, cmSrcAnd, cmSrcPaint };
    void CopyImage(const TRect& dest, const QImage& image, const QRect& src, TCopyMode mode);
    // Destination AND the pattern tiled from the origin (operation $A000C9).
    void MergePattern(const TRect& r, const QImage& pattern);
    // The engraved look of a monochrome picture: its black pixels in the
    // light colour at (x + 1, y + 1), then in the dark colour at (x, y).
    void DrawEngraved(int x, int y, const QImage& mono, TColor light, TColor dark);
    // Clips to the union of the rectangles (ClearClip removes it).
    void SetClipRegion(const std::vector<TRect>& rects);

protected:
    void DrawLine(TPoint from, TPoint to) override;
    void DoTextOut(int x, int y, const std::string& text) override;
    void DoTextRect(TRect& r, const std::string& text, unsigned flags) override;
    void DoTextOutline(const TRect& r, const std::string& text, unsigned flags, int penWidth) override;
    void ApplyClip() override;
    std::unique_ptr<TDUDBitmap> DoCreateBitmap(int width, int height) override;

private:
    QFont CurrentFont() const;
    QBrush CurrentBrush() const;
    void UsePen();
    void UseBrush();
    // The composition of the pen mode for the shapes drawn next.
    void UsePenMode();

    QImage& image_;
    QPainter painter_;
};

class TQtBitmap final : public TDUDBitmap {
public:
    TQtBitmap(int width, int height);
    int Width() const override { return image_.width(); }
    int Height() const override { return image_.height(); }
    TCanvas& Canvas() override { return *canvas_; }
    const QImage& Image() const { return image_; }

private:
    QImage image_;
    std::unique_ptr<TQtCanvas> canvas_;
};

} // namespace kyd::widgets
