#include "app/qt/CommandPage.h"

#include "platform/qt/ui_scale.h"

#include <QGridLayout>
#include <QGroupBox>

namespace kyd::app {

TCommandPage::TCommandPage(QWidget* sheet) : QWidget(sheet)
{
    setObjectName(QString(sheet->objectName()).replace("TabSheet", "Page"));
    const auto scale = platform::UiScale::For(this);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(scale.X(6), scale.Y(6), scale.X(6), scale.Y(6));
    grid->setSpacing(scale.X(6));
}

void TCommandPage::AddGroup(QGroupBox* box)
{
    auto* grid = static_cast<QGridLayout*>(layout());
    box->setParent(this);
    grid->setRowStretch((groups_ + 1) / 2, 0);
    grid->addWidget(box, groups_ / 2, groups_ % 2);
    ++groups_;
    grid->setRowStretch((groups_ + 1) / 2, 1);
}

} // namespace kyd::app
