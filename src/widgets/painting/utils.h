// Drawing and window helpers shared by the library's controls: rectangle
// alignment, arrow triangles, button faces, 3-D text measurement, window
// placement (as pure geometry; the caller moves the window) and divisors.
// They keep no state.
#pragma once

#include "widgets/painting/caption3d.h"
#include "widgets/framework/canvas.h"

#include <string>
#include <vector>

namespace kyd::widgets {

enum class TDUDAlignment {
    agTopLeft, agTopCenter, agTopRight, agCenterLeft, agCenter, agCenterRight, agBottomLeft, agBottomCenter,
    agBottomRight
};

// The item's size placed in the area by the alignment's column and row;
// centre offsets are (area - item) div 2.
TRect DUDAlignRect(TDUDAlignment alignment, const TRect& item, const TRect& area);

// A filled arrow triangle; only sizes 2 to 15 draw anything. A disabled one
// is engraved: first in the highlight-text colour at (x + 1, y + 1), then in
// the grey-text colour.
void DUDDrawTriangle(TCanvas& canvas, int x, int y, int size, TColor color, bool down, bool enabled);

enum class TDUDUserButtonStyle {
    ubsAutoDetect, ubsWin31, ubsWin40, ubsIde, ubsIdeFlat, ubsFlat, ubsFlatUnColored, ubsNavigator, ubsExplorer,
    ubsExplorerColored, ubsIntegrated
};
enum class TDUDButtonState {
    bsUp, bsDisabledUp, bsMouseOver, bsOptionSet, bsDown, bsDragOver, bsDropDownOpen, bsDisabledDown
};

bool DUDDrawBtnIsFlat(TDUDUserButtonStyle style);
bool DUDBtnIsDown(TDUDButtonState state);
// A button face of the style and state; r returns as the content area (the
// face less 3 pixels, moved by (1, 1) when down). Flags: 1 clear the corners
// (classic style), 2 default button (frame and focus rectangle), 4 new-style
// edges, 8 sunken edge when down, 16 fill the middle of edges, 32 default
// frame without focus.
void DUDDrawBtnFace(TCanvas& canvas, bool flatFace, TRect& r, TDUDUserButtonStyle style, TDUDButtonState state,
                    unsigned flags, TColor faceColor);

// The rectangle text needs (top-left kept), grown by the caption's depth.
// An empty text, or "&" alone with accelerators, is measured as " ". For a
// turned caption it is the bounding box of the turned text, and the
// caption's PosX/PosY are set so that the text starts inside it.
TRect DUDDrawTextCalcExt(TCanvas& canvas, const std::string& text, TDUD3DCaption* caption, const TRect& r,
                         bool wordWrap, bool accelChar);
// The text width plus the depth of the caption's style (only tdShadow of
// the shadow-depth styles counts).
int DUDGet3DTextWidth(TCanvas& canvas, const std::string& text, const TDUD3DCaption* caption);
// The height of "W" plus the same depth.
int DUDGet3DTextHeight(TCanvas& canvas, const TDUD3DCaption* caption);

// Window placement: the top-left a window of the size gets.
// Centred on the screen (in the upper third when asked), kept on it.
TPoint DUDCenterWindowPos(const TRect& screen, int width, int height, bool upperThird);
enum class TDUDDlgPosition {
    bpCustom, bpTopLeft, bpTopCenter, bpTopRight, bpCenterLeft, bpCenter, bpCenterRight, bpBottomLeft,
    bpBottomCenter, bpBottomRight
};
// Placed in the target by the position; flush with the target's right or
// bottom edge when it would leave the screen there; never negative.
TPoint DUDPositionWindowPos(const TRect& target, const TRect& screen, int width, int height,
                            TDUDDlgPosition position);
// Centred over the parent, inside the screen and not below 0.
TPoint DUDCenterChildPos(const TRect& parent, const TRect& screen, int width, int height);

enum class TDUDTextArrange { taLeft, taLeftTop, taRight, taRightTop, taTop, taTopLeft, taBottom, taBottomLeft };

// Where a glyph and a text go together: the text beside (taLeft, taRight:
// centred on each other; taLeftTop, taRightTop: tops level), above or below
// the glyph (taTop, taBottom: centred; taTopLeft, taBottomLeft: left edges
// level), `spacing` pixels apart; the pair is placed in the area by the
// alignment and moved by the offset. An empty size leaves out its part.
struct TDUDGlyphTextPlaces {
    TRect Glyph;
    TRect Text;
};
TDUDGlyphTextPlaces DUDGlyphTextPlace(TDUDTextArrange arrange, TDUDAlignment alignment, int spacing, TPoint offset,
                                      TPoint glyphSize, TPoint textSize, const TRect& area);

// The divisors of n in ascending order, as text; 1 gives "1", n < 1 nothing.
std::vector<std::string> DUDGetDivider(int n);

} // namespace kyd::widgets
