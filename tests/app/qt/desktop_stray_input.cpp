// What an operator's hand does on the desktop, through the X server
// (xdotool): a double-click on the button that closes a box, whose second
// click falls on the main window; commands typed after one that did not go
// out; and a second copy of the tool on a port the first one holds. The
// simulator's frame log tells what reached the dispenser.
#include "support_desktop.h"
#include "support_stray_clicks.h"

#include "app/qt/ItemPages.h"
#include "app/qt/TransDlg.h"
#include "app/qt/TransPage.h"
#include "link/PLVRCmd.h"
#include "link/PLVRCom.h"
#include "platform/qt/qt_dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>

#include <filesystem>
#include <utility>

namespace kyd::app::test {
namespace {

bool HaveXdotool()
{
    return !QStandardPaths::findExecutable("xdotool").isEmpty();
}

// Moves the pointer there through the X server and waits until it is.
bool PointerTo(const QPoint& at)
{
    return Keys({"mousemove", QString::number(at.x()), QString::number(at.y())}) &&
           QTest::qWaitFor([&] { return QCursor::pos() == at; }, kSettleMs);
}

QPoint Middle(QWidget* w)
{
    return w->mapToGlobal(w->rect().center());
}

class StrayInputTest : public DesktopTest {
protected:
    ~StrayInputTest() override { QApplication::setDoubleClickInterval(interval_); }

    // The box moved so that its button lies right over the main window's
    // button, as the layout has it.
    static void PlaceOver(QWidget& box, QWidget* boxButton, QWidget* under)
    {
        const QPoint to = box.pos() + (Middle(under) - Middle(boxButton));
        box.move(to);
        EXPECT_TRUE(QTest::qWaitFor([&] { return Middle(boxButton) == Middle(under); }, kSettleMs));
    }
    // A double-click of the mouse on the box's button, through the X server.
    // The second click is made once the box is gone from the desktop, so it
    // lands on what lay under it whatever the machine's load; the program's
    // double-click interval is widened for this, so that the two clicks
    // still count as one double-click however long the wait took.
    void DoubleClickClosing(QWidget& box, QWidget* button)
    {
        QApplication::setDoubleClickInterval(120'000);
        releases_.Reset();
        const QPoint at = Middle(button);
        const WId id = box.winId();
        ASSERT_TRUE(PointerTo(at));
        ASSERT_TRUE(Keys({"click", "1"}));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                const std::vector<WId> s = Stacking();
                return !box.isVisible() && std::find(s.begin(), s.end(), id) == s.end();
            },
            kSettleMs));
        ASSERT_TRUE(Keys({"click", "1"}));
        // Both clicks have reached the program.
        ASSERT_TRUE(QTest::qWaitFor([this] { return releases_.Count() >= 2; }, kSettleMs));
    }
    std::vector<std::string> NewFrames(std::size_t since)
    {
        std::vector<std::string> frames = simulator.frameLog();
        frames.erase(frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(std::min(since, frames.size())));
        return frames;
    }
    void FocusCommandBox()
    {
        TCmdStrForm& cmd = App().CmdStrForm();
        cmd.raise();
        cmd.activateWindow();
        cmd.CmdCombo->setFocus();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return QApplication::activeWindow() == &cmd && cmd.CmdCombo->lineEdit()->hasFocus(); },
            kSettleMs));
    }
    // Types keys and Enter, then waits for the program to be idle.
    void TypeAndEnter(const QString& keys)
    {
        enters_.Reset();
        ASSERT_TRUE(Keys({"type", "--delay", "20", keys}));
        ASSERT_TRUE(Keys({"key", "Return"}));
        // The Enter has been handled (the exchange it started included).
        ASSERT_TRUE(QTest::qWaitFor([&] { return enters_.Count() == 1 && !Main().CommandLayer()->Busy(); },
                                    kSettleMs));
    }

    platform::QtDialogs realDialogs;

private:
    // Counts the mouse releases, or the Enter keys, that the program's
    // windows get from the window system.
    class InputCounter final : public QObject {
    public:
        explicit InputCounter(QEvent::Type type) : type_(type) { qApp->installEventFilter(this); }
        bool eventFilter(QObject* o, QEvent* e) override
        {
            if (e->type() == type_ && o->isWindowType() &&
                (type_ != QEvent::KeyPress || static_cast<QKeyEvent*>(e)->key() == Qt::Key_Return))
                ++count_;
            return false;
        }
        int Count() const { return count_; }
        void Reset() { count_ = 0; }

    private:
        QEvent::Type type_;
        int count_ = 0;
    };

    const int interval_ = QApplication::doubleClickInterval();
    InputCounter releases_{QEvent::MouseButtonRelease};
    InputCounter enters_{QEvent::KeyPress};
};

// Double-click on OK of the box that shows item 350's value: the box closes,
// and "NS Rollers" (under it) is not pressed.
TEST_F(StrayInputTest, DoubleClickOnABoxsOkPressesNothingUnderIt)
{
    if (!HaveXdotool())
        GTEST_SKIP() << "xdotool is missing: no clicks can be made";
    StartFramed();
    platform::setDialogs(&realDialogs);
    Main().MenuPageControl->setCurrentWidget(Main().MenuPageControl->findChild<QWidget*>("ServiceItemTabSheet"));
    auto* rollers = Main().findChild<QAbstractButton*>("SICleanNCButton");
    QPushButton* read = nullptr;
    for (TItemPage* p : Main().ItemPages)
        if (QPushButton* b = p->ItemButton(350))
            read = b;
    ASSERT_TRUE(rollers && read);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rollers->isVisible(); }, kSettleMs));
    bool worked = false;
    OnModalShown hand([&](QWidget& w) {
        auto* box = qobject_cast<QMessageBox*>(&w);
        ASSERT_NE(box, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(box, kSettleMs));
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        PlaceOver(*box, ok, rollers);
        DoubleClickClosing(*box, ok);
        worked = true;
    });
    const std::size_t before = simulator.frameLog().size();
    read->click();
    platform::setDialogs(&dialogs);
    ASSERT_TRUE(worked);
    const std::vector<std::string> frames = NewFrames(before);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].substr(0, 6), "RD/350");
    // The button itself still works with a click of its own.
    QApplication::setDoubleClickInterval(1);
    ASSERT_TRUE(PointerTo(Middle(rollers)));
    ASSERT_TRUE(Keys({"click", "1"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return NewFrames(before).size() == 2; }, kSettleMs));
    EXPECT_EQ(NewFrames(before).back().substr(0, 8), "WD/217/1");
}

