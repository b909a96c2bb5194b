// The tester's windows on a real X display with a window manager (see
// tests/support/with_desktop.sh), talking to the simulated dispenser on a
// pseudo-terminal: the titles the desktop shows, which window can be raised
// above which, a modal dialog that stays usable while the stay-on-top
// command window is shown, and window places that survive restarts.
#include "support_desktop.h"

#include "app/LinkPortFactory.h"
#include "app/qt/CmdStr.h"
#include "app/qt/CommStr.h"
#include "app/qt/OptionDlg.h"
#include "app/qt/PLVRMain.h"
#include "app/qt/StatusList.h"
#include "app/qt/TransDlg.h"
#include "app/qt/TransPage.h"
#include "link/PLVRCmd.h"
#include "link/SioLinkPort.h"
#include "platform/port_resolver.h"
#include "sim/pty_transport.h"
#include "sim/simulator.h"
#include "support/end_signal_defaults.h"
#include "support/screenshot.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QApplication>
#include <QGuiApplication>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace kyd::app::test {
namespace {

// The program itself, on the simulator's pseudo-terminal as COM1: the titles
// of its windows as the desktop shows them.
TEST_F(DesktopTest, ProgramTitlesReadExactlyAsSet)
{
    QProcess tool;
    StartProgram(tool);
    ASSERT_TRUE(tool.waitForStarted());

    std::multiset<std::string> titles;
    const bool shown = QTest::qWaitFor(
        [&] {
            titles.clear();
            for (WId w : Stacking())
                if (XProp(w, "_NET_WM_PID") == std::to_string(tool.processId()))
                    titles.insert(XProp(w, "_NET_WM_NAME"));
            return titles.size() >= 4;
        },
        kSettleMs);
    tool.terminate();
    tool.waitForFinished(kSettleMs);
    ASSERT_TRUE(shown);
    // The guide the Help menu opens travels beside the program.
    const std::filesystem::path exeDir = std::filesystem::path(KYD_TESTER_EXE).parent_path();
    EXPECT_TRUE(std::filesystem::exists(exeDir / "help" / "index.html"));
    EXPECT_TRUE(std::filesystem::exists(exeDir / "help" / "troubleshooting.html"));
    EXPECT_EQ(titles, (std::multiset<std::string>{"KYDTest COM1", "Enter command", "Communication Strings", "Status"}));
}

// The program started in a folder where a FIFO bears a demo file's name, with
// a place saved on a bigger monitor: its window opens on the screen, and a
// hang-up (as at logout) or a termination ends it with the settings saved.
TEST_F(DesktopTest, ProgramStartsBesideAFifoOnTheScreenAndSavesWhenSignalled)
{
    ASSERT_EQ(::mkfifo(Path("demo1.tdl").c_str(), 0600), 0);
    WriteFile("demo2.tdl", "// Regular demo\n");
    for (const int sig : {SIGHUP, SIGTERM}) {
        {
            platform::IniFile pre(iniPath);
            pre.writeInteger("Misc", "Top", 5000);
            pre.writeInteger("Misc", "Left", -3000);
            // The command window too, shown, beyond the screen's corner.
            pre.writeBool("CmdWindow", "Visible", true);
            pre.writeInteger("CmdWindow", "Top", 4000);
            pre.writeInteger("CmdWindow", "Left", 3000);
            ASSERT_TRUE(pre.updateFile());
        }
        QProcess tool;
        StartProgram(tool);
        ASSERT_TRUE(tool.waitForStarted());
        const bool shown = QTest::qWaitFor(
            [&] {
                for (WId w : Stacking())
                    if (XProp(w, "_NET_WM_PID") == std::to_string(tool.processId()) &&
                        XProp(w, "_NET_WM_NAME") == "KYDTest COM1")
                        return true;
                return false;
            },
            4 * kSettleMs);
        if (shown && sig == SIGHUP) {
            // What the operator sees: the window back on the screen.
            QTest::qWait(200);
            QDir().mkpath(kyd::test::ScreenshotDir());
            EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(0).save(kyd::test::ScreenshotDir() +
                                                                              "/app_place_brought_back_desktop.png"));
        }
        ::kill(static_cast<pid_t>(tool.processId()), sig);
        const bool ended = tool.waitForFinished(4 * kSettleMs);
        if (!ended)
            tool.kill();
        ASSERT_TRUE(shown) << "signal " << sig;
        ASSERT_TRUE(ended) << "signal " << sig;
        EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit) << "signal " << sig;
        // Saved where it was shown: on the screen.
        platform::IniFile saved(iniPath);
        const QPoint place(saved.readInteger("Misc", "Left", -3000), saved.readInteger("Misc", "Top", 5000));
        EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(place))
            << "signal " << sig << ": " << place.x() << "," << place.y();
        const QPoint command(saved.readInteger("CmdWindow", "Left", 3000), saved.readInteger("CmdWindow", "Top", 4000));
        // Its frame is wider and taller than this: all of it on the screen.
        EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(QRect(command, QSize(200, 30))))
            << "signal " << sig << ": " << command.x() << "," << command.y();
    }
}


