// The screen's cursor table: numbered cursors the controls can show, the
// standard shapes under their classic numbers (0 default to -22) and the
// program's own under numbers it installs them at.
#pragma once

#include <QCursor>

#include <optional>

namespace kyd::widgets {

// The cursor of the number: an installed one, else the standard shape of
// the classic numbers, else the arrow.
QCursor DUDScreenCursor(int id);
// Installs (or, with nullopt, removes) a cursor under the number.
void DUDSetScreenCursor(int id, std::optional<QCursor> cursor);
// The program's cursor resource `resource`: ":/cursors/<resource>.png" in
// the program's Qt resources, hot spot at its centre; nothing when the
// program has none.
std::optional<QCursor> DUDLoadCursorResource(int resource);
// Lets the application object install its cursor resource into the table.
void DUDInstallQtCursors();

} // namespace kyd::widgets
