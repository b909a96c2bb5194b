#include "app/qt/OptionDlg.h"

#include <algorithm>

#include "link/PLVRCom.h"
#include "link/Serialdevicelist.h"
#include "platform/dialogs.h"
#include "platform/exception_sink.h"
#include "platform/ini_file.h"
#include "platform/qt/ui_scale.h"
#include "platform/safe_file.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace kyd::app {

namespace {

const char* const kComm = "Communication";
const char* const kLog = "Logging";

QString Q(const std::string& s)
{
    return QString::fromLocal8Bit(s.c_str());
}

std::string S(const QString& s)
{
    const QByteArray b = s.toLocal8Bit();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

std::string FolderOf(const std::string& path)
{
    std::filesystem::path p(path);
    return p.has_parent_path() ? p.parent_path().string() : std::string(".");
}

} // namespace

std::string LogFileProblem(const std::string& file)
{
    if (file.empty())
        return "Logging is on but no log file is named: enter a file name or switch logging off.";
    std::string reason;
    if (platform::canAppendTo(file, &reason))
        return {};
    if (errno == EISDIR)
        return "The log file " + file + " is a folder: choose a file in it.";
    return "The log file cannot be written: " + reason;
}

std::vector<int> MachinePortNumbers()
{
    std::vector<std::string> names;
    link::TSerialDeviceList().GetPortList(names);
    std::vector<int> ports;
    for (const std::string& n : names)
        if (n.size() > 3 && n.compare(0, 3, "COM") == 0)
            ports.push_back(std::atoi(n.c_str() + 3));
    return ports;
}

RadioGroup::RadioGroup(const QString& title, const QStringList& items, QWidget* parent)
    : QGroupBox(title, parent), buttons_(new QButtonGroup(this))
{
    auto* layout = new QVBoxLayout(this);
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        b->setObjectName(QStringLiteral("%1Item%2").arg(title).arg(i));
        buttons_->addButton(b, i);
        layout->addWidget(b);
    }
    layout->addStretch(1);
}

int RadioGroup::ItemIndex() const
{
    return buttons_->checkedId();
}

void RadioGroup::SetItemIndex(int index)
{
    if (QAbstractButton* b = buttons_->button(index))
        b->setChecked(true);
}

TOptionForm::TOptionForm(platform::IniFile& ini, link::AppContext& ctx, PortListProvider ports, QWidget* parent)
    : QDialog(parent), ini_(ini), ctx_(ctx), ports_(std::move(ports))
{
    setObjectName("OptionForm");
    setWindowTitle("Options");
    if (!ports_)
        ports_ = MachinePortNumbers;

    // Communication.
    auto* comm = new QGroupBox("Communication", this);
    comm->setObjectName("CommunicationGroupBox");
    PortComboBox = new QComboBox(comm);
    PortComboBox->setObjectName("PortComboBox");
    PortComboBox->setMinimumContentsLength(6);
    BaudComboBox = new QComboBox(comm);
    BaudComboBox->setObjectName("BaudComboBox");
    BaudComboBox->addItems({"1200", "2400", "4800", "9600"});
    ParityRadioGroup = new RadioGroup("Parity", {"Even", "Odd"}, comm);
    ParityRadioGroup->setObjectName("ParityRadioGroup");
    HandshakeRadioGroup = new RadioGroup("Handshake", {"On", "Off"}, comm);
    HandshakeRadioGroup->setObjectName("HandshakeRadioGroup");

    auto* lists = new QFormLayout;
    lists->addRow("Port:", PortComboBox);
    lists->addRow("Baud rate:", BaudComboBox);
    auto* commLayout = new QHBoxLayout(comm);
    commLayout->addLayout(lists);
    commLayout->addWidget(ParityRadioGroup);
    commLayout->addWidget(HandshakeRadioGroup);

    // Log file.
    auto* log = new QGroupBox("Log-file", this);
    log->setObjectName("LogFileGroupBox");
    CheckBoxLogEnable = new QCheckBox("Logging enabled", log);
    CheckBoxLogEnable->setObjectName("CheckBoxLogEnable");
    CheckBoxTimeStamp = new QCheckBox("Time stamp", log);
    CheckBoxTimeStamp->setObjectName("CheckBoxTimeStamp");
    CheckBoxDateStamp = new QCheckBox("Date stamp", log);
    CheckBoxDateStamp->setObjectName("CheckBoxDateStamp");
    EditLogFile = new QLineEdit(log);
    EditLogFile->setObjectName("EditLogFile");
    EditLogFile->setMinimumWidth(platform::UiScale::For(this).X(260));
    ButtonBrowseLogFile = new QPushButton("Browse...", log);
    ButtonBrowseLogFile->setObjectName("ButtonBrowseLogFile");

    auto* logLayout = new QGridLayout(log);
    logLayout->addWidget(CheckBoxLogEnable, 0, 0);
    logLayout->addWidget(CheckBoxTimeStamp, 0, 1);
    logLayout->addWidget(CheckBoxDateStamp, 0, 2);
    logLayout->addWidget(EditLogFile, 1, 0, 1, 3);
    logLayout->addWidget(ButtonBrowseLogFile, 1, 3);

    // Buttons.
    ButtonOk = new QPushButton("OK", this);
    ButtonOk->setObjectName("ButtonOk");
    ButtonOk->setDefault(true);
    ButtonOk->setToolTip("Save and Close");
    ButtonCancel = new QPushButton("Cancel", this);
    ButtonCancel->setObjectName("ButtonCancel");
    ButtonCancel->setToolTip("Discard and Close");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonOk);
    buttons->addWidget(ButtonCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(comm);
    layout->addWidget(log);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(ButtonOk, &QPushButton::clicked, this,
            [this] { platform::guarded("options", [this] { ButtonOkClick(); }); });
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(CheckBoxLogEnable, &QCheckBox::clicked, this,
            [this] { platform::guarded("options", [this] { CheckBoxLogEnableClick(); }); });
    connect(ButtonBrowseLogFile, &QPushButton::clicked, this,
            [this] { platform::guarded("options", [this] { ButtonBrowseLogFileClick(); }); });

    ApplySettings();
}

