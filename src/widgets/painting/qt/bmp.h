// 24-bit bitmap routines of the painting objects: grey scale, mirrors,
// inversion, brightness and alpha blending on QImage::Format_BGR888 images
// (three bytes a pixel: blue, green, red). Each reads a rectangle of the
// source (right and bottom exclusive) and writes the same-sized area of the
// target at a point; the rectangle and the point are clipped to both images,
// and source and target may be the same image. Any other format raises
// EDUDWrongPixelFormat. Rounding is exact, ties going to the even neighbour.
#pragma once

#include "widgets/framework/object.h"
#include "widgets/framework/graphics.h"

#include <QImage>

namespace kyd::widgets {

class EDUDWrongPixelFormat : public EDUDException {
public:
    using EDUDException::EDUDException;
};
class EDUDWrongBmpSize : public EDUDException {
public:
    using EDUDException::EDUDException;
};

// A blank 24-bit image of the size (white).
QImage DUDBmpCreate24(int width, int height);

// Every byte = round(3R/10) + round(59G/100) + round(11B/100).
void DUDBMPGrayScale(const QImage& source, const TRect& rect, QImage& target, TPoint at);
// Each row mirrored left to right.
void DUDBMPFlipVertical(const QImage& source, const TRect& rect, QImage& target, TPoint at);
// The rows in reverse order.
void DUDBMPFlipHorizonzal(const QImage& source, const TRect& rect, QImage& target, TPoint at);
void DUDBMPInvert(const QImage& source, const TRect& rect, QImage& target, TPoint at);
// Every byte + b, kept to 0..255.
void DUDBMPBrightness(const QImage& source, const TRect& rect, QImage& target, int b, TPoint at);
// The same, but pixels of exactly the excluded colour keep their bytes.
void DUDBmpBrightnessEC(const QImage& source, const TRect& rect, QImage& target, int b, TColor excluded,
                        TPoint at);
// Every byte = b2 + round(s * (b1 - b2)) with s kept to 0..1; rect is in
// source 1, at2 the matching point in source 2.
void DUDBMPAlphaBlend(const QImage& source1, const QImage& source2, const TRect& rect, TPoint at2, double strength,
                      QImage& target, TPoint at);

} // namespace kyd::widgets
