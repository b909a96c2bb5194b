// The main window against the simulated dispenser: commands typed in the
// command-string window, the busy indicator, abort, closing while busy, the
// Demo page and the Help menu.
#include "support_app.h"

#include "app/qt/CmdStr.h"
#include "app/qt/CommStr.h"
#include "app/qt/OptionDlg.h"
#include "app/qt/PLVRMain.h"
#include "app/qt/StatusList.h"
#include "app/qt/ToolWindow.h"
#include "firmware/qt/UnitNFC_Selector.h"
#include "link/PLVRCmd.h"
#include "link/Protokoll.h"
#include "platform/qt/ui_scale.h"
#include "support/end_signal_defaults.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QWindow>
#include <QToolButton>

#include <csignal>
#include <filesystem>
#include <set>

namespace kyd::app::test {

namespace {

class MainWindowTest : public AppFixture {
protected:
    // Both tool windows shown, the command layer handed over.
    void StartWithToolWindows()
    {
        Start();
        Main().ViewCmdStrMenuItem->trigger();
        Main().ViewStatusMenuItem->trigger();
        ASSERT_TRUE(App().CmdStrForm().isVisible());
        ASSERT_EQ(App().CmdStrForm().CommandLayer(), Main().CommandLayer());
    }
    QStringList ComLines() { return App().ComStringDlg().Lines(); }
    QString LastStatusLine()
    {
        QListWidget* l = App().StatusListFrame().StatusListBox;
        return l->count() ? l->item(l->count() - 1)->text() : QString();
    }
    bool IdleLooks()
    {
        return Main().MenuPageControl->isEnabled() && !Main().ToolButtonAbort->isEnabled() &&
               Main().ToolButtonReset->isEnabled() && Main().MenuItemOptions->isEnabled() &&
               Main().Scripts1->menuAction()->isEnabled();
    }
    bool BusyLooks()
    {
        return !Main().MenuPageControl->isEnabled() && Main().ToolButtonAbort->isEnabled() &&
               !Main().ToolButtonReset->isEnabled() && !Main().ToolButtonLiftup->isEnabled() &&
               !Main().MenuItemOptions->isEnabled() && !Main().Scripts1->menuAction()->isEnabled() &&
               !Main().NewUploadFirmvare1->isEnabled();
    }
};

TEST_F(MainWindowTest, StartsWithTitleCaptionPositionAndPages)
{
    Start();
    EXPECT_EQ(Main().windowTitle(), "KYDTest COM1"); // no port configured: the operator picked 1
    EXPECT_EQ(platform::applicationTitle(), "KYDTest COM1");
    EXPECT_EQ(Main().pos(), QPoint(200, 130));
    // The size bounds are design sizes, scaled for the font; every page tab
    // is shown in full.
    const platform::UiScale scale = platform::UiScale::For(&Main());
    EXPECT_EQ(Main().minimumSize(), scale.Size({493, 328}));
    EXPECT_EQ(Main().maximumSize(), scale.Size({640, 480}));
    EXPECT_LE(Main().MenuPageControl->tabBar()->sizeHint().width(), Main().MenuPageControl->width());
    EXPECT_EQ(Main().MenuPageControl->count(), 8);
    EXPECT_EQ(Main().MenuPageControl->currentWidget(), Main().TabSheetTrans);
    EXPECT_FALSE(Main().ToolButtonAbort->isEnabled());
    EXPECT_TRUE(IdleLooks());
    // No demo files: the Demo page is hidden.
    EXPECT_FALSE(Main().MenuPageControl->isTabVisible(Main().MenuPageControl->indexOf(Main().TabSheetDemo)));
    // The tool windows start hidden, their menu items unchecked.
    EXPECT_FALSE(App().ComStringDlg().isVisible());
    EXPECT_FALSE(Main().ViewCommMenuItem->isChecked());
    EXPECT_FALSE(Main().ViewCmdStrMenuItem->isChecked());
}

// Whatever a line brings, the communication-strings window never holds a
// line of megabytes: the start of it is shown, and how much was cut.
TEST_F(MainWindowTest, CommunicationStringsCutALineOfMegabytes)
{
    Start();
    TComStringDlg& window = App().ComStringDlg();
    window.AddLine("In : " + std::string(3'000'000, '0'));
    const QString cut = window.Lines().last();
    EXPECT_EQ(cut.size(), QString(" ... (2980005 more characters not shown)").size() +
                              static_cast<int>(TComStringDlg::kMaxLineChars));
    EXPECT_TRUE(cut.startsWith("In : 000")) << cut.left(20).toStdString();
    EXPECT_TRUE(cut.endsWith(" ... (2980005 more characters not shown)")) << cut.right(60).toStdString();
    window.AddLine("In : 030");
    EXPECT_EQ(window.Lines().last(), "In : 030");
}

TEST_F(MainWindowTest, PlaceSavedOffTheScreenComesBackOntoIt)
{
    {
        platform::IniFile pre(iniPath);
        pre.writeInteger("Misc", "Top", 5000);
        pre.writeInteger("Misc", "Left", -3000);
        ASSERT_TRUE(pre.updateFile());
    }
    Start();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize size = Main().frameGeometry().size();
    EXPECT_TRUE(area.contains(Main().pos())) << Main().pos().x() << "," << Main().pos().y();
    EXPECT_LE(Main().pos().y() + size.height(), area.bottom() + 1);
    EXPECT_EQ(Main().pos().x(), area.left());
    // Saved where it is now shown.
    const QPoint shown = Main().pos();
    Quit();
    platform::IniFile saved(iniPath);
    EXPECT_EQ(saved.readInteger("Misc", "Top", 0), shown.y());
    EXPECT_EQ(saved.readInteger("Misc", "Left", 0), shown.x());
}

TEST_F(MainWindowTest, ToolWindowPlacesSavedOffTheScreenComeBackOntoIt)
{
    {
        platform::IniFile pre(iniPath);
        pre.writeBool("CmdWindow", "Visible", true);
        pre.writeInteger("CmdWindow", "Top", 4000);
        pre.writeInteger("CmdWindow", "Left", 3000);
        pre.writeBool("ComWindow", "Visible", true);
        pre.writeInteger("ComWindow", "Top", 100);
        pre.writeInteger("ComWindow", "Left", -2500);
        pre.writeInteger("ComWindow", "Width", 400);
        pre.writeInteger("ComWindow", "Height", 150);
        // Half of it on the screen: the operator can reach it, so it stays.
        pre.writeBool("StatusWindow", "Visible", true);
        pre.writeInteger("StatusWindow", "Top", 20);
        pre.writeInteger("StatusWindow", "Left", -150);
        pre.writeInteger("StatusWindow", "Width", 400);
        pre.writeInteger("StatusWindow", "Height", 150);
        ASSERT_TRUE(pre.updateFile());
    }
    Start();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    for (QWidget* w : std::initializer_list<QWidget*>{&App().CmdStrForm(), &App().ComStringDlg()}) {
        ASSERT_TRUE(w->isVisible()) << w->windowTitle().toStdString();
        const FrameBox frame = FrameOf(w);
        EXPECT_TRUE(area.contains(QRect(frame.X, frame.Y, frame.W, frame.H)))
            << w->windowTitle().toStdString() << ": " << frame.X << "," << frame.Y << " " << frame.W << "x"
            << frame.H;
    }
    EXPECT_EQ(App().ComStringDlg().size(), QSize(400, 150)); // it fits: its size is kept
    EXPECT_EQ(App().StatusListFrame().pos(), QPoint(-150, 20));
}

TEST_F(MainWindowTest, EndSignalsSaveTheSettingsAsClosingDoes)
{
    const kyd::test::DefaultEndSignals defaults;
    for (const int sig : {SIGTERM, SIGHUP}) {
        Start();
        Main().move(300 + sig, 140 + sig);
        int quits = 0;
        App().EndOnSignals([&quits] { ++quits; });
        ASSERT_EQ(std::raise(sig), 0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return quits == 1; }, 30000));
        EXPECT_TRUE(App().Saved());
        // On disk before the program has ended.
        platform::IniFile saved(iniPath);
        EXPECT_EQ(saved.readInteger("Misc", "Left", 0), 300 + sig);
        EXPECT_EQ(saved.readInteger("Misc", "Top", 0), 140 + sig);
        Quit();
    }
}

