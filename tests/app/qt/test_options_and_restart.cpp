// The options dialog, the settings kept over a restart, and the About box.
#include "support_app.h"

#include "app/ProjectRCVersion.h"
#include "app/LinkPortFactory.h"
#include "app/qt/AboutBox.h"
#include "app/qt/CmdStr.h"
#include "app/qt/CommStr.h"
#include "app/qt/ModalRun.h"
#include "app/qt/OptionDlg.h"
#include "app/qt/PLVRMain.h"
#include "app/qt/StatusList.h"
#include "app/VersionInfo.h"
#include "link/PLVRCmd.h"
#include "platform/program_path.h"
#include "serial/SioExcept.h"
#include "platform/qt/ui_scale.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QTest>

#include <filesystem>

namespace kyd::app::test {

namespace {

// The picture as the sources hold it (tests/app/data -> src/app/res).
std::string SourcePicture()
{
    return (std::filesystem::path(KYD_TEST_DATA_DIR).parent_path().parent_path().parent_path() / "src/app/res/KYDTest.jpg")
        .string();
}

class OptionsTest : public AppFixture {
protected:
    TOptionForm& Options() { return App().Options(); }
    void ShowOptions()
    {
        Options().show();
        ProcessEvents();
    }
    void SelectPort(int n)
    {
        QComboBox* c = Options().PortComboBox;
        c->setCurrentIndex(c->findData(n));
        ASSERT_EQ(c->currentData().toInt(), n);
    }
};

TEST_F(OptionsTest, FirstStartUsesTheDefaults)
{
    Start();
    const link::Settings& s = Options().InForce();
    EXPECT_EQ(s.Port, 1); // asked for: the operator picked 1
    ASSERT_EQ(Port().opens.size(), 1u);
    EXPECT_EQ(Port().opens[0].Baud, 9600);
    EXPECT_EQ(Port().opens[0].Parity, link::TParity::pEven);
    EXPECT_EQ(Port().opens[0].DataBits, 7);
    EXPECT_EQ(Port().opens[0].StopBits, 1);
    EXPECT_TRUE(s.Handshake);
    EXPECT_FALSE(s.LoggingEnabled);
    EXPECT_TRUE(s.TimeStamp);
    EXPECT_TRUE(s.DateStamp);
    EXPECT_EQ(s.CaptionText, "KYDTest COM1");

    ShowOptions();
    EXPECT_EQ(Options().PortComboBox->currentText(), "COM1");
    EXPECT_EQ(Options().BaudComboBox->currentText(), "9600");
    EXPECT_EQ(Options().ParityRadioGroup->ItemIndex(), 0);
    EXPECT_EQ(Options().HandshakeRadioGroup->ItemIndex(), 0);
    EXPECT_FALSE(Options().CheckBoxLogEnable->isChecked());
    EXPECT_FALSE(Options().EditLogFile->isEnabled());
    EXPECT_FALSE(Options().ButtonBrowseLogFile->isEnabled());
    EXPECT_FALSE(Options().CheckBoxTimeStamp->isEnabled());
}

TEST_F(OptionsTest, OkChangesPortAndLoggingAndTheCaption)
{
    Start();
    ShowOptions();
    SelectPort(3);
    Options().ParityRadioGroup->SetItemIndex(1);
    Options().HandshakeRadioGroup->SetItemIndex(1);
    Options().BaudComboBox->setCurrentText("4800");
    QTest::mouseClick(Options().CheckBoxLogEnable, Qt::LeftButton);
    EXPECT_TRUE(Options().InForce().LoggingEnabled);
    EXPECT_TRUE(Options().EditLogFile->isEnabled());
    Options().EditLogFile->setText(QString::fromStdString(Path("trace.log")));
    QTest::mouseClick(Options().ButtonOk, Qt::LeftButton);

    EXPECT_FALSE(Options().isVisible());
    EXPECT_EQ(Options().result(), QDialog::Accepted);
    const link::Settings& s = Options().InForce();
    EXPECT_EQ(s.Port, 3);
    EXPECT_EQ(Port().opens.back().ComNumber, 3);
    EXPECT_EQ(Port().opens.back().Baud, 4800);
    EXPECT_EQ(Port().opens.back().Parity, link::TParity::pOdd);
    EXPECT_FALSE(s.Handshake);
    EXPECT_EQ(s.LogFile, Path("trace.log"));
    EXPECT_EQ(Main().windowTitle(), "KYDTest COM3");
    EXPECT_EQ(platform::applicationTitle(), "KYDTest COM3");
    EXPECT_EQ(App().Ini().readInteger("Communication", "ComPort", 0), 3);
    EXPECT_FALSE(App().Ini().readBool("Communication", "ParityEven", true));
    EXPECT_TRUE(App().Ini().readBool("Logging", "LogEnabled", false));

    // The next exchange is logged there.
    Main().ViewCmdStrMenuItem->trigger();
    TypeCommand("A");
    EXPECT_NE(ReadFile(Path("trace.log")).find("Out: A41"), std::string::npos);
}

// Every setting OK writes is read back from the settings file, and the
// next start takes them from there.
TEST_F(OptionsTest, OkWritesEverySettingToTheFile)
{
    Start();
    ShowOptions();
    SelectPort(2);
    Options().BaudComboBox->setCurrentText("2400");
    Options().HandshakeRadioGroup->SetItemIndex(1);
    QTest::mouseClick(Options().CheckBoxLogEnable, Qt::LeftButton);
    QTest::mouseClick(Options().CheckBoxTimeStamp, Qt::LeftButton);
    QTest::mouseClick(Options().CheckBoxDateStamp, Qt::LeftButton);
    Options().EditLogFile->setText(QString::fromStdString(Path("kept.log")));
    QTest::mouseClick(Options().ButtonOk, Qt::LeftButton);
    ASSERT_EQ(Options().result(), QDialog::Accepted);
    Quit();

    platform::IniFile saved(iniPath);
    EXPECT_EQ(saved.readInteger("Communication", "ComPort", 0), 2);
    EXPECT_EQ(saved.readInteger("Communication", "Baudrate", 0), 2400);
    EXPECT_FALSE(saved.readBool("Communication", "Handshake", true));
    EXPECT_TRUE(saved.readBool("Logging", "LogEnabled", false));
    EXPECT_FALSE(saved.readBool("Logging", "TimeStamp", true));
    EXPECT_FALSE(saved.readBool("Logging", "DateStamp", true));
    EXPECT_EQ(saved.readString("Logging", "LogFile", ""), Path("kept.log"));

    Start();
    const link::Settings& s = Options().InForce();
    EXPECT_EQ(s.BaudRate, 2400);
    EXPECT_FALSE(s.Handshake);
    EXPECT_FALSE(s.TimeStamp);
    EXPECT_FALSE(s.DateStamp);
    EXPECT_EQ(s.LogFile, Path("kept.log"));
}

TEST_F(OptionsTest, OkRefusesALogFileThatCannotBeWrittenWithTheReason)
{
    Start();
    ShowOptions();
    QTest::mouseClick(Options().CheckBoxLogEnable, Qt::LeftButton);
    std::filesystem::create_directory(Path("logs"));
    const std::size_t opens = Port().opens.size();
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"", "no log file is named"},
        {Path("logs"), "is a folder"},
        {Path("none/trace.log"), "No such file or directory"},
    };
    for (const auto& [name, why] : refused) {
        SCOPED_TRACE(name);
        dialogs.clear();
        Options().EditLogFile->setText(QString::fromStdString(name));
        QTest::mouseClick(Options().ButtonOk, Qt::LeftButton);
        const auto calls = dialogs.calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].type, platform::DlgType::Error);
        EXPECT_NE(calls[0].text.find(why), std::string::npos) << calls[0].text;
        if (!name.empty()) {
            EXPECT_NE(calls[0].text.find(name), std::string::npos) << calls[0].text;
        }
        EXPECT_TRUE(Options().isVisible());
        EXPECT_EQ(Port().opens.size(), opens); // nothing applied
        EXPECT_FALSE(App().Ini().valueExists("Logging", "LogFile"));
    }
    // A file that can be created is taken, and not left behind by the check.
    dialogs.clear();
    Options().EditLogFile->setText(QString::fromStdString(Path("logs/trace.log")));
    QTest::mouseClick(Options().ButtonOk, Qt::LeftButton);
    EXPECT_TRUE(dialogs.calls().empty());
    EXPECT_FALSE(Options().isVisible());
    EXPECT_FALSE(std::filesystem::exists(Path("logs/trace.log")));
    EXPECT_EQ(Options().InForce().LogFile, Path("logs/trace.log"));
}

