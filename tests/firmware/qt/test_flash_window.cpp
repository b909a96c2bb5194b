// The firmware downloader window against the simulated bootstrap loader on a
// pseudo-terminal: connection and discovery on the timer, Start's refusals,
// runs of the CMC, of NFC boards and of the jumpered board with their
// progress, every fault of the simulator ending red with its message, and
// closing and hiding.
#include "support_flash_window.h"

#include "platform/port_resolver.h"
#include "platform/qt/qt_message_loop.h"
#include "widgets/controls/qt/meter.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

// Marks an event as coming from the window system (minimise, restore).
class QSpontaneKeyEvent {
public:
    static void setSpontaneous(QEvent* ev) { ev->setSpontaneous(); }
};

namespace kyd::firmware::test {
namespace {

constexpr std::uint32_t kBase = 0x100;
constexpr std::size_t kSize = 320; // 20 data records and the end record: L = 21

// Erased flash with the file's pattern at kBase.
void ExpectFlashed(const std::vector<std::uint8_t>& image, unsigned seed)
{
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < image.size(); ++i) {
        const bool data = i >= kBase && i < kBase + kSize;
        wrong += image[i] != (data ? PatternByte(i - kBase, seed) : 0xFF);
    }
    EXPECT_EQ(wrong, 0u);
}

class FlashWindowTest : public FlashWindowFixture {
protected:
    void SetUp() override
    {
        nfc = MakeHexFile(kBase, kSize, 16, 2);
        cmc = MakeHexFile(kBase, kSize, 16, 7);
        nfcPath = WriteHex("2006_nfc.hex", nfc);
        cmcPath = WriteHex("cmc.hex", cmc);
        ASSERT_TRUE(ConnectWindow());
    }
    int L() const { return static_cast<int>(nfc.size()); }
    widgets::TDUDProgress& Bar() { return *window->ProgressBar; }
    // The last message box, or an empty call.
    platform::FakeDialogs::Call LastMessage()
    {
        const auto m = Messages();
        return m.empty() ? platform::FakeDialogs::Call{} : m.back();
    }
    void ExpectFailed(const std::string& text)
    {
        EXPECT_EQ(Bar().BarColor(), kBarColorFailed);
        EXPECT_EQ(Bar().UserValue(), Bar().MaxValue());
        EXPECT_EQ(window->LabelProgress->text(), "Failure");
        EXPECT_NE(LastMessage().text.find(text), std::string::npos) << LastMessage().text;
        EXPECT_TRUE(window->MemoText().startsWith(QString::fromStdString("Error: " + text))) << window->MemoText().toStdString();
        EXPECT_TRUE(window->Button3->isEnabled());
        EXPECT_TRUE(window->Button1->isEnabled());
    }
    void ExpectSucceeded()
    {
        EXPECT_EQ(Bar().BarColor(), kBarColorNormal);
        EXPECT_EQ(Bar().UserValue(), Bar().MaxValue());
        EXPECT_EQ(window->LabelProgress->text(), "Done");
        EXPECT_TRUE(window->MemoText().startsWith("Prepare CMC for normal operation:"));
    }
    // The operator switches the board off and on and opens the window again.
    void Reconnect()
    {
        window->hide();
        sim.withCore([](sim::BootCore& core) { core.powerCycle(); });
        ASSERT_TRUE(ConnectWindow());
    }
    void RunCmc(TActionMode mode = amEraseDownload)
    {
        dialogs.clear();
        Check(window->CMCChkBox, true);
        (mode == amEraseDownload ? window->RadioButtonEraseDownLoad : window->RadioButtonEraseDownLoadVerify)
            ->setChecked(true);
        if (window->FilePath() != cmcPath)
            ChooseFile(cmcPath);
        Start();
    }

