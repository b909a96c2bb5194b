#include "widgets/shapes/qt/region_frames.h"

#include "widgets/shapes/qt/shape_draw.h"

#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace kyd::widgets {

namespace {

using BS = TDUDRegionBorderStyle;

// The rectangle whose edges are the outermost pixels of r.
QRectF PixelBox(const TRect& r)
{
    return QRectF(r.Left, r.Top, std::max(0, r.Width() - 1), std::max(0, r.Height() - 1));
}

std::vector<TPoint> PathOutline(const QPainterPath& path)
{
    std::vector<TPoint> best;
    double bestArea = -1;
    for (const QPolygonF& poly : path.simplified().toFillPolygons()) {
        const QRectF b = poly.boundingRect();
        if (b.width() * b.height() <= bestArea)
            continue;
        bestArea = b.width() * b.height();
        best.clear();
        for (const QPointF& p : poly) {
            const TPoint q{static_cast<int>(std::lround(p.x())), static_cast<int>(std::lround(p.y()))};
            if (best.empty() || !(best.back() == q))
                best.push_back(q);
        }
        while (best.size() > 1 && best.front() == best.back())
            best.pop_back();
    }
    return best;
}

void DrawSegments(TCanvas& c, const std::vector<TPoint>& pts, const std::vector<TColor>& colors,
                  const std::vector<bool>* only = nullptr)
{
    for (std::size_t i = 0; i < pts.size() && pts.size() > 1; ++i) {
        if (only && !(*only)[i])
            continue;
        const TPoint& a = pts[i];
        const TPoint& b = pts[(i + 1) % pts.size()];
        c.Pen.Color = colors[i];
        c.MoveTo(a.X, a.Y);
        c.LineTo(b.X, b.Y);
        c.SetPixel(b.X, b.Y, colors[i]);
    }
}

// The light part in light, the rest in shadow; with secondOnly only the
// part the psb styles draw again, all of it in shadow.
void DrawTwo(TCanvas& c, const TDUDFrameLine& line, TColor light, TColor shadow, bool secondOnly = false)
{
    std::vector<TColor> colors;
    for (const bool l : line.Light)
        colors.push_back(l && !secondOnly ? light : shadow);
    DrawSegments(c, line.Points, colors, secondOnly ? &line.Second : nullptr);
}

void DrawOne(TCanvas& c, const TDUDFrameLine& line, TColor color)
{
    DrawSegments(c, line.Points, std::vector<TColor>(line.Points.size(), color));
}

// Each segment light when its middle lies on the upper-left side of the
// line through the centre and the rectangle's top-right and bottom-left
// corners (the ellipse's split).
TDUDFrameLine SplitAtCornerDiagonal(std::vector<TPoint> pts, const TRect& r)
{
    std::vector<bool> light;
    const double cx = (r.Left + r.Right - 1) / 2.0, cy = (r.Top + r.Bottom - 1) / 2.0;
    const double w = r.Width(), h = r.Height();
    for (std::size_t i = 0; i < pts.size(); ++i) {
        const TPoint& a = pts[i];
        const TPoint& b = pts[(i + 1) % pts.size()];
        const double mx = (a.X + b.X) / 2.0 - cx, my = (a.Y + b.Y) / 2.0 - cy;
        light.push_back(mx * h + my * w < 0);
    }
    return DUDFrameLineBySegments(std::move(pts), light);
}

// A polygon outline of the pixel box of r with the light segments named.
TDUDOutlineFn PolygonLine(std::vector<TPoint> (*fn)(const TRect&), std::vector<bool> light,
                          std::vector<bool> second = {})
{
    return [fn, light, second](const TRect& q) {
        TDUDFrameLine line = DUDFrameLineBySegments(fn({q.Left, q.Top, q.Right - 1, q.Bottom - 1}), light);
        if (!second.empty())
            line.Second = second;
        return line;
    };
}

// Clips to the canvas minus the excluded parts until destroyed, then puts
// the clipping back.
class TExcludeClip {
public:
    explicit TExcludeClip(TCanvas& c) : c_(c), old_(c.ClipRect()) {}
    ~TExcludeClip()
    {
        if (old_)
            c_.SetClipRect(*old_);
        else
            c_.ClearClip();
    }
    void Exclude(const QRegion& r)
    {
        auto* qc = dynamic_cast<TQtCanvas*>(&c_);
        if (!qc)
            return;
        if (!active_) {
            const QRect all = old_ ? QRect(old_->Left, old_->Top, old_->Width(), old_->Height())
                                   : QRect(QPoint(0, 0), qc->Image().size());
            area_ = QRegion(all);
            active_ = true;
        }
        area_ -= r;
        std::vector<TRect> rects;
        for (const QRect& q : area_)
            rects.push_back({q.left(), q.top(), q.left() + q.width(), q.top() + q.height()});
        if (rects.empty())
            rects.push_back({0, 0, 0, 0});
        qc->SetClipRegion(rects);
    }

private:
    TCanvas& c_;
    std::optional<TRect> old_;
    QRegion area_;
    bool active_ = false;
};

} // namespace

