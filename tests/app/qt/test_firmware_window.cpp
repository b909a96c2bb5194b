// The firmware downloader window in the tester: opened from the File menu
// (not while busy), it borrows the dispenser port for the bootloader, and
// when it hides the dispenser port is open again at the options' settings.
#include "support_pty_app.h"

#include <QLabel>

#include "app/qt/PLVRMain.h"
#include "firmware/qt/UnitNFC_Selector.h"
#include "link/PLVRCmd.h"
#include "link/PLVRCom.h"
#include "link/Protokoll.h"
#include "link/SioLinkPort.h"
#include "platform/clock.h"
#include "platform/ini_file.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace kyd::app::test {
namespace {

class FirmwareWindowTest : public PtyAppFixture {
protected:
    // Started on the simulator, the firmware window opened from the menu
    // and connected in its first tick (the loader's waits on the real clock).
    firmware::TFormFlashDownLoader& OpenConnected()
    {
        StartOnPty();
        firmware::TFormFlashDownLoader& w = App().FlashDownLoader();
        w.SetTimerDriven(false);
        Main().NewUploadFirmvare1->trigger();
        platform::setClock(nullptr);
        Connect(w);
        return w;
    }
    // The loader's waits run on the real clock, and the controller's first
    // answer is waited for only 25 ms: on a busy machine the simulated
    // controller may answer after that, and the next tick tries again, as
    // the window's timer would.
    static void Connect(firmware::TFormFlashDownLoader& w)
    {
        QElapsedTimer waited;
        waited.start();
        while (!w.Connected() && waited.elapsed() < 30000) {
            w.ConnectorTimer();
            QCoreApplication::processEvents();
        }
    }
    sio::TSioComPort& LinkPort() { return dynamic_cast<link::SioLinkPort&>(Main().Com()->Port()).Port(); }
};

// An Intel HEX file of size bytes from base, 32 bytes a record, with an
// extended address record at every 64 KiB; text holds at offset 16.
std::vector<std::string> HexFile(std::uint32_t base, std::size_t size, unsigned seed, const std::string& text = {})
{
    auto record = [](std::uint16_t address, std::uint8_t type, const std::vector<std::uint8_t>& data) {
        std::vector<std::uint8_t> b{static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(address >> 8),
                                    static_cast<std::uint8_t>(address), type};
        b.insert(b.end(), data.begin(), data.end());
        unsigned sum = 0;
        for (std::uint8_t x : b)
            sum += x;
        b.push_back(static_cast<std::uint8_t>(-sum));
        std::string line = ":";
        char hex[3];
        for (std::uint8_t x : b) {
            std::snprintf(hex, sizeof hex, "%02X", x);
            line += hex;
        }
        return line;
    };
    std::vector<std::string> lines;
    std::uint32_t segment = 0xFFFFFFFF;
    for (std::size_t at = 0; at < size; at += 32) {
        const std::uint32_t address = base + static_cast<std::uint32_t>(at);
        if ((address >> 16) != segment) {
            segment = address >> 16;
            lines.push_back(record(0, 4, {static_cast<std::uint8_t>(segment >> 8), static_cast<std::uint8_t>(segment)}));
        }
        std::vector<std::uint8_t> data;
        for (std::size_t i = at; i < std::min(size, at + 32); ++i)
            data.push_back(static_cast<std::uint8_t>(i < 16 || i >= 16 + text.size() ? (i * 7 + seed) : text[i - 16]));
        lines.push_back(record(static_cast<std::uint16_t>(address), 0, data));
    }
    lines.push_back(":00000001FF");
    return lines;
}

std::string WriteHex(const std::string& dir, const std::string& name, const std::vector<std::string>& lines)
{
    const std::string path = dir + "/" + name;
    std::ofstream out(path, std::ios::binary);
    for (const std::string& l : lines)
        out << l << "\r\n";
    return path;
}

// The bytes the file puts at base..base+size.
bool ImageHolds(const std::vector<std::uint8_t>& image, std::size_t size, unsigned seed, const std::string& text = {})
{
    if (image.size() < size)
        return false;
    for (std::size_t i = 0; i < size; ++i)
        if (image[i] != static_cast<std::uint8_t>(i < 16 || i >= 16 + text.size() ? (i * 7 + seed) : text[i - 16]))
            return false;
    return true;
}

TEST_F(FirmwareWindowTest, TheDispenserEntersItsLoaderIsFlashedAndAnswersWithTheNewProgramId)
{
    StartOnPty();
    firmware::TFormFlashDownLoader& w = App().FlashDownLoader();
    w.SetTimerDriven(false);
    Main().SetBusy(1);
    Main().NewUploadFirmvare1->trigger();
    EXPECT_FALSE(w.isVisible()); // not while busy
    Main().SetBusy(0);
    Main().NewUploadFirmvare1->trigger();
    ASSERT_TRUE(w.isVisible());
    EXPECT_TRUE(w.isModal());
    // The main window says who has the port, not "No Connection".
    EXPECT_EQ(Main().StatusPanel1->text(), "COM1 is in use by the firmware downloader");
    EXPECT_EQ(w.windowTitle(), "KYDTest Com1");
    ASSERT_NE(w.Loader(), nullptr);

    // The loader's waits run on the real clock. The dispenser, told the
    // wake-up byte on the loader's line, enters its bootstrap loader: the
    // window connects and finds the four NFC boards.
    platform::setClock(nullptr);
    Connect(w);
    ASSERT_TRUE(w.Connected());
    EXPECT_TRUE(simulator.inLoader());
    EXPECT_EQ(w.StatusPanel(1), "Connected with KYD CMC");
    EXPECT_EQ(w.NodeMask(), 0x0F);
    EXPECT_EQ(LinkPort().GetBaud(), 57600);
    EXPECT_EQ(LinkPort().GetDataBits(), 8);

    // 64 KiB for the CMC, with the firmware's program id in it.
    const std::vector<std::string> cmc = HexFile(0, 0x10000, 3, "KYD-PID:20261207");
    dialogs.queueFile(WriteHex(dir, "cmc.hex", cmc));
    w.Button4Click();
    w.CMCChkBox->click();
    w.Button3Click();
    EXPECT_EQ(w.LabelProgress->text(), "Done") << w.MemoText().toStdString();
    EXPECT_EQ(w.LabelCMC->text(), "Done");
    EXPECT_TRUE(ImageHolds(simulator.boot().withCore([](sim::BootCore& c) { return c.image(0); }), 0x10000, 3,
                           "KYD-PID:20261207"));

    // Two NFC boards from an NFC file.
    const std::vector<std::string> nfc = HexFile(0, 0x1000, 9);
    dialogs.queueFile(WriteHex(dir, "2006nfc.hex", nfc));
    w.Button4Click();
    w.NFCChkBox[0]->click();
    w.NFCChkBox[2]->click();
    w.Button3Click();
    EXPECT_EQ(w.LabelProgress->text(), "Done") << w.MemoText().toStdString();
    EXPECT_EQ(w.LabelNFC[0]->text(), "Done");
    EXPECT_EQ(w.LabelNFC[2]->text(), "Done");
    EXPECT_TRUE(ImageHolds(simulator.boot().withCore([](sim::BootCore& c) { return c.image(1); }), 0x1000, 9));
    EXPECT_TRUE(ImageHolds(simulator.boot().withCore([](sim::BootCore& c) { return c.image(3); }), 0x1000, 9));
    EXPECT_FALSE(ImageHolds(simulator.boot().withCore([](sim::BootCore& c) { return c.image(2); }), 0x1000, 9));

    // Closed: the port goes back to the dispenser's settings, and the
    // controller answers as the dispenser with the new firmware's id.
    w.Button1->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(LinkPort().GetBaud(), 9600);
    EXPECT_EQ(LinkPort().GetDataBits(), 7);
    EXPECT_EQ(LinkPort().GetParity(), sio::pEven);
    EXPECT_EQ(Main().StatusPanel1->text(), ""); // the downloader no longer holds the port
    platform::setClock(&clock);
    TakeCommands();
    ASSERT_TRUE(Main().CommandLayer()->ReadProgramId());
    EXPECT_EQ(TakeCommands(), std::vector<std::string>{"A"});
    EXPECT_FALSE(simulator.inLoader());
    EXPECT_EQ(Main().Model()->StatusClass, 195);
    EXPECT_EQ(Main().Model()->ProgramId, "2026-12.07");
}

TEST_F(FirmwareWindowTest, AFileTheCheckRefusesIsRefusedAtStartWithNothingSent)
{
    firmware::TFormFlashDownLoader& w = OpenConnected();
    ASSERT_TRUE(w.Connected());
    w.CMCChkBox->click();
    std::vector<std::string> shortRecord = HexFile(0, 64, 1);
    shortRecord[1].erase(20, 2); // one data byte fewer than its count says; the sum still adds up
    shortRecord[1][19] = shortRecord[1][19] == '0' ? '1' : '0';
    const struct {
        const char* name;
        std::vector<std::string> lines;
        std::string fault;
    } cases[] = {
        {"empty.hex", {}, "the file is empty"},
        {"end.hex", {":00000001FF"}, "no data records"},
        {"short.hex", shortRecord, "line 2: the byte count 32 does not match the record's length"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        simulator.boot().withCore([](sim::BootCore& core) { core.clearEvents(); });
        dialogs.clear();
        dialogs.queueFile(WriteHex(dir, c.name, c.lines));
        w.Button4Click();
        TakeCommands();
        w.Button3Click();
        // Nothing went out: no dispenser frame, no routine, no erase, no
        // record.
        EXPECT_EQ(TakeCommands(), std::vector<std::string>{});
        EXPECT_EQ(simulator.boot().withCore([](sim::BootCore& core) { return core.events(); }),
                  std::vector<std::string>{});
        bool shown = false;
        for (const auto& call : dialogs.calls())
            shown = shown || (call.kind == "messageDlg" &&
                              call.text.find("Hex File Error: " + c.fault) != std::string::npos);
        EXPECT_TRUE(shown);
        EXPECT_NE(w.LabelCMC->text(), "Failure");
    }
    EXPECT_EQ(simulator.boot().withCore([](sim::BootCore& core) { return core.erases(); }), 0);
    EXPECT_TRUE(w.Button3->isEnabled());
    platform::setClock(&clock);
}

TEST_F(FirmwareWindowTest, ALineLostMidRunShowsOneClosingMessageAndKeepsTheSavedPort)
{
    firmware::TFormFlashDownLoader& w = OpenConnected();
    ASSERT_TRUE(w.Connected());
    dialogs.queueFile(WriteHex(dir, "cmc.hex", HexFile(0, 0x1000, 5)));
    w.Button4Click();
    w.CMCChkBox->click();
    // The cable is pulled: nothing answers any more, and the device is
    // gone for the next open. The record wait runs out on the fake clock.
    simulator.boot().withCore([](sim::BootCore& c) { c.faults().silent = -1; });
    platform::setPortPathOverride(1, dir + "/gone");
    platform::setClock(&clock);
    StartTicker();
    dialogs.clear();
    w.Button3Click();
    // The program ends as it does after the message: quitting closes the
    // windows, then the settings are written.
    w.close();
    QCoreApplication::processEvents();
    app.reset();
    loop.processPending();

    std::vector<std::string> shown;
    for (const auto& call : dialogs.calls())
        shown.push_back(call.kind + ": " + call.text);
    ASSERT_FALSE(shown.empty());
    EXPECT_NE(shown.back().find("KYDTest COM1 will close"), std::string::npos);
    EXPECT_EQ(shown.size(), 1u) << ::testing::PrintToString(shown);
    platform::IniFile saved(iniPath);
    EXPECT_EQ(saved.readInteger("Communication", "ComPort", -1), 1);
}

// The device goes away while the window is connected (the cable pulled,
// the simulator ended): the message says which port is missing.
TEST_F(FirmwareWindowTest, ADeviceGoneWhileConnectedIsNamedInTheMessage)
{
    firmware::TFormFlashDownLoader& w = OpenConnected();
    ASSERT_TRUE(w.Connected());
    const std::string path = transport->slavePath();
    dialogs.clear();
    transport.reset();
    // A tick's poll finds the line gone once the reader has seen the
    // hang-up (later on a busy machine), the one after it cannot open the
    // port again.
    std::vector<platform::FakeDialogs::Call> shown;
    QElapsedTimer waited;
    waited.start();
    while (shown.empty() && waited.elapsed() < 30000) {
        w.ConnectorTimer();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        shown = dialogs.calls();
        if (shown.empty())
            QTest::qWait(5);
    }
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].type, platform::DlgType::Error);
    EXPECT_EQ(shown[0].text.rfind("COM1 (" + path + ") is not available: check the cable and the dispenser's power.\n",
                                  0),
              0u)
        << shown[0].text;
    EXPECT_NE(shown[0].text.find("ie_BadId"), std::string::npos) << shown[0].text;
    EXPECT_EQ(w.StatusPanel(1), "No connection with KYD CMC");
    platform::setClock(&clock);
}

} // namespace
} // namespace kyd::app::test
