#include "app/qt/PLVRMain.h"

#include "app/ConfigItems.h"
#include "app/DemoFiles.h"
#include "app/LinkPortFactory.h"
#include "app/qt/AboutBox.h"
#include "app/qt/CassInfo.h"
#include "app/qt/CassettePage.h"
#include "app/qt/CmdStr.h"
#include "app/qt/CommStr.h"
#include "app/qt/CommandPage.h"
#include "app/qt/CommandPages.h"
#include "app/qt/Guard.h"
#include "app/qt/ItemPages.h"
#include "app/qt/Latin1.h"
#include "app/qt/ModalRun.h"
#include "app/qt/OptionDlg.h"
#include "app/qt/StatusList.h"
#include "app/qt/StrayClickGuard.h"
#include "app/qt/TransDlg.h"
#include "app/qt/ToolWindow.h"
#include "app/qt/TransPage.h"
#include "link/PLVRCmd.h"
#include "link/PLVRCom.h"
#include "link/Protokoll.h"
#include "link/StatusTexts.h"
#include "link/TDLScript.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/document_opener.h"
#include "platform/exception_sink.h"
#include "platform/ini_file.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/qt/ui_scale.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <optional>
#include <filesystem>
#include <system_error>

namespace kyd::app {

namespace {

constexpr int kHintPauseMs = 20000;

// The repeat count typed for "Run Multiple times": a decimal number, 1 when
// the text is not one.
int RepeatCount(const std::string& text)
{
    int n = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+')
        ++first;
    const auto [end, ec] = std::from_chars(first, last, n);
    if (ec != std::errc() || end != last || first == last)
        return 1;
    return n;
}

// The folder of a file, with its trailing separator.
std::string FolderOf(const std::string& file)
{
    std::string folder = std::filesystem::path(file).parent_path().string();
    if (folder.empty())
        return "./";
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

} // namespace

TPLVRMainF::TPLVRMainF(platform::IniFile& ini, link::AppContext& ctx, MainWindowSetup setup, QWidget* parent)
    : QMainWindow(parent), ini_(ini), ctx_(ctx), setup_(std::move(setup))
{
    setObjectName("PLVRMainF");
    setWindowTitle("KYDTest");
    // The second click of a double-click that closed one of the program's
    // boxes starts nothing on the window under it.
    new StrayClickGuard(this);

    BuildMenus();
    BuildToolBar();
    BuildPages();
    BuildStatusBar();

    TimerCount = new QTimer(this);
    TimerCount->setObjectName("TimerCount");
    TimerCount->setInterval(1000);
    connect(TimerCount, &QTimer::timeout, this, Guard("elapsed time", [this] { TimerCountTimer(); }));

    // The help items depend on their files beside the program.
    std::error_code ec;
    RIDURadeHelp->setEnabled(std::filesystem::exists(HelpPath(kHelpFile), ec));
    KYDTroubleshooting->setEnabled(std::filesystem::exists(HelpPath(kTroubleFile), ec));

    // The size bounds were laid out for the design font.
    const platform::UiScale scale = platform::UiScale::For(this);
    setMinimumSize(scale.Size({493, 328}));
    setMaximumSize(scale.Size({640, 480}));

    // FormCreate.
    move(ini_.readInteger("Misc", "Left", 200), ini_.readInteger("Misc", "Top", 130));
    com_ = std::make_unique<link::TCom>(MakeLinkPort());
    ctx_.Com = com_.get();
    // A port that goes away shows at once, not only at the next command.
    com_->PortLostHandler = [this] {
        if (firmwareHoldsPort_)
            return; // the downloader's own line, not the dispenser link's
        const int port = com_->Port().Settings().ComNumber;
        portLostText_ = "COM" + std::to_string(port) + " is no longer available";
        ShowStatusText({}, link::StatusCodeText(link::kCodeNoConnection));
        ShowInfoText(portLostText_);
    };
    com_->PortOpenedHandler = [this] {
        ClearPortLostText();
        if (options_)
            options_->PortOpened();
    };
    ctx_.MainWindow = this;
    teller_ = '0';
    model_ = std::make_unique<link::Protokoll>();
    cmd_ = std::make_unique<link::TPLVRCmdF>(model_.get(), &ctx_);
    ShowCassetteDialog = [this](link::Protokoll& model) { ShowCassetteWindow(this, model); };
    BuildDemoPage();
    UpdateScriptItems();

    // As wide as the page tabs need, within the window's bounds.
    QSize size = minimumSizeHint().expandedTo(minimumSize());
    size.setWidth(std::max(size.width(), MenuPageControl->tabBar()->sizeHint().width() + 8));
    resize(size.boundedTo(maximumSize()));
    KeepOnScreens(this);
}

TPLVRMainF::~TPLVRMainF()
{
    ReleaseLink();
}

void TPLVRMainF::BuildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName("PLVRMainMenu");