TEST_F(MainWindowTest, TypedCommandShowsLinesStatusAndLogEntry)
{
    // Logging on into the temporary folder.
    {
        platform::IniFile pre(iniPath);
        pre.writeInteger("Communication", "ComPort", 2);
        pre.writeBool("Communication", "Handshake", false);
        pre.writeBool("Logging", "LogEnabled", true);
        pre.writeString("Logging", "LogFile", Path("kyd.log"));
        ASSERT_TRUE(pre.updateFile());
    }
    StartWithToolWindows();
    EXPECT_EQ(Main().windowTitle(), "KYDTest COM2");

    TypeCommand("A");
    ASSERT_EQ(Port().written.size(), 1u);
    EXPECT_EQ(Port().written[0], "A41\r");
    const QStringList lines = ComLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "Out: A41");
    ASSERT_TRUE(lines[1].startsWith("In : 0")) << lines[1].toStdString();

    const QString status = QString::fromLatin1(Main().Model()->CodeText.c_str());
    EXPECT_FALSE(status.isEmpty());
    EXPECT_EQ(Main().StatusPanel2->text(), status);
    EXPECT_EQ(LastStatusLine(), status);
    EXPECT_TRUE(IdleLooks());
    EXPECT_EQ(Main().StatusPanel0->text(), "0:00:00");

    const std::string log = ReadFile(Path("kyd.log"));
    EXPECT_NE(log.find("Out: A41"), std::string::npos) << log;
    EXPECT_NE(log.find("In : " + lines[1].mid(5).toStdString()), std::string::npos) << log;

    // The history: newest first, each text once; an empty Enter sends nothing.
    TypeCommand("A");
    // The command sent stays selected: Backspace empties the box.
    QTest::keyClick(App().CmdStrForm().CmdCombo, Qt::Key_Backspace);
    TypeCommand("");
    EXPECT_EQ(Port().written.size(), 2u);
    EXPECT_EQ(App().CmdStrForm().CmdCombo->count(), 1);
    EXPECT_EQ(App().CmdStrForm().CmdCombo->itemText(0), "A");
}

