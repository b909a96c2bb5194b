#include "widgets/framework/qt/qt_canvas.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainterPath>

#include <cmath>

namespace kyd::widgets {

QColor ToQColor(TColor c)
{
    const TColor rgb = ColorToRGB(c);
    return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

TColor FromQColor(const QColor& c)
{
    return RGB(c.red(), c.green(), c.blue());
}

QRect ToQRect(const TRect& r)
{
    return QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
}

TRect FromQRect(const QRect& r)
{
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

TFont FontFromQFont(const QFont& f, TColor color)
{
    TFont t;
    t.Name = f.family().toStdString();
    t.Size = f.pointSizeF() > 0 ? f.pointSizeF() : f.pixelSize() * 72.0 / 96.0;
    t.Color = color;
    t.Bold = f.bold();
    t.Italic = f.italic();
    t.Underline = f.underline();
    t.StrikeOut = f.strikeOut();
    return t;
}

QFont ToQFont(const TFont& t)
{
    QFont f = t.Name.empty() ? QGuiApplication::font() : QFont(QString::fromStdString(t.Name));
    // Character height in pixels at 96 dots per inch, as the layouts assume.
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(t.Size * 96.0 / 72.0))));
    f.setBold(t.Bold);
    f.setItalic(t.Italic);
    f.setUnderline(t.Underline);
    f.setStrikeOut(t.StrikeOut);
    return f;
}

