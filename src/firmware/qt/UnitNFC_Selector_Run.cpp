// The firmware downloader window's file choice and its runs: Start, the
// CMC, the checked NFC boards and the board selected by jumper.
#include "firmware/qt/UnitNFC_Selector.h"

#include "firmware/qt/FlashWindowHelpers.h"
#include "firmware/HexFile.h"
#include "link/AppContext.h"
#include "platform/dialogs.h"
#include "platform/ini_file.h"
#include "platform/safe_file.h"
#include "widgets/controls/qt/meter.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

namespace kyd::firmware {

using namespace detail;

// ---- the file ----------------------------------------------------------------------

bool TFormFlashDownLoader::TakeFile(const std::string& path)
{
    filePath_ = path;
    FileNameEdit->setText(FileNameText(BaseName(path)));
    if (setup_.Ini) {
        std::string folder = std::filesystem::path(path).parent_path().string();
        if (!folder.empty() && folder.back() != '/')
            folder += '/';
        setup_.Ini->writeString("Flash", "LastPath", folder);
        setup_.Ini->writeString("Flash", "LastFile", FileNameStd(FileNameEdit->text()));
    }
    return true;
}

void TFormFlashDownLoader::Button4Click()
{
    try {
        std::string start = setup_.Ini ? setup_.Ini->readString("Flash", "LastPath", setup_.ExeDir) : setup_.ExeDir;
        // The file chosen last is offered again while the edit box names one.
        const std::string last = setup_.Ini ? setup_.Ini->readString("Flash", "LastFile", "") : std::string();
        if (!FileNameEdit->text().isEmpty() && !last.empty())
            start = (std::filesystem::path(start) / last).string();
        const std::optional<std::string> file =
            platform::dialogs().openFile("Open", start, {{"Hex files", "*.hex"}, {"*.*", "*"}});
        if (!file)
            return;
        TakeFile(*file);
        if (IsNfcFile(FileNameStd(FileNameEdit->text())))
            EnableFoundNodes();
    } catch (const std::exception& e) {
        Beep(TBeep::Hand);
        platform::dialogs().messageDlg(e.what(), platform::DlgType::Error, platform::DlgButtons::Ok);
    }
}

bool TFormFlashDownLoader::ChooseHexFile()
{
    const std::string name = FileNameStd(FileNameEdit->text());
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
        platform::dialogs().openFile("Open", start, {{"Hex files", "*.hex"}, {"*.*", "*"}});
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
    request.FileName = FileNameStd(FileNameEdit->text());
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
    // A file larger than any flash image can be as text is refused before
    // it is read; a FIFO or a folder is refused without waiting on it.
    std::string text;
    std::string reason;
    if (platform::readRegularFile(filePath_, kMaxHexFileBytes, text, &reason) != platform::ReadResult::Ok) {
        Beep(TBeep::Hand);
        platform::dialogs().messageDlg("Cannot read " + reason, platform::DlgType::Error, platform::DlgButtons::Ok,
                                       platform::TextCoding::FileSystem);
        return;
    }
    // The whole file is judged before anything is erased or selected: a
    // file the download would refuse must never cost the board its
    // firmware. Its data must fit the target's flash: the CMC's chip when
    // it is known already, else the largest the CMC can have (the run
    // checks again once the chip is identified, before erasing), or an NFC
    // board's.
    std::uint32_t flashBytes = kNfcFlashBytes;
    std::string flashName;
    if (CMCChkBox->isChecked()) {
        flashBytes = loader_->FlashBytes() > 0 ? loader_->FlashBytes() : kLargestCmcFlashBytes;
        flashName = loader_->CMC_CPU_ID_String(); // empty while no chip is identified
    }
    std::vector<std::string> lines = SplitHexLines(text);
    if (const std::string fault = HexFileFault(lines, flashBytes, flashName); !fault.empty()) {
        Beep(TBeep::Asterisk);
        platform::dialogs().messageDlg(LoaderErrorText(leHexFileError) + ": " + fault + "\n" + filePath_,
                                       platform::DlgType::Warning, platform::DlgButtons::Ok,
                                       platform::TextCoding::FileSystem);
        return;
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
    lines_ = std::move(lines);
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
            // Said that the program closes: nothing more is asked or told on
            // the way out, and the port is not reopened.
            ending_ = true;
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
    // The file is checked against the chip once it is identified, before
    // the erase.
    const int result = RunSteps([&] { return loader_->CheckFileFitsFlash(lines_) != 0 ? -1 : loader_->EraseFlash(); },
                                [&] { return loader_->ProgramFlash(lines_); },
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