// A prefix of a history entry goes out as typed, never completed to the
// entry ("Z" is not "ZB"); the history is still one arrow key away.
TEST_F(MainWindowTest, TypedPrefixOfAHistoryEntryIsSentAsTyped)
{
    StartWithToolWindows();
    // Typed as the operator types: into the focused command window.
    QComboBox* combo = App().CmdStrForm().CmdCombo;
    QApplication::setActiveWindow(&App().CmdStrForm());
    combo->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([combo] { return combo->lineEdit()->hasFocus(); }, 2000));
    TypeCommand("ZB");
    TypeCommand("Z");
    EXPECT_EQ(Port().written, (std::vector<std::string>{"ZB18\r", "Z5:\r"}));

    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->currentText(), "Z");
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(combo->currentText(), "ZB");
    QTest::keyClick(combo, Qt::Key_Return);
    ASSERT_EQ(Port().written.size(), 3u); // one Enter, one exchange
    EXPECT_EQ(Port().written[2], "ZB18\r");
}

// Keys only, as the operator types them: nothing clears the box between
// two commands. After Enter the command sent stays selected, so the next
// one typed takes its place instead of being added to it.
TEST_F(MainWindowTest, CommandsTypedOneAfterTheOtherEachGoOutAsTyped)
{
    StartWithToolWindows();
    QComboBox* combo = App().CmdStrForm().CmdCombo;
    QApplication::setActiveWindow(&App().CmdStrForm());
    combo->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([combo] { return combo->lineEdit()->hasFocus(); }, 2000));
    const auto type = [combo](const char* keys) {
        QTest::keyClicks(combo, QString::fromLatin1(keys));
        QTest::keyClick(combo, Qt::Key_Return);
    };
    type("Q");
    EXPECT_EQ(combo->lineEdit()->selectedText(), "Q");
    type("Q");
    type("A");
    EXPECT_EQ(Port().written, (std::vector<std::string>{"Q51\r", "Q51\r", "A41\r"}));
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->itemText(0), "A");
    EXPECT_EQ(combo->itemText(1), "Q");
    EXPECT_EQ(combo->lineEdit()->selectedText(), "A");
    // A key that moves the cursor keeps the text, to be added to.
    QTest::keyClick(combo, Qt::Key_End);
    type("1");
    EXPECT_EQ(Port().written.back(), "A170\r");
}