// The program runs a script (opened from the Scripts menu with the keyboard)
// that waits ten minutes; a termination then ends it within seconds, the
// settings saved, with no box left waiting for the operator.
TEST_F(DesktopTest, TerminationDuringAScriptEndsTheProgramWithItsSettingsSaved)
{
    if (QStandardPaths::findExecutable("xdotool").isEmpty())
        GTEST_SKIP() << "xdotool is missing: no keys can be typed";
    WriteFile("stop.tdl", "RESET\nDELAY_SEC 600\nRESET\n");
    QProcess tool;
    StartProgram(tool);
    ASSERT_TRUE(tool.waitForStarted());
    const WId main = ProgramWindow(tool, "KYDTest COM1");
    ASSERT_NE(main, 0u);
    ASSERT_TRUE(Keys({"windowactivate", "--sync", QString::number(main)}));
    ASSERT_TRUE(Keys({"key", "--delay", "50", "alt+c", "o"})); // Scripts, Open TDL file...
    ASSERT_NE(ProgramWindow(tool, "Open"), 0u);
    ASSERT_TRUE(Keys({"type", "--delay", "20", "stop.tdl"}));
    ASSERT_TRUE(Keys({"key", "Return"}));
    // The script's first reset went out: it waits in its delay now.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const std::vector<std::string> frames = simulator.frameLog();
            return std::find(frames.begin(), frames.end(), "030") != frames.end();
        },
        4 * kSettleMs));

    QElapsedTimer sinceSignal;
    sinceSignal.start();
    ::kill(static_cast<pid_t>(tool.processId()), SIGTERM);
    const bool ended = tool.waitForFinished(10'000);
    const qint64 ms = sinceSignal.elapsed();
    if (!ended)
        tool.kill();
    ASSERT_TRUE(ended) << "still running " << ms << " ms after SIGTERM";
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
    const std::vector<std::string> frames = simulator.frameLog();
    EXPECT_EQ(std::count(frames.begin(), frames.end(), "030"), 1); // the script went no further
    platform::IniFile saved(iniPath);
    EXPECT_EQ(saved.readString("TDL", "dir", ""), dir + "/");
    EXPECT_TRUE(saved.valueExists("Misc", "Top"));
    EXPECT_TRUE(saved.valueExists("Logging", "LogFile"));
    EXPECT_TRUE(saved.valueExists("CmdWindow", "Left"));
}

