// Scripts from the main window: the demo buttons, the Scripts menu (open,
// run again, run multiple times, continue), the abort button during a
// script and the cassette window a script asks for, all against the
// simulated dispenser.
#include "support/stepping_clock.h"
#include "support_app.h"
#include "support/end_signal_defaults.h"

#include "app/qt/CassInfo.h"
#include "app/qt/CommStr.h"
#include "app/qt/OptionDlg.h"
#include "app/qt/PLVRMain.h"
#include "app/qt/StatusList.h"
#include "link/Protokoll.h"
#include "link/TDLScript.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <memory>

namespace kyd::app::test {

namespace {

class ScriptsTest : public AppFixture {
protected:
    // Commands written to the dispenser, without checksum and carriage return.
    std::vector<std::string> Commands() const
    {
        std::vector<std::string> out;
        for (const std::string& w : Port().written)
            out.push_back(w.size() >= 3 ? w.substr(0, w.size() - 3) : w);
        return out;
    }
    SimPort& Port() const { return *ports.back(); }

    std::vector<std::string> DialogTexts(const std::string& kind) const
    {
        std::vector<std::string> out;
        for (const auto& c : dialogs.calls())
            if (c.kind == kind)
                out.push_back(c.text);
        return out;
    }

    bool ScriptItemsIdle(bool runAgain, bool cont)
    {
        return Main().OpenTDLfile->isEnabled() && Main().ScriptsRunagain->isEnabled() == runAgain &&
               Main().ScriptsRunMutiple->isEnabled() == runAgain && Main().ScriptContinue->isEnabled() == cont;
    }
    bool AllScriptItemsDisabled()
    {
        return !Main().OpenTDLfile->isEnabled() && !Main().ScriptsRunagain->isEnabled() &&
               !Main().ScriptsRunMutiple->isEnabled() && !Main().ScriptContinue->isEnabled() &&
               !Main().Scripts1->menuAction()->isEnabled();
    }
    bool BusyLooks()
    {
        return !Main().MenuPageControl->isEnabled() && Main().ToolButtonAbort->isEnabled() && AllScriptItemsDisabled();
    }

    // Opens the script through the Scripts menu with the file chooser
    // answering path.
    void OpenScript(const std::string& path)
    {
        dialogs.queueFile(path);
        Main().OpenTDLfile->trigger();
    }

};

TEST_F(ScriptsTest, DemoButtonRunsItsScriptAndTheCommunicationWindowShowsIt)
{
    WriteFile("demo1.tdl", "// Reset and open\r\nRESET\r\nLIFTS_UP\r\n");
    WriteFile("demo2.tdl", "READ_PROGRAM_ID\n");
    Start();
    Main().ViewCommMenuItem->trigger();
    QTabWidget* pages = Main().MenuPageControl;
    pages->setCurrentWidget(Main().TabSheetDemo);
    ProcessEvents();
    auto* button = Main().PanelDemo->findChild<QPushButton*>("DemoButton0");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "Reset and open");
    EXPECT_EQ(Main().DemoScript(), nullptr); // created on first use

    bool busyDuringRun = true;
    Port().onWrite = [this, &busyDuringRun](const std::string&) { busyDuringRun = busyDuringRun && BusyLooks(); };
    button->click();

    EXPECT_EQ(Commands(), (std::vector<std::string>{"0", "8"}));
    EXPECT_TRUE(busyDuringRun);
    const QStringList lines = App().ComStringDlg().Lines();
    ASSERT_EQ(lines.size(), 4) << lines.join("|").toStdString();
    EXPECT_EQ(lines[0], "Out: 030");
    EXPECT_TRUE(lines[1].startsWith("In : 0")) << lines[1].toStdString();
    EXPECT_EQ(lines[2], "Out: 838");
    EXPECT_EQ(Main().StatusPanel1->text(), "TDL-file done");
    ASSERT_NE(Main().DemoScript(), nullptr);
    EXPECT_EQ(Main().DemoScript()->FileName(), Path("demo1.tdl"));
    EXPECT_EQ(Main().OpenedScript(), nullptr);
    // The demo run leaves the Scripts menu as it was.
    EXPECT_TRUE(pages->isEnabled());
    EXPECT_TRUE(ScriptItemsIdle(false, false));