TEST_F(MainWindowTest, TypedCharacterTheLineCannotCarryIsRefusedNotSentAsAQuestionMark)
{
    StartWithToolWindows();
    QComboBox* combo = App().CmdStrForm().CmdCombo;
    // Answers for whatever goes out (the simulator has none for these).
    for (int i = 0; i < 5; ++i)
        Port().QueueReply("0");
    combo->lineEdit()->setText(QString::fromUtf8("Z\u20AC"));
    QTest::keyClick(combo, Qt::Key_Return);
    EXPECT_TRUE(Port().written.empty());
    ASSERT_EQ(dialogs.calls().size(), 1u);
    EXPECT_EQ(dialogs.calls()[0].type, platform::DlgType::Error);
    EXPECT_NE(dialogs.calls()[0].text.find("U+20AC"), std::string::npos) << dialogs.calls()[0].text;
    EXPECT_EQ(combo->count(), 0); // not taken into the history
    // One beyond the basic plane is named by its own code, not by half of it.
    dialogs.clear();
    combo->lineEdit()->setText(QString::fromUtf8("Z\U0001F600"));
    QTest::keyClick(combo, Qt::Key_Return);
    EXPECT_TRUE(Port().written.empty());
    ASSERT_EQ(dialogs.calls().size(), 1u);
    EXPECT_NE(dialogs.calls()[0].text.find("(U+1F600)"), std::string::npos) << dialogs.calls()[0].text;
    // Nor does a Latin-1 letter, nor a control character: the line carries
    // printable 7-bit text only.
    for (const char* text : {"Z\u00E9", "Z\u007F", "Z\t"}) {
        dialogs.clear();
        combo->lineEdit()->setText(QString::fromUtf8(text));
        QTest::keyClick(combo, Qt::Key_Return);
        EXPECT_TRUE(Port().written.empty()) << text;
        EXPECT_EQ(dialogs.calls().size(), 1u) << text;
    }
}

// "A\xE9" typed on the keyboard: refused with a message naming the letter,
// before anything goes out, and the window is idle at once (the dispenser
// would ignore the frame and leave the tool waiting for its time-out).
TEST_F(MainWindowTest, TypedLetterOutsideAsciiIsRefusedBeforeItIsSent)
{
    StartWithToolWindows();
    Port().QueueReply("0"); // an answer, should the frame go out
    QComboBox* combo = App().CmdStrForm().CmdCombo;
    combo->setFocus();
    QTest::keyClicks(combo, "A");
    QTest::sendKeyEvent(QTest::Click, combo, Qt::Key_Eacute, QString::fromUtf8("\u00E9"), Qt::NoModifier);
    ASSERT_EQ(combo->currentText(), QString::fromUtf8("A\u00E9"));
    QTest::keyClick(combo, Qt::Key_Return);
    EXPECT_TRUE(Port().written.empty());
    ASSERT_EQ(dialogs.calls().size(), 1u);
    EXPECT_EQ(dialogs.calls()[0].type, platform::DlgType::Error);
    EXPECT_NE(dialogs.calls()[0].text.find("(U+00E9)"), std::string::npos) << dialogs.calls()[0].text;
    EXPECT_TRUE(IdleLooks());
    EXPECT_FALSE(Main().CommandLayer()->Busy());
    // Left selected: the next command typed takes its place.
    TypeCommand("A");
    EXPECT_EQ(Port().written, std::vector<std::string>{"A41\r"});
    EXPECT_EQ(combo->count(), 1); // the refused text is not in the history
}

