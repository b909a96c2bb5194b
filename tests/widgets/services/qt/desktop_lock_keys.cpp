// The lock keys read from a real X server: Caps Lock switched with
// xdotool is read back on and off.
#include "widgets/services/sysinfo.h"
#include "widgets/services/qt/sysinfo_probes.h"

#include <gtest/gtest.h>

#include <QProcess>

using namespace kyd::widgets;

namespace {

void PressKey(const char* key)
{
    QProcess p;
    p.start("xdotool", {"key", key});
    ASSERT_TRUE(p.waitForFinished(10000));
    ASSERT_EQ(0, p.exitCode()) << p.readAllStandardError().toStdString();
}

} // namespace

TEST(DesktopLockKeys, CapsLockReadsBackFromTheServer)
{
    DUDSIInstallQtProbes();
    const bool before = DUDSICapsLock();
    PressKey("Caps_Lock");
    EXPECT_NE(before, DUDSICapsLock());
    EXPECT_EQ(DUDSICapsLock() ? "On" : "Off", GetSystemInfoString(TDUDInfoType::itCapsLock, 1, ""));
    PressKey("Caps_Lock");
    EXPECT_EQ(before, DUDSICapsLock());
    // Num Lock likewise; Scroll Lock has no indicator on every keyboard map,
    // but reads as a state all the same.
    const bool num = DUDSINumLock();
    PressKey("Num_Lock");
    EXPECT_NE(num, DUDSINumLock());
    PressKey("Num_Lock");
    EXPECT_EQ(num, DUDSINumLock());
    (void)DUDSIScrollLock();
}