std::vector<TPoint> DUDRectOutline(const TRect& r)
{
    const int R = std::max(r.Left, r.Right - 1), B = std::max(r.Top, r.Bottom - 1);
    return {{r.Left, r.Top}, {R, r.Top}, {R, B}, {r.Left, B}};
}

std::vector<TPoint> DUDStaircaseOutline(const TDUDBandRegion& region)
{
    struct Row {
        int Y, L, R; // R: the last pixel
    };
    std::vector<Row> rows;
    const auto& xs = region.Edges();
    for (const auto& b : region.Bands()) {
        if (b.End - b.Begin < 2)
            continue;
        for (int y = b.Top; y < b.Bottom; ++y) {
            if (!rows.empty() && rows.back().Y != y - 1)
                return {}; // not one piece
            rows.push_back({y, xs[b.Begin], xs[b.End - 1] - 1});
        }
    }
    if (rows.empty())
        return {};
    std::vector<TPoint> pts;
    const auto add = [&pts](int x, int y) {
        const TPoint p{x, y};
        if (!pts.empty() && pts.back() == p)
            return;
        // A point on the line of the two before it replaces the last.
        if (pts.size() >= 2) {
            const TPoint& a = pts[pts.size() - 2];
            const TPoint& b = pts.back();
            if ((a.X == b.X && b.X == x) || (a.Y == b.Y && b.Y == y)) {
                pts.back() = p;
                return;
            }
        }
        pts.push_back(p);
    };
    // Down the right side, each step outside the narrower of the two rows,
    // then up the left side the same way.
    add(rows[0].R, rows[0].Y);
    for (std::size_t i = 0; i + 1 < rows.size(); ++i) {
        const Row &a = rows[i], &b = rows[i + 1];
        if (b.R >= a.R) {
            add(a.R, b.Y);
            add(b.R, b.Y);
        } else {
            add(b.R, a.Y);
            add(b.R, b.Y);
        }
    }
    add(rows.back().L, rows.back().Y);
    for (std::size_t i = rows.size() - 1; i > 0; --i) {
        const Row &a = rows[i], &b = rows[i - 1];
        if (b.L <= a.L) {
            add(a.L, b.Y);
            add(b.L, b.Y);
        } else {
            add(b.L, a.Y);
            add(b.L, b.Y);
        }
    }
    if (pts.size() > 1 && pts.front() == pts.back())
        pts.pop_back();
    return pts;
}

std::vector<TPoint> DUDEllipseOutline(const TRect& r) { return DUDStaircaseOutline(DUDEllipseBands(r)); }

std::vector<TPoint> DUDRoundRectOutline(const TRect& r, int roundX, int roundY)
{
    QPainterPath p;
    p.addRoundedRect(PixelBox(r), std::clamp(roundX, 0, std::max(0, r.Width())) / 2.0,
                     std::clamp(roundY, 0, std::max(0, r.Height())) / 2.0);
    return PathOutline(p);
}

std::vector<TPoint> DUDRegionOutline(const QRegion& region)
{
    QPainterPath p;
    p.addRegion(region);
    return PathOutline(p);
}

TDUDFrameLine DUDFrameLineByFacing(std::vector<TPoint> points)
{
    const std::vector<bool> light = DUDLightSegments(points);
    return DUDFrameLineBySegments(std::move(points), light);
}