    FileMenu = bar->addMenu("&File");
    FileMenu->setObjectName("FileMenu");
    NewUploadFirmvare1 = FileMenu->addAction("Download Firmware");
    NewUploadFirmvare1->setObjectName("NewUploadFirmvare1");
    connect(NewUploadFirmvare1, &QAction::triggered, this, Guard("firmware", [this] { NewUploadFirmvare1Click(); }));
    FileMenu->addSeparator();
    ExitMenuItem = FileMenu->addAction("&Exit");
    ExitMenuItem->setObjectName("ExitMenuItem");
    connect(ExitMenuItem, &QAction::triggered, this, Guard("exit", [this] { ExitMenuItemClick(); }));

    Scripts1 = bar->addMenu("S&cripts");
    Scripts1->setObjectName("Scripts1");
    OpenTDLfile = Scripts1->addAction("&Open TDL file...");
    OpenTDLfile->setObjectName("OpenTDLfile");
    Scripts1->addSeparator();
    ScriptsRunagain = Scripts1->addAction("&Run again");
    ScriptsRunagain->setObjectName("ScriptsRunagain");
    ScriptsRunagain->setShortcut(QKeySequence("Ctrl+M"));
    ScriptsRunMutiple = Scripts1->addAction("Run &Multiple times");
    ScriptsRunMutiple->setObjectName("ScriptsRunMutiple");
    ScriptsRunMutiple->setShortcut(QKeySequence("Ctrl+L"));
    ScriptContinue = Scripts1->addAction("&Continue");
    ScriptContinue->setObjectName("ScriptContinue");
    ScriptContinue->setShortcut(QKeySequence("Ctrl+G"));
    connect(OpenTDLfile, &QAction::triggered, this, Guard("script", [this] { OpenTDLfileClick(); }));
    connect(ScriptsRunagain, &QAction::triggered, this, Guard("script", [this] { ScriptsRunagainClick(); }));
    connect(ScriptsRunMutiple, &QAction::triggered, this, Guard("script", [this] { ScriptsRunMutipleClick(); }));
    connect(ScriptContinue, &QAction::triggered, this, Guard("script", [this] { ScriptContinueClick(); }));

    ViewMenu = bar->addMenu("&View");
    ViewMenu->setObjectName("ViewMenu");
    ViewCmdStrMenuItem = ViewMenu->addAction("&Command String");
    ViewCmdStrMenuItem->setObjectName("ViewCmdStrMenuItem");
    ViewCommMenuItem = ViewMenu->addAction("C&ommunication");
    ViewCommMenuItem->setObjectName("ViewCommMenuItem");
    ViewStatusMenuItem = ViewMenu->addAction("&Status");
    ViewStatusMenuItem->setObjectName("ViewStatusMenuItem");
    for (QAction* a : {ViewCmdStrMenuItem, ViewCommMenuItem, ViewStatusMenuItem})
        a->setCheckable(true);
    connect(ViewCmdStrMenuItem, &QAction::triggered, this, Guard("view", [this] { ViewCmdStringMenuClick(); }));
    connect(ViewCommMenuItem, &QAction::triggered, this, Guard("view", [this] { ViewCommMenuItemClick(); }));
    connect(ViewStatusMenuItem, &QAction::triggered, this, Guard("view", [this] { ViewStatusMenuItemClick(); }));

    SetUpMenu = bar->addMenu("&Setup");
    SetUpMenu->setObjectName("SetUpMenu");
    MenuItemOptions = SetUpMenu->addAction("&Options...");
    MenuItemOptions->setObjectName("MenuItemOptions");
    connect(MenuItemOptions, &QAction::triggered, this, Guard("options", [this] { MenuItemOptionsClick(); }));

