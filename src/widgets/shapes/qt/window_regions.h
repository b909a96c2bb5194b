// Outlines of non-rectangular windows as regions: polygons (odd-even fill),
// shields, rectangles with a nose or a trail of thought bubbles at one
// corner, and the region a window takes for a named outline. Pure geometry:
// nothing here touches a window. Rectangles with left above right or top
// above bottom are taken the right way round.
#pragma once

#include "widgets/shapes/region_bands.h"
#include "widgets/shapes/region_geometry.h"
#include "widgets/framework/graphics.h"

#include <QRegion>

#include <cstdint>
#include <optional>
#include <vector>

namespace kyd::widgets {

// Basic regions of a rectangle (exclusive right and bottom).
QRegion DUDRectRgn(const TRect& r);
QRegion DUDEllipticRgn(const TRect& r);
// Corner ellipse roundX by roundY.
QRegion DUDRoundRectRgn(const TRect& r, int roundX, int roundY);
QRegion DUDPolygonRgn(const std::vector<TPoint>& points);

QRegion DUDCreateDiamondRgn(const TRect& r);
QRegion DUDCreateStarRgn(const TRect& r);
QRegion DUDCreateOctagonRgn(const TRect& r);
QRegion DUDCreateCombRgn(const TRect& r);
QRegion DUDCreateRoundShieldRgn(const TRect& r);
QRegion DUDCreateSharpShieldRgn(const TRect& r);

QRegion DUDCreateNoseRectRgn(const TRect& r, int size, TDUDExtPos pos);
QRegion DUDCreateRoundNoseRectRgn(const TRect& r, int size, int roundX, int roundY, TDUDExtPos pos);

// The bubbles alone: count + 2 circles growing from nothing at the outer
// corner; none for a count below 1.
QRegion DUDThinkBubbles(const TRect& r, int size, int count, TDUDExtPos pos);
QRegion DUDCreateThinkBubbleRgn(const TRect& r, int size, int count, TDUDExtPos pos);
QRegion DUDCreateRoundThinkBubbleRgn(const TRect& r, int size, int count, TDUDExtPos pos, int roundX, int roundY);
QRegion DUDCreateEllipticThinkBubbleRgn(const TRect& r, int size, int count, TDUDExtPos pos);

// What the region of a named outline is built from.
struct TDUDRegionParams {
    TDUDRegionShape Shape = TDUDRegionShape::rsRoundRect;
    TDUDExtPos ExtPos = TDUDExtPos::epLeftTop;
    int RoundX = 20;
    int RoundY = 20;
    int BubbleCount = 4;
    int ShadowDepth = 0;                    // 0 without a shadow
    TPoint Origin;                          // added to left and top
    const std::vector<std::uint8_t>* MaskData = nullptr; // rsBitmap
    // rsUserRegion, rsPointList; a point list's region is moved by the
    // rectangle's corner (origin included), where its border is drawn.
    const std::vector<std::uint8_t>* UserData = nullptr;
    bool DesignTime = false;
};

// The region of the outline for a window of r; nothing (as against an
// empty region) when the outline has no data to be built from.
std::optional<QRegion> DUDCreateShapeRegion(const TRect& r, const TDUDRegionParams& p);
// The region a window takes: the outline united with itself moved right
// and down by the shadow depth.
QRegion DUDWindowRegion(const QRegion& outline, int shadowDepth);

} // namespace kyd::widgets