TDUDFrameLine DUDFrameLineBySegments(std::vector<TPoint> points, const std::vector<bool>& light)
{
    TDUDFrameLine line;
    line.Light = light;
    line.Light.resize(points.size(), false);
    line.Second.resize(points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
        line.Second[i] = !line.Light[i];
    line.Points = std::move(points);
    return line;
}

std::vector<bool> DUDLightSegments(const std::vector<TPoint>& pts)
{
    std::int64_t area2 = 0;
    const std::size_t n = pts.size();
    for (std::size_t i = 0; i < n; ++i) {
        const TPoint& a = pts[i];
        const TPoint& b = pts[(i + 1) % n];
        area2 += std::int64_t(a.X) * b.Y - std::int64_t(b.X) * a.Y;
    }
    std::vector<bool> out;
    for (std::size_t i = 0; i < n; ++i) {
        const TPoint& a = pts[i];
        const TPoint& b = pts[(i + 1) % n];
        const int dx = b.X - a.X, dy = b.Y - a.Y;
        // The outward normal: (dy, -dx) when the outline runs clockwise on
        // the screen (y pointing down), the other way otherwise.
        const int nx = area2 >= 0 ? dy : -dy;
        const int ny = area2 >= 0 ? -dx : dx;
        out.push_back(nx + ny < 0 || (nx + ny == 0 && ny < 0));
    }
    return out;
}

void DUDFrameOutline(TCanvas& canvas, const TRect& r, const TDUDFrameColors& c, const TDUDOutlineFn& outline,
                     int innerShrink, int psbShrink, int innerRightBottom)
{
    TColor light = c.Light, shadow = c.Shadow, single = c.Single;
    if (c.Style == BS::rbLowered || c.Style == BS::rbSingleLowered || c.Style == BS::rbLoweredpsb)
        std::swap(light, shadow);
    const TPen saved = canvas.Pen;
    const int pw = std::max(1, canvas.Pen.Width);
    canvas.Pen = {single, pw, TPenStyle::psSolid, TPenMode::pmCopy};
    switch (c.Style) {
    case BS::rbNone: break;
    case BS::rbLowered:
    case BS::rbRaised: DrawTwo(canvas, outline(r), light, shadow); break;
    case BS::rbSingle: DrawOne(canvas, outline(r), single); break;
    case BS::rbSingleRaised:
    case BS::rbSingleLowered: {
        DrawOne(canvas, outline(r), single);
        TRect in = r.Inset(innerShrink * pw);
        in.Right = std::max(in.Left, in.Right - innerRightBottom);
        in.Bottom = std::max(in.Top, in.Bottom - innerRightBottom);
        DrawTwo(canvas, outline(in), light, shadow);
        break;
    }
    case BS::rbRaisedpsb:
    case BS::rbLoweredpsb: {
        const TColor former = shadow;
        std::swap(shadow, single);
        DrawTwo(canvas, outline(r), light, shadow);
        DrawTwo(canvas, outline(r.Inset(psbShrink * pw)), light, former, true);
        break;
    }
    }
    canvas.Pen = saved;
}

namespace {

using Colors = TDUDFrameColors;

// The outlines of the named frames, for a rectangle (exclusive right and
// bottom): polygons on the outermost pixels of the rectangle, curves along
// their regions' own outermost pixels.
TDUDFrameLine RectLine(const TRect& q) { return DUDFrameLineByFacing(DUDRectOutline(q)); }

// The rounded outline is light but for its lower-right part: the corner
// arcs at the bottom left, bottom right and top right, and the bottom and
// right edges.
TDUDFrameLine RoundLine(const TRect& q, int roundX, int roundY)
{
    std::vector<TPoint> pts = DUDRoundRectOutline(q, roundX, roundY);
    const double right = q.Right - 1 - std::clamp(roundX, 0, q.Width()) / 2.0;
    const double bottom = q.Bottom - 1 - std::clamp(roundY, 0, q.Height()) / 2.0;
    std::vector<bool> light;
    for (std::size_t i = 0; i < pts.size(); ++i) {
        const TPoint& a = pts[i];
        const TPoint& b = pts[(i + 1) % pts.size()];
        // (The right and bottom edges are dark even without corners.)
        const bool rightEdge = a.X == b.X && a.X >= q.Right - 1, bottomEdge = a.Y == b.Y && a.Y >= q.Bottom - 1;
        light.push_back((a.X + b.X) / 2.0 <= right && (a.Y + b.Y) / 2.0 <= bottom && !rightEdge && !bottomEdge);
    }
    return DUDFrameLineBySegments(std::move(pts), light);
}

TDUDOutlineFn RoundOutline(int roundX, int roundY)
{
    return [roundX, roundY](const TRect& q) { return RoundLine(q, roundX, roundY); };
}

TDUDFrameLine EllipseLine(const TRect& q) { return SplitAtCornerDiagonal(DUDEllipseOutline(q), q); }

// The curved outlines are light on the upper-left side of the line through
// their corners.
TDUDFrameLine ShieldLine(const TRect& q, bool sharp)
{
    const TDUDBandRegion shield = sharp ? DUDSharpShieldBands(q) : DUDRoundShieldBands(q);
    return SplitAtCornerDiagonal(DUDStaircaseOutline(shield), q);
}

TDUDFrameLine HalfRoundLine(const TRect& q)
{
    const TDUDBandRegion half =
        DUDEllipseBands({q.Left, 2 * q.Top - q.Bottom, q.Right, q.Bottom}).Intersected(TDUDBandRegion(q));
    return SplitAtCornerDiagonal(DUDStaircaseOutline(half), q);
}

Colors Frame(TColor light, TColor shadow, TColor single, TDUDRegionBorderStyle style)
{
    return {light, shadow, single, style};
}

// r the right way round, as the regions take it.
TRect Normalised(const TRect& r)
{
    return {std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right),
            std::max(r.Top, r.Bottom)};
}

// A named frame over r, when r lies in the window range and is not empty.
void FrameIn(TCanvas& canvas, const TRect& rect, const Colors& c, const TDUDOutlineFn& outline,
             int innerShrink = 1, int psbShrink = 1, int innerRightBottom = 0)
{
    const TRect r = Normalised(rect);
    if (DUDRegionRectInBounds(r) && !r.IsEmpty())
        DUDFrameOutline(canvas, r, c, outline, innerShrink, psbShrink, innerRightBottom);
}

// The bubbles' frames, each bubble kept out of what follows, then the
// body's frame (left open where the bubbles attach).
void FrameBubbles(TCanvas& canvas, const TRect& rect, int size, int count, TDUDExtPos pos, const Colors& c,
                  const TDUDOutlineFn& body)
{
    const TRect r = Normalised(rect);
    if (!DUDRegionRectInBounds(r) || r.IsEmpty())
        return;
    TExcludeClip clip(canvas);
    for (const TRect& e : DUDThinkBubbleRects(r, size, count, pos)) {
        if (e.IsEmpty() || !DUDRegionRectInBounds(e))
            continue;
        DUDFrameOutline(canvas, e, c, EllipseLine);
        clip.Exclude(DUDEllipticRgn(e));
    }
    FrameIn(canvas, DUDNoseBody(r, size, pos), c, body);
}

} // namespace