    HelpMenu = bar->addMenu("&Help");
    HelpMenu->setObjectName("HelpMenu");
    RIDURadeHelp = HelpMenu->addAction("&KYDTest Help");
    RIDURadeHelp->setObjectName("RIDURadeHelp");
    KYDTroubleshooting = HelpMenu->addAction("KYD &Troubleshooting");
    KYDTroubleshooting->setObjectName("KYDTroubleshooting");
    HelpMenu->addSeparator();
    About = HelpMenu->addAction("&About...");
    About->setObjectName("About");
    connect(RIDURadeHelp, &QAction::triggered, this, Guard("help", [this] { RIDURadeHelpClick(); }));
    connect(KYDTroubleshooting, &QAction::triggered, this, Guard("help", [this] { KYDTroubleshootingClick(); }));
    connect(About, &QAction::triggered, this, Guard("about", [this] { AboutClick(); }));
}

void TPLVRMainF::BuildToolBar()
{
    ToolBar = addToolBar("Tools");
    ToolBar->setObjectName("ToolBar");
    ToolBar->setMovable(false);
    ToolBar->setFloatable(false);

    auto button = [this](const char* name, QStyle::StandardPixmap icon, const char* hint) {
        auto* b = new QToolButton(ToolBar);
        b->setObjectName(name);
        b->setIcon(style()->standardIcon(icon));
        b->setToolTip(hint);
        b->setToolTipDuration(kHintPauseMs);
        b->setAutoRaise(true);
        ToolBar->addWidget(b);
        return b;
    };
    ToolButtonReset = button("ToolButtonReset", QStyle::SP_BrowserReload, "Do Reset");
    ToolButtonStartOfDay =
        button("ToolButtonStartOfDay", QStyle::SP_MediaPlay, "Open all Cassettes and Read cassette id");
    ToolButtonLiftDown = button("ToolButtonLiftDown", QStyle::SP_ArrowDown, "Close all cassettes");
    ToolButtonLiftup = button("ToolButtonLiftup", QStyle::SP_ArrowUp, "Open all cassettes");
    ToolBar->addSeparator();
    ToolButtonAbort = button("ToolButtonAbort", QStyle::SP_BrowserStop, "Abort communication");
    ToolButtonAbort->setEnabled(false);
    connect(ToolButtonAbort, &QToolButton::clicked, this, Guard("abort", [this] { ComCancelBitBtnClick(); }));
}

void TPLVRMainF::BuildPages()
{
    MenuPageControl = new QTabWidget(this);
    MenuPageControl->setObjectName("MenuPageControl");
    auto page = [this](const char* name, const char* caption) {
        auto* w = new QWidget(MenuPageControl);
        w->setObjectName(name);
        MenuPageControl->addTab(w, caption);
        return w;
    };
    TabSheetTrans = page("TabSheetTrans", "Transactions");
    // Info/Statistics, Service, Configuration, Config2: the item buttons.
    for (const ItemPageLayout& l : ItemPageLayouts())
        ItemPages.push_back(new TItemPage(page(l.Name, l.Caption), l, [this] { return cmd_.get(); }));
    TabSheetCassItem = page("TabSheetCassItem", "Cassette");
    CassettePage = new TCassettePage(TabSheetCassItem, [this] { return cmd_.get(); });
    (new QVBoxLayout(TabSheetCassItem))->addWidget(CassettePage);
    TabSheetTCD = page("TabSheetTCD", "TCD");
    TcdTransOptions = new TTcdTransOptions(TabSheetTCD);
    // The TCD page: the command groups, the transaction options beside them.
    PageTCD = new TCommandPage(TabSheetTCD);
    auto* tcdLayout = new QHBoxLayout(TabSheetTCD);
    tcdLayout->addWidget(PageTCD, 1);
    tcdLayout->addWidget(TcdTransOptions, 0, Qt::AlignTop);
    connect(TcdTransOptions, &TTcdTransOptions::TellerChanged, this, [this](char t) { TellerRadioGroupClick(t); });
    TransPage = new TTransPage(
        TabSheetTrans, TcdTransOptions, [this] { return cmd_.get(); }, [this] { return teller_; },
        [this](const TransactionSetup& s) { RunTransactions(s); });
    (new QVBoxLayout(TabSheetTrans))->addWidget(TransPage);
    TabSheetDemo = page("TabSheetDemo", "Demo");
    BuildCommandPages();
    MenuPageControl->setCurrentWidget(TabSheetTrans);
    connect(MenuPageControl, &QTabWidget::currentChanged, this, Guard("pages", [this] { TabSheetTransExit(); }));
    setCentralWidget(MenuPageControl);
}

void TPLVRMainF::BuildCommandPages()
{
    CommandPages = new TCommandPages(this, [this] { return cmd_.get(); }, this);
    for (TItemPage* p : ItemPages)
        CommandPages->Populate(p->parentWidget()->objectName().toLatin1().constData(), p->parentWidget(), p, nullptr);
    CommandPages->Populate(kPageTrans, TabSheetTrans, nullptr, nullptr);
    CommandPages->Populate(kPageTcd, TabSheetTCD, nullptr, PageTCD);
    for (QToolButton* b : {ToolButtonReset, ToolButtonStartOfDay, ToolButtonLiftDown, ToolButtonLiftup})
        CommandPages->Wire(b);
}

void TPLVRMainF::BuildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusBar");
    bar->setSizeGripEnabled(false);
    auto panel = [bar](const char* name) {
        auto* l = new QLabel(bar);
        l->setObjectName(name);
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        l->setTextFormat(Qt::PlainText);
        return l;
    };
    StatusPanel0 = panel("StatusPanel0");
    StatusPanel0->setAlignment(Qt::AlignCenter);
    // Room for "999:59:59" at the font in use, and never below the design
    // width.
    const platform::UiScale scale = platform::UiScale::For(bar);
    const int margin = 2 * StatusPanel0->frameWidth() + 8;
    StatusPanel0->setFixedWidth(
        std::max(scale.X(50), StatusPanel0->fontMetrics().horizontalAdvance("999:59:59") + margin));
    StatusPanel1 = panel("StatusPanel1");
    StatusPanel1->setFixedWidth(scale.X(210));
    StatusPanel2 = panel("StatusPanel2");
    StatusPanel2->setMinimumWidth(scale.X(50));
    bar->addWidget(StatusPanel0);
    bar->addWidget(StatusPanel1);
    bar->addWidget(StatusPanel2, 1);
}