    // The other button loads its own file into the same engine.
    Port().written.clear();
    Main().PanelDemo->findChild<QPushButton*>("DemoButton1")->click();
    EXPECT_EQ(Commands(), (std::vector<std::string>{"A"}));
    EXPECT_EQ(Main().DemoScript()->FileName(), Path("demo2.tdl"));
    EXPECT_TRUE(exceptions.messages().empty());
}

TEST_F(ScriptsTest, OpenedScriptRunsAndItsFolderServesLogFilesAndTheNextOpen)
{
    std::filesystem::create_directories(Path("sub"));
    WriteFile("sub/test.tdl", "READ_PROGRAM_ID\nLOGFILE run.log\nRESET\n");
    Start();
    EXPECT_TRUE(ScriptItemsIdle(false, false)); // only "Open" at start

    // Cancelled: nothing happens.
    dialogs.queueFile(std::nullopt);
    Main().OpenTDLfile->trigger();
    EXPECT_EQ(Main().OpenedScript(), nullptr);
    EXPECT_TRUE(Port().written.empty());
    EXPECT_EQ(App().Ini().readString("TDL", "dir", "unset"), "unset");

    bool busyDuringRun = true;
    Port().onWrite = [this, &busyDuringRun](const std::string&) { busyDuringRun = busyDuringRun && BusyLooks(); };
    OpenScript(Path("sub/test.tdl"));
    EXPECT_TRUE(busyDuringRun);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"A", "0"}));
    EXPECT_EQ(Main().StatusPanel1->text(), "TDL-file done");
    EXPECT_TRUE(ScriptItemsIdle(true, false));
    EXPECT_EQ(App().Ini().readString("TDL", "dir", ""), Path("sub/"));
    EXPECT_EQ(App().Options().InForce().ScriptFolder, Path("sub/"));
    // The log file named in the script lies beside it and got the exchange.
    const std::string log = ReadFile(Path("sub/run.log"));
    EXPECT_NE(log.find("Opened by TDL script : "), std::string::npos) << log;
    EXPECT_NE(log.find("030"), std::string::npos) << log;
    const auto opens = DialogTexts("openFile");
    EXPECT_EQ(opens.size(), 2u);

    // Run again runs the same file once more.
    Port().written.clear();
    Main().ScriptsRunagain->trigger();
    EXPECT_EQ(Commands(), (std::vector<std::string>{"A", "0"}));
    EXPECT_TRUE(ScriptItemsIdle(true, false));
    EXPECT_TRUE(exceptions.messages().empty());
}

TEST_F(ScriptsTest, LongScriptFinishesUnderATickingFakeClock)
{
    // Every reply takes 100 ms of fake time; the ticker moves the clock.
    std::string script;
    for (int i = 0; i < 34; ++i)
        script += "RESET\n";
    WriteFile("long.tdl", script);
    Start();
    Port().simulator.updateFaults([](sim::SimFaults& f) { f.delayMs = 100; });
    const std::int64_t t0 = clock.monotonicMs();
    std::vector<std::int64_t> sentAt;
    Port().onWrite = [&](const std::string&) { sentAt.push_back(clock.monotonicMs() - t0); };
    StartTicker();
    OpenScript(Path("long.tdl"));
    StopTicker();
    ASSERT_EQ(sentAt.size(), 34u);
    EXPECT_EQ(Main().StatusPanel1->text(), "TDL-file done");
    // Every exchange takes as many ticks as the first: none waits longer
    // than the one before it.
    for (std::size_t i = 2; i < sentAt.size(); ++i)
        EXPECT_EQ(sentAt[i] - sentAt[i - 1], sentAt[1] - sentAt[0]) << "exchange " << i;
    EXPECT_LE(sentAt[1] - sentAt[0], 250);
}

