// Borders painted along the window outlines: one colour, two colours (light
// where the outline faces up or left, dark where it faces down or right), or
// both, inside the outline so that the window's region keeps them. Every
// routine leaves the canvas's clipping as it found it.
#pragma once

#include "widgets/shapes/region_bands.h"
#include "widgets/shapes/qt/window_regions.h"
#include "widgets/framework/qt/qt_canvas.h"

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

// A closed outline a border follows, drawn on it as it stands: segment i
// runs from point i to point i + 1 (the last back to the first). Light
// marks the upper-left part, drawn in the light colour; Second the part the
// psb styles draw a second time inside (the lower-right part unless the
// outline says otherwise).
struct TDUDFrameLine {
    std::vector<TPoint> Points;
    std::vector<bool> Light;
    std::vector<bool> Second;
};
// The outline for a rectangle (exclusive right and bottom).
using TDUDOutlineFn = std::function<TDUDFrameLine(const TRect&)>;
// The outline split by the direction each segment faces (DUDLightSegments).
TDUDFrameLine DUDFrameLineByFacing(std::vector<TPoint> points);
// The outline split by segment: light[i] for segment i.
TDUDFrameLine DUDFrameLineBySegments(std::vector<TPoint> points, const std::vector<bool>& light);

// Outlines along which the borders run, inside the rectangle.
std::vector<TPoint> DUDRectOutline(const TRect& r);
// The ellipse's outline through the centres of its region's outermost
// pixels.
std::vector<TPoint> DUDEllipseOutline(const TRect& r);
// The staircase through the centres of the outermost pixels of a region of
// one span a row, rows without gaps, clockwise; none for any other region.
std::vector<TPoint> DUDStaircaseOutline(const TDUDBandRegion& region);
std::vector<TPoint> DUDRoundRectOutline(const TRect& r, int roundX, int roundY);
// The outline of a region's largest part (shields, half rounds).
std::vector<TPoint> DUDRegionOutline(const QRegion& region);

// Which segments of a closed outline (point i to point i + 1) face up or
// left, and so take the light colour, whichever way round the points run.
std::vector<bool> DUDLightSegments(const std::vector<TPoint>& outline);

// The border of an outline by style, with the canvas's pen width (at least
// 1); the styles with an inner outline take it from the rectangle shrunk by
// innerShrink pen widths (the psb styles by psbShrink), the single-raised
// and single-lowered inner outline innerRightBottom more at the right and
// bottom.
void DUDFrameOutline(TCanvas& canvas, const TRect& r, const TDUDFrameColors& c, const TDUDOutlineFn& outline,
                     int innerShrink = 1, int psbShrink = 1, int innerRightBottom = 0);

// The borders of the named outlines over r (nothing for a rectangle beyond
// the window range): the light colour on the upper and left parts, the
// shadow colour on the lower and right parts, the single colour alone or
// around them, by style (see DUDFrameOutline).
void DUDFrameRectRgn(TCanvas& canvas, const TRect& r, TColor light, TColor shadow, TColor single,
                     TDUDRegionBorderStyle style);
void DUDFrameEllipticRgn(TCanvas& canvas, const TRect& r, TColor light, TColor shadow, TColor single,
                         TDUDRegionBorderStyle style);
void DUDFrameHalfRoundRgn(TCanvas& canvas, const TRect& r, TColor light, TColor shadow, TColor single,
                          TDUDRegionBorderStyle style);
void DUDFrameDiamondRgn(TCanvas& canvas, const TRect& r, TColor light, TColor shadow, TColor single,
                        TDUDRegionBorderStyle style);
void DUDFrameStarRgn(TCanvas& canvas, const TRect& r, TColor light, TColor shadow, TColor single,
                     TDUDRegionBorderStyle style);
void DUDFrameOctagonRgn(TCanvas& canvas, const TRect& r, TColor light, TColor shadow, TColor single,
                        TDUDRegionBorderStyle style);
void DUDFrameCombRgn(TCanvas& canvas, const TRect& r, TColor light, TColor shadow, TColor single,
                     TDUDRegionBorderStyle style);
void DUDFrameRoundShieldRgn(TCanvas& canvas, const TRect& r, TColor light, TColor shadow, TColor single,
                            TDUDRegionBorderStyle style);
void DUDFrameSharpShieldRgn(TCanvas& canvas, const TRect& r, TColor light, TColor shadow, TColor single,
                            TDUDRegionBorderStyle style);
// Corner ellipse roundX by roundY.
void DUDFrameRoundRectRgn(TCanvas& canvas, const TRect& r, TColor light, TColor shadow, TColor single,
                          TDUDRegionBorderStyle style, int roundX, int roundY);
// The body shrunk by size at the corner pos, and count + 2 bubbles towards
// it: each bubble is framed, then kept out of the clipping, then the body
// is framed (so its frame is open where the bubbles cross it).
void DUDFrameThinkBubbleRgn(TCanvas& canvas, const TRect& r, int size, int count, TDUDExtPos pos, TColor light,
                            TColor shadow, TColor single, TDUDRegionBorderStyle style);
void DUDFrameEllipticThinkBubbleRgn(TCanvas& canvas, const TRect& r, int size, int count, TDUDExtPos pos,
                                    TColor light, TColor shadow, TColor single, TDUDRegionBorderStyle style);
void DUDFrameRoundThinkBubbleRgn(TCanvas& canvas, const TRect& r, int size, int count, TDUDExtPos pos, int roundX,
                                 int roundY, TColor light, TColor shadow, TColor single, TDUDRegionBorderStyle style);

// The border of a named outline over r, with its corner, bubble count and
// corner ellipse from p. The outlines that are data (bitmap, user region)
// get none; a point list gets the point-list colours along points.
void DUDFrameShapeRegion(TCanvas& canvas, const TRect& r, const TDUDRegionParams& p, const TDUDFrameColors& c,
                         const std::vector<TPoint>& points = {});

} // namespace kyd::widgets
