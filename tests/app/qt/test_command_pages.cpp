// The main window's command buttons against the simulated dispenser on a
// pseudo-terminal: every button found on the pages and the tool bar sends
// its exact frames with its time-out and opens its window or message.
#include "support_pty_app.h"

#include "app/qt/ItemPages.h"
#include "app/qt/ModalRun.h"
#include "app/qt/CommandPage.h"
#include "app/qt/PLVRMain.h"
#include "link/PLVRCom.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QToolButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolBar>

#include <array>
#include <map>
#include <mutex>

namespace kyd::app::test {
namespace {

using Commands = std::vector<std::string>;

struct Expected {
    Commands Frames;
    int Seconds;        // the time-out of the last exchange (0: none sent)
    std::string Window; // object name of the window shown, "msg: ..." for a message, or ""
};

// Written from the dispenser's command set, independently of the program's
// own table.
const std::map<std::string, Expected>& Acceptance()
{
    static const std::map<std::string, Expected> table = {
        {"ToolButtonReset", {{"0"}, 180, ""}},
        {"ToolButtonLiftup", {{"8"}, 180, ""}},
        {"ToolButtonLiftDown", {{"7"}, 180, ""}},
        {"ToolButtonStartOfDay", {{"8", "5"}, 20, ""}},
        {"ResetsButton", {{"0"}, 180, ""}},
        {"LiftUpButton", {{"8"}, 180, ""}},
        {"LiftDownButton", {{"7"}, 180, ""}},
        {"ResendLastMsgButton", {{"K"}, 5, ""}},
        {"ChkThroatButton", {{":"}, 5, ""}},
        {"DeliverButton", {{"3"}, 180, ""}},
        {"RejectButton", {{"4"}, 180, ""}},
        {"RetractToStackBtn", {{"D00"}, 180, ""}},
        {"RetractToRVBtn", {{"D10"}, 180, ""}},
        {"StartLockTimerButton", {{";"}, 5, ""}},
        {"AlarmButton", {{"<"}, 5, ""}},
        {"ConfigureButton", {{">"}, 5, ""}},
        {"DefineNoteSizeButton", {{"L"}, 5, ""}},
        {"SetSWConfigSwitchButton", {{"Z200"}, 180, ""}},
        {"ResetDispStatusButton", {{"Z3"}, 5, ""}},
        {"MachineIDButton", {{"ZB"}, 5, ""}},
        {"ReadCountersButton", {{"Z80"}, 5, ""}},
        {"ResetCounterButton", {{"Z90"}, 5, ""}},
        {"RestartButton", {{"Z5"}, 180, ""}},
        {"SetTestModeButton", {{"Z100"}, 180, ""}},
        {"InitializeRAMButton", {{"Z6F"}, 180, ""}},
        {"ReadCassetteIDButton", {{"5"}, 20, "CassInfo"}},
        {"ReadprogramIDButton", {{"A"}, 5, "msg: Program ID: "}},
        {"RdRejTraceButton", {{"9"}, 5, "RejectDlgForm"}},
        {"RdRejTraceButton2", {{"9"}, 5, "RejectDlgForm"}},
        {"TransRdRejTraceButton", {{"9"}, 5, "RejectDlgForm"}},
        {"LastStatusButton", {{"6"}, 5, "ReadLastStatusForm:Last Dispense Status"}},
        {"ChkDeliverButton", {{"6"}, 5, "ReadLastStatusForm:Check Delivered Notes"}},
        {"SendSelfButton", {{"GA"}, 20, "SendSelfDlg"}},
        {"ChkKYDStatusButton", {{"Q"}, 20, "FormCheckKYDStatus"}},
        {"RDModErrorLogButton", {{"RD/311"}, 0, "FormModErrLogDlg:Module Error Log"}},
        {"RDModStatusButton", {{"RD/397"}, 0, "FormModErrLogDlg:Module Status"}},
        {"ModIdButton", {{"RD/110/0", "RD/110/1", "RD/110/2"}, 0, "ModuleIdDlg:Module Id"}},
        {"RDStatisticCountersButton", {{}, 0, "NoteCounterForm"}},
        {"SIOpenShutterButton", {{"WD/394/0"}, 80, ""}},
        {"SICloseShutterButton", {{"WD/394/1"}, 80, ""}},
        {"SIBCUHomeButton", {{"WD/393/0"}, 80, ""}},
        {"SIBCURejectButton", {{"WD/393/1"}, 80, ""}},
        {"SIBCUHoldButton", {{"WD/393/2"}, 80, ""}},
        {"SICleanNCButton", {{"WD/217/1"}, 80, ""}},
        {"SICleanNF1Button", {{"WD/218/1"}, 80, ""}},
        {"ReleaseCassetteButton", {{"712"}, 180, ""}},
        // Confirmed writes, answered Yes.
        {"SIClearNQDataButton", {{"WD/392/0"}, 80, "msg:Valid information will be deleted - continue?"}},
        {"ClearStatisticsButton", {{"WD/310/0"}, 80, "msg:Valid information will be deleted - continue?"}},
        {"ClearNovramButton", {{"WD/237/0"}, 80, "msg:Valid information will be deleted - continue?"}},
        {"DefaultSettingsButton",
         {{"WD/250/0"}, 80, "msg:Settings will be restored to default values - continue?"}},
    };
    return table;
}

class CommandPagesTest : public PtyAppFixture {
protected:
    ~CommandPagesTest() override { SetModalHandler({}); }