// Settings that cannot be saved at the end hold nothing up either: the
// reason goes to the error output instead of a box nobody may be there to
// close.
TEST_F(DesktopTest, TerminationEndsTheProgramAlsoWhenTheSettingsCannotBeSaved)
{
    std::filesystem::create_directories(Path("settings"));
    const std::string ini = Path("settings/kydtest.INI");
    std::filesystem::copy_file(iniPath, ini);
    QProcess tool;
    StartProgram(tool, ini);
    ASSERT_TRUE(tool.waitForStarted());
    ASSERT_NE(ProgramWindow(tool, "KYDTest COM1"), 0u);
    // The settings' folder turned into a file: no one can write there,
    // not even root.
    std::filesystem::remove_all(Path("settings"));
    WriteFile("settings", "not a folder");
    ::kill(static_cast<pid_t>(tool.processId()), SIGTERM);
    const bool ended = tool.waitForFinished(10'000);
    if (!ended)
        tool.kill();
    ASSERT_TRUE(ended);
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
    const std::string err = tool.readAllStandardError().toStdString();
    EXPECT_NE(err.find("The settings could not be saved"), std::string::npos) << err;
}

// The program installed in a folder it cannot write (as a system-wide
// install is): its settings go to the user's configuration folder, starting
// from the file shipped beside the program, and are read back from there
// at the next start; the file beside the program stays as shipped.
TEST_F(DesktopTest, ProgramInAFolderItCannotWriteKeepsItsSettingsInTheUsersConfigurationFolder)
{
    namespace fs = std::filesystem;
    const bool root = ::geteuid() == 0;
    // Root writes in any folder whatever its permissions say: the program
    // then runs as an ordinary user (nobody).
    const QString setpriv = QStandardPaths::findExecutable("setpriv");
    if (root && setpriv.isEmpty())
        GTEST_SKIP() << "running as root without setpriv: the program cannot be run as a user who cannot write";
    constexpr uid_t kNobody = 65534;
    const auto ownedByUser = [&](const std::string& path) {
        fs::create_directories(path);
        if (root) {
            ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0) << path;
        }
    };
    const std::string bin = Path("bin");
    fs::create_directories(bin);
    fs::copy_file(KYD_TESTER_EXE, bin + "/kydtest");
    const std::string beside = bin + "/kydtest.INI";
    {
        fs::copy_file(iniPath, beside);
        platform::IniFile shipped(beside);
        shipped.writeString("Logging", "LogFile", Path("shipped.log"));
        ASSERT_TRUE(shipped.updateFile());
    }
    const std::string shippedText = ReadFile(beside);
    ownedByUser(Path("config"));
    ownedByUser(Path("home"));
    ownedByUser(Path("run"));
    ASSERT_EQ(::chmod(Path("run").c_str(), 0700), 0);
    if (root) {
        ASSERT_EQ(::chmod(transport->slavePath().c_str(), 0666), 0); // the dispenser's line, for the user
    } else {
        fs::permissions(bin, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                 fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    }
    // Writable again however the test ends, so that its folder can go.
    using Restore = void (*)(const std::string*);
    const std::unique_ptr<const std::string, Restore> writableAgain(&bin, [](const std::string* b) {
        std::error_code ec;
        fs::permissions(*b, fs::perms::owner_all, fs::perm_options::add, ec);
    });
    const std::string userFile = Path("config/kydtest/kydtest.INI");

    const auto runAndTerminate = [&](const char* run) {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("KYD_INI");
        env.insert("KYD_COM1", QString::fromStdString(transport->slavePath()));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(Path("config")));
        env.insert("HOME", QString::fromStdString(Path("home")));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(Path("run")));
        tool.setProcessEnvironment(env);
        tool.setWorkingDirectory(QString::fromStdString(dir));
        tool.setChildProcessModifier(&kyd::test::DefaultEndSignals::InChild);
        const QString exe = QString::fromStdString(bin + "/kydtest");
        if (root)
            tool.start(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups", "--", exe});
        else
            tool.start(exe, {});
        ASSERT_TRUE(tool.waitForStarted()) << run;
        const WId main = ProgramWindow(tool, "KYDTest COM1");
        ::kill(static_cast<pid_t>(tool.processId()), SIGTERM);
        const bool ended = tool.waitForFinished(10'000);
        if (!ended)
            tool.kill();
        const std::string err = tool.readAllStandardError().toStdString();
        ASSERT_NE(main, 0u) << run << ": " << err;
        ASSERT_TRUE(ended) << run;
        EXPECT_EQ(tool.exitCode(), 0) << run << ": " << err;
        EXPECT_EQ(err.find("could not be saved"), std::string::npos) << run << ": " << err;
    };

    runAndTerminate("first start");
    ASSERT_TRUE(fs::exists(userFile));
    {
        platform::IniFile user(userFile);
        EXPECT_EQ(user.readInteger("Communication", "ComPort", 0), 1); // from the file shipped
        EXPECT_EQ(user.readString("Logging", "LogFile", ""), Path("shipped.log"));
        EXPECT_TRUE(user.valueExists("Misc", "Top")); // saved at the end
        EXPECT_TRUE(user.valueExists("CmdWindow", "Left"));
        // The user's own choice, for the next start.
        user.writeString("Logging", "LogFile", Path("mine.log"));
        ASSERT_TRUE(user.updateFile());
    }
    if (root) {
        ASSERT_EQ(::chown(userFile.c_str(), kNobody, kNobody), 0);
    }

    runAndTerminate("second start");
    EXPECT_EQ(platform::IniFile(userFile).readString("Logging", "LogFile", ""), Path("mine.log"));
    EXPECT_EQ(ReadFile(beside), shippedText);
}

// What run.sh says when it starts the simulator for the tool: which device
// it runs on, and not the simulator's own line about it.
TEST_F(DesktopTest, RunScriptNamesTheSimulatorsDeviceOnceInItsOwnWords)
{
    const std::filesystem::path bin = std::filesystem::path(KYD_TESTER_EXE).parent_path().parent_path();
    ASSERT_EQ(std::filesystem::path(KYD_SIM_EXE), bin / "sim" / "kydsim");
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KYD_BIN", QString::fromStdString(bin.string()));
    env.insert("KYD_INI", QString::fromStdString(Path("run.INI")));
    // The simulator's link goes in the runtime folder: one of the test's
    // own, so that a simulator started by another run is not in the way.
    std::filesystem::create_directories(Path("run"));
    std::filesystem::permissions(Path("run"), std::filesystem::perms::owner_all);
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(Path("run")));
    run.setProcessEnvironment(env);
    // The tool only prints its usage and ends; the script then stops the
    // simulator.
    run.start("bash", {QString(KYD_SOURCE_DIR) + "/scripts/run.sh", "--help"});
    ASSERT_TRUE(run.waitForFinished(60'000));
    const std::string out = run.readAllStandardOutput().toStdString();
    const std::string err = run.readAllStandardError().toStdString();
    EXPECT_EQ(run.exitCode(), 0) << out << err;
    EXPECT_NE(out.find("starting the simulator as COM49"), std::string::npos) << out;
    EXPECT_NE(out.find("Simulator ready on /dev/"), std::string::npos) << out;
    EXPECT_EQ((out + err).find("kydsim: dispenser simulator on"), std::string::npos) << out << err;
    EXPECT_NE(out.find("--ini"), std::string::npos) << out; // the tool's usage
    EXPECT_NE(out.find("(" + Path("run/kydsim") + ")"), std::string::npos) << out;
}

TEST_F(DesktopTest, MainWindowCanBeRaisedAboveTheCommunicationAndStatusWindows)
{
    StartFramed();
    QWidget& com = App().ComStringDlg();
    QWidget& status = App().StatusListFrame();
    // Not transient for the main window: a window manager keeps transient
    // windows above the window they belong to.
    for (QWidget* w : {&com, &status})
        EXPECT_NE(XProp(w->winId(), "WM_TRANSIENT_FOR").find("not found"), std::string::npos);
    // Both moved over the main window's menu bar.
    const QPoint overMenu = Main().geometry().topLeft() + QPoint(20, 0);
    for (QWidget* w : {&com, &status})
        w->move(overMenu);
    ASSERT_TRUE(QTest::qWaitFor([&] { return com.pos() == overMenu && status.pos() == overMenu; }, kSettleMs));
    ASSERT_TRUE(com.frameGeometry().intersects(Main().menuBar()->geometry().translated(Main().geometry().topLeft())));
    for (QWidget* w : {&com, &status}) {
        w->raise();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Above(*w, Main()); }, kSettleMs));
    }
    Main().raise();
    Main().activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Above(Main(), com) && Above(Main(), status); }, kSettleMs));
    // What the pointer finds on the menu bar where the windows overlap.
    const QRect overlap = com.frameGeometry() & Main().geometry();
    ASSERT_FALSE(overlap.isEmpty());
    EXPECT_EQ(QGuiApplication::topLevelAt(overlap.center()), Main().windowHandle());
}