void TPLVRMainF::BuildDemoPage()
{
    auto* layout = new QVBoxLayout(TabSheetDemo);
    layout->setContentsMargins(0, 0, 0, 0);
    PanelDemo = new QFrame(TabSheetDemo);
    PanelDemo->setObjectName("PanelDemo");
    layout->addWidget(PanelDemo);
    auto* grid = new QGridLayout(PanelDemo);
    grid->setSpacing(0);
    grid->setContentsMargins(0, 0, 0, 0);

    demoFiles_ = FindDemoFiles(setup_.DemoDir);
    const int count = static_cast<int>(demoFiles_.size());
    if (count == 0) {
        PanelDemoCaption = new QLabel("No files found!", PanelDemo);
        PanelDemoCaption->setObjectName("PanelDemoCaption");
        PanelDemoCaption->setAlignment(Qt::AlignCenter);
        grid->addWidget(PanelDemoCaption, 0, 0);
        MenuPageControl->setTabVisible(MenuPageControl->indexOf(TabSheetDemo), false);
        return;
    }
    // Row by row, cols buttons a row; the buttons share the panel equally.
    const DemoGrid g = DemoLayout(count);
    for (int i = 0; i < count; ++i) {
        auto* b = new QPushButton(Latin1(DemoCaption(setup_.DemoDir, demoFiles_[i])), PanelDemo);
        b->setObjectName(QStringLiteral("DemoButton%1").arg(i));
        b->setProperty("Tag", i);
        b->setToolTip(Latin1(demoFiles_[i]));
        b->setToolTipDuration(kHintPauseMs);
        b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        grid->addWidget(b, i / g.Cols, i % g.Cols);
        connect(b, &QPushButton::clicked, this, Guard("demo script", [this, i] { DemoButtonClick(i); }));
    }
    for (int r = 0; r < g.Rows; ++r)
        grid->setRowStretch(r, 1);
    for (int c = 0; c < g.Cols; ++c)
        grid->setColumnStretch(c, 1);
}

