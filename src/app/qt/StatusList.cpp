#include "app/qt/StatusList.h"

#include "platform/qt/qt_dialogs.h"

#include <QListWidget>
#include <QVBoxLayout>

namespace kyd::app {

TStatusListFrame::TStatusListFrame(platform::IniFile& ini, QWidget* parent)
    : ToolWindow(ini, "StatusWindow", true, parent)
{
    setObjectName("StatusListFrame");
    setWindowTitle("Status");

    StatusListBox = new QListWidget(this);
    StatusListBox->setObjectName("StatusListBox");
    PaintLimeOnBlack(StatusListBox);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(StatusListBox);

    RestoreFromIni(150, 150, 100, 480);
}

void TStatusListFrame::AddLine(const std::string& text, platform::TextCoding coding)
{
    StatusListBox->setUpdatesEnabled(false);
    StatusListBox->addItem(platform::messageText(text, coding));
    while (StatusListBox->count() > kMaxLines)
        delete StatusListBox->takeItem(0);
    StatusListBox->setUpdatesEnabled(true);
    // The newest line is current and in view, however many there are.
    StatusListBox->setCurrentRow(StatusListBox->count() - 1);
    StatusListBox->scrollToItem(StatusListBox->currentItem());
}

} // namespace kyd::app
