#include "app/qt/ModIdDlg.h"

#include "app/ResultDecoders.h"
#include "app/qt/FitColumns.h"
#include "app/qt/Guard.h"
#include "app/qt/Latin1.h"
#include "app/qt/ModalRun.h"
#include "app/qt/PageRead.h"
#include "app/qt/ReportFiles.h"
#include "link/PLVRCmd.h"
#include "link/Protokoll.h"
#include "link/StatusTexts.h"
#include "platform/dialogs.h"
#include "platform/exception_sink.h"
#include "platform/qt/ui_scale.h"

#include <QAction>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kyd::app {

namespace {

// What the operator typed as single bytes; a character outside Latin-1
// becomes a control character, which the write check refuses, rather than
// the '?' a conversion would make of it.
std::string Text(const QLineEdit* e)
{
    std::string out;
    for (QChar c : e->text())
        out += c.unicode() > 0xFF ? '\x7F' : static_cast<char>(c.unicode());
    return out;
}

void Corrupted(const std::string& payload)
{
    platform::dialogs().messageDlg(CorruptedReplyText(payload), platform::DlgType::Warning,
                                   platform::DlgButtons::Ok);
}

} // namespace

// ---- edit dialog ----------------------------------------------------------

TEditModIdDlg::TEditModIdDlg(QWidget* owner, ModIdRow* row) : QDialog(owner), row_(row)
{
    setObjectName("EditModIdDlg");
    setWindowTitle("Edit Module Id");
    const auto scale = platform::UiScale::For(this);
    auto edit = [this, scale](QWidget* parent, const char* name, int design) {
        auto* e = new QLineEdit(parent);
        e->setObjectName(name);
        e->setMinimumWidth(scale.X(design));
        connect(e, &QLineEdit::textEdited, this, [this] { EditChange(); });
        return e;
    };
    auto readOnly = [](QLineEdit* e) {
        e->setReadOnly(true);
        e->setFocusPolicy(Qt::NoFocus);
        QPalette p = e->palette();
        p.setColor(QPalette::Base, p.color(QPalette::Window));
        e->setPalette(p);
    };

    StdPanel = new QFrame(this);
    StdPanel->setObjectName("StdPanel");
    auto* std = new QFormLayout(StdPanel);
    ModuleEdit = edit(StdPanel, "ModuleEdit", 60);
    readOnly(ModuleEdit);
    TypeEdit = edit(StdPanel, "TypeEdit", 60);
    RevEdit = edit(StdPanel, "RevEdit", 60);
    FieldRevEdit = edit(StdPanel, "FieldRevEdit", 60);
    SerialNrEdit = edit(StdPanel, "SerialNrEdit", 100);
    std->addRow("Module", ModuleEdit);
    std->addRow("Type", TypeEdit);
    std->addRow("Revision", RevEdit);
    std->addRow("Field Revision", FieldRevEdit);
    std->addRow("Serial Number", SerialNrEdit);
    StdPanel->hide();

    ExtPanel = new QFrame(this);
    ExtPanel->setObjectName("ExtPanel");
    auto* ext = new QFormLayout(ExtPanel);
    xModuleEdit = edit(ExtPanel, "xModuleEdit", 60);
    readOnly(xModuleEdit);
    ValueEdit = edit(ExtPanel, "ValueEdit", 140);
    ext->addRow("Module", xModuleEdit);
    ext->addRow("Value", ValueEdit);
    ExtPanel->hide();

    SaveBtn = new QPushButton("Save", this);
    SaveBtn->setObjectName("SaveBtn");
    CloseBtn = new QPushButton("Close", this);
    CloseBtn->setObjectName("CloseBtn");
    CloseBtn->setDefault(true);
    connect(SaveBtn, &QPushButton::clicked, this, Guard("edit module id", [this] {
                if (SaveBtnClick())
                    accept();
            }));
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(SaveBtn);
    buttons->addWidget(CloseBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(StdPanel);
    layout->addWidget(ExtPanel);
    layout->addLayout(buttons);

    if (row_ && row_->Extended()) {
        xModuleEdit->setText(Latin1(row_->Caption));
        ValueEdit->setText(Latin1(row_->Columns.empty() ? std::string() : row_->Columns[0]));
        ExtPanel->show();
    } else if (row_) {
        ModuleEdit->setText(Latin1(row_->Caption));
        QLineEdit* edits[] = {TypeEdit, RevEdit, FieldRevEdit, SerialNrEdit};
        for (std::size_t i = 0; i < 4 && i < row_->Columns.size(); ++i)
            edits[i]->setText(Latin1(row_->Columns[i]));
        StdPanel->show();
    }
    SaveBtn->setEnabled(false);
}

void TEditModIdDlg::EditChange()
{
    SaveBtn->setEnabled(true);
}

bool TEditModIdDlg::SaveBtnClick()
{
    if (!row_)
        return true;
    const std::vector<std::string> edits =
        row_->Extended() ? std::vector<std::string>{Text(ValueEdit)}
                         : std::vector<std::string>{Text(TypeEdit), Text(RevEdit), Text(FieldRevEdit), Text(SerialNrEdit)};
    // Checked before anything reaches the row or the dispenser; the dialog
    // stays open to be corrected.
    std::string error;
    if (!CheckModIdEdit(*row_, edits, error)) {
        platform::dialogs().messageDlg(error, platform::DlgType::Error, platform::DlgButtons::Ok);
        return false;
    }
    ApplyModIdEdit(*row_, edits);
    return true;
}

// ---- module id window -----------------------------------------------------

TModuleIdDlg::TModuleIdDlg(QWidget* owner, link::TPLVRCmdF* cmd) : QDialog(owner), cmd_(cmd)
{
    setObjectName("ModuleIdDlg");
    setWindowTitle("Module Id");
    const auto scale = platform::UiScale::For(this);

    auto list = [this, scale](QWidget* parent, const char* name, const QStringList& headers,
                              std::initializer_list<int> widths, std::initializer_list<int> centred) {
        auto* l = new QTreeWidget(parent);
        l->setObjectName(name);
        l->setRootIsDecorated(false);
        l->setSelectionBehavior(QAbstractItemView::SelectRows);
        l->setEditTriggers(QAbstractItemView::NoEditTriggers);
        l->setHeaderLabels(headers);
        int i = 0;
        for (int w : widths)
            l->setColumnWidth(i++, scale.X(w));
        for (int c : centred)
            l->headerItem()->setTextAlignment(c, Qt::AlignCenter);
        l->setContextMenuPolicy(Qt::ActionsContextMenu);
        connect(l, &QTreeWidget::currentItemChanged, this,
                [this](QTreeWidgetItem* item) { ListViewModIdSelectItem(item); });
        connect(l, &QTreeWidget::itemDoubleClicked, this, Guard("edit module id", [this] { Edit1Click(); }));
        (new QVBoxLayout(parent))->addWidget(l);
        return l;
    };

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    auto* standardSheet = new QWidget(PageControl1);
    standardSheet->setObjectName("TabSheetStandard");
    auto* extendedSheet = new QWidget(PageControl1);
    extendedSheet->setObjectName("TabSheetExtended");
    PageControl1->addTab(standardSheet, "Standard");
    PageControl1->addTab(extendedSheet, "Extended");
    ListViewModId = list(standardSheet, "ListViewModId",
                         {"Module", "Type", "Revision", "Field revision", "Serial number"}, {48, 38, 53, 74, 97},
                         {1, 2, 3});
    ListViewExtModId = list(extendedSheet, "ListViewExtModId", {"Module", "Value"}, {48, 280}, {});

    Edit1 = new QAction("Edit", this);
    Edit1->setObjectName("Edit1");
    Edit1->setShortcut(QKeySequence(Qt::Key_F2));
    Edit1->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(Edit1, &QAction::triggered, this, Guard("edit module id", [this] { Edit1Click(); }));
    ListViewModId->addAction(Edit1);
    ListViewExtModId->addAction(Edit1);
    connect(PageControl1, &QTabWidget::currentChanged, this,
            Guard("module id page", [this] { PageControl1Change(); }));

    auto button = [this, scale](const char* name, const char* caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setMinimumWidth(scale.X(75));
        return b;
    };
    CloseButton = button("CloseButton", "&Close");
    CloseButton->setDefault(true);
    PrintButton = button("PrintButton", "&Print");
    SaveButton = button("SaveButton", "&Save");
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(PrintButton, &QPushButton::clicked, this, Guard("print module ids", [this] { PrintButtonClick(); }));
    connect(SaveButton, &QPushButton::clicked, this, Guard("save module ids", [this] { SaveButtonClick(); }));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(SaveButton);
    buttons->addWidget(PrintButton);
    buttons->addWidget(CloseButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1);
    layout->addLayout(buttons);
    resize(scale.X(48 + 38 + 53 + 74 + 97 + 50), scale.Y(320));
    // Both pages' columns show whole, inside the page's frame and margins.
    constexpr int kPageFramePx = 24;
    for (QTreeWidget* list : {ListViewModId, ListViewExtModId}) {
        int columns = 0;
        for (int c = 0; c < list->columnCount(); ++c)
            columns += list->columnWidth(c);
        WidenToShowColumns(this, list, columns + scale.X(kPageFramePx));
    }
}

bool TModuleIdDlg::LoadModuleIds(const std::string& payload)
{
    for (int page = 0; page < 3; ++page) {
        std::string data = payload;
        if (page > 0) {
            if (!ReadFurtherPage(cmd_, 110, std::to_string(page)))
                return true; // loading keeps what was read
            data = cmd_->Model()->ReadData;
        }
        const bool whole = DecodeModuleIds(data, standard_);
        Show(ListViewModId, standard_);
        if (!whole) {
            Corrupted(data);
            return true;
        }
    }
    return true;
}

void TModuleIdDlg::Show(QTreeWidget* list, const std::vector<ModIdRow>& rows)
{
    list->clear();
    for (const ModIdRow& row : rows) {
        auto* item = new QTreeWidgetItem(list);
        Refresh(item, row);
        for (int c = 1; c <= 3 && list == ListViewModId; ++c)
            item->setTextAlignment(c, Qt::AlignCenter);
    }
    selected_ = nullptr;
}

void TModuleIdDlg::Refresh(QTreeWidgetItem* item, const ModIdRow& row)
{
    item->setText(0, Latin1(row.Caption));
    for (std::size_t i = 0; i < row.Columns.size(); ++i)
        item->setText(static_cast<int>(i + 1), Latin1(row.Columns[i]));
}

void TModuleIdDlg::PageControl1Change()
{
    // Editing acts on the row the page shown has selected (none at first,
    // or the one left selected when the page was last shown).
    struct FollowShownSelection {
        TModuleIdDlg* dlg;
        ~FollowShownSelection()
        {
            QTreeWidget* shown = dlg->PageControl1->currentIndex() == 1 ? dlg->ListViewExtModId : dlg->ListViewModId;
            QTreeWidgetItem* item = shown->currentItem();
            dlg->selected_ = item && item->isSelected() ? item : nullptr;
        }
    } follow{this};
    if (PageControl1->currentIndex() != 1 || !extended_.empty())
        return;
    if (!ReadFurtherPage(cmd_, 110, "3"))
        return;
    const std::string data = cmd_->Model()->ReadData;
    const bool whole = DecodeExtendedIds(data, extended_);
    Show(ListViewExtModId, extended_);
    if (!whole)
        Corrupted(data);
}

void TModuleIdDlg::ListViewModIdSelectItem(QTreeWidgetItem* item)
{
    selected_ = item;
}

void TModuleIdDlg::Edit1Click()
{
    if (!selected_)
        return;
    QTreeWidget* list = selected_->treeWidget();
    std::vector<ModIdRow>& rows = list == ListViewExtModId ? extended_ : standard_;
    const int index = list->indexOfTopLevelItem(selected_);
    if (index < 0 || index >= static_cast<int>(rows.size()))
        return;
    ModIdRow& row = rows[static_cast<std::size_t>(index)];
    TEditModIdDlg editor(this, &row);
    const int result = ExecModal(editor);
    Refresh(selected_, row);
    if (result != QDialog::Accepted)
        return;
    const std::string record = ModIdRecord(row);
    if (platform::dialogs().messageDlg(record, platform::DlgType::Confirmation, platform::DlgButtons::YesNo) !=
        platform::DlgResult::Yes)
        return; // the row keeps the edited values
    if (!cmd_)
        return;
    cmd_->WriteData(110, record, 5);
    if (cmd_->Model()->StatusClass != link::kClassWarning)
        platform::dialogs().messageDlg(cmd_->Model()->CodeText, platform::DlgType::Error, platform::DlgButtons::Ok);
}

void TModuleIdDlg::SaveButtonClick()
{
    SaveReportFile(cmd_ ? cmd_->LogFileName() : std::string(), "ModuleId", ModuleIdReport(standard_, extended_));
}

void TModuleIdDlg::PrintButtonClick()
{
    PrintReport(kModuleIdJobTitle, "ModuleId", [this](platform::ReportCanvas& c) { return PrintModuleIds(c, standard_, extended_); });
}

void ShowModuleIdWindow(QWidget* owner, link::TPLVRCmdF& cmd)
{
    if (!cmd.ReadData(110, "0"))
        return;
    TModuleIdDlg window(owner, &cmd);
    if (window.LoadModuleIds(cmd.Model()->ReadData))
        ExecModal(window);
}

} // namespace kyd::app
