#include "widgets/qt/dud_window_regions.h"

#include "widgets/qt/dud_region_data.h"

#include <QPainterPath>
#include <QPolygon>

#include <algorithm>
#include <cmath>

namespace kyd::widgets {

namespace {

TRect Normalised(const TRect& r)
{
    return {std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right),
            std::max(r.Top, r.Bottom)};
}

QRect ToRect(const TRect& r)
{
    const TRect n = Normalised(r);
    return {n.Left, n.Top, n.Width(), n.Height()};
}

int Round(double v) { return static_cast<int>(RoundHalfEven(v)); }
int Frac(int v, int percent) { return static_cast<int>(DivRoundHalfEven(std::int64_t(v) * percent, 100)); }

bool OnTop(TDUDExtPos p)
{
    using E = TDUDExtPos;
    return p == E::epLeftTop || p == E::epTopLeft || p == E::epTopRight || p == E::epRightTop;
}

bool OnLeft(TDUDExtPos p)
{
    using E = TDUDExtPos;
    return p == E::epLeftTop || p == E::epTopLeft || p == E::epBottomLeft || p == E::epLeftBottom;
}

// The parts cut out of both shields: two ellipses at the top corners and
// everything above the top (all of it: the shield's ellipse reaches more
// than 40 pixels above the top once the window is taller than 50).
QRegion ShieldCuts(int w, int h)
{
    QRegion cut = DUDEllipticRgn({-(w / 2), -(h / 5), w / 2, h / 5});
    cut += DUDEllipticRgn({w / 2, -(h / 5), w / 2 + w, h / 5});
    cut += DUDRectRgn({0, -std::max(40, 2 * h), w, 0});
    return cut;
}

} // namespace

QRegion DUDRectRgn(const TRect& r) { return QRegion(ToRect(r)); }

QRegion DUDEllipticRgn(const TRect& r)
{
    const QRect q = ToRect(r);
    return q.isEmpty() ? QRegion() : QRegion(q, QRegion::Ellipse);
}

QRegion DUDRoundRectRgn(const TRect& r, int roundX, int roundY)
{
    const QRect q = ToRect(r);
    if (q.isEmpty())
        return {};
    QPainterPath path;
    path.addRoundedRect(QRectF(q), std::max(0, roundX) / 2.0, std::max(0, roundY) / 2.0);
    return QRegion(path.toFillPolygon().toPolygon(), Qt::OddEvenFill);
}

QRegion DUDPolygonRgn(const std::vector<TPoint>& points)
{
    QPolygon poly;
    for (const TPoint& p : points)
        poly << QPoint(p.X, p.Y);
    return poly.size() < 3 ? QRegion() : QRegion(poly, Qt::OddEvenFill);
}

std::vector<TPoint> DUDDiamondPoints(const TRect& r)
{
    const int w = r.Width(), h = r.Height();
    return {{r.Left + w / 2, r.Top}, {r.Left, r.Top + h / 2}, {r.Left + w / 2, r.Bottom},
                          {r.Right, r.Top + h / 2}};
}

std::vector<TPoint> DUDOctagonPoints(const TRect& r)
{
    const int w3 = r.Width() / 3, h3 = r.Height() / 3;
    const int L = r.Left, T = r.Top;
    return {{L + w3 * 2, T}, {L + w3, T}, {L, T + h3}, {L, T + h3 * 2}, {L + w3, r.Bottom},
                          {L + w3 * 2, r.Bottom}, {r.Right, T + h3 * 2}, {r.Right, T + h3}};
}

std::vector<TPoint> DUDCombPoints(const TRect& r)
{
    const int w2 = r.Width() / 2, h4 = r.Height() / 4;
    const int L = r.Left, T = r.Top;
    return {{L + w2, T}, {L, T + h4}, {L, T + h4 * 3}, {L + w2, r.Bottom}, {r.Right, T + h4 * 3},
                          {r.Right, T + h4}};
}

std::vector<TPoint> DUDStarPoints(const TRect& r)
{
    const int w = r.Width(), h = r.Height(), L = r.Left, T = r.Top;
    return {{L + w / 2, T}, {L + Frac(w, 65), T + Frac(h, 38)}, {r.Right, T + Frac(h, 38)},
                          {L + Frac(w, 70), T + Frac(h, 60)}, {L + Frac(w, 85), r.Bottom},
                          {L + w / 2, T + Frac(h, 75)}, {L + Frac(w, 15), r.Bottom},
                          {L + Frac(w, 30), T + Frac(h, 60)}, {L, T + Frac(h, 38)},
                          {L + Frac(w, 35), T + Frac(h, 38)}};
}

QRegion DUDCreateDiamondRgn(const TRect& r) { return DUDPolygonRgn(DUDDiamondPoints(r)); }