TEST_F(OptionsTest, OkWithoutAPortSelectedShowsAnErrorAndAppliesNothing)
{
    portList = {2}; // the port in use (1) is not listed
    Start();
    ShowOptions();
    ASSERT_EQ(Options().PortComboBox->currentIndex(), -1);
    const std::size_t opens = Port().opens.size();
    QTest::mouseClick(Options().ButtonOk, Qt::LeftButton);
    const auto calls = dialogs.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].type, platform::DlgType::Error);
    EXPECT_NE(calls[0].text.find("No port"), std::string::npos);
    EXPECT_EQ(Port().opens.size(), opens);
    EXPECT_EQ(Options().InForce().Port, 1);
    EXPECT_FALSE(App().Ini().valueExists("Communication", "ComPort"));
    EXPECT_TRUE(Options().isVisible()); // the operator can still pick one
}

TEST_F(OptionsTest, PortThatFailsToOpenIsNotTitledAsOpen)
{
    {
        platform::IniFile pre(iniPath);
        pre.writeInteger("Communication", "ComPort", 2);
        ASSERT_TRUE(pre.updateFile());
    }
    SetLinkPortFactory([this] {
        auto p = std::make_unique<SimPort>();
        p->openFault = [](const link::PortSettings&) { throw sio::EAlreadyOpen(sio::ecodes::ecAlreadyOpen); };
        ports.push_back(p.get());
        return p;
    });
    Start();
    ASSERT_FALSE(Port().IsOpen());
    ASSERT_EQ(dialogs.calls().size(), 1u); // "Error: ..." from the open
    EXPECT_EQ(Main().windowTitle(), "KYDTest COM2 (not open)");
    EXPECT_EQ(platform::applicationTitle(), "KYDTest COM2 (not open)");
}

