#include "app/qt/ItemForms.h"

#include "app/ConfigItems.h"
#include "app/ResultDecoders.h"
#include "app/qt/Latin1.h"
#include "app/qt/ResultForms.h"
#include "link/AppContext.h"
#include "link/PLVRCmd.h"
#include "link/Protokoll.h"
#include "platform/dialogs.h"
#include "platform/exception_sink.h"
#include "platform/qt/ui_scale.h"

#include <QButtonGroup>
#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

namespace kyd::app {

namespace {

constexpr Qt::WindowFlags kToolFrame = Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

} // namespace

// ---- note counters -------------------------------------------------------

TNoteCounterForm::TNoteCounterForm(QWidget* owner, link::TPLVRCmdF* cmd, link::MainWindowCallbacks* mainWindow)
    : CloseAfterReadDialog(owner), cmd_(cmd), mainWindow_(mainWindow)
{
    setObjectName("NoteCounterForm");
    setWindowTitle("Note counters");
    setWindowFlags(kToolFrame | Qt::WindowMinMaxButtonsHint);
    MemoRDCounters = NewDialogMemo(this, "MemoRDCounters", {344, 225});
}

QStringList TNoteCounterForm::Lines() const
{
    return MemoLines(MemoRDCounters);
}

void TNoteCounterForm::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (shown_)
        return;
    shown_ = true;
    // Read once the window is on screen, not inside the show.
    QMetaObject::invokeMethod(
        this, [this] { platform::guarded("note counters", [this] { FormShow(); }); }, Qt::QueuedConnection);
}

void TNoteCounterForm::FormShow()
{
    if (reading_)
        return;
    MemoRDCounters->clear();
    for (const std::string& l : NoteCounterHeading())
        MemoRDCounters->appendPlainText(Latin1(l));
    reading_ = true;
    if (mainWindow_)
        mainWindow_->SetBusy(2);
    // The batch ends and the window may go however the series ends.
    struct EndOfSeries {
        TNoteCounterForm* form;
        ~EndOfSeries()
        {
            if (form->mainWindow_)
                form->mainWindow_->SetBusy(3);
            form->reading_ = false;
        }
    };
    {
        EndOfSeries end{this};
        for (const NoteCounterRow& row : NoteCounterRows()) {
            if (CloseHeld() || !cmd_)
                break;
            if (row.Item == 0) {
                MemoRDCounters->appendPlainText(Latin1(NoteCounterRule()));
                continue;
            }
            // Whatever status the reply has, the data it carries is listed
            // (the status bar and the status window name the status).
            if (cmd_->ReadData(row.Item))
                MemoRDCounters->appendPlainText(
                    Latin1(NoteCounterLine(row.Item, cmd_->Model()->ReadData, row.Description)));
        }
    }
    // As high as the lines need, and as wide as the counter lines; the rules
    // are decoration and are cut at the edge rather than scrolled to.
    const int lines = MemoRDCounters->document()->blockCount();
    const int lineHeight = QFontMetrics(MemoRDCounters->font()).height() + 3;
    const int frame = 2 * MemoRDCounters->frameWidth() + 2 * static_cast<int>(MemoRDCounters->document()->documentMargin());
    const int tab = static_cast<int>(MemoRDCounters->tabStopDistance());
    int widest = 0;
    for (const QString& line : Lines()) {
        if (line.isEmpty() || line.count('-') == line.size() || line.count('=') == line.size())
            continue;
        int x = 0;
        const QStringList parts = line.split('\t');
        for (int i = 0; i < parts.size(); ++i) {
            x += platform::UiScale::TextWidth(MemoRDCounters->font(), parts[i]);
            if (i + 1 < parts.size() && tab > 0)
                x = (x / tab + 1) * tab;
        }
        widest = std::max(widest, x);
    }
    MemoRDCounters->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int cursor = platform::UiScale::For(this).X(4);
    setMinimumWidth(widest + frame + cursor);
    resize(std::max(width(), widest + frame + cursor), lines * lineHeight + frame);
    ReadEnded();
}

bool TNoteCounterForm::StopForClose()
{
    if (!reading_)
        return false;
    // The series stops after the exchange under way, which is cancelled.
    if (cmd_ && cmd_->Busy())
        cmd_->Abort();
    return true;
}

// ---- item editor ---------------------------------------------------------

