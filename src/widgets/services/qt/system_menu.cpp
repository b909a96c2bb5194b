#include "widgets/services/qt/system_menu.h"

#include <QWidget>

namespace kyd::widgets {

void DUDCheckSystemMenu(TDUDSysMenuEntries entries, QWidget* window, bool small)
{
    if (!window)
        return;
    Qt::WindowFlags flags = window->windowFlags();
    const Qt::WindowFlags before = flags;
    auto keep = [&](TDUDSysMenuEntry entry, Qt::WindowType hint) {
        if (!entries.testFlag(entry)) {
            flags |= Qt::CustomizeWindowHint; // hints are honoured only with it
            flags &= ~hint;
        }
    };
    if (!small) {
        keep(TDUDSysMenuEntry::smMinimize, Qt::WindowMinimizeButtonHint);
        keep(TDUDSysMenuEntry::smMaximize, Qt::WindowMaximizeButtonHint);
    }
    keep(TDUDSysMenuEntry::smClose, Qt::WindowCloseButtonHint);
    if (flags != before) {
        if (flags.testFlag(Qt::CustomizeWindowHint) && !before.testFlag(Qt::CustomizeWindowHint)) {
            // Customising drops the buttons that were only implied: keep those
            // whose entries are still there.
            flags |= Qt::WindowTitleHint | Qt::WindowSystemMenuHint;
            if (!small && entries.testFlag(TDUDSysMenuEntry::smMinimize))
                flags |= Qt::WindowMinimizeButtonHint;
            if (!small && entries.testFlag(TDUDSysMenuEntry::smMaximize))
                flags |= Qt::WindowMaximizeButtonHint;
            if (entries.testFlag(TDUDSysMenuEntry::smClose))
                flags |= Qt::WindowCloseButtonHint;
        }
        window->setWindowFlags(flags);
    }
}

} // namespace kyd::widgets
