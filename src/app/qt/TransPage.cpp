#include "app/qt/TransPage.h"

#include "app/qt/Guard.h"
#include "link/PLVRCmd.h"
#include "link/Protokoll.h"
#include "platform/exception_sink.h"
#include "platform/qt/ui_scale.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace kyd::app {

namespace {

constexpr char kWhere[] = "transactions";

// Deliver options after a move forward (MFOptionComboBox's indexes).
enum DeliverOption { kNone = 0, kDeliver = 1, kReject = 2, kFeedToReject = 3, kDeliverKyd050 = 4 };

QSpinBox* SpinEdit(QWidget* parent, const char* name, int min, int max, int value)
{
    auto* s = new QSpinBox(parent);
    s->setObjectName(name);
    s->setRange(min, max);
    s->setValue(value);
    s->setMinimumWidth(platform::UiScale::For(parent).X(50));
    return s;
}

} // namespace

// ---- TCD transaction options ----------------------------------------------

TTcdTransOptions::TTcdTransOptions(QWidget* parent) : QWidget(parent)
{
    setObjectName("TransactionOptions");
    auto* box = new QGroupBox("Transaction Options", this);
    box->setObjectName("TransOptionsGroupBox");
    (new QVBoxLayout(this))->addWidget(box);
    auto* layout = new QVBoxLayout(box);

    auto radioGroup = [box](const char* name, const char* caption, const char* first, const char* second,
                            QRadioButton*& a, QRadioButton*& b) {
        auto* g = new QGroupBox(caption, box);
        g->setObjectName(name);
        auto* v = new QVBoxLayout(g);
        a = new QRadioButton(first, g);
        b = new QRadioButton(second, g);
        v->addWidget(a);
        v->addWidget(b);
        auto* group = new QButtonGroup(g);
        group->addButton(a, 0);
        group->addButton(b, 1);
        return std::pair{g, group};
    };
    auto [cmdBox, cmdGroup] = radioGroup("RadioGroupTransCmd", "Command", "Dispense", "Move Forward",
                                         TransCmdDispense, TransCmdMoveForward);
    auto [tellerBox, tellerGroup] =
        radioGroup("TellerRadioGroup", "Teller", "Left teller", "Right teller", TellerLeft, TellerRight);
    RadioGroupTransCmd = cmdBox;
    TellerRadioGroup = tellerBox;
    TransCmdMoveForward->setChecked(true);
    TellerLeft->setChecked(true);
    auto* row = new QHBoxLayout;
    row->addWidget(RadioGroupTransCmd);
    row->addWidget(TellerRadioGroup);
    layout->addLayout(row);
    auto* note = new QLabel("NOTE! TCD Only", box);
    note->setObjectName("LabelTcdOnly");
    layout->addWidget(note);

    connect(cmdGroup, &QButtonGroup::idClicked, this, [this](int id) { emit CommandChanged(id); });
    connect(tellerGroup, &QButtonGroup::idClicked, this,
            [this](int id) { emit TellerChanged(static_cast<char>('0' + id)); });
}

int TTcdTransOptions::CommandIndex() const
{
    return TransCmdMoveForward->isChecked() ? 1 : 0;
}

char TTcdTransOptions::Teller() const
{
    return TellerRight->isChecked() ? '1' : '0';
}

// ---- Transactions page -----------------------------------------------------