QRegion DUDCreateOctagonRgn(const TRect& r) { return DUDPolygonRgn(DUDOctagonPoints(r)); }

QRegion DUDCreateCombRgn(const TRect& r) { return DUDPolygonRgn(DUDCombPoints(r)); }

QRegion DUDCreateStarRgn(const TRect& r) { return DUDPolygonRgn(DUDStarPoints(r)); }

QRegion DUDCreateRoundShieldRgn(const TRect& r)
{
    const int w = r.Width(), h = r.Height();
    QRegion shield = DUDEllipticRgn({0, h, w, h / 5 - h}) - ShieldCuts(w, h);
    return shield.translated(r.Left, r.Top);
}

QRegion DUDCreateSharpShieldRgn(const TRect& r)
{
    const int w = r.Width(), h = r.Height();
    const int e = 8 * h / 7;
    QRegion arch = DUDEllipticRgn({-w, -e, w, e}) & DUDEllipticRgn({0, -e, 2 * w, e});
    return (arch - ShieldCuts(w, h)).translated(r.Left, r.Top);
}

TRect DUDNoseBody(const TRect& r, int size, TDUDExtPos pos)
{
    TRect b = r;
    (OnTop(pos) ? b.Top : b.Bottom) += OnTop(pos) ? size : -size;
    (OnLeft(pos) ? b.Left : b.Right) += OnLeft(pos) ? size : -size;
    return b;
}

std::vector<TPoint> DUDNosePoints(const TRect& r, int size, TDUDExtPos pos, int off)
{
    const TRect b = DUDNoseBody(r, size, pos);
    const int s = size, d = Round(std::sqrt(2.0 * s * s));
    const int L = b.Left, T = b.Top, R = b.Right, B = b.Bottom;
    using E = TDUDExtPos;
    switch (pos) {
    case E::epLeftTop: return {{L - s, T - s}, {L, T + off}, {L, T + off + d}};
    case E::epTopLeft: return {{L - s, T - s}, {L + off, T}, {L + off + d, T}};
    case E::epTopRight: return {{R + s, T - s}, {R - off, T}, {R - off - d, T}};
    case E::epRightTop: return {{R + s, T - s}, {R, T + off}, {R, T + off + d}};
    case E::epRightBottom: return {{R + s, B + s}, {R, B - off}, {R, B - off - d}};
    case E::epBottomRight: return {{R + s, B + s}, {R - off, B}, {R - off - d, B}};
    case E::epBottomLeft: return {{L - s, B + s}, {L + off, B}, {L + off + d, B}};
    case E::epLeftBottom: return {{L - s, B + s}, {L, B - off}, {L, B - off - d}};
    }
    return {};
}

QRegion DUDCreateNoseRectRgn(const TRect& r, int size, TDUDExtPos pos)
{
    return DUDRectRgn(DUDNoseBody(r, size, pos)) + DUDPolygonRgn(DUDNosePoints(r, size, pos, 5));
}

QRegion DUDCreateRoundNoseRectRgn(const TRect& r, int size, int roundX, int roundY, TDUDExtPos pos)
{
    using E = TDUDExtPos;
    const bool side = pos == E::epLeftTop || pos == E::epRightTop || pos == E::epRightBottom || pos == E::epLeftBottom;
    return DUDRoundRectRgn(DUDNoseBody(r, size, pos), roundX, roundY) +
           DUDPolygonRgn(DUDNosePoints(r, size, pos, side ? roundY : roundX));
}

QRegion DUDThinkBubbles(const TRect& r, int size, int count, TDUDExtPos pos)
{
    QRegion out;
    for (const TRect& e : DUDThinkBubbleRects(r, size, count, pos))
        out += DUDEllipticRgn(e);
    return out;
}

std::vector<TRect> DUDThinkBubbleRects(const TRect& r, int size, int count, TDUDExtPos pos)
{
    std::vector<TRect> out;
    if (count < 1)
        return out;
    const TRect b = DUDNoseBody(r, size, pos);
    const int L = b.Left, T = b.Top, R = b.Right, B = b.Bottom, s = size;
    const double step = (s * 2.0 * M_PI / 4.0) / count / count;
    const double c = 1.57;
    using E = TDUDExtPos;
    for (int i = 0; i <= count + 1; ++i) {
        const double a = i * (90.0 / (count + 1)) * M_PI / 180.0;
        const int d = Round(i * step);
        int x = 0, y = 0;
        switch (pos) {
        case E::epLeftTop: x = L - Round(s * std::cos(a)); y = (T - s) + Round(s * std::sin(a)); break;
        case E::epTopLeft: x = (L - s) + Round(s * std::cos(c - a)); y = T - Round(s * std::sin(c - a)); break;
        case E::epTopRight: x = (R + s) - Round(s * std::cos(c - a)); y = T - Round(s * std::sin(c + a)); break;
        case E::epRightTop: x = R + Round(s * std::cos(a)); y = (T - s) + Round(s * std::sin(a)); break;
        case E::epRightBottom: x = R + Round(s * std::cos(a)); y = (B + s) - Round(s * std::sin(a)); break;
        case E::epBottomRight: x = (R + s) - Round(s * std::cos(c - a)); y = B + Round(s * std::sin(c - a)); break;
        case E::epBottomLeft: x = (L - s) + Round(s * std::cos(c - a)); y = B + Round(s * std::sin(c - a)); break;
        case E::epLeftBottom: x = L - Round(s * std::cos(a)); y = (B + s) - Round(s * std::sin(a)); break;
        }
        out.push_back({x - d / 2, y - d / 2, x + d / 2, y + d / 2});
    }
    return out;
}