// After every Enter the text is selected, also when nothing went out
// because the port was gone: once the port is back, the command typed next
// goes out as typed, not added to the one before.
TEST_F(MainWindowTest, TextIsSelectedAfterACommandTheLinkCouldNotSend)
{
    StartWithToolWindows();
    QComboBox* combo = App().CmdStrForm().CmdCombo;
    const link::PortSettings settings = Port().Settings();
    Port().Close();
    TypeCommand("Q");
    ASSERT_EQ(exceptions.messages().size(), 1u);
    EXPECT_NE(exceptions.messages()[0].find("is not available"), std::string::npos) << exceptions.messages()[0];
    EXPECT_EQ(combo->lineEdit()->selectedText(), "Q");
    EXPECT_TRUE(Port().written.empty());
    // The port back.
    Port().Open(settings);
    TypeCommand("Q");
    EXPECT_EQ(Port().written, std::vector<std::string>{"Q51\r"});
    EXPECT_EQ(combo->lineEdit()->selectedText(), "Q");
}

TEST_F(MainWindowTest, CommandLayerIsHandedOverWhenTheMainWindowIsShown)
{
    {
        platform::IniFile pre(iniPath);
        pre.writeBool("CmdWindow", "Visible", true); // shown at start, not from the View menu
        ASSERT_TRUE(pre.updateFile());
    }
    Start(false);
    ASSERT_TRUE(App().CmdStrForm().isVisible());
    ASSERT_EQ(App().CmdStrForm().CommandLayer(), nullptr);
    TypeCommand("A"); // nothing to send it with yet
    EXPECT_TRUE(Port().written.empty());
    EXPECT_TRUE(exceptions.messages().empty());

    App().Show();
    ProcessEvents();
    EXPECT_EQ(App().CmdStrForm().CommandLayer(), Main().CommandLayer());
    // The "A" not sent is still in the box: selected, the new one replaces it.
    QTest::keyClick(App().CmdStrForm().CmdCombo, Qt::Key_A, Qt::ControlModifier);
    TypeCommand("A");
    EXPECT_EQ(Port().written, std::vector<std::string>{"A41\r"});
}