TEST_F(ScriptsTest, AFileThatCannotBeReadIsReportedAndEnablesNothing)
{
    Start();
    OpenScript(Path("missing.tdl"));
    ASSERT_EQ(exceptions.messages().size(), 1u);
    EXPECT_NE(exceptions.messages()[0].find("missing.tdl"), std::string::npos);
    EXPECT_TRUE(Port().written.empty());
    EXPECT_TRUE(ScriptItemsIdle(false, false));
    EXPECT_TRUE(Main().MenuPageControl->isEnabled());
}

TEST_F(ScriptsTest, RunMultipleTimesAsksForTheCount)
{
    WriteFile("multi.tdl", "RESET\nREAD_PROGRAM_ID\n");
    Start();
    OpenScript(Path("multi.tdl"));
    ASSERT_EQ(Port().written.size(), 2u);

    Port().written.clear();
    dialogs.clear();
    dialogs.queueInput("3");
    Main().ScriptsRunMutiple->trigger();
    const auto prompts = DialogTexts("inputQuery");
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0], "Number of times to run " + Path("multi.tdl"));
    EXPECT_EQ(dialogs.calls().at(0).coding, platform::TextCoding::FileSystem); // names the file
    EXPECT_EQ(Commands(), (std::vector<std::string>{"0", "A", "0", "A", "0", "A"}));
    EXPECT_TRUE(ScriptItemsIdle(true, false));

    // Below one: nothing runs, and nothing is left busy.
    Port().written.clear();
    for (const char* count : {"0", "-2"}) {
        dialogs.queueInput(count);
        Main().ScriptsRunMutiple->trigger();
    }
    EXPECT_TRUE(Port().written.empty());
    EXPECT_TRUE(Main().MenuPageControl->isEnabled());
    EXPECT_TRUE(ScriptItemsIdle(true, false));

    // Not a number: once. Cancel: not at all.
    Port().written.clear();
    dialogs.queueInput("three");
    Main().ScriptsRunMutiple->trigger();
    EXPECT_EQ(Port().written.size(), 2u);
    Port().written.clear();
    dialogs.queueInput(std::nullopt);
    Main().ScriptsRunMutiple->trigger();
    EXPECT_TRUE(Port().written.empty());
}

TEST_F(ScriptsTest, TheAbortButtonStopsALongLoopWithoutExchanges)
{
    WriteFile("long.tdl", "LOOP 100000000\n// idle\nENDLOOP\nLIFTS_UP\n");
    Start();
    kyd::test::SteppingClock stepping(clock);
    kyd::test::ClockRestore restore{&clock};

    // The operator clicks Abort once the loop has run for 100 ms (the
    // ticker's steps included).
    const std::int64_t t0 = clock.monotonicMs();
    bool busyWhenClicked = false;
    std::int64_t clickedAt = 0;
    onTick = [&] {
        if (clickedAt == 0 && clock.monotonicMs() >= t0 + 100) {
            clickedAt = clock.monotonicMs();
            busyWhenClicked = BusyLooks();
            Main().ToolButtonAbort->click();
        }
    };
    StartTicker();
    platform::setClock(&stepping);
    OpenScript(Path("long.tdl"));
    platform::setClock(&clock);
    StopTicker();
    ASSERT_NE(clickedAt, 0);
    EXPECT_TRUE(busyWhenClicked);
    EXPECT_TRUE(Main().OpenedScript()->IsAborted());
    EXPECT_LE(Main().OpenedScript()->ResumeCounter(), 100); // passes of 1 ms or more each
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(Main().StatusPanel1->text(), "TDL-file aborted");
    EXPECT_TRUE(ScriptItemsIdle(true, true));
}

