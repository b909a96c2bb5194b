// The main window's command buttons: for each, its page and group, the
// command it sends with its time-out, and what is shown afterwards. Data
// only; app/qt/CommandPages puts the buttons on the pages and runs them.
#pragma once

#include <string>
#include <vector>

namespace kyd::app {

enum class CommandKind {
    Plain,           // Command sent with Seconds; only the status text shows
    StartOfDay,      // "8" (180 s), then "5" (20 s) once that exchange ended
    Retract,         // "D%c0" with the Tag as a character
    Result,          // a read followed by a result window
    FixedWrite,      // item Tag / 10 written with the value Tag mod 10, 80 s
    ConfirmedWrite,  // the same after a Yes/No confirmation
    ReleaseCassette, // close cassette (spin edit) with the release flag
    SpinWrite,       // item Tag written with the spin edit's value, 80 s
};

enum class ResultWindow {
    None,
    CassetteIds,    // "5": the cassette window
    ProgramId,      // "A": a message box
    RejectTrace,    // "9": the reject trace window
    LastStatus,     // "6": the last status window, "Last Dispense Status"
    CheckDelivered, // "6": the same, "Check Delivered Notes"
    SelfTest,       // "GA": the self-test window
    CheckStatus,    // "Q": the status check window
    ErrorLog,       // RD/311: the module error log window
    ModuleStatus,   // RD/397: the same window as "Module Status"
    ModuleIds,      // RD/110/0: the module id window
    Counters,       // the note counter window (reads when shown)
};

// Page names: the main window's sheets, and "ToolBar".
inline constexpr const char* kPageInfo = "InfoStatisticsTabSheet";
inline constexpr const char* kPageTrans = "TabSheetTrans";
inline constexpr const char* kPageService = "ServiceItemTabSheet";
inline constexpr const char* kPageConfig2 = "KYDConfig2TabSheet";
inline constexpr const char* kPageTcd = "TabSheetTCD";
inline constexpr const char* kPageToolBar = "ToolBar";

struct CommandButton {
    const char* Name;
    const char* Caption;
    const char* Page;
    const char* Group;   // the group box's object name (empty on the tool bar)
    CommandKind Kind;
    const char* Command; // plain commands; empty otherwise
    int Seconds;
    int Tag;
    ResultWindow Window = ResultWindow::None;
    const char* Confirm = nullptr; // confirmed writes
    const char* Spin = nullptr;    // the spin edit of a spin-edit command
};

struct CommandGroup {
    const char* Page;
    const char* Name;
    const char* Caption;
};

const std::vector<CommandButton>& CommandButtons();
// The group boxes, in the order they are laid out on their pages.
const std::vector<CommandGroup>& CommandGroups();
const CommandButton* FindCommandButton(const std::string& name);

// The tool tip of a button: the command or item it works with.
std::string CommandHint(const CommandButton& b);

// "D%c0" with the Tag taken as a character.
std::string RetractCommand(int tag);

} // namespace kyd::app
