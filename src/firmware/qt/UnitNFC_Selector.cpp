#include "firmware/qt/UnitNFC_Selector.h"

#include "firmware/HexFile.h"

#include "link/AppContext.h"
#include "platform/dialogs.h"
#include "platform/exception_sink.h"
#include "platform/ini_file.h"
#include "platform/qt/ui_scale.h"
#include "serial/SioExcept.h"
#include "serial/SioPort.h"
#include "widgets/qt/dud_meter.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace kyd::firmware {

namespace {

constexpr const char* kTitle = "KYD Firmware Downloader";

QString Latin1(const std::string& s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

std::string Std(const QString& s)
{
    return s.toLatin1().toStdString();
}

template <class F>
auto Guard(const char* where, F f)
{
    return [where, f] { platform::guarded(where, f); };
}

std::string BaseName(const std::string& path)
{
    return std::filesystem::path(path).filename().string();
}

bool FileExists(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

} // namespace

// The meter as the loader sees it: the value in the run's units.
class TFormFlashDownLoader::MeterProgress final : public TLoaderProgress {
public:
    explicit MeterProgress(widgets::TDUDProgress* m) : m_(m) {}
    int Position() const override { return m_->UserValue(); }
    void SetPosition(int value) override { m_->SetUserValue(value); }
    int Max() const override { return m_->MaxValue(); }
    void SetMax(int value) override { m_->SetMaxValue(value); }

private:
    widgets::TDUDProgress* m_;
};

TFormFlashDownLoader::TFormFlashDownLoader(FlashWindowSetup setup, QWidget* parent)
    : QDialog(parent), setup_(std::move(setup))
{
    setObjectName("FormFlashDownLoader");
    setWindowTitle("KYDTest Com");
    BuildForm();
    meter_ = std::make_unique<MeterProgress>(ProgressBar);

    Connector = new QTimer(this);
    Connector->setObjectName("Connector");
    Connector->setInterval(500);
    connect(Connector, &QTimer::timeout, this, Guard("firmware timer", [this] { ConnectorTimer(); }));

    // FormCreate.
    std::error_code ec;
    startDir_ = std::filesystem::current_path(ec).string();
    Button3->setEnabled(false);
    RadioButtonEraseDownLoad->setChecked(true);
    SetNodeLabels({});
}

TFormFlashDownLoader::~TFormFlashDownLoader()
{
    // FormDestroy.
    SetConnectorEnabled(false);
    loader_.reset();
}

void TFormFlashDownLoader::BuildForm()
{
    const platform::UiScale s = platform::UiScale::For(this);
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(s.Y(6));

    // Title bar.
    auto* title = new QWidget(this);
    title->setObjectName("ToolBar1");
    title->setAutoFillBackground(true);
    QPalette tp = title->palette();
    tp.setColor(QPalette::Window, QColor(0, 105, 78));
    tp.setColor(QPalette::WindowText, Qt::white);
    title->setPalette(tp);
    auto* tl = new QHBoxLayout(title);
    tl->setContentsMargins(s.X(8), s.Y(4), s.X(8), s.Y(4));
    auto* image = new QLabel(title);
    image->setObjectName("Image1");
    image->setPixmap(style()->standardIcon(QStyle::SP_DriveHDIcon).pixmap(s.Y(24), s.Y(24)));
    Label12 = new QLabel(kTitle, title);
    Label12->setObjectName("Label12");
    QFont tf = Label12->font();
    tf.setBold(true);
    tf.setPointSizeF(tf.pointSizeF() * 1.4);
    Label12->setFont(tf);
    tl->addWidget(image);
    tl->addWidget(Label12, 1);
    top->addWidget(title);

    auto* body = new QWidget(this);
    auto* bl = new QGridLayout(body);
    bl->setContentsMargins(s.X(8), 0, s.X(8), 0);
    bl->setHorizontalSpacing(s.X(8));
    bl->setVerticalSpacing(s.Y(6));
    top->addWidget(body, 1);

    // The items.
    GroupBox1 = new QGroupBox("Please Select one or more items for processing", body);
    GroupBox1->setObjectName("GroupBox1");
    auto* g1 = new QGridLayout(GroupBox1);
    g1->setHorizontalSpacing(s.X(8));
    g1->setVerticalSpacing(s.Y(2));
    auto label = [&](const char* name) {
        auto* l = new QLabel(GroupBox1);
        l->setObjectName(name);
        l->setMinimumWidth(s.X(90));
        // The results stay readable while the group is disabled in a run.
        QPalette p = l->palette();
        p.setColor(QPalette::Disabled, QPalette::WindowText, p.color(QPalette::Active, QPalette::WindowText));
        l->setPalette(p);
        return l;
    };
    CMCChkBox = new QCheckBox("CMC", GroupBox1);
    CMCChkBox->setObjectName("CMCChkBox");
    CMCChkBox->setProperty("Tag", 2);
    LabelCMC = label("LabelCMC");
    g1->addWidget(CMCChkBox, 0, 0);
    g1->addWidget(LabelCMC, 0, 1, 1, 2);
    for (int k = 0; k < 8; ++k) {
        NFCChkBox[k] = new QCheckBox(QStringLiteral("NFC %1").arg(k + 1), GroupBox1);
        NFCChkBox[k]->setObjectName(QStringLiteral("NFC%1ChkBox").arg(k + 1));
        NFCChkBox[k]->setProperty("Tag", 1);
        LabelNFC[k] = label(QStringLiteral("LabelNFC%1").arg(k + 1).toLatin1().constData());
        LabelNFC[k]->setProperty("Tag", 11 + k);
        g1->addWidget(NFCChkBox[k], 1 + k, 0);
        g1->addWidget(LabelNFC[k], 1 + k, 1, 1, 2);
        connect(NFCChkBox[k], &QCheckBox::clicked, this,
                Guard("NFC box", [this] { AfterTick([this] { NFC1ChkBoxClick(); }); }));
    }
    CheckBoxJumper = new QCheckBox("NFC selected by jumper", GroupBox1);
    CheckBoxJumper->setObjectName("CheckBoxJumper");
    CheckBoxJumper->setToolTip("Put the jumper on the NFC board to be flashed before the power is switched on");
    LabelJumper = label("LabelJumper");
    g1->addWidget(CheckBoxJumper, 9, 0, 1, 2);
    g1->addWidget(LabelJumper, 9, 2);
    ButtonSelectAll = new QPushButton("Select all NFC", GroupBox1);
    ButtonSelectAll->setObjectName("ButtonSelectAll");
    g1->addWidget(ButtonSelectAll, 10, 0, 1, 3, Qt::AlignLeft);
    g1->setColumnStretch(2, 1);
    connect(CMCChkBox, &QCheckBox::clicked, this,
            Guard("CMC box", [this] { AfterTick([this] { CMCChkBoxClick(); }); }));
    connect(CheckBoxJumper, &QCheckBox::clicked, this,
            Guard("jumper box", [this] { AfterTick([this] { CheckBoxJumperClick(); }); }));
    connect(ButtonSelectAll, &QPushButton::clicked, this,
            Guard("select all", [this] { AfterTick([this] { ButtonSelectAllClick(); }); }));
    bl->addWidget(GroupBox1, 0, 0, 2, 1);

    // The action.
    GroupBox2 = new QGroupBox("Please select appropriate action", body);
    GroupBox2->setObjectName("GroupBox2");
    auto* g2 = new QVBoxLayout(GroupBox2);
    g2->setSpacing(s.Y(2));
    auto radio = [&](const char* name, const char* text) {
        auto* r = new QRadioButton(text, GroupBox2);
        r->setObjectName(name);
        g2->addWidget(r);
        return r;
    };
    RadioButtonEraseDownLoad = radio("RadioButtonEraseDownLoad", "Erase->Download");
    RadioButtonEraseDownLoadVerify = radio("RadioButtonEraseDownLoadVerify", "Erase->Download->Verify");
    RadioButtonDownLoadVerify = radio("RadioButtonDownLoadVerify", "Download->Verify");
    RadioButtonVerifyOnly = radio("RadioButtonVerifyOnly", "Verify only");
    bl->addWidget(GroupBox2, 0, 1);

    Memo1 = new QPlainTextEdit(body);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    bl->addWidget(Memo1, 1, 1);
    bl->setColumnStretch(1, 1);
    bl->setRowStretch(1, 1);

    // Progress.
    LabelProgress = new QLabel(body);
    LabelProgress->setObjectName("LabelProgress");
    QFont pf("Arial");
    pf.setBold(true);
    LabelProgress->setFont(pf);
    LabelProgress->setMinimumHeight(QFontMetrics(pf).height());
    bl->addWidget(LabelProgress, 2, 0, 1, 2);
    ProgressBar = new widgets::TDUDProgress(body);
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->SetStyle(widgets::TDUDProgressStyle::pgBar);
    ProgressBar->SetBarColor(kBarColorNormal);
    ProgressBar->Bevel().SetMode(widgets::TDUDBevelMode::bmCustom);
    ProgressBar->Bevel().SetStyleOuter(widgets::TDUDBevelStyle::bvLowered);
    ProgressBar->SmallBar().SetBarCount(50);
    ProgressBar->SmallBar().SetHSpace(2);
    ProgressBar->SmallBar().SetVSpace(2);
    ProgressBar->SetBounds(0, 0, s.X(600), s.Y(20));
    ProgressBar->setMinimumSize(s.X(200), s.Y(20));
    ProgressBar->setMaximumHeight(s.Y(20));
    ProgressBar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    bl->addWidget(ProgressBar, 3, 0, 1, 2);

    // The file.
    auto* fileRow = new QHBoxLayout;
    LabelFileName = new QLabel("File Name:", body);
    LabelFileName->setObjectName("LabelFileName");
    FileNameEdit = new QLineEdit(body);
    FileNameEdit->setObjectName("FileNameEdit");
    Button4 = new QPushButton("...", body);
    Button4->setObjectName("Button4");
    Button4->setFixedWidth(s.X(30));
    fileRow->addWidget(LabelFileName);
    fileRow->addWidget(FileNameEdit, 1);
    fileRow->addWidget(Button4);
    bl->addLayout(fileRow, 4, 0, 1, 2);
    connect(Button4, &QPushButton::clicked, this, Guard("file", [this] { Button4Click(); }));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    Button3 = new QPushButton("Start", body);
    Button3->setObjectName("Button3");
    Button1 = new QPushButton("Close", body);
    Button1->setObjectName("Button1");
    for (QPushButton* b : {Button3, Button1}) {
        b->setMinimumWidth(s.X(75));
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    bl->addLayout(buttons, 5, 0, 1, 2);
    connect(Button3, &QPushButton::clicked, this, Guard("start", [this] { AfterTick([this] { Button3Click(); }); }));
    connect(Button1, &QPushButton::clicked, this, Guard("close", [this] { AfterTick([this] { Button1Click(); }); }));

    auto* bar = new QStatusBar(this);
    bar->setObjectName("StatusBar1");
    bar->setSizeGripEnabled(false);
    const int widths[3] = {200, 200, 50};
    for (int i = 0; i < 3; ++i) {
        StatusBar1[i] = new QLabel(bar);
        StatusBar1[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusBar1[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        StatusBar1[i]->setTextFormat(Qt::PlainText);
        StatusBar1[i]->setMinimumWidth(s.X(widths[i]));
        bar->addWidget(StatusBar1[i], i == 2 ? 1 : 0);
    }
    top->addWidget(bar);

    setMinimumSize(s.Size({617, 429}).expandedTo(minimumSizeHint()));
    resize(s.Size({626, 436}).expandedTo(minimumSize()));
}

QString TFormFlashDownLoader::StatusPanel(int i) const
{
    return StatusBar1.at(static_cast<std::size_t>(i))->text();
}

QString TFormFlashDownLoader::MemoText() const
{
    return Memo1->toPlainText();
}

void TFormFlashDownLoader::Beep(TBeep kind)
{
    if (setup_.Beep)
        setup_.Beep(kind);
    else
        QApplication::beep();
}

void TFormFlashDownLoader::SetConnectorEnabled(bool on)
{
    connectorEnabled_ = on;
    if (on && timerDriven_)
        Connector->start();
    else
        Connector->stop();
}

void TFormFlashDownLoader::ResetMemo(const char* text)
{
    Memo1->clear();
    AddMemo(text);
}

void TFormFlashDownLoader::AddMemo(const std::string& text)
{
    Memo1->appendPlainText(Latin1(text));
    // The report is read from its first line.
    Memo1->moveCursor(QTextCursor::Start);
    Memo1->ensureCursorVisible();
}

void TFormFlashDownLoader::SetBarColor(std::uint32_t color)
{
    ProgressBar->SetBarColor(color);
}

void TFormFlashDownLoader::ShowModal()
{
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    activateWindow();
}

// ---- guards ----------------------------------------------------------------

void TFormFlashDownLoader::AfterTick(std::function<void()> f)
{
    if (tickRunning_) {
        deferred_.push_back(std::move(f));
        return;
    }
    f();
}

void TFormFlashDownLoader::RunDeferred()
{
    while (!deferred_.empty() && !tickRunning_) {
        std::function<void()> f = std::move(deferred_.front());
        deferred_.erase(deferred_.begin());
        platform::guarded("firmware window", f);
    }
}

// ---- showing and hiding ------------------------------------------------------

void TFormFlashDownLoader::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    // A window restored from the task bar keeps its loader and its port.
    if (e->spontaneous())
        return;
    platform::guarded("firmware window", [this] { FormShow(); });
}

void TFormFlashDownLoader::FormShow()
{
    connected_ = false;
    nodeMask_ = 0;
    for (QCheckBox* b : NFCChkBox)
        b->setEnabled(false);
    CheckBoxJumper->setEnabled(true);
    CheckBoxJumper->setChecked(false);
    CMCChkBox->setEnabled(connected_);
    ButtonSelectAll->setEnabled(false);
    LabelCMC->clear();
    LabelJumper->clear();
    LabelProgress->clear();
    StatusBar1[0]->clear();
    ProgressBar->SetStep(1);
    ProgressBar->SetPercentValue(0);
    SetBarColor(kBarColorNormal);
    Button3->setEnabled(false);
    lines_.clear();
    ResetMemo(kPreparationText);
    closeAfterRun_ = false;
    closing_ = false;
    portFailed_ = false;
    warnedPower_ = false;
    deferred_.clear();

    SetConnectorEnabled(true);
    sio::TSioComPort* port = setup_.Port ? setup_.Port() : nullptr;
    if (!loader_ && port) {
        loader_ = std::make_unique<TDMHexLoader>(meter_.get(), port);
        loader_->SetBaudRateText([this] {
            return setup_.Options ? std::to_string(setup_.Options->InForce().BaudRate) : std::string();
        });
    }
    if (loader_)
        loader_->ResetState();
    nodeMask_ = 0;
    state_ = csConnect;
    setWindowTitle(QStringLiteral("KYDTest Com%1").arg(port ? port->GetComNumber() : 0));
}

void TFormFlashDownLoader::hideEvent(QHideEvent* e)
{
    QDialog::hideEvent(e);
    if (e->spontaneous())
        return;
    platform::guarded("firmware window", [this] { FormHide(); });
}

void TFormFlashDownLoader::FormHide()
{
    SetConnectorEnabled(false);
    // The port directly: the loader may be gone already.
    if (sio::TSioComPort* port = setup_.Port ? setup_.Port() : nullptr) {
        try {
            if (port->GetOpen())
                port->SetOpen(false);
        } catch (const sio::ESIOException&) {
        }
    }
    // A port that failed to open stays closed until the options are
    // applied again (closing the window leaves the state at closed, so the
    // failure is remembered apart).
    if (!portFailed_ && state_ != csPortFailed && setup_.Options)
        setup_.Options->SaveAndApply();
}

void TFormFlashDownLoader::reject()
{
    close();
}

void TFormFlashDownLoader::closeEvent(QCloseEvent* e)
{
    // During a run: the run stops, and the window closes once it returned.
    if (running_) {
        e->ignore();
        if (!closeAfterRun_)
            Button1Click();
        return;
    }
    // Inside a tick's message pumping: once the tick has ended.
    if (tickRunning_) {
        e->ignore();
        AfterTick([this] { close(); });
        return;
    }
    // FormClose.
    StatusBar1[0]->setText("Closing...");
    if (loader_ && state_ != csClosed && !loader_->GetTerminate()) {
        closing_ = true;
        Button1Click();
        closing_ = false;
    }
    SetConnectorEnabled(false);
    loader_.reset();
    e->accept();
}

void TFormFlashDownLoader::Button1Click()
{
    if (tickRunning_) {
        AfterTick([this] { Button1Click(); });
        return;
    }
    if (loader_) {
        if (loader_->GetTerminate()) {
            state_ = csClosed;
            SetConnectorEnabled(false);
            tickRunning_ = false;
        } else {
            state_ = csClosing;
            loader_->SetTerminate(true);
            if (connected_ && !warnedPower_) {
                warnedPower_ = true;
                Beep(TBeep::Exclamation);
                platform::dialogs().messageDlg("Please Switch off the Power Supply,\nbefore sending any commands.",
                                               platform::DlgType::Information, platform::DlgButtons::Ok);
            }
            SetConnectorEnabled(false);
            state_ = csClosed;
        }
    }
    if (running_) {
        closeAfterRun_ = true;
        return;
    }
    if (!closing_)
        close();
}

// ---- the connection timer ----------------------------------------------------

void TFormFlashDownLoader::ConnectorTimer()
{
    if (tickRunning_)
        return;
    tickRunning_ = true;
    struct EndTick {
        TFormFlashDownLoader* w;
        ~EndTick()
        {
            w->tickRunning_ = false;
            QTimer::singleShot(0, w, [w = w] { w->RunDeferred(); });
        }
    } endTick{this};

    if (!loader_)
        return;
    StatusBar1[2]->setText(loader_->NrOfResendings() > 0
                               ? QStringLiteral("%1 Resendings: ").arg(loader_->NrOfResendings())
                               : QString());
    if (state_ == csConnect) {
        SetConnectorEnabled(false);
        const int r = loader_->Connect();
        connected_ = r == 0;
        if (r == -2) {
            state_ = csPortFailed;
            portFailed_ = true;
        } else {
            SetConnectorEnabled(true);
        }
        if (connected_)
            state_ = CheckBoxJumper->isChecked() ? csJumper : csDiscover;
    }
    switch (state_) {
    case csDiscover:
        CheckBoxJumper->setEnabled(false);
        DiscoverNodes();
        EnableFoundNodes();
        CMCChkBox->setEnabled(true);
        state_ = csIdle;
        ButtonSelectAll->setEnabled(connected_ && AnyNodeEnabled());
        Button3->setEnabled(true);
        break;
    case csBusy:
        if (CMCChkBox->isChecked())
            StatusBar1[0]->setText("Device: " + Latin1(loader_->CMC_CPU_ID_String()));
        break;
    case csJumper:
        DiscoverJumperNode();
        CheckNodeBoxes(false);
        EnableNodeBoxes(false);
        CMCChkBox->setEnabled(true);
        ButtonSelectAll->setEnabled(false);
        Button3->setEnabled(true);
        state_ = csIdle;
        break;
    case csIdle:
    case csClosing:
        connected_ = loader_->PollBootloader();
        StatusBar1[0]->clear();
        break;
    default:
        break;
    }
    if (connected_) {
        StatusBar1[1]->setText("Connected with KYD CMC");
    } else {
        StatusBar1[1]->setText("No connection with KYD CMC");
        Button3->setEnabled(false);
        SetStatusLabels({});
        CheckBoxJumper->setEnabled(true);
        if (state_ != csClosing && state_ != csPortFailed && state_ != csClosed)
            state_ = csConnect;
    }
}

void TFormFlashDownLoader::DiscoverNodes()
{
    state_ = csBusy;
    if (loader_->CheckNodePresence() == 0) {
        nodeMask_ = loader_->GetAvailableNodes();
        state_ = csIdle;
    } else {
        state_ = csPortFailed;
    }
}

void TFormFlashDownLoader::DiscoverJumperNode()
{
    loader_->SetJumperSelected(true);
    state_ = csBusy;
    if (loader_->CheckNodePresence() == 0) {
        nodeMask_ = 0;
        state_ = csIdle;
    } else {
        state_ = csPortFailed;
    }
}

// ---- the boxes -------------------------------------------------------------------

void TFormFlashDownLoader::EnableFoundNodes()
{
    if (nodeMask_ == 0)
        return;
    for (int k = 0; k < 8; ++k)
        NFCChkBox[k]->setEnabled((nodeMask_ >> k) & 1);
}

void TFormFlashDownLoader::EnableNodeBoxes(bool flag)
{
    for (int k = 0; k < 8; ++k)
        NFCChkBox[k]->setEnabled(flag && ((nodeMask_ >> k) & 1));
}

void TFormFlashDownLoader::CheckNodeBoxes(bool flag)
{
    for (QCheckBox* b : NFCChkBox)
        b->setChecked(flag && b->isEnabled());
}

bool TFormFlashDownLoader::AllNodesChecked() const
{
    for (QCheckBox* b : NFCChkBox)
        if (b->isEnabled() && !b->isChecked())
            return false;
    return true;
}

bool TFormFlashDownLoader::AnyNodeSelected() const
{
    for (QCheckBox* b : NFCChkBox)
        if (b->isChecked())
            return true;
    return CheckBoxJumper->isChecked();
}

bool TFormFlashDownLoader::AnyNodeEnabled() const
{
    for (QCheckBox* b : NFCChkBox)
        if (b->isEnabled())
            return true;
    return false;
}

void TFormFlashDownLoader::EnableControls(bool flag)
{
    Button3->setEnabled(flag);
    Button4->setEnabled(flag);
    GroupBox1->setEnabled(flag);
    GroupBox2->setEnabled(flag);
    ButtonSelectAll->setEnabled(flag && connected_ && AnyNodeEnabled());
    FileNameEdit->setReadOnly(!flag);
}

void TFormFlashDownLoader::ShowAction(const std::string& text)
{
    action_ = text;
    LabelProgress->setText(Latin1(text));
    QLabel* item = CMCChkBox->isChecked() ? LabelCMC : itemLabel_;
    if (item)
        item->setText(Latin1(text));
}

void TFormFlashDownLoader::SetStatusLabels(const QString& text)
{
    LabelJumper->setText(text);
    LabelCMC->setText(text);
    SetNodeLabels(text);
}

void TFormFlashDownLoader::SetNodeLabels(const QString& text)
{
    for (QLabel* l : LabelNFC)
        l->setText(text);
}

TActionMode TFormFlashDownLoader::GetMode() const
{
    if (RadioButtonEraseDownLoad->isChecked())
        return amEraseDownload;
    if (RadioButtonEraseDownLoadVerify->isChecked())
        return amEraseDownloadVerify;
    if (RadioButtonDownLoadVerify->isChecked())
        return amDownloadVerify;
    return amVerifyOnly;
}

void TFormFlashDownLoader::NFC1ChkBoxClick()
{
    if (cmcClick_ || jumperClick_)
        return;
    nfcClick_ = true;
    CMCChkBox->setChecked(false);
    SetStatusLabels({});
    ResetMemo(kPreparationText);
    ProgressBar->SetUserValue(0);
    CheckBoxJumper->setChecked(false);
    ButtonSelectAll->setText(AllNodesChecked() ? "Deselect all NFC" : "Select all NFC");
    Button3->setEnabled(connected_);
    nfcClick_ = false;
}

void TFormFlashDownLoader::CMCChkBoxClick()
{
    if (nfcClick_ || jumperClick_)
        return;
    cmcClick_ = true;
    SetStatusLabels({});
    ResetMemo(kPreparationText);
    ProgressBar->SetUserValue(0);
    for (QCheckBox* b : NFCChkBox)
        b->setChecked(false);
    ButtonSelectAll->setText("Select all NFC");
    CheckBoxJumper->setChecked(false);
    Button3->setEnabled(connected_ && state_ == csIdle);
    cmcClick_ = false;
}

void TFormFlashDownLoader::CheckBoxJumperClick()
{
    if (nfcClick_ || cmcClick_)
        return;
    jumperClick_ = true;
    SetStatusLabels({});
    ResetMemo(kPreparationText);
    ProgressBar->SetUserValue(0);
    if (CheckBoxJumper->isChecked()) {
        CMCChkBox->setEnabled(connected_);
        CMCChkBox->setChecked(false);
        for (QCheckBox* b : NFCChkBox) {
            b->setEnabled(false);
            b->setChecked(false);
        }
        ButtonSelectAll->setEnabled(false);
        LabelCMC->clear();
        if (loader_)
            loader_->SetJumperSelected(true);
    } else {
        for (QCheckBox* b : NFCChkBox)
            b->setChecked(false);
        CMCChkBox->setEnabled(connected_);
        CMCChkBox->setChecked(false);
        ButtonSelectAll->setEnabled(connected_ && AnyNodeEnabled());
        if (loader_)
            loader_->SetJumperSelected(false);
    }
    Button3->setEnabled(connected_ && state_ == csIdle);
    jumperClick_ = false;
}

void TFormFlashDownLoader::ButtonSelectAllClick()
{
    if (AllNodesChecked()) {
        ButtonSelectAll->setText("Select all NFC");
        CheckNodeBoxes(false);
    } else {
        CMCChkBox->setChecked(false);
        CheckNodeBoxes(true);
        ButtonSelectAll->setText("Deselect all NFC");
    }
    Button3->setEnabled(connected_);
}

// ---- the file ----------------------------------------------------------------------

bool TFormFlashDownLoader::TakeFile(const std::string& path)
{
    filePath_ = path;
    FileNameEdit->setText(Latin1(BaseName(path)));
    if (setup_.Ini) {
        std::string folder = std::filesystem::path(path).parent_path().string();
        if (!folder.empty() && folder.back() != '/')
            folder += '/';
        setup_.Ini->writeString("Flash", "LastPath", folder);
        setup_.Ini->writeString("Flash", "LastFile", Std(FileNameEdit->text()));
    }
    return true;
}

void TFormFlashDownLoader::Button4Click()
{
    try {
        const std::string start = setup_.Ini ? setup_.Ini->readString("Flash", "LastPath", setup_.ExeDir) : setup_.ExeDir;
        const std::optional<std::string> file =
            platform::dialogs().openFile("Open", start, {{"Hex files", "*.hex"}, {"*.*", "*.*"}});
        if (!file)
            return;
        TakeFile(*file);
        if (IsNfcFile(Std(FileNameEdit->text())))
            EnableFoundNodes();
    } catch (const std::exception& e) {
        Beep(TBeep::Hand);
        platform::dialogs().messageDlg(e.what(), platform::DlgType::Error, platform::DlgButtons::Ok);
    }
}

bool TFormFlashDownLoader::ChooseHexFile()
{
    const std::string name = Std(FileNameEdit->text());
    // The file chosen last, when the edit box still names it.
    if (!name.empty() && BaseName(filePath_) == name && FileExists(filePath_))
        return TakeFile(filePath_);
    if (!name.empty()) {
        const std::string folder = setup_.Ini ? setup_.Ini->readString("Flash", "LastPath", "") : std::string();
        for (const std::string& candidate : {name, folder.empty() ? std::string() : folder + name})
            if (FileExists(candidate))
                return TakeFile(std::filesystem::absolute(candidate).string());
    }
    const std::string start = setup_.Ini ? setup_.Ini->readString("Flash", "LastPath", setup_.ExeDir) : setup_.ExeDir;
    const std::optional<std::string> file =
        platform::dialogs().openFile("Open", start, {{"Hex files", "*.hex"}, {"*.*", "*.*"}});
    if (!file)
        return false;
    return TakeFile(*file);
}

// ---- Start -------------------------------------------------------------------------

void TFormFlashDownLoader::Button3Click()
{
    if (running_ || !loader_)
        return;
    TStartRequest request;
    request.FileName = Std(FileNameEdit->text());
    request.Cmc = CMCChkBox->isChecked();
    request.Jumper = CheckBoxJumper->isChecked();
    for (QCheckBox* b : NFCChkBox)
        request.AnyNfc = request.AnyNfc || b->isChecked();
    auto refuse = [this](const std::string& text) {
        Beep(TBeep::Asterisk);
        platform::dialogs().messageDlg(text, platform::DlgType::Information, platform::DlgButtons::Ok);
    };
    if (const auto refusal = StartRefusal(request)) {
        refuse(*refusal);
        return;
    }
    // The file flashed is the file checked: find it first, then judge the
    // name of the file that will be loaded.
    if (!ChooseHexFile()) {
        refuse("Please select a Hex-file for Downloading or Verifying");
        return;
    }
    request.FileName = BaseName(filePath_);
    if (const auto refusal = StartRefusal(request)) {
        refuse(*refusal);
        return;
    }
    std::string text;
    {
        std::ifstream in(filePath_, std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        if (!in) {
            Beep(TBeep::Hand);
            platform::dialogs().messageDlg("Cannot read " + filePath_, platform::DlgType::Error,
                                           platform::DlgButtons::Ok);
            return;
        }
        text = ss.str();
    }

    Button3->setEnabled(false);
    Button1->setEnabled(false);
    const TConnState saved = state_;
    state_ = csBusy;
    running_ = true;
    if (CheckBoxJumper->isChecked())
        for (QCheckBox* b : NFCChkBox)
            b->setEnabled(false);
    LabelProgress->clear();
    SetNodeLabels({});
    ResetMemo(kPreparationText);
    lines_ = SplitHexLines(text);
    ProgressBar->SetUserValue(0);
    SetBarColor(kBarColorNormal);

    int count = 0;
    for (int k = 0; k < 8; ++k) {
        selection_[k] = NFCChkBox[k]->isChecked() ? static_cast<std::uint8_t>(k + 1) : 0;
        count += selection_[k] != 0;
    }
    doneItems_.clear();
    failedItem_.clear();
    int result = -1;
    if (CMCChkBox->isChecked())
        result = ProcessCMC();
    else if (CheckBoxJumper->isChecked())
        result = ProcessJumperNode();
    else if (count > 0)
        result = ProcessNodes(count);
    running_ = false;

    const std::string error = loader_ ? loader_->lastErrorMessage() : std::string("Command has failed");
    if (result == 0 && error.empty()) {
        SetBarColor(kBarColorNormal);
        ProgressBar->SetUserValue(ProgressBar->MaxValue());
    } else {
        SetBarColor(kBarColorFailed);
        ProgressBar->SetUserValue(ProgressBar->MaxValue());
        std::string message = (error.empty() ? std::string("Command has failed") : error) + "\nduring " + action_ + "\n";
        LabelProgress->setText("Failure");
        Memo1->clear();
        std::string log = "Error: " + error + "\n" + failedItem_ + ": " + action_;
        const std::string before = DoneBeforeFailure(doneItems_);
        if (!before.empty())
            log += "\n" + before;
        AddMemo(log + "\n\n" + kErrorText);
        if (loader_ && loader_->timeoutError()) {
            if (setup_.Options)
                setup_.Options->SaveSettings();
            message += "\n\nInternal Error in " + Std(Label12->text()) + "\n\n" + platform::applicationTitle() +
                       " will close";
            Beep(TBeep::Hand);
            platform::dialogs().messageDlg(message, platform::DlgType::Error, platform::DlgButtons::Ok);
            if (setup_.Terminate)
                setup_.Terminate();
        } else {
            Beep(TBeep::Asterisk);
            platform::dialogs().messageDlg(message, platform::DlgType::Warning, platform::DlgButtons::Ok);
        }
    }
    state_ = saved == csBusy ? csIdle : saved;
    EnableControls(true);
    Button1->setEnabled(true);
    CMCChkBox->setEnabled(true);
    if (result == 0 && error.empty()) {
        ResetMemo(kSuccessText);
        LabelProgress->setText("Done");
        Beep(TBeep::Default);
        if (loader_ && !loader_->JumperSelected())
            EnableFoundNodes();
    }
    if (closeAfterRun_) {
        closeAfterRun_ = false;
        QTimer::singleShot(0, this, [this] { close(); });
    }
}

void TFormFlashDownLoader::StartRun(int total)
{
    ProgressBar->SetStep(1);
    ProgressBar->setEnabled(true);
    ProgressBar->SetMaxValue(MeterMaximum(total));
    ProgressBar->SetUserValue(0);
    EnableControls(false);
}

int TFormFlashDownLoader::RunSteps(const std::function<int()>& erase, const std::function<int()>& download,
                                   const std::function<int()>& verify)
{
    for (TStep step : StepsOf(GetMode())) {
        ShowAction(StepText(step));
        const int r = step == TStep::Erase ? erase() : step == TStep::Download ? download() : verify();
        if (r != 0 || !loader_->lastErrorMessage().empty())
            return -1;
    }
    return 0;
}

int TFormFlashDownLoader::ProcessNodes(int count)
{
    StartRun(ProgressTotal(GetMode(), TRunKind::Nodes, static_cast<int>(lines_.size()), count));
    CMCChkBox->setChecked(false);
    CMCChkBox->setEnabled(false);
    doneItems_.clear();
    int result = 0;
    for (int k = 0; k < 8 && result == 0; ++k) {
        const std::uint8_t node = selection_[k];
        if (!node)
            continue;
        itemLabel_ = LabelNFC[k];
        failedItem_ = "NFC " + std::to_string(node);
        result = RunSteps([&] { return loader_->EraseNode(node); }, [&] { return loader_->DownloadNode(node, lines_); },
                          [&] { return loader_->VerifyNode(node, lines_); });
        itemLabel_->setText(result == 0 ? "Done" : "Failure");
        if (result == 0)
            doneItems_.push_back(failedItem_);
    }
    return result;
}

int TFormFlashDownLoader::ProcessCMC()
{
    StartRun(ProgressTotal(GetMode(), TRunKind::Cmc, static_cast<int>(lines_.size()), 0));
    doneItems_.clear();
    failedItem_ = "CMC";
    LabelCMC->clear();
    itemLabel_ = LabelCMC;
    const int result = RunSteps([&] { return loader_->EraseFlash(); }, [&] { return loader_->ProgramFlash(lines_); },
                                [&] { return loader_->VerifyFlash(lines_); });
    LabelCMC->setText(result == 0 ? "Done" : "Failure");
    StatusBar1[0]->clear();
    return result;
}

int TFormFlashDownLoader::ProcessJumperNode()
{
    StartRun(ProgressTotal(GetMode(), TRunKind::JumperNode, static_cast<int>(lines_.size()), 1));
    doneItems_.clear();
    failedItem_ = "NFC selected by jumper";
    CMCChkBox->setChecked(false);
    CMCChkBox->setEnabled(false);
    itemLabel_ = LabelJumper;
    const int result =
        RunSteps([&] { return loader_->EraseNode(kJumperNode); }, [&] { return loader_->DownloadNode(kJumperNode, lines_); },
                 [&] { return loader_->VerifyNode(kJumperNode, lines_); });
    LabelJumper->setText(result == 0 ? "Done" : "Failure");
    return result;
}

} // namespace kyd::firmware
