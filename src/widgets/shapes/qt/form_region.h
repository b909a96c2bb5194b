// The outline a shaped form takes, as a pure function of the form's size,
// border style, the window metrics, its minimized state and the region
// settings: the size the form must take for a traced picture, the body
// rectangle the outline is built on, and the region of the whole window
// (caption strip kept or cut away).
#pragma once

#include "widgets/painting/frames.h"
#include "widgets/shapes/qt/window_regions.h"

#include <QRegion>
#include <QSize>

#include <optional>

namespace kyd::widgets {

// Frame and caption sizes of the window manager (classic values by default).
struct TDUDFormMetrics {
    int CxFrame = 4;
    int CyFrame = 4;
    int CxDlgFrame = 3;
    int CyDlgFrame = 3;
    int CyCaption = 19;
    int CySmCaption = 15;
};

struct TDUDFormRegionInput {
    int Width = 0;
    int Height = 0;
    TFormBorderStyle Border = TFormBorderStyle::bsSizeable;
    bool Minimized = false;
    bool DesignTime = false;
    bool ShowFormCaption = true;
    // The outline; its ShadowDepth is 0 when the shadow is off.
    TDUDRegionParams Region;
    // The shadow's depth whatever its style: a traced picture's form makes
    // room for it.
    int ShadowDepthSetting = 6;
    // The size of the mask's border picture (rsBitmap).
    QSize BorderBitmap;
};

struct TDUDFormRegion {
    std::optional<QSize> NewSize; // the form is resized to this (rsBitmap)
    TRect ClientRect;             // the body rectangle the outline was built on
                                  // and the border is painted on
    int FrameX = 0;
    int FrameY = 0;
    int CaptionHeight = 0;
    // The window's region; nothing when the form is to have no mask (an
    // empty outline would hide it).
    std::optional<QRegion> Region;
};

TDUDFormRegion DUDFormReRegion(const TDUDFormRegionInput& in, const TDUDFormMetrics& m = {});

} // namespace kyd::widgets