TTransPage::TTransPage(QWidget* parent, const TTcdTransOptions* options, CommandSource commands,
                       std::function<char()> teller, RunSeries runSeries)
    : QWidget(parent), options_(options), commands_(std::move(commands)), teller_(std::move(teller)),
      runSeries_(std::move(runSeries))
{
    setObjectName("TransPage");
    const platform::UiScale scale = platform::UiScale::For(this);

    // The note counts.
    auto* notes = new QGroupBox("Notes", this);
    notes->setObjectName("NotesGroupBox");
    auto* grid = new QGridLayout(notes);
    for (int i = 0; i < 8; ++i) {
        const std::string name = "CSpinEditNF" + std::to_string(i + 1);
        CSpinEditNF[static_cast<std::size_t>(i)] = SpinEdit(notes, name.c_str(), 0, 100, 0);
        auto* label = new QLabel(QString("NF %1").arg(i + 1), notes);
        label->setBuddy(CSpinEditNF[static_cast<std::size_t>(i)]);
        grid->addWidget(label, i % 4, (i / 4) * 2);
        grid->addWidget(CSpinEditNF[static_cast<std::size_t>(i)], i % 4, (i / 4) * 2 + 1);
        connect(CSpinEditNF[static_cast<std::size_t>(i)], &QSpinBox::valueChanged, this,
                Guard(kWhere, [this] { EditNFChange(); }));
    }
    grid->addWidget(new QLabel("Total:", notes), 4, 0);
    TotNumNotesLabel = new QLabel("0", notes);
    TotNumNotesLabel->setObjectName("TotNumNotesLabel");
    grid->addWidget(TotNumNotesLabel, 4, 1);
    ClearNFNotesButton = new QPushButton("Clear", notes);
    ClearNFNotesButton->setObjectName("ClearNFNotesButton");
    ClearNFNotesButton->setEnabled(false);
    grid->addWidget(ClearNFNotesButton, 4, 2, 1, 2);

    // What follows a move forward, how many and how fast.
    auto* run = new QWidget(this);
    auto* runLayout = new QVBoxLayout(run);
    runLayout->setContentsMargins(0, 0, 0, 0);
    DeliverOptionsGroupBox = new QGroupBox("Deliver Options", run);
    DeliverOptionsGroupBox->setObjectName("DeliverOptionsGroupBox");
    MFOptionComboBox = new QComboBox(DeliverOptionsGroupBox);
    MFOptionComboBox->setObjectName("MFOptionComboBox");
    MFOptionComboBox->addItems({"None", "Deliver notes", "Reject notes", "Feed to Reject", "Deliver (KYD050)"});
    MFOptionComboBox->setCurrentIndex(kDeliver);
    MFOptionComboBox->setMinimumWidth(scale.X(110));
    (new QVBoxLayout(DeliverOptionsGroupBox))->addWidget(MFOptionComboBox);
    runLayout->addWidget(DeliverOptionsGroupBox);

    auto* counts = new QGridLayout;
    LabelNoOfTrans = new QLabel("No. of transactions", run);
    CSpinEditNoOfTrans = SpinEdit(run, "CSpinEditNoOfTrans", 1, 5000, 1);
    LabelDelay = new QLabel("Delay (sec.)", run);
    CSpinEditDelay = SpinEdit(run, "CSpinEditDelay", 1, 1000, 1);
    counts->addWidget(LabelNoOfTrans, 0, 0);
    counts->addWidget(CSpinEditNoOfTrans, 0, 1);
    counts->addWidget(LabelDelay, 1, 0);
    counts->addWidget(CSpinEditDelay, 1, 1);
    runLayout->addLayout(counts);
    AutoChkThroatCheckBox = new QCheckBox("Auto Check Throat", run);
    AutoChkThroatCheckBox->setObjectName("AutoChkThroatCheckBox");
    AutoChkThroatCheckBox->setEnabled(false);
    runLayout->addWidget(AutoChkThroatCheckBox);
    StartTransButton = new QPushButton("Start", run);
    StartTransButton->setObjectName("StartTransButton");
    // The default button (drawn as one); Enter in the page is taken by
    // keyPressEvent, as no dialog is there to take it.
    StartTransButton->setDefault(true);
    StartTransButton->setEnabled(false);
    runLayout->addWidget(StartTransButton);
    runLayout->addStretch(1);

    // The command buttons; the second group replaces the first for the
    // KYD050 deliver option.
    auto* commandsColumn = new QWidget(this);
    auto* commandsLayout = new QVBoxLayout(commandsColumn);
    commandsLayout->setContentsMargins(0, 0, 0, 0);
    TransCmdGroupBox = new QGroupBox("Commands", commandsColumn);
    TransCmdGroupBox->setObjectName("TransCmdGroupBox");
    KYD050CmdGroupBox = new QGroupBox("Commands", commandsColumn);
    KYD050CmdGroupBox->setObjectName("KYD050CmdGroupBox");
    KYD050CmdGroupBox->setVisible(false);
    for (QGroupBox* g : {TransCmdGroupBox, KYD050CmdGroupBox}) {
        new QVBoxLayout(g);
        g->setMinimumWidth(scale.X(120));
        commandsLayout->addWidget(g);
    }
    commandsLayout->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(notes, 0, Qt::AlignTop);
    layout->addWidget(run, 0);
    layout->addWidget(commandsColumn, 1);

    connect(ClearNFNotesButton, &QPushButton::clicked, this, Guard(kWhere, [this] { ClearNFNotesButtonClick(); }));
    connect(MFOptionComboBox, &QComboBox::currentIndexChanged, this, Guard(kWhere, [this] { MFOptionComboBoxChange(); }));
    connect(CSpinEditNoOfTrans, &QSpinBox::valueChanged, this, Guard(kWhere, [this] { CSpinEditNoOfTransChange(); }));
    connect(StartTransButton, &QPushButton::clicked, this, Guard(kWhere, [this] { StartTransButtonClick(); }));
    if (options_)
        connect(options_, &TTcdTransOptions::CommandChanged, this, Guard(kWhere, [this] { RadioGroupTransCmdClick(); }));
    RadioGroupTransCmdClick();
}

