// The screen probes of the system information, from the GUI's screen.
#pragma once

namespace kyd::widgets {

// Installs the colour-depth probe of the primary screen; lock keys have no
// portable query and stay "Off".
void DUDSIInstallQtProbes();

} // namespace kyd::widgets
