#include "app/qt/ResultForms.h"

#include "app/ResultDecoders.h"
#include "app/qt/Latin1.h"
#include "link/Protokoll.h"
#include "platform/dialogs.h"
#include "platform/qt/ui_scale.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace kyd::app {

namespace {

constexpr Qt::WindowFlags kToolFrame = Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

} // namespace

QPlainTextEdit* NewResultMemo(QWidget* parent, const char* name)
{
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(name);
    memo->setReadOnly(true);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Tab stops every eight average characters, so the columns line up.
    memo->setTabStopDistance(8 * QFontMetrics(memo->font()).averageCharWidth());
    return memo;
}

QStringList MemoLines(const QPlainTextEdit* memo)
{
    const QString text = memo->toPlainText();
    return text.isEmpty() ? QStringList() : text.split('\n');
}

QPlainTextEdit* NewDialogMemo(QDialog* dialog, const char* name, QSize designSize)
{
    QPlainTextEdit* memo = NewResultMemo(dialog, name);
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(memo);
    dialog->resize(platform::UiScale::For(dialog).Size(designSize));
    return memo;
}

void SetMemoLines(QPlainTextEdit* memo, const std::vector<std::string>& lines)
{
    QStringList text;
    for (const std::string& l : lines)
        text << Latin1(l);
    memo->setPlainText(text.join('\n'));
}

// ---- last dispense status ----------------------------------------------

TReadLastStatusForm::TReadLastStatusForm(QWidget* owner, link::Protokoll* model) : QDialog(owner), model_(model)
{
    setObjectName("ReadLastStatusForm");
    setWindowTitle("Retransmit Last Dispense Status");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    const auto scale = platform::UiScale::For(this);

    RLSListView = new QTreeWidget(this);
    RLSListView->setObjectName("RLSListView");
    RLSListView->setRootIsDecorated(false);
    RLSListView->setSelectionMode(QAbstractItemView::NoSelection);
    RLSListView->setFocusPolicy(Qt::NoFocus);
    RLSListView->setHeaderLabels({"Hopper", "Number of notes", "Status"});
    RLSListView->headerItem()->setTextAlignment(1, Qt::AlignCenter);
    RLSListView->header()->setStretchLastSection(true);
    RLSListView->setColumnWidth(0, scale.X(50));
    // The design width, or what the caption needs when the font is wider.
    RLSListView->setColumnWidth(
        1, std::max(scale.X(90), RLSListView->header()->sectionSizeHint(1)));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(RLSListView);
    resize(scale.Size({360, 150}));
}

void WarnCorruptedReply(const std::string& payload)
{
    platform::dialogs().messageDlg(CorruptedReplyText(payload), platform::DlgType::Warning,
                                   platform::DlgButtons::Ok);
}

bool TReadLastStatusForm::ShowLastStatus(const std::string& title, const std::string& reply)
{
    setWindowTitle(Latin1(title));
    RLSListView->clear();
    std::vector<LastStatusRow> rows;
    if (!DecodeLastStatus(model_->Feeders(), rows)) {
        WarnCorruptedReply(reply);
        return false;
    }
    for (const LastStatusRow& r : rows) {
        auto* item = new QTreeWidgetItem(RLSListView, {Latin1(r.Hopper), Latin1(r.Count), Latin1(r.Status)});
        item->setTextAlignment(1, Qt::AlignCenter);
    }
    return true;
}

// ---- reject trace --------------------------------------------------------

TRejectDlgForm::TRejectDlgForm(QWidget* owner) : QDialog(owner)
{
    setObjectName("RejectDlgForm");
    setWindowTitle("Read Reject Trace");
    setWindowFlags(kToolFrame);
    RejectMemo = NewDialogMemo(this, "RejectMemo", {220, 320});
}

bool TRejectDlgForm::ShowTrace(const std::string& trace)
{
    std::vector<std::string> lines;
    DecodeRejectTrace(trace, lines);
    SetMemoLines(RejectMemo, lines);
    return true;
}

// ---- read-data window ----------------------------------------------------

TKYDShowReadDataFrame::TKYDShowReadDataFrame(QWidget* owner, link::Protokoll* model) : QDialog(owner), model_(model)
{
    setObjectName("KYDShowReadDataFrame");
    setWindowTitle("Read Data");
    setWindowFlags(kToolFrame | Qt::WindowMinMaxButtonsHint);
    ShowReadDataMemo = NewDialogMemo(this, "ShowReadDataMemo", {290, 308});
}

QStringList TKYDShowReadDataFrame::Lines() const
{
    return MemoLines(ShowReadDataMemo);
}

void TKYDShowReadDataFrame::SetLines(const std::vector<std::string>& lines)
{
    SetMemoLines(ShowReadDataMemo, lines);
}

bool TKYDShowReadDataFrame::Refuse(const std::string& payload)
{
    ShowReadDataMemo->clear();
    WarnCorruptedReply(payload);
    return false;
}

bool TKYDShowReadDataFrame::ShowProgramIds(const std::string& payload)
{
    std::vector<std::string> lines;
    if (!DecodeProgramIds(payload, lines))
        return Refuse(payload);
    SetLines(lines);
    setWindowTitle("Program id's");
    resize(std::max(platform::UiScale::For(this).X(180), platform::UiScale::TitleWidth(this, windowTitle())),
           height());
    return true;
}

bool TKYDShowReadDataFrame::ShowCurrencyCodes(const std::string& payload)
{
    std::vector<std::string> lines;
    if (!DecodeCurrencyCodes(payload, lines))
        return Refuse(payload);
    SetLines(lines);
    setWindowTitle("Currency codes");
    // The design width, or what the title needs.
    const auto scale = platform::UiScale::For(this);
    resize(std::max(scale.X(100), platform::UiScale::TitleWidth(this, windowTitle())), scale.Y(160));
    return true;
}

bool TKYDShowReadDataFrame::ShowTable(const std::string& payload, int kind)
{
    std::vector<std::string> lines;
    const TableKind k = kind == 0 ? TableKind::Reject : TableKind::Status;
    if (!DecodeTable(payload, k, model_ ? model_->StringBase : 0, lines))
        return Refuse(payload);
    SetLines(lines);
    const auto scale = platform::UiScale::For(this);
    if (k == TableKind::Reject)
        resize(scale.X(360), height() + scale.Y(25));
    else
        resize(scale.X(530), height());
    return true;
}

} // namespace kyd::app