void TPLVRMainF::AttachWindows(TOptionForm* options, TCmdStrForm* cmd, TComStringDlg* com, TStatusListFrame* status)
{
    options_ = options;
    cmdWindow_ = cmd;
    comWindow_ = com;
    statusWindow_ = status;
    // The View menu's check marks follow the windows' visibility.
    if (cmdWindow_)
        connect(cmdWindow_, &ToolWindow::VisibilityChanged, this, [this](bool v) { ViewCmdStrMenuItem->setChecked(v); });
    if (comWindow_)
        connect(comWindow_, &ToolWindow::VisibilityChanged, this, [this](bool v) { ViewCommMenuItem->setChecked(v); });
    if (statusWindow_)
        connect(statusWindow_, &ToolWindow::VisibilityChanged, this,
                [this](bool v) { ViewStatusMenuItem->setChecked(v); });
    SyncViewChecks();
    if (options_)
        options_->OnCaption = [this](const std::string& caption) { SetCaption(caption); };
}

void TPLVRMainF::SyncViewChecks()
{
    ViewCmdStrMenuItem->setChecked(cmdWindow_ && cmdWindow_->isVisible());
    ViewCommMenuItem->setChecked(comWindow_ && comWindow_->isVisible());
    ViewStatusMenuItem->setChecked(statusWindow_ && statusWindow_->isVisible());
}

void TPLVRMainF::SetCaption(const std::string& text)
{
    setWindowTitle(Latin1(text));
    platform::setApplicationTitle(text);
}

void TPLVRMainF::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    if (e->spontaneous())
        return;
    // FormShow.
    if (options_)
        SetCaption(options_->InForce().CaptionText);
    if (cmdWindow_ && !cmdWindow_->CommandLayer())
        cmdWindow_->SetCommandLayer(cmd_.get());
    shownOnce_ = true;
}

void TPLVRMainF::closeEvent(QCloseEvent* e)
{
    // An exchange or a batch under way is aborted first; the window closes
    // once it has ended (SetBusy(0) or the end of the batch).
    if (busy_.Busy() || (cmd_ && cmd_->Busy())) {
        closePending_ = true;
        e->ignore();
        ComCancelBitBtnClick();
        return;
    }
    closePending_ = false;
    if (OnClosing)
        OnClosing();
    e->accept();
}

void TPLVRMainF::SaveGeometry()
{
    ini_.writeInteger("Misc", "Top", pos().y());
    ini_.writeInteger("Misc", "Left", pos().x());
}

void TPLVRMainF::ReleaseLink()
{
    if (cmdWindow_)
        cmdWindow_->SetCommandLayer(nullptr);
    cmd_.reset();
    model_.reset();
    if (ctx_.Com == com_.get())
        ctx_.Com = nullptr;
    com_.reset(); // closes the port
    script_.reset();
    demoScript_.reset();
}

void TPLVRMainF::ApplyBusy(bool busy)
{
    // While busy, nothing may start another command or reopen the port;
    // only the abort button works.
    MenuPageControl->setEnabled(!busy);
    for (QToolButton* b : {ToolButtonReset, ToolButtonStartOfDay, ToolButtonLiftDown, ToolButtonLiftup})
        b->setEnabled(!busy);
    ToolButtonAbort->setEnabled(busy);
    Scripts1->menuAction()->setEnabled(!busy);
    UpdateScriptItems();
    MenuItemOptions->setEnabled(!busy);
    NewUploadFirmvare1->setEnabled(!busy && ShowFirmwareWindow);
    if (cmdWindow_)
        cmdWindow_->SetBusy(busy);
}

