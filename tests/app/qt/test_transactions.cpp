// Transactions from the main window: the page's rules and single
// transactions, and series in the transaction window, whose timer the tests
// tick by hand (moving the fake clock on by the timer's interval each time)
// against the simulated dispenser.
#include "support_app.h"

#include "app/qt/ModalRun.h"
#include "app/qt/PLVRMain.h"
#include "app/qt/TransDlg.h"
#include "app/qt/TransPage.h"
#include "link/PLVRCmd.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace kyd::app::test {

namespace {

using platform::DlgButtons;
using platform::DlgResult;

class TransactionsTest : public AppFixture {
protected:
    ~TransactionsTest() override { SetModalHandler({}); }

    TTransPage& Page() { return *Main().TransPage; }
    // Commands written to the dispenser, without checksum and carriage return.
    std::vector<std::string> Commands() const
    {
        std::vector<std::string> out;
        for (const std::string& w : ports.back()->written)
            out.push_back(w.size() >= 3 ? w.substr(0, w.size() - 3) : w);
        return out;
    }
    std::vector<platform::FakeDialogs::Call> Questions() const
    {
        std::vector<platform::FakeDialogs::Call> out;
        for (const auto& c : dialogs.calls())
            if (c.kind == "messageDlg")
                out.push_back(c);
        return out;
    }
    void StartOpen()
    {
        Start();
        Port().WithCore([](sim::SimCore& c) { c.execute("8"); });
    }
    void SetNotes(std::initializer_list<int> counts)
    {
        int i = 0;
        for (int n : counts)
            Page().CSpinEditNF[static_cast<std::size_t>(i++)]->setValue(n);
    }

    // The transaction window as Start opens it, ticked by the test: each
    // tick moves the fake clock on by the timer's interval. Before every
    // tick, `before` may work the window; after the run the window's
    // statuses after each tick are in `statuses`, and the status at every
    // command sent in `sentWhile`.
    std::function<void(TFormTransaction&, int tick)> before;
    std::vector<std::string> statuses;
    std::vector<std::string> sentWhile;
    std::vector<int> intervals; // the timer's interval at each tick
    bool timerOnAtEveryTick = true;
    int result = -1;
    bool closed = false;

