#include "app/qt/CassettePage.h"

#include "app/CassetteItems.h"
#include "app/ResultDecoders.h"
#include "app/qt/Guard.h"
#include "app/qt/Latin1.h"
#include "link/PLVRCmd.h"
#include "link/Protokoll.h"
#include "link/TextPos.h"
#include "platform/dialogs.h"
#include "platform/exception_sink.h"
#include "platform/qt/ui_scale.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace kyd::app {

namespace {

constexpr int kStatusClassSoftwareRecoverable = 197;

QLineEdit* MaskEdit(QWidget* parent, const char* name, const char* mask, int maxLength, int designWidth)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setInputMask(QString::fromStdString(QtInputMask(mask)));
    e->setMaxLength(maxLength);
    e->setFixedWidth(platform::UiScale::For(e).X(designWidth));
    return e;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    // Air around the caption, whatever the style's own margins.
    b->setMinimumWidth(platform::UiScale::ButtonWidth(b, b->text()));
    return b;
}

} // namespace

TCassettePage::TCassettePage(QWidget* parent, std::function<link::TPLVRCmdF*()> commandLayer)
    : QWidget(parent), commandLayer_(std::move(commandLayer))
{
    setObjectName("CassettePage");
    BuildControls();
}

void TCassettePage::BuildControls()
{
    const auto scale = platform::UiScale::For(this);

    // The positions: checkable buttons in an exclusive group, so that "no
    // position selected" exists (a tab bar always has a current tab).
    TabControlCassItem = new QWidget(this);
    TabControlCassItem->setObjectName("TabControlCassItem");
    auto* tabs = new QHBoxLayout(TabControlCassItem);
    tabs->setContentsMargins(0, 0, 0, 0);
    tabs->setSpacing(scale.X(2));
    TabButtons = new QButtonGroup(this);
    TabButtons->setExclusive(true);
    for (int pos = 0; pos <= 8; ++pos) {
        const QString caption = pos == 0 ? QString("RV") : QString("NC %1").arg(pos);
        auto* b = new QToolButton(TabControlCassItem);
        b->setText(caption);
        b->setObjectName(pos == 0 ? QString("TabRV") : QString("TabNC%1").arg(pos));
        b->setCheckable(true);
        b->setMinimumWidth(std::max(scale.X(40), b->sizeHint().width()));
        TabButtons->addButton(b, pos);
        tabs->addWidget(b);
    }
    tabs->addStretch();
    // Like a tab: only a change of position reads ("Read Cassette" reads again).
    connect(TabButtons, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            platform::guarded("cassette tab", [this] { TabControlCassItemChange(); });
    });

    // Cassette id.
    GroupBoxCassID = new QGroupBox("Cassette ID", this);
    GroupBoxCassID->setObjectName("GroupBoxCassID");
    MaskEditCassId = MaskEdit(GroupBoxCassID, "MaskEditCassId", kCassetteIdMask, 8, 90);
    ButtonSetCassId = Button(GroupBoxCassID, "ButtonSetCassId", "Set Cassette ID");
    auto* idLayout = new QHBoxLayout(GroupBoxCassID);
    idLayout->addWidget(MaskEditCassId);
    idLayout->addStretch();
    idLayout->addWidget(ButtonSetCassId);
    connect(MaskEditCassId, &QLineEdit::textEdited, this, [this] { ButtonSetCassId->setEnabled(true); });
    connect(ButtonSetCassId, &QPushButton::clicked, this, Guard("set cassette id", [this] { ButtonSetCassIdClick(); }));

    // Denomination.
    GroupBoxCassDenom = new QGroupBox("Denomination", this);
    GroupBoxCassDenom->setObjectName("GroupBoxCassDenom");
    ComboBoxCurrency = new QComboBox(GroupBoxCassDenom);
    ComboBoxCurrency->setObjectName("ComboBoxCurrency");
    ComboBoxCurrency->setEditable(true);
    ComboBoxCurrency->addItems({"EUR", "GBP", "SEK", "USD", "TST", "VND", "CNY"});
    ComboBoxCurrency->setMinimumWidth(scale.X(60));
    ComboBoxDemValue = new QComboBox(GroupBoxCassDenom);
    ComboBoxDemValue->setObjectName("ComboBoxDemValue");
    ComboBoxDemValue->setEditable(true);
    ComboBoxDemValue->addItems({"1", "5", "10", "20", "50", "100", "200", "500", "1000", "2000", "5000", "10000",
                                "50000", "100000", "500000"});
    ComboBoxDemValue->setMinimumWidth(scale.X(80));
    MaskEditDenVariant = MaskEdit(GroupBoxCassDenom, "MaskEditDenVariant", "c;1; ", 1, 24);
    ButtonSetDenom = Button(GroupBoxCassDenom, "ButtonSetDenom", "Set Denomination");
    auto* denomLayout = new QGridLayout(GroupBoxCassDenom);
    denomLayout->addWidget(new QLabel("Currency", GroupBoxCassDenom), 0, 0);
    denomLayout->addWidget(new QLabel("Value", GroupBoxCassDenom), 0, 1);
    denomLayout->addWidget(new QLabel("Variant", GroupBoxCassDenom), 0, 2);
    denomLayout->addWidget(ComboBoxCurrency, 1, 0);
    denomLayout->addWidget(ComboBoxDemValue, 1, 1);
    denomLayout->addWidget(MaskEditDenVariant, 1, 2);
    denomLayout->setColumnStretch(3, 1);
    denomLayout->addWidget(ButtonSetDenom, 1, 4);
    auto denomChanged = Guard("denomination", [this] { ButtonSetDenom->setEnabled(true); });
    connect(ComboBoxCurrency, &QComboBox::currentTextChanged, this, denomChanged);
    connect(ComboBoxDemValue, &QComboBox::currentTextChanged, this, denomChanged);
    connect(MaskEditDenVariant, &QLineEdit::textEdited, this, denomChanged);
    connect(ButtonSetDenom, &QPushButton::clicked, this, Guard("set denomination", [this] { ButtonSetDenomClick(); }));

    // Note size.
    GroupBoxNoteSize = new QGroupBox("Note Size", this);
    GroupBoxNoteSize->setObjectName("GroupBoxNoteSize");
    MaskEditNoteHeigth = MaskEdit(GroupBoxNoteSize, "MaskEditNoteHeigth", "009;1; ", 3, 36);
    MaskEditNoteWidth = MaskEdit(GroupBoxNoteSize, "MaskEditNoteWidth", "009;1; ", 3, 36);
    ButtonSetNoteSize = Button(GroupBoxNoteSize, "ButtonSetNoteSize", "Set Note Size");
    auto* sizeLayout = new QHBoxLayout(GroupBoxNoteSize);
    sizeLayout->addWidget(new QLabel("Height", GroupBoxNoteSize));
    sizeLayout->addWidget(MaskEditNoteHeigth);
    sizeLayout->addSpacing(scale.X(12));
    sizeLayout->addWidget(new QLabel("Width", GroupBoxNoteSize));
    sizeLayout->addWidget(MaskEditNoteWidth);
    sizeLayout->addWidget(new QLabel("mm", GroupBoxNoteSize));
    sizeLayout->addStretch();
    sizeLayout->addWidget(ButtonSetNoteSize);
    auto sizeChanged = [this] { ButtonSetNoteSize->setEnabled(true); };
    connect(MaskEditNoteHeigth, &QLineEdit::textEdited, this, sizeChanged);
    connect(MaskEditNoteWidth, &QLineEdit::textEdited, this, sizeChanged);
    connect(ButtonSetNoteSize, &QPushButton::clicked, this, Guard("set note size", [this] { ButtonSetNoteSizeClick(); }));

    // The set buttons line up.
    const int setWidth = std::max({ButtonSetCassId->minimumWidth(), ButtonSetDenom->minimumWidth(),
                                   ButtonSetNoteSize->minimumWidth(), ButtonSetCassId->sizeHint().width(),
                                   ButtonSetDenom->sizeHint().width(), ButtonSetNoteSize->sizeHint().width()});
    for (QPushButton* b : {ButtonSetCassId, ButtonSetDenom, ButtonSetNoteSize}) {
        b->setMinimumWidth(setWidth);
        b->setEnabled(false);
    }

    // Commands for the selected position.
    ButtonReadCassItems = Button(this, "ButtonReadCassItems", "Read Cassette");
    ButtonCassOpen = Button(this, "ButtonCassOpen", "Open Cassette");
    ButtonCassOpen->setProperty("Tag", 1);
    ButtonLockToFrame = Button(this, "ButtonLockToFrame", "Lock to Frame");
    ButtonLockToFrame->setProperty("Tag", 0);
    ButtonCassClose = Button(this, "ButtonCassClose", "Close Cassette");
    connect(ButtonReadCassItems, &QPushButton::clicked, this, Guard("read cassette", [this] { TabControlCassItemChange(); }));
    connect(ButtonCassOpen, &QPushButton::clicked, this, Guard("open cassette", [this] { ButtonCassOpenClick(ButtonCassOpen); }));
    connect(ButtonLockToFrame, &QPushButton::clicked, this,
            Guard("lock cassette", [this] { ButtonCassOpenClick(ButtonLockToFrame); }));
    connect(ButtonCassClose, &QPushButton::clicked, this, Guard("close cassette", [this] { ButtonCassCloseClick(); }));
    auto* commands = new QVBoxLayout;
    for (QPushButton* b : {ButtonReadCassItems, ButtonCassOpen, ButtonLockToFrame, ButtonCassClose})
        commands->addWidget(b);
    commands->addStretch();

    auto* boxes = new QVBoxLayout;
    boxes->addWidget(GroupBoxCassID);
    boxes->addWidget(GroupBoxCassDenom);
    boxes->addWidget(GroupBoxNoteSize);
    boxes->addStretch();
    auto* body = new QHBoxLayout;
    body->addLayout(boxes, 1);
    body->addSpacing(scale.X(8));
    body->addLayout(commands);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(TabControlCassItem);
    layout->addLayout(body, 1);
}