QRegion DUDCreateThinkBubbleRgn(const TRect& r, int size, int count, TDUDExtPos pos)
{
    return DUDRectRgn(DUDNoseBody(r, size, pos)) + DUDThinkBubbles(r, size, count, pos);
}

QRegion DUDCreateRoundThinkBubbleRgn(const TRect& r, int size, int count, TDUDExtPos pos, int roundX, int roundY)
{
    return DUDRoundRectRgn(DUDNoseBody(r, size, pos), roundX, roundY) + DUDThinkBubbles(r, size, count, pos);
}

QRegion DUDCreateEllipticThinkBubbleRgn(const TRect& r, int size, int count, TDUDExtPos pos)
{
    return DUDEllipticRgn(DUDNoseBody(r, size, pos)) + DUDThinkBubbles(r, size, count, pos);
}

std::optional<QRegion> DUDCreateShapeRegion(const TRect& rect, const TDUDRegionParams& p)
{
    TRect r = rect;
    r.Left += p.Origin.X;
    r.Top += p.Origin.Y;
    if (p.ShadowDepth != 0) {
        r.Right -= p.ShadowDepth;
        r.Bottom -= p.ShadowDepth;
    }
    const int w = r.Width();
    const auto fromData = [](const std::vector<std::uint8_t>* d) -> std::optional<QRegion> {
        if (!d || d->empty())
            return std::nullopt;
        return DUDRegionFromData(*d);
    };
    using S = TDUDRegionShape;
    switch (p.Shape) {
    case S::rsRect: return DUDRectRgn(r);
    case S::rsRoundRect: return DUDRoundRectRgn(r, p.RoundX, p.RoundY);
    case S::rsBitmap: return fromData(p.MaskData);
    case S::rsNoseRect: return DUDCreateNoseRectRgn(r, w / 10, p.ExtPos);
    case S::rsRoundNoseRect: return DUDCreateRoundNoseRectRgn(r, w / 10, p.RoundX, p.RoundY, p.ExtPos);
    case S::rsElliptic: return DUDEllipticRgn(r);
    case S::rsStar: return DUDCreateStarRgn(r);
    case S::rsRoundShield: return DUDCreateRoundShieldRgn(r);
    case S::rsSharpShield: return DUDCreateSharpShieldRgn(r);
    case S::rsDiamond: return DUDCreateDiamondRgn(r);
    case S::rsOctagon: return DUDCreateOctagonRgn(r);
    case S::rsComb: return DUDCreateCombRgn(r);
    case S::rsHalfRound: return DUDEllipticRgn({r.Left, 2 * r.Top - r.Bottom, r.Right, r.Bottom});
    case S::rsUserRegion: return p.DesignTime ? std::optional<QRegion>(DUDRectRgn(r)) : fromData(p.UserData);
    case S::rsThinkBubble: return DUDCreateThinkBubbleRgn(r, w / 6, p.BubbleCount, p.ExtPos);
    case S::rsRoundThinkBubble:
        return DUDCreateRoundThinkBubbleRgn(r, w / 6, p.BubbleCount, p.ExtPos, p.RoundX, p.RoundY);
    case S::rsEllipticThinkBubble: return DUDCreateEllipticThinkBubbleRgn(r, w / 6, p.BubbleCount, p.ExtPos);
    case S::rsPointList: return fromData(p.UserData);
    }
    return std::nullopt;
}

QRegion DUDWindowRegion(const QRegion& outline, int shadowDepth)
{
    return shadowDepth == 0 ? outline : outline + outline.translated(shadowDepth, shadowDepth);
}

std::vector<std::uint8_t> DUDPointListRegionData(const std::vector<TPoint>& points)
{
    if (points.empty())
        return {};
    return DUDRegionToData(DUDPolygonRgn(points));
}

} // namespace kyd::widgets
