#include "widgets/shapes/qt/window_regions.h"

#include "widgets/shapes/qt/region_data.h"

#include <QPainterPath>

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

} // namespace

QRegion DUDRectRgn(const TRect& r)
{
    return DUDRegionRectInBounds(r) ? QRegion(ToRect(r)) : QRegion();
}

QRegion DUDEllipticRgn(const TRect& r)
{
    return DUDRegionRectInBounds(r) ? DUDBandsToRegion(DUDEllipseBands(r)) : QRegion();
}

QRegion DUDRoundRectRgn(const TRect& r, int roundX, int roundY)
{
    if (!DUDRegionRectInBounds(r))
        return {};
    const QRect q = ToRect(r);
    if (q.isEmpty())
        return {};
    // A corner ellipse larger than the rectangle is the rectangle's size.
    const double rx = std::clamp(roundX, 0, q.width()) / 2.0, ry = std::clamp(roundY, 0, q.height()) / 2.0;
    QPainterPath path;
    path.addRoundedRect(QRectF(q), rx, ry);
    std::vector<TPoint> points;
    for (const QPoint& p : path.toFillPolygon().toPolygon())
        points.push_back({p.x(), p.y()});
    return DUDPolygonRgn(points);
}

QRegion DUDPolygonRgn(const std::vector<TPoint>& points)
{
    return DUDBandsToRegion(DUDPolygonBands(points));
}

QRegion DUDCreateDiamondRgn(const TRect& r) { return DUDPolygonRgn(DUDDiamondPoints(r)); }

QRegion DUDCreateOctagonRgn(const TRect& r) { return DUDPolygonRgn(DUDOctagonPoints(r)); }

QRegion DUDCreateCombRgn(const TRect& r) { return DUDPolygonRgn(DUDCombPoints(r)); }

QRegion DUDCreateStarRgn(const TRect& r) { return DUDPolygonRgn(DUDStarPoints(r)); }

QRegion DUDCreateRoundShieldRgn(const TRect& r) { return DUDBandsToRegion(DUDRoundShieldBands(r)); }

QRegion DUDCreateSharpShieldRgn(const TRect& r) { return DUDBandsToRegion(DUDSharpShieldBands(r)); }

QRegion DUDCreateNoseRectRgn(const TRect& r, int size, TDUDExtPos pos)
{
    return DUDRectRgn(DUDNoseBody(r, size, pos)) + DUDPolygonRgn(DUDNosePoints(r, size, pos, 5));
}

QRegion DUDCreateRoundNoseRectRgn(const TRect& r, int size, int roundX, int roundY, TDUDExtPos pos)
{
    using E = TDUDExtPos;
    const bool side = pos == E::epLeftTop || pos == E::epRightTop || pos == E::epRightBottom || pos == E::epLeftBottom;
    // The nose starts no further along than the window reaches.
    const int off = std::clamp(side ? roundY : roundX, 0, 2 * kDUDRegionCoordLimit);
    return DUDRoundRectRgn(DUDNoseBody(r, size, pos), roundX, roundY) + DUDPolygonRgn(DUDNosePoints(r, size, pos, off));
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
    // Beyond what a window can have there is no region.
    TRect r;
    if (!DUDRegionRect64(std::int64_t(rect.Left) + p.Origin.X, std::int64_t(rect.Top) + p.Origin.Y,
                         std::int64_t(rect.Right) - p.ShadowDepth, std::int64_t(rect.Bottom) - p.ShadowDepth, r))
        return std::nullopt;
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
    case S::rsHalfRound:
        // The ellipse's lower half; its upper half lies above the window.
        return DUDBandsToRegion(DUDEllipseBands({r.Left, 2 * r.Top - r.Bottom, r.Right, r.Bottom})
                                    .Intersected(TDUDBandRegion(Normalised(r))));
    case S::rsUserRegion: return p.DesignTime ? std::optional<QRegion>(DUDRectRgn(r)) : fromData(p.UserData);
    case S::rsThinkBubble: return DUDCreateThinkBubbleRgn(r, w / 6, p.BubbleCount, p.ExtPos);
    case S::rsRoundThinkBubble:
        return DUDCreateRoundThinkBubbleRgn(r, w / 6, p.BubbleCount, p.ExtPos, p.RoundX, p.RoundY);
    case S::rsEllipticThinkBubble: return DUDCreateEllipticThinkBubbleRgn(r, w / 6, p.BubbleCount, p.ExtPos);
    case S::rsPointList: {
        // The points are the rectangle's own, as the border drawn along
        // them: the region is moved by its corner (origin included).
        auto g = fromData(p.UserData);
        if (!g || g->isEmpty() || (r.Left == 0 && r.Top == 0))
            return g;
        const QRect b = g->boundingRect();
        TRect moved;
        if (!DUDRegionRect64(std::int64_t(b.left()) + r.Left, std::int64_t(b.top()) + r.Top,
                             std::int64_t(b.right()) + 1 + r.Left, std::int64_t(b.bottom()) + 1 + r.Top, moved))
            return std::nullopt;
        return g->translated(r.Left, r.Top);
    }
    }
    return std::nullopt;
}

QRegion DUDWindowRegion(const QRegion& outline, int shadowDepth)
{
    return shadowDepth == 0 ? outline : outline + outline.translated(shadowDepth, shadowDepth);
}

} // namespace kyd::widgets