    void DriveSeries(int maxTicks = 1000)
    {
        SetModalHandler([this, maxTicks](QDialog& d) {
            auto& t = static_cast<TFormTransaction&>(d);
            t.TimerTransDelay->blockSignals(true); // only the test ticks
            Port().onWrite = [this, &t](const std::string&) {
                sentWhile.push_back(t.LabelStatus->text().toStdString());
            };
            t.show();
            for (int i = 0; i < maxTicks && t.isVisible() && !t.Runner().Finished(); ++i) {
                if (before)
                    before(t, i);
                if (!t.isVisible())
                    break;
                timerOnAtEveryTick = timerOnAtEveryTick && t.TimerTransDelay->isActive();
                intervals.push_back(t.TimerTransDelay->interval());
                clock.advance(t.TimerTransDelay->interval());
                t.TimerTransDelayTimer();
                statuses.push_back(t.LabelStatus->text().toStdString());
            }
            Port().onWrite = {};
            if (t.isVisible() && t.Runner().Finished()) {
                EXPECT_EQ(t.ButtonAbortTrans->text(), "Close");
                EXPECT_FALSE(t.TimerTransDelay->isActive());
                // A tick after the end does nothing.
                const std::size_t sent = Port().written.size();
                t.TimerTransDelayTimer();
                EXPECT_EQ(Port().written.size(), sent);
                t.ButtonAbortTrans->click();
            }
            closed = !t.isVisible();
            return result = t.result();
        });
    }
};

TEST_F(TransactionsTest, PageRulesFollowTheCountsTheDeliverOptionAndTheCommand)
{
    Start();
    TTransPage& p = Page();
    EXPECT_FALSE(p.StartTransButton->isEnabled());
    EXPECT_FALSE(p.ClearNFNotesButton->isEnabled());
    EXPECT_FALSE(p.AutoChkThroatCheckBox->isEnabled());
    EXPECT_EQ(p.MFOptionComboBox->currentText(), "Deliver notes");
    EXPECT_TRUE(Main().TcdTransOptions->TransCmdMoveForward->isChecked());
    EXPECT_TRUE(p.DeliverOptionsGroupBox->isEnabled());

    SetNotes({0, 20, 0, 0, 0, 0, 0, 7});
    EXPECT_EQ(p.TotNumNotesLabel->text(), "27");
    EXPECT_TRUE(p.StartTransButton->isEnabled());
    EXPECT_TRUE(p.ClearNFNotesButton->isEnabled());

    // More than one transaction with "Deliver notes": the throat check is
    // offered and on; back at one it goes.
    p.CSpinEditNoOfTrans->setValue(5);
    EXPECT_TRUE(p.AutoChkThroatCheckBox->isEnabled());
    EXPECT_TRUE(p.AutoChkThroatCheckBox->isChecked());
    p.AutoChkThroatCheckBox->setChecked(false); // the operator's choice stays
    p.CSpinEditNoOfTrans->setValue(6);
    EXPECT_FALSE(p.AutoChkThroatCheckBox->isChecked());
    p.MFOptionComboBox->setCurrentIndex(2); // Reject notes
    EXPECT_FALSE(p.AutoChkThroatCheckBox->isEnabled());
    EXPECT_FALSE(p.AutoChkThroatCheckBox->isChecked());
    EXPECT_TRUE(p.CSpinEditDelay->isEnabled());
    p.MFOptionComboBox->setCurrentIndex(4); // Deliver (KYD050): the other command group
    EXPECT_TRUE(p.TransCmdGroupBox->isHidden());
    EXPECT_FALSE(p.KYD050CmdGroupBox->isHidden());
    p.MFOptionComboBox->setCurrentIndex(0); // None: one transaction, nothing to set
    EXPECT_FALSE(p.TransCmdGroupBox->isHidden());
    EXPECT_EQ(p.CSpinEditNoOfTrans->value(), 1);
    EXPECT_FALSE(p.CSpinEditNoOfTrans->isEnabled());
    EXPECT_FALSE(p.LabelDelay->isEnabled());
    p.MFOptionComboBox->setCurrentIndex(1);
    EXPECT_TRUE(p.CSpinEditNoOfTrans->isEnabled());
    EXPECT_FALSE(p.AutoChkThroatCheckBox->isEnabled()); // still one transaction

    Main().TcdTransOptions->TransCmdDispense->click();
    EXPECT_FALSE(p.DeliverOptionsGroupBox->isEnabled());
    Main().TcdTransOptions->TransCmdMoveForward->click();
    EXPECT_TRUE(p.DeliverOptionsGroupBox->isEnabled());

    p.ClearNFNotesButton->click();
    EXPECT_EQ(p.TotNumNotesLabel->text(), "0");
    EXPECT_FALSE(p.StartTransButton->isEnabled());
}

TEST_F(TransactionsTest, SingleTransactionsAndTheirFollowUps)
{
    StartOpen();
    SetNotes({2, 0, 1});
    // Dispense to the right teller.
    Main().TcdTransOptions->TransCmdDispense->click();
    Main().TcdTransOptions->TellerRight->click();
    EXPECT_EQ(Main().Teller(), '1');
    Page().StartTransButton->click();
    EXPECT_EQ(Commands(), (std::vector<std::string>{"1110023001"}));
    Port().WithCore([](sim::SimCore& c) { c.execute("D10"); }); // the throat emptied

    // Move forward with "Reject notes": the reject follows a success only.
    Main().TcdTransOptions->TransCmdMoveForward->click();
    Main().TcdTransOptions->TellerLeft->click();
    Page().MFOptionComboBox->setCurrentIndex(2);
    Port().written.clear();
    Page().StartTransButton->click();
    EXPECT_EQ(Commands(), (std::vector<std::string>{"2010023001", "4"}));
    Port().written.clear();
    Port().QueueReply("9"); // a jam
    Page().StartTransButton->click();
    EXPECT_EQ(Commands(), (std::vector<std::string>{"2010023001"}));

    // "Feed to Reject": '9' as second character, nothing afterwards.
    Page().MFOptionComboBox->setCurrentIndex(3);
    Port().written.clear();
    Page().StartTransButton->click();
    EXPECT_EQ(Commands(), (std::vector<std::string>{"2910023001"}));
    EXPECT_EQ(Port().WithCore([](sim::SimCore& c) { return c.cassette(0).notes; }), 9);
    EXPECT_TRUE(Questions().empty());
    EXPECT_TRUE(Main().MenuPageControl->isEnabled());
}

// "Start" is the page's default button: Enter typed in a count starts the
// transaction; on a focused button of the page Enter presses that button.
TEST_F(TransactionsTest, EnterInThePageStartsAsItsDefaultButtonDoes)
{
    StartOpen();
    Main().TcdTransOptions->TransCmdDispense->click();
    const auto typeCount = [](QSpinBox* s, const char* text) {
        s->setFocus();
        QTest::keyClick(s, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(s, text);
    };
    // Nothing to dispense yet: Enter does nothing.
    typeCount(Page().CSpinEditNF[0], "0");
    QTest::keyClick(Page().CSpinEditNF[0], Qt::Key_Return);
    EXPECT_TRUE(Commands().empty());

    typeCount(Page().CSpinEditNF[0], "2");
    typeCount(Page().CSpinEditNF[2], "1");
    QTest::keyClick(Page().CSpinEditNF[2], Qt::Key_Return);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"1010023001"}));

    // From the keypad, in the number of transactions.
    Port().written.clear();
    typeCount(Page().CSpinEditNoOfTrans, "1");
    QTest::keyClick(Page().CSpinEditNoOfTrans, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"1010023001"}));

    // Enter on "Clear" clears the counts; nothing is sent.
    Port().written.clear();
    Page().ClearNFNotesButton->setFocus();
    QTest::keyClick(Page().ClearNFNotesButton, Qt::Key_Return);
    EXPECT_EQ(Page().TotNumNotesLabel->text(), "0");
    EXPECT_TRUE(Commands().empty());
    EXPECT_TRUE(Questions().empty());
}

