// The firmware downloader window: borrows the dispenser link's port for the
// CMC's bootloader, keeps the connection alive on a 500 ms timer, finds the
// NFC boards on the CAN bus, and runs erase, download and verify of the CMC,
// of checked NFC boards or of the board selected by jumper with a progress
// meter, a log and the result beside each board.
//
// Everything runs on the main thread; the loader's waits pump messages, so a
// timer tick or a click can arrive while another handler waits. The guards
// below keep them apart: a tick never runs inside a tick, Start, Close and
// the check boxes wait for a tick under way to end (they are replayed after
// it, not lost), and a Close during a run stops the run and closes the
// window once the run has returned.
#pragma once

#include "firmware/DownloaderModel.h"
#include "firmware/LoaderProgress.h"
#include "firmware/Unit_HexLoaders.h"
#include "platform/beep.h"

#include <QDialog>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace kyd::link {
class OptionsService;
}
namespace kyd::platform {
class IniFile;
}
namespace sio {
class TSioComPort;
}
namespace kyd::widgets {
class TDUDProgress;
}

namespace kyd::firmware {

// The message beeps, told apart by kind.
using TBeep = platform::BeepKind;

struct FlashWindowSetup {
    // The dispenser link's port component, asked for at the first showing.
    std::function<sio::TSioComPort*()> Port;
    // The options dialog: the baud rate in force, saving and reapplying.
    link::OptionsService* Options = nullptr;
    // The shared ini object (section Flash).
    platform::IniFile* Ini = nullptr;
    // The folder the file dialog starts in when none is stored.
    std::string ExeDir = ".";
    // Ends the application (after a run whose wait ran out).
    std::function<void()> Terminate;
    // Sounds a beep; default: the platform's (messageBeep).
    std::function<void(TBeep)> Beep;
};

class TFormFlashDownLoader : public QDialog {
    Q_OBJECT
public:
    explicit TFormFlashDownLoader(FlashWindowSetup setup, QWidget* parent = nullptr);
    ~TFormFlashDownLoader() override;

    // Shows the window modally over the application (without a nested
    // event loop).
    void ShowModal();

    // Handlers.
    void ConnectorTimer();
    void Button1Click();
    void Button3Click();
    void Button4Click();
    void ButtonSelectAllClick();
    void CMCChkBoxClick();
    void NFC1ChkBoxClick();
    void CheckBoxJumperClick();

    // Own operations.
    void EnableFoundNodes();
    void EnableNodeBoxes(bool flag);
    void CheckNodeBoxes(bool flag);
    bool AllNodesChecked() const;
    bool AnyNodeSelected() const;
    bool AnyNodeEnabled() const;
    void EnableControls(bool flag);
    void ShowAction(const std::string& text);
    void SetStatusLabels(const QString& text);
    void SetNodeLabels(const QString& text);
    TActionMode GetMode() const;

    // State, for the main window and tests.
    TConnState State() const { return state_; }
    bool Connected() const { return connected_; }
    std::uint8_t NodeMask() const { return nodeMask_; }
    bool TickRunning() const { return tickRunning_; }
    bool Running() const { return running_; }
    TDMHexLoader* Loader() const { return loader_.get(); }
    const std::string& FilePath() const { return filePath_; }
    // The ticks come from Connector's timer unless turned off (tests drive
    // ConnectorTimer themselves).
    void SetTimerDriven(bool on) { timerDriven_ = on; }
    bool ConnectorEnabled() const { return connectorEnabled_; }
    QString StatusPanel(int i) const;
    // The log's text.
    QString MemoText() const;

    // Components.
    QGroupBox* GroupBox1 = nullptr;
    std::array<QCheckBox*, 8> NFCChkBox{};
    std::array<QLabel*, 8> LabelNFC{};
    QCheckBox* CMCChkBox = nullptr;
    QLabel* LabelCMC = nullptr;
    QCheckBox* CheckBoxJumper = nullptr;
    QLabel* LabelJumper = nullptr;
    QPushButton* ButtonSelectAll = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QRadioButton* RadioButtonEraseDownLoad = nullptr;
    QRadioButton* RadioButtonEraseDownLoadVerify = nullptr;
    QRadioButton* RadioButtonDownLoadVerify = nullptr;
    QRadioButton* RadioButtonVerifyOnly = nullptr;
    widgets::TDUDProgress* ProgressBar = nullptr;
    QLabel* LabelProgress = nullptr;
    QLabel* LabelFileName = nullptr;
    QLineEdit* FileNameEdit = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button3 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    std::array<QLabel*, 3> StatusBar1{};
    QLabel* Label12 = nullptr;
    QTimer* Connector = nullptr;

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void reject() override;

private:
    class MeterProgress;

    void BuildForm();
    void FormShow();
    void FormHide();
    void SetConnectorEnabled(bool on);
    void ResetMemo(const char* text);
    void AddMemo(const std::string& text);
    void SetBarColor(std::uint32_t color);
    // Runs f now, or after the tick under way when one is.
    void AfterTick(std::function<void()> f);
    void RunDeferred();
    void DiscoverNodes();
    void DiscoverJumperNode();
    // Takes the edit box's file or asks for one; true when a file is held.
    bool ChooseHexFile();
    bool TakeFile(const std::string& path);
    int ProcessNodes(int count);
    int ProcessCMC();
    int ProcessJumperNode();
    // One item's steps; erase, download and verify as given.
    int RunSteps(const std::function<int()>& erase, const std::function<int()>& download,
                 const std::function<int()>& verify);
    void StartRun(int total);
    void Beep(TBeep kind);

    FlashWindowSetup setup_;
    std::unique_ptr<MeterProgress> meter_;
    std::unique_ptr<TDMHexLoader> loader_;
    TConnState state_ = csConnect;
    std::uint8_t nodeMask_ = 0;
    std::string startDir_;
    std::string filePath_;
    bool tickRunning_ = false;
    bool nfcClick_ = false;
    bool cmcClick_ = false;
    bool jumperClick_ = false;
    bool connected_ = false;
    bool running_ = false;
    bool closeAfterRun_ = false;
    bool closing_ = false;
    bool timerDriven_ = true;
    bool connectorEnabled_ = false;
    bool warnedPower_ = false;
    bool portFailed_ = false;
    bool ending_ = false; // the run said that the program closes
    std::vector<std::string> lines_;
    QLabel* itemLabel_ = nullptr;
    std::string action_;
    std::array<std::uint8_t, 8> selection_{};
    std::string failedItem_;             // the board the run is at
    std::vector<std::string> doneItems_; // the boards done in this run
    std::vector<std::function<void()>> deferred_;
};

} // namespace kyd::firmware