TEST_F(OptionsTest, APortThatDidNotOpenKeepsTheStoredPortForTheNextStart)
{
    {
        platform::IniFile pre(iniPath);
        pre.writeInteger("Communication", "ComPort", 2);
        ASSERT_TRUE(pre.updateFile());
    }
    // The port is gone, and the operator cancels the choice of another:
    // no port is open.
    SetLinkPortFactory([this] {
        auto p = std::make_unique<SimPort>();
        p->openFault = [](const link::PortSettings& s) {
            if (s.ComNumber != 0)
                throw sio::EBadId(sio::ecodes::ecBadId);
            throw sio::ENoPortSelected(sio::ecodes::ecNoPortSelected);
        };
        ports.push_back(p.get());
        return p;
    });
    Start();
    ASSERT_FALSE(Port().IsOpen());
    app.reset(); // closing writes the settings
    platform::IniFile saved(iniPath);
    EXPECT_EQ(saved.readInteger("Communication", "ComPort", -1), 2);
}

// A missing port whose prompt the operator cancels: the tester's sentence,
// then the library's own text.
TEST_F(OptionsTest, CancelledPortChoiceSaysNoPortSelected)
{
    {
        platform::IniFile pre(iniPath);
        pre.writeInteger("Communication", "ComPort", 7); // not on this machine
        ASSERT_TRUE(pre.updateFile());
    }
    SetLinkPortFactory([this] {
        auto p = std::make_unique<SimPort>();
        p->promptAnswer = 0; // the choice is cancelled
        ports.push_back(p.get());
        return p;
    });
    Start();
    ASSERT_FALSE(Port().IsOpen());
    ASSERT_EQ(exceptions.messages().size(), 1u);
    EXPECT_EQ(exceptions.messages()[0],
              "No port selected.\nThe ComNumber property of the TSioComPort has not been set");
}