void DUDFrameRectRgn(TCanvas& canvas, const TRect& r, TColor light, TColor shadow, TColor single,
                     TDUDRegionBorderStyle style)
{
    FrameIn(canvas, r, Frame(light, shadow, single, style), RectLine);
}

void DUDFrameEllipticRgn(TCanvas& canvas, const TRect& r, TColor light, TColor shadow, TColor single,
                         TDUDRegionBorderStyle style)
{
    FrameIn(canvas, r, Frame(light, shadow, single, style), EllipseLine);
}

void DUDFrameHalfRoundRgn(TCanvas& canvas, const TRect& r, TColor light, TColor shadow, TColor single,
                          TDUDRegionBorderStyle style)
{
    FrameIn(canvas, r, Frame(light, shadow, single, style), HalfRoundLine);
}

// Light parts by point order: the diamond from its right point over the top
// to the left point (its psb pass the right half), the octagon from its last
// point through the first four, the hexagon over its upper edges and left
// side, the star segment by segment.
void DUDFrameDiamondRgn(TCanvas& canvas, const TRect& r, TColor light, TColor shadow, TColor single,
                        TDUDRegionBorderStyle style)
{
    FrameIn(canvas, r, Frame(light, shadow, single, style),
            PolygonLine(DUDDiamondPoints, {true, false, false, true}, {false, false, true, true}));
}

