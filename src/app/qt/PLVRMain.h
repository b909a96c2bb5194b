// The main window: owner of the dispenser link, the status model and the
// command layer; the busy indicator, the status bar texts and the abort
// button that the command layer calls back into; the View, Setup and Help
// menus, the Scripts menu and the Demo page. The Transactions page and the
// TCD page's transaction options are app/qt/TransPage.h.
#pragma once

#include "app/BusyIndicator.h"
#include "link/AppContext.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QTabWidget;
class QTimer;
class QToolBar;
class QToolButton;

namespace kyd::link {
class Protokoll;
class TCom;
class TPLVRCmdF;
class TTDLScript;
} // namespace kyd::link

namespace kyd::platform {
class IniFile;
}

namespace kyd::app {

class TCassettePage;
class TTcdTransOptions;
class TTransPage;
struct TransactionSetup;
class TCommandPage;
class TCommandPages;
class TItemPage;
class TCmdStrForm;
class TComStringDlg;
class TOptionForm;
class TStatusListFrame;

struct MainWindowSetup {
    std::string ExeDir = ".";   // where the help files are looked up
    std::string DemoDir = ".";  // where the "demo?.tdl" files are found
    std::string AboutPicture;   // the About box's JPEG
    std::string VersionFile;    // the file whose version the About box shows
};

class TPLVRMainF : public QMainWindow, public link::MainWindowCallbacks {
    Q_OBJECT
public:
    // The operator's guide: HTML pages in the folder "help" beside the
    // program, opened with the desktop's viewer.
    static constexpr const char* kHelpFile = "help/index.html";
    static constexpr const char* kTroubleFile = "help/troubleshooting.html";

    // Restores the position, creates the link (its port from the factory in
    // force), the status model and the command layer, and fills the Demo
    // page. Sets ctx.MainWindow and ctx.Com.
    TPLVRMainF(platform::IniFile& ini, link::AppContext& ctx, MainWindowSetup setup, QWidget* parent = nullptr);
    ~TPLVRMainF() override;

    // The windows created after this one.
    void AttachWindows(TOptionForm* options, TCmdStrForm* cmd, TComStringDlg* com, TStatusListFrame* status);

    // --- MainWindowCallbacks ---
    void SetBusy(int state) override;
    void ShowStatusText(const std::string& reply, const std::string& text,
                        platform::TextCoding coding = platform::TextCoding::Latin1) override;
    void ShowInfoText(const std::string& text,
                      platform::TextCoding coding = platform::TextCoding::Latin1) override;

    // Window caption and application title.
    void SetCaption(const std::string& text);
    // While the firmware downloader holds the dispenser port, the status
    // bar says so (and a lost line is not the link's); afterwards the text
    // goes.
    void SetFirmwareHoldsPort(bool holds);
    // Writes Misc Top and Left.
    void SaveGeometry();
    // Frees the command layer, the status model, the link (closing the
    // port) and the script engines, in that order.
    void ReleaseLink();
    // Runs once the window has agreed to close, before it goes (the
    // program's shutdown saving).
    std::function<void()> OnClosing;

    link::TPLVRCmdF* CommandLayer() const { return cmd_.get(); }
    link::Protokoll* Model() const { return model_.get(); }
    link::TCom* Com() const { return com_.get(); }
    const BusyIndicator& Busy() const { return busy_; }
    bool ClosePending() const { return closePending_; }
    const std::vector<std::string>& DemoFiles() const { return demoFiles_; }
    char Teller() const { return teller_; }
    // The script engines; null until first used.
    link::TTDLScript* OpenedScript() const { return script_.get(); }
    link::TTDLScript* DemoScript() const { return demoScript_.get(); }
    // What SHOW_CASSETTE_DLG of a script shows: by default the cassette
    // window, modal, over this window.
    std::function<void(link::Protokoll&)> ShowCassetteDialog;
    // Shows the firmware downloader window ("Download Firmware"; offered
    // only when set, and never while busy).
    std::function<void()> ShowFirmwareWindow;

    // The program is ending: every running script stops before its next
    // statement and the exchange under way is cancelled.
    void AbortAll();

    // Handlers.
    void ComCancelBitBtnClick();
    void TimerCountTimer();
    void TabSheetTransExit();
    void MenuItemOptionsClick();
    void ExitMenuItemClick();
    void NewUploadFirmvare1Click();
    void ViewCmdStringMenuClick();
    void ViewCommMenuItemClick();
    void ViewStatusMenuItemClick();
    void AboutClick();
    void RIDURadeHelpClick();
    void KYDTroubleshootingClick();
    void TellerRadioGroupClick(char teller);
    // More than one transaction: the transaction window, modal.
    void RunTransactions(const TransactionSetup& setup);
    void DemoButtonClick(int tag);
    void OpenTDLfileClick();
    void ScriptsRunagainClick();
    void ScriptsRunMutipleClick();
    void ScriptContinueClick();

