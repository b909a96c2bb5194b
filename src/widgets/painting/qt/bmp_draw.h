// Bitmap drawing of the library: pictures placed, centred, stretched or
// tiled in a rectangle, transparent by colour or through a mask, textures
// and patterns, grey-scale and disabled glyphs. Palettes are kept by the
// pictures but have no effect here (flag $1000 is accepted and ignored).
#pragma once

#include "widgets/framework/canvas.h"

#include <QImage>

namespace kyd::widgets {

enum : unsigned {
    dbfClip = 0x01,       // the clip forms: clip to the rectangle
    dbfCenter = 0x08,
    dbfStretch = 0x10,
    dbfTile = 0x20,
    dbfTransparent = 0x40, // masks made from the transparent colour
    dbfBitmap = 0x80,      // draw the picture itself (same result here)
    dbfMask = 0x100,       // the caller's mask (white where transparent)
    dbfKeepHeight = 0x200, // with dbfStretch: height H, width to scale
    dbfKeepWidth = 0x400,  // with dbfStretch: width W, height to scale
    dbfPalette = 0x1000,
};

// Draws bitmap in r by the flags; returns the area drawn (empty for a null
// picture). Only canvases on images draw pictures.
TRect DUDBmpDrawExt(TCanvas& canvas, const TRect& r, const QImage& bitmap, unsigned flags, TColor transparent,
                    const QImage* mask = nullptr);
bool DUDBmpDraw(TCanvas& canvas, const TRect& r, const QImage& bitmap, unsigned flags, TColor transparent,
                TRect& out);
// The same, clipped to r moved by the offset when flag 1 is set.
TRect DUDBmpClipDrawExt(TCanvas& canvas, const TRect& r, const QImage& bitmap, unsigned flags, TColor transparent,
                        TPoint offset, const QImage* mask = nullptr);
// DUDBmpDraw's clip form: true when something was drawn, its area in out.
bool DUDBmpClipDraw(TCanvas& canvas, const TRect& r, const QImage& bitmap, unsigned flags, TColor transparent,
                    TPoint offset, TRect& out);
TRect DUDBmpStretchDraw(TCanvas& canvas, const TRect& r, const QImage& bitmap);
// The picture through the mask (white where transparent), then once more
// transparent by the colour: what either pass shows is drawn.
TRect DUDMaskBmpDraw(TCanvas& canvas, const TRect& r, const QImage& bitmap, const QImage& mask, TColor color);

// Tiles the picture over r, the tile starting offset by origin (taken
// modulo the size); nothing for a null picture or a negative origin.
void DUDFillTexture(TCanvas& canvas, const TRect& r, const QImage& bitmap, TPoint origin);
// r becomes r AND the picture tiled from the canvas origin.
void DUDFillPattern(TCanvas& canvas, const TRect& r, const QImage& bitmap);

// A copy of the size of r filled with the colour.
QImage DUDBmpCreateFromRect(const TRect& r, TColor color);
// A four-tone copy: white, button highlight, button shadow and black by
// brightness; the colour of pixel (0, 0) is transparent and stays.
QImage DUDBmpCreateGrayscale(const QImage& source);
// The monochrome mask (white where the picture has the transparent colour)
// and the picture with its transparent pixels black.
void DUDBmpCreateMasks(const QImage& source, QImage& mask, QImage& image, TColor transparent);
// The engraved disabled look of a glyph, on the glyph's transparent colour
// (its bottom-left pixel).
QImage DUDBmpDrawDisabledState(const QImage& source, int x, int y);

// A brush pattern of the whole picture.
std::shared_ptr<const TBrushPattern> DUDBrushPattern(const QImage& bitmap);

} // namespace kyd::widgets
