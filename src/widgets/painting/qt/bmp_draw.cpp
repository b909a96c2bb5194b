#include "widgets/painting/qt/bmp_draw.h"

#include "widgets/framework/qt/qt_canvas.h"

#include <QPainter>

#include <algorithm>

namespace kyd::widgets {

namespace {

TColor PixelAt(const QImage& img, int x, int y)
{
    return FromQColor(QColor(img.pixel(x, y)));
}

// Copies the picture into dest, transparent through masks when asked.
void Copy(TQtCanvas& c, const TRect& dest, const QImage& bitmap, unsigned flags, TColor transparent,
          const QImage* mask)
{
    if (flags & dbfMask && mask && !mask->isNull()) {
        c.CopyImage(dest, *mask, mask->rect(), TQtCanvas::cmSrcAnd);
        QImage image = bitmap.convertToFormat(QImage::Format_RGB32);
        const QImage m = mask->convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < image.height() && y < m.height(); ++y)
            for (int x = 0; x < image.width() && x < m.width(); ++x)
                if (qRed(m.pixel(x, y)) >= 128)
                    image.setPixel(x, y, qRgb(0, 0, 0));
        c.CopyImage(dest, image, image.rect(), TQtCanvas::cmSrcPaint);
        return;
    }
    if (flags & dbfTransparent) {
        QImage m, image;
        DUDBmpCreateMasks(bitmap, m, image, transparent);
        c.CopyImage(dest, m, m.rect(), TQtCanvas::cmSrcAnd);
        c.CopyImage(dest, image, image.rect(), TQtCanvas::cmSrcPaint);
        return;
    }
    c.CopyImage(dest, bitmap, bitmap.rect(), TQtCanvas::cmSrcCopy);
}

} // namespace

TRect DUDBmpDrawExt(TCanvas& canvas, const TRect& r, const QImage& bitmap, unsigned flags, TColor transparent,
                    const QImage* mask)
{
    auto* c = dynamic_cast<TQtCanvas*>(&canvas);
    if (!c || bitmap.isNull() || r.IsEmpty())
        return {};
    const int w = bitmap.width();
    const int h = bitmap.height();
    const int W = r.Width();
    const int H = r.Height();
    if (flags & dbfStretch) {
        TRect dest = r;
        const unsigned keep = flags & (dbfKeepWidth | dbfKeepHeight);
        if (keep == (dbfKeepWidth | dbfKeepHeight)) {
            // The aspect ratio kept inside the rectangle.
            if (static_cast<long long>(W) * h <= static_cast<long long>(H) * w)
                dest = Bounds(r.Left, r.Top, W, MulDiv(h, W, w));
            else
                dest = Bounds(r.Left, r.Top, MulDiv(w, H, h), H);
        } else if (keep == dbfKeepWidth) {
            dest = Bounds(r.Left, r.Top, W, MulDiv(h, W, w));
        } else if (keep == dbfKeepHeight) {
            dest = Bounds(r.Left, r.Top, MulDiv(w, H, h), H);
        }
        Copy(*c, dest, bitmap, flags, transparent, mask);
        return dest;
    }
    if (flags & dbfTile) {
        for (int row = 0; row <= H / h; ++row)
            for (int col = 0; col <= W / w; ++col)
                Copy(*c, Bounds(r.Left + col * w, r.Top + row * h, w, h), bitmap, flags, transparent, mask);
        return Bounds(r.Left, r.Top, (W / w + 1) * w, (H / h + 1) * h);
    }
    TRect dest = Bounds(r.Left, r.Top, w, h);
    if (flags & dbfCenter)
        dest = Bounds(r.Left + (W - w) / 2, r.Top + (H - h) / 2, w, h);
    Copy(*c, dest, bitmap, flags, transparent, mask);
    return dest;
}

bool DUDBmpDraw(TCanvas& canvas, const TRect& r, const QImage& bitmap, unsigned flags, TColor transparent,
                TRect& out)
{
    out = DUDBmpDrawExt(canvas, r, bitmap, flags, transparent);
    return !out.IsEmpty();
}

TRect DUDBmpClipDrawExt(TCanvas& canvas, const TRect& r, const QImage& bitmap, unsigned flags, TColor transparent,
                        TPoint offset, const QImage* mask)
{
    if (!(flags & dbfClip))
        return DUDBmpDrawExt(canvas, r, bitmap, flags, transparent, mask);
    const std::optional<TRect> old = canvas.ClipRect();
    canvas.SetClipRect(r.Offset(offset.X, offset.Y));
    const TRect out = DUDBmpDrawExt(canvas, r, bitmap, flags, transparent, mask);
    if (old)
        canvas.SetClipRect(*old);
    else
        canvas.ClearClip();
    return out;
}

bool DUDBmpClipDraw(TCanvas& canvas, const TRect& r, const QImage& bitmap, unsigned flags, TColor transparent,
                    TPoint offset, TRect& out)
{
    out = DUDBmpClipDrawExt(canvas, r, bitmap, flags, transparent, offset);
    return !out.IsEmpty();
}

