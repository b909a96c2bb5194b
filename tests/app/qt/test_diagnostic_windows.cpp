// The self-test and status-check windows against the simulated dispenser
// on a pseudo-terminal.
#include "support_pty_app.h"

#include "platform/qt/ui_scale.h"

#include "app/qt/ChkKYDStatDlg.h"
#include "app/qt/ItemPages.h"
#include "app/qt/ModalRun.h"
#include "app/qt/PLVRMain.h"
#include "app/qt/SendSelfTestDlg.h"
#include "link/PLVRCmd.h"
#include "link/Protokoll.h"
#include "link/StatusTexts.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QHeaderView>
#include <QTreeWidget>

namespace kyd::app::test {
namespace {

using Commands = std::vector<std::string>;

class DiagnosticWindowsTest : public PtyAppFixture {
protected:
    ~DiagnosticWindowsTest() override { SetModalHandler({}); }

    link::TPLVRCmdF& Cmd() { return *Main().CommandLayer(); }
    QPushButton* InfoButton(const char* name) { return Main().ItemPages.front()->findChild<QPushButton*>(name); }
    static std::string Row(QTreeWidget* list, int row)
    {
        const QTreeWidgetItem* i = list->topLevelItem(row);
        if (!i)
            return {};
        std::string s;
        for (int c = 0; c < list->columnCount(); ++c)
            s += (c ? "|" : "") + i->text(c).toStdString();
        return s;
    }
    static int Image(QTreeWidget* list, int row)
    {
        const QVariant v = list->topLevelItem(row)->data(1, Qt::UserRole);
        return v.isValid() ? v.toInt() : kNoImage;
    }
    static void Page(TSendSelfDlg& d, QWidget* page) { d.PageControlSendSelfTestData->setCurrentWidget(page); }
};

TEST_F(DiagnosticWindowsTest, SelfTestButtonReadsGAAndEachPageReadsWithItsCommand)
{
    StartOnPty();
    TakeCommands();
    bool shown = false;
    SetModalHandler([&](QDialog& dlg) {
        auto& d = dynamic_cast<TSendSelfDlg&>(dlg);
        shown = true;
        EXPECT_EQ(TakeCommands(), Commands{"GA"});
        EXPECT_EQ(Row(d.ListViewNQSensor, 0), "Transport Clock Sensor|Not obstructed|120|(0-200)");
        EXPECT_EQ(Image(d.ListViewNQSensor, 0), 0);
        // One row per denomination of the fitted cassettes.
        EXPECT_EQ(d.ListViewSSTDNQ->topLevelItemCount(), 4);
        EXPECT_EQ(Row(d.ListViewSSTDNQ, 0).substr(0, 7), "EUR 100");

        d.SendCmdBtn->click();
        EXPECT_EQ(TakeCommands(), Commands{"GA"});
        // The pages of their own read the first time they are shown only.
        Page(d, d.TabSheetSP);
        Page(d, d.TabSheetNT);
        Page(d, d.TabSheetSP);
        EXPECT_EQ(TakeCommands(), (Commands{"G0", "G9"}));
        EXPECT_EQ(Row(d.ListViewSSTDSP, 0), "BOU Exit Sensor|Not obstructed|12|(0-31)");
        EXPECT_EQ(Row(d.ListViewSSTDSP, 10), "Reject Vault presens Sensor|RV present||");
        EXPECT_EQ(Row(d.ListViewSSTDNT, 2), "Reject Tray presens Sensor|RT present||");

        // Feeders: none selected, nothing to read, a tick reads nothing.
        Page(d, d.TabSheetFeeders);
        EXPECT_EQ(d.Feeder(), 0);
        EXPECT_FALSE(d.SendCmdBtn->isEnabled());
        d.Timer1Timer();
        EXPECT_TRUE(TakeCommands().empty());
        d.FeederButtons->button(2)->click();
        EXPECT_EQ(TakeCommands(), Commands{"G2"});
        EXPECT_TRUE(d.SendCmdBtn->isEnabled());
        EXPECT_EQ(Row(d.ListViewSSTDFeed, 2), "Pressure Sensor|Normal pressure|2|(0-3)");
        EXPECT_EQ(d.LabelNSVert->text() + "x" + d.LabelNSHorz->text(), "072x134");
        return int(QDialog::Accepted);
    });
    InfoButton("SendSelfButton")->click();
    EXPECT_TRUE(shown);
}

TEST_F(DiagnosticWindowsTest, EverySensorNameAndRangeFitsWithoutScrolling)
{
    StartOnPty();
    bool shown = false;
    SetModalHandler([&](QDialog& dlg) {
        auto& d = dynamic_cast<TSendSelfDlg&>(dlg);
        shown = true;
        d.show();
        for (QWidget* page : {d.TabSheetSP, d.TabSheetNT, d.TabSheetFeeders, d.TabSheetNQ}) {
            Page(d, page);
            ProcessEvents();
        }
        d.FeederButtons->button(1)->click(); // the long form's ranges
        for (QTreeWidget* list : {d.ListViewSSTDSP, d.ListViewSSTDNT, d.ListViewSSTDFeed, d.ListViewNQSensor}) {
            SCOPED_TRACE(list->objectName().toStdString());
            Page(d, list->parentWidget());
            ProcessEvents();
            EXPECT_LE(list->header()->length(), list->viewport()->width());
            for (int r = 0; r < list->topLevelItemCount(); ++r)
                for (int c : {0, 3})
                    EXPECT_LT(platform::UiScale::TextWidth(list->font(), list->topLevelItem(r)->text(c)) + 8,
                              list->columnWidth(c))
                        << list->topLevelItem(r)->text(c).toStdString();
        }
        d.hide();
        return int(QDialog::Accepted);
    });
    InfoButton("SendSelfButton")->click();
    EXPECT_TRUE(shown);
}

TEST_F(DiagnosticWindowsTest, FeederFormsNotFittedFeederAndFaults)
{
    StartOnPty();
    simulator.withCore([](sim::SimCore& c) {
        c.cassette(3).exitJammed = true;
        c.cassette(2).notes = 0;
    });
    Cmd().WriteData(214, "1", 80); // extended self-test data: the long form
    TSendSelfDlg d(&Main(), &Cmd());
    Page(d, d.TabSheetFeeders);
    TakeCommands();
    d.FeederButtons->button(3)->click();
    EXPECT_EQ(Row(d.ListViewSSTDFeed, 0), "Exit Sensor|Error|07|(0-15)");
    EXPECT_EQ(Image(d.ListViewSSTDFeed, 0), 2);
    EXPECT_EQ(Row(d.ListViewSSTDFeed, 3), "NC Shutter Sensor 1|Not obstructed|2|(0-7)");
    EXPECT_EQ(d.LabelDenom->text().trimmed().toStdString(), "EUR 500");
    d.FeederButtons->button(2)->click();
    EXPECT_EQ(Row(d.ListViewSSTDFeed, 1), "Empty Sensor|NC Empty|09|(0-15)");
    EXPECT_EQ(TakeCommands(), (Commands{"G3", "G2"}));

    // Feeder 5 is not fitted: the page is blanked without a message and
    // continuous read stops.
    d.CheckBoxContinue->setChecked(true);
    EXPECT_TRUE(d.Timer1->isActive());
    EXPECT_FALSE(d.SendCmdBtn->isEnabled());
    d.FeederButtons->button(5)->click(); // while continuous: the next tick reads
    EXPECT_TRUE(TakeCommands().empty());
    d.Timer1Timer();
    EXPECT_EQ(TakeCommands(), Commands{"G5"});
    EXPECT_TRUE(dialogs.calls().empty());
    EXPECT_FALSE(d.Timer1->isActive());
    EXPECT_FALSE(d.CheckBoxContinue->isChecked());
    EXPECT_EQ(Row(d.ListViewSSTDFeed, 0), "Exit Sensor|||");
    EXPECT_EQ(Image(d.ListViewSSTDFeed, 0), kNoImage);
    EXPECT_EQ(Row(d.ListViewSSTDFeed, 6), "Cassette present Sensor|||");
    EXPECT_EQ(d.LabelDenom->text() + d.LabelNSVert->text() + d.LabelNSHorz->text(), "");

    // Every fitted feeder reads with its own command.
    simulator.withCore([](sim::SimCore& c) {
        for (int pos = 1; pos <= 8; ++pos)
            c.cassette(pos).fitted = true;
    });
    for (int n = 1; n <= 8; ++n)
        d.FeederButtons->button(n)->click();
    EXPECT_EQ(TakeCommands(), (Commands{"G1", "G2", "G3", "G4", "G5", "G6", "G7", "G8"}));
    dialogs.clear();

    // Any other failure reports itself.
    simulator.updateFaults([](sim::SimFaults& f) { f.scripted.push_back({"G1", 1, 'I'}); });
    d.SelectFeeder(0);
    d.FeederButtons->button(1)->click();
    ASSERT_EQ(dialogs.calls().size(), 1u);
    EXPECT_EQ(dialogs.calls()[0].text, "49 Note Qualifier Faulty");
    EXPECT_EQ(dialogs.calls()[0].type, platform::DlgType::Error);
}

// Stopping the continuous read while the dispenser keeps silent cancels the
// read under way at once, without a message.
TEST_F(DiagnosticWindowsTest, StoppingTheContinuousReadCancelsTheSilentReadAtOnce)
{
    StartOnPty();
    TSendSelfDlg d(&Main(), &Cmd());
    d.show();
    Page(d, d.TabSheetNT);
    d.CheckBoxContinue->setChecked(true);
    simulator.updateFaults([](sim::SimFaults& f) { f.silent = -1; });
    dialogs.clear();
    QMetaObject::invokeMethod(&d, [&] { d.CheckBoxContinue->setChecked(false); }, Qt::QueuedConnection);
    d.Timer1Timer();
    // Cancelled, not timed out.
    EXPECT_EQ(Cmd().Model()->StatusCode, link::kCodeCommunicationCanceled);
    EXPECT_FALSE(d.Timer1->isActive());
    EXPECT_FALSE(d.Reading());
    EXPECT_TRUE(dialogs.calls().empty());
}

TEST_F(DiagnosticWindowsTest, PortGoneDuringContinuousReadSwitchesItOff)
{
    StartOnPty();
    TSendSelfDlg d(&Main(), &Cmd());
    d.show();
    Page(d, d.TabSheetNT);
    d.CheckBoxContinue->setChecked(true);
    d.Timer1Timer();
    ASSERT_TRUE(d.Timer1->isActive());
    // The dispenser's line goes away (a USB adapter pulled out).
    transport.reset();
    ASSERT_TRUE(loop.pumpUntil([this] { return !Main().StatusPanel1->text().isEmpty(); }, 30'000));
    ASSERT_TRUE(d.CheckBoxContinue->isChecked());
    // The next tick cannot reach the port: its error is shown once (by the
    // timer's guard), and no tick follows.
    EXPECT_ANY_THROW(d.Timer1Timer());
    EXPECT_FALSE(d.Timer1->isActive());
    EXPECT_FALSE(d.CheckBoxContinue->isChecked());
    EXPECT_TRUE(d.SendCmdBtn->isEnabled());
    EXPECT_FALSE(d.Reading());
}

TEST_F(DiagnosticWindowsTest, ContinuousReadNeverStartsASecondReadAndStopsWhenHidden)
{
    StartOnPty();
    TSendSelfDlg d(&Main(), &Cmd());
    d.show();
    Page(d, d.TabSheetNT);
    TakeCommands();
    d.CheckBoxContinue->setChecked(true);
    EXPECT_EQ(d.Timer1->interval(), 2000);
    ASSERT_TRUE(d.Timer1->isActive());
    // A tick that comes while the read runs (the link pumps messages while
    // it waits) is dropped.
    bool tickedWhileReading = false;
    QMetaObject::invokeMethod(
        &d,
        [&] {
            tickedWhileReading = d.Reading();
            d.Timer1Timer();
        },
        Qt::QueuedConnection);
    d.Timer1Timer();
    EXPECT_TRUE(tickedWhileReading);
    EXPECT_EQ(TakeCommands(), Commands{"G9"});
    EXPECT_FALSE(d.Reading());
    d.Timer1Timer();
    EXPECT_EQ(TakeCommands(), Commands{"G9"});

    // A reply goes into the page its command was for, whatever is shown
    // when it arrives.
    bool switched = false;
    QMetaObject::invokeMethod(
        &d,
        [&] {
            Page(d, d.TabSheetNQ);
            switched = true;
        },
        Qt::QueuedConnection);
    d.Timer1Timer();
    EXPECT_TRUE(switched);
    EXPECT_EQ(Row(d.ListViewNQSensor, 0), "Transport Clock Sensor|||(0-200)");
    EXPECT_EQ(Row(d.ListViewSSTDNT, 0), "Note transport Sensor|Not obstructed|4|(0-7)");

    d.CheckBoxContinue->setChecked(true);
    d.hide();
    EXPECT_FALSE(d.Timer1->isActive());
    EXPECT_FALSE(d.CheckBoxContinue->isChecked());

    // Closed while a read runs: the read is cancelled without a message and
    // the window goes once it has ended.
    d.show();
    QMetaObject::invokeMethod(&d, [&] { d.reject(); }, Qt::QueuedConnection);
    d.SendCmdBtnClick();
    EXPECT_FALSE(d.isVisible());
    EXPECT_FALSE(d.Reading());
    EXPECT_EQ(d.result(), int(QDialog::Rejected));
    EXPECT_TRUE(dialogs.calls().empty());
}

TEST_F(DiagnosticWindowsTest, StatusCheckShowsHoppersTasksAndFaults)
{
    StartOnPty();
    simulator.withCore([](sim::SimCore& c) {
        c.cassette(3).exitJammed = true;
        c.cassette(2).notes = 0;
        c.cassette(0).notes = c.config().rejectVaultAlmostFull;
        c.cassette(4).fitted = false;
    });
    TakeCommands();
    bool shown = false;
    SetModalHandler([&](QDialog& dlg) {
        auto& d = dynamic_cast<TFormCheckKYDStatus&>(dlg);
        shown = true;
        EXPECT_EQ(d.windowTitle(), "Check KYD Status");
        EXPECT_EQ(d.ListViewHopperStatus->topLevelItemCount(), 9);
        EXPECT_EQ(Row(d.ListViewHopperStatus, 0),
                  "0|00001|RV present & closed|44 Reject Vault Almost Full|01 Reject Vault is almost full");
        EXPECT_EQ(Row(d.ListViewHopperStatus, 1), "1|00001|Cassette data is read|Ok|00 Feeder status is OK");
        EXPECT_EQ(Row(d.ListViewHopperStatus, 2),
                  "2|00002|Cassette data is read|32 Empty Cassette|07 Cassette is marked as empty.");
        EXPECT_EQ(Row(d.ListViewHopperStatus, 3), "3|00003|Cassette data is read|4A Note Feeder Exit Sensor "
                                                   "Failure|10 Sensor broken, or note stuck under exit sensor");
        EXPECT_EQ(Row(d.ListViewHopperStatus, 4), "4|     |No Feeder||");
        EXPECT_EQ(Row(d.ListViewTaskStatus, 0), "Main Motor|The Transport is OK");
        EXPECT_EQ(Row(d.ListViewTaskStatus, 5), "Note Output|The Throat Handler is OK");
        return int(QDialog::Accepted);
    });
    InfoButton("ChkKYDStatusButton")->click();
    EXPECT_TRUE(shown);
    EXPECT_EQ(TakeCommands(), Commands{"Q"});
    // Looking the texts up leaves the model's status as the reply set it.
    EXPECT_EQ(Main().Model()->CodeText, "30 Successful Command");

    // A corrupt reply is refused and the window is not shown.
    TFormCheckKYDStatus w(&Main(), Main().Model());
    EXPECT_FALSE(w.ShowStatus("0000012345" "1x5"));
    ASSERT_EQ(dialogs.calls().size(), 1u);
    EXPECT_EQ(dialogs.calls()[0].text, "Corrupted reply string from KYD:\n" "0000012345" "1x5");
    EXPECT_EQ(dialogs.calls()[0].type, platform::DlgType::Warning);
}

} // namespace
} // namespace kyd::app::test
