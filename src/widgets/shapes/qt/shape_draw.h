// The shape painter: a shape's shadow, its fill (a brush, or a picture that
// fills exactly the outline), its outline pen and a two-colour bevel, on a
// canvas, from the outline the shape outline routines compute.
#pragma once

#include "widgets/shapes/shape_outline.h"
#include "widgets/framework/qt/qt_canvas.h"

#include <QImage>

namespace kyd::widgets {

// Styles of a shape's simple bevel: the outline pen alone, or a two-colour
// bevel, dark at the upper left (inset) or light there (offset).
enum : int { sbNormal = 0, sbInset = 1, sbOffset = 2 };

// The two colours of a bevel as an outline walked from point to point sees
// them: by the direction of each line (right or up: first colour; left or
// down: second colour; horizontal movement decides over vertical, no
// movement keeps the colour before), the closing line included.
std::vector<TColor> DUDPointListColors(const std::vector<TPoint>& points, TColor first, TColor second);

// Paints the shape into r on the canvas. pointList (may be null) is an
// outline computed for r's size; it is never changed, one too short for the
// shape is computed afresh, and its points are held to the window range
// (DUDHeldPoint) as a computed outline's are. bitmap (may be null) fills the shape instead
// of the brush; maskColor is accepted for callers that name it (the mask is
// built in two colours of its own). backColor is the colour between a
// hatch's lines. teeth, bevel and shadow may be null; a missing bevel has
// width 0. Only canvases on images paint shapes; flags are not used.
void DUDShapeDraw(const TRect& r, TCanvas& canvas, TDUDShapeType shape, TDUDTeeth* teeth,
                  const TDUDPointList* pointList, bool square, const TBrush& brush, int roundPercent,
                  const TDUDSimpleBevel* bevel, const TDUDShadow* shadow, const QImage* bitmap, TColor maskColor,
                  TColor backColor, unsigned flags = 0);

// The same for a shape description.
void DUDShapeDraw(const TRect& r, TCanvas& canvas, const TDUDShape& shape, TDUDTeeth* teeth = nullptr,
                  const QImage* bitmap = nullptr, TColor backColor = clWhite);

} // namespace kyd::widgets
