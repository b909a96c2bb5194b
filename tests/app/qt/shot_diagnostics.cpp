// Pictures of the item pages, the item editor opened from them, every page
// of the self-test window and the status-check window, filled from what the
// simulated dispenser answers with a few faults set.
#include "support_pty_app.h"
#include "support/screenshot.h"

#include "app/qt/ChkKYDStatDlg.h"
#include "app/qt/ItemForms.h"
#include "app/qt/ItemPages.h"
#include "app/qt/ModalRun.h"
#include "app/qt/PLVRMain.h"
#include "app/qt/SendSelfTestDlg.h"
#include "link/PLVRCmd.h"
#include "link/Protokoll.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QPushButton>
#include <QTabWidget>

namespace kyd::app::test {
namespace {

class DiagnosticShots : public PtyAppFixture {
protected:
    ~DiagnosticShots() override { SetModalHandler({}); }
    link::TPLVRCmdF& Cmd() { return *Main().CommandLayer(); }
    void Shoot(QWidget* w, const char* name) { EXPECT_FALSE(kyd::test::SaveScreenshot(w, name).isEmpty()) << name; }
    // Opens an item's editor from its button and takes its picture.
    void ShootEditor(int item, const char* name)
    {
        bool shot = false;
        SetModalHandler([&](QDialog& d) {
            shot = true;
            Shoot(&d, name);
            d.hide();
            return int(QDialog::Rejected);
        });
        for (TItemPage* p : Main().ItemPages)
            if (QPushButton* b = p->ItemButton(item))
                b->click();
        SetModalHandler({});
        EXPECT_TRUE(shot) << name;
    }
};

TEST_F(DiagnosticShots, ItemPagesEditorSelfTestAndStatusCheck)
{
    StartOnPty();
    simulator.withCore([](sim::SimCore& c) {
        c.cassette(2).denomination = "SEK102A";
        c.cassette(3).exitJammed = true;
        c.cassette(4).notes = 0;
        c.cassette(0).notes = c.config().rejectVaultAlmostFull;
    });
    const char* const names[] = {"item_page_info", "item_page_service", "item_page_configuration", "item_page_config2"};
    for (std::size_t i = 0; i < Main().ItemPages.size() && i < 4; ++i) {
        Main().MenuPageControl->setCurrentWidget(Main().ItemPages[i]->parentWidget());
        ProcessEvents();
        Shoot(&Main(), names[i]);
    }
    ShootEditor(104, "item_page_editor_integer");
    ShootEditor(208, "item_page_editor_choice");

    Cmd().SendCommand("8", 20); // cassettes open

    ASSERT_TRUE(Cmd().SendSelfTestData(-1));
    {
        TSendSelfDlg d(&Main(), &Cmd());
        d.ShowSelfTestData(-1, Main().Model()->SelfTestData);
        Shoot(&d, "self_test_note_qualifier");
        d.PageControlSendSelfTestData->setCurrentWidget(d.TabSheetFeeders);
        Shoot(&d, "self_test_feeders_none");
        d.FeederButtons->button(3)->click();
        Shoot(&d, "self_test_feeders");
        d.PageControlSendSelfTestData->setCurrentWidget(d.TabSheetSP);
        Shoot(&d, "self_test_stack_presenter");
        d.PageControlSendSelfTestData->setCurrentWidget(d.TabSheetNT);
        Shoot(&d, "self_test_note_transport");
    }
    ASSERT_TRUE(Cmd().CheckStatus());
    {
        TFormCheckKYDStatus w(&Main(), Main().Model());
        ASSERT_TRUE(w.ShowStatus(Main().Model()->CheckStatusData));
        Shoot(&w, "check_status");
    }
}

} // namespace
} // namespace kyd::app::test