TRect DUDBmpStretchDraw(TCanvas& canvas, const TRect& r, const QImage& bitmap)
{
    return DUDBmpDrawExt(canvas, r, bitmap, dbfPalette | dbfStretch, 0);
}

TRect DUDMaskBmpDraw(TCanvas& canvas, const TRect& r, const QImage& bitmap, const QImage& mask, TColor color)
{
    DUDBmpDrawExt(canvas, r, bitmap, dbfMask, 0, &mask);
    return DUDBmpDrawExt(canvas, r, bitmap, dbfPalette | dbfTransparent, color);
}

void DUDFillTexture(TCanvas& canvas, const TRect& r, const QImage& bitmap, TPoint origin)
{
    auto* c = dynamic_cast<TQtCanvas*>(&canvas);
    if (!c || bitmap.isNull() || r.IsEmpty() || origin.X < 0 || origin.Y < 0)
        return;
    const int w = bitmap.width();
    const int h = bitmap.height();
    const int ox = origin.X % w;
    const int oy = origin.Y % h;
    QImage tiled(r.Width(), r.Height(), QImage::Format_RGB32);
    QPainter p(&tiled);
    for (int y = -oy; y < r.Height(); y += h)
        for (int x = -ox; x < r.Width(); x += w)
            p.drawImage(QPoint(x, y), bitmap);
    p.end();
    c->CopyImage(r, tiled, tiled.rect(), TQtCanvas::cmSrcCopy);
}

void DUDFillPattern(TCanvas& canvas, const TRect& r, const QImage& bitmap)
{
    if (auto* c = dynamic_cast<TQtCanvas*>(&canvas))
        c->MergePattern(r, bitmap);
}

QImage DUDBmpCreateFromRect(const TRect& r, TColor color)
{
    QImage img(std::max(r.Width(), 0), std::max(r.Height(), 0), QImage::Format_RGB32);
    img.fill(ToQColor(ColorToRGB(color)));
    return img;
}

QImage DUDBmpCreateGrayscale(const QImage& source)
{
    QImage out = source.convertToFormat(QImage::Format_RGB32);
    if (out.isNull())
        return out;
    const TColor transparent = PixelAt(out, 0, 0);
    long long sum = 0, n = 0;
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            const TColor c = PixelAt(out, x, y);
            if (c == transparent)
                continue;
            sum += GetRValue(c) + GetGValue(c) + GetBValue(c);
            ++n;
        }
    const int o = n ? static_cast<int>(DivRoundHalfEven(sum, n)) - 200 : 0;
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            const TColor c = PixelAt(out, x, y);
            if (c == transparent)
                continue;
            const int b = GetRValue(c) + GetGValue(c) + GetBValue(c);
            const TColor t = b > o + 550 ? clWhite
                             : b > o + 250 ? ColorToRGB(clBtnHighlight)
                             : b > o + 50  ? ColorToRGB(clBtnShadow)
                                           : clBlack;
            out.setPixel(x, y, ToQColor(t).rgb());
        }
    return out;
}

void DUDBmpCreateMasks(const QImage& source, QImage& mask, QImage& image, TColor transparent)
{
    image = source.convertToFormat(QImage::Format_RGB32);
    mask = QImage(image.size(), QImage::Format_RGB32);
    const QRgb key = ToQColor(ColorToRGB(transparent)).rgb() & 0xFFFFFF;
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        auto* m = reinterpret_cast<QRgb*>(mask.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const bool clear = (row[x] & 0xFFFFFF) == key;
            m[x] = clear ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
            if (clear)
                row[x] = qRgb(0, 0, 0);
        }
    }
}

QImage DUDBmpDrawDisabledState(const QImage& source, int x, int y)
{
    if (source.isNull())
        return {};
    const TColor transparent = PixelAt(source, 0, source.height() - 1);
    QImage mono(source.size(), QImage::Format_RGB32);
    const QImage src = source.convertToFormat(QImage::Format_RGB32);
    const QRgb key = ToQColor(transparent).rgb() & 0xFFFFFF;
    // Dark pixels of the glyph are engraved; light ones and the transparent
    // colour fall away.
    for (int yy = 0; yy < src.height(); ++yy)
        for (int xx = 0; xx < src.width(); ++xx) {
            const QRgb p = src.pixel(xx, yy);
            const bool ink = (p & 0xFFFFFF) != key && qGray(p) < 192;
            mono.setPixel(xx, yy, ink ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
    QImage dest(source.size(), QImage::Format_RGB32);
    dest.fill(ToQColor(transparent));
    TQtCanvas c(dest);
    c.DrawEngraved(x, y, mono, clBtnHighlight, clBtnShadow);
    return dest;
}

std::shared_ptr<const TBrushPattern> DUDBrushPattern(const QImage& bitmap)
{
    if (bitmap.isNull())
        return nullptr;
    auto p = std::make_shared<TBrushPattern>();
    p->Width = bitmap.width();
    p->Height = bitmap.height();
    p->Pixels.reserve(static_cast<std::size_t>(p->Width) * p->Height);
    for (int y = 0; y < p->Height; ++y)
        for (int x = 0; x < p->Width; ++x)
            p->Pixels.push_back(PixelAt(bitmap, x, y));
    return p;
}

} // namespace kyd::widgets