void TPLVRMainF::SetBusy(int state)
{
    const std::int64_t now = platform::clock().monotonicMs();
    switch (busy_.Set(state, now)) {
    case BusyIndicator::Change::Ignored:
        return;
    case BusyIndicator::Change::Busy:
        ApplyBusy(true);
        StatusPanel2->clear();
        TimerCount->start();
        return;
    case BusyIndicator::Change::Idle:
        TimerCount->stop();
        ApplyBusy(false);
        StatusPanel0->setText(QString::fromStdString(busy_.Elapsed(now)));
        if (closePending_)
            QTimer::singleShot(0, this, [this] {
                if (closePending_)
                    close();
            });
        return;
    }
}

void TPLVRMainF::TimerCountTimer()
{
    StatusPanel0->setText(QString::fromStdString(busy_.Elapsed(platform::clock().monotonicMs())));
}

void TPLVRMainF::ShowStatusText(const std::string& reply, const std::string& text, platform::TextCoding coding)
{
    // A reply came: the line is back.
    if (!reply.empty())
        ClearPortLostText();
    StatusPanel2->setText(platform::messageText(text, coding));
    if (statusWindow_)
        statusWindow_->AddLine(text, coding);
}

void TPLVRMainF::ShowInfoText(const std::string& text, platform::TextCoding coding)
{
    StatusPanel1->setText(platform::messageText(text, coding));
    if (statusWindow_)
        statusWindow_->AddLine(text, coding);
}

void TPLVRMainF::ClearPortLostText()
{
    if (portLostText_.empty())
        return;
    if (StatusPanel1->text() == Latin1(portLostText_))
        StatusPanel1->clear();
    portLostText_.clear();
}

void TPLVRMainF::SetFirmwareHoldsPort(bool holds)
{
    firmwareHoldsPort_ = holds;
    const int port = com_ ? com_->Port().Settings().ComNumber : 0;
    const std::string held = "COM" + std::to_string(port) + " is in use by the firmware downloader";
    if (holds) {
        ClearPortLostText();
        ShowInfoText(held);
        StatusPanel2->clear();
    } else if (StatusPanel1->text() == Latin1(held)) {
        StatusPanel1->clear();
    }
}

void TPLVRMainF::TabSheetTransExit()
{
    StatusPanel1->clear();
}

void TPLVRMainF::ComCancelBitBtnClick()
{
    // A running script stops before its next statement (its exchange under
    // way runs to its end); without one the exchange is cancelled.
    if (script_ && script_->IsRunning())
        script_->Abort();
    else if (demoScript_ && demoScript_->IsRunning())
        demoScript_->Abort();
    else if (cmd_)
        cmd_->Abort();
}

void TPLVRMainF::AbortAll()
{
    for (link::TTDLScript* s : {script_.get(), demoScript_.get()})
        if (s && s->IsRunning())
            s->Abort();
    if (cmd_ && cmd_->Busy())
        cmd_->Abort();
}

// ---- transactions ---------------------------------------------------------

void TPLVRMainF::TellerRadioGroupClick(char teller)
{
    teller_ = teller;
}

void TPLVRMainF::RunTransactions(const TransactionSetup& setup)
{
    if (setup.Count < 1)
        return;
    TFormTransaction dialog(this, cmd_.get());
    dialog.Setup(setup);
    ExecModal(dialog);
}

// ---- scripts --------------------------------------------------------------

void TPLVRMainF::UpdateScriptItems()
{
    // The shortcuts work without the menu, so each item follows the busy
    // state itself.
    const bool idle = !busy_.Busy();
    OpenTDLfile->setEnabled(idle);
    ScriptsRunagain->setEnabled(idle && canRunAgain_);
    ScriptsRunMutiple->setEnabled(idle && canRunAgain_);
    ScriptContinue->setEnabled(idle && canContinue_);
}

std::unique_ptr<link::TTDLScript> TPLVRMainF::NewScript()
{
    auto script = std::make_unique<link::TTDLScript>(cmd_.get(), model_.get(), &ctx_);
    script->ShowCassetteDialog = [this](link::Protokoll& model) {
        if (ShowCassetteDialog)
            ShowCassetteDialog(model);
    };
    return script;
}

void TPLVRMainF::DemoButtonClick(int tag)
{
    if (tag < 0 || tag >= static_cast<int>(demoFiles_.size()))
        return;
    if (!demoScript_)
        demoScript_ = NewScript();
    const std::string& name = demoFiles_[static_cast<std::size_t>(tag)];
    const std::string path = (std::filesystem::path(setup_.DemoDir) / name).string();
    if (demoScript_->Load(path))
        demoScript_->Run(1);
}