TEST_F(TransactionsTest, AMoveForwardTheOperatorCancelsIsFollowedByNothing)
{
    StartOpen();
    SetNotes({2});
    // The operator cancels each move forward while it waits for its reply.
    auto cancel = [this](const std::string& w) {
        if (w[0] == '2')
            loop.postCall([this] { Main().CommandLayer()->Abort(); });
    };
    for (int option : {1, 2}) {
        SCOPED_TRACE(option);
        Page().MFOptionComboBox->setCurrentIndex(option);
        Port().written.clear();
        Port().onWrite = cancel;
        Page().StartTransButton->click();
        Port().onWrite = {};
        EXPECT_EQ(Commands(), (std::vector<std::string>{"201002"}));
        EXPECT_EQ(Main().Model()->StatusCode, 205);
    }
    EXPECT_TRUE(Questions().empty());
}

TEST_F(TransactionsTest, AnOperatorCancelInASeriesIsNoFailedStep)
{
    StartOpen();
    Port().WithCore([](sim::SimCore& c) { c.config().takeNotesAfterMs = 0; });
    SetNotes({1});
    Page().CSpinEditNoOfTrans->setValue(2);
    Page().MFOptionComboBox->setCurrentIndex(1);
    bool cancelled = false;
    before = [&](TFormTransaction&, int) {
        Port().onWrite = [&](const std::string& w) {
            sentWhile.push_back(w.substr(0, 1));
            if (!cancelled && w[0] == '2') {
                cancelled = true;
                loop.postCall([this] { Main().CommandLayer()->Abort(); });
            }
        };
    };
    DriveSeries();
    Page().StartTransButton->click();
    ASSERT_TRUE(cancelled);
    // No question, no deliver after the cancelled move forward; the second
    // transaction runs with its deliver.
    EXPECT_TRUE(Questions().empty());
    EXPECT_EQ(Commands(), (std::vector<std::string>{"201001", ":", "201001", "3"}));
    EXPECT_EQ(statuses.back(), "Done");
}

