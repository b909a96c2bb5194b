// Where the tool windows go at first start: beside the main window, never
// over it, inside the screen.
#include "app/ToolPlacement.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kyd::app {
namespace {

const FrameBox kScreen{0, 0, 1280, 1024};
const FrameBox kMain{200, 130, 650, 520};
constexpr int kGap = 8;

TEST(ToolPlacementTest, FillsTheRightThenBelowThenLeftThenAbove)
{
    std::vector<FrameBox> taken;
    const FrameBox cmd = PlaceBesideMain(kScreen, kMain, taken, 350, 60, kGap);
    EXPECT_EQ(cmd.X, kMain.Right() + kGap);
    EXPECT_EQ(cmd.Y, kMain.Y);
    taken.push_back(cmd);
    // Too wide for the right: below the main window, at its left edge.
    const FrameBox com = PlaceBesideMain(kScreen, kMain, taken, 490, 150, kGap);
    EXPECT_EQ(com.X, kMain.X);
    EXPECT_EQ(com.Y, kMain.Bottom() + kGap);
    taken.push_back(com);
    // Fits under the command window on the right.
    const FrameBox status = PlaceBesideMain(kScreen, kMain, taken, 400, 130, kGap);
    EXPECT_EQ(status.X, kMain.Right() + kGap);
    EXPECT_EQ(status.Y, cmd.Bottom() + kGap);
    taken.push_back(status);
    for (const FrameBox& b : taken) {
        EXPECT_FALSE(b.Intersects(kMain));
        EXPECT_TRUE(b.Inside(kScreen));
        for (const FrameBox& o : taken)
            EXPECT_TRUE(&b == &o || !b.Intersects(o));
    }

    // A main window at the screen's right edge: the left side.
    const FrameBox edge{1280 - 650, 300, 650, 700};
    const FrameBox left = PlaceBesideMain(kScreen, edge, {}, 300, 100, kGap);
    EXPECT_EQ(left.X, edge.X - kGap - 300);
    EXPECT_EQ(left.Y, edge.Y);
    // Filling the whole height: above.
    const FrameBox tall{0, 200, 1280, 824};
    const FrameBox top = PlaceBesideMain(kScreen, tall, {}, 300, 100, kGap);
    EXPECT_EQ(top.Y, tall.Y - kGap - 100);
    EXPECT_EQ(top.X, 0);
}

// Below the main window a window too wide for the space beside the first
// one goes under it.
TEST(ToolPlacementTest, BelowTheMainWindowWindowsStackDownwards)
{
    const FrameBox main{200, 130, 677, 555};
    std::vector<FrameBox> taken{PlaceBesideMain(kScreen, main, {}, 425, 69, kGap)};
    EXPECT_EQ(taken[0].Y, main.Bottom() + kGap); // no room on the right
    taken.push_back(PlaceBesideMain(kScreen, main, taken, 602, 168, kGap));
    EXPECT_EQ(taken[1].Y, main.Bottom() + kGap);
    EXPECT_EQ(taken[1].X, taken[0].Right() + kGap);
    const FrameBox status = PlaceBesideMain(kScreen, main, taken, 602, 146, kGap);
    EXPECT_TRUE(status.Inside(kScreen));
    EXPECT_FALSE(status.Intersects(main));
    for (const FrameBox& t : taken)
        EXPECT_FALSE(status.Intersects(t));
}

TEST(ToolPlacementTest, ScreenWithoutRoomKeepsTheWindowInside)
{
    const FrameBox small{0, 0, 800, 600};
    const FrameBox main{100, 50, 700, 550};
    const FrameBox b = PlaceBesideMain(small, main, {}, 480, 120, kGap);
    EXPECT_TRUE(b.Inside(small));
    // Where it covers least of the main window: the strip above it.
    EXPECT_EQ(b.Y, 0);
    const FrameBox onMain{std::max(b.X, main.X), std::max(b.Y, main.Y), 0, 0};
    EXPECT_LE((std::min(b.Right(), main.Right()) - onMain.X) * (std::min(b.Bottom(), main.Bottom()) - onMain.Y),
              480 * 70);
    // Larger than the screen: its corner stays on the screen.
    const FrameBox huge = PlaceBesideMain(small, {100, 50, 700, 550}, {}, 1000, 900, kGap);
    EXPECT_EQ(huge.X, 0);
    EXPECT_EQ(huge.Y, 0);
}

// A saved frame from a bigger or second monitor comes back onto a screen.
TEST(ToolPlacementTest, SavedFrameMostlyOffTheScreensComesBack)
{
    const FrameBox left{0, 0, 1280, 1000};
    const FrameBox right{1280, 0, 1024, 768};
    const std::vector<FrameBox> both{left, right};
    // Half or more shown (across both screens): kept where it was.
    const FrameBox across{1000, 100, 600, 400};
    EXPECT_EQ(OntoScreens(across, both, left).X, 1000);
    const FrameBox halfOff{-300, 50, 600, 400};
    EXPECT_EQ(OntoScreens(halfOff, both, left).X, -300);
    // Far off: onto the fallback, same size.
    const FrameBox off = OntoScreens({-3000, 5000, 600, 400}, both, left);
    EXPECT_EQ(off.X, 0);
    EXPECT_EQ(off.Y, 1000 - 400);
    EXPECT_EQ(off.W, 600);
    EXPECT_EQ(off.H, 400);
    // Mostly beyond the right screen's bottom: onto that screen.
    const FrameBox low = OntoScreens({1500, 700, 600, 400}, both, left);
    EXPECT_EQ(low.X, 1500);
    EXPECT_EQ(low.Y, 768 - 400);
    // Larger than the screen: shrunk to it.
    const FrameBox big = OntoScreens({5000, 5000, 2000, 1500}, both, left);
    EXPECT_EQ(big.X, 0);
    EXPECT_EQ(big.Y, 0);
    EXPECT_EQ(big.W, 1280);
    EXPECT_EQ(big.H, 1000);
}

} // namespace
} // namespace kyd::app