void TPLVRMainF::OpenTDLfileClick()
{
    const std::string start = ini_.readString("TDL", "dir", ".");
    const std::optional<std::string> file =
        platform::dialogs().openFile("Open", start, {{"TDL Files", "*.tdl"}, {"All Files", "*"}});
    if (!file)
        return;
    const std::string folder = FolderOf(*file);
    ini_.writeString("TDL", "dir", folder);
    if (ctx_.Options)
        ctx_.Options->InForce().ScriptFolder = folder;

    if (!script_)
        script_ = NewScript();
    if (!script_->Load(*file))
        return; // another script is running
    canRunAgain_ = true;
    RunOpenedScript(1);
}

void TPLVRMainF::RunOpenedScript(int n)
{
    canContinue_ = false;
    UpdateScriptItems();
    if (script_ && script_->CanRunAgain() && script_->Run(n) < 0)
        canContinue_ = true;
    UpdateScriptItems();
}

void TPLVRMainF::ScriptsRunagainClick()
{
    RunOpenedScript(1);
}

void TPLVRMainF::ScriptsRunMutipleClick()
{
    std::string answer;
    const std::string name = script_ ? script_->FileName() : std::string();
    if (!platform::dialogs().inputQuery("Repeat count", "Number of times to run " + name, answer,
                                        platform::TextCoding::FileSystem))
        return;
    RunOpenedScript(RepeatCount(answer));
}

void TPLVRMainF::ScriptContinueClick()
{
    canContinue_ = false;
    UpdateScriptItems();
    if (script_ && script_->IsAborted() && script_->Resume() < 0)
        canContinue_ = true;
    UpdateScriptItems();
}

void TPLVRMainF::MenuItemOptionsClick()
{
    if (options_ && !busy_.Busy())
        ExecModal(*options_);
}

void TPLVRMainF::NewUploadFirmvare1Click()
{
    if (ShowFirmwareWindow && !busy_.Busy())
        ShowFirmwareWindow();
}

void TPLVRMainF::ExitMenuItemClick()
{
    close();
}

void TPLVRMainF::ViewCmdStringMenuClick()
{
    if (!cmdWindow_ || !comWindow_)
        return;
    if (!cmdWindow_->isVisible()) {
        if (!cmdWindow_->CommandLayer())
            cmdWindow_->SetCommandLayer(cmd_.get());
        cmdWindow_->show();
        if (!comWindow_->isVisible())
            comWindow_->show();
    } else {
        cmdWindow_->hide();
    }
    comWindow_->SaveVisibility();
    cmdWindow_->SaveVisibility();
    SyncViewChecks();
}

void TPLVRMainF::ViewCommMenuItemClick()
{
    if (!comWindow_)
        return;
    comWindow_->setVisible(!comWindow_->isVisible());
    comWindow_->SaveVisibility();
    SyncViewChecks();
}

void TPLVRMainF::ViewStatusMenuItemClick()
{
    if (!statusWindow_)
        return;
    statusWindow_->setVisible(!statusWindow_->isVisible());
    statusWindow_->SaveVisibility();
    SyncViewChecks();
}

void TPLVRMainF::AboutClick()
{
    TAboutBox box(this, setup_.VersionFile, setup_.AboutPicture);
    ExecModal(box);
}

std::string TPLVRMainF::HelpPath(const char* file) const
{
    return (std::filesystem::path(setup_.ExeDir) / file).string();
}

void TPLVRMainF::OpenHelp(const char* file)
{
    const std::string path = HelpPath(file);
    platform::documentOpener().open(path, setup_.ExeDir, [path](const std::string& reason) {
        platform::dialogs().messageDlg("Cannot open " + path + ": " + reason, platform::DlgType::Error,
                                       platform::DlgButtons::Ok, platform::TextCoding::FileSystem);
    });
}

void TPLVRMainF::RIDURadeHelpClick()
{
    OpenHelp(kHelpFile);
}

void TPLVRMainF::KYDTroubleshootingClick()
{
    OpenHelp(kTroubleFile);
}

} // namespace kyd::app