TEST_F(ScriptsTest, AbortDuringADelayStopsTheScriptAndContinueResumesIt)
{
    WriteFile("delay.tdl", "RESET\nDELAY_SEC 10\nLIFTS_UP\n");
    Start();
    std::int64_t t0 = clock.monotonicMs();
    bool clicked = false;
    bool busyWhenClicked = false;
    onTick = [&] {
        if (!clicked && Port().written.size() == 1 && clock.monotonicMs() >= t0 + 3000) {
            clicked = true;
            busyWhenClicked = BusyLooks();
            Main().ToolButtonAbort->click();
        }
    };
    StartTicker();
    OpenScript(Path("delay.tdl"));
    ASSERT_TRUE(clicked);
    EXPECT_TRUE(busyWhenClicked);
    // The delay ended at once; the statement after it was not sent.
    EXPECT_LT(clock.monotonicMs(), t0 + 4000);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"0"}));
    EXPECT_EQ(DialogTexts("showMessage"), (std::vector<std::string>{"File " + Path("delay.tdl") + " aborted!"}));
    EXPECT_EQ(Main().StatusPanel1->text(), "TDL-file aborted");
    EXPECT_NE(Main().StatusPanel2->text(), "Communication Canceled"); // the script was aborted, not the exchange
    EXPECT_TRUE(Main().OpenedScript()->IsAborted());
    EXPECT_TRUE(ScriptItemsIdle(true, true));
    EXPECT_TRUE(Main().MenuPageControl->isEnabled());

    // Continue: the delay runs again in full, then the rest of the script.
    const std::int64_t t1 = clock.monotonicMs();
    Main().ScriptContinue->trigger();
    EXPECT_EQ(Commands(), (std::vector<std::string>{"0", "8"}));
    EXPECT_GE(clock.monotonicMs(), t1 + 9000);
    EXPECT_EQ(Main().StatusPanel1->text(), "TDL-file done");
    EXPECT_TRUE(ScriptItemsIdle(true, false));

    // Aborted once more in the delay, "Run again" and "Run Multiple times"
    // start from the top, not where the script stopped.
    Port().written.clear();
    clicked = false;
    t0 = clock.monotonicMs();
    Main().ScriptsRunagain->trigger();
    ASSERT_TRUE(clicked);
    EXPECT_TRUE(ScriptItemsIdle(true, true));
    EXPECT_EQ(Commands(), (std::vector<std::string>{"0"}));
    onTick = {};
    Port().written.clear();
    dialogs.queueInput("2");
    Main().ScriptsRunMutiple->trigger();
    StopTicker();
    EXPECT_EQ(Commands(), (std::vector<std::string>{"0", "8", "0", "8"}));
    EXPECT_TRUE(ScriptItemsIdle(true, false));
    EXPECT_TRUE(exceptions.messages().empty());
}

TEST_F(ScriptsTest, AbortDuringADemoScriptExchangeLetsTheExchangeEnd)
{
    WriteFile("demo1.tdl", "RESET\nLIFTS_UP\n");
    Start();
    // The abort arrives while the reset's reply is on its way.
    Port().onWrite = [this](const std::string& w) {
        if (w == "030\r")
            loop.postCall([this] { Main().ToolButtonAbort->click(); });
    };
    Main().MenuPageControl->setCurrentWidget(Main().TabSheetDemo);
    Main().PanelDemo->findChild<QPushButton*>("DemoButton0")->click();
    EXPECT_EQ(Commands(), (std::vector<std::string>{"0"}));
    EXPECT_TRUE(Main().DemoScript()->IsAborted());
    EXPECT_NE(Main().StatusPanel2->text(), "Communication Canceled");
    EXPECT_EQ(DialogTexts("showMessage").size(), 1u);
    // Continue belongs to the opened script only.
    EXPECT_TRUE(ScriptItemsIdle(false, false));
}

TEST_F(ScriptsTest, AbortWithoutAScriptCancelsTheExchange)
{
    WriteFile("done.tdl", "RESET\n");
    Start();
    OpenScript(Path("done.tdl")); // an engine that is not running
    Port().simulator.updateFaults([](sim::SimFaults& f) { f.silent = -1; });
    Port().onWrite = [this](const std::string&) { loop.postCall([this] { Main().ToolButtonAbort->click(); }); };
    Main().CommandLayer()->SendCommand("3", 180);
    EXPECT_EQ(Main().StatusPanel2->text(), "Communication Canceled");
}