    // Every enabled button of the tool bar, the command and item pages, and
    // the Transactions page's command groups.
    std::vector<QAbstractButton*> WalkButtons()
    {
        std::vector<QAbstractButton*> out;
        auto add = [&](QWidget* root) {
            for (QAbstractButton* b : root->findChildren<QAbstractButton*>())
                if (b->isEnabled() && !b->objectName().isEmpty() && !b->objectName().startsWith("qt_"))
                    out.push_back(b);
        };
        add(Main().ToolBar);
        for (const char* page : {"InfoStatisticsTabSheet", "ServiceItemTabSheet", "KYDConfigTabSheet",
                                 "KYDConfig2TabSheet"})
            add(Main().MenuPageControl->findChild<QWidget*>(page));
        add(Main().PageTCD); // not the transaction options beside it
        add(Main().TabSheetTrans->findChild<QGroupBox*>("TransCmdGroupBox"));
        add(Main().TabSheetTrans->findChild<QGroupBox*>("KYD050CmdGroupBox"));
        return out;
    }

    // Clicks a button; the window it opens is recorded and closed.
    std::string Click(QAbstractButton* b)
    {
        std::string shown;
        SetModalHandler([&shown](QDialog& d) {
            shown = d.objectName().toStdString();
            if (shown != "CassInfo" && shown != "RejectDlgForm" && shown != "SendSelfDlg" &&
                shown != "FormCheckKYDStatus" && shown != "NoteCounterForm")
                shown += ":" + d.windowTitle().toStdString();
            return int(QDialog::Rejected);
        });
        dialogs.clear();
        b->click();
        SetModalHandler({});
        for (const auto& call : dialogs.calls())
            if (shown.empty())
                shown = "msg:" + call.text;
        return shown;
    }
};

TEST_F(CommandPagesTest, EveryButtonSendsItsFramesAndOpensItsWindow)
{
    StartOnPty();
    int checked = 0;
    for (QAbstractButton* b : WalkButtons()) {
        const std::string name = b->objectName().toStdString();
        SCOPED_TRACE(name);
        TakeCommands();
        if (name.rfind("ItemButton", 0) == 0) {
            // Item buttons read their item (their windows: the item page tests).
            const int item = b->property("Tag").toInt();
            SetModalHandler([](QDialog&) { return int(QDialog::Rejected); });
            b->click();
            SetModalHandler({});
            char rd[16];
            std::snprintf(rd, sizeof rd, "RD/%03d", item);
            EXPECT_EQ(TakeCommands().front(), rd);
            continue;
        }
        const auto it = Acceptance().find(name);
        ASSERT_NE(it, Acceptance().end()) << "button not in the acceptance table";
        const Expected& e = it->second;
        dialogs.queueResult(platform::DlgResult::Yes);
        std::string shown = Click(b);
        if (e.Window.rfind("msg: Program ID", 0) == 0)
            shown = shown.substr(0, e.Window.size());
        EXPECT_EQ(shown, e.Window);
        EXPECT_EQ(TakeCommands(), e.Frames);
        if (e.Seconds) {
            EXPECT_EQ(Main().Com()->PacketTimeoutTicks(), link::TCom::TimeoutTicks(e.Seconds));
        }
        ++checked;
    }
    EXPECT_EQ(checked, static_cast<int>(Acceptance().size()));
}

TEST_F(CommandPagesTest, ButtonsSitOnThePagesAndInTheGroupsTheOperatorLooksFor)
{
    StartOnPty();
    // button, page, group box (literal: where the dispenser's manual puts them)
    const std::vector<std::array<const char*, 3>> where = {
        {"ClearNovramButton", "KYDConfig2TabSheet", "GeneralSettingsGroupBox"},
        {"DefaultSettingsButton", "KYDConfig2TabSheet", "GeneralSettingsGroupBox"},
        {"SIClearNQDataButton", "ServiceItemTabSheet", "ClearDataGroupBox"},
        {"ClearStatisticsButton", "InfoStatisticsTabSheet", "StatisticsGroupBox"},
        {"RdRejTraceButton", "InfoStatisticsTabSheet", "ReportsGroupBox"},
        {"TransRdRejTraceButton", "TabSheetTrans", "TransCmdGroupBox"},
        {"RdRejTraceButton2", "TabSheetTrans", "KYD050CmdGroupBox"},
    };
    for (const auto& [name, page, group] : where) {
        SCOPED_TRACE(name);
        auto* b = Main().findChild<QAbstractButton*>(name);
        ASSERT_NE(b, nullptr);
        QWidget* sheet = Main().MenuPageControl->findChild<QWidget*>(page);
        ASSERT_NE(sheet, nullptr);
        auto* box = sheet->findChild<QGroupBox*>(group);
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->isAncestorOf(b));
    }
    // The Transactions page's trace button sends what the Info/Statistics one
    // sends and opens the same window.
    EXPECT_EQ(Main().findChild<QAbstractButton*>("TransRdRejTraceButton")->text(), "Read Reject Trace");
    std::map<std::string, std::pair<Commands, std::string>> seen;
    for (const char* name : {"RdRejTraceButton", "TransRdRejTraceButton"}) {
        TakeCommands();
        const std::string shown = Click(Main().findChild<QAbstractButton*>(name));
        seen[name] = {TakeCommands(), shown};
    }
    EXPECT_EQ(seen["TransRdRejTraceButton"], seen["RdRejTraceButton"]);
    EXPECT_EQ(seen["TransRdRejTraceButton"].first, Commands{"9"});
    EXPECT_EQ(seen["TransRdRejTraceButton"].second, "RejectDlgForm");
}

TEST_F(CommandPagesTest, ConfirmationsSpinEditsAndStartOfDay)
{
    StartOnPty();
    auto button = [this](const char* name) { return Main().findChild<QAbstractButton*>(name); };

    // No to the confirmation sends nothing.
    TakeCommands();
    dialogs.queueResult(platform::DlgResult::No);
    button("ClearStatisticsButton")->click();
    EXPECT_TRUE(TakeCommands().empty());
    ASSERT_EQ(dialogs.calls().size(), 1u);
    // It erases data: No is the default button.
    EXPECT_EQ(dialogs.calls()[0].buttons, platform::DlgButtons::YesNoDefaultNo);

    Main().findChild<QSpinBox*>("CSpinEditReleaseCassette")->setValue(3);
    button("ReleaseCassetteButton")->click();
    EXPECT_EQ(TakeCommands(), Commands{"732"});
    Main().findChild<QSpinBox*>("CSpinEditNFClean")->setValue(8);
    button("SICleanNF1Button")->click();
    EXPECT_EQ(TakeCommands(), Commands{"WD/218/8"});

    // "5" follows "8" only once the opening has ended, whatever its status.
    std::mutex m;
    std::vector<std::string> order;
    simulator.updateFaults([](sim::SimFaults& f) {
        sim::ScriptedStatus s;
        ASSERT_TRUE(sim::parseScriptedStatus("8:1:6", s));
        f.scripted.push_back(s); // the opening fails
    });
    simulator.setFrameLogger([&](bool incoming, const std::string& text) {
        std::lock_guard lock(m);
        order.push_back((incoming ? "in " : "out ") + text.substr(0, 1));
    });
    button("ToolButtonStartOfDay")->click();
    simulator.setFrameLogger({});
    EXPECT_EQ(TakeCommands(), (Commands{"8", "5"}));
    std::lock_guard lock(m);
    EXPECT_EQ(order, (Commands{"in 8", "out 6", "in 5", "out 0"}));
}

TEST_F(CommandPagesTest, AbortDuringStartOfDayEndsTheSequence)
{
    StartOnPty();
    // The opening is held; the operator cancels it.
    simulator.updateFaults([](sim::SimFaults& f) { f.silent = 1; });
    simulator.setCommandHook([this](const std::string&) {
        loop.postCall([this] { Main().ToolButtonAbort->click(); });
    });
    TakeCommands();
    Main().findChild<QAbstractButton*>("ToolButtonStartOfDay")->click();
    simulator.setCommandHook({});
    EXPECT_EQ(Main().StatusPanel2->text(), "Communication Canceled");
    EXPECT_EQ(TakeCommands(), Commands{"8"});
    EXPECT_TRUE(Main().MenuPageControl->isEnabled());
}

} // namespace
} // namespace kyd::app::test
