// The GUI's part of the system information: the screen probes and the
// caption layout's view of a window.
#pragma once

#include "widgets/services/sysinfo.h"

class QWidget;

namespace kyd::widgets {

// Installs the colour-depth probe of the primary screen, the icon sizes of
// the desktop's style and the lock keys' probe (the X server's keyboard
// indicators; "Off" without an X server).
void DUDSIInstallQtProbes();

class TDUDImageListItem;

// The system's icon list: the desktop style's standard icons (in the order
// of QStyle's standard pixmaps, up to the tab close button) as an image
// list item in the icon sizes of DUDSIIconWidth (large) or
// DUDSISmallIconWidth, made once per size.
// Needs a running QApplication.
const TDUDImageListItem& DUDSISystemIconList(bool large);

// The caption layout's view of a top-level window: its window flags as
// styles (a fixed-size window has a dialog frame, others a sizing frame),
// its frame's size, and whether it is minimised.
TDUDNCWindow DUDNCWindowFromWidget(const QWidget& window);

} // namespace kyd::widgets