TEST_F(ScriptsTest, ClosingTheWindowDuringAScriptAbortsItAndClosesAfterwards)
{
    WriteFile("delay.tdl", "DELAY_SEC 10\nRESET\n");
    Start();
    const std::int64_t t0 = clock.monotonicMs();
    bool closedDuringRun = true;
    bool asked = false;
    onTick = [&] {
        if (!asked && clock.monotonicMs() >= t0 + 2000) {
            asked = true;
            Main().close();
            closedDuringRun = !Main().isVisible();
        }
    };
    StartTicker();
    OpenScript(Path("delay.tdl"));
    StopTicker();
    ASSERT_TRUE(asked);
    EXPECT_FALSE(closedDuringRun);
    EXPECT_TRUE(Port().written.empty());
    EXPECT_TRUE(Main().OpenedScript()->IsAborted());
    ProcessEvents();
    EXPECT_FALSE(Main().isVisible());
    EXPECT_TRUE(App().Saved());
}

// The information panel and the status window show the names of the
// script and its log file as the file system names them (UTF-8 bytes), not
// as two Latin-1 characters for each letter outside ASCII.
TEST_F(ScriptsTest, FileNamesInTheInformationTextsReadAsTheFileSystemNamesThem)
{
    WriteFile("sk\xC3\xBCript.tdl", "LOGFILE l\xC3\xB6g.log\nRESET\n");
    Start();
    OpenScript(Path("sk\xC3\xBCript.tdl"));
    QListWidget* list = App().StatusListFrame().StatusListBox;
    std::vector<QString> shown;
    for (int i = 0; i < list->count(); ++i)
        shown.push_back(list->item(i)->text());
    for (const char* want : {"TDL-file: sk\u00FCript.tdl", "Log-file: l\u00F6g.log"})
        EXPECT_NE(std::find(shown.begin(), shown.end(), QString::fromUtf8(want)), shown.end()) << want;
    // A dispenser's or a script's own text stays Latin-1.
    Main().ShowInfoText("Ger\xE4t");
    EXPECT_EQ(Main().StatusPanel1->text(), QString::fromUtf8("Ger\u00E4t"));
    EXPECT_EQ(list->item(list->count() - 1)->text(), QString::fromUtf8("Ger\u00E4t"));
}

TEST_F(ScriptsTest, TextsOfAUtf8ScriptReadAsWritten)
{
    // Saved by a current editor: its information comment and its LOG line
    // read in the panels and the status window as the script's author wrote
    // them, not as two Latin-1 characters for each letter.
    WriteFile("utf8.tdl", "% st\xC3\xBC" "ck\nLOG gr\xC3\xBC\xC3\x9F" "e\n");
    Start();
    OpenScript(Path("utf8.tdl"));
    EXPECT_EQ(Main().StatusPanel2->text(), QString::fromUtf8("gr\u00FC\u00DFe"));
    QListWidget* list = App().StatusListFrame().StatusListBox;
    std::vector<QString> shown;
    for (int i = 0; i < list->count(); ++i)
        shown.push_back(list->item(i)->text());
    for (const char* want : {"st\u00FCck", "gr\u00FC\u00DFe"})
        EXPECT_NE(std::find(shown.begin(), shown.end(), QString::fromUtf8(want)), shown.end()) << want;
}

// SIGTERM while a script waits: the script stops at once, the settings
// are on disk and the program's quit is called, without the script's
// 60 s running out or anything waiting for the operator.
TEST_F(ScriptsTest, EndSignalDuringAScriptStopsItSavesAndQuits)
{
    const kyd::test::DefaultEndSignals defaults;
    WriteFile("delay.tdl", "DELAY_SEC 60\nRESET\n");
    Start();
    int quits = 0;
    App().EndOnSignals([&quits] { ++quits; });
    Main().move(310, 150);
    const std::int64_t t0 = clock.monotonicMs();
    bool raised = false;
    onTick = [&] {
        if (!raised && clock.monotonicMs() >= t0 + 1000) {
            raised = true;
            std::raise(SIGTERM);
        }
    };
    StartTicker();
    OpenScript(Path("delay.tdl"));
    StopTicker();
    ASSERT_TRUE(raised);
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(App().Ending());
    EXPECT_TRUE(Main().OpenedScript()->IsAborted());
    EXPECT_LT(clock.monotonicMs() - t0, 5000);
    EXPECT_TRUE(Port().written.empty()); // RESET never went out
    platform::IniFile saved(iniPath);
    EXPECT_EQ(saved.readInteger("Misc", "Left", 0), 310);
    EXPECT_EQ(saved.readInteger("Misc", "Top", 0), 150);
}

