// Lists whose texts come from the dispenser: columns grow to their longest
// text, and the window with them, so nothing is cut off.
#pragma once

class QTreeWidget;
class QWidget;

namespace kyd::app {

// Widens a column to its longest text (header included) plus pad; never
// narrower than it is. Returns the column's width.
int FitColumnToContents(QTreeWidget* list, int column, int pad);

// Widens the window so the list shows columnsWidth pixels of columns (plus
// its frame and vertical scroll bar), within the screen; never narrows it.
void WidenToShowColumns(QWidget* window, QTreeWidget* list, int columnsWidth);

} // namespace kyd::app