TEST_F(DesktopTest, OptionsOkButtonIsOnTopWhileTheCommandWindowIsShown)
{
    StartFramed();
    QWidget& cmd = App().CmdStrForm();
    TOptionForm& options = App().Options();
    QWidget* atDefault = nullptr;
    QWidget* underCmd = nullptr;
    QTimer::singleShot(0, &Main(), [&] {
        if (QTest::qWaitForWindowExposed(&options, kSettleMs)) {
            const QPoint ok = options.ButtonOk->mapToGlobal(options.ButtonOk->rect().center());
            (void)QTest::qWaitFor([&] { return QApplication::widgetAt(ok) == options.ButtonOk; }, kSettleMs);
            atDefault = QApplication::widgetAt(ok);
            // The command window moved right over the button stays below the
            // dialog.
            cmd.move(ok - QPoint(cmd.frameGeometry().width() / 2, cmd.frameGeometry().height() / 2));
            (void)QTest::qWaitFor([&] { return cmd.frameGeometry().contains(ok); }, kSettleMs);
            QTest::qWait(100); // the window manager's restacking, if it did any
            underCmd = QApplication::widgetAt(ok);
        }
        options.reject();
    });
    Main().MenuItemOptions->trigger();
    EXPECT_EQ(atDefault, options.ButtonOk);
    EXPECT_EQ(underCmd, options.ButtonOk);
    ASSERT_TRUE(cmd.isVisible());
    // Afterwards the command window stays on top again.
    EXPECT_TRUE(QTest::qWaitFor([&] { return Above(cmd, Main()); }, kSettleMs));
}

