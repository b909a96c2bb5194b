#include "app/qt/ItemPages.h"

#include "app/ConfigItems.h"
#include "app/ResultDecoders.h"
#include "app/qt/CassInfo.h"
#include "app/qt/ItemForms.h"
#include "app/qt/ModalRun.h"
#include "app/qt/ResultForms.h"
#include "link/PLVRCmd.h"
#include "link/Protokoll.h"
#include "link/StatusTexts.h"
#include "link/TextPos.h"
#include "platform/dialogs.h"
#include "platform/exception_sink.h"
#include "platform/qt/ui_scale.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace kyd::app {

namespace {

constexpr int kHintPauseMs = 20000;

// Shows a read-data window when its fill succeeded.
template <class Fill>
void ShowReadData(QWidget* owner, link::Protokoll* model, const char* caption, Fill fill)
{
    TKYDShowReadDataFrame window(owner, model);
    if (!fill(window))
        return;
    if (caption && *caption)
        window.setWindowTitle(caption);
    ExecModal(window);
}

void EditItem(QWidget* owner, link::TPLVRCmdF& cmd, const ConfigItem& item)
{
    link::Protokoll& model = *cmd.Model();
    const std::string payload = model.ReadData;
    TModifyItemDlg editor(owner);
    // A value that is no number or names no option is shown too, so that
    // the operator can put the item right.
    if (item.Kind == ItemKind::Integer)
        editor.PrepareInteger(item.Title, payload, true, item.Text, item.Width);
    else
        editor.PrepareChoice(item.Title, item.Text, static_cast<unsigned char>(link::CharAt(payload, 2)) - '0');
    if (ExecModal(editor) != QDialog::Accepted)
        return;
    const std::string value = editor.GetValue();
    if (!ItemValueWritable(value)) {
        // An emptied field or no option chosen: nothing to write, and the
        // operator is told so.
        platform::dialogs().messageDlg(kNothingWritten, platform::DlgType::Information, platform::DlgButtons::Ok);
        return;
    }
    cmd.WriteData(item.Number, value, 80);
    if (model.StatusClass != link::kClassWarning)
        platform::dialogs().messageDlg(model.CodeText, platform::DlgType::Error, platform::DlgButtons::Ok);
}

} // namespace

void ShowConfigItem(QWidget* owner, link::TPLVRCmdF& cmd, int number)
{
    const ConfigItem* item = FindConfigItem(number);
    if (!item)
        return;
    link::Protokoll* model = cmd.Model();
    const std::string payload = model->ReadData;
    switch (item->Display) {
    case ItemDisplay::None:
        EditItem(owner, cmd, *item);
        return;
    case ItemDisplay::ProgramIds:
        ShowReadData(owner, model, nullptr, [&](TKYDShowReadDataFrame& w) { return w.ShowProgramIds(payload); });
        return;
    case ItemDisplay::CurrencyCodes:
        ShowReadData(owner, model, nullptr, [&](TKYDShowReadDataFrame& w) { return w.ShowCurrencyCodes(payload); });
        return;
    case ItemDisplay::RejectTable:
        ShowReadData(owner, model, item->Title, [&](TKYDShowReadDataFrame& w) { return w.ShowTable(payload, 0); });
        return;
    case ItemDisplay::StatusTable:
        ShowReadData(owner, model, item->Title, [&](TKYDShowReadDataFrame& w) { return w.ShowTable(payload, 1); });
        return;
    case ItemDisplay::NoteSizes: {
        TCassInfo window(owner, model);
        if (window.ShowNoteSizes(payload))
            ExecModal(window);
        return;
    }
    case ItemDisplay::Message:
        platform::dialogs().messageDlg(ItemMessage(number, payload), platform::DlgType::Information,
                                       platform::DlgButtons::Ok);
        return;
    }
}

TItemPage::TItemPage(QWidget* sheet, const ItemPageLayout& layout, std::function<link::TPLVRCmdF*()> commandLayer)
    : QWidget(sheet), commandLayer_(std::move(commandLayer))
{
    setObjectName(QString(layout.Name).replace("TabSheet", "Page"));
    auto* sheetLayout = new QVBoxLayout(sheet);
    sheetLayout->setContentsMargins(0, 0, 0, 0);
    sheetLayout->addWidget(this);

    const auto scale = platform::UiScale::For(this);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(scale.X(6), scale.Y(6), scale.X(6), scale.Y(6));
    grid->setSpacing(scale.X(6));

    auto newButton = [this, scale](QWidget* parent, const QString& name, const QString& caption, const QString& hint) {
        auto* b = new QPushButton(caption, parent);
        b->setObjectName(name);
        b->setToolTip(hint);
        b->setToolTipDuration(kHintPauseMs);
        b->setMinimumWidth(std::max(scale.X(110), b->sizeHint().width()));
        return b;
    };

    std::vector<QGroupBox*> boxes;
    for (const ItemGroup& g : layout.Groups) {
        auto* box = new QGroupBox(g.Caption, this);
        box->setObjectName(g.Name);
        auto* v = new QVBoxLayout(box);
        for (int number : g.Items) {
            const ConfigItem* item = FindConfigItem(number);
            if (!item)
                continue;
            QPushButton* b = newButton(box, QString("ItemButton%1").arg(number), item->Caption,
                                       QString("Item %1").arg(number));
            b->setProperty("Tag", number);
            connect(b, &QPushButton::clicked, this,
                    [this, b] { platform::guarded("read item", [this, b] { ReadDataButtonClick(b); }); });
            if (number == 205) {
                // Kept for its handler, out of the operator's reach.
                b->setEnabled(false);
                b->hide();
            }
            v->addWidget(b);
            buttons_[number] = b;
        }
        v->addStretch();
        boxes.push_back(box);
    }
    grid_ = grid;
    for (QGroupBox* box : boxes)
        AddGroup(box);
}

void TItemPage::AddGroup(QGroupBox* box)
{
    // Two group boxes a row, the rows packed at the top.
    box->setParent(this);
    grid_->setRowStretch((groups_ + 1) / 2, 0);
    grid_->addWidget(box, groups_ / 2, groups_ % 2);
    ++groups_;
    grid_->setRowStretch((groups_ + 1) / 2, 1);
}

QPushButton* TItemPage::ItemButton(int item) const
{
    const auto it = buttons_.find(item);
    return it == buttons_.end() ? nullptr : it->second;
}

QGroupBox* TItemPage::Group(const char* name) const
{
    return findChild<QGroupBox*>(name);
}

void TItemPage::ReadDataButtonClick(QAbstractButton* sender)
{
    link::TPLVRCmdF* cmd = commandLayer_();
    if (!cmd || !sender)
        return;
    const int item = sender->property("Tag").toInt();
    if (cmd->ReadData(item))
        ShowConfigItem(window(), *cmd, item);
}

} // namespace kyd::app
