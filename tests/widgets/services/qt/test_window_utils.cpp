// Window helpers on real widgets (offscreen).
#include "widgets/services/qt/window_utils.h"
#include "widgets/framework/qt/qt_canvas.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QTimer>

using namespace kyd::widgets;

TEST(WidgetWindowUtils, CentresPositionsAndKnowsParents)
{
    const TRect screen = DUDDlgGetTargetRect(TDUDDlgPosRel::brScreen);
    ASSERT_FALSE(screen.IsEmpty());
    QWidget parent;
    parent.resize(300, 200);
    parent.move(0, 0);
    QWidget child(&parent);
    EXPECT_TRUE(DUDIsChild(&child, &parent));
    EXPECT_TRUE(DUDIsChild(&parent, &parent));
    EXPECT_FALSE(DUDIsChild(&parent, &child));

    QWidget big;
    big.resize(screen.Width() + 100, screen.Height() + 100);
    DUDCenterWindow(&big, false);
    EXPECT_EQ(QPoint(screen.Left, screen.Top), big.pos());

    QWidget small;
    small.resize(100, 60);
    DUDPositionWindow(&small, {10, 20, 210, 120}, TDUDDlgPosition::bpBottomRight);
    EXPECT_EQ(QPoint(110, 60), small.pos());
    // The main window does not exist: the target is the screen.
    EXPECT_EQ(screen, DUDDlgGetTargetRect(TDUDDlgPosRel::brActiveWindow));
}

TEST(WidgetWindowUtils, WaitHandlesEventsMeanwhile)
{
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    DUDWait(5);
    EXPECT_TRUE(fired);
}