// Double-click on Close of a finished transaction run: no new run starts
// from the Start button under it.
TEST_F(StrayInputTest, DoubleClickOnCloseOfAFinishedTransactionRunStartsNoNewRun)
{
    if (!HaveXdotool())
        GTEST_SKIP() << "xdotool is missing: no clicks can be made";
    StartFramed();
    TTransPage& page = TwoDispensesReady(simulator, Main());
    int runs = 0;
    std::string end;
    const auto work = [&](QWidget& w) {
        auto* run = qobject_cast<TFormTransaction*>(&w);
        ASSERT_NE(run, nullptr);
        if (++runs > 1) {
            run->TimerTransDelay->stop();
            run->reject(); // a run nobody asked for
            return;
        }
        // The run's timer ticked by the test, on the fake clock.
        run->TimerTransDelay->blockSignals(true);
        for (int ticks = 0; !run->Runner().Finished() && ticks < 50; ++ticks) {
            clock.advance(run->TimerTransDelay->interval());
            run->TimerTransDelayTimer();
        }
        end = run->LabelStatus->text().toStdString();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(run, kSettleMs));
        PlaceOver(*run, run->ButtonAbortTrans, page.StartTransButton);
        DoubleClickClosing(*run, run->ButtonAbortTrans);
    };
    OnModalShown hand(work);
    const std::size_t before = simulator.frameLog().size();
    page.StartTransButton->click();
    EXPECT_EQ(end, "Done");
    EXPECT_EQ(runs, 1);
    const std::vector<std::string> frames = NewFrames(before);
    EXPECT_EQ(std::count_if(frames.begin(), frames.end(), [](const std::string& f) { return f[0] == '1'; }), 2)
        << frames.size();
}

// The port gone, "Q" and Enter: nothing can go out, and the text stays
// selected; with the port back, "Q" and Enter sends "Q", not "QQ", and "A"
// then sends "A".
TEST_F(StrayInputTest, CommandsTypedAfterOneThatDidNotGoOutGoOutAsTyped)
{
    if (!HaveXdotool())
        GTEST_SKIP() << "xdotool is missing: no keys can be typed";
    StartFramed();
    FocusCommandBox();
    link::LinkPort& port = Main().Com()->Port();
    const link::PortSettings settings = port.Settings();
    const std::size_t before = simulator.frameLog().size();
    port.Close();
    TypeAndEnter("Q");
    EXPECT_EQ(App().CmdStrForm().CmdCombo->lineEdit()->selectedText(), "Q");
    ASSERT_EQ(exceptions.messages().size(), 1u);
    EXPECT_NE(exceptions.messages()[0].find("is not available"), std::string::npos) << exceptions.messages()[0];
    port.Open(settings);
    FocusCommandBox();
    TypeAndEnter("Q");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !NewFrames(before).empty(); }, kSettleMs));
    EXPECT_EQ(NewFrames(before), std::vector<std::string>{"Q51"});

    TypeAndEnter("A");
    EXPECT_TRUE(QTest::qWaitFor([&] { return NewFrames(before).size() == 2; }, kSettleMs));
    EXPECT_EQ(NewFrames(before), (std::vector<std::string>{"Q51", "A41"}));
}

// The program itself holds COM1; this copy starts on the same port: it says
// that another program uses the port. Once the first copy has ended, a
// command typed here opens the port and goes out.
TEST_F(StrayInputTest, SecondCopyUsesThePortOnceTheFirstHasEnded)
{
    if (!HaveXdotool())
        GTEST_SKIP() << "xdotool is missing: no keys can be typed";
    const std::string otherIni = Path("first.INI");
    std::filesystem::copy_file(iniPath, otherIni);
    QProcess first;
    StartProgram(first, otherIni);
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_NE(ProgramWindow(first, "KYDTest COM1"), 0u); // it has the port

    StartFramed();
    ASSERT_FALSE(Main().Com()->Port().IsOpen());
    ASSERT_EQ(dialogs.calls().size(), 1u);
    EXPECT_NE(dialogs.calls()[0].text.find("is in use by another program"), std::string::npos)
        << dialogs.calls()[0].text;
    EXPECT_EQ(Main().windowTitle(), "KYDTest COM1 (not open)");

    first.terminate();
    ASSERT_TRUE(first.waitForFinished(4 * kSettleMs));
    const std::size_t before = simulator.frameLog().size();
    FocusCommandBox();
    TypeAndEnter("Q");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !NewFrames(before).empty(); }, kSettleMs));
    EXPECT_EQ(NewFrames(before), std::vector<std::string>{"Q51"});
    EXPECT_TRUE(exceptions.messages().empty());
    EXPECT_EQ(Main().windowTitle(), "KYDTest COM1");
}

} // namespace
} // namespace kyd::app::test
