// The entries of a window's system menu that the library lets a form keep.
// Here the window manager draws the menu, so absent entries become window
// flag hints: without Minimize, Maximize or Close the window asks for no
// such button; Restore, Move, Size and the separator have no hint and
// their absence changes nothing.
#pragma once

#include <QFlags>

class QWidget;

namespace kyd::widgets {

enum class TDUDSysMenuEntry : unsigned {
    smRestore = 0x01,
    smMove = 0x02,
    smSize = 0x04,
    smMinimize = 0x08,
    smMaximize = 0x10,
    smSeparator = 0x20,
    smClose = 0x40,
};
Q_DECLARE_FLAGS(TDUDSysMenuEntries, TDUDSysMenuEntry)
Q_DECLARE_OPERATORS_FOR_FLAGS(TDUDSysMenuEntries)

inline constexpr TDUDSysMenuEntries kDUDAllSysMenuEntries = TDUDSysMenuEntries::fromInt(0x7F);

// Applies entries to window; small is a tool window's menu, which has no
// minimize or maximize entries to begin with.
void DUDCheckSystemMenu(TDUDSysMenuEntries entries, QWidget* window, bool small);

} // namespace kyd::widgets