void DUDFrameStarRgn(TCanvas& canvas, const TRect& r, TColor light, TColor shadow, TColor single,
                     TDUDRegionBorderStyle style)
{
    FrameIn(canvas, r, Frame(light, shadow, single, style),
            PolygonLine(DUDStarPoints, {false, true, false, true, false, false, true, false, true, true}), 2, 3);
}

void DUDFrameOctagonRgn(TCanvas& canvas, const TRect& r, TColor light, TColor shadow, TColor single,
                        TDUDRegionBorderStyle style)
{
    FrameIn(canvas, r, Frame(light, shadow, single, style),
            PolygonLine(DUDOctagonPoints, {true, true, true, false, false, false, false, true}));
}

void DUDFrameCombRgn(TCanvas& canvas, const TRect& r, TColor light, TColor shadow, TColor single,
                     TDUDRegionBorderStyle style)
{
    FrameIn(canvas, r, Frame(light, shadow, single, style),
            PolygonLine(DUDCombPoints, {true, true, false, false, false, true}));
}

void DUDFrameRoundShieldRgn(TCanvas& canvas, const TRect& r, TColor light, TColor shadow, TColor single,
                            TDUDRegionBorderStyle style)
{
    FrameIn(canvas, r, Frame(light, shadow, single, style), [](const TRect& q) { return ShieldLine(q, false); });
}

void DUDFrameSharpShieldRgn(TCanvas& canvas, const TRect& r, TColor light, TColor shadow, TColor single,
                            TDUDRegionBorderStyle style)
{
    FrameIn(canvas, r, Frame(light, shadow, single, style), [](const TRect& q) { return ShieldLine(q, true); });
}

void DUDFrameRoundRectRgn(TCanvas& canvas, const TRect& r, TColor light, TColor shadow, TColor single,
                          TDUDRegionBorderStyle style, int roundX, int roundY)
{
    // The rounded border's inner outline keeps clear of the outer one's
    // wider lower-right curve.
    FrameIn(canvas, r, Frame(light, shadow, single, style), RoundOutline(roundX, roundY), 1, 1, 2);
}

void DUDFrameThinkBubbleRgn(TCanvas& canvas, const TRect& r, int size, int count, TDUDExtPos pos, TColor light,
                            TColor shadow, TColor single, TDUDRegionBorderStyle style)
{
    FrameBubbles(canvas, r, size, count, pos, Frame(light, shadow, single, style), RectLine);
}

void DUDFrameEllipticThinkBubbleRgn(TCanvas& canvas, const TRect& r, int size, int count, TDUDExtPos pos,
                                    TColor light, TColor shadow, TColor single, TDUDRegionBorderStyle style)
{
    FrameBubbles(canvas, r, size, count, pos, Frame(light, shadow, single, style), EllipseLine);
}

void DUDFrameRoundThinkBubbleRgn(TCanvas& canvas, const TRect& r, int size, int count, TDUDExtPos pos, int roundX,
                                 int roundY, TColor light, TColor shadow, TColor single, TDUDRegionBorderStyle style)
{
    FrameBubbles(canvas, r, size, count, pos, Frame(light, shadow, single, style), RoundOutline(roundX, roundY));
}

