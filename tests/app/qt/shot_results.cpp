// Pictures of the Cassette page and the result windows, each filled from
// what the simulated dispenser answers after some work with rejects.
#include "support_pty_app.h"
#include "support/screenshot.h"

#include "app/qt/CassInfo.h"
#include "app/qt/CassettePage.h"
#include "app/qt/ItemForms.h"
#include "app/qt/PLVRMain.h"
#include "app/qt/ResultForms.h"
#include "link/PLVRCmd.h"
#include "link/Protokoll.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QTabWidget>

namespace kyd::app::test {
namespace {

class ResultShots : public PtyAppFixture {
protected:
    link::TPLVRCmdF& Cmd() { return *Main().CommandLayer(); }
    link::Protokoll& Model() { return *Main().Model(); }
    void Shoot(QWidget* w, const char* name) { EXPECT_FALSE(kyd::test::SaveScreenshot(w, name).isEmpty()) << name; }

    // A working day: cassettes of different notes, a dispense with rejects,
    // a delivery, a refused dispense.
    void Work()
    {
        simulator.withCore([](sim::SimCore& c) {
            c.config().rejectEvery = 4;
            c.cassette(2).denomination = "SEK102A";
            c.cassette(4).denomination = "GBP201 ";
        });
        Cmd().SendCommand("8", 20);
        Cmd().Dispense('1', '0', {12, 5, 0, 3, 0, 0, 0, 0});
    }
    void MoreWork()
    {
        Cmd().SendCommand("3", 20);
        Cmd().SendCommand("101001", 20);
        Cmd().SendCommand("105001", 20);
    }
};

TEST_F(ResultShots, EveryWindow)
{
    StartOnPty();
    Work();
    ASSERT_TRUE(Cmd().ReadLastStatus());
    {
        TReadLastStatusForm w(&Main(), &Model());
        ASSERT_TRUE(w.ShowLastStatus("Last Dispense Status"));
        Shoot(&w, "last_status");
    }
    MoreWork();

    Main().MenuPageControl->setCurrentWidget(Main().TabSheetCassItem);
    ProcessEvents();
    Shoot(&Main(), "cassette_page_none");
    Main().CassettePage->TabButtons->button(2)->click();
    Shoot(&Main(), "cassette_page");

    ASSERT_TRUE(Cmd().ReadCassetteIds());
    {
        TCassInfo w(&Main(), &Model());
        ASSERT_TRUE(w.ShowCassettes());
        Shoot(&w, "cassette_list");
    }
    ASSERT_TRUE(Cmd().ReadData(202));
    {
        TCassInfo w(&Main(), &Model());
        ASSERT_TRUE(w.ShowNoteSizes(Model().ReadData));
        Shoot(&w, "note_sizes");
    }
    ASSERT_TRUE(Cmd().ReadRejectTrace());
    {
        TRejectDlgForm w(&Main());
        ASSERT_TRUE(w.ShowTrace(Model().Trace));
        Shoot(&w, "reject_trace");
    }
    ASSERT_TRUE(Cmd().ReadData(100));
    {
        TKYDShowReadDataFrame w(&Main(), &Model());
        ASSERT_TRUE(w.ShowProgramIds(Model().ReadData));
        Shoot(&w, "program_ids");
    }
    ASSERT_TRUE(Cmd().ReadData(118));
    {
        TKYDShowReadDataFrame w(&Main(), &Model());
        ASSERT_TRUE(w.ShowCurrencyCodes(Model().ReadData));
        Shoot(&w, "currency_codes");
    }
    ASSERT_TRUE(Cmd().ReadData(300));
    {
        TKYDShowReadDataFrame w(&Main(), &Model());
        w.setWindowTitle("Item 300 Internal reject table");
        ASSERT_TRUE(w.ShowTable(Model().ReadData, 0));
        Shoot(&w, "reject_table");
    }
    ASSERT_TRUE(Cmd().ReadData(301));
    {
        TKYDShowReadDataFrame w(&Main(), &Model());
        w.setWindowTitle("Item 301 Status code table");
        ASSERT_TRUE(w.ShowTable(Model().ReadData, 1));
        Shoot(&w, "status_table");
    }
    {
        TNoteCounterForm w(&Main(), &Cmd(), &Main());
        w.show();
        ProcessEvents();
        ASSERT_FALSE(w.Reading());
        Shoot(&w, "note_counters");
    }
    ASSERT_TRUE(Cmd().ReadData(104));
    {
        TModifyItemDlg w(&Main());
        w.PrepareInteger("Max. number of notes in a bundle", Model().ReadData, true, "Range: 1 - 100", 3);
        Shoot(&w, "item_editor_integer");
    }
    {
        TModifyItemDlg w(&Main());
        w.PrepareInteger("Bundle rejects", "/000012", false, "Read only: Clear sets it to 0", 6);
        Shoot(&w, "item_editor_clear");
    }
    {
        TModifyItemDlg w(&Main());
        w.PrepareChoice("Feeding order", "Biggest first(default)\nSmallest first\nAs requested", 0);
        Shoot(&w, "item_editor_choice");
    }
    // Values read that the editor cannot show as they stand.
    {
        TModifyItemDlg w(&Main());
        w.PrepareInteger("Item 104 Max. notes per bundle", "/1x0", true, "Range: 1-100, Default: 100", 3);
        Shoot(&w, "item_editor_not_a_number");
    }
    {
        TModifyItemDlg w(&Main());
        w.PrepareChoice("Item 201 Feed Order", "In hopper order\nBiggest first(default)\nSmallest first", 7);
        Shoot(&w, "item_editor_no_option");
    }
    // A last-status record whose count was no number, and a status table
    // with lower-case digits and an odd count.
    {
        link::FeederList feeders;
        for (int n : {1, 2}) {
            auto f = std::make_unique<link::FeederData>();
            f->Number = n;
            f->Count = n == 1 ? 5 : -1;
            f->Status = "30 Successful Command";
            feeders.push_back(std::move(f));
        }
        link::Protokoll model;
        model.SetFeeders(std::move(feeders));
        TReadLastStatusForm w(&Main(), &model);
        ASSERT_TRUE(w.ShowLastStatus("Last Dispense Status"));
        Shoot(&w, "last_status_bad_count");
    }
    {
        TKYDShowReadDataFrame w(&Main(), &Model());
        w.setWindowTitle("Item 301 Status code table");
        ASSERT_TRUE(w.ShowTable("/3a0053A0x5", 1));
        Shoot(&w, "status_table_as_sent");
    }
}

} // namespace
} // namespace kyd::app::test