TEST_F(MainWindowTest, BusyOneThenZeroShowsTheElapsedTime)
{
    Start();
    Main().SetBusy(1);
    EXPECT_TRUE(BusyLooks());
    EXPECT_TRUE(Main().TimerCount->isActive());
    clock.advance(5'000);
    Main().TimerCountTimer();
    EXPECT_EQ(Main().StatusPanel0->text(), "0:00:05");
    clock.advance(2'000);
    Main().SetBusy(0);
    EXPECT_TRUE(IdleLooks());
    EXPECT_FALSE(Main().TimerCount->isActive());
    EXPECT_EQ(Main().StatusPanel0->text(), "0:00:07");
}

TEST_F(MainWindowTest, BatchKeepsTheWindowBusyUntilItsEnd)
{
    Start();
    Main().SetBusy(2);
    EXPECT_TRUE(BusyLooks());
    for (int s : {1, 0, 1, 0}) {
        clock.advance(1'000);
        Main().SetBusy(s);
        EXPECT_TRUE(BusyLooks()) << "after " << s;
    }
    clock.advance(1'000);
    Main().SetBusy(3);
    EXPECT_TRUE(IdleLooks());
    EXPECT_EQ(Main().StatusPanel0->text(), "0:00:05"); // since the 2

    // A second 3 after the batch's end leaves the window idle.
    Main().SetBusy(3);
    EXPECT_TRUE(IdleLooks());
}

TEST_F(MainWindowTest, AbortDuringAHeldReplyCancelsTheExchange)
{
    StartWithToolWindows();
    Port().simulator.updateFaults([](sim::SimFaults& f) { f.silent = -1; });
    bool busyDuringWait = false;
    Port().onWrite = [this, &busyDuringWait](const std::string&) {
        loop.postCall([this, &busyDuringWait] {
            busyDuringWait = BusyLooks() && App().CmdStrForm().CmdCombo->lineEdit()->isReadOnly();
            Main().ToolButtonAbort->click();
        });
    };
    TypeCommand("3");
    EXPECT_TRUE(busyDuringWait);
    EXPECT_EQ(Main().StatusPanel2->text(), "Communication Canceled");
    EXPECT_EQ(LastStatusLine(), "Communication Canceled");
    EXPECT_EQ(ComLines().last(), "In : ");
    EXPECT_TRUE(IdleLooks());
    EXPECT_FALSE(App().CmdStrForm().CmdCombo->lineEdit()->isReadOnly());
}

TEST_F(MainWindowTest, HeldReplyRunsIntoItsTimeOutOnTheProcessClock)
{
    StartWithToolWindows();
    Port().simulator.updateFaults([](sim::SimFaults& f) { f.silent = -1; });
    // 180 s: 180 * 18 + 9 ticks of 55 ms.
    Port().onWrite = [this](const std::string&) { loop.postCall([this] { clock.advance(3249 * 55); }); };
    TypeCommand("3");
    EXPECT_EQ(Main().StatusPanel2->text(), "No Connection");
    EXPECT_TRUE(IdleLooks());
}

TEST_F(MainWindowTest, ClosingWhileAnExchangeRunsAbortsItAndClosesAfterwards)
{
    StartWithToolWindows();
    Port().simulator.updateFaults([](sim::SimFaults& f) { f.silent = -1; });
    bool closedDuringWait = true;
    Port().onWrite = [this, &closedDuringWait](const std::string&) {
        loop.postCall([this, &closedDuringWait] {
            Main().close();
            closedDuringWait = !Main().isVisible();
        });
    };
    TypeCommand("3");
    EXPECT_FALSE(closedDuringWait);
    EXPECT_EQ(Main().StatusPanel2->text(), "Communication Canceled");
    EXPECT_FALSE(App().Saved());
    ProcessEvents();
    EXPECT_FALSE(Main().isVisible());
    EXPECT_TRUE(App().Saved());
    EXPECT_NE(ReadFile(iniPath).find("[Misc]"), std::string::npos);
}

TEST_F(MainWindowTest, CommunicationWindowKeepsTheLast100Lines)
{
    Start();
    for (int i = 1; i <= 101; ++i)
        App().ComStringDlg().AddLine("line " + std::to_string(i));
    const QStringList lines = App().ComStringDlg().Lines();
    ASSERT_EQ(lines.size(), 100);
    EXPECT_EQ(lines.first(), "line 2");
    EXPECT_EQ(lines.last(), "line 101");
}

TEST_F(MainWindowTest, StatusWindowKeepsTheNewestLineCurrentAlsoWhenFull)
{
    Start();
    QListWidget* list = App().StatusListFrame().StatusListBox;
    for (int i = 1; i <= 130; ++i) {
        Main().ShowInfoText("info " + std::to_string(i));
        ASSERT_EQ(list->currentRow(), list->count() - 1) << i;
    }
    EXPECT_EQ(list->count(), 100);
    EXPECT_EQ(list->item(0)->text(), "info 31");
    EXPECT_EQ(list->currentItem()->text(), "info 130");
    EXPECT_EQ(Main().StatusPanel1->text(), "info 130");
    // Changing the page clears the information panel.
    Main().MenuPageControl->setCurrentIndex(1);
    EXPECT_TRUE(Main().StatusPanel1->text().isEmpty());
}

TEST_F(MainWindowTest, ViewCommandStringShowsBothToolWindows)
{
    Start();
    Main().ViewCmdStrMenuItem->trigger();
    EXPECT_TRUE(App().CmdStrForm().isVisible());
    EXPECT_TRUE(App().ComStringDlg().isVisible());
    EXPECT_TRUE(Main().ViewCmdStrMenuItem->isChecked());
    EXPECT_TRUE(Main().ViewCommMenuItem->isChecked());
    EXPECT_TRUE(App().Ini().readBool("CmdWindow", "Visible", false));
    EXPECT_TRUE(App().Ini().readBool("ComWindow", "Visible", false));

    // Hiding the command window leaves the other one.
    Main().ViewCmdStrMenuItem->trigger();
    EXPECT_FALSE(App().CmdStrForm().isVisible());
    EXPECT_TRUE(App().ComStringDlg().isVisible());
    EXPECT_FALSE(Main().ViewCmdStrMenuItem->isChecked());
    EXPECT_FALSE(App().Ini().readBool("CmdWindow", "Visible", true));

    // Closed by the operator: unchecked, and remembered hidden.
    App().ComStringDlg().close();
    EXPECT_FALSE(Main().ViewCommMenuItem->isChecked());
    EXPECT_FALSE(App().Ini().readBool("ComWindow", "Visible", true));
}

TEST_F(MainWindowTest, OnlyTheCommandWindowStaysOnTopAndNotOverAModalDialog)
{
    StartWithToolWindows();
    // The other two are ordinary windows (not transient for the main
    // window), so the main window can be raised above them.
    EXPECT_EQ(App().ComStringDlg().windowType(), Qt::Window);
    EXPECT_EQ(App().StatusListFrame().windowType(), Qt::Window);
    EXPECT_FALSE(App().ComStringDlg().windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(App().StatusListFrame().windowFlags() & Qt::WindowStaysOnTopHint);
    QWindow* cmd = App().CmdStrForm().windowHandle();
    ASSERT_NE(cmd, nullptr);
    EXPECT_TRUE(cmd->flags() & Qt::WindowStaysOnTopHint);

    // While the modal options dialog is open the command window does not
    // stay on top of it.
    bool onTopDuringDialog = true;
    QTimer::singleShot(0, &Main(), [&] {
        onTopDuringDialog = cmd->flags().testFlag(Qt::WindowStaysOnTopHint);
        App().Options().reject();
    });
    Main().MenuItemOptions->trigger();
    EXPECT_FALSE(onTopDuringDialog);
    EXPECT_TRUE(cmd->flags() & Qt::WindowStaysOnTopHint);
}

// The firmware downloader window costs nothing until it is used: it is made
// when first asked for, once, as a window of the main window.
TEST_F(MainWindowTest, FirmwareWindowIsMadeOnFirstUse)
{
    Start();
    EXPECT_EQ(Main().findChild<QDialog*>("FormFlashDownLoader"), nullptr);
    firmware::TFormFlashDownLoader& w = App().FlashDownLoader();
    EXPECT_EQ(Main().findChild<QDialog*>("FormFlashDownLoader"), &w);
    EXPECT_EQ(&App().FlashDownLoader(), &w);
    EXPECT_FALSE(w.isVisible());
    Quit();
}

TEST_F(MainWindowTest, DemoPageHasOneButtonPerDemoFileInRowsAndColumns)
{
    WriteFile("demo1.tdl", "//   Dispense test\r\nDISPENSE 1\r\n");
    WriteFile("demo2.tdl", "// " + std::string(30, 'x') + "\n");
    WriteFile("demo3.tdl", "RESET\n");
    WriteFile("demo4.tdl", "");
    WriteFile("demo5.tdl", "//\n");
    WriteFile("demo10.tdl", "// not a demo file\n");
    WriteFile("other.tdl", "// nor this one\n");
    Start();
    QTabWidget* pages = Main().MenuPageControl;
    EXPECT_TRUE(pages->isTabVisible(pages->indexOf(Main().TabSheetDemo)));
    ASSERT_EQ(Main().DemoFiles().size(), 5u);
    pages->setCurrentWidget(Main().TabSheetDemo);
    ProcessEvents();

    std::vector<QPushButton*> buttons;
    for (int i = 0; i < 5; ++i) {
        auto* b = Main().PanelDemo->findChild<QPushButton*>(QStringLiteral("DemoButton%1").arg(i));
        ASSERT_NE(b, nullptr) << i;
        buttons.push_back(b);
    }
    EXPECT_EQ(buttons[0]->text(), "Dispense test");
    EXPECT_EQ(buttons[1]->text(), QString(19, 'x'));
    EXPECT_EQ(buttons[2]->text(), "demo3.tdl");
    EXPECT_EQ(buttons[3]->text(), "demo4.tdl");
    EXPECT_EQ(buttons[4]->text(), "demo5.tdl");
    EXPECT_EQ(buttons[0]->toolTip(), "demo1.tdl");
    EXPECT_EQ(buttons[3]->property("Tag").toInt(), 3);
    // Five files: two rows of three; the fourth starts the second row.
    EXPECT_EQ(buttons[0]->y(), buttons[2]->y());
    EXPECT_GT(buttons[3]->y(), buttons[2]->y());
    EXPECT_EQ(buttons[3]->x(), buttons[0]->x());
    EXPECT_NEAR(buttons[0]->width(), buttons[1]->width(), 1);
}

TEST_F(MainWindowTest, DemoGridsForThreeAndSixteenFiles)
{
    // Rows and columns of the buttons as the page shows them.
    auto shape = [this](int count) {
        std::set<int> xs, ys;
        for (int i = 0; i < count; ++i) {
            auto* b = Main().PanelDemo->findChild<QPushButton*>(QStringLiteral("DemoButton%1").arg(i));
            EXPECT_NE(b, nullptr) << i;
            if (b) {
                xs.insert(b->x());
                ys.insert(b->y());
            }
        }
        return std::make_pair(ys.size(), xs.size());
    };
    for (int i = 1; i <= 3; ++i)
        WriteFile("demo" + std::to_string(i) + ".tdl", "RESET\n");
    Start();
    Main().MenuPageControl->setCurrentWidget(Main().TabSheetDemo);
    ProcessEvents();
    EXPECT_EQ(shape(3), std::make_pair(std::size_t{1}, std::size_t{3}));

    const char* more = "456789ABCDEFG";
    for (const char* c = more; *c; ++c)
        WriteFile(std::string("demo") + *c + ".tdl", "RESET\n");
    Restart();
    Main().MenuPageControl->setCurrentWidget(Main().TabSheetDemo);
    ProcessEvents();
    ASSERT_EQ(Main().DemoFiles().size(), 16u);
    EXPECT_EQ(shape(16), std::make_pair(std::size_t{4}, std::size_t{4}));
}

TEST_F(MainWindowTest, HelpItemsFollowTheirFilesAndFailuresAreShown)
{
    std::filesystem::create_directories(Path("help"));
    WriteFile("help/troubleshooting.html", "help");
    Start();
    EXPECT_FALSE(Main().RIDURadeHelp->isEnabled());
    ASSERT_TRUE(Main().KYDTroubleshooting->isEnabled());

    opener.failWith("no application to open it was found");
    Main().KYDTroubleshooting->trigger();
    ASSERT_EQ(opener.requests().size(), 1u);
    EXPECT_EQ(opener.requests()[0].path, Path("help/troubleshooting.html"));
    EXPECT_EQ(opener.requests()[0].workDir, dir);
    const auto calls = dialogs.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].type, platform::DlgType::Error);
    EXPECT_NE(calls[0].text.find("troubleshooting.html"), std::string::npos);
    EXPECT_NE(calls[0].text.find("no application"), std::string::npos);
}

TEST_F(MainWindowTest, CommandOnAClosedPortIsReportedAndLeavesTheWindowIdle)
{
    StartWithToolWindows();
    Port().Close();
    TypeCommand("A");
    ASSERT_EQ(exceptions.messages().size(), 1u);
    EXPECT_TRUE(IdleLooks());
    EXPECT_FALSE(Main().CommandLayer()->Busy());
}

} // namespace
} // namespace kyd::app::test