void DUDFrameShapeRegion(TCanvas& canvas, const TRect& rect, const TDUDRegionParams& p, const TDUDFrameColors& c,
                         const std::vector<TPoint>& points)
{
    // Beyond what a window can have there is no outline to frame.
    TRect r;
    if (!DUDRegionRect64(std::int64_t(rect.Left) + p.Origin.X, std::int64_t(rect.Top) + p.Origin.Y,
                         std::int64_t(rect.Right) - p.ShadowDepth, std::int64_t(rect.Bottom) - p.ShadowDepth, r))
        return;
    r = Normalised(r);
    if (r.IsEmpty())
        return;
    const int w = r.Width();
    const TColor L = c.Light, D = c.Shadow, O = c.Single;
    const TDUDRegionBorderStyle st = c.Style;
    using S = TDUDRegionShape;
    // The nose's frame leaves the body's frame open where it attaches.
    const auto nose = [&](const TDUDOutlineFn& body, int off, int margin) {
        const int s = w / 10;
        const TRect b = DUDNoseBody(r, s, p.ExtPos);
        const auto pts = DUDNosePoints(r, s, p.ExtPos, off);
        const int x0 = std::min(pts[1].X, pts[2].X), x1 = std::max(pts[1].X, pts[2].X);
        const int y0 = std::min(pts[1].Y, pts[2].Y), y1 = std::max(pts[1].Y, pts[2].Y);
        TExcludeClip clip(canvas);
        clip.Exclude(QRegion(x0 - margin - 1, y0 - margin - 1, x1 - x0 + 2 * margin + 3, y1 - y0 + 2 * margin + 3));
        FrameIn(canvas, b, c, body);
    };
    using E = TDUDExtPos;
    const bool side = p.ExtPos == E::epLeftTop || p.ExtPos == E::epRightTop || p.ExtPos == E::epRightBottom ||
                      p.ExtPos == E::epLeftBottom;
    switch (p.Shape) {
    case S::rsRect: DUDFrameRectRgn(canvas, r, L, D, O, st); break;
    case S::rsRoundRect: DUDFrameRoundRectRgn(canvas, r, L, D, O, st, p.RoundX, p.RoundY); break;
    case S::rsNoseRect: nose(RectLine, 5, 2); break;
    case S::rsRoundNoseRect:
        nose(RoundOutline(p.RoundX, p.RoundY), std::clamp(side ? p.RoundY : p.RoundX, 0, 2 * kDUDRegionCoordLimit), 4);
        break;
    case S::rsElliptic: DUDFrameEllipticRgn(canvas, r, L, D, O, st); break;
    case S::rsStar: DUDFrameStarRgn(canvas, r, L, D, O, st); break;
    case S::rsDiamond: DUDFrameDiamondRgn(canvas, r, L, D, O, st); break;
    case S::rsOctagon: DUDFrameOctagonRgn(canvas, r, L, D, O, st); break;
    case S::rsComb: DUDFrameCombRgn(canvas, r, L, D, O, st); break;
    case S::rsRoundShield: DUDFrameRoundShieldRgn(canvas, r, L, D, O, st); break;
    case S::rsSharpShield: DUDFrameSharpShieldRgn(canvas, r, L, D, O, st); break;
    case S::rsHalfRound: DUDFrameHalfRoundRgn(canvas, r, L, D, O, st); break;
    case S::rsThinkBubble: DUDFrameThinkBubbleRgn(canvas, r, w / 6, p.BubbleCount, p.ExtPos, L, D, O, st); break;
    case S::rsRoundThinkBubble:
        DUDFrameRoundThinkBubbleRgn(canvas, r, w / 6, p.BubbleCount, p.ExtPos, p.RoundX, p.RoundY, L, D, O, st);
        break;
    case S::rsEllipticThinkBubble:
        DUDFrameEllipticThinkBubbleRgn(canvas, r, w / 6, p.BubbleCount, p.ExtPos, L, D, O, st);
        break;
    case S::rsPointList: {
        // Points beyond the window range give no region, and no border.
        if (points.empty() || c.Style == BS::rbNone ||
            !std::all_of(points.begin(), points.end(), DUDRegionPointInBounds))
            break;
        const bool one = c.Style == BS::rbSingle;
        TColor light = one ? c.Single : c.Light, shadow = one ? c.Single : c.Shadow;
        if (c.Style == BS::rbLowered || c.Style == BS::rbSingleLowered || c.Style == BS::rbLoweredpsb)
            std::swap(light, shadow);
        const TPen saved = canvas.Pen;
        canvas.Pen = {light, std::max(1, canvas.Pen.Width), TPenStyle::psSolid, TPenMode::pmCopy};
        // Where the region is: the points moved by the rectangle's corner.
        std::vector<TPoint> pts;
        for (const TPoint& q : points)
            pts.push_back({q.X + r.Left, q.Y + r.Top});
        DrawSegments(canvas, pts, DUDPointListColors(pts, light, shadow));
        canvas.Pen = saved;
        break;
    }
    case S::rsBitmap:
    case S::rsUserRegion: break;
    }
}

} // namespace kyd::widgets