link::TPLVRCmdF* TCassettePage::Cmd() const
{
    return commandLayer_ ? commandLayer_() : nullptr;
}

int TCassettePage::TabIndex() const
{
    return TabButtons->checkedId();
}

void TCassettePage::SetTabIndex(int index)
{
    if (index < 0) {
        // An exclusive group keeps one button checked; let go of it briefly.
        TabButtons->setExclusive(false);
        for (QAbstractButton* b : TabButtons->buttons())
            b->setChecked(false);
        TabButtons->setExclusive(true);
        return;
    }
    if (QAbstractButton* b = TabButtons->button(index))
        b->setChecked(true);
}

void TCassettePage::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    if (!e->spontaneous())
        TabSheetCassItemShow();
}

void TCassettePage::EnablePositionControls(bool on)
{
    for (QWidget* w : std::initializer_list<QWidget*>{ButtonCassOpen, ButtonCassClose, ButtonLockToFrame,
                                                      ButtonReadCassItems, GroupBoxCassID})
        w->setEnabled(on);
}

void TCassettePage::TabSheetCassItemShow()
{
    SetTabIndex(-1);
    ClearFields();
    EnablePositionControls(false);
    GroupBoxCassDenom->setEnabled(false);
    GroupBoxNoteSize->setEnabled(false);
}

