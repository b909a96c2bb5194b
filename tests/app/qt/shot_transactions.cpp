// Pictures of the transaction controls: the Transactions page with counts
// set, its KYD050 variant, the TCD page's transaction options, the Demo
// page with five scripts and the transaction window during a run.
#include "support_app.h"

#include "app/qt/PLVRMain.h"
#include "app/qt/TransDlg.h"
#include "app/qt/TransPage.h"
#include "support/screenshot.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>

namespace kyd::app::test {
namespace {

class TransactionShots : public AppFixture {};

TEST_F(TransactionShots, PagesAndTheTransactionWindow)
{
    WriteFile("demo1.tdl", "// Dispense test\n");
    WriteFile("demo2.tdl", "// Reject test\n");
    WriteFile("demo3.tdl", "// Retract test\n");
    WriteFile("demo4.tdl", "// Status check\n");
    WriteFile("demo5.tdl", "RESET\n");
    Start();
    TTransPage& page = *Main().TransPage;
    page.CSpinEditNF[0]->setValue(20);
    page.CSpinEditNF[3]->setValue(5);
    page.CSpinEditNoOfTrans->setValue(100);
    page.CSpinEditDelay->setValue(3);
    ProcessEvents();
    EXPECT_FALSE(kyd::test::SaveScreenshot(&Main(), "app_transactions_page").isEmpty());
    page.MFOptionComboBox->setCurrentIndex(4);
    EXPECT_FALSE(kyd::test::SaveScreenshot(&Main(), "app_transactions_page_kyd050").isEmpty());
    Main().MenuPageControl->setCurrentWidget(Main().TabSheetTCD);
    EXPECT_FALSE(kyd::test::SaveScreenshot(&Main(), "app_tcd_transaction_options").isEmpty());
    Main().MenuPageControl->setCurrentWidget(Main().TabSheetDemo);
    EXPECT_FALSE(kyd::test::SaveScreenshot(&Main(), "app_demo_page_five").isEmpty());

    Port().WithCore([](sim::SimCore& c) { c.execute("8"); });
    TFormTransaction t(&Main(), Main().CommandLayer());
    TransactionSetup s;
    s.Count = 100;
    s.DelaySec = 3;
    s.WaitRemoval = true;
    s.Counts = {20, 0, 0, 5};
    t.Setup(s);
    t.TimerTransDelay->blockSignals(true);
    t.show();
    t.TimerTransDelayTimer(); // the first transaction
    t.TimerTransDelayTimer(); // "Delay 3"
    EXPECT_FALSE(kyd::test::SaveScreenshot(&t, "app_transaction_window").isEmpty());
    t.ButtonAbortTrans->click();
    t.TimerTransDelayTimer();
    EXPECT_FALSE(kyd::test::SaveScreenshot(&t, "app_transaction_window_aborted").isEmpty());
}

} // namespace
} // namespace kyd::app::test
