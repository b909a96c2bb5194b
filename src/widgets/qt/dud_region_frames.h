// Borders painted along the window outlines: one colour, two colours (light
// where the outline faces up or left, dark where it faces down or right), or
// both, inside the outline so that the window's region keeps them. Every
// routine leaves the canvas's clipping as it found it.
#pragma once

#include "widgets/qt/dud_window_regions.h"
#include "widgets/qt/qt_canvas.h"

#include <functional>

namespace kyd::widgets {

enum class TDUDRegionBorderStyle {
    rbNone, rbLowered, rbRaised, rbSingle, rbSingleRaised, rbSingleLowered, rbRaisedpsb, rbLoweredpsb
};

struct TDUDFrameColors {
    TColor Light = clBtnHighlight;
    TColor Shadow = clBtnShadow;
    TColor Single = clBlack;
    TDUDRegionBorderStyle Style = TDUDRegionBorderStyle::rbSingle;
};

// The closed outline a border follows for a rectangle (exclusive right and
// bottom); the border is drawn on it as it stands.
using TDUDOutlineFn = std::function<std::vector<TPoint>(const TRect&)>;

// Outlines along which the borders run, inside the rectangle.
std::vector<TPoint> DUDRectOutline(const TRect& r);
std::vector<TPoint> DUDEllipseOutline(const TRect& r);
std::vector<TPoint> DUDRoundRectOutline(const TRect& r, int roundX, int roundY);
// The outline of a region's largest part (shields, half rounds).
std::vector<TPoint> DUDRegionOutline(const QRegion& region);

// Which segments of a closed outline (point i to point i + 1) face up or
// left, and so take the light colour.
std::vector<bool> DUDLightSegments(const std::vector<TPoint>& outline);

// The border of an outline by style; the styles with an inner outline take
// it from the rectangle shrunk by innerShrink (the psb styles by
// psbShrink), the single-raised and single-lowered inner outline
// innerRightBottom more at the right and bottom.
void DUDFrameOutline(TCanvas& canvas, const TRect& r, const TDUDFrameColors& c, const TDUDOutlineFn& outline,
                     int innerShrink = 1, int psbShrink = 1, int innerRightBottom = 0);

// The border of a named outline over r, with its corner, bubble count and
// corner ellipse from p. The outlines that are data (bitmap, user region)
// get none; a point list gets the point-list colours along points.
void DUDFrameShapeRegion(TCanvas& canvas, const TRect& r, const TDUDRegionParams& p, const TDUDFrameColors& c,
                         const std::vector<TPoint>& points = {});

} // namespace kyd::widgets
