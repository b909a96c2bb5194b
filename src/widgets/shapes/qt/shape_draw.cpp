#include "widgets/shapes/qt/shape_draw.h"

#include "widgets/shapes/qt/region_frames.h"

#include <algorithm>
#include <cmath>

namespace kyd::widgets {

namespace {

using ST = TDUDShapeType;

// Points of one half of an outline without teeth.
int HalfCount(ST s)
{
    switch (s) {
    case ST::stEllipse:
    case ST::stRectangle: return 2;
    case ST::stRoundRect:
    case ST::stDirectUp:
    case ST::stDirectRight:
    case ST::stDirectDown:
    case ST::stDirectLeft: return 3;
    case ST::stDiamond: return 4;
    case ST::stComb: return 6;
    case ST::stOctagon: return 8;
    case ST::stStar: return 10;
    }
    return 2;
}

// The checker a tracing shadow ANDs into what lies under it: the colour
// where x + y is odd, white elsewhere.
std::shared_ptr<const TBrushPattern> TracingPattern(TColor color)
{
    auto p = std::make_shared<TBrushPattern>();
    const TColor c = ColorToRGB(color);
    p->Width = 2;
    p->Height = 2;
    p->Pixels = {clWhite, c, c, clWhite};
    return p;
}

// The shape at the half starting at base (the whole polygon with teeth).
void Primitive(TQtCanvas& c, ST shape, bool teeth, const std::vector<TPoint>& pts, int base)
{
    if (teeth) {
        c.Polygon(pts);
        return;
    }
    const int n = HalfCount(shape);
    const TPoint* p = pts.data() + base;
    switch (shape) {
    case ST::stEllipse: c.Ellipse({p[0].X, p[0].Y, p[1].X, p[1].Y}); break;
    case ST::stRectangle: c.RoundRect({p[0].X, p[0].Y, p[1].X, p[1].Y}, 0, 0); break;
    case ST::stRoundRect: c.RoundRect({p[0].X, p[0].Y, p[1].X, p[1].Y}, p[2].X, p[2].Y); break;
    default: c.Polygon(std::vector<TPoint>(p, p + n)); break;
    }
}

void Offset(std::vector<TPoint>& pts, ST shape, bool teeth, int dx, int dy)
{
    for (std::size_t i = 0; i < pts.size(); ++i) {
        // The corner size of a rounded rectangle is a size, not a place.
        if (!teeth && shape == ST::stRoundRect && i % 3 == 2)
            continue;
        pts[i].X += dx;
        pts[i].Y += dy;
    }
}

void Polyline(TCanvas& c, std::initializer_list<TPoint> pts)
{
    auto it = pts.begin();
    c.MoveTo(it->X, it->Y);
    for (++it; it != pts.end(); ++it)
        c.LineTo(it->X, it->Y);
}

// A point in the direction of the angle (degrees, counter-clockwise) from
// the centre of r, for the arcs.
TPoint Direction(const TRect& r, double deg)
{
    const double rad = deg * M_PI / 180.0;
    const double cx = (r.Left + r.Right) / 2.0, cy = (r.Top + r.Bottom) / 2.0;
    return {static_cast<int>(std::lround(cx + 1000 * std::cos(rad))),
            static_cast<int>(std::lround(cy - 1000 * std::sin(rad)))};
}

void ArcDeg(TQtCanvas& c, const TRect& r, double from, double to)
{
    c.Arc(r, Direction(r, from), Direction(r, to));
}

void RoundRectBevel(TQtCanvas& c, const TRect& box, int ew, int eh, TColor first, TColor second)
{
    const int x0 = box.Left, y0 = box.Top, x1 = box.Right, y1 = box.Bottom;
    const int hx = ew / 2, hy = eh / 2;
    const TRect tl{x0, y0, x0 + ew, y0 + eh}, tr{x1 - ew, y0, x1, y0 + eh};
    const TRect bl{x0, y1 - eh, x0 + ew, y1}, br{x1 - ew, y1 - eh, x1, y1};
    c.Pen.Color = first;
    if (ew > 1 && eh > 1) {
        ArcDeg(c, tl, 90, 180);
        ArcDeg(c, tr, 45, 90);
        ArcDeg(c, bl, 180, 225);
    }
    Polyline(c, {{x0 + hx, y0}, {x1 - hx, y0}});
    Polyline(c, {{x0, y0 + hy}, {x0, y1 - hy}});
    c.Pen.Color = second;
    if (ew > 1 && eh > 1) {
        ArcDeg(c, tr, 0, 45);
        ArcDeg(c, bl, 225, 270);
        ArcDeg(c, br, 270, 360);
    }
    Polyline(c, {{x1 - 1, y0 + hy}, {x1 - 1, y1 - hy}});
    Polyline(c, {{x0 + hx, y1 - 1}, {x1 - hx, y1 - 1}});
}

// The two-colour bevel along the outline (outer points P, moved in by a or b).
void Bevel(TQtCanvas& c, ST shape, bool teeth, const std::vector<TPoint>& pts, int pw, TColor first, TColor second)
{
    const int a = pw / 2, b = (pw - 1) / 2;
    c.Pen = {first, pw, TPenStyle::psSolid, TPenMode::pmCopy};
    if (teeth) {
        // A serrated outline is walked point by point, each line in the
        // first colour where it faces up or left (outwards, whichever way
        // round the teeth run), else in the second.
        const std::vector<bool> light = DUDLightSegments(pts);
        for (std::size_t i = 0; i < pts.size(); ++i) {
            const TPoint& to = pts[(i + 1) % pts.size()];
            c.Pen.Color = light[i] ? first : second;
            Polyline(c, {pts[i], to});
        }
        return;
    }
    const int n = HalfCount(shape);
    const auto P = [&](int i) { return pts[static_cast<std::size_t>(i)]; };
    const auto in = [&](int i) { return pts[static_cast<std::size_t>(n + i)]; };
    const auto second_ = [&] { c.Pen.Color = second; };
    switch (shape) {
    case ST::stEllipse: {
        const TRect e{in(0).X, in(0).Y, in(1).X, in(1).Y};
        c.Arc(e, {e.Right, e.Top}, {e.Left, e.Bottom});
        second_();
        c.Arc(e, {e.Left, e.Bottom}, {e.Right, e.Top});
        break;
    }
    case ST::stRectangle:
        Polyline(c, {{P(0).X + a, P(1).Y - b}, {P(0).X + a, P(0).Y + a}, {P(1).X - b, P(0).Y + a}});
        second_();
        Polyline(c, {{P(1).X - b - 1, P(0).Y + a}, {P(1).X - b - 1, P(1).Y - b - 1}, {P(0).X + a, P(1).Y - b - 1}});
        break;
    case ST::stRoundRect:
        RoundRectBevel(c, {in(0).X, in(0).Y, in(1).X, in(1).Y}, in(2).X, in(2).Y, first, second);
        break;
    case ST::stDirectUp:
        Polyline(c, {P(2), P(0), P(1)});
        second_();
        Polyline(c, {P(1), P(2)});
        break;
    case ST::stDirectRight:
        Polyline(c, {{P(0).X + a, P(0).Y + a}, {P(2).X + a, P(2).Y - b}});
        second_();
        Polyline(c, {{P(0).X + a, P(0).Y + a}, {P(1).X - b, P(1).Y}, {P(2).X + a, P(2).Y - b}});
        break;
    case ST::stDirectDown:
        Polyline(c, {{P(0).X + a, P(0).Y + a}, {P(1).X - b, P(1).Y - b}});
        second_();
        Polyline(c, {{P(0).X - b, P(0).Y + a}, {P(2).X, P(2).Y - b}, {P(1).X - b, P(1).Y + a}});
        break;
    case ST::stDirectLeft:
        Polyline(c, {{P(0).X - a - 1, P(0).Y + a}, {P(1).X + a, P(1).Y + a}, {P(2).X - a - 1, P(2).Y - a}});
        second_();
        Polyline(c, {{P(0).X - a - 1, P(0).Y + a}, {P(2).X - a - 1, P(2).Y - b}});
        break;
    case ST::stDiamond:
        Polyline(c, {{P(3).X + a, P(3).Y}, {P(0).X, P(0).Y + a}, {P(1).X - b, P(1).Y}});
        second_();
        Polyline(c, {{P(1).X - b, P(1).Y}, {P(2).X, P(2).Y - b}, {P(3).X + a, P(3).Y}});
        break;
    case ST::stComb:
        Polyline(c, {{P(4).X + a, P(4).Y}, {P(5).X + a, P(5).Y}, {P(0).X, P(0).Y + a}, {P(1).X - b - 1, P(1).Y}});
        second_();
        Polyline(c, {{P(1).X - b - 1, P(1).Y}, {P(2).X - b - 1, P(2).Y}, {P(3).X, P(3).Y - b}, {P(4).X + a, P(4).Y}});
        break;
    case ST::stOctagon:
        Polyline(c, {{P(6).X + a, P(6).Y}, {P(7).X + a, P(7).Y}, {P(0).X, P(0).Y + a}, {P(1).X, P(1).Y + a},
                     {P(2).X - b - 1, P(2).Y}});
        second_();
        Polyline(c, {{P(2).X - b - 1, P(2).Y}, {P(3).X - b - 1, P(3).Y}, {P(4).X, P(4).Y - b},
                     {P(5).X, P(5).Y - b}, {P(6).X + a, P(6).Y}});
        break;
    case ST::stStar:
        Polyline(c, {P(1), P(2)});
        Polyline(c, {P(3), P(4)});
        Polyline(c, {P(6), P(7)});
        Polyline(c, {P(8), P(9), P(0)});
        second_();
        Polyline(c, {P(0), P(1)});
        Polyline(c, {P(2), P(3)});
        Polyline(c, {P(7), P(8)});
        Polyline(c, {P(4), P(5), P(6)});
        break;
    }
}

} // namespace

std::vector<TColor> DUDPointListColors(const std::vector<TPoint>& points, TColor first, TColor second)
{
    std::vector<TColor> out;
    TColor cur = first;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const TPoint& p = points[i];
        const TPoint& q = points[(i + 1) % points.size()];
        if (q.Y > p.Y)
            cur = second;
        if (q.Y < p.Y)
            cur = first;
        if (q.X < p.X)
            cur = second;
        if (q.X > p.X)
            cur = first;
        out.push_back(cur);
    }
    return out;
}