TEST_F(OptionsTest, ShowTimeLogicRunsOnShowingNotOnActivation)
{
    {
        platform::IniFile pre(iniPath);
        pre.writeInteger("Communication", "Baudrate", 19200);
        pre.writeBool("Logging", "LogEnabled", true);
        ASSERT_TRUE(pre.updateFile());
    }
    Start();
    ShowOptions();
    EXPECT_EQ(Options().BaudComboBox->currentText(), "9600");
    EXPECT_EQ(Options().InForce().BaudRate, 9600);

    SelectPort(2);
    // Browse offers to save, starting at the log file in force, and takes a
    // new name without asking about overwriting (the log is appended to).
    const std::string before = Options().InForce().LogFile;
    dialogs.queueFile(Path("picked.log"));
    QTest::mouseClick(Options().ButtonBrowseLogFile, Qt::LeftButton);
    ASSERT_EQ(dialogs.calls().size(), 1u);
    EXPECT_EQ(dialogs.calls()[0].kind, "saveFile");
    EXPECT_EQ(dialogs.calls()[0].start, before);
    EXPECT_FALSE(dialogs.calls()[0].confirmOverwrite);
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&Options(), &activate);
    ProcessEvents();
    EXPECT_EQ(Options().PortComboBox->currentData().toInt(), 2);
    EXPECT_EQ(Options().EditLogFile->text().toStdString(), Path("picked.log"));
    EXPECT_EQ(Options().InForce().LogFile, Path("picked.log"));
}

TEST_F(OptionsTest, LoggingSwitchIsInForceAtOnceAlsoWhenCancelled)
{
    Start();
    ShowOptions();
    QTest::mouseClick(Options().CheckBoxLogEnable, Qt::LeftButton);
    QTest::mouseClick(Options().ButtonCancel, Qt::LeftButton);
    EXPECT_TRUE(Options().InForce().LoggingEnabled);
    EXPECT_EQ(Options().InForce().Port, 1);
    Quit();
    platform::IniFile saved(iniPath);
    EXPECT_TRUE(saved.readBool("Logging", "LogEnabled", false));
}

TEST_F(OptionsTest, LoggingTickedAndCancelledToAFileThatCannotBeOpenedSaysSoOnce)
{
    const std::string log = Path("missing/KYD.LOG"); // its folder does not exist
    {
        platform::IniFile pre(iniPath);
        pre.writeString("Logging", "LogFile", log);
        ASSERT_TRUE(pre.updateFile());
    }
    Start();
    ShowOptions();
    QTest::mouseClick(Options().CheckBoxLogEnable, Qt::LeftButton);
    QTest::mouseClick(Options().ButtonCancel, Qt::LeftButton);
    ASSERT_TRUE(Options().InForce().LoggingEnabled);
    ASSERT_EQ(Options().InForce().LogFile, log);
    dialogs.clear();
    for (int i = 0; i < 3; ++i) {
        Port().QueueReply("0");
        Main().CommandLayer()->SendCommand("3", 5);
    }
    std::vector<std::string> said;
    for (const auto& c : dialogs.calls())
        said.push_back(c.text);
    EXPECT_EQ(said, std::vector<std::string>{"Could not open Log file: \n" + log});
}

TEST_F(OptionsTest, PositionsAndVisibilitySurviveARestart)
{
    Start();
    Main().move(310, 220);
    Main().ViewStatusMenuItem->trigger();
    App().StatusListFrame().move(40, 50);
    App().StatusListFrame().resize(500, 150);
    Main().ViewCmdStrMenuItem->trigger(); // shows the command and communication windows
    App().CmdStrForm().move(300, 400); // all of it on the screen (a place mostly off it is brought back)
    App().ComStringDlg().close(); // closed by the operator
    ASSERT_TRUE(App().CmdStrForm().isVisible());

    Restart();
    EXPECT_EQ(Main().pos(), QPoint(310, 220));
    EXPECT_TRUE(App().StatusListFrame().isVisible());
    EXPECT_EQ(App().StatusListFrame().pos(), QPoint(40, 50));
    EXPECT_EQ(App().StatusListFrame().size(), QSize(500, 150));
    EXPECT_TRUE(Main().ViewStatusMenuItem->isChecked());
    EXPECT_TRUE(App().CmdStrForm().isVisible());
    EXPECT_EQ(App().CmdStrForm().pos(), QPoint(300, 400));
    EXPECT_TRUE(Main().ViewCmdStrMenuItem->isChecked());
    EXPECT_FALSE(App().ComStringDlg().isVisible());
    EXPECT_FALSE(Main().ViewCommMenuItem->isChecked());
    // The port chosen at the first start is kept.
    EXPECT_EQ(Port().opens.front().ComNumber, 1);
    EXPECT_EQ(Main().windowTitle(), "KYDTest COM1");
}