int TTransPage::Total() const
{
    int total = 0;
    for (const QSpinBox* s : CSpinEditNF)
        total += s->value();
    return total;
}

void TTransPage::EditNFChange()
{
    const int total = Total();
    TotNumNotesLabel->setText(QString::number(total));
    ClearNFNotesButton->setEnabled(total != 0);
    StartTransButton->setEnabled(total != 0);
}

void TTransPage::ClearNFNotesButtonClick()
{
    for (QSpinBox* s : CSpinEditNF)
        s->setValue(0);
}

void TTransPage::ApplyRules()
{
    // Setting the count fires its own handler; the rules already know.
    applying_ = true;
    CSpinEditNoOfTrans->setValue(rules_.Count);
    applying_ = false;
    TransCmdGroupBox->setVisible(!rules_.Kyd050Commands);
    KYD050CmdGroupBox->setVisible(rules_.Kyd050Commands);
    for (QWidget* w : std::initializer_list<QWidget*>{CSpinEditNoOfTrans, LabelNoOfTrans, CSpinEditDelay, LabelDelay})
        w->setEnabled(rules_.CountEnabled);
    AutoChkThroatCheckBox->setEnabled(rules_.AutoCheckEnabled);
    AutoChkThroatCheckBox->setChecked(rules_.AutoChecked);
}

void TTransPage::MFOptionComboBoxChange()
{
    rules_.SetOption(MFOptionComboBox->currentIndex());
    ApplyRules();
}

void TTransPage::CSpinEditNoOfTransChange()
{
    if (applying_)
        return;
    // The operator may have unchecked the box meanwhile.
    rules_.AutoChecked = AutoChkThroatCheckBox->isChecked();
    rules_.SetCount(CSpinEditNoOfTrans->value());
    ApplyRules();
}

void TTransPage::RadioGroupTransCmdClick()
{
    DeliverOptionsGroupBox->setEnabled(options_ && options_->CommandIndex() == 1);
}

TransactionSetup TTransPage::Settings() const
{
    TransactionSetup s;
    s.Count = CSpinEditNoOfTrans->value();
    s.CommandIndex = options_ ? options_->CommandIndex() : 0;
    s.WaitRemoval = AutoChkThroatCheckBox->isChecked();
    s.DelaySec = CSpinEditDelay->value();
    s.Teller = teller_ ? teller_() : '0';
    for (std::size_t i = 0; i < 8; ++i)
        s.Counts[i] = CSpinEditNF[i]->value();
    s.MoveForwardOption = MFOptionComboBox->currentIndex();
    return s;
}

void TTransPage::keyPressEvent(QKeyEvent* e)
{
    const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    if (!enter || (e->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        QWidget::keyPressEvent(e);
        return;
    }
    e->accept();
    // The key comes from the focused control of the page (or the page).
    QPushButton* target = qobject_cast<QPushButton*>(focusWidget());
    if (!target)
        target = StartTransButton;
    if (target->isEnabled() && target->isVisible())
        target->click();
}

void TTransPage::StartTransButtonClick()
{
    const TransactionSetup s = Settings();
    link::TPLVRCmdF* cmd = commands_ ? commands_() : nullptr;
    if (s.Count < 1 || !cmd || Total() == 0)
        return;
    if (s.Count > 1) {
        if (runSeries_)
            runSeries_(s);
        return;
    }
    if (s.CommandIndex == 0) {
        cmd->Dispense('1', s.Teller, s.Counts);
        return;
    }
    cmd->Dispense('2', s.MoveForwardOption == kFeedToReject ? '9' : s.Teller, s.Counts);
    // The follow-up only after a move forward that succeeded.
    if (!cmd->Model()->Succeeded())
        return;
    if (s.MoveForwardOption == kDeliver)
        cmd->SendCommand("3", 180);
    else if (s.MoveForwardOption == kReject)
        cmd->SendCommand("4", 180);
}

} // namespace kyd::app
