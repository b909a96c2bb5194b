// A soak-test series as a service technician runs it: twenty dispenses with
// a wait for the notes to be taken after each, through the serial library
// to the simulated dispenser on a pseudo-terminal. The transaction window's
// timer is ticked by the test, each tick moving the fake clock on by the
// timer's interval; the simulated operator takes the notes 2.5 s after
// they were presented.
#include "support_pty_app.h"

#include "app/qt/ModalRun.h"
#include "app/qt/PLVRMain.h"
#include "app/qt/TransDlg.h"
#include "app/qt/TransPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>

namespace kyd::app::test {
namespace {

using TransactionsPty = PtyAppFixture;

TEST_F(TransactionsPty, TwentyDispensesWithRemovalWaitsLeaveTheCassettesCountedDown)
{
    simulator.withCore([](sim::SimCore& c) {
        c.config().takeNotesAfterMs = 2500;
        c.execute("8");
    });
    // The seventh dispense fails; the operator ignores it.
    sim::ScriptedStatus fail;
    ASSERT_TRUE(sim::parseScriptedStatus("1*:7:6", fail));
    simulator.updateFaults([&](sim::SimFaults& f) { f.scripted = {fail}; });
    StartOnPty();
    dialogs.queueResult(platform::DlgResult::Ignore);

    TTransPage& page = *Main().TransPage;
    Main().TcdTransOptions->TransCmdDispense->click();
    const std::array<int, 8> counts{5, 3, 0, 2};
    for (std::size_t i = 0; i < 8; ++i)
        page.CSpinEditNF[i]->setValue(counts[i]);
    page.MFOptionComboBox->setCurrentIndex(1);
    page.CSpinEditNoOfTrans->setValue(20);
    ASSERT_TRUE(page.AutoChkThroatCheckBox->isChecked());

    std::string end;
    int ticks = 0;
    SetModalHandler([&](QDialog& d) {
        auto& t = static_cast<TFormTransaction&>(d);
        t.TimerTransDelay->blockSignals(true);
        t.show();
        while (!t.Runner().Finished() && ticks < 500) {
            ++ticks;
            clock.advance(t.TimerTransDelay->interval());
            t.TimerTransDelayTimer();
        }
        end = t.LabelStatus->text().toStdString() + " " + t.LabelTransNr->text().toStdString();
        t.ButtonAbortTrans->click();
        return t.result();
    });
    page.StartTransButton->click();
    SetModalHandler({});

    EXPECT_EQ(end, "Done, 1 of 20 failed 20"); // the one failed dispense is counted
    const std::vector<std::string> commands = TakeCommands();
    const auto dispenses = std::count(commands.begin(), commands.end(), "10100520034002");
    const auto polls = std::count(commands.begin(), commands.end(), ":");
    EXPECT_EQ(dispenses, 20);
    // After each good bundle but the last (18): 'M' at 1 s and 2 s, taken
    // at 3 s; after the failed dispense one poll finds the throat empty.
    EXPECT_EQ(polls, 18 * 3 + 1);
    const auto questions = dialogs.calls();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].buttons, platform::DlgButtons::AbortIgnore);

    // The dispenser's counts match what was dispensed: 19 good bundles.
    simulator.withCore([&](sim::SimCore& c) {
        for (int pos = 1; pos <= 4; ++pos)
            EXPECT_EQ(c.cassette(pos).notes, 500 - 19 * counts[static_cast<std::size_t>(pos - 1)]) << pos;
        EXPECT_EQ(c.counter(303), 19 * 10);
        EXPECT_EQ(c.throatNotes(), 10); // the last bundle waits to be taken
    });
    EXPECT_TRUE(Main().MenuPageControl->isEnabled());
    EXPECT_TRUE(exceptions.messages().empty());
}

} // namespace
} // namespace kyd::app::test
