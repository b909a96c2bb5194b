#include "app/qt/FitColumns.h"

#include <QLayout>
#include <QScreen>
#include <QScrollBar>
#include <QTreeWidget>

#include <algorithm>

namespace kyd::app {

int FitColumnToContents(QTreeWidget* list, int column, int pad)
{
    const int before = list->columnWidth(column);
    list->resizeColumnToContents(column);
    list->setColumnWidth(column, std::max(before, list->columnWidth(column) + pad));
    return list->columnWidth(column);
}

void WidenToShowColumns(QWidget* window, QTreeWidget* list, int columnsWidth)
{
    // The list spans the window inside its layout's margins.
    int margins = 0;
    if (const QLayout* layout = window->layout())
        margins = layout->contentsMargins().left() + layout->contentsMargins().right();
    int width = columnsWidth + 2 * list->frameWidth() + list->verticalScrollBar()->sizeHint().width() + margins;
    if (const QScreen* screen = window->screen())
        width = std::min(width, screen->availableGeometry().width());
    if (width > window->width())
        window->resize(width, window->height());
}

} // namespace kyd::app
