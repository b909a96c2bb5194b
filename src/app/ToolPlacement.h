// Where the tool windows go when no place of theirs has been saved yet (the
// first start): beside the main window rather than over its menu, tool bar,
// tabs and buttons, within the screen's available area.
#pragma once

#include <vector>

namespace kyd::app {

// A window's frame in screen coordinates.
struct FrameBox {
    int X = 0;
    int Y = 0;
    int W = 0;
    int H = 0;
    int Right() const { return X + W; }  // first column after the box
    int Bottom() const { return Y + H; } // first row below the box
    bool Intersects(const FrameBox& o) const
    {
        return X < o.Right() && o.X < Right() && Y < o.Bottom() && o.Y < Bottom();
    }
    bool Inside(const FrameBox& o) const
    {
        return X >= o.X && Y >= o.Y && Right() <= o.Right() && Bottom() <= o.Bottom();
    }
};

// The frame of a w × h window placed at first start: to the right of the
// main window, else below it, else to its left, else above it, each time
// lined up with the main window's edge or after (beside or under) a window
// already placed there, keeping `gap` pixels from the main window and from the windows in
// `taken`, and wholly inside `area`. When the area has no such place the
// window goes, kept inside the area as far as it fits, where it covers least
// of the main window, then of the windows in `taken`.
FrameBox PlaceBesideMain(const FrameBox& area, const FrameBox& main, const std::vector<FrameBox>& taken, int w,
                         int h, int gap);

// A window frame restored from saved settings, brought back where the
// operator can reach it: kept as it is while at least half of it lies on the
// screens' available areas (`screens`, not overlapping each other);
// otherwise moved inside the screen it overlaps most (`fallback`, the primary
// screen's area, when it overlaps none), keeping its size where that fits
// and shrunk to the area where it does not.
FrameBox OntoScreens(const FrameBox& box, const std::vector<FrameBox>& screens, const FrameBox& fallback);

} // namespace kyd::app
