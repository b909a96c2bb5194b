// Pictures of the firmware downloader window for looking at: connected with
// the boards found, during a run, after success and after a failure.
// `ctest -L screenshots`, then build/screenshots/firmware_*.png.
#include "support/screenshot.h"
#include "support_flash_window.h"

#include "widgets/controls/qt/meter.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QRadioButton>

namespace kyd::firmware::test {
namespace {

class FlashWindowShots : public FlashWindowFixture {
protected:
    void SetUp() override
    {
        const std::string path = WriteHex("2006_nfc_v412.hex", MakeHexFile(0x100, 1600, 16, 2));
        ASSERT_TRUE(ConnectWindow());
        ChooseFile(path);
    }
};

TEST_F(FlashWindowShots, ConnectedDuringARunAfterSuccessAndAfterFailure)
{
    EXPECT_FALSE(kyd::test::SaveScreenshot(window.get(), "firmware_connected").isEmpty());

    Check(window->NFCChkBox[1], true);
    Check(window->NFCChkBox[3], true);
    window->RadioButtonEraseDownLoadVerify->setChecked(true);
    // In the middle of NFC 4's download.
    bool taken = false;
    int seen = 0;
    sim.setLogger([&](const std::string& event) {
        if (event.rfind("record ", 0) == 0 && ++seen == 150)
            loop.postCall([&] {
                taken = !kyd::test::SaveScreenshot(window.get(), "firmware_running").isEmpty();
            });
    });
    Start();
    EXPECT_TRUE(taken);
    EXPECT_EQ(window->LabelProgress->text(), "Done");
    EXPECT_FALSE(kyd::test::SaveScreenshot(window.get(), "firmware_done").isEmpty());

    sim.setLogger({});
    Faults([](sim::BootFaults& f) {
        f.recordError = 0xF3;
        f.recordErrorAt = 40;
    });
    Start();
    EXPECT_EQ(window->LabelProgress->text(), "Failure");
    EXPECT_FALSE(kyd::test::SaveScreenshot(window.get(), "firmware_failed").isEmpty());
}

} // namespace
} // namespace kyd::firmware::test