// The desktop session's quit at logout ends the program the same way, also
// while an exchange waits for its reply.
TEST_F(ScriptsTest, SessionQuitDuringAnExchangeEndsTheProgram)
{
    Start();
    int quits = 0;
    App().EndOnSignals([&quits] { ++quits; });
    Port().simulator.updateFaults([](sim::SimFaults& f) { f.silent = -1; });
    Port().onWrite = [this](const std::string&) {
        loop.postCall([] {
            QEvent quit(QEvent::Quit);
            QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
        });
    };
    Main().CommandLayer()->SendCommand("3", 180);
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(Main().StatusPanel2->text(), "Communication Canceled");
    EXPECT_TRUE(Main().isVisible()); // nothing asked the windows to close
}

// Closes the cassette window as soon as it shows, after noting its first cells.
class CassetteCloser : public QObject {
public:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Show) {
            if (auto* w = qobject_cast<TCassInfo*>(o)) {
                ++shown;
                modal = w->isModal();
                parent = w->parentWidget();
                header = w->Cell(0, 0);
                for (int r = 1; r < w->StringGrid1->rowCount() && !w->Cell(r, 0).empty(); ++r)
                    rows.push_back(w->Cell(r, 0) + "|" + w->Cell(r, 1) + "|" + w->Cell(r, 3));
                QMetaObject::invokeMethod(w, "reject", Qt::QueuedConnection);
            }
        }
        return false;
    }
    int shown = 0;
    bool modal = false;
    QWidget* parent = nullptr;
    std::string header;
    std::vector<std::string> rows; // number|id|status
};

TEST_F(ScriptsTest, ShowCassetteDialogShowsTheCassetteWindowModally)
{
    WriteFile("cass.tdl", "SHOW_CASSETTE_DLG\nREAD_PROGRAM_ID\n");
    Start();
    CassetteCloser closer;
    qApp->installEventFilter(&closer);
    OpenScript(Path("cass.tdl"));
    qApp->removeEventFilter(&closer);
    EXPECT_EQ(closer.shown, 1);
    EXPECT_TRUE(closer.modal);
    EXPECT_EQ(closer.parent, &Main());
    EXPECT_EQ(closer.header, "No");
    EXPECT_EQ(Commands(), (std::vector<std::string>{"5", "A"}));
    EXPECT_EQ(Main().StatusPanel1->text(), "TDL-file done");
}

TEST_F(ScriptsTest, ShowCassetteDialogShowsACassetteWhoseStatusHasNoText)
{
    WriteFile("cass.tdl", "SHOW_CASSETTE_DLG\nREAD_PROGRAM_ID\n");
    Start();
    // Cassette 2 answers a status character the dispenser has no text for.
    Port().QueueReply("010NC0012XNC002");
    CassetteCloser closer;
    qApp->installEventFilter(&closer);
    OpenScript(Path("cass.tdl"));
    qApp->removeEventFilter(&closer);
    EXPECT_EQ(closer.shown, 1);
    EXPECT_EQ(closer.rows, (std::vector<std::string>{"1|NC001|30 Successful Command", "2|NC002|"}));
    EXPECT_TRUE(DialogTexts("messageDlg").empty());
    EXPECT_EQ(Commands(), (std::vector<std::string>{"5", "A"}));
    EXPECT_EQ(Main().StatusPanel1->text(), "TDL-file done");
}

} // namespace
} // namespace kyd::app::test