TEST_F(TransactionsTest, DelayCountsDownBetweenTransactionsThenDone)
{
    StartOpen();
    Port().WithCore([](sim::SimCore& c) { c.config().takeNotesAfterMs = 0; });
    Main().TcdTransOptions->TransCmdDispense->click();
    SetNotes({1});
    Page().CSpinEditNoOfTrans->setValue(2);
    Page().CSpinEditDelay->setValue(3);
    Page().MFOptionComboBox->setCurrentIndex(2); // no throat check
    DriveSeries();
    Page().StartTransButton->click();
    EXPECT_EQ(statuses, (std::vector<std::string>{"Delay 3", "Delay 3", "Delay 2", "Delay 1", "Done"}));
    EXPECT_EQ(sentWhile, (std::vector<std::string>{"Feeding", "Feeding"}));
    EXPECT_EQ(Commands(), (std::vector<std::string>{"101001", "101001"}));
    EXPECT_TRUE(timerOnAtEveryTick);
    EXPECT_TRUE(closed);
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(Main().MenuPageControl->isEnabled());
}

TEST_F(TransactionsTest, WithoutDelayTheNextTransactionStartsAtOnceWithoutARemovalWait)
{
    StartOpen();
    Port().WithCore([](sim::SimCore& c) { c.config().takeNotesAfterMs = 0; });
    TFormTransaction t(&Main(), Main().CommandLayer());
    TransactionSetup s;
    s.Count = 3;
    s.DelaySec = 0;
    s.WaitRemoval = true;
    s.Counts = {0, 2};
    t.Setup(s);
    t.TimerTransDelay->blockSignals(true);
    t.show();
    std::vector<std::string> seen;
    for (int i = 0; i < 3; ++i) {
        t.TimerTransDelayTimer();
        seen.push_back(t.LabelStatus->text().toStdString() + "/" + t.LabelTransNr->text().toStdString());
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"Delay 0/1", "Delay 0/2", "Done/3"}));
    EXPECT_EQ(Commands(), (std::vector<std::string>{"102002", "102002", "102002"}));
    // Shown again: no second run.
    t.hide();
    t.show();
    EXPECT_FALSE(t.TimerTransDelay->isActive());
}

TEST_F(TransactionsTest, RemovalWaitPolls61TimesEverySecondThen13EveryFiveThenAsks)
{
    StartOpen();
    Port().WithCore([](sim::SimCore& c) { c.config().notesLeftInThroat = -1; });
    Main().TcdTransOptions->TransCmdDispense->click();
    SetNotes({3});
    Page().CSpinEditNoOfTrans->setValue(2);
    Page().CSpinEditDelay->setValue(1);
    Page().AutoChkThroatCheckBox->setChecked(true);
    // Ignore the notes left in the throat; then the next dispense fails
    // ('M': the throat is still full) and the operator aborts.
    dialogs.queueResult(DlgResult::Ignore);
    dialogs.queueResult(DlgResult::Abort);
    DriveSeries();
    Page().StartTransButton->click();

    const std::vector<std::string> cmds = Commands();
    ASSERT_EQ(cmds.size(), 2u + 74u);
    EXPECT_EQ(cmds.front(), "101003");
    EXPECT_EQ(cmds.back(), "101003");
    for (std::size_t i = 1; i <= 74; ++i)
        EXPECT_EQ(cmds[i], ":") << i;
    // Tick k >= 1 polled for the k-th time (the first at the end of the
    // delay): 61 polls a second apart, then 13 five seconds apart.
    ASSERT_GE(intervals.size(), 75u);
    std::vector<int> pollGaps(intervals.begin() + 2, intervals.begin() + 75);
    EXPECT_EQ(std::count(pollGaps.begin(), pollGaps.begin() + 60, 1000), 60);
    EXPECT_EQ(std::count(pollGaps.begin() + 60, pollGaps.end(), 5000), 13);
    EXPECT_EQ(sentWhile[1], "Remove notes");

    const auto q = Questions();
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0].text, "4D Notes In Bundle Output Unit");
    EXPECT_EQ(q[0].type, platform::DlgType::Error);
    EXPECT_EQ(q[0].buttons, DlgButtons::AbortIgnore);
    EXPECT_EQ(q[1].text, "4D Notes In Bundle Output Unit");
    // Cut short: "Aborted", not "Done", with the failed dispense counted.
    EXPECT_EQ(statuses.back(), "Aborted, 1 of 2 failed");
    EXPECT_TRUE(closed);
}