    std::vector<std::string> nfc, cmc;
    std::string nfcPath, cmcPath;
};

TEST_F(FlashWindowTest, ConnectsFindsTheBoardsAndKeepsTheLinkAlive)
{
    EXPECT_EQ(window->windowTitle(), "KYDTest Com47");
    EXPECT_EQ(window->NodeMask(), 0x1F);
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(window->NFCChkBox[k]->isEnabled(), k < 5) << k;
    EXPECT_TRUE(window->CMCChkBox->isEnabled());
    EXPECT_FALSE(window->CheckBoxJumper->isEnabled());
    EXPECT_TRUE(window->ButtonSelectAll->isEnabled());
    EXPECT_TRUE(window->Button3->isEnabled());
    EXPECT_EQ(window->StatusPanel(1), "Connected with KYD CMC");
    const int polls = sim.withCore([](sim::BootCore& c) {
        return static_cast<int>(std::count(c.events().begin(), c.events().end(), "keep-alive"));
    });
    Tick();
    Tick();
    EXPECT_EQ(sim.withCore([](sim::BootCore& c) {
                  return static_cast<int>(std::count(c.events().begin(), c.events().end(), "keep-alive"));
              }),
              polls + 2);
    EXPECT_TRUE(window->Connected());

    // Select all, and back.
    window->ButtonSelectAll->click();
    EXPECT_EQ(window->ButtonSelectAll->text(), "Deselect all NFC");
    EXPECT_TRUE(window->AllNodesChecked());
    EXPECT_FALSE(window->NFCChkBox[5]->isChecked());
    window->ButtonSelectAll->click();
    EXPECT_EQ(window->ButtonSelectAll->text(), "Select all NFC");
    EXPECT_FALSE(window->AnyNodeSelected());
}

TEST_F(FlashWindowTest, StartRefusesWhatDoesNotFit)
{
    auto refusal = [&] {
        dialogs.clear();
        Start();
        const auto m = Messages();
        return m.size() == 1 ? m[0].text : std::string("(") + std::to_string(m.size()) + " messages)";
    };
    EXPECT_EQ(refusal(), "Please select at least one NFC/CMC item for processing.");
    Check(window->CMCChkBox, true);
    EXPECT_EQ(refusal(), "Please select a Hex-file for Downloading or Verifying");
    ChooseFile(nfcPath);
    EXPECT_EQ(window->FileNameEdit->text(), "2006_nfc.hex");
    EXPECT_EQ(refusal(), "Please select a CMC hex-file for Downloading or Verifying");
    Check(window->NFCChkBox[1], true);
    EXPECT_FALSE(window->CMCChkBox->isChecked());
    ChooseFile(cmcPath);
    EXPECT_EQ(refusal(), "Please select a NFC hex-file for Downloading or Verifying");
    EXPECT_EQ(beeps.back(), TBeep::Asterisk);
    EXPECT_EQ(sim.withCore([](sim::BootCore& c) { return c.erases(); }), 0);
    EXPECT_EQ(ini->readString("Flash", "LastFile", ""), "cmc.hex");

    // The edit box names an NFC file, but the one that would be loaded is
    // a CMC file: the check is made on the file actually loaded.
    window->FileNameEdit->setText("2006_gone.hex");
    dialogs.clear();
    dialogs.queueFile(cmcPath);
    Start();
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, "Please select a NFC hex-file for Downloading or Verifying");
    EXPECT_EQ(window->FilePath(), cmcPath);
    EXPECT_EQ(sim.withCore([](sim::BootCore& c) { return c.erases(); }), 0);
}

TEST_F(FlashWindowTest, TheFileDialogOffersTheLastFileAndNamesKeepTheirEncoding)
{
    // A name in UTF-8, as the file system has it.
    const std::string name = "pr\xC3\xBC" "fung.hex";
    cmcPath = WriteHex(name, cmc);
    ChooseFile(cmcPath);
    EXPECT_EQ(window->FileNameEdit->text(), QString::fromUtf8("pr\u00FCfung.hex"));
    EXPECT_EQ(ini->readString("Flash", "LastFile", ""), name);
    // The dialog opens on the file chosen last.
    dialogs.clear();
    dialogs.queueFile(std::nullopt);
    window->Button4Click();
    ASSERT_EQ(dialogs.calls().size(), 1u);
    EXPECT_EQ(dialogs.calls()[0].start, cmcPath);
    // Start finds the file by the name the edit box shows.
    RunCmc();
    ExpectSucceeded();
    EXPECT_EQ(window->FilePath(), cmcPath);
}

