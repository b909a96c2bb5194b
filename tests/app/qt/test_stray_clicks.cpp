// A double-click on the button that closes one of the program's boxes or
// dialogs: its second click falls on whatever lay under the box, and must
// start nothing there. The clicks carry the event times a window system
// gives them, as an operator's double-click has them.
#include "support_pty_app.h"
#include "support_stray_clicks.h"

#include "app/qt/ItemPages.h"
#include "app/qt/ModalRun.h"
#include "app/qt/PLVRMain.h"
#include "app/qt/TransDlg.h"
#include "app/qt/TransPage.h"
#include "platform/qt/qt_dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QCheckBox>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace kyd::app::test {
namespace {

// One press and release of the left button on the middle of a widget, at a
// moment of the window system's event clock.
void ClickAt(QWidget* w, quint64 ms)
{
    const QPointF pos = QRectF(w->rect()).center();
    QMouseEvent press(QEvent::MouseButtonPress, pos, w->mapToGlobal(pos), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    press.setTimestamp(ms);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, pos, w->mapToGlobal(pos), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    release.setTimestamp(ms + 60);
    QApplication::sendEvent(w, &release);
}

class StrayClickTest : public PtyAppFixture {
protected:
    // The program's own boxes, not the fake ones.
    StrayClickTest() { platform::setDialogs(&realDialogs); }
    ~StrayClickTest() override { SetModalHandler({}); }

    QPushButton* ItemButton(int item)
    {
        for (TItemPage* p : Main().ItemPages)
            if (QPushButton* b = p->ItemButton(item))
                return b;
        return nullptr;
    }

    platform::QtDialogs realDialogs;
};

TEST_F(StrayClickTest, SecondClickOfADoubleClickOnABoxsOkStartsNothingUnderIt)
{
    StartOnPty();
    Main().MenuPageControl->setCurrentWidget(Main().MenuPageControl->findChild<QWidget*>("ServiceItemTabSheet"));
    auto* rollers = Main().findChild<QAbstractButton*>("SICleanNCButton"); // "NS Rollers", under the box
    QPushButton* read = ItemButton(350);
    ASSERT_TRUE(rollers && read);
    const quint64 t0 = 5'000'000;
    const int interval = QApplication::doubleClickInterval();
    bool worked = false;
    OnModalShown operatorHand([&](QWidget& w) {
        auto* box = qobject_cast<QMessageBox*>(&w);
        ASSERT_NE(box, nullptr);
        worked = true;
        ClickAt(box->button(QMessageBox::Ok), t0);
        // The second click lands where the box was.
        ASSERT_FALSE(box->isVisible());
        ClickAt(rollers, t0 + 150);
    });
    TakeCommands();
    read->click();
    ASSERT_TRUE(worked);
    EXPECT_EQ(TakeCommands(), (std::vector<std::string>{"RD/350"}));

    // A click of its own, after the double-click interval, works as always.
    ClickAt(rollers, t0 + 60 + static_cast<quint64>(interval));
    EXPECT_EQ(TakeCommands(), (std::vector<std::string>{"WD/217/1"}));
}

TEST_F(StrayClickTest, DoubleClickOnCloseOfAFinishedTransactionRunStartsNoNewRun)
{
    StartOnPty();
    TTransPage& page = TwoDispensesReady(simulator, Main());
    const quint64 t0 = 7'000'000;
    int runs = 0;
    std::string end;
    SetModalHandler([&](QDialog& d) {
        if (++runs > 1)
            return int(QDialog::Rejected); // a run nobody asked for
        auto& t = static_cast<TFormTransaction&>(d);
        t.TimerTransDelay->blockSignals(true);
        t.setWindowModality(Qt::ApplicationModal); // as it runs on the screen
        t.show();
        for (int ticks = 0; !t.Runner().Finished() && ticks < 50; ++ticks) {
            clock.advance(t.TimerTransDelay->interval());
            t.TimerTransDelayTimer();
        }
        end = t.LabelStatus->text().toStdString();
        ClickAt(t.ButtonAbortTrans, t0); // "Close"
        EXPECT_FALSE(t.isVisible());
        ClickAt(page.StartTransButton, t0 + 120); // lies under it
        return t.result();
    });
    TakeCommands();
    page.StartTransButton->click();
    EXPECT_EQ(end, "Done");
    EXPECT_EQ(runs, 1);
    const std::vector<std::string> commands = TakeCommands();
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(), [](const std::string& c) { return c[0] == '1'; }), 2);
}

} // namespace
} // namespace kyd::app::test
