#include "app/CommandButtons.h"

namespace kyd::app {

namespace {
constexpr const char* kDeleteWarning = "Valid information will be deleted - continue?";
constexpr const char* kDefaultWarning = "Settings will be restored to default values - continue?";
using K = CommandKind;
using R = ResultWindow;
} // namespace

const std::vector<CommandGroup>& CommandGroups()
{
    static const std::vector<CommandGroup> groups = {
        {kPageInfo, "DispenserGroupBox", "Dispenser"},
        {kPageInfo, "ReportsGroupBox", "Reports"},
        // The Transactions page makes these two; the second replaces the
        // first for the KYD050 deliver option.
        {kPageTrans, "TransCmdGroupBox", "Commands"},
        {kPageTrans, "KYD050CmdGroupBox", "Commands"},
        {kPageService, "ShutterBCUGroupBox", "Shutter / BCU"},
        {kPageService, "CleaningGroupBox", "Cleaning"},
        {kPageService, "CassetteServiceGroupBox", "Cassette"},
        {kPageService, "ClearDataGroupBox", "Clear Data"},
        {kPageTcd, "TCDCommandsGroupBox", "Commands"},
        {kPageTcd, "TCDSettingsGroupBox", "Settings"},
    };
    return groups;
}

const std::vector<CommandButton>& CommandButtons()
{
    static const std::vector<CommandButton> buttons = {
        // Tool bar.
        {"ToolButtonReset", "Reset", kPageToolBar, "", K::Plain, "0", 180, 0},
        {"ToolButtonStartOfDay", "Start of day", kPageToolBar, "", K::StartOfDay, "8", 180, 0},
        {"ToolButtonLiftDown", "Close Cassette", kPageToolBar, "", K::Plain, "7", 180, 0},
        {"ToolButtonLiftup", "Open Cassette", kPageToolBar, "", K::Plain, "8", 180, 0},
        // Info/Statistics.
        {"ResetsButton", "Reset", kPageInfo, "DispenserGroupBox", K::Plain, "0", 180, 0},
        {"LiftUpButton", "Open Cassette", kPageInfo, "DispenserGroupBox", K::Plain, "8", 180, 0},
        {"LiftDownButton", "Close Cassette", kPageInfo, "DispenserGroupBox", K::Plain, "7", 180, 0},
        {"ResendLastMsgButton", "Resend Last Msg", kPageInfo, "DispenserGroupBox", K::Plain, "K", 5, 0},
        {"ReadCassetteIDButton", "Read Cassette ID", kPageInfo, "DispenserGroupBox", K::Result, "5", 20, 0,
         R::CassetteIds},
        {"ReadprogramIDButton", "Read Prom ID", kPageInfo, "DispenserGroupBox", K::Result, "A", 5, 0, R::ProgramId},
        {"LastStatusButton", "Read Disp. Status", kPageInfo, "DispenserGroupBox", K::Result, "6", 5, 0,
         R::LastStatus},
        {"SendSelfButton", "Send Self Test...", kPageInfo, "ReportsGroupBox", K::Result, "GA", 20, 0, R::SelfTest},
        {"ChkKYDStatusButton", "Check KYD Status", kPageInfo, "ReportsGroupBox", K::Result, "Q", 20, 0,
         R::CheckStatus},
        {"RDModErrorLogButton", "Error Log...", kPageInfo, "ReportsGroupBox", K::Result, "RD/311", 20, 311,
         R::ErrorLog},
        {"RDModStatusButton", "Module Status", kPageInfo, "ReportsGroupBox", K::Result, "RD/397", 20, 397,
         R::ModuleStatus},
        {"ModIdButton", "Module ID's", kPageInfo, "ReportsGroupBox", K::Result, "RD/110/0", 20, 110, R::ModuleIds},
        {"RDStatisticCountersButton", "Counters...", kPageInfo, "ReportsGroupBox", K::Result, "", 0, 0, R::Counters},
        {"RdRejTraceButton", "Read Reject Trace", kPageInfo, "ReportsGroupBox", K::Result, "9", 5, 0,
         R::RejectTrace},
        {"ClearStatisticsButton", "Clear Statistics", kPageInfo, "StatisticsGroupBox", K::ConfirmedWrite, "", 80,
         3100, R::None, kDeleteWarning},
        // Transactions.
        {"ChkThroatButton", "Check Throat", kPageTrans, "TransCmdGroupBox", K::Plain, ":", 5, 0},
        {"DeliverButton", "Deliver", kPageTrans, "TransCmdGroupBox", K::Plain, "3", 180, 0},
        {"RejectButton", "Reject", kPageTrans, "TransCmdGroupBox", K::Plain, "4", 180, 0},
        {"TransRdRejTraceButton", "Read Reject Trace", kPageTrans, "TransCmdGroupBox", K::Result, "9", 5, 0,
         R::RejectTrace},
        {"RetractToStackBtn", "Retract to Stack", kPageTrans, "TransCmdGroupBox", K::Retract, "", 180, 48},
        {"RetractToRVBtn", "Retract to RV", kPageTrans, "TransCmdGroupBox", K::Retract, "", 180, 49},
        {"ChkDeliverButton", "Check Delivered", kPageTrans, "KYD050CmdGroupBox", K::Result, "6", 5, 0,
         R::CheckDelivered},
        {"RdRejTraceButton2", "Read Reject Trace", kPageTrans, "KYD050CmdGroupBox", K::Result, "9", 5, 0,
         R::RejectTrace},
        // Service.
        {"SIOpenShutterButton", "Open Shutter", kPageService, "ShutterBCUGroupBox", K::FixedWrite, "", 80, 3940},
        {"SICloseShutterButton", "Close Shutter", kPageService, "ShutterBCUGroupBox", K::FixedWrite, "", 80, 3941},
        {"SIBCUHomeButton", "BCU to Home", kPageService, "ShutterBCUGroupBox", K::FixedWrite, "", 80, 3930},
        {"SIBCURejectButton", "BCU to Reject", kPageService, "ShutterBCUGroupBox", K::FixedWrite, "", 80, 3931},
        {"SIBCUHoldButton", "BCU to Hold", kPageService, "ShutterBCUGroupBox", K::FixedWrite, "", 80, 3932},
        {"SICleanNCButton", "NS Rollers", kPageService, "CleaningGroupBox", K::FixedWrite, "", 80, 2171},
        {"SICleanNF1Button", "NF  Rollers", kPageService, "CleaningGroupBox", K::SpinWrite, "", 80, 218, R::None,
         nullptr, "CSpinEditNFClean"},
        {"ReleaseCassetteButton", "Release Cassette", kPageService, "CassetteServiceGroupBox", K::ReleaseCassette,
         "", 180, 0, R::None, nullptr, "CSpinEditReleaseCassette"},
        {"SIClearNQDataButton", "Clear Table", kPageService, "ClearDataGroupBox", K::ConfirmedWrite, "", 80, 3920,
         R::None, kDeleteWarning},
        // Config2, beside the general settings they clear or restore.
        {"ClearNovramButton", "Clear Novram", kPageConfig2, "GeneralSettingsGroupBox", K::ConfirmedWrite, "", 80,
         2370, R::None, kDeleteWarning},
        {"DefaultSettingsButton", "Default Settings", kPageConfig2, "GeneralSettingsGroupBox", K::ConfirmedWrite, "",
         80, 2500, R::None, kDefaultWarning},
        // TCD.
        {"StartLockTimerButton", "Start Locktimer", kPageTcd, "TCDCommandsGroupBox", K::Plain, ";", 5, 0},
        {"AlarmButton", "Alarm", kPageTcd, "TCDCommandsGroupBox", K::Plain, "<", 5, 0},
        {"ConfigureButton", "Configure", kPageTcd, "TCDCommandsGroupBox", K::Plain, ">", 5, 0},
        {"DefineNoteSizeButton", "Define Note Size", kPageTcd, "TCDCommandsGroupBox", K::Plain, "L", 5, 0},
        {"ResetDispStatusButton", "Reset Disp. Status", kPageTcd, "TCDCommandsGroupBox", K::Plain, "Z3", 5, 0},
        {"MachineIDButton", "Machine ID", kPageTcd, "TCDCommandsGroupBox", K::Plain, "ZB", 5, 0},
        {"ReadCountersButton", "Read Counters", kPageTcd, "TCDCommandsGroupBox", K::Plain, "Z80", 5, 0},
        {"ResetCounterButton", "Reset Counters", kPageTcd, "TCDCommandsGroupBox", K::Plain, "Z90", 5, 0},
        {"SetSWConfigSwitchButton", "Set SW Switch", kPageTcd, "TCDSettingsGroupBox", K::Plain, "Z200", 180, 0},
        {"SetTestModeButton", "Set Test Mode", kPageTcd, "TCDSettingsGroupBox", K::Plain, "Z100", 180, 0},
        {"RestartButton", "Restart", kPageTcd, "TCDSettingsGroupBox", K::Plain, "Z5", 180, 0},
        {"InitializeRAMButton", "Initialize NV Mem.", kPageTcd, "TCDSettingsGroupBox", K::Plain, "Z6F", 180, 0},
    };
    return buttons;
}

const CommandButton* FindCommandButton(const std::string& name)
{
    for (const CommandButton& b : CommandButtons())
        if (name == b.Name)
            return &b;
    return nullptr;
}

std::string RetractCommand(int tag)
{
    return std::string("D") + static_cast<char>(tag) + "0";
}

std::string CommandHint(const CommandButton& b)
{
    switch (b.Kind) {
    case CommandKind::Plain:
    case CommandKind::Result:
        if (b.Window == ResultWindow::Counters)
            return "Statistic counters";
        return std::string("Command ") + b.Command;
    case CommandKind::StartOfDay: return "Open all Cassettes and Read cassette id";
    case CommandKind::Retract: return "Command " + RetractCommand(b.Tag);
    case CommandKind::FixedWrite:
    case CommandKind::ConfirmedWrite:
        return "Write item " + std::to_string(b.Tag / 10) + " = " + std::to_string(b.Tag % 10);
    case CommandKind::ReleaseCassette: return "Command 7<cassette>2";
    case CommandKind::SpinWrite: return "Write item " + std::to_string(b.Tag);
    }
    return {};
}

} // namespace kyd::app
