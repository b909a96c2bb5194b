#include "app/qt/CommandPages.h"

#include "app/qt/CassInfo.h"
#include "app/qt/ChkKYDStatDlg.h"
#include "app/qt/CommandPage.h"
#include "app/qt/ItemForms.h"
#include "app/qt/ItemPages.h"
#include "app/qt/Latin1.h"
#include "app/qt/ModErrLogDlg.h"
#include "app/qt/ModIdDlg.h"
#include "app/qt/ModalRun.h"
#include "app/qt/ResultForms.h"
#include "app/qt/SendSelfTestDlg.h"
#include "link/PLVRCmd.h"
#include "link/Protokoll.h"
#include "link/StatusTexts.h"
#include "platform/dialogs.h"
#include "platform/exception_sink.h"
#include "platform/qt/ui_scale.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace kyd::app {

namespace {

constexpr int kHintPauseMs = 20000;

// The layout a button goes into: the group box's column of buttons, before
// its closing stretch.
void AddToGroup(QGroupBox* box, QWidget* w)
{
    auto* v = qobject_cast<QVBoxLayout*>(box->layout());
    if (!v)
        v = new QVBoxLayout(box);
    int at = v->count();
    if (at > 0 && v->itemAt(at - 1)->spacerItem())
        --at;
    v->insertWidget(at, w);
}

} // namespace

std::string ReplyPayload(const link::TPLVRCmdF& cmd)
{
    return cmd.Reply.empty() ? std::string() : cmd.Reply.substr(1);
}

TCommandPages::TCommandPages(QWidget* mainWindow, std::function<link::TPLVRCmdF*()> commandLayer,
                             link::MainWindowCallbacks* callbacks)
    : QObject(mainWindow), main_(mainWindow), commandLayer_(std::move(commandLayer)), callbacks_(callbacks)
{
}

void TCommandPages::Populate(const char* page, QWidget* sheet, TItemPage* itemPage, TCommandPage* commandPage)
{
    const auto scale = platform::UiScale::For(sheet);
    std::map<std::string, QGroupBox*> boxes;
    auto group = [&](const std::string& name) -> QGroupBox* {
        if (auto it = boxes.find(name); it != boxes.end())
            return it->second;
        QGroupBox* box = sheet->findChild<QGroupBox*>(Latin1(name));
        if (!box) {
            const char* caption = "";
            for (const CommandGroup& g : CommandGroups())
                if (name == g.Name)
                    caption = g.Caption;
            box = new QGroupBox(caption, sheet);
            box->setObjectName(Latin1(name));
            auto* v = new QVBoxLayout(box);
            v->addStretch();
            if (itemPage)
                itemPage->AddGroup(box);
            else if (commandPage)
                commandPage->AddGroup(box);
            else {
                QLayout* l = sheet->layout() ? sheet->layout() : new QVBoxLayout(sheet);
                l->addWidget(box);
            }
        }
        boxes[name] = box;
        return box;
    };
    auto spin = [&](const char* name) {
        auto* s = new QSpinBox(sheet);
        s->setObjectName(name);
        s->setRange(1, 8);
        s->setValue(1);
        s->setMinimumWidth(scale.X(40));
        return s;
    };

    for (const CommandButton& b : CommandButtons()) {
        if (std::string(b.Page) != page)
            continue;
        auto* button = new QPushButton(b.Caption, sheet);
        button->setObjectName(b.Name);
        button->setMinimumWidth(std::max(scale.X(110), button->sizeHint().width()));
        if (b.Tag)
            button->setProperty("Tag", b.Tag);
        QGroupBox* box = group(b.Group);
        if (b.Spin) {
            // The spin edit beside its button.
            auto* row = new QWidget(box);
            auto* h = new QHBoxLayout(row);
            h->setContentsMargins(0, 0, 0, 0);
            QSpinBox* s = spin(b.Spin);
            s->setParent(row);
            button->setParent(row);
            h->addWidget(button, 1);
            h->addWidget(s);
            if (std::string(b.Spin) == "CSpinEditReleaseCassette")
                CSpinEditReleaseCassette = s;
            else
                CSpinEditNFClean = s;
            AddToGroup(box, row);
        } else {
            AddToGroup(box, button);
        }
        Wire(button);
    }
}