std::string TOptionForm::ExpandedDefaultLogFile() const
{
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(defaultLogFileName_, ec);
    return ec ? defaultLogFileName_ : p.lexically_normal().string();
}

std::string TOptionForm::Caption(int port) const
{
    // A port that could not be opened is not named as if it were in use.
    if (!ctx_.Com || !ctx_.Com->Port().IsOpen())
        return port > 0 ? "KYDTest COM" + std::to_string(port) + " (not open)" : "KYDTest (no port)";
    return "KYDTest COM" + std::to_string(port);
}

void TOptionForm::ReadSettings()
{
    settings_.Port = ini_.readInteger(kComm, "ComPort", 0);
    settings_.BaudRate = ini_.readInteger(kComm, "Baudrate", 9600);
    settings_.Handshake = ini_.readBool(kComm, "Handshake", true);
    settings_.Parity = ini_.readBool(kComm, "ParityEven", true) ? link::TParity::pEven : link::TParity::pOdd;
    settings_.ResyncMs = std::max(0, ini_.readInteger(kComm, "ResyncMs", 0));
    settings_.LoggingEnabled = ini_.readBool(kLog, "LogEnabled", false);
    settings_.LogFile = ini_.readString(kLog, "LogFile", ExpandedDefaultLogFile());
    settings_.TimeStamp = ini_.readBool(kLog, "TimeStamp", true);
    settings_.DateStamp = ini_.readBool(kLog, "DateStamp", true);
    if (settings_.LogFile.empty() && settings_.LoggingEnabled) {
        settings_.LogFile = ExpandedDefaultLogFile();
        EditLogFile->setText(Q(settings_.LogFile));
    }
}

void TOptionForm::SaveSettings()
{
    // No port open (a port choice cancelled, or the port gone) leaves the
    // stored port as it is, so the next start tries it again.
    if (settings_.Port != 0)
        ini_.writeInteger(kComm, "ComPort", settings_.Port);
    ini_.writeInteger(kComm, "Baudrate", settings_.BaudRate);
    ini_.writeBool(kComm, "Handshake", settings_.Handshake);
    ini_.writeBool(kComm, "ParityEven", settings_.Parity == link::TParity::pEven);
    if (settings_.ResyncMs > 0) // kept only when set by hand: 0 follows the line's rate
        ini_.writeInteger(kComm, "ResyncMs", settings_.ResyncMs);
    ini_.writeBool(kLog, "LogEnabled", settings_.LoggingEnabled);
    ini_.writeString(kLog, "LogFile", settings_.LogFile);
    ini_.writeBool(kLog, "TimeStamp", settings_.TimeStamp);
    ini_.writeBool(kLog, "DateStamp", settings_.DateStamp);
}

int TOptionForm::OpenPort(int port)
{
    try {
        return ctx_.Com->Open(port, settings_.BaudRate, settings_.Parity, 7, 1, settings_.Handshake);
    } catch (...) {
        // The operator declined the port prompt, or the port offered there
        // failed as well: shown, and the link stays without a port.
        platform::reportException(std::current_exception(), "opening the dispenser port");
        return 0;
    }
}