TEST_F(DesktopTest, WindowPlacesSurviveThreeRestartsUnchanged)
{
    StartFramed();
    App().StatusListFrame().move(620, 520);
    App().StatusListFrame().resize(400, 140);
    ASSERT_TRUE(QTest::qWaitFor([this] { return App().StatusListFrame().pos() == QPoint(620, 520); }, kSettleMs));
    std::map<std::string, QRect> frames;
    for (QWidget* w : Windows())
        frames[w->objectName().toStdString()] = w->frameGeometry();
    Quit();
    const std::map<std::string, int> first = SavedPlaces();
    // The place chosen at first start is saved as the window stood.
    EXPECT_EQ(first.at("CmdWindow.Top"), frames["CmdStrForm"].y());
    EXPECT_EQ(first.at("CmdWindow.Left"), frames["CmdStrForm"].x());
    EXPECT_EQ(first.at("StatusWindow.Left"), 620);

    for (int run = 1; run <= 3; ++run) {
        StartFramed();
        for (QWidget* w : Windows())
            EXPECT_EQ(w->frameGeometry(), frames[w->objectName().toStdString()])
                << w->objectName().toStdString() << " after restart " << run;
        Quit();
        EXPECT_EQ(SavedPlaces(), first) << "after restart " << run;
    }
}

// At first start (no saved places) the tool windows stand beside the main
// window: none covers a button, the menu bar, the tool bar or a page tab.
TEST_F(DesktopTest, AtFirstStartNoToolWindowCoversAControlOfTheMainWindow)
{
    StartFramed();
    std::vector<std::pair<std::string, QRect>> controls;
    auto add = [&](QWidget* w) {
        if (w->isVisible())
            controls.emplace_back(w->objectName().toStdString() + " " + w->metaObject()->className(),
                                  QRect(w->mapToGlobal(QPoint(0, 0)), w->size()));
    };
    add(Main().menuBar());
    add(Main().ToolBar);
    add(Main().MenuPageControl->tabBar());
    for (QAbstractButton* b : Main().findChildren<QAbstractButton*>())
        add(b);
    ASSERT_GT(controls.size(), 10u);
    for (QWidget* tool : {static_cast<QWidget*>(&App().CmdStrForm()), static_cast<QWidget*>(&App().ComStringDlg()),
                          static_cast<QWidget*>(&App().StatusListFrame())}) {
        const QRect frame = tool->frameGeometry();
        EXPECT_TRUE(tool->screen()->availableGeometry().contains(frame)) << tool->objectName().toStdString();
        for (const auto& [name, r] : controls)
            EXPECT_FALSE(frame.intersects(r)) << tool->objectName().toStdString() << " covers " << name;
        EXPECT_FALSE(frame.intersects(Main().frameGeometry())) << tool->objectName().toStdString();
    }
    // Nor do they cover each other.
    EXPECT_FALSE(App().CmdStrForm().frameGeometry().intersects(App().ComStringDlg().frameGeometry()));
    EXPECT_FALSE(App().CmdStrForm().frameGeometry().intersects(App().StatusListFrame().frameGeometry()));
    EXPECT_FALSE(App().ComStringDlg().frameGeometry().intersects(App().StatusListFrame().frameGeometry()));
    // What the operator sees, frames included.
    QDir().mkpath(kyd::test::ScreenshotDir());
    EXPECT_TRUE(Main().screen()->grabWindow(0).save(kyd::test::ScreenshotDir() + "/app_first_start_desktop.png"));
}