QImage MakeCanvasImage(int width, int height, bool alpha)
{
    QImage img(std::max(0, width), std::max(0, height),
               alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    img.setDotsPerMeterX(3780); // 96 dots per inch
    img.setDotsPerMeterY(3780);
    img.fill(alpha ? Qt::transparent : Qt::white);
    return img;
}

TQtCanvas::TQtCanvas(QImage& image) : image_(image)
{
    if (!image_.isNull())
        painter_.begin(&image_);
}

TQtCanvas::~TQtCanvas()
{
    if (painter_.isActive())
        painter_.end();
}

void TQtCanvas::UsePen()
{
    if (Pen.Style == TPenStyle::psClear) {
        painter_.setPen(Qt::NoPen);
        return;
    }
    QPen pen(ToQColor(Pen.Color));
    pen.setWidth(std::max(1, Pen.Width));
    pen.setStyle(Pen.Style == TPenStyle::psDot ? Qt::DotLine : Qt::SolidLine);
    painter_.setPen(pen);
}

namespace {

bool HatchAt(TBrushStyle s, int x, int y)
{
    x &= 7;
    y &= 7;
    switch (s) {
    case TBrushStyle::bsHorizontal: return y == 7;
    case TBrushStyle::bsVertical: return x == 7;
    case TBrushStyle::bsFDiagonal: return x == y;
    case TBrushStyle::bsBDiagonal: return x + y == 7;
    case TBrushStyle::bsCross: return x == 7 || y == 7;
    case TBrushStyle::bsDiagCross: return x == y || x + y == 7;
    default: return false;
    }
}

} // namespace

QBrush TQtCanvas::CurrentBrush() const
{
    if (Brush.Pattern && Brush.Pattern->Width > 0 && Brush.Pattern->Height > 0) {
        const TBrushPattern& p = *Brush.Pattern;
        QImage tile(p.Width, p.Height, QImage::Format_RGB32);
        for (int y = 0; y < p.Height; ++y)
            for (int x = 0; x < p.Width; ++x)
                tile.setPixel(x, y, ToQColor(p.Pixels[static_cast<std::size_t>(y * p.Width + x)]).rgb());
        return QBrush(tile);
    }
    if (Brush.Style == TBrushStyle::bsSolid || Brush.Style == TBrushStyle::bsClear)
        return QBrush(ToQColor(Brush.Color));
    QImage tile(8, 8, QImage::Format_RGB32);
    const QRgb fg = ToQColor(Brush.Color).rgb();
    const QRgb bg = ToQColor(BackgroundColor).rgb();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            tile.setPixel(x, y, HatchAt(Brush.Style, x, y) ? fg : bg);
    return QBrush(tile);
}

void TQtCanvas::UseBrush()
{
    if (Brush.Style == TBrushStyle::bsClear && !Brush.Pattern)
        painter_.setBrush(Qt::NoBrush);
    else
        painter_.setBrush(CurrentBrush());
    painter_.setBrushOrigin(0, 0);
}

void TQtCanvas::FillRect(const TRect& r)
{
    if (!painter_.isActive() || r.IsEmpty())
        return;
    painter_.setBrushOrigin(0, 0);
    painter_.fillRect(ToQRect(r), CurrentBrush());
}

void TQtCanvas::CopyImage(const TRect& dest, const QImage& image, const QRect& src, TCopyMode mode)
{
    if (!painter_.isActive() || image.isNull() || dest.IsEmpty() || src.isEmpty())
        return;
    QImage part = image.copy(src).convertToFormat(QImage::Format_RGB32);
    if (part.size() != QSize(dest.Width(), dest.Height()))
        part = part.scaled(dest.Width(), dest.Height(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    const QPainter::CompositionMode old = painter_.compositionMode();
    switch (mode) {
    case cmSrcCopy: painter_.setCompositionMode(QPainter::CompositionMode_Source); break;
    case cmSrcAnd: painter_.setCompositionMode(QPainter::RasterOp_SourceAndDestination); break;
    case cmSrcPaint: painter_.setCompositionMode(QPainter::RasterOp_SourceOrDestination); break;
    }
    painter_.drawImage(QPoint(dest.Left, dest.Top), part);
    painter_.setCompositionMode(old);
}

void TQtCanvas::MergePattern(const TRect& r, const QImage& pattern)
{
    if (!painter_.isActive() || r.IsEmpty() || pattern.isNull())
        return;
    // Destination AND pattern, the pattern tiled from the canvas origin.
    const QPainter::CompositionMode old = painter_.compositionMode();
    painter_.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
    painter_.setBrushOrigin(0, 0);
    painter_.fillRect(ToQRect(r), QBrush(pattern.convertToFormat(QImage::Format_RGB32)));
    painter_.setCompositionMode(old);
}

void TQtCanvas::DrawEngraved(int x, int y, const QImage& mono, TColor light, TColor dark)
{
    if (!painter_.isActive() || mono.isNull())
        return;
    // Where the monochrome copy is black the brush colour goes in; white
    // keeps the destination (raster operation $E20746).
    const QImage m = mono.convertToFormat(QImage::Format_RGB32);
    for (int pass = 0; pass < 2; ++pass) {
        const int ox = pass == 0 ? x + 1 : x;
        const int oy = pass == 0 ? y + 1 : y;
        const QColor c = ToQColor(pass == 0 ? light : dark);
        for (int yy = 0; yy < m.height(); ++yy) {
            const auto* row = reinterpret_cast<const QRgb*>(m.constScanLine(yy));
            for (int xx = 0; xx < m.width(); ++xx)
                if (qRed(row[xx]) < 128)
                    painter_.fillRect(QRect(ox + xx, oy + yy, 1, 1), c);
        }
    }
}

void TQtCanvas::SetClipRegion(const std::vector<TRect>& rects)
{
    if (!painter_.isActive())
        return;
    QRegion region;
    for (const TRect& r : rects)
        region += ToQRect(r);
    painter_.setClipRegion(region);
}

void TQtCanvas::Polygon(const std::vector<TPoint>& points)
{
    if (!painter_.isActive() || points.size() < 2)
        return;
    QPolygon poly;
    for (const TPoint& p : points)
        poly << QPoint(p.X, p.Y);
    UsePen();
    UseBrush();
    UsePenMode();
    painter_.drawPolygon(poly);
    painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TQtCanvas::Ellipse(const TRect& r)
{
    if (!painter_.isActive() || r.IsEmpty())
        return;
    UsePen();
    UseBrush();
    UsePenMode();
    painter_.drawEllipse(QRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1));
    painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TQtCanvas::UsePenMode()
{
    switch (Pen.Mode) {
    case TPenMode::pmCopy: painter_.setCompositionMode(QPainter::CompositionMode_SourceOver); break;
    case TPenMode::pmXor: painter_.setCompositionMode(QPainter::RasterOp_SourceXorDestination); break;
    case TPenMode::pmMask: painter_.setCompositionMode(QPainter::RasterOp_SourceAndDestination); break;
    }
}

void TQtCanvas::RoundRect(const TRect& r, int ew, int eh)
{
    if (!painter_.isActive() || r.IsEmpty())
        return;
    UsePen();
    UseBrush();
    UsePenMode();
    const QRectF box(r.Left, r.Top, r.Width() - 1, r.Height() - 1);
    painter_.drawRoundedRect(box, std::max(0, ew) / 2.0, std::max(0, eh) / 2.0, Qt::AbsoluteSize);
    painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TQtCanvas::Arc(const TRect& r, TPoint start, TPoint end)
{
    if (!painter_.isActive() || r.IsEmpty() || Pen.Style == TPenStyle::psClear)
        return;
    // Angles of the two directions seen from the centre, y pointing down.
    const double cx = (r.Left + r.Right) / 2.0;
    const double cy = (r.Top + r.Bottom) / 2.0;
    const double a0 = std::atan2(cy - start.Y, start.X - cx) * 180.0 / M_PI;
    const double a1 = std::atan2(cy - end.Y, end.X - cx) * 180.0 / M_PI;
    double span = a1 - a0;
    while (span <= 0)
        span += 360.0;
    UsePen();
    UsePenMode();
    painter_.drawArc(QRectF(r.Left, r.Top, r.Width() - 1, r.Height() - 1), static_cast<int>(std::lround(a0 * 16)),
                     static_cast<int>(std::lround(span * 16)));
    painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TQtCanvas::SetPixel(int x, int y, TColor c)
{
    if (painter_.isActive())
        painter_.fillRect(QRect(x, y, 1, 1), ToQColor(c));
}

TColor TQtCanvas::GetPixel(int x, int y) const
{
    const QImage& img = image_;
    if (!img.valid(x, y))
        return clNone;
    return FromQColor(QColor(img.pixel(x, y)));
}

void TQtCanvas::DrawLine(TPoint from, TPoint to)
{
    if (!painter_.isActive())
        return;
    if (Pen.Width > 1) {
        UsePen();
        painter_.drawLine(from.X, from.Y, to.X, to.Y);
        return;
    }
    // One-pixel lines step by step, without the end pixel.
    QVector<QPoint> pts;
    int x = from.X, y = from.Y;
    const int dx = std::abs(to.X - x), sx = x < to.X ? 1 : -1;
    const int dy = -std::abs(to.Y - y), sy = y < to.Y ? 1 : -1;
    int err = dx + dy;
    int n = 0;
    while (x != to.X || y != to.Y) {
        if (Pen.Style != TPenStyle::psDot || n % 2 == 0)
            pts << QPoint(x, y);
        ++n;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
    if (pts.isEmpty())
        return;
    painter_.save();
    painter_.setPen(QPen(ToQColor(Pen.Color), 1));
    if (Pen.Mode == TPenMode::pmXor)
        painter_.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter_.drawPoints(pts.constData(), static_cast<int>(pts.size()));
    painter_.restore();
}

QFont TQtCanvas::CurrentFont() const
{
    QFont f = ToQFont(Font);
    if (TextSpacing != 0)
        f.setLetterSpacing(QFont::AbsoluteSpacing, TextSpacing);
    return f;
}

int TQtCanvas::TextWidth(const std::string& text)
{
    return QFontMetrics(CurrentFont(), &image_).horizontalAdvance(QString::fromStdString(text));
}

int TQtCanvas::TextHeight(const std::string& /*text*/)
{
    return QFontMetrics(CurrentFont(), &image_).height();
}

void TQtCanvas::DoTextOut(int x, int y, const std::string& text)
{
    if (!painter_.isActive())
        return;
    const QFont f = CurrentFont();
    painter_.setFont(f);
    painter_.setPen(ToQColor(Font.Color));
    if (Font.Angle % 3600 == 0) {
        painter_.drawText(QPoint(x, y + QFontMetrics(f, &image_).ascent()), QString::fromStdString(text));
        return;
    }
    painter_.save();
    painter_.translate(x, y);
    painter_.rotate(-Font.Angle / 10.0); // counter-clockwise on the screen
    painter_.drawText(QPoint(0, QFontMetrics(f, &image_).ascent()), QString::fromStdString(text));
    painter_.restore();
}

namespace {

int QtTextFlags(unsigned flags)
{
    int q = 0;
    if (flags & DT_CENTER)
        q |= Qt::AlignHCenter;
    else if (flags & DT_RIGHT)
        q |= Qt::AlignRight;
    else
        q |= Qt::AlignLeft;
    if ((flags & DT_SINGLELINE) && (flags & DT_VCENTER))
        q |= Qt::AlignVCenter;
    else if ((flags & DT_SINGLELINE) && (flags & DT_BOTTOM))
        q |= Qt::AlignBottom;
    else
        q |= Qt::AlignTop;
    if (flags & DT_SINGLELINE)
        q |= Qt::TextSingleLine;
    else if (flags & DT_WORDBREAK)
        q |= Qt::TextWordWrap;
    if (flags & DT_EXPANDTABS)
        q |= Qt::TextExpandTabs;
    if (flags & DT_NOCLIP)
        q |= Qt::TextDontClip;
    if (!(flags & DT_NOPREFIX))
        q |= Qt::TextShowMnemonic;
    return q;
}

} // namespace

void TQtCanvas::DoTextRect(TRect& r, const std::string& text, unsigned flags)
{
    const QFont f = CurrentFont();
    const QString s = QString::fromStdString(text);
    if (flags & DT_CALCRECT) {
        const QFontMetrics fm(f, &image_);
        const int wrapWidth = (flags & DT_WORDBREAK) && !(flags & DT_SINGLELINE) ? r.Width() : 0;
        const QRect br = fm.boundingRect(QRect(r.Left, r.Top, wrapWidth, 0),
                                         QtTextFlags(flags & ~(DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM)), s);
        r.Right = r.Left + br.width();
        r.Bottom = r.Top + std::max(br.height(), fm.height());
        return;
    }
    if (!painter_.isActive())
        return;
    painter_.setFont(f);
    painter_.setPen(ToQColor(Font.Color));
    painter_.drawText(ToQRect(r), QtTextFlags(flags), s);
}

void TQtCanvas::DoTextOutline(const TRect& r, const std::string& text, unsigned flags, int penWidth)
{
    if (!painter_.isActive())
        return;
    const QFont f = CurrentFont();
    const QFontMetrics fm(f, &image_);
    const QString s = QString::fromStdString(text);
    QPainterPath path;
    painter_.save();
    if (Font.Angle % 3600 == 0) {
        const QRect br = fm.boundingRect(ToQRect(r), QtTextFlags(flags), s);
        path.addText(br.left(), br.top() + fm.ascent(), f, s);
    } else {
        // A turned outline turns about the rectangle's top-left, as TextOut does.
        painter_.translate(r.Left, r.Top);
        painter_.rotate(-Font.Angle / 10.0);
        path.addText(0, fm.ascent(), f, s);
    }
    painter_.setRenderHint(QPainter::Antialiasing, true);
    painter_.setBrush(Qt::NoBrush);
    painter_.setPen(QPen(ToQColor(Font.Color), std::max(1, penWidth)));
    painter_.drawPath(path);
    painter_.restore();
}

void TQtCanvas::ApplyClip()
{
    if (!painter_.isActive())
        return;
    if (ClipRect())
        painter_.setClipRect(ToQRect(*ClipRect()));
    else
        painter_.setClipping(false);
}

std::unique_ptr<TDUDBitmap> TQtCanvas::DoCreateBitmap(int width, int height)
{
    return std::make_unique<TQtBitmap>(width, height);
}

void TQtCanvas::Draw(int x, int y, TDUDBitmap& bitmap)
{
    auto* qb = dynamic_cast<TQtBitmap*>(&bitmap);
    if (!painter_.isActive() || !qb || qb->Image().isNull())
        return;
    painter_.drawImage(QPoint(x, y), qb->Image());
}

void TQtCanvas::DrawImage(const TRect& dest, const QImage& image, const QRect& src, const QImage* mask)
{
    if (!painter_.isActive() || image.isNull() || dest.IsEmpty() || src.isEmpty())
        return;
    QImage part = image.copy(src).convertToFormat(QImage::Format_ARGB32);
    if (mask) {
        const QImage m = mask->copy(src).convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < part.height() && y < m.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(part.scanLine(y));
            const auto* mrow = reinterpret_cast<const QRgb*>(m.constScanLine(y));
            for (int x = 0; x < part.width() && x < m.width(); ++x)
                if (qRed(mrow[x]) >= 128)
                    row[x] = 0;
        }
    }
    if (part.size() != QSize(dest.Width(), dest.Height()))
        part = part.scaled(dest.Width(), dest.Height(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    painter_.drawImage(QPoint(dest.Left, dest.Top), part);
}

TQtBitmap::TQtBitmap(int width, int height) : image_(MakeCanvasImage(width, height))
{
    canvas_ = std::make_unique<TQtCanvas>(image_);
}

} // namespace kyd::widgets