void TCommandPages::Wire(QAbstractButton* button)
{
    const CommandButton* b = FindCommandButton(button->objectName().toStdString());
    if (!b)
        return;
    if (button->toolTip().isEmpty())
        button->setToolTip(Latin1(CommandHint(*b)));
    button->setToolTipDuration(kHintPauseMs);
    buttons_[b->Name] = button;
    connect(button, &QAbstractButton::clicked, this,
            [this, b] { platform::guarded("command", [this, b] { Run(*b); }); });
}

QAbstractButton* TCommandPages::Button(const std::string& name) const
{
    const auto it = buttons_.find(name);
    return it == buttons_.end() ? nullptr : it->second;
}

void TCommandPages::Write(link::TPLVRCmdF& cmd, int tag)
{
    // Item and value in one number: item = tag / 10, value = its last digit.
    cmd.WriteData(tag / 10, std::to_string(tag % 10), 80);
}

void TCommandPages::Run(const CommandButton& b)
{
    link::TPLVRCmdF* cmd = commandLayer_();
    if (!cmd)
        return;
    switch (b.Kind) {
    case CommandKind::Plain:
        cmd->Command = b.Command;
        cmd->SendCommand(b.Command, b.Seconds);
        return;
    case CommandKind::StartOfDay:
        // The cassette ids are read once the opening has ended, whatever
        // its status; they are not shown. An operator's cancel ends the
        // sequence: nothing follows it.
        cmd->Command = "8";
        cmd->SendCommand("8", 180);
        if (cmd->Model()->StatusCode == link::kCodeCommunicationCanceled)
            return;
        cmd->Command = "5";
        cmd->SendCommand("5", 20);
        return;
    case CommandKind::Retract:
        cmd->Command = RetractCommand(b.Tag);
        cmd->SendCommand(cmd->Command, b.Seconds);
        return;
    case CommandKind::FixedWrite:
        Write(*cmd, b.Tag);
        return;
    case CommandKind::ConfirmedWrite:
        // These writes erase data: Enter answers No.
        if (platform::dialogs().messageDlg(b.Confirm, platform::DlgType::Confirmation,
                                           platform::DlgButtons::YesNoDefaultNo) == platform::DlgResult::Yes)
            Write(*cmd, b.Tag);
        return;
    case CommandKind::ReleaseCassette:
        cmd->CloseCassette(CSpinEditReleaseCassette ? CSpinEditReleaseCassette->value() : 1, true);
        return;
    case CommandKind::SpinWrite:
        cmd->WriteData(b.Tag, std::to_string(CSpinEditNFClean ? CSpinEditNFClean->value() : 1), 80);
        return;
    case CommandKind::Result:
        ShowResult(*cmd, b);
        return;
    }
}

void TCommandPages::ShowResult(link::TPLVRCmdF& cmd, const CommandButton& b)
{
    link::Protokoll& model = *cmd.Model();
    switch (b.Window) {
    case ResultWindow::None: return;
    case ResultWindow::CassetteIds:
        if (cmd.ReadCassetteIds())
            ShowCassetteWindow(main_, model);
        return;
    case ResultWindow::ProgramId:
        if (cmd.ReadProgramId())
            platform::dialogs().showMessage(" Program ID: " + model.ProgramId);
        return;
    case ResultWindow::RejectTrace:
        if (cmd.ReadRejectTrace()) {
            TRejectDlgForm window(main_);
            if (window.ShowTrace(model.Trace))
                ExecModal(window);
        }
        return;
    case ResultWindow::LastStatus:
    case ResultWindow::CheckDelivered:
        if (cmd.ReadLastStatus()) {
            TReadLastStatusForm window(main_, &model);
            if (window.ShowLastStatus(b.Window == ResultWindow::LastStatus ? "Last Dispense Status"
                                                                           : "Check Delivered Notes",
                                      ReplyPayload(cmd)))
                ExecModal(window);
        }
        return;
    case ResultWindow::SelfTest: ShowSelfTestWindow(main_, cmd); return;
    case ResultWindow::CheckStatus: ShowCheckStatusWindow(main_, cmd); return;
    case ResultWindow::ErrorLog: ShowErrorLogWindow(main_, cmd); return;
    case ResultWindow::ModuleStatus: ShowModuleStatusWindow(main_, cmd); return;
    case ResultWindow::ModuleIds: ShowModuleIdWindow(main_, cmd); return;
    case ResultWindow::Counters: {
        TNoteCounterForm window(main_, &cmd, callbacks_);
        ExecModal(window);
        return;
    }
    }
}

} // namespace kyd::app
