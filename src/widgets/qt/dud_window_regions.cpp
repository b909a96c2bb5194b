#include "widgets/qt/dud_window_regions.h"

#include "widgets/qt/dud_region_data.h"

#include <QPainterPath>
#include <QPolygon>

#include <algorithm>

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