void TCassettePage::ClearFields()
{
    // Filled with signals blocked: a fill never enables a set button.
    const QSignalBlocker b1(MaskEditCassId), b2(ComboBoxCurrency), b3(ComboBoxDemValue), b4(MaskEditDenVariant),
        b5(MaskEditNoteHeigth), b6(MaskEditNoteWidth);
    MaskEditCassId->clear();
    ComboBoxCurrency->setCurrentIndex(-1);
    ComboBoxCurrency->setEditText(QString());
    ComboBoxDemValue->setCurrentIndex(-1);
    ComboBoxDemValue->setEditText(QString());
    MaskEditDenVariant->clear();
    MaskEditNoteHeigth->clear();
    MaskEditNoteWidth->clear();
    for (QPushButton* b : {ButtonSetCassId, ButtonSetDenom, ButtonSetNoteSize})
        b->setEnabled(false);
}

void TCassettePage::TabControlCassItemChange()
{
    const int pos = TabIndex();
    link::TPLVRCmdF* cmd = Cmd();
    if (pos < 0 || !cmd)
        return;
    link::Protokoll& model = *cmd->Model();
    EnablePositionControls(true);
    ClearFields();
    GroupBoxCassDenom->setEnabled(false);
    GroupBoxNoteSize->setEnabled(false);

    // A reply with a failure status is no value, whatever it carries. One
    // box at the end reports the last read that failed: a denomination
    // read that fails does not keep the note size from being read, and
    // when both fail the operator is told once.
    std::optional<ReadFailure> failure;
    auto read = [&](int item) {
        const bool ok = cmd->ReadCassetteData(pos, item) && model.Succeeded();
        if (!ok)
            failure = FailedRead(pos);
        return ok;
    };
    auto readAll = [&] {
        if (!read(kItemCassetteId))
            return;
        {
            const QSignalBlocker block(MaskEditCassId);
            MaskEditCassId->setText(Latin1(link::SubString(model.ReadData, 2, 8)));
        }
        if (pos < 1)
            return;
        GroupBoxCassDenom->setEnabled(true);
        GroupBoxNoteSize->setEnabled(true);
        if (read(kItemDenomination)) {
            const TDenomination d(link::SubString(model.ReadData, 2, 7));
            if (d.Valid)
                ShowDenomination(d);
        }
        if (read(kItemNoteSize)) {
            const QSignalBlocker b1(MaskEditNoteHeigth), b2(MaskEditNoteWidth);
            MaskEditNoteHeigth->setText(Latin1(link::SubString(model.ReadData, 2, 3)));
            MaskEditNoteWidth->setText(Latin1(link::SubString(model.ReadData, 5, 3)));
        }
    };
    readAll();
    if (failure)
        platform::dialogs().messageDlg(failure->Text, failure->Type, platform::DlgButtons::Ok);
}

