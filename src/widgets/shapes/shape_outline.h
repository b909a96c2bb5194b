// Outlines of painted shapes as point lists, computed without a canvas, and
// the light colour pairs of the shape painter.
//
// Without teeth an outline has two halves: the N outer points, then the same
// N points moved inward by half the pen width (a = pw / 2 on the top and left,
// b = (pw - 1) / 2 on the bottom and right) so that a pen of that width drawn
// on them stays inside the outer outline. Ellipses, rectangles and rounded
// rectangles are given by corner points (and a corner-size point) rather than
// a polygon. With teeth the outline is one polygon with a serrated side.
// The shape is laid out Depth pixels right and down of the origin, where
// Depth is the shadow's depth; the painter moves it back.
#pragma once

#include "widgets/shapes/shape_settings.h"
#include "widgets/framework/graphics.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace kyd::widgets {

enum class TDUDLightColor { lcNone, lcBlue, lcRed, lcGreen, lcYellow, lcMarine, lcPurple };

// The light and dark colour of a named light colour; a value outside the
// enumeration leaves both unchanged.
void DUDGetLightColors(TDUDLightColor lc, TColor& light, TColor& dark);

struct TDUDShapeOutline {
    std::vector<TPoint> Points;
    // With teeth set per count: the step the teeth work with, to be stored
    // into the teeth object (Height for a vertical side, Width for a
    // horizontal one) without a notification.
    std::optional<int> TeethStep;
};

// The outline of a shape of r's size (only its width and height count).
// teeth, bevel and shadow may be null.
TDUDShapeOutline DUDShapeOutline(const TRect& r, TDUDShapeType shape, const TDUDTeeth* teeth, bool square,
                                 int roundPercent, const TDUDSimpleBevel* bevel, const TDUDShadow* shadow);

// The same into a point list (cleared first, one notification per point as
// the list gives them); the teeth step is stored into teeth with its
// notifications held off.
void DUDShapeCalc(const TRect& r, TDUDShapeType shape, TDUDTeeth* teeth, bool square, int roundPercent,
                  const TDUDSimpleBevel* bevel, const TDUDShadow* shadow, TDUDPointList& list);

// Outline of a shape description with optional teeth.
TDUDShapeOutline DUDShapeOutline(const TRect& r, const TDUDShape& shape, const TDUDTeeth* teeth = nullptr);

// A point held to the window range, -kDUDRegionCoordLimit to
// kDUDRegionCoordLimit in each coordinate, as every outline's points lie
// (nothing is drawn beyond it).
TPoint DUDHeldPoint(std::int64_t x, std::int64_t y);
// Adds (dx, dy) to the first count points; the results are held to the
// window range.
void DUDOffsetPointArray(TPoint* points, int count, int dx, int dy);
// Adds (dx, dy) to every point of the list, held to the window range; a
// null list does nothing.
void DUDOffsetPointList(TDUDPointList* list, int dx, int dy);

} // namespace kyd::widgets
