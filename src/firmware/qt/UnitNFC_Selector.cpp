#include "firmware/qt/UnitNFC_Selector.h"

#include "firmware/qt/FlashWindowHelpers.h"
#include "link/AppContext.h"
#include "platform/beep.h"
#include "platform/dialogs.h"
#include "platform/exception_sink.h"
#include "serial/SioExcept.h"
#include "serial/SioPort.h"
#include "widgets/controls/qt/meter.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStatusBar>
#include <QTimer>

#include <filesystem>

namespace kyd::firmware {

using namespace detail;

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
    if (setup_.Beep) {
        setup_.Beep(kind);
        return;
    }
    platform::messageBeep(kind);
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
    ending_ = false;
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
    if (!portFailed_ && state_ != csPortFailed && !ending_ && setup_.Options)
        setup_.Options->SaveAndApply();
}

void TFormFlashDownLoader::reject()
{
    // Esc: nothing while a run is under way (stopping it half-way would
    // leave the board half-programmed); closing the window still stops it.
    if (running_)
        return;
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
            if (connected_ && !warnedPower_ && !ending_) {
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
} // namespace kyd::firmware
