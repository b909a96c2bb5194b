// The GUI's part of the system information: the screen probes and the
// caption layout's view of a window.
#pragma once

#include "widgets/dud_sysinfo.h"

class QWidget;

namespace kyd::widgets {

// Installs the colour-depth probe of the primary screen and the lock keys'
// probe (the X server's keyboard indicators; "Off" without an X server).
void DUDSIInstallQtProbes();

// The caption layout's view of a top-level window: its window flags as
// styles (a fixed-size window has a dialog frame, others a sizing frame),
// its frame's size, and whether it is minimised.
TDUDNCWindow DUDNCWindowFromWidget(const QWidget& window);

} // namespace kyd::widgets