void DUDShapeDraw(const TRect& r, TCanvas& canvas, TDUDShapeType shape, TDUDTeeth* teeth,
                  const TDUDPointList* pointList, bool square, const TBrush& brush, int roundPercent,
                  const TDUDSimpleBevel* bevel, const TDUDShadow* shadow, const QImage* bitmap,
                  TColor /*maskColor*/, TColor backColor, unsigned /*flags*/)
{
    auto* qc = dynamic_cast<TQtCanvas*>(&canvas);
    // A shape lies in the window range like every region.
    if (!qc || r.IsEmpty() || !DUDRegionRectInBounds(r))
        return;
    const bool toothed = teeth != nullptr;
    const TDUDShadowStyle shadowStyle = shadow ? shadow->Style() : TDUDShadowStyle::hssNone;
    const int depth = shadowStyle != TDUDShadowStyle::hssNone ? shadow->Depth() : 0;
    const int bevelWidth = bevel ? bevel->Width() : 0;
    const int bevelStyle = bevel ? bevel->Style() : sbNormal;
    const int pw = !toothed && bevel ? bevelWidth : 1;

    // A copy of the caller's outline, or a fresh one when there is none or
    // it is too short for the shape.
    std::vector<TPoint> pts;
    const std::size_t need = toothed ? 3 : static_cast<std::size_t>(2 * HalfCount(shape));
    if (pointList && pointList->Points().size() >= need) {
        // Held to the window range as every computed outline is, so that
        // moving them by the rectangle stays in range.
        pts.reserve(pointList->Points().size());
        for (const TPoint& p : pointList->Points())
            pts.push_back(DUDHeldPoint(p.X, p.Y));
    } else {
        TDUDPointList temp;
        DUDShapeCalc({0, 0, r.Width(), r.Height()}, shape, teeth, square, roundPercent, bevel, shadow, temp);
        pts = temp.Points();
    }
    if (pts.size() < need)
        return; // nothing fits (a control smaller than its shadow)

    const TPen savedPen = canvas.Pen;
    const TBrush savedBrush = canvas.Brush;
    const TColor savedBack = canvas.BackgroundColor;

    Offset(pts, shape, toothed, r.Left, r.Top);
    if (depth != 0) {
        canvas.Pen = {clBlack, 1, TPenStyle::psClear, TPenMode::pmCopy};
        if (shadowStyle == TDUDShadowStyle::hssTracing) {
            canvas.Brush = TBrush(shadow->Color(), TBrushStyle::bsSolid);
            canvas.Brush.Pattern = TracingPattern(shadow->Color());
            canvas.Pen.Mode = TPenMode::pmMask;
        } else {
            canvas.Brush = TBrush(shadow->Color(), TBrushStyle::bsSolid);
        }
        Primitive(*qc, shape, toothed, pts, 0);
    }
    Offset(pts, shape, toothed, -depth, -depth);

    const int inner = toothed ? 0 : HalfCount(shape);
    const bool picture = bitmap && !bitmap->isNull();
    canvas.BackgroundColor = backColor;
    for (int pass = 0; pass < 2; ++pass) {
        TPen pen{clBlack, pw, TPenStyle::psClear, TPenMode::pmCopy};
        if (bevelWidth != 0 && (pass == 1 || (!picture && bevelStyle == sbNormal))) {
            pen.Style = TPenStyle::psSolid;
            pen.Color = bevelStyle == sbNormal ? bevel->Color() : brush.Color;
        }
        canvas.Pen = pen;
        if (!picture) {
            canvas.Brush = brush;
            Primitive(*qc, shape, toothed, pts, inner);
            continue;
        }
        if (pass == 0) {
            // The mask, as large as the part of the picture that shows:
            // black where the picture shows, white elsewhere.
            const int w = std::min(r.Width(), bitmap->width());
            const int h = std::min(r.Height(), bitmap->height());
            if (w <= 0 || h <= 0)
                continue;
            QImage mask = MakeCanvasImage(w, h);
            {
                TQtCanvas mc(mask);
                mc.Pen = pen;
                mc.Pen.Color = clBlack;
                mc.Brush = TBrush(clBlack);
                std::vector<TPoint> local = pts;
                Offset(local, shape, toothed, -r.Left, -r.Top);
                Primitive(mc, shape, toothed, local, inner);
            }
            qc->DrawImage({r.Left, r.Top, r.Left + w, r.Top + h}, *bitmap, QRect(0, 0, w, h), &mask);
        } else {
            canvas.Brush = TBrush(clWhite, TBrushStyle::bsClear);
            Primitive(*qc, shape, toothed, pts, inner);
        }
    }

    if (bevelWidth != 0 && bevelStyle != sbNormal) {
        const TColor first = bevelStyle == sbInset ? bevel->ShadowColor() : bevel->LightColor();
        const TColor second = bevelStyle == sbInset ? bevel->LightColor() : bevel->ShadowColor();
        Bevel(*qc, shape, toothed, pts, pw, first, second);
    }
    canvas.Pen = savedPen;
    canvas.Brush = savedBrush;
    canvas.BackgroundColor = savedBack;
}

void DUDShapeDraw(const TRect& r, TCanvas& canvas, const TDUDShape& shape, TDUDTeeth* teeth, const QImage* bitmap,
                  TColor backColor)
{
    DUDShapeDraw(r, canvas, shape.Shape(), teeth, nullptr, shape.Square(), shape.Brush(), shape.RoundPercent(),
                 &shape.Bevel(), &shape.Shadow(), bitmap, clWhite, backColor);
}

} // namespace kyd::widgets