void TCassettePage::ShowDenomination(const TDenomination& d)
{
    const QSignalBlocker b1(ComboBoxCurrency), b2(ComboBoxDemValue), b3(MaskEditDenVariant);
    if (d.Valid) {
        ComboBoxCurrency->setEditText(Latin1(d.Currency));
        ComboBoxDemValue->setEditText(QString::number(d.Value));
        MaskEditDenVariant->setText(d.Variant == ' ' ? QString() : QString(QChar::fromLatin1(d.Variant)));
    } else {
        ComboBoxCurrency->setCurrentIndex(-1);
        ComboBoxCurrency->setEditText(QString());
        ComboBoxDemValue->setCurrentIndex(-1);
        ComboBoxDemValue->setEditText(QString());
        MaskEditDenVariant->clear();
    }
    ButtonSetDenom->setEnabled(false);
}

TCassettePage::ReadFailure TCassettePage::FailedRead(int position) const
{
    link::TPLVRCmdF* cmd = Cmd();
    if (!cmd)
        return {};
    const link::Protokoll& model = *cmd->Model();
    if (model.StatusClass == kStatusClassSoftwareRecoverable && !model.HasFeeder(position))
        return {platform::DlgType::Information, "No Cassette in this position"};
    return {platform::DlgType::Error, model.CodeText};
}

void TCassettePage::ButtonSetCassIdClick()
{
    link::TPLVRCmdF* cmd = Cmd();
    if (!cmd || TabIndex() < 0)
        return;
    // The positions as the edit shows them: what was left empty is a blank.
    std::string id, error;
    if (!CassetteIdText(Latin1Std(MaskEditCassId->displayText()), id, error)) {
        platform::dialogs().messageDlg(error, platform::DlgType::Error, platform::DlgButtons::Ok);
        return;
    }
    cmd->WriteCassetteData(TabIndex(), kItemCassetteId, id);
    ButtonSetCassId->setEnabled(false);
}

void TCassettePage::ButtonSetDenomClick()
{
    link::TPLVRCmdF* cmd = Cmd();
    if (!cmd || TabIndex() < 0)
        return;
    TDenomination d;
    std::string error;
    if (!ComposeDenomination(Latin1Std(ComboBoxCurrency->currentText()), Latin1Std(ComboBoxDemValue->currentText()),
                             Latin1Std(MaskEditDenVariant->text()), d, error)) {
        // Nothing is written; what was typed stays in the fields to be
        // corrected, and "Set Denomination" stays on.
        platform::dialogs().messageDlg(error, platform::DlgType::Error, platform::DlgButtons::Ok);
        return;
    }
    cmd->WriteCassetteData(TabIndex(), kItemDenomination, d.Code);
    // A write the dispenser refused keeps what was typed too (the status
    // text says why), to be sent again; only a written value is shown as
    // the one the position holds.
    if (cmd->Model()->Succeeded())
        ShowDenomination(d);
}

void TCassettePage::ButtonSetNoteSizeClick()
{
    link::TPLVRCmdF* cmd = Cmd();
    if (!cmd || TabIndex() < 0)
        return;
    std::string text, error;
    if (!NoteSizeText(Latin1Std(MaskEditNoteHeigth->text()), Latin1Std(MaskEditNoteWidth->text()), text, error)) {
        platform::dialogs().messageDlg(error, platform::DlgType::Error, platform::DlgButtons::Ok);
        return;
    }
    cmd->WriteCassetteData(TabIndex(), kItemNoteSize, text);
    ButtonSetNoteSize->setEnabled(false);
}

void TCassettePage::ButtonCassOpenClick(QAbstractButton* sender)
{
    link::TPLVRCmdF* cmd = Cmd();
    if (!cmd || TabIndex() < 0)
        return;
    cmd->OpenCassette(TabIndex(), sender->property("Tag").toInt());
}

void TCassettePage::ButtonCassCloseClick()
{
    link::TPLVRCmdF* cmd = Cmd();
    if (!cmd || TabIndex() < 0)
        return;
    cmd->CloseCassette(TabIndex(), false);
}

} // namespace kyd::app