// With "ZB" in the history, typing "Z" and Enter sends exactly the frame of
// "Z", one exchange.
TEST_F(DesktopTest, TypedPrefixOfAHistoryEntryGoesOutAsTyped)
{
    StartFramed();
    TCmdStrForm& cmd = App().CmdStrForm();
    cmd.activateWindow();
    cmd.CmdCombo->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return cmd.CmdCombo->lineEdit()->hasFocus(); }, kSettleMs));
    const std::size_t before = simulator.frameLog().size();
    TypeCommand("ZB");
    TypeCommand("Z");
    std::vector<std::string> frames = simulator.frameLog();
    frames.erase(frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(before));
    EXPECT_EQ(frames, (std::vector<std::string>{"ZB18", "Z5:"}));
}

// Two commands typed on the keyboard one after the other, as the X server
// delivers the keys: each goes out as typed, the second not added to the
// first.
TEST_F(DesktopTest, TwoCommandsTypedOnTheKeyboardGoOutAsTwoFrames)
{
    if (QStandardPaths::findExecutable("xdotool").isEmpty())
        GTEST_SKIP() << "xdotool is missing: no keys can be typed";
    StartFramed();
    TCmdStrForm& cmd = App().CmdStrForm();
    cmd.raise();
    cmd.activateWindow();
    cmd.CmdCombo->setFocus();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QApplication::activeWindow() == &cmd && cmd.CmdCombo->lineEdit()->hasFocus(); }, kSettleMs));
    const std::size_t before = simulator.frameLog().size();
    const auto newFrames = [&] {
        std::vector<std::string> frames = simulator.frameLog();
        frames.erase(frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(before));
        return frames;
    };
    for (std::size_t n = 1; n <= 2; ++n) {
        ASSERT_TRUE(Keys({"type", "--delay", "20", "Q"}));
        ASSERT_TRUE(Keys({"key", "Return"}));
        ASSERT_TRUE(QTest::qWaitFor([&] { return newFrames().size() >= n && !Main().CommandLayer()->Busy(); },
                                    kSettleMs))
            << "command " << n;
    }
    EXPECT_EQ(newFrames(), (std::vector<std::string>{"Q51", "Q51"}));
    EXPECT_EQ(cmd.CmdCombo->count(), 1);
}

// A transaction run against a silent dispenser ends "Aborted" within a second
// of Abort, not after the exchange's 180 s time-out.
TEST_F(DesktopTest, SilentTransactionRunEndsAbortedWithinASecondOfAbort)
{
    StartFramed();
    simulator.updateFaults([](sim::SimFaults& f) { f.silent = -1; });
    TTransPage& page = *Main().TransPage;
    page.CSpinEditNF[0]->setValue(1);
    page.CSpinEditNoOfTrans->setValue(3);
    std::string status;
    qint64 abortToEnd = -1;
    bool clicked = false;
    QElapsedTimer sinceAbort;
    // The run's exchange waits inside the window's tick, so the operator's
    // clicks come from events handled inside that wait.
    QTimer operatorHand;
    operatorHand.setInterval(20);
    QObject::connect(&operatorHand, &QTimer::timeout, [&] {
        auto* run = qobject_cast<TFormTransaction*>(QApplication::activeModalWidget());
        if (!run)
            return;
        if (!clicked && run->LabelStatus->text() == "Feeding") {
            clicked = true;
            sinceAbort.start();
            QTest::mouseClick(run->ButtonAbortTrans, Qt::LeftButton);
        } else if (clicked && run->Runner().Finished()) {
            abortToEnd = sinceAbort.elapsed();
            status = run->LabelStatus->text().toStdString();
            operatorHand.stop();
            QTest::mouseClick(run->ButtonAbortTrans, Qt::LeftButton); // "Close"
        } else if (clicked && sinceAbort.elapsed() > 3000) {
            // Not ended by the abort: let the exchange's time-out pass.
            clock.advance(200'000);
        }
    });
    operatorHand.start();
    page.StartTransButton->click();
    EXPECT_EQ(status, "Aborted");
    EXPECT_GE(abortToEnd, 0);
    EXPECT_LT(abortToEnd, 1000);
}

} // namespace
} // namespace kyd::app::test