TModifyItemDlg::TModifyItemDlg(QWidget* owner) : QDialog(owner)
{
    setObjectName("ModifyItemDlg");
    setWindowTitle("Read / Modify Item");
    setWindowFlags(kToolFrame);
    const auto scale = platform::UiScale::For(this);

    ItemRadioGroup = new QGroupBox("Item", this);
    ItemRadioGroup->setObjectName("ItemRadioGroup");
    ItemButtons = new QButtonGroup(this);
    auto* groupLayout = new QVBoxLayout(ItemRadioGroup);

    IntegerPanel = new QWidget(ItemRadioGroup);
    IntegerPanel->setObjectName("IntegerPanel");
    auto* panelLayout = new QVBoxLayout(IntegerPanel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    ValueMaskEdit = new QLineEdit(IntegerPanel);
    ValueMaskEdit->setObjectName("ValueMaskEdit");
    ValueMaskEdit->setInputMask(QString::fromStdString(QtInputMask("999999;1;_")));
    ValueMaskEdit->setMaxLength(6);
    ValueMaskEdit->setFixedWidth(scale.X(80));
    ValueMaskEdit->installEventFilter(this);
    CommentLabel = new QLabel(IntegerPanel);
    CommentLabel->setObjectName("CommentLabel");
    CommentLabel->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    CommentLabel->setWordWrap(true);
    panelLayout->addWidget(ValueMaskEdit, 0, Qt::AlignHCenter);
    panelLayout->addStretch();
    panelLayout->addWidget(CommentLabel);
    IntegerPanel->hide();
    groupLayout->addWidget(IntegerPanel);

    ApplyBtn = new QPushButton("Apply", this);
    ApplyBtn->setObjectName("ApplyBtn");
    ApplyBtn->setDefault(true);
    ApplyBtn->setEnabled(false);
    CancelBtn = new QPushButton("Close", this);
    CancelBtn->setObjectName("CancelBtn");
    connect(ApplyBtn, &QPushButton::clicked, this, [this] { platform::guarded("apply", [this] { ApplyBtnClick(); }); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ApplyBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ItemRadioGroup, 1);
    layout->addLayout(buttons);
    setMinimumSize(scale.Size({260, 150}));
    CancelBtn->setFocus();
}

void TModifyItemDlg::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (const QScreen* screen = this->screen()) {
        // Centred on the screen rather than on its owner.
        QRect r = frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
}

void TModifyItemDlg::PrepareInteger(const std::string& title, const std::string& payload, bool writable,
                                    const std::string& comment, int width)
{
    const std::string text = IntegerItemText(payload, width);
    // A value that is no number is shown as it was read, beside an empty
    // field in which the operator can type a correct one.
    const bool number = ItemValueWritable(text);
    ItemRadioGroup->setTitle(Latin1(title));
    IntegerPanel->show();
    clearOnly_ = !writable;
    CommentLabel->setText(Latin1(number ? comment : comment + "\nValue read: " + text));
    range_ = comment;
    const std::string mask = IntegerItemMask(width);
    width_ = static_cast<int>(mask.size());
    if (writable) {
        ValueMaskEdit->setInputMask(QString::fromStdString(QtInputMask(mask + ";1;_")));
        ValueMaskEdit->setMaxLength(static_cast<int>(mask.size()));
    } else {
        setWindowTitle("Read / Clear Item");
        ValueMaskEdit->setReadOnly(true);
        ApplyBtn->setText("Clear");
        ApplyBtn->setEnabled(true);
    }
    ValueMaskEdit->setText(number ? Latin1(text) : QString());
    ValueMaskEdit->selectAll();
}

void TModifyItemDlg::PrepareChoice(const std::string& title, const std::string& options, int index)
{
    QStringList lines = Latin1(options).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    ItemRadioGroup->setTitle(Latin1(title));
    auto* layout = static_cast<QVBoxLayout*>(ItemRadioGroup->layout());
    for (int i = 0; i < lines.size(); ++i) {
        auto* b = new QRadioButton(lines[i], ItemRadioGroup);
        b->setObjectName(QString("ItemRadio%1").arg(i));
        ItemButtons->addButton(b, i);
        b->installEventFilter(this);
        layout->insertWidget(i, b);
    }
    // A value that names no option selects none: the operator picks the
    // right one.
    if (QAbstractButton* current = ItemButtons->button(index))
        current->setChecked(true);
}

std::string TModifyItemDlg::GetValue() const
{
    return clearOnly_ ? std::string("0") : value_;
}

void TModifyItemDlg::ApplyBtnClick()
{
    if (!IntegerPanel->isHidden()) {
        const std::string value = Latin1Std(ValueMaskEdit->text());
        auto backToTheField = [this] {
            ValueMaskEdit->setFocus();
            ValueMaskEdit->selectAll();
        };
        if (!clearOnly_) {
            // What the item cannot carry stays in the editor, to be corrected.
            if (const std::string error = ItemValueError(value, width_); !error.empty()) {
                platform::dialogs().messageDlg(error, platform::DlgType::Error, platform::DlgButtons::Ok);
                backToTheField();
                return;
            }
            // The range texts are informal: a value outside the one shown is
            // written only when the operator says so (No is the default).
            if (const std::string outside = ItemRangeError(value, range_); !outside.empty() &&
                platform::dialogs().messageDlg(ItemRangeQuestion(outside), platform::DlgType::Confirmation,
                                               platform::DlgButtons::YesNoDefaultNo) != platform::DlgResult::Yes) {
                backToTheField();
                return;
            }
        }
        value_ = value;
    } else
        value_ = std::to_string(ItemButtons->checkedId());
    accept();
}

void TModifyItemDlg::ValueChanged()
{
    ApplyBtn->setEnabled(true);
}

bool TModifyItemDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        auto* button = qobject_cast<QAbstractButton*>(watched);
        if (watched == ValueMaskEdit || (button && ItemButtons->buttons().contains(button)))
            ValueChanged();
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace kyd::app