TEST_F(FlashWindowTest, NfcTwoAndFiveAreFlashedWithTheirProgressTotal)
{
    ChooseFile(nfcPath);
    Check(window->NFCChkBox[1], true);
    Check(window->NFCChkBox[4], true);
    window->RadioButtonEraseDownLoadVerify->setChecked(true);
    Start();
    EXPECT_TRUE(Messages().empty()) << LastMessage().text;
    const int total = 2 * L() * 2 + 50 * 2;
    EXPECT_EQ(Bar().MaxValue(), MeterMaximum(total));
    ExpectSucceeded();
    EXPECT_EQ(window->LabelNFC[1]->text(), "Done");
    EXPECT_EQ(window->LabelNFC[4]->text(), "Done");
    EXPECT_EQ(window->LabelNFC[0]->text(), "");
    ExpectFlashed(Image(2), 2);
    ExpectFlashed(Image(5), 2);
    EXPECT_EQ(Image(1), std::vector<std::uint8_t>(0x4000, 0x00));
    EXPECT_EQ(beeps.back(), TBeep::Default);
    EXPECT_EQ(window->State(), csIdle);
    // The window polls again afterwards.
    Tick();
    EXPECT_TRUE(window->Connected());
}

TEST_F(FlashWindowTest, CmcIsFlashedWithItsProgressTotal)
{
    RunCmc();
    EXPECT_TRUE(Messages().empty()) << LastMessage().text;
    EXPECT_EQ(Bar().MaxValue(), MeterMaximum(L() + 1000));
    ExpectSucceeded();
    EXPECT_EQ(window->LabelCMC->text(), "Done");
    ExpectFlashed(Image(0), 7);
}

TEST_F(FlashWindowTest, JumperModeFromTheStart)
{
    // Checked before the board is connected: presence through routine 10.
    window->hide();
    sim.withCore([](sim::BootCore& c) {
        c.config().jumperNode = true;
        c.powerCycle();
        c.clearEvents();
    });
    window->show();
    Check(window->CheckBoxJumper, true);
    Tick();
    EXPECT_TRUE(window->Connected());
    EXPECT_EQ(window->State(), csIdle);
    EXPECT_EQ(window->NodeMask(), 0);
    EXPECT_FALSE(window->AnyNodeEnabled());
    EXPECT_EQ(sim.withCore([](sim::BootCore& c) {
                  return static_cast<int>(std::count(c.events().begin(), c.events().end(), "routine 10"));
              }),
              1);

    // An NFC file runs on node 255.
    ChooseFile(nfcPath);
    dialogs.clear();
    Start();
    EXPECT_TRUE(Messages().empty()) << LastMessage().text;
    EXPECT_EQ(Bar().MaxValue(), MeterMaximum(L() + 50));
    ExpectSucceeded();
    EXPECT_EQ(window->LabelJumper->text(), "Done");
    ExpectFlashed(Image(255), 2);
}

