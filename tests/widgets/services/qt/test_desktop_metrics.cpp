// The system figures that the desktop gives once the GUI's probes are in:
// icon sizes from the application's style, the colour depth from the
// primary screen.
#include "widgets/services/qt/sysinfo_probes.h"

#include <QApplication>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleFactory>

#include <gtest/gtest.h>

using namespace kyd::widgets;

namespace {

class BigIcons : public QProxyStyle {
public:
    BigIcons() : QProxyStyle(QStyleFactory::create("Fusion")) {}
    int pixelMetric(PixelMetric m, const QStyleOption* o = nullptr, const QWidget* w = nullptr) const override
    {
        if (m == PM_LargeIconSize)
            return 48;
        if (m == PM_SmallIconSize)
            return 24;
        return QProxyStyle::pixelMetric(m, o, w);
    }
};

} // namespace

TEST(DesktopMetrics, IconSizesAndColourDepthFollowTheDesktop)
{
    const QString previous = QApplication::style()->name();
    QApplication::setStyle(new BigIcons);
    DUDSIInstallQtProbes();
    EXPECT_EQ(DUDSIIconWidth(), 48);
    EXPECT_EQ(DUDSIIconHeight(), 48);
    EXPECT_EQ(DUDSISmallIconWidth(), 24);
    EXPECT_EQ(DUDSISmallIconHeight(), 24);
    ASSERT_NE(QGuiApplication::primaryScreen(), nullptr);
    EXPECT_EQ(DUDSIColorDepth(), QGuiApplication::primaryScreen()->depth());
    DUDSISetScreenProbes({});
    QApplication::setStyle(QStyleFactory::create(previous));
    EXPECT_EQ(DUDSIIconWidth(), 32);
    EXPECT_EQ(DUDSISmallIconHeight(), 16);
}
