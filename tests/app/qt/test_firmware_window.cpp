// The firmware downloader window in the tester: opened from the File menu
// (not while busy), it borrows the dispenser port for the bootloader, and
// when it hides the dispenser port is open again at the options' settings.
#include "support_pty_app.h"

#include <QLabel>

#include "app/qt/PLVRMain.h"
#include "firmware/qt/UnitNFC_Selector.h"
#include "link/PLVRCom.h"
#include "link/Protokoll.h"
#include "link/SioLinkPort.h"
#include "platform/clock.h"

#include <QAction>
#include <QCoreApplication>
#include <QPushButton>

namespace kyd::app::test {
namespace {

class FirmwareWindowTest : public PtyAppFixture {
protected:
    sio::TSioComPort& LinkPort() { return dynamic_cast<link::SioLinkPort&>(Main().Com()->Port()).Port(); }
};

TEST_F(FirmwareWindowTest, OpensFromTheMenuAndGivesTheDispenserPortBack)
{
    StartOnPty();
    firmware::TFormFlashDownLoader& w = App().FlashDownLoader();
    w.SetTimerDriven(false);
    EXPECT_TRUE(Main().NewUploadFirmvare1->isEnabled());
    Main().SetBusy(1);
    EXPECT_FALSE(Main().NewUploadFirmvare1->isEnabled());
    Main().NewUploadFirmvare1->trigger();
    EXPECT_FALSE(w.isVisible());
    Main().SetBusy(0);
    EXPECT_TRUE(Main().NewUploadFirmvare1->isEnabled());

    Main().NewUploadFirmvare1->trigger();
    ASSERT_TRUE(w.isVisible());
    EXPECT_TRUE(w.isModal());
    // The main window says who has the port, not "No Connection".
    EXPECT_EQ(Main().StatusPanel1->text(), "COM1 is in use by the firmware downloader");
    EXPECT_EQ(w.windowTitle(), "KYDTest Com1");
    ASSERT_NE(w.Loader(), nullptr);

    // The dispenser does not answer as a bootloader: the attempt ends after
    // the CPU id wait (on the real clock, 25 ms) with the port at 8N1 and
    // six times the configured rate.
    platform::setClock(nullptr);
    w.ConnectorTimer();
    EXPECT_FALSE(w.Connected());
    EXPECT_EQ(w.StatusPanel(1), "No connection with KYD CMC");
    EXPECT_TRUE(LinkPort().GetOpen());
    EXPECT_EQ(LinkPort().GetBaud(), 57600);
    EXPECT_EQ(LinkPort().GetDataBits(), 8);
    EXPECT_EQ(LinkPort().GetParity(), sio::pNone);

    w.Button1->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.Loader(), nullptr);
    EXPECT_TRUE(LinkPort().GetOpen());
    EXPECT_EQ(LinkPort().GetBaud(), 9600);
    EXPECT_EQ(LinkPort().GetDataBits(), 7);
    EXPECT_EQ(LinkPort().GetParity(), sio::pEven);
    EXPECT_EQ(Main().StatusPanel1->text(), "");
    TakeCommands();
    TypeCommand("A");
    EXPECT_EQ(TakeCommands(), std::vector<std::string>{"A"});
    EXPECT_EQ(Main().Model()->StatusClass, 195);
    platform::setClock(&clock);
}

} // namespace
} // namespace kyd::app::test