TEST_F(FlashWindowTest, EveryAnsweredFaultEndsRedAndTheNextStartWorks)
{
    struct Case {
        const char* text;
        std::function<void(sim::BootFaults&)> set;
        bool recycle; // the board is left inside the transfer
    };
    const Case cases[] = {
        {"Vpp was not on during erasing!", [](sim::BootFaults& f) { f.eraseError = 0xF4; f.eraseErrors = 1; }, false},
        {"Vpp was not on!", [](sim::BootFaults& f) { f.recordError = 0xF1; f.recordErrorAt = 3; }, false},
        {"No CAN nodes found", [](sim::BootFaults& f) { f.eraseError = 0xFC; f.eraseErrors = 1; }, false},
        {"Resend failure or TimeOut Error", [](sim::BootFaults& f) { f.recordResends = 400; }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Faults(c.set);
        RunCmc();
        ExpectFailed(c.text);
        EXPECT_EQ(LastMessage().type, platform::DlgType::Warning);
        EXPECT_EQ(window->LabelCMC->text(), "Failure");
        EXPECT_EQ(terminated, 0);
        Faults([](sim::BootFaults& f) { f = sim::BootFaults{}; });
        if (c.recycle)
            Reconnect();
        RunCmc();
        EXPECT_TRUE(Messages().empty()) << LastMessage().text;
        ExpectSucceeded();
    }
    // Noise, delays and resend requests do not fail a run.
    Faults([](sim::BootFaults& f) {
        f.corruptBlocks = 3;
        f.spurious = -1;
        f.delayMs = 2;
        f.recordResends = 5;
    });
    RunCmc();
    ExpectSucceeded();
    Tick();
    EXPECT_EQ(window->StatusPanel(2), "8 Resendings: "); // three blocks and five records
    ExpectFlashed(Image(0), 7);
}

TEST_F(FlashWindowTest, FaultsThatExhaustAWaitEndTheApplication)
{
    struct Case {
        const char* name;
        std::function<void(sim::BootFaults&)> set;
        const char* event;
        std::int64_t ms;
    };
    const Case cases[] = {
        {"silent target", [](sim::BootFaults& f) { f.silent = 1; }, "routine 1", 1900},
        {"no ready", [](sim::BootFaults& f) { f.noReady = 1; }, "command 2", 1100},
        {"line hung up", [](sim::BootFaults& f) { f.hangUpAfterRecords = 4; }, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Faults(c.set);
        if (c.ms)
            AdvanceOn(c.event, c.ms);
        const int before = terminated;
        const int saves = options.SaveCount;
        RunCmc();
        EXPECT_EQ(Bar().BarColor(), kBarColorFailed);
        EXPECT_EQ(window->LabelProgress->text(), "Failure");
        const std::string text = LastMessage().text;
        EXPECT_NE(text.find("\n\nInternal Error in KYD Firmware Downloader\n\n"), std::string::npos) << text;
        EXPECT_NE(text.find(" will close"), std::string::npos) << text;
        EXPECT_EQ(LastMessage().type, platform::DlgType::Error);
        EXPECT_EQ(terminated, before + 1);
        EXPECT_EQ(options.SaveCount, saves + 1);
        EXPECT_EQ(beeps.back(), TBeep::Hand);
        // Cleared, the board is found again and the next run works.
        Faults([](sim::BootFaults& f) { f = sim::BootFaults{}; });
        Reconnect();
        RunCmc();
        ExpectSucceeded();
    }
}

TEST_F(FlashWindowTest, AFailingBoardStopsTheRunAndTheLogNamesTheBoardsDone)
{
    ChooseFile(nfcPath);
    Check(window->NFCChkBox[1], true);
    Check(window->NFCChkBox[4], true);
    // NFC 2 fails: NFC 5 is left as it was, its label empty.
    Faults([](sim::BootFaults& f) {
        f.eraseError = 0xF6;
        f.eraseErrors = 1;
    });
    Start();
    ExpectFailed("Vpp was not constant during erasing!");
    EXPECT_EQ(LastMessage().text, "Vpp was not constant during erasing!\nduring Erasing\n");
    EXPECT_EQ(window->LabelNFC[1]->text(), "Failure");
    EXPECT_EQ(window->LabelNFC[4]->text(), "");
    EXPECT_EQ(Image(5), std::vector<std::uint8_t>(0x4000, 0x00));
    EXPECT_TRUE(window->MemoText().contains("NFC 2: Erasing"));
    EXPECT_FALSE(window->MemoText().contains("Done before"));

    // NFC 5 leaves the bus: NFC 2 is done, and the log says so.
    Faults([](sim::BootFaults& f) { f.absentNodes = 0x10; });
    Start();
    ExpectFailed("No CAN nodes found");
    EXPECT_EQ(window->LabelNFC[1]->text(), "Done");
    EXPECT_EQ(window->LabelNFC[4]->text(), "Failure");
    EXPECT_TRUE(window->MemoText().contains("NFC 5: Erasing"));
    EXPECT_TRUE(window->MemoText().contains("Done before the failure: NFC 2"));
}

TEST_F(FlashWindowTest, LostBoardShowsAtTheNextTickAndIsReconnected)
{
    Check(window->CMCChkBox, true);
    window->LabelCMC->setText("Done");
    Faults([](sim::BootFaults& f) { f.keepAliveSilent = 1; });
    AdvanceOn("keep-alive", 600);
    Tick();
    EXPECT_EQ(window->StatusPanel(1), "No connection with KYD CMC");
    EXPECT_EQ(window->LabelCMC->text(), "");
    EXPECT_FALSE(window->Button3->isEnabled());
    EXPECT_EQ(window->State(), csConnect);
    // The board comes back without its CPU id once: tried again a tick later.
    Faults([](sim::BootFaults& f) { f.noCpuId = 1; });
    AdvanceOn("boot", 30);
    sim.withCore([](sim::BootCore& c) { c.powerCycle(); });
    Tick();
    EXPECT_EQ(window->StatusPanel(1), "No connection with KYD CMC");
    EXPECT_EQ(window->State(), csConnect);
    EXPECT_EQ(window->Loader()->lastErrorMessage(), "Hex-Loader failed!");
    Tick();
    EXPECT_EQ(window->StatusPanel(1), "Connected with KYD CMC");
    EXPECT_EQ(window->State(), csIdle);
}

TEST_F(FlashWindowTest, CloseWaitsForTheTickAndHidingGivesThePortBack)
{
    // A Close that comes inside the tick's poll runs when the tick is over.
    OnEvent("keep-alive", [this] { window->Button1->click(); });
    window->ConnectorTimer();
    EXPECT_TRUE(window->isVisible());
    EXPECT_NE(window->Loader(), nullptr);
    EXPECT_EQ(options.SaveAndApplyCount, 0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->Loader(), nullptr);
    EXPECT_FALSE(port.GetOpen());
    EXPECT_EQ(options.SaveAndApplyCount, 1);
    ASSERT_FALSE(Messages().empty());
    EXPECT_EQ(Messages()[0].text, "Please Switch off the Power Supply,\nbefore sending any commands.");
    EXPECT_EQ(beeps.front(), TBeep::Exclamation);
    // Shown again: a fresh loader and a fresh connection.
    ASSERT_TRUE(ConnectWindow());
    EXPECT_EQ(window->Loader()->TryToConnect(), 1);
}

TEST_F(FlashWindowTest, CloseDuringARunStopsItAndClosesAfterwards)
{
    // The close is asked for while the run is under way: the window stays
    // open while the run goes on, and closes once it has returned.
    bool runningAtClose = false;
    bool shownAfterClose = false;
    OnEvent("record 3", [&] {
        runningAtClose = window->Running();
        window->close();
        shownAfterClose = window->isVisible();
    });
    RunCmc();
    EXPECT_TRUE(runningAtClose);
    EXPECT_TRUE(shownAfterClose);
    EXPECT_FALSE(window->Running());
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->Loader(), nullptr);
    // A run that was told to stop ends the program: the settings were
    // saved, and the port is not reopened on the way out.
    EXPECT_EQ(options.SaveAndApplyCount, 0);
    EXPECT_EQ(options.SaveCount, 1);
    EXPECT_EQ(terminated, 1);
    EXPECT_LT(sim.withCore([](sim::BootCore& c) { return c.recordsReceived(); }), L());
}

TEST_F(FlashWindowTest, MinimiseAndRestoreKeepTheConnection)
{
    TDMHexLoader* loader = window->Loader();
    QHideEvent hide;
    QSpontaneKeyEvent::setSpontaneous(&hide);
    static_cast<QObject*>(window.get())->event(&hide);
    QShowEvent show;
    QSpontaneKeyEvent::setSpontaneous(&show);
    static_cast<QObject*>(window.get())->event(&show);
    EXPECT_EQ(options.SaveAndApplyCount, 0);
    EXPECT_EQ(window->Loader(), loader);
    EXPECT_TRUE(window->Connected());
    EXPECT_EQ(window->State(), csIdle);
    EXPECT_TRUE(port.GetOpen());
}

TEST(FlashWindowPort, APortThatFailsToOpenStopsTryingAndIsNotReappliedOnHide)
{
    FlashWindowStack s;
    platform::setPortPathOverride(FlashWindowStack::kCom, s.dir + "/no-such-tty");
    s.window->show();
    s.Tick();
    EXPECT_EQ(s.window->State(), csPortFailed);
    EXPECT_FALSE(s.window->ConnectorEnabled());
    EXPECT_EQ(s.window->StatusPanel(1), "No connection with KYD CMC");
    EXPECT_EQ(s.Messages().size(), 1u); // the library's message, once
    s.Tick();
    EXPECT_EQ(s.Messages().size(), 1u);
    s.window->Button1->click();
    EXPECT_FALSE(s.window->isVisible());
    EXPECT_EQ(s.options.SaveAndApplyCount, 0);
}

} // namespace
} // namespace kyd::firmware::test
