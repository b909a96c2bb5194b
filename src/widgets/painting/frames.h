// 3-D frames and borders: the drawing routines the bevels and controls of
// the library frame themselves with. They keep no state.
#pragma once

#include "widgets/framework/canvas.h"

namespace kyd::widgets {

enum class TDUDBevelStyle { bvNone, bvLowered, bvRaised, bvFrameLowered, bvFrameRaised, bvNormal, bvShadow };

enum class TDUDBorderStyle {
    lsNone, lsSingle, lsLowered, lsRaised, lsRaisedspb, lsLoweredspb, lsRaisedExt, lsLoweredExt,
    lsFrameInset, lsFrameOffset, lsWindowBorder, lsSingleRaised, lsSingleLowered, lsDoubleRaised,
    lsDoubleLowered
};

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };

// A 3-D frame of the style and width; r shrinks to its inside. False (and r
// unchanged) for width 0, bvNone and bvShadow.
bool DUDDrawFrame3D(TCanvas& canvas, TRect& r, TDUDBevelStyle style, TColor light, TColor shadow, int width);

// How far DUDDrawFrame3D moves each side in: width, one more for the frame
// styles, 0 for bvNone. (bvShadow is drawn by DUDDrawFrameShadow.)
int DUDFrame3DExt(TDUDBevelStyle style, int width);

// A frame with a drop shadow of `depth` pixels to the lower right; r becomes
// the inside of the frame. `flags` is reserved.
void DUDDrawFrameShadow(TCanvas& canvas, TRect& r, TColor frame, TColor shadow, TColor background, int depth,
                        int frameWidth, bool transparent, unsigned flags = 0);

// A border of the style drawn with classic edges; extra BF_* flags are added
// to every edge but where the style says otherwise. Always true.
bool DUDDrawStdFrame(TCanvas& canvas, TRect& r, TDUDBorderStyle style, unsigned extraFlags = 0);

// The width of the border style on one side.
int DUDDrawStdFrameExt(TDUDBorderStyle style);

// A one-pixel border: left and top in the first colour, right and bottom in
// the second.
void DUDDrawBorder(TCanvas& canvas, const TRect& r, TColor topLeft, TColor bottomRight);

int DUDGetCtrlBorderWidth(bool ctl3D, TFormBorderStyle style);

// The colour at `position` of a gradient of `count` steps from c1 to c2.
TColor DUDGradientGetColor(TColor c1, TColor c2, int position, int count);

} // namespace kyd::widgets
