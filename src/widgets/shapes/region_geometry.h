// The geometry of the window outlines, without regions: the corner points
// of the polygon outlines, where a nose or a trail of thought bubbles sits,
// and the names of the outlines and corners.
#pragma once

#include "widgets/framework/graphics.h"

#include <vector>

namespace kyd::widgets {

enum class TDUDRegionShape {
    rsRect, rsRoundRect, rsBitmap, rsNoseRect, rsRoundNoseRect, rsElliptic, rsStar, rsRoundShield,
    rsSharpShield, rsDiamond, rsOctagon, rsComb, rsHalfRound, rsUserRegion, rsThinkBubble,
    rsRoundThinkBubble, rsEllipticThinkBubble, rsPointList
};
// The side a nose or bubbles stick out of, then the end of that side.
enum class TDUDExtPos {
    epLeftTop, epTopLeft, epTopRight, epRightTop, epRightBottom, epBottomRight, epBottomLeft, epLeftBottom
};

// The corner points of the polygon outlines, in their order.
std::vector<TPoint> DUDDiamondPoints(const TRect& r);
std::vector<TPoint> DUDStarPoints(const TRect& r);
std::vector<TPoint> DUDOctagonPoints(const TRect& r);
std::vector<TPoint> DUDCombPoints(const TRect& r);

// The size of a nose or a trail of bubbles is held to 0 ..
// kDUDRegionCoordLimit, the window range (nothing is drawn beyond it).
inline constexpr int kDUDMaxNoseSize = 32767;

// The rectangle shrunk by size on the two sides that meet at the corner
// (edges beyond the int range are held to it).
TRect DUDNoseBody(const TRect& r, int size, TDUDExtPos pos);
// The nose triangle: tip, base start, base end, the base offset by off
// from the body's corner (any off; points beyond the int range are held
// to it).
std::vector<TPoint> DUDNosePoints(const TRect& r, int size, TDUDExtPos pos, int off);
// The bounds of the thought bubbles' circles, growing from nothing at the
// outer corner towards the body: of the count + 2 circles of the trail,
// those 2 pixels across or more (a smaller one has no width and draws
// nothing). The bubbles grow by size * pi / 2 / count^2 pixels each, so
// that however large the count, at most about size * pi / 12 of them are
// that large and the work stays bounded. None for a count below 1 or a
// rectangle beyond the window range.
std::vector<TRect> DUDThinkBubbleRects(const TRect& r, int size, int count, TDUDExtPos pos);

} // namespace kyd::widgets
