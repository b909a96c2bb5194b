#include "app/qt/ModErrLogDlg.h"
#include "app/qt/FitColumns.h"

#include "app/ResultDecoders.h"
#include "app/qt/Latin1.h"
#include "app/qt/ModalRun.h"
#include "app/qt/PageRead.h"
#include "app/qt/ReportFiles.h"
#include "link/PLVRCmd.h"
#include "link/Protokoll.h"
#include "platform/dialogs.h"
#include "platform/exception_sink.h"
#include "platform/qt/ui_scale.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kyd::app {

TFormModErrLogDlg::TFormModErrLogDlg(QWidget* owner, link::TPLVRCmdF* cmd) : QDialog(owner), cmd_(cmd)
{
    setObjectName("FormModErrLogDlg");
    setWindowTitle("Module Error Log");
    setWindowFlag(Qt::Tool);
    setSizeGripEnabled(true);
    const auto scale = platform::UiScale::For(this);

    ListViewModErrLog = new QTreeWidget(this);
    ListViewModErrLog->setObjectName("ListViewModErrLog");
    ListViewModErrLog->setRootIsDecorated(false);
    ListViewModErrLog->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListViewModErrLog->setHeaderLabels({"Task", "Error code", "Description", "Line number"});
    ListViewModErrLog->headerItem()->setTextAlignment(1, Qt::AlignCenter);
    ListViewModErrLog->headerItem()->setTextAlignment(3, Qt::AlignCenter);
    const int widths[] = {40, 65, 215, 70};
    for (int i = 0; i < 4; ++i)
        ListViewModErrLog->setColumnWidth(i, scale.X(widths[i]));

    PanelButtons = new QFrame(this);
    PanelButtons->setObjectName("PanelButtons");
    auto* buttons = new QHBoxLayout(PanelButtons);
    auto button = [this, buttons, scale](const char* name, const char* caption, const char* hint) {
        auto* b = new QPushButton(caption, PanelButtons);
        b->setObjectName(name);
        b->setToolTip(hint);
        b->setMinimumWidth(scale.X(75));
        buttons->addWidget(b);
        return b;
    };
    buttons->addStretch();
    SaveButton = button("SaveButton", "&Save", "Save Error log to file");
    PrintButton = button("PrintButton", "&Print", "Print Error log");
    CloseButton = button("CloseButton", "&Close", "Close this dialog");
    CloseButton->setDefault(true);
    connect(SaveButton, &QPushButton::clicked, this,
            [this] { platform::guarded("save error log", [this] { SaveButtonClick(); }); });
    connect(PrintButton, &QPushButton::clicked, this,
            [this] { platform::guarded("print error log", [this] { PrintButtonClick(); }); });
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ListViewModErrLog);
    layout->addWidget(PanelButtons);
    int width = 0;
    for (int w : widths)
        width += scale.X(w);
    resize(width + scale.X(40), scale.Y(300));
}

void TFormModErrLogDlg::FitDescriptions()
{
    // The descriptions come from the dispenser's texts: their column grows
    // to the longest, and the window with it, so none is cut off.
    FitColumnToContents(ListViewModErrLog, 2, platform::UiScale::For(this).X(12));
    int columns = 0;
    for (int c = 0; c < ListViewModErrLog->columnCount(); ++c)
        columns += ListViewModErrLog->columnWidth(c);
    WidenToShowColumns(this, ListViewModErrLog, columns);
}

void TFormModErrLogDlg::AddRow(const LogRow& row)
{
    auto* item = new QTreeWidgetItem(
        ListViewModErrLog, {Latin1(row.Caption), Latin1(row.Task), Latin1(row.Description), Latin1(row.Line)});
    item->setTextAlignment(1, Qt::AlignCenter);
    item->setTextAlignment(3, Qt::AlignCenter);
    rows_.push_back(row);
}

bool TFormModErrLogDlg::Refuse(const std::string& payload)
{
    platform::dialogs().messageDlg(CorruptedReplyText(payload), platform::DlgType::Warning,
                                   platform::DlgButtons::Ok);
    return false;
}

bool TFormModErrLogDlg::LoadErrorLog(const std::string& payload)
{
    const auto scale = platform::UiScale::For(this);
    ListViewModErrLog->setHeaderLabels({"No", "Task", "Description", "Line number"});
    ListViewModErrLog->setColumnWidth(0, scale.X(30));
    ListViewModErrLog->setColumnWidth(1, scale.X(40));
    ListViewModErrLog->setColumnWidth(2, scale.X(215 + 15));
    for (int page = 0; page < kErrorLogPages; ++page) {
        std::string data = payload;
        if (page > 0) {
            if (!ReadFurtherPage(cmd_, 311, std::to_string(page))) {
                FitDescriptions(); // what was read stays, none of it cut off
                return true;
            }
            data = cmd_->Model()->ReadData;
        }
        std::vector<LogRow> rows;
        const PageEnd end = DecodeErrorLogPage(data, page, rows);
        if (end == PageEnd::Corrupt)
            return Refuse(data);
        for (const LogRow& r : rows)
            AddRow(r);
        if (end == PageEnd::End)
            break;
    }
    FitDescriptions();
    return true;
}

bool TFormModErrLogDlg::LoadModuleStatus(const std::string& payload)
{
    resize(width(), platform::UiScale::For(this).Y(180));
    std::vector<LogRow> rows;
    if (!DecodeModuleStatus(payload, rows))
        return Refuse(payload);
    for (const LogRow& r : rows)
        AddRow(r);
    FitDescriptions();
    return true;
}

void TFormModErrLogDlg::SaveButtonClick()
{
    SaveReportFile(cmd_ ? cmd_->LogFileName() : std::string(), "ModuleErrLog", ErrorLogReport(rows_));
}

void TFormModErrLogDlg::PrintButtonClick()
{
    PrintReport(kErrorLogJobTitle, "ModuleErrLog", [this](platform::ReportCanvas& c) { return PrintErrorLog(c, rows_); });
}

void ShowErrorLogWindow(QWidget* owner, link::TPLVRCmdF& cmd)
{
    if (!cmd.ReadData(311, ""))
        return;
    TFormModErrLogDlg window(owner, &cmd);
    if (window.LoadErrorLog(cmd.Model()->ReadData))
        ExecModal(window);
}

void ShowModuleStatusWindow(QWidget* owner, link::TPLVRCmdF& cmd)
{
    if (!cmd.ReadData(397, ""))
        return;
    TFormModErrLogDlg window(owner, &cmd);
    window.setWindowTitle("Module Status");
    window.PanelButtons->hide();
    if (window.LoadModuleStatus(cmd.Model()->ReadData))
        ExecModal(window);
}

} // namespace kyd::app
