#include "platform/qt/qt_dialogs.h"

#include "platform/message_loop.h"
#include "platform/qt/ui_scale.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QStringList>

#include <cstdio>

namespace kyd::platform {

namespace {

// Texts are bytes without a character set; Latin-1 shows every byte and
// converts back unchanged. File names are in the system's encoding.
QString text(const std::string& s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

QString path(const std::string& s)
{
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}

std::string fromPath(const QString& s)
{
    QByteArray b = s.toLocal8Bit();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

QString filterString(const std::vector<FileFilter>& filters)
{
    QStringList parts;
    for (const auto& f : filters)
        parts << text(f.description) + " (" + text(f.pattern) + ")";
    return parts.join(";;");
}

QMessageBox::Icon iconFor(DlgType t)
{
    switch (t) {
    case DlgType::Error:
        return QMessageBox::Critical;
    case DlgType::Warning:
        return QMessageBox::Warning;
    case DlgType::Information:
        return QMessageBox::Information;
    case DlgType::Confirmation:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QString titleFor(DlgType t)
{
    switch (t) {
    case DlgType::Error:
        return QStringLiteral("Error");
    case DlgType::Warning:
        return QStringLiteral("Warning");
    case DlgType::Information:
        return QStringLiteral("Information");
    case DlgType::Confirmation:
        return QStringLiteral("Confirm");
    }
    return QString();
}

// A message box sizes itself to its text; a short text leaves its title
// cut off. The box's grid gets a row as wide as the title needs.
void fitTitle(QMessageBox& box)
{
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    const int width = UiScale::TitleWidth(&box, box.windowTitle());
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

// The program is ending (its message loop's quit was requested): nothing
// waits for an operator any more.
bool ending()
{
    return hasMessageLoop() && messageLoop().quitRequested();
}

// What a box would have said, where it can still be read.
void toStandardError(const char* title, const std::string& msg)
{
    std::fprintf(stderr, "%s: %s\n", title, msg.c_str());
    std::fflush(stderr);
}

} // namespace

QString messageText(const std::string& msg, TextCoding coding)
{
    switch (coding) {
    case TextCoding::FileSystem:
        return path(msg);
    case TextCoding::Utf8:
        return QString::fromUtf8(msg.data(), static_cast<qsizetype>(msg.size()));
    case TextCoding::Latin1:
        break;
    }
    return text(msg);
}

DlgResult QtDialogs::messageDlg(const std::string& msg, DlgType type, DlgButtons buttons, TextCoding coding)
{
    // Once the program is ending, a box is not shown: it answers as
    // closed without a button.
    const bool show = !ending();
    if (!show)
        toStandardError(titleFor(type).toLatin1().constData(), msg);
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(titleFor(type));
    box.setTextFormat(Qt::PlainText);
    box.setText(messageText(msg, coding));
    box.setIcon(iconFor(type));
    QMessageBox::StandardButton first = QMessageBox::Ok;
    switch (buttons) {
    case DlgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case DlgButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case DlgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        first = QMessageBox::Yes;
        break;
    case DlgButtons::AbortIgnore:
        box.setStandardButtons(QMessageBox::Abort | QMessageBox::Ignore);
        first = QMessageBox::Abort;
        break;
    case DlgButtons::YesNoDefaultNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        first = QMessageBox::No;
        break;
    }
    box.setDefaultButton(first);
    fitTitle(box);
    const int r = show ? box.exec() : 0;
    switch (r) {
    case QMessageBox::Ok:
        return DlgResult::Ok;
    case QMessageBox::Yes:
        return DlgResult::Yes;
    case QMessageBox::No:
        return DlgResult::No;
    case QMessageBox::Abort:
        return DlgResult::Abort;
    case QMessageBox::Ignore:
        return DlgResult::Ignore;
    default:
        break;
    }
    // Closed without a button: the box's escape answer.
    switch (buttons) {
    case DlgButtons::Ok:
        return DlgResult::Ok;
    case DlgButtons::YesNo:
    case DlgButtons::YesNoDefaultNo:
        return DlgResult::No;
    case DlgButtons::AbortIgnore:
        return DlgResult::Abort;
    case DlgButtons::OkCancel:
        break;
    }
    return DlgResult::Cancel;
}

void QtDialogs::showMessage(const std::string& msg, TextCoding coding)
{
    if (ending()) {
        toStandardError(applicationTitle().c_str(), msg);
        return;
    }
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(text(applicationTitle()));
    box.setTextFormat(Qt::PlainText);
    box.setText(messageText(msg, coding));
    box.setIcon(QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    fitTitle(box);
    box.exec();
}

bool QtDialogs::inputQuery(const std::string& caption, const std::string& prompt, std::string& value,
                           TextCoding coding)
{
    if (ending())
        return false;
    QInputDialog dlg(QApplication::activeWindow());
    dlg.setInputMode(QInputDialog::TextInput);
    dlg.setWindowTitle(text(caption));
    dlg.setLabelText(messageText(prompt, coding));
    dlg.setTextValue(text(value));
    if (dlg.exec() != QDialog::Accepted)
        return false;
    QByteArray b = dlg.textValue().toLatin1();
    value.assign(b.constData(), static_cast<std::size_t>(b.size()));
    return true;
}

std::optional<std::string> QtDialogs::openFile(const std::string& title, const std::string& initialDir,
                                               const std::vector<FileFilter>& filters)
{
    if (ending())
        return std::nullopt;
    QString f = QFileDialog::getOpenFileName(QApplication::activeWindow(), text(title), path(initialDir),
                                             filterString(filters));
    if (f.isEmpty())
        return std::nullopt;
    return fromPath(f);
}

std::optional<std::string> QtDialogs::saveFile(const std::string& title, const std::string& initialDir,
                                               const std::string& defaultName,
                                               const std::vector<FileFilter>& filters, bool confirmOverwrite,
                                               const std::string& defaultSuffix)
{
    if (ending())
        return std::nullopt;
    QString start = path(initialDir);
    if (!defaultName.empty())
        start = start.isEmpty() ? path(defaultName) : start + "/" + path(defaultName);
    QFileDialog dialog(QApplication::activeWindow(), text(title), start, filterString(filters));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!confirmOverwrite)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!defaultSuffix.empty()) {
        dialog.setDefaultSuffix(text(defaultSuffix));
        // Qt's own dialog adds the suffix before it asks about an existing
        // file; a desktop's dialog may ask about the name as typed only.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QString f = dialog.selectedFiles().constFirst();
    if (f.isEmpty())
        return std::nullopt;
    return fromPath(f);
}

} // namespace kyd::platform
