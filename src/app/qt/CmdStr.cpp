#include "app/qt/CmdStr.h"

#include "link/PLVRCmd.h"
#include "link/PLVRCom.h"
#include "platform/dialogs.h"
#include "platform/exception_sink.h"
#include "platform/qt/ui_scale.h"

#include <QComboBox>
#include <QEvent>
#include <QWindow>
#include <QLineEdit>
#include <QVBoxLayout>

namespace kyd::app {

namespace {
constexpr int kSendTimeoutSecs = 180;
}

TCmdStrForm::TCmdStrForm(platform::IniFile& ini, QWidget* parent) : ToolWindow(ini, "CmdWindow", false, parent)
{
    setObjectName("CmdStrForm");
    setWindowTitle("Enter command");
    // The one tool window that stays on top of the others.
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint);

    CmdCombo = new QComboBox(this);
    CmdCombo->setObjectName("CmdCombo");
    CmdCombo->setEditable(true);
    CmdCombo->setInsertPolicy(QComboBox::NoInsert); // the history is ours
    // Enter sends exactly what was typed: no inline completion from the
    // history, which would turn "Z" into an earlier "Z6F". The history stays
    // reachable through the arrow keys and the drop-down.
    CmdCombo->setCompleter(nullptr);
    CmdCombo->setFixedWidth(platform::UiScale::For(this).X(330));
    PaintLimeOnBlack(CmdCombo);
    PaintLimeOnBlack(CmdCombo->lineEdit());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(CmdCombo);
    layout->setSizeConstraint(QLayout::SetFixedSize); // sized to its contents

    connect(CmdCombo->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { platform::guarded("command-string window", [this] { CmdStrEditKeyPress(); }); });

    RestoreFromIni(390, 370);
}

bool TCmdStrForm::event(QEvent* e)
{
    // While a modal dialog of the program is open this window cannot be
    // used anyway; it then stops staying on top, so it never covers the
    // dialog's buttons.
    if ((e->type() == QEvent::WindowBlocked || e->type() == QEvent::WindowUnblocked) && windowHandle())
        windowHandle()->setFlag(Qt::WindowStaysOnTopHint, e->type() == QEvent::WindowUnblocked);
    return ToolWindow::event(e);
}

void TCmdStrForm::SetBusy(bool busy)
{
    busy_ = busy;
    CmdCombo->lineEdit()->setReadOnly(busy);
}

void TCmdStrForm::CmdStrEditKeyPress()
{
    // Whatever comes of it (sent, refused, nothing sent, or the link failed
    // and says why), the text is left selected: what is typed next replaces
    // it instead of being added to it.
    struct SelectAfterwards {
        QLineEdit* edit;
        ~SelectAfterwards() { edit->selectAll(); }
    } select{CmdCombo->lineEdit()};

    const QString typed = CmdCombo->currentText();
    if (typed.isEmpty() || !cmd_ || busy_ || cmd_->Busy())
        return;
    // Only what the line carries goes out (7-bit printable text, as in a
    // script): any other character would end or garble the frame, and the
    // dispenser would ignore it, leaving the tool waiting for a reply.
    // (By code point: a character beyond the basic plane is named as one.)
    for (const char32_t c : typed.toUcs4()) {
        if (c > 0xFF || !link::TCom::IsLineText(std::string(1, static_cast<char>(c)))) {
            const QString code = QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QChar('0')).toUpper();
            platform::dialogs().messageDlg("The command cannot be sent: it holds a character (" + code.toStdString() +
                                               ") that the line cannot carry. Only printable ASCII characters "
                                               "(space to ~) can be sent.",
                                           platform::DlgType::Error, platform::DlgButtons::Ok);
            return;
        }
    }
    const QByteArray bytes = typed.toLatin1();
    const std::string command(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    cmd_->Command = command;
    cmd_->SendCommand(command, kSendTimeoutSecs);

    // Newest first, each text once.
    const int old = CmdCombo->findText(typed, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (old >= 0)
        CmdCombo->removeItem(old);
    CmdCombo->insertItem(0, typed);
    CmdCombo->setCurrentIndex(0);
}

} // namespace kyd::app
