// The options dialog: the settings of the dispenser link and of the
// communication log. Its one instance keeps the settings in force, keeps
// them in the ini object and opens the dispenser port with them.
#pragma once

#include "link/AppContext.h"

#include <QDialog>
#include <QGroupBox>

#include <functional>
#include <string>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace kyd::platform {
class IniFile;
}

namespace kyd::app {

// The port numbers to offer, in order.
using PortListProvider = std::function<std::vector<int>()>;
// The serial ports present on the machine.
std::vector<int> MachinePortNumbers();

// Why the communication log cannot be kept in file (empty when it can): no
// name, a folder, or a file that cannot be opened or created for writing.
std::string LogFileProblem(const std::string& file);

// A group of radio buttons with an item index, as the dialog's two radio
// groups need.
class RadioGroup : public QGroupBox {
public:
    RadioGroup(const QString& title, const QStringList& items, QWidget* parent);
    int ItemIndex() const;
    void SetItemIndex(int index);

private:
    QButtonGroup* buttons_;
};

class TOptionForm : public QDialog, public link::OptionsService {
    Q_OBJECT
public:
    // Reads the settings and opens the port with them (ApplySettings).
    // ctx.Com must be set.
    TOptionForm(platform::IniFile& ini, link::AppContext& ctx, PortListProvider ports, QWidget* parent = nullptr);

    // --- OptionsService ---
    link::Settings& InForce() override { return settings_; }
    void SaveSettings() override;
    void SaveAndApply() override;

    void ReadSettings();
    void ApplySettings();

    const std::string& defaultLogFileName() const { return defaultLogFileName_; }
    // The default log name expanded against the current folder.
    std::string ExpandedDefaultLogFile() const;

    // Where the caption text goes when OK is pressed (the main window).
    std::function<void(const std::string&)> OnCaption;
    // The link has opened the port (also by itself, for a command after an
    // open that had failed): the port in force and the caption follow.
    void PortOpened();

    // Handlers.
    void ButtonOkClick();
    void CheckBoxLogEnableClick();
    void ButtonBrowseLogFileClick();

    QComboBox* PortComboBox = nullptr;
    QComboBox* BaudComboBox = nullptr;
    RadioGroup* ParityRadioGroup = nullptr;
    RadioGroup* HandshakeRadioGroup = nullptr;
    QCheckBox* CheckBoxLogEnable = nullptr;
    QCheckBox* CheckBoxTimeStamp = nullptr;
    QCheckBox* CheckBoxDateStamp = nullptr;
    QLineEdit* EditLogFile = nullptr;
    QPushButton* ButtonBrowseLogFile = nullptr;
    QPushButton* ButtonOk = nullptr;
    QPushButton* ButtonCancel = nullptr;

protected:
    // The dialog's show-time logic runs once per showing (not on every
    // activation, so closing the Browse dialog keeps the operator's edits).
    void showEvent(QShowEvent* e) override;

private:
    void PrepareForShow();
    void EnableLogControls(bool on);
    // Opens the dispenser port; a failure the link passes on is shown and
    // leaves the port closed. Returns the port number in use.
    int OpenPort(int port);
    // "KYDTest COM" + port, or what says that the port is not open.
    std::string Caption(int port) const;

    platform::IniFile& ini_;
    link::AppContext& ctx_;
    PortListProvider ports_;
    std::string defaultLogFileName_ = "KYD.LOG";
    link::Settings settings_;
};

} // namespace kyd::app