void TOptionForm::PortOpened()
{
    if (!ctx_.Com)
        return;
    settings_.Port = ctx_.Com->Port().Settings().ComNumber;
    settings_.CaptionText = Caption(settings_.Port);
    if (OnCaption)
        OnCaption(settings_.CaptionText);
}

void TOptionForm::ApplySettings()
{
    ReadSettings();
    settings_.Port = OpenPort(settings_.Port);
    settings_.CaptionText = Caption(settings_.Port);
}

void TOptionForm::SaveAndApply()
{
    SaveSettings();
    ApplySettings();
}

void TOptionForm::EnableLogControls(bool on)
{
    EditLogFile->setEnabled(on);
    ButtonBrowseLogFile->setEnabled(on);
    CheckBoxTimeStamp->setEnabled(on);
    CheckBoxDateStamp->setEnabled(on);
}

void TOptionForm::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous())
        PrepareForShow();
}

void TOptionForm::PrepareForShow()
{
    if (settings_.LogFile.empty())
        settings_.LogFile = ExpandedDefaultLogFile();
    EditLogFile->setText(Q(settings_.LogFile));
    CheckBoxLogEnable->setChecked(settings_.LoggingEnabled);
    CheckBoxTimeStamp->setChecked(settings_.TimeStamp);
    CheckBoxDateStamp->setChecked(settings_.DateStamp);
    EnableLogControls(settings_.LoggingEnabled);

    // The port list as the machine has it now; each entry carries its number.
    PortComboBox->clear();
    for (int n : ports_())
        PortComboBox->addItem(QStringLiteral("COM%1").arg(n), n);
    PortComboBox->setCurrentIndex(PortComboBox->findData(settings_.Port));

    int baud = BaudComboBox->findText(QString::number(settings_.BaudRate));
    if (baud < 0) {
        baud = BaudComboBox->findText("9600");
        settings_.BaudRate = 9600;
    }
    BaudComboBox->setCurrentIndex(baud);
    HandshakeRadioGroup->SetItemIndex(settings_.Handshake ? 0 : 1);
    ParityRadioGroup->SetItemIndex(settings_.Parity == link::TParity::pEven ? 0 : 1);
}

void TOptionForm::CheckBoxLogEnableClick()
{
    const bool on = CheckBoxLogEnable->isChecked();
    settings_.LoggingEnabled = on; // in force at once, also when cancelled
    EnableLogControls(on);
    if (on && settings_.LogFile.empty()) {
        settings_.LogFile = ExpandedDefaultLogFile();
        EditLogFile->setText(Q(settings_.LogFile));
    }
}

void TOptionForm::ButtonBrowseLogFileClick()
{
    // A save-style chooser: the log may be a file that does not exist yet.
    // It starts at the log file in force; the log is appended to, so
    // choosing an existing file asks nothing.
    std::optional<std::string> picked =
        platform::dialogs().saveFile("Log file", FolderOf(settings_.LogFile),
                                     std::filesystem::path(settings_.LogFile).filename().string(),
                                     {{"Log files", "*.log"}, {"All files", "*"}}, false);
    if (!picked)
        return;
    settings_.LogFile = *picked;
    EditLogFile->setText(Q(*picked));
}

void TOptionForm::ButtonOkClick()
{
    if (PortComboBox->currentIndex() < 0) {
        platform::dialogs().messageDlg("No port is selected. Choose the dispenser's port in the list.",
                                       platform::DlgType::Error, platform::DlgButtons::Ok);
        return;
    }
    // Logging to a file that cannot be written would fail at every
    // exchange: refused here, with the reason, before anything changes.
    if (CheckBoxLogEnable->isChecked()) {
        if (const std::string why = LogFileProblem(S(EditLogFile->text())); !why.empty()) {
            platform::dialogs().messageDlg(why, platform::DlgType::Error, platform::DlgButtons::Ok,
                                           platform::TextCoding::FileSystem);
            EditLogFile->setFocus();
            return;
        }
    }
    const int port = PortComboBox->currentData().toInt();
    settings_.Handshake = HandshakeRadioGroup->ItemIndex() == 0;
    settings_.Parity = ParityRadioGroup->ItemIndex() != 0 ? link::TParity::pOdd : link::TParity::pEven;
    settings_.BaudRate = BaudComboBox->currentText().toInt();
    settings_.Port = OpenPort(port);
    settings_.LogFile = S(EditLogFile->text());
    settings_.TimeStamp = CheckBoxTimeStamp->isChecked();
    settings_.DateStamp = CheckBoxDateStamp->isChecked();
    SaveSettings();
    settings_.CaptionText = Caption(settings_.Port);
    if (OnCaption)
        OnCaption(settings_.CaptionText);
    accept();
}

} // namespace kyd::app