TEST_F(OptionsTest, SettingsOfOtherWindowsAreKeptWhenSaving)
{
    {
        platform::IniFile pre(iniPath);
        pre.writeString("Flash", "LastHexFile", "/tmp/x.hex");
        pre.writeString("TDL", "dir", "/scripts/");
        ASSERT_TRUE(pre.updateFile());
    }
    Start();
    Quit();
    platform::IniFile saved(iniPath);
    EXPECT_EQ(saved.readString("Flash", "LastHexFile", ""), "/tmp/x.hex");
    EXPECT_EQ(saved.readString("TDL", "dir", ""), "/scripts/");
    EXPECT_EQ(saved.readInteger("Misc", "Top", 0), 130);
    // The design size, scaled for the font.
    EXPECT_EQ(saved.readInteger("ComWindow", "Width", 0), platform::UiScale::For().X(480));
}

TEST_F(OptionsTest, UnwritableSettingsFileIsReported)
{
    iniPath = Path("missing-folder/kydtest.INI");
    Start();
    Quit();
    const auto calls = dialogs.calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_NE(calls.back().text.find("could not be saved"), std::string::npos);
}

// A settings file that exists and cannot be read (here a folder) is said at
// start, and the tool then runs on its defaults without writing it back.
TEST_F(OptionsTest, UnreadableSettingsFileIsReportedAndLeftAlone)
{
    std::filesystem::create_directory(iniPath);
    Start();
    const auto calls = dialogs.calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front().text.rfind("The settings file cannot be used: " + iniPath + ": not a regular file", 0), 0u);
    Quit();
    EXPECT_EQ(dialogs.calls().size(), calls.size());
    EXPECT_TRUE(std::filesystem::is_directory(iniPath));
}

TEST(AboutBoxTest, ShowsTheProgramsVersionAndPicture)
{
    TAboutBox box(nullptr, platform::executablePath(), SourcePicture());
    EXPECT_EQ(box.windowTitle(), "About");
    EXPECT_EQ(box.ProductName->text(), KYD_PRODUCT_NAME);
    EXPECT_EQ(box.Version->text(), KYD_PRODUCT_VERSION);
    EXPECT_EQ(box.Copyright->text(), KYD_LEGAL_COPYRIGHT);
    EXPECT_EQ(box.Description->text(), KYD_FILE_DESCRIPTION);
    EXPECT_TRUE(box.Comments->text().isEmpty());
    ASSERT_FALSE(box.ProgramIcon->pixmap().isNull());
    EXPECT_EQ(box.ProgramIcon->pixmap().size(), QSize(85, 85));
}

TEST_F(OptionsTest, AboutBoxIsCentredOnTheScreen)
{
    Start();
    Main().move(0, 0);
    TAboutBox box(&Main(), platform::executablePath(), SourcePicture());
    box.show();
    ProcessEvents();
    const QPoint centre = Main().screen()->availableGeometry().center();
    EXPECT_LE((box.geometry().center() - centre).manhattanLength(), 4);
}

// The options dialog and the About box open through the program's one way of
// running a dialog modally, like every other modal window of the tool.
TEST_F(OptionsTest, OptionsAndAboutOpenThroughTheModalRunner)
{
    Start();
    std::vector<std::string> shown;
    const ModalHandler old = SetModalHandler([&shown](QDialog& d) {
        shown.push_back(d.objectName().toStdString());
        return int(QDialog::Rejected);
    });
    // Should a dialog still open a loop of its own, it is closed again so
    // the test fails rather than hangs.
    auto closeStray = [this] {
        QTimer::singleShot(0, &Main(), [] {
            if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                d->reject();
        });
    };
    closeStray();
    Main().MenuItemOptions->trigger();
    closeStray();
    Main().About->trigger();
    SetModalHandler(old);
    EXPECT_EQ(shown, (std::vector<std::string>{"OptionForm", "AboutBox"}));
}

TEST(AboutBoxTest, FileWithoutVersionInformationLeavesTheLabelsEmpty)
{
    TAboutBox box(nullptr, "/no/such/program", "/no/such/picture.jpg");
    EXPECT_TRUE(box.ProductName->text().isEmpty());
    EXPECT_TRUE(box.Version->text().isEmpty());
    EXPECT_TRUE(box.ProgramIcon->pixmap().isNull());
}

} // namespace
} // namespace kyd::app::test