TEST_F(TransactionsTest, MoveForwardFollowUpsAndAFailedStepIgnored)
{
    StartOpen();
    Port().WithCore([](sim::SimCore& c) { c.config().takeNotesAfterMs = 0; });
    SetNotes({0, 0, 4});
    Page().CSpinEditNoOfTrans->setValue(2);
    for (int option : {1, 2, 3}) {
        SCOPED_TRACE(option);
        Page().MFOptionComboBox->setCurrentIndex(option);
        Port().written.clear();
        DriveSeries();
        Page().StartTransButton->click();
        const std::vector<std::vector<std::string>> expected = {
            {}, {"203004", "3", ":", "203004", "3"}, {"203004", "4", "203004", "4"}, {"293004", "293004"}};
        EXPECT_EQ(Commands(), expected[static_cast<std::size_t>(option)]);
        EXPECT_EQ(statuses.back(), "Done");
        EXPECT_TRUE(Questions().empty());
    }

    // The first move forward fails: no deliver after it; Ignore goes on.
    Page().MFOptionComboBox->setCurrentIndex(1);
    Port().written.clear();
    Port().QueueReply("6");
    dialogs.queueResult(DlgResult::Ignore);
    DriveSeries();
    Page().StartTransButton->click();
    EXPECT_EQ(Commands(), (std::vector<std::string>{"203004", ":", "203004", "3"}));
    ASSERT_EQ(Questions().size(), 1u);
    EXPECT_EQ(statuses.back(), "Done, 1 of 2 failed"); // the ignored failure is counted
}

TEST_F(TransactionsTest, AbortDuringTheDelayEndsAtTheNextTickAndTheButtonCloses)
{
    StartOpen();
    Port().WithCore([](sim::SimCore& c) { c.config().takeNotesAfterMs = 0; });
    SetNotes({1});
    Page().CSpinEditNoOfTrans->setValue(3);
    Page().CSpinEditDelay->setValue(5);
    std::string captionAfterAbort;
    bool stillOpen = false;
    before = [&](TFormTransaction& t, int tick) {
        if (tick == 2) {
            t.ButtonAbortTrans->click();
            captionAfterAbort = t.ButtonAbortTrans->text().toStdString();
            stillOpen = t.isVisible();
        }
    };
    DriveSeries();
    Page().StartTransButton->click();
    EXPECT_EQ(statuses, (std::vector<std::string>{"Delay 5", "Delay 5", "Aborted"}));
    EXPECT_EQ(captionAfterAbort, "Abort");
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"201001", "3"}));
    EXPECT_TRUE(closed);
}

TEST_F(TransactionsTest, ClosingDuringAnExchangeAbortsAndClosesWhenItHasEnded)
{
    StartOpen();
    SetNotes({1});
    Page().CSpinEditNoOfTrans->setValue(4);
    // The operator closes the window while the first move forward's reply
    // is on its way.
    bool closedInside = true;
    bool asked = false;
    SetModalHandler([&](QDialog& d) {
        auto& t = static_cast<TFormTransaction&>(d);
        t.TimerTransDelay->blockSignals(true);
        t.show();
        Port().onWrite = [&](const std::string& w) {
            if (!asked && w.rfind("201001", 0) == 0) {
                asked = true;
                loop.postCall([&] {
                    t.close();
                    closedInside = !t.isVisible();
                });
            }
        };
        t.TimerTransDelayTimer();
        Port().onWrite = {};
        closed = !t.isVisible();
        return t.result();
    });
    Page().StartTransButton->click();
    ASSERT_TRUE(asked);
    EXPECT_FALSE(closedInside);
    EXPECT_TRUE(closed);
    // The exchange was cancelled: no deliver follows it.
    EXPECT_EQ(Commands(), (std::vector<std::string>{"201001"}));
    EXPECT_TRUE(Questions().empty());
}

