#include "app/qt/ChkKYDStatDlg.h"
#include "app/qt/FitColumns.h"

#include "app/DispenserStatus.h"
#include "app/ResultDecoders.h"
#include "app/qt/Latin1.h"
#include "app/qt/ModalRun.h"
#include "link/PLVRCmd.h"
#include "link/Protokoll.h"
#include "platform/dialogs.h"
#include "platform/qt/ui_scale.h"

#include <QHeaderView>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace kyd::app {

namespace {

QTreeWidget* NewList(QWidget* parent, const char* name, const QStringList& headers, std::initializer_list<int> widths)
{
    const auto scale = platform::UiScale::For(parent);
    auto* list = new QTreeWidget(parent);
    list->setObjectName(name);
    list->setRootIsDecorated(false);
    list->setHeaderLabels(headers);
    int c = 0;
    for (int w : widths) {
        // The design width, or what the caption needs when the font is wider.
        list->setColumnWidth(c, std::max(scale.X(w), list->header()->sectionSizeHint(c)));
        ++c;
    }
    return list;
}

} // namespace

TFormCheckKYDStatus::TFormCheckKYDStatus(QWidget* owner, link::Protokoll* model) : QDialog(owner), model_(model)
{
    setObjectName("FormCheckKYDStatus");
    setWindowTitle("Check KYD Status");
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint);
    setSizeGripEnabled(true);
    const auto scale = platform::UiScale::For(this);

    Splitter1 = new QSplitter(Qt::Vertical, this);
    Splitter1->setObjectName("Splitter1");
    ListViewHopperStatus = NewList(Splitter1, "ListViewHopperStatus",
                                   {"Hnr", "Cass. Id", "Open/Close", "Status", "Internal Status"}, {30, 55, 120, 128, 138});
    ListViewHopperStatus->headerItem()->setTextAlignment(1, Qt::AlignCenter);
    ListViewTaskStatus = NewList(Splitter1, "ListViewTaskStatus", {"Task", "Status"}, {90, 381});
    for (const TaskStatusRow& t : StatusCheck{}.Tasks)
        new QTreeWidgetItem(ListViewTaskStatus, {t.Task, {}});
    Splitter1->addWidget(ListViewHopperStatus);
    Splitter1->addWidget(ListViewTaskStatus);
    Splitter1->setStretchFactor(0, 3);
    Splitter1->setStretchFactor(1, 2);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Splitter1);

    // Wide enough for every column; tall enough for nine hoppers and the
    // seven tasks.
    const int rowHeight = std::max(scale.Y(17), ListViewTaskStatus->fontMetrics().height() + 4);
    const int header = ListViewTaskStatus->header()->sizeHint().height();
    int width = 0;
    for (int c = 0; c < 5; ++c)
        width += ListViewHopperStatus->columnWidth(c);
    width = std::max(width, ListViewTaskStatus->columnWidth(0) + ListViewTaskStatus->columnWidth(1));
    resize(width + scale.X(24), 2 * header + 16 * rowHeight + scale.Y(40));
    Splitter1->setSizes({header + 9 * rowHeight + scale.Y(10), header + 7 * rowHeight + scale.Y(10)});
}

bool TFormCheckKYDStatus::ShowStatus(const std::string& payload)
{
    ListViewHopperStatus->clear();
    StatusCheck status;
    if (!DecodeStatusCheck(payload, status)) {
        platform::dialogs().messageDlg(CorruptedReplyText(payload), platform::DlgType::Warning,
                                       platform::DlgButtons::Ok);
        return false;
    }
    for (const HopperStatusRow& h : status.Hoppers) {
        auto* item = new QTreeWidgetItem(ListViewHopperStatus, {Latin1(h.Number), Latin1(h.CassId), Latin1(h.OpenClose),
                                                                Latin1(h.Status), Latin1(h.Internal)});
        item->setTextAlignment(1, Qt::AlignCenter);
    }
    for (int i = 0; i < ListViewTaskStatus->topLevelItemCount(); ++i)
        ListViewTaskStatus->topLevelItem(i)->setText(1, Latin1(status.Tasks[static_cast<std::size_t>(i)].Status));
    FitColumns();
    return true;
}

void TFormCheckKYDStatus::FitColumns()
{
    // Columns as wide as their longest text (never below the design), the
    // window as wide as the columns, within the screen.
    const int pad = platform::UiScale::For(this).X(12);
    int hoppers = 0;
    for (int c = 0; c < ListViewHopperStatus->columnCount(); ++c)
        hoppers += FitColumnToContents(ListViewHopperStatus, c, pad);
    FitColumnToContents(ListViewTaskStatus, 1, pad);
    const int tasks = ListViewTaskStatus->columnWidth(0) + ListViewTaskStatus->columnWidth(1);
    WidenToShowColumns(this, ListViewHopperStatus, std::max(hoppers, tasks));
}

void ShowCheckStatusWindow(QWidget* owner, link::TPLVRCmdF& cmd)
{
    if (!cmd.CheckStatus())
        return;
    TFormCheckKYDStatus window(owner, cmd.Model());
    if (window.ShowStatus(cmd.Model()->CheckStatusData))
        ExecModal(window);
}

} // namespace kyd::app