    // Components.
    QMenu* FileMenu = nullptr;
    QAction* NewUploadFirmvare1 = nullptr;
    QAction* ExitMenuItem = nullptr;
    QMenu* Scripts1 = nullptr;
    QAction* OpenTDLfile = nullptr;
    QAction* ScriptsRunagain = nullptr;
    QAction* ScriptsRunMutiple = nullptr;
    QAction* ScriptContinue = nullptr;
    QMenu* ViewMenu = nullptr;
    QAction* ViewCmdStrMenuItem = nullptr;
    QAction* ViewCommMenuItem = nullptr;
    QAction* ViewStatusMenuItem = nullptr;
    QMenu* SetUpMenu = nullptr;
    QAction* MenuItemOptions = nullptr;
    QMenu* HelpMenu = nullptr;
    QAction* RIDURadeHelp = nullptr;
    QAction* KYDTroubleshooting = nullptr;
    QAction* About = nullptr;

    QToolBar* ToolBar = nullptr;
    QToolButton* ToolButtonReset = nullptr;
    QToolButton* ToolButtonStartOfDay = nullptr;
    QToolButton* ToolButtonLiftDown = nullptr;
    QToolButton* ToolButtonLiftup = nullptr;
    QToolButton* ToolButtonAbort = nullptr;

    QTabWidget* MenuPageControl = nullptr;
    QWidget* TabSheetTrans = nullptr;
    TTransPage* TransPage = nullptr;
    QWidget* TabSheetTCD = nullptr;
    TTcdTransOptions* TcdTransOptions = nullptr;
    QWidget* TabSheetDemo = nullptr;
    QWidget* TabSheetCassItem = nullptr;
    TCommandPage* PageTCD = nullptr;
    // The command buttons of the pages and the tool bar.
    TCommandPages* CommandPages = nullptr;
    TCassettePage* CassettePage = nullptr;
    std::vector<TItemPage*> ItemPages; // Info/Statistics, Service, Configuration, Config2
    QFrame* PanelDemo = nullptr;
    QLabel* PanelDemoCaption = nullptr;

    QLabel* StatusPanel0 = nullptr; // elapsed time
    QLabel* StatusPanel1 = nullptr; // information text
    QLabel* StatusPanel2 = nullptr; // status text
    QTimer* TimerCount = nullptr;

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void BuildMenus();
    void BuildToolBar();
    void BuildPages();
    void BuildStatusBar();
    void BuildCommandPages();
    void BuildDemoPage();
    void ApplyBusy(bool busy);
    // The Scripts menu's items: what the script state allows, none while busy.
    void UpdateScriptItems();
    std::unique_ptr<link::TTDLScript> NewScript();
    // Runs the opened script n times (it ran when the result is known) and
    // offers "&Continue" when the run ends aborted.
    void RunOpenedScript(int n);
    void SyncViewChecks();
    void OpenHelp(const char* file);
    // The "no longer available" text goes once the port works again.
    void ClearPortLostText();
    std::string HelpPath(const char* file) const;

    platform::IniFile& ini_;
    link::AppContext& ctx_;
    MainWindowSetup setup_;

    std::unique_ptr<link::TCom> com_;
    std::unique_ptr<link::Protokoll> model_;
    std::unique_ptr<link::TPLVRCmdF> cmd_;
    std::unique_ptr<link::TTDLScript> script_;     // opened from the Scripts menu
    std::unique_ptr<link::TTDLScript> demoScript_; // run by the demo buttons
    bool canRunAgain_ = false;                     // "&Run again", "Run &Multiple times"
    bool canContinue_ = false;                     // "&Continue"
    char teller_ = '0';
    BusyIndicator busy_;
    std::vector<std::string> demoFiles_;
    bool closePending_ = false;
    bool shownOnce_ = false;
    std::string portLostText_;      // shown since the line went away
    bool firmwareHoldsPort_ = false;

    TOptionForm* options_ = nullptr;
    TCmdStrForm* cmdWindow_ = nullptr;
    TComStringDlg* comWindow_ = nullptr;
    TStatusListFrame* statusWindow_ = nullptr;
};

} // namespace kyd::app