// With the dispenser silent, Abort cancels the exchange under way: the run
// ends "Aborted" at once, not after the 180 s time-out, and nobody is asked.
TEST_F(TransactionsTest, AbortDuringASilentExchangeEndsTheRunAtOnce)
{
    StartOpen();
    SetNotes({1});
    Page().CSpinEditNoOfTrans->setValue(3);
    Port().QueueSilence();
    std::int64_t started = 0;
    std::string statusAtEnd;
    SetModalHandler([&](QDialog& d) {
        auto& t = static_cast<TFormTransaction&>(d);
        t.TimerTransDelay->blockSignals(true);
        t.show();
        Port().onWrite = [&](const std::string&) {
            started = clock.monotonicMs();
            loop.postCall([&] { t.ButtonAbortTrans->click(); });
        };
        t.TimerTransDelayTimer();
        Port().onWrite = {};
        statusAtEnd = t.LabelStatus->text().toStdString();
        EXPECT_EQ(t.ButtonAbortTrans->text(), "Close");
        t.ButtonAbortTrans->click();
        closed = !t.isVisible();
        return t.result();
    });
    StartTicker(); // fake time passes while the exchange waits
    Page().StartTransButton->click();
    StopTicker();
    EXPECT_EQ(statusAtEnd, "Aborted");
    EXPECT_LT(clock.monotonicMs() - started, 1000);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"201001"}));
    EXPECT_TRUE(Questions().empty());
    EXPECT_TRUE(closed);
}

TEST_F(TransactionsTest, AStepThatThrowsIsAFailedStepAndTheTimerRunsOn)
{
    StartOpen();
    Main().TcdTransOptions->TransCmdDispense->click();
    SetNotes({1});
    Page().CSpinEditNoOfTrans->setValue(2);
    Page().MFOptionComboBox->setCurrentIndex(2);
    Port().Close();
    dialogs.queueResult(DlgResult::Ignore);
    dialogs.queueResult(DlgResult::Ignore);
    DriveSeries();
    Page().StartTransButton->click();
    const auto q = Questions();
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0].buttons, DlgButtons::AbortIgnore);
    EXPECT_TRUE(timerOnAtEveryTick);
    EXPECT_EQ(statuses.back(), "Done, 2 of 2 failed");
    EXPECT_TRUE(exceptions.messages().empty());
    EXPECT_TRUE(Main().MenuPageControl->isEnabled());
}

TEST_F(TransactionsTest, RealTimerRunsASeriesWithThroatChecks)
{
    StartOpen();
    Port().WithCore([](sim::SimCore& c) { c.config().throatChecksToRemove = 2; });
    Main().TcdTransOptions->TransCmdDispense->click();
    SetNotes({2, 1});
    Page().CSpinEditNoOfTrans->setValue(3);
    Page().MFOptionComboBox->setCurrentIndex(1);
    ASSERT_TRUE(Page().AutoChkThroatCheckBox->isChecked());
    std::string end;
    SetModalHandler([&](QDialog& d) {
        auto& t = static_cast<TFormTransaction&>(d);
        t.Runner().SetIntervals(5, 25);
        auto shown = t.Runner().Changed;
        t.Runner().Changed = [&t, shown, &end] {
            shown();
            if (t.Runner().Finished() && end.empty()) {
                end = t.LabelStatus->text().toStdString();
                QMetaObject::invokeMethod(t.ButtonAbortTrans, "click", Qt::QueuedConnection);
            }
        };
        QTimer::singleShot(20'000, &t, &QDialog::reject); // never hang the suite
        return t.exec();
    });
    Page().StartTransButton->click();
    EXPECT_EQ(end, "Done");
    const std::vector<std::string> c = Commands();
    EXPECT_EQ(std::count(c.begin(), c.end(), "1010022001"), 3);
    // Between transactions: two 'M' answers, then the notes are taken.
    EXPECT_EQ(std::count(c.begin(), c.end(), ":"), 2 * 3);
    EXPECT_EQ(Port().WithCore([](sim::SimCore& core) { return core.cassette(1).notes; }), 500 - 6);
    EXPECT_TRUE(Questions().empty());
}

} // namespace
} // namespace kyd::app::test
